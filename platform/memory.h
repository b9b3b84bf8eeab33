// Heap blocks for the filter's own objects: its read buffer, its range table
// and the filter itself. One implementation per C runtime (posix.cpp, msvcrt.cpp).
#ifndef JOBCUT_PLATFORM_MEMORY_H
#define JOBCUT_PLATFORM_MEMORY_H

#include <stddef.h>

namespace jobcut {

// Returns null when the memory cannot be had.
void* memory_allocate(size_t bytes);
void memory_release(void* block);

}  // namespace jobcut

#endif
