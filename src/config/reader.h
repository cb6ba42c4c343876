// Logical lines of the configuration file: three kinds of line end, trimmed
// white space, '#' and ';' comments, 0x1A as the last byte, and a stop at bytes
// that cannot occur in a text file.
#pragma once

#include <cstddef>
#include <cstdio>

constexpr int lineEndLf = 10;
constexpr int lineEndCr = 13;
constexpr int lineEndCrLf = 3338;

constexpr int lineRead = 0;
constexpr int noMoreLines = -1;
constexpr int binaryData = -2;
constexpr int mixedLineEnds = -3;

// Capacity of the callers' line buffers: a line keeps at most 10240 bytes.
constexpr std::size_t configLineCapacity = 10241;

// A byte 0-255, 10 for any line end, 26 for a 0x1A that is not the file's last
// byte, -1 at the end. Sets lineEndKind when it reads a line end.
int readConfigChar(std::FILE* stream, int* lineEndKind);

// Reads one physical line into buffer (capacity n, terminator included):
// lineRead, noMoreLines or binaryData.
int readConfigLine(char* buffer, std::size_t n, std::FILE* stream, int* lineEndKind);

// The file-wide rule that every line ends like the first: gives mixedLineEnds
// for a line whose end differs, else lineRead. lastKind starts at -1.
int checkLineEnd(int lineEndKind, int* lastKind);

// Reads the next line and applies the line-end rule: lineRead, noMoreLines,
// binaryData or mixedLineEnds.
struct ConfigLines {
    std::FILE* stream;
    int lineEndKind = 0;
    int lastKind = -1;
    unsigned long lineNumber = 0;
};
int nextConfigLine(ConfigLines& lines, char* buffer, std::size_t n);
