// Win32 backend: the ANSI API, so that every text is in the code page of the
// user's system (932 on a Japanese Windows).
#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "platform/platform.h"

namespace platform {

const char pathSeparator = '\\';

namespace {

struct Search {
    HANDLE handle;
};

void copyFound(const WIN32_FIND_DATAA& found, FindData* data) {
    data->attributes = found.dwFileAttributes;
    std::memcpy(data->fileName, found.cFileName, sizeof data->fileName);
    data->fileName[maxPath - 1] = '\0';
}

bool isModifier(WORD key) {
    switch (key) {
        case VK_SHIFT: case VK_CONTROL: case VK_MENU: case VK_CAPITAL: case VK_NUMLOCK:
        case VK_SCROLL: case VK_LSHIFT: case VK_RSHIFT: case VK_LCONTROL: case VK_RCONTROL:
        case VK_LMENU: case VK_RMENU: case VK_LWIN: case VK_RWIN:
            return true;
        default:
            return false;
    }
}

}  // namespace

void startProcess(int, char**) {}

const char* GetCommandLineA() { return ::GetCommandLineA(); }

const char* const* originalArguments(int* count) {
    *count = 0;
    return nullptr;
}

SearchHandle FindFirstFileA(const char* pattern, FindData* data) {
    if (std::strlen(pattern) >= maxPath) return nullptr;
    WIN32_FIND_DATAA found;
    HANDLE h = ::FindFirstFileA(pattern, &found);
    if (h == INVALID_HANDLE_VALUE) return nullptr;
    copyFound(found, data);
    Search* search = static_cast<Search*>(std::malloc(sizeof(Search)));
    if (!search) {
        ::FindClose(h);
        return nullptr;
    }
    search->handle = h;
    return search;
}

bool FindNextFileA(SearchHandle handle, FindData* data) {
    WIN32_FIND_DATAA found;
    if (!handle || !::FindNextFileA(static_cast<Search*>(handle)->handle, &found)) return false;
    copyFound(found, data);
    return true;
}

void FindClose(SearchHandle handle) {
    if (!handle) return;
    ::FindClose(static_cast<Search*>(handle)->handle);
    std::free(handle);
}

uint32_t GetFileAttributesA(const char* path) { return ::GetFileAttributesA(path); }

unsigned GetModuleFileNameA(char* buffer, unsigned size) {
    DWORD n = ::GetModuleFileNameA(nullptr, buffer, size);
    return n >= size ? 0 : n;  // a cut path is no path
}

unsigned SearchPathA(const char* fileName, unsigned size, char* buffer) {
    return ::SearchPathA(nullptr, fileName, nullptr, size, buffer, nullptr);
}

bool moveEntry(const char* from, const char* to) {
    // Without MOVEFILE_REPLACE_EXISTING the move fails when `to` names another
    // entry; a case-only move of the entry itself is allowed.
    return ::MoveFileExA(from, to, 0) != 0;
}

const char* getEnvironmentVariable(const char* name) {
    static char* value = nullptr;
    DWORD needed = ::GetEnvironmentVariableA(name, nullptr, 0);
    if (needed == 0) return nullptr;
    char* grown = static_cast<char*>(std::realloc(value, needed));
    if (!grown) return nullptr;
    value = grown;
    DWORD n = ::GetEnvironmentVariableA(name, value, needed);
    return (n == 0 && ::GetLastError() == ERROR_ENVVAR_NOT_FOUND) || n >= needed ? nullptr : value;
}

std::FILE* openForReading(const char* path) { return std::fopen(path, "rb"); }

void writeOut(const char* bytes, std::size_t count) { std::fwrite(bytes, 1, count, stdout); }
void writeErr(const char* bytes, std::size_t count) { std::fwrite(bytes, 1, count, stderr); }
void flushOut() { std::fflush(stdout); }

void exitProcess(int code) { std::exit(code); }

bool consoleRows(int* bufferRows, int* windowRows) {
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!::GetConsoleScreenBufferInfo(::GetStdHandle(STD_OUTPUT_HANDLE), &info)) return false;
    *bufferRows = info.dwSize.Y;
    *windowRows = info.srWindow.Bottom - info.srWindow.Top + 1;
    return true;
}

int readConsoleKey() {
    HANDLE input = ::GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode;
    if (input == INVALID_HANDLE_VALUE || !::GetConsoleMode(input, &mode)) return -1;
    ::FlushConsoleInputBuffer(input);
    for (;;) {
        INPUT_RECORD record;
        DWORD read = 0;
        if (!::ReadConsoleInputA(input, &record, 1, &read)) return -1;
        if (read != 1 || record.EventType != KEY_EVENT) continue;
        // Only a key going down answers, and not a modifier on its own: Shift
        // arrives before the Q of Shift+Q, and the release of a key typed
        // before the prompt must not answer it.
        const KEY_EVENT_RECORD& event = record.Event.KeyEvent;
        if (!event.bKeyDown || isModifier(event.wVirtualKeyCode)) continue;
        int key = static_cast<unsigned char>(event.uChar.AsciiChar);
        // Some consoles deliver Esc as its virtual key without a character.
        if (key == 0 && event.wVirtualKeyCode == VK_ESCAPE) key = 27;
        return key;
    }
}

uint32_t GetTickCount() { return ::GetTickCount(); }

void* allocate(std::size_t bytes) { return std::malloc(bytes ? bytes : 1); }
void* reallocate(void* block, std::size_t bytes) { return std::realloc(block, bytes ? bytes : 1); }
void release(void* block) { std::free(block); }

}  // namespace platform
