#include "support.h"

#include <iconv.h>

#include "console/pager.h"
#include "console/report.h"
#include "convert/recover.h"
#include "convert/rename.h"
#include "driver/arguments.h"
#include "driver/failure.h"
#include "driver/run.h"
#include "driver/settings.h"

std::string sj(const std::string& utf8) {
    iconv_t cd = iconv_open("CP932", "UTF-8");
    std::string in = utf8, out(in.size() * 2 + 8, '\0');
    char* src = in.data();
    char* dst = out.data();
    size_t left = in.size(), room = out.size();
    iconv(cd, &src, &left, &dst, &room);
    iconv_close(cd);
    out.resize(out.size() - room);
    return out;
}

void resetProcess() {
    fake::reset();
    settings = RunSettings{};
    errorOccurred = 0;
    forgetDetours();
    resetReport();
    forgetExpansions();
    forgetRecoveredDirectories();
    helpPager = HelpPager{};
    resultPager = ResultPager{};
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
