#include "config/listing.h"

#include <cstring>

#include "config/loader.h"
#include "console/ending.h"
#include "platform/platform.h"
#include "sjis/messages.h"
#include "sjis/sjis.h"

namespace {

constexpr std::size_t listingNameLimit = 1022;

void writeText(const char* s) { platform::writeOut(s, std::strlen(s)); }

}  // namespace

void listConfigSwitches(const char* path, char switchChar) {
    ConfigReading reading;
    if (!openConfigReading(reading, path, listingNameLimit)) {
        writeText(text::noConfigFile);
        return;
    }
    bool first = true;
    int result;
    while ((result = nextExpandedLine(reading, listingNameLimit)) == lineRead) {
        const char* line = reading.line.text;
        if (!isSwitchLine(line, switchChar)) continue;
        if (!first) writeText(" ");
        bool quote = whiteSpaceKind(line) != 0;
        if (quote) writeText("\"");
        writeText(line);
        if (quote) writeText("\"");
        first = false;
    }
    writeText("\n");
    if (result == binaryData || result == mixedLineEnds)
        reportBrokenConfig(result, path, reading.lines.lineNumber);
}
