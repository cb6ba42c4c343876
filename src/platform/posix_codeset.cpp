#include "platform/posix_codeset.h"

#include <iconv.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "platform/posix_internal.h"
#include "platform/stand_ins.h"
#include "platform/posix_bridge.h"
#include "sjis/sjis.h"

namespace platform::codeset {

namespace detail {

bool namesUtf8 = false;

// True when the command's `text` holds anything that stands for other system
// text: a stand-in, or a backslash's.
bool holdsStandIns(const char* text, std::size_t length) {
    return standins::anyGiven() &&
           (std::memchr(text, standins::backslash, length) || standins::holdsStandIn(text, length));
}

}  // namespace detail

namespace {

// Whether the terminal speaks UTF-8, and whether the names on the disk are
// Shift-JIS all the same; the two converters, opened on the first text that
// needs them (a run of ASCII names, with the command's own words, needs
// none: opening them costs a one-file run a tenth of its instructions).
struct Bridge {
    bool on = false;
    bool shiftJisNames = false;
    bool opened = false;
    iconv_t toCodePageConverter = reinterpret_cast<iconv_t>(-1);
    iconv_t toUtf8Converter = reinterpret_cast<iconv_t>(-1);
} bridge;

void openConverters() {
    if (bridge.opened) return;
    bridge.opened = true;
    bridge.toCodePageConverter = iconv_open("CP932", "UTF-8");
    bridge.toUtf8Converter = iconv_open("UTF-8", "CP932");
}
// Where a converter cannot be opened, its conversions fail: names get
// stand-ins, which keep their bytes, and the display shows '?'.
iconv_t toCodePage() {
    openConverters();
    return bridge.toCodePageConverter;
}
iconv_t toUtf8() {
    openConverters();
    return bridge.toUtf8Converter;
}

// Tells the fast paths how names are written.
void chooseNames() { detail::namesUtf8 = bridge.on && !bridge.shiftJisNames; }

bool isAscii(const char* text, std::size_t length) { return eightBytes::singleByte(text, length); }

// One whole conversion; false on any byte that does not convert or converts
// only approximately.
bool convert(iconv_t cd, const char* text, std::size_t length, std::string& out) {
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    out.resize(3 * length + 4);  // code page 932 to UTF-8 grows at most 3 to 1
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    char* in = const_cast<char*>(text);
    std::size_t inLeft = length;
    char* to = out.data();
    std::size_t toLeft = out.size();
    std::size_t inexact = iconv(cd, &in, &inLeft, &to, &toLeft);
    if (inexact != 0 || inLeft != 0) return false;
    out.resize(out.size() - toLeft);
    return true;
}

// Converts with `forward` and requires `backward` to give the same bytes.
bool convertFaithfully(iconv_t forward, iconv_t backward, const char* text, std::size_t length,
                       std::string& out) {
    std::string back;
    return convert(forward, text, length, out) && convert(backward, out.data(), out.size(), back) &&
           back.size() == length && std::memcmp(back.data(), text, length) == 0;
}

// Length of the well-formed UTF-8 sequence at `p`, 0 when it is not one.
std::size_t sequenceLength(const unsigned char* p, std::size_t left) {
    unsigned char b = p[0];
    std::size_t n;
    unsigned char low = 0x80, high = 0xBF;  // bounds of the second byte
    if (b < 0x80) return 1;
    if (b >= 0xC2 && b <= 0xDF) n = 2;
    else if (b >= 0xE0 && b <= 0xEF) {
        n = 3;
        if (b == 0xE0) low = 0xA0;        // overlong
        if (b == 0xED) high = 0x9F;       // surrogates
    } else if (b >= 0xF0 && b <= 0xF4) {
        n = 4;
        if (b == 0xF0) low = 0x90;        // overlong
        if (b == 0xF4) high = 0x8F;       // beyond U+10FFFF
    } else {
        return 0;
    }
    if (left < n || p[1] < low || p[1] > high) return 0;
    for (std::size_t i = 2; i < n; ++i)
        if (p[i] < 0x80 || p[i] > 0xBF) return 0;
    return n;
}

// True when all of `p` is well-formed UTF-8.
bool isUtf8(const unsigned char* p, std::size_t length) {
    for (std::size_t i = 0; i < length;) {
        std::size_t n = sequenceLength(p + i, length - i);
        if (n == 0) return false;
        i += n;
    }
    return true;
}

// The length of the character at `p` as Shift-JIS reads it: a lead byte with
// a second byte after it takes two.
std::size_t sjisUnitLength(const unsigned char* p, std::size_t left) {
    return left >= 2 && isSjisLead(p[0]) && isSjisTrail(p[1]) ? 2 : 1;
}

// True for the character at `p` (`left` bytes from it, Shift-JIS read) that
// the command would misread: a '\\' that is no second byte, one in the
// stand-ins' range, and a lead byte without its second byte before more of
// the name, which would take the next character for its own (a stand-in, say).
bool misread(const unsigned char* p, std::size_t left) {
    if (p[0] == '\\' || p[0] == static_cast<unsigned char>(standins::backslash) || standins::isStandInLead(p[0]))
        return true;
    return left >= 2 && isSjisLead(p[0]) && !isSjisTrail(p[1]);
}

// True when any character of `p` is misread: the walk by characters with
// misread at each, told in one loop, single-byte ones first (every name
// with a byte from 0x80 on is asked).
bool holdsMisread(const unsigned char* p, std::size_t length) {
    for (std::size_t i = 0; i < length;) {
        unsigned char c = p[i];
        if (c < 0x80) {
            if (c == '\\') return true;
            ++i;
        } else if (!isSjisLead(c)) {
            if (c == static_cast<unsigned char>(standins::backslash)) return true;
            ++i;
        } else if (i + 1 < length && isSjisTrail(p[i + 1])) {
            if (standins::isStandInLead(c)) return true;
            i += 2;
        } else {
            // A lone lead byte before more of the name, or one of the stand-ins'.
            if (i + 1 < length || standins::isStandInLead(c)) return true;
            ++i;
        }
    }
    return false;
}

// Appends the stand-in of one unit, or the mark; false for the mark.
bool standIn(const char* unit, std::size_t length, std::string& out) {
    if (length == 1 && unit[0] == '\\') {
        standins::appendBackslash(out);
        return true;
    }
    if (standins::append(unit, length, out)) return true;
    out += unconvertible;
    return false;
}

using detail::holdsStandIns;

}  // namespace

const char* bridging::withBackslashes(const char* text, std::size_t length, std::string& scratch) {
    if (!std::memchr(text, standins::backslash, length)) return text;
    scratch.assign(text, length);
    std::replace(scratch.begin(), scratch.end(), standins::backslash, '\\');
    return scratch.data();
}

namespace {

// Bytes that are the command's own text already (Shift-JIS, or bytes of no
// known encoding): each character passes, but what the command would misread.
bool bytesToCommand(const char* system, std::size_t length, std::string& out) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(system);
    if (!mayNeedStandIn(system, length) || !holdsMisread(p, length)) {  // nearly every name
        out.assign(system, length);
        return true;
    }
    out.clear();
    bool whole = true;
    for (std::size_t i = 0; i < length;) {
        std::size_t n = sjisUnitLength(p + i, length - i);
        if (misread(p + i, length - i)) whole = standIn(system + i, n, out) && whole;
        else out.append(system + i, n);
        i += n;
    }
    return whole;
}

// A name that is not UTF-8: every character from 0x80 on, read as Shift-JIS,
// and every '\\' takes a stand-in, so that the name comes back unchanged and
// only its own single-byte letters are letters.
bool foreignToCommand(const char* system, std::size_t length, std::string& out) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(system);
    out.clear();
    bool whole = true;
    for (std::size_t i = 0; i < length;) {
        std::size_t n = sjisUnitLength(p + i, length - i);
        if (p[i] >= 0x80 || p[i] == '\\') whole = standIn(system + i, n, out) && whole;
        else out += system[i];
        i += n;
    }
    return whole;
}

