// libFuzzer target: the rename decision on any path under any modes. When a
// rename is made, the new path has the old one's length and differs from it
// only in A-Z bytes of single-byte characters of the final component, and
// under /u in the second bytes of code page 932's capitals.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "convert/decision.h"
#include "convert/path.h"
#include "driver/context.h"
#include "driver/settings.h"
#include "platform/fake_platform.h"
#include "sjis/sjis.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    std::string path(reinterpret_cast<const char*>(data) + 1, size - 1);
    path = path.substr(0, path.find('\0'));
    if (path.size() >= 260) path.resize(259);
    fake::reset();
    settings = RunSettings{};
    settings.longMode = data[0] & 1;
    settings.kanjiMode = data[0] & 2;
    settings.continueOnError = true;
    settings.showSkipped = data[0] & 4;
    settings.unicodeLetters = data[0] & 8;
    bool decided = settings.unicodeLetters
                       ? shouldLowerLetters(path.c_str(), path.size(), directoryLength(path.c_str()),
                                            settings.longMode, settings.kanjiMode)
                       : shouldLowerCase(path.c_str(), settings.longMode, settings.kanjiMode);
    // The classes, which the decision reads a word at a time, against a walk
    // a character at a time.
    bool capital = false, small = false, doubleByte = false, singleByte = false, endsInside = false;
    for (std::size_t i = 0; i < path.size(); ++i) {
        int kind = sjisKindAt(path.c_str(), i);
        if (kind == 2) continue;
        if (kind == 1) {
            (i + 1 == path.size() ? endsInside : doubleByte) = true;
            continue;
        }
        singleByte = true;
        capital = capital || (path[i] >= 'A' && path[i] <= 'Z');
        small = small || (path[i] >= 'a' && path[i] <= 'z');
    }
    if (classifyCase(path.c_str()) != (capital ? (small ? 2 : 1) : 0)) std::abort();
    if (classifyDoubleByte(path.c_str()) != (doubleByte && singleByte ? 2 : doubleByte || endsInside ? 1 : 0))
        std::abort();
    try {
        Entry entry{path.c_str(), std::strlen(path.c_str()), directoryLength(path.c_str()), 0x80, false, {}, false,
                    Verdict::unknown, -1};
        entry.identified = platform::entryIdentity(path.c_str(), &entry.identity);
        RunContext run;
        lowerCaseEntry(run, entry, path.c_str(), 20);
    } catch (const fake::ExitCalled&) {
    }
    const auto& log = fake::state().moveLog;
    if (!decided && !log.empty()) std::abort();
    if (log.empty()) return 0;
    std::string expected = path + " -> ";
    if (log[0].compare(0, expected.size(), expected) != 0) std::abort();
    std::string to = log[0].substr(expected.size());
    if (to.size() != path.size()) std::abort();
    std::size_t component = static_cast<std::size_t>(finalComponent(path.c_str()) - path.c_str());
    bool changed = false;
    for (std::size_t i = 0; i < path.size(); ++i) {
        if (to[i] == path[i]) continue;
        int kind = sjisKindAt(path.c_str(), i);
        bool letter = i >= component && kind == 0 && path[i] >= 'A' && path[i] <= 'Z' && to[i] == path[i] + 32;
        unsigned char lower = 0;
        bool doubleByteLetter = settings.unicodeLetters && kind == 2 && i - 1 >= component &&
                                doubleByteLetterCase(static_cast<unsigned char>(path[i - 1]),
                                                     static_cast<unsigned char>(path[i]), &lower) == 1 &&
                                static_cast<unsigned char>(to[i]) == lower;
        if (!letter && !doubleByteLetter) std::abort();
        changed = true;
    }
    if (!changed) std::abort();
    return 0;
}
