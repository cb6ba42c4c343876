// libFuzzer target: any bytes as the last run's journal, taken back by /undo
// over a small tree, going on after failures, then only previewed. Whatever
// the bytes, the run ends with a code and every entry is still there.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "console/pager.h"
#include "console/report.h"
#include "convert/recover.h"
#include "convert/rename.h"
#include "driver/arguments.h"
#include "driver/failure.h"
#include "driver/run.h"
#include "driver/settings.h"
#include "platform/fake_platform.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    for (const char* mode : {"/c", "/test"}) {
        fake::reset();
        settings = RunSettings{};
        errorOccurred = 0;
        forgetDetours();
        resetReport();
        forgetExpansions();
        forgetRecoveredDirectories();
        helpPager = HelpPager{};
        resultPager = ResultPager{};
        fake::addFile("A.TXT");
        fake::addDirectory("SUB");
        fake::addFile("SUB\\b.txt");
        fake::state().journals["J:\\tavisk\\00000001.journal"] = std::string(reinterpret_cast<const char*>(data), size);
        std::vector<std::string> storage{"tavisk", "/undo", mode};
        std::vector<char*> vector;
        for (auto& s : storage) vector.push_back(s.data());
        vector.push_back(nullptr);
        try {
            runCommand(static_cast<int>(storage.size()), vector.data());
        } catch (const fake::ExitCalled&) {
        }
        if (fake::listing().size() != 3) std::abort();
    }
    return 0;
}
