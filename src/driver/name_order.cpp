// The order in which names are listed and matched: A-Z folded, then bytes.
#include "driver/arguments.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "sjis/words.h"

namespace {

unsigned foldedByte(unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + 32u : c; }

}  // namespace

int compareFolded(const char* a, const char* b) {
    const unsigned char* x = reinterpret_cast<const unsigned char*>(a);
    const unsigned char* y = reinterpret_cast<const unsigned char*>(b);
    for (;; ++x, ++y) {
        unsigned cx = foldedByte(*x);
        unsigned cy = foldedByte(*y);
        if (cx != cy) return cx < cy ? -1 : 1;
        if (*x == 0) return 0;
    }
}

// Equal folded texts arise only where a disk holds ABC.TXT beside abc.txt;
// their bytes decide, so the order never depends on the directory's.
bool sortsBefore(const char* a, const char* b) {
    int folded = compareFolded(a, b);
    return folded != 0 ? folded < 0 : std::strcmp(a, b) < 0;
}

std::vector<int> sortedOrder(const char* const* texts, int n, std::size_t skip) {
    // The first eight folded bytes of each text, as one number, decide most
    // comparisons without reading the texts again.
    struct Keyed {
        std::uint64_t key;
        int place;
    };
    std::vector<Keyed> keyed;
    keyed.reserve(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        const char* text = texts[i] + skip;
        std::uint64_t key = 0;
        std::uint64_t w;
        // Eight single-byte characters, the common case, are folded at once.
        if (!std::memchr(text, '\0', 8) && !((w = eightBytes::load(text)) & eightBytes::highs)) {
            key = eightBytes::bigEndian(eightBytes::lowered(w));
        } else {
            const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
            for (int k = 0; k < 8; ++k) {
                key = key << 8 | foldedByte(*p);
                if (*p) ++p;
            }
        }
        keyed.push_back({key, i});
    }
    // By the keys alone first; texts whose keys are equal are then put in
    // order among themselves.
    std::sort(keyed.begin(), keyed.end(), [](const Keyed& a, const Keyed& b) { return a.key < b.key; });
    for (auto run = keyed.begin(); run != keyed.end();) {
        auto end = run + 1;
        while (end != keyed.end() && end->key == run->key) ++end;
        if (end - run > 1)
            std::sort(run, end, [texts, skip](const Keyed& a, const Keyed& b) {
                return sortsBefore(texts[a.place] + skip, texts[b.place] + skip);
            });
        run = end;
    }
    std::vector<int> order(static_cast<std::size_t>(n));
    for (int k = 0; k < n; ++k) order[static_cast<std::size_t>(k)] = keyed[static_cast<std::size_t>(k)].place;
    return order;
}
