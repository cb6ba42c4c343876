#include "console/report.h"

#include "console/pager.h"
#include "driver/settings.h"
#include "platform/platform.h"
#include "sjis/messages.h"

namespace {

// What a kind writes, plain and in the aligned layout, and when.
enum class Shown { renamed, errors, skipped };
struct Format {
    ResultKind kind;
    const char* plain;    // arguments: name[, newName[, extra]]
    const char* aligned;  // arguments: width, name[, newName[, extra]]
    Shown when;
};

// In the order of ResultKind: a kind's format is found by its number.
constexpr Format formats[] = {
    {ResultKind::notFound, text::notFoundLine, text::notFoundAligned, Shown::errors},
    {ResultKind::unreadable, text::unreadableLine, text::unreadableAligned, Shown::errors},
    {ResultKind::leftAlone, nullptr, text::leftAloneAligned, Shown::skipped},
    {ResultKind::renamed, text::renamedLine, text::renamedAligned, Shown::renamed},
    {ResultKind::renameFailed, text::renameFailedLine, text::renameFailedAligned, Shown::errors},
    {ResultKind::stranded, text::renameStrandedLine, text::renameStrandedAligned, Shown::errors},
    {ResultKind::restored, text::restoredLine, text::restoredLine, Shown::renamed},
    {ResultKind::restoreFailed, text::restoreFailedLine, text::restoreFailedLine, Shown::errors},
};

constexpr bool inKindOrder() {
    int i = 0;
    for (const Format& f : formats)
        if (static_cast<int>(f.kind) != i++) return false;
    return i == static_cast<int>(ResultKind::restoreFailed) + 1;
}
static_assert(inKindOrder(), "a format for each kind, in the order of ResultKind");

struct Counts {
    unsigned long renamed = 0, leftAlone = 0, failed = 0, notFound = 0;
    bool written = false;
} counts;

void count(ResultKind kind) {
    switch (kind) {
        case ResultKind::renamed: ++counts.renamed; break;
        case ResultKind::leftAlone: ++counts.leftAlone; break;
        case ResultKind::renameFailed: case ResultKind::stranded: case ResultKind::restoreFailed:
        case ResultKind::unreadable:
            ++counts.failed;
            break;
        case ResultKind::notFound: ++counts.notFound; break;
        case ResultKind::restored: break;  // not an entry of this run's
    }
}

bool isShown(Shown when) {
    switch (when) {
        case Shown::renamed: return settings.showRenamed;
        case Shown::errors: return settings.showErrors;
        case Shown::skipped: return settings.showSkipped;
    }
    return false;
}

}  // namespace

void reportResult(ResultKind kind, const char* name, int columnWidth, const char* newName,
                  const char* extra) {
    count(kind);
    const Format& f = formats[static_cast<int>(kind)];
    if (!isShown(f.when)) return;
    // The restoring lines name their own paths and are never aligned.
    bool aligned = settings.showSkipped && f.aligned != f.plain;
    const char* format = aligned ? f.aligned : f.plain;
    if (!format) return;
    // Only a console needs the names made safe to show.
    bool console = platform::outputIsConsole();
    const char* shown = console ? shownName(name) : name;
    const char* shownNew = console ? shownName(newName) : newName;
    const char* shownExtra = console ? shownName(extra) : extra;
    if (aligned)
        printResult(format, columnWidth, shown, shownNew, shownExtra);
    else
        printResultTexts(format, {shown, shownNew, shownExtra});
}

void countPassedOver() { ++counts.leftAlone; }

void reportSummary() {
    if (!settings.showSummary || counts.written) return;
    counts.written = true;
    printResult(settings.testMode ? text::summaryTestLine : text::summaryLine, counts.renamed,
                counts.leftAlone, counts.failed, counts.notFound);
}

void resetReport() { counts = Counts{}; }
