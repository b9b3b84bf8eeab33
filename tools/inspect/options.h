// The inspector's command line: what source to pretend, which probes to run,
// and how to show the result.
#ifndef JOBCUT_TOOLS_INSPECT_OPTIONS_H
#define JOBCUT_TOOLS_INSPECT_OPTIONS_H

#include <cstdint>
#include <optional>
#include <string>

#include "host/avisynth/sample_type.h"

namespace inspect {

struct FrameSpan {
    int first, last;  // output frames, both included
};

struct AudioSpan {
    int64_t start, count;  // in samples
};

struct Options {
    int frames = 100000;
    bool frames_given = false;  // the source's length is known, not the default
    unsigned fps_numerator = 30000;
    unsigned fps_denominator = 1001;
    int audio_rate = 48000;
    int channels = 2;
    int sample_type = jobcut::kSampleInt16;
    std::optional<int64_t> audio_samples;  // unset: what the frames last at the audio rate
    std::optional<FrameSpan> map_frames;
    std::optional<AudioSpan> audio_request;
    bool json = false;
    std::optional<std::string> svg_file;
    std::optional<std::string> html_file;
    std::optional<std::string> avs_file;
    std::optional<std::string> ffmpeg_file;
    std::optional<std::string> qpfile_file;
    std::optional<std::string> chapters_file;
    bool help = false;
    bool version = false;
    std::string settings_file;
};

// A command line that cannot be followed; `message` names the option at fault.
struct UsageError {
    std::string message;
};

extern const char kUsage[];

// "u8", "s16", "s24", "s32" or "float" for the host's sample type code.
const char* sample_type_name(int sample_type);

// Reads argv[1..argc). Throws UsageError.
Options parse_options(int argc, const char* const* argv);

}  // namespace inspect

#endif
