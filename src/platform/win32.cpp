// Win32 backend: every text is in the ANSI code page of the user's system (932
// on a Japanese Windows). The wide API is called underneath and the conversion
// done here, because the ANSI API replaces a character that the code page lacks
// by '?' or by a look-alike ('e' for 'é'): such a name would reach another
// entry, or act as a wildcard. Here a name that does not convert both ways is
// not produced, and a typed character that does not convert becomes a byte
// that no name holds.
#include <windows.h>
#include <winternl.h>

#include <fcntl.h>
#include <io.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/stand_ins.h"

namespace platform {

const char pathSeparator = '\\';

const CommandLineDialect& commandLineDialect() {
    static const CommandLineDialect windows{'/', false, false};
    return windows;
}

namespace {

// Stands for a character that the code page lacks; no code page 932 text holds
// this byte.
constexpr char unconvertible = '\xFF';

// Wide text to the code page, exactly or not at all.
bool narrowExactly(const wchar_t* wide, int length, std::string& out) {
    UINT page = ::GetACP();
    bool utf8 = page == CP_UTF8;  // takes neither the flag nor the default test
    BOOL usedDefault = FALSE;
    DWORD flags = utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
    int n = ::WideCharToMultiByte(page, flags, wide, length, nullptr, 0, nullptr, nullptr);
    if (n <= 0 && length != 0) return false;
    out.resize(static_cast<std::size_t>(n));
    if (n && ::WideCharToMultiByte(page, flags, wide, length, &out[0], n, nullptr,
                                   utf8 ? nullptr : &usedDefault) != n)
        return false;
    return !usedDefault;
}

// Stand-ins carry what the code page lacks only where the code page is 932,
// whose user-defined area they take.
bool standInsApply() {
    static const bool apply = ::GetACP() == 932;
    return apply;
}

// A run of ordinary text in the code page to wide text, exactly or not at all.
bool widenSegment(const char* text, int length, std::wstring& out) {
    int n = ::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text, length, nullptr, 0);
    if (n <= 0 && length != 0) return false;
    std::wstring part(static_cast<std::size_t>(n), L'\0');
    if (n && ::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text, length, &part[0], n) != n)
        return false;
    std::string back;
    if (!narrowExactly(part.c_str(), n, back) || back.size() != static_cast<std::size_t>(length) ||
        std::memcmp(back.data(), text, back.size()) != 0)
        return false;
    out += part;
    return true;
}

// A path as the wide API takes it whatever its length: from 248 characters
// on (below MAX_PATH less room for an 8.3 name) it is made whole and given the
// "\\?\" form, which the system takes up to 32 767 characters.
void allowLongPath(std::wstring& path) {
    if (path.size() < 248 || path.compare(0, 4, L"\\\\?\\") == 0) return;
    DWORD n = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (n == 0) return;
    std::wstring full(n, L'\0');
    n = ::GetFullPathNameW(path.c_str(), n, &full[0], nullptr);
    if (n == 0 || n >= full.size()) return;
    full.resize(n);
    if (full.compare(0, 2, L"\\\\") == 0) path = L"\\\\?\\UNC\\" + full.substr(2);
    else path = L"\\\\?\\" + full;
}

// Text in the code page to wide text, exactly or not at all: false for the
// mark, for bytes the code page does not define, and for anything that would
// not convert back to the same bytes. Stand-ins become what they stand for.
bool widen(const char* text, std::wstring& out) {
    int length = static_cast<int>(std::strlen(text));
    out.clear();
    if (std::memchr(text, unconvertible, static_cast<std::size_t>(length))) return false;
    bool ok = !standInsApply() || !standins::holdsStandIn(text, static_cast<std::size_t>(length))
                  ? widenSegment(text, length, out)
                  : standins::walk(
                        text, static_cast<std::size_t>(length),
                        [&](const char* segment, std::size_t n) {
                            return widenSegment(segment, static_cast<int>(n), out);
                        },
                        [&](const std::string& unit) {
                            out.append(reinterpret_cast<const wchar_t*>(unit.data()),
                                       unit.size() / sizeof(wchar_t));
                        });
    if (ok) allowLongPath(out);
    return ok;
}

