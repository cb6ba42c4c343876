#include "convert/journal.h"

#include <algorithm>
#include <cstring>

#include "sjis/sjis.h"

const char journalHeader[] = "tavisk journal 1\n";

namespace {

constexpr char journalSuffix[] = ".journal";
constexpr std::size_t suffixLength = sizeof journalSuffix - 1;
constexpr std::size_t digits = 8;

// The file of this run's journal, or of the last one read or tried.
std::string lastFile;

// Bytes that would end or split a line, and '%', are written escaped.
struct EscapeTable {
    bool escaped[256];
    constexpr EscapeTable() : escaped() {
        for (int c = 0; c < 256; ++c) escaped[c] = c <= 0x20 || c == '%' || c == 0x7F;
    }
};
constexpr EscapeTable escapeTable;

// Not 0 when one of the eight bytes of `w` may be escaped: it is below '&'
// (which takes in "!\"#$" too, told apart byte by byte after) or 0x7F.
inline uint64_t mayEscape(uint64_t w) {
    using namespace eightBytes;
    uint64_t del = w ^ (ones * 0x7F);
    return (((w - ones * '&') & ~w) | ((del - ones) & ~del)) & highs;
}

// Writes `text` at `p`, escaped; gives the end. `p` has room for three bytes
// for each of text's.
char* putEscapedAny(char* p, std::string_view text) {
    using namespace eightBytes;
    static const char hex[] = "0123456789ABCDEF";
    const char* s = text.data();
    std::size_t size = text.size(), plain = 0;
    // Most names need no escape: they are copied a word at a time as they are
    // checked.
    for (; plain + 8 <= size; plain += 8) {
        uint64_t w = load(s + plain);
        if (mayEscape(w)) break;
        std::memcpy(p + plain, &w, 8);
    }
    // Fewer than eight bytes left: the last eight, which overlap those copied.
    if (plain < size && plain + 8 > size && size >= 8) {
        uint64_t w = load(s + size - 8);
        if (!mayEscape(w)) {
            std::memcpy(p + size - 8, &w, 8);
            return p + size;
        }
    }
    p += plain;
    for (char ch : text.substr(plain)) {
        auto c = static_cast<unsigned char>(ch);
        if (!escapeTable.escaped[c]) {
            *p++ = ch;
            continue;
        }
        *p++ = '%';
        *p++ = hex[c >> 4];
        *p++ = hex[c & 15];
    }
    return p;
}

// The same, where a name of 8 to 16 bytes that needs no escape, the common
// case, is two words and no call.
inline char* putEscaped(char* p, std::string_view text) {
    using namespace eightBytes;
    std::size_t size = text.size();
    if (size < 8 || size > 16) return putEscapedAny(p, text);
    uint64_t first = load(text.data()), last = load(text.data() + size - 8);
    if (mayEscape(first) | mayEscape(last)) return putEscapedAny(p, text);
    std::memcpy(p, &first, 8);
    std::memcpy(p + size - 8, &last, 8);
    return p + size;
}

// Writes `n` in decimal at `p` (room for 20 bytes); gives the end.
char* putNumber(char* p, uint64_t n) {
    // Two digits at a time.
    static constexpr char pairs[] =
        "0001020304050607080910111213141516171819202122232425262728293031323334353637383940414243444546474849"
        "5051525354555657585960616263646566676869707172737475767778798081828384858687888990919293949596979899";
    // Up to eight digits, most file numbers: two halves of four in 32-bit
    // arithmetic, written as eight digits of which the leading zeros are
    // then passed over.
    if (n < 100000000) {
        auto v = static_cast<uint32_t>(n);
        uint32_t high = v / 10000, low = v - high * 10000;
        char eight[16] = {};  // the digits, then room for a copy of fixed size
        std::memcpy(eight, pairs + 2 * (high / 100), 2);
        std::memcpy(eight + 2, pairs + 2 * (high % 100), 2);
        std::memcpy(eight + 4, pairs + 2 * (low / 100), 2);
        std::memcpy(eight + 6, pairs + 2 * (low % 100), 2);
        std::size_t count = v >= 10000000 ? 8 : v >= 1000000 ? 7 : v >= 100000 ? 6 : v >= 10000 ? 5
                            : v >= 1000   ? 4 : v >= 100     ? 3 : v >= 10     ? 2 : 1;
        std::memcpy(p, eight + 8 - count, 8);  // what follows the digits is written over
        return p + count;
    }
    // Built at the end of 20 bytes, and copied as 20 bytes of a wider buffer:
    // a copy of fixed size needs no call.
    constexpr std::size_t width = 20;
    char text[2 * width];
    std::size_t at = width;
    // Four digits a step, in 32-bit arithmetic within the step.
    for (; n >= 10000; n /= 10000) {
        auto four = static_cast<uint32_t>(n % 10000);
        std::memcpy(text + (at -= 2), pairs + 2 * (four % 100), 2);
        std::memcpy(text + (at -= 2), pairs + 2 * (four / 100), 2);
    }
    if (n >= 100) {
        std::memcpy(text + (at -= 2), pairs + 2 * (n % 100), 2);
        n /= 100;
    }
    if (n >= 10)
        std::memcpy(text + (at -= 2), pairs + 2 * n, 2);
    else
        text[--at] = static_cast<char>('0' + n);
    std::memcpy(p, text + at, width);
    return p + (width - at);
}

// Room in `text` for a line of a tag, a number and escaped texts of `length`
// bytes in all.
char* lineRoom(GrowingText& text, std::size_t length) { return text.room(3 * length + 32); }

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// One field of a line, up to a blank or the line's end.
bool readField(const char*& p, const char* end, std::string& out) {
    out.clear();
    for (; p < end && *p != ' '; ++p) {
        if (escapeTable.escaped[static_cast<unsigned char>(*p)] && *p != '%') return false;
        if (*p != '%') {
            out += *p;
            continue;
        }
        if (end - p < 3 || hexValue(p[1]) < 0 || hexValue(p[2]) < 0) return false;
        out += static_cast<char>(hexValue(p[1]) * 16 + hexValue(p[2]));
        p += 2;
    }
    if (p < end) ++p;  // the blank
    return !out.empty();
}

bool readNumber(const char*& p, const char* end, uint64_t& n) {
    std::string field;
    if (!readField(p, end, field) || field.size() > 20) return false;
    n = 0;
    for (char c : field) {
        if (c < '0' || c > '9') return false;
        uint64_t next = n * 10 + static_cast<uint64_t>(c - '0');
        if (next / 10 != n) return false;
        n = next;
    }
    return true;
}

// The number in a journal file's name; 0 for any other name.
unsigned long journalNumber(const char* name) {
    if (std::strlen(name) != digits + suffixLength || std::strcmp(name + digits, journalSuffix) != 0) return 0;
    unsigned long n = 0;
    for (std::size_t i = 0; i < digits; ++i) {
        if (name[i] < '0' || name[i] > '9') return 0;
        n = n * 10 + static_cast<unsigned long>(name[i] - '0');
    }
    return n;
}

std::string journalName(unsigned long number) {
    std::string name(digits, '0');
    for (std::size_t i = digits; i-- > 0; number /= 10) name[i] = static_cast<char>('0' + number % 10);
    return name + journalSuffix;
}

void collectNumber(const char* name, void* context) {
    if (unsigned long n = journalNumber(name)) static_cast<std::vector<unsigned long>*>(context)->push_back(n);
}

// The numbers of the journals in `folder`, oldest first.
bool journalNumbers(const std::string& folder, std::vector<unsigned long>& numbers) {
    numbers.clear();
    if (!platform::listJournalFolder(folder, collectNumber, &numbers)) return false;
    std::sort(numbers.begin(), numbers.end());
    return true;
}

// Lets the oldest journals go so that, with the one being made, the kept
// number remains. One that another process holds stays.
void pruneJournals(const std::string& folder, const std::vector<unsigned long>& numbers) {
    std::size_t excess = numbers.size() + 1 > keptJournals ? numbers.size() + 1 - keptJournals : 0;
    for (std::size_t i = 0; i < excess; ++i) {
        std::string file = folder + journalName(numbers[i]);
        platform::JournalHandle handle;
        if (platform::openJournal(file, &handle) != platform::JournalOpen::opened) continue;
        platform::closeJournal(handle);
        platform::removeJournal(file);
    }
}

// A rename recorded ahead: the entry, its path as it was given (which lasts
// as long as the window), and where its new path stands in the writer's
// `aheadText`, with a terminator.
struct Ahead {
    platform::EntryIdentity identity;
    std::size_t at, pathLength;
    const char* given;
};

// This run's journal.
struct Writer {
    bool on = false;
    platform::JournalHandle handle = nullptr;
    JournalText journal;
    // The last directory part as the command gave it, and its whole form.
    std::string commandDirectory, systemDirectory;
    bool directoryKnown = false;
    bool directoryLined = false;  // the journal's last "D" line is of it
    std::string oldName, newName;  // scratch
    std::vector<Ahead> ahead;
    GrowingText aheadText;
    std::size_t cursor = 0;  // the first record ahead not yet met
    bool windowWritten = false;
};
Writer writer;

// The journals' folder and the numbers of the journals in it, oldest first;
// false, with the folder as the file to name, when it cannot be had.
bool journalFolderAndNumbers(std::string& folder, std::vector<unsigned long>& numbers) {
    if (platform::journalFolder(folder) && journalNumbers(folder, numbers)) return true;
    lastFile = folder;
    return false;
}

// Makes the journal's file, its header first.
bool makeJournalFile() {
    std::string folder;
    std::vector<unsigned long> numbers;
    if (!journalFolderAndNumbers(folder, numbers)) return false;
    // Another run may take a number at the same moment: the next one is tried.
    unsigned long next = numbers.empty() ? 1 : numbers.back() + 1;
    bool taken = true;
    for (int tries = 0; tries < 100 && !writer.handle && taken; ++tries, ++next) {
        lastFile = folder + journalName(next);
        writer.handle = platform::createJournal(lastFile, &taken);
    }
    if (!writer.handle) return false;
    pruneJournals(folder, numbers);
    std::string pending(writer.journal.text.view());
    writer.journal.text.clear();
    writer.journal.text.append(journalHeader);
    writer.journal.text.append(pending);
    return true;
}

enum class Added { added, unexpressible, failed };

// The lines of one rename, after a "D" line where `anotherDirectory`, or the
// journal's last one is of another volume or there is none yet.
void appendLines(JournalText& journal, bool anotherDirectory, std::string_view directory,
                 const platform::EntryIdentity& identity, std::string_view oldName, std::string_view newName);

// Adds the record of one rename to the text to be written: `path` (its final
// component at `nameAt`) to `newName`.
Added addRecord(std::string_view path, std::size_t nameAt, const platform::EntryIdentity& identity,
                std::string_view newName) {
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
    bool lined = writer.directoryLined;
    if (platform::commandTextIsSystemText()) {
        appendLines(writer.journal, !lined, writer.systemDirectory, identity, path.substr(nameAt), newName);
    } else {
        // A name the system cannot be given cannot be renamed either.
        if (!platform::systemText(path.data() + nameAt, writer.oldName) ||
            !platform::systemText(newName.data(), writer.newName))
            return Added::unexpressible;
        appendLines(writer.journal, !lined, writer.systemDirectory, identity, writer.oldName, writer.newName);
    }
    writer.directoryLined = true;
    return Added::added;
}

bool writeRecords() {
    if (writer.journal.text.size == 0) return true;
    if (!writer.handle && !makeJournalFile()) return false;
    bool written = platform::appendJournal(writer.handle, writer.journal.text.data(), writer.journal.text.size);
    writer.journal.text.clear();
    return written;
}

}  // namespace

