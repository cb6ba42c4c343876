// POSIX backend, the console: interruptions, the terminal, keys, output and
// the clock.
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/platform.h"
#include "platform/posix_codeset.h"
#include "platform/posix_internal.h"
#include "sjis/sjis.h"

namespace platform {

namespace {

// The terminal as the user had it, saved before the first change; put back
// at every way out of the process.
termios savedTerminal;
volatile sig_atomic_t terminalChanged = 0;
bool echoHeld = false;

bool saveTerminal() {
    if (terminalChanged) return true;
    if (!isatty(STDIN_FILENO) || tcgetattr(STDIN_FILENO, &savedTerminal) != 0) return false;
    terminalChanged = 1;
    return true;
}

void restoreTerminal() {
    if (terminalChanged) {
        tcsetattr(STDIN_FILENO, TCSANOW, &savedTerminal);
        terminalChanged = 0;
    }
}

// While output may pause, keys typed ahead are not echoed: they would push
// the prompt aside and outlive its erasing.
void holdEcho() {
    if (echoHeld || !saveTerminal()) return;
    termios quiet = savedTerminal;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    tcsetattr(STDIN_FILENO, TCSANOW, &quiet);
    echoHeld = true;
}

// An interruption ends the process as the signal would, with the terminal
// as the user had it.
void onInterrupt(int sig) {
    restoreTerminal();
    signal(sig, SIG_DFL);
    raise(sig);
}

constexpr int interruptions[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

sigset_t interruptionSet() {
    sigset_t set;
    sigemptyset(&set);
    for (int sig : interruptions) sigaddset(&set, sig);
    return set;
}

int holds = 0;
sigset_t maskBeforeHold;

// A key that sent the first byte `lead` of a UTF-8 character: the character's
// first byte in the command's code page (0xC0 for the katakana that the Q key
// gives under kana input), or 0 when it has none.
int commandKey(unsigned char lead) {
    char sequence[5] = {static_cast<char>(lead)};
    std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
    pollfd more{STDIN_FILENO, POLLIN, 0};
    for (std::size_t i = 1; i < length; ++i)
        if (poll(&more, 1, 30) <= 0 || read(STDIN_FILENO, &sequence[i], 1) != 1) return 0;
    std::string key;
    if (!codeset::fromTerminal(sequence, key) || key.empty()) return 0;
    return static_cast<unsigned char>(key[0]);
}

void writeTo(std::FILE* stream, const char* bytes, std::size_t count) {
    // One thread writes: the stream's lock would be taken for nothing.
    if (codeset::displayIsText()) {
        fwrite_unlocked(bytes, 1, count, stream);
        return;
    }
    static std::string shown;  // kept, so that its storage is reused
    codeset::toDisplay(bytes, count, shown);
    fwrite_unlocked(shown.data(), 1, shown.size(), stream);
}

}  // namespace

void catchInterruptions() {
    // A reader that goes away (`| head`) must not stop the renames half-way:
    // the write fails instead, and the run says so once at its end.
    signal(SIGPIPE, SIG_IGN);
    for (int sig : interruptions) {
        struct sigaction old {};
        sigaction(sig, nullptr, &old);
        if (old.sa_handler == SIG_IGN) continue;  // nohup and the like stay in force
        struct sigaction action {};
        action.sa_handler = onInterrupt;
        sigemptyset(&action.sa_mask);
        sigaction(sig, &action, nullptr);
    }
}

void holdInterrupts() {
    if (holds++ > 0) return;
    sigset_t set = interruptionSet();
    sigprocmask(SIG_BLOCK, &set, &maskBeforeHold);
}

void releaseInterrupts() {
    if (holds == 0 || --holds > 0) return;
    sigset_t pending;
    sigpending(&pending);
    for (int sig : interruptions)
        if (sigismember(&pending, sig)) {
            // The process ends once the mask is lifted; what it reported so
            // far is written out first, as it matches the disk.
            flushOut();
            break;
        }
    sigprocmask(SIG_SETMASK, &maskBeforeHold, nullptr);
}

bool errorIsConsole() { return isatty(STDERR_FILENO) == 1; }

bool outputIsConsole() {
    static const bool console = isatty(STDOUT_FILENO) == 1;  // asked once per name shown
    return console;
}

namespace {

// Result lines for a file or a pipe are gathered here, in place of the
// stream's buffer and as large, and written a block at a time: the stream's
// own machinery costs more per line than the copy. Text converted for the
// display is gathered once converted. A terminal goes through the stream.
struct Gathered {
    char bytes[4096];
    std::size_t used = 0;
    bool failed = false;
    std::string shown;  // a line converted, kept so that its storage is reused
} gathered;

void writeAll(const char* bytes, std::size_t count) {
    while (count > 0 && !gathered.failed) {
        ssize_t written = ::write(STDOUT_FILENO, bytes, count);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
            gathered.failed = true;
            break;
        }
        bytes += written;
        count -= static_cast<std::size_t>(written);
    }
}

void handOver() {
    writeAll(gathered.bytes, gathered.used);
    gathered.used = 0;
}

}  // namespace

char* outputRoom(std::size_t count) {
    if (!codeset::displayIsText() || outputIsConsole() || count > sizeof gathered.bytes - gathered.used) return nullptr;
    return gathered.bytes + gathered.used;
}
void keepOut(std::size_t count) { gathered.used += count; }

namespace {

// Bytes as they are, through the gathering buffer.
[[gnu::always_inline]] inline void gather(const char* bytes, std::size_t count) {
    if (count > sizeof gathered.bytes - gathered.used) handOver();
    if (count > sizeof gathered.bytes) {
        writeAll(bytes, count);
        return;
    }
    eightBytes::copy(gathered.bytes + gathered.used, bytes, count);
    gathered.used += count;
}

// Converted for the display straight into the gathering buffer: the common
// case of toDisplay, where the bridge is on. False where it must be done in
// full.
bool showInPlace(const char* bytes, std::size_t count) {
    std::size_t most = 3 * count;  // see displayByCharacter
    if (!codeset::active() || most > sizeof gathered.bytes) return false;
    if (most > sizeof gathered.bytes - gathered.used) handOver();
    std::size_t shown = codeset::displayByCharacter(bytes, count, gathered.bytes + gathered.used);
    if (shown == codeset::notShown) return false;
    gathered.used += shown;
    return true;
}

}  // namespace

void writeOut(const char* bytes, std::size_t count) {
    if (outputIsConsole()) {
        writeTo(stdout, bytes, count);
    } else if (codeset::displayIsText()) {
        gather(bytes, count);
    } else if (!showInPlace(bytes, count)) {
        codeset::toDisplay(bytes, count, gathered.shown);
        gather(gathered.shown.data(), gathered.shown.size());
    }
}
void writeOutExactly(const char* bytes, std::size_t count) {
    std::fflush(stdout);  // what went through the stream first
    gather(bytes, count);
}
void writeErr(const char* bytes, std::size_t count) { writeTo(stderr, bytes, count); }
void writeErrExactly(const char* bytes, std::size_t count) { std::fwrite(bytes, 1, count, stderr); }
void flushOut() {
    handOver();
    std::fflush(stdout);
}
bool outputFailed() {
    handOver();
    return std::fflush(stdout) != 0 || std::ferror(stdout) || gathered.failed;
}

void exitProcess(int code) {
    restoreTerminal();
    handOver();
    std::exit(code);
}

bool consoleRows(int* bufferRows, int* windowRows) {
    winsize size;
    if (!isatty(STDOUT_FILENO) || ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) != 0 || size.ws_row == 0)
        return false;
    *bufferRows = *windowRows = size.ws_row;
    holdEcho();  // asked by a pager that is about to page
    return true;
}

