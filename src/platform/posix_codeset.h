// POSIX only: the bridge between a UTF-8 system and the command's code page
// 932. Names, arguments and paths cross it at the platform boundary, so that
// the command's Shift-JIS rules see Shift-JIS; in any other locale every text
// passes through unchanged.
#pragma once

#include <cstddef>
#include <string>

namespace platform::codeset {

// Stands in the command's text for a character that has no stand-in (the run
// has met too many distinct ones). No code page 932 text holds this byte, so
// a path that carries it never reaches the system and cannot name an entry.
constexpr char unconvertible = '\xFF';

// Chooses the conversion from the locale (after setlocale): on for a UTF-8
// codeset, off otherwise. Tests set it directly.
void setUpFromLocale();
void setActive(bool utf8);
bool active();

// System text to the command's: each character that does not convert both
// ways, converts into the user-defined area, or is not UTF-8 gets its
// stand-in (platform/stand_ins.h). Gives false when one could not.
bool toCommand(const char* system, std::string& out);

// The command's text to the system's, stand-ins back to what they stand for,
// all or nothing: false when any part does not convert, or would not convert
// back to the same bytes.
bool toSystem(const char* text, std::size_t length, std::string& out);

// The command's text for the terminal: stand-ins as the system's bytes they
// stand for, and what does not convert as '?'.
void toDisplay(const char* text, std::size_t length, std::string& out);

}  // namespace platform::codeset
