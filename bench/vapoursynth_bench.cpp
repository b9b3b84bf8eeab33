// Jobcut in VapourSynth itself, driven from this program through the core's
// API, against what VapourSynth users write today for the same cut,
// std.Splice([std.Trim(src, first=a, last=a + 39), ...]), and against the bare
// source, at 1, 16 and 256 ranges of 40 frames (one every 80 source frames).
// The sources: std.BlankClip, 320x240 YUV420P8 at 30000/1001 fps, which costs
// little a frame (a new blank frame each time), and the same through
// std.BoxBlur (radius 1 both ways), which does real work on every frame.
// Audio: std.BlankAudio, 48 kHz 16-bit stereo, cut by jobcut.JobcutAudio
// against std.AudioSplice of std.AudioTrim slices at the sample positions
// Jobcut uses (frames * 48000 * 1001 / 30000, truncated), and the bare source.
//
// Every pass makes a core of its own (one worker thread, no autoloaded
// plug-ins), builds its clip and asks for each frame once, as a render does:
// VapourSynth keeps frames in per-node caches for as long as its core lives,
// so no pass is answered from an earlier one. Frames are asked for one at a
// time, in order and in one shuffled order, each from the callback of the
// one before (as vspipe asks for them), so the core's worker thread does the
// whole pass while this thread waits; a pass counts this process's CPU time,
// not that of other programs on the machine.
#include <time.h>

#include <VapourSynth4.h>

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "bench/ratios.h"
#include "tests/unit/test_files.h"
#include "tools/settings_text/settings_text.h"

namespace {

constexpr int kRangeFrames = 40;
constexpr int kStep = 80;  // a range every 80 source frames from 0: 40 kept, 40 cut
constexpr int64_t kFpsNum = 30000;
constexpr int64_t kFpsDen = 1001;
constexpr int64_t kAudioRate = 48000;
const int kRangeCounts[] = {1, 16, 256};

// The first sample of a frame, as Jobcut places it: 40 frames are 64064
// samples, so the slices start and end inside VapourSynth's 3072-sample
// audio frames.
int64_t sample_of(int64_t frame) { return frame * kAudioRate * kFpsDen / kFpsNum; }

const VSAPI* vs() {
    static const VSAPI* const api = [] {
        const VSAPI* found = getVapourSynthAPI(VAPOURSYNTH_API_VERSION);
        if (!found) {
            std::fprintf(stderr, "this VapourSynth does not offer API %d.%d\n", VAPOURSYNTH_API_MAJOR,
                         VAPOURSYNTH_API_MINOR);
            std::exit(1);
        }
        return found;
    }();
    return api;
}

[[noreturn]] void fail(const std::string& what) {
    std::fprintf(stderr, "vapoursynth_bench: %s\n", what.c_str());
    std::exit(1);
}

// Arguments of one call, freed with the object.
class Args {
public:
    Args() : map(vs()->createMap()) {}
    ~Args() { vs()->freeMap(map); }
    Args(const Args&) = delete;
    Args& operator=(const Args&) = delete;
    Args& set(const char* key, int64_t value) {
        vs()->mapSetInt(map, key, value, maAppend);
        return *this;
    }
    Args& set(const char* key, const std::string& text) {
        vs()->mapSetData(map, key, text.data(), static_cast<int>(text.size()), dtUtf8, maAppend);
        return *this;
    }
    Args& add(const char* key, VSNode* node) {
        vs()->mapSetNode(map, key, node, maAppend);
        return *this;
    }
    const VSMap* get() const { return map; }

private:
    VSMap* map;
};

// A core with one worker thread and the plug-in loaded by path; its nodes
// are freed before it goes.
class Core {
public:
    Core() : core(vs()->createCore(ccfDisableAutoLoading)) {
        if (!core) fail("createCore failed");
        vs()->setThreadCount(1, core);
        std_plugin = vs()->getPluginByID("com.vapoursynth.std", core);
        Args load;
        load.set("path", std::string(JOBCUT_PLUGIN));
        VSMap* result = vs()->invoke(std_plugin, "LoadPlugin", load.get());
        if (const char* error = vs()->mapGetError(result)) fail(std::string("LoadPlugin: ") + error);
        vs()->freeMap(result);
        jobcut = vs()->getPluginByNamespace("jobcut", core);
        if (!jobcut) fail("the plug-in registered no namespace jobcut");
    }
    ~Core() {
        for (VSNode* node : nodes) vs()->freeNode(node);
        vs()->freeCore(core);
    }
    Core(const Core&) = delete;
    Core& operator=(const Core&) = delete;

