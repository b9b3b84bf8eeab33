#include "remap/samples_from_frames.h"

namespace jobcut {

// frames × rate is at most 2^62 in magnitude, but × fps_denominator can need
// 94 bits. No 128-bit type exists on 32-bit targets, so the product is kept as
// three 32-bit limbs and divided by the 32-bit numerator limb by limb.
bool samples_from_frames(const VideoInfo& vi, int32_t frames, int64_t* samples) {
    const uint64_t numerator = vi.fps_numerator;
    // A negative audio rate is as meaningless as none: it would make ranges of
    // negative length, and the audio request would step backwards through the buffer.
    if (numerator == 0 || vi.audio_samples_per_second <= 0) {
        *samples = 0;
        return true;
    }
    const int64_t scaled = static_cast<int64_t>(frames) * vi.audio_samples_per_second;
    const bool negative = scaled < 0;
    const uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(scaled) : static_cast<uint64_t>(scaled);

    const uint64_t denominator = vi.fps_denominator;
    const uint64_t low = (magnitude & 0xFFFFFFFFu) * denominator;
    const uint64_t high = (magnitude >> 32) * denominator + (low >> 32);
    const uint64_t limbs[3] = {high >> 32, high & 0xFFFFFFFFu, low & 0xFFFFFFFFu};

    uint64_t quotient[3];
    uint64_t remainder = 0;
    for (int i = 0; i < 3; ++i) {
        const uint64_t part = (remainder << 32) | limbs[i];
        quotient[i] = part / numerator;
        remainder = part % numerator;
    }
    if (quotient[0] != 0) return false;
    const uint64_t result = (quotient[1] << 32) | quotient[2];

    const uint64_t limit = negative ? uint64_t{1} << 63 : (uint64_t{1} << 63) - 1;
    if (result > limit) return false;
    *samples = negative ? static_cast<int64_t>(0 - result) : static_cast<int64_t>(result);
    return true;
}

}  // namespace jobcut
