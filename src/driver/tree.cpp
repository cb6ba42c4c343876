#include "driver/tree.h"

#include <algorithm>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "console/report.h"
#include "convert/decision.h"
#include "convert/journal.h"
#include "convert/path.h"
#include "convert/recover.h"
#include "convert/rename.h"
#include "driver/arguments.h"
#include "driver/context.h"
#include "driver/failure.h"
#include "driver/journey.h"
#include "driver/settings.h"
#include "sjis/sjis.h"
#include "platform/glob.h"
#include "platform/platform.h"

namespace {

constexpr uint32_t hiddenAttribute = 0x02;  // a dot-name on Linux
constexpr uint32_t reparsePoint = 0x400;    // a link or junction: never followed

// An entry of a listing; its name is in the listing's text.
struct Listed {
    std::size_t at, length;  // the name's place in the text
    bool walkable;           // a directory, and no link
    uint32_t attributes;
    bool identified;
    platform::EntryIdentity identity;
};
struct Listing {
    std::string text;  // the names, each ended by a terminator: one allocation for them all
    std::vector<Listed> entries;
    const char* name(const Listed& e) const { return text.data() + e.at; }
};

// The entries of `directory` (a directory part, empty for the current one)
// that `pattern` matches, hidden ones too, sorted as the expansion sorts.
// Where the platform matches no alias, the one listing of every entry is
// matched here: a folder is read once, not once for its folders and once for
// the pattern.
Listing list(const std::string& directory, const char* pattern) {
    Listing found;
    bool everything = std::strcmp(pattern, "*") == 0;
    bool listsAll = everything || platform::commandLineDialect().shell;
    std::string full = listsAll ? directory : directory + pattern;
    if (full.size() + 1 >= platform::maxPath) return found;
    platform::FindData data;
    platform::SearchHandle h = listsAll ? platform::findEveryEntry(full.c_str(), &data)
                                           : platform::FindFirstFileA(full.c_str(), &data);
    if (!h) return found;
    bool matchedHere = listsAll && !everything;
    Wildcard wildcard = matchedHere ? prepareWildcard(pattern) : Wildcard{pattern, 0, 0, 0};
    std::vector<Listed> entries;
    do {
        const char* name = data.fileName;
        std::size_t length = std::strlen(name);
        if (isDotOrDotDot(name) || isLeftoverName(name, length)) continue;
        if (matchedHere && !wildcardMatch(wildcard, name, length)) continue;
        bool isDirectory = (data.attributes & platform::attributeDirectory) != 0;
        entries.push_back({found.text.size(), length, isDirectory && !(data.attributes & reparsePoint),
                           data.attributes, data.identified, data.identity});
        found.text.append(name, length + 1);
    } while (platform::FindNextFileA(h, &data));
    platform::FindClose(h);
    std::vector<const char*> names;
    names.reserve(entries.size());
    for (const Listed& e : entries) names.push_back(found.name(e));
    found.entries.reserve(entries.size());
    for (int k : sortedOrder(names.data(), static_cast<int>(names.size())))
        found.entries.push_back(entries[static_cast<std::size_t>(k)]);
    return found;
}

// The folders in which version control keeps its own records: their names
// and everything in them are the tool's, not the user's.
bool isVersionControlFolder(const char* name) {
    static const char* const folders[] = {".git", ".hg", ".svn", ".bzr", "_darcs", "CVS"};
    for (const char* folder : folders)
        if (equalsIgnoreCase(name, folder)) return true;
    return false;
}

// What the walk leaves alone unless /a asks for it: hidden entries, and
// version-control folders with all below them.
bool isKeptOut(const Listing& listing, const Listed& e) {
    if (settings.allEntries) return false;
    return (e.attributes & hiddenAttribute) || (e.walkable && isVersionControlFolder(listing.name(e)));
}

// Takes out of `listing` what the walk leaves alone, counting each but a
// folder (counted where the walk passed it over). Most listings lose none.
void keepOut(Report& report, Listing& listing) {
    std::vector<Listed>& entries = listing.entries;
    auto out = [&listing](const Listed& e) { return isKeptOut(listing, e); };
    auto first = std::find_if(entries.begin(), entries.end(), out);
    if (first == entries.end()) return;
    for (auto e = first; e != entries.end(); ++e)
        if (out(*e) && !e->walkable) countKeptOut(report);
    entries.erase(std::remove_if(first, entries.end(), out), entries.end());
}

struct Walk {
    RunContext* run;  // none while only measuring
    const char* last;  // the argument's last component
    uint32_t typed;  // the length of the argument's directory part
    int columnWidth;
    const WalkHandler& handle;
    std::set<std::pair<uint64_t, uint64_t>> seen;  // volumes and file numbers
    // Only measuring: the widest path met, until `enough`, and the entries.
    bool measuring = false;
    std::size_t enough = 0;
    WalkMeasure measured{};

