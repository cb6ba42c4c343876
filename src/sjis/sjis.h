// Shift-JIS (code page 932) scanning over NUL-terminated byte strings. A
// double-byte character's second byte can look like '\\' (0x5C) or a letter,
// so every scan for a separator or a letter steps over whole characters.
// None of these allocates or keeps state.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "sjis/words.h"

// Inline: every scan asks these of each byte.
inline bool isSjisLead(int value) {  // 0x81-0x9F, 0xE0-0xFC
    unsigned b = static_cast<unsigned>(value) & 0xFFu;
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}
inline bool isSjisTrail(int value) {  // 0x40-0x7E, 0x80-0xFC
    unsigned b = static_cast<unsigned>(value) & 0xFFu;
    return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFC);
}

// 0: single-byte character (or index past the end), 1: lead byte, 2: trail
// byte. A lead byte followed by a non-trail byte leaves that byte kind 0.
int sjisKindAt(const char* s, std::size_t i);

// Character-aware searches: only the first byte of each character is compared.
// A lead byte directly before the terminator ends the search with nullptr.
const char* sjisFindFirst(const char* s, char c);
const char* sjisFindLast(const char* s, char c);
const char* sjisFindSub(const char* s, const char* sub);
char* sjisFindFirst(char* s, char c);
char* sjisFindLast(char* s, char c);
char* sjisFindSub(char* s, const char* sub);

// Byte-wise comparisons; the IgnoreCase forms fold only a-z.
bool equalStrings(const char* a, const char* b);
bool equalsIgnoreCase(const char* a, const char* b);
bool startsWith(const char* s, const char* prefix);
bool startsWithIgnoreCase(const char* s, const char* prefix);
bool equalFirstN(const char* a, const char* b, std::size_t n);

// Copies at most n bytes and a terminator; dst holds n + 1 bytes. Byte-wise.
char* copyBounded(char* dst, const char* src, std::size_t n);
// Moves the text after its leading white space (0x09-0x0D, 0x20) to the front.
char* trimLeadingSpace(char* s);
bool isWhiteSpace(int byte);
// 0: no white space; 1: white space only at the end; 2: white space before
// some other byte.
int whiteSpaceKind(const char* s);

// The position just after the extension's dot, or nullptr. A dot counts only
// when no '\\' or '/' follows it (plain byte search).
const char* pathExtension(const char* p);
char* pathExtension(char* p);
// Replaces or appends the extension; the caller provides the room.
char* setExtension(char* p, const char* ext);

// Lower-cases A-Z of single-byte characters in place; double-byte characters
// stay byte for byte.
void lowerSingleByteLetters(char* text);
void lowerSingleByteLetters(char* text, std::size_t length);  // its length known
// The `length` bytes of `from` lowered so into `to`, which may be `from`,
// with a terminator after them.
void copyAnyLowered(char* to, const char* from, std::size_t length);
inline void copyLowered(char* to, const char* from, std::size_t length) {
    using namespace eightBytes;
    if (length - 8 > 8) return copyAnyLowered(to, from, length);
    // Eight to sixteen bytes, the common case: two words, which overlap.
    uint64_t first = load(from), last = load(from + length - 8);
    if ((first | last) & highs) return copyAnyLowered(to, from, length);
    first = lowered(first);
    last = lowered(last);
    std::memcpy(to, &first, 8);
    std::memcpy(to + length - 8, &last, 8);
    to[length] = '\0';
}
// Code page 932's double-byte letters that have a case: full-width A-Z,
// Greek and Cyrillic. For the character `lead`,`trail`: 1 for a capital, whose
// lower-case form (the same lead byte) is put in `lowerTrail`; 2 for a small
// letter; 0 for any other.
int doubleByteLetterCase(unsigned char lead, unsigned char trail, unsigned char* lowerTrail);

// The same the other way: the key under which a name's spellings meet.
void upperSingleByteLetters(char* text);
// True when the byte at s starts a character that is a path separator, '\\',
// '/' or none; used by scans that already walk character by character.
inline bool isSeparatorByte(char c) { return c == '\\' || c == '/'; }
