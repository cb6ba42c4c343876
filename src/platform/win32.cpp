// Win32 backend: every text is in the ANSI code page of the user's system (932
// on a Japanese Windows). The wide API is called underneath and the conversion
// done here, because the ANSI API replaces a character that the code page lacks
// by '?' or by a look-alike ('e' for 'é'): such a name would reach another
// entry, or act as a wildcard. Here a name that does not convert both ways is
// not produced, and a typed character that does not convert becomes a byte
// that no name holds.
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/platform.h"

namespace platform {

const char pathSeparator = '\\';

namespace {

// Stands for a character that the code page lacks; no code page 932 text holds
// this byte.
constexpr char unconvertible = '\xFF';

// Wide text to the code page, exactly or not at all.
bool narrowExactly(const wchar_t* wide, int length, std::string& out) {
    UINT page = ::GetACP();
    bool utf8 = page == CP_UTF8;  // takes neither the flag nor the default test
    BOOL usedDefault = FALSE;
    DWORD flags = utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
    int n = ::WideCharToMultiByte(page, flags, wide, length, nullptr, 0, nullptr, nullptr);
    if (n <= 0 && length != 0) return false;
    out.resize(static_cast<std::size_t>(n));
    if (n && ::WideCharToMultiByte(page, flags, wide, length, &out[0], n, nullptr,
                                   utf8 ? nullptr : &usedDefault) != n)
        return false;
    return !usedDefault;
}

// Text in the code page to wide text, exactly or not at all: false for the
// mark, for bytes the code page does not define, and for anything that would
// not convert back to the same bytes.
bool widen(const char* text, std::wstring& out) {
    int length = static_cast<int>(std::strlen(text));
    if (std::memchr(text, unconvertible, static_cast<std::size_t>(length))) return false;
    int n = ::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text, length, nullptr, 0);
    if (n <= 0 && length != 0) return false;
    out.assign(static_cast<std::size_t>(n), L'\0');
    if (n && ::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text, length, &out[0], n) != n)
        return false;
    std::string back;
    return narrowExactly(out.c_str(), n, back) && back == text;
}

// Wide text for the command: each character that does not convert becomes
// the mark. Gives false when any did.
bool narrow(const wchar_t* wide, std::string& out) {
    int length = static_cast<int>(std::wcslen(wide));
    if (narrowExactly(wide, length, out)) return true;
    out.clear();
    bool whole = true;
    std::string one;
    for (int i = 0; i < length;) {
        int n = IS_HIGH_SURROGATE(wide[i]) && i + 1 < length && IS_LOW_SURROGATE(wide[i + 1]) ? 2 : 1;
        if (narrowExactly(wide + i, n, one)) {
            out += one;
        } else {
            out += unconvertible;
            whole = false;
        }
        i += n;
    }
    return whole;
}

struct Search {
    HANDLE handle;
};

// The next found entry whose name the command can carry, starting with `found`.
bool acceptFound(HANDLE handle, WIN32_FIND_DATAW& found, FindData* data) {
    std::string name;
    do {
        if (narrow(found.cFileName, name) && name.size() < maxPath) {
            data->attributes = found.dwFileAttributes;
            std::memcpy(data->fileName, name.c_str(), name.size() + 1);
            return true;
        }
    } while (::FindNextFileW(handle, &found));
    return false;
}

// A path from the system for the command; 0 when it does not convert or fit,
// the size needed when the buffer is too small.
unsigned givePath(const wchar_t* wide, unsigned size, char* buffer) {
    std::string path;
    if (!narrow(wide, path) || path.size() >= maxPath) return 0;
    if (path.size() + 1 > size) return static_cast<unsigned>(path.size() + 1);
    std::memcpy(buffer, path.c_str(), path.size() + 1);
    return static_cast<unsigned>(path.size());
}

void writeTo(std::FILE* stream, const char* bytes, std::size_t count) {
    // The mark is shown as the '?' that the console would show for the
    // character; it is never the second byte of a character.
    if (!std::memchr(bytes, unconvertible, count)) {
        std::fwrite(bytes, 1, count, stream);
        return;
    }
    std::string shown(bytes, count);
    for (char& c : shown)
        if (c == unconvertible) c = '?';
    std::fwrite(shown.data(), 1, count, stream);
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

namespace {

// Held by the run while a sequence of moves must finish or be undone, and
// taken by the console control handler, which Windows runs on a thread of its
// own: an interruption waits for the sequence, and keeps the lock so that no
// other begins before the process ends. The run stopped, so the exit code is
// 1; the lines written so far are flushed first (the stream has its own lock).
CRITICAL_SECTION moveSequence;

BOOL WINAPI onConsoleControl(DWORD) {
    ::EnterCriticalSection(&moveSequence);
    std::fflush(stdout);
    ::ExitProcess(1);
}

}  // namespace

void startProcess(int, char**) {
    ::InitializeCriticalSection(&moveSequence);
    ::SetConsoleCtrlHandler(onConsoleControl, TRUE);
}

void holdInterrupts() { ::EnterCriticalSection(&moveSequence); }
void releaseInterrupts() { ::LeaveCriticalSection(&moveSequence); }

const char* GetCommandLineA() {
    static std::string line;
    static bool made = false;
    if (!made) {
        narrow(::GetCommandLineW(), line);
        made = true;
    }
    return line.c_str();
}

const char* const* originalArguments(int* count) {
    *count = 0;
    return nullptr;
}

SearchHandle FindFirstFileA(const char* pattern, FindData* data) {
    std::wstring wide;
    if (std::strlen(pattern) >= maxPath || !widen(pattern, wide)) return nullptr;
    WIN32_FIND_DATAW found;
    HANDLE h = ::FindFirstFileW(wide.c_str(), &found);
    if (h == INVALID_HANDLE_VALUE) return nullptr;
    if (!acceptFound(h, found, data)) {
        ::FindClose(h);
        return nullptr;
    }
    Search* search = static_cast<Search*>(std::malloc(sizeof(Search)));
    if (!search) {
        ::FindClose(h);
        return nullptr;
    }
    search->handle = h;
    return search;
}

bool FindNextFileA(SearchHandle handle, FindData* data) {
    WIN32_FIND_DATAW found;
    if (!handle) return false;
    HANDLE h = static_cast<Search*>(handle)->handle;
    return ::FindNextFileW(h, &found) && acceptFound(h, found, data);
}

void FindClose(SearchHandle handle) {
    if (!handle) return;
    ::FindClose(static_cast<Search*>(handle)->handle);
    std::free(handle);
}

uint32_t GetFileAttributesA(const char* path) {
    std::wstring wide;
    return widen(path, wide) ? ::GetFileAttributesW(wide.c_str()) : invalidAttributes;
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

bool moveEntry(const char* from, const char* to) {
    std::wstring source, target;
    if (!widen(from, source) || !widen(to, target)) return false;
    // Without MOVEFILE_REPLACE_EXISTING the move fails when `to` names another
    // entry; a case-only move of the entry itself is allowed.
    return ::MoveFileExW(source.c_str(), target.c_str(), 0) != 0;
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

std::FILE* openForReading(const char* path) {
    std::wstring wide;
    return widen(path, wide) ? ::_wfopen(wide.c_str(), L"rb") : nullptr;
}

void writeOut(const char* bytes, std::size_t count) { writeTo(stdout, bytes, count); }
void writeErr(const char* bytes, std::size_t count) { writeTo(stderr, bytes, count); }
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
