// The usage screen.
#pragma once

#include "convert/path.h"

// Writes the usage screen, paged at its five section breaks, and ends the
// process with exit code 1. programPath may be empty.
[[noreturn]] void showHelp(const char* programPath);

// The executable's file name without directory and without its extension.
OwnedString commandNameFromPath(const char* path);

// The build date as YYYY-MM-DD, from a compiler date text such as "Feb  8 2003".
const char* buildDateText(const char* compilerDate = __DATE__);
