// The ways the process ends: at once on what cannot go on, and at the end of
// the run, with a last check that the report was written.
#pragma once

// Writes "\n\a", the stop prefix, the message and "\n" to standard error and
// ends the process with exit code 1.
[[noreturn]] void fatalError(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// Says that memory ran out and ends the process with 1. Every allocation
// that fails comes here, the standard containers' too (main makes it their
// new-handler), so that no run ends in an abort.
[[noreturn]] void outOfMemory();

// Ends the process with `code`. When the report could not be written, says
// so on standard error and ends with 1 instead of 0.
[[noreturn]] void endProcess(int code);
