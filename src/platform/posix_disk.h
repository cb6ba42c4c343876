// POSIX only: the disk as the backend sees it, one object that owns what a
// run has learnt of it. Only '/' separates: a '\\' of a name reaches the
// command as a stand-in and the system as itself. Each directory of a path is
// found as Windows finds it: the exact spelling first, else the one entry
// equal ignoring the case of A-Z. Where a file system could ignore case (FAT,
// exFAT, casefolded directories, file systems it cannot vouch for), a stored
// name is read from the directory listing, never echoed from what was typed.
// Every text crosses the code page 932 bridge (posix_codeset.h).
//
// What it keeps, by the file that keeps it:
//   posix_directories.cpp  each directory's file system and index of
//                          spellings (spellingsOf), the last entry's status,
//                          afterMove
//   posix_paths.cpp        how a command path reaches the system
//   posix_searches.cpp     listings and lookups
//   posix_moves.cpp        moves that never replace, and the preview's look
//   posix_files.cpp        attributes and identities; the disk in use
#pragma once

#include <dirent.h>
#include <sys/stat.h>

#include <cstddef>
#include <cstring>
#include <string>
#include <unordered_map>

#include "platform/glob.h"
#include "platform/platform.h"
#include "sjis/words.h"

namespace platform {

// A path in storage of its own, kept for the run: the hot calls copy paths
// without asking the allocator. A path as long as the system's limit is
// refused, as the system would refuse it.
struct PathText {
    char text[maxPath];
    std::size_t length = 0;
    bool assign(const char* p, std::size_t n) {
        length = 0;
        return append(p, n);
    }
    bool append(const char* p, std::size_t n) {
        if (length + n >= maxPath) return false;
        eightBytes::copy(text + length, p, n);
        length += n;
        text[length] = '\0';
        return true;
    }
    bool equals(const char* p, std::size_t n) const {
        if (length != n) return false;
        // The names of a listing differ most often near their ends: a word there first.
        if (n >= 8 && eightBytes::load(text + n - 8) != eightBytes::load(p + n - 8)) return false;
        return std::memcmp(text, p, n) == 0;
    }
    std::string part(std::size_t from, std::size_t n = std::string::npos) const {
        return std::string(text + from, n == std::string::npos ? length - from : n);
    }
};

// One directory's names by their folded command form: the number of
// spellings and the first one stored. Built from the listing on the first
// need; a move the kernel confirmed on a case-sensitive file system is
// recorded in it, any other change drops it, so that it only ever holds what
// the disk said.
struct Slot {
    std::string stored;  // system form
    int count = 0;
    // False for the spelling a move asked for where the directory may keep
    // another: read again from the disk when it is asked for.
    bool confirmed = true;
};

struct Directory {
    bool caseInsensitive = true;    // could ignore case: not known to keep cases apart
    bool ignoresCase = false;       // seen to ignore case
    bool directoriesStay = false;   // see movesDirectoriesBadly
    bool userSpace = false;         // FUSE: see renameWithoutReplacing
    bool holdsNoneNoticed = false;  // read whole without a name of the noticed ending
    // Refused here once, so not asked again: the move that refuses to
    // replace, and hard links (FUSE: each refusal is a round trip).
    bool noReplaceRefused = false, linksRefused = false;
    // Why this user may not rename its entries: 0 where they may, -1 until
    // asked (once: only the preview asks, and it changes nothing).
    int writeFault = -1;
    bool indexed = false;
    std::unordered_map<std::string, Slot> names;
};

// A command path as the system is given it, with the state of the directory
// it is in.
struct Translation {
    PathText command;            // as the command gave it
    PathText system;             // as the system is given it
    std::size_t commandNameAt;   // where the final component begins in `command`
    std::size_t systemNameAt;    // and in `system`
    Directory* directory;
    bool valid = false;
    bool plain = false;  // the system path is the command's, byte for byte
};

// One path of a move, in the command's form and the system's, where each
// final component begins, and the state of its directory.
struct MovePath {
    const char* command;
    std::size_t commandLength, commandNameAt;
    const char* system;
    std::size_t systemLength, systemNameAt;
    Directory* directory;
    std::string systemPart(std::size_t from, std::size_t n = std::string::npos) const {
        return std::string(system + from, n == std::string::npos ? systemLength - from : n);
    }
};

struct Search {
    DIR* dir;
    std::string directory;  // system form, with its trailing '/', or empty for "."
    std::string pattern;    // command form
    bool everything = false;              // hidden names too, whatever the pattern
    Wildcard wildcard{nullptr, 0, 0, 0};  // the pattern, prepared
    std::string literal;                  // an entry given first, skipped in the listing
    std::string endingIn;                 // where not empty: the ending the caller wants
    // The directory's device, for the identities of its entries, where its
    // listing gives their file numbers.
    bool deviceKnown = false;
    dev_t device = 0;
    // What the search tells of the directory when it has read it whole.
    Directory* state = nullptr;
    unsigned generation = 0;
    bool noticed = false;  // a name of the noticed ending was met
};

// True when `name` (`length` bytes) ends in `ending` (ASCII), A-Z in any case.
bool endsInIgnoringCase(const char* name, std::size_t length, const std::string& ending);

class PosixDisk {
public:
    // Directories (posix_directories.cpp).
    Directory& directoryState(const std::string& directory);
    // The status of a path, of `name` in `directory`; the last entry's is kept.
    bool statOf(const char* path, std::size_t length, struct stat& st);
    bool statAt(const std::string& directory, const std::string& name, struct stat& st);
    // The spellings of `name` (command form) in `directory`, from its index,
    // read where there is none; nullptr when there are none.
    const Slot* spellingsIn(const std::string& directory, Directory& d, const std::string& name);
    bool storedBySpelling(const std::string& directory, Directory& d, const std::string& name,
                          const std::string& system, std::string& stored);
    bool storedEntry(const std::string& directory, const std::string& name, std::string& stored);
    bool holdsExactly(const std::string& directory, const std::string& system);
    void dropIndex(Directory& d);
    // True when the system name `name` ends in the noticed ending.
    bool endsNoticed(const char* name, std::size_t length) const {
        return length != 0 && (name[length - 1] | 0x20) == noticed.last &&
               endsInIgnoringCase(name, length, noticed.text);
    }
    // Remembers the ending that listings tell of (see noticeEnding).
    void notice(const char* ending);
    // True where `directory` was read whole without a name of that ending.
    bool holdsNone(const std::string& directory) const;
    // What each of the disk's records forgets when `from` has moved to `to`,
    // which may be a directory unless `notDirectory`; `proven` where the
    // kernel showed `to` to be the stored spelling.
    void afterMove(const MovePath& from, const MovePath& to, bool notDirectory, bool proven);
    // Everything, after a move whose ways are not known (or a test's chdir).
    void forget();

