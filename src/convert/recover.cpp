#include "convert/recover.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <unordered_set>
#include <vector>

#include "console/report.h"
#include "convert/path.h"
#include "convert/rename.h"
#include "driver/failure.h"
#include "driver/settings.h"
#include "sjis/sjis.h"

namespace {

// Directory parts already looked at, as typed.
std::unordered_set<std::string> seen;

bool alreadySeen(const std::string& directory) { return !seen.insert(directory).second; }

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
    std::string directory(path, directoryLength(path));
    if (alreadySeen(directory)) return;
    // Listed first, moved after: a search does not see its directory change.
    // "*" leaves out hidden names on POSIX, and on Windows lists them too.
    std::vector<std::string> leftovers;
    for (const char* all : {"*", ".*"}) {
        std::string pattern = directory + all + leftoverSuffix;
        if (pattern.size() >= platform::maxPath) return;
        platform::FindData found;
        platform::SearchHandle h = platform::FindFirstFileA(pattern.c_str(), &found);
        if (!h) continue;
        do {
            if (isLeftoverName(found.fileName) &&
                std::find(leftovers.begin(), leftovers.end(), found.fileName) == leftovers.end())
                leftovers.emplace_back(found.fileName);
        } while (platform::FindNextFileA(h, &found));
        platform::FindClose(h);
    }
    for (const std::string& leftover : leftovers) restore(directory, leftover);
}

void forgetRecoveredDirectories() { seen.clear(); }
