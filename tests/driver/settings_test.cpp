#include "driver/settings.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// The settings as a word: files, dirs, long, kanji, continue, pause, test,
// renamed, errors, skipped, the closing count.
std::string word() {
    const RunSettings& s = settings;
    std::string w;
    for (bool b : {s.includeFiles, s.includeDirectories, s.longMode, s.kanjiMode,
                   s.continueOnError, s.pauseMode, s.testMode, s.showRenamed, s.showErrors,
                   s.showSkipped, s.showSummary})
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
    EXPECT_EQ(standard, "11000001100");
    struct Case { std::initializer_list<const char*> texts; const char* result; } cases[] = {
        {{"/c"}, "11001001100"},  {{"/c-"}, "11000001100"}, {{"/C"}, "11001001100"},
        {{"/c+"}, "11001001100"}, {{"/c--"}, "11000001100"},
        {{"/f"}, "10000001100"},  {{"/ff"}, "10000001100"}, {{"/fd"}, "01000001100"},
        {{"/fD"}, "01000001100"}, {{"/fa"}, "11000001100"}, {{"/FA"}, "11000001100"},
        {{"/f-"}, "11000001100"}, {{"/fx"}, "10000001100"}, {{"/fdx"}, "01000001100"},
        {{"/fd", "/fa"}, "11000001100"},
        {{"/test"}, "11000011100"}, {{"/t"}, "11000011100"}, {{"/t-"}, "11000011100"},
        {{"/tes-"}, "11000011100"}, {{"/test", "/test-"}, "11000001100"},
        {{"/test", "/TEST-"}, "11000001100"}, {{"/test", "/test-x"}, "11000001100"},
        {{"/l/k/c"}, "11111001100"}, {{"/l /k"}, "11110001100"}, {{"/l- /k"}, "11010001100"},
        {{"/list"}, "11100001100"}, {{"/p"}, "11000101100"}, {{"/P-"}, "11000001100"},
        {{"/v=a", "/v"}, "11000001100"}, {{"/v=a", "/v/p"}, "11000101100"},
        {{"/v "}, "11000001100"}, {{"/vx"}, "11000001100"},
        {{"/v="}, "11000000000"}, {{"/v=a"}, "11000001110"}, {{"/v=c"}, "11000001000"},
        {{"/v=ce"}, "11000001100"}, {{"/vc"}, "11000000100"}, {{"/v+c"}, "11000001100"},
        {{"/v+k-c"}, "11000000110"}, {{"/va"}, "11000000000"}, {{"/v=c e"}, "11000001100"},
        {{"/v=c /v=a"}, "11000001110"}, {{"/v=c", "/v=a"}, "11000001110"},
        // A bare /v is /v=ce, which leaves the count off.
        {{"/v+s"}, "11000001101"}, {{"/v+s", "/v"}, "11000001100"}, {{"/v+s/v"}, "11000001100"},
        {{"/v=ce+s"}, "11000001101"},
        {{"/"}, "11000001100"}, {{"/x"}, "11000001100"}, {{"/9"}, "11000001100"},
        {{"/?"}, "11000001100"}, {{"/help"}, "11000001100"}, {{"//k"}, "11010001100"},
        {{"/\x81/k"}, "11010001100"},        // a lead byte as letter does not hide the '/'
        {{"/v+\x82k"}, "11000001110"},       // the /v group reads bytes, not characters
        {{"/l-k"}, "11000001100"},
    };
    for (auto& c : cases) {
        std::string shown;
        for (const char* t : c.texts) shown += std::string(t) + "|";
        EXPECT_EQ(after(c.texts), c.result) << shown;
    }
}

TEST(Switches, SecondSwitchCharacterOnlyStartsTheText) {
    EXPECT_EQ(after({"-p"}, '-'), "11000101100");
    EXPECT_EQ(after({"-f-p"}, '-'), "11000001100");   // read as /f- alone
    EXPECT_EQ(after({"-f/p"}, '-'), "10000101100");
    EXPECT_EQ(after({"-l-k"}, '-'), "11000001100");
    EXPECT_EQ(after({"-l/k"}, '-'), "11110001100");
}
