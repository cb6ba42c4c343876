// The one boundary between the command and its operating system. Everything
// above src/platform calls these functions by name; a Win32 backend, a POSIX
// backend and the test fake each provide them. All texts are NUL-terminated
// Shift-JIS byte strings, as the command sees them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace platform {

// Paths hold at most this many bytes, terminator included: the system's own
// limit (Windows through its "\\?\" paths, Linux's PATH_MAX). A longer path
// is refused everywhere, and reported.
#ifdef _WIN32
constexpr unsigned maxPath = 32768;
#else
constexpr unsigned maxPath = 4096;
#endif
// A final component holds at most this many bytes, terminator included: 255
// characters of the system, each at most four bytes in the command's text.
constexpr unsigned maxName = 1024;

constexpr uint32_t invalidAttributes = 0xFFFFFFFFu;
constexpr uint32_t attributeDirectory = 0x10;

// The separator that joinPath adds between a directory and a name.
extern const char pathSeparator;

// How the system's users write a command line, in one record: everything
// above the platform asks this, never which system it is on.
struct CommandLineDialect {
    // The byte that begins a switch: '/' on Windows; '-' on Linux, where '/'
    // begins a path.
    char introducer;
    // GNU ways: one switch to an argument and only documented ones, "--" ends
    // the switches, "--help" and "--version", a '/' after a directory's name
    // (as tab completion adds it) dropped.
    bool gnu;
    // A shell's ways: wildcards do not match a leading '.'; the shell expands
    // what is not quoted (examples are quoted); -s with a directory works on
    // it and below; a Windows "/word" switch that names nothing stops the
    // run; the configuration file is as strict as the command line.
    bool shell;
    // "X:" begins a path with a drive (Windows); on Linux ':' is a byte of a
    // name like any other.
    bool drives;
    // Every '/' byte separates, even one right after a lead byte (Linux, whose
    // kernel reads a path byte by byte); Windows reads a lead byte and the
    // byte after it as one character.
    bool everySlashSeparates;
};
const CommandLineDialect& commandLineDialect();

// What tells one entry from another across its renames: the volume and the
// file number, never those of a link's target.
struct EntryIdentity {
    uint64_t volume;
    uint64_t file;
};
inline bool operator==(const EntryIdentity& a, const EntryIdentity& b) {
    return a.volume == b.volume && a.file == b.file;
}

// The identity that the journal keeps for the entry `path` whose identity in
// this run is `identity`: the same where the file system keeps its file
// numbers. Where it hands them out afresh on each mount and lookup (FUSE),
// what stays: the entry's kind and, for a file, its size and modification
// time, which its renames do not change. False when it cannot be told.
bool journalIdentity(const char* path, const EntryIdentity& identity, EntryIdentity* kept);

// What stays of an entry, mixed into an identity beside a volume number that
// no disk has: for the backends' journalIdentity.
inline EntryIdentity fingerprint(bool directory, uint64_t size, uint64_t time, uint64_t fraction) {
    constexpr uint64_t mix = 0x9E3779B97F4A7C15u;
    uint64_t file = directory ? 1 : 2;
    if (!directory) {
        file = (file * mix) ^ size;
        file = (file * mix) ^ time;
        file = (file * mix) ^ fraction;
    }
    return {~uint64_t{0}, (file * mix) ^ (file >> 31)};
}

struct FindData {
    uint32_t attributes;
    char fileName[maxName];  // the entry's name as stored, without directory
    uint32_t nameLength;     // its length, set with it
    // The entry's identity (see entryIdentity), where the system told it
    // with the entry itself: a later rename needs no question of its own.
    bool identified;
    EntryIdentity identity;
};

using SearchHandle = void*;  // nullptr: no search

