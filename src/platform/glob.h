// Wildcard matching of entry names for backends whose system has none: '*' any
// run of characters, '?' one character (a double-byte character is one), A-Z
// matched without regard to case.
#pragma once

#include <cstddef>
#include <cstdint>

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
bool wildcardMatch(const Wildcard& wildcard, const char* name, std::size_t length);
bool hasWildcard(const char* text);
