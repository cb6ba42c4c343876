// Renames made through the detour, where the file system may keep an old
// spelling: each one's stored name is read back with the others of its
// directory from one listing, and not from a listing of its own, which made
// a run on FAT or exFAT read a folder once for each of its names.
#pragma once

#include <string>
#include <vector>

#include "convert/path.h"

struct RunContext;

// A rename whose check waits, with its line: `name` as shown, in a column
// of `columnWidth`.
struct DeferredCheck {
    std::string from, to, name;
    std::size_t nameAt;
    int columnWidth;
    platform::EntryIdentity identity;
};

// Settles what is kept where `entry` is not of its directory: before the
// entry's rename, which may move the directory that holds what is kept.
void settleBeforeRenaming(RunContext& run, const Entry& entry);

// Keeps the rename of `entry` to `to` (moved there, its spelling unchecked)
// with its line: `name` as shown, in a column of `columnWidth`.
void deferCheck(RunContext& run, const Entry& entry, const char* to, const char* name, int columnWidth);

// Settles what deferCheck kept, in order: one listing a directory; each entry
// stored as its new name is reported renamed; another is put back where it is
// still ours and reported failed. Gives the path of the first that failed,
// for the failure step after every line is out, or "" for none.
std::string settleDeferred(RunContext& run);
