#include "driver/failure.h"

#include "console/report.h"
#include "convert/journal.h"
#include "sjis/messages.h"
#include "driver/settings.h"

int errorOccurred = 0;

void failureStep() {
    if (!settings.continueOnError) {
        reportSummary();  // the count of what was done before the stop
        endProcess(1);
    }
    errorOccurred = 1;
}

void noJournalFolderNamed() {
    if (journalFileText().empty()) fatalError(text::journalNoFolder, platform::journalFolderVariables());
}

void journalFailure() {
    noJournalFolderNamed();
    fatalError(text::journalUnwritable, journalFileText().c_str(), platform::commandLineDialect().introducer);
}
