// Paged standard output: the help pager breaks at points the help screen
// chooses, the result pager counts screen lines and pauses at each screenful.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "console/format.h"

constexpr int screenColumns = 80;
constexpr uint32_t promptDelay = 500;
constexpr uint32_t markNow = 0xFFFFFFFFu;
inline constexpr char promptText[] = "(Continue,/All/Quit)";

// Keeps a prompt from appearing sooner than a given time after the last mark.
class TickPacer {
public:
    void pace(uint32_t ms);

private:
    bool fresh = true;
    uint32_t mark = 0;
};

// How a pause was answered: go on (Continue or All), or Quit.
enum class Paged : unsigned char { going, quit };

struct HelpPager {
    bool enabled = true;
    int exitCode = 1;
    TickPacer pacer;
};

struct ResultPager {
    int pageLines = 24;
    int exitCode = 1;
    int linesShown = 0;
    TickPacer pacer;
    // What a Quit does, given `exitCode`: the run that pages its results
    // stops there, whatever line it was writing. Without it the pager only
    // answers quit, and pauses no more.
    void (*quit)(int exitCode) = nullptr;
};

// One key's character byte 0-255, or -1 when no key can be read.
int readKey();
void repeatChar(char ch, unsigned count);

void setUpHelpPager(HelpPager& pager, int exitCode);
Paged helpPause(HelpPager& pager, const char* prompt);
void setUpResultPager(ResultPager& pager, bool enabled, int exitCode);
Paged countOutput(ResultPager& pager, int chars, const char* prompt);

// printf-style write of one result text to standard output, charged to the
// result pager; gives the number of characters written.
int printResult(ResultPager& pager, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;

// The same for a format whose only conversions are "%s", `texts` in their
// places in turn: the result lines, without printf's machinery.
// Inline: it is the one write of every result line.
inline int printResultTexts(ResultPager& pager, const char* format, const char* const (&texts)[3]) {
    int n = writeJoined(format, texts);
    if (n < 0) return printResult(pager, format, texts[0], texts[1], texts[2]);
    countOutput(pager, n, promptText);
    return n;
}

// `name` as a result line shows it: on a console each control byte (0x01-0x1F,
// 0x7F) becomes '?', so that a name cannot split a line or send the terminal
// an escape sequence; to a file or a pipe it stays as it is. A name changed
// so is written into `room`, which holds it until its next use.
const char* shownName(const char* name, std::string& room);

// printf-style write to standard output that no pager counts.
int printOut(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;
