// A range table read from a settings file: what every host binding builds its
// clip from.
#ifndef JOBCUT_REMAP_TABLE_FILE_H
#define JOBCUT_REMAP_TABLE_FILE_H

#include <stdint.h>

#include "platform/file_access.h"
#include "remap/error_message.h"
#include "remap/range_table.h"
#include "subset/subset_entry.h"

namespace jobcut {

// The rows in use, in a heap block of kMaxRows rows that release_table frees,
// and in the same block the frame rule's held frame of each row
// (derive_held_frames in remap/frame_rule.h).
struct RangeTable {
    SubsetEntry* rows;
    int32_t* held;
    int count;
};

// Reads `file_name` and builds its table over a clip of `timing`, then sets
// the timing's frame count and audio length to the new clip's (a file without
// subset lines leaves them as they are). On failure returns false with the
// text to raise in `message`, having released everything it took; `table` is
// then empty and `timing` unchanged. `encoding`: what the name's bytes mean to
// the host that passed it (the message quotes them as they are).
bool load_table(const char* file_name, ClipTiming* timing, RangeTable* table, char (&message)[kMessageBytes],
                NameEncoding encoding = NameEncoding::kSystemCodePage);

// Frees the rows (an empty table too) and empties the table.
void release_table(RangeTable* table);

}  // namespace jobcut

#endif
