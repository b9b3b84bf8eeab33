#include "tests/unit/test_host.h"

#include <cstring>

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

long reference_count(const jobcut::IClip* clip) {
    long count;
    std::memcpy(&count, reinterpret_cast<const char*>(clip) + sizeof(void*), sizeof count);
    return count;
}
