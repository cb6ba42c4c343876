#include "convert/rename.h"

#include <cstring>
#include <string>

#include "convert/journal.h"
#include "convert/journal_text.h"
#include "convert/decision.h"
#include "convert/path.h"
#include "convert/path_states.h"
#include "driver/context.h"
#include "driver/settings.h"
#include "sjis/sjis.h"

namespace {

bool isDetourDirectory(const Renames& renames, const char* path, std::size_t n) {
    return renames.detourKnown && renames.detourDirectory.size() == n &&
           std::memcmp(renames.detourDirectory.data(), path, n) == 0;
}

void rememberDetour(Renames& renames, const char* path, std::size_t n) {
    renames.detourDirectory.assign(path, n);
    renames.detourKnown = true;
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

// The reason a failed call of the system gives.
Reason faultReason() {
    switch (platform::lastFault()) {
        case platform::Fault::exists: return Reason::taken;
        case platform::Fault::permission: return Reason::permission;
        case platform::Fault::readOnly: return Reason::readOnly;
        case platform::Fault::tooLong: return Reason::tooLong;
        default: return Reason::refused;
    }
}

// Gives `failed` with the reason.
RenameOutcome failing(Reason* why, Reason reason) {
    if (why) *why = reason;
    return RenameOutcome::failed;
}

// No interruption may end the run while the entry is under the temporary name.
struct InterruptHold {
    InterruptHold() { platform::holdInterrupts(); }
    ~InterruptHold() { platform::releaseInterrupts(); }
    InterruptHold(const InterruptHold&) = delete;
    InterruptHold& operator=(const InterruptHold&) = delete;
};

// The detour, for an entry that is alone under its spellings and stored as
// `from`. Each step checks that the entry it moved is the one it started with,
// and nothing is put back over an entry that is not this one.
RenameOutcome renameThroughTemporary(const RunContext& run, const char* from, const char* to,
                                    const platform::EntryIdentity& identity, bool notDirectory, Reason* why,
                                    bool mayDefer) {
    std::string path;
    if (!temporaryPath(run, from, directoryLength(from), path)) return failing(why, Reason::tooLong);
    const char* temporary = path.c_str();

    platform::MoveNotes notes;
    notes.notDirectory = notDirectory;
    InterruptHold hold;
    if (!platform::moveEntry(from, temporary, platform::MoveTarget::own, &notes)) return failing(why, faultReason());
    bool ours = isEntry(temporary, identity);
    Reason reason = ours ? Reason::refused : Reason::changed;
    if (ours && platform::moveEntry(temporary, to, platform::MoveTarget::shared, &notes)) {
        if (mayDefer && isEntry(to, identity)) return RenameOutcome::unverified;
        if (isEntry(to, identity) && storedAs(to)) return RenameOutcome::done;
        // Moved, yet not stored as asked: the old name back, if it is ours.
        if (isEntry(to, identity) && platform::moveEntry(to, from)) return failing(why, Reason::caseRefused);
        return failing(why, Reason::changed);
    }
    if (ours) reason = faultReason();
    // Put the entry back where the user left it. Where the temporary name no
    // longer holds it (another run moved it on), nothing of ours is left there.
    if (platform::moveEntry(temporary, from) || !isEntry(temporary, identity)) return failing(why, reason);
    if (why) *why = reason;
    return RenameOutcome::stranded;
}

}  // namespace

namespace {

// True for a name of `length` bytes in the command's text that no system
// takes as longer than its 255 with the temporary name's suffix: each byte
// is at most three of UTF-8 (a half-width katakana).
bool surelyFits(std::size_t length) { return 3 * length + leftoverSuffixLength <= 255; }

// The renames the preview has found possible so far: the paths they take and
// those they leave, so that each later entry meets the disk as the real run
// would have left it.
// True when an entry is stored under exactly the spelling `to`: one look at
// `to` answers where nothing is there, the common case; where something is
// (another entry, or this one on a disk that ignores case), the stored
// spelling tells.
bool otherStoredAs(const char* to) {
    platform::EntryIdentity there;
    return platform::entryIdentity(to, &there) && storedAs(to);
}

Preview previewAllows(RunContext& run, const Entry& entry, const char* to, Reason& why) {
    const PathStates& previewed = run.renames.previewed;
    const char* from = entry.path;
    bool listed = entry.fromListing;
    PathState left = PathState::none, there = PathState::none;
    if (!previewed.empty()) previewed.at(from, to, left, there);
    if (listed && (!entry.identified || left == PathState::left)) return Preview::stale;
    bool unchanged = equalStrings(from, to);
    if (!listed && unchanged) return Preview::possible;
    // Asked first, as it tells as well whether a listed entry is still there.
    platform::EntryIdentity found;
    bool allowed = platform::mayRename(from, listed ? &found : nullptr);
    Reason refusal = allowed ? Reason::none : faultReason();
    if (listed && !(found == entry.identity)) return Preview::stale;
    if (unchanged) return Preview::possible;
    why = Reason::taken;
    if (there == PathState::taken) return Preview::refused;
    if (!allowed) {
        why = refusal;
        return Preview::refused;
    }
    // Where the detour is taken, its temporary name must be possible (the run
    // would record its renames; the preview itself records none). A name far
    // within the limit always has one.
    std::string temporary;
    why = Reason::tooLong;
    std::size_t nameAt = entry.nameAt;
    if (!surelyFits(entry.length - nameAt) && platform::takesDetour(from) &&
        !temporaryPath(run, from, nameAt, temporary, settings.journal))
        return Preview::refused;
    why = Reason::taken;
    // The new spelling stored already is another entry: this one is stored
    // under the old. Where lookups ignore case, the directory's one listing
    // answers (Wine reads the whole directory for each spelling it misses).
    bool ignoreCase = platform::lookupsIgnoreCase();
    platform::Spellings spellings;
    if (ignoreCase) spellings = platform::spellingsOf(from, to);
    if ((ignoreCase ? spellings.other : otherStoredAs(to)) && there != PathState::left) return Preview::refused;
    // Where lookups ignore case, beside another spelling the rename would need
    // a detour it could not undo, and is refused.
    return !ignoreCase || (spellings.path && spellings.count == 1) ? Preview::possible : Preview::refused;
}

}  // namespace

Preview previewRename(RunContext& run, const Entry& entry, const char* to, Reason* why) {
    Reason reason = Reason::refused;
    Preview outcome = previewAllows(run, entry, to, reason);
    if (outcome == Preview::refused && why) *why = reason;
    if (outcome == Preview::possible) run.renames.previewed.moved(entry.path, to);
    return outcome;
}

bool previewedEntry(const Renames& renames, const Entry& entry, Entry& moved, std::string& storage) {
    const PathStates& previewed = renames.previewed;
    // A path the preview has left is its entry's old one: the entry is under
    // the name the decision gave it, which it gives it again.
    // One from a listing is looked up before it is handled: it is met then.
    if (entry.fromListing || previewed.empty() || previewed.at(entry.path) != PathState::left) return false;
    if (!loweredPathOf(entry, storage)) return false;
    moved = entry;
    moved.path = storage.c_str();
    moved.length = storage.size();
    moved.fromListing = false;
    moved.verdict = Verdict::unknown;
    moved.record = -1;
    return true;
}

bool isLeftoverName(const char* name) { return isLeftoverName(name, std::strlen(name)); }

namespace {

constexpr std::size_t checksumDigits = 16;
// '~', the checksum's digits, then the suffix.
constexpr std::size_t checkedTail = 1 + checksumDigits + leftoverSuffixLength;

// The checksum that a cut-short temporary name carries of the whole name,
// in the system's text, so that it names the entry from run to run.
bool nameChecksum(const char* name, uint64_t* sum) {
    std::string system;
    if (!platform::systemText(name, system)) return false;
    *sum = windowChecksum(system.data(), system.size());
    return true;
}

}  // namespace

bool temporaryPath(const RunContext& run, const char* from, std::size_t nameAt, std::string& out, bool recorded) {
    out.assign(from);
    out += leftoverSuffix;
    if (surelyFits(out.size() - nameAt - leftoverSuffixLength) || platform::fitsAsName(out.c_str() + nameAt))
        return true;
    // Too long for a name: cut short at a character's end, the checksum after
    // it. Only the journal's record can then give the whole name back.
    uint64_t sum = 0;
    if (!(recorded || renamesAreRecorded(run.journal)) || !nameChecksum(from + nameAt, &sum)) return false;
    char tail[checkedTail + 1];
    tail[0] = '~';
    std::memcpy(putChecksum(tail + 1, sum), leftoverSuffix, leftoverSuffixLength + 1);
    std::size_t kept = 0;
    for (const char* p = from + nameAt; *p;) {
        std::size_t step = pathCharacterLength(p);
        out.assign(from, nameAt).append(from + nameAt, kept + step) += tail;
        if (!platform::fitsAsName(out.c_str() + nameAt)) break;
        kept += step;
        p += step;
    }
    out.assign(from, nameAt).append(from + nameAt, kept) += tail;
    return kept > 0 && platform::fitsAsName(out.c_str() + nameAt);
}

bool leftoverChecksum(const char* name, std::size_t length, uint64_t* sum) {
    if (length <= checkedTail) return false;
    const char* tail = name + length - checkedTail;
    return tail[0] == '~' && readChecksum(tail + 1, tail + 1 + checksumDigits, *sum);
}

// The whole check, for a name whose last byte is the suffix's.
bool isLeftoverNameWhole(const char* name, std::size_t n) {
    return n > leftoverSuffixLength && equalsIgnoreCase(name + n - leftoverSuffixLength, leftoverSuffix) &&
           sjisKindAt(name, n - leftoverSuffixLength) != 2;
}

RenameOutcome renameEntry(RunContext& run, const Entry& entry, const char* to, Reason* why, bool mayDefer) {
    const char* from = entry.path;
    if (from[0] == to[0] && equalStrings(from, to)) return RenameOutcome::done;  // most differ at once
    platform::EntryIdentity identity = entry.identity;
    if (!entry.identified && !platform::entryIdentity(from, &identity))
        return entry.fromListing ? RenameOutcome::stale : failing(why, Reason::changed);
    if (!journalCovers(run.journal, from, entry.nameAt, identity, to)) return RenameOutcome::unrecorded;
    bool tried = !isDetourDirectory(run.renames, from, entry.nameAt);
    bool notDirectory = (entry.attributes & platform::attributeDirectory) == 0 && entry.attributes != 0;
    if (tried) {
        // The move is of the entry itself (a link the system would follow was
        // refused above), and never onto another.
        platform::MoveNotes notes;
        notes.notDirectory = notDirectory;
        notes.nameAt = entry.nameAt;  // `to` is `from` with another final component
        notes.fromLength = entry.length;
        bool moved = platform::moveEntry(from, to, platform::MoveTarget::shared, &notes);
        if (moved && (notes.proven || storedAs(to, entry.nameAt))) return RenameOutcome::done;
        // What a listing said may have changed since: an entry no longer
        // stored under its name, or another one there, is looked up afresh.
        if (entry.fromListing && !isListedEntry(entry, identity)) return RenameOutcome::stale;
    }
    // Refused, or reported done with nothing changed (FAT, exFAT, some shares,
    // a case-insensitive view of a case-sensitive disk): the directory as it
    // is now.
    platform::Spellings spellings = platform::spellingsOf(from, to, tried);
    // A listing's entry that is no longer stored under its name is looked up
    // afresh (where the detour is known to be needed, it was not tried).
    if (entry.fromListing && !spellings.path) return RenameOutcome::stale;
    // Another entry stored as `to` stays; an entry not stored as `from` was not
    // the one asked for; and beside another spelling the detour could not be
    // undone, since the old name would find that one.
    if (spellings.other || spellings.count > 1) return failing(why, Reason::taken);
    if (!spellings.path) return failing(why, Reason::changed);
    if (tried && !isEntry(from, identity)) return failing(why, Reason::changed);
    RenameOutcome result = renameThroughTemporary(run, from, to, identity, notDirectory, why, mayDefer);
    if (result == RenameOutcome::done || result == RenameOutcome::unverified)
        rememberDetour(run.renames, from, entry.nameAt);
    return result;
}

bool isEntry(const char* path, const platform::EntryIdentity& identity) {
    platform::EntryIdentity now;
    return platform::entryIdentity(path, &now) && now == identity;
}

RenameOutcome renameEntry(RunContext& run, const char* from, const char* to, Reason* why) {
    Entry entry = Entry::ofPath(from, std::strlen(from), directoryLength(from));
    entry.identified = platform::entryIdentity(from, &entry.identity);
    return renameEntry(run, entry, to, why);
}
