// Runs the host scenario list in AviSynth+ itself: each `create` is a script
// calling Jobcut over a source with the scenario's properties, and every
// action is performed on the clip the script returns. The real host hides
// part of what the list prints (the source requests and reference counts; its
// cache clamps frame numbers into the clip and fills audio outside the clip
// itself), so the transcript is held to the list result by result, on what
// the host lets one see: the clip's properties, each message as the script
// sees it, the source frame each frame inside the clip shows, every parity,
// and the audio bytes inside the clip.
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

// One action of a transcript and the result lines printed for it.
struct Block {
    std::string action;
    std::vector<std::string> results;
};

std::vector<Block> blocks_of(const std::string& text) {
    std::vector<Block> blocks;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (line.empty() || line[0] == '#' || line.find_first_not_of(" \t\r") == std::string::npos) continue;
        if (line.compare(0, 2, "  ") == 0) {
            if (!blocks.empty()) blocks.back().results.push_back(line);
        } else {
            blocks.push_back({line, {}});
        }
    }
    return blocks;
}

bool starts_with(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

// The value of `key=` in a result line.
int64_t field(const std::string& line, const char* key) {
    const std::string tag = std::string(" ") + key + "=";
    const size_t at = line.find(tag);
    if (at == std::string::npos) return 0;
    return std::stoll(line.substr(at + tag.size()), nullptr, 0);
}

struct ClipShape {
    int64_t frames, samples, rate, bps;
};

// The buffer a list result describes, byte by byte: source samples where a
// source request wrote, the fill of silence, 0xEE where nothing wrote.
std::vector<int> audio_image(const std::vector<std::string>& lines, int64_t bytes, int64_t bps, bool* guard) {
    std::vector<int> image(static_cast<size_t>(bytes), -1);
    auto fill = [&](int64_t at, int64_t n, auto value) {
        for (int64_t i = std::max<int64_t>(at, 0); i < std::min(at + n, bytes); ++i) image[size_t(i)] = value(i - at);
    };
    for (const std::string& line : lines) {
        if (starts_with(line, "  source audio ")) {
            const int64_t start = field(line, "start");
            fill(field(line, "at"), field(line, "count") * bps,
                 [&](int64_t k) { return int(scenario::source_sample_byte(start + k / bps, k % bps)); });
        } else if (starts_with(line, "  silence ")) {
            const int value = int(field(line, "fill"));
            fill(field(line, "at"), field(line, "bytes"), [&](int64_t) { return value; });
        } else if (starts_with(line, "  unwritten ")) {
            fill(field(line, "at"), field(line, "bytes"), [](int64_t) { return int(scenario::kFillByte); });
        } else if (line == "  guard overwritten") {
            *guard = true;
        }
    }
    return image;
}

class Checker {
public:
    void compare(const Block& want, const Block& got);
    bool passed() const { return failures_ == 0; }
    void summary() const {
        std::printf("real host: %d results checked, %d failed; not shown by the host:\n", checked_, failures_);
        for (const auto& [what, count] : hidden_) std::printf("  %4d  %s\n", count, what.c_str());
    }

private:
    void hide(const char* what, int count = 1) { hidden_[what] += count; }
    void expect(bool same, const Block& want, const std::vector<std::string>& wanted, const std::vector<std::string>& seen);
    // The results less the lines the host does not show.
    std::vector<std::string> shown(const std::vector<std::string>& results) {
        std::vector<std::string> kept;
        for (const std::string& line : results) {
            if (starts_with(line, "  source refs ")) {
                hide("source reference counts");
            } else if (starts_with(line, "  source frame ") || starts_with(line, "  source parity ") ||
                       starts_with(line, "  source audio ")) {
                hide("source requests");
            } else {
                kept.push_back(line.substr(0, line.find(" refs ")));  // a frame's count is the host's
            }
        }
        return kept;
    }
    void check_audio(const Block& want, const Block& got, int64_t start, int64_t count);

    std::string scenario_;
    std::vector<ClipShape> clips_;
    int checked_ = 0;
    int failures_ = 0;
    std::map<std::string, int> hidden_;
};

void Checker::expect(bool same, const Block& want, const std::vector<std::string>& wanted,
                     const std::vector<std::string>& seen) {
    ++checked_;
    if (same) return;
    ++failures_;
    std::printf("FAILED in scenario %s: %s\n  expected:\n", scenario_.c_str(), want.action.c_str());
    for (const std::string& line : wanted) std::printf("  %s\n", line.c_str());
    std::printf("  real host:\n");
    for (const std::string& line : seen) std::printf("  %s\n", line.c_str());
}

void Checker::compare(const Block& want, const Block& got) {
    std::istringstream words(want.action);
    std::string kind;
    words >> kind;
    if (kind == "scenario") words >> scenario_;

    if (kind == "load") {
        hide("registration details (the host shows that Jobcut exists)");
    } else if (kind == "version") {
        hide("GetVersion (the host answers for its own cache)");
    } else if (kind == "create" || kind == "info") {
        const std::vector<std::string> wanted = shown(want.results), seen = shown(got.results);
        expect(wanted == seen, want, wanted, seen);
        if (kind == "create" && !wanted.empty() && wanted[0] == "  clip" && wanted.size() > 1) {
            const std::string& vi = wanted[1];
            clips_.push_back({field(vi, "frames"), field(vi, "samples"), field(vi, "rate"),
                              jobcut::bytes_per_audio_sample(int32_t(field(vi, "type")), int32_t(field(vi, "channels")))});
        }
    } else if (kind == "release") {
        shown(want.results);
        if (!clips_.empty()) clips_.pop_back();
    } else if (kind == "frame") {
        int64_t n;
        words >> n;
        const std::vector<std::string> wanted = shown(want.results), seen = shown(got.results);
        if (!clips_.empty() && n >= 0 && n < clips_.back().frames)
            expect(wanted == seen, want, wanted, seen);
        else
            hide("frames outside the clip (the host clamps the number)");
    } else if (kind == "parity") {
        const std::vector<std::string> wanted = shown(want.results), seen = shown(got.results);
        expect(wanted == seen, want, wanted, seen);
    } else if (kind == "audio") {
        int64_t start, count;
        words >> start >> count;
        check_audio(want, got, start, count);
    } else if (!want.results.empty() || !got.results.empty()) {
        expect(want.results == got.results, want, want.results, got.results);
    }
}

void Checker::check_audio(const Block& want, const Block& got, int64_t start, int64_t count) {
    shown(want.results);
    if (clips_.empty()) return;
    const ClipShape& clip = clips_.back();
    const int64_t bytes = count > 0 ? count * clip.bps : 0;
    bool want_guard = false, got_guard = false;
    const std::vector<int> wanted = audio_image(want.results, bytes, clip.bps, &want_guard);
    const std::vector<int> seen = audio_image(got.results, bytes, clip.bps, &got_guard);
    // The host answers samples outside 0..num_audio_samples-1 itself, and a
    // clip without an audio rate entirely.
    const int64_t first = clip.rate == 0 ? 0 : std::clamp<int64_t>(-start, 0, std::max<int64_t>(count, 0));
    const int64_t last = clip.rate == 0 ? 0 : std::clamp<int64_t>(clip.samples - start, first, std::max<int64_t>(count, 0));
    if (first > 0 || last < count) hide("audio samples outside the clip (the host fills them)", int(count - (last - first)));
    if (first == last) return;
    // The bytes the host shows, in hex, for a failure's report.
    auto hex = [&](const std::vector<int>& image, bool guard) {
        std::string text = "  bytes " + std::to_string(first * clip.bps) + ".." + std::to_string(last * clip.bps - 1) + ":";
        char byte[4];
        for (int64_t i = first * clip.bps; i < last * clip.bps; ++i) {
            std::snprintf(byte, sizeof byte, " %02X", image[size_t(i)] & 0xFF);
            text += byte;
        }
        return std::vector<std::string>{text + (guard ? " (guard overwritten)" : "")};
    };
    bool same = want_guard == got_guard;
    for (int64_t i = first * clip.bps; i < last * clip.bps; ++i) same = same && wanted[size_t(i)] == seen[size_t(i)];
    expect(same, want, hex(wanted, want_guard), hex(seen, got_guard));
}

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

    const std::vector<Block> wanted = blocks_of(list), seen = blocks_of(transcript.str());
    Checker checker;
    for (size_t i = 0; i < wanted.size() && i < seen.size(); ++i) {
        if (wanted[i].action != seen[i].action) {
            std::printf("the real host's transcript lost its place at: %s\n", wanted[i].action.c_str());
            return 1;
        }
        checker.compare(wanted[i], seen[i]);
    }
    checker.summary();
    if (status != 0 || wanted.size() != seen.size()) {
        std::printf("the run stopped after %zu of %zu actions:\n%s", seen.size(), wanted.size(), transcript.str().c_str());
        return 1;
    }
    return checker.passed() ? 0 : 1;
}
