// The configuration file beside the executable: <path less extension>.cfg.
#pragma once

#include "convert/path.h"

// The configuration file's path for an executable path; nullptr when memory
// runs out.
OwnedString configPathFor(const char* exePath);

// Applies the switch lines of the configuration file through applySwitches and
// acts on its "switch" key. An absent file is no error; a broken one ends the
// run through fatalError.
void loadConfig(const char* exePath, char* switchChar);

// Reports a broken configuration file (binaryData or mixedLineEnds in line
// `lineNumber`) and ends the run.
[[noreturn]] void reportBrokenConfig(int result, const char* path, unsigned long lineNumber);
