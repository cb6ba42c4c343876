// libFuzzer target: the command-line split on any text, and the POSIX quoting
// round trip: the NUL-separated pieces of the input, quoted into one line and
// split again, come back as they were (or the system's own list is taken).
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "driver/arguments.h"
#include "platform/posix_command_line.h"
#include "sjis/sjis.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    ArgumentList split;
    if (!splitCommandLine(text.c_str(), split)) std::abort();
    releaseArguments(split);

    std::vector<std::string> pieces{"tavisk"};
    std::size_t start = 0;
    for (std::size_t i = 0; i <= text.size(); ++i)
        if (i == text.size() || text[i] == '\0') {
            pieces.push_back(text.substr(start, i - start));
            start = i + 1;
        }
    std::vector<char*> argv;
    for (auto& p : pieces) argv.push_back(p.data());
    std::string line = platform::quoteCommandLine(static_cast<int>(argv.size()), argv.data());
    ArgumentList back;
    if (!splitCommandLine(line.c_str(), back)) std::abort();
    bool same = back.count == static_cast<int>(pieces.size());
    for (int i = 0; same && i < back.count; ++i) same = pieces[i] == back.items[i];
    // Only an argument ending in a lone lead byte before another argument
    // cannot be carried; everything else must round-trip.
    bool carriable = true;
    for (std::size_t i = 0; i + 1 < pieces.size(); ++i)
        if (!pieces[i].empty() && !sjisFindFirst(pieces[i].c_str(), '\0')) carriable = false;
    if (carriable && !same) std::abort();
    releaseArguments(back);
    return 0;
}
