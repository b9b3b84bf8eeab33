// The range table: the rows the settings file listed, in file order, each with
// where it lands in the new clip in frames and in audio samples. Worked out
// from the source's timing alone, with no host type: every host binding
// describes its clip as a ClipTiming.
#ifndef JOBCUT_REMAP_RANGE_TABLE_H
#define JOBCUT_REMAP_RANGE_TABLE_H

#include <stdint.h>

#include "subset/subset_entry.h"

namespace jobcut {

// What the table needs to know of a clip.
struct ClipTiming {
    int32_t num_frames;
    uint32_t fps_numerator;
    uint32_t fps_denominator;
    int32_t audio_rate;  // samples per second; 0 or below: no audio
    int64_t num_audio_samples;
};

// Audio samples that `frames` frames last at the clip's rates:
// frames × audio_rate × fps_denominator / fps_numerator, truncated toward zero
// and exact over the whole input range. A zero frame rate numerator, or an
// audio rate of 0 or below, gives 0. Returns false, leaving *samples alone,
// when the result does not fit a signed 64-bit value.
bool samples_from_frames(const ClipTiming& timing, int32_t frames, int64_t* samples);

// What can make rows that read well into a table no clip can have.
enum class TableError { kNone, kTooManyFrames, kAudioTooLong };

// Rows 0..count (count >= 1) as the reader stored them: works out each row's
// running frame total and audio fields, then sets the timing's frame count and
// audio length to the new clip's. On an error the timing is left as it was.
TableError derive_range_table(SubsetEntry* table, int count, ClipTiming* timing);

// The one row of a file without subset lines: the whole source, audio
// included, with the timing left as it is. Returns the rows in use (1).
int fill_whole_source_row(SubsetEntry* table, const ClipTiming& timing);

}  // namespace jobcut

#endif
