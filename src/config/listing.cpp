#include "config/listing.h"

#include <cstring>

#include "config/expand.h"
#include "config/loader.h"
#include "config/reader.h"
#include "driver/failure.h"
#include "platform/platform.h"
#include "sjis/messages.h"
#include "sjis/sjis.h"

namespace {

constexpr std::size_t listingNameLimit = 1022;

void writeText(const char* s) { platform::writeOut(s, std::strlen(s)); }

}  // namespace

void listConfigSwitches(const char* path, char switchChar) {
    ConfigLines lines{platform::openForReading(path)};
    if (!lines.stream) {
        writeText(text::noConfigFile);
        return;
    }
    LineBuffer line{static_cast<char*>(platform::allocate(configLineCapacity)), configLineCapacity};
    if (!line.text) fatalError("%s", text::outOfMemory);
    char* name = static_cast<char*>(platform::allocate(listingNameLimit + 2));
    if (!name) {
        platform::release(line.text);
        fatalError("%s", text::outOfMemory);
    }
    bool first = true;
    int result;
    bool memoryOut = false;
    while ((result = nextConfigLine(lines, line.text, configLineCapacity)) == lineRead) {
        if (line.text[0] == '\0') continue;
        if (!expandVariables(line, name, listingNameLimit)) {
            memoryOut = true;
            break;
        }
        if (line.text[0] != '/' && line.text[0] != switchChar) continue;
        if (!first) writeText(" ");
        bool quote = whiteSpaceKind(line.text) != 0;
        if (quote) writeText("\"");
        writeText(line.text);
        if (quote) writeText("\"");
        first = false;
    }
    writeText("\n");
    platform::release(name);
    platform::release(line.text);
    std::fclose(lines.stream);
    if (memoryOut) fatalError("%s", text::outOfMemory);
    if (result == binaryData || result == mixedLineEnds)
        reportBrokenConfig(result, path, lines.lineNumber);
}
