#include "convert/rename.h"

#include <cstring>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

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

bool isDetourDirectory(const char* path, std::size_t n) {
    return detourKnown && std::strlen(detourDirectory) == n &&
           std::memcmp(detourDirectory, path, n) == 0;
}

void rememberDetour(const char* path, std::size_t n) {
    std::memcpy(detourDirectory, path, n);
    detourDirectory[n] = '\0';
    detourKnown = true;
}

// True when the entry that `path` designates is stored under exactly the final
// component of `path` (at `nameAt`).
bool storedAs(const char* path, std::size_t nameAt) {
    platform::FindData found;
    platform::SearchHandle h = platform::FindFirstFileA(path, &found);
    if (!h) return false;
    platform::FindClose(h);
    return equalStrings(found.fileName, path + nameAt);
}
bool storedAs(const char* path) { return storedAs(path, directoryLength(path)); }

// True when the entry of a listing is still stored under its name, as itself.
bool isListedEntry(const Entry& entry, const platform::EntryIdentity& identity) {
    platform::FindData found;
    return platform::lookUpEntry(entry.path, &found) && equalStrings(found.fileName, entry.path + entry.nameAt) &&
           found.identified && found.identity == identity;
}

bool isEntry(const char* path, const platform::EntryIdentity& identity) {
    platform::EntryIdentity now;
    return platform::entryIdentity(path, &now) && now == identity;
}

// What the directory of `from` holds under the spellings of its final
// component.
struct Spellings {
    int count = 0;      // entries equal to the name ignoring the case of A-Z
    bool from = false;  // one of them is stored exactly as `from`
    bool to = false;    // one of them is stored exactly as `to`
};

// The names of the directory the detour was last needed in, by their folded
// spelling: read from one listing of the directory when the detour is first
// needed there, and kept right by this run's own renames, so that each entry
// does not pay for a listing of its own (Wine reads the whole directory for
// every search).
struct SpellingIndex {
    std::string directory;
    bool built = false;
    std::unordered_map<std::string, std::vector<std::string>> names;
} spellingIndex;

std::string folded(const char* name) {
    std::string key = name;
    upperSingleByteLetters(&key[0]);
    return key;
}

bool buildSpellingIndex(const std::string& directory) {
    spellingIndex.directory = directory;
    spellingIndex.names.clear();
    spellingIndex.built = false;
    if (directory.size() + 2 >= platform::maxPath) return false;
    for (std::string& name : listEntries(directory))
        spellingIndex.names[folded(name.c_str())].push_back(std::move(name));
    spellingIndex.built = true;
    return true;
}

Spellings spellingsOf(const char* from, const char* to) {
    Spellings result;
    const char* name = finalComponent(from);
    const char* newName = finalComponent(to);
    std::string directory(from, static_cast<std::size_t>(name - from));
    if (*name == '\0') return result;
    if ((!spellingIndex.built || spellingIndex.directory != directory) && !buildSpellingIndex(directory))
        return result;
    auto found = spellingIndex.names.find(folded(name));
    if (found == spellingIndex.names.end()) return result;
    for (const std::string& spelling : found->second) {
        ++result.count;
        result.from = result.from || spelling == name;
        result.to = result.to || spelling == newName;
    }
    return result;
}

// After the detour: the index follows a rename it saw through, and is read
// again after anything else.
void noteDetour(const char* from, const char* to, bool done) {
    if (!done) {
        spellingIndex.built = false;
        return;
    }
    auto found = spellingIndex.names.find(folded(finalComponent(from)));
    if (found == spellingIndex.names.end() || found->second.size() != 1) {
        spellingIndex.built = false;
        return;
    }
    found->second[0] = finalComponent(to);
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
    if (!platform::moveEntry(from, temporary, platform::MoveTarget::own)) return outcome(RenameOutcome::failed);
    bool ours = isEntry(temporary, identity);
    if (ours && platform::moveEntry(temporary, to)) {
        if (isEntry(to, identity) && storedAs(to)) return outcome(RenameOutcome::done);
        // Moved, yet not stored as asked: the old name back, if it is ours.
        if (isEntry(to, identity) && platform::moveEntry(to, from)) return outcome(RenameOutcome::failed);
        return outcome(RenameOutcome::failed);
    }
    // Put the entry back where the user left it. Where the temporary name no
    // longer holds it (another run moved it on), nothing of ours is left there.
    if (platform::moveEntry(temporary, from) || !isEntry(temporary, identity))
        return outcome(RenameOutcome::failed);
    RenameResult result = outcome(RenameOutcome::stranded);
    result.stranded = temporary;
    return result;
}

}  // namespace

