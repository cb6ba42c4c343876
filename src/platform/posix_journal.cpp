// POSIX backend, the journal's folder and files. A file is held with an
// exclusive lock for as long as it is open, so that a run, an undo and the
// pruning of old journals never work on one file at once; the lock goes with
// the process, however it ends.
#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/platform.h"

namespace platform {

namespace {

// Makes each missing folder of `path` (whole, ending in '/'), for the user
// alone; `st` gets the folder's status.
bool makeFolders(const std::string& path, struct stat& st) {
    if (stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return true;  // as nearly always
    for (std::size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1)) {
        std::string part = path.substr(0, slash);
        if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
    }
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// True for what the user alone may change: their own, and writable by no one else.
bool isUsersOwn(const struct stat& st) { return st.st_uid == geteuid() && (st.st_mode & (S_IWGRP | S_IWOTH)) == 0; }

int descriptor(JournalHandle handle) { return static_cast<int>(reinterpret_cast<std::intptr_t>(handle)) - 1; }
JournalHandle handleOf(int fd) { return reinterpret_cast<JournalHandle>(static_cast<std::intptr_t>(fd) + 1); }

}  // namespace

bool journalFolder(std::string& folder, bool make) {
    // Relative values are to be ignored, as the base directory rules say;
    // without HOME (a cron job, env -i) the user's entry names the home.
    const char* state = std::getenv("XDG_STATE_HOME");
    const char* home = std::getenv("HOME");
    if (!home || home[0] != '/') {
        const passwd* user = getpwuid(geteuid());
        home = user ? user->pw_dir : nullptr;
    }
    if (state && state[0] == '/') folder = std::string(state) + "/tavisk/";
    else if (home && home[0] == '/') folder = std::string(home) + "/.local/state/tavisk/";
    else folder.clear();
    if (folder.empty()) return false;
    // Journals tell the undo what to rename: a folder that another user could
    // fill is not taken (one the user links to elsewhere is, if it is theirs).
    struct stat st;
    return !make || (makeFolders(folder, st) && isUsersOwn(st));
}

bool listJournalFolder(const std::string& folder, void (*visit)(const char* name, void* context), void* context) {
    DIR* dir = opendir(folder.c_str());
    if (!dir) return false;
    while (const dirent* d = readdir(dir)) visit(d->d_name, context);
    closedir(dir);
    return true;
}

JournalHandle createJournal(const std::string& path, bool* taken) {
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_APPEND | O_NOFOLLOW | O_CLOEXEC, 0600);
    *taken = fd < 0 && errno == EEXIST;
    if (fd < 0) return nullptr;
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        close(fd);
        return nullptr;
    }
    return handleOf(fd);
}

JournalOpen openJournal(const std::string& path, JournalHandle* handle) {
    // Appended to by an undo; a file the user made read-only is still read.
    int fd = open(path.c_str(), O_RDWR | O_APPEND | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0 && errno == EACCES) fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT ? JournalOpen::missing : JournalOpen::failed;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || !isUsersOwn(st)) {
        close(fd);
        return JournalOpen::failed;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        bool busy = errno == EWOULDBLOCK;
        close(fd);
        return busy ? JournalOpen::busy : JournalOpen::failed;
    }
    *handle = handleOf(fd);
    return JournalOpen::opened;
}

bool appendJournal(JournalHandle handle, const char* bytes, std::size_t count) {
    int fd = descriptor(handle);
    while (count > 0) {
        ssize_t n = write(fd, bytes, count);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes += n;
        count -= static_cast<std::size_t>(n);
    }
    return true;
}

bool readJournal(JournalHandle handle, std::string& out) {
    int fd = descriptor(handle);
    out.clear();
    char block[65536];
    for (;;) {
        ssize_t n = read(fd, block, sizeof block);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) return true;
        out.append(block, static_cast<std::size_t>(n));
    }
}

bool syncJournal(JournalHandle handle) { return fdatasync(descriptor(handle)) == 0; }

void closeJournal(JournalHandle handle) { close(descriptor(handle)); }

bool removeJournal(const std::string& path) { return unlink(path.c_str()) == 0; }

bool replaceJournal(const std::string& from, const std::string& to) { return rename(from.c_str(), to.c_str()) == 0; }

const char* journalFolderVariables() { return "XDG_STATE_HOME, HOME"; }

namespace {
// The lock this run holds shared, from joinRuns on; -1 for none.
struct Runs {
    int fd = -1;
} runs;
}  // namespace

void joinRuns(const std::string& folder) {
    if (runs.fd >= 0) return;
    int fd = open((folder + "runs.lock").c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd >= 0 && flock(fd, LOCK_SH) != 0) {
        close(fd);
        fd = -1;
    }
    runs.fd = fd;
}

bool aloneInRuns() {
    if (runs.fd < 0) return true;
    bool alone = flock(runs.fd, LOCK_EX | LOCK_NB) == 0;
    flock(runs.fd, LOCK_SH);
    return alone;
}

}  // namespace platform
