#include "driver/failure.h"

#include <string>

#include "console/format.h"
#include "console/report.h"
#include "convert/deferred.h"
#include "convert/journal.h"
#include "sjis/messages.h"
#include "driver/settings.h"

int errorOccurred = 0;

namespace {

UntouchedCounter untouchedCounter = nullptr;

}  // namespace

void countUntouchedBy(UntouchedCounter counter) { untouchedCounter = counter; }

void failureStep(const char* path) { failureStep(path, untouchedCounter ? untouchedCounter() : 0); }

void settleDeferredRenames() {
    std::string failed = settleDeferred();
    if (!failed.empty()) failureStep(failed.c_str());
}

void failureStep(const char* path, unsigned long untouched) {
    if (!settings.continueOnError) {
        reportSummary();  // the count of what was done before the stop (the progress line gone)
        platform::flushOut();
        writeError(text::stoppedAt, safeText(path).c_str(), untouched, platform::commandLineDialect().introducer);
        endProcess(1);
    }
    errorOccurred = 1;
}

void noJournalFolderNamed() {
    if (journalFileText().empty()) fatalError(text::journalNoFolder, platform::journalFolderVariables());
}

void journalFailure() {
    settleWaitingLines();  // the renames made so far are said first
    noJournalFolderNamed();
    fatalError(text::journalUnwritable, journalFileText().c_str(), platform::commandLineDialect().introducer);
}
