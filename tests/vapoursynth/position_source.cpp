// A VapourSynth plug-in of test sources whose frames and audio say where they
// come from, loaded by path like any plug-in (namespace `jobcuttest`):
//   Video(frames, width=64, height=48, fpsnum=25, fpsden=1): GRAY8 frames; frame
//     n carries n in its property "Position" and, as 4 little-endian bytes and
//     the mark below, at the start of its first row (when 8 pixels wide or
//     more), so that a rendered picture still shows it;
//   Audio(samples, rate, channels=2, bits=16, float=0): byte j of sample s, in
//     AviSynth's interleaved order (channel c holding bytes c*size .. c*size+size-1
//     of the sample), is scenario::source_sample_byte(s, j).
// Every frame a source makes is logged, for tests that count what was asked
// of it (jobcut_test_* below, looked up with dlsym in the same process).
#include <VapourSynth4.h>

#include <cstring>
#include <mutex>
#include <set>
#include <utility>

#include "tests/scenario_runner/scenario_runner.h"

namespace {

constexpr uint32_t kMark = 0x4A435346;

struct Log {
    std::mutex lock;
    std::multiset<std::pair<int, int>> made;  // (media type, frame number)
    int live = 0;                             // sources not yet freed
};

Log& log() {
    static Log instance;
    return instance;
}

void note(int type, int n) {
    std::lock_guard<std::mutex> hold(log().lock);
    log().made.insert({type, n});
}

struct VideoSource {
    VSVideoInfo vi;
};

struct AudioSource {
    VSAudioInfo ai;
};

const VSFrame* VS_CC video_frame(int n, int reason, void* data, void**, VSFrameContext*, VSCore* core,
                                 const VSAPI* api) {
    if (reason != arInitial) return nullptr;
    const VSVideoInfo& vi = static_cast<VideoSource*>(data)->vi;
    note(mtVideo, n);
    VSFrame* frame = api->newVideoFrame(&vi.format, vi.width, vi.height, nullptr, core);
    uint8_t* row = api->getWritePtr(frame, 0);
    std::memset(row, 0, static_cast<size_t>(api->getStride(frame, 0)) * vi.height);
    if (vi.width >= 8) {
        std::memcpy(row, &n, 4);
        std::memcpy(row + 4, &kMark, 4);
    }
    api->mapSetInt(api->getFramePropertiesRW(frame), "Position", n, maReplace);
    return frame;
}

const VSFrame* VS_CC audio_frame(int n, int reason, void* data, void**, VSFrameContext*, VSCore* core,
                                 const VSAPI* api) {
    if (reason != arInitial) return nullptr;
    const VSAudioInfo& ai = static_cast<AudioSource*>(data)->ai;
    note(mtAudio, n);
    const int64_t first = int64_t{n} * VS_AUDIO_FRAME_SAMPLES;
    const int samples = static_cast<int>(std::min<int64_t>(VS_AUDIO_FRAME_SAMPLES, ai.numSamples - first));
    VSFrame* frame = api->newAudioFrame(&ai.format, samples, nullptr, core);
    const int size = ai.format.bytesPerSample;
    for (int c = 0; c < ai.format.numChannels; ++c) {
        uint8_t* out = api->getWritePtr(frame, c);
        for (int s = 0; s < samples; ++s)
            for (int k = 0; k < size; ++k)
                out[s * size + k] = scenario::source_sample_byte(first + s, int64_t{c} * size + k);
    }
    return frame;
}

template <typename Source>
void VS_CC free_source(void* data, VSCore*, const VSAPI*) {
    delete static_cast<Source*>(data);
    std::lock_guard<std::mutex> hold(log().lock);
    --log().live;
}

int64_t int_argument(const VSMap* in, const char* key, int64_t fallback, const VSAPI* api) {
    int error = 0;
    const int64_t value = api->mapGetInt(in, key, 0, &error);
    return error ? fallback : value;
}

void VS_CC create_video(const VSMap* in, VSMap* out, void*, VSCore* core, const VSAPI* api) {
    auto* source = new VideoSource{};
    VSVideoInfo& vi = source->vi;
    api->queryVideoFormat(&vi.format, cfGray, stInteger, 8, 0, 0, core);
    vi.numFrames = static_cast<int>(int_argument(in, "frames", 1000, api));
    vi.width = static_cast<int>(int_argument(in, "width", 64, api));
    vi.height = static_cast<int>(int_argument(in, "height", 48, api));
    vi.fpsNum = int_argument(in, "fpsnum", 25, api);
    vi.fpsDen = int_argument(in, "fpsden", 1, api);
    { std::lock_guard<std::mutex> hold(log().lock); ++log().live; }
    VSNode* node = api->createVideoFilter2("Video", &vi, video_frame, free_source<VideoSource>, fmParallel,
                                           nullptr, 0, source, core);
    if (!node) {
        free_source<VideoSource>(source, core, api);
        api->mapSetError(out, "jobcuttest.Video: not a valid clip");
        return;
    }
    api->mapConsumeNode(out, "clip", node, maReplace);
}

void VS_CC create_audio(const VSMap* in, VSMap* out, void*, VSCore* core, const VSAPI* api) {
    auto* source = new AudioSource{};
    VSAudioInfo& ai = source->ai;
    const int channels = static_cast<int>(int_argument(in, "channels", 2, api));
    const uint64_t layout = channels >= 64 ? ~uint64_t{0} : (uint64_t{1} << channels) - 1;
    if (!api->queryAudioFormat(&ai.format, int_argument(in, "float", 0, api) ? stFloat : stInteger,
                               static_cast<int>(int_argument(in, "bits", 16, api)), layout, core)) {
        delete source;
        api->mapSetError(out, "jobcuttest.Audio: not an audio format");
        return;
    }
    ai.numSamples = int_argument(in, "samples", 8000, api);
    ai.sampleRate = static_cast<int>(int_argument(in, "rate", 200, api));
    { std::lock_guard<std::mutex> hold(log().lock); ++log().live; }
    VSNode* node = api->createAudioFilter2("Audio", &ai, audio_frame, free_source<AudioSource>, fmParallel,
                                           nullptr, 0, source, core);
    if (!node) {
        free_source<AudioSource>(source, core, api);
        api->mapSetError(out, "jobcuttest.Audio: not a valid clip");
        return;
    }
    api->mapConsumeNode(out, "clip", node, maReplace);
}

}  // namespace

