// Looking a name up on disk, and the entry that a lookup or a listing gives.
// Paths are cut and joined as platform/path_text.h says.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/owned_string.h"
#include "platform/path_text.h"
#include "platform/platform.h"

// The directory part as typed followed by the entry's stored name; nullptr when
// the name is empty, not found, too long for a path, or memory runs out.
OwnedString resolveLongPath(const char* name);

// The widest resolved length (or typed length, where a name does not resolve)
// of the arguments from 1 to count - 1 that `isName` says are names: the
// aligned column's width.
std::size_t widestNameLength(int count, char* const* arguments, const std::function<bool(int i)>& isName);

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

    // An entry as a listing gave it, not looked up since; `length` is the path's.
    static Entry listed(const char* path, std::size_t length, std::size_t nameAt, uint32_t attributes,
                        bool identified, const platform::EntryIdentity& identity, uint32_t walkedFrom = notWalked);
    // An entry as the system gave it just now: it is not looked up again.
    static Entry found(const char* path, std::size_t length, std::size_t nameAt, uint32_t attributes,
                       bool identified, const platform::EntryIdentity& identity);
    // A path of which nothing is known yet: its identity is asked where it
    // is needed.
    static Entry ofPath(const char* path, std::size_t length, std::size_t nameAt);
};

// The attribute word of an entry: 0 from the platform becomes 0x80 (normal).
inline uint32_t attributeWord(uint32_t word) { return word == 0 ? 0x80u : word; }

inline Entry Entry::listed(const char* path, std::size_t length, std::size_t nameAt, uint32_t attributes,
                           bool identified, const platform::EntryIdentity& identity, uint32_t walkedFrom) {
    Entry e = found(path, length, nameAt, attributes, identified, identity);
    e.fromListing = true;
    e.walkedFrom = walkedFrom;
    return e;
}

inline Entry Entry::ofPath(const char* path, std::size_t length, std::size_t nameAt) {
    Entry e;
    e.path = path;
    e.length = length;
    e.nameAt = nameAt;
    e.attributes = 0;  // unknown, not "normal"
    e.identified = false;
    e.identity = {};
    e.fromListing = false;
    e.verdict = Verdict::unknown;
    e.record = -1;
    return e;
}

inline Entry Entry::found(const char* path, std::size_t length, std::size_t nameAt, uint32_t attributes,
                          bool identified, const platform::EntryIdentity& identity) {
    Entry e = ofPath(path, length, nameAt);
    e.attributes = attributeWord(attributes);
    e.identified = identified;
    e.identity = identity;
    return e;
}

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

// The names of the entries of `directory` (a directory part, empty for the
// current directory) that `keep` accepts, or of all when it is null: hidden
// ones too, but "." and "..", from one listing. `endingIn` (ASCII text), where
// given, lets the system pass over the names that do not end in it.
std::vector<std::string> listEntries(const std::string& directory, bool (*keep)(const char* name) = nullptr,
                                     const char* endingIn = nullptr);
