#include "help/help.h"

#include "driver/settings.h"
#include "support.h"

TEST(Help, CommandNameFromPath) {
    struct Case { const char* path; const char* name; } cases[] = {
        {"D:\\TOOLS\\LC.EXE", "LC"},  {"C:\\BIN\\\x95\x5c.EXE", "\x95\x5c"},
        {"LC.EXE", "LC"},             {"/usr/local/bin/tavisk", "tavisk"},
        {"/opt/x.d/tavisk", "tavisk"}, {"C:\\tools\\tavisk.exe", "tavisk"},
    };
    for (auto& c : cases) EXPECT_STREQ(commandNameFromPath(c.path).get(), c.name) << c.path;
}

TEST(Help, BuildDate) {
    EXPECT_STREQ(buildDateText("Feb  8 2003"), "2003-02-08");
    EXPECT_STREQ(buildDateText("Dec 31 2026"), "2026-12-31");
    EXPECT_STREQ(buildDateText("Jan  1 1999"), "1999-01-01");
}

using HelpScreen = Tavisk;

TEST_F(HelpScreen, SevenBreaksOnAConsoleAndNoneOnAPipe) {
    std::string piped;
    EXPECT_EQ(exitCodeOf([this] { showHelp(run.helpPager, "D:\\TOOLS\\LC.EXE"); }), -1);  // the run ends it
    piped = fake::state().out;
    EXPECT_EQ(piped.find("(Continue,/All/Quit)\r"), std::string::npos);
    EXPECT_NE(piped.find("\nLC " + sj("［△ オプション群］")), std::string::npos);
    EXPECT_NE(piped.find(sj("・設定ファイル=D:\\TOOLS\\LC.cfg\n")), std::string::npos);
    EXPECT_NE(piped.find(sj("・スイッチ文字= / のみが使用可能。\n")), std::string::npos);
    EXPECT_NE(piped.find(sj("・記録場所=J:\\tavisk\\\n")), std::string::npos);

    startFakeProcess();
    fake::state().windowRows = 25;
    fake::state().keys = {'c', 'c', 'c', 'c', 'c', 'c', 'c'};
    EXPECT_EQ(exitCodeOf([this] { showHelp(run.helpPager, "D:\\TOOLS\\LC.EXE"); }), -1);  // the run ends it
    EXPECT_EQ(fake::state().keysRead, 7);
    std::string erase = std::string("(Continue,/All/Quit)\r") + std::string(20, ' ') + "\r";
    std::string paged = fake::state().out;
    for (std::size_t at; (at = paged.find(erase)) != std::string::npos;) paged.erase(at, erase.size());
    EXPECT_EQ(paged, piped);  // the breaks add nothing but the erased prompt

    startFakeProcess();
    fake::state().windowRows = 25;
    fake::state().keys = {'c', 'a'};
    EXPECT_EQ(exitCodeOf([this] { showHelp(run.helpPager, "D:\\TOOLS\\LC.EXE"); }), -1);  // the run ends it
    EXPECT_EQ(fake::state().keysRead, 2);

    startFakeProcess();
    fake::state().windowRows = 25;
    fake::state().keys = {'q'};
    HelpOutcome outcome = HelpOutcome::shown;
    EXPECT_EQ(exitCodeOf([&] { outcome = showHelp(run.helpPager, "D:\\TOOLS\\LC.EXE"); }), -1);
    EXPECT_EQ(outcome, HelpOutcome::quit);  // at the first break; the run ends it
    EXPECT_EQ(fake::state().out.find(sj("【解説】")), std::string::npos);
}

TEST_F(HelpScreen, SecondSwitchCharacterLines) {
    settings.switchChar = '-';
    EXPECT_EQ(exitCodeOf([this] { showHelp(run.helpPager, ""); }), -1);
    const std::string& out = fake::state().out;
    EXPECT_NE(out.find(sj("・スイッチ文字= / 及び - が使用可能。\n  /p と -p は意味が同じになります。\n"
                          "  /f/p と -f -p は意味が同じになります。\n"
                          "  -スイッチではオプションの区切に空白が必須です。\n")),
              std::string::npos);
    EXPECT_NE(out.find("\ntavisk " + sj("［△")), std::string::npos);
}
