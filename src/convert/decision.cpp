#include "convert/decision.h"

#include <cstring>

#include "console/pager.h"
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

void lowerCaseEntry(const char* path, const char* displayName, int columnWidth) {
    const bool aligned = settings.showSkipped;
    if (!shouldLowerCase(path, settings.longMode, settings.kanjiMode)) {
        if (aligned) printResult("%-*s\n", columnWidth, shownName(displayName));
        return;
    }
    // Every path here is shorter than maxPath, and the new one has its length.
    char newPath[platform::maxPath];
    char newName[platform::maxPath];
    copyBounded(newName, finalComponent(path), platform::maxPath - 1);
    lowerSingleByteLetters(newName);
    char directory[platform::maxPath];
    copyBounded(directory, path, platform::maxPath - 1);
    cutToDirectory(directory);
    joinPath(newPath, directory, newName);

    RenameResult result{RenameOutcome::done, ""};
    if (!settings.testMode) result = renameEntry(path, newPath);
    RenameOutcome outcome = result.outcome;
    const char* oldShown = shownName(aligned ? displayName : path);
    const char* newShown = shownName(newName);
    if (outcome == RenameOutcome::done) {
        if (!settings.showRenamed) return;
        if (aligned)
            printResult(text::renamedAligned, columnWidth, oldShown, newShown);
        else
            printResult(text::renamedLine, oldShown, newShown);
        return;
    }
    if (settings.showErrors) {
        if (outcome == RenameOutcome::stranded && aligned)
            printResult(text::renameStrandedAligned, columnWidth, oldShown, newShown,
                        shownName(result.stranded));
        else if (outcome == RenameOutcome::stranded)
            printResult(text::renameStrandedLine, oldShown, newShown, shownName(result.stranded));
        else if (aligned)
            printResult(text::renameFailedAligned, columnWidth, oldShown, newShown);
        else
            printResult(text::renameFailedLine, oldShown, newShown);
    }
    failureStep();
}