// A search over the entries that `pattern` designates. Without wildcards the
// pattern names one entry (an 8.3 alias or another letter case finds the
// stored long name); with `*` and `?` every matching entry, A-Z matched without
// regard to case. Gives nullptr when nothing matches.
SearchHandle FindFirstFileA(const char* pattern, FindData* data);
bool FindNextFileA(SearchHandle handle, FindData* data);
void FindClose(SearchHandle handle);
// A search over every entry of `directory` (a directory part with its
// separator, or empty for the current directory), hidden ones too, in one
// pass; "." and ".." may come with them. Where `endingIn` (ASCII text) is
// given, a backend may pass over the entries whose names do not end in it,
// ignoring the case of A-Z, before it does anything else with them: the
// caller still checks what it is given.
SearchHandle findEveryEntry(const char* directory, FindData* data, const char* endingIn = nullptr);
// Lets the searches notice names that end in `ending` (ASCII, A-Z in any
// case): where a backend's search reads a whole directory, whatever its
// pattern, a directory so read without one is known to hold none until an
// entry is moved to such a name there.
void noticeEnding(const char* ending);
// True when the directory `directory` (as for findEveryEntry) is known to
// hold no name with the noticed ending; false where that is not known.
bool holdsNoneEnding(const char* directory);

// True when the entries of the directory `directory` (a directory part with
// its separator, or empty for the current directory) can be listed.
bool canListDirectory(const char* directory);

// The attribute word of a path, invalidAttributes when it cannot be queried.
uint32_t GetFileAttributesA(const char* path);

// The running module's full path; the length written, 0 on failure.
unsigned GetModuleFileNameA(char* buffer, unsigned size);

// Looks a file name up in the default search order (the executable's own
// directory first). Gives the length written, or, when the buffer is too small,
// the size needed including the terminator; 0 when not found.
unsigned SearchPathA(const char* fileName, unsigned size, char* buffer);

// Called first thing in main, with what the C runtime was given.
void startProcess(int argc, char** argv);

// True where the user reads English rather than Japanese: on POSIX, a locale
// (LANGUAGE, then LC_ALL, LC_MESSAGES, LANG) that is neither Japanese nor
// C, POSIX or C.UTF-8, which are the command's own language; on Windows, a
// user interface language and a console code page that are not Japanese.
bool readsEnglish();

// Where the names on the disk are Shift-JIS whatever the locale's encoding
// (Linux, --names=sjis): they are read, written and decided as Shift-JIS
// bytes and shown in the terminal's encoding, and typed text that is not
// UTF-8 is taken as such a name. Called before the arguments are read; on
// Windows, whose names are the system's own, nothing changes.
void useShiftJisNames(bool on);
bool shiftJisNames();

// The raw command line, program name first, as one text.
const char* GetCommandLineA();

// The argument list the process was started with, where the system has one
// (POSIX); nullptr where the raw command line is all there is (Windows).
const char* const* originalArguments(int* count);

// Whose name the target of a move is. Any other program may create a `shared`
// name at any moment, up to the move itself; an `own` name (the command's
// temporary name) no other program makes.
enum class MoveTarget { shared, own };

// What a caller of moveEntry may tell it, and learn from it.
struct MoveNotes {
    static constexpr std::size_t unknownNameAt = static_cast<std::size_t>(-1);
    bool notDirectory = false;  // told: the entry is known to be no directory
    // Told: where the final component begins in both paths, which share all
    // that comes before it.
    std::size_t nameAt = unknownNameAt;
    static constexpr std::size_t unknownLength = static_cast<std::size_t>(-1);
    std::size_t fromLength = unknownLength;  // told: the length of `from`, where known
    // Learnt: the system's own answer proved the entry stored exactly under
    // the new name (a move that refuses to replace, on a file system that
    // keeps letter cases apart). False proves nothing either way.
    bool proven = false;
};

// Renames `from` to `to` in place. Never replaces another existing entry: when
// `to` names an entry that exists, the call fails. A link is moved as itself.
bool moveEntry(const char* from, const char* to, MoveTarget target = MoveTarget::shared,
               MoveNotes* notes = nullptr);

// Why the last call of the backend that failed failed, as far as the
// command's reports tell causes apart. Asked right after the call.
enum class Fault : unsigned char { other, exists, permission, readOnly, tooLong };
Fault lastFault();

// Moves `from` onto `to` only where `to` is an empty file, such as a run
// killed in the middle of a move leaves where it had claimed a name; fails
// for anything else.
bool moveOntoClaim(const char* from, const char* to);

// The identity of the entry that `path` designates. False when there is none,
// and for an entry that a move by its name would not take as itself (a link
// that the system follows): moving it would move another entry.
bool entryIdentity(const char* path, EntryIdentity* identity);

