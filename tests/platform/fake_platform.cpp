#include "fake_platform.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "convert/path.h"
#include "platform/glob.h"
#include "platform/platform.h"

namespace fake {

State& state() {
    static State s;
    return s;
}

void reset() { state() = State{}; }

// Where relative paths start: the whole paths of the journal are in it.
constexpr char currentDirectory[] = "C:\\work\\";

namespace {

std::string normalize(const std::string& path) {
    std::string p = path;
    std::replace(p.begin(), p.end(), '/', '\\');
    while (p.size() > 1 && p.back() == '\\') p.pop_back();
    if (p.rfind(".\\", 0) == 0) p = p.substr(2);
    if (p.rfind(currentDirectory, 0) == 0) p = p.substr(sizeof currentDirectory - 1);
    return p;
}

std::string fold(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    return s;
}

// Cut where the command cuts: a second byte 0x5C is no separator.
void split(const std::string& path, std::string& directory, std::string& name) {
    std::string p = normalize(path);
    std::size_t cut = directoryLength(p.c_str());
    name = p.substr(cut);
    directory = p.substr(0, cut);
    if (!directory.empty() && directory.back() == '\\' && directory != "\\") directory.pop_back();
}

bool sameName(const std::string& a, const std::string& b) {
    return state().caseSensitive ? a == b : fold(a) == fold(b);
}

State::Entry* find(const std::string& path) {
    std::string directory, name;
    split(path, directory, name);
    for (auto& e : state().entries)
        if (fold(e.directory) == fold(directory) && sameName(e.name, name)) return &e;
    return nullptr;
}

bool endsNoticed(const std::string& name) {
    const std::string& ending = state().noticedEnding;
    return !ending.empty() && name.size() >= ending.size() &&
           fold(name.substr(name.size() - ending.size())) == fold(ending);
}

// A name with the noticed ending appears in `directory`.
void noticeName(const std::string& directory, const std::string& name) {
    if (endsNoticed(name)) state().holdingNone.erase(fold(directory));
}

void add(const std::string& path, bool isDirectory) {
    std::string directory, name;
    split(path, directory, name);
    state().entries.push_back({directory, name, isDirectory, ++state().nextId});
    noticeName(directory, name);
}

bool fails(const char* operation, const char* path) {
    auto& failing = state().failingCalls;
    return std::find(failing.begin(), failing.end(), std::string(operation) + " " + path) != failing.end();
}

struct Search {
    std::vector<std::string> names;
    std::size_t next = 0;
    std::vector<bool> directories;
};

}  // namespace

void addFile(const std::string& path) { add(path, false); }
void addDirectory(const std::string& path) { add(path, true); }

std::vector<std::string> listing() {
    std::vector<std::string> all;
    for (auto& e : state().entries)
        all.push_back(e.directory.empty() ? e.name : e.directory + "\\" + e.name);
    std::sort(all.begin(), all.end());
    return all;
}

bool exists(const std::string& path) {
    for (auto& e : state().entries)
        if ((e.directory.empty() ? e.name : e.directory + "\\" + e.name) == normalize(path))
            return true;
    return false;
}

}  // namespace fake

