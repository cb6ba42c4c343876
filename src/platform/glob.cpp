#include "platform/glob.h"

#include "sjis/sjis.h"

namespace {

inline int fold(unsigned char c) { return (c >= 'a' && c <= 'z') ? c - 32 : c; }

// Byte length of the character at p (1 or 2; 1 at a lone lead byte).
inline int charLength(const char* p) {
    return (isSjisLead(static_cast<unsigned char>(*p)) && p[1] != '\0') ? 2 : 1;
}

bool sameChar(const char* a, const char* b, int length) {
    for (int i = 0; i < length; ++i)
        if (fold(static_cast<unsigned char>(a[i])) != fold(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

}  // namespace

bool hasWildcard(const char* text) {
    for (; *text; ++text)
        if (*text == '*' || *text == '?') return true;
    return false;
}

bool wildcardMatch(const char* pattern, const char* name) {
    // Iterative matching with one backtrack point for the last '*'.
    const char* starPattern = nullptr;
    const char* starName = nullptr;
    while (*name) {
        if (*pattern == '*') {
            while (*pattern == '*') ++pattern;
            if (*pattern == '\0') return true;
            starPattern = pattern;
            starName = name;
            continue;
        }
        int length = charLength(name);
        if (*pattern == '?' ||
            (charLength(pattern) == length && sameChar(pattern, name, length))) {
            pattern += *pattern == '?' ? 1 : length;
            name += length;
            continue;
        }
        if (!starPattern) return false;
        starName += charLength(starName);
        name = starName;
        pattern = starPattern;
    }
    while (*pattern == '*') ++pattern;
    return *pattern == '\0';
}
