#include "platform/glob.h"

#include <cstdint>
#include <cstring>

#include "sjis/sjis.h"

namespace {

inline int fold(unsigned char c) { return (c >= 'a' && c <= 'z') ? c - 32 : c; }

// Byte length of the character at p (1 or 2; 1 at a lone lead byte).
inline int charLength(const char* p) {
    return (isSjisLead(static_cast<unsigned char>(*p)) && p[1] != '\0') ? 2 : 1;
}

// True when the `length` bytes at `a` and `b` are the same, a-z taken as A-Z.
bool sameChar(const char* a, const char* b, int length) {
    for (int i = 0; i < length; ++i)
        if (fold(static_cast<unsigned char>(a[i])) != fold(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

}  // namespace

bool hasWildcard(const char* text) { return std::strpbrk(text, "*?") != nullptr; }

namespace {

// The general walk.
bool walkMatch(const char* pattern, const char* name) {
    // Iterative matching with one backtrack point for the last '*'.
    const char* starPattern = nullptr;
    const char* starName = nullptr;
    while (*name) {
        unsigned char p = static_cast<unsigned char>(*pattern);
        if (p == '*') {
            while (*pattern == '*') ++pattern;
            if (*pattern == '\0') return true;
            starPattern = pattern;
            starName = name;
            continue;
        }
        unsigned char n = static_cast<unsigned char>(*name);
        // Single-byte characters on both sides, the common case.
        if (p < 0x80 && n < 0x80 && p != '?') {
            if (fold(p) == fold(n)) {
                ++pattern;
                ++name;
                continue;
            }
        } else {
            int length = charLength(name);
            if (p == '?' || (charLength(pattern) == length && sameChar(pattern, name, length))) {
                pattern += p == '?' ? 1 : length;
                name += length;
                continue;
            }
        }
        if (!starPattern) return false;
        starName += charLength(starName);
        name = starName;
        pattern = starPattern;
    }
    while (*pattern == '*') ++pattern;
    return *pattern == '\0';
}

}  // namespace

Wildcard prepareWildcard(const char* pattern) {
    Wildcard wildcard{pattern, 0, 0, 0};
    if (pattern[0] != '*' || pattern[1] == '\0') return wildcard;
    std::size_t tail = 0;
    for (const char* p = pattern + 1; *p; ++p, ++tail) {
        unsigned char c = static_cast<unsigned char>(*p);
        if (c == '*' || c == '?' || c >= 0x80) return wildcard;
    }
    wildcard.tail = tail;
    if (tail <= 8) {
        char word[8] = {};
        std::memcpy(word + 8 - tail, pattern + 1, tail);
        wildcard.tailWord = eightBytes::lowered(eightBytes::load(word));
        char mask[8] = {};
        std::memset(mask + 8 - tail, 0xFF, tail);
        wildcard.tailMask = eightBytes::load(mask);
    }
    return wildcard;
}

bool wildcardMatchAny(const Wildcard& wildcard, const char* name, std::size_t length) {
    // The common "*.TXT" over single-byte names: such a name matches when it
    // ends in the text.
    if (wildcard.tail && eightBytes::singleByte(name, length)) {
        if (length < wildcard.tail) return false;
        if (wildcard.tailMask && length >= 8)
            return (eightBytes::lowered(eightBytes::load(name + length - 8)) & wildcard.tailMask) == wildcard.tailWord;
        return sameChar(name + length - wildcard.tail, wildcard.pattern + 1, static_cast<int>(wildcard.tail));
    }
    return walkMatch(wildcard.pattern, name);
}

bool wildcardMatch(const char* pattern, const char* name) {
    return wildcardMatch(prepareWildcard(pattern), name, std::strlen(name));
}
