// The core's heap blocks, counted, with a switch to refuse the Nth request.
#ifndef JOBCUT_TESTS_COUNTING_MEMORY_H
#define JOBCUT_TESTS_COUNTING_MEMORY_H

namespace counting_memory {

int live_blocks();
// The next `n`th allocation (1 = the next one) returns null; 0 disarms.
void fail_allocation(int n);

}  // namespace counting_memory

#endif
