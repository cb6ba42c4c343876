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

#include "platform/platform.h"

// One rename as the journal keeps it, in the system's own text.
struct JournalRecord {
    std::string directory;  // whole, with its separator
    platform::EntryIdentity identity;
    std::string oldName, newName;
};

// How many runs' journals are kept.
constexpr int keptJournals = 20;

// Turns journaling on or off as a run starts; the journal is made as the
// first rename is recorded, and the oldest beyond the kept ones are let go
// then.
void startJournal(bool on);
// True while this run records its renames.
bool journalIsOn();
// The file of this run's journal, or of the journal last read or tried, for
// messages, in the command's text.
std::string journalFileText();
// Records ahead a rename the run is about to make, from `path` (its final
// component at `nameAt`) to `newName` in the same directory; writeAhead
// writes what was recorded in one go, and gives false when it could not.
// The renames of a window are made before the next window is recorded.
// Gives the record's number in its window; -1 when nothing was recorded
// (journaling is off, or the system could not be given the names).
int recordAhead(std::string_view path, std::size_t nameAt, const platform::EntryIdentity& identity,
                std::string_view newName);
bool writeAhead();
// The new path of record `record` of the window written last, for the rename
// of `path` to take, so that the rename is the one the journal holds; nullptr
// for -1, or a record of another path.
const char* plannedPath(int record, const char* path);
// True when the rename is in the journal: recorded ahead, or written now, or
// journaling is off. False: it could not be written, and the rename is not
// to be made.
bool journalCovers(const char* path, std::size_t nameAt, const platform::EntryIdentity& identity,
                   const char* newPath);
// Closes this run's journal.
void endJournal();

// The journals kept, the newest first, as files in the system's text; false
// when the folder cannot be had.
bool journalFiles(std::vector<std::string>& files);
// Reading one back.
enum class JournalRead { read, missing, busy, unreadable, damaged };
struct LoadedJournal {
    JournalRead result = JournalRead::missing;
    unsigned long line = 0;  // the first damaged line
    std::vector<JournalRecord> records;
    platform::JournalHandle handle = nullptr;  // held while the undo runs
};
LoadedJournal loadJournal(const std::string& file);
// Lets go of a journal read back; `remove` once it has been taken back.
void letGoOfJournal(LoadedJournal& journal, const std::string& file, bool remove);

// The text of a journal: a header line, then for each rename a line "R"
// with the file number, the old and the new name, after a line "D" with the
// volume and the directory wherever these change. Bytes that would end or
// split a line, and '%', are written as '%' and two hex digits.
extern const char journalHeader[];
// Text written in place at its end: room is asked for, written, and what was
// written kept. Emptied, it keeps its storage, so that a run's windows seldom
// grow it (growing a std::string fills what it adds).
struct GrowingText {
    std::string storage;
    std::size_t size = 0;
    char* room(std::size_t n) {
        if (storage.size() - size < n) storage.resize(std::max(2 * storage.size(), size + n));
        return &storage[size];
    }
    void keep(std::size_t n) { size += n; }
    void append(std::string_view text) {
        std::memcpy(room(text.size()), text.data(), text.size());
        keep(text.size());
    }
    const char* data() const { return storage.data(); }
    std::string_view view() const { return {storage.data(), size}; }
    void clear() { size = 0; }
};
struct JournalText {
    GrowingText text;
    std::string directory;  // of the last "D" line
    uint64_t volume = 0;
    bool directed = false;  // a "D" line has been written
};
void appendJournalRecord(JournalText& journal, std::string_view directory, const platform::EntryIdentity& identity,
                         std::string_view oldName, std::string_view newName);
// False for damaged text, with its line in `badLine`. A last line without its
// line end (a write cut short) is passed over.
bool parseJournal(const std::string& text, std::vector<JournalRecord>& records, unsigned long* badLine);
