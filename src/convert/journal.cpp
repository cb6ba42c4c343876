#include "convert/journal.h"

#include <algorithm>
#include <cstring>

#include "sjis/sjis.h"

namespace {

constexpr char journalSuffix[] = ".journal";
constexpr std::size_t suffixLength = sizeof journalSuffix - 1;
constexpr std::size_t digits = 8;
constexpr std::size_t maxDigits = 18;  // within 64 bits

// The number in a journal file's name: eight digits or more (a run after
// 99999999 takes nine, and still sorts after it); 0 for any other name.
uint64_t journalNumber(const char* name) {
    std::size_t n = std::strlen(name);
    if (n < digits + suffixLength || n > maxDigits + suffixLength ||
        std::strcmp(name + n - suffixLength, journalSuffix) != 0)
        return 0;
    uint64_t number = 0;
    for (std::size_t i = 0; i + suffixLength < n; ++i) {
        if (name[i] < '0' || name[i] > '9') return 0;
        number = number * 10 + static_cast<uint64_t>(name[i] - '0');
    }
    return number;
}

std::string journalName(uint64_t number) {
    std::string name = std::to_string(number);
    if (name.size() < digits) name.insert(0, digits - name.size(), '0');
    return name + journalSuffix;
}

void collectNumber(const char* name, void* context) {
    if (uint64_t n = journalNumber(name)) static_cast<std::vector<uint64_t>*>(context)->push_back(n);
}

// The numbers of the journals in `folder`, oldest first.
bool journalNumbers(const std::string& folder, std::vector<uint64_t>& numbers) {
    numbers.clear();
    if (!platform::listJournalFolder(folder, collectNumber, &numbers)) return false;
    std::sort(numbers.begin(), numbers.end());
    return true;
}

// Lets the oldest journals go so that, with the one being made, the kept
// number remains. One that another process holds stays.
void pruneJournals(const std::string& folder, const std::vector<uint64_t>& numbers) {
    std::size_t excess = numbers.size() + 1 > platform::keptJournals ? numbers.size() + 1 - platform::keptJournals : 0;
    for (std::size_t i = 0; i < excess; ++i) {
        std::string file = folder + journalName(numbers[i]);
        platform::JournalHandle handle;
        if (platform::openJournal(file, &handle) != platform::JournalOpen::opened) continue;
        platform::closeJournal(handle);
        platform::removeJournal(file);
    }
}


// The name among `records` in `directory` whose checksum is `sum`.
bool nameAmong(const std::vector<JournalRecord>& records, const std::string& directory, uint64_t sum,
               std::string& name) {
    for (const JournalRecord& r : records) {
        if (r.directory != directory) continue;
        // A run moved its old name aside, an undo its new one.
        for (const std::string* candidate : {&r.oldName, &r.newName})
            if (windowChecksum(candidate->data(), candidate->size()) == sum) {
                name = *candidate;
                return true;
            }
    }
    return false;
}

// The journals' folder and the numbers of the journals in it, oldest first;
// false, with the folder as the file to name, when it cannot be had.
bool journalFolderAndNumbers(Journal& journal, std::string& folder, std::vector<uint64_t>& numbers) {
    if (platform::journalFolder(folder) && journalNumbers(folder, numbers)) return true;
    journal.lastFile = folder;
    return false;
}

// Makes the journal's file, its header first.
bool makeJournalFile(Journal& journal) {
    Journal::Writer& writer = journal.writer;
    std::string folder;
    std::vector<uint64_t> numbers;
    if (!journalFolderAndNumbers(journal, folder, numbers)) return false;
    // Another run may take a number at the same moment: the next one is tried.
    uint64_t next = numbers.empty() ? 1 : numbers.back() + 1;
    bool taken = true;
    for (int tries = 0; tries < 100 && !writer.handle && taken; ++tries, ++next) {
        journal.lastFile = folder + journalName(next);
        writer.handle = platform::createJournal(journal.lastFile, &taken);
    }
    if (!writer.handle) return false;
    pruneJournals(folder, numbers);
    std::string pending(writer.journal.text.view());
    writer.journal.text.clear();
    writer.journal.text.append(journalHeader);
    writer.journal.sealedTo = std::strlen(journalHeader);
    // When and where, in the first window: what is listed was begun before it.
    JournalRun run;
    run.known = true;
    run.startedAt = timeNow();
    if (!platform::wholeSystemDirectory("", 0, run.folder)) run.folder.clear();
    appendRunLine(writer.journal, run);
    writer.journal.text.append(pending);
    return true;
}

enum class Added { added, unexpressible, failed };

// Adds the record of one rename to the text to be written: `path` (its final
// component at `nameAt`) to `newName`.
Added addRecord(Journal& journal, std::string_view path, std::size_t nameAt, const platform::EntryIdentity& identity,
                std::string_view newName) {
    Journal::Writer& writer = journal.writer;
    // A window begins with its time: every entry in it was listed by then.
    if (!writer.timed) {
        appendTimeLine(writer.journal, timeNow());
        writer.timed = true;
    }
    // Another directory part than the last record's gets its "D" line at once
    // (one that comes to the same directory again does no harm); the same one
    // needs no comparison of the whole directory.
    if (!writer.directoryKnown || writer.commandDirectory.size() != nameAt ||
        (nameAt != 0 && std::memcmp(writer.commandDirectory.data(), path.data(), nameAt) != 0)) {
        writer.directoryKnown = writer.directoryLined = false;
        writer.commandDirectory.assign(path.data(), nameAt);
        if (!platform::wholeSystemDirectory(path.data(), nameAt, writer.systemDirectory)) return Added::failed;
        writer.directoryKnown = true;
    }
    // What names the entry from run to run, where file numbers do not; a
    // volume whose numbers last is asked of once.
    platform::EntryIdentity kept = identity;
    if (!writer.lastingKnown || writer.lastingVolume != identity.volume) {
        if (!platform::journalIdentity(path.data(), identity, &kept)) return Added::failed;
        writer.lastingKnown = kept == identity;
        writer.lastingVolume = identity.volume;
    }
    bool lined = writer.directoryLined;
    std::string_view oldName = path.substr(nameAt);
    if (platform::isSystemText(oldName.data(), oldName.size()) &&
        platform::isSystemText(newName.data(), newName.size())) {
        appendJournalLines(writer.journal, !lined, writer.systemDirectory, kept, oldName, newName);
    } else {
        // A name the system cannot be given cannot be renamed either.
        if (!platform::systemText(path.data() + nameAt, writer.oldName) ||
            !platform::systemText(newName.data(), writer.newName))
            return Added::unexpressible;
        appendJournalLines(writer.journal, !lined, writer.systemDirectory, kept, writer.oldName, writer.newName);
    }
    writer.directoryLined = true;
    return Added::added;
}

bool writeRecords(Journal& journal) {
    Journal::Writer& writer = journal.writer;
    if (writer.journal.text.size == 0) return true;
    if (!writer.handle && !makeJournalFile(journal)) return false;
    sealJournalWindow(writer.journal);
    // On the disk before any rename it covers: a power cut leaves a journal
    // that holds every rename made.
    bool written = platform::appendJournal(writer.handle, writer.journal.text.data(), writer.journal.text.size) &&
                   platform::syncJournal(writer.handle);
    writer.journal.text.clear();
    writer.journal.sealedTo = 0;
    writer.timed = false;
    return written;
}

}  // namespace