void appendJournalRecord(JournalText& journal, std::string_view directory, const platform::EntryIdentity& identity,
                         std::string_view oldName, std::string_view newName) {
    appendLines(journal, journal.directed && journal.directory != directory, directory, identity, oldName, newName);
}

namespace {

void appendLines(JournalText& journal, bool anotherDirectory, std::string_view directory,
                 const platform::EntryIdentity& identity, std::string_view oldName, std::string_view newName) {
    if (anotherDirectory || !journal.directed || journal.volume != identity.volume) {
        char* line = lineRoom(journal.text, directory.size());
        char* p = line;
        *p++ = 'D';
        *p++ = ' ';
        p = putNumber(p, identity.volume);
        *p++ = ' ';
        p = putEscaped(p, directory);
        *p++ = '\n';
        journal.text.keep(static_cast<std::size_t>(p - line));
        journal.directory.assign(directory);
        journal.volume = identity.volume;
        journal.directed = true;
    }
    char* line = lineRoom(journal.text, oldName.size() + newName.size());
    char* p = line;
    *p++ = 'R';
    *p++ = ' ';
    p = putNumber(p, identity.file);
    *p++ = ' ';
    p = putEscaped(p, oldName);
    *p++ = ' ';
    p = putEscaped(p, newName);
    *p++ = '\n';
    journal.text.keep(static_cast<std::size_t>(p - line));
}

}  // namespace

