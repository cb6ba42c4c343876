#include "console/layout.h"

#include <cstring>

#include "platform/platform.h"
#include "sjis/sjis.h"

const char* pathTailStart(const char* path) {
    const char* end = path + std::strlen(path);
    if (startsWith(path, "\\\\")) {
        const char* server = sjisFindFirst(path + 2, '\\');
        if (!server) return end;
        if (!sjisFindFirst(server + 1, '\\')) return end;
    }
    const char* backslash = sjisFindLast(path, '\\');
    const char* slash = std::strrchr(path, '/');
    if (slash && (!backslash || backslash < slash)) return slash + 1;
    if (backslash) return backslash + 1;
    if (path[0] != '\0' && path[1] == ':' && platform::commandLineDialect().drives) return path + 2;
    return path;
}

OwnedString fitDisplayName(const char* path, std::size_t width) {
    std::size_t length = std::strlen(path);
    if (width >= length) return duplicateString(path);
    for (std::size_t i = length - 1 - width; i < length; ++i) {
        char c = path[i];
        if (c == '/' || (c == ':' && platform::commandLineDialect().drives) ||
            (c == '\\' && sjisKindAt(path, i) != 2))
            return duplicateString(path + i + 1);
    }
    return duplicateString(pathTailStart(path));
}