void startJournal(Journal& journal, bool on, bool joinRuns) {
    Journal::Writer& writer = journal.writer;
    writer = Journal::Writer{};
    writer.on = on;
    std::string folder;
    if (joinRuns && platform::journalFolder(folder)) platform::joinRuns(folder);
}

bool journalIsOn(const Journal& journal) { return journal.writer.on; }

std::string journalFileText(const Journal& journal) {
        std::string shown;
    return platform::commandText(journal.lastFile.c_str(), shown) ? shown : journal.lastFile;
}

int recordAhead(Journal& journal, std::string_view path, std::size_t nameAt, const platform::EntryIdentity& identity,
                std::string_view newName) {
    Journal::Writer& writer = journal.writer;
    if (!writer.on) return -1;
    // A new window: the renames of the last one have all been met or passed.
    if (writer.windowWritten) {
        writer.ahead.clear();
        writer.aheadText.clear();
        writer.cursor = 0;
        writer.windowWritten = false;
    }
    if (addRecord(journal, path, nameAt, identity, newName) != Added::added) return -1;
    // The path, then the new one: its directory part and the new name.
    std::size_t nameLength = newName.size();
    std::size_t at = writer.aheadText.size, size = nameAt + nameLength + 1;
    writer.ahead.push_back({identity, at, path.size(), path.data()});
    char* text = writer.aheadText.room(size);
    eightBytes::copy(text, path.data(), nameAt);
    eightBytes::copy(text + nameAt, newName.data(), nameLength);
    text[size - 1] = '\0';
    writer.aheadText.keep(size);
    return static_cast<int>(writer.ahead.size() - 1);
}

