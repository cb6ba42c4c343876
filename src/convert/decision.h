// Whether an entry's name is to be lower-cased, and doing it.
#pragma once

#include <cstddef>
#include <string>

enum CaseClass { noCapital = 0, capitalsOnly = 1, longOrMixed = 2 };

// 0: no A-Z; 1: A-Z and no a-z; 2: both. Double-byte characters never count.
int classifyCase(const char* text);
// 0: no double-byte character; 1: only double-byte characters; 2: both kinds.
int classifyDoubleByte(const char* text);
// The text after the last '.' of a final component; empty when there is none.
const char* extensionOf(const char* component);
// The same, its length known. From the end, since no second byte of a
// character is a '.', and the last four bytes without a loop: most
// extensions are three bytes or fewer.
inline const char* extensionOf(const char* component, std::size_t length) {
    const char* end = component + length;
    const char* p = end;
    if (length >= 4) {
        if (p[-1] == '.') return p;
        if (p[-2] == '.') return p - 1;
        if (p[-3] == '.') return p - 2;
        if (p[-4] == '.') return p - 3;
        p -= 4;
    }
    while (p != component)
        if (*--p == '.') return p + 1;
    return end;
}

#include "convert/path.h"
#include "platform/platform.h"

struct Journal;
struct RunContext;

// The decision for resolved path `path` (its final component at `nameAt`)
// under the current modes.
bool shouldLowerCase(const char* path, std::size_t length, std::size_t nameAt, bool longMode, bool kanjiMode);
bool shouldLowerCase(const char* path, bool longMode, bool kanjiMode);
// The same under /u, every letter with a case counted as a letter.
bool shouldLowerLetters(const char* path, std::size_t length, std::size_t nameAt, bool longMode, bool kanjiMode);

// What became of one entry.
enum class EntryOutcome {
    handled,  // renamed, or left alone, and reported
    failed,   // reported as failed: the run takes its failure step
    lookUp,   // an entry from a listing that is to be looked up first: nothing done or reported
    unrecorded,  // the journal could not be written: nothing done or reported
};

// The path the decision gives `entry` under the current settings (its
// directory part, then the new name); false where it leaves it alone.
bool loweredPathOf(const Entry& entry, std::string& path);

// True when the kind filter (/f, /fd) takes an entry of these attributes.
bool kindIncluded(uint32_t attributes);

// Decides, renames (unless in test mode, where it checks what the rename
// would meet) and reports one existing entry. An entry from a listing is
// only renamed for real here; one no longer there as listed, or one to be
// left alone or previewed, gives `lookUp`.
EntryOutcome lowerCaseEntry(RunContext& run, const Entry& entry, const char* displayName, int columnWidth);

// Renames `entry` to `to` (in its directory), or under /test checks what the
// rename would meet, and reports it, `name` as shown: the one way a run and
// an undo make a rename and say what became of it. Never gives `lookUp` for
// an entry that is not from a listing. `mayDefer`: a rename made through the
// detour may have its check and line wait for its directory's (deferCheck);
// an undo, which must know at once, never lets them.
EntryOutcome renameAndReport(RunContext& run, const Entry& entry, const char* to, const char* name, int columnWidth,
                             bool mayDefer = false);

// Records ahead in the journal the rename that lowerCaseEntry would make of
// `entry` under the current settings, where it would make one. The decision,
// the record's number and an identity asked of the system for it are kept in
// `entry`, for the rename, which then makes the rename as recorded.
void recordAheadOf(Journal& journal, Entry& entry);