// Wide text for the command: each character that does not convert exactly,
// or converts into the user-defined area, gets its stand-in (the mark where
// none is left, or the code page is not 932). Gives false when a mark was
// written.
bool narrow(const wchar_t* wide, std::string& out) {
    int length = static_cast<int>(std::wcslen(wide));
    if (narrowExactly(wide, length, out) && !(standInsApply() && standins::holdsStandIn(out.data(), out.size())))
        return true;
    out.clear();
    bool whole = true;
    std::string one;
    for (int i = 0; i < length;) {
        int n = IS_HIGH_SURROGATE(wide[i]) && i + 1 < length && IS_LOW_SURROGATE(wide[i + 1]) ? 2 : 1;
        bool exact = narrowExactly(wide + i, n, one);
        if (exact && !(standInsApply() && standins::holdsStandIn(one.data(), one.size()))) {
            out += one;
        } else if (!standInsApply() ||
                   !standins::append(reinterpret_cast<const char*>(wide + i), n * sizeof(wchar_t), out)) {
            out += unconvertible;
            whole = false;
        }
        i += n;
    }
    return whole;
}

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

// A path from the system for the command; 0 when it does not convert or fit,
// the size needed when the buffer is too small.
unsigned givePath(const wchar_t* wide, unsigned size, char* buffer) {
    std::string path;
    if (!narrow(wide, path) || path.size() >= maxPath) return 0;
    if (path.size() + 1 > size) return static_cast<unsigned>(path.size() + 1);
    std::memcpy(buffer, path.c_str(), path.size() + 1);
    return static_cast<unsigned>(path.size());
}

