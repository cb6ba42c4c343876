// POSIX backend: Linux system calls behind the platform interface. Paths are
// handed to the system with '\\' (a real one, not a second byte) read as '/',
// so that names typed the Windows way reach the same entries.
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/glob.h"
#include "platform/platform.h"
#include "platform/posix_command_line.h"
#include "sjis/sjis.h"

extern char** environ;

namespace platform {

const char pathSeparator = '/';

namespace {

int savedArgc = 0;
char** savedArgv = nullptr;
std::string commandLine;

// Copies `path` to `out` (maxPath bytes) with every real '\\' turned into '/'.
bool systemPath(const char* path, char* out) {
    std::size_t n = std::strlen(path);
    if (n >= maxPath) return false;
    for (std::size_t i = 0; i <= n; ++i) {
        out[i] = path[i];
        if (isSjisLead(static_cast<unsigned char>(path[i])) && path[i + 1] != '\0') {
            out[i + 1] = path[i + 1];
            ++i;
        } else if (path[i] == '\\') {
            out[i] = '/';
        }
    }
    return true;
}

// Length of the directory part of a system path (through its last '/').
std::size_t directoryPart(const char* path) {
    const char* slash = std::strrchr(path, '/');
    return slash ? static_cast<std::size_t>(slash - path) + 1 : 0;
}

// A stored name that the command's own path rules could not carry back to the
// same entry: a real '\\' would be read as a separator.
bool isAddressable(const char* name) {
    return std::strlen(name) < maxPath && !sjisFindFirst(name, '\\') &&
           sjisFindFirst(name, '\0');
}

uint32_t attributesOf(const struct stat& st, const char* name) {
    uint32_t word = 0;
    if (S_ISDIR(st.st_mode)) word |= attributeDirectory;
    if (!(st.st_mode & S_IWUSR)) word |= 0x01;  // read-only
    if (name[0] == '.') word |= 0x02;            // hidden
    return word ? word : 0x80;
}

struct Search {
    DIR* dir;
    std::string directory;  // with its trailing '/', or empty for "."
    std::string pattern;
};

// The entry looked up last, by its system path: the command looks a name up,
// then asks for its attributes, renames it and reads its name back, and each
// of those would otherwise stat the same path again. Any move that does not
// start from this path forgets it.
struct Known {
    std::string path;
    uint32_t attributes = invalidAttributes;
} known;

bool fill(const std::string& directory, const char* name, FindData* data) {
    std::string full = directory + name;
    if (full.size() >= maxPath) return false;
    if (full != known.path) {
        struct stat st;
        if (lstat(full.c_str(), &st) != 0) return false;
        known.path = full;
        known.attributes = attributesOf(st, name);
    }
    data->attributes = known.attributes;
    std::strcpy(data->fileName, name);
    return true;
}

bool nextMatch(Search* search, FindData* data) {
    while (dirent* entry = readdir(search->dir)) {
        const char* name = entry->d_name;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
        if (!isAddressable(name) || !wildcardMatch(search->pattern.c_str(), name)) continue;
        if (search->directory.size() + std::strlen(name) >= maxPath) continue;
        // The directory's own record of the kind saves a stat per entry; the
        // expansion uses only the names.
        if (entry->d_type != DT_UNKNOWN) {
            data->attributes = entry->d_type == DT_DIR ? attributeDirectory : 0x80;
            if (name[0] == '.') data->attributes |= 0x02;
            std::strcpy(data->fileName, name);
            return true;
        }
        if (fill(search->directory, name, data)) return true;
    }
    return false;
}

// The one entry of `directory` whose name equals `name` ignoring the case of
// A-Z; none when there is none or more than one.
bool findIgnoringCase(const std::string& directory, const char* name, FindData* data) {
    DIR* dir = opendir(directory.empty() ? "." : directory.c_str());
    if (!dir) return false;
    std::string found;
    int matches = 0;
    while (dirent* entry = readdir(dir)) {
        if (isAddressable(entry->d_name) && equalsIgnoreCase(entry->d_name, name)) {
            found = entry->d_name;
            if (++matches > 1) break;
        }
    }
    closedir(dir);
    return matches == 1 && fill(directory, found.c_str(), data);
}

// A handle for a lookup without wildcards: nothing more to give.
Search singleResult{nullptr, {}, {}};

termios savedTerminal;
volatile sig_atomic_t terminalRaw = 0;

void restoreTerminal() {
    if (terminalRaw) {
        tcsetattr(STDIN_FILENO, TCSANOW, &savedTerminal);
        terminalRaw = 0;
    }
}

void onSignalDuringKey(int sig) {
    restoreTerminal();
    signal(sig, SIG_DFL);
    raise(sig);
}

// Quotes one argument so that the command line split gives it back.
void appendQuoted(std::string& out, const char* arg) {
    // A lead byte that ends the argument would take the closing quote as its
    // second byte; it goes after the quote, where the end of the line keeps it.
    const char* end = arg + std::strlen(arg);
    bool loneLead = end != arg && !sjisFindFirst(arg, '\0');
    if (loneLead) --end;
    out += '"';
    std::size_t backslashes = 0;
    for (const char* p = arg; p < end; ++p) {
        if (isSjisLead(static_cast<unsigned char>(*p)) && p + 1 < end) {
            out.append(backslashes, '\\');
            backslashes = 0;
            out += p[0];
            out += p[1];
            ++p;
            continue;
        }
        if (*p == '\\') {
            ++backslashes;
            continue;
        }
        if (*p == '"') {
            out.append(2 * backslashes + 1, '\\');
            out += '"';
        } else {
            out.append(backslashes, '\\');
            out += *p;
        }
        backslashes = 0;
    }
    out.append(2 * backslashes, '\\');  // doubled, so the closing quote stays one
    out += '"';
    if (loneLead) out += *end;
}

}  // namespace

void startProcess(int argc, char** argv) {
    savedArgc = argc;
    savedArgv = argv;
}

std::string quoteCommandLine(int argc, char* const* argv) {
    std::string line;
    for (int i = 0; i < argc; ++i) {
        if (i) line += ' ';
        appendQuoted(line, argv[i]);
    }
    return line;
}

const char* GetCommandLineA() {
    if (commandLine.empty()) commandLine = quoteCommandLine(savedArgc, savedArgv);
    return commandLine.c_str();
}

const char* const* originalArguments(int* count) {
    *count = savedArgc;
    return savedArgv;
}

SearchHandle FindFirstFileA(const char* pattern, FindData* data) {
    char path[maxPath];
    if (!systemPath(pattern, path)) return nullptr;
    std::size_t dirLength = directoryPart(path);
    std::string directory(path, dirLength);
    const char* name = path + dirLength;
    if (*name == '\0' || !isAddressable(name)) return nullptr;
    if (!hasWildcard(name)) {
        // The exact name first; only then another letter case.
        if (fill(directory, name, data) || findIgnoringCase(directory, name, data))
            return &singleResult;
        return nullptr;
    }
    DIR* dir = opendir(directory.empty() ? "." : directory.c_str());
    if (!dir) return nullptr;
    Search* search = new Search{dir, directory, name};
    if (nextMatch(search, data)) return search;
    FindClose(search);
    return nullptr;
}

bool FindNextFileA(SearchHandle handle, FindData* data) {
    Search* search = static_cast<Search*>(handle);
    return search && search->dir && nextMatch(search, data);
}

void FindClose(SearchHandle handle) {
    Search* search = static_cast<Search*>(handle);
    if (!search || search == &singleResult) return;
    closedir(search->dir);
    delete search;
}

uint32_t GetFileAttributesA(const char* path) {
    char system[maxPath];
    if (!systemPath(path, system)) return invalidAttributes;
    if (known.path == system) return known.attributes;
    struct stat st;
    if (lstat(system, &st) != 0) return invalidAttributes;
    return attributesOf(st, system + directoryPart(system));
}

unsigned GetModuleFileNameA(char* buffer, unsigned size) {
    ssize_t n = readlink("/proc/self/exe", buffer, size);
    if (n <= 0 || static_cast<unsigned>(n) >= size) return 0;
    buffer[n] = '\0';
    return static_cast<unsigned>(n);
}

unsigned SearchPathA(const char* fileName, unsigned size, char* buffer) {
    std::string candidates[3];
    char module[maxPath];
    unsigned n = GetModuleFileNameA(module, sizeof module);
    if (n) candidates[0] = std::string(module, directoryPart(module));
    char cwd[maxPath];
    if (getcwd(cwd, sizeof cwd)) candidates[1] = std::string(cwd) + "/";
    std::string found;
    struct stat st;
    for (const std::string& directory : candidates) {
        if (directory.empty()) continue;
        std::string full = directory + fileName;
        if (lstat(full.c_str(), &st) == 0) {
            found = full;
            break;
        }
    }
    if (found.empty()) {
        const char* path = std::getenv("PATH");
        std::string list = path ? path : "";
        std::size_t start = 0;
        while (found.empty() && start <= list.size()) {
            std::size_t end = list.find(':', start);
            if (end == std::string::npos) end = list.size();
            std::string directory = list.substr(start, end - start);
            std::string full = (directory.empty() ? std::string(".") : directory) + "/" + fileName;
            if (full[0] == '/' && lstat(full.c_str(), &st) == 0) found = full;
            start = end + 1;
        }
    }
    if (found.empty() || found.size() >= maxPath) return 0;
    if (found.size() + 1 > size) return static_cast<unsigned>(found.size() + 1);
    std::memcpy(buffer, found.c_str(), found.size() + 1);
    return static_cast<unsigned>(found.size());
}

bool moveEntry(const char* from, const char* to) {
    char source[maxPath], target[maxPath];
    if (!systemPath(from, source) || !systemPath(to, target)) return false;
    bool wasKnown = known.path == source;
    known.path.clear();
    if (renameat2(AT_FDCWD, source, AT_FDCWD, target, RENAME_NOREPLACE) == 0) {
        if (wasKnown) known.path = target;  // the same entry, now under `to`
        return true;
    }
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return false;
    // The file system refuses the flag. A hard link fails atomically when the
    // target exists; where links are not possible, check, then rename.
    struct stat st;
    if (lstat(source, &st) != 0) return false;
    if (!S_ISDIR(st.st_mode)) {
        if (link(source, target) == 0) return unlink(source) == 0 || (unlink(target), false);
        if (errno == EEXIST) return false;
    }
    if (lstat(target, &st) == 0 || errno != ENOENT) return false;
    return rename(source, target) == 0;
}

const char* getEnvironmentVariable(const char* name) {
    std::size_t length = std::strlen(name);
    for (char** entry = environ; entry && *entry; ++entry) {
        const char* equals = std::strchr(*entry, '=');
        if (!equals || static_cast<std::size_t>(equals - *entry) != length) continue;
        std::string key(*entry, length);
        if (equalsIgnoreCase(key.c_str(), name)) return equals + 1;
    }
    return nullptr;
}

std::FILE* openForReading(const char* path) {
    char system[maxPath];
    if (!systemPath(path, system)) return nullptr;
    return std::fopen(system, "rb");
}

void writeOut(const char* bytes, std::size_t count) { std::fwrite(bytes, 1, count, stdout); }
void writeErr(const char* bytes, std::size_t count) { std::fwrite(bytes, 1, count, stderr); }
void flushOut() { std::fflush(stdout); }

void exitProcess(int code) {
    restoreTerminal();
    std::exit(code);
}

bool consoleRows(int* bufferRows, int* windowRows) {
    winsize size;
    if (!isatty(STDOUT_FILENO) || ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) != 0 || size.ws_row == 0)
        return false;
    *bufferRows = *windowRows = size.ws_row;
    return true;
}

