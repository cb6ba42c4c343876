// The UTF-8 bridge of the POSIX backend: conversions, and the backend on a real
// directory of UTF-8 names with the bridge on.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "platform/platform.h"
#include "platform/posix_codeset.h"
#include "temporary_directory.h"

namespace codeset = platform::codeset;

namespace {

class Bridge : public ::testing::Test {
protected:
    void SetUp() override { codeset::setActive(true); ASSERT_TRUE(codeset::active()); }
    void TearDown() override { codeset::setActive(false); }
};

TEST_F(Bridge, ToCommandMarksOnlyWhatDoesNotConvert) {
    struct Case {
        const char* utf8;
        const char* expected;
        bool whole;
    } cases[] = {
        {"ABC.TXT", "ABC.TXT", true},
        {"表示.TXT", "\x95\x5C\x8E\xA6.TXT", true},
        {"ソフト", "\x83\x5C\x83\x74\x83\x67", true},     // ソ ends in 0x5C
        {"ＡＢＣ", "\x82\x60\x82\x61\x82\x62", true},     // full-width letters
        {"ﾀ", "\xC0", true},                              // half-width katakana
        {"\\~", "\\~", true},                             // stay ASCII both ways
        {"A😀B", "A\xFF" "B", false},                      // outside code page 932
        {"caf\xC3\xA9", "caf\xFF", false},                // no best fit to 'e'
        {"A\xE8" "B", "A\xFF" "B", false},                // not UTF-8
        {"\xE8\xA1", "\xFF\xFF", false},                  // cut short
        {"\xC0\xAF", "\xFF\xFF", false},                  // overlong '/'
        {"\xED\xA0\x80", "\xFF\xFF\xFF", false},          // a surrogate
    };
    for (const Case& c : cases) {
        std::string out;
        EXPECT_EQ(codeset::toCommand(c.utf8, out), c.whole) << c.utf8;
        EXPECT_EQ(out, c.expected) << c.utf8;
    }
}

TEST_F(Bridge, ToSystemIsAllOrNothing) {
    struct Case {
        const char* text;
        bool converts;
        const char* utf8;
    } cases[] = {
        {"\x95\x5C\x8E\xA6.txt", true, "表示.txt"},
        {"\x83\x5C\\x", true, "ソ\\x"},
        {"A\xFF" "B", false, ""},    // the mark never reaches the system
        {"A\x81", false, ""},        // a lead byte without its second byte
        {"\xA0", false, ""},         // unassigned in code page 932
        {"\x81\x20", false, ""},     // a lead byte before a space
    };
    for (const Case& c : cases) {
        std::string out;
        EXPECT_EQ(codeset::toSystem(c.text, std::strlen(c.text), out), c.converts) << c.text;
        if (c.converts) {
            EXPECT_EQ(out, c.utf8);
        }
    }
}

TEST_F(Bridge, DisplayShowsWhatDoesNotConvertAsQuestionMarks) {
    std::string out;
    codeset::toDisplay("\x95\x5C\x8E\xA6\x81\xA8x", 7, out);
    EXPECT_EQ(out, "表示→x");
    codeset::toDisplay("A\xFF" "B\x81", 4, out);
    EXPECT_EQ(out, "A?B?");
}

TEST(BridgeOff, EveryTextPassesUnchanged) {
    codeset::setActive(false);
    std::string out;
    EXPECT_TRUE(codeset::toCommand("\xE8\xA1\xA8", out));
    EXPECT_EQ(out, "\xE8\xA1\xA8");
    EXPECT_TRUE(codeset::toSystem("\xFF\x81", 2, out));
    EXPECT_EQ(out, "\xFF\x81");
}

class BridgedDirectory : public TemporaryDirectoryTest {
protected:
    void SetUp() override {
        TemporaryDirectoryTest::SetUp();
        codeset::setActive(true);
    }
    void TearDown() override {
        codeset::setActive(false);
        TemporaryDirectoryTest::TearDown();
    }
    static std::string names(const char* pattern) {
        std::string all;
        platform::FindData data;
        platform::SearchHandle h = platform::FindFirstFileA(pattern, &data);
        for (bool more = h != nullptr; more; more = platform::FindNextFileA(h, &data))
            all += std::string(data.fileName) + "|";
        platform::FindClose(h);
        return all;
    }
    static bool exists(const char* name) { return access(name, F_OK) == 0; }
};

TEST_F(BridgedDirectory, SearchesGiveCodePageNamesAndSkipOthers) {
    for (const char* name : {"表示.TXT", "A😀.TXT", "CAF\xC3\x89.TXT", "X\xE8.TXT"})
        std::ofstream{name};
    EXPECT_EQ(names("*.TXT"), "\x95\x5C\x8E\xA6.TXT|");
    EXPECT_EQ(names("\x95\x5C\x8E\xA6.txt"), "\x95\x5C\x8E\xA6.TXT|");  // case-insensitive lookup
    EXPECT_EQ(names("A\xFF.TXT"), "");                                // the mark finds nothing
    EXPECT_EQ(names("A\xFF*"), "");
}

TEST_F(BridgedDirectory, MovesConvertBackAndRefuseWhatWouldNotBeFaithful) {
    std::ofstream{"ソフト.TXT"};
    EXPECT_TRUE(platform::moveEntry("\x83\x5C\x83\x74\x83\x67.TXT", "\x83\x5C\x83\x74\x83\x67.txt"));
    EXPECT_TRUE(exists("ソフト.txt"));
    EXPECT_FALSE(platform::moveEntry("\x83\x5C\x83\x74\x83\x67.txt", "A\xFF.txt"));
    EXPECT_FALSE(platform::moveEntry("\x83\x5C\x83\x74\x83\x67.txt", "sub/x.txt"));
    EXPECT_TRUE(exists("ソフト.txt"));
}

}  // namespace
