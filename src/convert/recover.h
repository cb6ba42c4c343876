// Entries that a killed run left under a temporary name.
#pragma once

#include <string>
#include <vector>

// Puts every entry of `directory` (a directory part as typed, empty for the
// current directory) that a run killed between the two steps of a rename left
// under a temporary name back under its old name, and reports each. Under
// /test it only reports. Each directory is looked at once per run. Gives the
// old names put back, for the run to handle as it would have.
std::vector<std::string> recoverDirectory(const std::string& directory);

// The same for the directory of `path` (a name argument; its directory part
// as typed, `nameAt` bytes long).
std::vector<std::string> recoverLeftovers(const char* path, std::size_t nameAt);

// Forgets the directories looked at, as a new run starts.
void forgetRecoveredDirectories();
