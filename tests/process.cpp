#include "process.h"

#include "console/ending.h"
#include "driver/run.h"
#include "driver/settings.h"
#include "platform/fake_platform.h"

void startFakeProcess() {
    fake::reset();
    settings = RunSettings{};
    fake::addFile(fake::state().modulePath);
}

RunResult runTavisk(const std::vector<std::string>& arguments) {
    std::vector<std::string> storage{"tavisk"};
    storage.insert(storage.end(), arguments.begin(), arguments.end());
    std::vector<char*> vector;
    for (auto& s : storage) vector.push_back(s.data());
    vector.push_back(nullptr);
    int code = -1;
    try {
        endProcess(runCommand(static_cast<int>(storage.size()), vector.data()));
    } catch (const fake::ExitCalled& e) {
        code = e.code;
    }
    return {code, fake::state().out, fake::state().err};
}
