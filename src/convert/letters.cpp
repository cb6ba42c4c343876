#include "convert/letters.h"

#include "platform/platform.h"
#include "sjis/sjis.h"

namespace {

// One character at `p` (`left` bytes from it, its first a lead byte with a
// second byte after it): its length, its case and its small form.
struct Letter {
    std::size_t length;
    platform::LetterCase kind;
    std::string lowered;  // for a carried capital
    unsigned char lowerTrail = 0;  // for a code page capital
};

Letter letterAt(const unsigned char* p, std::size_t left) {
    Letter letter{0, platform::LetterCase::none, {}};
    const char* text = reinterpret_cast<const char*>(p);
    letter.kind = platform::carriedLetterCase(text, left, &letter.length, &letter.lowered);
    if (letter.length) return letter;
    letter.length = 2;
    switch (doubleByteLetterCase(p[0], p[1], &letter.lowerTrail)) {
        case 1: letter.kind = platform::LetterCase::capital; break;
        case 2: letter.kind = platform::LetterCase::small; break;
        default: letter.kind = platform::LetterCase::none; break;
    }
    return letter;
}

}  // namespace

LetterClass classifyLetters(const char* text, std::size_t length) {
    LetterClass c;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
    for (std::size_t i = 0; i < length;) {
        unsigned char b = p[i];
        if (!isSjisLead(b)) {
            c.capital |= b >= 'A' && b <= 'Z';
            c.small |= b >= 'a' && b <= 'z';
            c.space |= b == ' ';
            ++i;
            continue;
        }
        if (i + 1 >= length) {
            c.endsInside = true;
            break;
        }
        if (!isSjisTrail(p[i + 1])) {  // a lead byte alone: the next byte is looked at by itself
            c.doubleByte = true;
            ++i;
            continue;
        }
        Letter letter = letterAt(p + i, length - i);
        c.capital |= letter.kind == platform::LetterCase::capital;
        c.small |= letter.kind == platform::LetterCase::small;
        c.doubleByte |= letter.kind == platform::LetterCase::none;
        i += letter.length;
    }
    return c;
}

void lowerLetters(const char* name, std::size_t length, std::string& out) {
    out.clear();
    const unsigned char* p = reinterpret_cast<const unsigned char*>(name);
    for (std::size_t i = 0; i < length;) {
        unsigned char b = p[i];
        if (!isSjisLead(b) || i + 1 >= length || !isSjisTrail(p[i + 1])) {
            out += static_cast<char>(b >= 'A' && b <= 'Z' && !isSjisLead(b) ? b + ('a' - 'A') : b);
            ++i;
            continue;
        }
        Letter letter = letterAt(p + i, length - i);
        if (letter.kind != platform::LetterCase::capital)
            out.append(name + i, letter.length);
        else if (!letter.lowered.empty())
            out += letter.lowered;
        else
            out.append({static_cast<char>(b), static_cast<char>(letter.lowerTrail)});
        i += letter.length;
    }
}
