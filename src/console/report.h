// Every result line of a run, written by one function from one table of
// formats, and the closing count of /v+s.
#pragma once

#include <string>

enum class ResultKind {
    notFound,      // a name that does not resolve
    unreadable,    // a directory that /s cannot look into
    leftAlone,     // the decision leaves the entry as it is
    renamed,       // renamed, or to be renamed under /test
    renameFailed,  // the rename failed; the entry keeps its name
    stranded,      // the rename failed and left the entry under `extra`
    restored,      // a killed run's leftover put back under its old name
    restoreFailed, // such a leftover whose old name is taken
};

// Why an entry failed, as the report says it.
enum class Reason : unsigned char {
    none,        // the kind's own: not found, unreadable, stranded, old name taken
    taken,       // another entry holds the new name (`newName`)
    permission,  // permission denied
    readOnly,    // a read-only file system
    tooLong,     // the path passes the system's limit
    changed,     // the entry changed during the run
    caseRefused, // the file system took the rename and kept the old spelling
    refused,     // the system refused the rename, for another cause
};

// Under --porcelain, writes instead one record of `kind` for the entry
// `name` (its path): status, old path, new path and reason, tab-separated,
// in the system's text, ended by a line feed or (/z) NUL; every entry met
// gets one, whatever /v shows.
//
// Writes the line of `kind` for `name` (the display name in the aligned
// layout, padded to `columnWidth`), `newName` after the arrow and `extra` in
// the brackets where the kind has them, when the display settings show it,
// through the result pager; and counts the entry for the closing line. Names
// are shown safely on a console.
// A failure is also said, with its reason, in the form "tavisk: PATH: reason"
// on standard error; reportFailure tells the reason, and the entry's whole
// `path` where `name` is a display name (`name` when null).
void reportResult(ResultKind kind, const char* name, int columnWidth, const char* newName = "",
                  const char* extra = "");
void reportFailure(ResultKind kind, const char* name, int columnWidth, const char* newName, const char* extra,
                   Reason reason, const char* path = nullptr);

// Counts an entry that the kind filter passes over (/f, /fd) as left alone,
// without a line, so that the closing count holds every entry the run met.
void countPassedOver(const char* path);

// Counts an entry that /s leaves alone as hidden or as version control's
// (without /a), for the closing count.
void countKeptOut();

// The closing line under /v+s: the entries renamed (to be renamed under
// /test), left alone, failed and not found. Written once.
void reportSummary();

// Lines that wait: renames whose check, and so their line, waits for one
// listing of their directory. The run gives the function that settles them
// (settleWith); linesWait says that some wait; every report, and
// settleWaitingLines, settles them first, so that lines keep their order.
void settleWith(void (*settle)());
void linesWait();
void settleWaitingLines();

// The entries named or matched that the run has met so far, whatever became
// of them (no leftover put back, no directory that could not be read).
unsigned long entriesMet();

// `s` with each control byte as '?': a name cannot split a line of standard
// error, or send the terminal an escape sequence.
std::string safeText(const std::string& s);

// Zero counts, as a new run starts.
void resetReport();