    // Paths (posix_paths.cpp). A translation is valid until the next but one.
    const Translation* translate(const char* path);
    const Translation* translateBeside(const Translation& source, const char* to);
    bool systemDirectory(const std::string& part, std::string& out);
    bool systemPath(const char* path, std::string& out);
    // The system path of the command's directory part `part`.
    bool directoryOf(const char* part, std::string& out);
    // The translation kept of a directory part `nameAt` bytes long that is
    // its own system text and `path`'s; nullptr where none is.
    const Translation* plainDirectoryOf(const char* path, std::size_t nameAt) const;

    // Listings and lookups (posix_searches.cpp).
    Search* openSearch(DIR* dir, const std::string& directory, const std::string& pattern, bool everything);
    bool nextMatch(Search* search, FindData* data);
    bool fill(const std::string& directory, const std::string& name, FindData* data, struct stat& st);
    bool lookUp(const Translation* t, FindData* data, struct stat& st);

    // Moves (posix_moves.cpp).
    bool move(const char* from, const char* to, MoveTarget whose, MoveNotes* notes);
    bool renameWithoutReplacing(const MovePath& from, const MovePath& to, MoveTarget whose, bool notDirectory);

    // Identities (posix_files.cpp): the device last asked of, and whether
    // its file numbers last (FUSE's do not).
    struct Devices {
        bool known = false;
        uint64_t device = 0;
        bool numbersLast = true;
    } devices;

private:
    bool buildIndex(const std::string& directory, Directory& d);
    void forgetResolvedDirectories();
    void forgetResolvedThrough(const char* name, std::size_t size);
    bool finishTranslation(Translation& t, const char* path, const char* text, std::size_t length, std::size_t dir);

    // What the run learnt of its directories, by system path ("" for ".").
    std::unordered_map<std::string, Directory> byPath;
    std::size_t indexed = 0;  // how many of them hold an index
    // Changes as all is forgotten, so that an open search does not tell of
    // a directory that is gone.
    unsigned generation = 0;
    // See noticeEnding; `last` is its last byte as A-Z are folded, 0 for none.
    struct Noticed {
        std::string text;
        char last = 0;
    } noticed;

    // The status of the entry that the last lookup or move was about, by its
    // system path: a name is looked up, then its attributes and identity are
    // asked for, it is moved, and its new name is checked. Only a lookup that
    // found that very path fills it; a move forgets it, unless the kernel
    // confirmed the move on a case-sensitive file system, where rename(2)
    // keeps the inode and no-replace proves the new spelling the stored one.
    struct Known {
        PathText path;
        struct stat st;
        bool valid = false;
    } known;

    // How the command's paths reach the system: command forms of directory
    // parts and the system paths they were found at, and the last two
    // translations (an entry's path is asked for several times in a row, and
    // a move asks for two at once). They go with the directories they were
    // resolved through.
    std::unordered_map<std::string, std::string> resolved;
    Translation slots[2];
    unsigned recent = 0;  // the slot used last

    // Storage that the hot calls reuse (the command runs on one thread, and
    // none of these calls itself).
    struct Scratch {
        std::string part, name, directory, full, system, converted, listedName;
    } scratch;
};

// The disk the backend's calls work on: the process's own, or the one a test
// put in its place (nullptr gives the process's own back).
PosixDisk& disk();
void useDisk(PosixDisk* fresh);

// Facts of file systems (posix_directories.cpp).
bool listsFileNumbers(unsigned long type);
// True for a directory where directories stay (`path` is in `d`).
bool mustStay(const Directory& d, const char* path);
// "." for the current directory's empty part.
inline const char* orDot(const std::string& directory) { return directory.empty() ? "." : directory.c_str(); }
// A stored name that the command can hold: one that fits its buffers.
inline bool isAddressable(const char*, std::size_t length) { return length < maxName; }
// The command's form of a stored name; false for a name that it could not
// carry back to the same entry.
bool commandName(const char* name, std::string& out);
// True when the directory's listing holds `system` exactly.
bool listed(const std::string& directory, const std::string& system);

// An entry's attributes, from its status and its stored name (posix_searches.cpp).
uint32_t attributesOf(const struct stat& st, const char* name);
// lstat: a link is an entry of its own, and rename(2) moves it as itself.
inline EntryIdentity identityOf(const struct stat& st) {
    return {static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
}

}  // namespace platform
