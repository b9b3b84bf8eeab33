// The frame rule: which source frame each output frame of the new clip shows.
#ifndef JOBCUT_REMAP_FRAME_RULE_H
#define JOBCUT_REMAP_FRAME_RULE_H

#include <stdint.h>

#include "subset/subset_entry.h"

namespace jobcut {

// The first of rows[0..count) whose output span ends after n, or count when
// none does.
int locate_row(const SubsetEntry* rows, int count, int32_t n);

// The source frame that output frame n shows (count >= 1). Frames at or past
// the end show the last frame; a negative n falls in row 0. A masked row holds
// the picture of output frame B - 1 (B its first output frame), resolved
// through the table, so masked rows in a row hold one picture; a masked row 0
// holds its own first frame. The number is not checked against the source.
int32_t source_frame(const SubsetEntry* rows, int count, int32_t n);

}  // namespace jobcut

#endif
