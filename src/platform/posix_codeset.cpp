#include "platform/posix_codeset.h"

#include <iconv.h>
#include <langinfo.h>

#include <clocale>
#include <cstring>

#include "platform/stand_ins.h"
#include "sjis/sjis.h"

namespace platform::codeset {

namespace {

// The two converters, opened on the first need, and whether texts cross.
struct Bridge {
    bool on = false;
    iconv_t toCodePage = reinterpret_cast<iconv_t>(-1);
    iconv_t toUtf8 = reinterpret_cast<iconv_t>(-1);
} bridge;

bool isAscii(const char* text, std::size_t length) {
    for (std::size_t i = 0; i < length; ++i)
        if (static_cast<unsigned char>(text[i]) >= 0x80) return false;
    return true;
}

// One whole conversion; false on any byte that does not convert or converts
// only approximately.
bool convert(iconv_t cd, const char* text, std::size_t length, std::string& out) {
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

}  // namespace

void setActive(bool on) {
    if (on && bridge.toCodePage == reinterpret_cast<iconv_t>(-1)) {
        bridge.toCodePage = iconv_open("CP932", "UTF-8");
        bridge.toUtf8 = iconv_open("UTF-8", "CP932");
    }
    standins::forget();
    // Without the converters nothing can be bridged; bytes pass as they are.
    bridge.on = on && bridge.toCodePage != reinterpret_cast<iconv_t>(-1) &&
                bridge.toUtf8 != reinterpret_cast<iconv_t>(-1);
}

void setUpFromLocale() {
    std::setlocale(LC_ALL, "");
    const char* name = nl_langinfo(CODESET);
    bool isUtf8 = name && (std::strcmp(name, "UTF-8") == 0 || std::strcmp(name, "utf8") == 0);
    // The command itself handles bytes; the C library stays byte-oriented.
    std::setlocale(LC_ALL, "C");
    setActive(isUtf8);
}

bool active() { return bridge.on; }

bool toCommand(const char* system, std::string& out) {
    std::size_t length = std::strlen(system);
    if (!bridge.on || isAscii(system, length)) {
        out.assign(system, length);
        return true;
    }
    if (convertFaithfully(bridge.toCodePage, bridge.toUtf8, system, length, out) &&
        !standins::holdsStandIn(out.data(), out.size()))
        return true;
    // Character by character: what the code page lacks, holds only in its
    // user-defined area, or is no UTF-8 gets a stand-in.
    out.clear();
    bool whole = true;
    std::string one;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(system);
    for (std::size_t i = 0; i < length;) {
        std::size_t n = sequenceLength(p + i, length - i);
        if (n == 1) {
            out += system[i];
        } else if (n && convertFaithfully(bridge.toCodePage, bridge.toUtf8, system + i, n, one) &&
                   !standins::holdsStandIn(one.data(), one.size())) {
            out += one;
        } else if (!standins::append(system + i, n ? n : 1, out)) {
            out += unconvertible;
            whole = false;
        }
        i += n ? n : 1;
    }
    return whole;
}

bool toSystem(const char* text, std::size_t length, std::string& out) {
    if (!bridge.on || isAscii(text, length)) {
        out.assign(text, length);
        return true;
    }
    if (std::memchr(text, unconvertible, length)) return false;
    if (!standins::holdsStandIn(text, length))
        return convertFaithfully(bridge.toUtf8, bridge.toCodePage, text, length, out);
    out.clear();
    std::string part;
    return standins::walk(
        text, length,
        [&](const char* segment, std::size_t n) {
            if (!convertFaithfully(bridge.toUtf8, bridge.toCodePage, segment, n, part)) return false;
            out += part;
            return true;
        },
        [&](const std::string& unit) { out += unit; });
}

namespace {

// Ordinary characters for the terminal: what does not convert is shown as '?'.
void displaySegment(const char* text, std::size_t length, std::string& out) {
    std::string one;
    if (convert(bridge.toUtf8, text, length, one)) {
        out += one;
        return;
    }
    for (std::size_t i = 0; i < length;) {
        unsigned char b = static_cast<unsigned char>(text[i]);
        std::size_t n = isSjisLead(b) && i + 1 < length &&
                                isSjisTrail(static_cast<unsigned char>(text[i + 1]))
                            ? 2
                            : 1;
        if (b < 0x80) out += text[i];
        else if (convert(bridge.toUtf8, text + i, n, one)) out += one;
        else out += '?';
        i += n;
    }
}

}  // namespace

void toDisplay(const char* text, std::size_t length, std::string& out) {
    if (!bridge.on || isAscii(text, length)) {
        out.assign(text, length);
        return;
    }
    if (!standins::holdsStandIn(text, length)) {
        if (convert(bridge.toUtf8, text, length, out)) return;  // the common case, in place
        out.clear();
        displaySegment(text, length, out);
        return;
    }
    out.clear();
    // A stand-in is shown as the name holds it on the disk.
    bool known = standins::walk(
        text, length,
        [&](const char* segment, std::size_t n) {
            displaySegment(segment, n, out);
            return true;
        },
        [&](const std::string& unit) { out += unit; });
    if (!known) {
        out.clear();
        displaySegment(text, length, out);
    }
}

}  // namespace platform::codeset
