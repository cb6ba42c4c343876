#include "driver/run.h"

#include "driver/settings.h"
#include "sjis/messages.h"
#include "support.h"

using ::testing::ElementsAre;

namespace {

std::string arrow(const std::string& a, const std::string& b) {
    return a + sj("→") + b + "\n";
}
std::string notFound(const std::string& a) { return a + sj(":存在せず") + "\n"; }
std::string cannot(const std::string& a, const std::string& b) {
    return a + sj("→") + b + sj(":改名不能") + "\n";
}

}  // namespace

using CommandRun = Tavisk;

TEST_F(CommandRun, TypicalRunNameByName) {
    fake::addFile("TEST1.txt");
    fake::addFile("test2.TxT");
    fake::addFile("TEST3.TXT");
    RunResult r = runTavisk({"TEST1.txt", "test2.TxT", "TEST3.TXT", "/l"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, arrow("TEST1.txt", "test1.txt") + arrow("test2.TxT", "test2.txt") +
                         arrow("TEST3.TXT", "test3.txt"));
    EXPECT_EQ(r.err, "");
}

TEST_F(CommandRun, MissingNameStopsOrContinues) {
    fake::addFile("A.TXT");
    RunResult stop = runTavisk({"NOPE.TXT", "A.TXT"});
    EXPECT_EQ(stop.code, 1);
    EXPECT_EQ(stop.out, notFound("NOPE.TXT"));
    EXPECT_TRUE(fake::exists("A.TXT"));  // later names untouched

    startFakeProcess();
    fake::addFile("A.TXT");
    RunResult go = runTavisk({"NOPE.TXT", "A.TXT", "/c"});
    EXPECT_EQ(go.code, 2);
    EXPECT_EQ(go.out, notFound("NOPE.TXT") + arrow("A.TXT", "a.txt"));

    startFakeProcess();
    RunResult silent = runTavisk({"NOPE.TXT", "/v-e"});
    EXPECT_EQ(silent.code, 1);
    EXPECT_EQ(silent.out, "");
}

TEST_F(CommandRun, EmptyNameIsANameThatNeverResolves) {
    RunResult r = runTavisk({""});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.out, notFound(""));
}

TEST_F(CommandRun, KindFilterSkipsSilently) {
    fake::addDirectory("DIR");
    fake::addFile("FILE.TXT");
    RunResult files = runTavisk({"DIR", "FILE.TXT", "/f"});
    EXPECT_EQ(files.code, 0);
    EXPECT_EQ(files.out, arrow("FILE.TXT", "file.txt"));
    EXPECT_TRUE(fake::exists("DIR"));

    startFakeProcess();
    fake::addDirectory("DIR");
    fake::addFile("FILE.TXT");
    RunResult dirs = runTavisk({"DIR", "FILE.TXT", "/fd", "/v+k"});
    EXPECT_EQ(dirs.code, 0);
    EXPECT_EQ(dirs.out, sj("DIR     →dir\n"));  // column of 8, the widest name
    EXPECT_TRUE(fake::exists("FILE.TXT"));
}

TEST_F(CommandRun, HelpAndNoNamesEndWithOneBeforeAnyLookup) {
    fake::addFile("A.TXT");
    for (auto args : std::vector<std::vector<std::string>>{
             {}, {"/l"}, {"A.TXT", "/?"}, {"A.TXT", "/HELP"}, {"/Help"}, {"/?x"}}) {
        startFakeProcess();
        fake::addFile("A.TXT");
        RunResult r = runTavisk(args);
        EXPECT_EQ(r.code, 1);
        EXPECT_TRUE(fake::exists("A.TXT"));
        EXPECT_NE(r.out.find(sj("ファイル名小文字化コマンド")), std::string::npos);
    }
    startFakeProcess();
    fake::addFile("A.TXT");
    RunResult notHelp = runTavisk({"A.TXT", "/helpx"});
    EXPECT_EQ(notHelp.code, 0);
    EXPECT_EQ(notHelp.out, arrow("A.TXT", "a.txt"));
}

