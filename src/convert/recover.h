// Entries that a killed run left under a temporary name.
#pragma once

// Puts every entry of the directory of `path` (a name argument; its directory
// part as typed) that a run killed between the two steps of a rename left
// under a temporary name back under its old name, and reports each. Under
// /test it only reports. Each directory is looked at once per run.
void recoverLeftovers(const char* path);

// Forgets the directories looked at, as a new run starts.
void forgetRecoveredDirectories();