bool parseJournal(const std::string& text, std::vector<JournalRecord>& records, unsigned long* badLine) {
    records.clear();
    std::size_t headerLength = sizeof journalHeader - 1;
    *badLine = 1;
    // A file just made, or whose first write was cut short, holds no rename.
    if (text.size() < headerLength && text.compare(0, text.size(), journalHeader, text.size()) == 0) return true;
    if (text.compare(0, headerLength, journalHeader) != 0) return false;
    std::string directory;
    uint64_t volume = 0;
    bool directed = false;
    for (std::size_t at = headerLength; at < text.size();) {
        ++*badLine;
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos) break;  // cut short: its renames were never begun
        const char* p = text.data() + at;
        const char* stop = text.data() + end;
        at = end + 1;
        if (stop - p < 2 || p[1] != ' ') return false;
        char kind = p[0];
        p += 2;
        if (kind == 'D') {
            if (!readNumber(p, stop, volume) || !readField(p, stop, directory) || p != stop) return false;
            directed = true;
            continue;
        }
        JournalRecord record;
        if (kind != 'R' || !directed || !readNumber(p, stop, record.identity.file) ||
            !readField(p, stop, record.oldName) || !readField(p, stop, record.newName) || p != stop)
            return false;
        record.directory = directory;
        record.identity.volume = volume;
        records.push_back(std::move(record));
    }
    return true;
}

