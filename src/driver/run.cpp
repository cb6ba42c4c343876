#include "driver/run.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "config/loader.h"
#include "console/layout.h"
#include "console/pager.h"
#include "console/progress.h"
#include "console/report.h"
#include "convert/decision.h"
#include "convert/journal.h"
#include "convert/recover.h"
#include "convert/rename.h"
#include "driver/arguments.h"
#include "driver/failure.h"
#include "driver/settings.h"
#include "driver/switch_pass.h"
#include "driver/tree.h"
#include "driver/undo.h"
#include "help/help.h"
#include "platform/glob.h"
#include "sjis/messages.h"
#include "sjis/sjis.h"

namespace {

// The pattern whose walk under /s was last made: its other matches are
// passed over. Forgotten as a run starts, since a new run's patterns may
// take the old ones' places in memory.
const char* lastPattern = nullptr;

const platform::CommandLineDialect& dialect() { return platform::commandLineDialect(); }

// What is known of each argument, by index, for its rename: the pattern
// whose expansion produced it (nullptr for none), and then the entry as the
// listing gave it and as recording its window left it (the decision, the
// journal's record of the rename, and the identity, which the system was
// asked for where the listing gave none).
struct Planned {
    const char* pattern;
    Entry entry;
};

// What the expansion alone knows of argument `i`, into `planned`.
void unplanned(char* const* arguments, int i, Planned& planned) {
    Expanded e = expansionAt(arguments, i);
    planned.pattern = e.pattern;
    if (!e.pattern) return;
    const char* path = arguments[i];
    const ListedEntry& listed = e.listed;
    planned.entry =
        listedEntry(path, std::strlen(path), e.nameAt, listed.attributes, listed.identified, listed.identity);
}
struct Window {
    int first = 0;
    std::vector<Planned> planned;
};
Window window;

// Records ahead the renames that the listed entries from `first` on are to
// get, a window at a time, so that the journal is written once per window
// and not once per name. Gives the index after the window.
int recordWindow(char* const* arguments, int first, int count) {
    window.first = first;
    window.planned.clear();
    int i = first;
    for (int recorded = 0; i < count && recorded < journalWindow; ++i) {
        Planned& planned = window.planned.emplace_back();
        unplanned(arguments, i, planned);
        if (planned.pattern && isNameAt(arguments, i)) {
            recordAheadOf(planned.entry);
            ++recorded;
        }
    }
    if (!writeAhead()) journalFailure();
    return i;
}

// What is known of argument `i`, valid until the next call.
const Planned& plannedAt(char* const* arguments, int i) {
    std::size_t at = static_cast<std::size_t>(i - window.first);
    if (i >= window.first && at < window.planned.size()) return window.planned[at];
    static Planned outside;
    unplanned(arguments, i, outside);
    return outside;
}

void reportNotFound(const char* name, int columnWidth) {
    reportResult(ResultKind::notFound, name, columnWidth);
}

bool handleFound(const Entry& entry, int columnWidth);

// The preview meets an entry it has already shown renamed where the run
// would have left it: under its new name. False, with nothing done, for any
// other entry. Out of the way of the run's own path.
[[gnu::noinline]] bool handleMovedByPreview(const Entry& entry, int columnWidth, bool* handled) {
    Entry moved;
    std::string movedPath;
    if (!previewedEntry(entry, moved, movedPath)) return false;
    *handled = handleFound(moved, columnWidth);
    return true;
}

// One entry as found: decided, renamed and reported. False for an entry of
// a listing that is to be looked up (see lowerCaseEntry), with nothing
// reported.
bool handleFound(const Entry& entry, int columnWidth) {
    bool handled = false;
    if (settings.testMode && handleMovedByPreview(entry, columnWidth, &handled)) return handled;
    OwnedString displayName;
    if (settings.showSkipped) {
        displayName = fitDisplayName(entry.path, static_cast<std::size_t>(columnWidth));
        if (!displayName) outOfMemory();
    }
    if (!kindIncluded(entry.attributes)) {
        if (entry.fromListing) return false;  // looked up first: it may be gone
        countPassedOver(entry.path);
        return true;
    }
    switch (lowerCaseEntry(entry, displayName ? displayName.get() : "", columnWidth)) {
        case EntryOutcome::lookUp: return false;
        case EntryOutcome::failed: failureStep(entry.path); break;
        case EntryOutcome::unrecorded: journalFailure();
        case EntryOutcome::handled: break;
    }
    return true;
}

// One entry. A name that is not found is reported unless `quietIfMissing`
// (a plain name that /s looks for in a subdirectory).
bool handleEntry(const char* argument, int columnWidth, bool quietIfMissing,
                 std::size_t nameAt = unknownLength, uint32_t walkedFrom = notWalked) {
    Entry entry;
    OwnedString storage;
    Lookup found = findEntry(argument, entry, storage, nameAt);
    if (found == Lookup::outOfMemory) outOfMemory();
    if (found == Lookup::notFound) {
        if (quietIfMissing) return false;
        reportNotFound(argument, columnWidth);
        failureStep(argument);
        return false;
    }
    entry.walkedFrom = walkedFrom;
    handleFound(entry, columnWidth);
    return true;
}

// An entry as a listing found it, handled without looking it up again;
// looked up as typed where the listing no longer holds.
bool handleListed(const Entry& entry, int columnWidth, bool quietIfMissing) {
    return handleFound(entry, columnWidth) ||
           handleEntry(entry.path, columnWidth, quietIfMissing, entry.nameAt, entry.walkedFrom);
}

// An entry as /s walked to it.
bool handleWalked(const char* path, const Entry* listed, uint32_t walkedFrom, int columnWidth,
                  bool quietIfMissing) {
    return listed ? handleListed(*listed, columnWidth, quietIfMissing)
                  : handleEntry(path, columnWidth, quietIfMissing, unknownLength, walkedFrom);
}

// True when `pattern` finds the entry `name` of its directory.
bool patternFinds(const char* pattern, const std::string& name) {
    for (const char* match = findMatch(pattern); match; match = findMatch(nullptr))
        if (name == match) {
            closeMatchSearch();
            return true;
        }
    return false;
}

// A name without /s. Leftovers of a killed run in its directory are put back
// first, and each one that the name's pattern finds is then handled as it
// would have been: the expansion at start could not see it.
void handlePlainName(const char* argument, const Planned& planned, int columnWidth) {
    std::size_t nameAt = planned.pattern ? planned.entry.nameAt : directoryLength(argument);
    Recovery recovery = recoverLeftovers(argument, nameAt);
    if (recovery.failed) failureStep(argument);
    const std::vector<std::string>& restored = recovery.restored;
    if (restored.empty()) {  // the common case
        if (planned.pattern)
            handleListed(planned.entry, columnWidth, false);
        else
            handleEntry(argument, columnWidth, false, nameAt);
        return;
    }
    const char* pattern = planned.pattern;
    if (!pattern && hasWildcard(argument)) pattern = argument;  // it matched nothing at start
    bool handled = false;
    for (const std::string& name : restored) {
        if (!pattern || !patternFinds(pattern, name)) continue;
        handleEntry((std::string(argument, nameAt) + name).c_str(), columnWidth, false);
        handled = true;
    }
    // A pattern that matched nothing at start has now found what was put back.
    if (handled && pattern == argument) return;
    handleEntry(argument, columnWidth, false);
}

// On Linux, as chmod -R and find do, a directory named without wildcards
// is worked on with everything below it: the pattern of what is below it,
// under the spelling stored (typed in another case too), into `below`.
[[gnu::noinline]] bool isNamedFolder(const char* argument, std::string& below) {
    if (!dialect().shell || hasWildcard(argument)) return false;
    OwnedString stored = resolveLongPath(argument);
    const char* folder = stored ? stored.get() : argument;
    uint32_t attributes = queryAttributes(folder);
    if (attributes == platform::invalidAttributes || !(attributes & platform::attributeDirectory)) return false;
    below = std::string(folder) + platform::pathSeparator + "*";
    return true;
}

// What the walks of /s of the arguments in [first, end) would meet, each
// pattern walked once (the one at `first` whatever came before it).
[[gnu::noinline, gnu::cold]] WalkMeasure measureWalks(int first, int end, char** arguments, std::size_t enough) {
    WalkMeasure all;
    const char* last = nullptr;
    for (int i = first; i < end; ++i) {
        if (!isNameAt(arguments, i)) continue;
        const char* argument = arguments[i];
        Planned planned;
        unplanned(arguments, i, planned);
        if (const char* pattern = planned.pattern) {
            if (pattern == last || (i > first && pattern == lastPattern)) continue;
            last = argument = pattern;
        }
        std::string below;
        bool folder = isNamedFolder(argument, below);
        WalkMeasure one = measureWalk(folder ? below.c_str() : argument, enough);
        all.widest = std::max(all.widest, one.widest);
        all.entries += one.entries + (folder ? 1 : 0);
    }
    return all;
}

// Where the run is: the argument being handled, and the entries met before
// it, for what a stop leaves untouched.
struct Position {
    int count = 0;
    char** arguments = nullptr;
    int current = 0;
    unsigned long metBefore = 0;
};
Position position;

// The entries that a stop at the current argument leaves untouched: those
// the arguments after it name or match, and under /s those of its own walk
// not met yet.
[[gnu::cold]] unsigned long untouchedEntries() {
    if (!position.arguments) return 0;
    if (!settings.recurse) {
        unsigned long left = 0;
        for (int i = position.current + 1; i < position.count; ++i) left += isNameAt(position.arguments, i);
        return left;
    }
    unsigned long all = measureWalks(position.current, position.count, position.arguments, widestColumn).entries;
    unsigned long met = entriesMet() - position.metBefore;  // the one stopped at too
    return all > met ? all - met : 0;
}

void handleName(const char* argument, const Planned& planned, int columnWidth) {
    if (!settings.recurse) {
        handlePlainName(argument, planned, columnWidth);
        return;
    }
    // The expansion at start matched the pattern here only: each pattern is
    // walked once, in place of its first match.
    if (const char* pattern = planned.pattern) {
        if (pattern == lastPattern) return;
        lastPattern = pattern;
        argument = pattern;
    }
    std::string below;
    if (isNamedFolder(argument, below)) {
        walkTree(below.c_str(), columnWidth, [columnWidth](const char* path, const Entry* listed, uint32_t walkedFrom) {
            handleWalked(path, listed, walkedFrom, columnWidth, false);
        });
        handleEntry(argument, columnWidth, false);
        return;
    }
    // A name found nowhere in the tree is reported once, as typed; what a
    // wildcard found in a listing is there, and is reported if it cannot be
    // reached (a path beyond the system's limit).
    bool found = false;
    bool plain = !hasWildcard(argument + directoryLength(argument));
    walkTree(argument, columnWidth,
             [&found, columnWidth, plain](const char* path, const Entry* listed, uint32_t walkedFrom) {
                 found = handleWalked(path, listed, walkedFrom, columnWidth, plain) || found;
             });
    if (!found) {
        reportNotFound(argument, columnWidth);
        failureStep(argument);
    }
}

}  // namespace

