#include "tests/unit/test_host.h"

#include <cstdlib>
#include <cstring>
#include <iostream>

int RecordingSource::live = 0;

jobcut::VideoInfo make_video_info(int frames, unsigned fps_numerator, unsigned fps_denominator, int audio_rate,
                                  int64_t audio_samples, int channels, int sample_type) {
    jobcut::VideoInfo vi{};
    vi.width = 64;
    vi.height = 48;
    vi.fps_numerator = fps_numerator;
    vi.fps_denominator = fps_denominator;
    vi.num_frames = frames;
    vi.pixel_type = 7;
    vi.audio_samples_per_second = audio_rate;
    vi.sample_type = sample_type;
    vi.num_audio_samples = audio_samples;
    vi.nchannels = channels;
    vi.image_type = 3;
    return vi;
}

jobcut::PVideoFrame RecordingSource::GetFrame(int, jobcut::IScriptEnvironment*) {
    // Frames need a host that can make frame handles: the tests that load the
    // shared object cover them.
    std::cerr << "GetFrame reached the direct-build test source\n";
    std::abort();
}

bool RecordingSource::GetParity(int n) {
    parity_calls.push_back(n);
    return n % 2 != 0;
}

void RecordingSource::GetAudio(void* buffer, int64_t start, int64_t count, jobcut::IScriptEnvironment*) {
    auto* at = static_cast<unsigned char*>(buffer);
    audio_calls.push_back({base ? at - base : -1, start, count});
    int per_channel = info.sample_type == 1 ? 1 : info.sample_type == 2 ? 2 : info.sample_type == 4 ? 3 : 4;
    int bytes = info.nchannels * per_channel;
    for (int64_t s = 0; s < count; ++s)
        for (int b = 0; b < bytes; ++b) at[s * bytes + b] = sample_byte(start + s, b);
}

long reference_count(const jobcut::IClip* clip) {
    long count;
    std::memcpy(&count, reinterpret_cast<const char*>(clip) + sizeof(void*), sizeof count);
    return count;
}

unsigned char sample_byte(int64_t sample, int byte) {
    int64_t m = ((sample % 251) + 251) % 251;
    return static_cast<unsigned char>((m * 13 + byte * 7 + 5) % 251);
}
