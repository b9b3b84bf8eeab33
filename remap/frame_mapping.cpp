// Which source frame, and so which parity, each output frame shows.
#include "remap/jobcut_filter.h"

namespace jobcut {

// The first row whose output span ends after n, or rows_in_use when none does.
int JobcutFilter::locate_row(int n) const {
    int i = 0;
    while (i < rows_in_use && table[i].frame_end <= n) ++i;
    return i;
}

int JobcutFilter::source_frame(int n) const {
    // Hosts ask for frames at or past the end near the end of a clip; they get the last one.
    const int end = table[rows_in_use - 1].frame_end;
    if (n >= end) n = end - 1;
    int row = locate_row(n);  // always a row in use: n now lies before the last row's end
    // A masked row holds the picture shown just before it: that of output frame
    // B - 1, resolved through the table, so masked rows in a row hold one picture.
    for (;;) {
        const SubsetEntry& entry = table[row];
        const int first_output = row > 0 ? table[row - 1].frame_end : 0;
        if (!entry.masked) return entry.start + (n - first_output);
        if (row == 0) return entry.start;
        n = first_output - 1;
        --row;
    }
}

PVideoFrame JobcutFilter::GetFrame(int n, IScriptEnvironment* env) { return child->GetFrame(source_frame(n), env); }

bool JobcutFilter::GetParity(int n) { return child->GetParity(source_frame(n)); }

}  // namespace jobcut