bool errorIsConsole() {
    static const bool console = [] {
        DWORD mode;
        return ::GetConsoleMode(::GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
    }();
    return console;
}

// A console shows code page 932 text right only when its own code page is
// 932: to a console the text goes as wide characters, converted exactly,
// whatever the console's code page. A lead byte that ends one write waits for
// the next. Gives false when `handle` is no console.
bool writeConsole(HANDLE handle, const char* bytes, std::size_t count, char& pendingLead) {
    DWORD mode;
    if (!::GetConsoleMode(handle, &mode)) return false;
    std::string text;
    if (pendingLead) text += pendingLead;
    pendingLead = 0;
    text.append(bytes, count);
    std::size_t whole = text.size();
    for (std::size_t i = 0; i < text.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if ((c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC)) {
            if (i + 1 == text.size()) whole = i;
            else ++i;
        }
    }
    if (whole < text.size()) pendingLead = text[whole];
    text.resize(whole);
    std::wstring wide;
    auto segment = [&wide](const char* part, std::size_t length) {
        int n = ::MultiByteToWideChar(932, 0, part, static_cast<int>(length), nullptr, 0);
        if (n <= 0) return true;
        std::size_t at = wide.size();
        wide.resize(at + static_cast<std::size_t>(n));
        ::MultiByteToWideChar(932, 0, part, static_cast<int>(length), &wide[at], n);
        return true;
    };
    // A stand-in is shown as the character it stands for.
    if (!standInsApply() || !standins::walk(text.data(), text.size(), segment, [&wide](const std::string& unit) {
            wide.append(reinterpret_cast<const wchar_t*>(unit.data()), unit.size() / sizeof(wchar_t));
        })) {
        wide.clear();
        segment(text.data(), text.size());
    }
    DWORD written = 0;
    if (!wide.empty()) ::WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
    return true;
}

// Text for a file or pipe, which holds code page 932: the mark and each
// stand-in are written as the '?' that the code page has for a character it
// lacks. Neither is ever the second byte of a character.
void writeCodePage(std::FILE* stream, const char* bytes, std::size_t count) {
    bool marked = std::memchr(bytes, unconvertible, count) != nullptr;
    if (!marked && !(standInsApply() && standins::holdsStandIn(bytes, count))) {
        std::fwrite(bytes, 1, count, stream);
        return;
    }
    std::string shown;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(bytes);
    for (std::size_t i = 0; i < count;) {
        std::size_t n = 1;
        if (p[i] == static_cast<unsigned char>(unconvertible)) {
            shown += '?';
        } else if (standInsApply() && standins::isStandInLead(p[i]) && i + 1 < count) {
            n = p[i] == 0xF9 && i + 3 < count ? 4 : 2;
            shown += '?';
        } else {
            n = isSjisLead(p[i]) && i + 1 < count ? 2 : 1;
            shown.append(bytes + i, n);
        }
        i += n;
    }
    std::fwrite(shown.data(), 1, shown.size(), stream);
}

void writeTo(std::FILE* stream, const char* bytes, std::size_t count) {
    static char pendingOut = 0, pendingErr = 0;
    bool isOut = stream == stdout;
    HANDLE handle = ::GetStdHandle(isOut ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
    if ((isOut ? outputIsConsole() : errorIsConsole())) {
        std::fflush(stream);  // anything written before goes first
        std::string shown(bytes, count);
        for (char& c : shown)
            if (c == unconvertible) c = '?';
        if (writeConsole(handle, shown.data(), shown.size(), isOut ? pendingOut : pendingErr)) return;
    }
    writeCodePage(stream, bytes, count);
}

bool isModifier(WORD key) {
    switch (key) {
        case VK_SHIFT: case VK_CONTROL: case VK_MENU: case VK_CAPITAL: case VK_NUMLOCK:
        case VK_SCROLL: case VK_LSHIFT: case VK_RSHIFT: case VK_LCONTROL: case VK_RCONTROL:
        case VK_LMENU: case VK_RMENU: case VK_LWIN: case VK_RWIN:
            return true;
        default:
            return false;
    }
}

}  // namespace

namespace {

// Held by the run while a sequence of moves must finish or be undone, and
// taken by the console control handler, which Windows runs on a thread of its
// own: an interruption waits for the sequence, and keeps the lock so that no
// other begins before the process ends. The run stopped, so the exit code is
// 1; the lines written so far are flushed first (the stream has its own lock).
CRITICAL_SECTION moveSequence;

BOOL WINAPI onConsoleControl(DWORD) {
    ::EnterCriticalSection(&moveSequence);
    std::fflush(stdout);
    ::ExitProcess(1);
}

}  // namespace

void startProcess(int, char**) {
    ::InitializeCriticalSection(&moveSequence);
    ::SetConsoleCtrlHandler(onConsoleControl, TRUE);
    // The C runtime leaves output to a character device such as NUL
    // unbuffered, and then writes it a byte at a time; every write that is
    // not to the console goes out in blocks (flushed before a prompt, an error
    // and the end).
    if (!outputIsConsole()) std::setvbuf(stdout, nullptr, _IOFBF, 1 << 16);
}

void holdInterrupts() { ::EnterCriticalSection(&moveSequence); }
void releaseInterrupts() { ::LeaveCriticalSection(&moveSequence); }

const char* GetCommandLineA() {
    static std::string line;
    static bool made = false;
    if (!made) {
        narrow(::GetCommandLineW(), line);
        made = true;
    }
    return line.c_str();
}

const char* const* originalArguments(int* count) {
    *count = 0;
    return nullptr;
}

namespace {

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
std::wstring echoKnownFor;
bool echoKnown = false;
bool echoes = false;

bool lookupsEcho(const std::wstring& path, std::size_t directoryLength) {
    std::wstring directory = path.substr(0, directoryLength);
    if (echoKnown && echoKnownFor == directory) return echoes;
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
    echoes = lookedUpName(path, asTyped) && asTyped == name &&
             lookedUpName(directory + flipped, asFlipped) && asFlipped == flipped;
    echoKnownFor = directory;
    echoKnown = true;
    return echoes;
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

SearchHandle findEveryEntry(const char* directory, FindData* data) {
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

unsigned GetModuleFileNameA(char* buffer, unsigned size) {
    wchar_t module[32768];
    DWORD n = ::GetModuleFileNameW(nullptr, module, 32768);
    if (n == 0 || n >= 32768) return 0;
    unsigned length = givePath(module, size, buffer);
    return length >= size ? 0 : length;  // a cut path is no path
}

unsigned SearchPathA(const char* fileName, unsigned size, char* buffer) {
    std::wstring wide;
    wchar_t found[32768];
    if (!widen(fileName, wide)) return 0;
    DWORD n = ::SearchPathW(nullptr, wide.c_str(), nullptr, 32768, found, nullptr);
    return n == 0 || n >= 32768 ? 0 : givePath(found, size, buffer);
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

bool wideEntryIdentity(const std::wstring& wide, EntryIdentity* identity) {
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

bool lookupsIgnoreCase() { return true; }

bool mayRename(const char* path) {
    // Windows tells of most refusals only by refusing; the attributes of an
    // entry (read-only included) do not stand in the way of renaming it. A
    // read-only volume can be told: by its flag, or, where that is not given
    // (Wine), by a file without the read-only attribute that may not even be
    // opened for its attributes.
    std::wstring wide;
    if (!widen(path, wide)) return false;
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

// True when `path` holds the claim `claimed`: the empty file made for it.
bool holdsClaim(const std::wstring& path, uint64_t claimed) {
    HANDLE handle = openEntry(path);
    if (handle == INVALID_HANDLE_VALUE) return false;
    uint64_t index = 0;
    LARGE_INTEGER size;
    bool ours = fileIndexOf(handle, &index) && index == claimed && ::GetFileSizeEx(handle, &size) &&
                size.QuadPart == 0;
    ::CloseHandle(handle);
    return ours;
}

// A move of a file to a name it does not hold: the name is first claimed by
// creating an empty file where nothing is (which Windows and Wine do in one
// step), and the file is moved onto the claim only while it is still ours and
// untouched. A program that creates the name meanwhile is refused; one would
// have to delete our claim and put its own in its place between the look and
// the move. A failure to claim keeps its error, for the caller to tell an
// existing name.
bool claimThenMove(const std::wstring& source, const std::wstring& target) {
    HANDLE claim = ::CreateFileW(target.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                 nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (claim == INVALID_HANDLE_VALUE) return false;
    uint64_t claimed = 0;
    bool known = fileIndexOf(claim, &claimed);
    ::CloseHandle(claim);
    if (known && holdsClaim(target, claimed) &&
        ::MoveFileExW(source.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING))
        return true;
    if (known && holdsClaim(target, claimed)) ::DeleteFileW(target.c_str());
    ::SetLastError(ERROR_ACCESS_DENIED);
    return false;
}

// One try at a move that never replaces another entry. A case-only move of
// the entry itself, a move to the command's own name and the move of a
// directory go to the system as they are:
// without MOVEFILE_REPLACE_EXISTING it refuses a name that another entry
// holds (Wine checks, then moves).
bool moveOnce(const std::wstring& source, const std::wstring& target, MoveTarget whose) {
    DWORD attributes = whose == MoveTarget::own ? INVALID_FILE_ATTRIBUTES : ::GetFileAttributesW(source.c_str());
    if (!sameIgnoringCase(source, target) && attributes != INVALID_FILE_ATTRIBUTES &&
        !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return claimThenMove(source, target);
    return ::MoveFileExW(source.c_str(), target.c_str(), 0) != 0;
}

}  // namespace

bool moveOntoClaim(const char* from, const char* to) {
    std::wstring source, target;
    if (!widen(from, source) || !widen(to, target)) return false;
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExW(target.c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) ||
        data.nFileSizeHigh != 0 || data.nFileSizeLow != 0)
        return false;
    return ::MoveFileExW(source.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

bool moveEntry(const char* from, const char* to, MoveTarget whose, MoveNotes* notes) {
    if (notes) notes->proven = false;  // a move that changed nothing reports success
    std::wstring source, target;
    if (!widen(from, source) || !widen(to, target)) return false;
    // Where lookups echo, the file system ignores case and refuses a case-only
    // move; trying would only leave the new spelling in its caches as an entry
    // that the next step could not move onto.
    std::size_t directoryLength = wideDirectoryLength(source);
    if (echoKnown && echoes && echoKnownFor == source.substr(0, directoryLength) &&
        sameIgnoringCase(source, target))
        return false;
    if (moveOnce(source, target, whose)) return true;
    DWORD error = ::GetLastError();
    if ((error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS) || !echoKnown || !echoes ||
        echoKnownFor != target.substr(0, wideDirectoryLength(target)))
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
        if (moveOnce(source, target, whose)) return true;
        error = ::GetLastError();
        if (error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS) return false;
    }
    return false;
}

const char* getEnvironmentVariable(const char* name) {
    static std::string value;
    std::wstring wide, found;
    if (!widen(name, wide)) return nullptr;
    DWORD needed = ::GetEnvironmentVariableW(wide.c_str(), nullptr, 0);
    if (needed == 0) return nullptr;
    found.assign(needed, L'\0');
    DWORD n = ::GetEnvironmentVariableW(wide.c_str(), &found[0], needed);
    if (n >= needed || (n == 0 && ::GetLastError() == ERROR_ENVVAR_NOT_FOUND)) return nullptr;
    found.resize(n);
    narrow(found.c_str(), value);
    return value.c_str();
}

const char* configurationFile(const char* besideExecutable) { return besideExecutable; }

std::FILE* openForReading(const char* path) {
    std::wstring wide;
    return widen(path, wide) ? ::_wfopen(wide.c_str(), L"rb") : nullptr;
}

void writeOut(const char* bytes, std::size_t count) { writeTo(stdout, bytes, count); }
void writeErr(const char* bytes, std::size_t count) { writeTo(stderr, bytes, count); }

void writeErrExactly(const char* bytes, std::size_t count) {
    if (errorIsConsole()) {
        writeTo(stderr, bytes, count);
        return;
    }
    // The stream is in text mode, which would write "\r\n" as "\r\r\n".
    std::fflush(stderr);
    int mode = _setmode(_fileno(stderr), _O_BINARY);
    std::fwrite(bytes, 1, count, stderr);
    std::fflush(stderr);
    if (mode != -1) _setmode(_fileno(stderr), mode);
}
void flushOut() { std::fflush(stdout); }
bool outputFailed() { return std::fflush(stdout) != 0 || std::ferror(stdout); }

bool outputIsConsole() {
    static const bool console = [] {  // asked once per name shown
        DWORD mode;
        return ::GetConsoleMode(::GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
    }();
    return console;
}

void exitProcess(int code) { std::exit(code); }

bool consoleRows(int* bufferRows, int* windowRows) {
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!::GetConsoleScreenBufferInfo(::GetStdHandle(STD_OUTPUT_HANDLE), &info)) return false;
    *bufferRows = info.dwSize.Y;
    *windowRows = info.srWindow.Bottom - info.srWindow.Top + 1;
    return true;
}

int readConsoleKey() {
    HANDLE input = ::GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode;
    if (input == INVALID_HANDLE_VALUE || !::GetConsoleMode(input, &mode)) return -1;
    ::FlushConsoleInputBuffer(input);
    for (;;) {
        INPUT_RECORD record;
        DWORD read = 0;
        if (!::ReadConsoleInputA(input, &record, 1, &read)) return -1;
        if (read != 1 || record.EventType != KEY_EVENT) continue;
        // Only a key going down answers, and not a modifier on its own: Shift
        // arrives before the Q of Shift+Q, and the release of a key typed
        // before the prompt must not answer it.
        const KEY_EVENT_RECORD& event = record.Event.KeyEvent;
        if (!event.bKeyDown || isModifier(event.wVirtualKeyCode)) continue;
        int key = static_cast<unsigned char>(event.uChar.AsciiChar);
        // Some consoles deliver Esc as its virtual key without a character.
        if (key == 0 && event.wVirtualKeyCode == VK_ESCAPE) key = 27;
        return key;
    }
}

uint32_t GetTickCount() { return ::GetTickCount(); }

}  // namespace platform
