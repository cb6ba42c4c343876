// POSIX backend, the process: its arguments, its own path and the
// environment, through the code page 932 bridge under a UTF-8 locale.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <new>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/posix_codeset.h"
#include "platform/posix_internal.h"
#include "sjis/sjis.h"

extern char** environ;

namespace platform {

namespace {

// The arguments the process was given, in the command's code page.
struct Given {
    int count = 0;
    char** system = nullptr;     // as the system gave them
    char** arguments = nullptr;  // as the command reads them
    std::vector<std::string> texts;
    std::vector<char*> converted;  // pointers into `texts`, then a null
} given;

std::size_t directoryPart(const std::string& path) {
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? 0 : slash + 1;
}

// A path from the system, for the command: 0 when it does not convert or does
// not fit, the size needed when the buffer is too small.
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

namespace {

// The arguments as the command reads them, converted where the terminal
// speaks UTF-8 or an argument holds a byte the command would misread.
void convertArguments() {
    given.arguments = given.system;
    // Bytes from a terminal that is no UTF-8 one pass as they are, but for
    // what only a stand-in carries.
    bool same = !codeset::active();
    for (int i = 0; same && i < given.count; ++i)
        same = !codeset::needsStandIn(given.system[i], std::strlen(given.system[i]));
    if (same) return;
    try {
        given.texts.resize(static_cast<std::size_t>(given.count));
        given.converted.clear();
        for (int i = 0; i < given.count; ++i) codeset::fromTerminal(given.system[i], given.texts[i]);
        for (std::string& arg : given.texts) given.converted.push_back(arg.data());
        given.converted.push_back(nullptr);
        given.arguments = given.converted.data();
    } catch (const std::bad_alloc&) {
        given.count = -1;  // the command says so, and ends with 255
        given.arguments = nullptr;
    }
}

}  // namespace

void startProcess(int argc, char** argv) {
    catchInterruptions();
    codeset::setUpFromLocale();
    given.count = argc;
    given.system = argv;
    convertArguments();
}

void useShiftJisNames(bool on) {
    if (on == codeset::shiftJisNames()) return;
    codeset::useShiftJisNames(on);
    if (given.count >= 0) convertArguments();  // typed bytes are now names of their own
}

bool shiftJisNames() { return codeset::shiftJisNames(); }

// The arguments are argv itself: there is no other command line.
const char* GetCommandLineA() { return ""; }

const char* const* originalArguments(int* count) {
    *count = given.count;
    return given.arguments;
}

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
    if (!module.empty()) candidates[0] = module.substr(0, directoryPart(module));
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

// The places a configuration file is looked for before the executable's own,
// in the system's text, in order.
std::vector<std::string> configurationPlaces() {
    std::string user;
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    const char* home = std::getenv("HOME");
    if (xdg && xdg[0] == '/') user = std::string(xdg) + "/tavisk/tavisk.cfg";
    else if (home && home[0] == '/') user = std::string(home) + "/.config/tavisk/tavisk.cfg";
    std::vector<std::string> places;
    if (!user.empty()) places.push_back(user);
    places.push_back("/etc/tavisk.cfg");
    return places;
}

}  // namespace

const char* configurationFile(const char* besideExecutable) {
    static std::string chosen;
    for (const std::string& candidate : configurationPlaces()) {
        struct stat st;
        if (stat(candidate.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) continue;
        if (codeset::toCommand(candidate.c_str(), chosen) && chosen.size() < maxPath) return chosen.c_str();
    }
    return besideExecutable;
}

std::string configurationSearch(const char* besideExecutable) {
    std::string said, place;
    for (const std::string& candidate : configurationPlaces()) {
        said += codeset::toCommand(candidate.c_str(), place) ? place : candidate;
        said += ", ";
    }
    return said + besideExecutable;
}

const char* getEnvironmentVariable(const char* commandName) {
    std::string name;
    if (!codeset::toSystem(commandName, std::strlen(commandName), name)) return nullptr;
    for (char** entry = environ; entry && *entry; ++entry) {
        const char* equals = std::strchr(*entry, '=');
        if (!equals || static_cast<std::size_t>(equals - *entry) != name.size()) continue;
        std::string key(*entry, name.size());
        if (!equalsIgnoreCase(key.c_str(), name.c_str())) continue;
        // Kept per name, so that the text stays valid as long as the process.
        static std::map<std::string, std::string> values;
        std::string& value = values[key];
        codeset::fromTerminal(equals + 1, value);
        return value.c_str();
    }
    return nullptr;
}

}  // namespace platform

namespace platform {

Fault lastFault() {
    switch (errno) {
        case EEXIST: case ENOTEMPTY: return Fault::exists;
        case EACCES: case EPERM: return Fault::permission;
        case EROFS: return Fault::readOnly;
        case ENAMETOOLONG: return Fault::tooLong;
        default: return Fault::other;
    }
}

}  // namespace platform
