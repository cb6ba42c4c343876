#include "console/ending.h"

#include <cstdarg>
#include <cstring>

#include "console/format.h"
#include "console/progress.h"
#include "platform/platform.h"
#include "sjis/messages.h"

void fatalError(const char* format, ...) {
    progress().erase();
    platform::flushOut();  // result lines written so far come first
    platform::writeErr("\n\a", 2);
    platform::writeErr(text::stopPrefix, std::strlen(text::stopPrefix));
    std::va_list args;
    va_start(args, format);
    writeFormattedErr(format, args);
    va_end(args);
    platform::writeErr("\n", 1);
    endProcess(1);
}

void outOfMemory() {
    static bool saying = false;  // saying it may itself need memory
    if (saying) platform::exitProcess(1);
    // Where the end of the process is caught (the tests), the next run says
    // it again.
    saying = true;
    struct Saying {
        bool& on;
        ~Saying() { on = false; }
    } said{saying};
    fatalError("%s", text::outOfMemory.str());
}

void endProcess(int code) {
    progress().erase();
    if (platform::outputFailed()) {
        // The renames stand; only the report of them is missing.
        platform::writeErr(text::writeFailed, std::strlen(text::writeFailed));
        if (code == 0) code = 1;
    }
    platform::exitProcess(code);
}
