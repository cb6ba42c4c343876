// Win32 backend, console: output in the code page or to the console as it
// shows it, the paging keys, and the interruptions that a sequence of moves
// holds back.
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/platform.h"
#include "platform/stand_ins.h"
#include "platform/win32_internal.h"

namespace platform {

bool errorIsConsole() {
    static const bool console = [] {
        DWORD mode;
        return ::GetConsoleMode(::GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
    }();
    return console;
}

namespace {

// A console shows code page 932 text right only when its own code page is
// 932: to a console the text goes as wide characters, converted exactly,
// whatever the console's code page. A lead byte that ends one write waits for
// the next. Gives false when `handle` is no console.
bool writeConsole(HANDLE handle, const char* bytes, std::size_t count, char& pendingLead) {
    DWORD mode;
    if (!::GetConsoleMode(handle, &mode)) return false;
    std::string text;
    if (pendingLead) text += pendingLead;
    pendingLead = 0;
    text.append(bytes, count);
    std::size_t whole = text.size();
    for (std::size_t i = 0; i < text.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if ((c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC)) {
            if (i + 1 == text.size()) whole = i;
            else ++i;
        }
    }
    if (whole < text.size()) pendingLead = text[whole];
    text.resize(whole);
    std::wstring wide;
    auto segment = [&wide](const char* part, std::size_t length) {
        int n = ::MultiByteToWideChar(932, 0, part, static_cast<int>(length), nullptr, 0);
        if (n <= 0) return true;
        std::size_t at = wide.size();
        wide.resize(at + static_cast<std::size_t>(n));
        ::MultiByteToWideChar(932, 0, part, static_cast<int>(length), &wide[at], n);
        return true;
    };
    // A stand-in is shown as the character it stands for.
    if (!standInsApply() || !standins::walk(text.data(), text.size(), segment, [&wide](const std::string& unit) {
            wide.append(reinterpret_cast<const wchar_t*>(unit.data()), unit.size() / sizeof(wchar_t));
        })) {
        wide.clear();
        segment(text.data(), text.size());
    }
    DWORD written = 0;
    if (!wide.empty()) ::WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
    return true;
}

// Text for a file or pipe, which holds code page 932: the mark and each
// stand-in are written as the '?' that the code page has for a character it
// lacks. Neither is ever the second byte of a character.
void writeCodePage(std::FILE* stream, const char* bytes, std::size_t count) {
    bool marked = std::memchr(bytes, unconvertible, count) != nullptr;
    if (!marked && !(standInsApply() && standins::holdsStandIn(bytes, count))) {
        std::fwrite(bytes, 1, count, stream);
        return;
    }
    std::string shown;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(bytes);
    for (std::size_t i = 0; i < count;) {
        std::size_t n = 1;
        if (p[i] == static_cast<unsigned char>(unconvertible)) {
            shown += '?';
        } else if (standInsApply() && standins::isStandInLead(p[i]) && i + 1 < count) {
            n = p[i] == 0xF9 && i + 3 < count ? 4 : 2;
            shown += '?';
        } else {
            n = isSjisLead(p[i]) && i + 1 < count ? 2 : 1;
            shown.append(bytes + i, n);
        }
        i += n;
    }
    std::fwrite(shown.data(), 1, shown.size(), stream);
}

void writeTo(std::FILE* stream, const char* bytes, std::size_t count) {
    static char pendingOut = 0, pendingErr = 0;
    bool isOut = stream == stdout;
    HANDLE handle = ::GetStdHandle(isOut ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
    if ((isOut ? outputIsConsole() : errorIsConsole())) {
        std::fflush(stream);  // anything written before goes first
        std::string shown(bytes, count);
        for (char& c : shown)
            if (c == unconvertible) c = '?';
        if (writeConsole(handle, shown.data(), shown.size(), isOut ? pendingOut : pendingErr)) return;
    }
    writeCodePage(stream, bytes, count);
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
    // The C runtime leaves output to a character device such as NUL
    // unbuffered, and then writes it a byte at a time; every write that is
    // not to the console goes out in blocks (flushed before a prompt, an error
    // and the end).
    if (!outputIsConsole()) std::setvbuf(stdout, nullptr, _IOFBF, 1 << 16);
}

void holdInterrupts() { ::EnterCriticalSection(&moveSequence); }
void releaseInterrupts() { ::LeaveCriticalSection(&moveSequence); }

void writeOut(const char* bytes, std::size_t count) { writeTo(stdout, bytes, count); }
char* outputRoom(std::size_t) { return nullptr; }  // the stream keeps its own buffer
void keepOut(std::size_t) {}
void writeErr(const char* bytes, std::size_t count) { writeTo(stderr, bytes, count); }

void writeOutExactly(const char* bytes, std::size_t count) {
    // Binary from the first such write on: a record's "\n" stays one byte.
    static const bool binary = [] {
        std::fflush(stdout);
        return _setmode(_fileno(stdout), _O_BINARY) != -1;
    }();
    (void)binary;
    std::fwrite(bytes, 1, count, stdout);
}

void writeErrExactly(const char* bytes, std::size_t count) {
    if (errorIsConsole()) {
        writeTo(stderr, bytes, count);
        return;
    }
    // The stream is in text mode, which would write "\r\n" as "\r\r\n".
    std::fflush(stderr);
    int mode = _setmode(_fileno(stderr), _O_BINARY);
    std::fwrite(bytes, 1, count, stderr);
    std::fflush(stderr);
    if (mode != -1) _setmode(_fileno(stderr), mode);
}
void flushOut() { std::fflush(stdout); }
bool outputFailed() { return std::fflush(stdout) != 0 || std::ferror(stdout); }

bool outputIsConsole() {
    static const bool console = [] {  // asked once per name shown
        DWORD mode;
        return ::GetConsoleMode(::GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
    }();
    return console;
}

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

}  // namespace platform
