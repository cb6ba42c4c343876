#include "platform/glob.h"

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

// The common "*.TXT" over single-byte names: '*' followed by single-byte
// text without wildcards matches a single-byte name that ends in that text.
// `decided` is false where the general walk must answer.
bool matchesStarThenText(const char* pattern, const char* name, bool& decided) {
    decided = false;
    if (pattern[0] != '*' || pattern[1] == '\0') return false;
    const char* tail = pattern + 1;
    std::size_t tailLength = 0;
    for (; tail[tailLength]; ++tailLength) {
        unsigned char c = static_cast<unsigned char>(tail[tailLength]);
        if (c == '*' || c == '?' || c >= 0x80) return false;
    }
    std::size_t length = 0;
    for (; name[length]; ++length)
        if (static_cast<unsigned char>(name[length]) >= 0x80) return false;
    decided = true;
    if (tailLength > length) return false;
    return sameChar(name + (length - tailLength), tail, static_cast<int>(tailLength));
}

}  // namespace

bool wildcardMatch(const char* pattern, const char* name) {
    bool decided;
    bool matched = matchesStarThenText(pattern, name, decided);
    if (decided) return matched;
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
