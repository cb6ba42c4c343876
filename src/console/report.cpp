#include "console/report.h"

#include <string>

#include "console/pager.h"
#include "convert/path.h"
#include "driver/settings.h"
#include "platform/platform.h"
#include "sjis/messages.h"

namespace {

struct Counts {
    unsigned long renamed = 0, leftAlone = 0, failed = 0, notFound = 0;
    unsigned long keptOut = 0;  // what /s passed over as hidden or version control's
    bool written = false;
} counts;

// What a kind writes, plain and in the aligned layout, the setting that
// shows it, and what it counts (nothing for a name put back, which is no
// entry of this run's).
struct Format {
    ResultKind kind;
    const Text* plain;    // arguments: name[, newName[, extra]]
    const Text* aligned;  // arguments: width, name[, newName[, extra]]
    const bool* shown;
    unsigned long Counts::*counted;
};

// In the order of ResultKind: a kind's format is found by its number.
constexpr Format formats[] = {
    {ResultKind::notFound, &text::notFoundLine, &text::notFoundAligned, &settings.showErrors, &Counts::notFound},
    {ResultKind::unreadable, &text::unreadableLine, &text::unreadableAligned, &settings.showErrors, &Counts::failed},
    {ResultKind::leftAlone, nullptr, &text::leftAloneAligned, &settings.showSkipped, &Counts::leftAlone},
    {ResultKind::renamed, &text::renamedLine, &text::renamedAligned, &settings.showRenamed, &Counts::renamed},
    {ResultKind::renameFailed, &text::renameFailedLine, &text::renameFailedAligned, &settings.showErrors,
     &Counts::failed},
    {ResultKind::stranded, &text::renameStrandedLine, &text::renameStrandedAligned, &settings.showErrors,
     &Counts::failed},
    {ResultKind::restored, &text::restoredLine, &text::restoredLine, &settings.showRenamed, nullptr},
    {ResultKind::restoreFailed, &text::restoreFailedLine, &text::restoreFailedLine, &settings.showErrors,
     &Counts::failed},
};

constexpr bool inKindOrder() {
    int i = 0;
    for (const Format& f : formats)
        if (static_cast<int>(f.kind) != i++) return false;
    return i == static_cast<int>(ResultKind::restoreFailed) + 1;
}
static_assert(inKindOrder(), "a format for each kind, in the order of ResultKind");

// What a record of the form for scripts says of each kind.
const char* statusOf(ResultKind kind) {
    switch (kind) {
        case ResultKind::notFound: return "missing";
        case ResultKind::leftAlone: return "left";
        case ResultKind::renamed: return settings.testMode ? "would-rename" : "renamed";
        case ResultKind::restored: return "renamed";
        default: return "failed";
    }
}

// One record: the entry `path`, its new name (in its directory) where the
// kind has one, and the reason where one is known.
[[gnu::noinline, gnu::cold]] void writeRecord(ResultKind kind, const char* path, const char* newName, const char* extra) {
    std::string record = statusOf(kind), text;
    record += '\t';
    record += platform::systemText(path, text) ? text : path;
    record += '\t';
    if (newName[0] != '\0') {
        std::string newPath(path, directoryLength(path));
        newPath += newName;
        record += platform::systemText(newPath.c_str(), text) ? text : newPath;
    }
    record += '\t';
    if (kind == ResultKind::unreadable) record += "unreadable";
    if (kind == ResultKind::restoreFailed) record += "old name taken";
    if (kind == ResultKind::stranded) {
        record += "left as ";
        record += platform::systemText(extra, text) ? text : extra;
    }
    record += settings.nulEnds ? '\0' : '\n';
    platform::writeOutExactly(record.data(), record.size());
}

}  // namespace

void reportResult(ResultKind kind, const char* name, int columnWidth, const char* newName,
                  const char* extra) {
    const Format& f = formats[static_cast<int>(kind)];
    if (f.counted) ++(counts.*f.counted);
    if (settings.porcelain) {
        writeRecord(kind, name, newName, extra);
        return;
    }
    if (!*f.shown) return;
    // The restoring lines name their own paths and are never aligned.
    bool aligned = settings.showSkipped && f.aligned != f.plain;
    const Text* format = aligned ? f.aligned : f.plain;
    if (!format) return;
    // Only a console needs the names made safe to show.
    bool console = platform::outputIsConsole();
    const char* shown = console ? shownName(name) : name;
    const char* shownNew = console ? shownName(newName) : newName;
    const char* shownExtra = console ? shownName(extra) : extra;
    if (aligned)
        printResult(*format, columnWidth, shown, shownNew, shownExtra);
    else
        printResultTexts(*format, {shown, shownNew, shownExtra});
}

void countPassedOver(const char* path) {
    ++counts.leftAlone;
    if (settings.porcelain) writeRecord(ResultKind::leftAlone, path, "", "");
}

void countKeptOut() { ++counts.keptOut; }

void reportSummary() {
    if (!settings.showSummary || counts.written) return;
    counts.written = true;
    // What the walk kept out is named only where there was some: most runs
    // keep the line they always had.
    const char* format = settings.testMode ? (counts.keptOut ? text::summaryTestKeptOutLine : text::summaryTestLine)
                                           : (counts.keptOut ? text::summaryKeptOutLine : text::summaryLine);
    printResult(format, counts.renamed, counts.leftAlone, counts.failed, counts.notFound, counts.keptOut);
}

void resetReport() { counts = Counts{}; }
