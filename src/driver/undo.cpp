#include "driver/undo.h"

#include <string>

#include "console/pager.h"
#include "console/report.h"
#include "convert/journal.h"
#include "convert/recover.h"
#include "convert/rename.h"
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

bool inCommandText(const JournalRecord& record, Undoing& u) {
    std::string directory, oldName, newName;
    if (!platform::commandText(record.directory.c_str(), directory) ||
        !platform::commandText(record.oldName.c_str(), oldName) ||
        !platform::commandText(record.newName.c_str(), newName))
        return false;
    u.nameAt = directory.size();
    u.newPath = directory + newName;
    u.oldPath = directory + oldName;
    return true;
}

// True when `path` holds the record's entry, stored exactly under its final
// component; `found` gets what the lookup said.
bool holdsEntry(const std::string& path, std::size_t nameAt, const platform::EntryIdentity& identity,
                platform::FindData& found) {
    if (!platform::lookUpEntry(path.c_str(), &found)) return false;
    if (!found.identified) found.identified = platform::entryIdentity(path.c_str(), &found.identity);
    return found.identified && found.identity == identity && equalStrings(found.fileName, path.c_str() + nameAt);
}

// True when the record's entry is still (or again) under its old name: the
// rename was never made, or has been taken back.
bool isUnderOldName(const JournalRecord& record) {
    Undoing u;
    platform::FindData found;
    return inCommandText(record, u) && holdsEntry(u.oldPath, u.nameAt, record.identity, found);
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
    const char* oldName = u.oldPath.c_str() + u.nameAt;
    platform::FindData found;
    if (holdsEntry(u.newPath, u.nameAt, record.identity, found)) {
        if (settings.testMode) {
            bool possible = renameLooksPossible(u.newPath.c_str(), u.oldPath.c_str());
            reportResult(possible ? ResultKind::renamed : ResultKind::renameFailed, u.newPath.c_str(), 0, oldName);
            if (!possible) failureStep();
            return;
        }
        Entry entry{u.newPath.c_str(), u.nameAt, found.attributes, true, record.identity, false};
        RenameResult result = renameEntry(entry, u.oldPath.c_str());
        switch (result.outcome) {
            case RenameOutcome::done:
                reportResult(ResultKind::renamed, u.newPath.c_str(), 0, oldName);
                return;
            case RenameOutcome::stranded:
                reportResult(ResultKind::stranded, u.newPath.c_str(), 0, oldName, result.stranded.c_str());
                break;
            default:
                reportResult(ResultKind::renameFailed, u.newPath.c_str(), 0, oldName);
                break;
        }
        failureStep();
        return;
    }
    platform::FindData old;
    if (holdsEntry(u.oldPath, u.nameAt, record.identity, old)) {
        reportResult(ResultKind::leftAlone, u.oldPath.c_str(), 0);
        return;
    }
    // Another entry under the new name, or none: changed or gone since.
    if (platform::lookUpEntry(u.newPath.c_str(), &found))
        reportResult(ResultKind::renameFailed, u.newPath.c_str(), 0, oldName);
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

}  // namespace

int undoLastRun() {
    std::vector<std::string> files;
    if (!journalFiles(files)) fatalError(text::journalUnreadable, journalFileText().c_str());
    for (const std::string& file : files) {
        LoadedJournal journal = loadJournal(file);
        if (journal.result == JournalRead::missing) continue;  // let go by another run meanwhile
        if (journal.result != JournalRead::read) cannotRead(journal);
        // A file that another run has just made holds nothing yet: it stays.
        if (journal.records.empty()) {
            letGoOfJournal(journal, file, false);
            continue;
        }
        // A run that renamed nothing is passed over, and let go of for good.
        if (!renamedAnything(journal.records)) {
            letGoOfJournal(journal, file, !settings.testMode);
            continue;
        }
        setUpResultPager(settings.pauseMode, 1);
        if (settings.pauseMode) countOutput(screenColumns, promptText);
        for (auto r = journal.records.rbegin(); r != journal.records.rend(); ++r) undoRecord(*r);
        reportSummary();
        // Taken back, as far as it could be: not to be taken back twice. A
        // stop at a failure ended the process above and keeps it.
        letGoOfJournal(journal, file, !settings.testMode);
        return errorOccurred ? 2 : 0;
    }
    fatalError("%s", text::nothingToUndo);
}
