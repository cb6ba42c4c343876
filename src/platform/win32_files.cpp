// Win32 backend: the disk in use, and the names of the directory last asked
// about, kept right by this backend's own moves.
#include <cstdio>
#include <cstring>

#include "platform/win32_disk.h"
#include "platform/win32_internal.h"
#include "sjis/sjis.h"

namespace platform {

const char pathSeparator = '\\';

namespace {

// The process's disk: the one root of what the backend has learnt.
Win32Disk ownDisk;

std::string folded(std::string name) {
    upperSingleByteLetters(&name[0]);
    return name;
}

// The directory part and the command's form of the final component of a wide
// path; false where the name does not convert.
bool splitWide(const std::wstring& path, std::wstring& directory, std::string& name) {
    std::size_t length = wideDirectoryLength(path);
    directory = path.substr(0, length);
    return narrow(path.c_str() + length, name);
}

}  // namespace

Win32Disk& disk() { return ownDisk; }

std::size_t wideDirectoryLength(const std::wstring& path) {
    std::size_t cut = path.find_last_of(L"\\/");
    if (cut != std::wstring::npos) return cut + 1;
    return path.size() >= 2 && path[1] == L':' ? 2 : 0;
}

bool sameIgnoringCase(const std::wstring& a, const std::wstring& b) {
    return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                  static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

const Win32Disk::SpellingIndex& Win32Disk::index(const std::wstring& directory, bool afresh) {
    if (!afresh && spellings.built && spellings.directory == directory) return spellings;
    spellings.directory = directory;
    spellings.names.clear();
    spellings.built = true;
    FindData found;
    SearchHandle h = startSearch(directory + L"*", &found);
    if (!h) return spellings;
    do {
        const char* name = found.fileName;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
        spellings.names[folded(name)].push_back(name);
    } while (FindNextFileA(h, &found));
    FindClose(h);
    return spellings;
}

void Win32Disk::afterMove(const std::wstring& source, const std::wstring& target) {
    std::wstring directory;
    std::string from, to;
    if (!spellings.built || !splitWide(source, directory, from) || directory != spellings.directory) return;
    auto found = spellings.names.find(folded(from));
    if (found == spellings.names.end() || found->second.size() != 1 || !splitWide(target, directory, to)) {
        spellings.built = false;
        return;
    }
    spellings.names.erase(found);
    spellings.names[folded(to)].push_back(to);
}

Spellings spellingsOf(const char* path, const char* other, bool afresh) {
    Spellings result;
    std::wstring wide, wideOther, directory, otherDirectory;
    std::string name, otherName;
    if (!widen(path, wide) || !splitWide(wide, directory, name) || name.empty()) return result;
    bool withOther = widen(other, wideOther) && splitWide(wideOther, otherDirectory, otherName) &&
                     otherDirectory == directory;
    const Win32Disk::SpellingIndex& spellings = disk().index(directory, afresh);
    auto found = spellings.names.find(folded(name));
    if (found == spellings.names.end()) return result;
    for (const std::string& spelling : found->second) {
        ++result.count;
        result.path = result.path || spelling == name;
        result.other = result.other || (withOther && spelling == otherName);
    }
    return result;
}

bool lookupsIgnoreCase() { return true; }

std::FILE* openForReading(const char* path) {
    std::wstring wide;
    return widen(path, wide) ? ::_wfopen(wide.c_str(), L"rb") : nullptr;
}

}  // namespace platform
