// What code page 932 cannot carry, carried all the same: each character of a
// system name that the code page lacks (or holds only in its user-defined
// area, or a byte that is no character at all) is given, for the run, a
// stand-in of the code page's user-defined area (lead bytes 0xF0-0xF9), and
// turned back into the very same system text at the boundary. The command
// sees a double-byte character: found when typed, matched by wildcards, left
// alone unless /k, never taken for a letter or a separator.
#pragma once

#include <cstddef>
#include <string>

#include "sjis/sjis.h"

namespace platform::standins {

// True for a lead byte that only stand-ins use.
inline bool isStandInLead(unsigned char b) { return b >= 0xF0 && b <= 0xF9; }

// Appends the stand-in of `unit` (the system's bytes of one character, or one
// byte) to `out`, the same one for the same unit all run long. False when the
// run has met more distinct units than stand-ins exist (over 300 000).
bool append(const char* unit, std::size_t length, std::string& out);

// The stand-in at `text` (`left` bytes, a stand-in lead first): its length in
// bytes and its unit. False for one that this run never gave out.
bool read(const char* text, std::size_t left, std::size_t* length, const std::string** unit);

// Forgets every stand-in, as a new run starts (tests).
void forget();

// True once any stand-in was given out: before that no text holds one, and
// the fast paths need not look.
namespace detail {
extern bool given;
}
inline bool anyGiven() { return detail::given; }

// Stands for a '\\' of a Linux name that is no second byte, where the
// command would read a separator: a single-byte symbol that code page 932
// leaves undefined, so that the name is decided as a name of single-byte
// characters like any other. A system name's own byte 0xFD takes a stand-in.
constexpr char backslash = '\xFD';
inline void appendBackslash(std::string& out) {
    detail::given = true;
    out += backslash;
}

// True when `text` holds a character with a stand-in's lead byte.
inline bool holdsStandIn(const char* text, std::size_t length) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
    // Most texts hold no byte in the stand-ins' range at all: a plain pass
    // over the bytes tells, before the walk by characters.
    if (!eightBytes::anyWord(text, length, [](uint64_t w) { return eightBytes::inHighRange(w, 0xF0, 0xF9) != 0; }))
        return false;
    for (std::size_t i = 0; i < length; ++i) {
        if (!isSjisLead(p[i])) continue;
        if (isStandInLead(p[i])) return true;
        ++i;
    }
    return false;
}

// Walks the command's `text`, handing each run of other characters to
// `segment` and the unit of each stand-in to `unit`. False at a stand-in that
// was never given out, or when `segment` fails.
template <typename Segment, typename Unit>
bool walk(const char* text, std::size_t length, Segment segment, Unit unit) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
    std::size_t start = 0;
    for (std::size_t i = 0; i < length;) {
        if (!isStandInLead(p[i])) {
            i += isSjisLead(p[i]) && i + 1 < length ? 2 : 1;
            continue;
        }
        std::size_t n;
        const std::string* found;
        if (!read(text + i, length - i, &n, &found)) return false;
        if (i > start && !segment(text + start, i - start)) return false;
        unit(*found);
        i += n;
        start = i;
    }
    return start == length || segment(text + start, length - start);
}

}  // namespace platform::standins