    // The clip a function returns; the core keeps the reference.
    VSNode* call(VSPlugin* plugin, const char* name, const Args& args) {
        VSMap* result = vs()->invoke(plugin, name, args.get());
        if (const char* error = vs()->mapGetError(result)) fail(std::string(name) + ": " + error);
        VSNode* node = vs()->mapGetNode(result, "clip", 0, nullptr);
        vs()->freeMap(result);
        nodes.push_back(node);
        return node;
    }
    VSNode* std_call(const char* name, const Args& args) { return call(std_plugin, name, args); }

    // Has the worker thread start and the frame allocator serve once, on a
    // clip of its own, so that neither is timed with the first pass frame.
    void warm_up(bool audio) {
        Args args;
        args.set("length", 1);
        if (!audio) args.set("width", 320).set("height", 240).set("format", pfYUV420P8);
        vs()->freeFrame(frame(std_call(audio ? "BlankAudio" : "BlankClip", args), 0));
    }

    std::string version() const {
        VSCoreInfo info;
        vs()->getCoreInfo(core, &info);
        return info.versionString;
    }

    static const VSFrame* frame(VSNode* node, int n) {
        char error[256];
        const VSFrame* got = vs()->getFrame(n, node, error, sizeof error);
        if (!got) fail(std::string("getFrame: ") + error);
        return got;
    }

