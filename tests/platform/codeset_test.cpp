// The UTF-8 bridge of the POSIX backend: conversions, and the backend on a real
// directory of UTF-8 names with the bridge on.
#include <gtest/gtest.h>
#include <iconv.h>
#include <unistd.h>

#include <algorithm>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/posix_codeset.h"
#include "sjis/own_characters.h"
#include "platform/stand_ins.h"
#include "temporary_directory.h"

namespace codeset = platform::codeset;

namespace {

class Bridge : public ::testing::Test {
protected:
    void SetUp() override { codeset::setActive(true); ASSERT_TRUE(codeset::active()); }
    void TearDown() override { codeset::setActive(false); }
};

TEST_F(Bridge, ToCommandGivesStandInsThatGoBackExactly) {
    struct Case {
        const char* utf8;
        const char* expected;  // stand-ins given in the order met, from F040
    } cases[] = {
        {"ABC.TXT", "ABC.TXT"},
        {"表示.TXT", "\x95\x5C\x8E\xA6.TXT"},
        {"ソフト", "\x83\x5C\x83\x74\x83\x67"},     // ソ ends in 0x5C
        {"ＡＢＣ", "\x82\x60\x82\x61\x82\x62"},     // full-width letters
        {"ﾀ", "\xC0"},                                  // half-width katakana
        {"~", "~"},                                   // stays ASCII both ways
        {"A\\B.TXT", "A\xFD" "B.TXT"},                // a '\\' is a single-byte symbol, no separator
        {"A😀B", "A\xF0\x40" "B"},                      // outside code page 932
        {"caf\xC3\xA9", "caf\xF0\x40"},                // no best fit to 'e'
        {"\xC3\xA9\xF0\x9F\x98\x80\xC3\xA9", "\xF0\x40\xF0\x41\xF0\x40"},  // one stand-in per character
        {"A\xE8" "B", "A\xF0\x40"},                    // not UTF-8: read as Shift-JIS, 'B' a second byte
        {"\x83\x41.TXT", "\xF0\x40.TXT"},            // Shift-JIS: never ヂ.TXT
        {"\x83\x41\x83\x43\x83\x58.TXT", "\xF0\x40\xF0\x41\xF0\x42.TXT"},
        {"\x83\x5C.TXT", "\xF0\x40.TXT"},            // a second byte 0x5C
        {"\x95\x5CZ.TXT", "\xF0\x40Z.TXT"},
        {"\x83\\", "\xF0\x40"},                     // ソ again, its second byte first seen as '\\'
        {"\xB1\\x", "\xF0\x40\xFDx"},              // half-width katakana, then a real '\\'
        {"X\x83", "X\xF0\x40"},                       // a lone lead byte at the end
        {"\xE8\xA1", "\xF0\x40"},                    // cut short: one Shift-JIS pair
        {"\xC0\xAF", "\xF0\x40\xF0\x41"},            // overlong '/'
        {"\xED\xA0\x80", "\xF0\x40\xF0\x41"},        // a surrogate
        {"\xEE\x80\x80", "\xF0\x40"},                 // user-defined already: F040 is a stand-in
        {"\xC2\xA5", "\xF0\x40"},                      // the yen sign is no backslash
    };
    for (const Case& c : cases) {
        platform::standins::forget();
        std::string out, back;
        EXPECT_TRUE(codeset::toCommand(c.utf8, out)) << c.utf8;
        EXPECT_EQ(out, c.expected) << c.utf8;
        EXPECT_TRUE(codeset::toSystem(out.data(), out.size(), back)) << c.utf8;
        EXPECT_EQ(back, c.utf8);
    }
    // More characters than one-character stand-ins: the rest take two.
    platform::standins::forget();
    std::string all, command, back;
    for (unsigned i = 0; i < 2000; ++i) {  // Hangul syllables, none in code page 932
        unsigned c = 0xAC00 + i;
        all += static_cast<char>(0xE0 | (c >> 12));
        all += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        all += static_cast<char>(0x80 | (c & 0x3F));
    }
    EXPECT_TRUE(codeset::toCommand(all.c_str(), command));
    EXPECT_EQ(command.size(), 2 * 1692 + 4 * (2000 - 1692));
    EXPECT_EQ(command.substr(2 * 1692, 4), "\xF9\x40\xF0\x40");
    EXPECT_TRUE(codeset::toSystem(command.data(), command.size(), back));
    EXPECT_EQ(back, all);
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
        {"\xF0\x40", false, ""},     // a stand-in that was never given out
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
    std::string standIn;
    codeset::toCommand("CAF\xC3\x89\xE8.TXT", standIn);
    codeset::toDisplay(standIn.data(), standIn.size(), out);
    EXPECT_EQ(out, "CAF\xC3\x89\xE8.TXT");  // as the disk holds it
}

// The display's character-by-character path gives the bytes of one whole
// conversion of the line, or refuses where that conversion fails or a
// character may be a stand-in (lead 0xF0-0xF9, or the stand-in for '\\'):
// every character of code page 932, alone, twice (the second from memory)
// and between ASCII, and past a word of ASCII; and each character of the
// command's own texts, whose UTF-8 comes from the table made with them.
TEST_F(Bridge, DisplayByCharacterIsTheWholeConversion) {
    iconv_t whole = iconv_open("UTF-8", "CP932");
    ASSERT_NE(whole, reinterpret_cast<iconv_t>(-1));
    auto converted = [whole](const std::string& text, std::string& out) {
        out.assign(4 * text.size() + 4, '\0');
        iconv(whole, nullptr, nullptr, nullptr, nullptr);
        char* in = const_cast<char*>(text.data());
        char* to = out.data();
        std::size_t inLeft = text.size(), toLeft = out.size();
        if (iconv(whole, &in, &inLeft, &to, &toLeft) != 0 || inLeft != 0) return false;
        out.resize(out.size() - toLeft);
        return true;
    };
    std::vector<std::string> texts = {"F001.TXT\x81\xA8" "f001.txt\n", "\x81\xA8\x81\xA8", "\xB1\xB2 x", "A\x81",
                                      "ABCDEFGHIJ\xF0\x40", "ABCDEFGH\xFD", "ABCDEFGHIJKLMNOPQ\x82\xA0"};
    for (unsigned b = 0x80; b <= 0xFF; ++b) texts.push_back(std::string(1, static_cast<char>(b)) + "x");
    for (const text::OwnCharacter& c : text::ownCharacters)
        texts.push_back(c.code > 0xFF ? std::string{static_cast<char>(c.code >> 8), static_cast<char>(c.code & 0xFF)}
                                      : std::string(1, static_cast<char>(c.code)));
    for (unsigned lead : {0x81u, 0x82u, 0x83u, 0x88u, 0x9Fu, 0xE0u, 0xEAu, 0xEDu, 0xF0u, 0xF9u, 0xFAu, 0xFCu})
        for (unsigned trail = 0x40; trail <= 0xFC; ++trail) {
            std::string one{static_cast<char>(lead), static_cast<char>(trail)};
            texts.push_back(one);
            texts.push_back("a" + one + "b" + one + "\n");
        }
    auto mayBeStandIn = [](const std::string& text) {
        for (std::size_t i = 0; i < text.size(); ++i) {
            unsigned char b = static_cast<unsigned char>(text[i]);
            if ((b >= 0xF0 && b <= 0xF9) || b == 0xFD) return true;
            if (isSjisLead(b) && i + 1 < text.size() && isSjisTrail(static_cast<unsigned char>(text[i + 1]))) ++i;
        }
        return false;
    };
    for (const std::string& text : texts) {
        std::string plain;
        bool shows = converted(text, plain) && !mayBeStandIn(text);
        std::string fast(3 * text.size() + 1, '#');
        std::size_t shown = codeset::displayByCharacter(text.data(), text.size(), fast.data());
        EXPECT_EQ(shown != codeset::notShown, shows) << text;
        if (shows) {
            EXPECT_EQ(fast.substr(0, shown), plain) << text;
            EXPECT_EQ(fast.back(), '#') << text;  // within the room it was given
        }
    }
    iconv_close(whole);
}

// The locale's codeset told from its name, where the name tells, and the C
// library's answer beside it for each locale this machine has.
TEST(BridgeOff, TheLocaleNameTellsUtf8AsTheLibraryDoes) {
    struct Case { const char* locale; bool known, utf8; } cases[] = {
        {"", true, false}, {"C", true, false}, {"POSIX", true, false}, {"C.UTF-8", true, true},
        {"C.utf8", true, true}, {"ja_JP.UTF-8", true, true}, {"en_US.utf8@euro", true, true},
        {"de_DE.UTF_8", true, true}, {"ja_JP", false, false}, {"ja_JP.eucJP", false, false},
        {"ja_JP.SJIS", false, false}, {"C.UTF-16", false, false}, {"ja_JP.", false, false},
        {"C.@utf8", false, false},
    };
    for (const Case& c : cases) {
        bool known = !c.known;
        bool utf8 = platform::codeset::namedUtf8(c.locale, known);
        EXPECT_EQ(known, c.known) << c.locale;
        if (known) {
            EXPECT_EQ(utf8, c.utf8) << c.locale;
        }
    }
    const char* before = std::getenv("LC_ALL");
    std::string kept = before ? before : "";
    for (const char* locale : {"C", "POSIX", "C.UTF-8", "C.utf8", "ja_JP.UTF-8", "ja_JP.utf8"}) {
        setenv("LC_ALL", locale, 1);
        if (!std::setlocale(LC_CTYPE, "")) continue;  // not on this machine
        std::setlocale(LC_CTYPE, "C");
        bool known = false;
        bool named = platform::codeset::namedUtf8(locale, known);
        EXPECT_TRUE(known) << locale;
        EXPECT_EQ(named, platform::codeset::libraryUtf8()) << locale;
    }
    if (before) {
        setenv("LC_ALL", kept.c_str(), 1);
    } else {
        unsetenv("LC_ALL");
    }
}

TEST(BridgeOff, EveryTextPassesUnchangedButWhatWouldBeMisread) {
    struct Case {
        bool utf8, shiftJisNames;
        const char* system;
        const char* command;  // as a name on the disk
        const char* typed;    // the same bytes typed
        const char* shown;    // the command's text on the terminal
    } cases[] = {
        {false, false, "\xE8\xA1\xA8", "\xE8\xA1\xA8", "\xE8\xA1\xA8", "\xE8\xA1\xA8"},
        {false, false, "\xFF\x81", "\xFF\x81", "\xFF\x81", "\xFF\x81"},
        {false, false, "\x83\x5C.TXT", "\x83\x5C.TXT", "\x83\x5C.TXT", "\x83\x5C.TXT"},
        {false, false, "A\\B", "A\xFD" "B", "A\xFD" "B", "A\\B"},
        {false, false, "\\\xF1\x40", "\xFD\xF0\x40", "\xFD\xF0\x40", "\\\xF1\x40"},  // user-defined too
        {false, false, "\xFD\\", "\xF0\x40\xFD", "\xF0\x40\xFD", "\xFD\\"},  // the backslash's own stand-in
        {false, false, "\xF9", "\xF0\x40", "\xF0\x40", "\xF9"},
        // Shift-JIS names under a UTF-8 terminal: bytes on the disk, typed
        // UTF-8 converted, typed bytes taken as they are, shown in UTF-8.
        {true, true, "\x83\x41.TXT", "\x83\x41.TXT", "\x83\x41.TXT", "ア.TXT"},
        {true, true, "\xE3\x82\xA2.TXT", "\xE3\x82\xA2.TXT", "\x83\x41.TXT", "繧｢.TXT"},
        {true, true, "\x95\x5C\\", "\x95\x5C\xFD", "\x95\x5C\xFD", "表\\"},
    };
    for (const Case& c : cases) {
        codeset::setActive(c.utf8);
        codeset::useShiftJisNames(c.shiftJisNames);
        std::string command, typed, back, shown;
        EXPECT_TRUE(codeset::toCommand(c.system, command)) << c.system;
        EXPECT_EQ(command, c.command) << c.system;
        EXPECT_TRUE(codeset::fromTerminal(c.system, typed)) << c.system;
        EXPECT_EQ(typed, c.typed) << c.system;
        EXPECT_TRUE(codeset::toSystem(command.data(), command.size(), back)) << c.system;
        EXPECT_EQ(back, c.system);
        codeset::toDisplay(command.data(), command.size(), shown);
        EXPECT_EQ(shown, c.shown) << c.system;
        EXPECT_EQ(codeset::isSystemText(command.data(), command.size()), command == c.system) << c.system;
    }
    codeset::useShiftJisNames(false);
    codeset::setActive(false);
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

TEST_F(BridgedDirectory, SearchesGiveEveryNameAndFindItAgain) {
    const char* made[] = {"表示.TXT", "A😀.TXT", "CAF\xC3\x89.TXT", "X\xE8.TXT"};
    for (const char* name : made) std::ofstream{name};
    std::string listed = names("*.TXT");
    EXPECT_EQ(std::count(listed.begin(), listed.end(), '|'), 4) << listed;
    for (const char* name : made) {
        std::string command, back;
        ASSERT_TRUE(codeset::toCommand(name, command));
        EXPECT_NE(listed.find(command + "|"), std::string::npos) << name;
        EXPECT_EQ(names(command.c_str()), command + "|") << name;  // found when typed
        ASSERT_TRUE(codeset::toSystem(command.data(), command.size(), back));
        EXPECT_EQ(back, name);
    }
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
