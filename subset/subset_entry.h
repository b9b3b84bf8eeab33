// One row of the range table: a span of source frames and where it lands in the
// new clip, in frames and in audio samples. The reader fills the first three
// fields from a subset line; the range table derives the rest.
#ifndef JOBCUT_SUBSET_SUBSET_ENTRY_H
#define JOBCUT_SUBSET_SUBSET_ENTRY_H

#include <stdint.h>

namespace jobcut {

constexpr int kMaxRows = 256;

struct SubsetEntry {
    // From the settings file.
    int32_t start;   // first source frame
    int32_t length;  // frames in the range, never 0
    // Derived by the range table.
    int32_t frame_end;  // output frames up to and including this row
    // From the settings file.
    uint8_t masked;  // 1: the whole row shows one picture
    // Derived by the range table.
    int64_t audio_start;   // first source sample of the range
    int64_t audio_length;  // samples of the range
    int64_t audio_end;     // output samples up to and including this row
};

}  // namespace jobcut

#endif
