// The walk of /s: a name argument applied in its own directory and in every
// directory below it, children before the directory that holds them.
#pragma once

#include <functional>

#include "convert/path.h"

// Calls `handle` for every entry that `argument` designates in its directory
// and below: its last component is matched in each directory (a plain name is
// looked for in each). Within a directory entries come in the sorted order of
// the wildcard expansion, after the walk of every subdirectory. Links,
// junctions and other reparse points are not followed, and no directory is
// walked twice. A directory that cannot be read is reported and takes the
// failure step. `handle` is given each path, found or not, and for an entry
// that a wildcard found, what the listing said of it (and the journal's
// planning decided), else nullptr, and the length of the argument's
// directory part: what follows it up to the final component is the walk's,
// and the decision leaves it out.
using WalkHandler = std::function<void(const char* path, const Entry* listed, uint32_t walkedFrom)>;
struct RunContext;
void walkTree(RunContext& run, const char* argument, int columnWidth, const WalkHandler& handle);

// What walkTree would give `handle` for `argument`, looked for without
// touching anything (no leftover is put back, nothing is reported or
// counted): the widest path, for the column of /v+k, and the number of
// entries, for what a stop leaves untouched. The look stops once the widest
// reaches `enough`.
struct WalkMeasure {
    std::size_t widest = 0;
    unsigned long entries = 0;
};
WalkMeasure measureWalk(const char* argument, std::size_t enough = static_cast<std::size_t>(-1));
