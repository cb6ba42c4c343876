// What each argument of the run is, and the pass over the switches that
// applies them before any name is handled.
#pragma once

#include <vector>

struct RunContext;

// What each argument of the run is, told once: a long expansion's names
// would otherwise be asked about at every pass over the arguments.
enum class ArgumentKind : unsigned char { name, switchText, endOfSwitches };
using ArgumentKinds = std::vector<ArgumentKind>;

// Tells what each argument is, after the configuration file (which may
// change the switch character) was read. What an expansion found on disk is
// a name whatever its first byte. POSIX: the first "--" ends the switches,
// and a '/' ending a name (as tab completion gives a directory) is dropped.
void tellArguments(RunContext& run, int count, char** arguments);

// True when argument `i`, as tellArguments told it, is a name.
inline bool isNameAt(const ArgumentKinds& kinds, int i) {
    return kinds[static_cast<std::size_t>(i)] == ArgumentKind::name;
}

// Shows the usage screen and gives `exitCode`, or after a Quit at one of its
// breaks the help pager's quit code; where memory runs out, says so.
int helpEnds(RunContext& run, const char* programPath, int exitCode);

// What the pass over the switches found: the names counted, an undo asked
// for, and the exit code where the pass ended the run (the usage screen).
struct SwitchPass {
    int names = 0;
    const char* undo = nullptr;
    unsigned long undoNumber = 0;  // which run, from the newest; 0: the last that renamed anything
    bool list = false;             // the runs kept are listed
    int exitCode = -1;
};

// Applies the command line's switches left to right, over the file's.
SwitchPass readSwitches(RunContext& run, int count, char** arguments);
