// POSIX backend: the disk in use, and what the command asks of an entry
// itself: its attributes, its identity and its birth. The disk's parts are
// named in posix_disk.h.
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/vfs.h>

#include "platform/posix_disk.h"

namespace platform {

const char pathSeparator = '/';

const CommandLineDialect& commandLineDialect() {
    static const CommandLineDialect linux{'-', true, true, false, true};
    return linux;
}

namespace {

// The process's own disk, and the disk in use: that one, or a test's. The
// one root of what the backend has learnt; made before main, without a
// guard to ask on each call.
PosixDisk ownDisk;
PosixDisk* inUse = &ownDisk;

// What stays of an entry where file numbers do not: its kind and, for a file,
// its size and modification time.
EntryIdentity fingerprintOf(const struct stat& st) {
    return fingerprint(S_ISDIR(st.st_mode), static_cast<uint64_t>(st.st_size),
                       static_cast<uint64_t>(st.st_mtim.tv_sec), static_cast<uint64_t>(st.st_mtim.tv_nsec));
}

}  // namespace

PosixDisk& disk() { return *inUse; }

void useDisk(PosixDisk* fresh) { inUse = fresh ? fresh : &ownDisk; }

uint32_t GetFileAttributesA(const char* path) {
    PosixDisk& d = disk();
    const Translation* t = d.translate(path);
    struct stat st;
    if (!t || !d.statOf(t->system.text, t->system.length, st)) return invalidAttributes;
    return attributesOf(st, t->system.text + t->systemNameAt);
}

bool entryIdentity(const char* path, EntryIdentity* identity) {
    PosixDisk& d = disk();
    const Translation* t = d.translate(path);
    struct stat st;
    if (!t || !d.statOf(t->system.text, t->system.length, st)) return false;
    *identity = identityOf(st);
    return true;
}

bool journalIdentity(const char* path, const EntryIdentity& identity, EntryIdentity* kept) {
    *kept = identity;
    PosixDisk& d = disk();
    PosixDisk::Devices& devices = d.devices;
    bool deviceKnown = devices.known && devices.device == identity.volume;
    if (deviceKnown && devices.numbersLast) return true;
    const Translation* t = d.translate(path);
    struct stat st;
    if (!t || !d.statOf(t->system.text, t->system.length, st)) return false;
    // The file system is asked once a device (FUSE: each call is a round trip).
    if (!deviceKnown || devices.device != static_cast<uint64_t>(st.st_dev)) {
        struct statfs fs;
        if (statfs(t->system.text, &fs) != 0) return false;
        devices = {true, static_cast<uint64_t>(st.st_dev), static_cast<unsigned long>(fs.f_type) != FUSE_SUPER_MAGIC};
    }
    if (!devices.numbersLast) *kept = fingerprintOf(st);
    return true;
}

bool birthTime(const char* path, uint64_t* nanoseconds) {
    const Translation* t = disk().translate(path);
    struct statx sx;
    if (!t || statx(AT_FDCWD, t->system.text, AT_SYMLINK_NOFOLLOW, STATX_BTIME, &sx) != 0 ||
        !(sx.stx_mask & STATX_BTIME))
        return false;
    *nanoseconds = static_cast<uint64_t>(sx.stx_btime.tv_sec) * 1000000000u + sx.stx_btime.tv_nsec;
    return true;
}

bool directoryIdentity(const char* part, EntryIdentity* identity) {
    std::string directory;
    struct stat st;
    if (!disk().directoryOf(part, directory) || stat(orDot(directory), &st) != 0) return false;
    *identity = identityOf(st);
    return true;
}

bool lookupsIgnoreCase() { return false; }

}  // namespace platform
