#include "driver/undo.h"

#include <algorithm>
#include <ctime>
#include <string>

#include "console/pager.h"
#include "console/report.h"
#include "convert/decision.h"
#include "convert/journal.h"
#include "driver/context.h"
#include "convert/letters.h"
#include "convert/path.h"
#include "convert/recover.h"
#include "driver/failure.h"
#include "driver/settings.h"
#include "sjis/messages.h"
#include "sjis/sjis.h"

namespace {

// One record in the command's text: the entry's path under each name.
struct Undoing {
    std::string newPath, oldPath;
    std::size_t nameAt = 0;
};

// A record's directory and names in the command's text.
struct RecordText {
    std::string directory, oldName, newName;
};

bool recordText(const JournalRecord& record, RecordText& t) {
    return platform::commandText(record.directory.c_str(), t.directory) &&
           platform::commandText(record.oldName.c_str(), t.oldName) &&
           platform::commandText(record.newName.c_str(), t.newName);
}

bool inCommandText(const JournalRecord& record, Undoing& u) {
    RecordText t;
    if (!recordText(record, t)) return false;
    u.nameAt = t.directory.size();
    u.newPath = t.directory + t.newName;
    u.oldPath = t.directory + t.oldName;
    return true;
}

// True for a whole directory part, with its separator, through no "." or "..".
bool isWholeDirectory(const std::string& directory) {
    const char* p = directory.c_str();
    bool rooted = isSeparatorByte(p[0]) ||
                  (platform::commandLineDialect().drives && p[0] != '\0' && p[1] == ':' && isSeparatorByte(p[2]));
    if (!rooted || !isSeparatorByte(directory.back())) return false;
    std::size_t componentAt = 0;
    for (std::size_t at = 0; at < directory.size(); at += pathCharacterLength(p + at)) {
        if (!isSeparatorByte(p[at])) continue;
        std::string component = directory.substr(componentAt, at - componentAt);
        if (isDotOrDotDot(component.c_str())) return false;
        componentAt = at + 1;
    }
    return true;
}

// True for a final component of its own: no separator, no "." or "..".
bool isOwnName(const std::string& name) {
    return !name.empty() && directoryLength(name.c_str()) == 0 && !isDotOrDotDot(name.c_str());
}

// True when a record says what a run can have done: in a whole directory,
// a name lowered (A-Z, or under /u every letter with a case), and nothing
// else (older runs recorded a name already small, whose capitals were in its
// directory part, as itself). Damage, or a journal that another hand wrote,
// would make the undo rename what the run never did.
bool isRunsRename(const JournalRecord& record) {
    RecordText t;
    if (!recordText(record, t)) return true;  // told as a name that cannot be found, as it is met
    std::string lowered = t.oldName;
    lowerSingleByteLetters(&lowered[0], lowered.size());
    // Under /u letters beyond A-Z were lowered too.
    if (lowered != t.newName) lowerLetters(t.oldName.data(), t.oldName.size(), lowered);
    return isWholeDirectory(t.directory) && isOwnName(t.oldName) && isOwnName(t.newName) && lowered == t.newName;
}

// What `path` holds: nothing, another entry, or the record's entry stored
// exactly under its final component; `found` gets what the lookup said.
enum class Held { nothing, other, entry };
Held heldAt(const std::string& path, std::size_t nameAt, const JournalRecord& record, platform::FindData& found) {
    if (!platform::lookUpEntry(path.c_str(), &found)) return Held::nothing;
    if (!found.identified) found.identified = platform::entryIdentity(path.c_str(), &found.identity);
    // The journal keeps what names the entry from mount to mount.
    platform::EntryIdentity kept;
    bool entry = found.identified && platform::journalIdentity(path.c_str(), found.identity, &kept) &&
                 kept == record.identity && equalStrings(found.fileName, path.c_str() + nameAt);
    // A file made after the run listed the one it renamed is another, even
    // under the number the system gave back when that one was deleted.
    uint64_t born = 0;
    if (entry && record.listedBy && platform::birthTime(path.c_str(), &born) && born > record.listedBy) return Held::other;
    return entry ? Held::entry : Held::other;
}

// True when the record's entry is still (or again) under its old name: the
// rename was never made, or has been taken back.
bool isUnderOldName(const JournalRecord& record) {
    Undoing u;
    platform::FindData found;
    return inCommandText(record, u) && heldAt(u.oldPath, u.nameAt, record, found) == Held::entry;
}

// True when the run of `records` renamed anything that is not back yet: a run
// killed before its first rename, or one that stopped at its first failure,
// recorded renames it never made.
bool renamedAnything(const std::vector<JournalRecord>& records) {
    for (auto r = records.rbegin(); r != records.rend(); ++r)
        if (!isUnderOldName(*r)) return true;
    return false;
}

// What became of one record: back under its old name (now, or before), or not.
enum class Undone { back, notBack };

Undone undoRecord(RunContext& run, const JournalRecord& record) {
    Undoing u;
    if (!inCommandText(record, u)) {
        reportResult(run.report, ResultKind::notFound, record.directory.c_str(), 0);
        return Undone::notBack;
    }
    // An entry that a killed rename left under its temporary name comes back first.
    Recovery recovery = recoverLeftovers(run, u.newPath.c_str(), u.nameAt);
    if (recovery.failed) return Undone::notBack;
    platform::FindData found;
    Held held = heldAt(u.newPath, u.nameAt, record, found);
    if (held == Held::entry) {
        // Journaling is off: nothing here is recorded, and the entry is no listing's.
        Entry entry = Entry::found(u.newPath.c_str(), u.newPath.size(), u.nameAt, found.attributes, true,
                                   found.identity);
        bool back = renameAndReport(run, entry, u.oldPath.c_str(), u.newPath.c_str(), 0) == EntryOutcome::handled;
        return back ? Undone::back : Undone::notBack;
    }
    platform::FindData old;
    if (heldAt(u.oldPath, u.nameAt, record, old) == Held::entry) {
        reportResult(run.report, ResultKind::leftAlone, u.oldPath.c_str(), 0);
        return Undone::back;
    }
    // Another entry under the new name, or none: changed or gone since.
    if (held == Held::other)
        reportFailure(run.report, ResultKind::renameFailed, u.newPath.c_str(), 0, u.oldPath.c_str() + u.nameAt, "",
                      Reason::changed);
    else
        reportResult(run.report, ResultKind::notFound, u.newPath.c_str(), 0);
    return Undone::notBack;
}

// Where the journals' folder cannot even be named, the variables that name it.
[[noreturn]] void noJournalFolder(const RunContext& run) {
    noJournalFolderNamed(run);
    fatalError(text::journalUnreadable, journalFileText(run.journal).c_str());
}

[[noreturn]] void cannotRead(const RunContext& run, const LoadedJournal& journal) {
    std::string file = journalFileText(run.journal);
    if (journal.result == JournalRead::busy) fatalError(text::journalBusy, file.c_str());
    if (journal.result == JournalRead::damaged) fatalError(text::journalDamaged, file.c_str(), journal.line);
    fatalError(text::journalUnreadable, file.c_str());
}

// The first record that no run can have made, refused with its line before
// anything is renamed.
void refuseForeignRecords(const RunContext& run, LoadedJournal& journal) {
    for (const JournalRecord& record : journal.contents.records) {
        if (isRunsRename(record)) continue;
        journal.result = JournalRead::damaged;
        journal.line = record.line;
        cannotRead(run, journal);
    }
}

// Takes back the renames of `journal`, newest first, and keeps in it those
// not taken back: a later undo tries them again. A stop at a failure keeps
// the ones not yet tried too.
int undoJournal(RunContext& run, LoadedJournal& journal, const std::string& file) {
    // Where the mark cannot be written (a journal made read-only), the undo
    // goes on as it could before.
    if (!settings.testMode) markUndoBegun(journal);
    startResultPager(run);
    const std::vector<JournalRecord>& records = journal.contents.records;
    undoingRecords(run.journal, &records);
    std::vector<JournalRecord> kept;
    bool stopped = false;
    std::string stoppedAt;
    std::size_t untried = 0;
    for (std::size_t i = records.size(); i-- > 0 && !stopped;) {
        if (undoRecord(run, records[i]) == Undone::back) continue;
        stopped = !settings.continueOnError;
        Undoing u;
        stoppedAt = inCommandText(records[i], u) ? u.newPath : std::string("?");
        untried = i;
        for (std::size_t j = i + 1; j-- > (stopped ? 0 : i);) kept.push_back(records[j]);
        run.failures.errorOccurred = true;
    }
    undoingRecords(run.journal, nullptr);
    std::reverse(kept.begin(), kept.end());  // in the run's order, to be taken back newest first again
    // Where what is left cannot be written, the journal stays whole.
    if (settings.testMode || kept.empty() || !keepOnly(journal, file, kept))
        letGoOfJournal(journal, file, !settings.testMode && kept.empty());
    if (stopped) failureStep(run, stoppedAt.c_str(), untried);
    reportSummary(run.report);
    return run.failures.errorOccurred ? 2 : 0;
}

// Journal `file` read back and checked: every record a run can have made.
LoadedJournal checkedJournal(RunContext& run, const std::string& file) {
    LoadedJournal journal = loadJournal(run.journal, file);
    if (journal.result != JournalRead::read && journal.result != JournalRead::missing) cannotRead(run, journal);
    if (journal.result == JournalRead::read) refuseForeignRecords(run, journal);
    return journal;
}

std::vector<std::string> keptJournalFiles(RunContext& run) {
    std::vector<std::string> files;
    if (!journalFiles(run.journal, files)) noJournalFolder(run);
    return files;
}

// A moment as the list shows it, in local time.
std::string shownTime(const JournalRun& run) {
    if (!run.known) return "----------  --:--:--";
    std::time_t seconds = static_cast<std::time_t>(run.startedAt / 1000000000u);
    char text[32];
    const std::tm* local = std::localtime(&seconds);
    if (!local || !std::strftime(text, sizeof text, "%Y-%m-%d  %H:%M:%S", local)) return "?";
    return text;
}

}  // namespace

