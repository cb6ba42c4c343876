#include "convert/decision.h"

#include <cstring>
#include <string>

#include "console/report.h"
#include "convert/deferred.h"
#include "convert/journal.h"
#include "convert/letters.h"
#include "convert/path.h"
#include "convert/rename.h"
#include "driver/context.h"
#include "driver/settings.h"
#include "sjis/messages.h"
#include "sjis/sjis.h"

namespace {

inline unsigned char at(const char* s) { return static_cast<unsigned char>(*s); }

// What one pass over a text tells the decision.
struct TextClass {
    bool capital = false, small = false;         // single-byte A-Z, a-z
    bool doubleByte = false, singleByte = false;  // kinds of whole characters
    bool space = false;
    bool endsInside = false;  // a lead byte directly before the terminator
    std::size_t length = 0;
};

// What each byte tells as a single-byte character, and whether the fast walk
// stops at it (the terminator, or a byte that may begin a double-byte
// character).
enum ByteFlag : unsigned char { capitalByte = 1, smallByte = 2, spaceByte = 4, singleByteFlag = 8, stopByte = 16 };

struct ByteTable {
    unsigned char flags[256];
    constexpr ByteTable() : flags() {
        for (int b = 1; b < 256; ++b) {
            unsigned char f = singleByteFlag;
            if (b >= 'A' && b <= 'Z') f |= capitalByte;
            if (b >= 'a' && b <= 'z') f |= smallByte;
            if (b == ' ') f |= spaceByte;
            if (b >= 0x80) f |= stopByte;
            flags[b] = f;
        }
        flags[0] = stopByte;
    }
};
constexpr ByteTable byteTable;

// `length` is the text's.
[[gnu::always_inline]] inline TextClass classify(const char* text, std::size_t length) {
    using namespace eightBytes;
    TextClass c;
    c.length = length;
    // Eight to sixteen single-byte characters, the common case: two words,
    // which overlap.
    if (length - 8 <= 8) {
        uint64_t first = load(text), last = load(text + length - 8);
        if (!((first | last) & highs)) {
            c.singleByte = true;
            c.capital = (inRange(first, 'A', 'Z') | inRange(last, 'A', 'Z')) != 0;
            c.small = (inRange(first, 'a', 'z') | inRange(last, 'a', 'z')) != 0;
            c.space = (inRange(first, ' ', ' ') | inRange(last, ' ', ' ')) != 0;
            return c;
        }
    }
    unsigned seen = 0;
    const char* p = text;
    const char* end = text + length;
    auto look = [&seen](uint64_t w) {
        seen |= singleByteFlag;
        if (inRange(w, 'A', 'Z')) seen |= capitalByte;
        if (inRange(w, 'a', 'z')) seen |= smallByte;
        if (inRange(w, ' ', ' ')) seen |= spaceByte;
    };
    for (; p + 8 <= end; p += 8) {
        uint64_t w = load(p);
        if (w & highs) break;  // a double-byte character may begin here
        look(w);
    }
    // Fewer than eight bytes left: the last eight, overlapping those seen,
    // where all are single-byte.
    if (p < end && p + 8 > end && end - text >= 8 && !(load(end - 8) & highs)) {
        look(load(end - 8));
        p = end;
    }
    for (;;) {
        unsigned f = byteTable.flags[at(p)];
        if (!(f & stopByte)) {  // single-byte text, the common case: one look per byte
            seen |= f;
            ++p;
            continue;
        }
        if (*p == '\0') break;
        if (isSjisLead(at(p))) {
            if (p[1] == '\0') {
                c.endsInside = true;
                break;
            }
            c.doubleByte = true;
            p += isSjisTrail(at(p + 1)) ? 2 : 1;
            continue;
        }
        seen |= f;  // a single-byte character from 0x80 on
        ++p;
    }
    c.capital = seen & capitalByte;
    c.small = seen & smallByte;
    c.space = seen & spaceByte;
    c.singleByte = seen & singleByteFlag;
    c.length = static_cast<std::size_t>(end - text);
    return c;
}

// A capital final component of `length` bytes is long when it is not in 8.3
// form.
[[gnu::always_inline]] inline bool isLongComponent(const char* component, std::size_t length) {
    std::size_t extension = length - static_cast<std::size_t>(extensionOf(component, length) - component);
    if (extension > 3) return true;
    if (extension >= 1) return length > extension + 9;
    return length > 8;  // a trailing dot counts in the length
}

}  // namespace

int classifyCase(const char* text) {
    TextClass c = classify(text, std::strlen(text));
    return c.capital ? (c.small ? longOrMixed : capitalsOnly) : noCapital;
}

int classifyDoubleByte(const char* text) {
    TextClass c = classify(text, std::strlen(text));
    if (c.doubleByte && c.singleByte) return 2;
    return c.doubleByte || c.endsInside ? 1 : 0;
}

const char* extensionOf(const char* component) { return extensionOf(component, std::strlen(component)); }

