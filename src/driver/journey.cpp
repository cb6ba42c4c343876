#include "driver/journey.h"

#include <string>

#include "console/ending.h"
#include "console/layout.h"
#include "console/report.h"
#include "convert/decision.h"
#include "convert/journal.h"
#include "convert/rename.h"
#include "driver/context.h"
#include "driver/failure.h"
#include "driver/settings.h"

void addToBatch(RunContext& run, Entry& entry) { recordAheadOf(run.journal, entry); }

void writeBatch(RunContext& run) {
    if (!writeAhead(run.journal)) journalFailure(run);
}

void reportNotFound(RunContext& run, const char* name, int columnWidth) {
    reportResult(run.report, ResultKind::notFound, name, columnWidth);
}

namespace {

// The preview meets an entry it has already shown renamed where the run
// would have left it: it is taken under its new name, into `handled`. False,
// with nothing done, for any other entry. Out of the way of the run's own path.
[[gnu::noinline]] bool handleMovedByPreview(RunContext& run, const Entry& entry, int columnWidth, Handled& handled) {
    Entry moved;
    std::string movedPath;
    if (!previewedEntry(run.renames, entry, moved, movedPath)) return false;
    handled = handleFound(run, moved, columnWidth);
    return true;
}

// The decision, the rename and the report of an entry of a kind the run takes,
// `displayName` shown in the aligned column.
Handled decideAndRename(RunContext& run, const Entry& entry, const char* displayName, int columnWidth) {
    switch (lowerCaseEntry(run, entry, displayName, columnWidth)) {
        case EntryOutcome::lookUp: return Handled::lookUp;
        case EntryOutcome::failed: failureStep(run, entry.path); return Handled::done;
        case EntryOutcome::handled: return Handled::done;
        case EntryOutcome::unrecorded: journalFailure(run);  // ends the run before another rename
    }
    return Handled::done;
}

// The same under the aligned layout, which shows a name fitted to its column.
[[gnu::noinline]] Handled decideAndRenameAligned(RunContext& run, const Entry& entry, int columnWidth) {
    OwnedString displayName = fitDisplayName(entry.path, static_cast<std::size_t>(columnWidth));
    if (!displayName) outOfMemory();
    return decideAndRename(run, entry, displayName.get(), columnWidth);
}

}  // namespace

Handled handleFound(RunContext& run, const Entry& entry, int columnWidth) {
    Handled previewed;
    if (settings.testMode && handleMovedByPreview(run, entry, columnWidth, previewed)) return previewed;
    if (!kindIncluded(entry.attributes)) {
        if (entry.fromListing) return Handled::lookUp;  // looked up first: it may be gone
        countPassedOver(run.report, entry.path);
        return Handled::done;
    }
    if (settings.showSkipped) return decideAndRenameAligned(run, entry, columnWidth);
    return decideAndRename(run, entry, "", columnWidth);
}

Sought handleEntry(RunContext& run, const char* argument, int columnWidth, bool quietIfMissing, std::size_t nameAt,
                   uint32_t walkedFrom) {
    Entry entry;
    OwnedString storage;
    Lookup found = findEntry(argument, entry, storage, nameAt);
    if (found == Lookup::outOfMemory) outOfMemory();
    if (found == Lookup::notFound) {
        if (quietIfMissing) return Sought::missing;
        reportNotFound(run, argument, columnWidth);
        failureStep(run, argument);
        return Sought::missing;
    }
    entry.walkedFrom = walkedFrom;
    handleFound(run, entry, columnWidth);  // a looked-up entry is never to be looked up again
    return Sought::found;
}

Sought handleListed(RunContext& run, const Entry& entry, int columnWidth, bool quietIfMissing) {
    if (handleFound(run, entry, columnWidth) == Handled::done) return Sought::found;
    return handleEntry(run, entry.path, columnWidth, quietIfMissing, entry.nameAt, entry.walkedFrom);
}
