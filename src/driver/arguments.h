// The argument vector: the raw command line split by its quoting rules, and
// every argument holding '*' or '?' replaced by its sorted matches.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/platform.h"

struct TextBlock;

// A growable list of argument texts; the texts and the array are the list's.
// The texts are kept in blocks, many to an allocation.
struct ArgumentList {
    char** items = nullptr;
    int count = 0;
    int capacity = 0;
    TextBlock* texts = nullptr;  // the newest block first
};

// Splits the command line; false when memory runs out.
bool splitCommandLine(const char* commandLine, ArgumentList& out);
// Appends the expansion of every text of `in` to `out`; false when memory
// runs out.
bool expandWildcards(const ArgumentList& in, ArgumentList& out);
// Appends the matches of `text` (its first wildcard at `wildcard`), sorted, or
// the text itself when nothing matches; false when memory runs out.
bool expandPattern(const char* text, const char* wildcard, ArgumentList& out);
// Sorts items[first..count) without regard to the case of A-Z; texts equal
// that way are ordered by their bytes.
void sortMatches(ArgumentList& list, int first);
// The order in which sortMatches puts `n` texts: the index of the first, the
// second, and so on. The first `skip` bytes are the same in every text.
std::vector<int> sortedOrder(const char* const* texts, int n, std::size_t skip = 0);
// Orders two texts by bytes after folding A-Z to a-z: negative, 0, positive.
int compareFolded(const char* a, const char* b);
// The order of matches: folded as above, then by their bytes.
bool sortsBefore(const char* a, const char* b);

// Gives the first matching name for a pattern, or the next one for nullptr;
// nullptr at the end.
const char* findMatch(const char* pattern);
void closeMatchSearch();

// Builds the vector from the raw command line, or from `original`, the list
// the system split itself where it has one (POSIX), taken as it is. On
// running out of memory (or an `originalCount` below 0: the system's list
// could not be had) writes the start-up message and ends the process with
// 255. `count` gets the count; the vector ends with a null entry and lives as
// long as the process.
char** buildArgumentVector(const char* commandLine, const char* const* original,
                           int originalCount, int* count);

void releaseArguments(ArgumentList& list);

// What the listing said of an entry that an expansion produced: enough to
// decide and rename it without looking it up again.
struct ListedEntry {
    uint32_t attributes;
    bool identified;
    platform::EntryIdentity identity;
};
// What an expansion knows of a text it produced: a name found on disk,
// whatever its first byte (on Linux a name may begin with '-').
struct Expanded {
    const char* pattern = nullptr;  // as typed: /s walks the pattern, not what it matched here
    std::size_t nameAt = 0;         // where the name found begins: after the pattern's directory part
    ListedEntry listed{};
};
// For the argument at `index` of `vector`, the argument vector that
// buildArgumentVector gave: what its expansion knows; no pattern for a text
// that no expansion produced, and for any other vector.
Expanded expansionAt(char* const* vector, int index);
// True when an expansion produced that argument (expansionAt gives a pattern).
bool isExpanded(char* const* vector, int index);

// Forgets what the expansions produced, as a new process would.
void forgetExpansions();
