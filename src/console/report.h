// Every result line of a run, written by one function from one table of
// formats, and the closing count of /v+s.
#pragma once

#include <functional>
#include <string>

#include "console/pager.h"

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

// What the report of one run keeps: the counts for the closing line, the
// lines that wait (see settleWith) and the pager the lines go through.
struct Report {
    struct Counts {
        unsigned long renamed = 0, leftAlone = 0, failed = 0, notFound = 0;
        // Failures of what is no entry named or matched: a directory /s cannot
        // read, a leftover that cannot be put back. Counted as failed too.
        unsigned long failedBeside = 0;
        unsigned long keptOut = 0;  // what /s passed over as hidden or version control's
        bool written = false;
    } counts;
    std::function<void()> settle;  // settles the lines that wait
    bool waiting = false;
    ResultPager pager;
    // False once the run has learnt that standard output is no console: the
    // names are then shown as they are, without a question per line.
    bool mayShowOnConsole = true;
    std::string shown[3];  // a line's names as a console is shown them (shownName)
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
void reportResult(Report& report, ResultKind kind, const char* name, int columnWidth, const char* newName = "",
                  const char* extra = "");
void reportFailure(Report& report, ResultKind kind, const char* name, int columnWidth, const char* newName, const char* extra,
                   Reason reason, const char* path = nullptr);

// Counts an entry that the kind filter passes over (/f, /fd) as left alone,
// without a line, so that the closing count holds every entry the run met.
void countPassedOver(Report& report, const char* path);

// Counts an entry that /s leaves alone as hidden or as version control's
// (without /a), for the closing count.
void countKeptOut(Report& report);

// The closing line under /v+s: the entries renamed (to be renamed under
// /test), left alone, failed and not found. Written once.
void reportSummary(Report& report);

// Lines that wait: renames whose check, and so their line, waits for one
// listing of their directory. The run gives the function that settles them
// (settleWith); linesWait says that some wait; every report, and
// settleWaitingLines, settles them first, so that lines keep their order.
void settleWith(Report& report, std::function<void()> settle);
void linesWait(Report& report);
void settleWaitingLines(Report& report);

// The entries named or matched that the run has met so far, whatever became
// of them (no leftover put back, no directory that could not be read).
unsigned long entriesMet(const Report& report);

// `s` with each control byte as '?': a name cannot split a line of standard
// error, or send the terminal an escape sequence.
std::string safeText(const std::string& s);

