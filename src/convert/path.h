// Looking a name up on disk and cutting and joining paths. A directory part
// ends at the last '\\' or '/' that is not the second byte of a double-byte
// character, or after a drive form "X:".
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/owned_string.h"
#include "platform/platform.h"

// The directory part as typed followed by the entry's stored name; nullptr when
// the name is empty, not found, too long for a path, or memory runs out.
OwnedString resolveLongPath(const char* name);

// Stands for a length not yet measured.
constexpr std::size_t unknownLength = static_cast<std::size_t>(-1);

// An entry no walk reached: Entry::walkedFrom.
constexpr uint32_t notWalked = 0xFFFFFFFFu;

// Whether the decision was already made for an entry (by the journal's
// planning, under the same settings): it is not made again.
enum class Verdict : unsigned char { unknown, lower, leave };

// One entry as the run found it, looked up once and carried to the decision
// and the rename: its path (the directory part as typed, then the stored
// name), where the final component begins, and what the system said of it.
struct Entry {
    const char* path;
    std::size_t length;   // of the path
    std::size_t nameAt;
    uint32_t attributes;  // as queryAttributes gives it
    bool identified;      // see platform::entryIdentity
    platform::EntryIdentity identity;
    bool fromListing;     // what a listing said, not looked up since
    Verdict verdict;
    int record;           // its rename as the journal's window holds it; -1: none
    // Under /s, where the folders the walk went through begin: the decision
    // looks at the path before them and at the final component, as if the
    // name had been typed in its own folder. notWalked: none. (32 bits: it
    // fills the room after `record`.)
    uint32_t walkedFrom = notWalked;
};

// The attribute word of an entry: 0 from the platform becomes 0x80 (normal).
inline uint32_t attributeWord(uint32_t word) { return word == 0 ? 0x80u : word; }

// An entry as a listing gave it, not looked up since; `length` is the path's.
inline Entry listedEntry(const char* path, std::size_t length, std::size_t nameAt, uint32_t attributes,
                         bool identified, const platform::EntryIdentity& identity,
                        uint32_t walkedFrom = notWalked) {
    return {path,     length,           nameAt, attributeWord(attributes), identified, identity, true,
            Verdict::unknown, -1, walkedFrom};
}

// The bytes of the character at `p` as a path is read: a lead byte takes the
// byte after it (a second byte 0x5C is no separator), but not the terminator
// nor, where every '/' separates, a '/'.
std::size_t pathCharacterLength(const char* p);

// Looks `name` up as resolveLongPath does: found, not found (nullptr there,
// for a path the system cannot take too), or out of memory where the path
// with the stored name could not be kept. `storage` keeps the path when the
// stored name differs from the typed one. `nameAt` is the length of the
// directory part, where the caller knows it.
enum class Lookup : unsigned char { found, notFound, outOfMemory };
Lookup findEntry(const char* name, Entry& entry, OwnedString& storage, std::size_t nameAt = unknownLength);

// The attribute word; 0 from the platform becomes 0x80 (normal), and
// platform::invalidAttributes means not found.
uint32_t queryAttributes(const char* path);

// Cuts `path` in place to its directory part; nullptr (and an empty path) when
// it has none.
char* cutToDirectory(char* path);
// The length of the directory part of `path`.
std::size_t directoryLength(const char* path);
// The text after the directory part.
const char* finalComponent(const char* path);

// True for "." and "..", which name no entry of their own.
inline bool isDotOrDotDot(const char* name) {
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

// The names of the entries of `directory` (a directory part, empty for the
// current directory) that `keep` accepts, or of all when it is null: hidden
// ones too, but "." and "..", from one listing. `endingIn` (ASCII text), where
// given, lets the system pass over the names that do not end in it.
std::vector<std::string> listEntries(const std::string& directory, bool (*keep)(const char* name) = nullptr,
                                     const char* endingIn = nullptr);

// dst = directory, a separator when needed, name. dst must hold all three and
// the terminator.
char* joinPath(char* dst, const char* directory, const char* name);
