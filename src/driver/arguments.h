// The argument vector: the raw command line split by its quoting rules, and
// every argument holding '*' or '?' replaced by its sorted matches.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "driver/growing_array.h"
#include "platform/owned_string.h"
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
// Appends the expansion of every text of `in` to `out`, what each found to
// `expansions`; false when memory runs out.
struct Expansions;
bool expandWildcards(const ArgumentList& in, ArgumentList& out, Expansions& expansions);
// Appends the matches of `text` (its first wildcard at `wildcard`), sorted, or
// the text itself when nothing matches; false when memory runs out.
bool expandPattern(const char* text, const char* wildcard, ArgumentList& out, Expansions& expansions);
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

// A search for the names a pattern matches, one at a time.
struct MatchSearch {
    platform::SearchHandle handle = nullptr;
    platform::FindData data;
};
// Gives the first matching name for a pattern, or the next one for nullptr;
// nullptr at the end.
const char* findMatch(MatchSearch& search, const char* pattern);
void closeMatchSearch(MatchSearch& search);

// What the expansions of a vector found: for each argument its place, and
// the patterns typed. The vector they were made for is kept, so that no other
// is taken for it.
struct Expansions {
    // Where an expansion put an entry, and what its listing said: the file
    // number the listing does not give, is looked up again when it is renamed.
    struct Place {
        uint64_t file;
        uint32_t attributes;
        uint32_t pattern;  // 1 + its index in `patterns`, 0 for a text of no expansion
        uint32_t length;   // of the text
    };
    struct Pattern {
        OwnedString text;  // as typed
        bool identified;   // the listing told the entries' numbers
        uint64_t volume;
        std::size_t prefix;  // the length of its directory part
    };
    GrowingArray<Place> places;
    std::vector<Pattern> patterns;
    char* const* vector = nullptr;
};

// Builds the vector from the raw command line, or from `original`, the list
// the system split itself where it has one (POSIX), taken as it is. On
// running out of memory (or an `originalCount` below 0: the system's list
// could not be had) writes the start-up message and ends the process with
// 255. `count` gets the count; the vector ends with a null entry and lives as
// long as the process.
// What the expansions found goes to `expansions`.
char** buildArgumentVector(const char* commandLine, const char* const* original, int originalCount, int* count,
                           Expansions& expansions);

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
    std::size_t length = 0;         // of the text
    ListedEntry listed{};
};
// For the argument at `index` of `vector`, the argument vector that
// buildArgumentVector gave: what its expansion knows; no pattern for a text
// that no expansion produced, and for any other vector.
Expanded expansionAt(const Expansions& expansions, char* const* vector, int index);
// True when an expansion produced that argument (expansionAt gives a pattern).
bool isExpanded(const Expansions& expansions, char* const* vector, int index);