namespace {

// True when `a` records a rename of `path`: the very text it was given, or
// the same bytes.
bool isRecordOf(const JournalAhead& a, const char* path) {
    return a.given == path || (std::strncmp(a.given, path, a.pathLength) == 0 && path[a.pathLength] == '\0');
}

// The new path that `a` records.
const char* newPathOf(const Journal& journal, const JournalAhead& a) { return journal.writer.aheadText.data() + a.at; }

}  // namespace

const char* plannedPath(const Journal& journal, int record, const char* path) {
    const Journal::Writer& writer = journal.writer;
    if (record < 0 || !writer.windowWritten || static_cast<std::size_t>(record) >= writer.ahead.size()) return nullptr;
    const JournalAhead& a = writer.ahead[static_cast<std::size_t>(record)];
    // Only the record of this very path gives its new one.
    return isRecordOf(a, path) ? newPathOf(journal, a) : nullptr;
}

bool writeAhead(Journal& journal) {
    Journal::Writer& writer = journal.writer;
    writer.windowWritten = true;
    return !writer.on || writeRecords(journal);
}

bool journalCovers(Journal& journal, const char* path, std::size_t nameAt, const platform::EntryIdentity& identity,
                   const char* newPath) {
    Journal::Writer& writer = journal.writer;
    if (!writer.on) return true;
    for (std::size_t i = writer.cursor; i < writer.ahead.size(); ++i) {
        const JournalAhead& a = writer.ahead[i];
        const char* planned = newPathOf(journal, a);  // a rename given its record's own path needs no comparison
        if (a.identity == identity && isRecordOf(a, path) &&
            (planned == newPath || std::strcmp(planned, newPath) == 0)) {
            writer.cursor = i + 1;
            return true;
        }
    }
    switch (addRecord(journal, path, nameAt, identity, newPath + nameAt)) {
        case Added::unexpressible: return true;
        case Added::failed: return false;
        case Added::added: break;
    }
    return writeRecords(journal);
}

void endJournal(Journal& journal) {
    Journal::Writer& writer = journal.writer;
    if (writer.handle) platform::closeJournal(writer.handle);
    writer = Journal::Writer{};
}

bool journalFiles(Journal& journal, std::vector<std::string>& files) {
    files.clear();
    std::string folder;
    std::vector<uint64_t> numbers;
    if (!journalFolderAndNumbers(journal, folder, numbers)) return false;
    for (auto n = numbers.rbegin(); n != numbers.rend(); ++n) files.push_back(folder + journalName(*n));
    return true;
}

