// libFuzzer target: any bytes as the last run's journal, taken back by /undo
// over a small tree, going on after failures, then only previewed. Whatever
// the bytes, the run ends with a code and every entry is still there.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/fake_platform.h"
#include "process.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    for (const char* mode : {"/c", "/test"}) {
        resetProcess();
        fake::addFile("A.TXT");
        fake::addDirectory("SUB");
        fake::addFile("SUB\\b.txt");
        fake::state().journals["J:\\tavisk\\00000001.journal"] = std::string(reinterpret_cast<const char*>(data), size);
        runTavisk({"/undo", mode});
        if (fake::listing().size() != 4) std::abort();  // the executable and the three
    }
    return 0;
}
