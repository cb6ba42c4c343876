// POSIX backend, names as the system measures them, and letters beyond A-Z
// (/u): what a character that the command carries for the system (one code
// page 932 lacks) is as a letter, by the case mapping of the user's locale.
#include <locale.h>
#include <wctype.h>

#include <climits>
#include <cstdint>
#include <cstring>
#include <string>

#include "platform/platform.h"
#include "platform/posix_codeset.h"

namespace platform {

namespace {

// The user's character classes: the command's own C library stays in the C
// locale, which knows no letter beyond ASCII.
locale_t userCharacters() {
    static locale_t user = [] {
        locale_t found = newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(nullptr));
        return found ? found : newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
    }();
    return user;
}

// The one character of UTF-8 `unit`, or -1.
long decodeOne(const std::string& unit) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(unit.data());
    std::size_t n = unit.size();
    if (n == 2 && (p[0] & 0xE0) == 0xC0 && (p[1] & 0xC0) == 0x80) return (p[0] & 0x1F) << 6 | (p[1] & 0x3F);
    if (n == 3 && (p[0] & 0xF0) == 0xE0 && (p[1] & 0xC0) == 0x80 && (p[2] & 0xC0) == 0x80)
        return (p[0] & 0x0F) << 12 | (p[1] & 0x3F) << 6 | (p[2] & 0x3F);
    if (n == 4 && (p[0] & 0xF8) == 0xF0 && (p[1] & 0xC0) == 0x80 && (p[2] & 0xC0) == 0x80 && (p[3] & 0xC0) == 0x80)
        return (p[0] & 0x07) << 18 | (p[1] & 0x3F) << 12 | (p[2] & 0x3F) << 6 | (p[3] & 0x3F);
    return -1;
}

std::string encodeOne(unsigned long c) {
    std::string out;
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | c >> 6);
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | c >> 12);
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | c >> 18);
        out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
    return out;
}

}  // namespace

bool fitsAsName(const char* name) {
    std::string system;
    return codeset::toSystem(name, std::strlen(name), system) && system.size() <= NAME_MAX;
}

LetterCase carriedLetterCase(const char* text, std::size_t left, std::size_t* length, std::string* lowered) {
    *length = 0;
    const std::string* unit = nullptr;
    if (left == 0 || !standins::isStandInLead(static_cast<unsigned char>(text[0])) ||
        !standins::read(text, left, length, &unit))
        return LetterCase::none;
    // Only names read as UTF-8 carry characters; other bytes are no letters.
    long c = codeset::namesConverted() ? decodeOne(*unit) : -1;
    locale_t user = userCharacters();
    if (c < 0 || !user) return LetterCase::none;
    wint_t wide = static_cast<wint_t>(c);
    wint_t lower = towlower_l(wide, user);
    if (lower != wide) {
        // The command's text of the small letter: a character the code page
        // holds, or one it carries in its turn.
        if (!codeset::toCommand(encodeOne(lower).c_str(), *lowered)) return LetterCase::none;
        return LetterCase::capital;
    }
    return towupper_l(wide, user) != wide ? LetterCase::small : LetterCase::none;
}

}  // namespace platform
