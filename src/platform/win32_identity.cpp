// Win32 backend: what identifies an entry, its directory and its volume, and
// what the journal keeps of it where file IDs do not last.
#include <winternl.h>

#include "platform/win32_disk.h"
#include "platform/win32_internal.h"

namespace platform {

namespace {

// The file number of what a handle refers to. Asked of the file system itself
// where it can be: the full information also asks for the volume's serial
// number, which Wine takes a long while to give.
bool fileIndexOf(HANDLE handle, uint64_t* index) {
    using Query = LONG(NTAPI*)(HANDLE, IO_STATUS_BLOCK*, void*, ULONG, ULONG);
    static const Query query = reinterpret_cast<Query>(reinterpret_cast<void (*)()>(
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

HANDLE openEntry(const std::wstring& path) {
    return ::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                         FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

// The final path of what a handle refers to: a followed link shows its target.
// The full path, as the system normalizes it; or, where that is not to be
// had (Wine gives none longer than MAX_PATH), the path within the volume from
// the file's name information, whatever its length. Paths of one form are
// compared with paths of the same form only.
bool Win32Disk::finalPathOf(HANDLE handle, std::wstring& out, bool withinVolume) {
    std::vector<wchar_t>& buffer = pathBuffer;
    if (buffer.empty()) buffer.resize(32768 + 8);
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

bool Win32Disk::directoryFinalPath(const std::wstring& directory, std::wstring& out, DWORD* volume,
                                   bool withinVolume) {
    if (!parent.known || parent.directory != directory || parent.withinVolume != withinVolume) {
        HANDLE handle = openEntry(directory.empty() ? L"." : directory);
        if (handle == INVALID_HANDLE_VALUE) return false;
        BY_HANDLE_FILE_INFORMATION info;
        parent.withinVolume = withinVolume;
        bool ok = finalPathOf(handle, parent.path, withinVolume) && ::GetFileInformationByHandle(handle, &info);
        ::CloseHandle(handle);
        if (!ok) return false;
        if (parent.path.empty() || parent.path.back() != L'\\') parent.path += L'\\';
        parent.directory = directory;
        parent.volume = info.dwVolumeSerialNumber;
        parent.known = true;
    }
    out = parent.path;
    *volume = parent.volume;
    return true;
}

bool Win32Disk::wideEntryIdentity(const std::wstring& wide, EntryIdentity* identity) {
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

bool Win32Disk::journalIdentity(const std::wstring& wide, const EntryIdentity& identity, EntryIdentity* kept) {
    HANDLE entry = openEntry(wide);
    if (entry == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION info;
    bool ok = ::GetFileInformationByHandle(entry, &info) != 0;
    if (ok) volumes = {true, identity.volume, idsLast(entry)};
    ::CloseHandle(entry);
    if (ok && !volumes.idsLast) *kept = fingerprintOf(info);
    return ok;
}

bool entryIdentity(const char* path, EntryIdentity* identity) {
    std::wstring wide;
    return widen(path, wide) && disk().wideEntryIdentity(wide, identity);
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

bool journalIdentity(const char* path, const EntryIdentity& identity, EntryIdentity* kept) {
    *kept = identity;
    if (disk().volumeKeepsIds(identity.volume)) return true;
    std::wstring wide;
    return widen(path, wide) && disk().journalIdentity(wide, identity, kept);
}

}  // namespace platform
