// Letters beyond A-Z, under /u: code page 932's full-width Latin, Greek and
// Cyrillic letters, and what the system's names hold beyond the code page
// (accented Latin, say), as the user's locale gives their case. The decision
// keeps its rules; only what counts as a capital, a small letter and a
// double-byte character changes: a letter that has a case is a letter.
#pragma once

#include <cstddef>
#include <string>

// What one pass over a text tells the decision under /u.
struct LetterClass {
    bool capital = false, small = false;
    bool doubleByte = false;  // a double-byte character that is no letter with a case
    bool space = false;
    bool endsInside = false;  // a lead byte directly before the end
};
LetterClass classifyLetters(const char* text, std::size_t length);

// `name` (`length` bytes) with every capital lowered, each other character
// byte for byte as it was, into `out`.
void lowerLetters(const char* name, std::size_t length, std::string& out);
