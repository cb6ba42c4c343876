// Renaming an entry so that success means the name on disk changed.
#pragma once

#include <cstddef>
#include <string>

#include "console/report.h"
#include "convert/path.h"
#include "convert/path_states.h"
#include "platform/platform.h"

struct RunContext;

// What the renames of one run learn: where the preview has moved entries, and
// the directory part of the last path where a case-only move changed nothing
// or was refused (the file system there needs the detour, so later entries of
// that directory take it at once instead of paying for the failed move).
struct Renames {
    PathStates previewed;
    std::string detourDirectory;
    bool detourKnown = false;
};

enum class RenameOutcome {
    done,      // the stored name is now the new one
    failed,    // the entry keeps its old name
    stranded,  // even putting the entry back failed: it is under its temporary name
    stale,     // an entry from a listing is no longer under its name: nothing was done
    unrecorded,  // the journal could not be written: nothing was done
    unverified,  // moved through the detour and found there as itself; its stored spelling is yet to be read back (deferCheck)
};

// Renames `from` to `to` (same directory, letter case changed). Never
// replaces another entry, and never moves any entry but the one `from`
// designates. Where the file system refuses a case-only rename, or reports
// success and changes nothing, renames through a temporary name in the same
// directory: the old name followed by `leftoverSuffix`.
// An entry from a listing that is no longer there as listed gives `stale`.
// Where it fails, `why` gets the reason. `mayDefer`: the stored spelling
// after the detour may be left to be read back with the directory's others.
RenameOutcome renameEntry(RunContext& run, const Entry& from, const char* to, Reason* why = nullptr,
                          bool mayDefer = false);
// The same for a path not yet looked up.
RenameOutcome renameEntry(RunContext& run, const char* from, const char* to, Reason* why = nullptr);
// True when `path` designates the entry of `identity`.
bool isEntry(const char* path, const platform::EntryIdentity& identity);

// What the real run would meet renaming `entry` to `to`, asked under /test:
// refused, with the reason in `why`, when another entry holds the new
// spelling, or the system would refuse the rename for what can be told
// without trying; stale for an entry of a listing that is no longer under its
// name as itself, or is at a path the preview has left (an entry met again is
// found where the run would have left it), which is looked up instead.
enum class Preview { possible, refused, stale };
Preview previewRename(RunContext& run, const Entry& entry, const char* to, Reason* why = nullptr);

// Where the preview has found `entry` to be renamed, the entry as the real run
// would meet it again (named twice, or matched by two patterns): under its new
// name, into `moved`, its path kept in `storage`. False otherwise.
bool previewedEntry(const Renames& renames, const Entry& entry, Entry& moved, std::string& storage);

// Ends the temporary name of an entry: a run that is killed between the two
// steps leaves the entry under its old name followed by this.
inline constexpr char leftoverSuffix[] = ".tavisk~";
inline constexpr std::size_t leftoverSuffixLength = sizeof leftoverSuffix - 1;

// The temporary path of the entry `from` (its final component at `nameAt`):
// its name followed by leftoverSuffix; where that would pass the system's
// limit on a name, the name cut short at a character's end, then '~', sixteen
// hex digits of a checksum of the whole name (see leftoverChecksum) and the
// suffix, which only the journal's record can give back: false without one
// (renamesAreRecorded, or `recorded`).
bool temporaryPath(const RunContext& run, const char* from, std::size_t nameAt, std::string& out,
                   bool recorded = false);
// The checksum a cut-short temporary name `name` carries; false for another
// name. It is windowChecksum of the whole name in the system's text.
bool leftoverChecksum(const char* name, std::size_t length, uint64_t* sum);

// True when `name` (a final component) is such a temporary name.
bool isLeftoverName(const char* name);
bool isLeftoverNameWhole(const char* name, std::size_t length);  // the same, asked in full
inline bool isLeftoverName(const char* name, std::size_t length) {  // its length known
    // The suffix ends in a byte that no other name of a listing is likely to.
    return length > leftoverSuffixLength && name[length - 1] == leftoverSuffix[leftoverSuffixLength - 1] &&
           isLeftoverNameWhole(name, length);
}
