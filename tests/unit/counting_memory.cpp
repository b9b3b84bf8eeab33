#include "tests/unit/counting_memory.h"

#include <atomic>
#include <cstdlib>

#include "platform/memory.h"

namespace {
std::atomic<int> live{0};
std::atomic<int> countdown{0};
}  // namespace

namespace counting_memory {
int live_blocks() { return live; }
void fail_allocation(int n) { countdown = n; }
}  // namespace counting_memory

namespace jobcut {

void* memory_allocate(size_t bytes) {
    if (countdown > 0 && --countdown == 0) return nullptr;
    void* block = std::malloc(bytes);
    if (block) ++live;
    return block;
}

void memory_release(void* block) {
    if (block) --live;
    std::free(block);
}

}  // namespace jobcut
