#include "driver/failure.h"

#include <string>

#include "console/format.h"
#include "console/report.h"
#include "convert/deferred.h"
#include "convert/journal.h"
#include "sjis/messages.h"
#include "driver/context.h"
#include "driver/settings.h"

void countUntouchedBy(RunContext& run, UntouchedCounter counter) { run.failures.untouched = counter; }

void failureStep(RunContext& run, const char* path) {
    UntouchedCounter counter = run.failures.untouched;
    failureStep(run, path, counter ? counter(run) : 0);
}

void startResultPager(RunContext& run) {
    ResultPager& pager = run.report.pager;
    setUpResultPager(pager, settings.pauseMode, 1);
    pager.quit = endProcess;
    if (settings.pauseMode) countOutput(pager, screenColumns, promptText);  // the first line's room
}

void settleDeferredRenames(RunContext& run) {
    std::string failed = settleDeferred(run);
    if (!failed.empty()) failureStep(run, failed.c_str());
}

void failureStep(RunContext& run, const char* path, unsigned long untouched) {
    if (!settings.continueOnError) {
        reportSummary(run.report);  // the count of what was done before the stop (the progress line gone)
        platform::flushOut();
        writeError(text::stoppedAt, safeText(path).c_str(), untouched, platform::commandLineDialect().introducer);
        endProcess(1);
    }
    run.failures.errorOccurred = true;
}

void noJournalFolderNamed(const RunContext& run) {
    if (journalFileText(run.journal).empty()) fatalError(text::journalNoFolder, platform::journalFolderVariables());
}

void journalFailure(RunContext& run) {
    settleWaitingLines(run.report);  // the renames made so far are said first
    noJournalFolderNamed(run);
    fatalError(text::journalUnwritable, journalFileText(run.journal).c_str(),
               platform::commandLineDialect().introducer);
}
