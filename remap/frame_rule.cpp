#include "remap/frame_rule.h"

namespace jobcut {

int locate_row(const SubsetEntry* rows, int count, int32_t n) {
    int low = 0, high = count;  // rows before `low` end at or before n; the row at `high`, if any, after it
    while (low < high) {
        const int middle = low + (high - low) / 2;
        if (rows[middle].frame_end <= n)
            low = middle + 1;
        else
            high = middle;
    }
    return low;
}

// Row by row from the first, as the rule reads: a masked row after a row that
// is not masked holds that row's last frame; after a masked row, what that row holds.
void derive_held_frames(const SubsetEntry* rows, int count, int32_t* held) {
    for (int row = 0; row < count; ++row) {
        if (!rows[row].masked) {
            held[row] = 0;
        } else if (row == 0) {
            held[row] = rows[0].start;
        } else if (rows[row - 1].masked) {
            held[row] = held[row - 1];
        } else {
            const SubsetEntry& before = rows[row - 1];
            const int32_t first_output = row > 1 ? rows[row - 2].frame_end : 0;
            held[row] = before.start + ((before.frame_end - 1) - first_output);
        }
    }
}

int32_t source_frame(const SubsetEntry* rows, const int32_t* held, int count, int32_t n) {
    // Hosts ask for frames at or past the end near the end of a clip; they get the last one.
    const int32_t end = rows[count - 1].frame_end;
    if (n >= end) n = end - 1;
    const int row = locate_row(rows, count, n);  // always a row in use: n now lies before the last row's end
    const SubsetEntry& entry = rows[row];
    if (entry.masked) return held[row];
    const int32_t first_output = row > 0 ? rows[row - 1].frame_end : 0;
    return entry.start + (n - first_output);
}

}  // namespace jobcut
