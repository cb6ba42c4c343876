// Formatting into the platform's output streams.
#pragma once

#include <cstdarg>

// Formats and writes to standard output (or error); gives the number of bytes
// written, 0 when formatting fails.
int writeFormatted(const char* format, std::va_list args);
int writeFormattedErr(const char* format, std::va_list args);
