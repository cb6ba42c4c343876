// POSIX backend: moves that never replace another entry, in one step where
// the kernel can refuse a taken name, else by a hard link or a claim; and
// the preview's look at whether a move may be made.
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/posix_codeset.h"
#include "platform/posix_disk.h"
#include "sjis/sjis.h"

namespace platform {

namespace {

MovePath pathOf(const Translation& t) {
    return {t.command.text, t.command.length, t.commandNameAt, t.system.text, t.system.length, t.systemNameAt,
            t.directory};
}

// The length of the final component `name` when it holds no '/' and is its
// own system text; 0 otherwise, as for no name at all.
// `n` is the component's length.
std::size_t plainComponentLength(const char* name, std::size_t n) {
    return std::memchr(name, '/', n) || !codeset::isSystemText(name, n) ? 0 : n;
}

// The paths of a move whose caller says that both share their first `nameAt`
// bytes, the directory part: where a plain translation holds that directory,
// paths with a plain final component are their own system paths, and nothing
// is translated or copied.
bool plainMove(const PosixDisk& disk, const char* from, const char* to, const MoveNotes* notes, MovePath& source,
               MovePath& target) {
    std::size_t nameAt = notes ? notes->nameAt : MoveNotes::unknownNameAt;
    if (nameAt == MoveNotes::unknownNameAt) return false;
    const Translation* beside = disk.plainDirectoryOf(from, nameAt);
    if (!beside || (nameAt != 0 && std::memcmp(from, to, nameAt) != 0)) return false;
    // A name's few bytes are measured more cheaply than searched for a set.
    std::size_t told = notes->fromLength;
    std::size_t fromName = plainComponentLength(
        from + nameAt, told == MoveNotes::unknownLength ? std::strlen(from + nameAt) : told - nameAt);
    std::size_t toName = plainComponentLength(to + nameAt, std::strlen(to + nameAt));
    if (fromName == 0 || toName == 0 || nameAt + std::max(fromName, toName) >= maxPath) return false;
    std::size_t fromLength = nameAt + fromName, toLength = nameAt + toName;
    source = {from, fromLength, nameAt, from, fromLength, nameAt, beside->directory};
    target = {to, toLength, nameAt, to, toLength, nameAt, beside->directory};
    return true;
}

// The paths of a move from `from` to `to`, which are beside each other.
bool movePaths(PosixDisk& disk, const char* from, const char* to, MovePath& source, MovePath& target) {
    const Translation* s = disk.translate(from);
    const Translation* t = s ? disk.translateBeside(*s, to) : nullptr;  // two are kept: `s` stays
    if (!t) return false;
    source = pathOf(*s);
    target = pathOf(*t);
    return true;
}

// True when the final components of two command paths in one directory
// differ in the case of A-Z only.
bool isCaseOnly(const MovePath& source, const MovePath& target) {
    return source.commandLength - source.commandNameAt == target.commandLength - target.commandNameAt &&
           equalsIgnoreCase(source.command + source.commandNameAt, target.command + target.commandNameAt);
}

// The system paths of a move must say what the command's paths say: the same
// directory, and a change of letter case only where the command asked for one.
bool isFaithfulMove(const MovePath& source, const MovePath& target) {
    std::size_t directory = source.systemNameAt;
    if (directory != target.systemNameAt ||
        (directory != 0 && std::memcmp(source.system, target.system, directory) != 0))
        return false;
    // Without the bridge the system's names are the command's.
    return !codeset::namesConverted() || !isCaseOnly(source, target) ||
           equalsIgnoreCase(source.system + directory, target.system + directory);
}

// True when a listing of `directory` read now holds `from` and no entry
// stored as `to`.
bool listingHoldsOnly(const std::string& directory, const std::string& from, const std::string& to) {
    DIR* dir = opendir(orDot(directory));
    if (!dir) return false;
    bool holdsFrom = false, holdsTo = false;
    while (dirent* entry = readdir(dir)) {
        holdsFrom = holdsFrom || from == entry->d_name;
        holdsTo = holdsTo || to == entry->d_name;
    }
    closedir(dir);
    return holdsFrom && !holdsTo;
}

bool sameClaim(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && (a.st_mode & S_IFMT) == (b.st_mode & S_IFMT) &&
           (S_ISDIR(a.st_mode) || b.st_size == 0);
}

// Where the file system has no move that refuses to replace, the new name is
// first claimed with what the kernel creates only where nothing is (an empty
// file, or an empty directory for a directory), and the entry is moved onto
// the claim only while it is still ours and untouched. A program that
// creates the name meanwhile is refused by the claim; one would have to
// remove our claim and put its own in its place between our look and the
// move.
bool claimThenMove(const char* source, const char* target, bool directory) {
    struct stat claim, now;
    if (directory) {
        if (mkdir(target, 0700) != 0 || lstat(target, &claim) != 0) return false;
    } else {
        int fd = open(target, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0) return false;
        bool claimed = fstat(fd, &claim) == 0;
        close(fd);
        if (!claimed) return false;
    }
    if (lstat(target, &now) == 0 && sameClaim(claim, now) && rename(source, target) == 0) return true;
    // Not moved: the claim goes, if it is still ours.
    if (lstat(target, &now) == 0 && sameClaim(claim, now)) directory ? rmdir(target) : unlink(target);
    return false;
}

// Where the move that refuses to replace found the new spelling taken: a
// directory that ignores case finds the entry itself under its new spelling,
// and there no other program can create that spelling while the entry holds
// it: the plain move changes the case in one step. Proven once per directory
// by a listing that holds the old spelling and not the new one. Not through
// FUSE: there each spelling is an entry of its own to the kernel, and one that
// another program has open (a twin made after the listing) is put aside and
// deleted as the target that the move replaces; the detour moves to names
// that nothing holds.
bool caseOnlyInPlace(const MovePath& from, const MovePath& to) {
    Directory& d = *from.directory;
    if (!d.caseInsensitive || d.userSpace || !isCaseOnly(from, to)) return false;
    std::size_t dir = from.systemNameAt;
    if (!d.ignoresCase && !listingHoldsOnly(from.systemPart(0, dir), from.systemPart(dir), to.systemPart(dir)))
        return false;
    d.ignoresCase = true;
    return rename(from.system, to.system) == 0;
}

}  // namespace

bool PosixDisk::renameWithoutReplacing(const MovePath& from, const MovePath& to, MoveTarget whose,
                                       bool notDirectory) {
    const char* source = from.system;
    const char* target = to.system;
    Directory& here = *from.directory;
    if (!here.noReplaceRefused) {
        if (renameat2(AT_FDCWD, source, AT_FDCWD, target, RENAME_NOREPLACE) == 0) return true;
        if (errno == EEXIST) return caseOnlyInPlace(from, to);
        if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return false;
        here.noReplaceRefused = true;
    }
    // The file system refuses the flag. A hard link fails atomically when the
    // target exists; where links are not possible, the target is claimed.
    // The entry's kind, where the caller does not tell it, as its last lookup
    // found it (FUSE: each call is a round trip).
    struct stat st;
    st.st_mode = S_IFREG;
    if (!notDirectory && !statOf(source, from.systemLength, st)) return false;
    // An interruption between the steps would leave both names.
    holdInterrupts();
    bool moved = false, decided = false;
    if (!S_ISDIR(st.st_mode) && !here.linksRefused) {
        if (link(source, target) == 0) {
            moved = unlink(source) == 0 || (unlink(target), false);
            decided = true;
        } else {
            decided = errno == EEXIST;
            // Another refusal (no links on this file system, or not of this
            // file): the claim does as well for the rest.
            here.linksRefused = !decided;
        }
    }
    if (!decided && whose == MoveTarget::own) {
        // No other program makes this name: a look before the move will do.
        moved = lstat(target, &st) != 0 && errno == ENOENT && rename(source, target) == 0;
    } else if (!decided) {
        moved = claimThenMove(source, target, S_ISDIR(st.st_mode));
    }
    releaseInterrupts();
    return moved;
}

bool PosixDisk::move(const char* from, const char* to, MoveTarget whose, MoveNotes* notes) {
    MovePath source, target;
    if (notes) notes->proven = false;
    // A plain move is faithful as it was found: one directory, no bridge.
    bool plain = plainMove(*this, from, to, notes, source, target);
    if (!plain && (!movePaths(*this, from, to, source, target) || !isFaithfulMove(source, target))) return false;
    bool notDirectory = notes && notes->notDirectory;
    if (!notDirectory && mustStay(*source.directory, source.system)) return false;
    if (!renameWithoutReplacing(source, target, whose, notDirectory)) return false;
    // Where the file system keeps cases apart, a move that refuses to
    // replace proves the new spelling the stored one.
    bool proven = !source.directory->caseInsensitive;
    if (notes) notes->proven = proven;
    afterMove(source, target, notDirectory, proven);
    return true;
}

bool moveEntry(const char* from, const char* to, MoveTarget whose, MoveNotes* notes) {
    return disk().move(from, to, whose, notes);
}

bool moveOntoClaim(const char* from, const char* to) {
    PosixDisk& d = disk();
    MovePath source, target;
    struct stat st;
    if (!movePaths(d, from, to, source, target) || !isFaithfulMove(source, target) ||
        mustStay(*source.directory, source.system) || lstat(target.system, &st) != 0 || !S_ISREG(st.st_mode) ||
        st.st_size != 0 || rename(source.system, target.system) != 0)
        return false;
    d.forget();  // a rare move, onto an entry of its own: everything is read afresh
    return true;
}

bool takesDetour(const char* path) {
    const Translation* t = disk().translate(path);
    return t && t->directory->userSpace;
}

bool mayRename(const char* path, EntryIdentity* found) {
    if (found) *found = {0, 0};
    const Translation* t = disk().translate(path);
    if (!t) return false;
    // The entry's status first: whether it is there as itself is asked with it.
    struct statx sx;
    bool there = statx(AT_FDCWD, t->system.text, AT_SYMLINK_NOFOLLOW, STATX_TYPE | STATX_INO, &sx) == 0;
    if (there && found)
        *found = {static_cast<uint64_t>(makedev(sx.stx_dev_major, sx.stx_dev_minor)),
                  static_cast<uint64_t>(sx.stx_ino)};
    Directory& d = *t->directory;
    if (d.writeFault < 0)
        d.writeFault = access(orDot(t->system.part(0, t->systemNameAt)), W_OK | X_OK) == 0 ? 0 : errno;
    if (d.writeFault > 0) {
        errno = d.writeFault;  // the reason, as the first entry was told it
        return false;
    }
    if (mustStay(d, t->system.text)) return false;
    // A file that is immutable or append-only keeps its name. Where the file
    // system tells these flags with the entry's status, that one call does;
    // elsewhere the file itself is asked.
    if (!there || S_ISLNK(sx.stx_mode)) return true;
    constexpr uint64_t fixing = STATX_ATTR_IMMUTABLE | STATX_ATTR_APPEND;
    if ((sx.stx_attributes_mask & fixing) == fixing) return !(sx.stx_attributes & fixing);
    int fd = open(t->system.text, O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return true;  // nothing more to tell
    long kept = 0;
    bool fixed = ioctl(fd, FS_IOC_GETFLAGS, &kept) == 0 && (kept & (FS_IMMUTABLE_FL | FS_APPEND_FL));
    close(fd);
    return !fixed;
}

}  // namespace platform
