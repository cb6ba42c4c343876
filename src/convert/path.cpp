#include "convert/path.h"

#include <cstring>

#include "sjis/sjis.h"

std::size_t pathCharacterLength(const char* p) {
    if (!isSjisLead(static_cast<unsigned char>(*p)) || p[1] == '\0') return 1;
    return p[1] == '/' && platform::commandLineDialect().everySlashSeparates ? 1 : 2;
}

std::size_t directoryLength(const char* path) {
    std::size_t end = 0;
    const char* p = path;
    // Most paths are single-byte text: nothing to step over.
    for (; *p; ++p) {
        if (static_cast<unsigned char>(*p) >= 0x80) break;
        if (isSeparatorByte(*p)) end = static_cast<std::size_t>(p - path) + 1;
    }
    // Walk by characters: a second byte 0x5C is no separator.
    for (; *p; p += pathCharacterLength(p))
        if (isSeparatorByte(*p)) end = static_cast<std::size_t>(p - path) + 1;
    if (end == 0 && path[0] != '\0' && path[1] == ':' && platform::commandLineDialect().drives) end = 2;
    return end;
}

const char* finalComponent(const char* path) { return path + directoryLength(path); }

char* cutToDirectory(char* path) {
    std::size_t n = directoryLength(path);
    path[n] = '\0';
    return n ? path : nullptr;
}

char* joinPath(char* dst, const char* directory, const char* name) {
    std::size_t n = std::strlen(directory);
    if (n == 0) {
        std::memmove(dst, name, std::strlen(name) + 1);
        return dst;
    }
    if (dst != directory) std::memmove(dst, directory, n);
    char last = directory[n - 1];
    bool ends = (last == ':' && platform::commandLineDialect().drives) || last == '/' ||
                (last == '\\' && sjisKindAt(directory, n - 1) != 2);
    if (!ends) dst[n++] = platform::pathSeparator;
    std::memmove(dst + n, name, std::strlen(name) + 1);
    return dst;
}

namespace {

// The platform cannot take a longer path; refusing it here also keeps every
// later buffer of maxPath bytes safe.
bool isLookedUpName(const char* name) {
    return name && name[0] != '\0' && std::strlen(name) < platform::maxPath;
}

// The first `dir` bytes of `name` (its directory part as typed, which ends in
// its separator or is a drive's "C:") followed directly by `stored`; nullptr
// when that is too long for a path or memory runs out.
OwnedString withStoredName(const char* name, std::size_t dir, const char* stored) {
    std::size_t length = std::strlen(stored);
    if (dir + length >= platform::maxPath) return nullptr;
    char* result = static_cast<char*>(platform::allocate(dir + length + 1));
    if (!result) return nullptr;
    std::memcpy(result, name, dir);
    std::memcpy(result + dir, stored, length + 1);
    return OwnedString(result);
}

}  // namespace

OwnedString resolveLongPath(const char* name) {
    if (!isLookedUpName(name)) return nullptr;
    platform::FindData found;
    platform::SearchHandle h = platform::FindFirstFileA(name, &found);
    if (!h) return nullptr;
    platform::FindClose(h);
    return withStoredName(name, directoryLength(name), found.fileName);
}

Lookup findEntry(const char* name, Entry& entry, OwnedString& storage, std::size_t nameAt) {
    if (!isLookedUpName(name)) return Lookup::notFound;
    platform::FindData found;
    if (!platform::lookUpEntry(name, &found)) return Lookup::notFound;
    std::size_t dir = nameAt == unknownLength ? directoryLength(name) : nameAt;
    entry.path = name;
    if (!equalStrings(name + dir, found.fileName)) {
        // An alias or another spelling: the path the run works on holds the
        // stored name.
        if (dir + std::strlen(found.fileName) >= platform::maxPath) return Lookup::notFound;
        storage = withStoredName(name, dir, found.fileName);
        if (!storage) return Lookup::outOfMemory;
        entry.path = storage.get();
    }
    entry.length = std::strlen(entry.path);
    entry.nameAt = dir;
    entry.attributes = attributeWord(found.attributes);
    entry.identified = found.identified;
    entry.identity = found.identity;
    entry.fromListing = false;
    entry.verdict = Verdict::unknown;
    entry.record = -1;
    entry.walkedFrom = notWalked;
    return Lookup::found;
}

uint32_t queryAttributes(const char* path) {
    if (std::strlen(path) >= platform::maxPath) return platform::invalidAttributes;
    return attributeWord(platform::GetFileAttributesA(path));
}

std::vector<std::string> listEntries(const std::string& directory, bool (*keep)(const char* name),
                                     const char* endingIn) {
    std::vector<std::string> names;
    if (directory.size() + 1 >= platform::maxPath) return names;
    platform::FindData found;
    platform::SearchHandle h = platform::findEveryEntry(directory.c_str(), &found, endingIn);
    if (!h) return names;
    do {
        const char* name = found.fileName;
        if (isDotOrDotDot(name)) continue;
        if (!keep || keep(name)) names.emplace_back(name);
    } while (platform::FindNextFileA(h, &found));
    platform::FindClose(h);
    return names;
}
