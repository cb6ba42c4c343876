// POSIX only: what the bridge between the command's Shift-JIS and a UTF-8
// terminal shares between its two files, the conversions of names and text
// (posix_codeset.cpp) and the display (posix_display.cpp).
#pragma once

#include <cstddef>
#include <string>

namespace platform::codeset::bridging {

// True when the terminal speaks UTF-8.
bool on();
// One whole conversion of the command's text to UTF-8; false on any byte
// that does not convert or converts only approximately.
bool convertToUtf8(const char* text, std::size_t length, std::string& out);
// The command's text to bytes: stand-ins back, everything else as it is.
bool commandToBytes(const char* text, std::size_t length, std::string& out);
// `text` with each backslash's stand-in turned back into '\\': into
// `scratch` where it holds any, else `text` itself.
const char* withBackslashes(const char* text, std::size_t length, std::string& scratch);
// The command's own words are shown from a table made with them.
void seedOwnCharacters();

}  // namespace platform::codeset::bridging
