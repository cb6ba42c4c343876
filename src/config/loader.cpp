#include "config/loader.h"

#include <cstring>
#include <string>
#include <vector>

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

// At most about 60 bytes of a refused text, cut at a character's end: a line
// that a long expansion made is not quoted whole.
std::string quoted(const char* text) {
    constexpr std::size_t shown = 60;
    std::string out;
    const char* p = text;
    while (*p && static_cast<std::size_t>(p - text) < shown) p += isSjisLead(static_cast<unsigned char>(*p)) && p[1] ? 2 : 1;
    out.assign(text, static_cast<std::size_t>(p - text));
    if (*p) out += "\x81\x63";  // "…"
    return out;
}

// True for a word that only continues a /v group: its signs and elements.
bool continuesDisplayGroup(const std::string& word) {
    return !word.empty() && word.find_first_not_of(displayGroupLetters) == std::string::npos;
}

// A Linux line, word by word: each a documented switch, a /v group taking
// the words of signs and elements after it ("-v +k"). Each switch is applied;
// the first word that is none stops the run, quoted.
void applyStrictLine(const char* line, const char* path, unsigned long lineNumber, char switchChar) {
    std::vector<std::string> words;
    for (const char* p = line; *p;) {
        while (*p && isWhiteSpace(static_cast<unsigned char>(*p))) ++p;
        const char* start = p;
        while (*p && !isWhiteSpace(static_cast<unsigned char>(*p))) ++p;
        if (p == start) break;
        std::string word(start, static_cast<std::size_t>(p - start));
        bool group = !words.empty() && words.back().size() >= 2 && (words.back()[1] == 'v' || words.back()[1] == 'V');
        if (group && !isSwitchLine(word.c_str(), switchChar) && continuesDisplayGroup(word))
            words.back() += word;
        else
            words.push_back(std::move(word));
    }
    for (const std::string& word : words)
        if (!isSwitchLine(word.c_str(), switchChar) || !isDocumentedSwitch(word.c_str()))
            fatalError(text::unknownConfigLine, path, lineNumber, quoted(word.c_str()).c_str());
    for (const std::string& word : words) applySwitches(word.c_str());
}

// A file saved as UTF-8 with its byte order mark (as Windows editors offer):
// each line in the command's text, or the run stops at the one that has none.
void fromUtf8File(ConfigReading& reading, const char* path) {
    std::string converted;
    if (!platform::commandText(reading.line.text, converted) || converted.size() >= configLineCapacity)
        fatalError(text::unconvertibleConfigLine, path, reading.lines.lineNumber);
    std::memcpy(reading.line.text, converted.c_str(), converted.size() + 1);
}

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

ConfigOutcome openConfigReading(ConfigReading& reading, const char* path, std::size_t nameLimit) {
    reading.path = path;
    reading.lines.stream = platform::openForReading(path);
    if (!reading.lines.stream) return ConfigOutcome::absent;
    reading.line = {static_cast<char*>(platform::allocate(configLineCapacity)), configLineCapacity};
    if (!reading.line.text) return ConfigOutcome::outOfMemory;
    reading.name = static_cast<char*>(platform::allocate(nameLimit + 2));
    return reading.name ? ConfigOutcome::read : ConfigOutcome::outOfMemory;
}

int nextExpandedLine(ConfigReading& reading, std::size_t nameLimit) {
    int result;
    while ((result = nextConfigLine(reading.lines, reading.line.text, configLineCapacity)) ==
           lineRead) {
        // Editors may begin a file with a UTF-8 byte order mark. On Linux the
        // file is in the system's text anyway; on Windows it says the file is
        // UTF-8, which each line is read from.
        char* text = reading.line.text;
        if (reading.lines.lineNumber == 1 && startsWith(text, "\xEF\xBB\xBF")) {
            std::memmove(text, text + 3, std::strlen(text + 3) + 1);
            reading.utf8 = !isStrict();
        }
        if (reading.utf8) fromUtf8File(reading, reading.path);
        if (reading.line.text[0] == '\0') continue;
        return expandVariables(reading.line, reading.name, nameLimit) ? lineRead : lineOutOfMemory;
    }
    return result;
}

ConfigOutcome loadConfig(const char* exePath, char* switchChar) {
    OwnedString path = configPathFor(exePath);
    if (!path) return ConfigOutcome::outOfMemory;
    ConfigReading reading;
    ConfigOutcome opened = openConfigReading(reading, path.get(), loaderNameLimit);
    if (opened != ConfigOutcome::read) return opened;
    int result;
    while ((result = nextExpandedLine(reading, loaderNameLimit)) == lineRead) {
        char* line = reading.line.text;
        // A line that expands to nothing sets nothing, whatever the switch
        // character (NUL after "switch=").
        if (line[0] == '\0') continue;
        bool key = applySwitchKey(line, switchChar);
        // On Linux the file is as strict as the command line: documented
        // switches only.
        if (isStrict()) {
            if (!key) applyStrictLine(line, path.get(), reading.lines.lineNumber, *switchChar);
            continue;
        }
        // It holds no paths: a line may begin with '-' on POSIX too.
        if (isSwitchLine(line, *switchChar)) applySwitches(line);
    }
    if (result == binaryData || result == mixedLineEnds)
        reportBrokenConfig(result, path.get(), reading.lines.lineNumber);
    return result == lineOutOfMemory ? ConfigOutcome::outOfMemory : ConfigOutcome::read;
}
