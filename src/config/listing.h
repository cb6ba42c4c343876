// The configuration file's switch lines on one line, for the usage screen.
#pragma once

#include "config/loader.h"

// Writes the switch lines of the file at `path`, expanded, separated by
// blanks, quoted where they hold white space, and ends the line. A missing
// file writes its own line instead (absent); a broken one ends the run.
ConfigOutcome listConfigSwitches(const char* path, char switchChar);
