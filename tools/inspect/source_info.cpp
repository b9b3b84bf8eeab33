#include "tools/inspect/source_info.h"

#include "host/avisynth/jobcut_filter.h"

namespace inspect {

jobcut::VideoInfo source_info(const Options& options) {
    // The filter never looks at the picture, so the source has no picture format.
    jobcut::VideoInfo info{};
    info.fps_numerator = options.fps_numerator;
    info.fps_denominator = options.fps_denominator;
    info.num_frames = options.frames;
    info.audio_samples_per_second = options.audio_rate;
    info.sample_type = options.sample_type;
    info.nchannels = options.channels;
    if (options.audio_samples) {
        info.num_audio_samples = *options.audio_samples;
    } else if (!jobcut::samples_from_frames(jobcut::timing_of(info), info.num_frames, &info.num_audio_samples)) {
        throw UsageError{"--audio-samples: the frames last more samples than a clip can hold; give the length"};
    }
    return info;
}

}  // namespace inspect
