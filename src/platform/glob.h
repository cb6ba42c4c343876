// Wildcard matching of entry names for backends whose system has none: '*' any
// run of characters, '?' one character (a double-byte character is one), A-Z
// matched without regard to case.
#pragma once

#include <cstddef>
#include <cstdint>

#include "sjis/words.h"

bool wildcardMatch(const char* pattern, const char* name);

// A pattern prepared once for the many names of a listing.
struct Wildcard {
    const char* pattern;
    std::size_t tail;  // "*" then single-byte text without wildcards: that text's length; else 0
    // A tail of eight bytes or fewer, A-Z lowered, as the last word of a name
    // holds it, and the bytes of that word it fills.
    std::uint64_t tailWord, tailMask;
};
Wildcard prepareWildcard(const char* pattern);
// The same as wildcardMatch(wildcard.pattern, name); `name` has `length` bytes.
bool wildcardMatchAny(const Wildcard& wildcard, const char* name, std::size_t length);
// The same, its fast path where each listing's loop is: "*.TXT" over eight to
// sixteen bytes of single-byte text is told from the name's last word.
inline bool wildcardMatch(const Wildcard& wildcard, const char* name, std::size_t length) {
    using namespace eightBytes;
    if (wildcard.tailMask && length - 8 <= 8 && !((load(name) | load(name + length - 8)) & highs))
        return length >= wildcard.tail && (lowered(load(name + length - 8)) & wildcard.tailMask) == wildcard.tailWord;
    return wildcardMatchAny(wildcard, name, length);
}
bool hasWildcard(const char* text);
