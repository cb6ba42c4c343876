#include "driver/arguments.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <utility>
#include <vector>

#include "convert/path.h"
#include "convert/rename.h"
#include "driver/settings.h"
#include "platform/platform.h"
#include "sjis/sjis.h"

namespace {

inline bool isBlankOrTab(char c) { return c == ' ' || c == '\t'; }
inline bool isLead(char c) { return isSjisLead(static_cast<unsigned char>(c)); }

bool append(ArgumentList& list, char* text) {
    if (list.count + 1 >= list.capacity) {
        int grown = list.capacity ? list.capacity * 2 : 16;
        void* bigger = platform::reallocate(list.items, sizeof(char*) * static_cast<std::size_t>(grown));
        if (!bigger) {
            platform::release(text);
            return false;
        }
        list.items = static_cast<char**>(bigger);
        list.capacity = grown;
    }
    list.items[list.count++] = text;
    list.items[list.count] = nullptr;
    return true;
}

bool appendCopy(ArgumentList& list, const char* text) {
    OwnedString copy = duplicateString(text);
    return copy && append(list, copy.release());
}

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
unsigned foldedByte(unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + 32u : c; }
}  // namespace

int compareFolded(const char* a, const char* b) {
    const unsigned char* x = reinterpret_cast<const unsigned char*>(a);
    const unsigned char* y = reinterpret_cast<const unsigned char*>(b);
    for (;; ++x, ++y) {
        unsigned cx = foldedByte(*x);
        unsigned cy = foldedByte(*y);
        if (cx != cy) return cx < cy ? -1 : 1;
        if (*x == 0) return 0;
    }
}

// Equal folded texts arise only where a disk holds ABC.TXT beside abc.txt;
// their bytes decide, so the order never depends on the directory's.
bool sortsBefore(const char* a, const char* b) {
    int folded = compareFolded(a, b);
    return folded != 0 ? folded < 0 : std::strcmp(a, b) < 0;
}

void sortMatches(ArgumentList& list, int first, std::vector<int>* order) {
    // The first eight folded bytes of each name, as one number, decide most
    // comparisons without reading the names again.
    struct Keyed {
        std::uint64_t key;
        char* text;
        int place;
    };
    std::vector<Keyed> keyed;
    keyed.reserve(static_cast<std::size_t>(list.count - first));
    for (int i = first; i < list.count; ++i) {
        const unsigned char* p = reinterpret_cast<const unsigned char*>(list.items[i]);
        std::uint64_t key = 0;
        for (int k = 0; k < 8; ++k) {
            key = key << 8 | foldedByte(*p);
            if (*p) ++p;
        }
        keyed.push_back({key, list.items[i], i});
    }
    std::sort(keyed.begin(), keyed.end(), [](const Keyed& a, const Keyed& b) {
        return a.key != b.key ? a.key < b.key : sortsBefore(a.text, b.text);
    });
    for (std::size_t i = 0; i < keyed.size(); ++i) list.items[first + static_cast<int>(i)] = keyed[i].text;
    if (!order) return;
    order->clear();
    for (const Keyed& k : keyed) order->push_back(k.place);
}

namespace {
// The texts that expansions produced, by address, with the pattern each came
// from; all of them live as long as the vector.
std::vector<std::pair<const char*, const char*>> expandedNames;
std::vector<OwnedString> keptPatterns;  // the patterns as typed
// Sorted by address when first asked: most runs never ask (only switch-like
// names, leftovers put back and /s do).
bool expandedSorted = true;

const char* patternOf(const char* argument) {
    if (!expandedSorted) {
        std::sort(expandedNames.begin(), expandedNames.end(),
                  [](const std::pair<const char*, const char*>& a, const std::pair<const char*, const char*>& b) {
                      return std::less<const char*>()(a.first, b.first);
                  });
        expandedSorted = true;
    }
    auto at = std::lower_bound(expandedNames.begin(), expandedNames.end(), argument,
                               [](const std::pair<const char*, const char*>& e, const char* a) {
                                   return std::less<const char*>()(e.first, a);
                               });
    return at != expandedNames.end() && at->first == argument ? at->second : nullptr;
}
}  // namespace

// What the listings said of the expansions' texts, by their places in the
// list they were added to.
std::vector<std::pair<const char*, ListedEntry>> listedByPlace;

bool isExpandedName(const char* argument) { return patternOf(argument) != nullptr; }

