// Win32 backend, files: searches, attributes, identities and moves, through
// the wide API (see win32_text.cpp).
#include <windows.h>
#include <winternl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/platform.h"
#include "platform/win32_internal.h"
#include "sjis/sjis.h"

namespace platform {

const char pathSeparator = '\\';

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
            data->identified = false;  // a search does not tell it
            return true;
        }
    } while (::FindNextFileW(handle, &found));
    return false;
}

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

// The names of the directory last asked about, by their folded spelling: read
// from one listing and kept right by this backend's own moves, so that each
// name does not pay for a search of its own (Wine reads the whole directory
// for every spelling it misses).
struct SpellingIndex {
    std::wstring directory;
    bool built = false;
    std::unordered_map<std::string, std::vector<std::string>> names;
} spellings;

std::string folded(std::string name) {
    upperSingleByteLetters(&name[0]);
    return name;
}

// Where the final component of a wide path starts (below).
std::size_t wideDirectoryLength(const std::wstring& path);

// The directory part and the command's form of the final component of a wide
// path; false where the name does not convert.
bool splitWide(const std::wstring& path, std::wstring& directory, std::string& name) {
    std::size_t length = wideDirectoryLength(path);
    directory = path.substr(0, length);
    return narrow(path.c_str() + length, name);
}

void indexDirectory(const std::wstring& directory) {
    spellings.directory = directory;
    spellings.names.clear();
    spellings.built = true;
    FindData found;
    SearchHandle h = startSearch(directory + L"*", &found);
    if (!h) return;
    do {
        const char* name = found.fileName;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
        spellings.names[folded(name)].push_back(name);
    } while (FindNextFileA(h, &found));
    FindClose(h);
}