#if defined(_WIN32)
#define JOBCUT_TEST_EXPORT extern "C" __declspec(dllexport)
#else
#define JOBCUT_TEST_EXPORT extern "C" __attribute__((visibility("default")))
#endif

// How many times frame n of a source of that media type was made since the last reset.
JOBCUT_TEST_EXPORT int jobcut_test_made(int type, int n) {
    std::lock_guard<std::mutex> hold(log().lock);
    return static_cast<int>(log().made.count({type, n}));
}

// How many frames of that media type were made since the last reset.
JOBCUT_TEST_EXPORT int jobcut_test_made_total(int type) {
    std::lock_guard<std::mutex> hold(log().lock);
    int total = 0;
    for (const auto& entry : log().made) total += entry.first == type;
    return total;
}

JOBCUT_TEST_EXPORT void jobcut_test_reset() {
    std::lock_guard<std::mutex> hold(log().lock);
    log().made.clear();
}

// Sources not yet freed by their core.
JOBCUT_TEST_EXPORT int jobcut_test_live_sources() {
    std::lock_guard<std::mutex> hold(log().lock);
    return log().live;
}

JOBCUT_TEST_EXPORT void VS_CC VapourSynthPluginInit2(VSPlugin* plugin, const VSPLUGINAPI* api) {
    api->configPlugin("org.jobcut.test", "jobcuttest", "Jobcut test sources", VS_MAKE_VERSION(1, 0),
                      VAPOURSYNTH_API_VERSION, 0, plugin);
    api->registerFunction("Video", "frames:int;width:int:opt;height:int:opt;fpsnum:int:opt;fpsden:int:opt;",
                          "clip:vnode;", create_video, nullptr, plugin);
    api->registerFunction("Audio", "samples:int;rate:int;channels:int:opt;bits:int:opt;float:int:opt;",
                          "clip:anode;", create_audio, nullptr, plugin);
}
