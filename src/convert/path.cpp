#include "convert/path.h"

#include <cstring>

#include "sjis/sjis.h"

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
    entry = Entry::found(entry.path, std::strlen(entry.path), dir, found.attributes, found.identified,
                         found.identity);
    return Lookup::found;
}

std::size_t widestNameLength(int count, char* const* arguments, const std::function<bool(int i)>& isName) {
    std::size_t widest = 0;
    for (int i = 1; i < count; ++i) {
        const char* argument = arguments[i];
        if (!isName(i)) continue;
        OwnedString resolved = resolveLongPath(argument);
        std::size_t length = std::strlen(resolved ? resolved.get() : argument);
        if (length > widest) widest = length;
    }
    return widest;
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