void startJournal(bool on) {
    writer = Writer{};
    writer.on = on;
}

bool journalIsOn() { return writer.on; }

std::string journalFileText() {
    std::string shown;
    return platform::commandText(lastFile.c_str(), shown) ? shown : lastFile;
}

int recordAhead(std::string_view path, std::size_t nameAt, const platform::EntryIdentity& identity,
                std::string_view newName) {
    if (!writer.on) return -1;
    // A new window: the renames of the last one have all been met or passed.
    if (writer.windowWritten) {
        writer.ahead.clear();
        writer.aheadText.clear();
        writer.cursor = 0;
        writer.windowWritten = false;
    }
    if (addRecord(path, nameAt, identity, newName) != Added::added) return -1;
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
bool isRecordOf(const Ahead& a, const char* path) {
    return a.given == path || (std::strncmp(a.given, path, a.pathLength) == 0 && path[a.pathLength] == '\0');
}

// The new path that `a` records.
const char* newPathOf(const Ahead& a) { return writer.aheadText.data() + a.at; }

}  // namespace

const char* plannedPath(int record, const char* path) {
    if (record < 0 || !writer.windowWritten || static_cast<std::size_t>(record) >= writer.ahead.size()) return nullptr;
    const Ahead& a = writer.ahead[static_cast<std::size_t>(record)];
    return isRecordOf(a, path) ? newPathOf(a) : nullptr;  // only the record of this very path gives its new one
}

bool writeAhead() {
    writer.windowWritten = true;
    return !writer.on || writeRecords();
}

bool journalCovers(const char* path, std::size_t nameAt, const platform::EntryIdentity& identity,
                   const char* newPath) {
    if (!writer.on) return true;
    for (std::size_t i = writer.cursor; i < writer.ahead.size(); ++i) {
        const Ahead& a = writer.ahead[i];
        const char* planned = newPathOf(a);  // a rename given its record's own path needs no comparison
        if (a.identity == identity && isRecordOf(a, path) &&
            (planned == newPath || std::strcmp(planned, newPath) == 0)) {
            writer.cursor = i + 1;
            return true;
        }
    }
    switch (addRecord(path, nameAt, identity, newPath + nameAt)) {
        case Added::unexpressible: return true;
        case Added::failed: return false;
        case Added::added: break;
    }
    return writeRecords();
}

void endJournal() {
    if (writer.handle) platform::closeJournal(writer.handle);
    writer = Writer{};
}

bool journalFiles(std::vector<std::string>& files) {
    files.clear();
    std::string folder;
    std::vector<unsigned long> numbers;
    if (!journalFolderAndNumbers(folder, numbers)) return false;
    for (auto n = numbers.rbegin(); n != numbers.rend(); ++n) files.push_back(folder + journalName(*n));
    return true;
}

LoadedJournal loadJournal(const std::string& file) {
    LoadedJournal loaded;
    lastFile = file;
    switch (platform::openJournal(file, &loaded.handle)) {
        case platform::JournalOpen::opened: break;
        case platform::JournalOpen::missing: loaded.result = JournalRead::missing; return loaded;
        case platform::JournalOpen::busy: loaded.result = JournalRead::busy; return loaded;
        case platform::JournalOpen::failed: loaded.result = JournalRead::unreadable; return loaded;
    }
    std::string text;
    if (!platform::readJournal(loaded.handle, text)) loaded.result = JournalRead::unreadable;
    else if (!parseJournal(text, loaded.records, &loaded.line)) loaded.result = JournalRead::damaged;
    else loaded.result = JournalRead::read;
    return loaded;
}

void letGoOfJournal(LoadedJournal& journal, const std::string& file, bool remove) {
    if (journal.handle) platform::closeJournal(journal.handle);
    journal.handle = nullptr;
    // Closed first: Windows removes no file that is open.
    if (remove) platform::removeJournal(file);
}
