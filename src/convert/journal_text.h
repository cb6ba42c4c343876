// The text of a journal: a header line, a line "W" with when the run began
// and its folder, a line "T" with the time as each window is written, then
// for each rename a line "R"
// with the file number, the old and the new name, after a line "D" with the
// volume and the directory wherever these change. Each write of lines ends in
// a line "C" with a checksum of what it wrote, so that a window of renames is
// taken back only as it was written; a line "U" says that an undo of the run
// has begun. Bytes that would end or split a line, and '%', are written as
// '%' and two hex digits.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
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
    unsigned long line = 0;  // of its "R" line
    // When its window was written (nanoseconds since 1970), after the entry
    // was listed: an entry made later is another. 0: not known.
    uint64_t listedBy = 0;
};

// The header of the journals written now, and of those written before
// windows carried checksums, which are still read.
extern const char journalHeader[];
extern const char uncheckedJournalHeader[];
// The line an undo adds before its first rename.
extern const char undoBegunLine[];

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
    std::size_t sealedTo = 0;  // the end of what the last "C" line covers, or of the header
    std::string directory;     // of the last "D" line
    uint64_t volume = 0;
    bool directed = false;  // a "D" line has been written
    uint64_t windowTime = 0;  // of the last "T" line
};

// The time now, in nanoseconds since 1970.
uint64_t timeNow();
// A line "T" with `time`, which the records after it were listed by.
void appendTimeLine(JournalText& journal, uint64_t time);

// The lines of one rename, after a "D" line where `anotherDirectory`, or the
// journal's last one is of another volume or there is none yet.
void appendJournalLines(JournalText& journal, bool anotherDirectory, std::string_view directory,
                        const platform::EntryIdentity& identity, std::string_view oldName, std::string_view newName);
// The same, with the "D" line wherever the directory changes.
void appendJournalRecord(JournalText& journal, std::string_view directory, const platform::EntryIdentity& identity,
                         std::string_view oldName, std::string_view newName);
// Ends what was appended since the last seal with its "C" line.
void sealJournalWindow(JournalText& journal);

// The checksum of a window's bytes.
uint64_t windowChecksum(const char* bytes, std::size_t n);
// A checksum as sixteen hex digits (0-9, A-F): written at `p`, giving the
// end; read from exactly the bytes [p, end).
char* putChecksum(char* p, uint64_t sum);
bool readChecksum(const char* p, const char* end, uint64_t& sum);

// When a run began (nanoseconds since 1970) and in which folder (whole, in
// the system's text): what a list of the runs shows, and what tells a file
// made later apart from the one the run renamed.
struct JournalRun {
    bool known = false;  // journals written before it was kept have none
    uint64_t startedAt = 0;
    std::string folder;
};
void appendRunLine(JournalText& journal, const JournalRun& run);

// A journal read back: its records, and whether an undo of it has begun.
struct JournalContents {
    JournalRun run;
    std::vector<JournalRecord> records;
    bool undoBegun = false;
    bool endsInLine = true;  // its last byte is a line end, or it holds nothing
};
// False for damaged text, with its line in `badLine`. Lines after the last
// "C" line are a write cut short, whose renames were never begun: they are
// passed over unread.
bool parseJournal(const std::string& text, JournalContents& contents, unsigned long* badLine);
