#include "remap/frame_rule.h"

namespace jobcut {

int locate_row(const SubsetEntry* rows, int count, int32_t n) {
    int i = 0;
    while (i < count && rows[i].frame_end <= n) ++i;
    return i;
}

int32_t source_frame(const SubsetEntry* rows, int count, int32_t n) {
    // Hosts ask for frames at or past the end near the end of a clip; they get the last one.
    const int32_t end = rows[count - 1].frame_end;
    if (n >= end) n = end - 1;
    int row = locate_row(rows, count, n);  // always a row in use: n now lies before the last row's end
    for (;;) {
        const SubsetEntry& entry = rows[row];
        const int32_t first_output = row > 0 ? rows[row - 1].frame_end : 0;
        if (!entry.masked) return entry.start + (n - first_output);
        if (row == 0) return entry.start;
        n = first_output - 1;
        --row;
    }
}

}  // namespace jobcut
