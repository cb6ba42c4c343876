// Win32 backend, the journal's folder and files, and the system's text for
// its records: the wide names of the system, kept as UTF-8. A journal file is
// opened without sharing, so that a run, an undo and the pruning of old
// journals never work on one file at once.
#include <windows.h>

#include <string>

#include "platform/platform.h"
#include "platform/win32_internal.h"
#include "sjis/words.h"

namespace platform {

namespace {

bool toUtf8(const wchar_t* wide, int length, std::string& out) {
    out.clear();
    if (length == 0) return true;
    int n = ::WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide, length, nullptr, 0, nullptr, nullptr);
    if (n <= 0) return false;
    out.assign(static_cast<std::size_t>(n), '\0');
    return ::WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide, length, &out[0], n, nullptr, nullptr) == n;
}

bool fromUtf8(const std::string& text, std::wstring& out) {
    out.clear();
    if (text.empty()) return true;
    int length = static_cast<int>(text.size());
    int n = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), length, nullptr, 0);
    if (n <= 0) return false;
    out.assign(static_cast<std::size_t>(n), L'\0');
    return ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), length, &out[0], n) == n;
}

// The "\\?\" form that long paths are given is not part of the path.
void dropLongForm(std::wstring& path) {
    if (path.compare(0, 8, L"\\\\?\\UNC\\") == 0) path = L"\\\\" + path.substr(8);
    else if (path.compare(0, 4, L"\\\\?\\") == 0) path.erase(0, 4);
}

JournalHandle handleOf(HANDLE h) { return h == INVALID_HANDLE_VALUE ? nullptr : h; }

}  // namespace

