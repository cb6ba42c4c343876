#include "console/progress.h"

#include <cstdio>
#include <cstring>

#include "platform/path_text.h"
#include "platform/platform.h"
#include "sjis/messages.h"

namespace {

constexpr uint32_t firstAfter = 1000;  // ms: a short run shows nothing
constexpr uint32_t redrawEvery = 250;  // ms
constexpr std::size_t lineColumns = 79;  // one less than the screen: no wrap

}  // namespace

void Progress::start(bool wanted) {
    on = wanted;
    drawn = false;
    started = lastDrawn = platform::GetTickCount();
}

void Progress::noteNow(const char* path, unsigned long met, unsigned long renamed) {
    uint32_t now = platform::GetTickCount();
    if (now - started < firstAfter || (drawn && now - lastDrawn < redrawEvery)) return;
    lastDrawn = now;
    std::string line = progressLine(path, met, renamed, lineColumns);
    // Over what was drawn before, padded where the new line is shorter.
    std::string shown = "\r" + line;
    if (line.size() < width) shown.append(width - line.size(), ' ');
    width = line.size();
    platform::flushOut();  // result lines first, on a line of their own
    platform::writeErr(shown.data(), shown.size());
    drawn = true;
}

void Progress::eraseNow() {
    std::string blank = "\r" + std::string(width, ' ') + "\r";
    platform::writeErr(blank.data(), blank.size());
    drawn = false;
}

std::string progressLine(const char* path, unsigned long met, unsigned long renamed, std::size_t columns) {
    char counts[160];
    std::snprintf(counts, sizeof counts, text::progressLine, met, renamed);
    std::string line = counts;
    std::size_t folder = directoryLength(path);
    if (folder == 0 || line.size() + 1 >= columns) return line;
    // The end of the folder tells most: its start gives way first, at a
    // character's end, after "...".
    std::size_t room = columns - line.size() - 1;
    const char* start = path;
    bool cut = folder > room;
    if (cut) {
        while (start < path + folder && static_cast<std::size_t>(path + folder - start) + 3 > room)
            start += pathCharacterLength(start);
    }
    line += ' ';
    if (cut) line += "...";
    line.append(start, path + folder);
    return line;
}
