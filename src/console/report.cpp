#include "console/report.h"

#include <cstring>
#include <string>

#include "console/pager.h"
#include "console/progress.h"
#include "console/format.h"
#include "platform/path_text.h"
#include "driver/settings.h"
#include "platform/platform.h"
#include "sjis/messages.h"

namespace {

using Counts = Report::Counts;

// What a kind writes, plain and in the aligned layout, the setting that
// shows it, and what it counts (nothing for a name put back, which is no
// entry of this run's).
struct Format {
    ResultKind kind;
    const Text* plain;    // arguments: name[, newName[, extra]]
    const Text* aligned;  // arguments: width, name[, newName[, extra]]
    const bool* shown;
    unsigned long Counts::*counted;
    bool failure;  // said with its reason on standard error
};

// In the order of ResultKind: a kind's format is found by its number.
constexpr Format formats[] = {
    {ResultKind::notFound, &text::notFoundLine, &text::notFoundAligned, &settings.showErrors, &Counts::notFound, true},
    {ResultKind::unreadable, &text::unreadableLine, &text::unreadableAligned, &settings.showErrors,
     &Counts::failedBeside, true},
    {ResultKind::leftAlone, nullptr, &text::leftAloneAligned, &settings.showSkipped, &Counts::leftAlone, false},
    {ResultKind::renamed, &text::renamedLine, &text::renamedAligned, &settings.showRenamed, &Counts::renamed, false},
    {ResultKind::renameFailed, &text::renameFailedLine, &text::renameFailedAligned, &settings.showErrors,
     &Counts::failed, true},
    {ResultKind::stranded, &text::renameStrandedLine, &text::renameStrandedAligned, &settings.showErrors,
     &Counts::failed, true},
    {ResultKind::restored, &text::restoredLine, &text::restoredLine, &settings.showRenamed, nullptr, false},
    {ResultKind::restoreFailed, &text::restoreFailedLine, &text::restoreFailedLine, &settings.showErrors,
     &Counts::failedBeside, true},
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

// The words of a failure's reason, in `english` or the run's language, with
// `newName` or `extra` where the reason names an entry.
std::string reasonText(ResultKind kind, Reason reason, const char* newName, const char* extra, bool english) {
    auto in = [english](const Text& t) { return english ? t.english : static_cast<const char*>(t); };
    const Text* said = nullptr;
    const char* named = newName;
    switch (reason) {
        case Reason::taken: said = &text::reasonTaken; break;
        case Reason::permission: said = &text::reasonPermission; break;
        case Reason::readOnly: said = &text::reasonReadOnly; break;
        case Reason::tooLong: said = &text::reasonTooLong; break;
        case Reason::changed: said = &text::reasonChanged; break;
        case Reason::caseRefused: said = &text::reasonCaseRefused; break;
        case Reason::refused: said = &text::reasonRefused; break;
        case Reason::none:
            switch (kind) {
                case ResultKind::notFound: said = &text::reasonNotFound; break;
                case ResultKind::unreadable: said = &text::reasonUnreadable; break;
                case ResultKind::stranded: said = &text::reasonStranded, named = extra; break;
                case ResultKind::restoreFailed:
                    said = newName[0] == '?' && !newName[1] ? &text::reasonNoOldName : &text::reasonOldNameTaken;
                    break;
                case ResultKind::renameFailed: said = &text::reasonRefused; break;
                default: return "";
            }
    }
    std::string out;
    const char* format = in(*said);
    const char* at = std::strstr(format, "%s");
    if (!at) return format;
    out.assign(format, at);
    out += named;
    out += at + 2;
    return out;
}

// "tavisk: PATH: reason" on standard error.
[[gnu::noinline, gnu::cold]] void sayReason(ResultKind kind, Reason reason, const char* path, const char* newName,
                                           const char* extra) {
    std::string said = safeText(reasonText(kind, reason, newName, extra, settings.english));
    std::string line = safeText(path);
    // After the result lines written so far, which it explains.
    platform::flushOut();
    writeError(text::reasonLine, line.c_str(), said.c_str());
}

// One record: the entry `path`, its new name (in its directory) where the
// kind has one, and the reason where one is known, in English words that
// stay the same in every locale.
[[gnu::noinline, gnu::cold]] void writeRecord(ResultKind kind, const char* path, const char* newName, const char* extra,
                                             Reason reason) {
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
    if (formats[static_cast<int>(kind)].failure) {
        std::string named, extraNamed;
        const char* shownNew = platform::systemText(newName, named) ? named.c_str() : newName;
        const char* shownExtra = platform::systemText(extra, extraNamed) ? extraNamed.c_str() : extra;
        record += reasonText(kind, reason, shownNew, shownExtra, true);
    }
    record += settings.nulEnds ? '\0' : '\n';
    platform::writeOutExactly(record.data(), record.size());
}

}  // namespace

std::string safeText(const std::string& s) {
    std::string out = s;
    for (char& c : out)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    return out;
}

void settleWith(Report& report, std::function<void()> settle) {
    report.settle = std::move(settle);
    report.waiting = false;
}
void linesWait(Report& report) { report.waiting = static_cast<bool>(report.settle); }
void settleWaitingLines(Report& report) {
    if (!report.waiting) return;
    report.waiting = false;  // what it reports settles nothing again
    report.settle();
}

unsigned long entriesMet(const Report& report) {
    const Counts& counts = report.counts;
    return counts.renamed + counts.leftAlone + counts.failed + counts.notFound;
}

namespace {

// The report of one entry, as reportResult and reportFailure describe it.
[[gnu::always_inline]] inline void reportOne(Report& report, ResultKind kind, const char* name, int columnWidth,
                                             const char* newName, const char* extra, Reason reason,
                                             const char* path) {
    if (report.waiting) settleWaitingLines(report);
    const Format& f = formats[static_cast<int>(kind)];
    if (f.counted) ++(report.counts.*f.counted);
    if (settings.porcelain) {
        writeRecord(kind, path ? path : name, newName, extra, reason);
        if (f.failure && *f.shown) sayReason(kind, reason, path ? path : name, newName, extra);
        return;
    }
    if (!*f.shown) return;
    // The restoring lines name their own paths and are never aligned.
    bool aligned = settings.showSkipped && f.aligned != f.plain;
    const Text* format = aligned ? f.aligned : f.plain;
    if (!format) return;
    // Only a console needs the names made safe to show (shownName asks).
    bool console = report.mayShowOnConsole;
    const char* shown = console ? shownName(name, report.shown[0]) : name;
    const char* shownNew = console ? shownName(newName, report.shown[1]) : newName;
    const char* shownExtra = console ? shownName(extra, report.shown[2]) : extra;
    if (aligned)
        printResult(report.pager, *format, columnWidth, shown, shownNew, shownExtra);
    else
        printResultTexts(report.pager, *format, {shown, shownNew, shownExtra});
    if (f.failure) sayReason(kind, reason, path ? path : name, newName, extra);
}

// The same where the progress line is drawn: off the screen while the
// report is written, and noted below it.
[[gnu::noinline, gnu::cold]] void reportBesideProgress(Report& report, ResultKind kind, const char* name,
                                                      int columnWidth, const char* newName, const char* extra,
                                                      Reason reason, const char* path) {
    progress().erase();
    reportOne(report, kind, name, columnWidth, newName, extra, reason, path);
    progress().note(path ? path : name, entriesMet(report), report.counts.renamed);
}

}  // namespace

void reportResult(Report& report, ResultKind kind, const char* name, int columnWidth, const char* newName,
                  const char* extra) {
    if (progress().isOn())
        reportBesideProgress(report, kind, name, columnWidth, newName, extra, Reason::none, nullptr);
    else
        reportOne(report, kind, name, columnWidth, newName, extra, Reason::none, nullptr);
}

void reportFailure(Report& report, ResultKind kind, const char* name, int columnWidth, const char* newName,
                   const char* extra, Reason reason, const char* path) {
    if (progress().isOn())
        reportBesideProgress(report, kind, name, columnWidth, newName, extra, reason, path);
    else
        reportOne(report, kind, name, columnWidth, newName, extra, reason, path);
}

void countPassedOver(Report& report, const char* path) {
    if (report.waiting) settleWaitingLines(report);
    ++report.counts.leftAlone;
    progress().note(path, entriesMet(report), report.counts.renamed);
    if (settings.porcelain) writeRecord(ResultKind::leftAlone, path, "", "", Reason::none);
}

void countKeptOut(Report& report) { ++report.counts.keptOut; }

void reportSummary(Report& report) {
    settleWaitingLines(report);
    progress().erase();
    Counts& counts = report.counts;
    if (!settings.showSummary || counts.written) return;
    counts.written = true;
    // What the walk kept out is named only where there was some: most runs
    // keep the line they always had.
    const char* format = settings.testMode ? (counts.keptOut ? text::summaryTestKeptOutLine : text::summaryTestLine)
                                           : (counts.keptOut ? text::summaryKeptOutLine : text::summaryLine);
    printResult(report.pager, format, counts.renamed, counts.leftAlone, counts.failed + counts.failedBeside,
                counts.notFound, counts.keptOut);
}
