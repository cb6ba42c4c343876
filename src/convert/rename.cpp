#include "convert/rename.h"

#include <cstring>

#include "convert/path.h"
#include "sjis/sjis.h"

const char leftoverSuffix[] = ".tavisk~";

namespace {

constexpr std::size_t suffixLength = sizeof leftoverSuffix - 1;

// The directory part of the last path where a case-only move changed nothing
// or was refused: the file system there needs the detour, so later entries of
// that directory take it at once instead of paying for the failed move.
char detourDirectory[platform::maxPath];
bool detourKnown = false;

bool isDetourDirectory(const char* path) {
    std::size_t n = directoryLength(path);
    return detourKnown && std::strlen(detourDirectory) == n &&
           std::memcmp(detourDirectory, path, n) == 0;
}

void rememberDetour(const char* path) {
    std::size_t n = directoryLength(path);
    std::memcpy(detourDirectory, path, n);
    detourDirectory[n] = '\0';
    detourKnown = true;
}

// True when the entry that `path` designates is stored under exactly the final
// component of `path`.
bool storedAs(const char* path) {
    platform::FindData found;
    platform::SearchHandle h = platform::FindFirstFileA(path, &found);
    if (!h) return false;
    platform::FindClose(h);
    return equalStrings(found.fileName, finalComponent(path));
}

bool isEntry(const char* path, const platform::EntryIdentity& identity) {
    platform::EntryIdentity now;
    return platform::entryIdentity(path, &now) && now == identity;
}

// What the directory of `from` holds under the spellings of its final
// component, read from the directory listing itself.
struct Spellings {
    int count = 0;     // entries equal to the name ignoring the case of A-Z
    bool from = false;  // one of them is stored exactly as `from`
    bool to = false;    // one of them is stored exactly as `to`
};

Spellings spellingsOf(const char* from, const char* to) {
    Spellings result;
    const char* name = finalComponent(from);
    const char* newName = finalComponent(to);
    if (*name == '\0') return result;
    char pattern[platform::maxPath];
    std::size_t dir = static_cast<std::size_t>(name - from);
    std::memcpy(pattern, from, dir);
    // '?' in place of the first character makes the search list every
    // spelling from the directory, instead of looking one name up.
    std::size_t first = isSjisLead(static_cast<unsigned char>(name[0])) && name[1] ? 2 : 1;
    pattern[dir] = '?';
    std::strcpy(pattern + dir + 1, name + first);
    platform::FindData found;
    platform::SearchHandle h = platform::FindFirstFileA(pattern, &found);
    if (!h) return result;
    do {
        if (!equalsIgnoreCase(found.fileName, name)) continue;
        ++result.count;
        result.from = result.from || equalStrings(found.fileName, name);
        result.to = result.to || equalStrings(found.fileName, newName);
    } while (platform::FindNextFileA(h, &found));
    platform::FindClose(h);
    return result;
}

// No interruption may end the run while the entry is under the temporary name.
struct InterruptHold {
    InterruptHold() { platform::holdInterrupts(); }
    ~InterruptHold() { platform::releaseInterrupts(); }
    InterruptHold(const InterruptHold&) = delete;
    InterruptHold& operator=(const InterruptHold&) = delete;
};

RenameResult outcome(RenameOutcome o) {
    RenameResult result;
    result.outcome = o;
    result.stranded[0] = '\0';
    return result;
}

// The detour, for an entry that is alone under its spellings and stored as
// `from`. Each step checks that the entry it moved is the one it started with,
// and nothing is put back over an entry that is not this one.
RenameResult renameThroughTemporary(const char* from, const char* to,
                                    const platform::EntryIdentity& identity) {
    std::size_t length = std::strlen(from);
    if (length + suffixLength >= platform::maxPath) return outcome(RenameOutcome::failed);
    char temporary[platform::maxPath];
    std::memcpy(temporary, from, length);
    std::memcpy(temporary + length, leftoverSuffix, suffixLength + 1);

    InterruptHold hold;
    if (!platform::moveEntry(from, temporary)) return outcome(RenameOutcome::failed);
    bool ours = isEntry(temporary, identity);
    if (ours && platform::moveEntry(temporary, to)) {
        if (isEntry(to, identity) && storedAs(to)) return outcome(RenameOutcome::done);
        // Moved, yet not stored as asked: the old name back, if it is ours.
        if (isEntry(to, identity) && platform::moveEntry(to, from)) return outcome(RenameOutcome::failed);
        return outcome(RenameOutcome::failed);
    }
    // Put the entry back where the user left it.
    if (platform::moveEntry(temporary, from)) return outcome(RenameOutcome::failed);
    RenameResult result = outcome(RenameOutcome::stranded);
    std::memcpy(result.stranded, temporary, length + suffixLength + 1);
    return result;
}

}  // namespace

bool isLeftoverName(const char* name) {
    std::size_t n = std::strlen(name);
    return n > suffixLength && equalsIgnoreCase(name + n - suffixLength, leftoverSuffix) &&
           sjisKindAt(name, n - suffixLength) != 2;
}

RenameResult renameEntry(const char* from, const char* to) {
    if (equalStrings(from, to)) return outcome(RenameOutcome::done);
    platform::EntryIdentity identity;
    if (!platform::entryIdentity(from, &identity)) return outcome(RenameOutcome::failed);
    if (!isDetourDirectory(from)) {
        if (platform::moveEntry(from, to) && isEntry(to, identity) && storedAs(to))
            return outcome(RenameOutcome::done);
        // Refused, or reported done with nothing changed (FAT, exFAT, some
        // shares, a case-insensitive view of a case-sensitive disk).
    }
    Spellings spellings = spellingsOf(from, to);
    // Another entry stored as `to` stays; an entry not stored as `from` was not
    // the one asked for; and beside another spelling the detour could not be
    // undone, since the old name would find that one.
    if (spellings.to || !spellings.from || spellings.count != 1) return outcome(RenameOutcome::failed);
    if (!isEntry(from, identity)) return outcome(RenameOutcome::failed);
    RenameResult result = renameThroughTemporary(from, to, identity);
    if (result.outcome == RenameOutcome::done) rememberDetour(from);
    return result;
}

void forgetDetours() { detourKnown = false; }
