// How a name travels through a run, the same for a flat run and for /s:
//
//   listing ─► window ─► journal ─► decision ─► rename ─► report
//
// The argument vector's expansion (or, under /s, a walk's listing) gives
// each entry as its directory listed it. A window of up to journalWindow of
// them is taken at once: the decision is made for each (recordAheadOf keeps
// it in the entry) and its rename recorded, and the window's records reach
// the journal in one write (writeBatch) before any of them is renamed. Then
// each entry in turn (handleFound) is decided as it was recorded, renamed
// (lowerCaseEntry, renameEntry) and reported; an entry that the listing no
// longer holds as it was is looked up afresh (handleEntry) and taken the
// same way. A failure then takes the run's failure step: it stops the run,
// or under /c is noted and passed.
#pragma once

#include <cstddef>
#include <cstdint>

#include "convert/path.h"

struct RunContext;

// The entries taken between two writes of the journal.
constexpr int journalWindow = 1024;

// Adds one entry to the window being built: decided, and its rename recorded.
void addToBatch(RunContext& run, Entry& entry);
// Writes the window's records in one write; where the journal cannot be
// written, the run ends before any of them is renamed.
void writeBatch(RunContext& run);

// What became of an entry that the run took.
enum class Handled : unsigned char {
    done,    // decided, renamed or left, and reported (a failure too)
    lookUp,  // a listing's entry no longer as listed: nothing reported, to be looked up
};
// Whether a name was found to be taken at all.
enum class Sought : unsigned char { found, missing };

// One entry as found: decided, renamed and reported.
Handled handleFound(RunContext& run, const Entry& entry, int columnWidth);

// One name looked up and taken. A name that is not found is reported and
// takes the failure step, unless `quietIfMissing` (a plain name that /s looks
// for in a subdirectory). `nameAt` is the length of its directory part where
// known; `walkedFrom` where the walk of /s began in it.
Sought handleEntry(RunContext& run, const char* argument, int columnWidth, bool quietIfMissing,
                   std::size_t nameAt = unknownLength, uint32_t walkedFrom = notWalked);

// An entry as a listing found it, taken without looking it up again; looked
// up as typed where the listing no longer holds.
Sought handleListed(RunContext& run, const Entry& entry, int columnWidth, bool quietIfMissing);

void reportNotFound(RunContext& run, const char* name, int columnWidth);
