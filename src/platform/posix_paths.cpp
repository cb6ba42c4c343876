// POSIX backend: how a command path reaches the system. Each directory part
// is found as a final component would be, and kept with the system path it
// was found at; the last two whole paths are kept, for the calls that follow
// each other on one entry.
#include <unistd.h>

#include <cstdio>

#include "platform/posix_codeset.h"
#include "platform/posix_disk.h"
#include "sjis/sjis.h"

namespace platform {

namespace {

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

}  // namespace

void PosixDisk::forgetResolvedDirectories() {
    resolved.clear();
    slots[0].valid = slots[1].valid = false;
}

// After a move of the entry `name` (`size` bytes, system form), which may be
// a directory: every resolution that may have passed through it, under any
// spelling of a path to it, is made afresh. A file's name is seldom a
// directory's, so most moves forget nothing.
void PosixDisk::forgetResolvedThrough(const char* name, std::size_t size) {
    bool through = false;
    for (const auto& [part, system] : resolved)
        through = through || holdsComponent(system.data(), system.size(), name, size);
    for (const Translation& t : slots)
        through = through || (t.valid && holdsComponent(t.system.text, t.systemNameAt, name, size));
    if (through) forgetResolvedDirectories();
}

// The system path of a directory part (command form, '/' separators, with its
// trailing '/'), each component found as a final one would be. A part that
// cannot be found is given as typed, for the system to refuse.
bool PosixDisk::systemDirectory(const std::string& part, std::string& out) {
    if (part.empty()) {
        out.clear();
        return true;
    }
    auto cached = resolved.find(part);
    if (cached != resolved.end()) {
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
    resolved.emplace(part, out);
    return true;
}

// Completes `t`, whose directory is in place, for the command's `path`
// (`length` bytes, `text` the same with '/' for separators, its final
// component at `dir`).
bool PosixDisk::finishTranslation(Translation& t, const char* path, const char* text, std::size_t length,
                                  std::size_t dir) {
    t.systemNameAt = t.system.length;
    t.plain = false;
    if (codeset::isSystemText(text + dir, length - dir)) {
        if (!t.system.append(text + dir, length - dir)) return false;
    } else {
        std::string& name = scratch.name;
        if (!codeset::toSystem(text + dir, length - dir, name) || !t.system.append(name.data(), name.size()))
            return false;
    }
    t.command.assign(path, length);
    t.commandNameAt = dir;
    t.valid = true;
    return true;
}

// The translation of the command's `path`; nullptr when it has none (too
// long, or text the system cannot take).
const Translation* PosixDisk::translate(const char* path) {
    std::size_t length = std::strlen(path);
    Translation& t = slots[recent ^ 1u];
    const Translation& other = slots[recent];
    if (other.valid && other.command.equals(path, length)) return &other;
    if (t.valid && t.command.equals(path, length)) {
        recent ^= 1u;
        return &t;
    }
    if (length >= maxPath) return nullptr;
    t.valid = false;
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
        std::string& directory = scratch.directory;
        scratch.part.assign(text, dir);
        if (!systemDirectory(scratch.part, directory) || !t.system.assign(directory.data(), directory.size()))
            return nullptr;
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
const Translation* PosixDisk::translateBeside(const Translation& source, const char* to) {
    std::size_t dir = source.commandNameAt;
    std::size_t length = std::strlen(to);
    if (length >= maxPath || length <= dir || (dir != 0 && std::memcmp(to, source.command.text, dir) != 0) ||
        std::memchr(to + dir, '/', length - dir))
        return translate(to);  // not beside it after all
    unsigned slot = &source == &slots[0] ? 1u : 0u;
    Translation& t = slots[slot];
    if (source.plain && codeset::isSystemText(to + dir, length - dir)) {
        recent = slot;
        return plainTranslation(t, source, to, length, dir);
    }
    t.valid = false;
    t.system.assign(source.system.text, source.systemNameAt);
    t.directory = source.directory;
    if (!finishTranslation(t, to, to, length, dir)) return nullptr;
    recent = slot;
    return &t;
}

const Translation* PosixDisk::plainDirectoryOf(const char* path, std::size_t nameAt) const {
    for (const Translation& t : slots)
        if (t.valid && t.plain && t.commandNameAt == nameAt &&
            (nameAt == 0 || std::memcmp(t.command.text, path, nameAt) == 0))
            return &t;
    return nullptr;
}

// The path the system is given for the command's `path`.
bool PosixDisk::systemPath(const char* path, std::string& out) {
    const Translation* t = translate(path);
    if (!t) return false;
    out.assign(t->system.text, t->system.length);
    return true;
}

bool PosixDisk::directoryOf(const char* part, std::string& out) {
    std::size_t n = std::strlen(part);
    return n < maxPath && systemDirectory(std::string(part, n), out);
}

bool wholeSystemDirectory(const char* directory, std::size_t length, std::string& out) {
    std::string typed(directory, length), resolved;
    if (typed.size() >= maxPath || !disk().systemDirectory(typed, resolved)) return false;
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

std::FILE* openForReading(const char* path) {
    std::string system;
    if (!disk().systemPath(path, system)) return nullptr;
    return std::fopen(system.c_str(), "rb");
}

}  // namespace platform
