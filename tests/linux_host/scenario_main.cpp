// Runs the host scenario list against the Linux shared object, loaded and
// called the way AviSynth+ on Linux does it.
#include <iostream>
#include <map>
#include <string>

#include "tests/linux_host/host_model.h"
#include "tests/scenario_runner/native_host.h"

namespace {

class LinuxHost final : public scenario::NativeHost {
public:
    explicit LinuxHost(const std::string& library) : NativeHost(std::cout), host(library) {}
    ~LinuxHost() {
        for (auto& clip : clips) linux_host::Host::release(clip.second.object);
        for (auto& source : sources) linux_host::Host::release_source(source.second);
    }

    bool load(scenario::Report& report) override {
        const char* text = host.load();
        for (const auto& r : host.registrations()) report.function_registered(r.name.c_str(), r.params.c_str(), r.user_data);
        report.entry_returned(text);
        return !host.registrations().empty();
    }

    int make_source(const scenario::Properties& p) override {
        linux_host::VideoInfo vi{p.width,      p.height,      p.fps_numerator, p.fps_denominator,
                                 p.num_frames, p.pixel_type,  p.audio_rate,    p.sample_type,
                                 p.audio_samples, p.channels, p.image_type};
        linux_host::SourceClip* source = host.make_source(vi);
        sources[next_id] = source;
        return next_id++;
    }

    bool create(int source, const char* file_name, scenario::Report& report, int* clip, const char** error) override {
        observe(source, report);
        void* made = host.create(sources.at(source), file_name, &raised);
        if (!made) {
            *error = raised.c_str();
            return false;
        }
        // AviSynth+ asks its questions as soon as the clip is made (from a clip
        // reporting version 5 or more): a nice filter, not to be cached, 0 to the rest.
        for (const scenario::CacheQuestion& q : scenario::kCacheQuestions)
            if (linux_host::Host::cache_hint(made, q.hints) != q.answer)
                report.problem("SetCacheHints answered wrongly, hints", q.hints);
        clips[next_id] = {made, source};
        *clip = next_id++;
        return true;
    }

    int64_t source_refs(int source) override { return linux_host::Host::refs(sources.at(source)); }

    scenario::Properties info(int clip, scenario::Report&) override {
        const linux_host::VideoInfo& vi = linux_host::Host::info(clips.at(clip).object);
        return {vi.width,      vi.height,     vi.fps_numerator,          vi.fps_denominator,
                vi.num_frames, vi.pixel_type, vi.audio_samples_per_second, vi.sample_type,
                vi.nchannels,  vi.num_audio_samples, vi.image_type};
    }

    int version(int clip, scenario::Report&) override { return linux_host::Host::version(clips.at(clip).object); }

    scenario::FrameResult frame(int clip, int32_t n, scenario::Report& report) override {
        observe(clips.at(clip).source, report);
        linux_host::Frame* frame = linux_host::Host::frame(clips.at(clip).object, n);
        scenario::FrameResult result{frame != nullptr, frame ? frame->tag : 0, frame ? frame->refcount.load() : 0};
        if (frame) linux_host::Host::release_frame(frame);
        return result;
    }

    bool parity(int clip, int32_t n, scenario::Report& report) override {
        observe(clips.at(clip).source, report);
        return linux_host::Host::parity(clips.at(clip).object, n);
    }

    void audio(int clip, int64_t start, int64_t count, uint8_t* buffer, int64_t, scenario::Report& report) override {
        observe(clips.at(clip).source, report);
        uint8_t* data = buffer + scenario::kGuardBytes;
        sources.at(clips.at(clip).source)->state->audio_base = data;
        linux_host::Host::audio(clips.at(clip).object, data, start, count);
    }

    void release_clip(int clip, scenario::Report&) override {
        linux_host::Host::release(clips.at(clip).object);
        clips.erase(clip);
    }

    // Heap blocks of the shared object are not visible from here; the
    // sanitizer run's leak checker covers them.
    int64_t live_allocations() override { return 0; }

private:
    // Source calls go to the report of the action that makes them.
    void observe(int source, scenario::Report& report) {
        sources.at(source)->state->observer = [&report](const linux_host::SourceCall& call) {
            switch (call.kind) {
                case 'f': report.source_frame(static_cast<int32_t>(call.start)); break;
                case 'p': report.source_parity(static_cast<int32_t>(call.start)); break;
                default: report.source_audio(call.at, call.start, call.count); break;
            }
        };
    }

    struct Clip {
        void* object;
        int source;
    };
    linux_host::Host host;
    std::map<int, linux_host::SourceClip*> sources;
    std::map<int, Clip> clips;
    std::string raised;
    int next_id = 1;
};

}  // namespace

int main(int argc, char** argv) {
    std::string library, text;
    if (!scenario::driver_arguments(argc, argv, &library, &text)) return 2;
    const scenario::TempWorkingFolder folder("scenarios");
    if (!folder.ok()) return 2;
    LinuxHost host(library);
    return scenario::run(host, text.data(), text.size());
}