// UTF-8 text to the command's: each character that does not convert both
// ways, or converts into the user-defined area, and each '\\' gets its
// stand-in.
bool utf8ToCommand(const char* system, std::size_t length, std::string& out) {
    if (!mayNeedStandIn(system, length)) {
        out.assign(system, length);
        return true;
    }
    const unsigned char* p = reinterpret_cast<const unsigned char*>(system);
    if (!isUtf8(p, length)) return foreignToCommand(system, length, out);
    if (convertFaithfully(toCodePage(), toUtf8(), system, length, out) &&
        !standins::holdsStandIn(out.data(), out.size()) && !sjisFindFirst(out.c_str(), '\\'))
        return true;
    out.clear();
    bool whole = true;
    std::string one;
    for (std::size_t i = 0; i < length;) {
        std::size_t n = sequenceLength(p + i, length - i);
        if (n == 1 && system[i] != '\\') {
            out += system[i];
        } else if (n > 1 && convertFaithfully(toCodePage(), toUtf8(), system + i, n, one) &&
                   !standins::holdsStandIn(one.data(), one.size())) {
            out += one;
        } else {
            whole = standIn(system + i, n, out) && whole;
        }
        i += n;
    }
    return whole;
}

}  // namespace

bool bridging::commandToBytes(const char* text, std::size_t length, std::string& out) {
    if (!holdsStandIns(text, length)) {
        out.assign(text, length);
        return true;
    }
    std::string scratch;
    text = withBackslashes(text, length, scratch);
    out.clear();
    return standins::walk(
        text, length,
        [&](const char* segment, std::size_t n) {
            out.append(segment, n);
            return true;
        },
        [&](const std::string& unit) { out += unit; });
}

