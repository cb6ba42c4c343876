#include "sjis/sjis.h"

#include <cstring>

namespace {
inline unsigned char byteAt(const char* s, std::size_t i) {
    return static_cast<unsigned char>(s[i]);
}
inline int foldCase(unsigned char c) {
    return (c >= 'a' && c <= 'z') ? c - ('a' - 'A') : c;
}
}  // namespace

int sjisKindAt(const char* s, std::size_t i) {
    int state = 0;
    for (std::size_t k = 0; k <= i; ++k) {
        unsigned char b = byteAt(s, k);
        if (b == 0) return 0;  // index at or past the end
        if (state == 1)
            state = isSjisTrail(b) ? 2 : 0;
        else
            state = isSjisLead(b) ? 1 : 0;
    }
    return state;
}

const char* sjisFindFirst(const char* s, char c) {
    for (;;) {
        if (*s == c) return s;
        if (*s == '\0') return nullptr;
        if (isSjisLead(byteAt(s, 0))) {
            ++s;
            if (*s == '\0') return nullptr;
        }
        ++s;
    }
}

const char* sjisFindLast(const char* s, char c) {
    const char* found = nullptr;
    for (;;) {
        if (*s == c) found = s;
        if (*s == '\0') return found;
        if (isSjisLead(byteAt(s, 0))) {
            ++s;
            if (*s == '\0') return nullptr;
        }
        ++s;
    }
}

const char* sjisFindSub(const char* s, const char* sub) {
    if (*sub == '\0') return s;
    for (;;) {
        const char* candidate = sjisFindFirst(s, sub[0]);
        if (!candidate) return nullptr;
        std::size_t k = 1;
        while (sub[k] != '\0' && candidate[k] == sub[k]) ++k;
        if (sub[k] == '\0') return candidate;
        if (isSjisLead(byteAt(candidate, 0))) {
            if (candidate[1] == '\0') return nullptr;
            s = candidate + 2;
        } else {
            s = candidate + 1;
        }
    }
}

char* sjisFindFirst(char* s, char c) {
    return const_cast<char*>(sjisFindFirst(static_cast<const char*>(s), c));
}
char* sjisFindLast(char* s, char c) {
    return const_cast<char*>(sjisFindLast(static_cast<const char*>(s), c));
}
char* sjisFindSub(char* s, const char* sub) {
    return const_cast<char*>(sjisFindSub(static_cast<const char*>(s), sub));
}

bool equalStrings(const char* a, const char* b) { return std::strcmp(a, b) == 0; }

bool equalsIgnoreCase(const char* a, const char* b) {
    for (std::size_t i = 0;; ++i) {
        unsigned char x = byteAt(a, i), y = byteAt(b, i);
        if (x == y) {
            if (x == 0) return true;
        } else if (foldCase(x) != foldCase(y)) {
            return false;
        }
    }
}

bool startsWith(const char* s, const char* prefix) {
    return std::strncmp(s, prefix, std::strlen(prefix)) == 0;
}

bool startsWithIgnoreCase(const char* s, const char* prefix) {
    for (std::size_t i = 0; prefix[i] != '\0'; ++i)
        if (foldCase(byteAt(s, i)) != foldCase(byteAt(prefix, i))) return false;
    return true;
}

bool equalFirstN(const char* a, const char* b, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i)
        if (a[i] == '\0' || b[i] == '\0' || a[i] != b[i]) return false;
    return true;
}

char* copyBounded(char* dst, const char* src, std::size_t n) {
    std::size_t i = 0;
    for (; i < n && src[i] != '\0'; ++i) dst[i] = src[i];
    dst[i] = '\0';
    return dst;
}

bool isWhiteSpace(int byte) { return (byte >= 0x09 && byte <= 0x0D) || byte == 0x20; }

char* trimLeadingSpace(char* s) {
    std::size_t skip = 0;
    while (isWhiteSpace(byteAt(s, skip))) ++skip;
    if (skip) std::memmove(s, s + skip, std::strlen(s + skip) + 1);
    return s;
}

