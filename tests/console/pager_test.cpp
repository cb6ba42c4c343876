#include "console/pager.h"

#include "console/ending.h"

#include "support.h"

using Pager = Tavisk;

namespace {

// Prints `lines` one-line results and gives the numbers of the results after
// which a prompt was shown.
std::vector<int> promptsAfter(int windowRows, int lines, std::deque<int> keys, void (*quit)(int) = nullptr) {
    fake::state().windowRows = windowRows;
    fake::state().keys = keys;
    ResultPager pager;
    setUpResultPager(pager, true, 1);
    pager.quit = quit;
    countOutput(pager, screenColumns, promptText);
    std::vector<int> prompts;
    for (int i = 1; i <= lines; ++i) {
        int before = fake::state().keysRead;
        printResult(pager, "%d\n", i);
        if (fake::state().keysRead != before) prompts.push_back(i);
    }
    return prompts;
}

}  // namespace

TEST_F(Pager, PromptsAfterEachScreenful) {
    EXPECT_EQ(promptsAfter(25, 80, {'c', ' ', 13, 0}), (std::vector<int>{23, 47, 71}));
    startFakeProcess();
    EXPECT_EQ(promptsAfter(30, 60, {'c', 'c'}), (std::vector<int>{28, 57}));
    startFakeProcess();
    EXPECT_EQ(promptsAfter(25, 80, {'a'}), (std::vector<int>{23}));  // All: no more pauses
    startFakeProcess();
    EXPECT_EQ(promptsAfter(25, 80, {0xC1}), (std::vector<int>{23}));
    startFakeProcess();
    EXPECT_EQ(promptsAfter(2, 80, {}), (std::vector<int>{}));        // 2 rows: never
    startFakeProcess();
    EXPECT_EQ(promptsAfter(0, 80, {}), (std::vector<int>{}));        // not a console
}

TEST_F(Pager, QuitKeysEndWithTheQuitCode) {
    for (int key : {int('q'), int('Q'), 27, 0xC0}) {
        startFakeProcess();
        int code = exitCodeOf([&] { promptsAfter(25, 80, {key}, endProcess); });
        EXPECT_EQ(code, 1) << key;
        const std::string& out = fake::state().out;
        std::string erase = std::string(promptText) + "\r" + std::string(20, ' ') + "\r";
        EXPECT_EQ(out.substr(out.size() - erase.size()), erase);
    }
    // Where nobody stops at it, a Quit is only answered: no more pauses.
    startFakeProcess();
    EXPECT_EQ(promptsAfter(25, 80, {'q', 'c'}), (std::vector<int>{23}));
    startFakeProcess();
    fake::state().windowRows = 25;
    fake::state().keys = {'c', ' ', 'q'};
    ResultPager pager;
    setUpResultPager(pager, true, 1);
    for (Paged answer : {Paged::going, Paged::going, Paged::quit})
        EXPECT_EQ(countOutput(pager, 80 * 40, promptText), answer);
    startFakeProcess();
    fake::state().windowRows = 25;
    fake::state().keys = {'c', 'q'};
    HelpPager help;
    setUpHelpPager(help, 1);
    for (Paged answer : {Paged::going, Paged::quit, Paged::going}) EXPECT_EQ(helpPause(help, promptText), answer);
}

TEST_F(Pager, NoKeyToReadActsAsAll) {
    EXPECT_EQ(promptsAfter(25, 80, {}), (std::vector<int>{23}));
}

TEST_F(Pager, ScreenLinesOfOneText) {
    struct Case { int chars; int lines; } cases[] = {
        {0, 0}, {1, 1}, {79, 1}, {80, 1}, {81, 2}, {160, 2}, {161, 3},
    };
    for (auto& c : cases) {
        ResultPager pager;
        pager.pageLines = 1000;
        countOutput(pager, c.chars, promptText);
        EXPECT_EQ(pager.linesShown, c.lines) << c.chars;
    }
    // A text larger than a page causes one pause, after it, and the count restarts.
    startFakeProcess();
    fake::state().windowRows = 25;
    fake::state().keys = {'c', 'c'};
    ResultPager pager;
    setUpResultPager(pager, true, 1);
    countOutput(pager, 80 * 40, promptText);
    EXPECT_EQ(fake::state().keysRead, 1);
    EXPECT_EQ(pager.linesShown, 0);
}

TEST_F(Pager, PacerWaitsAcrossTheTickWrap) {
    fake::state().tick = 0xFFFFFF00u;
    TickPacer pacer;
    pacer.pace(markNow);
    uint32_t start = fake::state().tick;
    pacer.pace(promptDelay);
    uint32_t waited = fake::state().tick - start;
    EXPECT_GT(waited, promptDelay);
    EXPECT_LT(waited, promptDelay + 10);
    // Long after the mark, no wait at all.
    fake::state().tick += 5000;
    start = fake::state().tick;
    pacer.pace(promptDelay);
    EXPECT_LT(fake::state().tick - start, 5u);
}

TEST_F(Pager, OutputToAPipeHasNoPromptAndTheHelpBreaksWriteNothing) {
    HelpPager help;
    setUpHelpPager(help, 1);
    EXPECT_FALSE(help.enabled);
    helpPause(help, promptText);
    printResult(run.report.pager, "%s\n", "x");
    EXPECT_EQ(fake::state().out, "x\n");
}

// Result lines are put together without printf when they hold only "%s"; the
// bytes and the count must be printf's, on both sides of the 512-byte buffer.
TEST_F(Pager, FormattedLinesMatchPrintfByteForByte) {
    const std::string wide(600, 'W'), edge(509, 'E');
    const std::string sjis = "\x83\x5C\x83\x74\x83\x67";  // trail bytes 0x5C and letters
    struct Row {
        const char* format;
        const char* a;
        const char* b;
    } rows[] = {
        {"%s\x81\xa8%s\n", "ABC.TXT", "abc.txt"},
        {"%s\x81\xa8%s\n", sjis.c_str(), "x%sy"},
        {"%s:\n", wide.c_str(), nullptr},
        {"%s\n", edge.c_str(), nullptr},
        {"%s%s\n", edge.c_str(), "12"},
        {"%-8s|%s\n", "A", "b"},
        {"%s", nullptr, nullptr},
    };
    for (const Row& row : rows) {
        fake::state().out.clear();
        char expected[1024];
        int n = std::snprintf(expected, sizeof expected, row.format, row.a, row.b);
        EXPECT_EQ(printOut(row.format, row.a, row.b), n) << row.format;
        EXPECT_EQ(fake::state().out, std::string(expected, static_cast<std::size_t>(n))) << row.format;
    }
}
