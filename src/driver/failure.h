// What the run does after a failure.
#pragma once

#include "console/ending.h"

// Set when a failure was passed over under /c; read once at the end.
extern int errorOccurred;

// After a missing name or a failed rename: ends the run with exit code 1, or
// under /c notes the failure and lets the run go on.
void failureStep();