int whiteSpaceKind(const char* s) {
    bool seen = false;
    for (; *s; ++s) {
        if (isWhiteSpace(byteAt(s, 0)))
            seen = true;
        else if (seen)
            return 2;
    }
    return seen ? 1 : 0;
}

const char* pathExtension(const char* p) {
    const char* dot = std::strrchr(p, '.');
    if (!dot) return nullptr;
    // A dot in a directory name is no extension; '/' ends a directory as
    // well as '\\'.
    if (std::strchr(dot, '\\') || std::strchr(dot, '/')) return nullptr;
    return dot + 1;
}

char* pathExtension(char* p) {
    return const_cast<char*>(pathExtension(static_cast<const char*>(p)));
}

char* setExtension(char* p, const char* ext) {
    char* at = pathExtension(p);
    if (at) {
        std::strcpy(at, ext);
    } else {
        std::strcat(p, ".");
        std::strcat(p, ext);
    }
    return p;
}

void lowerSingleByteLetters(char* text) { lowerSingleByteLetters(text, std::strlen(text)); }

void lowerSingleByteLetters(char* text, std::size_t length) { copyLowered(text, text, length); }

void copyAnyLowered(char* to, const char* from, std::size_t length) {
    using namespace eightBytes;
    std::size_t i = 0;
    to[length] = '\0';
    for (; i + 8 <= length; i += 8) {  // single-byte text first, the common case
        uint64_t w = load(from + i);
        if (w & highs) break;
        w = lowered(w);
        std::memcpy(to + i, &w, 8);
    }
    // Fewer than eight bytes left: the last eight, overlapping those done
    // (lowering them again changes nothing), where all are single-byte.
    if (i < length && i + 8 > length && length >= 8) {
        uint64_t w = load(from + length - 8);
        if (!(w & highs)) {
            w = lowered(w);
            std::memcpy(to + length - 8, &w, 8);
            return;
        }
    }
    auto lower = [](unsigned char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c); };
    for (; i < length; ++i) {
        auto c = static_cast<unsigned char>(from[i]);
        to[i] = lower(c);
        // The second byte stays as it is, even when it looks like A-Z.
        if (isSjisLead(c) && i + 1 < length) {
            ++i;
            to[i] = from[i];
        }
    }
}

void upperSingleByteLetters(char* text) {
    for (unsigned char* p = reinterpret_cast<unsigned char*>(text); *p; ++p) {
        if (isSjisLead(*p)) {
            if (p[1] == 0) return;
            ++p;
            continue;
        }
        if (*p >= 'a' && *p <= 'z') *p = static_cast<unsigned char>(*p - ('a' - 'A'));
    }
}

int doubleByteLetterCase(unsigned char lead, unsigned char trail, unsigned char* lowerTrail) {
    // Each capital's small letter stands a fixed distance after it, but for
    // Cyrillic, whose small letters step over the trail byte 0x7F.
    struct Block {
        unsigned char lead, firstCapital, lastCapital, firstSmall;
    };
    static constexpr Block blocks[] = {
        {0x82, 0x60, 0x79, 0x81},  // full-width A-Z
        {0x83, 0x9F, 0xB6, 0xBF},  // Greek
        {0x84, 0x40, 0x4E, 0x70},  // Cyrillic A to N
        {0x84, 0x4F, 0x60, 0x80},  // Cyrillic O to YA
    };
    for (const Block& b : blocks) {
        if (lead != b.lead) continue;
        if (trail >= b.firstCapital && trail <= b.lastCapital) {
            *lowerTrail = static_cast<unsigned char>(b.firstSmall + (trail - b.firstCapital));
            return 1;
        }
        if (trail >= b.firstSmall && trail <= b.firstSmall + (b.lastCapital - b.firstCapital)) return 2;
    }
    return 0;
}
