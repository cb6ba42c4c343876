// Renaming an entry so that success means the name on disk changed.
#pragma once

enum class RenameOutcome {
    done,      // the stored name is now the new one
    failed,    // the entry keeps its old name
    stranded,  // even putting the entry back failed: it is under strandedName()
};

// Renames `from` to `to` (same directory, letter case changed). Never
// replaces another entry. Where the file system reports success for a
// case-only rename and changes nothing, renames through a temporary name in
// the same directory.
RenameOutcome renameEntry(const char* from, const char* to);

// The temporary path an entry was left under after RenameOutcome::stranded.
const char* strandedName();