// One entry looked up by its path, as FindFirstFileA finds it, with its
// identity where it has one: one question to the system where it can answer
// all at once.
bool lookUpEntry(const char* path, FindData* found);

// The identity of the directory that `directory` (a directory part with its
// separator, or empty for the current directory) designates, as the system
// reaches it.
bool directoryIdentity(const char* directory, EntryIdentity* identity);

// What the directory of `path` holds under the spellings of its final
// component: the entries equal to it ignoring the case of A-Z, and whether
// one of them is stored exactly as it, or exactly as the final component of
// `other` (a path in the same directory).
struct Spellings {
    int count = 0;
    bool path = false;
    bool other = false;
};
// Answered from the backend's one index of each directory's names, read from
// a listing where there is none yet, or `afresh` where the disk may have
// changed in a way the backend did not see (a move reported done that
// changed nothing). The backend keeps it right through its own moves.
Spellings spellingsOf(const char* path, const char* other, bool afresh = false);

// True where every lookup ignores the letter case of names (Windows): there a
// case-only rename cannot be told from a move onto another spelling.
bool lookupsIgnoreCase();

// False when the system would refuse to rename the entry `path` for what can
// be told without trying: a directory that may not be written (permissions, a
// read-only mount) or an entry marked immutable. Asked by the preview. Where
// `found` is given, it is set to the identity of the entry at `path`, or to
// {0, 0} where none is found there.
bool mayRename(const char* path, EntryIdentity* found = nullptr);

// Holds back interruptions (Ctrl-C, SIGINT, SIGTERM, SIGHUP) while a sequence
// of moves runs that must finish or be undone as a whole. One that arrived
// meanwhile ends the process when the last hold is released. Holds nest.
void holdInterrupts();
void releaseInterrupts();

// The journal of renames. Its folder, files and records are in the system's
// own text, which names an entry the same way from run to run (the
// command's stand-ins for what code page 932 lacks do not).

// The folder that keeps the journals, with its separator, made where it is
// missing: $XDG_STATE_HOME/tavisk/ (by default ~/.local/state/tavisk/) on
// Linux, %LOCALAPPDATA%\tavisk\ on Windows. False when it cannot be had,
// or (on Linux) is not the user's own folder that only the user may write;
// `folder` then holds what was tried, or is empty. Only named, not made,
// without `make`.
bool journalFolder(std::string& folder, bool make = true);
// How many runs' journals the folder keeps: the oldest go as new ones come.
constexpr int keptJournals = 20;
// Gives each name in `folder` to `visit`; false when it cannot be listed.
bool listJournalFolder(const std::string& folder, void (*visit)(const char* name, void* context),
                       void* context);

// A journal file, open in one process at a time.
using JournalHandle = void*;
// A new file `path`, for appending; nullptr when it cannot be made, with
// `taken` set where another file holds the name.
JournalHandle createJournal(const std::string& path, bool* taken);
enum class JournalOpen { opened, missing, busy, failed };
// An existing file, for reading and then appending; `busy` while another
// process holds it. A file that is not the user's own plain file (a link, one
// of another user, or one others may write) is refused as `failed`.
JournalOpen openJournal(const std::string& path, JournalHandle* handle);
// Writes all of `bytes` at the file's end, or gives false.
bool appendJournal(JournalHandle handle, const char* bytes, std::size_t count);
// Puts what was written on the disk, or gives false.
bool syncJournal(JournalHandle handle);
// Reads the whole file into `out`.
bool readJournal(JournalHandle handle, std::string& out);
void closeJournal(JournalHandle handle);
bool removeJournal(const std::string& path);
// Puts the closed file `from` in the place of `to`, in one step.
bool replaceJournal(const std::string& from, const std::string& to);
// When the entry `path` was made, in nanoseconds since 1970, where the system
// keeps it (Linux's birth time); false where it is not known.
bool birthTime(const char* path, uint64_t* nanoseconds);
// True where a case-only rename of `path` is likely to need the detour
// through a temporary name (FUSE's file systems; a Linux disk under Wine):
// what the preview tells of a name too long for its temporary name.
bool takesDetour(const char* path);

