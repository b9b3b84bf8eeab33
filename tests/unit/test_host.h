// A source clip for tests that build the filter directly: it records the
// parity and audio calls it gets and answers audio with bytes that encode
// each sample's index.
#ifndef JOBCUT_TESTS_TEST_HOST_H
#define JOBCUT_TESTS_TEST_HOST_H

#include <cstdint>
#include <string>
#include <vector>

#include "host/avisynth.h"

struct AudioCall {
    int64_t offset_bytes;  // destination relative to the caller's buffer
    int64_t start;
    int64_t count;
    bool operator==(const AudioCall& other) const {
        return offset_bytes == other.offset_bytes && start == other.start && count == other.count;
    }
};

jobcut::VideoInfo make_video_info(int frames, unsigned fps_numerator, unsigned fps_denominator, int audio_rate,
                                  int64_t audio_samples, int channels = 2, int sample_type = 2);

class RecordingSource : public jobcut::IClip {
public:
    explicit RecordingSource(const jobcut::VideoInfo& info) : info(info) { ++live; }
    ~RecordingSource() override { --live; }

    jobcut::PVideoFrame JOBCUT_STDCALL GetFrame(int n, jobcut::IScriptEnvironment* env) override;
    bool JOBCUT_STDCALL GetParity(int n) override;
    void JOBCUT_STDCALL GetAudio(void* buffer, int64_t start, int64_t count,
                                 jobcut::IScriptEnvironment* env) override;
    void JOBCUT_STDCALL SetCacheHints(int, int) override {}
    const jobcut::VideoInfo& JOBCUT_STDCALL GetVideoInfo() override { return info; }

    // Audio calls are recorded relative to this buffer.
    void expect_buffer(const void* buffer) { base = static_cast<const unsigned char*>(buffer); }

    jobcut::VideoInfo info;
    std::vector<int> parity_calls;
    std::vector<AudioCall> audio_calls;
    const unsigned char* base = nullptr;
    static int live;
};

// The reference count the host's inline counting keeps in every clip.
long reference_count(const jobcut::IClip* clip);

// The byte the source writes at `byte` of sample `sample`.
unsigned char sample_byte(int64_t sample, int byte);

#endif
