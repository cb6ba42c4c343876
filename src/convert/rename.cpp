#include "convert/rename.h"

#include <cstdio>
#include <cstring>

#include "convert/path.h"
#include "platform/platform.h"
#include "sjis/sjis.h"

namespace {

char stranded[platform::maxPath];

// True when the entry that `path` designates is stored under exactly the final
// component of `path`.
bool storedAs(const char* path) {
    platform::FindData found;
    platform::SearchHandle h = platform::FindFirstFileA(path, &found);
    if (!h) return false;
    platform::FindClose(h);
    return equalStrings(found.fileName, finalComponent(path));
}

// A path in the directory of `beside` that names no entry yet.
bool makeTemporaryPath(const char* beside, char* out) {
    std::size_t dir = directoryLength(beside);
    uint32_t seed = platform::GetTickCount();
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        char name[32];
        std::snprintf(name, sizeof name, "tavisk~%08lx.tmp",
                      static_cast<unsigned long>(seed + attempt * 7919u));
        if (dir + std::strlen(name) >= platform::maxPath) return false;
        std::memcpy(out, beside, dir);
        std::strcpy(out + dir, name);
        if (platform::GetFileAttributesA(out) == platform::invalidAttributes) return true;
    }
    return false;
}

// How many entries of the directory of `path` are spelled like its final
// component ignoring the case of A-Z. More than one is possible only on a
// case-sensitive disk seen through case-insensitive lookups (Wine): there a
// detour could not be undone, because the old name would find the other entry.
int spellingsOf(const char* path) {
    const char* name = finalComponent(path);
    if (*name == '\0') return 0;
    char pattern[platform::maxPath];
    std::size_t dir = static_cast<std::size_t>(name - path);
    std::memcpy(pattern, path, dir);
    // '?' in place of the first character lets the search list every spelling.
    std::size_t first = isSjisLead(static_cast<unsigned char>(name[0])) && name[1] ? 2 : 1;
    pattern[dir] = '?';
    std::strcpy(pattern + dir + 1, name + first);
    platform::FindData found;
    platform::SearchHandle h = platform::FindFirstFileA(pattern, &found);
    if (!h) return 0;
    int count = 0;
    do {
        if (equalsIgnoreCase(found.fileName, name)) ++count;
    } while (platform::FindNextFileA(h, &found));
    platform::FindClose(h);
    return count;
}

// No interruption may end the run while the entry is under the temporary name.
struct InterruptHold {
    InterruptHold() { platform::holdInterrupts(); }
    ~InterruptHold() { platform::releaseInterrupts(); }
    InterruptHold(const InterruptHold&) = delete;
    InterruptHold& operator=(const InterruptHold&) = delete;
};

RenameOutcome renameThroughTemporary(const char* from, const char* to) {
    if (spellingsOf(from) != 1) return RenameOutcome::failed;
    InterruptHold hold;
    char temporary[platform::maxPath];
    if (!makeTemporaryPath(from, temporary)) return RenameOutcome::failed;
    if (!platform::moveEntry(from, temporary)) return RenameOutcome::failed;
    if (platform::moveEntry(temporary, to)) {
        if (storedAs(to)) return RenameOutcome::done;
        // Moved, yet stored under another spelling: give it its old name back
        // if the file system lets us; either way it is findable by `to`.
        platform::moveEntry(to, from);
        return RenameOutcome::failed;
    }
    // Put the entry back where the user left it.
    if (platform::moveEntry(temporary, from)) return RenameOutcome::failed;
    std::strcpy(stranded, temporary);
    return RenameOutcome::stranded;
}

}  // namespace

RenameOutcome renameEntry(const char* from, const char* to) {
    if (equalStrings(from, to)) return RenameOutcome::done;
    if (platform::moveEntry(from, to)) {
        if (storedAs(to)) return RenameOutcome::done;
        // Reported done, but the stored name did not change (FAT, exFAT,
        // some shares, a case-insensitive view of a case-sensitive disk).
        if (!storedAs(from)) return RenameOutcome::failed;
        return renameThroughTemporary(from, to);
    }
    // The move was refused. When the new name is held by another entry (a
    // case-sensitive disk holding both spellings), that entry must stay.
    if (storedAs(to) || !storedAs(from)) return RenameOutcome::failed;
    // The new name designates this very entry, and the file system refused
    // the case-only move as a replacement: go through a temporary name.
    return renameThroughTemporary(from, to);
}

const char* strandedName() { return stranded; }
