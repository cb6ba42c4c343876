// The usage screen.
#pragma once

#include "console/pager.h"
#include "platform/owned_string.h"

// Writes the usage screen, paged at its five section breaks. programPath
// may be empty. Where switches begin with '-', the screen shows them so. A
// Quit at a break, or memory running out, stops it where it was: the caller
// ends the run, with the pager's quit code or saying that memory ran out.
enum class HelpOutcome : unsigned char { shown, quit, outOfMemory };
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
