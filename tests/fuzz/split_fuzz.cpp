// libFuzzer target: the Windows command-line split on any text never fails
// but for memory, and never reads past the line.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "driver/arguments.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    ArgumentList split;
    if (!splitCommandLine(text.c_str(), split)) std::abort();
    releaseArguments(split);
    return 0;
}
