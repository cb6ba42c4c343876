#include "driver/switch_pass.h"

#include <cstring>
#include <string>
#include <vector>

#include "console/ending.h"
#include "convert/path.h"
#include "driver/arguments.h"
#include "driver/context.h"
#include "driver/settings.h"
#include "help/help.h"
#include "platform/platform.h"
#include "sjis/messages.h"
#include "sjis/sjis.h"

namespace {

const platform::CommandLineDialect& dialect() { return platform::commandLineDialect(); }

bool isHelpRequest(const char* argument) {
    return argument[1] == '?' || equalsIgnoreCase(argument + 1, "help");
}

}  // namespace

void tellArguments(RunContext& run, int count, char** arguments) {
    ArgumentKinds& kinds = run.kinds;
    kinds.assign(static_cast<std::size_t>(count), ArgumentKind::name);
    bool gnu = dialect().gnu;
    bool switchesEnded = false;
    for (int i = 1; i < count; ++i) {
        // What a listing found is a name as it stands: the common case first.
        if (isExpanded(run.expansions, arguments, i)) continue;
        char* argument = arguments[i];
        ArgumentKind& kind = kinds[static_cast<std::size_t>(i)];
        if (!switchesEnded && isSwitchArgument(argument)) {
            switchesEnded = gnu && equalStrings(argument, "--");
            kind = switchesEnded ? ArgumentKind::endOfSwitches : ArgumentKind::switchText;
            continue;
        }
        if (!gnu) continue;
        std::size_t n = std::strlen(argument);
        while (n > 1 && argument[n - 1] == '/') argument[--n] = '\0';
    }
}

int helpEnds(RunContext& run, const char* programPath, int exitCode) {
    switch (showHelp(run.helpPager, programPath)) {
        case HelpOutcome::shown: return exitCode;
        case HelpOutcome::quit: return run.helpPager.exitCode;
        case HelpOutcome::outOfMemory: break;
    }
    outOfMemory();
}

SwitchPass readSwitches(RunContext& run, int count, char** arguments) {
    SwitchPass pass;
    for (int i = 1; i < count; ++i) {
        const char* argument = arguments[i];
        ArgumentKind kind = run.kinds[static_cast<std::size_t>(i)];
        if (kind == ArgumentKind::endOfSwitches) continue;
        if (kind == ArgumentKind::name) {
            ++pass.names;
            // A Windows habit on Linux: "/test" that names nothing would
            // otherwise let the run rename for real.
            if (dialect().shell && argument[0] == '/' && isDocumentedSwitch(argument) &&
                !isExpanded(run.expansions, arguments, i) &&
                queryAttributes(argument) == platform::invalidAttributes) {
                std::string dashed = std::string("-") + (argument + 1);
                fatalError(text::windowsSwitch, argument, dashed.c_str());
            }
            continue;
        }
        // The usage screen ends the run: 1, as for a mistake, but 0 where
        // GNU ways ask for it by name.
        if (dialect().gnu && equalStrings(argument, "--help")) {
            pass.exitCode = helpEnds(run, arguments[0], 0);
            return pass;
        }
        if (dialect().gnu && equalStrings(argument, "--version")) {
            showVersion(arguments[0]);
            pass.exitCode = 0;
            return pass;
        }
        if (isHelpRequest(argument)) {
            pass.exitCode = helpEnds(run, arguments[0], 1);
            return pass;
        }
        if (isUndoSwitch(argument, &pass.undoNumber)) {
            pass.undo = argument;
            continue;
        }
        if (isListSwitch(argument)) {
            pass.list = true;
            if (!pass.undo) pass.undo = argument;
            continue;
        }
        // A mistyped switch on a POSIX command line ends the run before any
        // name is touched; Windows skips it in silence.
        if (dialect().gnu && !isDocumentedSwitch(argument)) {
            OwnedString name = commandNameFromPath(arguments[0][0] ? arguments[0] : "tavisk");
            fatalError(text::unknownSwitch, argument, name ? name.get() : "tavisk");
        }
        applySwitches(argument);
    }
    return pass;
}