int runCommand(int count, char** arguments) {
    lastPattern = nullptr;
    settings.english = platform::readsEnglish();
    bool noMemory = false;
    OwnedString executable = runningExecutable(arguments[0], &noMemory);
    // Without it the configuration file would be passed over in silence.
    if (noMemory) outOfMemory();
    // Entry 0 lives as long as the process, like the rest of the vector.
    static OwnedString located;
    static char empty[] = "";
    located = std::move(executable);
    arguments[0] = located ? located.get() : empty;
    if (arguments[0][0] != '\0') loadConfig(arguments[0], &settings.switchChar);
    tellArguments(count, arguments);
    SwitchPass pass = readSwitches(count, arguments);
    if (pass.exitCode >= 0) return pass.exitCode;
    if (settings.shiftJisNames != platform::shiftJisNames()) {
        // The configuration file chose how the disk's names are written: the
        // arguments are read again, and their wildcards expanded, that way.
        platform::useShiftJisNames(settings.shiftJisNames);
        int originalCount = 0;
        const char* const* original = platform::originalArguments(&originalCount);
        forgetExpansions();
        arguments = buildArgumentVector(platform::GetCommandLineA(), original, originalCount, &count);
        arguments[0] = located ? located.get() : empty;
        tellArguments(count, arguments);
        pass = readSwitches(count, arguments);
        if (pass.exitCode >= 0) return pass.exitCode;
    }
    progress().start(settings.progress && platform::errorIsConsole());
    // The form for scripts has no pages, column or count: a record an entry.
    if (settings.porcelain) settings.pauseMode = settings.showSkipped = settings.showSummary = false;
    int names = pass.names;
    const char* undo = pass.undo;
    if (undo) {
        // The journal names what is taken back; a name beside it would
        // suggest that only that name is.
        if (names) fatalError(text::undoWithNames, undo);
        if (pass.list) return listRuns();
        startJournal(false, !settings.testMode);  // what is taken back is not itself recorded
        return pass.undoNumber ? undoRun(pass.undoNumber) : undoLastRun();
    }
    if (names == 0) return helpEnds(arguments[0], 1);
    startJournal(settings.journal && !settings.testMode, !settings.testMode);

    setUpResultPager(settings.pauseMode, 1);
    if (settings.pauseMode) countOutput(screenColumns, promptText);
    // The column is only drawn under /v+k; measuring it looks every name up
    // once more, so it is done only then.
    int columnWidth = 0;
    if (settings.showSkipped) {
        std::size_t widest = widestNameLength(count, arguments, isNameAt);
        // Under /s each walked entry is shown with its path.
        if (settings.recurse)
            widest = std::max(widest, measureWalks(1, count, arguments, static_cast<std::size_t>(widestColumn)).widest);
        columnWidth = widest > widestColumn ? widestColumn : static_cast<int>(widest);
    }
    bool ahead = journalIsOn() && !settings.recurse;
    window = Window{};
    position = Position{count, arguments, 0, 0};
    countUntouchedBy(untouchedEntries);
    settleWith(settleDeferredRenames);
    for (int i = 1, recordedUntil = 1; i < count; ++i) {
        if (ahead && i >= recordedUntil) recordedUntil = recordWindow(arguments, i, count);
        if (!isNameAt(arguments, i)) continue;
        position.current = i;
        if (settings.recurse) position.metBefore = entriesMet();  // only a walk is counted from it
        handleName(arguments[i], plannedAt(arguments, i), columnWidth);
    }
    settleWaitingLines();
    countUntouchedBy(nullptr);
    settleWith(nullptr);
    endJournal();
    reportSummary();
    return errorOccurred ? 2 : 0;
}
