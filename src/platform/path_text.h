// How the command's paths are cut and joined, as text: nothing is asked of
// the disk. A directory part ends at the last '\\' or '/' that is not the
// second byte of a double-byte character, or after a drive form "X:" where
// the platform has drives.
#pragma once

#include <cstddef>

// The bytes of the character at `p` as a path is read: a lead byte takes the
// byte after it (a second byte 0x5C is no separator), but not the terminator
// nor, where every '/' separates, a '/'.
std::size_t pathCharacterLength(const char* p);

// Cuts `path` in place to its directory part; nullptr (and an empty path) when
// it has none.
char* cutToDirectory(char* path);
// The length of the directory part of `path`.
std::size_t directoryLength(const char* path);
// The text after the directory part.
const char* finalComponent(const char* path);

// True for "." and "..", which name no entry of their own.
inline bool isDotOrDotDot(const char* name) {
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

// dst = directory, a separator when needed, name. dst must hold all three and
// the terminator.
char* joinPath(char* dst, const char* directory, const char* name);
