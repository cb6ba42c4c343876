// Win32 backend, process: the command line, the module and its search path,
// the environment and the configuration file's place, and the exit.
#include <windows.h>

#include <cstdlib>
#include <string>

#include "platform/platform.h"
#include "platform/win32_internal.h"

namespace platform {

const CommandLineDialect& commandLineDialect() {
    static const CommandLineDialect windows{'/', false, false, true, false};
    return windows;
}

const char* GetCommandLineA() {
    static std::string line;
    static bool made = false;
    if (!made) {
        narrow(::GetCommandLineW(), line);
        made = true;
    }
    return line.c_str();
}

// Names are the system's own: there is no other encoding to choose.
Fault lastFault() {
    switch (::GetLastError()) {
        case ERROR_ALREADY_EXISTS: case ERROR_FILE_EXISTS: return Fault::exists;
        case ERROR_ACCESS_DENIED: case ERROR_SHARING_VIOLATION: case ERROR_LOCK_VIOLATION:
            return Fault::permission;
        case ERROR_WRITE_PROTECT: return Fault::readOnly;
        case ERROR_FILENAME_EXCED_RANGE: case ERROR_BUFFER_OVERFLOW: return Fault::tooLong;
        default: return Fault::other;
    }
}

bool readsEnglish() {
    // A console that shows code page 932 shows Japanese, whatever the rest
    // of the system speaks; without a console, the system's code page tells.
    UINT page = ::GetConsoleOutputCP();
    if (page == 0) page = ::GetACP();
    return PRIMARYLANGID(::GetUserDefaultUILanguage()) != LANG_JAPANESE && page != 932;
}

void useShiftJisNames(bool) {}
bool shiftJisNames() { return false; }

const char* const* originalArguments(int* count) {
    *count = 0;
    return nullptr;
}

unsigned GetModuleFileNameA(char* buffer, unsigned size) {
    wchar_t module[32768];
    DWORD n = ::GetModuleFileNameW(nullptr, module, 32768);
    if (n == 0 || n >= 32768) return 0;
    unsigned length = givePath(module, size, buffer);
    return length >= size ? 0 : length;  // a cut path is no path
}

unsigned SearchPathA(const char* fileName, unsigned size, char* buffer) {
    std::wstring wide;
    wchar_t found[32768];
    if (!widen(fileName, wide)) return 0;
    DWORD n = ::SearchPathW(nullptr, wide.c_str(), nullptr, 32768, found, nullptr);
    return n == 0 || n >= 32768 ? 0 : givePath(found, size, buffer);
}

const char* getEnvironmentVariable(const char* name) {
    static std::string value;
    std::wstring wide, found;
    if (!widen(name, wide)) return nullptr;
    DWORD needed = ::GetEnvironmentVariableW(wide.c_str(), nullptr, 0);
    if (needed == 0) return nullptr;
    found.assign(needed, L'\0');
    DWORD n = ::GetEnvironmentVariableW(wide.c_str(), &found[0], needed);
    if (n >= needed || (n == 0 && ::GetLastError() == ERROR_ENVVAR_NOT_FOUND)) return nullptr;
    found.resize(n);
    narrow(found.c_str(), value);
    return value.c_str();
}

const char* configurationFile(const char* besideExecutable) { return besideExecutable; }
std::string configurationSearch(const char* besideExecutable) { return besideExecutable; }

void exitProcess(int code) { std::exit(code); }

}  // namespace platform
