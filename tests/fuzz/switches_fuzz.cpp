// libFuzzer target: applySwitches on any text. It never touches the second
// switch character, and applying a text again changes nothing more: every
// switch sets, none toggles.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "driver/settings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    text = text.substr(0, text.find('\0'));
    settings = RunSettings{};
    settings.switchChar = '-';
    applySwitches(text.c_str());
    RunSettings once = settings;
    applySwitches(text.c_str());
    if (settings.switchChar != '-' || std::memcmp(&once, &settings, sizeof once) != 0) std::abort();
    return 0;
}