bool needsStandIn(const char* name, std::size_t length) {
    return mayNeedStandIn(name, length) && holdsMisread(reinterpret_cast<const unsigned char*>(name), length);
}

void setActive(bool on) {
    standins::forget();
    bridge.on = on;
    chooseNames();
    if (on) bridging::seedOwnCharacters();
}

void setUpFromLocale() {
    bool known = false;
    bool isUtf8 = namedUtf8(localeFor("LC_CTYPE"), known);
    setActive(known ? isUtf8 : libraryUtf8());
}

void useShiftJisNames(bool on) {
    bridge.shiftJisNames = on;
    chooseNames();
}
bool shiftJisNames() { return bridge.shiftJisNames; }

bool active() { return bridge.on; }
bool namesConverted() { return detail::namesUtf8; }

bool toCommand(const char* system, std::string& out) {
    std::size_t length = std::strlen(system);
    return namesConverted() ? utf8ToCommand(system, length, out) : bytesToCommand(system, length, out);
}

bool fromTerminal(const char* typed, std::string& out) {
    std::size_t length = std::strlen(typed);
    if (!bridge.on) return bytesToCommand(typed, length, out);
    // Shift-JIS names typed in UTF-8 are converted; bytes that are not UTF-8
    // (what the shell's own wildcards found on the disk) are such names.
    if (bridge.shiftJisNames && !isUtf8(reinterpret_cast<const unsigned char*>(typed), length))
        return bytesToCommand(typed, length, out);
    return utf8ToCommand(typed, length, out);
}

bool toSystem(const char* text, std::size_t length, std::string& out) {
    if (!namesConverted()) return bridging::commandToBytes(text, length, out);
    if (isAscii(text, length)) {
        out.assign(text, length);
        return true;
    }
    if (std::memchr(text, unconvertible, length)) return false;
    std::string scratch;
    text = bridging::withBackslashes(text, length, scratch);
    if (!standins::holdsStandIn(text, length))
        return convertFaithfully(toUtf8(), toCodePage(), text, length, out);
    out.clear();
    std::string part;
    return standins::walk(
        text, length,
        [&](const char* segment, std::size_t n) {
            if (!convertFaithfully(toUtf8(), toCodePage(), segment, n, part)) return false;
            out += part;
            return true;
        },
        [&](const std::string& unit) { out += unit; });
}

namespace bridging {
bool on() { return bridge.on; }
bool convertToUtf8(const char* text, std::size_t length, std::string& out) {
    return convert(toUtf8(), text, length, out);
}
}  // namespace bridging

}  // namespace platform::codeset
