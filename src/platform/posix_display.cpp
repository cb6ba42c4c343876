// The command's text on a UTF-8 terminal: each character converted once and
// remembered, the command's own words from a table made with them.
#include <cstdint>
#include <cstring>
#include <string>

#include "platform/posix_bridge.h"
#include "platform/posix_codeset.h"
#include "platform/stand_ins.h"
#include "sjis/own_characters.h"
#include "sjis/sjis.h"

namespace platform::codeset {

namespace {

// The UTF-8 of each character of code page 932 that has gone to the
// terminal, by its Shift-JIS code (a lead byte's pair as one number): its
// bytes, and its length in the top byte; 0 where it is not known yet. A
// result line's arrow and a tree's kana are converted once, not on every line.
struct ShownCharacters {
    uint32_t utf8[0x10000] = {};
} shownCharacters;

// A character's UTF-8 (`n` bytes, at most three) as ShownCharacters keeps it
// (and as the table of the command's own characters holds it).
uint32_t packShown(const char* utf8, std::size_t n) {
    uint32_t packed = static_cast<uint32_t>(n) << 24;
    for (std::size_t k = 0; k < n; ++k) packed |= uint32_t{static_cast<unsigned char>(utf8[k])} << (8 * k);
    return packed;
}

}  // namespace

void bridging::seedOwnCharacters() {
    for (const text::OwnCharacter& c : text::ownCharacters) shownCharacters.utf8[c.code] = c.utf8;
}

bool displayIsText() { return !bridging::on() && !standins::anyGiven(); }

namespace {

// Ordinary characters for the terminal: what does not convert is shown as '?'.
void displaySegment(const char* text, std::size_t length, std::string& out) {
    std::string one;
    if (bridging::convertToUtf8(text, length, one)) {
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
        else if (bridging::convertToUtf8(text + i, n, one)) out += one;
        else out += '?';
        i += n;
    }
}

}  // namespace

std::size_t displayByCharacter(const char* text, std::size_t length, char* to) {
    char* const start = to;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
    for (std::size_t i = 0; i < length;) {
        std::size_t ascii = i;
        while (ascii + 8 <= length && !(eightBytes::load(text + ascii) & eightBytes::highs)) ascii += 8;
        while (ascii < length && p[ascii] < 0x80) ++ascii;
        std::memcpy(to, text + i, ascii - i);
        to += ascii - i;
        if ((i = ascii) == length) break;
        if (standins::isStandInLead(p[i]) || p[i] == static_cast<unsigned char>(standins::backslash)) return notShown;
        std::size_t n = isSjisLead(p[i]) && i + 1 < length && isSjisTrail(p[i + 1]) ? 2 : 1;
        unsigned code = n == 2 ? (unsigned{p[i]} << 8 | p[i + 1]) : p[i];
        uint32_t& known = shownCharacters.utf8[code];
        if (known == 0) {
            std::string one;
            if (!bridging::convertToUtf8(text + i, n, one) || one.empty() || one.size() > 3) return notShown;
            known = packShown(one.data(), one.size());
        }
        std::size_t count = known >> 24;
        for (std::size_t k = 0; k < count; ++k) *to++ = static_cast<char>(known >> (8 * k));
        i += n;
    }
    return static_cast<std::size_t>(to - start);
}

namespace {
// toDisplay's fast path into `out`.
bool showByCharacter(const char* text, std::size_t length, std::string& out) {
    out.resize(3 * length);
    std::size_t shown = displayByCharacter(text, length, out.data());
    if (shown == notShown) return false;
    out.resize(shown);
    return true;
}
}  // namespace

void toDisplay(const char* text, std::size_t length, std::string& out) {
    if (!bridging::on()) {
        bridging::commandToBytes(text, length, out);  // a stand-in the run never gave out stays as it is
        return;
    }
    if (showByCharacter(text, length, out)) return;  // the common case
    std::string scratch;
    text = bridging::withBackslashes(text, length, scratch);
    if (!standins::holdsStandIn(text, length)) {
        if (text == scratch.data() && showByCharacter(text, length, out)) return;
        if (bridging::convertToUtf8(text, length, out)) return;
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
