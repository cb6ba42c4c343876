// The usage screen.
#pragma once

#include "console/pager.h"
#include "platform/owned_string.h"

// Writes the usage screen, paged at its five section breaks; quitting at a
// break ends the process with 1. programPath may be empty. Where switches
// begin with '-', the screen shows them so. Out of memory, it stops where it
// was, and the caller says so.
enum class HelpOutcome : unsigned char { shown, outOfMemory };
HelpOutcome showHelp(HelpPager& pager, const char* programPath);

// Writes the command's name, version and build date on one line (a POSIX
// --version).
void showVersion(const char* programPath);

// The executable's file name without directory and without its extension.
OwnedString commandNameFromPath(const char* path);

// The build date as YYYY-MM-DD, from a date text in the compiler's form, such
// as "Feb  8 2003"; without one, from the date the build recorded.
const char* buildDateText(const char* compilerDate);
const char* buildDateText();
