// POSIX only: the bridge between the system's text and the command's code
// page 932. Names, arguments and paths cross it at the platform boundary, so
// that the command's Shift-JIS rules see Shift-JIS.
//
// Two things are told apart: what the terminal speaks (UTF-8 under a UTF-8
// locale, else bytes), and how the names on the disk are written (the
// terminal's way, or Shift-JIS whatever the locale, --names=sjis). Under both,
// a byte of a name that the command's rules would misread travels as a
// stand-in (platform/stand_ins.h) and comes back to the disk unchanged: a '\\'
// that is no second byte (only '/' separates on Linux), a byte of the
// stand-ins' own range, and, in UTF-8, every character the code page lacks.
// A name that is not UTF-8 at all is read as the Shift-JIS bytes it most
// likely is: each double-byte pair, and each other byte from 0x80 on, takes
// one stand-in, so that no second byte is ever taken for a letter.
#pragma once

#include <cstddef>
#include <string>

#include "platform/stand_ins.h"
#include "sjis/sjis.h"

namespace platform::codeset {

// Stands in the command's text for a character that has no stand-in (the run
// has met too many distinct ones). No code page 932 text holds this byte, so
// a path that carries it never reaches the system and cannot name an entry.
constexpr char unconvertible = '\xFF';

// Chooses the conversion from the locale: UTF-8 for a UTF-8 codeset, bytes
// otherwise. Tests set it directly.
void setUpFromLocale();
// Whether the locale of characters is UTF-8, told from its name alone where
// the name tells (C and POSIX are not; a name whose codeset is UTF-8 is):
// the C library's search for the locale costs a one-file run more than the
// rest of it. `known` is false where only the C library can tell.
bool namedUtf8(const char* locale, bool& known);
// The same asked of the C library, for any name.
bool libraryUtf8();
void setActive(bool utf8);
// The names on the disk are Shift-JIS, whatever the terminal speaks.
void useShiftJisNames(bool on);
bool shiftJisNames();

// True when the terminal speaks UTF-8, so that typed text and output cross.
bool active();
// True when names on the disk are UTF-8 and cross the bridge.
bool namesConverted();

// The system's name or path to the command's text. Gives false when a
// character got the mark instead of a stand-in.
bool toCommand(const char* system, std::string& out);

// False when the system's name `name` (`length` bytes) is surely the
// command's text as it is where no bridge converts names: plain ASCII without
// a '\\'. Asked of every listed name, eight bytes at a time.
inline bool mayNeedStandIn(const char* name, std::size_t length) {
    using namespace eightBytes;
    return anyWord(name, length, [](uint64_t w) { return (w & highs) || inRange(w, '\\', '\\'); });
}

// True when the system's name `name`, as bytes that are the command's text,
// holds a byte that only a stand-in carries (the precise look that
// mayNeedStandIn only begins).
bool needsStandIn(const char* name, std::size_t length);

// Text the user typed (an argument, an environment value, a key) to the
// command's: as toCommand, but for Shift-JIS names under a UTF-8 terminal,
// where typed UTF-8 is converted and typed bytes that are not UTF-8 are the
// Shift-JIS they are.
bool fromTerminal(const char* typed, std::string& out);

// The command's text to the system's, stand-ins back to what they stand for,
// all or nothing: false when any part does not convert, or would not convert
// back to the same bytes.
bool toSystem(const char* text, std::size_t length, std::string& out);

namespace detail {
extern bool namesUtf8;  // see namesConverted
bool holdsStandIns(const char* text, std::size_t length);
}  // namespace detail

// True when every text of the command is its own system text (no bridge, and
// no stand-in given out so far): then nothing needs asking.
inline bool everyTextIsSystemText() { return !detail::namesUtf8 && !standins::anyGiven(); }

// True when the command's `text` is its own system text: no stand-in in it,
// and, where names cross the bridge, only ASCII, which crosses it unchanged.
// The fast paths ask this of every path.
inline bool isSystemText(const char* text, std::size_t length) {
    if (everyTextIsSystemText()) return true;
    return detail::namesUtf8 ? eightBytes::singleByte(text, length) : !detail::holdsStandIns(text, length);
}

// The command's text for the terminal: stand-ins as the system's bytes they
// stand for, and what does not convert as '?'.
void toDisplay(const char* text, std::size_t length, std::string& out);
// Its fast path, for text that holds no stand-in (nor a character that
// begins like one): each character converted once and remembered, written
// at `to`, which has room for three bytes for each of the text's. The bytes
// written, the same as one whole conversion's, or `notShown` where a
// character does not convert or may be a stand-in: toDisplay then does it.
constexpr std::size_t notShown = static_cast<std::size_t>(-1);
std::size_t displayByCharacter(const char* text, std::size_t length, char* to);
// True when toDisplay would give every text unchanged.
bool displayIsText();

}  // namespace platform::codeset
