// POSIX backend, files: lookups, searches, attributes and moves. Only '/'
// separates: a '\\' of a name reaches the command as a stand-in and the
// system as itself. Each directory of a path is found as Windows finds it: the exact spelling first, else the
// one entry equal ignoring the case of A-Z. Where a file system could ignore
// case (FAT, exFAT, casefolded directories, file systems it cannot vouch for),
// a stored name is read from the directory listing, never echoed from what was
// typed. Every text crosses the code page 932 bridge (posix_codeset.h).
#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <linux/magic.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <unordered_map>

#include "platform/glob.h"
#include "platform/platform.h"
#include "platform/posix_codeset.h"
#include "platform/posix_internal.h"
#include "sjis/sjis.h"

namespace platform {

const char pathSeparator = '/';

const CommandLineDialect& commandLineDialect() {
    static const CommandLineDialect linux{'-', true, true, false, true};
    return linux;
}

namespace {

// A stored name that the command can hold: one that fits its buffers.
bool isAddressable(const char*, std::size_t length) { return length < maxName; }

// The command's form of a stored name; false for a name that it could not
// carry back to the same entry.
bool commandName(const char* name, std::string& out) {
    return codeset::toCommand(name, out) && isAddressable(out.c_str(), out.size());
}

// The key under which a name's spellings meet: single-byte a-z as A-Z.
std::string folded(const std::string& name) {
    std::string key = name;
    upperSingleByteLetters(&key[0]);
    return key;
}

const char* orDot(const std::string& directory) { return directory.empty() ? "." : directory.c_str(); }

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

// One directory's names by their folded command form: the number of
// spellings and the first one stored. Built from the listing on the first
// need; a move the kernel confirmed on a case-sensitive file system is
// recorded in it, any other change drops it, so that it only ever holds what
// the disk said.
struct Slot {
    std::string stored;  // system form
    int count = 0;
    // False for the spelling a move asked for where the directory may keep
    // another: read again from the disk when it is asked for.
    bool confirmed = true;
};

struct Directory {
    bool caseInsensitive = true;  // could ignore case: not known to keep cases apart
    bool ignoresCase = false;     // seen to ignore case
    bool directoriesStay = false;  // see movesDirectoriesBadly
    bool userSpace = false;        // FUSE: see renameWithoutReplacing
    bool holdsNoneNoticed = false;  // read whole without a name of the noticed ending
    // Refused here once, so not asked again: the move that refuses to
    // replace, and hard links (FUSE: each refusal is a round trip).
    bool noReplaceRefused = false, linksRefused = false;
    // Why this user may not rename its entries: 0 where they may, -1 until
    // asked (once: only the preview asks, and it changes nothing).
    int writeFault = -1;
    bool indexed = false;
    std::unordered_map<std::string, Slot> names;
};

// What the run learnt of its directories.
struct DirectoryStates {
    std::unordered_map<std::string, Directory> byPath;  // by system path, "" for "."
    std::size_t indexed = 0;                            // how many of them hold an index
    unsigned generation = 0;                            // changes as all is forgotten
    // See noticeEnding; `last` is its last byte as A-Z are folded, 0 for none.
    struct Noticed {
        std::string text;
        char last = 0;
    } noticed;
} states;

// True when `name` (`length` bytes) ends in `ending` (ASCII), A-Z in any case.
bool endsInIgnoringCase(const char* name, std::size_t length, const std::string& ending) {
    if (ending.empty()) return true;
    // The last bytes first: most names of a listing differ there.
    if (length < ending.size() || (name[length - 1] | 0x20) != (ending.back() | 0x20)) return false;
    return equalsIgnoreCase(name + length - ending.size(), ending.c_str());
}

// True when the system name `name` (`length` bytes) ends in the noticed
// ending. Its last byte is told here, where each name of a listing is asked.
inline bool endsNoticed(const char* name, std::size_t length) {
    return length != 0 && (name[length - 1] | 0x20) == states.noticed.last &&
           endsInIgnoringCase(name, length, states.noticed.text);
}

void dropIndex(Directory& d) {
    if (d.indexed) --states.indexed;
    d.indexed = false;
    d.names.clear();
}

// A path in storage of its own, kept for the run: the hot calls copy paths
// without asking the allocator. A path as long as the system's limit is
// refused, as the system would refuse it.
struct PathText {
    char text[maxPath];
    std::size_t length = 0;
    bool assign(const char* p, std::size_t n) {
        length = 0;
        return append(p, n);
    }
    bool append(const char* p, std::size_t n) {
        if (length + n >= maxPath) return false;
        eightBytes::copy(text + length, p, n);
        length += n;
        text[length] = '\0';
        return true;
    }
    bool equals(const char* p, std::size_t n) const {
        if (length != n) return false;
        // The names of a listing differ most often near their ends: a word there first.
        if (n >= 8 && eightBytes::load(text + n - 8) != eightBytes::load(p + n - 8)) return false;
        return std::memcmp(text, p, n) == 0;
    }
    std::string part(std::size_t from, std::size_t n = std::string::npos) const {
        return std::string(text + from, n == std::string::npos ? length - from : n);
    }
};

// The status of the entry that the last lookup or move was about, by its
// system path: a name is looked up, then its attributes and identity are
// asked for, it is moved, and its new name is checked. Only a lookup that
// found that very path fills it; a move forgets it, unless the kernel
// confirmed the move on a case-sensitive file system, where rename(2) keeps
// the inode and no-replace proves the new spelling the stored one.
struct Known {
    PathText path;
    struct stat st;
    bool valid = false;
} known;

bool statOf(const char* path, std::size_t length, struct stat& st);

// The status of `name` in `directory`. Paths are longer than a string keeps
// in place: the hot lookups build them in storage that is kept (the command
// runs on one thread, and none of these calls itself).
bool statAt(const std::string& directory, const std::string& name, struct stat& st) {
    static std::string full;
    full.assign(directory);
    full += name;
    return statOf(full.c_str(), full.size(), st);
}

bool statOf(const char* path, std::size_t length, struct stat& st) {
    if (known.valid && known.path.equals(path, length)) {
        st = known.st;
        return true;
    }
    if (lstat(path, &st) != 0) return false;
    known.valid = known.path.assign(path, length);
    known.st = st;
    return true;
}

Directory& directoryState(const std::string& directory);

// A command path as the system is given it. An entry's path is asked for
// several times in a row (lookup, attributes, identity, move, read-back), and
// a move asks for two at once: the last two are kept. They go with the
// directories they were resolved through.
struct Translation {
    PathText command;          // as the command gave it
    PathText system;           // as the system is given it
    std::size_t commandNameAt; // where the final component begins in `command`
    std::size_t systemNameAt;  // and in `system`
    Directory* directory;      // the state of the directory it is in
    bool valid = false;
    bool plain = false;        // the system path is the command's, byte for byte
};
// How the command's paths reach the system.
struct Translator {
    // Command forms of directory parts and the system paths they were found at.
    std::unordered_map<std::string, std::string> resolved;
    Translation slots[2];
    unsigned recent = 0;  // the slot used last
    // Storage that the translations reuse.
    struct Scratch {
        std::string part, name, directory;
    } scratch;
} translator;

void forgetResolvedDirectories() {
    translator.resolved.clear();
    translator.slots[0].valid = translator.slots[1].valid = false;
}

// True when one of the components of the directory part `path` (its first
// `length` bytes) is `name` (`size` bytes) ignoring the case of A-Z.
bool holdsComponent(const char* path, std::size_t length, const char* name, std::size_t size) {
    for (std::size_t start = 0; start < length;) {
        const void* slash = std::memchr(path + start, '/', length - start);
        std::size_t end = slash ? static_cast<std::size_t>(static_cast<const char*>(slash) - path) : length;
        if (end - start == size && startsWithIgnoreCase(path + start, name)) return true;
        start = end + 1;
    }
    return false;
}

// After a move of the entry `name` (`size` bytes, system form), which may be
// a directory: every resolution that may have passed through it, under any
// spelling of a path to it, is made afresh. A file's name is seldom a
// directory's, so most moves forget nothing.
void forgetResolvedThrough(const char* name, std::size_t size) {
    bool through = false;
    for (const auto& [part, system] : translator.resolved)
        through = through || holdsComponent(system.data(), system.size(), name, size);
    for (const Translation& t : translator.slots)
        through = through || (t.valid && holdsComponent(t.system.text, t.systemNameAt, name, size));
    if (through) forgetResolvedDirectories();
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

Directory& directoryState(const std::string& directory) {
    auto found = states.byPath.find(directory);
    if (found != states.byPath.end()) return found->second;
    Directory& d = states.byPath[directory];
    struct statfs fs;
    if (statfs(orDot(directory), &fs) == 0) {
        d.caseInsensitive = !isKnownCaseSensitive(directory, fs);
        d.directoriesStay = movesDirectoriesBadly(directory, fs);
        d.userSpace = static_cast<unsigned long>(fs.f_type) == FUSE_SUPER_MAGIC;
    }
    return d;
}

// True for a directory where directories stay (`path` is in `d`).
bool mustStay(const Directory& d, const char* path) {
    struct stat st;
    return d.directoriesStay && lstat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

bool buildIndex(const std::string& directory, Directory& d) {
    DIR* dir = opendir(orDot(directory));
    if (!dir) return false;
    d.names.clear();
    std::string converted;
    while (dirent* entry = readdir(dir)) {
        const char* name = entry->d_name;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
        if (!commandName(name, converted)) continue;
        Slot& slot = d.names[folded(converted)];
        if (slot.count++ == 0) slot.stored = name;
    }
    closedir(dir);
    if (!d.indexed) ++states.indexed;
    d.indexed = true;
    return true;
}


// True when the directory's listing holds `system` exactly.
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

// The spellings of `name` (command form) in `directory`, from its index, read
// where there is none; nullptr when there are none.
const Slot* spellingsIn(const std::string& directory, Directory& d, const std::string& name) {
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
bool storedBySpelling(const std::string& directory, Directory& d, const std::string& name,
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
bool storedEntry(const std::string& directory, const std::string& name, std::string& stored) {
    static std::string system;
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
bool holdsExactly(const std::string& directory, const std::string& system) {
    struct stat st;
    if (!directoryState(directory).caseInsensitive) return statAt(directory, system, st);
    std::string name, stored;
    return codeset::toCommand(system.c_str(), name) && storedEntry(directory, name, stored) &&
           stored == system;
}

// After a move from `from` to `to` (system names) in `directory`, of an entry
// that may be a directory unless `notDirectory`.
void recordMove(Directory& d, const char* from, const char* to, std::size_t toLength, bool notDirectory) {
    if (endsNoticed(to, toLength)) d.holdsNoneNoticed = false;
    if (!notDirectory) forgetResolvedThrough(from, std::strlen(from));  // it may have been one of them
    // Another path may name the same directory (a link): its index goes.
    if (states.indexed > (d.indexed ? 1u : 0u)) {
        for (auto& [path, other] : states.byPath)
            if (other.indexed && &other != &d) dropIndex(other);
    }
    if (!d.indexed) return;
    std::string fromName, toName;
    if (!codeset::toCommand(from, fromName) || !codeset::toCommand(to, toName)) {
        dropIndex(d);
        return;
    }
    auto old = d.names.find(folded(fromName));
    if (old == d.names.end() || old->second.count != 1) {
        dropIndex(d);  // several spellings: read the listing again when needed
        return;
    }
    d.names.erase(old);
    if (!isAddressable(toName.c_str(), toName.size())) return;
    Slot& slot = d.names[folded(toName)];
    if (slot.count++ == 0) slot.stored = to;
    // Where case may be ignored, the disk may have kept another spelling: the
    // other names' slots stay true, this one is read again when asked.
    slot.confirmed = !d.caseInsensitive;
}

// The system path of a directory part (command form, '/' separators, with its
// trailing '/'), each component found as a final one would be. A part that
// cannot be found is given as typed, for the system to refuse.
bool systemDirectory(const std::string& part, std::string& out) {
    if (part.empty()) {
        out.clear();
        return true;
    }
    auto cached = translator.resolved.find(part);
    if (cached != translator.resolved.end()) {
        out = cached->second;
        return true;
    }
    std::string typed;
    if (!codeset::toSystem(part.data(), part.size(), typed)) return false;
    struct stat st;
    if (stat(typed.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        out = typed;
    } else {
        out = part[0] == '/' ? "/" : "";
        std::size_t start = 0;
        while (start < part.size()) {
            std::size_t end = part.find('/', start);
            std::string component = part.substr(start, end - start);
            start = end + 1;
            if (component.empty()) continue;
            std::string stored;
            if (component == "." || component == "..") {
                stored = component;
            } else if (!storedEntry(out, component, stored)) {
                out = typed;
                break;
            }
            out += stored + "/";
        }
    }
    translator.resolved.emplace(part, out);
    return true;
}

// Completes `t`, whose directory is in place, for the command's `path`
// (`length` bytes, `text` the same with '/' for separators, its final
// component at `dir`).
bool finishTranslation(Translation& t, const char* path, const char* text, std::size_t length, std::size_t dir) {
    t.systemNameAt = t.system.length;
    t.plain = false;
    if (codeset::isSystemText(text + dir, length - dir)) {
        if (!t.system.append(text + dir, length - dir)) return false;
    } else {
        std::string& name = translator.scratch.name;
        if (!codeset::toSystem(text + dir, length - dir, name) || !t.system.append(name.data(), name.size()))
            return false;
    }
    t.command.assign(path, length);
    t.commandNameAt = dir;
    t.valid = true;
    return true;
}

// Completes `t` for the command's `path` (`length` bytes, its final
// component at `dir`, its own system text) in the directory of `beside`, a plain
// translation: the path is its own system path.
const Translation* plainTranslation(Translation& t, const Translation& beside, const char* path, std::size_t length,
                                    std::size_t dir) {
    t.command.assign(path, length);
    t.system.assign(path, length);
    t.commandNameAt = t.systemNameAt = dir;
    t.directory = beside.directory;
    t.plain = t.valid = true;
    return &t;
}

// The translation of the command's `path`; nullptr when it has none (too
// long, or text the system cannot take).
const Translation* translate(const char* path) {
    std::size_t length = std::strlen(path);
    unsigned& recent = translator.recent;
    Translation& t = translator.slots[recent ^ 1u];
    const Translation& other = translator.slots[recent];
    if (other.valid && other.command.equals(path, length)) return &other;
    if (t.valid && t.command.equals(path, length)) {
        recent ^= 1u;
        return &t;
    }
    if (length >= maxPath) return nullptr;
    t.valid = false;
    std::string& part = translator.scratch.part;
    const char* text = path;
    const void* slash = memrchr(text, '/', length);
    std::size_t dir = slash ? static_cast<std::size_t>(static_cast<const char*>(slash) - text) + 1 : 0;
    // Entries of one directory follow each other: the other translation's
    // directory serves when it is the same as typed.
    bool sameDirectory = other.valid && other.commandNameAt == dir &&
                         (dir == 0 || std::memcmp(other.command.text, path, dir) == 0);
    if (sameDirectory && other.plain && codeset::isSystemText(path + dir, length - dir)) {
        recent ^= 1u;
        return plainTranslation(t, other, path, length, dir);
    }
    if (sameDirectory) {
        t.system.assign(other.system.text, other.systemNameAt);
        t.directory = other.directory;
    } else {
        std::string& directory = translator.scratch.directory;
        part.assign(text, dir);
        if (!systemDirectory(part, directory) || !t.system.assign(directory.data(), directory.size())) return nullptr;
        t.directory = &directoryState(directory);
    }
    if (!finishTranslation(t, path, text, length, dir)) return nullptr;
    // A path that is its own system text, in a directory found as typed, is
    // given to the system as it is.
    t.plain = codeset::isSystemText(path, length) && t.systemNameAt == dir &&
              std::memcmp(t.system.text, path, dir) == 0;
    recent ^= 1u;
    return &t;
}

// The translation of `to`, which the caller made from `source`'s path by
// changing its final component: the directory is taken from `source`.
const Translation* translateBeside(const Translation& source, const char* to) {
    std::size_t dir = source.commandNameAt;
    std::size_t length = std::strlen(to);
    if (length >= maxPath || length <= dir || (dir != 0 && std::memcmp(to, source.command.text, dir) != 0) ||
        std::memchr(to + dir, '/', length - dir))
        return translate(to);  // not beside it after all
    unsigned slot = &source == &translator.slots[0] ? 1u : 0u;
    Translation& t = translator.slots[slot];
    if (source.plain && codeset::isSystemText(to + dir, length - dir)) {
        translator.recent = slot;
        return plainTranslation(t, source, to, length, dir);
    }
    t.valid = false;
    t.system.assign(source.system.text, source.systemNameAt);
    t.directory = source.directory;
    if (!finishTranslation(t, to, to, length, dir)) return nullptr;
    translator.recent = slot;
    return &t;
}

// The path the system is given for the command's `path`.
bool systemPath(const char* path, std::string& out) {
    const Translation* t = translate(path);
    if (!t) return false;
    out.assign(t->system.text, t->system.length);
    return true;
}

}  // namespace

bool wholeSystemDirectory(const char* directory, std::size_t length, std::string& out) {
    std::string typed(directory, length), part, resolved;
    if (typed.size() >= maxPath || !systemDirectory(typed, resolved)) return false;
    if (!resolved.empty() && resolved[0] == '/') {
        out = resolved;
        return true;
    }
    char here[maxPath];
    if (!getcwd(here, sizeof here)) return false;
    out = here;
    if (out.back() != '/') out += '/';
    out += resolved;
    return true;
}

bool isSystemText(const char* text, std::size_t length) { return codeset::isSystemText(text, length); }

bool systemText(const char* text, std::string& out) { return codeset::toSystem(text, std::strlen(text), out); }

bool commandText(const char* system, std::string& out) { return codeset::toCommand(system, out); }

namespace {

uint32_t attributesOf(const struct stat& st, const char* name) {
    uint32_t word = 0;
    if (S_ISDIR(st.st_mode)) word |= attributeDirectory;
    if (!(st.st_mode & S_IWUSR)) word |= 0x01;  // read-only
    if (name[0] == '.') word |= 0x02;            // hidden
    return word ? word : 0x80;
}

// lstat: a link is an entry of its own, and rename(2) moves it as itself.
EntryIdentity identityOf(const struct stat& st) {
    return {static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
}

// Fills `data` for a stored entry: its command name and its status.
void fillFrom(const char* commandName, std::size_t length, const struct stat& st, const char* systemName,
              FindData* data) {
    data->attributes = attributesOf(st, systemName);
    std::memcpy(data->fileName, commandName, length + 1);
    data->identified = true;
    data->identity = identityOf(st);
}

// Fills `data` for the stored entry `name` (system form) of `directory`, and
// gives its status in `st`.
bool fill(const std::string& directory, const std::string& name, FindData* data, struct stat& st) {
    static std::string converted;
    if (!commandName(name.c_str(), converted) || !statAt(directory, name, st)) return false;
    fillFrom(converted.c_str(), converted.size(), st, name.c_str(), data);
    return true;
}

// The entry that `t` designates (no wildcard in its final component): its
// stored name and attributes into `data`, its status into `st`.
bool lookUp(const Translation* t, FindData* data, struct stat& st) {
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

struct Search {
    DIR* dir;
    std::string directory;        // system form, with its trailing '/', or empty for "."
    std::string pattern;          // command form
    bool everything = false;      // hidden names too, whatever the pattern
    Wildcard wildcard{nullptr, 0, 0, 0};  // the pattern, prepared
    std::string literal;          // an entry given first, skipped in the listing
    std::string endingIn;         // where not empty: the ending the caller wants
    // The directory's device, for the identities of its entries, where its
    // listing gives their file numbers.
    bool deviceKnown = false;
    dev_t device = 0;
    // What the search tells of the directory when it has read it whole.
    Directory* state = nullptr;
    unsigned generation = 0;
    bool noticed = false;  // a name of the noticed ending was met
};

// True for the file systems whose listings give each entry's own file
// number. FUSE ones (FAT, exFAT) may give none, or another than a lookup.
bool listsFileNumbers(unsigned long type) {
    const KnownType* found = knownType(type);
    return found && found->listsFileNumbers;
}

Search* openSearch(DIR* dir, const std::string& directory, const std::string& pattern, bool everything) {
    Search* search = new Search{dir, directory, pattern, everything, {nullptr, 0, 0, 0}, {}, {}, false, 0};
    search->wildcard = prepareWildcard(search->pattern.c_str());
    search->state = &directoryState(directory);
    search->generation = states.generation;
    struct stat st;
    struct statfs fs;
    if (fstat(dirfd(dir), &st) == 0 && fstatfs(dirfd(dir), &fs) == 0 &&
        listsFileNumbers(static_cast<unsigned long>(fs.f_type))) {
        search->deviceKnown = true;
        search->device = st.st_dev;
    }
    return search;
}

bool nextMatch(Search* search, FindData* data) {
    static std::string converted;  // kept, so that its storage is reused
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
        if (!isAddressable(command, length) || (!search->everything && !wildcardMatch(search->wildcard, command, length)))
            continue;
        // The directory's own record of the kind saves a stat per entry; the
        // expansion uses only the names.
        if (entry->d_type != DT_UNKNOWN) {
            data->attributes = entry->d_type == DT_DIR ? attributeDirectory : 0x80;
            if (name[0] == '.') data->attributes |= 0x02;
            eightBytes::copy(data->fileName, command, length + 1);
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
    if (!search->noticed && search->generation == states.generation) search->state->holdsNoneNoticed = true;
    return false;
}

// A handle for a lookup without wildcards: nothing more to give.
Search singleResult{nullptr, {}, {}, false, {nullptr, 0, 0, 0}, {}, {}, false, 0};

}  // namespace

SearchHandle FindFirstFileA(const char* pattern, FindData* data) {
    const Translation* t = translate(pattern);
    if (!t) return nullptr;
    struct stat st;
    if (!hasWildcard(t->command.text + t->commandNameAt)) return lookUp(t, data, st) ? &singleResult : nullptr;
    // The translation holds the directory as found and the pattern in both forms.
    std::string directory = t->system.part(0, t->systemNameAt);
    std::string name = t->command.part(t->commandNameAt);
    std::string system = t->system.part(t->systemNameAt);
    if (!isAddressable(name.c_str(), name.size())) return nullptr;
    DIR* dir = opendir(orDot(directory));
    if (!dir) return nullptr;
    Search* search = openSearch(dir, directory, name, false);
    // On Linux '*' and '?' can be part of a name: a pattern that is itself the
    // name of an entry gives that entry first, so that a name the expansion
    // produced finds itself and not a sibling it also matches.
    if (holdsExactly(directory, system) && fill(directory, system, data, st)) {
        search->literal = system;
        return search;
    }
    if (nextMatch(search, data)) return search;
    FindClose(search);
    return nullptr;
}

namespace {

// The system path of the command's directory part `part`.
bool directoryOf(const char* part, std::string& out) {
    std::size_t n = std::strlen(part);
    return n < maxPath && systemDirectory(std::string(part, n), out);
}

}  // namespace

SearchHandle findEveryEntry(const char* part, FindData* data, const char* endingIn) {
    std::string directory;
    if (!directoryOf(part, directory)) return nullptr;
    DIR* dir = opendir(orDot(directory));
    if (!dir) return nullptr;
    Search* search = openSearch(dir, directory, "*", true);
    if (endingIn) search->endingIn = endingIn;
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

void noticeEnding(const char* ending) {
    states.noticed.text = ending;
    states.noticed.last = *ending ? static_cast<char>(states.noticed.text.back() | 0x20) : 0;
}

bool holdsNoneEnding(const char* part) {
    std::string directory;
    if (!directoryOf(part, directory)) return false;
    auto found = states.byPath.find(directory);
    return found != states.byPath.end() && found->second.holdsNoneNoticed;
}

bool canListDirectory(const char* part) {
    std::string directory;
    if (!directoryOf(part, directory)) return false;
    DIR* dir = opendir(orDot(directory));
    if (dir) closedir(dir);
    return dir != nullptr;
}

uint32_t GetFileAttributesA(const char* path) {
    const Translation* t = translate(path);
    struct stat st;
    if (!t || !statOf(t->system.text, t->system.length, st)) return invalidAttributes;
    return attributesOf(st, t->system.text + t->systemNameAt);
}

bool entryIdentity(const char* path, EntryIdentity* identity) {
    const Translation* t = translate(path);
    struct stat st;
    if (!t || !statOf(t->system.text, t->system.length, st)) return false;
    *identity = identityOf(st);
    return true;
}

namespace {

// The device last asked of, and whether its file numbers last (FUSE's do not).
struct Devices {
    bool known = false;
    uint64_t device = 0;
    bool numbersLast = true;
} devices;

// What stays of an entry where file numbers do not: its kind and, for a file,
// its size and modification time.
EntryIdentity fingerprintOf(const struct stat& st) {
    return fingerprint(S_ISDIR(st.st_mode), static_cast<uint64_t>(st.st_size),
                       static_cast<uint64_t>(st.st_mtim.tv_sec), static_cast<uint64_t>(st.st_mtim.tv_nsec));
}

}  // namespace

bool journalIdentity(const char* path, const EntryIdentity& identity, EntryIdentity* kept) {
    *kept = identity;
    bool deviceKnown = devices.known && devices.device == identity.volume;
    if (deviceKnown && devices.numbersLast) return true;
    const Translation* t = translate(path);
    struct stat st;
    if (!t || !statOf(t->system.text, t->system.length, st)) return false;
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
    const Translation* t = translate(path);
    struct statx sx;
    if (!t || statx(AT_FDCWD, t->system.text, AT_SYMLINK_NOFOLLOW, STATX_BTIME, &sx) != 0 ||
        !(sx.stx_mask & STATX_BTIME))
        return false;
    *nanoseconds = static_cast<uint64_t>(sx.stx_btime.tv_sec) * 1000000000u + sx.stx_btime.tv_nsec;
    return true;
}

bool lookUpEntry(const char* path, FindData* found) {
    struct stat st;
    return lookUp(translate(path), found, st);
}

bool directoryIdentity(const char* part, EntryIdentity* identity) {
    std::string directory;
    struct stat st;
    if (!directoryOf(part, directory) || stat(orDot(directory), &st) != 0)
        return false;
    *identity = identityOf(st);
    return true;
}

namespace {

// One path of a move, in the command's form and the system's, where each
// final component begins, and the state of its directory.
struct MovePath {
    const char* command;
    std::size_t commandLength, commandNameAt;
    const char* system;
    std::size_t systemLength, systemNameAt;
    Directory* directory;
    std::string systemPart(std::size_t from, std::size_t n = std::string::npos) const {
        return std::string(system + from, n == std::string::npos ? systemLength - from : n);
    }
};

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
bool plainMove(const char* from, const char* to, const MoveNotes* notes, MovePath& source, MovePath& target) {
    std::size_t nameAt = notes ? notes->nameAt : MoveNotes::unknownNameAt;
    if (nameAt == MoveNotes::unknownNameAt) return false;
    const Translation* beside = nullptr;
    for (const Translation& t : translator.slots)
        if (t.valid && t.plain && t.commandNameAt == nameAt &&
            (nameAt == 0 || std::memcmp(t.command.text, from, nameAt) == 0)) {
            beside = &t;
            break;
        }
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

bool renameWithoutReplacing(const MovePath& from, const MovePath& to, MoveTarget whose, bool notDirectory) {
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

// The paths of a move from `from` to `to`, which are beside each other.
bool movePaths(const char* from, const char* to, MovePath& source, MovePath& target) {
    const Translation* s = translate(from);
    const Translation* t = s ? translateBeside(*s, to) : nullptr;  // two are kept: `s` stays
    if (!t) return false;
    source = pathOf(*s);
    target = pathOf(*t);
    return true;
}

}  // namespace

bool moveEntry(const char* from, const char* to, MoveTarget whose, MoveNotes* notes) {
    MovePath source, target;
    if (notes) notes->proven = false;
    // A plain move is faithful as it was found: one directory, no bridge.
    bool plain = plainMove(from, to, notes, source, target);
    if (!plain && (!movePaths(from, to, source, target) || !isFaithfulMove(source, target))) return false;
    Directory& d = *source.directory;
    if (!(notes && notes->notDirectory) && mustStay(d, source.system)) return false;
    if (!renameWithoutReplacing(source, target, whose, notes && notes->notDirectory)) return false;
    bool wasKnown = known.valid && known.path.equals(source.system, source.systemLength);
    bool notDirectory = (notes && notes->notDirectory) || (wasKnown && !S_ISDIR(known.st.st_mode));
    // rename(2) keeps the inode, and where the file system keeps cases apart
    // a move that refuses to replace proves the new spelling the stored one.
    bool confirmed = !d.caseInsensitive;
    known.valid = wasKnown && confirmed && known.path.assign(target.system, target.systemLength);
    if (notes) notes->proven = confirmed;
    recordMove(d, source.system + source.systemNameAt, target.system + target.systemNameAt,
               target.systemLength - target.systemNameAt, notDirectory);
    return true;
}

bool moveOntoClaim(const char* from, const char* to) {
    MovePath source, target;
    struct stat st;
    if (!movePaths(from, to, source, target) || !isFaithfulMove(source, target) ||
        mustStay(*source.directory, source.system) || lstat(target.system, &st) != 0 || !S_ISREG(st.st_mode) ||
        st.st_size != 0 || rename(source.system, target.system) != 0)
        return false;
    forgetDirectories();  // a rare move: everything is read afresh
    return true;
}

Spellings spellingsOf(const char* path, const char* other, bool afresh) {
    Spellings result;
    const Translation* t = translate(path);
    if (!t) return result;
    std::string directory = t->system.part(0, t->systemNameAt);
    std::string system = t->system.part(t->systemNameAt);
    std::string name = t->command.part(t->commandNameAt);
    Directory& d = *t->directory;
    const Translation* o = translate(other);  // `t` stays: two are kept
    std::string otherSystem = o && o->systemNameAt == t->systemNameAt ? o->system.part(o->systemNameAt) : "";
    if (name.empty()) return result;
    if (afresh) dropIndex(d);
    const Slot* slot = spellingsIn(directory, d, name);
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

bool lookupsIgnoreCase() { return false; }

bool takesDetour(const char* path) {
    const Translation* t = translate(path);
    return t && t->directory->userSpace;
}

bool mayRename(const char* path, EntryIdentity* found) {
    if (found) *found = {0, 0};
    const Translation* t = translate(path);
    if (!t) return false;
    // The entry's status first: whether it is there as itself is asked with it.
    struct statx sx;
    bool there = statx(AT_FDCWD, t->system.text, AT_SYMLINK_NOFOLLOW, STATX_TYPE | STATX_INO, &sx) == 0;
    if (there && found)
        *found = {static_cast<uint64_t>(makedev(sx.stx_dev_major, sx.stx_dev_minor)), static_cast<uint64_t>(sx.stx_ino)};
    Directory& d = *t->directory;
    if (d.writeFault < 0) d.writeFault = access(orDot(t->system.part(0, t->systemNameAt)), W_OK | X_OK) == 0 ? 0 : errno;
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

void forgetDirectories() {
    known.valid = false;
    ++states.generation;
    states.indexed = 0;
    states.byPath.clear();
    forgetResolvedDirectories();
}

std::FILE* openForReading(const char* path) {
    std::string system;
    if (!systemPath(path, system)) return nullptr;
    return std::fopen(system.c_str(), "rb");
}

}  // namespace platform
