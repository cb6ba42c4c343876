// POSIX backend: Linux system calls behind the platform interface. Paths are
// handed to the system with '\\' (a real one, not a second byte) read as '/',
// so that names typed the Windows way reach the same entries. Under a UTF-8
// locale every text crosses this boundary through the code page 932 bridge.
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
#include <map>
#include <string>
#include <vector>

#include "platform/glob.h"
#include "platform/platform.h"
#include "platform/posix_codeset.h"
#include "platform/posix_command_line.h"
#include "sjis/sjis.h"

extern char** environ;

namespace platform {

const char pathSeparator = '/';

namespace {

int savedArgc = 0;
char** savedArgv = nullptr;
std::vector<std::string> commandArguments;  // argv in the command's code page
std::vector<char*> commandArgv;
std::string commandLine;

// `path` with every real '\\' turned into '/', still in the command's code page.
bool slashPath(const char* path, std::string& out) {
    std::size_t n = std::strlen(path);
    if (n >= maxPath) return false;
    out.assign(path, n);
    for (std::size_t i = 0; i < n; ++i) {
        if (isSjisLead(static_cast<unsigned char>(out[i])) && i + 1 < n) ++i;
        else if (out[i] == '\\') out[i] = '/';
    }
    return true;
}

// The path the system is given for the command's `path`.
bool systemPath(const char* path, std::string& out) {
    static std::string slashed;  // kept, so that its storage is reused
    return slashPath(path, slashed) && codeset::toSystem(slashed.data(), slashed.size(), out);
}

// Length of the directory part of a path (through its last '/'). A '/' is never
// the second byte of a character, in either code.
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
    std::string directory;  // system form, with its trailing '/', or empty for "."
    std::string pattern;    // command form
    std::size_t directoryLength;  // of the command form
};

// The entry looked up last, by its system path: the command looks a name up,
// then asks for its attributes, renames it and reads its name back, and each
// of those would otherwise stat the same path again. Any move that does not
// start from this path forgets it.
struct Known {
    std::string path;
    uint32_t attributes = invalidAttributes;
} known;

// Fills `data` for the entry `name` (system form) of `directory` (system form),
// whose name the command sees as `commandName`.
bool fill(const std::string& directory, const char* name, const std::string& commandName,
          FindData* data) {
    if (commandName.size() >= maxPath) return false;
    std::string full = directory + name;
    if (full != known.path) {
        struct stat st;
        if (lstat(full.c_str(), &st) != 0) return false;
        known.path = full;
        known.attributes = attributesOf(st, name);
    }
    data->attributes = known.attributes;
    std::memcpy(data->fileName, commandName.c_str(), commandName.size() + 1);
    return true;
}

// The command's form of a stored name; false for a name that it could not
// carry back to the same entry.
bool commandName(const char* name, std::string& out) {
    return codeset::toCommand(name, out) && isAddressable(out.c_str());
}

bool nextMatch(Search* search, FindData* data) {
    static std::string converted;  // kept, so that its storage is reused
    while (dirent* entry = readdir(search->dir)) {
        const char* name = entry->d_name;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
        if (!commandName(name, converted)) continue;
        if (!wildcardMatch(search->pattern.c_str(), converted.c_str())) continue;
        if (search->directoryLength + converted.size() >= maxPath) continue;
        // The directory's own record of the kind saves a stat per entry; the
        // expansion uses only the names.
        if (entry->d_type != DT_UNKNOWN) {
            data->attributes = entry->d_type == DT_DIR ? attributeDirectory : 0x80;
            if (name[0] == '.') data->attributes |= 0x02;
            std::memcpy(data->fileName, converted.c_str(), converted.size() + 1);
            return true;
        }
        if (fill(search->directory, name, converted, data)) return true;
    }
    return false;
}

// The one entry of `directory` whose name equals `name` ignoring the case of
// A-Z; none when there is none or more than one.
bool findIgnoringCase(const std::string& directory, const char* name, FindData* data) {
    DIR* dir = opendir(directory.empty() ? "." : directory.c_str());
    if (!dir) return false;
    std::string found, foundName, converted;
    int matches = 0;
    while (dirent* entry = readdir(dir)) {
        if (commandName(entry->d_name, converted) && equalsIgnoreCase(converted.c_str(), name)) {
            found = entry->d_name;
            foundName = converted;
            if (++matches > 1) break;
        }
    }
    closedir(dir);
    return matches == 1 && fill(directory, found.c_str(), foundName, data);
}

// A handle for a lookup without wildcards: nothing more to give.
Search singleResult{nullptr, {}, {}, 0};

termios savedTerminal;
volatile sig_atomic_t terminalRaw = 0;

void restoreTerminal() {
    if (terminalRaw) {
        tcsetattr(STDIN_FILENO, TCSANOW, &savedTerminal);
        terminalRaw = 0;
    }
}

// An interruption ends the process as the signal would, with the terminal
// as the user had it.
void onInterrupt(int sig) {
    restoreTerminal();
    signal(sig, SIG_DFL);
    raise(sig);
}

constexpr int interruptions[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

void catchInterruptions() {
    for (int sig : interruptions) {
        struct sigaction old {};
        sigaction(sig, nullptr, &old);
        if (old.sa_handler == SIG_IGN) continue;  // nohup and the like stay in force
        struct sigaction action {};
        action.sa_handler = onInterrupt;
        sigemptyset(&action.sa_mask);
        sigaction(sig, &action, nullptr);
    }
}

sigset_t interruptionSet() {
    sigset_t set;
    sigemptyset(&set);
    for (int sig : interruptions) sigaddset(&set, sig);
    return set;
}

int holds = 0;
sigset_t maskBeforeHold;

// A key that sent the first byte `lead` of a UTF-8 character: the character's
// first byte in the command's code page (0xC0 for the katakana that the Q key
// gives under kana input), or 0 when it has none.
int commandKey(unsigned char lead) {
    char sequence[5] = {static_cast<char>(lead)};
    std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
    pollfd more{STDIN_FILENO, POLLIN, 0};
    for (std::size_t i = 1; i < length; ++i)
        if (poll(&more, 1, 30) <= 0 || read(STDIN_FILENO, &sequence[i], 1) != 1) return 0;
    std::string key;
    if (!codeset::toCommand(sequence, key) || key.empty()) return 0;
    return static_cast<unsigned char>(key[0]);
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
    catchInterruptions();
    codeset::setUpFromLocale();
    savedArgc = argc;
    savedArgv = argv;
    if (!codeset::active()) return;
    commandArguments.resize(static_cast<std::size_t>(argc));
    for (int i = 0; i < argc; ++i) codeset::toCommand(argv[i], commandArguments[i]);
    for (std::string& arg : commandArguments) commandArgv.push_back(arg.data());
    commandArgv.push_back(nullptr);
    savedArgv = commandArgv.data();
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
    std::string path, directory, systemName;
    if (!slashPath(pattern, path)) return nullptr;
    std::size_t dirLength = directoryPart(path.c_str());
    std::string name = path.substr(dirLength);
    if (name.empty() || !isAddressable(name.c_str())) return nullptr;
    if (!codeset::toSystem(path.data(), dirLength, directory)) return nullptr;
    if (!hasWildcard(name.c_str())) {
        // The exact name first; only then another letter case.
        if (codeset::toSystem(name.data(), name.size(), systemName) &&
            (fill(directory, systemName.c_str(), name, data) ||
             findIgnoringCase(directory, name.c_str(), data)))
            return &singleResult;
        return nullptr;
    }
    DIR* dir = opendir(directory.empty() ? "." : directory.c_str());
    if (!dir) return nullptr;
    Search* search = new Search{dir, directory, name, dirLength};
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
    std::string system;
    if (!systemPath(path, system)) return invalidAttributes;
    if (known.path == system) return known.attributes;
    struct stat st;
    if (lstat(system.c_str(), &st) != 0) return invalidAttributes;
    return attributesOf(st, system.c_str() + directoryPart(system.c_str()));
}

namespace {

// A path from the system, for the command: false when it does not convert or
// does not fit.
unsigned giveCommandPath(const std::string& system, unsigned size, char* buffer) {
    std::string path;
    if (!codeset::toCommand(system.c_str(), path) || path.size() >= maxPath) return 0;
    if (path.size() + 1 > size) return static_cast<unsigned>(path.size() + 1);
    std::memcpy(buffer, path.c_str(), path.size() + 1);
    return static_cast<unsigned>(path.size());
}

std::string modulePath() {
    char link[4096];
    ssize_t n = readlink("/proc/self/exe", link, sizeof link);
    return n > 0 && static_cast<std::size_t>(n) < sizeof link ? std::string(link, static_cast<std::size_t>(n))
                                                              : std::string();
}

}  // namespace

unsigned GetModuleFileNameA(char* buffer, unsigned size) {
    std::string module = modulePath();
    unsigned n = module.empty() ? 0 : giveCommandPath(module, size, buffer);
    return n < size ? n : 0;  // a cut path is no path
}

unsigned SearchPathA(const char* commandFileName, unsigned size, char* buffer) {
    std::string name;
    if (!codeset::toSystem(commandFileName, std::strlen(commandFileName), name)) return 0;
    const char* fileName = name.c_str();
    std::string candidates[3];
    std::string module = modulePath();
    if (!module.empty()) candidates[0] = module.substr(0, directoryPart(module.c_str()));
    char cwd[4096];
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
    return found.empty() ? 0 : giveCommandPath(found, size, buffer);
}

namespace {

// The system paths of a move must say what the command's paths say: the same
// directory, and a change of letter case only where the command asked for one.
bool isFaithfulMove(const char* from, const char* to, const std::string& source,
                    const std::string& target) {
    std::size_t directory = directoryPart(source.c_str());
    if (directory != directoryPart(target.c_str()) || source.compare(0, directory, target, 0, directory) != 0)
        return false;
    if (!equalsIgnoreCase(from, to)) return true;
    return equalsIgnoreCase(source.c_str(), target.c_str());
}

}  // namespace

bool moveEntry(const char* from, const char* to) {
    std::string sourcePath, targetPath;
    if (!systemPath(from, sourcePath) || !systemPath(to, targetPath)) return false;
    if (!isFaithfulMove(from, to, sourcePath, targetPath)) return false;
    const char* source = sourcePath.c_str();
    const char* target = targetPath.c_str();
    bool wasKnown = known.path == sourcePath;
    known.path.clear();
    if (renameat2(AT_FDCWD, source, AT_FDCWD, target, RENAME_NOREPLACE) == 0) {
        if (wasKnown) known.path = targetPath;  // the same entry, now under `to`
        return true;
    }
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return false;
    // The file system refuses the flag. A hard link fails atomically when the
    // target exists; where links are not possible, check, then rename.
    struct stat st;
    if (lstat(source, &st) != 0) return false;
    if (!S_ISDIR(st.st_mode)) {
        holdInterrupts();  // an interruption between the two would leave both names
        bool linked = link(source, target) == 0;
        bool moved = linked && (unlink(source) == 0 || (unlink(target), false));
        int linkError = errno;
        releaseInterrupts();
        if (linked) return moved;
        if (linkError == EEXIST) return false;
    }
    if (lstat(target, &st) == 0 || errno != ENOENT) return false;
    return rename(source, target) == 0;
}

void holdInterrupts() {
    if (holds++ > 0) return;
    sigset_t set = interruptionSet();
    sigprocmask(SIG_BLOCK, &set, &maskBeforeHold);
}

void releaseInterrupts() {
    if (holds == 0 || --holds > 0) return;
    sigset_t pending;
    sigpending(&pending);
    for (int sig : interruptions)
        if (sigismember(&pending, sig)) {
            // The process ends once the mask is lifted; what it reported so
            // far is written out first, as it matches the disk.
            flushOut();
            break;
        }
    sigprocmask(SIG_SETMASK, &maskBeforeHold, nullptr);
}

const char* getEnvironmentVariable(const char* commandName) {
    std::string name;
    if (!codeset::toSystem(commandName, std::strlen(commandName), name)) return nullptr;
    for (char** entry = environ; entry && *entry; ++entry) {
        const char* equals = std::strchr(*entry, '=');
        if (!equals || static_cast<std::size_t>(equals - *entry) != name.size()) continue;
        std::string key(*entry, name.size());
        if (!equalsIgnoreCase(key.c_str(), name.c_str())) continue;
        if (!codeset::active()) return equals + 1;
        // Kept per name, so that the text stays valid as long as the process.
        static std::map<std::string, std::string> values;
        std::string& value = values[key];
        codeset::toCommand(equals + 1, value);
        return value.c_str();
    }
    return nullptr;
}

std::FILE* openForReading(const char* path) {
    std::string system;
    if (!systemPath(path, system)) return nullptr;
    return std::fopen(system.c_str(), "rb");
}

namespace {

void writeTo(std::FILE* stream, const char* bytes, std::size_t count) {
    if (!codeset::active()) {
        std::fwrite(bytes, 1, count, stream);
        return;
    }
    static std::string shown;  // kept, so that its storage is reused
    codeset::toDisplay(bytes, count, shown);
    std::fwrite(shown.data(), 1, shown.size(), stream);
}

}  // namespace

void writeOut(const char* bytes, std::size_t count) { writeTo(stdout, bytes, count); }
void writeErr(const char* bytes, std::size_t count) { writeTo(stderr, bytes, count); }
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
    terminalRaw = 1;
    tcsetattr(STDIN_FILENO, TCSANOW, &raw);
    tcflush(STDIN_FILENO, TCIFLUSH);  // keys typed before the prompt do not answer it
    unsigned char key = 0;
    ssize_t n;
    do {
        n = read(STDIN_FILENO, &key, 1);
    } while (n < 0 && errno == EINTR);
    int result = n == 1 ? key : -1;
    if (result >= 0xC0 && codeset::active()) result = commandKey(key);
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
