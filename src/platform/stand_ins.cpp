#include "platform/stand_ins.h"

#include <unordered_map>
#include <vector>

namespace platform::standins {

namespace detail {
bool given = false;
}

namespace {

// The user-defined area: lead bytes 0xF0-0xF9, each with the 188 second
// bytes of code page 932. Leads 0xF0-0xF8 are stand-ins of one character;
// 0xF9 with a second byte k begins a stand-in of two characters, block k of
// the same 1 692 again.
constexpr unsigned trails = 188;
constexpr unsigned single = 9 * trails;
constexpr unsigned capacity = single + trails * single;

unsigned char trailByte(unsigned k) { return static_cast<unsigned char>(k < 63 ? 0x40 + k : 0x80 + (k - 63)); }

// The index of a second byte, or -1.
int trailIndex(unsigned char b) {
    if (b >= 0x40 && b <= 0x7E) return b - 0x40;
    if (b >= 0x80 && b <= 0xFC) return 63 + (b - 0x80);
    return -1;
}

std::vector<std::string> units;                     // by index
std::unordered_map<std::string, unsigned> indexOf;  // by unit

void appendSingle(unsigned i, std::string& out) {
    out += static_cast<char>(0xF0 + i / trails);
    out += static_cast<char>(trailByte(i % trails));
}

// The index of a one-character stand-in at `p`, or -1.
int singleAt(const unsigned char* p, std::size_t left) {
    if (left < 2 || p[0] < 0xF0 || p[0] > 0xF8) return -1;
    int k = trailIndex(p[1]);
    return k < 0 ? -1 : static_cast<int>((p[0] - 0xF0) * trails) + k;
}

}  // namespace

bool append(const char* unit, std::size_t length, std::string& out) {
    std::string key(unit, length);
    auto found = indexOf.find(key);
    unsigned i;
    if (found != indexOf.end()) {
        i = found->second;
    } else {
        if (units.size() >= capacity) return false;
        i = static_cast<unsigned>(units.size());
        units.push_back(key);
        indexOf.emplace(std::move(key), i);
    }
    detail::given = true;
    if (i < single) {
        appendSingle(i, out);
        return true;
    }
    i -= single;
    out += '\xF9';
    out += static_cast<char>(trailByte(i / single));
    appendSingle(i % single, out);
    return true;
}

bool read(const char* text, std::size_t left, std::size_t* length, const std::string** unit) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
    long index;
    if (left >= 2 && p[0] == 0xF9) {
        int block = trailIndex(p[1]);
        int rest = singleAt(p + 2, left - 2);
        if (block < 0 || rest < 0) return false;
        index = static_cast<long>(single) + static_cast<long>(block) * single + rest;
        *length = 4;
    } else {
        index = singleAt(p, left);
        *length = 2;
    }
    if (index < 0 || static_cast<std::size_t>(index) >= units.size()) return false;
    *unit = &units[static_cast<std::size_t>(index)];
    return true;
}

void forget() {
    units.clear();
    indexOf.clear();
    detail::given = false;
}

}  // namespace platform::standins