// A Quit at a prompt ends the run there with 1: what the page showed is
// renamed, nothing after it is, and no other line or count is written.
TEST_F(CommandRun, AQuitAtAPromptEndsTheRunOnTheSpotWithOne) {
    struct Case {
        std::vector<std::string> args;
        std::deque<int> keys;
        int renamed, code;
    } cases[] = {
        {{"/p"}, {'q'}, 23, 1},
        {{"/p", "/v+s"}, {'c', 'Q'}, 47, 1},
        {{"/p", "/test"}, {0xC0}, 0, 1},
        {{"/p", "/v+s"}, {'a', 'q'}, 60, 0},  // All: no more pauses
        {{"/l"}, {'q'}, 60, 0},
        {{"/?"}, {'q'}, 0, 1},
        {{"/?"}, {'c', 'c', 'a'}, 0, 1},
    };
    for (const Case& c : cases) {
        startFakeProcess();
        fake::state().windowRows = 25;
        fake::state().keys = c.keys;
        std::vector<std::string> args = c.args;
        for (int i = 1; i <= 60 && args[0] != "/?"; ++i) {
            fake::addFile("F" + std::to_string(100 + i) + ".TXT");
            args.push_back("F" + std::to_string(100 + i) + ".TXT");
        }
        RunResult r = runTavisk(args);
        std::string row = ::testing::PrintToString(c.args) + ::testing::PrintToString(c.keys);
        EXPECT_EQ(r.code, c.code) << row;
        int renamed = 0;
        for (const std::string& name : fake::listing()) renamed += name.find(".txt") != std::string::npos;
        EXPECT_EQ(renamed, c.renamed) << row;
        if (c.code == 0 || c.args[0] == "/?") continue;
        int shown = c.renamed ? c.renamed : 23;  // the preview's page is shown, and renames nothing
        EXPECT_NE(r.out.find("F" + std::to_string(100 + shown) + ".TXT"), std::string::npos) << row;
        EXPECT_EQ(r.out.find("F" + std::to_string(101 + shown)), std::string::npos) << row;
        EXPECT_EQ(r.out.find(sj("【集計】")), std::string::npos) << row;
    }
}