// Where the final component of a wide path starts.
std::size_t wideDirectoryLength(const std::wstring& path) {
    std::size_t cut = path.find_last_of(L"\\/");
    if (cut != std::wstring::npos) return cut + 1;
    return path.size() >= 2 && path[1] == L':' ? 2 : 0;
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

// Directories whose lookups give back the name as it was typed, as Wine's do on
// a file system that ignores case (FAT, exFAT): there a stored name must be
// read from a listing. Learnt once per directory, from two spellings of a name.
// After a move this backend made: the index follows it where it holds the
// one spelling moved, and is read again after anything else.
void noteMove(const std::wstring& source, const std::wstring& target) {
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

// Whether lookups in a directory echo the typed spelling, learnt once for the
// directory last asked about.
struct EchoCheck {
    std::wstring directory;
    bool known = false;
    bool echoes = false;
} echo;

bool lookupsEcho(const std::wstring& path, std::size_t directoryLength) {
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

// The stored name of the entry that `path` designates, read from a listing of
// its directory: the exact spelling, else the one equal ignoring case.
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

}  // namespace

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
        lookupsEcho(wide, directoryLength)) {
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

namespace {

// The final path of what a handle refers to: a followed link shows its target.
// The full path, as the system normalizes it; or, where that is not to be
// had (Wine gives none longer than MAX_PATH), the path within the volume from
// the file's name information, whatever its length. Paths of one form are
// compared with paths of the same form only.
bool finalPathOf(HANDLE handle, std::wstring& out, bool withinVolume = false) {
    static std::vector<wchar_t> buffer(32768 + 8);
    if (!withinVolume) {
        DWORD n = ::GetFinalPathNameByHandleW(handle, buffer.data(), 32768, FILE_NAME_NORMALIZED);
        if (n == 0 || n >= 32768) return false;
        out.assign(buffer.data(), n);
        return true;
    }
    auto* info = reinterpret_cast<FILE_NAME_INFO*>(buffer.data());
    if (!::GetFileInformationByHandleEx(handle, FileNameInfo, info,
                                        static_cast<DWORD>(buffer.size() * sizeof(wchar_t))))
        return false;
    out.assign(info->FileName, info->FileNameLength / sizeof(wchar_t));
    return true;
}

HANDLE openEntry(const std::wstring& path) {
    return ::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                         FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

bool sameIgnoringCase(const std::wstring& a, const std::wstring& b) {
    return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                  static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

// The final path of a directory part, with its trailing '\\', and the serial
// number of its volume. The last one is kept: the run renames only the letter
// case of names, and the paths are compared ignoring it.
bool directoryFinalPath(const std::wstring& directory, std::wstring& out, DWORD* volume, bool withinVolume) {
    static std::wstring lastDirectory, lastPath;
    static DWORD lastVolume = 0;
    static bool known = false, lastWithinVolume = false;
    if (!known || lastDirectory != directory || lastWithinVolume != withinVolume) {
        HANDLE parent = openEntry(directory.empty() ? L"." : directory);
        if (parent == INVALID_HANDLE_VALUE) return false;
        BY_HANDLE_FILE_INFORMATION info;
        lastWithinVolume = withinVolume;
        bool ok = finalPathOf(parent, lastPath, withinVolume) && ::GetFileInformationByHandle(parent, &info);
        ::CloseHandle(parent);
        if (!ok) return false;
        if (lastPath.empty() || lastPath.back() != L'\\') lastPath += L'\\';
        lastDirectory = directory;
        lastVolume = info.dwVolumeSerialNumber;
        known = true;
    }
    out = lastPath;
    *volume = lastVolume;
    return true;
}

// The file number of what a handle refers to. Asked of the file system itself
// where it can be: the full information also asks for the volume's serial
// number, which Wine takes a long while to give.
bool fileIndexOf(HANDLE handle, uint64_t* index) {
    using Query = LONG(NTAPI*)(HANDLE, IO_STATUS_BLOCK*, void*, ULONG, ULONG);
    static Query query = reinterpret_cast<Query>(reinterpret_cast<void (*)()>(
        ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationFile")));
    constexpr ULONG fileInternalInformation = 6;
    IO_STATUS_BLOCK status;
    LARGE_INTEGER value;
    if (query && query(handle, &status, &value, sizeof value, fileInternalInformation) == 0) {
        *index = static_cast<uint64_t>(value.QuadPart);
        return true;
    }
    BY_HANDLE_FILE_INFORMATION info;
    if (!::GetFileInformationByHandle(handle, &info)) return false;
    *index = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    return true;
}

}  // namespace

namespace {

// True for a path that names no entry for certain: the system handed the
// command a character it could not read (Wine gives U+FFFD for each byte of a
// name that is not UTF-8), and a lookup by it may find another entry, or a
// move by it write U+FFFD for the bytes the name had.
bool holdsReplacement(const std::wstring& wide) { return wide.find(L'\uFFFD') != std::wstring::npos; }

bool wideEntryIdentity(const std::wstring& wide, EntryIdentity* identity) {
    if (holdsReplacement(wide)) return false;
    HANDLE entry = openEntry(wide);
    if (entry == INVALID_HANDLE_VALUE) return false;
    uint64_t index = 0;
    std::wstring entryPath;
    bool ok = fileIndexOf(entry, &index);
    bool full = ok && finalPathOf(entry, entryPath);
    bool withinVolume = ok && !full && finalPathOf(entry, entryPath, true);
    ::CloseHandle(entry);
    if (!full && !withinVolume) return false;
    // The handle must be the entry itself, in its own directory: where the
    // system followed a link (Wine does, whatever the flags say), a move by
    // the link's name would move its target.
    // Entries of one directory share its volume, but for mount points, which
    // are never moved.
    std::size_t directoryLength = wideDirectoryLength(wide);
    std::wstring parentPath;
    DWORD volume = 0;
    if (!directoryFinalPath(wide.substr(0, directoryLength), parentPath, &volume, withinVolume)) return false;
    if (!sameIgnoringCase(entryPath, parentPath + wide.substr(directoryLength))) return false;
    identity->volume = volume;
    identity->file = index;
    return true;
}

}  // namespace

bool entryIdentity(const char* path, EntryIdentity* identity) {
    std::wstring wide;
    return widen(path, wide) && wideEntryIdentity(wide, identity);
}

bool lookUpEntry(const char* path, FindData* found) {
    SearchHandle search = FindFirstFileA(path, found);
    if (!search) return false;
    FindClose(search);
    // The identity of the entry by its stored name: an alias or another
    // spelling would not pass the check that the entry is in its directory.
    std::wstring wide, stored;
    found->identified = widen(path, wide) && widen(found->fileName, stored) &&
                        wideEntryIdentity(wide.substr(0, wideDirectoryLength(wide)) + stored, &found->identity);
    return true;
}

bool directoryIdentity(const char* directory, EntryIdentity* identity) {
    std::wstring wide;
    if (!widen(directory, wide)) return false;
    HANDLE handle = openEntry(wide.empty() ? L"." : wide);
    if (handle == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION info;
    bool ok = ::GetFileInformationByHandle(handle, &info) != 0;
    ::CloseHandle(handle);
    if (!ok) return false;
    identity->volume = info.dwVolumeSerialNumber;
    identity->file = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    return true;
}

namespace {

// The volume last asked of, and whether its file IDs last: NTFS's do; FAT's
// and exFAT's follow where the entry is written, and under Wine a FUSE mount
// (which tells nothing of its volume) hands out new ones on each mount.
struct Volumes {
    bool known = false;
    uint64_t volume = 0;
    bool idsLast = true;
} volumes;

bool idsLast(HANDLE entry) {
    wchar_t type[MAX_PATH + 1] = {};
    DWORD serial = 0;  // which Wine cannot tell of a FUSE mount
    if (!::GetVolumeInformationByHandleW(entry, nullptr, 0, &serial, nullptr, nullptr, type, MAX_PATH + 1))
        return false;
    return std::wstring(type).compare(0, 3, L"FAT") != 0 && std::wstring(type) != L"exFAT";
}

// What stays of an entry where IDs do not: its kind and, for a file, its size
// and last write time.
EntryIdentity fingerprintOf(const BY_HANDLE_FILE_INFORMATION& info) {
    auto wide = [](DWORD high, DWORD low) { return static_cast<uint64_t>(high) << 32 | low; };
    return fingerprint((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0,
                       wide(info.nFileSizeHigh, info.nFileSizeLow),
                       wide(info.ftLastWriteTime.dwHighDateTime, info.ftLastWriteTime.dwLowDateTime), 0);
}

}  // namespace

bool journalIdentity(const char* path, const EntryIdentity& identity, EntryIdentity* kept) {
    *kept = identity;
    if (volumes.known && volumes.volume == identity.volume && volumes.idsLast) return true;
    std::wstring wide;
    if (!widen(path, wide)) return false;
    HANDLE entry = openEntry(wide);
    if (entry == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION info;
    bool ok = ::GetFileInformationByHandle(entry, &info) != 0;
    if (ok) volumes = {true, identity.volume, idsLast(entry)};
    ::CloseHandle(entry);
    if (ok && !volumes.idsLast) *kept = fingerprintOf(info);
    return ok;
}

bool lookupsIgnoreCase() { return true; }

bool takesDetour(const char*) {
    // Windows changes the case of a name in one step on its own file systems;
    // Wine on a Linux disk reports it done and changes nothing.
    HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    return ntdll && ::GetProcAddress(ntdll, "wine_get_version");
}

bool mayRename(const char* path, EntryIdentity* found) {
    // Windows tells of most refusals only by refusing; the attributes of an
    // entry (read-only included) do not stand in the way of renaming it. A
    // read-only volume can be told: by its flag, or, where that is not given
    // (Wine), by a file without the read-only attribute that may not even be
    // opened for its attributes.
    if (found) *found = {0, 0};
    std::wstring wide;
    if (!widen(path, wide) || holdsReplacement(wide)) return false;
    if (found && !wideEntryIdentity(wide, found)) *found = {0, 0};
    DWORD attributes = ::GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return false;
    HANDLE entry = openEntry(wide);
    if (entry == INVALID_HANDLE_VALUE) return true;  // nothing more to tell
    DWORD flags = 0;
    bool readOnlyVolume = ::GetVolumeInformationByHandleW(entry, nullptr, 0, nullptr, nullptr, &flags, nullptr, 0) &&
                          (flags & FILE_READ_ONLY_VOLUME);
    ::CloseHandle(entry);
    if (readOnlyVolume) return false;
    if (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) return true;
    HANDLE writable = ::CreateFileW(wide.c_str(), FILE_WRITE_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (writable != INVALID_HANDLE_VALUE) {
        ::CloseHandle(writable);
        return true;
    }
    DWORD error = ::GetLastError();
    return error != ERROR_ACCESS_DENIED && error != ERROR_WRITE_PROTECT;
}

namespace {

// One try at a move that never replaces another entry: without
// MOVEFILE_REPLACE_EXISTING the system refuses a name that another entry
// holds, in one step on NTFS. Wine's server looks, then moves, with no call
// between that another Wine program could make; a claim made beforehand
// would only open a wider window.
bool moveOnce(const std::wstring& source, const std::wstring& target) {
    bool moved = ::MoveFileExW(source.c_str(), target.c_str(), 0) != 0;
    if (moved) noteMove(source, target);
    return moved;
}

}  // namespace

Spellings spellingsOf(const char* path, const char* other, bool afresh) {
    Spellings result;
    std::wstring wide, wideOther, directory, otherDirectory;
    std::string name, otherName;
    if (!widen(path, wide) || !splitWide(wide, directory, name) || name.empty()) return result;
    bool withOther = widen(other, wideOther) && splitWide(wideOther, otherDirectory, otherName) &&
                     otherDirectory == directory;
    if (afresh || !spellings.built || spellings.directory != directory) indexDirectory(directory);
    auto found = spellings.names.find(folded(name));
    if (found == spellings.names.end()) return result;
    for (const std::string& spelling : found->second) {
        ++result.count;
        result.path = result.path || spelling == name;
        result.other = result.other || (withOther && spelling == otherName);
    }
    return result;
}

bool moveOntoClaim(const char* from, const char* to) {
    spellings.built = false;  // a rare move: the directory is read afresh
    std::wstring source, target;
    if (!widen(from, source) || !widen(to, target)) return false;
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExW(target.c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) ||
        data.nFileSizeHigh != 0 || data.nFileSizeLow != 0)
        return false;
    return ::MoveFileExW(source.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

// The system's searches match their patterns themselves: no search reads a
// directory whole for a pattern, and nothing is known of other names.
void noticeEnding(const char*) {}
bool holdsNoneEnding(const char*) { return false; }

bool moveEntry(const char* from, const char* to, MoveTarget, MoveNotes* notes) {
    if (notes) notes->proven = false;  // a move that changed nothing reports success
    std::wstring source, target;
    if (!widen(from, source) || !widen(to, target) || holdsReplacement(source) || holdsReplacement(target))
        return false;
    // Where lookups echo, the file system ignores case and refuses a case-only
    // move; trying would only leave the new spelling in its caches as an entry
    // that the next step could not move onto.
    std::size_t directoryLength = wideDirectoryLength(source);
    if (echo.known && echo.echoes && echo.directory == source.substr(0, directoryLength) &&
        sameIgnoringCase(source, target))
        return false;
    if (moveOnce(source, target)) return true;
    DWORD error = ::GetLastError();
    if ((error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS) || !echo.known || !echo.echoes ||
        echo.directory != target.substr(0, wideDirectoryLength(target)))
        return false;
    // Where lookups echo, a spelling that was looked up (typed by the user, say)
    // stays in FUSE's cache for about a second as if it were an entry. When
    // the listing holds no such entry, the move is tried again until it clears.
    FindData unused;
    SearchHandle other = listedEntry(target, wideDirectoryLength(target), &unused);
    if (other) {
        FindClose(other);
        return false;
    }
    for (int attempt = 0; attempt < 30; ++attempt) {
        ::Sleep(100);
        if (moveOnce(source, target)) return true;
        error = ::GetLastError();
        if (error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS) return false;
    }
    return false;
}

std::FILE* openForReading(const char* path) {
    std::wstring wide;
    return widen(path, wide) ? ::_wfopen(wide.c_str(), L"rb") : nullptr;
}

}  // namespace platform
