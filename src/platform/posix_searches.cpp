// POSIX backend: listings and lookups. A search reads its directory once,
// passing over most names before any conversion; a lookup without wildcards
// finds the one entry a name designates.
#include <sys/vfs.h>

#include "platform/posix_codeset.h"
#include "platform/posix_disk.h"

namespace platform {

uint32_t attributesOf(const struct stat& st, const char* name) {
    uint32_t word = 0;
    if (S_ISDIR(st.st_mode)) word |= attributeDirectory;
    if (!(st.st_mode & S_IWUSR)) word |= 0x01;  // read-only
    if (name[0] == '.') word |= 0x02;            // hidden
    return word ? word : 0x80;
}

namespace {

// Fills `data` for a stored entry: its command name and its status.
void fillFrom(const char* commandName, std::size_t length, const struct stat& st, const char* systemName,
              FindData* data) {
    data->attributes = attributesOf(st, systemName);
    std::memcpy(data->fileName, commandName, length + 1);
    data->nameLength = static_cast<uint32_t>(length);
    data->identified = true;
    data->identity = identityOf(st);
}

// A handle for a lookup without wildcards: nothing more to give.
Search singleResult{nullptr, {}, {}, false, {nullptr, 0, 0, 0}, {}, {}, false, 0};

}  // namespace

// Fills `data` for the stored entry `name` (system form) of `directory`, and
// gives its status in `st`.
bool PosixDisk::fill(const std::string& directory, const std::string& name, FindData* data, struct stat& st) {
    std::string& converted = scratch.converted;
    if (!commandName(name.c_str(), converted) || !statAt(directory, name, st)) return false;
    fillFrom(converted.c_str(), converted.size(), st, name.c_str(), data);
    return true;
}

// The entry that `t` designates (no wildcard in its final component): its
// stored name and attributes into `data`, its status into `st`.
bool PosixDisk::lookUp(const Translation* t, FindData* data, struct stat& st) {
    if (!t) return false;
    std::size_t length = t->command.length - t->commandNameAt;
    const char* name = t->command.text + t->commandNameAt;
    if (length == 0 || length >= maxName) return false;
    if (!t->directory->caseInsensitive && statOf(t->system.text, t->system.length, st)) {
        // The kernel found this very spelling.
        fillFrom(name, length, st, t->system.text + t->systemNameAt, data);
        return true;
    }
    // Another spelling, or a directory that could ignore case: its listing.
    std::string directory = t->system.part(0, t->systemNameAt);
    std::string system = t->system.part(t->systemNameAt), stored;
    if (!isAddressable(name, length) ||
        !storedBySpelling(directory, *t->directory, std::string(name, length), system, stored))
        return false;
    return fill(directory, stored, data, st);
}

Search* PosixDisk::openSearch(DIR* dir, const std::string& directory, const std::string& pattern, bool everything) {
    Search* search = new Search{dir, directory, pattern, everything, {nullptr, 0, 0, 0}, {}, {}, false, 0};
    search->wildcard = prepareWildcard(search->pattern.c_str());
    search->state = &directoryState(directory);
    search->generation = generation;
    struct stat st;
    struct statfs fs;
    if (fstat(dirfd(dir), &st) == 0 && fstatfs(dirfd(dir), &fs) == 0 &&
        listsFileNumbers(static_cast<unsigned long>(fs.f_type))) {
        search->deviceKnown = true;
        search->device = st.st_dev;
    }
    return search;
}

bool PosixDisk::nextMatch(Search* search, FindData* data) {
    std::string& converted = scratch.listedName;  // not `converted`: fill uses that
    bool bridged = codeset::namesConverted();
    while (dirent* entry = readdir(search->dir)) {
        const char* name = entry->d_name;
        if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))) continue;
        std::size_t length = std::strlen(name);
        if (!search->noticed && endsNoticed(name, length)) search->noticed = true;
        // As in the shell, a wildcard does not match the '.' that begins a
        // hidden name; ".*" does.
        if (name[0] == '.' && !search->everything && (search->pattern[0] == '*' || search->pattern[0] == '?'))
            continue;
        if (!search->literal.empty() && search->literal == name) continue;
        // An ASCII ending is the same bytes in the system's name: most names
        // are passed over here, before any conversion.
        if (!search->endingIn.empty() && !endsInIgnoringCase(name, length, search->endingIn)) continue;
        // Without the bridge, the system's name is the command's, but for a
        // byte that only a stand-in carries; with it, where it is ASCII
        // without a '\\'.
        const char* command = name;
        if (bridged ? codeset::mayNeedStandIn(name, length) : codeset::needsStandIn(name, length)) {
            if (!codeset::toCommand(name, converted)) continue;
            command = converted.c_str();
            length = converted.size();
        }
        if (!isAddressable(command, length) ||
            (!search->everything && !wildcardMatch(search->wildcard, command, length)))
            continue;
        // The directory's own record of the kind saves a stat per entry; the
        // expansion uses only the names.
        if (entry->d_type != DT_UNKNOWN) {
            data->attributes = entry->d_type == DT_DIR ? attributeDirectory : 0x80;
            if (name[0] == '.') data->attributes |= 0x02;
            eightBytes::copy(data->fileName, command, length + 1);
            data->nameLength = static_cast<uint32_t>(length);
            // The listing's file number is the entry's own, but for a mount
            // point, which is never renamed.
            data->identified = search->deviceKnown;
            data->identity = {static_cast<uint64_t>(search->device), static_cast<uint64_t>(entry->d_ino)};
            return true;
        }
        struct stat st;
        if (fill(search->directory, name, data, st)) return true;
    }
    // Read whole: what it met of the noticed ending holds until a move.
    if (!search->noticed && search->generation == generation) search->state->holdsNoneNoticed = true;
    return false;
}

