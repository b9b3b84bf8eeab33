// Runs the host scenario list in VapourSynth: each `create` calls
// jobcut.Jobcut over a test video source with the scenario's properties and,
// where the source has audio VapourSynth can hold, jobcut.JobcutAudio over a
// test audio source at the scenario's frame rate; every action is performed on
// the two nodes. The transcript is held to the list on what VapourSynth lets
// one see (transcript_check.h): VapourSynth has no field parity, no picture
// or image type of AviSynth's, asks no source for a frame outside it (a row
// past the source's end shows its last frame; audio outside it is silence),
// and cannot take a scenario whose source it cannot describe.
// With VSPIPE given, each `create` is a .vpy script rendered by vspipe
// instead (vspipe_host.h), the plug-in autoloaded from a user plug-in folder.
//
//   vapoursynth_scenarios PLUGIN SCENARIOS SOURCE_PLUGIN [VSPIPE]
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <numeric>
#include <sstream>
#include <string>

#include "tests/scenario_runner/native_host.h"
#include "tests/scenario_runner/transcript_check.h"
#include "tests/vapoursynth/scenario_host.h"
#include "tests/vapoursynth/vs_core.h"
#if !defined(_WIN32)
#include "tests/vapoursynth/vspipe_host.h"
#endif

namespace {

struct Clip {
    int source;
    VSNode* video = nullptr;
    VSNode* audio = nullptr;
    bool audio_refused_empty = false;  // JobcutAudio refused a cut of 0 samples
};

class VapourSynthHost final : public vstest::ScenarioHost {
public:
    VapourSynthHost(std::ostream& transcript, std::string plugin, std::string source_plugin)
        : ScenarioHost(transcript), plugin_(std::move(plugin)), source_plugin_(std::move(source_plugin)) {}
    ~VapourSynthHost() {
        for (auto& [id, clip] : clips_) free_clip(clip);
        for (auto& [id, nodes] : source_nodes_) {
            vstest::api()->freeNode(nodes.first);
            if (nodes.second) vstest::api()->freeNode(nodes.second);
        }
    }

    // The core does not show what the entry registered, only the namespace.
    bool load(scenario::Report& report) override {
        for (const std::string& path : {plugin_, source_plugin_}) {
            const std::string error = core_.load(path);
            if (!error.empty()) {
                report.problem(error.c_str());
                return false;
            }
        }
        return core_.has_namespace("jobcut");
    }

    bool create(int source, const char* file_name, scenario::Report& report, int* clip, const char** error) override {
        const scenario::Properties& p = sources_.at(source);
        if (const char* why = not_applicable(p, file_name, 0)) return refuse(why, error);
        auto& nodes = source_nodes(source, p, report);
        if (!nodes.first) return refuse("the test source refused the properties", error);

        Clip made{source};
        vstest::Arguments video_arguments;
        video_arguments.node("clip", nodes.first).text("filename", file_name);
        const vstest::Result video = core_.call("jobcut", "Jobcut", video_arguments);
        vstest::Result audio;
        if (nodes.second && vstest::audio_applies(p)) {
            vstest::Arguments audio_arguments;
            audio_arguments.node("clip", nodes.second).text("filename", file_name)
                .integer("fpsnum", p.fps_numerator).integer("fpsden", p.fps_denominator);
            audio = core_.call("jobcut", "JobcutAudio", audio_arguments);
            made.audio = audio.node;
            made.audio_refused_empty = audio.error.rfind("JobcutAudio: the cut's audio comes to 0 samples", 0) == 0;
            // The same file gives both functions the same message.
            if (!video.node && audio.error != video.error) report.problem(("JobcutAudio raised: " + audio.error).c_str());
        }
        // A script that cuts both stops at the first message: only the audio
        // can be too long.
        const bool audio_failed = !audio.error.empty() && audio.error.rfind("Jobcut: ", 0) == 0;
        if (video.node && !audio.node && !audio.error.empty() && !made.audio_refused_empty && !audio_failed)
            report.problem(("JobcutAudio refused a file Jobcut took: " + audio.error).c_str());
        if (!video.node || audio_failed) {
            if (video.node) vstest::api()->freeNode(video.node);
            free_clip(made);
            return raise(video.node ? audio.error : video.error, error);
        }
        made.video = video.node;
        *clip = new_id();
        clips_[*clip] = made;
        return true;
    }

    int64_t source_refs(int) override { return 0; }  // not shown by the host

    scenario::Properties info(int id, scenario::Report&) override {
        const Clip& clip = clips_.at(id);
        const VSVideoInfo& vi = *vstest::api()->getVideoInfo(clip.video);
        const scenario::Properties& source = sources_.at(clip.source);
        scenario::Properties p{vi.width, vi.height, static_cast<uint32_t>(vi.fpsNum), static_cast<uint32_t>(vi.fpsDen),
                               vi.numFrames, scenario::kNotShown, scenario::kNotShown, scenario::kNotShown,
                               scenario::kNotShown, scenario::kNotShown, scenario::kNotShown};
        // VapourSynth keeps a frame rate reduced: the source's own numbers, when they are the same rate.
        if (static_cast<uint64_t>(vi.fpsNum) * source.fps_denominator ==
            static_cast<uint64_t>(vi.fpsDen) * source.fps_numerator)
            p.fps_numerator = source.fps_numerator, p.fps_denominator = source.fps_denominator;
        if (clip.audio) {
            const VSAudioInfo& ai = *vstest::api()->getAudioInfo(clip.audio);
            p.audio_rate = ai.sampleRate;
            p.sample_type = vstest::avisynth_sample_type(ai.format.sampleType == stFloat, ai.format.bitsPerSample);
            p.channels = ai.format.numChannels;
            p.audio_samples = ai.numSamples;
        } else if (clip.audio_refused_empty) {
            p.audio_rate = source.audio_rate;
            p.sample_type = source.sample_type;
            p.channels = source.channels;
            p.audio_samples = 0;
        }
        return p;
    }