bool journalFolder(std::string& folder, bool make) {
    folder.clear();
    wchar_t local[32768];
    DWORD n = ::GetEnvironmentVariableW(L"LOCALAPPDATA", local, 32768);
    if (n == 0 || n >= 32768) return false;
    std::wstring path(local, n);
    if (path.back() != L'\\') path += L'\\';
    path += L"tavisk\\";
    if (!toUtf8(path.c_str(), static_cast<int>(path.size()), folder)) return false;
    if (!make) return true;
    // The folder above is the system's; only ours may be missing.
    if (!::CreateDirectoryW(path.c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS) return false;
    // A link would lead the journals out of the user's profile.
    DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
           !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

bool listJournalFolder(const std::string& folder, void (*visit)(const char* name, void* context), void* context) {
    std::wstring pattern;
    if (!fromUtf8(folder + "*", pattern)) return false;
    WIN32_FIND_DATAW data;
    HANDLE h = ::FindFirstFileW(pattern.c_str(), &data);
    if (h == INVALID_HANDLE_VALUE) return ::GetLastError() == ERROR_FILE_NOT_FOUND;
    do {
        std::string name;
        if (toUtf8(data.cFileName, static_cast<int>(wcslen(data.cFileName)), name)) visit(name.c_str(), context);
    } while (::FindNextFileW(h, &data));
    ::FindClose(h);
    return true;
}

JournalHandle createJournal(const std::string& path, bool* taken) {
    std::wstring wide;
    *taken = false;
    if (!fromUtf8(path, wide)) return nullptr;
    HANDLE h = ::CreateFileW(wide.c_str(), FILE_APPEND_DATA, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD error = ::GetLastError();
    *taken = h == INVALID_HANDLE_VALUE && (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS ||
                                           error == ERROR_SHARING_VIOLATION);
    return handleOf(h);
}

JournalOpen openJournal(const std::string& path, JournalHandle* handle) {
    std::wstring wide;
    if (!fromUtf8(path, wide)) return JournalOpen::failed;
    // A link is not followed: a journal is a file of the user's own folder.
    HANDLE h = ::CreateFileW(wide.c_str(), GENERIC_READ | FILE_APPEND_DATA, 0, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        DWORD error = ::GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return JournalOpen::missing;
        return error == ERROR_SHARING_VIOLATION ? JournalOpen::busy : JournalOpen::failed;
    }
    BY_HANDLE_FILE_INFORMATION info;
    if (!::GetFileInformationByHandle(h, &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY))) {
        ::CloseHandle(h);
        return JournalOpen::failed;
    }
    *handle = h;
    return JournalOpen::opened;
}

bool appendJournal(JournalHandle handle, const char* bytes, std::size_t count) {
    while (count > 0) {
        DWORD chunk = count > 0x40000000u ? 0x40000000u : static_cast<DWORD>(count);
        DWORD written = 0;
        if (!::WriteFile(static_cast<HANDLE>(handle), bytes, chunk, &written, nullptr) || written == 0) return false;
        bytes += written;
        count -= written;
    }
    return true;
}

bool readJournal(JournalHandle handle, std::string& out) {
    out.clear();
    char block[65536];
    for (;;) {
        DWORD n = 0;
        if (!::ReadFile(static_cast<HANDLE>(handle), block, sizeof block, &n, nullptr)) return false;
        if (n == 0) return true;
        out.append(block, n);
    }
}

bool syncJournal(JournalHandle handle) { return ::FlushFileBuffers(static_cast<HANDLE>(handle)) != 0; }

void closeJournal(JournalHandle handle) { ::CloseHandle(static_cast<HANDLE>(handle)); }

bool removeJournal(const std::string& path) {
    std::wstring wide;
    return fromUtf8(path, wide) && ::DeleteFileW(wide.c_str());
}

bool replaceJournal(const std::string& from, const std::string& to) {
    std::wstring wideFrom, wideTo;
    return fromUtf8(from, wideFrom) && fromUtf8(to, wideTo) &&
           ::MoveFileExW(wideFrom.c_str(), wideTo.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
}

// NTFS file IDs carry a sequence number, and a creation time may be carried
// over to a new file of the same name: none is given.
bool birthTime(const char*, uint64_t*) { return false; }

const char* journalFolderVariables() { return "LOCALAPPDATA"; }

bool wholeSystemDirectory(const char* directory, std::size_t length, std::string& out) {
    std::wstring wide, full;
    if (!widen(length ? std::string(directory, length).c_str() : ".", wide) || !wholePath(wide, full)) return false;
    dropLongForm(full);
    if (full.back() != L'\\' && full.back() != L'/') full += L'\\';
    return toUtf8(full.c_str(), static_cast<int>(full.size()), out);
}

bool isSystemText(const char* text, std::size_t length) { return eightBytes::singleByte(text, length); }

bool systemText(const char* text, std::string& out) {
    std::wstring wide;
    return widenText(text, wide) && toUtf8(wide.c_str(), static_cast<int>(wide.size()), out);
}

bool commandText(const char* system, std::string& out) {
    std::wstring wide;
    return fromUtf8(system, wide) && narrow(wide.c_str(), out);
}

namespace {
// The lock this run holds shared, from joinRuns on.
struct Runs {
    HANDLE file = INVALID_HANDLE_VALUE;
} runs;

bool lockRuns(DWORD flags) {
    OVERLAPPED at = {};
    return ::LockFileEx(runs.file, flags | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at) != 0;
}
void unlockRuns() {
    OVERLAPPED at = {};
    ::UnlockFileEx(runs.file, 0, 1, 0, &at);
}
}  // namespace

void joinRuns(const std::string& folder) {
    std::wstring wide;
    if (runs.file != INVALID_HANDLE_VALUE || !fromUtf8(folder + "runs.lock", wide)) return;
    runs.file = ::CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    // Another run's look at the lock holds it a moment: a few tries.
    for (int tries = 0; runs.file != INVALID_HANDLE_VALUE && !lockRuns(0); ++tries) {
        if (tries == 100) {
            ::CloseHandle(runs.file);
            runs.file = INVALID_HANDLE_VALUE;
            return;
        }
        ::Sleep(10);
    }
}

bool aloneInRuns() {
    if (runs.file == INVALID_HANDLE_VALUE) return true;
    unlockRuns();
    bool alone = lockRuns(LOCKFILE_EXCLUSIVE_LOCK);
    if (alone) unlockRuns();
    while (!lockRuns(0)) ::Sleep(10);
    return alone;
}

}  // namespace platform
