// POSIX backend: what a run learns of its directories. Their file systems,
// each one's index of spellings, the status of the last entry asked of, and
// what a move makes each of them forget.
#include <fcntl.h>
#include <linux/fs.h>
#include <linux/magic.h>
#include <sys/ioctl.h>
#include <sys/sysmacros.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "platform/posix_codeset.h"
#include "platform/posix_disk.h"
#include "sjis/sjis.h"

namespace platform {

namespace {

// The key under which a name's spellings meet: single-byte a-z as A-Z.
std::string folded(const std::string& name) {
    std::string key = name;
    upperSingleByteLetters(&key[0]);
    return key;
}

// The file systems whose ways are known: each keeps names that differ in case
// apart (where a directory is not casefolded), and each but overlayfs, which
// may give a lower layer's, lists every entry's own file number.
struct KnownType {
    unsigned long magic;
    bool listsFileNumbers;
};
constexpr KnownType knownTypes[] = {
    {EXT4_SUPER_MAGIC, true}, {BTRFS_SUPER_MAGIC, true}, {XFS_SUPER_MAGIC, true},        {TMPFS_MAGIC, true},
    {F2FS_SUPER_MAGIC, true}, {RAMFS_MAGIC, true},       {OVERLAYFS_SUPER_MAGIC, false},
};

const KnownType* knownType(unsigned long magic) {
    for (const KnownType& type : knownTypes)
        if (type.magic == magic) return &type;
    return nullptr;
}

// True where the file system (`fs`, `directory`'s) keeps names that differ in
// case apart: its type is one known to, and the directory is not casefolded.
bool isKnownCaseSensitive(const std::string& directory, const struct statfs& fs) {
    if (!knownType(static_cast<unsigned long>(fs.f_type))) return false;
    int fd = open(orDot(directory), O_RDONLY | O_DIRECTORY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return true;
    long flags = 0;
    bool casefolded = ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 && (flags & FS_CASEFOLD_FL);
    close(fd);
    return !casefolded;
}

// True where the file system is fusefat, which loses what a directory holds
// when the directory is moved (by any program: the entry moves, its contents
// are no longer found in it), and refuses to move one onto a claimed name, so
// that a detour could not finish: no directory is moved there.
bool movesDirectoriesBadly(const std::string& directory, const struct statfs& fs) {
    struct stat st;
    if (static_cast<unsigned long>(fs.f_type) != FUSE_SUPER_MAGIC || stat(orDot(directory), &st) != 0) return false;
    // The mount of the directory's device: "id parent major:minor root point options... - type source ...".
    std::string device = std::to_string(major(st.st_dev)) + ":" + std::to_string(minor(st.st_dev));
    std::FILE* mounts = std::fopen("/proc/self/mountinfo", "re");
    if (!mounts) return false;
    bool fusefat = false;
    char* line = nullptr;
    std::size_t size = 0;
    while (!fusefat && getline(&line, &size, mounts) > 0) {
        std::string text(line);
        std::size_t first = text.find(' '), second = first == std::string::npos ? first : text.find(' ', first + 1);
        std::size_t third = second == std::string::npos ? second : text.find(' ', second + 1);
        std::size_t type = text.find(" - ");
        fusefat = third != std::string::npos && type != std::string::npos &&
                  text.compare(second + 1, third - second - 1, device) == 0 &&
                  text.compare(type + 3, 13, "fuse.fusefat ") == 0;
    }
    std::free(line);
    std::fclose(mounts);
    return fusefat;
}

}  // namespace

bool endsInIgnoringCase(const char* name, std::size_t length, const std::string& ending) {
    if (ending.empty()) return true;
    // The last bytes first: most names of a listing differ there.
    if (length < ending.size() || (name[length - 1] | 0x20) != (ending.back() | 0x20)) return false;
    return equalsIgnoreCase(name + length - ending.size(), ending.c_str());
}

bool listsFileNumbers(unsigned long type) {
    const KnownType* found = knownType(type);
    return found && found->listsFileNumbers;
}

bool mustStay(const Directory& d, const char* path) {
    struct stat st;
    return d.directoriesStay && lstat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

bool commandName(const char* name, std::string& out) {
    return codeset::toCommand(name, out) && isAddressable(out.c_str(), out.size());
}

bool listed(const std::string& directory, const std::string& system) {
    DIR* dir = opendir(orDot(directory));
    if (!dir) return false;
    bool found = false;
    while (dirent* entry = readdir(dir))
        if (system == entry->d_name) {
            found = true;
            break;
        }
    closedir(dir);
    return found;
}

bool PosixDisk::holdsNone(const std::string& directory) const {
    auto found = byPath.find(directory);
    return found != byPath.end() && found->second.holdsNoneNoticed;
}

void PosixDisk::notice(const char* ending) {
    noticed.text = ending;
    noticed.last = *ending ? static_cast<char>(noticed.text.back() | 0x20) : 0;
}

Directory& PosixDisk::directoryState(const std::string& directory) {
    auto found = byPath.find(directory);
    if (found != byPath.end()) return found->second;
    Directory& d = byPath[directory];
    struct statfs fs;
    if (statfs(orDot(directory), &fs) == 0) {
        d.caseInsensitive = !isKnownCaseSensitive(directory, fs);
        d.directoriesStay = movesDirectoriesBadly(directory, fs);
        d.userSpace = static_cast<unsigned long>(fs.f_type) == FUSE_SUPER_MAGIC;
    }
    return d;
}

bool PosixDisk::statAt(const std::string& directory, const std::string& name, struct stat& st) {
    std::string& full = scratch.full;
    full.assign(directory);
    full += name;
    return statOf(full.c_str(), full.size(), st);
}

bool PosixDisk::statOf(const char* path, std::size_t length, struct stat& st) {
    if (known.valid && known.path.equals(path, length)) {
        st = known.st;
        return true;
    }
    if (lstat(path, &st) != 0) return false;
    known.valid = known.path.assign(path, length);
    known.st = st;
    return true;
}

void PosixDisk::dropIndex(Directory& d) {
    if (d.indexed) --indexed;
    d.indexed = false;
    d.names.clear();
}

bool PosixDisk::buildIndex(const std::string& directory, Directory& d) {
    DIR* dir = opendir(orDot(directory));
    if (!dir) return false;
    d.names.clear();
    std::string& converted = scratch.converted;
    while (dirent* entry = readdir(dir)) {
        const char* name = entry->d_name;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
        if (!commandName(name, converted)) continue;
        Slot& slot = d.names[folded(converted)];
        if (slot.count++ == 0) slot.stored = name;
    }
    closedir(dir);
    if (!d.indexed) ++indexed;
    d.indexed = true;
    return true;
}

const Slot* PosixDisk::spellingsIn(const std::string& directory, Directory& d, const std::string& name) {
    if (!d.indexed && !buildIndex(directory, d)) return nullptr;
    auto found = d.names.find(folded(name));
    if (found != d.names.end() && !found->second.confirmed) {
        if (!buildIndex(directory, d)) return nullptr;
        found = d.names.find(folded(name));
    }
    return found == d.names.end() ? nullptr : &found->second;
}

// The stored system name of the entry `name` (command form, `system` in the
// system's) in `directory` whose exact spelling is not known to be there:
// the one entry equal to it ignoring case, or the exact spelling where a
// directory we could not vouch for holds several.
bool PosixDisk::storedBySpelling(const std::string& directory, Directory& d, const std::string& name,
                                 const std::string& system, std::string& stored) {
    const Slot* slot = spellingsIn(directory, d, name);
    if (!slot) return false;
    if (slot->count == 1) {
        stored = slot->stored;
        return true;
    }
    // Spellings side by side, on a file system we could not vouch for.
    if (d.caseInsensitive && listed(directory, system)) {
        stored = system;
        return true;
    }
    return false;
}

// The stored system name of the entry that `name` (command form, no wildcard)
// designates in `directory`: the exact spelling where the directory holds it,
// else the one entry equal to it ignoring case. False when there is none, or
// several and none of them exactly.
bool PosixDisk::storedEntry(const std::string& directory, const std::string& name, std::string& stored) {
    std::string& system = scratch.system;
    if (!codeset::toSystem(name.data(), name.size(), system)) return false;
    Directory& d = directoryState(directory);
    struct stat st;
    if (!d.caseInsensitive && statAt(directory, system, st)) {
        stored = system;  // the kernel found this very spelling
        return true;
    }
    return storedBySpelling(directory, d, name, system, stored);
}

// True when `directory` holds an entry stored exactly as `system`.
bool PosixDisk::holdsExactly(const std::string& directory, const std::string& system) {
    struct stat st;
    if (!directoryState(directory).caseInsensitive) return statAt(directory, system, st);
    std::string name, stored;
    return codeset::toCommand(system.c_str(), name) && storedEntry(directory, name, stored) &&
           stored == system;
}

void PosixDisk::afterMove(const MovePath& from, const MovePath& to, bool notDirectory, bool proven) {
    // The status kept: rename(2) keeps the inode, and the new spelling is the
    // stored one where the kernel proved it.
    bool wasKnown = known.valid && known.path.equals(from.system, from.systemLength);
    notDirectory = notDirectory || (wasKnown && !S_ISDIR(known.st.st_mode));
    known.valid = wasKnown && proven && known.path.assign(to.system, to.systemLength);
    const char* fromName = from.system + from.systemNameAt;
    const char* toName = to.system + to.systemNameAt;
    Directory& d = *from.directory;
    // The noticed ending: the directory may hold it now.
    if (endsNoticed(toName, to.systemLength - to.systemNameAt)) d.holdsNoneNoticed = false;
    // The resolved paths: it may have been a directory of them.
    if (!notDirectory) forgetResolvedThrough(fromName, from.systemLength - from.systemNameAt);
    // The indexes: another path may name the same directory (a link), so
    // every other index goes; this one is mended where a single spelling moved.
    if (indexed > (d.indexed ? 1u : 0u)) {
        for (auto& [path, other] : byPath)
            if (other.indexed && &other != &d) dropIndex(other);
    }
    if (!d.indexed) return;
    std::string fromCommand, toCommand;
    if (!codeset::toCommand(fromName, fromCommand) || !codeset::toCommand(toName, toCommand)) {
        dropIndex(d);
        return;
    }
    auto old = d.names.find(folded(fromCommand));
    if (old == d.names.end() || old->second.count != 1) {
        dropIndex(d);  // several spellings: read the listing again when needed
        return;
    }
    d.names.erase(old);
    if (!isAddressable(toCommand.c_str(), toCommand.size())) return;
    Slot& slot = d.names[folded(toCommand)];
    if (slot.count++ == 0) slot.stored = toName;
    // Where case may be ignored, the disk may have kept another spelling: the
    // other names' slots stay true, this one is read again when asked.
    slot.confirmed = !d.caseInsensitive;
}

Spellings spellingsOf(const char* path, const char* other, bool afresh) {
    Spellings result;
    PosixDisk& disk = platform::disk();
    const Translation* t = disk.translate(path);
    if (!t) return result;
    std::string directory = t->system.part(0, t->systemNameAt);
    std::string system = t->system.part(t->systemNameAt);
    std::string name = t->command.part(t->commandNameAt);
    Directory& d = *t->directory;
    const Translation* o = disk.translate(other);  // `t` stays: two are kept
    std::string otherSystem = o && o->systemNameAt == t->systemNameAt ? o->system.part(o->systemNameAt) : "";
    if (name.empty()) return result;
    if (afresh) disk.dropIndex(d);
    const Slot* slot = disk.spellingsIn(directory, d, name);
    if (!slot) return result;
    result.count = slot->count;
    if (slot->count == 1) {
        result.path = slot->stored == system;
        result.other = !otherSystem.empty() && slot->stored == otherSystem;
    } else {
        // Spellings side by side: the listing tells which are there exactly.
        result.path = listed(directory, system);
        result.other = !otherSystem.empty() && listed(directory, otherSystem);
    }
    return result;
}

void PosixDisk::forget() {
    known.valid = false;
    ++generation;
    indexed = 0;
    byPath.clear();
    forgetResolvedDirectories();
}

}  // namespace platform