    VSPlugin* jobcut = nullptr;

private:
    VSCore* core;
    VSPlugin* std_plugin = nullptr;
    std::vector<VSNode*> nodes;
};

const TempFolder& settings_folder() {
    static const TempFolder folder;
    return folder;
}

// The settings file of `ranges` ranges, written once, before anything is timed.
const std::string& settings_file(int ranges) {
    static std::map<int, std::string> paths;
    std::string& path = paths[ranges];
    if (path.empty())
        path = settings_folder().write("ranges_" + std::to_string(ranges) + ".vcf",
                                       settings_text::subset_lines(ranges, kStep, kRangeFrames));
    return path;
}

struct Source {
    const char* name;
    bool blur;
};
const Source kSources[] = {{"BlankClip", false}, {"BlankClip+BoxBlur", true}};
const char* const kAudioSource = "BlankAudio";

const char* const kVariants[] = {"bare", "Jobcut", "Splice"};

// The clip of one variant in `core`, over a source as long as `ranges` ranges
// and the gaps between them. The bare source is the source itself: its first
// frames are read, as many as the cut has.
VSNode* video_clip(Core& core, const std::string& variant, const Source& source, int ranges) {
    Args blank;
    blank.set("width", 320).set("height", 240).set("format", pfYUV420P8).set("length", int64_t{ranges} * kStep);
    blank.set("fpsnum", kFpsNum).set("fpsden", kFpsDen);
    VSNode* src = core.std_call("BlankClip", blank);
    if (source.blur) {
        Args blur;
        src = core.std_call("BoxBlur", blur.add("clip", src));
    }
    if (variant == "bare") return src;
    if (variant == "Jobcut") {
        Args cut;
        cut.add("clip", src).set("filename", settings_file(ranges));
        return core.call(core.jobcut, "Jobcut", cut);
    }
    Args splice;
    for (int k = 0; k < ranges; ++k) {
        Args trim;
        trim.add("clip", src).set("first", int64_t{k} * kStep).set("last", int64_t{k} * kStep + kRangeFrames - 1);
        splice.add("clips", core.std_call("Trim", trim));
    }
    return core.std_call("Splice", splice);
}

VSNode* audio_clip(Core& core, const std::string& variant, int ranges) {
    Args blank;
    const int64_t channels[] = {acFrontLeft, acFrontRight};
    vs()->mapSetIntArray(const_cast<VSMap*>(blank.get()), "channels", channels, 2);
    blank.set("bits", 16).set("sampletype", stInteger).set("samplerate", kAudioRate);
    blank.set("length", sample_of(int64_t{ranges} * kStep));
    VSNode* src = core.std_call("BlankAudio", blank);
    if (variant == "bare") return src;
    if (variant == "Jobcut") {
        Args cut;
        cut.add("clip", src).set("filename", settings_file(ranges)).set("fpsnum", kFpsNum).set("fpsden", kFpsDen);
        return core.call(core.jobcut, "JobcutAudio", cut);
    }
    Args splice;
    for (int k = 0; k < ranges; ++k) {
        Args trim;
        trim.add("clip", src).set("first", sample_of(int64_t{k} * kStep)).set("length", sample_of(kRangeFrames));
        splice.add("clips", core.std_call("AudioTrim", trim));
    }
    return core.std_call("AudioSplice", splice);
}

// What the cut holds, which the three variants serve alike.
int video_frames(int ranges) { return ranges * kRangeFrames; }
int64_t audio_samples(int ranges) { return sample_of(int64_t{ranges} * kRangeFrames); }
int audio_frames(int ranges) {
    return static_cast<int>((audio_samples(ranges) + VS_AUDIO_FRAME_SAMPLES - 1) / VS_AUDIO_FRAME_SAMPLES);
}

// Jobcut and Splice must make the same clip, or the comparison means nothing.
void check_lengths() {
    for (int ranges : kRangeCounts) {
        for (const char* variant : {"Jobcut", "Splice"}) {
            Core core;
            const VSVideoInfo* video = vs()->getVideoInfo(video_clip(core, variant, kSources[0], ranges));
            const VSAudioInfo* audio = vs()->getAudioInfo(audio_clip(core, variant, ranges));
            if (video->numFrames != video_frames(ranges) || audio->numSamples != audio_samples(ranges))
                fail(std::string(variant) + " at " + std::to_string(ranges) + " ranges makes " +
                     std::to_string(video->numFrames) + " frames and " + std::to_string(audio->numSamples) +
                     " samples, not " + std::to_string(video_frames(ranges)) + " and " +
                     std::to_string(audio_samples(ranges)));
        }
    }
}

// The CPU time of this process: the core's worker thread, which makes every
// frame, and this thread, which asks and waits.
double process_seconds() {
    timespec now;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// Passes enough to time some 12800 frames (at least three), whatever their
// length: each pass costs a new core and clip besides.
constexpr int kTimedFrames = 12800;

// One pass over `order`, as vspipe renders: each frame is asked for with
// getFrameAsync from the callback that receives the one before, so the
// core's worker thread goes from frame to frame while this thread waits for
// the last. One request is outstanding at a time, so the frames are made in
// the order given.
class Pass {
public:
    Pass(VSNode* clip, const std::vector<int>& order) : clip(clip), order(order) {}

    void run() {
        std::unique_lock<std::mutex> lock(mutex);
        vs()->getFrameAsync(order[0], clip, &Pass::done, this);
        finished.wait(lock, [this] { return over; });
        if (!error.empty()) fail("frame " + std::to_string(failed) + ": " + error);
    }

private:
    static void VS_CC done(void* data, const VSFrame* frame, int n, VSNode*, const char* message) {
        Pass& pass = *static_cast<Pass*>(data);
        if (frame) {
            vs()->freeFrame(frame);
            if (++pass.next < pass.order.size()) {
                vs()->getFrameAsync(pass.order[pass.next], pass.clip, &Pass::done, data);
                return;
            }
        } else {
            pass.error = message ? message : "no frame";
            pass.failed = n;
        }
        const std::lock_guard<std::mutex> lock(pass.mutex);
        pass.over = true;
        pass.finished.notify_one();
    }

    VSNode* clip;
    const std::vector<int>& order;
    size_t next = 0;
    std::mutex mutex;
    std::condition_variable finished;
    bool over = false;
    std::string error;
    int failed = 0;
};

void add_pass_benchmark(const std::string& name, bool audio, const std::string& variant, const Source& source,
                        int ranges, std::vector<int> order) {
    const auto passes = static_cast<benchmark::IterationCount>(std::max<size_t>(3, kTimedFrames / order.size()));
    add_benchmark(name, [=](benchmark::State& state) {
        for (auto _ : state) {
            Core fresh;  // nothing cached from the last pass
            VSNode* clip = audio ? audio_clip(fresh, variant, ranges) : video_clip(fresh, variant, source, ranges);
            fresh.warm_up(audio);
            Pass pass(clip, order);
            const double start = process_seconds();
            pass.run();
            state.SetIterationTime(process_seconds() - start);
        }
    })->UseManualTime()->Iterations(passes);
}

// From nothing to the clip, in a new core each time, as a script builds it.
void add_building_benchmark(const std::string& name, const std::string& variant, const Source& source, int ranges) {
    add_benchmark(name, [=](benchmark::State& state) {
        for (auto _ : state) {
            Core fresh;
            const double start = process_seconds();
            benchmark::DoNotOptimize(video_clip(fresh, variant, source, ranges));
            state.SetIterationTime(process_seconds() - start);
        }
    })->UseManualTime()->Iterations(100);
}

struct Measure {
    std::string name;   // benchmark name prefix
    std::string label;  // as the table shows it
    const char* unit;
    double divisor;  // from the median's nanoseconds to the unit, per frame where it applies
    bool per_frame;
    bool audio;
};

const std::vector<Measure>& measures() {
    static const std::vector<Measure> list{
        {"frames in order", "frames in order", "µs/frame", 1e3, true, false},
        {"frames shuffled", "frames shuffled", "µs/frame", 1e3, true, false},
        {"audio frames", "audio frames in order", "µs/frame", 1e3, true, true},
        {"building", "building the clip", "ms", 1e6, false, false},
    };
    return list;
}

void register_benchmarks() {
    for (int ranges : kRangeCounts)
        for (const char* variant : kVariants) {
            for (const Source& source : kSources)
                for (bool shuffled : {false, true})
                    add_pass_benchmark(name_of(shuffled ? "frames shuffled" : "frames in order", source.name, ranges,
                                               variant),
                                       false, variant, source, ranges, frame_order(video_frames(ranges), shuffled));
            add_pass_benchmark(name_of("audio frames", kAudioSource, ranges, variant), true, variant, kSources[0],
                               ranges, frame_order(audio_frames(ranges), false));
            add_building_benchmark(name_of("building", kSources[0].name, ranges, variant), variant, kSources[0],
                                   ranges);
        }
}

// One markdown table: each figure with its ratios to the bare source and to
// Splice, all from this run.
void print_table(const RatioReporter& reporter) {
    std::printf("\n| measure | source | ranges | bare | Jobcut | Splice | Jobcut / bare | Jobcut / Splice |\n");
    std::printf("|---|---|---|---|---|---|---|---|\n");
    for (const Measure& m : measures())
        for (const Source& source : kSources) {
            const char* source_name = m.audio ? kAudioSource : source.name;
            if ((m.audio || m.name == "building") && source.blur) continue;
            for (int ranges : kRangeCounts) {
                const int frames = m.audio ? audio_frames(ranges) : video_frames(ranges);
                double value[3];
                for (int v = 0; v < 3; ++v)
                    value[v] = reporter.median(name_of(m.name, source_name, ranges, kVariants[v])) / m.divisor /
                               (m.per_frame ? frames : 1);
                if (std::isnan(value[0]) || std::isnan(value[1]) || std::isnan(value[2])) continue;  // filtered out
                std::printf("| %s | %s | %d | %.3g %s | %.3g %s | %.3g %s | %.2fx | %.3gx |\n", m.label.c_str(),
                            source_name, ranges, value[0], m.unit, value[1], m.unit, value[2], m.unit,
                            value[1] / value[0], value[1] / value[2]);
            }
        }
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    {
        const Core probe;
        std::printf("%s\n", probe.version().c_str());
    }
    check_lengths();
    register_benchmarks();
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    print_table(reporter);
    benchmark::Shutdown();
    return 0;
}
