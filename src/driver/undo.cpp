#include "driver/undo.h"

#include <string>

#include "console/pager.h"
#include "console/report.h"
#include "convert/decision.h"
#include "convert/journal.h"
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
// a name lowered, and nothing else (a name already small, whose capitals were
// in its directory part, is recorded as itself). Damage, or a journal that
// another hand wrote, would make the undo rename what the run never did.
bool isRunsRename(const JournalRecord& record) {
    RecordText t;
    if (!recordText(record, t)) return true;  // told as a name that cannot be found, as it is met
    std::string lowered = t.oldName;
    lowerSingleByteLetters(&lowered[0], lowered.size());
    return isWholeDirectory(t.directory) && isOwnName(t.oldName) && isOwnName(t.newName) && lowered == t.newName;
}

// What `path` holds: nothing, another entry, or the record's entry stored
// exactly under its final component; `found` gets what the lookup said.
enum class Held { nothing, other, entry };
Held heldAt(const std::string& path, std::size_t nameAt, const platform::EntryIdentity& identity,
            platform::FindData& found) {
    if (!platform::lookUpEntry(path.c_str(), &found)) return Held::nothing;
    if (!found.identified) found.identified = platform::entryIdentity(path.c_str(), &found.identity);
    // The journal keeps what names the entry from mount to mount.
    platform::EntryIdentity kept;
    bool entry = found.identified && platform::journalIdentity(path.c_str(), found.identity, &kept) &&
                 kept == identity && equalStrings(found.fileName, path.c_str() + nameAt);
    return entry ? Held::entry : Held::other;
}

// True when the record's entry is still (or again) under its old name: the
// rename was never made, or has been taken back.
bool isUnderOldName(const JournalRecord& record) {
    Undoing u;
    platform::FindData found;
    return inCommandText(record, u) && heldAt(u.oldPath, u.nameAt, record.identity, found) == Held::entry;
}

// True when the run of `records` renamed anything that is not back yet: a run
// killed before its first rename, or one that stopped at its first failure,
// recorded renames it never made.
bool renamedAnything(const std::vector<JournalRecord>& records) {
    for (auto r = records.rbegin(); r != records.rend(); ++r)
        if (!isUnderOldName(*r)) return true;
    return false;
}

void undoRecord(const JournalRecord& record) {
    Undoing u;
    if (!inCommandText(record, u)) {
        reportResult(ResultKind::notFound, record.directory.c_str(), 0);
        failureStep();
        return;
    }
    // An entry that a killed rename left under its temporary name comes back first.
    Recovery recovery = recoverLeftovers(u.newPath.c_str(), u.nameAt);
    if (recovery.failed) failureStep();
    platform::FindData found;
    Held held = heldAt(u.newPath, u.nameAt, record.identity, found);
    if (held == Held::entry) {
        // Journaling is off: nothing here is recorded, and the entry is no listing's.
        Entry entry{u.newPath.c_str(), u.newPath.size(), u.nameAt, found.attributes, true, found.identity, false,
                     Verdict::unknown, -1};
        if (renameAndReport(entry, u.oldPath.c_str(), u.newPath.c_str(), 0) != EntryOutcome::handled) failureStep();
        return;
    }
    platform::FindData old;
    if (heldAt(u.oldPath, u.nameAt, record.identity, old) == Held::entry) {
        reportResult(ResultKind::leftAlone, u.oldPath.c_str(), 0);
        return;
    }
    // Another entry under the new name, or none: changed or gone since.
    if (held == Held::other)
        reportResult(ResultKind::renameFailed, u.newPath.c_str(), 0, u.oldPath.c_str() + u.nameAt);
    else
        reportResult(ResultKind::notFound, u.newPath.c_str(), 0);
    failureStep();
}

[[noreturn]] void cannotRead(const LoadedJournal& journal) {
    std::string file = journalFileText();
    if (journal.result == JournalRead::busy) fatalError(text::journalBusy, file.c_str());
    if (journal.result == JournalRead::damaged) fatalError(text::journalDamaged, file.c_str(), journal.line);
    fatalError(text::journalUnreadable, file.c_str());
}

// The first record that no run can have made, refused with its line before
// anything is renamed.
void refuseForeignRecords(LoadedJournal& journal) {
    for (const JournalRecord& record : journal.contents.records) {
        if (isRunsRename(record)) continue;
        journal.result = JournalRead::damaged;
        journal.line = record.line;
        cannotRead(journal);
    }
}

}  // namespace

int undoLastRun() {
    std::vector<std::string> files;
    if (!journalFiles(files)) fatalError(text::journalUnreadable, journalFileText().c_str());
    for (const std::string& file : files) {
        LoadedJournal journal = loadJournal(file);
        if (journal.result == JournalRead::missing) continue;  // let go by another run meanwhile
        if (journal.result != JournalRead::read) cannotRead(journal);
        const std::vector<JournalRecord>& records = journal.contents.records;
        // A file that another run has just made holds nothing yet: it stays.
        if (records.empty()) {
            letGoOfJournal(journal, file, false);
            continue;
        }
        refuseForeignRecords(journal);
        // A run that renamed nothing is passed over, and let go of for good;
        // one whose undo was cut short is finished, even with all back.
        if (!journal.contents.undoBegun && !renamedAnything(records)) {
            letGoOfJournal(journal, file, !settings.testMode);
            continue;
        }
        // Where the mark cannot be written (a journal made read-only), the
        // undo goes on as it could before.
        if (!settings.testMode) markUndoBegun(journal);
        setUpResultPager(settings.pauseMode, 1);
        if (settings.pauseMode) countOutput(screenColumns, promptText);
        for (auto r = records.rbegin(); r != records.rend(); ++r) undoRecord(*r);
        reportSummary();
        // Taken back, as far as it could be: not to be taken back twice. A
        // stop at a failure ended the process above and keeps it.
        letGoOfJournal(journal, file, !settings.testMode);
        return errorOccurred ? 2 : 0;
    }
    fatalError("%s", text::nothingToUndo);
}
