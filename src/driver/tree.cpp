#include "driver/tree.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "console/report.h"
#include "convert/path.h"
#include "convert/rename.h"
#include "driver/arguments.h"
#include "driver/failure.h"
#include "platform/glob.h"
#include "platform/platform.h"

namespace {

constexpr uint32_t reparsePoint = 0x400;  // a link or junction: never followed

// The entries of `directory` (a directory part, empty for the current one)
// that `pattern` matches, with only directories that are no links when
// `directoriesOnly`, sorted as the expansion sorts.
std::vector<std::string> list(const std::string& directory, const char* pattern, bool directoriesOnly) {
    std::vector<std::string> names;
    std::string full = directory + pattern;
    if (full.size() >= platform::maxPath) return names;
    platform::FindData found;
    platform::SearchHandle h = platform::FindFirstFileA(full.c_str(), &found);
    if (!h) return names;
    do {
        const char* name = found.fileName;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0 || isLeftoverName(name)) continue;
        bool isDirectory = (found.attributes & platform::attributeDirectory) != 0;
        if (directoriesOnly && (!isDirectory || (found.attributes & reparsePoint))) continue;
        names.emplace_back(name);
    } while (platform::FindNextFileA(h, &found));
    platform::FindClose(h);
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        int folded = compareFolded(a.c_str(), b.c_str());
        return folded != 0 ? folded < 0 : a < b;
    });
    return names;
}

struct Walk {
    const char* last;  // the argument's last component
    int columnWidth;
    const std::function<void(const char*)>& handle;
    std::vector<platform::EntryIdentity> seen;

    bool firstVisit(const std::string& directory) {
        platform::EntryIdentity identity;
        if (directory.empty() || !platform::entryIdentity(directory.c_str(), &identity)) return true;
        for (const platform::EntryIdentity& s : seen)
            if (s == identity) return false;
        seen.push_back(identity);
        return true;
    }

    void walk(const std::string& directory) {
        if (!firstVisit(directory)) return;
        if (!platform::canListDirectory(directory.c_str())) {
            std::string shown = directory.empty() ? "." : directory;
            reportResult(ResultKind::unreadable, shown.c_str(), columnWidth);
            failureStep();
            return;
        }
        for (const std::string& sub : list(directory, "*", true)) {
            std::string below = directory + sub;
            below += platform::pathSeparator;
            walk(below);
        }
        if (hasWildcard(last)) {
            for (const std::string& name : list(directory, last, false))
                handle((directory + name).c_str());
        } else {
            handle((directory + last).c_str());
        }
    }
};

}  // namespace

void walkTree(const char* argument, int columnWidth,
              const std::function<void(const char* path)>& handle) {
    std::string directory(argument, directoryLength(argument));
    Walk walk{argument + directory.size(), columnWidth, handle, {}};
    walk.walk(directory);
}
