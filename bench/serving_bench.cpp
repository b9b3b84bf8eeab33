// GetFrame and GetAudio through the plug-in, inside the first and the last of
// 1, 16 and 256 ranges, against the pass-through filter over the same source.
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "bench/pass_through.h"
#include "bench/shared.h"
#include "tools/settings_text/settings_text.h"

namespace {

constexpr int kRangeFrames = 100;
constexpr int kSourceFrames = 256 * kRangeFrames;
constexpr int64_t kSamplesPerFrame = 1920;
constexpr int64_t kAudioRequest = 1024;  // samples: well inside one range

// A source and a clip over it, held for the whole run.
struct Chain {
    jobcut::PClip source;
    jobcut::PClip clip;
};

std::shared_ptr<Chain> pass_through_chain() {
    const jobcut::PClip source(quiet_source(bench_video_info(kSourceFrames)));
    return std::make_shared<Chain>(Chain{source, jobcut::PClip(new PassThrough(source))});
}

// Ranges of 100 frames laid end to end, so that output frame n is source frame n.
std::shared_ptr<Chain> jobcut_chain(int ranges) {
    inprocess::SourceClip* made = quiet_source(bench_video_info(kSourceFrames));
    const jobcut::PClip source(made);
    const std::string path = settings_folder().write(
        "ranges_" + std::to_string(ranges) + ".vcf", settings_text::subset_lines(ranges, kRangeFrames, kRangeFrames));
    return std::make_shared<Chain>(Chain{source, plugin().create(made, path.c_str())});
}

void add_frame_benchmark(const std::string& name, std::shared_ptr<Chain> chain, int n) {
    add_benchmark(name, [chain, n](benchmark::State& state) {
        jobcut::IClip* clip = chain->clip.get();
        jobcut::IScriptEnvironment* env = &plugin().env;
        for (auto _ : state) benchmark::DoNotOptimize(clip->GetFrame(n, env).operator->());
    });
}

void add_audio_benchmark(const std::string& name, std::shared_ptr<Chain> chain, int n) {
    add_benchmark(name, [chain, n](benchmark::State& state) {
        jobcut::IClip* clip = chain->clip.get();
        jobcut::IScriptEnvironment* env = &plugin().env;
        unsigned char buffer[kAudioRequest * 4];
        const int64_t start = n * kSamplesPerFrame;
        for (auto _ : state) {
            clip->GetAudio(buffer, start, kAudioRequest, env);
            benchmark::ClobberMemory();
        }
    });
}

struct Call {
    const char* name;
    void (*add)(const std::string& name, std::shared_ptr<Chain> chain, int n);
};
const Call kCalls[] = {{"GetFrame", add_frame_benchmark}, {"GetAudio", add_audio_benchmark}};

}  // namespace

void add_serving_benchmarks(std::vector<Ratio>& ratios) {
    const auto baseline = pass_through_chain();
    const int middle = kRangeFrames / 2;
    for (const Call& call : kCalls) call.add(std::string(call.name) + "/pass-through", baseline, middle);

    for (int ranges : {1, 16, 256}) {
        const auto chain = jobcut_chain(ranges);
        const std::string count = std::to_string(ranges) + (ranges == 1 ? " range" : " ranges");
        std::vector<std::pair<std::string, int>> places = {{"first range", 0}};
        if (ranges > 1) places.push_back({"last range", ranges - 1});
        for (const auto& [place, row] : places) {
            for (const Call& call : kCalls) {
                const std::string name = std::string(call.name) + "/jobcut/" + count + "/" + place;
                call.add(name, chain, row * kRangeFrames + middle);
                ratios.push_back({std::string(call.name) + ", " + count + ", " + place, name,
                                  std::string(call.name) + "/pass-through", "pass-through"});
            }
        }
    }
}
