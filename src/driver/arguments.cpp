#include "driver/arguments.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <new>
#include <utility>
#include <vector>

#include "convert/path.h"
#include "convert/rename.h"
#include "driver/argument_list.h"
#include "driver/settings.h"
#include "platform/platform.h"
#include "sjis/sjis.h"

namespace {

inline bool isBlankOrTab(char c) { return c == ' ' || c == '\t'; }
inline bool isLead(char c) { return isSjisLead(static_cast<unsigned char>(c)); }

// Builds one argument into `out` (room for the rest of the text) and gives the
// position after it.
const char* splitArgument(const char* p, char* out) {
    bool inQuotes = false;
    std::size_t n = 0;
    for (;;) {
        std::size_t backslashes = 0;
        while (*p == '\\') {
            ++backslashes;
            ++p;
        }
        if (*p == '"') {
            for (std::size_t i = 0; i < backslashes / 2; ++i) out[n++] = '\\';
            if (backslashes % 2 == 1) {
                out[n++] = '"';
                ++p;
                continue;
            }
            if (inQuotes && p[1] == '"') {
                out[n++] = '"';
                p += 2;
                inQuotes = false;
            } else {
                ++p;
                inQuotes = !inQuotes;
            }
            continue;
        }
        for (std::size_t i = 0; i < backslashes; ++i) out[n++] = '\\';
        if (*p == '\0' || (!inQuotes && isBlankOrTab(*p))) break;
        out[n++] = *p;
        if (isLead(*p) && p[1] != '\0') out[n++] = *++p;  // a second byte 0x5C is no backslash
        ++p;
    }
    out[n] = '\0';
    return p;
}

const char* splitProgramName(const char* p, char* out) {
    std::size_t n = 0;
    if (*p == '"') {
        ++p;
        while (*p && *p != '"') {
            if (isLead(*p) && p[1] != '\0') out[n++] = *p++;
            out[n++] = *p++;
        }
        if (*p == '"') ++p;
    } else {
        while (*p && !isBlankOrTab(*p)) {
            if (isLead(*p) && p[1] != '\0') out[n++] = *p++;
            out[n++] = *p++;
        }
        if (*p) ++p;  // the blank or tab that ends it
    }
    out[n] = '\0';
    return p;
}

}  // namespace

bool splitCommandLine(const char* commandLine, ArgumentList& out) {
    // No argument is longer than the line, so one scratch block serves all.
    std::size_t length = std::strlen(commandLine);
    char* scratch = static_cast<char*>(platform::allocate(length + 1));
    if (!scratch) return false;
    const char* p = splitProgramName(commandLine, scratch);
    bool ok = appendCopy(out, scratch);
    for (;;) {
        if (!ok) break;
        while (isBlankOrTab(*p)) ++p;
        if (*p == '\0') break;
        p = splitArgument(p, scratch);
        ok = appendCopy(out, scratch);
    }
    platform::release(scratch);
    return ok;
}


namespace {

// Sorts items[first..count) as sortMatches says, and moves payload[i - first],
// where there is one, along with each text. The first `skip` bytes are the
// same in every text.
template <typename Payload>
void sortWith(ArgumentList& list, int first, Payload* payload, std::size_t skip = 0) {
    const int n = list.count - first;
    char** items = list.items + first;
    std::vector<int> order = sortedOrder(items, n, skip);
    // Each cycle of the new order is moved round at once: no copy is made.
    for (int i = 0; i < n; ++i) {
        if (order[static_cast<std::size_t>(i)] < 0) continue;
        char* text = items[i];
        Payload held = payload ? payload[i] : Payload{};
        for (int j = i;;) {
            int k = order[static_cast<std::size_t>(j)];
            order[static_cast<std::size_t>(j)] = -1;
            if (k == i) {
                items[j] = text;
                if (payload) payload[j] = held;
                break;
            }
            items[j] = items[k];
            if (payload) payload[j] = payload[k];
            j = k;
        }
    }
}

}  // namespace

void sortMatches(ArgumentList& list, int first) { sortWith<int>(list, first, nullptr); }

using Place = Expansions::Place;
using Pattern = Expansions::Pattern;

bool isExpanded(const Expansions& expansions, char* const* vector, int index) {
    return vector && vector == expansions.vector && index >= 0 &&
           static_cast<std::size_t>(index) < expansions.places.size() &&
           expansions.places[static_cast<std::size_t>(index)].pattern != 0;
}

Expanded expansionAt(const Expansions& expansions, char* const* vector, int index) {
    Expanded e;
    if (!isExpanded(expansions, vector, index)) return e;
    const Place& p = expansions.places[static_cast<std::size_t>(index)];
    const Pattern& from = expansions.patterns[p.pattern - 1];
    e.pattern = from.text.get();
    e.nameAt = from.prefix;
    e.length = p.length;
    e.listed = {p.attributes, from.identified, {from.volume, p.file}};
    return e;
}

void closeMatchSearch(MatchSearch& search) {
    if (search.handle) platform::FindClose(search.handle);
    search.handle = nullptr;
}

const char* findMatch(MatchSearch& search, const char* pattern) {
    if (pattern) {
        closeMatchSearch(search);
        search.handle = platform::FindFirstFileA(pattern, &search.data);
        return search.handle ? search.data.fileName : nullptr;
    }
    if (!search.handle) return nullptr;
    if (platform::FindNextFileA(search.handle, &search.data)) return search.data.fileName;
    platform::FindClose(search.handle);
    search.handle = nullptr;
    return nullptr;
}

