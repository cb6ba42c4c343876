#include "convert/recover.h"

#include <cstring>
#include <string>
#include <unordered_set>

#include "console/report.h"
#include "convert/journal.h"
#include "convert/path.h"
#include "convert/rename.h"
#include "driver/context.h"
#include "driver/settings.h"
#include "sjis/sjis.h"

namespace {

bool alreadySeen(Recovered& recovered, const char* path, std::size_t length) {
    if (lookedAtLast(recovered, path, length)) return true;
    recovered.last.assign(path, length);
    return !recovered.seen.insert(recovered.last).second;
}

// True when what holds `path` is stored under another spelling of its final
// component: the spelling a killed move had claimed, lowered by a run or
// given back its capitals by an undo.
bool heldByClaim(const char* path) {
    platform::FindData found;
    platform::SearchHandle h = platform::FindFirstFileA(path, &found);
    if (!h) return false;
    platform::FindClose(h);
    const char* name = finalComponent(path);
    return !equalStrings(found.fileName, name) && equalsIgnoreCase(found.fileName, name);
}

enum class Restored { back, previewed, failed };

// Puts the entry `leftover` back under its old name `oldName`.
Restored restore(RunContext& run, const std::string& directory, const std::string& leftover,
                 const std::string& oldName) {
    std::string from = directory + leftover;
    std::string to = directory + oldName;
    if (settings.testMode || platform::moveEntry(from.c_str(), to.c_str())) {
        reportResult(run.report, ResultKind::restored, from.c_str(), 0, oldName.c_str());
        return settings.testMode ? Restored::previewed : Restored::back;
    }
    // A run killed while it held the new name for the entry left an empty
    // file stored under that lower-cased name, which blocks the old one where
    // lookups ignore case: the interrupted move is finished onto it. Nothing
    // stored under the old name itself is ever taken for such a claim.
    if (heldByClaim(to.c_str()) && platform::moveOntoClaim(from.c_str(), to.c_str())) {
        reportResult(run.report, ResultKind::restored, from.c_str(), 0, oldName.c_str());
        return Restored::back;
    }
    // The old name is taken: the entry stays where it is, for the user to see.
    reportResult(run.report, ResultKind::restoreFailed, from.c_str(), 0, oldName.c_str());
    return Restored::failed;
}

// The name a leftover had: itself less the suffix, or, for one cut short,
// the whole name that the journal recorded with its checksum.
bool oldNameOf(RunContext& run, const std::string& directory, const std::string& leftover, std::string& oldName) {
    uint64_t sum = 0;
    if (!leftoverChecksum(leftover.data(), leftover.size(), &sum)) {
        oldName = leftover.substr(0, leftover.size() - leftoverSuffixLength);
        return true;
    }
    std::string whole, name;
    return platform::wholeSystemDirectory(directory.data(), directory.size(), whole) &&
           recordedName(run.journal, whole, sum, name) && platform::commandText(name.c_str(), oldName);
}

// A leftover whose whole name no journal holds: it stays, for the user to see.
Restored unknown(RunContext& run, const std::string& directory, const std::string& leftover) {
    reportResult(run.report, ResultKind::restoreFailed, (directory + leftover).c_str(), 0, "?");
    return Restored::failed;
}

}  // namespace

Recovery recoverDirectory(RunContext& run, const std::string& directory) {
    Recovery recovery;
    if (alreadySeen(run.recovered, directory.c_str(), directory.size())) return recovery;
    // A listing read whole, the expansion's, may have told that there is none.
    if (platform::holdsNoneEnding(directory.c_str())) return recovery;
    // Listed first, moved after: a search does not see its directory change.
    std::vector<std::string> leftovers = listEntries(directory, isLeftoverName, leftoverSuffix);
    // Another run at work may be moving them on: they are its own to finish.
    if (leftovers.empty() || !platform::aloneInRuns()) return recovery;
    for (const std::string& leftover : leftovers) {
        std::string oldName;
        bool named = oldNameOf(run, directory, leftover, oldName);
        switch (named ? restore(run, directory, leftover, oldName) : unknown(run, directory, leftover)) {
            case Restored::back: recovery.restored.push_back(std::move(oldName)); break;
            case Restored::previewed: break;
            case Restored::failed:
                recovery.failed = true;
                if (!settings.continueOnError) return recovery;  // the run stops here
                break;
        }
    }
    return recovery;
}

Recovery recoverLeftovers(RunContext& run, const char* path, std::size_t nameAt) {
    // Runs of names share their directory: the last one answers at once,
    // before a string is made of it.
    if (lookedAtLast(run.recovered, path, nameAt)) return {};
    return recoverDirectory(run, std::string(path, nameAt));
}