namespace {

// The renames the preview has found possible so far: the paths they take and
// those they leave, so that each later entry meets the disk as the real run
// would have left it.
std::set<std::string> previewTaken, previewLeft;

bool previewAllows(const char* from, const char* to) {
    if (equalStrings(from, to)) return true;
    if (previewTaken.count(to)) return false;
    if (!platform::mayRename(from)) return false;
    // The new spelling stored already is another entry: this one is stored
    // under the old. Where lookups ignore case, the directory's one listing
    // answers (Wine reads the whole directory for each spelling it misses).
    bool ignoreCase = platform::lookupsIgnoreCase();
    Spellings spellings;
    if (ignoreCase) spellings = spellingsOf(from, to);
    if ((ignoreCase ? spellings.to : storedAs(to)) && !previewLeft.count(to)) return false;
    // Where lookups ignore case, beside another spelling the rename would need
    // a detour it could not undo, and is refused.
    return !ignoreCase || (spellings.from && spellings.count == 1);
}

}  // namespace

bool renameLooksPossible(const char* from, const char* to) {
    if (!previewAllows(from, to)) return false;
    previewLeft.insert(from);
    previewLeft.erase(to);
    previewTaken.erase(from);
    previewTaken.insert(to);
    return true;
}

bool isLeftoverName(const char* name) {
    std::size_t n = std::strlen(name);
    // The suffix ends in a byte that no other name of a listing is likely to.
    return n > suffixLength && name[n - 1] == leftoverSuffix[suffixLength - 1] &&
           equalsIgnoreCase(name + n - suffixLength, leftoverSuffix) &&
           sjisKindAt(name, n - suffixLength) != 2;
}

RenameResult renameEntry(const Entry& entry, const char* to) {
    const char* from = entry.path;
    if (equalStrings(from, to)) return outcome(RenameOutcome::done);
    platform::EntryIdentity identity = entry.identity;
    if (!entry.identified && !platform::entryIdentity(from, &identity))
        return outcome(entry.fromListing ? RenameOutcome::stale : RenameOutcome::failed);
    bool tried = !isDetourDirectory(from, entry.nameAt);
    if (tried) {
        // The move is of the entry itself (a link the system would follow was
        // refused above), and never onto another.
        platform::MoveNotes notes;
        notes.notDirectory = (entry.attributes & platform::attributeDirectory) == 0 && entry.attributes != 0;
        bool moved = platform::moveEntry(from, to, platform::MoveTarget::shared, &notes);
        if (moved && (notes.proven || storedAs(to, entry.nameAt))) return outcome(RenameOutcome::done);
        // What a listing said may have changed since: an entry no longer
        // stored under its name, or another one there, is looked up afresh.
        if (entry.fromListing && !isListedEntry(entry, identity)) return outcome(RenameOutcome::stale);
        // Refused, or reported done with nothing changed (FAT, exFAT, some
        // shares, a case-insensitive view of a case-sensitive disk).
        spellingIndex.built = false;  // read the directory as it is now
    }
    Spellings spellings = spellingsOf(from, to);
    // A listing's entry that is no longer stored under its name is looked up
    // afresh (where the detour is known to be needed, it was not tried).
    if (entry.fromListing && !spellings.from) return outcome(RenameOutcome::stale);
    // Another entry stored as `to` stays; an entry not stored as `from` was not
    // the one asked for; and beside another spelling the detour could not be
    // undone, since the old name would find that one.
    if (spellings.to || !spellings.from || spellings.count != 1) return outcome(RenameOutcome::failed);
    if (tried && !isEntry(from, identity)) return outcome(RenameOutcome::failed);
    RenameResult result = renameThroughTemporary(from, to, identity);
    bool done = result.outcome == RenameOutcome::done;
    noteDetour(from, to, done);
    if (done) rememberDetour(from, entry.nameAt);
    return result;
}

RenameResult renameEntry(const char* from, const char* to) {
    Entry entry{from, directoryLength(from), 0, false, {}, false};
    entry.identified = platform::entryIdentity(from, &entry.identity);
    return renameEntry(entry, to);
}

void forgetDetours() {
    previewTaken.clear();
    previewLeft.clear();
    detourKnown = false;
    spellingIndex.built = false;
}
