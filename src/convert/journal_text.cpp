#include "convert/journal_text.h"

#include <chrono>

#include "sjis/sjis.h"

const char journalHeader[] = "tavisk journal 2\n";
const char uncheckedJournalHeader[] = "tavisk journal 1\n";
const char undoBegunLine[] = "U\n";

namespace {

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

// The "C" line: the tag and sixteen hex digits.
constexpr std::size_t sealLength = 2 + 16 + 1;

}  // namespace

bool readChecksum(const char* p, const char* end, uint64_t& sum) {
    if (end - p != 16) return false;
    sum = 0;
    for (; p < end; ++p) {
        int v = hexValue(*p);
        if (v < 0) return false;
        sum = sum << 4 | static_cast<uint64_t>(v);
    }
    return true;
}

char* putChecksum(char* p, uint64_t sum) {
    static const char hex[] = "0123456789ABCDEF";
    for (int shift = 60; shift >= 0; shift -= 4) *p++ = hex[(sum >> shift) & 15];
    return p;
}

namespace {

// What a line of a sealed window adds.
bool readLine(char kind, const char* p, const char* stop, unsigned long line, JournalText& state,
              JournalContents& contents) {
    std::vector<JournalRecord>& records = contents.records;
    if (kind == 'W') {
        contents.run.known = readNumber(p, stop, contents.run.startedAt) && readField(p, stop, contents.run.folder);
        return contents.run.known && p == stop;
    }
    if (kind == 'T') return readNumber(p, stop, state.windowTime) && p == stop;
    if (kind == 'D') {
        if (!readNumber(p, stop, state.volume) || !readField(p, stop, state.directory) || p != stop) return false;
        state.directed = true;
        return true;
    }
    JournalRecord record;
    if (kind != 'R' || !state.directed || !readNumber(p, stop, record.identity.file) ||
        !readField(p, stop, record.oldName) || !readField(p, stop, record.newName) || p != stop)
        return false;
    record.directory = state.directory;
    record.identity.volume = state.volume;
    record.line = line;
    record.listedBy = state.windowTime;
    records.push_back(std::move(record));
    return true;
}

}  // namespace

uint64_t windowChecksum(const char* bytes, std::size_t n) {
    // A word at a time, each mixed in by a multiply: a window costs little
    // beside the names it holds, and any changed, lost or moved byte shows.
    constexpr uint64_t mix = 0xFF51AFD7ED558CCDu;
    uint64_t sum = 0x9E3779B97F4A7C15u ^ n;
    std::size_t at = 0;
    for (; at + 8 <= n; at += 8) {
        uint64_t w = sum ^ eightBytes::load(bytes + at);
        sum = (w << 29 | w >> 35) * mix;  // the turn brings high bits down
    }
    uint64_t last = 0;
    std::memcpy(&last, bytes + at, n - at);
    sum = (sum ^ last) * mix;
    sum ^= sum >> 33;
    sum *= 0xC4CEB9FE1A85EC53u;
    return sum ^ (sum >> 33);
}

void appendJournalRecord(JournalText& journal, std::string_view directory, const platform::EntryIdentity& identity,
                         std::string_view oldName, std::string_view newName) {
    appendJournalLines(journal, journal.directed && journal.directory != directory, directory, identity, oldName,
                       newName);
}

void appendJournalLines(JournalText& journal, bool anotherDirectory, std::string_view directory,
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

uint64_t timeNow() {
    auto since = std::chrono::system_clock::now().time_since_epoch();
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(since).count());
}

void appendTimeLine(JournalText& journal, uint64_t time) {
    char* line = lineRoom(journal.text, 0);
    char* p = line;
    *p++ = 'T';
    *p++ = ' ';
    p = putNumber(p, time);
    *p++ = '\n';
    journal.text.keep(static_cast<std::size_t>(p - line));
    journal.windowTime = time;
}

void appendRunLine(JournalText& journal, const JournalRun& run) {
    char* line = lineRoom(journal.text, run.folder.size());
    char* p = line;
    *p++ = 'W';
    *p++ = ' ';
    p = putNumber(p, run.startedAt);
    *p++ = ' ';
    p = putEscaped(p, run.folder);
    *p++ = '\n';
    journal.text.keep(static_cast<std::size_t>(p - line));
}

void sealJournalWindow(JournalText& journal) {
    std::size_t from = std::min(journal.sealedTo, journal.text.size);
    uint64_t sum = windowChecksum(journal.text.data() + from, journal.text.size - from);
    char* p = journal.text.room(sealLength);
    *p++ = 'C';
    *p++ = ' ';
    p = putChecksum(p, sum);
    *p = '\n';
    journal.text.keep(sealLength);
    journal.sealedTo = journal.text.size;
}

bool parseJournal(const std::string& text, JournalContents& contents, unsigned long* badLine) {
    contents = JournalContents{};
    contents.endsInLine = text.empty() || text.back() == '\n';
    std::size_t headerLength = std::strlen(journalHeader);
    *badLine = 1;
    // A file just made, or whose first write was cut short, holds no rename.
    if (text.size() < headerLength && text.compare(0, text.size(), journalHeader, text.size()) == 0) return true;
    bool checked = text.compare(0, headerLength, journalHeader) == 0;
    if (!checked && text.compare(0, headerLength, uncheckedJournalHeader) != 0) return false;
    JournalText state;
    // Where the window not yet sealed begins, and at which line.
    std::size_t windowAt = headerLength;
    unsigned long windowLine = 2;
    for (std::size_t at = headerLength; at < text.size();) {
        ++*badLine;
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos) break;  // cut short: its renames were never begun
        const char* p = text.data() + at;
        const char* stop = text.data() + end;
        std::size_t lineAt = at;
        at = end + 1;
        if (stop - p == 1 && p[0] == 'U') {
            // An undo begins only after the run: a window it left unsealed
            // was cut short.
            contents.undoBegun = true;
            windowAt = at;
            windowLine = *badLine + 1;
            continue;
        }
        if (!checked) {
            if (stop - p < 2 || p[1] != ' ' || !readLine(p[0], p + 2, stop, *badLine, state, contents))
                return false;
            continue;
        }
        if (stop - p < 2 || p[0] != 'C' || p[1] != ' ') continue;  // read once its window proves whole
        uint64_t sum = 0;
        if (!readChecksum(p + 2, stop, sum) || sum != windowChecksum(text.data() + windowAt, lineAt - windowAt))
            return false;
        // The window's lines, each in turn.
        unsigned long sealLine = *badLine;
        *badLine = windowLine - 1;
        for (std::size_t w = windowAt; w < lineAt;) {
            ++*badLine;
            std::size_t e = text.find('\n', w);
            const char* q = text.data() + w;
            if (e - w < 2 || q[1] != ' ' || !readLine(q[0], q + 2, text.data() + e, *badLine, state, contents))
                return false;
            w = e + 1;
        }
        *badLine = sealLine;
        windowAt = at;
        windowLine = sealLine + 1;
    }
    return true;
}
