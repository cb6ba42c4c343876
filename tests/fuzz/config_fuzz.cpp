// libFuzzer target: any bytes as the configuration file, read, expanded and
// applied by the loader, then listed as the usage screen lists them.
#include <cstdint>
#include <string>

#include "config/listing.h"
#include "config/loader.h"
#include "driver/settings.h"
#include "platform/fake_platform.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fake::reset();
    fake::state().environment = {{"A", "/c"}, {"B", "%A%"}, {"LONG", std::string(20000, 'x')}};
    fake::state().files["C:\\t\\tavisk.cfg"] = std::string(reinterpret_cast<const char*>(data), size);
    settings = RunSettings{};
    try {
        loadConfig("C:\\t\\tavisk.exe", &settings.switchChar);
    } catch (const fake::ExitCalled&) {
    }
    try {
        listConfigSwitches("C:\\t\\tavisk.cfg", settings.switchChar);
    } catch (const fake::ExitCalled&) {
    }
    return 0;
}
