#ifndef JOBCUT_REMAP_SAMPLES_FROM_FRAMES_H
#define JOBCUT_REMAP_SAMPLES_FROM_FRAMES_H

#include <stdint.h>

#include "host/avisynth.h"

namespace jobcut {

// Audio samples that `frames` frames last at the clip's rates:
// frames × audio_samples_per_second × fps_denominator / fps_numerator,
// truncated toward zero and exact over the whole input range. A zero frame
// rate numerator, or an audio rate of 0 or below, gives 0. Returns false, leaving *samples alone, when the
// result does not fit a signed 64-bit value.
bool samples_from_frames(const VideoInfo& vi, int32_t frames, int64_t* samples);

}  // namespace jobcut

#endif
