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
#include "driver/context.h"
#include "driver/failure.h"
#include "driver/journey.h"
#include "driver/settings.h"
#include "driver/switch_pass.h"
#include "driver/tree.h"
#include "driver/undo.h"
#include "help/help.h"
#include "platform/glob.h"
#include "sjis/messages.h"
#include "sjis/sjis.h"

namespace {

const platform::CommandLineDialect& dialect() { return platform::commandLineDialect(); }

// What the expansion alone knows of argument `i`, into `planned`.
void unplanned(const RunContext& run, char* const* arguments, int i, Planned& planned) {
    Expanded e = expansionAt(run.expansions, arguments, i);
    planned.pattern = e.pattern;
    if (!e.pattern) return;
    const char* path = arguments[i];
    const ListedEntry& listed = e.listed;
    planned.entry =
        Entry::listed(path, e.length, e.nameAt, listed.attributes, listed.identified, listed.identity);
}
// Records ahead the renames that the listed entries from `first` on are to
// get, a window at a time, so that the journal is written once per window
// and not once per name. Gives the index after the window.
int recordWindow(RunContext& run, char* const* arguments, int first, int count) {
    NamePass::Window& window = run.names.window;
    window.first = first;
    window.planned.clear();
    int i = first;
    for (int recorded = 0; i < count && recorded < journalWindow; ++i) {
        Planned& planned = window.planned.emplace_back();
        unplanned(run, arguments, i, planned);
        if (planned.pattern && isNameAt(run.kinds, i)) {
            addToBatch(run, planned.entry);
            ++recorded;
        }
    }
    writeBatch(run);
    return i;
}

// What is known of argument `i`, valid until the next call.
const Planned& plannedAt(RunContext& run, char* const* arguments, int i) {
    const NamePass::Window& window = run.names.window;
    std::size_t at = static_cast<std::size_t>(i - window.first);
    if (i >= window.first && at < window.planned.size()) return window.planned[at];
    unplanned(run, arguments, i, run.names.outside);
    return run.names.outside;
}

// An entry as /s walked to it.
Sought handleWalked(RunContext& run, const char* path, const Entry* listed, uint32_t walkedFrom, int columnWidth,
                    bool quietIfMissing) {
    return listed ? handleListed(run, *listed, columnWidth, quietIfMissing)
                  : handleEntry(run, path, columnWidth, quietIfMissing, unknownLength, walkedFrom);
}

// True when `pattern` finds the entry `name` of its directory.
bool patternFinds(MatchSearch& search, const char* pattern, const std::string& name) {
    for (const char* match = findMatch(search, pattern); match; match = findMatch(search, nullptr))
        if (name == match) {
            closeMatchSearch(search);
            return true;
        }
    return false;
}

// A name without /s. Leftovers of a killed run in its directory are put back
// first, and each one that the name's pattern finds is then handled as it
// would have been: the expansion at start could not see it.
void handlePlainName(RunContext& run, const char* argument, const Planned& planned, int columnWidth) {
    std::size_t nameAt = planned.pattern ? planned.entry.nameAt : directoryLength(argument);
    Recovery recovery;
    if (!lookedAtLast(run.recovered, argument, nameAt)) recovery = recoverLeftovers(run, argument, nameAt);
    if (recovery.failed) failureStep(run, argument);
    const std::vector<std::string>& restored = recovery.restored;
    if (restored.empty()) {  // the common case
        if (planned.pattern)
            handleListed(run, planned.entry, columnWidth, false);
        else
            handleEntry(run, argument, columnWidth, false, nameAt);
        return;
    }
    const char* pattern = planned.pattern;
    if (!pattern && hasWildcard(argument)) pattern = argument;  // it matched nothing at start
    bool handled = false;
    for (const std::string& name : restored) {
        if (!pattern || !patternFinds(run.matches, pattern, name)) continue;
        handleEntry(run, (std::string(argument, nameAt) + name).c_str(), columnWidth, false);
        handled = true;
    }
    // A pattern that matched nothing at start has now found what was put back.
    if (handled && pattern == argument) return;
    handleEntry(run, argument, columnWidth, false);
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
[[gnu::noinline, gnu::cold]] WalkMeasure measureWalks(const RunContext& run, int first, int end, char** arguments,
                                                      std::size_t enough) {
    WalkMeasure all;
    const char* last = nullptr;
    for (int i = first; i < end; ++i) {
        if (!isNameAt(run.kinds, i)) continue;
        const char* argument = arguments[i];
        Planned planned;
        unplanned(run, arguments, i, planned);
        if (const char* pattern = planned.pattern) {
            if (pattern == last || (i > first && pattern == run.names.lastPattern)) continue;
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

// The entries that a stop at the current argument leaves untouched: those
// the arguments after it name or match, and under /s those of its own walk
// not met yet.
[[gnu::cold]] unsigned long untouchedEntries(RunContext& run) {
    const NamePass& position = run.names;
    if (!position.arguments) return 0;
    if (!settings.recurse) {
        unsigned long left = 0;
        for (int i = position.current + 1; i < position.count; ++i) left += isNameAt(run.kinds, i);
        return left;
    }
    unsigned long all = measureWalks(run, position.current, position.count, position.arguments, widestColumn).entries;
    unsigned long met = entriesMet(run.report) - position.metBefore;  // the one stopped at too
    return all > met ? all - met : 0;
}

void handleName(RunContext& run, const char* argument, const Planned& planned, int columnWidth) {
    if (!settings.recurse) {
        handlePlainName(run, argument, planned, columnWidth);
        return;
    }
    // The expansion at start matched the pattern here only: each pattern is
    // walked once, in place of its first match.
    if (const char* pattern = planned.pattern) {
        if (pattern == run.names.lastPattern) return;
        run.names.lastPattern = pattern;
        argument = pattern;
    }
    std::string below;
    if (isNamedFolder(argument, below)) {
        walkTree(run, below.c_str(), columnWidth,
                 [&run, columnWidth](const char* path, const Entry* listed, uint32_t walkedFrom) {
                     handleWalked(run, path, listed, walkedFrom, columnWidth, false);
                 });
        handleEntry(run, argument, columnWidth, false);
        return;
    }
    // A name found nowhere in the tree is reported once, as typed; what a
    // wildcard found in a listing is there, and is reported if it cannot be
    // reached (a path beyond the system's limit).
    bool found = false;
    bool plain = !hasWildcard(argument + directoryLength(argument));
    walkTree(run, argument, columnWidth,
             [&run, &found, columnWidth, plain](const char* path, const Entry* listed, uint32_t walkedFrom) {
                 found = handleWalked(run, path, listed, walkedFrom, columnWidth, plain) == Sought::found || found;
             });
    if (!found) {
        reportNotFound(run, argument, columnWidth);
        failureStep(run, argument);
    }
}

}  // namespace

int runCommand(int count, char** arguments, Expansions expansions) {
    settings.english = platform::readsEnglish();
    RunContext run;
    run.expansions = std::move(expansions);
    bool noMemory = false;
    OwnedString executable = runningExecutable(arguments[0], &noMemory);
    // Without it the configuration file would be passed over in silence.
    if (noMemory) outOfMemory();
    // Entry 0 lives as long as the process, like the rest of the vector.
    static OwnedString located;
    static char empty[] = "";
    located = std::move(executable);
    arguments[0] = located ? located.get() : empty;
    if (arguments[0][0] != '\0' && loadConfig(arguments[0], &settings.switchChar) == ConfigOutcome::outOfMemory)
        outOfMemory();
    tellArguments(run, count, arguments);
    SwitchPass pass = readSwitches(run, count, arguments);
    if (pass.exitCode >= 0) return pass.exitCode;
    if (settings.shiftJisNames != platform::shiftJisNames()) {
        // The configuration file chose how the disk's names are written: the
        // arguments are read again, and their wildcards expanded, that way.
        platform::useShiftJisNames(settings.shiftJisNames);
        int originalCount = 0;
        const char* const* original = platform::originalArguments(&originalCount);
        arguments =
            buildArgumentVector(platform::GetCommandLineA(), original, originalCount, &count, run.expansions);
        arguments[0] = located ? located.get() : empty;
        tellArguments(run, count, arguments);
        pass = readSwitches(run, count, arguments);
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
        if (pass.list) return listRuns(run);
        startJournal(run.journal, false, !settings.testMode);  // what is taken back is not itself recorded
        return pass.undoNumber ? undoRun(run, pass.undoNumber) : undoLastRun(run);
    }
    if (names == 0) return helpEnds(run, arguments[0], 1);
    startJournal(run.journal, settings.journal && !settings.testMode, !settings.testMode);

    run.report.mayShowOnConsole = platform::outputIsConsole();
    startResultPager(run);
    // The column is only drawn under /v+k; measuring it looks every name up
    // once more, so it is done only then.
    int columnWidth = 0;
    if (settings.showSkipped) {
        const ArgumentKinds& kinds = run.kinds;
        std::size_t widest = widestNameLength(count, arguments, [&kinds](int i) { return isNameAt(kinds, i); });
        // Under /s each walked entry is shown with its path.
        if (settings.recurse)
            widest = std::max(widest, measureWalks(run, 1, count, arguments, widestColumn).widest);
        columnWidth = widest > widestColumn ? widestColumn : static_cast<int>(widest);
    }
    bool ahead = journalIsOn(run.journal) && !settings.recurse;
    NamePass& position = run.names;
    position.count = count;
    position.arguments = arguments;
    countUntouchedBy(run, untouchedEntries);
    settleWith(run.report, [&run] { settleDeferredRenames(run); });
    for (int i = 1, recordedUntil = 1; i < count; ++i) {
        if (ahead && i >= recordedUntil) recordedUntil = recordWindow(run, arguments, i, count);
        if (!isNameAt(run.kinds, i)) continue;
        position.current = i;
        if (settings.recurse) position.metBefore = entriesMet(run.report);  // only a walk is counted from it
        handleName(run, arguments[i], plannedAt(run, arguments, i), columnWidth);
    }
    settleWaitingLines(run.report);
    countUntouchedBy(run, nullptr);
    settleWith(run.report, nullptr);
    endJournal(run.journal);
    reportSummary(run.report);
    return run.failures.errorOccurred ? 2 : 0;
}