LoadedJournal loadJournal(Journal& journal, const std::string& file) {
    LoadedJournal loaded;
    journal.lastFile = file;
    switch (platform::openJournal(file, &loaded.handle)) {
        case platform::JournalOpen::opened: break;
        case platform::JournalOpen::missing: loaded.result = JournalRead::missing; return loaded;
        case platform::JournalOpen::busy: loaded.result = JournalRead::busy; return loaded;
        case platform::JournalOpen::failed: loaded.result = JournalRead::unreadable; return loaded;
    }
    std::string text;
    if (!platform::readJournal(loaded.handle, text)) loaded.result = JournalRead::unreadable;
    else if (!parseJournal(text, loaded.contents, &loaded.line)) loaded.result = JournalRead::damaged;
    else loaded.result = JournalRead::read;
    return loaded;
}

bool recordedName(Journal& journal, const std::string& directory, uint64_t sum, std::string& name) {
    Journal::Writer& writer = journal.writer;
    // The journal this undo holds is busy to any other look.
    if (writer.undoing && nameAmong(*writer.undoing, directory, sum, name)) return true;
    std::vector<std::string> files;
    if (!journalFiles(journal, files)) return false;
    std::string keptLast = journal.lastFile;  // a look for a name is no journal to name in messages
    bool found = false;
    for (const std::string& file : files) {
        LoadedJournal loaded = loadJournal(journal, file);
        found = loaded.result == JournalRead::read && nameAmong(loaded.contents.records, directory, sum, name);
        letGoOfJournal(loaded, file, false);
        if (found) break;
    }
    journal.lastFile = keptLast;
    return found;
}

void undoingRecords(Journal& journal, const std::vector<JournalRecord>* records) { journal.writer.undoing = records; }

bool renamesAreRecorded(const Journal& journal) { return journal.writer.on || journal.writer.undoing; }

bool markUndoBegun(LoadedJournal& journal) {
    if (journal.contents.undoBegun) return true;
    // A line cut short is ended first, so that the mark is a line of its own.
    std::string mark = journal.contents.endsInLine ? undoBegunLine : std::string("\n") + undoBegunLine;
    if (!platform::appendJournal(journal.handle, mark.data(), mark.size()) || !platform::syncJournal(journal.handle))
        return false;
    journal.contents.undoBegun = true;
    journal.contents.endsInLine = true;
    return true;
}

bool keepOnly(LoadedJournal& journal, const std::string& file, const std::vector<JournalRecord>& records) {
    JournalText text;
    text.text.append(journalHeader);
    text.sealedTo = text.text.size;
    if (journal.contents.run.known) appendRunLine(text, journal.contents.run);
    for (const JournalRecord& r : records) {
        if (r.listedBy != text.windowTime) appendTimeLine(text, r.listedBy);
        appendJournalRecord(text, r.directory, r.identity, r.oldName, r.newName);
    }
    sealJournalWindow(text);
    // Written whole beside the journal, then put in its place: a cut leaves
    // one or the other, never a part.
    std::string kept = file + ".kept";
    platform::removeJournal(kept);
    bool taken = false;
    platform::JournalHandle handle = platform::createJournal(kept, &taken);
    if (!handle) return false;
    bool written = platform::appendJournal(handle, text.text.data(), text.text.size) && platform::syncJournal(handle);
    platform::closeJournal(handle);
    if (journal.handle) platform::closeJournal(journal.handle);
    journal.handle = nullptr;
    if (written && platform::replaceJournal(kept, file)) return true;
    platform::removeJournal(kept);
    return false;
}

void letGoOfJournal(LoadedJournal& journal, const std::string& file, bool remove) {
    if (journal.handle) platform::closeJournal(journal.handle);
    journal.handle = nullptr;
    // Closed first: Windows removes no file that is open.
    if (remove) platform::removeJournal(file);
}
