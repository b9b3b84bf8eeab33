#include "bench/shared.h"

inprocess::Plugin& plugin() {
    static inprocess::Plugin linked;
    return linked;
}

const TempFolder& settings_folder() {
    static const TempFolder folder;
    return folder;
}

inprocess::SourceClip* quiet_source(const jobcut::VideoInfo& info) {
    auto* source = new inprocess::SourceClip(info);
    source->record_calls = false;
    source->write_samples = false;
    return source;
}

jobcut::VideoInfo bench_video_info(int frames) {
    jobcut::VideoInfo vi{};
    vi.width = 1920;
    vi.height = 1080;
    vi.fps_numerator = 25;
    vi.fps_denominator = 1;
    vi.num_frames = frames;
    vi.audio_samples_per_second = 48000;
    vi.sample_type = 2;
    vi.nchannels = 2;
    vi.num_audio_samples = static_cast<int64_t>(frames) * 1920;
    return vi;
}
