#include "convert/deferred.h"

#include <string>
#include <unordered_set>
#include <vector>

#include "console/report.h"
#include "convert/rename.h"
#include "driver/context.h"
#include "platform/platform.h"
#include "sjis/sjis.h"

namespace {

// Enough to keep the lines of a large folder within a few listings of it.
constexpr std::size_t mostKept = 4096;

// The names stored in the directory `directory` (a directory part), as one
// listing reads them.
std::unordered_set<std::string> storedNames(const std::string& directory) {
    std::unordered_set<std::string> names;
    platform::FindData found;
    platform::SearchHandle h = platform::findEveryEntry(directory.c_str(), &found);
    if (!h) return names;
    do names.insert(found.fileName);
    while (platform::FindNextFileA(h, &found));
    platform::FindClose(h);
    return names;
}

}  // namespace

void settleBeforeRenaming(RunContext& run, const Entry& entry) {
    const std::vector<DeferredCheck>& kept = run.deferred;
    if (!kept.empty() && (kept.size() >= mostKept || kept.back().nameAt != entry.nameAt ||
                          kept.back().from.compare(0, entry.nameAt, entry.path, entry.nameAt) != 0))
        settleWaitingLines(run.report);
}

void deferCheck(RunContext& run, const Entry& entry, const char* to, const char* name, int columnWidth) {
    run.deferred.push_back({entry.path, to, name, entry.nameAt, columnWidth, entry.identity});
    linesWait(run.report);
}

std::string settleDeferred(RunContext& run) {
    std::vector<DeferredCheck> settling;
    settling.swap(run.deferred);
    std::string firstFailed;
    std::unordered_set<std::string> stored;
    std::string listed;
    bool read = false;
    for (const DeferredCheck& k : settling) {
        std::string directory = k.from.substr(0, k.nameAt);
        if (!read || directory != listed) {
            stored = storedNames(directory);
            listed = directory;
            read = true;
        }
        // The move was proven to hold the entry under its new name before it
        // was kept here: the listing tells the spelling stored.
        const char* newName = k.to.c_str() + k.nameAt;
        if (stored.count(newName)) {
            reportResult(run.report, ResultKind::renamed, k.name.c_str(), k.columnWidth, newName);
            continue;
        }
        // Moved, yet not stored as asked: the old name back, if it is ours.
        Reason why = Reason::changed;
        if (isEntry(k.to.c_str(), k.identity) && platform::moveEntry(k.to.c_str(), k.from.c_str()))
            why = Reason::caseRefused;
        reportFailure(run.report, ResultKind::renameFailed, k.name.c_str(), k.columnWidth, newName, "", why,
                      k.from.c_str());
        if (firstFailed.empty()) firstFailed = k.from;
    }
    return firstFailed;
}
