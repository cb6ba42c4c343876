// libFuzzer target: the Shift-JIS primitives on any bytes, checked against a
// plain walk by characters.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "sjis/sjis.h"

namespace {

#define check(ok) ((ok) ? void() : (std::fprintf(stderr, "failed at line %d\n", __LINE__), std::abort()))

// Kind of every byte by the walk from the start: a lead byte is kind 1, the
// byte after it kind 2 when it is a trail byte and 0 otherwise.
std::vector<int> kinds(const std::string& s) {
    std::vector<int> k(s.size() + 1, 0);
    int state = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        unsigned char b = static_cast<unsigned char>(s[i]);
        state = state == 1 ? (isSjisTrail(b) ? 2 : 0) : (isSjisLead(b) ? 1 : 0);
        k[i] = state;
    }
    return k;
}

// Where the searches' characters start: a lead byte takes any following byte
// but the terminator.
std::vector<bool> starts(const std::string& s) {
    std::vector<bool> at(s.size() + 1, false);
    for (std::size_t i = 0; i < s.size();) {
        at[i] = true;
        if (isSjisLead(static_cast<unsigned char>(s[i]))) {
            i += 2;
        } else {
            ++i;
        }
    }
    return at;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string all(reinterpret_cast<const char*>(data), size);
    std::string s = all.substr(0, all.find('\0'));
    const char* p = s.c_str();
    std::vector<int> k = kinds(s);
    for (std::size_t i = 0; i <= s.size(); ++i) check(sjisKindAt(p, i) == k[i]);

    std::vector<bool> at = starts(s);
    for (char c : {'\\', '/', '.', 'A', 'a', '*', static_cast<char>(0x81)}) {
        std::size_t expected = 0;
        while (expected < s.size() && !(at[expected] && s[expected] == c)) ++expected;
        const char* first = sjisFindFirst(p, c);
        check(first == (expected < s.size() ? p + expected : nullptr));
        if (const char* last = sjisFindLast(p, c)) {
            std::size_t i = static_cast<std::size_t>(last - p);
            check(i < s.size() && s[i] == c && at[i] && first && first <= last);
        }
    }
    std::string sub = all.size() > s.size() + 1 ? all.substr(s.size() + 1, 4) : "AB";
    sub = sub.substr(0, sub.find('\0'));
    if (const char* found = sjisFindSub(p, sub.c_str())) {
        std::size_t i = static_cast<std::size_t>(found - p);
        check(s.compare(i, sub.size(), sub) == 0 && (at[i] || i == s.size()));
    }

    std::string lowered = s;
    lowerSingleByteLetters(lowered.data());
    check(lowered.size() == s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        bool letter = at[i] && s[i] >= 'A' && s[i] <= 'Z';
        check(lowered[i] == (letter ? static_cast<char>(s[i] + 32) : s[i]));
    }

    check(equalsIgnoreCase(p, lowered.c_str()) || s.size() != lowered.size());
    std::vector<char> buffer(s.size() + 16);
    copyBounded(buffer.data(), p, s.size() / 2);
    check(std::strlen(buffer.data()) == s.size() / 2);
    std::memcpy(buffer.data(), p, s.size() + 1);
    setExtension(buffer.data(), "cfg");
    check(std::strlen(buffer.data()) <= s.size() + 4);
    std::memcpy(buffer.data(), p, s.size() + 1);
    trimLeadingSpace(buffer.data());
    check(!isWhiteSpace(static_cast<unsigned char>(buffer[0])) || buffer[0] == '\0');
    whiteSpaceKind(p);
    if (const char* ext = pathExtension(p)) check(ext > p && ext[-1] == '.');
    return 0;
}