// True when the system takes `name` (a final component in the command's
// text) as a name: at most 255 bytes on Linux, 255 UTF-16 units on Windows.
bool fitsAsName(const char* name);

// Under /u: where the character at `text` (`left` bytes) is one the command
// carries for the system (a character code page 932 lacks), its length in
// `length` (0 for any other character), and what it is as a letter in the
// user's locale: a capital, whose lower-case form is put in `lowered` in the
// command's text, a small letter, or neither.
enum class LetterCase : unsigned char { none, capital, small };
LetterCase carriedLetterCase(const char* text, std::size_t left, std::size_t* length, std::string* lowered);

// The variables that say where the journals' folder is, for a message.
const char* journalFolderVariables();

// The runs of one user know of each other by a lock file in the journals'
// folder, which each holds shared while it runs: an entry under a temporary
// name is put back only by a run that is alone, for another run may be
// moving it on.
void joinRuns(const std::string& folder);
// True when no other run holds the lock, or none was joined.
bool aloneInRuns();

// The directory part `directory` (with its separator, or empty for the
// current directory) as a whole path in the system's text, with its
// separator.
bool wholeSystemDirectory(const char* directory, std::size_t length, std::string& out);
// The command's text in the system's, and back. Text for which
// isSystemText holds is the same in both (ASCII, and on Linux outside a UTF-8
// locale nearly every text).
bool isSystemText(const char* text, std::size_t length);
bool systemText(const char* text, std::string& out);
bool commandText(const char* system, std::string& out);

// Environment lookup ignoring the case of ASCII letters; nullptr when unset.
const char* getEnvironmentVariable(const char* name);

// The configuration file to read, given the one beside the executable. On
// Linux the user's ($XDG_CONFIG_HOME/tavisk/tavisk.cfg, by default
// ~/.config/tavisk/tavisk.cfg), else the system's (/etc/tavisk.cfg), where
// one exists; else, and on Windows always, `besideExecutable`. The text lives
// until the next call.
const char* configurationFile(const char* besideExecutable);
// Every place configurationFile looks, in its order, joined by ", ".
std::string configurationSearch(const char* besideExecutable);

// Opens a file for byte reads in binary mode; nullptr when it cannot be opened.
std::FILE* openForReading(const char* path);

// Standard output and error. writeOut is buffered; flushOut makes it visible.
void writeOut(const char* bytes, std::size_t count);
// Room for `count` bytes in standard output's own buffer, for text written
// there in place and then kept with keepOut, as writeOut would have copied
// it; nullptr where the buffer has less room now, or output goes through the
// stream (a console, converted text): writeOut then.
char* outputRoom(std::size_t count);
void keepOut(std::size_t count);
// Writes bytes to standard output exactly as they are, the system's text
// (names in their own bytes) and line ends untouched: a form for scripts.
void writeOutExactly(const char* bytes, std::size_t count);
void writeErr(const char* bytes, std::size_t count);
// Writes ASCII bytes to standard error exactly as they are, line ends included
// (writeErr may turn "\n" into the system's line end).
void writeErrExactly(const char* bytes, std::size_t count);
void flushOut();
// Flushes standard output and tells whether any write to it failed (a full
// disk, a closed pipe).
bool outputFailed();
// True when standard output is a console or terminal.
bool outputIsConsole();
// True when standard error is a terminal (a console on Windows).
bool errorIsConsole();

// Ends the process with `code`, writing out buffered output first. Every
// immediate exit of the command goes through here.
[[noreturn]] void exitProcess(int code);

// Console. consoleRows gives false when standard output is not a console;
// otherwise the buffer height and the visible window's rows.
bool consoleRows(int* bufferRows, int* windowRows);
// Discards pending key input, then waits for one key and gives its character
// byte 0-255 (0 for keys without a character, 27 for Esc). Gives -1 when no key
// can be read because standard input is not a console.
int readConsoleKey();
// Milliseconds since an arbitrary start, wrapping modulo 2^32.
uint32_t GetTickCount();

// Memory for the command's own strings; nullptr when it runs out.
void* allocate(std::size_t bytes);
void* reallocate(void* block, std::size_t bytes);
void release(void* block);

}  // namespace platform
