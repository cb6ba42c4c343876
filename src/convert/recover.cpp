#include "convert/recover.h"

#include <cstring>
#include <string>
#include <unordered_set>

#include "console/report.h"
#include "convert/path.h"
#include "convert/rename.h"
#include "driver/failure.h"
#include "driver/settings.h"
#include "sjis/sjis.h"

namespace {

// Directory parts already looked at, as typed, and the last one: runs of
// names share their directory, and it answers most calls.
std::unordered_set<std::string> seen;
std::string last;

bool alreadySeen(const char* path, std::size_t length) {
    if (!seen.empty() && last.compare(0, std::string::npos, path, length) == 0) return true;
    last.assign(path, length);
    return !seen.insert(last).second;
}

void restore(const std::string& directory, const std::string& leftover) {
    std::string from = directory + leftover;
    std::string to = directory + leftover.substr(0, leftover.size() - std::strlen(leftoverSuffix));
    const char* oldName = finalComponent(to.c_str());
    if (settings.testMode || platform::moveEntry(from.c_str(), to.c_str())) {
        reportResult(ResultKind::restored, from.c_str(), 0, oldName);
        return;
    }
    // The old name is taken: the entry stays where it is, for the user to see.
    reportResult(ResultKind::restoreFailed, from.c_str(), 0, oldName);
    failureStep();
}

}  // namespace

void recoverLeftovers(const char* path) {
    std::size_t length = directoryLength(path);
    if (alreadySeen(path, length)) return;
    std::string directory(path, length);
    // Listed first, moved after: a search does not see its directory change.
    for (const std::string& leftover : listEntries(directory, isLeftoverName)) restore(directory, leftover);
}

void forgetRecoveredDirectories() {
    seen.clear();
    last.clear();
}
