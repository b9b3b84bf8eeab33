// Jobcut in AviSynth+ itself, against what users write today for the same cut
// (Trim(src, a1, -40) ++ Trim(src, a2, -40) ++ ...) and against the bare source
// over as many frames (Trim(src, 0, -total)), at 1, 16 and 256 ranges of 40
// frames. The sources: BlankClip, 320x240 YV12 with 48 kHz 16-bit stereo, which
// costs next to nothing a frame, and the same through Blur(1.0), which does
// real work on every frame.
//
// Frames are timed as whole passes over a freshly evaluated clip, in order
// and in one shuffled order, so that every frame is made once, as when a clip
// is rendered, and no cache of an earlier pass answers it. Audio is read
// through the clip in requests of 1601 samples, so that they end anywhere in a
// range; evaluation is the script's, from text to clip, in a new environment.
// Passes and evaluations count this thread's CPU time alone.
#include <time.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "bench/ratios.h"
#include "tests/unit/test_files.h"
#include "tools/real_host/real_host.h"
#include "tools/settings_text/settings_text.h"

namespace {

constexpr int kRangeFrames = 40;
constexpr int kStep = 80;                // a range every 80 source frames from 0: 40 kept, 40 cut
constexpr int64_t kAudioRequest = 1601;  // samples
constexpr int kBytesPerSample = 4;       // 16-bit stereo
const int kRangeCounts[] = {1, 16, 256};

// A script environment of its own, with the plug-in loaded, for each pass,
// each evaluation and each audio benchmark: the host keeps some of every
// clip it has made until its environment goes (evaluating the 256-range
// Trim++ chain over and over in one environment takes 5 ms the first time,
// 24 ms the 200th), so sharing one would time the host's history.
struct Host {
    Host() { env.load_plugin(JOBCUT_PLUGIN); }
    PClip evaluate(const std::string& text) const { return env.eval(text, "bench").AsClip(); }
    real_host::Environment env;
};

const TempFolder& settings_folder() {
    static const TempFolder folder;
    return folder;
}

struct Source {
    const char* name;
    const char* filter;  // appended to the BlankClip call
};
const Source kSources[] = {{"BlankClip", ""}, {"BlankClip.Blur(1.0)", ".Blur(1.0)"}};

const char* const kVariants[] = {"bare", "Jobcut", "Trim++"};

// The script of one variant over `ranges` ranges. The caches share one
// moderate memory limit, the same for every variant.
std::string script(const char* variant, const Source& source, int ranges) {
    std::string text = "SetMemoryMax(512)\nsrc = BlankClip(length=" + std::to_string(ranges * kStep) +
                       ", width=320, height=240, pixel_type=\"YV12\", fps=25, audio_rate=48000, channels=2, "
                       "sample_type=\"16bit\")" + source.filter + "\n";
    const std::string name(variant);
    if (name == "bare") return text + "Trim(src, 0, -" + std::to_string(ranges * kRangeFrames) + ")";
    if (name == "Jobcut") {
        const std::string path = settings_folder().write(
            "ranges_" + std::to_string(ranges) + ".vcf", settings_text::subset_lines(ranges, kStep, kRangeFrames));
        return text + "Jobcut(src, " + real_host::quoted(path) + ")";
    }
    for (int k = 0; k < ranges; ++k)
        text += (k ? " ++ " : "") + std::string("Trim(src, ") + std::to_string(k * kStep) + ", -" +
                std::to_string(kRangeFrames) + ")";
    return text;
}

// The CPU time of this thread, which makes every frame: on a shared machine
// the time other programs take is not counted.
double thread_seconds() {
    timespec now;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// Passes enough to time some 12800 frames (at least three), whatever their
// length: each pass costs a new environment and evaluation besides.
constexpr int kTimedFrames = 12800;

void add_pass_benchmark(const std::string& name, const std::string& text, std::vector<int> order) {
    const auto passes = static_cast<benchmark::IterationCount>(std::max<size_t>(3, kTimedFrames / order.size()));
    add_benchmark(name, [text, order](benchmark::State& state) {
        for (auto _ : state) {
            const Host fresh;  // nothing cached from the last pass
            const PClip clip = fresh.evaluate(text);
            IScriptEnvironment* env = fresh.env.get();
            const double start = thread_seconds();
            for (int n : order) benchmark::DoNotOptimize(clip->GetFrame(n, env).operator->());
            state.SetIterationTime(thread_seconds() - start);
        }
    })->UseManualTime()->Iterations(passes);
}

void add_audio_benchmark(const std::string& name, const std::string& text) {
    add_benchmark(name, [text](benchmark::State& state) {
        const Host fresh;
        const PClip clip = fresh.evaluate(text);
        IScriptEnvironment* env = fresh.env.get();
        const int64_t total = clip->GetVideoInfo().num_audio_samples;
        std::vector<unsigned char> buffer(kAudioRequest * kBytesPerSample);
        int64_t start = 0;
        for (auto _ : state) {
            clip->GetAudio(buffer.data(), start, kAudioRequest, env);
            benchmark::ClobberMemory();
            start += kAudioRequest;
            if (start + kAudioRequest > total) start = 0;
        }
    });
}

void add_evaluation_benchmark(const std::string& name, const std::string& text) {
    add_benchmark(name, [text](benchmark::State& state) {
        for (auto _ : state) {
            const Host fresh;  // as a player opens a script
            const double start = thread_seconds();
            PClip clip = fresh.evaluate(text);
            state.SetIterationTime(thread_seconds() - start);
            clip = nullptr;
        }
    })->UseManualTime()->Iterations(100);
}

struct Measure {
    std::string name;   // benchmark name prefix
    std::string label;  // as the table shows it
    const char* unit;
    double divisor;  // from the median's nanoseconds to the unit, per frame where it applies
    bool per_frame;
};

const std::vector<Measure>& measures() {
    static const std::vector<Measure> list{
        {"frames in order", "frames in order", "µs/frame", 1e3, true},
        {"frames shuffled", "frames shuffled", "µs/frame", 1e3, true},
        {"audio", "audio, 1601 samples", "µs/request", 1e3, false},
        {"evaluation", "script evaluation", "ms", 1e6, false},
    };
    return list;
}

void register_benchmarks() {
    for (const Source& source : kSources)
        for (int ranges : kRangeCounts)
            for (const char* variant : kVariants) {
                const std::string text = script(variant, source, ranges);
                for (bool shuffled : {false, true})
                    add_pass_benchmark(name_of(shuffled ? "frames shuffled" : "frames in order", source.name, ranges, variant),
                                       text, frame_order(ranges * kRangeFrames, shuffled));
                if (source.filter[0] != '\0') continue;  // audio and evaluation: the cheap source only
                add_audio_benchmark(name_of("audio", source.name, ranges, variant), text);
                add_evaluation_benchmark(name_of("evaluation", source.name, ranges, variant), text);
            }
}

// One markdown table: each figure with its ratios to the bare source and to
// Trim++, all from this run.
void print_table(const RatioReporter& reporter) {
    std::printf("\n| measure | source | ranges | bare | Jobcut | Trim++ | Jobcut / bare | Jobcut / Trim++ |\n");
    std::printf("|---|---|---|---|---|---|---|---|\n");
    for (const Measure& m : measures())
        for (const Source& source : kSources)
            for (int ranges : kRangeCounts) {
                double value[3];
                for (int v = 0; v < 3; ++v)
                    value[v] = reporter.median(name_of(m.name, source.name, ranges, kVariants[v])) / m.divisor /
                               (m.per_frame ? ranges * kRangeFrames : 1);
                if (std::isnan(value[1])) continue;  // not measured (filtered out, or audio through Blur)
                std::printf("| %s | %s | %d | %.3g %s | %.3g %s | %.3g %s | %.2fx | %.3gx |\n", m.label.c_str(),
                            source.name, ranges, value[0], m.unit, value[1], m.unit, value[2], m.unit,
                            value[1] / value[0], value[1] / value[2]);
            }
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    register_benchmarks();
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    print_table(reporter);
    benchmark::Shutdown();
    return 0;
}
