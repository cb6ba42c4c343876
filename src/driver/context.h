// Everything one run of the command keeps while it runs, in one record that
// the command run makes and hands down by reference. Each part's type is
// its module's own; only the settings stay process-wide (settings.h).
#pragma once

#include <vector>

#include "console/pager.h"
#include "console/report.h"
#include "convert/deferred.h"
#include "convert/journal.h"
#include "convert/path.h"
#include "convert/recover.h"
#include "convert/rename.h"
#include "driver/arguments.h"
#include "driver/failure.h"
#include "driver/switch_pass.h"

// What is known of an argument, by index, for its rename: the pattern whose
// expansion produced it (nullptr for none), and then the entry as the
// listing gave it and as recording its window left it (the decision, the
// journal's record of the rename, and the identity, which the system was
// asked for where the listing gave none).
struct Planned {
    const char* pattern = nullptr;
    Entry entry{};
};

// The pass over the names: the window of arguments recorded ahead, where the
// run is (the argument being handled, and the entries met before it, for
// what a stop leaves untouched), and the pattern whose walk under /s was
// last made, whose other matches are passed over.
struct NamePass {
    struct Window {
        int first = 0;
        std::vector<Planned> planned;
    } window;
    Planned outside;  // an argument outside the window, as plannedAt last gave it
    int count = 0;
    char** arguments = nullptr;
    int current = 0;
    unsigned long metBefore = 0;
    const char* lastPattern = nullptr;
};

struct RunContext {
    Expansions expansions;  // what the wildcards of the argument vector found
    MatchSearch matches;
    ArgumentKinds kinds;
    Journal journal;
    Renames renames;
    Recovered recovered;
    std::vector<DeferredCheck> deferred;
    Report report;
    HelpPager helpPager;
    Failures failures;
    NamePass names;
};
