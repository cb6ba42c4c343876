#include "config/reader.h"

#include "sjis/sjis.h"

namespace {

bool isBinaryByte(int c) {
    return (c >= 0x01 && c <= 0x06) || (c >= 0x0E && c <= 0x19) || c == 0x1A ||
           (c >= 0x1C && c <= 0x1F) || c == 0x7F || c == 0xFF;
}

bool isBlank(int c) { return c == 0x09 || c == 0x0B || c == 0x0C || c == 0x20; }

}  // namespace

int readConfigChar(std::FILE* stream, int* lineEndKind) {
    int c = std::getc(stream);
    if (c == EOF) return -1;
    if (c == 0x1A) {
        int after = std::getc(stream);
        if (after == EOF) return -1;  // the end mark closes the file
        std::ungetc(after, stream);
        return 26;
    }
    if (c == 0x0D) {
        int after = std::getc(stream);
        if (after != EOF && after != 0x0A) std::ungetc(after, stream);
        *lineEndKind = after == 0x0A ? lineEndCrLf : lineEndCr;
        return 10;
    }
    if (c == 0x0A) {
        *lineEndKind = lineEndLf;
        return 10;
    }
    return c;
}

int readConfigLine(char* buffer, std::size_t n, std::FILE* stream, int* lineEndKind) {
    std::size_t stored = 0;
    buffer[0] = '\0';
    int c;
    do {
        c = readConfigChar(stream, lineEndKind);
        if (c == -1) return noMoreLines;
        if (isBinaryByte(c)) return binaryData;
    } while (c != 10 && isBlank(c));

    bool comment = false;
    while (c != -1 && c != 10) {
        if (isBinaryByte(c)) {
            buffer[stored] = '\0';
            return binaryData;
        }
        if (c == '#' || c == ';') comment = true;
        // An over-long line is cut; the rest is still read and checked.
        if (!comment && stored + 1 < n) buffer[stored++] = static_cast<char>(c);
        c = readConfigChar(stream, lineEndKind);
    }
    while (stored > 0 && isWhiteSpace(static_cast<unsigned char>(buffer[stored - 1]))) --stored;
    buffer[stored] = '\0';
    return std::ferror(stream) ? noMoreLines : lineRead;
}

int checkLineEnd(int lineEndKind, int* lastKind) {
    if (*lastKind != -1 && lineEndKind != 0 && lineEndKind != *lastKind) return mixedLineEnds;
    if (lineEndKind != 0) *lastKind = lineEndKind;
    return lineRead;
}

int nextConfigLine(ConfigLines& lines, char* buffer, std::size_t n) {
    ++lines.lineNumber;
    int result = readConfigLine(buffer, n, lines.stream, &lines.lineEndKind);
    if (result != lineRead) return result;
    return checkLineEnd(lines.lineEndKind, &lines.lastKind);
}
