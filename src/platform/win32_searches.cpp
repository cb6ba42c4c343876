// Win32 backend: searches and lookups. The system matches the patterns; where
// a directory's lookups echo the typed spelling, the stored one is read from
// a listing.
#include <cstdlib>
#include <cstring>

#include "platform/win32_disk.h"
#include "platform/win32_internal.h"

namespace platform {

namespace {

struct Search {
    HANDLE handle;
};

// The next found entry whose name the command can carry, starting with `found`.
bool acceptFound(HANDLE handle, WIN32_FIND_DATAW& found, FindData* data) {
    std::string name;
    do {
        if (narrow(found.cFileName, name) && name.size() < maxName) {
            data->attributes = found.dwFileAttributes;
            std::memcpy(data->fileName, name.c_str(), name.size() + 1);
            data->nameLength = static_cast<uint32_t>(name.size());
            data->identified = false;  // a search does not tell it
            return true;
        }
    } while (::FindNextFileW(handle, &found));
    return false;
}

// `name` with the case of its first ASCII letter turned around: a spelling
// that is neither the name nor, but for a name of one letter, its lower case,
// which the rename is about to take.
std::wstring flippedCase(std::wstring name) {
    for (wchar_t& c : name) {
        if (c >= L'a' && c <= L'z') {
            c = static_cast<wchar_t>(c - 32);
            break;
        }
        if (c >= L'A' && c <= L'Z') {
            c = static_cast<wchar_t>(c + 32);
            break;
        }
    }
    return name;
}

// The name that a lookup of `path` (no wildcard) gives.
bool lookedUpName(const std::wstring& path, std::wstring& name) {
    WIN32_FIND_DATAW found;
    HANDLE h = ::FindFirstFileW(path.c_str(), &found);
    if (h == INVALID_HANDLE_VALUE) return false;
    ::FindClose(h);
    name = found.cFileName;
    return true;
}

}  // namespace

SearchHandle startSearch(const std::wstring& pattern, FindData* data) {
    WIN32_FIND_DATAW found;
    HANDLE h = ::FindFirstFileW(pattern.c_str(), &found);
    if (h == INVALID_HANDLE_VALUE) return nullptr;
    if (!acceptFound(h, found, data)) {
        ::FindClose(h);
        return nullptr;
    }
    Search* search = static_cast<Search*>(std::malloc(sizeof(Search)));
    if (!search) {
        ::FindClose(h);
        return nullptr;
    }
    search->handle = h;
    return search;
}

// Learnt from two spellings of a name.
bool Win32Disk::lookupsEcho(const std::wstring& path, std::size_t directoryLength) {
    std::wstring directory = path.substr(0, directoryLength);
    if (echo.known && echo.directory == directory) return echo.echoes;
    // Looking a spelling up leaves it in the caches of some file systems
    // (FUSE) for a while, as if it were an entry: the lower case that the
    // rename is about to take is never asked for.
    std::wstring name = path.substr(directoryLength);
    std::wstring flipped = flippedCase(name);
    std::wstring lower = name;
    for (wchar_t& c : lower)
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c + 32);
    if (flipped == name || flipped == lower) return false;  // nothing to learn from this name
    std::wstring asTyped, asFlipped;
    echo.echoes = lookedUpName(path, asTyped) && asTyped == name &&
                  lookedUpName(directory + flipped, asFlipped) && asFlipped == flipped;
    echo.directory = directory;
    echo.known = true;
    return echo.echoes;
}

SearchHandle listedEntry(const std::wstring& path, std::size_t directoryLength, FindData* data) {
    std::wstring name = path.substr(directoryLength);
    std::wstring pattern = path.substr(0, directoryLength) + L"*";
    WIN32_FIND_DATAW found;
    HANDLE h = ::FindFirstFileW(pattern.c_str(), &found);
    if (h == INVALID_HANDLE_VALUE) return nullptr;
    std::wstring exact, other;
    int others = 0;
    do {
        if (name == found.cFileName) exact = found.cFileName;
        else if (::CompareStringOrdinal(name.c_str(), -1, found.cFileName, -1, TRUE) == CSTR_EQUAL &&
                 ++others == 1)
            other = found.cFileName;
    } while (::FindNextFileW(h, &found));
    ::FindClose(h);
    if (exact.empty() && others != 1) return nullptr;
    return startSearch(path.substr(0, directoryLength) + (exact.empty() ? other : exact), data);
}

SearchHandle FindFirstFileA(const char* pattern, FindData* data) {
    std::wstring wide;
    if (std::strlen(pattern) >= maxPath || !widen(pattern, wide)) return nullptr;
    if (wide.find_first_of(L"*?") != std::wstring::npos) return startSearch(wide, data);
    SearchHandle search = startSearch(wide, data);
    if (!search) return nullptr;
    // A name other than the typed one came from the directory; the typed one
    // may be an echo.
    std::size_t directoryLength = wideDirectoryLength(wide);
    std::string typed;
    if (narrow(wide.c_str() + directoryLength, typed) && typed == data->fileName &&
        disk().lookupsEcho(wide, directoryLength)) {
        FindClose(search);
        return listedEntry(wide, directoryLength, data);
    }
    return search;
}

bool FindNextFileA(SearchHandle handle, FindData* data) {
    WIN32_FIND_DATAW found;
    if (!handle) return false;
    HANDLE h = static_cast<Search*>(handle)->handle;
    return ::FindNextFileW(h, &found) && acceptFound(h, found, data);
}

void FindClose(SearchHandle handle) {
    if (!handle) return;
    ::FindClose(static_cast<Search*>(handle)->handle);
    std::free(handle);
}

SearchHandle findEveryEntry(const char* directory, FindData* data, const char*) {
    std::string pattern = std::string(directory) + "*";
    return FindFirstFileA(pattern.c_str(), data);
}

bool canListDirectory(const char* directory) {
    std::wstring wide;
    if (!widen(directory, wide)) return false;
    WIN32_FIND_DATAW found;
    HANDLE h = ::FindFirstFileW((wide + L"*").c_str(), &found);
    if (h == INVALID_HANDLE_VALUE) return ::GetLastError() == ERROR_FILE_NOT_FOUND;  // an empty root
    ::FindClose(h);
    return true;
}

uint32_t GetFileAttributesA(const char* path) {
    std::wstring wide;
    return widen(path, wide) ? ::GetFileAttributesW(wide.c_str()) : invalidAttributes;
}

// The system's searches match their patterns themselves: no search reads a
// directory whole for a pattern, and nothing is known of other names.
void noticeEnding(const char*) {}
bool holdsNoneEnding(const char*) { return false; }

bool lookUpEntry(const char* path, FindData* found) {
    SearchHandle search = FindFirstFileA(path, found);
    if (!search) return false;
    FindClose(search);
    // The identity of the entry by its stored name: an alias or another
    // spelling would not pass the check that the entry is in its directory.
    std::wstring wide, stored;
    found->identified = widen(path, wide) && widen(found->fileName, stored) &&
                        disk().wideEntryIdentity(wide.substr(0, wideDirectoryLength(wide)) + stored,
                                                 &found->identity);
    return true;
}

}  // namespace platform
