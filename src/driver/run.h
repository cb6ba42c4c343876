// The command run: start-up, the two passes over the arguments, the exit code.
#pragma once

#include "convert/path.h"

// The full path of the running executable, spelled with its stored name;
// nullptr when it cannot be found.
OwnedString locateExecutable(const char* typed);

// Runs the command over the argument vector (entry 0 the program name) and
// gives the exit code 0 or 2; the other ways out end the process with 1.
int runCommand(int count, char** arguments);