namespace platform {

const char pathSeparator = '\\';

const CommandLineDialect& commandLineDialect() {
    static CommandLineDialect dialect;
    bool linux = fake::state().switchIntroducer != '/';
    dialect = {fake::state().switchIntroducer, linux, linux, !linux, linux};
    return dialect;
}

using fake::state;

void startProcess(int, char**) {}
bool readsEnglish() { return state().english; }
const char* GetCommandLineA() { return state().commandLine.c_str(); }
// Names are the system's own: there is no other encoding to choose.
void useShiftJisNames(bool) {}
bool shiftJisNames() { return false; }

const char* const* originalArguments(int* count) {
    *count = 0;
    return nullptr;
}

SearchHandle FindFirstFileA(const char* pattern, FindData* data) {
    if (fake::fails("FindFirstFileA", pattern)) return nullptr;
    std::string directory, name;
    fake::split(pattern, directory, name);
    auto* search = new fake::Search;
    for (auto& e : state().entries) {
        if (fake::fold(e.directory) != fake::fold(directory)) continue;
        bool match = hasWildcard(name.c_str()) ? wildcardMatch(name.c_str(), e.name.c_str())
                                                : fake::sameName(e.name, name);
        if (match && e.name.size() < maxName) {
            search->names.push_back(e.name);
            search->directories.push_back(e.isDirectory);
        }
    }
    if (search->names.empty() || std::strlen(pattern) >= maxPath) {
        delete search;
        return nullptr;
    }
    if (!FindNextFileA(search, data)) {
        delete search;
        return nullptr;
    }
    return search;
}

bool FindNextFileA(SearchHandle handle, FindData* data) {
    auto* search = static_cast<fake::Search*>(handle);
    if (search->next >= search->names.size()) return false;
    std::strcpy(data->fileName, search->names[search->next].c_str());
    data->nameLength = static_cast<uint32_t>(search->names[search->next].size());
    data->attributes = search->directories[search->next] ? attributeDirectory : 0x20;
    data->identified = false;
    ++search->next;
    return true;
}

void FindClose(SearchHandle handle) { delete static_cast<fake::Search*>(handle); }

SearchHandle findEveryEntry(const char* directory, FindData* data, const char*) {
    std::string whole = directory;
    if (!whole.empty() && (whole.back() == '\\' || whole.back() == '/')) whole.pop_back();
    SearchHandle h = FindFirstFileA((std::string(directory) + "*").c_str(), data);
    // Read whole: whether it holds a name with the noticed ending is known.
    if (!state().noticedEnding.empty() && !fake::fails("FindFirstFileA", (std::string(directory) + "*").c_str())) {
        bool any = false;
        for (auto& e : state().entries)
            any = any || (fake::fold(e.directory) == fake::fold(whole) && fake::endsNoticed(e.name));
        if (any)
            state().holdingNone.erase(fake::fold(whole));
        else
            state().holdingNone.insert(fake::fold(whole));
    }
    return h;
}

uint32_t GetFileAttributesA(const char* path) {
    if (fake::fails("GetFileAttributesA", path)) return invalidAttributes;
    auto* e = fake::find(path);
    if (!e) return invalidAttributes;
    return e->isDirectory ? attributeDirectory : 0;
}

unsigned GetModuleFileNameA(char* buffer, unsigned size) {
    const std::string& m = state().modulePath;
    if (m.size() >= size) return 0;
    std::strcpy(buffer, m.c_str());
    return static_cast<unsigned>(m.size());
}

unsigned SearchPathA(const char* fileName, unsigned size, char* buffer) {
    std::string directory, name;
    fake::split(state().modulePath, directory, name);
    if (!fake::find(state().modulePath) || fake::fold(name) != fake::fold(fileName)) return 0;
    std::string full = directory + "\\" + fileName;
    if (full.size() + 1 > size) return static_cast<unsigned>(full.size() + 1);
    std::strcpy(buffer, full.c_str());
    return static_cast<unsigned>(full.size());
}

void holdInterrupts() { ++state().interruptHolds; }
void releaseInterrupts() { --state().interruptHolds; }

bool moveEntry(const char* from, const char* to, MoveTarget, MoveNotes* notes) {
    if (notes) notes->proven = false;
    int number = ++state().movesMade;
    state().moveLog.push_back(std::string(from) + " -> " + to);
    state().holdsAtMove.push_back(state().interruptHolds);
    auto& failing = state().failingMoves;
    state().fault = state().failingFault;
    if (std::find(failing.begin(), failing.end(), number) != failing.end()) return false;
    if (fake::fails("moveEntry", from)) return false;
    state().fault = Fault::other;
    auto* source = fake::find(from);
    if (!source) return false;
    auto* target = fake::find(to);
    state().fault = Fault::exists;
    if (target && target != source) return false;  // never replaces another entry
    std::string directory, name;
    fake::split(to, directory, name);
    if (target == source && state().caseOnlyMoveIsNoop) return true;
    std::string oldPath = source->directory.empty() ? source->name
                                                    : source->directory + "\\" + source->name;
    if (fake::fold(directory) == fake::fold(source->directory)) directory = source->directory;
    std::string newPath = directory.empty() ? name : directory + "\\" + name;
    source->directory = directory;
    source->name = name;
    for (auto& e : state().entries)  // children of a renamed directory follow it
        if (fake::fold(e.directory) == fake::fold(oldPath)) e.directory = newPath;
    fake::noticeName(directory, name);
    if (source->isDirectory) state().holdingNone.clear();  // what was known of the paths below moved
    return true;
}

bool moveOntoClaim(const char* from, const char* to) {
    auto* source = fake::find(from);
    auto* target = fake::find(to);
    if (!source || !target || target == source || !target->emptyFile) return false;
    std::string directory = target->directory, name = target->name;
    state().entries.erase(state().entries.begin() + (target - state().entries.data()));
    source = fake::find(from);
    source->directory = directory;
    source->name = name;
    fake::noticeName(directory, name);
    if (source->isDirectory) state().holdingNone.clear();
    return true;
}

bool canListDirectory(const char* directory) { return !fake::fails("canListDirectory", directory); }

// From a listing, as a backend reads one (a failing listing answers nothing).
Spellings spellingsOf(const char* path, const char* other, bool) {
    Spellings result;
    std::string p = path;
    std::size_t cut = directoryLength(path);
    std::string name = p.substr(cut), otherName = std::string(other).substr(directoryLength(other));
    FindData found;
    SearchHandle h = findEveryEntry(p.substr(0, cut).c_str(), &found);
    if (!h) return result;
    do {
        if (fake::fold(found.fileName) != fake::fold(name)) continue;
        ++result.count;
        result.path = result.path || name == found.fileName;
        result.other = result.other || otherName == found.fileName;
    } while (FindNextFileA(h, &found));
    FindClose(h);
    return result;
}

bool lookupsIgnoreCase() { return !fake::state().caseSensitive; }

void noticeEnding(const char* ending) {
    state().noticedEnding = ending;
    state().holdingNone.clear();
}
bool holdsNoneEnding(const char* directory) {
    std::string whole = directory;
    if (!whole.empty() && (whole.back() == '\\' || whole.back() == '/')) whole.pop_back();
    return state().holdingNone.count(fake::fold(whole)) != 0;
}

bool mayRename(const char* path, EntryIdentity* found) {
    if (found && !entryIdentity(path, found)) *found = {0, 0};
    state().fault = state().failingFault;
    return !fake::fails("moveEntry", path);
}
Fault lastFault() { return state().fault; }

bool entryIdentity(const char* path, EntryIdentity* identity) {
    auto* e = fake::find(path);
    if (!e || e->followedLink || fake::fails("entryIdentity", path)) return false;
    identity->volume = 1;
    identity->file = e->id;
    return true;
}

bool lookUpEntry(const char* path, FindData* found) {
    SearchHandle search = FindFirstFileA(path, found);
    if (!search) return false;
    FindClose(search);
    std::string stored = std::string(path, directoryLength(path)) + found->fileName;
    found->identified = entryIdentity(stored.c_str(), &found->identity);
    return true;
}

bool directoryIdentity(const char* directory, EntryIdentity* identity) {
    std::string path = directory;
    if (path.empty()) {
        identity->volume = 1;
        identity->file = ~uint64_t{0};  // the current directory
        return true;
    }
    if (path.back() == '\\') path.pop_back();
    auto* e = fake::find(path.c_str());
    if (!e) return false;
    identity->volume = 1;
    identity->file = e->id;
    return true;
}

const char* getEnvironmentVariable(const char* name) {
    for (auto& [key, value] : state().environment)
        if (fake::fold(key) == fake::fold(name)) return value.c_str();
    return nullptr;
}

const char* configurationFile(const char* besideExecutable) { return besideExecutable; }
std::string configurationSearch(const char* besideExecutable) { return besideExecutable; }

std::FILE* openForReading(const char* path) {
    auto it = state().files.find(path);
    if (it == state().files.end()) return nullptr;
    std::FILE* f = std::tmpfile();
    std::fwrite(it->second.data(), 1, it->second.size(), f);
    std::rewind(f);
    return f;
}

bool journalFolder(std::string& folder, bool) {
    folder = state().journalFolder;
    return !folder.empty();
}

bool listJournalFolder(const std::string& folder, void (*visit)(const char* name, void* context), void* context) {
    for (const auto& file : state().journals)
        if (file.first.compare(0, folder.size(), folder) == 0) visit(file.first.c_str() + folder.size(), context);
    return true;
}

// A handle is the file's path as its key in `journals`: nothing to release
// when a test ends the process with the file open.
JournalHandle handleOf(const std::string& path) {
    return const_cast<std::string*>(&state().journals.find(path)->first);
}

JournalHandle createJournal(const std::string& path, bool* taken) {
    *taken = state().journals.count(path) != 0;
    if (*taken || fake::fails("createJournal", path.c_str())) return nullptr;
    state().journals[path];
    return handleOf(path);
}

JournalOpen openJournal(const std::string& path, JournalHandle* handle) {
    if (!state().journals.count(path)) return JournalOpen::missing;
    for (const std::string& busy : state().busyJournals)
        if (busy == path) return JournalOpen::busy;
    *handle = handleOf(path);
    return JournalOpen::opened;
}

bool appendJournal(JournalHandle handle, const char* bytes, std::size_t count) {
    const std::string& path = *static_cast<std::string*>(handle);
    if (fake::fails("appendJournal", path.c_str())) return false;
    state().journals[path].append(bytes, count);
    return true;
}

bool readJournal(JournalHandle handle, std::string& out) {
    out = state().journals[*static_cast<std::string*>(handle)];
    return true;
}

bool syncJournal(JournalHandle handle) {
    return !fake::fails("syncJournal", static_cast<std::string*>(handle)->c_str());
}

void closeJournal(JournalHandle) {}

bool removeJournal(const std::string& path) { return state().journals.erase(path) == 1; }

bool replaceJournal(const std::string& from, const std::string& to) {
    auto found = state().journals.find(from);
    if (found == state().journals.end() || fake::fails("replaceJournal", to.c_str())) return false;
    state().journals[to] = found->second;
    state().journals.erase(from);
    return true;
}

bool birthTime(const char*, uint64_t*) { return false; }

const char* journalFolderVariables() { return "LOCALAPPDATA"; }

bool wholeSystemDirectory(const char* directory, std::size_t length, std::string& out) {
    out = fake::currentDirectory + std::string(directory, length);
    if (out.back() != '\\') out += '\\';
    return true;
}

bool takesDetour(const char*) { return false; }

bool fitsAsName(const char* name) { return std::strlen(name) <= 255; }

LetterCase carriedLetterCase(const char*, std::size_t, std::size_t* length, std::string*) {
    *length = 0;
    return LetterCase::none;
}

bool journalIdentity(const char*, const EntryIdentity& identity, EntryIdentity* kept) {
    *kept = identity;
    return true;
}

void joinRuns(const std::string&) {}
bool aloneInRuns() { return !fake::state().anotherRun; }

bool isSystemText(const char*, std::size_t) { return true; }

bool systemText(const char* text, std::string& out) {
    out = text;
    return true;
}

bool commandText(const char* system, std::string& out) {
    out = system;
    return true;
}

void writeOut(const char* bytes, std::size_t count) { state().out.append(bytes, count); }
void writeOutExactly(const char* bytes, std::size_t count) { state().out.append(bytes, count); }
char* outputRoom(std::size_t count) {
    // A console takes its lines through the stream, as the backends do.
    if (state().console || count > sizeof state().outputRoom) return nullptr;
    return state().outputRoom;
}
void keepOut(std::size_t count) { writeOut(state().outputRoom, count); }
void writeErr(const char* bytes, std::size_t count) { state().err.append(bytes, count); }
void writeErrExactly(const char* bytes, std::size_t count) { state().err.append(bytes, count); }
void flushOut() {}
bool outputFailed() { return state().outputFails; }
bool outputIsConsole() { return state().console; }
bool errorIsConsole() { return state().errorConsole; }

void exitProcess(int code) { throw fake::ExitCalled{code}; }

bool consoleRows(int* bufferRows, int* windowRows) {
    if (state().windowRows == 0) return false;
    *bufferRows = 300;
    *windowRows = state().windowRows;
    return true;
}

int readConsoleKey() {
    ++state().keysRead;
    if (state().keys.empty()) return -1;
    int key = state().keys.front();
    state().keys.pop_front();
    return key;
}

uint32_t GetTickCount() {
    uint32_t now = state().tick;
    state().tick += state().tickStep;
    return now;
}

void* allocate(std::size_t bytes) {
    long& left = state().allocationsUntilFailure;
    if (left == 0) return nullptr;
    if (left > 0) --left;
    return std::malloc(bytes ? bytes : 1);
}

void* reallocate(void* block, std::size_t bytes) {
    long& left = state().allocationsUntilFailure;
    if (left == 0) return nullptr;
    if (left > 0) --left;
    return std::realloc(block, bytes ? bytes : 1);
}

void release(void* block) { std::free(block); }

}  // namespace platform
