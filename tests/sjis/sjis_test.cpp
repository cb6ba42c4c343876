#include "sjis/sjis.h"
#include "sjis/words.h"

#include <gtest/gtest.h>

#include <string>

TEST(Sjis, ByteClassesAtTheirEdges) {
    struct Case { int byte; bool lead, trail; } cases[] = {
        {0x3F, false, false}, {0x40, false, true},  {0x5C, false, true}, {0x7E, false, true},
        {0x7F, false, false}, {0x80, false, true},  {0x81, true, true},  {0x9F, true, true},
        {0xA0, false, true},  {0xDF, false, true},  {0xE0, true, true},  {0xFC, true, true},
        {0xFD, false, false}, {0x181, true, true},  // only the low 8 bits count
    };
    for (auto& c : cases) {
        EXPECT_EQ(isSjisLead(c.byte), c.lead) << std::hex << c.byte;
        EXPECT_EQ(isSjisTrail(c.byte), c.trail) << std::hex << c.byte;
    }
}

TEST(Sjis, KindAtWalksFromTheStart) {
    const char kanjiThenA[] = "\x95\x5c" "A";
    EXPECT_EQ(sjisKindAt(kanjiThenA, 0), 1);
    EXPECT_EQ(sjisKindAt(kanjiThenA, 1), 2);
    EXPECT_EQ(sjisKindAt(kanjiThenA, 2), 0);
    EXPECT_EQ(sjisKindAt(kanjiThenA, 3), 0);
    EXPECT_EQ(sjisKindAt(kanjiThenA, 1000), 0);
    EXPECT_EQ(sjisKindAt(kanjiThenA, static_cast<std::size_t>(-1)), 0);
    EXPECT_EQ(sjisKindAt("\x81 ", 0), 1);
    EXPECT_EQ(sjisKindAt("\x81 ", 1), 0);  // not a trail byte
}

TEST(Sjis, SearchesNeverStopOnASecondByte) {
    struct Case { const char* s; char c; int first, last; } cases[] = {
        {"\x95\x5c", '\\', -1, -1},           // one kanji whose second byte is 0x5C
        {"a\\b", '\\', 1, 1},
        {"a\\b\\c", '\\', 1, 3},
        {"a\\b\x81", '\\', 1, -1},            // a lone lead byte at the end drops the match
        {"abc", '\0', 3, 3},                   // NUL finds the terminator
        {"\x82" "A" "A", 'A', 2, 2},           // 0x82 0x41 is one character
    };
    for (auto& c : cases) {
        const char* f = sjisFindFirst(c.s, c.c);
        const char* l = sjisFindLast(c.s, c.c);
        EXPECT_EQ(f ? f - c.s : -1, c.first) << c.s;
        EXPECT_EQ(l ? l - c.s : -1, c.last) << c.s;
    }
    const char percent[] = "\x81%%";
    EXPECT_EQ(sjisFindSub(percent, "%"), percent + 2);
    EXPECT_EQ(sjisFindSub("abc", ""), std::string("abc"));
    const char* abc = "xabcab";
    EXPECT_EQ(sjisFindSub(abc, "ab"), abc + 1);
    EXPECT_EQ(sjisFindSub(abc, "abd"), nullptr);
    EXPECT_EQ(sjisFindSub("a\x81", "b"), nullptr);
}

TEST(Sjis, ComparisonsAreByteWise) {
    EXPECT_TRUE(startsWith("switch=-", "switch"));
    EXPECT_FALSE(startsWith("ab", "abc"));
    EXPECT_TRUE(equalFirstN("abc", "abd", 2));
    EXPECT_FALSE(equalFirstN("abc", "abd", 3));
    EXPECT_TRUE(equalFirstN("", "x", 0));
    EXPECT_FALSE(equalFirstN("ab", "ab", 3));
    EXPECT_TRUE(equalsIgnoreCase("Help", "HELP"));
    EXPECT_FALSE(equalsIgnoreCase("help", "help "));
    EXPECT_TRUE(startsWithIgnoreCase("TEST-x", "test-"));
    EXPECT_FALSE(startsWithIgnoreCase("tes", "test-"));
    EXPECT_TRUE(equalStrings("a", "a"));
    EXPECT_FALSE(equalStrings("a", "A"));
}

