#include "console/format.h"

#include <cstdio>
#include <cstring>

#include "platform/platform.h"
#include "sjis/sjis.h"

namespace {

using Writer = void (*)(const char*, std::size_t);

// The result lines hold only "%s": they are put together here, as printf
// would, without its general machinery, `next` giving each text in turn.
// Gives -1 for any other format, or when the text would not fit `size` bytes.
template <typename Next>
int joinStrings(char* out, std::size_t size, const char* format, Next next) {
    std::size_t n = 0;
    for (const char* p = format; *p; ++p) {
        if (*p != '%') {
            if (n + 1 >= size) return -1;
            out[n++] = *p;
            continue;
        }
        if (*++p != 's') return -1;
        const char* text = next();
        if (!text) return -1;  // printf's own rendering of it
        std::size_t length = std::strlen(text);
        if (n + length >= size) return -1;
        eightBytes::copy(out + n, text, length);
        n += length;
    }
    return static_cast<int>(n);
}

int formatTo(Writer write, const char* format, std::va_list args) {
    char small[512];
    std::va_list copy;
    va_copy(copy, args);
    int joined = joinStrings(small, sizeof small, format, [&copy] { return va_arg(copy, const char*); });
    va_end(copy);
    if (joined >= 0) {
        write(small, static_cast<std::size_t>(joined));
        return joined;
    }
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

int writeError(const char* format, ...) {
    std::va_list args;
    va_start(args, format);
    int n = writeFormattedErr(format, args);
    va_end(args);
    return n;
}

int writeJoined(const char* format, const char* const* texts) {
    // Joined where output keeps it, where there is room for the longest line.
    constexpr std::size_t lineSize = 512;
    char* room = platform::outputRoom(lineSize);
    char own[lineSize];
    char* line = room ? room : own;
    int joined = joinStrings(line, lineSize, format, [&texts] { return *texts++; });
    if (joined < 0) return joined;
    if (room)
        platform::keepOut(static_cast<std::size_t>(joined));
    else
        platform::writeOut(line, static_cast<std::size_t>(joined));
    return joined;
}
