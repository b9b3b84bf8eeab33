// Heap blocks from the C runtime (Linux). Kept apart from file access so that
// tests can count and refuse allocations by linking their own version.
#include <stdlib.h>

#include "subset/platform.h"

namespace jobcut {

void* memory_allocate(size_t bytes) { return malloc(bytes); }

void memory_release(void* block) { free(block); }

}  // namespace jobcut
