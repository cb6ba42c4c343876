// The command run: start-up, the two passes over the arguments, the exit code.
#pragma once

#include "convert/path.h"
#include "driver/arguments.h"

// The full path of the running executable, spelled with its stored name;
// nullptr when it cannot be found, or, with `outOfMemory` set, when memory
// ran out on the way: its configuration file is then not known either.
OwnedString locateExecutable(const char* typed, bool* outOfMemory = nullptr);
// The same, or where the typed name does not find it, the module's own path
// (spelled as stored where it can be); nullptr only when neither is known.
OwnedString runningExecutable(const char* typed, bool* outOfMemory);

// Runs the command over the argument vector (entry 0 the program name) and
// gives the exit code (`expansions`: what the wildcards of the vector
// found, as buildArgumentVector gave it): 0 or 2 after the names, 1 after the usage screen (0
// where GNU ways asked for it, or for the version). A stop on a failure or a
// fatal error ends the process with 1 on the spot.
int runCommand(int count, char** arguments, Expansions expansions = {});
