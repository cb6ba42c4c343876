// Taking back the renames of the last run that made any.
#pragma once

struct RunContext;

// Takes back, in the reverse order of the run, each rename of the last
// journal whose run renamed anything, under the current settings (/test
// previews, /c goes on after a failure), and lets that journal go. Gives the
// exit code as a run does; a journal that cannot be read ends the process.
int undoLastRun(RunContext& run);
// The same for the `number`th run kept, the newest first, whatever it renamed.
int undoRun(RunContext& run, unsigned long number);
// Lists the runs kept, the newest first: when and where each ran, how many
// renames it made and how many are not back yet. Gives the exit code.
int listRuns(RunContext& run);
