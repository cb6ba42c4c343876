#include "driver/arguments.h"
#include "driver/run.h"
#include "platform/platform.h"

int main(int argc, char** argv) {
    platform::startProcess(argc, argv);
    int originalCount = 0;
    const char* const* original = platform::originalArguments(&originalCount);
    int count = 0;
    char** vector =
        buildArgumentVector(platform::GetCommandLineA(), original, originalCount, &count);
    platform::exitProcess(runCommand(count, vector));
}
