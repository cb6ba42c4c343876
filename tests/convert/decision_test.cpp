#include "convert/decision.h"

#include <gtest/gtest.h>

#include "convert/path.h"

TEST(Decision, FourModeCombinationsOnEdgeNames) {
    // Lowered under: default, /l, /k, /l /k.
    struct Case { const char* path; bool plain, longOn, kanjiOn, both; } cases[] = {
        {"TEST.TXT", true, true, true, true},
        {"ABCDEFGH", true, true, true, true},             // 8 bytes, no extension
        {"ABCDEFGHI", false, true, false, true},          // 9 bytes, no extension
        {"ABCDEFGH.TXT", true, true, true, true},
        {"ABCDEFGHI.TXT", false, true, false, true},      // base of 9 bytes
        {"FOO.HTML", false, true, false, true},           // extension of 4 bytes
        {"ABCDEFGH.", false, true, false, true},          // the trailing dot counts
        {"ABCDEFG.", true, true, true, true},
        {"AB.CDEF", false, true, false, true},            // short, yet its extension is four bytes
        {"A.B.TX", true, true, true, true},               // the last dot decides
        {"ABCDEFGH.T", true, true, true, true},           // extensions of one and two bytes
        {"ABCDEFGHI.TX", false, true, false, true},
        {"A", true, true, true, true},
        {"Test.TXT", false, true, false, true},           // mixed
        {"MY FILE.TXT", false, true, false, true},        // a space
        {"123.456", false, false, false, false},          // no capital at all
        {"test.txt", false, false, false, false},
        {"sub\\FOO.TXT", false, true, false, true},       // the directory counts for case
        {"c:FOO.TXT", false, true, false, true},          // so does a small drive letter
        {"MY DIR\\FOO.TXT", false, true, false, true},    // a space in the directory
        {"SUBDIR/FILE.TXT", true, true, true, true},      // '/' ends the directory too
        {"LONGDIRECTORYNAME\\A.TXT", true, true, true, true},  // length rules look at N only
        {"LONGDIRECTORY NAME\\A.TXT", false, true, false, true},  // a space past eight bytes
        {"LONGDIRECTORYname\\A.TXT", false, true, false, true},
        {"\x95\x5c.TXT", false, false, true, true},       // kanji 0x95 0x5C
        {"\x95\\.TXT", false, false, true, true},
        {"\x82\x60.TXT", false, false, true, true},       // full-width A
        {"\x82\x60", false, false, false, false},         // full-width only: no capital
        {"\xb1\xb2.TXT", true, true, true, true},         // half-width katakana are single-byte
        {"A\x81", false, false, false, false},            // ends inside a character: never changed
        {"SUB\\CD\x81", false, false, false, false},
    };
    for (auto& c : cases) {
        EXPECT_EQ(shouldLowerCase(c.path, false, false), c.plain) << c.path;
        EXPECT_EQ(shouldLowerCase(c.path, true, false), c.longOn) << c.path << " /l";
        EXPECT_EQ(shouldLowerCase(c.path, false, true), c.kanjiOn) << c.path << " /k";
        EXPECT_EQ(shouldLowerCase(c.path, true, true), c.both) << c.path << " /l /k";
    }
}

TEST(Decision, ClassesStepOverDoubleByteCharacters) {
    struct Case { const char* text; int caseClass, doubleByte; } cases[] = {
        {"", 0, 0},
        {"ABC", 1, 0},
        {"AbC", 2, 0},
        {"\x82" "a", 0, 1},        // 'a' is the second byte
        {"\x81 a", 0, 2},          // 0x20 is no trail byte: 'a' counts
        {"\x95\x5c" "A", 1, 2},
        {"A\x81", 1, 1},           // a lone lead byte at the end still counts
        {"ABCDEFGHIj", 2, 0},      // past the first eight bytes
        {"abcdefgh\x82" "A", 0, 2},
        {"@[`{ABCD EFGH", 1, 0},
        {"\x82\xa0" "Abcdefghi", 2, 2},  // a capital after a character in the first eight
        {"abcdefgh\x82\xa0" "Zz", 2, 2},
    };
    for (auto& c : cases) {
        EXPECT_EQ(classifyCase(c.text), c.caseClass) << c.text;
        EXPECT_EQ(classifyDoubleByte(c.text), c.doubleByte) << c.text;
    }
    EXPECT_STREQ(extensionOf("A.B.TXT"), "TXT");
    EXPECT_STREQ(extensionOf("NAME."), "");
    EXPECT_STREQ(extensionOf("NAME"), "");
    EXPECT_STREQ(extensionOf("X.Y"), "Y");                   // shorter than four bytes
    EXPECT_STREQ(extensionOf("A.TXT.LONGEXT"), "LONGEXT");   // a dot before the last four
}

TEST(Paths, CutJoinAndFinalComponent) {
    struct Case { const char* path; const char* directory; const char* final; } cases[] = {
        {"C:\\a\\b.txt", "C:\\a\\", "b.txt"},
        {"C:b.txt", "C:", "b.txt"},
        {"b.txt", "", "b.txt"},
        {"\x95\x5c.txt", "", "\x95\x5c.txt"},        // 0x5C second byte is no separator
        {"\x95\x5c\\x", "\x95\x5c\\", "x"},
        {"sub/FILE.TXT", "sub/", "FILE.TXT"},
        {"a\\b/c", "a\\b/", "c"},
        {"a\\b\x81", "a\\", "b\x81"},             // a lone lead byte at the end hides no separator
        {"C:\x81", "C:", "\x81"},
    };
    for (auto& c : cases) {
        EXPECT_STREQ(finalComponent(c.path), c.final) << c.path;
        char buffer[64];
        std::snprintf(buffer, sizeof buffer, "%s", c.path);
        char* cut = cutToDirectory(buffer);
        EXPECT_STREQ(buffer, c.directory) << c.path;
        EXPECT_EQ(cut == nullptr, c.directory[0] == '\0') << c.path;
    }
    struct Join { const char* directory; const char* name; const char* result; } joins[] = {
        {"C:\\a\\", "x", "C:\\a\\x"}, {"C:", "x", "C:x"},   {"C:\\a", "x", "C:\\a\\x"},
        {"", "x", "x"},               {"sub/", "x", "sub/x"}, {"\x95\x5c", "x", "\x95\x5c\\x"},
    };
    for (auto& j : joins) {
        char buffer[64];
        EXPECT_STREQ(joinPath(buffer, j.directory, j.name), j.result) << j.directory;
    }
}
