// Runs the host scenario list in AviSynth+ itself: each `create` is a script
// calling Jobcut over a source with the scenario's properties, and every
// action is performed on the clip the script returns. The transcript is held
// to the list on what the host lets one see (transcript_check.h): the clip's
// properties, each message as the script sees it, the source frame each frame
// inside the clip shows, every parity, and the audio bytes inside the clip.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "host/avisynth/sample_type.h"
#include "tests/avsplus/position_source.h"
#include "tests/scenario_runner/native_host.h"
#include "tests/scenario_runner/transcript_check.h"
#include "tools/real_host/real_host.h"

namespace {

constexpr const char* kScriptName = "scenario";

class RealHost final : public scenario::NativeHost {
public:
    RealHost(std::ostream& transcript, std::string plugin) : NativeHost(transcript), plugin_(std::move(plugin)) {}

    // The host does not show what the entry registered, only that the
    // function exists afterwards.
    bool load(scenario::Report& report) override {
        try {
            env_.load_plugin(plugin_);
        } catch (const AvisynthError& error) {
            report.problem(error.msg);
            return false;
        }
        return env_->FunctionExists("Jobcut");
    }

    int make_source(const scenario::Properties& p) override {
        const VideoInfo vi{p.width,        p.height,     p.fps_numerator, p.fps_denominator,
                           p.num_frames,   p.pixel_type, p.audio_rate,    p.sample_type,
                           p.audio_samples, p.channels,  p.image_type};
        sources_[next_id_] = new avsplus::PositionSource(vi);
        return next_id_++;
    }

    bool create(int source, const char* file_name, scenario::Report&, int* clip, const char** error) override {
        env_->SetVar("scenario_source", AVSValue(sources_.at(source)));
        if (file_name) env_->SetVar("scenario_settings", AVSValue(env_->SaveString(file_name)));
        bool made = false;
        try {
            const AVSValue result =
                env_.eval(file_name ? "Jobcut(scenario_source, scenario_settings)" : "Jobcut(scenario_source)",
                          kScriptName);
            made = result.IsClip();
            if (made) {
                clips_[next_id_] = result.AsClip();
                *clip = next_id_++;
            } else {
                raised_ = "the script returned no clip";
            }
        } catch (const AvisynthError& e) {
            // What the script sees is the message and then the host's location
            // lines; the list holds the message alone.
            raised_ = e.msg;
            const std::string suffix = real_host::location_suffix(kScriptName, 1);
            if (raised_.size() >= suffix.size() && raised_.compare(raised_.size() - suffix.size(), suffix.size(), suffix) == 0)
                raised_.resize(raised_.size() - suffix.size());
            else
                raised_ += " [without the host's location lines]";
        }
        // The script's variables are not the scenario's to keep.
        env_->SetVar("scenario_source", AVSValue());
        env_->SetVar("scenario_settings", AVSValue());
        if (!made) *error = raised_.c_str();
        return made;
    }

    int64_t source_refs(int) override { return 0; }  // not shown by the host

    scenario::Properties info(int clip, scenario::Report&) override {
        const VideoInfo& vi = clips_.at(clip)->GetVideoInfo();
        return {vi.width,      vi.height,     vi.fps_numerator,           vi.fps_denominator,
                vi.num_frames, vi.pixel_type, vi.audio_samples_per_second, vi.sample_type,
                vi.nchannels,  vi.num_audio_samples, vi.image_type};
    }

    int version(int clip, scenario::Report&) override { return clips_.at(clip)->GetVersion(); }

    scenario::FrameResult frame(int clip, int32_t n, scenario::Report&) override {
        const std::optional<int> tag = avsplus::frame_tag(clips_.at(clip)->GetFrame(n, env_.get()));
        return {tag.has_value(), tag.value_or(0), 0};
    }

    bool parity(int clip, int32_t n, scenario::Report&) override { return clips_.at(clip)->GetParity(n); }

    void audio(int clip, int64_t start, int64_t count, uint8_t* buffer, int64_t, scenario::Report&) override {
        clips_.at(clip)->GetAudio(buffer + scenario::kGuardBytes, start, count, env_.get());
    }

    void release_clip(int clip, scenario::Report&) override { clips_.erase(clip); }
    int64_t live_allocations() override { return 0; }

private:
    std::string plugin_;
    real_host::Environment env_;  // outlives the clips below
    std::map<int, PClip> sources_;
    std::map<int, PClip> clips_;
    std::string raised_;
    int next_id_ = 1;
};

}  // namespace

int main(int argc, char** argv) {
    std::string plugin, list;
    if (!scenario::driver_arguments(argc, argv, &plugin, &list)) return 2;
    std::ostringstream transcript;
    int status;
    {
        const scenario::TempWorkingFolder folder("avsplus");
        if (!folder.ok()) return 2;
        RealHost host(transcript, plugin);
        status = scenario::run(host, list.data(), list.size());
    }

    const scenario::HostView view{"real host", true, false, nullptr, false};
    return scenario::check_transcript(view, list, transcript.str(), status);
}