TEST(Sjis, WhiteSpaceAndTrimming) {
    EXPECT_EQ(whiteSpaceKind("abc"), 0);
    EXPECT_EQ(whiteSpaceKind("abc  "), 1);
    EXPECT_EQ(whiteSpaceKind("a c"), 2);
    EXPECT_EQ(whiteSpaceKind(" abc"), 2);
    EXPECT_EQ(whiteSpaceKind(""), 0);
    EXPECT_EQ(whiteSpaceKind("\x81\x40"), 0);  // the full-width space is no white space
    char s[] = "\t x";
    EXPECT_STREQ(trimLeadingSpace(s), "x");
    char blank[] = " \r\n";
    EXPECT_STREQ(trimLeadingSpace(blank), "");
    char out[16];
    EXPECT_STREQ(copyBounded(out, "abc", 2), "ab");
    EXPECT_STREQ(copyBounded(out, "abc", 10), "abc");
    EXPECT_STREQ(copyBounded(out, "abc", 0), "");
}

TEST(Sjis, ExtensionsStopAtEitherSeparator) {
    struct Case { const char* path; const char* extension; } cases[] = {
        {"C:\\dir\\tool.exe", "exe"}, {"C:\\dir.d\\tool", nullptr}, {"name.", ""},
        {"noext", nullptr},          {"./tavisk", nullptr},        {"/opt/x.d/tavisk", nullptr},
        {"a.b/c.txt", "txt"},
    };
    for (auto& c : cases) {
        const char* e = pathExtension(c.path);
        if (!c.extension)
            EXPECT_EQ(e, nullptr) << c.path;
        else
            EXPECT_STREQ(e, c.extension) << c.path;
    }
    struct Set { const char* path; const char* result; } sets[] = {
        {"C:\\x\\tool.exe", "C:\\x\\tool.cfg"}, {"C:\\x\\tool", "C:\\x\\tool.cfg"},
        {"name.", "name.cfg"},                   {"/usr/bin/tavisk", "/usr/bin/tavisk.cfg"},
    };
    for (auto& c : sets) {
        char buffer[64];
        std::snprintf(buffer, sizeof buffer, "%s", c.path);
        EXPECT_STREQ(setExtension(buffer, "cfg"), c.result);
    }
}

