// The host's audio sample formats (VideoInfo::sample_type) and their sizes.
// Freestanding: test hosts built without any C runtime include it too.
#ifndef JOBCUT_HOST_AVISYNTH_SAMPLE_TYPE_H
#define JOBCUT_HOST_AVISYNTH_SAMPLE_TYPE_H

#include <stdint.h>

namespace jobcut {

enum SampleType : int32_t {
    kSampleInt8 = 1,  // unsigned, silent at 0x80
    kSampleInt16 = 2,
    kSampleInt24 = 4,
    kSampleInt32 = 8,
    kSampleFloat = 16,
};

// Bytes of one sample over all channels. 0 for a type of unknown size, and for
// a channel count below 1: a negative size would walk a destination backwards.
constexpr int64_t bytes_per_audio_sample(int32_t sample_type, int32_t channels) {
    int64_t per_channel = 0;
    switch (sample_type) {
        case kSampleInt8: per_channel = 1; break;
        case kSampleInt16: per_channel = 2; break;
        case kSampleInt24: per_channel = 3; break;
        case kSampleInt32:
        case kSampleFloat: per_channel = 4; break;
        default: break;
    }
    return channels > 0 ? per_channel * channels : 0;
}

// The byte value that fills silence of this type.
constexpr unsigned char silence_byte(int32_t sample_type) { return sample_type == kSampleInt8 ? 0x80 : 0x00; }

}  // namespace jobcut

#endif
