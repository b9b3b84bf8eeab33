// Evaluates a script in AviSynth+ over a source whose frames and samples say
// where they come from, and dumps the clip it ends with: each frame's source
// number (or -1) on standard output, the whole audio, byte for byte, into a
// file. The inspector's tests compare what the plug-in gives with what its
// exported script gives through it.
//
//   inspect_script_dump PLUGIN SCRIPT AUDIO_OUT FRAMES FPS_NUM FPS_DEN RATE CHANNELS BITS SAMPLES
//
// BITS is 8, 16, 24, 32 or 0 for float. The script sees the source as
// TestSource(). It behaves like a decoder: a frame number outside the clip
// gives its nearest frame, and audio outside the clip is silence (0x80 for
// unsigned 8-bit).
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/avsplus/position_source.h"
#include "tools/real_host/real_host.h"

namespace {

VideoInfo source_info;

class DecoderLikeSource final : public IClip {
public:
    explicit DecoderLikeSource(PClip child) : child_(child) {}
    PVideoFrame __stdcall GetFrame(int n, IScriptEnvironment* env) override { return child_->GetFrame(clamp(n), env); }
    bool __stdcall GetParity(int n) override { return child_->GetParity(clamp(n)); }
    void __stdcall GetAudio(void* buf, int64_t start, int64_t count, IScriptEnvironment* env) override {
        const VideoInfo& vi = child_->GetVideoInfo();
        const int64_t bps = vi.BytesPerAudioSample();
        auto* out = static_cast<unsigned char*>(buf);
        const unsigned char silence = vi.sample_type == SAMPLE_INT8 ? 0x80 : 0;
        for (int64_t s = start; s < start + count;) {
            if (s < 0 || s >= vi.num_audio_samples) {
                for (int64_t j = 0; j < bps; ++j) out[(s - start) * bps + j] = silence;
                ++s;
                continue;
            }
            const int64_t run = std::min(start + count, vi.num_audio_samples) - s;
            child_->GetAudio(out + (s - start) * bps, s, run, env);
            s += run;
        }
    }
    int __stdcall SetCacheHints(int hints, int frame_range) override {
        return child_->SetCacheHints(hints, frame_range);
    }
    const VideoInfo& __stdcall GetVideoInfo() override { return child_->GetVideoInfo(); }

private:
    int clamp(int n) const {
        const int last = child_->GetVideoInfo().num_frames - 1;
        return n < 0 ? 0 : n > last ? last : n;
    }
    PClip child_;
};

AVSValue __cdecl create_test_source(AVSValue, void*, IScriptEnvironment*) {
    return new DecoderLikeSource(new avsplus::PositionSource(source_info));
}

int sample_type_of(int bits) {
    switch (bits) {
        case 8: return SAMPLE_INT8;
        case 16: return SAMPLE_INT16;
        case 24: return SAMPLE_INT24;
        case 32: return SAMPLE_INT32;
        default: return SAMPLE_FLOAT;
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 11) {
        std::fprintf(stderr, "usage: %s PLUGIN SCRIPT AUDIO_OUT FRAMES FPS_NUM FPS_DEN RATE CHANNELS BITS SAMPLES\n",
                     argv[0]);
        return 2;
    }
    source_info = avsplus::default_source_info();
    source_info.num_frames = std::atoi(argv[4]);
    source_info.fps_numerator = static_cast<unsigned>(std::strtoul(argv[5], nullptr, 10));
    source_info.fps_denominator = static_cast<unsigned>(std::strtoul(argv[6], nullptr, 10));
    source_info.audio_samples_per_second = std::atoi(argv[7]);
    source_info.nchannels = std::atoi(argv[8]);
    source_info.sample_type = sample_type_of(std::atoi(argv[9]));
    source_info.num_audio_samples = std::strtoll(argv[10], nullptr, 10);

    std::ifstream script_file(argv[2], std::ios::binary);
    std::stringstream script;
    script << script_file.rdbuf();
    // The host keeps a script error's text in the environment: it is printed
    // before the environment goes.
    real_host::Environment env;
    try {
        env->AddFunction("TestSource", "", create_test_source, nullptr);
        env.load_plugin(argv[1]);
        const PClip clip = env.eval(script.str(), argv[2]).AsClip();
        const VideoInfo& vi = clip->GetVideoInfo();
        std::printf("frames %d audio %lld rate %d channels %d type %d\n", vi.num_frames,
                    static_cast<long long>(vi.num_audio_samples), vi.audio_samples_per_second, vi.nchannels,
                    vi.sample_type);
        for (int n = 0; n < vi.num_frames; ++n) {
            const auto tag = avsplus::frame_tag(clip->GetFrame(n, env.get()));
            std::printf("%d\n", tag ? *tag : -1);
        }
        const int64_t bps = vi.HasAudio() ? vi.BytesPerAudioSample() : 0;
        std::ofstream audio(argv[3], std::ios::binary);
        constexpr int64_t kChunk = 4093;  // requests that cross the pieces' ends anywhere
        std::vector<char> buffer(static_cast<size_t>(kChunk * std::max<int64_t>(bps, 1)));
        for (int64_t start = 0; bps > 0 && start < vi.num_audio_samples; start += kChunk) {
            const int64_t count = std::min(kChunk, vi.num_audio_samples - start);
            clip->GetAudio(buffer.data(), start, count, env.get());
            audio.write(buffer.data(), count * bps);
        }
        if (!audio) {
            std::fprintf(stderr, "cannot write %s\n", argv[3]);
            return 2;
        }
    } catch (const AvisynthError& error) {
        std::fprintf(stderr, "script error: %s\n", error.msg);
        return 1;
    }
    return 0;
}