    void measure(std::size_t length) {
        measured.widest = std::max(measured.widest, length);
        ++measured.entries;
    }

    // A plain name is looked for in each directory: it is shown only where
    // it is found.
    void measureNamed(const std::string& path) {
        platform::FindData found;
        if (platform::lookUpEntry(path.c_str(), &found)) measure(path.size());
    }

    // The starting directory counts too: a bind mount or a loop inside the
    // tree may lead back to it.
    bool firstVisit(const std::string& directory) {
        platform::EntryIdentity identity;
        if (!platform::directoryIdentity(directory.c_str(), &identity)) return true;
        return seen.insert({identity.volume, identity.file}).second;
    }

    void walk(const std::string& directory) {
        if (measuring && measured.widest >= enough) return;
        if (!firstVisit(directory)) return;
        if (!platform::canListDirectory(directory.c_str())) {
            if (measuring) {
                measured.widest = std::max(measured.widest, directory.size());  // it is shown
                return;
            }
            std::string shown = directory.empty() ? "." : directory;
            reportResult(run->report, ResultKind::unreadable, shown.c_str(), columnWidth);
            failureStep(*run, shown.c_str());
            return;
        }
        // Leftovers of a killed run first, so that what is put back is walked
        // and handled as it would have been.
        if (!measuring && recoverDirectory(*run, directory).failed) failureStep(*run, directory.c_str());
        // One listing serves both where the pattern is "*".
        Listing all = list(directory, "*");
        for (const Listed& sub : all.entries) {
            if (!sub.walkable) continue;
            // A folder kept out is counted once, here, whether the pattern
            // matches it or not.
            if (isKeptOut(all, sub)) {
                if (!measuring) countKeptOut(run->report);
                continue;
            }
            std::string below = directory;
            below.append(all.name(sub), sub.length);
            below += platform::pathSeparator;
            walk(below);
        }
        if (!hasWildcard(last)) {
            if (measuring)
                measureNamed(directory + last);
            else
                handle((directory + last).c_str(), nullptr, typed);
            return;
        }
        bool everything = std::strcmp(last, "*") == 0;
        Listing some;
        if (!everything) some = list(directory, last);
        Listing& matched = everything ? all : some;
        if (measuring) {
            for (const Listed& e : matched.entries)
                if (!isKeptOut(matched, e)) measure(directory.size() + e.length);
            return;
        }
        keepOut(run->report, matched);
        handleWindows(directory, matched);
    }

    // The entries a window at a time, their renames recorded ahead.
    void handleWindows(const std::string& directory, const Listing& listing) {
        const std::vector<Listed>& entries = listing.entries;
        std::string paths;  // the window's paths, each after the one before, one allocation for all
        std::vector<Entry> window;
        for (std::size_t start = 0; start < entries.size(); start += journalWindow) {
            std::size_t end = std::min(entries.size(), start + journalWindow);
            paths.clear();
            for (std::size_t i = start; i < end; ++i) {
                paths += directory;
                paths.append(listing.name(entries[i]), entries[i].length + 1);
            }
            window.clear();
            const char* path = paths.data();
            for (std::size_t i = start; i < end; ++i) {
                const Listed& e = entries[i];
                window.push_back(Entry::listed(path, directory.size() + e.length, directory.size(), e.attributes,
                                             e.identified, e.identity, typed));
                path += directory.size() + e.length + 1;
            }
            if (journalIsOn(run->journal)) {
                for (Entry& entry : window) addToBatch(*run, entry);
                writeBatch(*run);
            }
            for (const Entry& entry : window) handle(entry.path, &entry, typed);
        }
    }
};

}  // namespace

WalkMeasure measureWalk(const char* argument, std::size_t enough) {
    std::string directory(argument, directoryLength(argument));
    WalkHandler none;
    Walk walk{nullptr, argument + directory.size(), static_cast<uint32_t>(directory.size()), 0, none, {}};
    walk.measuring = true;
    walk.enough = enough;
    walk.walk(directory);
    return walk.measured;
}

void walkTree(RunContext& run, const char* argument, int columnWidth, const WalkHandler& handle) {
    std::string directory(argument, directoryLength(argument));
    Walk walk{&run, argument + directory.size(), static_cast<uint32_t>(directory.size()), columnWidth, handle, {}};
    walk.walk(directory);
}
