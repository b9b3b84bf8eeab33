#include "tests/vapoursynth/avisynth_cut.h"

#include <algorithm>

#include "host/avisynth/sample_type.h"

namespace vstest {

std::vector<uint8_t> AviSynthCut::audio(int64_t start, int64_t count) {
    const jobcut::VideoInfo& vi = source->info;
    const int64_t bps = jobcut::bytes_per_audio_sample(vi.sample_type, vi.nchannels);
    std::vector<uint8_t> bytes(static_cast<size_t>(count * bps), 0xEE);
    source->calls.clear();
    source->expect_audio_buffer(bytes.data());
    (*clip)->GetAudio(bytes.data(), start, count, nullptr);
    for (const inprocess::SourceCall& call : source->calls)
        for (int64_t s = 0; s < call.count; ++s)
            if (call.start + s < 0 || call.start + s >= vi.num_audio_samples)
                std::fill_n(bytes.begin() + call.at + s * bps, bps, 0);
    return bytes;
}

AviSynthCut avisynth_cut(inprocess::Plugin& plugin, const jobcut::VideoInfo& vi, const std::string& file) {
    AviSynthCut cut;
    cut.source = new inprocess::SourceClip(vi);
    jobcut::PClip held(cut.source);
    try {
        cut.clip = std::make_unique<jobcut::PClip>(plugin.create(cut.source, file.c_str()));
    } catch (const inprocess::ScriptError& e) {
        cut.error = e.message;
        return cut;
    }
    cut.source->record_calls = false;
    const jobcut::VideoInfo& out = (*cut.clip)->GetVideoInfo();
    cut.frames = out.num_frames;
    cut.samples = out.num_audio_samples;
    for (int n = 0; n < cut.frames; ++n) {
        const int shown = cut.source->frame_number((*cut.clip)->GetFrame(n, nullptr));
        cut.frame.push_back(std::min(shown, vi.num_frames - 1));
    }
    cut.source->record_calls = true;
    return cut;
}

}  // namespace vstest
