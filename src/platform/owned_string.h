// A heap string of the command's own, released through the platform: the one
// owner of such text that every module may hold, below the core's own
// modules.
#pragma once

#include <cstring>
#include <memory>

#include "platform/platform.h"

struct ReleaseBytes {
    void operator()(char* p) const { platform::release(p); }
};
using OwnedString = std::unique_ptr<char, ReleaseBytes>;

// New copy of `s`; nullptr for nullptr or when memory runs out.
inline OwnedString duplicateString(const char* s) {
    if (!s) return nullptr;
    std::size_t n = std::strlen(s) + 1;
    char* copy = static_cast<char*>(platform::allocate(n));
    if (copy) std::memcpy(copy, s, n);
    return OwnedString(copy);
}