TEST(Sjis, LowerCasingLeavesDoubleByteCharactersAlone) {
    struct Case { const char* in; const char* out; } cases[] = {
        {"TEST.TXT", "test.txt"},
        {"\x82" "A" "B.TXT", "\x82" "Ab.txt"},  // 0x82 0x41 keeps its second byte
        {"\x95\x5c" "A", "\x95\x5c" "a"},
        {"\x82\x60" "Z", "\x82\x60" "z"},         // full-width A stays
        {"\xb1" "A", "\xb1" "a"},                 // half-width katakana is single-byte
        {"A\x81", "a\x81"},                       // a lone lead byte ends the scan
        {"@ABCDEFGHIJKLMNOPQRSTUVWXYZ[`{", "@abcdefghijklmnopqrstuvwxyz[`{"},  // eight at a time
        {"ABCDEFGH\x82" "AB", "abcdefgh\x82" "Ab"},  // a character after the first eight
        {"ABCDEFGHIJ", "abcdefghij"},                // the last eight overlap the first
        {"\x82\xa0" "ABCDEFGHIJ", "\x82\xa0" "abcdefghij"},  // a character in the first eight
    };
    for (auto& c : cases) {
        std::string s = c.in;
        lowerSingleByteLetters(s.data());
        EXPECT_EQ(s, c.out) << c.in;
    }
    // Under /u the double-byte letters with a case: each block's edges, and
    // the Cyrillic small letters' step over 0x7F.
    struct Letter { unsigned char lead, trail; int kind; unsigned char lower; } letters[] = {
        {0x82, 0x60, 1, 0x81}, {0x82, 0x79, 1, 0x9A}, {0x82, 0x5F, 0, 0}, {0x82, 0x7A, 0, 0},  // full-width A, Z
        {0x82, 0x81, 2, 0}, {0x82, 0x9A, 2, 0}, {0x82, 0x9B, 0, 0},                          // a, z
        {0x83, 0x9F, 1, 0xBF}, {0x83, 0xB6, 1, 0xD6}, {0x83, 0xB7, 0, 0},                    // Alpha, Omega
        {0x83, 0xBF, 2, 0}, {0x83, 0xD6, 2, 0},                                              // alpha, omega
        {0x84, 0x40, 1, 0x70}, {0x84, 0x46, 1, 0x76}, {0x84, 0x4E, 1, 0x7E},                 // A, YO, EN
        {0x84, 0x4F, 1, 0x80}, {0x84, 0x60, 1, 0x91}, {0x84, 0x61, 0, 0},                    // O, YA
        {0x84, 0x7E, 2, 0}, {0x84, 0x7F, 0, 0}, {0x84, 0x80, 2, 0}, {0x84, 0x91, 2, 0},      // en, (none), o, ya
        {0x83, 0x60, 0, 0}, {0x88, 0x9F, 0, 0},  // katakana, a kanji
    };
    for (const Letter& l : letters) {
        unsigned char lower = 0;
        EXPECT_EQ(doubleByteLetterCase(l.lead, l.trail, &lower), l.kind) << std::hex << int(l.lead) << int(l.trail);
        if (l.kind == 1) {
            EXPECT_EQ(lower, l.lower) << std::hex << int(l.lead) << int(l.trail);
        }
    }
    // The copy that lowering's callers make: every length up to past two words.
    for (std::size_t n = 0; n <= 20; ++n) {
        const char source[] = "ABCDEFGHIJKLMNOPQRSTU";
        char copied[24];
        std::memset(copied, '#', sizeof copied);
        eightBytes::copy(copied, source, n);
        EXPECT_EQ(std::string(copied, n), std::string(source, n)) << n;
        EXPECT_EQ(copied[n], '#') << n;  // nothing written past the end
    }
    // A word's letters: each byte on its own, the bounds of A-Z and the bytes
    // beside them ('@' and '[', '`' and '{') kept apart.
    struct Word { const char* bytes; const char* lowered; const char* inAZ; } words[] = {
        {"ABCDEFGH", "abcdefgh", "11111111"}, {"@AZ[`az{", "@az[`az{", "01100000"},
        {"abc.TXT~", "abc.txt~", "00001110"}, {"12345678", "12345678", "00000000"},
        {"Z\\Y/X:W ", "z\\y/x:w ", "10101010"}, {"\\\\\\\\AAAA", "\\\\\\\\aaaa", "00001111"},
    };
    for (const Word& w : words) {
        uint64_t word = eightBytes::load(w.bytes);
        uint64_t lowered = eightBytes::lowered(word), mask = eightBytes::inRange(word, 'A', 'Z');
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(&lowered), 8), w.lowered) << w.bytes;
        std::string told;
        for (int i = 0; i < 8; ++i) told += (reinterpret_cast<const unsigned char*>(&mask)[i] & 0x80) ? '1' : '0';
        EXPECT_EQ(told, w.inAZ) << w.bytes;
        EXPECT_EQ(word & eightBytes::highs, 0u) << w.bytes;
    }
    // Upper-casing, for the key that a name's spellings share: the second
    // byte 0x61 of a character stays.
    std::string key = "a\x82" "a.txt";
    upperSingleByteLetters(key.data());
    EXPECT_EQ(key, "A\x82" "a.TXT");
}