TEST_F(CommandRun, TestModeReportsAndChangesNothing) {
    fake::addFile("A.TXT");
    RunResult r = runTavisk({"A.TXT", "/test"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, arrow("A.TXT", "a.txt"));
    EXPECT_THAT(fake::listing(), ElementsAre("A.TXT", "C:\\tools\\tavisk.exe"));
    EXPECT_TRUE(fake::state().moveLog.empty());
}

TEST_F(CommandRun, ShortAliasAndOtherCaseResolveToTheStoredName) {
    fake::addDirectory("docs");
    fake::addFile("docs\\ReadMe.TXT");
    fake::addFile("FOO.TXT");
    RunResult r = runTavisk({"DOCS\\readme.txt", "foo.txt", "/l"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, arrow("DOCS\\ReadMe.TXT", "readme.txt") + arrow("FOO.TXT", "foo.txt"));
    EXPECT_TRUE(fake::exists("docs\\readme.txt"));
}

TEST_F(CommandRun, PathsBeyondTheSystemsLimitAreRefusedLikeMissingNames) {
    std::string name(platform::maxPath + 40, 'A');
    RunResult r = runTavisk({name});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.out, notFound(name));
    // Under the limit a long path is worked on.
    for (std::size_t length : {std::size_t{300}, std::size_t{platform::maxPath - 1}}) {
        startFakeProcess();
        std::string dir(length - 13, 'D');
        fake::addDirectory(dir);
        fake::addFile(dir + "\\LONGNAME.TXT");
        RunResult joined = runTavisk({dir + "\\longname.txt", "/test"});
        EXPECT_EQ(joined.code, 0) << length;
    }
}

TEST_F(CommandRun, RenameFailureStopsOrContinues) {
    fake::addFile("A.TXT");
    fake::addFile("B.TXT");
    fake::state().failingMoves = {1, 2};  // the move, then the detour's first step
    RunResult stop = runTavisk({"A.TXT", "B.TXT"});
    EXPECT_EQ(stop.code, 1);
    EXPECT_EQ(stop.out, cannot("A.TXT", "a.txt"));
    EXPECT_TRUE(fake::exists("B.TXT"));

    startFakeProcess();
    fake::addFile("A.TXT");
    fake::addFile("B.TXT");
    fake::state().failingMoves = {1, 2, 3, 4, 5};  // every step for A fails
    fake::state().caseSensitive = false;
    RunResult go = runTavisk({"A.TXT", "B.TXT", "/c", "/v=k"});
    EXPECT_EQ(go.code, 2);
    EXPECT_EQ(go.out, "");  // neither errors nor renames shown
    EXPECT_TRUE(fake::exists("A.TXT"));

    // Even putting it back failed: the line names where the entry is.
    startFakeProcess();
    fake::addFile("A.TXT");
    fake::state().failingMoves = {3, 4};  // to the new name, then back
    fake::state().caseOnlyMoveIsNoop = true;
    RunResult stranded = runTavisk({"A.TXT"});
    EXPECT_EQ(stranded.code, 1);
    EXPECT_EQ(stranded.out, "A.TXT" + sj("→") + "a.txt" + sj(":改名不能(") + "A.TXT.tavisk~)\n");
    EXPECT_TRUE(fake::exists("A.TXT.tavisk~"));
}

TEST_F(CommandRun, EachFailureSaysWhyAndAStopSaysWhereAndWhatItLeft) {
    auto stop = [](const std::string& path, int untouched) {
        return "tavisk: " + path + sj(" で停止しました。指定または一致した残りの ") + std::to_string(untouched) +
               sj(" 件は変更していません。失敗しても続けるには /c を指定してください。\n");
    };
    struct Case {
        std::vector<int> failingMoves;
        platform::Fault fault;
        bool english;
        std::vector<std::string> args;
        int code;
        std::string err;
    };
    const Case cases[] = {
        {{1, 2}, platform::Fault::permission, false, {"A.TXT", "B.TXT"}, 1,
         "tavisk: A.TXT: " + sj("アクセスが拒否されました\n") + stop("A.TXT", 1)},
        {{1, 2}, platform::Fault::readOnly, false, {"A.TXT", "B.TXT", "/c"}, 2,
         "tavisk: A.TXT: " + sj("読み取り専用のファイル・システムです\n")},
        {{1, 2}, platform::Fault::tooLong, false, {"A.TXT", "/c"}, 2, "tavisk: A.TXT: " + sj("パスが長すぎます\n")},
        {{1, 2}, platform::Fault::other, true, {"A.TXT", "/c"}, 2, "tavisk: A.TXT: the system refused the rename\n"},
        // Hidden failures keep their reasons to themselves; the stop is said.
        {{1, 2}, platform::Fault::permission, false, {"A.TXT", "B.TXT", "/v-e"}, 1, stop("A.TXT", 1)},
        {{}, platform::Fault::other, true, {"NOPE.TXT", "A.TXT", "B.TXT"}, 1,
         "tavisk: NOPE.TXT: no such file or directory\ntavisk: stopped at NOPE.TXT; entries named or matched but "
         "left untouched: 2. Give /c to go on past failures.\n"},
    };
    for (const Case& c : cases) {
        startFakeProcess();
        fake::addFile("A.TXT");
        fake::addFile("B.TXT");
        fake::state().failingMoves = c.failingMoves;
        fake::state().failingFault = c.fault;
        fake::state().english = c.english;
        RunResult r = runTavisk(c.args);
        EXPECT_EQ(r.code, c.code) << c.args[0];
        EXPECT_EQ(r.err, c.err) << c.args[0];
    }
}

TEST_F(CommandRun, AJournalThatCannotBeWrittenStopsBeforeAnyRename) {
    auto setUp = [](const std::string& failing) {
        startFakeProcess();
        fake::addFile("A.TXT");
        fake::addDirectory("SUB");
        fake::addFile("SUB\\B.TXT");
        fake::state().failingCalls = {failing};
    };
    for (const char* call : {"createJournal", "appendJournal", "syncJournal"}) {
        std::string failing = std::string(call) + " J:\\tavisk\\00000001.journal";
        for (auto arguments : {std::vector<std::string>{"*"}, {"/s", "*"}, {"A.TXT"}}) {
            setUp(failing);
            RunResult r = runTavisk(arguments);
            EXPECT_EQ(r.code, 1) << failing;
            EXPECT_EQ(r.out, "") << failing;
            EXPECT_EQ(r.err, "\n\a" + sj("処理停止:改名記録\"J:\\tavisk\\00000001.journal\"に書き込めません。"
                                           "記録せずに改名するには /j- を指定してください。\n")) << failing;
            EXPECT_THAT(fake::listing(), ElementsAre("A.TXT", "C:\\tools\\tavisk.exe", "SUB", "SUB\\B.TXT"));
        }
        setUp(failing);
        EXPECT_EQ(runTavisk({"/j-", "A.TXT"}).code, 0);
        EXPECT_TRUE(fake::exists("a.txt"));
    }
    // Past eight digits the numbers go on, and the newest is still the one taken back.
    setUp("none");
    fake::state().journals["J:\\tavisk\\99999999.journal"] = "";
    EXPECT_EQ(runTavisk({"A.TXT"}).code, 0);
    EXPECT_EQ(fake::state().journals.count("J:\\tavisk\\100000000.journal"), 1u);
    RunResult undo = runTavisk({"/undo"});
    EXPECT_EQ(undo.code, 0) << undo.err;
    EXPECT_TRUE(fake::exists("A.TXT"));
}

TEST_F(CommandRun, SideBySideSpellingsAreNeverReplaced) {
    fake::state().caseSensitive = true;
    fake::addFile("README.TXT");
    fake::addFile("readme.txt");
    RunResult r = runTavisk({"README.TXT"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.out, cannot("README.TXT", "readme.txt"));
    EXPECT_THAT(fake::listing(), ElementsAre("C:\\tools\\tavisk.exe", "README.TXT", "readme.txt"));
}

// Capitals only in the directory part: the name stays as it is, which is no
// rename: left alone, counted so, not journaled, and nothing is asked of the
// system.
TEST_F(CommandRun, NewPathEqualToTheOldIsLeftAlone) {
    for (const char* shown : {"/v+s", "/v=a+s"}) {
        startFakeProcess();
        fake::addDirectory("SUB");
        fake::addFile("SUB\\123.456");
        fake::addFile("SUB\\foo.txt");
        RunResult r = runTavisk({"SUB\\123.456", "SUB\\foo.txt", "/l", shown});
        EXPECT_EQ(r.code, 0);
        std::string skipped = std::string(shown) == "/v=a+s" ? "SUB\\123.456\nSUB\\foo.txt\n" : "";
        EXPECT_EQ(r.out, skipped + sj("【集計】改名:0件  対象外:2件  改名不能:0件  存在せず:0件\n")) << shown;
        EXPECT_TRUE(fake::state().moveLog.empty());
        EXPECT_TRUE(fake::state().journals.empty() || fake::state().journals.begin()->second.find("R ") ==
                                                          std::string::npos);
    }
}

TEST_F(CommandRun, AlignedColumnIsCappedAtSeventy) {
    std::string longName(100, 'N');
    fake::addFile(longName);
    fake::addFile("X.TXT");
    RunResult r = runTavisk({longName, "X.TXT", "/v+k", "/test"});
    EXPECT_EQ(r.code, 0);
    // The long name is left alone (9 bytes or more) and fitted; X.TXT padded to 70.
    EXPECT_EQ(r.out, longName + "\n" + "X.TXT" + std::string(65, ' ') + sj("→x.txt\n"));
}

TEST_F(CommandRun, ExecutableFoundByTypedNameOrModulePath) {
    OwnedString byModule = locateExecutable("tavisk");
    ASSERT_TRUE(byModule);
    EXPECT_STREQ(byModule.get(), "C:\\tools\\tavisk.exe");
    EXPECT_FALSE(locateExecutable("other.exe"));  // typed with extension, not here
    // The run goes on with the module's configuration all the same.
    fake::state().files["C:\\tools\\tavisk.cfg"] = "/test\r\n";
    fake::addFile("A.TXT");
    std::vector<std::string> storage{"D:\\elsewhere\\tavisk.exe", "A.TXT"};
    std::vector<char*> vector{storage[0].data(), storage[1].data(), nullptr};
    int code = exitCodeOf([&] { EXPECT_EQ(runCommand(2, vector.data()), 0); });
    EXPECT_EQ(code, -1);
    EXPECT_TRUE(fake::exists("A.TXT"));  // /test from the file applied
}

// Whatever allocation fails, the run either ends as with memory enough or
// stops at once saying メモリー不足: it never goes on without its
// configuration file (a /test there would be lost, and the names renamed),
// and never takes the memory it lacked for a missing name.
TEST_F(CommandRun, RunningOutOfMemoryIsSaidAndNeverTakenForSomethingElse) {
    struct Case {
        const char* label;
        std::vector<std::string> args;
        int code;         // with memory enough
        std::string out;  // with memory enough; "" where the usage screen is not compared
    } cases[] = {
        {"the executable located for its configuration file", {"A.TXT"}, 0, arrow("A.TXT", "a.txt")},
        {"a name typed in another case, joined with the stored one", {"a.TXT"}, 0, arrow("A.TXT", "a.txt")},
        {"the usage screen, which lists the file's switches", {"/?"}, 1, ""},
    };
    for (const Case& c : cases) {
        for (long budget = 0; budget < 40; ++budget) {
            startFakeProcess();
            fake::state().files["C:\\tools\\tavisk.cfg"] = "/test\r\n";
            fake::addFile("A.TXT");
            fake::state().allocationsUntilFailure = budget;
            RunResult r = runTavisk(c.args);
            fake::state().allocationsUntilFailure = -1;
            std::string at = std::string(c.label) + ", budget " + std::to_string(budget);
            EXPECT_TRUE(fake::exists("A.TXT")) << at;  // /test held
            if (r.err.empty()) {
                EXPECT_EQ(r.code, c.code) << at;
                if (!c.out.empty()) {
                    EXPECT_EQ(r.out, c.out) << at;
                }
                continue;
            }
            EXPECT_EQ(r.code, 1) << at << " out " << r.out << " err " << r.err;
            EXPECT_EQ(r.err, "\n\a" + sj("処理停止:メモリー不足") + "\n") << at;
            EXPECT_EQ(r.out.find(sj("存在せず")), std::string::npos) << at;
        }
    }
}

TEST_F(CommandRun, FatalErrorWritesItsLineOnStandardError) {
    fake::state().files["C:\\tools\\tavisk.cfg"] = "/c\n\x01\n";
    RunResult r = runTavisk({"A"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "\n\a" + sj("処理停止:設定ファイル\"C:\\tools\\tavisk.cfg\"が異常です。") +
                         "2" + sj("行目にバイナリ・データを検出しました。") + "\n");
}

TEST_F(CommandRun, PosixCommandLineTakesDashSwitchesAndOnlyDocumentedOnes) {
    const std::string unknown = "\n\a" + sj("処理停止:オプション\"");
    struct Case {
        std::vector<std::string> args;
        int code;
        std::string out, errStart;
        std::vector<std::string> left;
    } cases[] = {
        {{"-l", "Mixed.TXT"}, 0, arrow("Mixed.TXT", "mixed.txt"), "", {"-A.TXT", "A.TXT", "SUB", "mixed.txt"}},
        {{"-L", "-test-", "-v=ce", "A.TXT"}, 0, arrow("A.TXT", "a.txt"), "", {"-A.TXT", "Mixed.TXT", "SUB", "a.txt"}},
        // A mistyped switch: nothing is touched, wherever it stands.
        {{"A.TXT", "-n"}, 1, "", unknown + "-n", {"-A.TXT", "A.TXT", "Mixed.TXT", "SUB"}},
        {{"--dry-run", "A.TXT"}, 1, "", unknown + "--dry-run", {"-A.TXT", "A.TXT", "Mixed.TXT", "SUB"}},
        {{"-vx", "A.TXT"}, 1, "", unknown + "-vx", {"-A.TXT", "A.TXT", "Mixed.TXT", "SUB"}},
        {{"-l/k", "A.TXT"}, 1, "", unknown + "-l/k", {"-A.TXT", "A.TXT", "Mixed.TXT", "SUB"}},
        // '/' begins a name, "--" ends the switches, a '/' after a directory goes.
        {{"/lx"}, 1, notFound("/lx"), "", {"-A.TXT", "A.TXT", "Mixed.TXT", "SUB"}},
        // A Windows switch that names nothing stops the run before any rename.
        {{"A.TXT", "/l"}, 1, "", "\n\a" + sj("処理停止:\"/l\"は存在しません。オプションなら\"-l\"と指定してください。"),
         {"-A.TXT", "A.TXT", "Mixed.TXT", "SUB"}},
        {{"--", "-A.TXT", "-x"}, 1, arrow("-A.TXT", "-a.txt") + notFound("-x"), "", {"-a.txt", "A.TXT", "Mixed.TXT", "SUB"}},
        {{"SUB/"}, 0, arrow("SUB", "sub"), "", {"-A.TXT", "A.TXT", "Mixed.TXT", "sub"}},
        {{"--version"}, 0, "tavisk 1.09 ", "", {"-A.TXT", "A.TXT", "Mixed.TXT", "SUB"}},
        {{"--help", "A.TXT"}, 0, sj("ファイル名小文字化コマンド"), "", {"-A.TXT", "A.TXT", "Mixed.TXT", "SUB"}},
        {{"-help", "A.TXT"}, 1, sj("ファイル名小文字化コマンド"), "", {"-A.TXT", "A.TXT", "Mixed.TXT", "SUB"}},
    };
    for (const Case& c : cases) {
        startFakeProcess();
        fake::state().switchIntroducer = '-';
        for (const char* name : {"A.TXT", "Mixed.TXT", "-A.TXT"}) fake::addFile(name);
        fake::addDirectory("SUB");
        RunResult r = runTavisk(c.args);
        std::string label = c.args[0];
        EXPECT_EQ(r.code, c.code) << label;
        bool screen = label == "--version" || label.find("help") != std::string::npos;
        EXPECT_EQ(screen ? r.out.substr(0, c.out.size()) : r.out, c.out) << label;
        EXPECT_EQ(r.err.substr(0, c.errStart.size()), c.errStart) << label;
        std::vector<std::string> left;
        for (const std::string& n : fake::listing())
            if (n != fake::state().modulePath) left.push_back(n);
        EXPECT_EQ(left, c.left) << label;
    }
}

TEST_F(CommandRun, AReportThatCannotBeWrittenEndsWithOneAndNamesAreSafeOnAConsole) {
    fake::addFile("A.TXT");
    fake::addFile("B\x1b[2J.TXT");
    fake::state().outputFails = true;
    RunResult r = runTavisk({"A.TXT"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, sj("結果を標準出力に書き込めませんでした。\n"));
    EXPECT_TRUE(fake::exists("a.txt"));  // the rename stands
    r = runTavisk({"NONE", "/c"});
    EXPECT_EQ(r.code, 2);  // the larger code stays

    startFakeProcess();
    fake::addFile("B\x1b[2J.TXT");
    fake::state().console = true;
    r = runTavisk({"B\x1b[2J.TXT", "/k"});
    EXPECT_EQ(r.out, arrow("B?[2J.TXT", "b?[2j.txt"));
}

TEST_F(CommandRun, TreesPreviewsThatPredictAndTheClosingCount) {
    const std::string unreadable = sj(":読み取り不能\n");
    struct Case {
        const char* label;
        std::vector<std::string> args;
        std::vector<std::string> failing;
        bool caseSensitive;
        int code;
        std::string out;
    } cases[] = {
        // Children before the directory that holds them, sorted in each.
        // Each walked name is decided in its own folder: low\ is the walk's.
        {"tree", {"/s", "*.TXT"}, {}, false, 0,
         arrow("low\\X.TXT", "x.txt") + arrow("SUB\\DEEP\\TWO.TXT", "two.txt") + arrow("SUB\\ONE.TXT", "one.txt") + arrow("TOP.TXT", "top.txt")},
        {"directories too", {"/s", "*", "/l", "/test"}, {}, false, 0,
         arrow("low\\X.TXT", "x.txt") + arrow("SUB\\DEEP\\TWO.TXT", "two.txt") + arrow("SUB\\DEEP", "deep") +
             arrow("SUB\\ONE.TXT", "one.txt") + arrow("SUB", "sub") + arrow("TOP.TXT", "top.txt")},
        {"a plain name in each directory", {"/s", "ONE.TXT", "/v+s"}, {}, false, 0,
         arrow("SUB\\ONE.TXT", "one.txt") + sj("【集計】改名:1件  対象外:0件  改名不能:0件  存在せず:0件\n")},
        {"found nowhere", {"/s", "NONE.TXT"}, {}, false, 1, notFound("NONE.TXT")},
        {"unreadable, going on", {"/s", "*.TXT", "/c"}, {"canListDirectory SUB\\"}, false, 2,
         arrow("low\\X.TXT", "x.txt") + "SUB\\" + unreadable + arrow("TOP.TXT", "top.txt")},
        {"unreadable, stopping", {"/s", "*.TXT"}, {"canListDirectory SUB\\"}, false, 1,
         arrow("low\\X.TXT", "x.txt") + "SUB\\" + unreadable},
        // The preview meets what the run would.
        {"preview of a refused rename", {"TOP.TXT", "SUB", "/test", "/v+s"}, {"moveEntry TOP.TXT"}, false, 1,
         cannot("TOP.TXT", "top.txt") + sj("【集計】改名予定:0件  対象外:0件  改名不能:1件  存在せず:0件\n")},
        {"preview beside another spelling", {"TOP.TXT", "/test"}, {}, true, 1, cannot("TOP.TXT", "top.txt")},
        // Every entry met is in one of the numbers: directories passed over
        // by /f count as left alone.
        {"files only, every entry counted", {"/s", "*", "/f", "/test", "/v+s"}, {}, false, 0,
         arrow("low\\X.TXT", "x.txt") + arrow("SUB\\DEEP\\TWO.TXT", "two.txt") + arrow("SUB\\ONE.TXT", "one.txt") +
             arrow("TOP.TXT", "top.txt") + sj("【集計】改名予定:4件  対象外:3件  改名不能:0件  存在せず:0件\n")},
        {"count of everything", {"TOP.TXT", "NONE", "low", "/c", "/v+s"}, {}, false, 2,
         arrow("TOP.TXT", "top.txt") + notFound("NONE") +
             sj("【集計】改名:1件  対象外:1件  改名不能:0件  存在せず:1件\n")},
    };
    for (const Case& c : cases) {
        startFakeProcess();
        fake::state().caseSensitive = c.caseSensitive;
        fake::state().failingCalls = c.failing;
        fake::addFile("TOP.TXT");
        if (c.caseSensitive) fake::addFile("top.txt");
        fake::addDirectory("SUB");
        fake::addFile("SUB\\ONE.TXT");
        fake::addDirectory("SUB\\DEEP");
        fake::addFile("SUB\\DEEP\\TWO.TXT");
        fake::addDirectory("low");
        fake::addFile("low\\X.TXT");
        RunResult r = runTavisk(c.args);
        EXPECT_EQ(r.code, c.code) << c.label;
        EXPECT_EQ(r.out, c.out) << c.label;
    }
}
