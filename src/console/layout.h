// The aligned first column of result lines under /v+k.
#pragma once

#include <cstddef>
#include <functional>

#include "convert/path.h"

constexpr int widestColumn = 70;

// The widest resolved length (or typed length, where a name does not resolve)
// of the arguments from 1 to count - 1 that `isName` says are names.
std::size_t widestNameLength(int count, char* const* arguments, const std::function<bool(int i)>& isName);

// Where the last component of `path` starts; a network root has an empty tail.
const char* pathTailStart(const char* path);

// The longest tail of `path` that starts after a separator and fits `width`;
// the whole last component when no such tail exists. nullptr when memory runs
// out.
OwnedString fitDisplayName(const char* path, std::size_t width);
