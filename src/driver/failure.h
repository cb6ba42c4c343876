// The ways a run ends early.
#pragma once

// Set when a failure was passed over under /c; read once at the end.
extern int errorOccurred;

// Writes "\n\a", the stop prefix, the message and "\n" to standard error and
// ends the process with exit code 1.
[[noreturn]] void fatalError(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// Ends the process with `code`. When the report could not be written, says
// so on standard error and ends with 1 instead of 0.
[[noreturn]] void endProcess(int code);

// After a missing name or a failed rename: ends the run with exit code 1, or
// under /c notes the failure and lets the run go on.
void failureStep();