    int version(int, scenario::Report&) override { return 0; }  // not shown

    scenario::FrameResult frame(int id, int32_t n, scenario::Report& report) override {
        const Clip& clip = clips_.at(id);
        if (n < 0 || n >= vstest::api()->getVideoInfo(clip.video)->numFrames) return {false, 0, 0};
        std::string error;
        const int tag = vstest::frame_position(clip.video, n, &error);
        if (tag < 0) report.problem(error.c_str());
        return {tag >= 0, tag, 0};
    }

    bool parity(int, int32_t, scenario::Report&) override { return false; }  // not shown

    void audio(int id, int64_t start, int64_t count, uint8_t* buffer, int64_t, scenario::Report& report) override {
        const Clip& clip = clips_.at(id);
        if (!clip.audio || count <= 0) return;
        std::string error;
        const std::vector<uint8_t> bytes = vstest::interleaved_audio(clip.audio, start, count, &error);
        if (!error.empty()) report.problem(error.c_str());
        // Only samples inside the clip come back: they begin at sample max(start, 0).
        const VSAudioFormat& format = vstest::api()->getAudioInfo(clip.audio)->format;
        const int64_t at = (start < 0 ? -start : 0) * format.bytesPerSample * format.numChannels;
        if (!bytes.empty()) std::memcpy(buffer + scenario::kGuardBytes + at, bytes.data(), bytes.size());
    }

    void release_clip(int id, scenario::Report&) override {
        free_clip(clips_.at(id));
        clips_.erase(id);
    }
    int64_t live_allocations() override { return 0; }

private:
    static void free_clip(Clip& clip) {
        if (clip.video) vstest::api()->freeNode(clip.video);
        if (clip.audio) vstest::api()->freeNode(clip.audio);
        clip.video = clip.audio = nullptr;
    }

    // The source's video node and, when VapourSynth can hold its audio, its audio node.
    std::pair<VSNode*, VSNode*>& source_nodes(int source, const scenario::Properties& p, scenario::Report& report) {
        auto found = source_nodes_.find(source);
        if (found != source_nodes_.end()) return found->second;
        std::pair<VSNode*, VSNode*> nodes{nullptr, nullptr};
        int64_t num = p.fps_numerator, den = p.fps_denominator;
        if (const int64_t common = std::gcd(num, den)) num /= common, den /= common;
        vstest::Arguments video;
        video.integer("frames", p.num_frames).integer("width", p.width).integer("height", p.height)
            .integer("fpsnum", num).integer("fpsden", den);
        vstest::Result made = core_.call("jobcuttest", "Video", video);
        if (!made.error.empty()) report.problem(made.error.c_str());
        nodes.first = made.node;
        int bits;
        bool is_float;
        if (vstest::audio_applies(p) && vstest::vapoursynth_audio(p.sample_type, &bits, &is_float)) {
            vstest::Arguments audio;
            audio.integer("samples", p.audio_samples).integer("rate", p.audio_rate).integer("channels", p.channels)
                .integer("bits", bits).integer("float", is_float);
            made = core_.call("jobcuttest", "Audio", audio);
            if (!made.error.empty()) report.problem(made.error.c_str());
            nodes.second = made.node;
        }
        return source_nodes_[source] = nodes;
    }

    std::string plugin_, source_plugin_;
    vstest::Core core_;  // outlives the nodes below
    std::map<int, std::pair<VSNode*, VSNode*>> source_nodes_;
    std::map<int, Clip> clips_;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4 && argc != 5) {
        std::fprintf(stderr, "usage: %s PLUGIN SCENARIOS SOURCE_PLUGIN [VSPIPE]\n", argv[0]);
        return 2;
    }
    std::string plugin, list;
    if (!scenario::driver_arguments(3, argv, &plugin, &list)) return 2;
    const std::string source_plugin = std::filesystem::absolute(argv[3]).string();
    std::ostringstream transcript;
    int status;
    {
        const scenario::TempWorkingFolder folder("vapoursynth");
        if (!folder.ok()) return 2;
        if (argc == 5) {
#if !defined(_WIN32)
            status = vstest::run_with_vspipe(transcript, list, plugin, source_plugin, argv[4]);
#else
            std::fprintf(stderr, "vspipe runs are for Linux\n");
            return 2;
#endif
        } else {
            VapourSynthHost host(transcript, plugin, source_plugin);
            status = scenario::run(host, list.data(), list.size());
        }
    }
    const std::string not_applicable = std::string("  error ") + vstest::kNotApplicable;
    const scenario::HostView view{argc == 5 ? "vspipe" : "VapourSynth", false, true, not_applicable.c_str(), true};
    return scenario::check_transcript(view, list, transcript.str(), status);
}
