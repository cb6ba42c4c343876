#include "platform/path_text.h"

#include <cstring>

#include "platform/platform.h"
#include "sjis/sjis.h"

std::size_t pathCharacterLength(const char* p) {
    if (!isSjisLead(static_cast<unsigned char>(*p)) || p[1] == '\0') return 1;
    return p[1] == '/' && platform::commandLineDialect().everySlashSeparates ? 1 : 2;
}

std::size_t directoryLength(const char* path) {
    std::size_t end = 0;
    const char* p = path;
    // Most paths are single-byte text: nothing to step over.
    for (; *p; ++p) {
        if (static_cast<unsigned char>(*p) >= 0x80) break;
        if (isSeparatorByte(*p)) end = static_cast<std::size_t>(p - path) + 1;
    }
    // Walk by characters: a second byte 0x5C is no separator.
    for (; *p; p += pathCharacterLength(p))
        if (isSeparatorByte(*p)) end = static_cast<std::size_t>(p - path) + 1;
    if (end == 0 && path[0] != '\0' && path[1] == ':' && platform::commandLineDialect().drives) end = 2;
    return end;
}

const char* finalComponent(const char* path) { return path + directoryLength(path); }

char* cutToDirectory(char* path) {
    std::size_t n = directoryLength(path);
    path[n] = '\0';
    return n ? path : nullptr;
}

char* joinPath(char* dst, const char* directory, const char* name) {
    std::size_t n = std::strlen(directory);
    if (n == 0) {
        std::memmove(dst, name, std::strlen(name) + 1);
        return dst;
    }
    if (dst != directory) std::memmove(dst, directory, n);
    char last = directory[n - 1];
    bool ends = (last == ':' && platform::commandLineDialect().drives) || last == '/' ||
                (last == '\\' && sjisKindAt(directory, n - 1) != 2);
    if (!ends) dst[n++] = platform::pathSeparator;
    std::memmove(dst + n, name, std::strlen(name) + 1);
    return dst;
}
