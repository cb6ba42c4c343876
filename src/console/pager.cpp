#include "console/pager.h"

#include <cstdarg>
#include <cstring>
#include <string>

#include "console/format.h"
#include "platform/platform.h"

void TickPacer::pace(uint32_t ms) {
    if (ms == markNow) {
        mark = platform::GetTickCount();
        fresh = false;
        return;
    }
    if (fresh) {
        mark = platform::GetTickCount();
        fresh = false;
    }
    // Unsigned subtraction keeps the wait right across the 32-bit wrap.
    while (static_cast<uint32_t>(platform::GetTickCount() - mark) <= ms) {
    }
    mark = platform::GetTickCount();
}

int readKey() { return platform::readConsoleKey(); }

void repeatChar(char ch, unsigned count) {
    char run[64];
    std::memset(run, ch, sizeof run);
    while (count) {
        unsigned n = count < sizeof run ? count : static_cast<unsigned>(sizeof run);
        platform::writeOut(run, n);
        count -= n;
    }
}

namespace {

enum class Answer { Continue, All, Quit };

Answer answerFor(int key) {
    switch (key) {
        case 27: case 'Q': case 'q': case 0xC0: return Answer::Quit;
        case 'A': case 'a': case 0xC1: return Answer::All;
        default: return Answer::Continue;
    }
}

// Shows the prompt and waits for one key. A key that cannot be read (standard
// input is not a console) answers All: waiting would hang the run and
// re-prompting would spin, so output goes on unpaged.
Answer pauseAtPrompt(TickPacer& pacer, const char* prompt) {
    pacer.pace(promptDelay);
    std::size_t length = std::strlen(prompt);
    platform::writeOut(prompt, length);
    platform::flushOut();
    int key = readKey();
    pacer.pace(markNow);
    platform::writeOut("\r", 1);
    repeatChar(' ', static_cast<unsigned>(length));
    platform::writeOut("\r", 1);
    return key < 0 ? Answer::All : answerFor(key);
}

bool consoleBuffer(int* bufferRows, int* windowRows) {
    return platform::consoleRows(bufferRows, windowRows) && *bufferRows > 0;
}

}  // namespace

void setUpHelpPager(HelpPager& pager, int exitCode) {
    pager.pacer.pace(markNow);
    pager.exitCode = exitCode;
    int bufferRows = 0, windowRows = 0;
    pager.enabled = consoleBuffer(&bufferRows, &windowRows);
}

Paged helpPause(HelpPager& pager, const char* prompt) {
    if (!pager.enabled) return Paged::going;
    Answer answer = pauseAtPrompt(pager.pacer, prompt);
    if (answer == Answer::Quit) return Paged::quit;
    if (answer == Answer::All) pager.enabled = false;
    return Paged::going;
}

void setUpResultPager(ResultPager& pager, bool enabled, int exitCode) {
    pager.pacer.pace(markNow);
    pager.exitCode = exitCode;
    if (!enabled) {
        pager.pageLines = 0;
        return;
    }
    int bufferRows = 0, windowRows = 0;
    if (!consoleBuffer(&bufferRows, &windowRows)) {
        pager.pageLines = 0;
        return;
    }
    pager.pageLines = windowRows - 2;
}

Paged countOutput(ResultPager& pager, int chars, const char* prompt) {
    if (pager.pageLines < 1) return Paged::going;
    int lines = chars / screenColumns + (chars % screenColumns != 0 ? 1 : 0);
    pager.linesShown += lines;
    if (pager.linesShown <= pager.pageLines) return Paged::going;
    pager.linesShown = 0;
    Answer answer = pauseAtPrompt(pager.pacer, prompt);
    if (answer == Answer::Continue) return Paged::going;
    pager.pageLines = 0;  // after All, and after a Quit that nobody stops at
    if (answer == Answer::All) return Paged::going;
    if (pager.quit) pager.quit(pager.exitCode);
    return Paged::quit;
}

int printResult(ResultPager& pager, const char* format, ...) {
    std::va_list args;
    va_start(args, format);
    int n = writeFormatted(format, args);
    va_end(args);
    countOutput(pager, n, promptText);
    return n;
}

int printOut(const char* format, ...) {
    std::va_list args;
    va_start(args, format);
    int n = writeFormatted(format, args);
    va_end(args);
    return n;
}

const char* shownName(const char* name, std::string& room) {
    if (!platform::outputIsConsole()) return name;
    bool control = false;
    for (const char* p = name; *p && !control; ++p)
        control = static_cast<unsigned char>(*p) < 0x20 || *p == 0x7F;
    if (!control) return name;
    // No second byte of a character is a control byte, so each one stands alone.
    room = name;
    for (char& c : room)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    return room.c_str();
}
