#include "driver/failure.h"

#include "console/report.h"
#include "driver/settings.h"

int errorOccurred = 0;

void failureStep() {
    if (!settings.continueOnError) {
        reportSummary();  // the count of what was done before the stop
        endProcess(1);
    }
    errorOccurred = 1;
}
