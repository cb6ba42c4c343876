#include "driver/settings.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// The settings as a word: files, dirs, long, kanji, continue, pause, test,
// renamed, errors, skipped.
std::string word() {
    const RunSettings& s = settings;
    std::string w;
    for (bool b : {s.includeFiles, s.includeDirectories, s.longMode, s.kanjiMode,
                   s.continueOnError, s.pauseMode, s.testMode, s.showRenamed, s.showErrors,
                   s.showSkipped})
        w += b ? '1' : '0';
    return w;
}

std::string after(std::initializer_list<const char*> texts, char switchChar = '/') {
    settings = RunSettings{};
    settings.switchChar = switchChar;
    for (const char* t : texts) applySwitches(t);
    return word();
}

}  // namespace

TEST(Switches, EachSwitchAndItsForms) {
    const std::string standard = after({});
    EXPECT_EQ(standard, "1100000110");
    struct Case { std::initializer_list<const char*> texts; const char* result; } cases[] = {
        {{"/c"}, "1100100110"},  {{"/c-"}, "1100000110"}, {{"/C"}, "1100100110"},
        {{"/c+"}, "1100100110"}, {{"/c--"}, "1100000110"},
        {{"/f"}, "1000000110"},  {{"/ff"}, "1000000110"}, {{"/fd"}, "0100000110"},
        {{"/fD"}, "0100000110"}, {{"/fa"}, "1100000110"}, {{"/FA"}, "1100000110"},
        {{"/f-"}, "1100000110"}, {{"/fx"}, "1000000110"}, {{"/fdx"}, "0100000110"},
        {{"/fd", "/fa"}, "1100000110"},
        {{"/test"}, "1100001110"}, {{"/t"}, "1100001110"}, {{"/t-"}, "1100001110"},
        {{"/tes-"}, "1100001110"}, {{"/test", "/test-"}, "1100000110"},
        {{"/test", "/TEST-"}, "1100000110"}, {{"/test", "/test-x"}, "1100000110"},
        {{"/l/k/c"}, "1111100110"}, {{"/l /k"}, "1111000110"}, {{"/l- /k"}, "1101000110"},
        {{"/list"}, "1110000110"}, {{"/p"}, "1100010110"}, {{"/P-"}, "1100000110"},
        {{"/v=a", "/v"}, "1100000110"}, {{"/v=a", "/v/p"}, "1100010110"},
        {{"/v "}, "1100000110"}, {{"/vx"}, "1100000110"},
        {{"/v="}, "1100000000"}, {{"/v=a"}, "1100000111"}, {{"/v=c"}, "1100000100"},
        {{"/v=ce"}, "1100000110"}, {{"/vc"}, "1100000010"}, {{"/v+c"}, "1100000110"},
        {{"/v+k-c"}, "1100000011"}, {{"/va"}, "1100000000"}, {{"/v=c e"}, "1100000110"},
        {{"/v=c /v=a"}, "1100000111"}, {{"/v=c", "/v=a"}, "1100000111"},
        {{"/"}, "1100000110"}, {{"/x"}, "1100000110"}, {{"/9"}, "1100000110"},
        {{"/?"}, "1100000110"}, {{"/help"}, "1100000110"}, {{"//k"}, "1101000110"},
        {{"/\x81/k"}, "1101000110"},        // a lead byte as letter does not hide the '/'
        {{"/v+\x82k"}, "1100000111"},       // the /v group reads bytes, not characters
        {{"/l-k"}, "1100000110"},
    };
    for (auto& c : cases) {
        std::string shown;
        for (const char* t : c.texts) shown += std::string(t) + "|";
        EXPECT_EQ(after(c.texts), c.result) << shown;
    }
}

TEST(Switches, SecondSwitchCharacterOnlyStartsTheText) {
    EXPECT_EQ(after({"-p"}, '-'), "1100010110");
    EXPECT_EQ(after({"-f-p"}, '-'), "1100000110");   // read as /f- alone
    EXPECT_EQ(after({"-f/p"}, '-'), "1000010110");
    EXPECT_EQ(after({"-l-k"}, '-'), "1100000110");
    EXPECT_EQ(after({"-l/k"}, '-'), "1111000110");
}
