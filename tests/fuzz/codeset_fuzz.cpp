// libFuzzer target: a Linux name through the POSIX bridge, in every way names
// and terminals are written. Whatever the bytes, the name comes back from the
// command's text unchanged, holds no separator the command could misread, and
// lowering the command's single-byte letters changes no byte of the name but
// the case of a letter that no double-byte character holds.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/posix_codeset.h"
#include "sjis/sjis.h"

namespace {

#define check(ok) ((ok) ? void() : (std::fprintf(stderr, "failed at line %d\n", __LINE__), std::abort()))

namespace codeset = platform::codeset;

// True where byte i of `s` is the second byte of a Shift-JIS pair.
bool isSecondByte(const std::string& s, std::size_t i) {
    bool second = false;
    for (std::size_t j = 0; j <= i; ++j) {
        bool lead = !second && j + 1 < s.size() && isSjisLead(static_cast<unsigned char>(s[j])) &&
                    isSjisTrail(static_cast<unsigned char>(s[j + 1]));
        if (j == i) return second;
        second = lead;
    }
    return false;
}

// True when `s` is well-formed UTF-8, told the plain way.
bool isUtf8(const std::string& s) {
    for (std::size_t i = 0; i < s.size();) {
        unsigned c = static_cast<unsigned char>(s[i]);
        std::size_t n = c < 0x80 ? 1 : c >= 0xC2 && c <= 0xDF ? 2 : c >= 0xE0 && c <= 0xEF ? 3 : c >= 0xF0 && c <= 0xF4 ? 4 : 0;
        if (n == 0 || i + n > s.size()) return false;
        unsigned value = n == 1 ? c : c & (0x7F >> n);
        for (std::size_t k = 1; k < n; ++k) {
            unsigned b = static_cast<unsigned char>(s[i + k]);
            if ((b & 0xC0) != 0x80) return false;
            value = value << 6 | (b & 0x3F);
        }
        unsigned least[] = {0, 0, 0x80, 0x800, 0x10000};
        if (value < least[n] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return false;
        i += n;
    }
    return true;
}

void oneWay(const std::string& name, bool utf8, bool shiftJisNames) {
    codeset::setActive(utf8);
    codeset::useShiftJisNames(shiftJisNames);
    std::string command, back, typed;
    if (!codeset::toCommand(name.c_str(), command)) return;
    check(codeset::toSystem(command.data(), command.size(), back));
    check(back == name);
    check(!sjisFindFirst(command.c_str(), '\\'));
    // Typed, the same bytes name the same entry; but UTF-8 typed for
    // Shift-JIS names, which is converted.
    check(codeset::fromTerminal(name.c_str(), typed));
    check(codeset::toSystem(typed.data(), typed.size(), back));
    if (!(utf8 && shiftJisNames && isUtf8(name))) check(back == name);
    lowerSingleByteLetters(&command[0]);
    check(codeset::toSystem(command.data(), command.size(), back));
    check(back.size() == name.size());
    for (std::size_t i = 0; i < name.size(); ++i) {
        if (back[i] == name[i]) continue;
        check(name[i] >= 'A' && name[i] <= 'Z' && back[i] == name[i] + 32);
        // Read as Shift-JIS, never a letter inside a double-byte character.
        if (!utf8 || shiftJisNames || !isUtf8(name)) check(!isSecondByte(name, i));
    }
    std::string shown;
    codeset::toDisplay(command.data(), command.size(), shown);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string name(reinterpret_cast<const char*>(data), size);
    if (name.find('\0') != std::string::npos || name.find('/') != std::string::npos) return 0;
    for (bool utf8 : {false, true})
        for (bool shiftJisNames : {false, true}) oneWay(name, utf8, shiftJisNames);
    return 0;
}
