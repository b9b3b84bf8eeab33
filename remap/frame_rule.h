// The frame rule: which source frame each output frame of the new clip shows.
#ifndef JOBCUT_REMAP_FRAME_RULE_H
#define JOBCUT_REMAP_FRAME_RULE_H

#include <stdint.h>

#include "remap/table_file.h"
#include "subset/subset_entry.h"

namespace jobcut {

// The first of rows[0..count) whose output span ends after n, or count when
// none does: the row the walk from row 0 stops at, found by halving the rows
// (frame_end never decreases), in at most 9 steps for 256 rows.
int locate_row(const SubsetEntry* rows, int count, int32_t n);

// The table's precomputation for masked rows, worked once when the table is
// built: held[i] is the source frame masked row i holds (the picture of the
// output frame just before it, resolved through the table, so masked rows in
// a row hold one picture; a masked row 0 holds its own first frame). held[i]
// of a row that is not masked is 0 and never read.
void derive_held_frames(const SubsetEntry* rows, int count, int32_t* held);

// The source frame that output frame n shows (count >= 1), with `held` as
// derive_held_frames leaves it. Frames at or past the end show the last frame;
// a negative n falls in row 0. The number is not checked against the source.
// One search of the rows, whatever their count.
int32_t source_frame(const SubsetEntry* rows, const int32_t* held, int count, int32_t n);

inline int32_t source_frame(const RangeTable& table, int32_t n) {
    return source_frame(table.rows, table.held, table.count, n);
}

}  // namespace jobcut

#endif
