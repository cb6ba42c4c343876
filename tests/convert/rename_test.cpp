// The rename and its detour through a temporary name, with any platform
// operation failing on any path; and the recovery of a killed run's leftovers.
#include <cstdio>

#include "convert/journal.h"
#include "convert/journal_text.h"
#include "convert/path_states.h"
#include "convert/rename.h"

#include "support.h"

#include <cctype>

using ::testing::ElementsAre;

namespace {

std::string line(const std::string& a, const std::string& b, const char* tail = "") {
    return a + sj("→") + b + sj(tail) + "\n";
}

// Every entry but the executable.
std::vector<std::string> names() {
    std::vector<std::string> all;
    for (const std::string& n : fake::listing())
        if (n != fake::state().modulePath) all.push_back(n);
    return all;
}

}  // namespace

using Rename = Tavisk;

TEST_F(Rename, EveryFailingStepLeavesTheEntryFindableAndNeverAnother) {
    // Moves on a disk that ignores case-only moves: 1 the case-only move,
    // 2 to the temporary name, 3 to the new name, 4 back (to the old name).
    struct Case {
        const char* label;
        std::vector<int> failingMoves;
        std::vector<std::string> failingCalls;
        RenameOutcome outcome;
        std::vector<std::string> left;
        std::size_t moves;
    } cases[] = {
        {"no failure", {}, {}, RenameOutcome::done, {"abc.txt"}, 3},
        {"to the temporary name", {2}, {}, RenameOutcome::failed, {"ABC.TXT"}, 2},
        {"to the new name", {3}, {}, RenameOutcome::failed, {"ABC.TXT"}, 4},
        {"to the new name and back", {3, 4}, {}, RenameOutcome::stranded, {"ABC.TXT.tavisk~"}, 4},
        {"identity of the entry", {}, {"entryIdentity ABC.TXT"}, RenameOutcome::failed, {"ABC.TXT"}, 0},
        // What went to the temporary name is not the entry asked for: back.
        {"identity at the temporary name", {}, {"entryIdentity ABC.TXT.tavisk~"}, RenameOutcome::failed,
         {"ABC.TXT"}, 3},
        {"identity at the new name", {}, {"entryIdentity abc.txt"}, RenameOutcome::failed, {"abc.txt"}, 3},
        {"the listing of spellings", {}, {"FindFirstFileA *"}, RenameOutcome::failed, {"ABC.TXT"}, 1},
    };
    for (const Case& c : cases) {
        startFakeProcess();
        run = RunContext{};
        fake::state().caseOnlyMoveIsNoop = true;
        fake::state().failingMoves = c.failingMoves;
        fake::state().failingCalls = c.failingCalls;
        fake::addFile("ABC.TXT");
        EXPECT_EQ(renameEntry(run, "ABC.TXT", "abc.txt"), c.outcome) << c.label;
        EXPECT_EQ(names(), c.left) << c.label;
        EXPECT_EQ(fake::state().moveLog.size(), c.moves) << c.label;
        // No interruption can end the run between the steps of the detour.
        const auto& holds = fake::state().holdsAtMove;
        for (std::size_t i = 1; i < holds.size(); ++i) EXPECT_GT(holds[i], 0) << c.label << " move " << i + 1;
        EXPECT_EQ(fake::state().interruptHolds, 0) << c.label;
    }
}

TEST_F(Rename, RefusedWithoutAnyMove) {
    // A path one byte short of the limit, in a directory of small letters.
    const std::string longName =
        std::string(platform::maxPath - 1 - 1 - 1004, 'd') + "\\" + std::string(1000, 'A') + ".TXT";
    struct Case { const char* label; std::vector<std::string> before; bool link, caseSensitive; } cases[] = {
        // A link that the system would follow: its target must not move.
        {"followed link", {"LINK.TXT"}, true, false},
        // The other spelling stays, whatever the disk says of the move.
        {"side by side", {"README.TXT", "readme.txt"}, false, true},
        // A temporary name longer than a path can be.
        {"no room for the temporary name", {longName}, false, false},
    };
    for (const Case& c : cases) {
        startFakeProcess();
        run = RunContext{};
        fake::state().caseSensitive = c.caseSensitive;
        fake::state().caseOnlyMoveIsNoop = true;
        for (const std::string& n : c.before) fake::addFile(n);
        fake::state().entries[1].followedLink = c.link;
        const std::string& from = c.before[0];
        std::string to = from;
        for (char& ch : to) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
        EXPECT_EQ(renameEntry(run, from.c_str(), to.c_str()), RenameOutcome::failed) << c.label;
        EXPECT_EQ(names(), c.before) << c.label;
        EXPECT_LE(fake::state().moveLog.size(), 1u) << c.label;  // at most the case-only move
    }
}

