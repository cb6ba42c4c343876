#include "config/loader.h"

#include <cstring>

#include "console/ending.h"
#include "driver/settings.h"
#include "sjis/messages.h"
#include "sjis/sjis.h"

namespace {

constexpr std::size_t loaderNameLimit = 1023;

// Sets the switch character from a line "switch...=value"; true when the
// line was such a key.
bool applySwitchKey(char* line, char* switchChar) {
    if (!startsWith(line, "switch")) return false;
    char* equals = std::strchr(line, '=');
    if (!equals) return false;
    char* value = trimLeadingSpace(equals + 1);
    *switchChar = value[0];
    return true;
}

// A shell's users write the file as strictly as the command line.
bool isStrict() { return platform::commandLineDialect().shell; }

}  // namespace

OwnedString configPathFor(const char* exePath) {
    std::size_t n = std::strlen(exePath);
    char* path = static_cast<char*>(platform::allocate(n + 5));
    if (!path) return nullptr;
    std::memcpy(path, exePath, n + 1);
    setExtension(path, "cfg");
    OwnedString beside(path);
    const char* chosen = platform::configurationFile(beside.get());
    return chosen == beside.get() ? std::move(beside) : duplicateString(chosen);
}

bool isSwitchLine(const char* line, char switchChar) {
    return line[0] == '/' || line[0] == switchChar || line[0] == platform::commandLineDialect().introducer;
}

void reportBrokenConfig(int result, const char* path, unsigned long lineNumber) {
    fatalError(result == binaryData ? text::binaryData : text::mixedLineEnds, path, lineNumber);
}

ConfigReading::~ConfigReading() {
    platform::release(name);
    platform::release(line.text);
    if (lines.stream) std::fclose(lines.stream);
}

bool openConfigReading(ConfigReading& reading, const char* path, std::size_t nameLimit) {
    reading.lines.stream = platform::openForReading(path);
    if (!reading.lines.stream) return false;
    reading.line = {static_cast<char*>(platform::allocate(configLineCapacity)), configLineCapacity};
    if (!reading.line.text) outOfMemory();
    reading.name = static_cast<char*>(platform::allocate(nameLimit + 2));
    if (!reading.name) outOfMemory();
    return true;
}

int nextExpandedLine(ConfigReading& reading, std::size_t nameLimit) {
    int result;
    while ((result = nextConfigLine(reading.lines, reading.line.text, configLineCapacity)) ==
           lineRead) {
        // Linux editors may begin a file with a UTF-8 byte order mark.
        char* text = reading.line.text;
        if (reading.lines.lineNumber == 1 && isStrict() && startsWith(text, "\xEF\xBB\xBF"))
            std::memmove(text, text + 3, std::strlen(text + 3) + 1);
        if (reading.line.text[0] == '\0') continue;
        if (!expandVariables(reading.line, reading.name, nameLimit))
            outOfMemory();
        return lineRead;
    }
    return result;
}

void loadConfig(const char* exePath, char* switchChar) {
    OwnedString path = configPathFor(exePath);
    if (!path) outOfMemory();
    ConfigReading reading;
    if (!openConfigReading(reading, path.get(), loaderNameLimit)) return;
    int result;
    while ((result = nextExpandedLine(reading, loaderNameLimit)) == lineRead) {
        char* line = reading.line.text;
        // A line that expands to nothing sets nothing, whatever the switch
        // character (NUL after "switch=").
        if (line[0] == '\0') continue;
        bool key = applySwitchKey(line, switchChar);
        // It holds no paths: a line may begin with '-' on POSIX too.
        bool switchLine = isSwitchLine(line, *switchChar);
        // On Linux the file is as strict as the command line: one documented
        // switch a line.
        if (isStrict() && !key && !(switchLine && isDocumentedSwitch(line)))
            fatalError(text::unknownConfigLine, path.get(), reading.lines.lineNumber, line);
        if (switchLine) applySwitches(line);
    }
    if (result == binaryData || result == mixedLineEnds)
        reportBrokenConfig(result, path.get(), reading.lines.lineNumber);
}
