// Entries that a killed run left under a temporary name.
#pragma once

#include <cstring>
#include <string>
#include <unordered_set>
#include <vector>

struct RunContext;

// The directory parts a run has looked at for leftovers, as typed, and the
// last one: runs of names share their directory, and it answers most calls.
struct Recovered {
    std::unordered_set<std::string> seen;
    std::string last;
};

// True when the directory part `path` (`length` bytes of it) is the one the
// run looked at last: nothing is to be put back there. Inline: it answers
// for nearly every name.
inline bool lookedAtLast(const Recovered& recovered, const char* path, std::size_t length) {
    const std::string& last = recovered.last;
    return !recovered.seen.empty() && last.size() == length &&
           (length == 0 || std::memcmp(last.data(), path, length) == 0);
}

// What putting back a directory's leftovers came to.
struct Recovery {
    std::vector<std::string> restored;  // the old names put back, for the run to handle
    bool failed = false;                // one could not be put back: the run takes its failure step
};

// Puts every entry of `directory` (a directory part as typed, empty for the
// current directory) that a run killed between the two steps of a rename left
// under a temporary name back under its old name, and reports each. Under
// /test it only reports. Each directory is looked at once per run. Without
// /c it stops at the first leftover that cannot be put back.
Recovery recoverDirectory(RunContext& run, const std::string& directory);

// The same for the directory of `path` (a name argument; its directory part
// as typed, `nameAt` bytes long).
Recovery recoverLeftovers(RunContext& run, const char* path, std::size_t nameAt);

