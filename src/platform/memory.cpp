// Memory for the command's own strings, the same on every platform.
#include <cstdlib>

#include "platform/platform.h"

namespace platform {

void* allocate(std::size_t bytes) { return std::malloc(bytes ? bytes : 1); }
void* reallocate(void* block, std::size_t bytes) { return std::realloc(block, bytes ? bytes : 1); }
void release(void* block) { std::free(block); }

}  // namespace platform
