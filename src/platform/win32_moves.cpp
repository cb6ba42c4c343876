// Win32 backend: moves that never replace another entry, and the preview's
// look at whether a move may be made.
#include "platform/win32_disk.h"
#include "platform/win32_internal.h"

namespace platform {

namespace {

// One try at a move that never replaces another entry: without
// MOVEFILE_REPLACE_EXISTING the system refuses a name that another entry
// holds, in one step on NTFS. Wine's server looks, then moves, with no call
// between that another Wine program could make; a claim made beforehand
// would only open a wider window.
bool moveOnce(const std::wstring& source, const std::wstring& target) {
    bool moved = ::MoveFileExW(source.c_str(), target.c_str(), 0) != 0;
    if (moved) disk().afterMove(source, target);
    return moved;
}

bool refusedAsTaken(DWORD error) { return error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS; }

}  // namespace

bool moveEntry(const char* from, const char* to, MoveTarget, MoveNotes* notes) {
    if (notes) notes->proven = false;  // a move that changed nothing reports success
    std::wstring source, target;
    if (!widen(from, source) || !widen(to, target) || holdsReplacement(source) || holdsReplacement(target))
        return false;
    // Where lookups echo, the file system ignores case and refuses a case-only
    // move; trying would only leave the new spelling in its caches as an entry
    // that the next step could not move onto.
    Win32Disk& d = disk();
    if (d.echoesIn(source.substr(0, wideDirectoryLength(source))) && sameIgnoringCase(source, target)) return false;
    if (moveOnce(source, target)) return true;
    std::size_t targetDirectory = wideDirectoryLength(target);
    if (!refusedAsTaken(::GetLastError()) || !d.echoesIn(target.substr(0, targetDirectory))) return false;
    // Where lookups echo, a spelling that was looked up (typed by the user, say)
    // stays in FUSE's cache for about a second as if it were an entry. When
    // the listing holds no such entry, the move is tried again until it clears.
    FindData unused;
    SearchHandle other = listedEntry(target, targetDirectory, &unused);
    if (other) {
        FindClose(other);
        return false;
    }
    for (int attempt = 0; attempt < 30; ++attempt) {
        ::Sleep(100);
        if (moveOnce(source, target)) return true;
        if (!refusedAsTaken(::GetLastError())) return false;
    }
    return false;
}

bool moveOntoClaim(const char* from, const char* to) {
    disk().forget();  // a rare move: the directory is read afresh
    std::wstring source, target;
    if (!widen(from, source) || !widen(to, target)) return false;
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExW(target.c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) ||
        data.nFileSizeHigh != 0 || data.nFileSizeLow != 0)
        return false;
    return ::MoveFileExW(source.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

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
    if (found && !disk().wideEntryIdentity(wide, found)) *found = {0, 0};
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

}  // namespace platform
