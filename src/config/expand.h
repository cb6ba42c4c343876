// %NAME% expansion of configuration lines, and the small in-place edits it
// is made of.
#pragma once

#include <cstddef>

// A line buffer that expansion may grow, so that no value makes it overflow.
struct LineBuffer {
    char* text;
    std::size_t capacity;
};

// Replaces each %NAME% token with the environment value of NAME (nothing when
// unset), left to right, each once; inserted values are not scanned again.
// `name` is a work buffer of limit + 2 bytes; names of limit bytes or more are
// not expanded. Gives false when memory runs out.
bool expandVariables(LineBuffer& line, char* name, std::size_t limit);

// Copies the text between `open` and `close` into out (when it is shorter than
// cap) and gives the position after `close`; nullptr when either delimiter is
// missing or the text is too long.
const char* findBetween(const char* text, char* out, std::size_t cap, const char* open,
                        const char* close);
// Replaces the first `find` in text by `repl`; gives the position after it, or
// nullptr when `find` does not occur. The buffer must have room.
char* replaceFirst(char* text, const char* find, const char* repl);
// Inserts `ins` before byte `index`; gives the position after it, or text when
// index is past the end or ins is empty.
char* insertAt(char* text, std::size_t index, const char* ins);
