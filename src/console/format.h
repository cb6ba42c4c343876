// Formatting into the platform's output streams.
#pragma once

#include <cstdarg>

// Formats and writes to standard output (or error); gives the number of bytes
// written, 0 when formatting fails.
int writeFormatted(const char* format, std::va_list args);
int writeFormattedErr(const char* format, std::va_list args);
int writeError(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;
// Writes `format` to standard output with `texts` in the places of its "%s",
// in turn; gives the number of bytes written, or -1 without writing anything
// where the format holds another conversion or the line is long.
int writeJoined(const char* format, const char* const* texts);
