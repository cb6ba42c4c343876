#include "convert/decision.h"

#include <cstring>

#include "console/report.h"
#include "convert/path.h"
#include "convert/rename.h"
#include "driver/failure.h"
#include "driver/settings.h"
#include "sjis/messages.h"
#include "sjis/sjis.h"

namespace {

inline unsigned char at(const char* s) { return static_cast<unsigned char>(*s); }

// Rules that make a capital name long: a space anywhere in the path, or a
// final component that is not in 8.3 form.
bool isLongName(const char* path, const char* component) {
    if (std::strchr(path, ' ')) return true;
    std::size_t extension = std::strlen(extensionOf(component));
    std::size_t length = std::strlen(component);
    if (extension > 3) return true;
    if (extension >= 1) return length > extension + 9;
    return length > 8;  // a trailing dot counts in the length
}

}  // namespace

int classifyCase(const char* text) {
    bool capital = false, small = false;
    for (const char* p = text; *p;) {
        if (isSjisLead(at(p))) {
            if (p[1] == '\0') break;
            p += isSjisTrail(at(p + 1)) ? 2 : 1;
            continue;
        }
        if (*p >= 'A' && *p <= 'Z') capital = true;
        else if (*p >= 'a' && *p <= 'z') small = true;
        if (capital && small) return longOrMixed;
        ++p;
    }
    return capital ? capitalsOnly : noCapital;
}

int classifyDoubleByte(const char* text) {
    bool doubleByte = false, singleByte = false;
    for (const char* p = text; *p;) {
        if (isSjisLead(at(p))) {
            doubleByte = true;
            if (p[1] == '\0') break;
            p += isSjisTrail(at(p + 1)) ? 2 : 1;
        } else {
            singleByte = true;
            ++p;
        }
        if (doubleByte && singleByte) return 2;
    }
    return doubleByte ? 1 : 0;
}

const char* extensionOf(const char* component) {
    const char* dot = std::strrchr(component, '.');
    return dot ? dot + 1 : component + std::strlen(component);
}

bool shouldLowerCase(const char* path, bool longMode, bool kanjiMode) {
    // A path that ends inside a character (possible on Linux) has no name
    // that could be trusted to change by letters alone.
    if (!sjisFindFirst(path, '\0')) return false;
    const char* component = finalComponent(path);
    int caseClass = classifyCase(path);
    if (caseClass == capitalsOnly && isLongName(path, component)) caseClass = longOrMixed;
    int doubleByte = kanjiMode ? 0 : classifyDoubleByte(path);
    if (caseClass == noCapital || doubleByte != 0) return false;
    return longMode || caseClass != longOrMixed;
}

Plan planEntry(const char* path, bool longMode, bool kanjiMode) {
    Plan plan;
    plan.lowerCase = shouldLowerCase(path, longMode, kanjiMode);
    plan.newName[0] = plan.newPath[0] = '\0';
    if (!plan.lowerCase) return plan;
    // Every path here is shorter than maxPath, and the new one has its length.
    copyBounded(plan.newName, finalComponent(path), platform::maxPath - 1);
    lowerSingleByteLetters(plan.newName);
    char directory[platform::maxPath];
    copyBounded(directory, path, platform::maxPath - 1);
    cutToDirectory(directory);
    joinPath(plan.newPath, directory, plan.newName);
    return plan;
}

void lowerCaseEntry(const char* path, const char* displayName, int columnWidth) {
    const char* name = settings.showSkipped ? displayName : path;
    Plan plan = planEntry(path, settings.longMode, settings.kanjiMode);
    if (!plan.lowerCase) {
        reportResult(ResultKind::leftAlone, displayName, columnWidth);
        return;
    }
    if (settings.testMode) {
        // The preview meets what the run would: the same line, the same step.
        bool possible = renameLooksPossible(path, plan.newPath);
        reportResult(possible ? ResultKind::renamed : ResultKind::renameFailed, name, columnWidth,
                     plan.newName);
        if (!possible) failureStep();
        return;
    }
    RenameResult result = renameEntry(path, plan.newPath);
    switch (result.outcome) {
        case RenameOutcome::done:
            reportResult(ResultKind::renamed, name, columnWidth, plan.newName);
            return;
        case RenameOutcome::failed:
            reportResult(ResultKind::renameFailed, name, columnWidth, plan.newName);
            break;
        case RenameOutcome::stranded:
            reportResult(ResultKind::stranded, name, columnWidth, plan.newName, result.stranded.c_str());
            break;
    }
    failureStep();
}
