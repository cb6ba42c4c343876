// The aligned first column of result lines under /v+k.
#pragma once

#include <cstddef>

#include "platform/owned_string.h"

constexpr int widestColumn = 70;

// Where the last component of `path` starts; a network root has an empty tail.
const char* pathTailStart(const char* path);

// The longest tail of `path` that starts after a separator and fits `width`;
// the whole last component when no such tail exists. nullptr when memory runs
// out.
OwnedString fitDisplayName(const char* path, std::size_t width);
