// The configuration file beside the executable: <path less extension>.cfg.
#pragma once

#include "platform/owned_string.h"

// The configuration file's path for an executable path; nullptr when memory
// runs out.
OwnedString configPathFor(const char* exePath);

#include "config/expand.h"
#include "config/reader.h"

// What reading the configuration file came to. A broken file is no outcome:
// it stops the run through fatalError, as a mistyped switch does.
enum class ConfigOutcome : unsigned char { read, absent, outOfMemory };

// nextExpandedLine's code for a line that memory did not suffice to expand.
constexpr int lineOutOfMemory = -4;

// An open configuration file with its line and name buffers, all released
// when it goes out of scope.
struct ConfigReading {
    ConfigLines lines{nullptr};
    LineBuffer line{nullptr, 0};
    char* name = nullptr;
    const char* path = nullptr;  // for messages
    bool utf8 = false;           // a Windows file that began with a UTF-8 byte order mark
    ~ConfigReading();
};

// Opens `path` for reading with a name buffer for names shorter than
// nameLimit: read when it is open, absent when the file cannot be opened.
ConfigOutcome openConfigReading(ConfigReading& reading, const char* path, std::size_t nameLimit);

// Reads the next non-empty line and expands its variables: lineRead, the
// reader's code that ended the file, or lineOutOfMemory.
int nextExpandedLine(ConfigReading& reading, std::size_t nameLimit);

// Applies the switch lines of the configuration file through applySwitches and
// acts on its "switch" key. An absent file is no error; a broken one ends the
// run through fatalError. Out of memory, the lines read before stay applied
// and the caller says so: the file must not be passed over in silence.
ConfigOutcome loadConfig(const char* exePath, char* switchChar);

// True for a line of the file that holds switches: it begins with '/', the
// system's introducer or `switchChar` (the file holds no paths, so '/' is a
// switch on every system).
bool isSwitchLine(const char* line, char switchChar);

// Reports a broken configuration file (binaryData or mixedLineEnds in line
// `lineNumber`) and ends the run.
[[noreturn]] void reportBrokenConfig(int result, const char* path, unsigned long lineNumber);
