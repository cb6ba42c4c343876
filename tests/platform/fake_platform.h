// An in-memory platform for the unit tests: a directory tree that looks names
// up the way Windows does (any letter case, stored names kept), injectable
// failures, captured output, a scripted console and a clock the test moves.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace fake {

// Thrown by platform::exitProcess so that a test can see the exit code.
struct ExitCalled {
    int code;
};

struct State {
    struct Entry {
        std::string directory;  // "" for the current directory, no trailing separator
        std::string name;       // as stored
        bool isDirectory;
        uint64_t id = 0;            // the entry's identity, kept across moves
        bool followedLink = false;  // a link that a move by name would not take as itself
        bool emptyFile = false;     // an empty file, as a claim of a killed run is
    };
    std::vector<Entry> entries;
    std::string out, err;
    std::string modulePath = "C:\\tools\\tavisk.exe";
    std::map<std::string, std::string> files;  // configuration files by path
    std::map<std::string, std::string> environment;
    // Console: rows of the window, 0 when standard output is not a console.
    int windowRows = 0;
    std::deque<int> keys;  // -1 when empty: no key can be read
    int keysRead = 0;
    uint32_t tick = 1000;
    uint32_t tickStep = 1;
    // Failures.
    bool caseOnlyMoveIsNoop = false;  // FAT, exFAT, Wine on a case-sensitive disk
    bool anotherRun = false;          // holds the runs' lock meanwhile
    bool caseSensitive = false;       // names differing in case are different entries
    std::vector<int> failingMoves;    // 1-based numbers of moveEntry calls that fail
    platform::Fault failingFault = platform::Fault::permission;  // why they fail
    platform::Fault fault = platform::Fault::other;              // why the last one failed
    // "operation path" pairs that fail, such as "moveEntry A.TXT" or
    // "entryIdentity A.TXT.tavisk~" (the path as the command gives it).
    std::vector<std::string> failingCalls;
    uint64_t nextId = 0;
    int movesMade = 0;
    std::vector<std::string> moveLog;
    int interruptHolds = 0;            // holds in force now
    std::vector<int> holdsAtMove;      // holds in force at each moveEntry call
    long allocationsUntilFailure = -1;  // -1: never fail
    std::string commandLine = "tavisk";
    char switchIntroducer = '/';  // '-' for the POSIX command line
    // The journal's folder ("" when it cannot be had), its files by path, and
    // the files another process holds.
    std::string journalFolder = "J:\\tavisk\\";
    std::map<std::string, std::string> journals;
    std::vector<std::string> busyJournals;
    bool outputFails = false;
    bool console = false;         // standard output is a console
    bool english = false;         // the user reads English
    bool errorConsole = false;    // standard error is a console
    // The speed hooks, as a backend keeps them: the ending noticed, the
    // directories (folded) listed whole and found to hold no name with it,
    // and the room that output is written into in place.
    std::string noticedEnding;
    std::set<std::string> holdingNone;
    char outputRoom[512] = {};
};

State& state();
void reset();
void addFile(const std::string& path);
void addDirectory(const std::string& path);
// Every entry as directory\name, sorted.
std::vector<std::string> listing();
bool exists(const std::string& path);

}  // namespace fake
