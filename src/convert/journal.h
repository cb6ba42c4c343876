// The journal: what a run renames, written before the renames, so that a
// later run can take them back. Each run has a file of its own in the user's
// journal folder; the last runs are kept.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "convert/journal_text.h"
#include "platform/platform.h"

// A rename recorded ahead: the entry, its path as it was given (which lasts
// as long as the window), and where its new path stands in the writer's
// `aheadText`, with a terminator.
struct JournalAhead {
    platform::EntryIdentity identity;
    std::size_t at, pathLength;
    const char* given;
};

// This run's journal, and the file of the one last read or tried.
struct Journal {
    struct Writer {
        bool on = false;
        platform::JournalHandle handle = nullptr;
        JournalText journal;
        // The last directory part as the command gave it, and its whole form.
        std::string commandDirectory, systemDirectory;
        bool directoryKnown = false;
        bool directoryLined = false;  // the journal's last "D" line is of it
        std::string oldName, newName;  // scratch
        std::vector<JournalAhead> ahead;
        GrowingText aheadText;
        std::size_t cursor = 0;  // the first record ahead not yet met
        bool windowWritten = false;
        bool timed = false;  // the window being written has its "T" line
        bool lastingKnown = false;  // the volume whose file numbers are known to last
        uint64_t lastingVolume = 0;
        // The records of the journal an undo of this run is taking back.
        const std::vector<JournalRecord>* undoing = nullptr;
    } writer;
    std::string lastFile;
};

// Turns journaling on or off as a run starts; the journal is made as the
// first rename is recorded, and the oldest beyond the kept ones are let go
// then. A run that may move entries joins the other runs (see
// platform::joinRuns).
void startJournal(Journal& journal, bool on, bool joinRuns);
// True while this run records its renames.
bool journalIsOn(const Journal& journal);
// The file of this run's journal, or of the journal last read or tried, for
// messages, in the command's text.
std::string journalFileText(const Journal& journal);
// Records ahead a rename the run is about to make, from `path` (its final
// component at `nameAt`) to `newName` in the same directory; writeAhead
// writes what was recorded in one go, and gives false when it could not.
// The renames of a window are made before the next window is recorded.
// Gives the record's number in its window; -1 when nothing was recorded
// (journaling is off, or the system could not be given the names).
int recordAhead(Journal& journal, std::string_view path, std::size_t nameAt, const platform::EntryIdentity& identity,
                std::string_view newName);
bool writeAhead(Journal& journal);
// The new path of record `record` of the window written last, for the rename
// of `path` to take, so that the rename is the one the journal holds; nullptr
// for -1, or a record of another path.
const char* plannedPath(const Journal& journal, int record, const char* path);
// True when the rename is in the journal: recorded ahead, or written now, or
// journaling is off. False: it could not be written, and the rename is not
// to be made.
bool journalCovers(Journal& journal, const char* path, std::size_t nameAt, const platform::EntryIdentity& identity,
                   const char* newPath);
// Closes this run's journal.
void endJournal(Journal& journal);

// The journals kept, the newest first, as files in the system's text; false
// when the folder cannot be had.
bool journalFiles(Journal& journal, std::vector<std::string>& files);
// Reading one back.
enum class JournalRead { read, missing, busy, unreadable, damaged };
struct LoadedJournal {
    JournalRead result = JournalRead::missing;
    unsigned long line = 0;  // the first damaged line
    JournalContents contents;
    platform::JournalHandle handle = nullptr;  // held while the undo runs
};
LoadedJournal loadJournal(Journal& journal, const std::string& file);
// The name, in the system's text, that a record of a kept journal holds in
// the whole directory `directory` (system text) and whose checksum
// (windowChecksum) is `sum`: the whole name of a temporary name cut short.
bool recordedName(Journal& journal, const std::string& directory, uint64_t sum, std::string& name);
// The records of the journal that this run's undo is taking back, while it
// does (nullptr after): what recordedName looks at first.
void undoingRecords(Journal& journal, const std::vector<JournalRecord>* records);
// True when the renames being made are in a journal: this run's, or the one
// its undo takes back.
bool renamesAreRecorded(const Journal& journal);
// Writes, before an undo's first rename, that the undo has begun: a journal
// whose entries all came back stays the one to finish until it is let go of.
bool markUndoBegun(LoadedJournal& journal);
// Puts in place of a journal read back one that holds only `records` (those
// not taken back), and lets go of it; false where that cannot be written,
// and the journal stays as it was.
bool keepOnly(LoadedJournal& journal, const std::string& file, const std::vector<JournalRecord>& records);
// Lets go of a journal read back; `remove` once it has been taken back.
void letGoOfJournal(LoadedJournal& journal, const std::string& file, bool remove);