TEST_F(Rename, ADirectoryThatNeedsTheDetourIsLearntOnce) {
    fake::state().caseOnlyMoveIsNoop = true;
    fake::addFile("A.TXT");
    fake::addFile("B.TXT");
    RunResult r = runTavisk({"A.TXT", "B.TXT"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, line("A.TXT", "a.txt") + line("B.TXT", "b.txt"));
    EXPECT_THAT(names(), ElementsAre("a.txt", "b.txt"));
    EXPECT_THAT(fake::state().moveLog,
                ElementsAre("A.TXT -> a.txt", "A.TXT -> A.TXT.tavisk~", "A.TXT.tavisk~ -> a.txt",
                            "B.TXT -> B.TXT.tavisk~", "B.TXT.tavisk~ -> b.txt"));

    // A name of 251 bytes: its temporary name is cut to the system's 255,
    // with a checksum that the journal's record gives back; without a journal
    // it cannot be taken.
    std::string longName = std::string(247, 'L') + ".TXT", lowered = std::string(247, 'l') + ".txt";
    for (bool journal : {true, false}) {
        startFakeProcess();
        fake::state().caseOnlyMoveIsNoop = true;
        fake::addFile(longName);
        EXPECT_EQ(runTavisk({"/l", journal ? "/j" : "/j-", longName}).code, journal ? 0 : 1);
        EXPECT_EQ(names(), std::vector<std::string>{journal ? lowered : longName});
        if (!journal) continue;
        std::string temporary = fake::state().moveLog[1].substr(longName.size() + 4);
        EXPECT_EQ(temporary.size(), 255u) << temporary;
        EXPECT_EQ(temporary.substr(0, 229), longName.substr(0, 229));
        uint64_t sum = 0;
        EXPECT_TRUE(leftoverChecksum(temporary.data(), temporary.size(), &sum));
        EXPECT_EQ(sum, windowChecksum(longName.data(), longName.size()));
    }
}

TEST_F(Rename, LeftoversOfAKilledRunArePutBack) {
    struct Case {
        const char* label;
        std::vector<std::string> before, arguments;
        int code;
        std::string out;
        std::vector<std::string> after;
        bool ignoresCase = false;  // "|empty" after a name makes it an empty file
        bool anotherRun = false;
    } cases[] = {
        {"put back, then renamed", {"X.TXT.tavisk~"}, {"X.TXT"}, 0,
         line("X.TXT.tavisk~", "X.TXT", ":中断した改名から復元") + line("X.TXT", "x.txt"), {"x.txt"}},
        {"in the directory of a name", {"SUB", "SUB\\A.TXT.tavisk~", "SUB\\B.TXT"}, {"SUB\\B.TXT"}, 0,
         line("SUB\\A.TXT.tavisk~", "A.TXT", ":中断した改名から復元") + line("SUB\\B.TXT", "b.txt"),
         {"SUB", "SUB\\A.TXT", "SUB\\b.txt"}},
        {"only reported under /test", {"X.TXT.tavisk~"}, {"Y", "/test", "/c"}, 2,
         line("X.TXT.tavisk~", "X.TXT", ":中断した改名から復元") + sj("Y:存在せず\n"), {"X.TXT.tavisk~"}},
        {"the old name is taken", {"X.TXT.tavisk~", "X.TXT"}, {"X.TXT"}, 1,
         line("X.TXT.tavisk~", "X.TXT", ":改名不能"), {"X.TXT", "X.TXT.tavisk~"}},
        // What is put back is handled where the run's pattern finds it.
        // An empty file that a killed run left claiming the new name is
        // finished onto; one under the old name itself is nobody's claim.
        {"a claim of the new name", {"X.TXT.tavisk~", "x.txt|empty"}, {"X.TXT"}, 0,
         line("X.TXT.tavisk~", "X.TXT", ":中断した改名から復元"), {"x.txt"}, true},
        {"an empty file under the old name", {"X.TXT.tavisk~", "X.TXT|empty"}, {"X.TXT"}, 1,
         line("X.TXT.tavisk~", "X.TXT", ":改名不能"), {"X.TXT", "X.TXT.tavisk~"}, true},
        // An undo killed there had claimed the capitals it gave back.
        {"a claim of the capitals", {"x.txt.tavisk~", "X.TXT|empty"}, {"/v=", "X.TXT"}, 0, "", {"x.txt"}, true},
        // Another run at work may be moving it on: it stays for that run.
        {"another run at work", {"X.TXT.tavisk~", "Y.TXT"}, {"Y.TXT"}, 0, line("Y.TXT", "y.txt"),
         {"X.TXT.tavisk~", "y.txt"}, false, true},
        {"a pattern that found nothing else", {"X.TXT.tavisk~", "Z.DAT.tavisk~"}, {"*.TXT"}, 0,
         line("X.TXT.tavisk~", "X.TXT", ":中断した改名から復元") + line("Z.DAT.tavisk~", "Z.DAT", ":中断した改名から復元") +
             line("X.TXT", "x.txt"),
         {"Z.DAT", "x.txt"}},
        {"the only entry of a directory under /s", {"SUB", "SUB\\X.TXT.tavisk~"}, {"/s", "*.TXT"}, 0,
         line("SUB\\X.TXT.tavisk~", "X.TXT", ":中断した改名から復元") + line("SUB\\X.TXT", "x.txt"),
         {"SUB", "SUB\\x.txt"}},
        {"a directory listed whole and found without any", {"SUB", "SUB\\B.TXT"}, {"SUB\\B.TXT"}, 0,
         line("SUB\\B.TXT", "b.txt"), {"SUB", "SUB\\b.txt"}},
        {"a directory and its contents under /s", {"BOX.tavisk~", "BOX.tavisk~\\IN.TXT"}, {"/s", "*"}, 0,
         line("BOX.tavisk~", "BOX", ":中断した改名から復元") + line("BOX\\IN.TXT", "in.txt") + line("BOX", "box"),
         {"box", "box\\in.txt"}},
    };
    for (const Case& c : cases) {
        startFakeProcess();
        run = RunContext{};
        fake::state().caseSensitive = !c.ignoresCase;
        fake::state().anotherRun = c.anotherRun;
        for (std::string n : c.before) {
            bool empty = n.size() > 6 && n.substr(n.size() - 6) == "|empty";
            if (empty) n.resize(n.size() - 6);
            if (n == "SUB" || n == "BOX.tavisk~") fake::addDirectory(n);
            else fake::addFile(n);
            fake::state().entries.back().emptyFile = empty;
        }
        // The directories listed whole first, as an expansion lists them: the
        // listing's knowledge of leftovers must never pass one over.
        platform::noticeEnding(leftoverSuffix);
        for (const char* directory : {"", "SUB\\", "NONE\\"}) {
            platform::FindData data;
            if (platform::SearchHandle h = platform::findEveryEntry(directory, &data)) platform::FindClose(h);
        }
        RunResult r = runTavisk(c.arguments);
        EXPECT_EQ(r.code, c.code) << c.label;
        EXPECT_EQ(r.out, c.out) << c.label;
        EXPECT_EQ(names(), c.after) << c.label;
    }

    // A temporary name cut short comes back under the whole name that a kept
    // journal records; where none does, it stays for the user to see.
    std::string longName = std::string(247, 'L') + ".TXT";
    std::string cut = longName.substr(0, 230) + "~" + "0123456789ABCDEF" + ".tavisk~";
    for (bool recorded : {true, false}) {
        startFakeProcess();
        run = RunContext{};
        fake::addFile(cut);
        JournalText journal;
        journal.text.append(journalHeader);
        journal.sealedTo = journal.text.size;
        std::string named = recorded ? longName : "OTHER.TXT";
        appendJournalRecord(journal, "C:\\work\\", {1, 2}, named, "x");
        sealJournalWindow(journal);
        fake::state().journals[fake::state().journalFolder + "00000001.journal"] = std::string(journal.text.view());
        uint64_t sum = windowChecksum(longName.data(), longName.size());
        char digits[17];
        std::snprintf(digits, sizeof digits, "%016llX", static_cast<unsigned long long>(sum));
        fake::state().entries.back().name = cut = longName.substr(0, 230) + "~" + digits + ".tavisk~";
        RunResult r = runTavisk({"/l", "/c", longName});
        if (recorded) {
            EXPECT_EQ(r.out, line(cut, longName, ":中断した改名から復元") + line(longName, std::string(247, 'l') + ".txt"));
        } else {
            EXPECT_EQ(r.out, line(cut, "?", ":改名不能") + sj(longName + ":存在せず\n"));
            EXPECT_EQ(names(), std::vector<std::string>{cut});
        }
    }
}

TEST_F(Rename, ARecordAheadGivesItsNewPathToItsOwnPathOnly) {
    startJournal(run.journal, true, true);
    char path[] = "A.TXT";
    int record = recordAhead(run.journal, path, 0, {1, 2}, "a.txt");
    ASSERT_GE(record, 0);
    EXPECT_EQ(plannedPath(run.journal, record, path), nullptr);  // not before the window is written
    ASSERT_TRUE(writeAhead(run.journal));
    std::string same = path;
    struct Case { const char* path; const char* planned; } cases[] = {
        {path, "a.txt"}, {same.c_str(), "a.txt"}, {"B.TXT", nullptr}, {"A.TXT.BAK", nullptr}, {"A.TX", nullptr},
    };
    for (const Case& c : cases) EXPECT_STREQ(plannedPath(run.journal, record, c.path), c.planned) << c.path;
    EXPECT_EQ(plannedPath(run.journal, -1, path), nullptr);
    EXPECT_TRUE(journalCovers(run.journal, path, 0, {1, 2}, plannedPath(run.journal, record, path)));
    endJournal(run.journal);
}

// The preview's table of paths: each path keeps the state its last rename
// left, through the table's growth, apart from paths that differ by a
// letter's case or by a prefix, until it is cleared. Renames of letters
// beyond A-Z (full-width under -u) and of short names are rows as well.
TEST(PreviewPaths, EachPathKeepsItsLastState) {
    PathStates paths;
    EXPECT_TRUE(paths.empty());
    EXPECT_EQ(paths.at("A.TXT"), PathState::none);
    std::vector<std::string> names;
    for (int i = 0; i < 500; ++i) names.push_back("DIR/F" + std::to_string(i) + ".TXT");
    names.push_back("\x82\x60\x82\x61.TXT");  // ＡＢ.TXT
    names.push_back("A");
    names.push_back("ABCDEFGH");
    for (const std::string& n : names) {
        std::string lower = n;
        for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (n[0] == '\x82') lower = "\x82\x81\x82\x82.txt";
        paths.moved(n, lower);
    }
    paths.moved("DIR/G.TXT", "DIR/F7.TXT");  // taken again, by a second rename onto it
    paths.moved("dir/f8.txt", "DIR/F8.TXT");  // left again, and taken back
    for (const std::string& n : names) {
        PathState expected = n == "DIR/F7.TXT" || n == "DIR/F8.TXT" ? PathState::taken : PathState::left;
        EXPECT_EQ(paths.at(n), expected) << n;
        EXPECT_EQ(paths.at(n.substr(0, n.size() - 1)), PathState::none) << n;  // a prefix is another path
    }
    EXPECT_EQ(paths.at("DIR/G.TXT"), PathState::left);
    EXPECT_EQ(paths.at("dir/f8.txt"), PathState::left);
    EXPECT_EQ(paths.at("dir/f499.txt"), PathState::taken);
    EXPECT_EQ(paths.at("\x82\x81\x82\x82.txt"), PathState::taken);
    EXPECT_EQ(paths.at("abcdefgh"), PathState::taken);
    EXPECT_EQ(paths.at(""), PathState::none);
    // Both paths of a rename at once, sharing a hash or not.
    struct Pair { const char* a; const char* b; PathState atA, atB; } pairs[] = {
        {"DIR/F8.TXT", "dir/f8.txt", PathState::taken, PathState::left},
        {"DIR/G.TXT", "DIR/F7.TXT", PathState::left, PathState::taken},
        {"\x82\x60\x82\x61.TXT", "\x82\x81\x82\x82.txt", PathState::left, PathState::taken},
        {"NEW.TXT", "new.txt", PathState::none, PathState::none},
    };
    for (const Pair& p : pairs) {
        PathState a, b;
        paths.at(p.a, p.b, a, b);
        EXPECT_EQ(a, p.atA) << p.a;
        EXPECT_EQ(b, p.atB) << p.b;
    }
    paths.clear();
    EXPECT_TRUE(paths.empty());
    EXPECT_EQ(paths.at("DIR/F1.TXT"), PathState::none);
}

TEST(LeftoverNames, OnlyTheSuffixAfterAWholeCharacter) {
    struct Case { const char* name; bool leftover; } cases[] = {
        {"A.TXT.tavisk~", true}, {"A.TXT.TAVISK~", true}, {".tavisk~", false},
        {"A.TXT.tavisk", false}, {"A.TXT", false},
    };
    for (auto& c : cases) EXPECT_EQ(isLeftoverName(c.name), c.leftover) << c.name;
}

TEST(JournalText, RecordsComeBackByteForByteAndDamageIsFound) {
    // Names with blanks, '%', line ends and Shift-JIS whose second byte is '\\'.
    std::vector<JournalRecord> written = {
        {"/home/u/dir with blanks/", {7, 42}, "READ ME.TXT", "read me.txt"},
        {"/home/u/dir with blanks/", {7, 43}, "100%.TXT", "100%.txt"},
        {"/home/u/\x95\x5c/", {7, 44}, "A\nB.TXT", "a\nb.txt"},
        {"/home/u/\x95\x5c/", {8, 18446744073709551615ull}, "MNT", "mnt"},
        // Bytes near the escaped ones, each side of an eight-byte boundary.
        {"/d/", {0, 0}, "ABCDEFGH!\"#$&'\x7F\x80.TXT", "abcdefgh!\"#$&'\x7F\x80.txt"},
        {"/d/", {9, 10}, "ABCDEFG\x7FHIJKLMNO P", "abcdefg\x7Fhijklmno p"},
        {"/d/", {99, 100}, "ABCDEFGHIJKLMNOP", "abcdefghijklmnop"},
        {"/d/", {5, 6}, "A BCDEFGHIJKLMNOP", "a bcdefghijklmnop"},  // an escape, then a clean last word
        {"/d/", {3, 4}, "ABCDEFGH%J", "abcdefgh%j"},  // a clean first word, an escape in the last only
        // File numbers of every count of digits around eight.
        {"/d/", {1, 1234567}, "A", "a"}, {"/d/", {1, 12345678}, "B", "b"}, {"/d/", {1, 99999999}, "C", "c"},
        {"/d/", {1, 100000000}, "D", "d"}, {"/d/", {1, 10000000}, "E", "e"}, {"/d/", {1, 10009}, "F", "f"},
    };
    JournalText text;
    text.text.append(journalHeader);
    text.sealedTo = text.text.size;
    for (const JournalRecord& r : written) appendJournalRecord(text, r.directory, r.identity, r.oldName, r.newName);
    sealJournalWindow(text);
    EXPECT_EQ(text.text.view().find("A\nB"), std::string::npos);
    for (const char* line : {"\nR 1234567 A a\n", "\nR 10009 F f\n", "\nR 100000000 D d\n"})
        EXPECT_NE(text.text.view().find(line), std::string::npos) << line;
    JournalContents contents;
    const std::vector<JournalRecord>& read = contents.records;
    unsigned long line = 0;
    ASSERT_TRUE(parseJournal(std::string(text.text.view()), contents, &line));
    ASSERT_EQ(read.size(), written.size());
    for (std::size_t i = 0; i < read.size(); ++i) {
        EXPECT_EQ(read[i].directory, written[i].directory) << i;
        EXPECT_TRUE(read[i].identity == written[i].identity) << i;
        EXPECT_EQ(read[i].oldName, written[i].oldName) << i;
        EXPECT_EQ(read[i].newName, written[i].newName) << i;
    }

    // A window as a run writes it: its lines, then their checksum.
    auto sealed = [](const std::string& lines) {
        char seal[32];
        std::snprintf(seal, sizeof seal, "C %016llX\n",
                      static_cast<unsigned long long>(windowChecksum(lines.data(), lines.size())));
        return lines + seal;
    };
    std::string window = sealed("D 7 /d/\nR 1 A.TXT a.txt\n");
    std::string old = std::string(uncheckedJournalHeader) + "D 7 /d/\n";  // written before checksums
    std::string head = journalHeader;
    struct Case { std::string text; bool good; std::size_t records; unsigned long badLine; bool undoBegun; } cases[] = {
        {head + window, true, 1, 0, false},
        {head + window + sealed("R 2 B.TXT b.txt\n"), true, 2, 0, false},
        {head + window + "R 2 B.TXT b.txt\nR 3 C.T", true, 1, 0, false},  // a write cut short
        {head + window + "R 2 B.TXT b.txt\n", true, 1, 0, false},         // cut short before its seal
        {head + window + "R 2 B.T\nU\n", true, 1, 0, true},               // undone after a cut
        {head + window + "U\n", true, 1, 0, true},
        {head + "D 7 /d/\nR 1 A.TXT b.txt\n" + window.substr(window.find("C ")), false, 0, 4, false},
        {head + window.substr(0, 10) + "X" + window.substr(11), false, 0, 4, false},  // a byte changed
        {head + "D 7 /d/\nR 1 A.TXT a.txt\nC 0123\n", false, 0, 4, false},
        {head + sealed("D 7 /d/\nR x A.TXT a.txt\n"), false, 0, 3, false},  // whole, yet no record
        {head + window + sealed("R 1 A.TXT\n"), false, 0, 5, false},
        {old + "R 1 A.TXT a.txt\n", true, 1, 0, false},
        {old + "R 1 A.TXT a.txt\nR 2 B.T", true, 1, 0, false},
        {old, true, 0, 0, false},
        {"tavisk journal 3\n", false, 0, 1, false},
        {"", true, 0, 0, false},             // made, not yet written
        {"tavisk jour", true, 0, 0, false},  // its first write cut short
        {"tavisk journal", true, 0, 0, false},
        {"tavisk x", false, 0, 1, false},
        {std::string(uncheckedJournalHeader) + "R 1 A.TXT a.txt\n", false, 0, 2, false},  // no directory yet
        {old + "R x A.TXT a.txt\n", false, 0, 3, false},
        {old + "R 1 A.TXT\n", false, 0, 3, false},
        {old + "R 1 A.TXT a.txt extra\n", false, 0, 3, false},
        {old + "R 1 A%2 a.txt\n", false, 0, 3, false},
        {old + "R 1 A\tB a.txt\n", false, 0, 3, false},
        {old + "R 99999999999999999999 A a\n", false, 0, 3, false},
        {old + "X 1 A a\n", false, 0, 3, false},
        {old + "\n", false, 0, 3, false},
    };
    for (const Case& c : cases) {
        line = 0;
        EXPECT_EQ(parseJournal(c.text, contents, &line), c.good) << c.text;
        if (c.good) {
            EXPECT_EQ(read.size(), c.records) << c.text;
            EXPECT_EQ(contents.undoBegun, c.undoBegun) << c.text;
        } else {
            EXPECT_EQ(line, c.badLine) << c.text;
        }
    }
}
