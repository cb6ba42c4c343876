// Win32 only: the disk as the backend sees it, one object that owns what a
// run has learnt of it, through the wide API (see win32_text.cpp).
//
// What it keeps, by the file that keeps it:
//   win32_files.cpp     the names of the directory last asked about, and
//                       what a move makes it forget; the disk in use
//   win32_searches.cpp  searches and lookups, and whether lookups echo
//   win32_identity.cpp  identities of entries and of their volumes
//   win32_moves.cpp     moves that never replace, and the preview's look
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/platform.h"

namespace platform {

class Win32Disk {
public:
    // The names of the directory last asked about, by their folded spelling:
    // read from one listing and kept right by this backend's own moves, so
    // that each name does not pay for a search of its own (Wine reads the
    // whole directory for every spelling it misses).
    struct SpellingIndex {
        std::wstring directory;
        bool built = false;
        std::unordered_map<std::string, std::vector<std::string>> names;
    };
    const SpellingIndex& index(const std::wstring& directory, bool afresh);
    // What the disk's records forget when `source` has moved to `target`:
    // the index follows a move of the one spelling it holds, and is read
    // again after anything else.
    void afterMove(const std::wstring& source, const std::wstring& target);
    // The index, after a move whose ways are not known.
    void forget() { spellings.built = false; }

    // Whether lookups in a directory give back the name as it was typed, as
    // Wine's do on a file system that ignores case (FAT, exFAT): there a
    // stored name must be read from a listing. Learnt once, for the directory
    // last asked about (win32_searches.cpp).
    bool lookupsEcho(const std::wstring& path, std::size_t directoryLength);
    // True where `directory` is known to echo.
    bool echoesIn(const std::wstring& directory) const {
        return echo.known && echo.echoes && echo.directory == directory;
    }

    // Identities (win32_identity.cpp).
    bool wideEntryIdentity(const std::wstring& wide, EntryIdentity* identity);
    // What the journal keeps of `identity`, the entry at `wide`: the volume
    // is asked once whether its IDs last, and where they do not, what stays.
    bool journalIdentity(const std::wstring& wide, const EntryIdentity& identity, EntryIdentity* kept);
    // True where `volume` is the one last asked of, and its IDs last.
    bool volumeKeepsIds(uint64_t volume) const { return volumes.known && volumes.volume == volume && volumes.idsLast; }

private:
    bool finalPathOf(HANDLE handle, std::wstring& out, bool withinVolume = false);
    bool directoryFinalPath(const std::wstring& directory, std::wstring& out, DWORD* volume, bool withinVolume);

    SpellingIndex spellings;
    struct EchoCheck {
        std::wstring directory;
        bool known = false;
        bool echoes = false;
    } echo;
    // The final path of the directory part last asked about, with its
    // trailing '\\', and the serial number of its volume: the run renames
    // only the letter case of names, and the paths are compared ignoring it.
    struct Parent {
        std::wstring directory, path;
        DWORD volume = 0;
        bool known = false, withinVolume = false;
    } parent;
    // The volume last asked of, and whether its file IDs last: NTFS's do;
    // FAT's and exFAT's follow where the entry is written, and under Wine a
    // FUSE mount (which tells nothing of its volume) hands out new ones on
    // each mount.
    struct Volumes {
        bool known = false;
        uint64_t volume = 0;
        bool idsLast = true;
    } volumes;
    std::vector<wchar_t> pathBuffer;  // sized on the first need, not at start-up
};

// The disk the backend's calls work on.
Win32Disk& disk();

// Where the final component of a wide path starts.
std::size_t wideDirectoryLength(const std::wstring& path);
// True for a path that names no entry for certain: the system handed the
// command a character it could not read (Wine gives U+FFFD for each byte of a
// name that is not UTF-8), and a lookup by it may find another entry, or a
// move by it write U+FFFD for the bytes the name had.
inline bool holdsReplacement(const std::wstring& wide) { return wide.find(L'\uFFFD') != std::wstring::npos; }
bool sameIgnoringCase(const std::wstring& a, const std::wstring& b);
// A search from `pattern`, its first entry that the command can carry into
// `data` (win32_searches.cpp).
SearchHandle startSearch(const std::wstring& pattern, FindData* data);
// The stored name of the entry that `path` designates, read from a listing of
// its directory: the exact spelling, else the one equal ignoring case.
SearchHandle listedEntry(const std::wstring& path, std::size_t directoryLength, FindData* data);
// An entry opened for its attributes only, not followed where it is a link.
HANDLE openEntry(const std::wstring& path);

}  // namespace platform
