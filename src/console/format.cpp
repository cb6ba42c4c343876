#include "console/format.h"

#include <cstdio>

#include "platform/platform.h"

namespace {

using Writer = void (*)(const char*, std::size_t);

int formatTo(Writer write, const char* format, std::va_list args) {
    char small[512];
    std::va_list again;
    va_copy(again, args);
    int n = std::vsnprintf(small, sizeof small, format, args);
    if (n < 0) {
        va_end(again);
        return 0;
    }
    if (static_cast<std::size_t>(n) < sizeof small) {
        write(small, static_cast<std::size_t>(n));
    } else {
        char* big = static_cast<char*>(platform::allocate(static_cast<std::size_t>(n) + 1));
        if (!big) {
            va_end(again);
            return 0;
        }
        std::vsnprintf(big, static_cast<std::size_t>(n) + 1, format, again);
        write(big, static_cast<std::size_t>(n));
        platform::release(big);
    }
    va_end(again);
    return n;
}

}  // namespace

int writeFormatted(const char* format, std::va_list args) {
    return formatTo(platform::writeOut, format, args);
}

int writeFormattedErr(const char* format, std::va_list args) {
    return formatTo(platform::writeErr, format, args);
}
