// What the filter fuzzer reads from its input: a source clip, a list of
// requests to make of the new clip, and the settings file's bytes. Any byte
// string decodes to an input; encoding is for writing seeds.
//
// Layout, little-endian: the source (frames i32, fps numerator u32, fps
// denominator u32, audio rate i32, sample type i32, channels i32, audio
// samples i64), a request count u8, 17 bytes per request (kind u8, two i64),
// then the settings bytes to the end. Missing bytes read as 0.
#ifndef JOBCUT_FUZZ_FILTER_INPUT_H
#define JOBCUT_FUZZ_FILTER_INPUT_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "host/avisynth/avisynth.h"

namespace fuzz_input {

// The caller's audio buffer is at most this long, so a request's sample count
// is bounded by what fits for the source's sample size.
constexpr int64_t kAudioBufferBytes = 1 << 16;
constexpr unsigned kMaxRequests = 16;

struct Request {
    enum Kind : uint8_t { kFrame, kParity, kAudio } kind;
    int32_t n;      // frame and parity requests
    int64_t start;  // audio requests
    int64_t count;  // audio requests: 0 up to max_audio_samples
};

struct FilterInput {
    jobcut::VideoInfo source;
    std::vector<Request> requests;
    std::string settings;
};

// The largest sample count a request may have for this source; without a known
// sample size nothing is written, so any count fits.
int64_t max_audio_samples(const jobcut::VideoInfo& source);

FilterInput decode(const uint8_t* data, size_t size);
std::string encode(const FilterInput& input);

}  // namespace fuzz_input

#endif