int readConsoleKey() {
    if (!saveTerminal()) return -1;
    termios raw = savedTerminal;
    raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    tcsetattr(STDIN_FILENO, TCSANOW, &raw);
    tcflush(STDIN_FILENO, TCIFLUSH);  // keys typed before the prompt do not answer it
    unsigned char key = 0;
    ssize_t n;
    do {
        n = read(STDIN_FILENO, &key, 1);
    } while (n < 0 && errno == EINTR);
    int result = n == 1 ? key : -1;
    if (result >= 0xC0 && codeset::active()) result = commandKey(key);
    if (result == 27) {
        // Esc alone is Quit; an arrow or function key sends Esc and more bytes
        // at once, and is a key without a character.
        pollfd more{STDIN_FILENO, POLLIN, 0};
        if (poll(&more, 1, 30) > 0) {
            result = 0;
            unsigned char rest[32];
            while (poll(&more, 1, 0) > 0 && read(STDIN_FILENO, rest, sizeof rest) > 0) {
            }
        }
    }
    if (echoHeld) {
        termios quiet = savedTerminal;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        tcsetattr(STDIN_FILENO, TCSANOW, &quiet);
    } else {
        restoreTerminal();
    }
    return result;
}

uint32_t GetTickCount() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    uint64_t ms = static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
    return static_cast<uint32_t>(ms);
}

}  // namespace platform
