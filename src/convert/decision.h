// Whether an entry's name is to be lower-cased, and doing it.
#pragma once

#include <cstddef>

enum CaseClass { noCapital = 0, capitalsOnly = 1, longOrMixed = 2 };

// 0: no A-Z; 1: A-Z and no a-z; 2: both. Double-byte characters never count.
int classifyCase(const char* text);
// 0: no double-byte character; 1: only double-byte characters; 2: both kinds.
int classifyDoubleByte(const char* text);
// The text after the last '.' of a final component; empty when there is none.
const char* extensionOf(const char* component);

#include "convert/path.h"
#include "platform/platform.h"

// The decision for resolved path `path` (its final component at `nameAt`)
// under the current modes.
bool shouldLowerCase(const char* path, std::size_t nameAt, bool longMode, bool kanjiMode);
bool shouldLowerCase(const char* path, bool longMode, bool kanjiMode);

// What the decision makes of one entry: nothing is printed, no setting read.
struct Plan {
    bool lowerCase;                      // false: left alone
    char newPath[platform::maxPath];     // the directory part and the new name
    std::size_t nameAt;                  // where the new name begins in newPath
    // The lower-cased final component.
    const char* newName() const { return newPath + nameAt; }
};
Plan planEntry(const char* path, std::size_t nameAt, bool longMode, bool kanjiMode);

// Decides, renames (unless in test mode, where it checks what the rename
// would meet) and reports one existing entry; on a failed rename takes the
// failure step. False, with nothing done or reported, for an entry from a
// listing that is no longer there as listed, or that is not to be renamed
// for real: such an entry is to be looked up.
bool lowerCaseEntry(const Entry& entry, const char* displayName, int columnWidth);