const ListedEntry* listedAt(int index, const char* argument) {
    if (index < 0 || static_cast<std::size_t>(index) >= listedByPlace.size()) return nullptr;
    const auto& listed = listedByPlace[static_cast<std::size_t>(index)];
    return listed.first == argument ? &listed.second : nullptr;
}

void forgetExpansions() {
    listedByPlace.clear();
    expandedNames.clear();
    expandedSorted = true;
    keptPatterns.clear();
}

const char* expandedFrom(const char* argument) { return patternOf(argument); }

namespace {
platform::SearchHandle openSearch = nullptr;
platform::FindData searchData;
}  // namespace

void closeMatchSearch() {
    if (openSearch) platform::FindClose(openSearch);
    openSearch = nullptr;
}

const char* findMatch(const char* pattern) {
    if (pattern) {
        closeMatchSearch();
        openSearch = platform::FindFirstFileA(pattern, &searchData);
        return openSearch ? searchData.fileName : nullptr;
    }
    if (!openSearch) return nullptr;
    if (platform::FindNextFileA(openSearch, &searchData)) return searchData.fileName;
    platform::FindClose(openSearch);
    openSearch = nullptr;
    return nullptr;
}

bool expandPattern(const char* text, const char* wildcard, ArgumentList& out) {
    // The separator is the last '\\', '/' or ':' before the wildcard, looking
    // at character starts only.
    const char* separator = nullptr;
    for (const char* p = text; p < wildcard && *p;) {
        if (*p == '\\' || *p == '/' || *p == ':') separator = p;
        p += (isLead(*p) && p[1] != '\0') ? 2 : 1;
    }
    if (separator && *separator == ':' && separator != text + 1) return appendCopy(out, text);
    std::size_t prefix = separator ? static_cast<std::size_t>(separator - text) + 1 : 0;
    if (std::strlen(text) >= platform::maxPath) return appendCopy(out, text);

    int first = out.count;
    std::vector<ListedEntry> listed;
    for (const char* name = findMatch(text); name; name = findMatch(nullptr)) {
        // A temporary name of a killed run is put back by the run, not renamed.
        if (isDotOrDotDot(name) || isLeftoverName(name)) continue;
        std::size_t length = std::strlen(name);
        char* joined = static_cast<char*>(platform::allocate(prefix + length + 1));
        if (!joined) {
            closeMatchSearch();
            return false;
        }
        std::memcpy(joined, text, prefix);
        std::memcpy(joined + prefix, name, length + 1);
        if (!append(out, joined)) {
            closeMatchSearch();
            return false;
        }
        listed.push_back({searchData.attributes, searchData.identified, searchData.identity});
    }
    if (out.count == first) return appendCopy(out, text);
    std::vector<int> order;
    sortMatches(out, first, &order);
    listedByPlace.resize(static_cast<std::size_t>(out.count));
    for (int i = first; i < out.count; ++i)
        listedByPlace[static_cast<std::size_t>(i)] = {out.items[i], listed[static_cast<std::size_t>(order[i - first] - first)]};
    OwnedString pattern = duplicateString(text);
    if (!pattern) return false;
    const char* kept = pattern.get();
    keptPatterns.push_back(std::move(pattern));
    for (int i = first; i < out.count; ++i) expandedNames.emplace_back(out.items[i], kept);
    expandedSorted = false;
    return true;
}

bool expandWildcards(const ArgumentList& in, ArgumentList& out) {
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
        bool ok = wildcard ? expandPattern(text, wildcard, out) : appendCopy(out, text);
        if (!ok) return false;
    }
    return true;
}

void releaseArguments(ArgumentList& list) {
    for (int i = 0; i < list.count; ++i) platform::release(list.items[i]);
    platform::release(list.items);
    list = ArgumentList{};
}

namespace {

[[noreturn]] void outOfArgumentSpace() {
    static const char parts[][48] = {"\r\n", "runtime error ",
                                     "R6008\r\n- not enough space for arguments\r\n"};
    for (const char* part : parts) platform::writeErrExactly(part, std::strlen(part));
    platform::exitProcess(255);
}

char** finish(ArgumentList& split, int* count) {
    ArgumentList expanded;
    bool ok = expandWildcards(split, expanded);
    releaseArguments(split);
    if (!ok) {
        releaseArguments(expanded);
        outOfArgumentSpace();
    }
    *count = expanded.count;
    return expanded.items;
}

}  // namespace

char** buildArgumentVector(const char* commandLine, const char* const* original,
                           int originalCount, int* count) {
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
    return finish(split, count);
}
