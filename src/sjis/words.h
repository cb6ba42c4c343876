// Eight bytes at a time: the word-at-a-time primitives that the scans of
// names, the journal's writer and the pattern matcher share. Bytes are read
// and written with memcpy, so that any address will do; the masks hold in
// either byte order, as each byte is told on its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

// Eight bytes at a time, for the single-byte text that most names are: a
// word without a byte from 0x80 on holds eight whole characters.
namespace eightBytes {
constexpr uint64_t ones = 0x0101010101010101u, highs = ones * 0x80;
inline uint64_t load(const char* p) {
    uint64_t w;
    std::memcpy(&w, p, 8);
    return w;
}
// The high bit of each byte of `w` (none from 0x80 on) that lies in [lo, hi].
inline uint64_t inRange(uint64_t w, unsigned lo, unsigned hi) {
    return (w + ones * (0x80 - lo)) & ~(w + ones * (0x7F - hi)) & highs;
}
// The high bit of each byte of `w`, any byte at all, that lies in [lo, hi],
// a range from 0x80 on: the lanes are told apart as inRange's are, on the
// seven low bits, and only bytes from 0x80 on kept.
inline uint64_t inHighRange(uint64_t w, unsigned lo, unsigned hi) {
    return inRange(w & ~highs, lo - 0x80, hi - 0x80) & w;
}
// The eight bytes of `w` (none from 0x80 on) with A-Z lowered.
inline uint64_t lowered(uint64_t w) { return w | inRange(w, 'A', 'Z') >> 2; }  // 'A' + 0x20 is 'a'
// The eight bytes as loaded from memory, the first as the highest: a number
// that orders as the bytes do.
inline uint64_t bigEndian(uint64_t loaded) {
#if defined(__GNUC__) && defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    return __builtin_bswap64(loaded);
#else
    const unsigned char* b = reinterpret_cast<const unsigned char*>(&loaded);
    uint64_t key = 0;
    for (int k = 0; k < 8; ++k) key = key << 8 | b[k];
    return key;
#endif
}
// True when `test` holds for a word of the `length` bytes at `text`: the
// last word may overlap the one before, and a text shorter than a word is
// tested padded with zero bytes, which `test` must not hold for.
template <typename Test>
inline bool anyWord(const char* text, std::size_t length, Test test) {
    if (length < 8) {
        uint64_t w = 0;
        if (length) std::memcpy(&w, text, length);
        return test(w);
    }
    for (std::size_t i = 0; i + 8 < length; i += 8)
        if (test(load(text + i))) return true;
    return test(load(text + length - 8));
}
// True when none of the `length` bytes at `text` is 0x80 or above.
inline bool singleByte(const char* text, std::size_t length) {
    return !anyWord(text, length, [](uint64_t w) { return (w & highs) != 0; });
}
// Copies `n` bytes as memcpy does, a name's few without a call: two words
// (or halves) that may overlap, read before either is written.
inline void copy(char* to, const char* from, std::size_t n) {
    if (n - 8 <= 8) {  // 8 to 16 bytes, the common case (below 8 it wraps round)
        uint64_t first = load(from), last = load(from + n - 8);
        std::memcpy(to, &first, 8);
        std::memcpy(to + n - 8, &last, 8);
    } else if (n < 4) {
        for (std::size_t i = 0; i < n; ++i) to[i] = from[i];
    } else if (n < 8) {
        uint32_t first, last;
        std::memcpy(&first, from, 4);
        std::memcpy(&last, from + n - 4, 4);
        std::memcpy(to, &first, 4);
        std::memcpy(to + n - 4, &last, 4);
    } else {
        std::memcpy(to, from, n);
    }
}
}  // namespace eightBytes
