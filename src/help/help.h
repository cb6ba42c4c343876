// The usage screen.
#pragma once

#include "convert/path.h"

// Writes the usage screen, paged at its five section breaks, and ends the
// process with `exitCode` (1, or 0 for a POSIX --help). programPath may be
// empty. Where switches begin with '-', the screen shows them so.
[[noreturn]] void showHelp(const char* programPath, int exitCode = 1);

// Writes the command's name, version and build date on one line and ends the
// process with 0 (a POSIX --version).
[[noreturn]] void showVersion(const char* programPath);

// The executable's file name without directory and without its extension.
OwnedString commandNameFromPath(const char* path);

// The build date as YYYY-MM-DD, from a date text in the compiler's form, such
// as "Feb  8 2003"; without one, from the date the build recorded.
const char* buildDateText(const char* compilerDate);
const char* buildDateText();