SearchHandle FindFirstFileA(const char* pattern, FindData* data) {
    PosixDisk& d = disk();
    const Translation* t = d.translate(pattern);
    if (!t) return nullptr;
    struct stat st;
    if (!hasWildcard(t->command.text + t->commandNameAt)) return d.lookUp(t, data, st) ? &singleResult : nullptr;
    // The translation holds the directory as found and the pattern in both forms.
    std::string directory = t->system.part(0, t->systemNameAt);
    std::string name = t->command.part(t->commandNameAt);
    std::string system = t->system.part(t->systemNameAt);
    if (!isAddressable(name.c_str(), name.size())) return nullptr;
    DIR* dir = opendir(orDot(directory));
    if (!dir) return nullptr;
    Search* search = d.openSearch(dir, directory, name, false);
    // On Linux '*' and '?' can be part of a name: a pattern that is itself the
    // name of an entry gives that entry first, so that a name the expansion
    // produced finds itself and not a sibling it also matches.
    if (d.holdsExactly(directory, system) && d.fill(directory, system, data, st)) {
        search->literal = system;
        return search;
    }
    if (d.nextMatch(search, data)) return search;
    FindClose(search);
    return nullptr;
}

SearchHandle findEveryEntry(const char* part, FindData* data, const char* endingIn) {
    PosixDisk& d = disk();
    std::string directory;
    if (!d.directoryOf(part, directory)) return nullptr;
    DIR* dir = opendir(orDot(directory));
    if (!dir) return nullptr;
    Search* search = d.openSearch(dir, directory, "*", true);
    if (endingIn) search->endingIn = endingIn;
    if (d.nextMatch(search, data)) return search;
    FindClose(search);
    return nullptr;
}

bool FindNextFileA(SearchHandle handle, FindData* data) {
    Search* search = static_cast<Search*>(handle);
    return search && search->dir && disk().nextMatch(search, data);
}

void FindClose(SearchHandle handle) {
    Search* search = static_cast<Search*>(handle);
    if (!search || search == &singleResult) return;
    closedir(search->dir);
    delete search;
}

void noticeEnding(const char* ending) { disk().notice(ending); }

bool holdsNoneEnding(const char* part) {
    PosixDisk& d = disk();
    std::string directory;
    return d.directoryOf(part, directory) && d.holdsNone(directory);
}

bool canListDirectory(const char* part) {
    std::string directory;
    if (!disk().directoryOf(part, directory)) return false;
    DIR* dir = opendir(orDot(directory));
    if (dir) closedir(dir);
    return dir != nullptr;
}

bool lookUpEntry(const char* path, FindData* found) {
    PosixDisk& d = disk();
    struct stat st;
    return d.lookUp(d.translate(path), found, st);
}

}  // namespace platform
