#include <new>
#include <utility>

#include "console/ending.h"
#include "driver/arguments.h"
#include "driver/failure.h"
#include "driver/run.h"
#include "driver/settings.h"
#include "platform/platform.h"

namespace {
// The vector lives as long as the process; entry 0 as typed is kept here
// because the run puts the located executable in its place.
char** vector = nullptr;
char* typedProgramName = nullptr;
}  // namespace

int main(int argc, char** argv) {
    platform::startProcess(argc, argv);
    int originalCount = 0;
    const char* const* original = platform::originalArguments(&originalCount);
    // How the disk's names are written decides how the wildcards read them.
    if (original && originalCount > 0) {
        presetNamesEncoding(original, originalCount);
        platform::useShiftJisNames(settings.shiftJisNames);
        original = platform::originalArguments(&originalCount);
    }
    int count = 0;
    Expansions expansions;
    vector = buildArgumentVector(platform::GetCommandLineA(), original, originalCount, &count, expansions);
    typedProgramName = vector[0];
    std::set_new_handler(outOfMemory);
    endProcess(runCommand(count, vector, std::move(expansions)));
}
