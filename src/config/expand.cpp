#include "config/expand.h"

#include <cstring>

#include "platform/platform.h"
#include "sjis/sjis.h"

const char* findBetween(const char* text, char* out, std::size_t cap, const char* open,
                        const char* close) {
    const char* start = text;
    if (*open) {
        const char* at = sjisFindSub(text, open);
        if (!at) {
            if (out) out[0] = '\0';
            return nullptr;
        }
        start = at + std::strlen(open);
    }
    const char* end = start + std::strlen(start);
    if (*close) {
        end = sjisFindSub(start, close);
        if (!end) {
            if (out) out[0] = '\0';
            return nullptr;
        }
    }
    std::size_t length = static_cast<std::size_t>(end - start);
    if (out) {
        if (length >= cap) return nullptr;
        copyBounded(out, start, length);
    }
    return end + std::strlen(close);
}

char* replaceFirst(char* text, const char* find, const char* repl) {
    char* at = sjisFindSub(text, find);
    if (!at) return nullptr;
    std::size_t findLength = std::strlen(find), replLength = std::strlen(repl);
    char* rest = at + findLength;
    if (replLength != findLength)
        std::memmove(at + replLength, rest, std::strlen(rest) + 1);
    std::memcpy(at, repl, replLength);
    return at + replLength;
}

char* insertAt(char* text, std::size_t index, const char* ins) {
    std::size_t length = std::strlen(text), insLength = std::strlen(ins);
    if (index > length || insLength == 0) return text;
    std::memmove(text + index + insLength, text + index, length - index + 1);
    std::memcpy(text + index, ins, insLength);
    return text + index + insLength;
}

bool expandVariables(LineBuffer& line, char* name, std::size_t limit) {
    std::size_t cursor = 0;
    for (;;) {
        const char* end = findBetween(line.text + cursor, name, limit, "%", "%");
        if (!end) return true;
        std::size_t endOffset = static_cast<std::size_t>(end - line.text);
        const char* value = platform::getEnvironmentVariable(name);
        if (!value) value = "";
        insertAt(name, 0, "%");
        std::strcat(name, "%");
        std::size_t tokenLength = std::strlen(name), valueLength = std::strlen(value);
        // A long value grows the buffer instead of running past it.
        std::size_t needed = std::strlen(line.text) + valueLength + 1;
        if (needed > line.capacity) {
            std::size_t grown = needed + needed / 2;
            char* bigger = static_cast<char*>(platform::reallocate(line.text, grown));
            if (!bigger) return false;
            line.text = bigger;
            line.capacity = grown;
        }
        replaceFirst(line.text + cursor, name, value);
        cursor = endOffset + valueLength - tokenLength;
    }
}