int undoLastRun(RunContext& run) {
    for (const std::string& file : keptJournalFiles(run)) {
        LoadedJournal journal = checkedJournal(run, file);
        if (journal.result == JournalRead::missing) continue;  // let go by another run meanwhile
        const std::vector<JournalRecord>& records = journal.contents.records;
        // A file that another run has just made holds nothing yet: it stays.
        if (records.empty()) {
            letGoOfJournal(journal, file, false);
            continue;
        }
        // A run that renamed nothing is passed over, and let go of for good;
        // one whose undo was cut short is finished, even with all back.
        if (!journal.contents.undoBegun && !renamedAnything(records)) {
            letGoOfJournal(journal, file, !settings.testMode);
            continue;
        }
        return undoJournal(run, journal, file);
    }
    fatalError("%s", text::nothingToUndo.str());
}

int undoRun(RunContext& run, unsigned long number) {
    std::vector<std::string> files = keptJournalFiles(run);
    unsigned long kept = static_cast<unsigned long>(files.size());
    if (number == 0 || number > kept) fatalError(text::noSuchRun, number, kept);
    const std::string& file = files[number - 1];
    LoadedJournal journal = checkedJournal(run, file);
    if (journal.result == JournalRead::missing) fatalError(text::noSuchRun, number, kept);
    return undoJournal(run, journal, file);
}

int listRuns(RunContext& run) {
    std::vector<std::string> files = keptJournalFiles(run);
    if (files.empty()) printResult(run.report.pager, "%s\n", text::nothingToUndo.str());
    unsigned long number = 0;
    for (const std::string& file : files) {
        ++number;
        LoadedJournal journal = loadJournal(run.journal, file);
        if (journal.result != JournalRead::read) {
            letGoOfJournal(journal, file, false);  // a damaged one was opened
            if (journal.result == JournalRead::missing) continue;
            std::string shown = journalFileText(run.journal);
            printResult(run.report.pager, journal.result == JournalRead::busy ? text::runBusy : text::runUnreadable, number,
                        shown.c_str());
            continue;
        }
        const JournalContents& contents = journal.contents;
        unsigned long left = 0;
        for (const JournalRecord& record : contents.records) left += isUnderOldName(record) ? 0 : 1;
        std::string folder = "?";
        if (contents.run.known && !platform::commandText(contents.run.folder.c_str(), folder)) folder = contents.run.folder;
        printResult(run.report.pager, text::runLine, number, shownTime(contents.run).c_str(),
                    static_cast<unsigned long>(contents.records.size()), left, folder.c_str());
        letGoOfJournal(journal, file, false);
    }
    return 0;
}