// The word-at-a-time primitives against their byte-by-byte meaning: every
// byte below 0x80 in every lane for the range and the lowering, and every
// length of the copy, overlapping halves included, at odd addresses; the
// byte order of the sort keys.
TEST(EightBytes, EachLaneAsItsByteAndEveryCopyLength) {
    struct Range {
        unsigned lo, hi;
    } ranges[] = {{'A', 'Z'}, {'a', 'z'}, {0, 0x1F}, {'0', '9'}, {0x7F, 0x7F}};
    for (const Range& r : ranges)
        for (unsigned b = 0; b < 0x80; ++b)
            for (int lane = 0; lane < 8; ++lane) {
                char bytes[8] = {'x', 'x', 'x', 'x', 'x', 'x', 'x', 'x'};
                bytes[lane] = static_cast<char>(b);
                uint64_t w = eightBytes::load(bytes);
                uint64_t marks = eightBytes::inRange(w, r.lo, r.hi);
                char lowered[8];
                uint64_t l = eightBytes::lowered(w);
                std::memcpy(lowered, &l, 8);
                for (int i = 0; i < 8; ++i) {
                    unsigned c = static_cast<unsigned char>(bytes[i]);
                    bool in = c >= r.lo && c <= r.hi;
                    char mark[8];
                    std::memcpy(mark, &marks, 8);
                    EXPECT_EQ(static_cast<unsigned char>(mark[i]), in ? 0x80u : 0u) << b << " lane " << lane;
                    char expected = c >= 'A' && c <= 'Z' ? static_cast<char>(c + 0x20) : bytes[i];
                    EXPECT_EQ(lowered[i], expected) << b << " lane " << lane;
                }
            }
    // Ranges from 0x80 on, among bytes of every value.
    for (const Range& r : {Range{0xF0, 0xF9}, Range{0x80, 0xFF}, Range{0xFD, 0xFD}})
        for (unsigned b = 0; b < 0x100; ++b)
            for (int lane = 0; lane < 8; ++lane) {
                char bytes[8] = {'\x7F', '\xEF', '\xFA', 'x', '\x70', '\x80', '\x01', '\xFF'};
                bytes[lane] = static_cast<char>(b);
                uint64_t marks = eightBytes::inHighRange(eightBytes::load(bytes), r.lo, r.hi);
                char mark[8];
                std::memcpy(mark, &marks, 8);
                for (int i = 0; i < 8; ++i) {
                    unsigned c = static_cast<unsigned char>(bytes[i]);
                    EXPECT_EQ(static_cast<unsigned char>(mark[i]), c >= r.lo && c <= r.hi ? 0x80u : 0u)
                        << b << " lane " << lane << " byte " << i;
                }
            }
    // Single-byte text: a byte from 0x80 on anywhere in every length.
    for (std::size_t n = 0; n <= 20; ++n) {
        char text[24];
        std::memset(text, 'A', sizeof text);
        EXPECT_TRUE(eightBytes::singleByte(text + 1, n)) << n;
        for (std::size_t at = 0; at < n; ++at) {
            text[1 + at] = '\x80';
            EXPECT_FALSE(eightBytes::singleByte(text + 1, n)) << n << " at " << at;
            text[1 + at] = 'A';
        }
    }
    // The first byte highest, whatever the machine's byte order.
    EXPECT_EQ(eightBytes::bigEndian(eightBytes::load("ABCDEFGH")), 0x4142434445464748u);
    EXPECT_EQ(eightBytes::bigEndian(eightBytes::load("\xFF\x01\0\0\0\0\0\x80")), 0xFF01000000000080u);
    char from[40], to[40];
    for (int i = 0; i < 40; ++i) from[i] = static_cast<char>('a' + i % 26);
    for (std::size_t n = 0; n <= 32; ++n) {
        std::memset(to, '#', sizeof to);
        eightBytes::copy(to + 1, from + 3, n);
        EXPECT_EQ(std::string(to + 1, n), std::string(from + 3, n)) << n;
        EXPECT_EQ(to[0], '#') << n;
        EXPECT_EQ(to[1 + n], '#') << n;  // nothing written past the end
    }
}