// The rule, from what one pass over the text told of it (by A-Z, or under /u
// by every letter with a case); `name` is the final component.
template <typename Class>
[[gnu::always_inline]] inline bool lowers(const Class& c, const char* name, std::size_t nameLength, bool longMode,
                                          bool kanjiMode) {
    // A path that ends inside a character (possible on Linux) has no name
    // that could be trusted to change by letters alone.
    if (c.endsInside || !c.capital || (c.doubleByte && !kanjiMode)) return false;
    if (longMode) return true;
    // Capitals beside small letters, a space anywhere in the path, or a final
    // component beyond 8.3 make the name long.
    return !(c.small || c.space || isLongComponent(name, nameLength));
}

// The decision by A-Z; inline where each name is decided.
[[gnu::always_inline]] inline bool lowersByAtoZ(const char* path, std::size_t length, std::size_t nameAt, bool longMode,
                                                bool kanjiMode) {
    return lowers(classify(path, length), path + nameAt, length - nameAt, longMode, kanjiMode);
}

bool shouldLowerCase(const char* path, std::size_t length, std::size_t nameAt, bool longMode, bool kanjiMode) {
    return lowersByAtoZ(path, length, nameAt, longMode, kanjiMode);
}

bool shouldLowerLetters(const char* path, std::size_t length, std::size_t nameAt, bool longMode, bool kanjiMode) {
    return lowers(classifyLetters(path, length), path + nameAt, length - nameAt, longMode, kanjiMode);
}

bool shouldLowerCase(const char* path, bool longMode, bool kanjiMode) {
    return shouldLowerCase(path, std::strlen(path), directoryLength(path), longMode, kanjiMode);
}

namespace {

// What the decision makes of one entry.
struct Plan {
    bool tooLong;                     // a path beyond the system's limit: refused
    bool lowerCase;                   // false: left alone
    char newPath[platform::maxPath];  // the directory part and the new name
    std::size_t nameAt;               // where the new name begins in newPath
    std::size_t length;               // of newPath
};

// The decision for an entry met under /s or /u: a walked entry is decided in
// its own folder (the typed folders, then its name: each part ends at a
// character's end, so the two join safely), and /u counts every letter.
bool isToBeLoweredOtherwise(const Entry& entry) {
    char decided[platform::maxPath];
    const char* path = entry.path;
    std::size_t length = entry.length, nameAt = entry.nameAt;
    if (entry.walkedFrom < entry.nameAt) {
        std::size_t name = entry.length - entry.nameAt;
        if (entry.walkedFrom + name >= sizeof decided) return false;
        std::memcpy(decided, entry.path, entry.walkedFrom);
        std::memcpy(decided + entry.walkedFrom, entry.path + entry.nameAt, name + 1);
        path = decided;
        length = entry.walkedFrom + name;
        nameAt = entry.walkedFrom;
    }
    if (settings.unicodeLetters) return shouldLowerLetters(path, length, nameAt, settings.longMode, settings.kanjiMode);
    return shouldLowerCase(path, length, nameAt, settings.longMode, settings.kanjiMode);
}

// The decision for `entry` under the current settings; one already made for
// it is not made again.
bool isToBeLowered(const Entry& entry) {
    if (entry.verdict != Verdict::unknown) return entry.verdict == Verdict::lower;
    // The common case: a name decided as typed, by A-Z.
    if (entry.walkedFrom >= entry.nameAt && !settings.unicodeLetters)
        return lowersByAtoZ(entry.path, entry.length, entry.nameAt, settings.longMode, settings.kanjiMode);
    return isToBeLoweredOtherwise(entry);
}

// The new name under /u: a small letter beyond the code page may take more
// bytes than its capital.
void planLetters(const Entry& entry, Plan& plan) {
    std::string lowered;
    lowerLetters(entry.path + entry.nameAt, entry.length - entry.nameAt, lowered);
    if (entry.nameAt + lowered.size() >= sizeof plan.newPath) {
        plan.tooLong = true;
        plan.lowerCase = false;
        return;
    }
    std::memcpy(plan.newPath + entry.nameAt, lowered.c_str(), lowered.size() + 1);
    plan.length = entry.nameAt + lowered.size();
}

Plan planEntry(const Entry& entry) {
    Plan plan;
    // A path beyond the limit (a walk reached it) is no rename to plan.
    plan.tooLong = entry.length >= platform::maxPath;
    plan.lowerCase = !plan.tooLong && isToBeLowered(entry);
    plan.newPath[0] = '\0';
    plan.nameAt = 0;
    plan.length = entry.length;
    if (!plan.lowerCase) return plan;
    // Every path here is shorter than maxPath, and the new one has its length.
    eightBytes::copy(plan.newPath, entry.path, entry.nameAt);
    plan.nameAt = entry.nameAt;
    if (settings.unicodeLetters)
        planLetters(entry, plan);
    else
        copyLowered(plan.newPath + entry.nameAt, entry.path + entry.nameAt, entry.length - entry.nameAt);
    // Capitals in the directory part alone leave the name as it is: no rename,
    // no record, and no count of one. Without a directory part the capitals
    // were the name's own.
    if (entry.nameAt != 0 && plan.length == entry.length &&
        std::memcmp(plan.newPath + entry.nameAt, entry.path + entry.nameAt, entry.length - entry.nameAt) == 0)
        plan.lowerCase = false;
    return plan;
}

}  // namespace