int readConsoleKey() {
    if (!isatty(STDIN_FILENO) || tcgetattr(STDIN_FILENO, &savedTerminal) != 0) return -1;
    termios raw = savedTerminal;
    raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    struct sigaction restoreOnSignal {}, oldInt{}, oldTerm{}, oldHup{};
    restoreOnSignal.sa_handler = onSignalDuringKey;
    sigaction(SIGINT, &restoreOnSignal, &oldInt);
    sigaction(SIGTERM, &restoreOnSignal, &oldTerm);
    sigaction(SIGHUP, &restoreOnSignal, &oldHup);
    terminalRaw = 1;
    tcsetattr(STDIN_FILENO, TCSANOW, &raw);
    tcflush(STDIN_FILENO, TCIFLUSH);  // keys typed before the prompt do not answer it
    unsigned char key = 0;
    ssize_t n;
    do {
        n = read(STDIN_FILENO, &key, 1);
    } while (n < 0 && errno == EINTR);
    int result = n == 1 ? key : -1;
    if (result == 27) {
        // Esc alone is Quit; an arrow or function key sends Esc and more bytes
        // at once, and is a key without a character.
        pollfd more{STDIN_FILENO, POLLIN, 0};
        if (poll(&more, 1, 30) > 0) {
            result = 0;
            unsigned char rest[32];
            while (poll(&more, 1, 0) > 0 && read(STDIN_FILENO, rest, sizeof rest) > 0) {
            }
        }
    }
    restoreTerminal();
    sigaction(SIGINT, &oldInt, nullptr);
    sigaction(SIGTERM, &oldTerm, nullptr);
    sigaction(SIGHUP, &oldHup, nullptr);
    return result;
}

uint32_t GetTickCount() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    uint64_t ms = static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
    return static_cast<uint32_t>(ms);
}

void* allocate(std::size_t bytes) { return std::malloc(bytes ? bytes : 1); }
void* reallocate(void* block, std::size_t bytes) { return std::realloc(block, bytes ? bytes : 1); }
void release(void* block) { std::free(block); }

}  // namespace platform
