// Where the run stops before its end: after a failure, at a Quit, when the
// journal cannot be written.
#pragma once

#include "console/ending.h"

struct RunContext;

// How the run counts what a stop leaves untouched; nullptr when it ends.
using UntouchedCounter = unsigned long (*)(RunContext& run);

// What the run knows of its failures: set when one was passed over under
// /c (read once at the end), and how a stop counts what it leaves.
struct Failures {
    bool errorOccurred = false;
    UntouchedCounter untouched = nullptr;
};

// After a missing name or a failed rename of the entry `path`: ends the run
// with exit code 1, saying on standard error where it stopped, how many
// entries named or matched it leaves untouched (`untouched`, or as the
// counter the run gave countUntouchedBy counts them) and that /c goes on
// past failures; or under /c notes the failure and lets the run go on.
void failureStep(RunContext& run, const char* path);
void failureStep(RunContext& run, const char* path, unsigned long untouched);

// Sets up the result pager for the run's lines (on under /p): a Quit at its
// prompt ends the run there with 1, on the spot, in the middle of whatever
// line it was writing: nothing more is renamed, recorded or written.
void startResultPager(RunContext& run);

// Settles the renames whose lines wait for their directory's listing
// (settleDeferred), and takes the failure step for the first that failed.
void settleDeferredRenames(RunContext& run);

void countUntouchedBy(RunContext& run, UntouchedCounter counter);

// Where the journals' folder could not even be named (no home to be found),
// says which variables name it and ends the run with 1; else returns.
void noJournalFolderNamed(const RunContext& run);

// The journal could not be written: says so and ends the run with 1 before
// the next rename.
[[noreturn]] void journalFailure(RunContext& run);
