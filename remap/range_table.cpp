// The range table's derivation from the rows the reader stored.
#include "remap/range_table.h"

namespace jobcut {

// frames × rate is at most 2^62 in magnitude, but × fps_denominator can need
// 94 bits. No 128-bit type exists on 32-bit targets, so the product is kept as
// three 32-bit limbs and divided by the 32-bit numerator limb by limb.
bool samples_from_frames(const ClipTiming& timing, int32_t frames, int64_t* samples) {
    const uint64_t numerator = timing.fps_numerator;
    // A negative audio rate is as meaningless as none: it would make ranges of
    // negative length, and the audio request would step backwards through the buffer.
    if (numerator == 0 || timing.audio_rate <= 0) {
        *samples = 0;
        return true;
    }
    const int64_t scaled = static_cast<int64_t>(frames) * timing.audio_rate;
    const bool negative = scaled < 0;
    const uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(scaled) : static_cast<uint64_t>(scaled);

    const uint64_t denominator = timing.fps_denominator;
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

// Without subset lines the clip stays whole, audio included: the row's audio
// is the source's own length so every source sample stays reachable.
int fill_whole_source_row(SubsetEntry* table, const ClipTiming& timing) {
    SubsetEntry& row = table[0];
    row = SubsetEntry{};
    // A source claiming fewer than 0 frames has none; keeps the frame search in range.
    row.length = timing.num_frames > 0 ? timing.num_frames : 0;
    row.frame_end = row.length;
    row.audio_length = timing.num_audio_samples;
    row.audio_end = row.audio_length;
    return 1;
}

TableError derive_range_table(SubsetEntry* table, int count, ClipTiming* timing) {
    int64_t frames = 0;
    int64_t samples = 0;
    for (int i = 0; i < count; ++i) {
        SubsetEntry& row = table[i];
        frames += row.length;
        if (frames > INT32_MAX) return TableError::kTooManyFrames;
        row.frame_end = static_cast<int32_t>(frames);
        int64_t source_end;  // the source position just past the range must be a number too
        if (!samples_from_frames(*timing, row.start, &row.audio_start) ||
            !samples_from_frames(*timing, row.length, &row.audio_length) ||
            __builtin_add_overflow(row.audio_start, row.audio_length, &source_end) ||
            __builtin_add_overflow(samples, row.audio_length, &samples))
            return TableError::kAudioTooLong;
        row.audio_end = samples;
    }
    int64_t total_samples;
    if (!samples_from_frames(*timing, static_cast<int32_t>(frames), &total_samples)) return TableError::kAudioTooLong;
    // Worked from the total frame count, so it can run past the last row's
    // audio_end by up to a sample per row; the audio request fills that with silence.
    timing->num_frames = static_cast<int32_t>(frames);
    timing->num_audio_samples = total_samples;
    return TableError::kNone;
}

}  // namespace jobcut
