#include "tests/vapoursynth/scenario_host.h"

namespace vstest {

bool vapoursynth_audio(int32_t sample_type, int* bits, bool* is_float) {
    switch (sample_type) {
        case 2: *bits = 16, *is_float = false; return true;
        case 8: *bits = 32, *is_float = false; return true;
        case 16: *bits = 32, *is_float = true; return true;
        default: return false;
    }
}

int32_t avisynth_sample_type(bool is_float, int bits) { return is_float ? 16 : bits == 16 ? 2 : 8; }

bool audio_applies(const scenario::Properties& p) {
    int bits;
    bool is_float;
    return p.audio_rate > 0 && p.audio_samples > 0 && p.channels > 0 && p.channels < 64 &&
           vapoursynth_audio(p.sample_type, &bits, &is_float) && p.fps_numerator > 0 && p.fps_denominator > 0;
}

const char* ScenarioHost::not_applicable(const scenario::Properties& p, const char* file_name, int min_width) {
    if (!file_name) return "the file name is a required argument";
    if (p.num_frames < 1) return "a clip has at least one frame";
    if ((p.width == 0) != (p.height == 0) || p.width < 0 || p.height < 0) return "a picture has both sides or none";
    if (p.width < min_width) return "a picture too small to carry its number";
    return nullptr;
}

}  // namespace vstest
