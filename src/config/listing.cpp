#include "config/listing.h"

#include <cstring>

#include "config/loader.h"
#include "platform/platform.h"
#include "sjis/messages.h"
#include "sjis/sjis.h"

namespace {

constexpr std::size_t listingNameLimit = 1022;

void writeText(const char* s) { platform::writeOut(s, std::strlen(s)); }

}  // namespace

ConfigOutcome listConfigSwitches(const char* path, char switchChar) {
    ConfigReading reading;
    ConfigOutcome opened = openConfigReading(reading, path, listingNameLimit);
    if (opened == ConfigOutcome::absent) writeText(text::noConfigFile);
    if (opened != ConfigOutcome::read) return opened;
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
    return result == lineOutOfMemory ? ConfigOutcome::outOfMemory : ConfigOutcome::read;
}
