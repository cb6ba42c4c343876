#include "driver/settings.h"

#include <cstring>

#include "platform/platform.h"
#include "sjis/sjis.h"
#include "sjis/text.h"

RunSettings settings;

// Beside the record that holds the run's language.
Text::operator const char*() const { return settings.english ? english : japanese; }

namespace {

inline bool isMinus(char c) { return c == '-'; }

// What a bare /v restores: the same as /v=ce, the closing count off.
void setStandardDisplay() {
    settings.showRenamed = true;
    settings.showErrors = true;
    settings.showSkipped = false;
    settings.showSummary = false;
}

// Reads the elements of a /v group from `p` (the byte after 'v'); gives the
// byte at which the group stopped (the terminator or a '/').
const char* applyDisplayGroup(const char* p) {
    if (*p == '\0' || *p == '/') {
        setStandardDisplay();
        return p;
    }
    bool plus = false;  // the sign is minus at the start of every /v
    for (; *p != '\0' && *p != '/'; ++p) {
        switch (*p) {
            case '+': plus = true; break;
            case '-': plus = false; break;
            case '=':
                settings.showRenamed = settings.showErrors = settings.showSkipped = false;
                settings.showSummary = false;
                plus = true;
                break;
            case 'a': case 'A':
                settings.showRenamed = settings.showErrors = settings.showSkipped = plus;
                break;
            case 'c': case 'C': settings.showRenamed = plus; break;
            case 'e': case 'E': settings.showErrors = plus; break;
            case 'k': case 'K': settings.showSkipped = plus; break;
            case 's': case 'S': settings.showSummary = plus; break;
            default: break;  // blanks, ';' and other letters do not end the group
        }
    }
    return p;
}

void applyKindFilter(char next) {
    if (next == 'd' || next == 'D') {
        settings.includeFiles = false;
        settings.includeDirectories = true;
    } else if (next == 'a' || next == 'A' || next == '-') {
        settings.includeFiles = settings.includeDirectories = true;
    } else {
        settings.includeFiles = true;
        settings.includeDirectories = false;
    }
}

// How names are written on a Linux disk, as `text` says it: 1 for
// "--names=sjis", 0 for "--names=locale", -1 for any other text.
int namesSwitch(const char* text) {
    if (!platform::commandLineDialect().gnu) return -1;
    if (equalStrings(text, "--names=sjis")) return 1;
    return equalStrings(text, "--names=locale") ? 0 : -1;
}

// True when `text` is such a switch (and applied).
bool applyNamesSwitch(const char* text) {
    int chosen = namesSwitch(text);
    if (chosen >= 0) settings.shiftJisNames = chosen == 1;
    return chosen >= 0;
}

}  // namespace

void presetNamesEncoding(const char* const* arguments, int count) {
    for (int i = 1; i < count && arguments[i] && !equalStrings(arguments[i], "--"); ++i)
        applyNamesSwitch(arguments[i]);
}

bool isSwitchArgument(const char* argument) {
    const platform::CommandLineDialect& dialect = platform::commandLineDialect();
    if (argument[0] == '\0') return false;
    if (dialect.introducer == '/') return argument[0] == '/' || argument[0] == settings.switchChar;
    if (argument[1] == '\0') return false;  // a lone '-' is a name
    return argument[0] == dialect.introducer || (argument[0] == settings.switchChar && argument[0] != '/');
}

bool isDocumentedSwitch(const char* text) {
    const char* word = text[0] ? text + 1 : text;
    if (namesSwitch(text) >= 0) return true;
    if (platform::commandLineDialect().gnu && (equalStrings(text, "--porcelain") || equalStrings(text, "--no-progress")))
        return true;
    static const char* const words[] = {"a", "a-", "u", "u-", "z", "z-", "porcelain", "noprogress", "f", "ff", "fd", "fa", "f-", "l", "l-", "k", "k-", "c",
                                        "c-", "p", "p-", "s", "s-", "test", "test-", "j", "j-", "undo", "?", "help"};
    for (const char* w : words)
        if (equalsIgnoreCase(word, w)) return true;
    if (word[0] != 'v' && word[0] != 'V') return false;
    for (const char* p = word + 1; *p; ++p)
        if (!std::strchr(displayGroupLetters, *p)) return false;
    return true;
}

void applySwitches(const char* text) {
    if (applyNamesSwitch(text)) return;
    if (platform::commandLineDialect().gnu && equalStrings(text, "--porcelain")) {
        settings.porcelain = true;
        return;
    }
    if (platform::commandLineDialect().gnu && equalStrings(text, "--no-progress")) {
        settings.progress = false;
        return;
    }
    const char* introducer = text;
    for (;;) {
        const char* letter = introducer + 1;
        const char* searchFrom = letter;
        char next = letter[0] == '\0' ? '\0' : letter[1];
        switch (*letter) {
            case 'a': case 'A': settings.allEntries = !isMinus(next); break;
            case 'c': case 'C': settings.continueOnError = !isMinus(next); break;
            case 'j': case 'J': settings.journal = !isMinus(next); break;
            case 'k': case 'K': settings.kanjiMode = !isMinus(next); break;
            case 'l': case 'L': settings.longMode = !isMinus(next); break;
            case 'p': case 'P':
                if (startsWithIgnoreCase(letter, "porcelain"))
                    settings.porcelain = true;
                else
                    settings.pauseMode = !isMinus(next);
                break;
            case 'z': case 'Z': settings.nulEnds = !isMinus(next); break;
            case 'n': case 'N':
                if (startsWithIgnoreCase(letter, "noprogress")) settings.progress = false;
                break;
            case 'u': case 'U':
                // "/undo" is the run's own business, read before any switch.
                if (!startsWithIgnoreCase(letter, "undo")) settings.unicodeLetters = !isMinus(next);
                break;
            case 's': case 'S': settings.recurse = !isMinus(next); break;
            case 'f': case 'F': applyKindFilter(next); break;
            case 't': case 'T': settings.testMode = !startsWithIgnoreCase(letter, "test-"); break;
            case 'v': case 'V': searchFrom = applyDisplayGroup(letter + 1); break;
            default: break;
        }
        // Only '/' introduces a further switch in the same text, never the
        // second switch character.
        const char* slash = std::strchr(searchFrom, '/');
        if (!slash) return;
        introducer = slash;
    }
}

bool isUndoSwitch(const char* argument, unsigned long* number) {
    bool gnu = platform::commandLineDialect().gnu;
    const char* word = gnu && argument[1] == '-' ? argument + 2 : argument + 1;
    if (word == argument + 2 && !equalFirstN(word, "undo", 4)) return false;  // "--undo" as GNU ways write it
    if (!startsWithIgnoreCase(word, "undo")) return false;
    *number = 0;
    if (word[4] == '\0') return true;
    if (word[4] != '=' || word[5] == '\0') return false;
    for (const char* p = word + 5; *p; ++p) {
        if (*p < '0' || *p > '9' || *number > 99999) return false;
        *number = *number * 10 + static_cast<unsigned long>(*p - '0');
    }
    return *number > 0;
}

bool isListSwitch(const char* argument) {
    return equalsIgnoreCase(argument + 1, "list") ||
           (platform::commandLineDialect().gnu && equalStrings(argument, "--list"));
}
