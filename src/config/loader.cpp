#include "config/loader.h"

#include <cstring>

#include "config/expand.h"
#include "config/reader.h"
#include "driver/failure.h"
#include "driver/settings.h"
#include "sjis/messages.h"
#include "sjis/sjis.h"

namespace {

constexpr std::size_t loaderNameLimit = 1023;

// Sets the switch character from a line "switch...=value".
void applySwitchKey(char* line, char* switchChar) {
    if (!startsWith(line, "switch")) return;
    char* equals = std::strchr(line, '=');
    if (!equals) return;
    char* value = trimLeadingSpace(equals + 1);
    *switchChar = value[0];
}

}  // namespace

OwnedString configPathFor(const char* exePath) {
    std::size_t n = std::strlen(exePath);
    char* path = static_cast<char*>(platform::allocate(n + 5));
    if (!path) return nullptr;
    std::memcpy(path, exePath, n + 1);
    setExtension(path, "cfg");
    return OwnedString(path);
}

void reportBrokenConfig(int result, const char* path, unsigned long lineNumber) {
    fatalError(result == binaryData ? text::binaryData : text::mixedLineEnds, path, lineNumber);
}

void loadConfig(const char* exePath, char* switchChar) {
    OwnedString path = configPathFor(exePath);
    if (!path) fatalError("%s", text::outOfMemory);
    ConfigLines lines{platform::openForReading(path.get())};
    if (!lines.stream) return;
    LineBuffer line{static_cast<char*>(platform::allocate(configLineCapacity)), configLineCapacity};
    if (!line.text) fatalError("%s", text::outOfMemory);
    char* name = static_cast<char*>(platform::allocate(loaderNameLimit + 2));
    if (!name) {
        platform::release(line.text);
        fatalError("%s", text::outOfMemory);
    }
    int result;
    while ((result = nextConfigLine(lines, line.text, configLineCapacity)) == lineRead) {
        if (line.text[0] == '\0') continue;
        if (!expandVariables(line, name, loaderNameLimit)) {
            platform::release(name);
            platform::release(line.text);
            std::fclose(lines.stream);
            fatalError("%s", text::outOfMemory);
        }
        applySwitchKey(line.text, switchChar);
        if (line.text[0] == '/' || line.text[0] == *switchChar) applySwitches(line.text);
    }
    platform::release(name);
    platform::release(line.text);
    std::fclose(lines.stream);
    if (result == binaryData || result == mixedLineEnds)
        reportBrokenConfig(result, path.get(), lines.lineNumber);
}
