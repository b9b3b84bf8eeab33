// The AviSynth binding's cut of a settings file over a source, through the
// in-process host: what every VapourSynth test holds VapourSynth's cut to.
#ifndef JOBCUT_TESTS_VAPOURSYNTH_AVISYNTH_CUT_H
#define JOBCUT_TESTS_VAPOURSYNTH_AVISYNTH_CUT_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tools/inprocess_host/inprocess_host.h"

namespace vstest {

struct AviSynthCut {
    std::string error;  // the filter's message, or "" when it made a clip
    int frames = 0;
    int64_t samples = 0;
    std::vector<int> frame;  // output frame -> the source frame it shows, kept inside the source
    std::unique_ptr<jobcut::PClip> clip;
    inprocess::SourceClip* source = nullptr;  // held by the clip

    // The audio bytes of output samples [start, start + count), with source
    // positions outside the source silent (0), as a real host gives them.
    std::vector<uint8_t> audio(int64_t start, int64_t count);
};

AviSynthCut avisynth_cut(inprocess::Plugin& plugin, const jobcut::VideoInfo& source, const std::string& file);

}  // namespace vstest

#endif
