// The one record of what the user chose, and the parser of switch texts.
#pragma once

struct RunSettings {
    char switchChar = '/';
    bool includeFiles = true;
    bool includeDirectories = true;
    bool longMode = false;
    bool kanjiMode = false;
    bool continueOnError = false;
    bool pauseMode = false;
    bool testMode = false;
    bool showRenamed = true;
    bool showErrors = true;
    bool showSkipped = false;
    bool showSummary = false;  // the closing count, /v+s
    bool recurse = false;      // /s: into subdirectories
    bool allEntries = false;   // /a: /s takes in hidden entries and version-control folders
    bool unicodeLetters = false;  // /u: letters beyond A-Z, as the locale gives their case
    bool porcelain = false;    // --porcelain: a record per entry, for scripts
    bool nulEnds = false;      // /z: each record ends with NUL
    bool journal = true;       // /j: each rename recorded first, to be taken back
    bool shiftJisNames = false;  // --names=sjis (Linux): the disk's names are Shift-JIS
    bool progress = true;      // a long run's progress on a terminal; --no-progress
    bool english = false;      // the command's texts in English, as the user's locale asks
};

extern RunSettings settings;

// Applies every switch of one switch text (a command-line argument or a
// configuration line) to `settings`. The first byte is the introducer and is
// not looked at. Unknown switches and characters are skipped in silence.
void applySwitches(const char* text);

// The names' encoding as the arguments `arguments[1..count)` choose it, up to
// a "--": read before their wildcards are expanded, which lists the disk.
void presetNamesEncoding(const char* const* arguments, int count);

// The signs and elements of a /v group.
constexpr char displayGroupLetters[] = "+-=aAcCeEkKsS";

// True when the switch text (its introducer first) is one switch that the
// usage screen lists: a word in either case, or a /v group made only of its
// signs and elements. The POSIX command line takes nothing else.
bool isDocumentedSwitch(const char* text);

// True for a command-line argument written as a switch: it begins with the
// system's introducer or RunSettings.switchChar, and on Linux it is more than
// a lone '-' and never begins with '/' (a path). Whether it stands where
// switches are taken (before "--", not produced by an expansion) is the
// caller's to know.
bool isSwitchArgument(const char* argument);

// The undo's switches, which the run reads before any other and the
// configuration file never holds: "undo", or "undo=N" for the Nth run kept
// (`number` gets N, or 0), and "list", which lists the runs kept.
bool isUndoSwitch(const char* argument, unsigned long* number);
bool isListSwitch(const char* argument);