bool expandPattern(const char* text, const char* wildcard, ArgumentList& out, Expansions& expansions) {
    GrowingArray<Place>& places = expansions.places;
    // The separator is the last '\\', '/' or (where drives exist) ':' before
    // the wildcard, looking at character starts only.
    const char* separator = nullptr;
    bool drives = platform::commandLineDialect().drives;
    for (const char* p = text; p < wildcard && *p; p += pathCharacterLength(p))
        if (*p == '\\' || *p == '/' || (*p == ':' && drives)) separator = p;
    if (separator && *separator == ':' && separator != text + 1) return appendCopy(out, text);
    std::size_t prefix = separator ? static_cast<std::size_t>(separator - text) + 1 : 0;
    if (std::strlen(text) >= platform::maxPath) return appendCopy(out, text);

    int first = out.count;
    bool identified = true;
    uint64_t volume = 0;
    if (!places.resize(static_cast<std::size_t>(first))) return false;  // each text's place follows it
    MatchSearch search;
    const platform::FindData& searchData = search.data;
    for (const char* name = findMatch(search, text); name; name = findMatch(search, nullptr)) {
        // A temporary name of a killed run is put back by the run, not renamed.
        std::size_t length = searchData.nameLength;
        if (isDotOrDotDot(name) || isLeftoverName(name, length)) continue;
        char* joined = newText(out, prefix + length + 1);
        if (!joined) {
            closeMatchSearch(search);
            return false;
        }
        eightBytes::copy(joined, text, prefix);
        eightBytes::copy(joined + prefix, name, length + 1);
        if (!append(out, joined)) {
            closeMatchSearch(search);
            return false;
        }
        // Numbers are kept where every entry's came with the listing, from one
        // volume.
        if (out.count == first + 1) volume = searchData.identity.volume;
        identified = identified && searchData.identified && searchData.identity.volume == volume;
        if (!places.push_back({searchData.identity.file, searchData.attributes, 0,
                               static_cast<uint32_t>(prefix + length)})) {
            closeMatchSearch(search);
            return false;
        }
    }
    if (out.count == first) return appendCopy(out, text);
    OwnedString pattern = duplicateString(text);
    if (!pattern) return false;
    expansions.patterns.push_back({std::move(pattern), identified, volume, prefix});
    auto index = static_cast<uint32_t>(expansions.patterns.size());
    // The listing's word follows each text to its sorted place.
    sortWith(out, first, places.data() + first, prefix);
    for (int i = first; i < out.count; ++i) places[static_cast<std::size_t>(i)].pattern = index;
    return true;
}

bool expandWildcards(const ArgumentList& in, ArgumentList& out, Expansions& expansions) {
    // Switches are not expanded (with GNU ways, those before "--").
    bool gnu = platform::commandLineDialect().gnu;
    bool switchesEnded = false;
    for (int i = 0; i < in.count; ++i) {
        const char* text = in.items[i];
        const char* wildcard = nullptr;
        bool isSwitch = !switchesEnded && isSwitchArgument(text);
        if (gnu && equalStrings(text, "--")) switchesEnded = true;
        if (text[0] != '"' && !isSwitch) {
            for (const char* p = text; *p; ++p)
                if (*p == '*' || *p == '?') {
                    wildcard = p;
                    break;
                }
        }
        bool ok = wildcard ? expandPattern(text, wildcard, out, expansions) : appendCopy(out, text);
        if (!ok) return false;
    }
    return true;
}

namespace {

[[noreturn]] void outOfArgumentSpace() {
    static const char parts[][48] = {"\r\n", "runtime error ",
                                     "R6008\r\n- not enough space for arguments\r\n"};
    for (const char* part : parts) platform::writeErrExactly(part, std::strlen(part));
    platform::exitProcess(255);
}

char** finish(ArgumentList& split, int* count, Expansions& expansions) {
    ArgumentList expanded;
    expansions = Expansions{};
    // The listings read for patterns tell where no killed run left a name.
    platform::noticeEnding(leftoverSuffix);
    bool ok = expandWildcards(split, expanded, expansions);
    releaseArguments(split);
    if (!ok || !expansions.places.resize(static_cast<std::size_t>(expanded.count))) {
        releaseArguments(expanded);
        outOfArgumentSpace();
    }
    *count = expanded.count;
    expansions.vector = expanded.items;
    // The vector and its texts live as long as the process, or until a
    // vector is built again.
    static ArgumentList kept;
    releaseArguments(kept);
    kept = expanded;
    return expanded.items;
}

}  // namespace

char** buildArgumentVector(const char* commandLine, const char* const* original, int originalCount, int* count,
                           Expansions& expansions) {
    // While the vector is built, running out of memory anywhere is running
    // out of space for arguments.
    std::new_handler before = std::set_new_handler(outOfArgumentSpace);
    struct Restore {
        std::new_handler handler;
        ~Restore() { std::set_new_handler(handler); }
    } restore{before};
    ArgumentList split;
    bool ok = true;
    if (originalCount < 0) {
        ok = false;  // the system's list could not even be read
    } else if (original) {
        // The system split the arguments itself: they are taken as it gave
        // them, and nothing is split again.
        for (int i = 0; ok && i < originalCount; ++i) ok = appendCopy(split, original[i]);
    } else {
        char module[platform::maxPath];
        if (commandLine[0] == '\0') {
            unsigned n = platform::GetModuleFileNameA(module, sizeof module);
            module[n < sizeof module ? n : 0] = '\0';
            commandLine = module;
        }
        ok = splitCommandLine(commandLine, split);
    }
    if (!ok) {
        releaseArguments(split);
        outOfArgumentSpace();
    }
    return finish(split, count, expansions);
}