bool loweredPathOf(const Entry& entry, std::string& path) {
    Plan plan = planEntry(entry);
    if (!plan.lowerCase) return false;
    path.assign(plan.newPath, plan.length);
    return true;
}

EntryOutcome lowerCaseEntry(RunContext& run, const Entry& entry, const char* displayName, int columnWidth) {
    const char* path = entry.path;
    const char* name = settings.showSkipped ? displayName : path;
    // A rename recorded ahead is made as the journal holds it.
    // Under /p each line is shown as its rename is made: a pause holds the run.
    bool mayDefer = !settings.pauseMode;
    if (const char* planned = plannedPath(run.journal, entry.record, path))
        return renameAndReport(run, entry, planned, name, columnWidth, mayDefer);
    Plan plan = planEntry(entry);
    // A path the system could not take is refused as one that cannot be found.
    if (plan.tooLong) {
        reportFailure(run.report, ResultKind::notFound, name, columnWidth, "", "", Reason::tooLong, path);
        return EntryOutcome::failed;
    }
    // Only a rename proves that a listing still holds: what is left alone is
    // looked up first, so that a name gone since is reported; what is
    // previewed is asked whether it is still there as itself.
    if (entry.fromListing && !plan.lowerCase) return EntryOutcome::lookUp;
    if (!plan.lowerCase) {
        reportResult(run.report, ResultKind::leftAlone, settings.porcelain ? path : displayName, columnWidth);
        return EntryOutcome::handled;
    }
    return renameAndReport(run, entry, plan.newPath, name, columnWidth, mayDefer);
}

namespace {

// A rename the system reported done, not yet seen on disk: its line waits
// for the directory's listing. Out of the way of the run's own path.
[[gnu::noinline]] void deferUnverified(RunContext& run, const Entry& entry, const char* to, const char* name,
                                       int columnWidth) {
    Entry moved = entry;
    if (!moved.identified) moved.identified = platform::entryIdentity(to, &moved.identity);
    deferCheck(run, moved, to, name, columnWidth);
}

// An entry left under its temporary name: the line names where it is.
[[gnu::noinline]] void reportStranded(RunContext& run, const Entry& entry, const char* name, int columnWidth,
                                      const char* newName) {
    std::string temporary;
    temporaryPath(run, entry.path, entry.nameAt, temporary);
    reportFailure(run.report, ResultKind::stranded, name, columnWidth, newName, temporary.c_str(), Reason::none,
                  entry.path);
}

}  // namespace

EntryOutcome renameAndReport(RunContext& run, const Entry& entry, const char* to, const char* name, int columnWidth,
                             bool mayDefer) {
    const char* newName = to + entry.nameAt;
    if (settings.testMode) {
        // The preview meets what the run would: the same line, the same step.
        Reason why = Reason::none;
        Preview preview = previewRename(run, entry, to, &why);
        if (preview == Preview::stale) return EntryOutcome::lookUp;
        bool possible = preview == Preview::possible;
        if (possible)
            reportResult(run.report, ResultKind::renamed, name, columnWidth, newName);
        else
            reportFailure(run.report, ResultKind::renameFailed, name, columnWidth, newName, "", why, entry.path);
        return possible ? EntryOutcome::handled : EntryOutcome::failed;
    }
    Reason why = Reason::none;
    settleBeforeRenaming(run, entry);
    switch (renameEntry(run, entry, to, &why, mayDefer)) {
        case RenameOutcome::stale:
            return EntryOutcome::lookUp;
        case RenameOutcome::unrecorded:
            return EntryOutcome::unrecorded;
        case RenameOutcome::done:
            reportResult(run.report, ResultKind::renamed, name, columnWidth, newName);
            return EntryOutcome::handled;
        case RenameOutcome::unverified:
            deferUnverified(run, entry, to, name, columnWidth);
            return EntryOutcome::handled;
        case RenameOutcome::failed:
            reportFailure(run.report, ResultKind::renameFailed, name, columnWidth, newName, "", why, entry.path);
            break;
        case RenameOutcome::stranded:
            reportStranded(run, entry, name, columnWidth, newName);
            break;
    }
    return EntryOutcome::failed;
}

bool kindIncluded(uint32_t attributes) {
    bool directory = (attributes & platform::attributeDirectory) != 0;
    return directory ? settings.includeDirectories : settings.includeFiles;
}

void recordAheadOf(Journal& journal, Entry& entry) {
    if (!kindIncluded(entry.attributes)) return;
    Plan plan = planEntry(entry);
    entry.verdict = plan.lowerCase ? Verdict::lower : Verdict::leave;
    if (!plan.lowerCase) return;
    if (!entry.identified && !(entry.identified = platform::entryIdentity(entry.path, &entry.identity))) return;
    entry.record = recordAhead(journal, {entry.path, entry.length}, entry.nameAt, entry.identity,
                               {plan.newPath + plan.nameAt, plan.length - plan.nameAt});
}
