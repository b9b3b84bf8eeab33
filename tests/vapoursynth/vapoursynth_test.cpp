// The plug-in in VapourSynth, driven through the real core: the same cut as
// the AviSynth binding gives for the same file and source (the bundled
// examples, the test and corpus files and random files), loading by path and
// from the user plug-in folder, the functions' argument errors, what the
// source is asked for, a core of several threads, and the teardown.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <set>
#include <sstream>

#include "host/avisynth/jobcut_filter.h"
#include "host/avisynth/sample_type.h"
#include "tests/unit/cut_ranges.h"
#include "tests/unit/test_files.h"
#include "tests/vapoursynth/avisynth_cut.h"
#include "tests/vapoursynth/vs_core.h"
#include "tools/inprocess_host/inprocess_host.h"

namespace {

namespace fs = std::filesystem;

// What the test-source plug-in counts, found in it once it is loaded.
struct SourceLog {
    int (*made)(int type, int n);
    int (*made_total)(int type);
    void (*reset)();
    int (*live)();
};

const SourceLog& source_log() {
    static const SourceLog log = [] {
        void* library = dlopen(JOBCUT_VS_TEST_SOURCE, RTLD_NOW | RTLD_NOLOAD);
        if (!library) library = dlopen(JOBCUT_VS_TEST_SOURCE, RTLD_NOW);
        SourceLog found{};
        found.made = reinterpret_cast<int (*)(int, int)>(dlsym(library, "jobcut_test_made"));
        found.made_total = reinterpret_cast<int (*)(int)>(dlsym(library, "jobcut_test_made_total"));
        found.reset = reinterpret_cast<void (*)()>(dlsym(library, "jobcut_test_reset"));
        found.live = reinterpret_cast<int (*)()>(dlsym(library, "jobcut_test_live_sources"));
        return found;
    }();
    return log;
}

// A source as both hosts are given it: AviSynth's properties, 16-bit audio.
struct Source {
    int frames = 1000;
    unsigned fps_numerator = 25, fps_denominator = 1;
    int rate = 200;
    int channels = 2;
    int64_t samples = 8000;
};

// A core with our plug-in and the test sources loaded, and nodes over them.
class Session {
public:
    explicit Session(int threads = 1) : core(threads) {
        EXPECT_EQ(core.load(JOBCUT_PLUGIN), "");
        EXPECT_EQ(core.load(JOBCUT_VS_TEST_SOURCE), "");
    }
    ~Session() {
        for (VSNode* node : nodes) vstest::api()->freeNode(node);
    }

    VSNode* keep(VSNode* node) {
        if (node) nodes.push_back(node);
        return node;
    }
    VSNode* video_source(const Source& s) {
        vstest::Arguments a;
        a.integer("frames", s.frames).integer("fpsnum", s.fps_numerator).integer("fpsden", s.fps_denominator);
        return keep(core.call("jobcuttest", "Video", a).node);
    }
    VSNode* audio_source(const Source& s) {
        vstest::Arguments a;
        a.integer("samples", s.samples).integer("rate", s.rate).integer("channels", s.channels);
        return keep(core.call("jobcuttest", "Audio", a).node);
    }
    vstest::Result video_cut(VSNode* source, const std::string& file) {
        vstest::Arguments a;
        a.node("clip", source).text("filename", file);
        vstest::Result result = core.call("jobcut", "Jobcut", a);
        keep(result.node);
        return result;
    }
    vstest::Result audio_cut(VSNode* source, const std::string& file, int64_t fps_numerator, int64_t fps_denominator) {
        vstest::Arguments a;
        a.node("clip", source).text("filename", file).integer("fpsnum", fps_numerator).integer("fpsden", fps_denominator);
        vstest::Result result = core.call("jobcut", "JobcutAudio", a);
        keep(result.node);
        return result;
    }

    vstest::Core core;
    std::vector<VSNode*> nodes;
};

// The source as the AviSynth filter is given it: 64x48, 16-bit audio.
jobcut::VideoInfo avisynth_source(const Source& s) {
    jobcut::VideoInfo vi{};
    vi.width = 64, vi.height = 48, vi.pixel_type = 7;
    vi.num_frames = s.frames, vi.fps_numerator = s.fps_numerator, vi.fps_denominator = s.fps_denominator;
    vi.audio_samples_per_second = s.rate, vi.sample_type = jobcut::kSampleInt16, vi.nchannels = s.channels;
    vi.num_audio_samples = s.samples;
    return vi;
}

vstest::AviSynthCut avisynth_cut(inprocess::Plugin& plugin, const Source& s, const std::string& file) {
    return vstest::avisynth_cut(plugin, avisynth_source(s), file);
}

// The audio frames worth comparing: all of a short clip; of a long one, every
// frame holding a row's end (where the rows join) and the first and last.
std::vector<int> audio_frames_to_compare(jobcut::IClip* clip, int64_t samples) {
    const int64_t count = (samples + VS_AUDIO_FRAME_SAMPLES - 1) / VS_AUDIO_FRAME_SAMPLES;
    std::set<int> frames;
    if (samples <= 400000) {
        for (int n = 0; n < count; ++n) frames.insert(n);
    } else {
        frames.insert(0);
        frames.insert(static_cast<int>(count - 1));
        // The row ends: where the clip's frame count, in samples, crosses each row.
        const auto* filter = static_cast<const jobcut::JobcutFilter*>(clip);
        for (int i = 0; i < filter->row_count(); ++i) {
            const int64_t end = filter->rows()[i].audio_end;
            for (int64_t at : {end - 1, end})
                if (at >= 0 && at < samples) frames.insert(static_cast<int>(at / VS_AUDIO_FRAME_SAMPLES));
        }
    }
    return {frames.begin(), frames.end()};
}

// Compares both bindings over one file and source; returns what differs, "" when nothing.
std::string compare_bindings(inprocess::Plugin& plugin, const Source& s, const std::string& file) {
    vstest::AviSynthCut expected = avisynth_cut(plugin, s, file);
    Session session;
    const vstest::Result video = session.video_cut(session.video_source(s), file);
    const vstest::Result audio = session.audio_cut(session.audio_source(s), file, s.fps_numerator, s.fps_denominator);
    if (!expected.error.empty()) {
        if (video.error != expected.error) return "Jobcut raised \"" + video.error + "\", not \"" + expected.error + "\"";
        if (audio.error != expected.error) return "JobcutAudio raised \"" + audio.error + "\"";
        return "";
    }
    if (!video.node) return "Jobcut refused a file the AviSynth filter took: " + video.error;
    const int frames = vstest::api()->getVideoInfo(video.node)->numFrames;
    if (frames != expected.frames) return "frame count " + std::to_string(frames) + ", not " + std::to_string(expected.frames);
    std::vector<int> positions;
    const int step = frames > 20000 ? 97 : 1;  // long clips: a sample of frames, row starts and ends below
    for (int n = 0; n < frames; n += step) positions.push_back(n);
    const auto* filter = static_cast<const jobcut::JobcutFilter*>(expected.clip->get());
    for (int i = 0; i < filter->row_count(); ++i)
        for (int n : {filter->rows()[i].frame_end - 1, filter->rows()[i].frame_end})
            if (n >= 0 && n < frames) positions.push_back(n);
    for (int n : positions) {
        const int shown = vstest::frame_position(video.node, n);
        if (shown != expected.frame[n])
            return "frame " + std::to_string(n) + " shows " + std::to_string(shown) + ", not " +
                   std::to_string(expected.frame[n]);
    }
    if (expected.samples < 1) {
        if (audio.error.rfind("JobcutAudio: the cut's audio comes to 0 samples", 0) != 0)
            return "a cut of no audio gave \"" + audio.error + "\"";
        return "";
    }
    if (!audio.node) return "JobcutAudio refused a file the AviSynth filter took: " + audio.error;
    if (vstest::api()->getAudioInfo(audio.node)->numSamples != expected.samples) return "audio length differs";
    for (int n : audio_frames_to_compare(expected.clip->get(), expected.samples)) {
        const int64_t start = int64_t{n} * VS_AUDIO_FRAME_SAMPLES;
        const int64_t count = std::min<int64_t>(VS_AUDIO_FRAME_SAMPLES, expected.samples - start);
        if (vstest::interleaved_audio(audio.node, start, count) != expected.audio(start, count))
            return "audio frame " + std::to_string(n) + " differs";
    }
    return "";
}

// Random settings files: plain and masked rows in any order, masked first and
// in runs, one-frame rows, rows past the source's end, up to 256 rows.
std::vector<CutRange> random_ranges(std::mt19937& random, int source_frames) {
    const int rows = random() % 10 == 0 ? 256 : 1 + static_cast<int>(random() % 12);
    std::vector<CutRange> ranges;
    for (int i = 0; i < rows; ++i) {
        const int length = random() % 4 == 0 ? 1 : 1 + static_cast<int>(random() % 60);
        int start = static_cast<int>(random() % static_cast<unsigned>(source_frames));
        if (random() % 8 == 0) start = source_frames - 1 - static_cast<int>(random() % 3);  // runs past the end
        ranges.push_back({start, length, random() % 3 == 0});
    }
    return ranges;
}

std::vector<std::string> settings_files() {
    std::vector<std::string> files;
    for (const char* folder : {JOBCUT_SOURCE_ROOT "/examples", JOBCUT_SOURCE_ROOT "/tests/data",
                               JOBCUT_SOURCE_ROOT "/tests/inspect/data", JOBCUT_SOURCE_ROOT "/../shared/corpus/real"}) {
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(folder, ec))
            if (entry.is_regular_file() && entry.path().extension() != ".md" && entry.path().extension() != ".svg" &&
                entry.path().extension() != ".png")
                files.push_back(entry.path().string());
    }
    std::sort(files.begin(), files.end());
    return files;
}

TEST(SameCutAsAviSynth, BundledTestAndCorpusFiles) {
    inprocess::Plugin plugin;
    const std::vector<Source> sources = {
        {}, {200000, 30000, 1001, 48000, 2, 320320000}, {1, 24, 1, 8000, 1, 333}, {3000, 25, 1, 44100, 6, 5292000}};
    const std::vector<std::string> files = settings_files();
    ASSERT_GE(files.size(), 20u);
    for (const std::string& file : files)
        for (const Source& s : sources) {
            SCOPED_TRACE(file + " over " + std::to_string(s.frames) + " frames");
            EXPECT_EQ(compare_bindings(plugin, s, file), "");
        }
}

TEST(SameCutAsAviSynth, RandomFiles) {
    inprocess::Plugin plugin;
    TempFolder folder;
    std::mt19937 random(20261210);
    const unsigned rates[][2] = {{25, 1}, {30000, 1001}, {24000, 1001}, {50, 1}, {15, 2}};
    const int audio_rates[] = {8000, 11025, 44100, 48000, 200};
    for (int i = 0; i < 300; ++i) {
        Source s;
        s.frames = 1 + static_cast<int>(random() % 400);
        const auto& rate = rates[random() % 5];
        s.fps_numerator = rate[0], s.fps_denominator = rate[1];
        s.rate = audio_rates[random() % 5];
        s.channels = 1 + static_cast<int>(random() % 3);
        // The source's audio a little shorter or longer than its frames.
        s.samples = std::max<int64_t>(1, int64_t{s.frames} * s.rate * rate[1] / rate[0] + int(random() % 2001) - 1000);
        const std::string file = folder.write("random.vcf", cut_settings(random_ranges(random, s.frames)));
        SCOPED_TRACE("random file " + std::to_string(i));
        ASSERT_EQ(compare_bindings(plugin, s, file), "");
    }
}

TEST(Loading, ByPathAndFromTheUserPluginFolder) {
    {
        vstest::Core plain(1, true);
        EXPECT_FALSE(plain.has_namespace("jobcut")) << "found without being installed";
    }
    TempFolder folder;
    const fs::path plugins = fs::path(folder.path("plugins"));
    fs::create_directories(plugins);
    fs::copy_file(JOBCUT_PLUGIN, plugins / "libjobcut.so");
    const std::string conf = folder.write("vapoursynth.conf", "UserPluginDir=" + plugins.string() + "\n");
    setenv("VAPOURSYNTH_CONF_PATH", conf.c_str(), 1);
    {
        vstest::Core autoloaded(1, true);
        EXPECT_TRUE(autoloaded.has_namespace("jobcut"));
        EXPECT_EQ(autoloaded.load(JOBCUT_VS_TEST_SOURCE), "");
        vstest::Arguments source;
        source.integer("frames", 100);
        vstest::Result clip = autoloaded.call("jobcuttest", "Video", source);
        vstest::Arguments cut;
        cut.node("clip", clip.node).text("filename", folder.write("cuts.vcf", cut_settings({{10, 5, false}})));
        vstest::Result result = autoloaded.call("jobcut", "Jobcut", cut);
        ASSERT_TRUE(result.node) << result.error;
        EXPECT_EQ(vstest::frame_position(result.node, 0), 10);
        vstest::api()->freeNode(result.node);
        vstest::api()->freeNode(clip.node);
    }
    unsetenv("VAPOURSYNTH_CONF_PATH");
}

TEST(Arguments, RefusedWithTheirReason) {
    TempFolder folder;
    const std::string file = folder.write("cuts.vcf", cut_settings({{10, 5, false}}));
    const std::string short_file = folder.write("short.vcf", cut_settings({{0, 1, false}}));
    Session session;
    const Source s;
    VSNode* video = session.video_source(s);
    VSNode* audio = session.audio_source(s);
    // 4 samples a second at 30 frames a second: a one-frame cut has no whole sample.
    Source slow = s;
    slow.rate = 4;
    VSNode* slow_audio = session.audio_source(slow);
    const std::string rate_message =
        "JobcutAudio: fpsnum and fpsden must be whole numbers from 1 to 4294967295: pass the frame rate of the video "
        "the settings file cuts, for example fpsnum=video.fps_num, fpsden=video.fps_den (a variable-frame-rate clip "
        "has no rate to take: give the rate it was cut at)";
    struct Case {
        const char* what;
        std::function<void(vstest::Arguments&)> fill;
        const char* function;
        std::string error;  // a prefix of the message
    };
    const std::vector<Case> cases = {
        {"no file name", [&](vstest::Arguments& a) { a.node("clip", video); }, "Jobcut", "Jobcut: argument filename is required"},
        {"audio to Jobcut", [&](vstest::Arguments& a) { a.node("clip", audio).text("filename", file); }, "Jobcut",
         "Jobcut: argument clip is not of the correct type"},
        {"a number for the name", [&](vstest::Arguments& a) { a.node("clip", video).integer("filename", 3); }, "Jobcut",
         "Jobcut: argument filename is not of the correct type"},
        {"video to JobcutAudio",
         [&](vstest::Arguments& a) { a.node("clip", video).text("filename", file).integer("fpsnum", 25).integer("fpsden", 1); },
         "JobcutAudio", "JobcutAudio: argument clip is not of the correct type"},
        {"no fpsden", [&](vstest::Arguments& a) { a.node("clip", audio).text("filename", file).integer("fpsnum", 25); },
         "JobcutAudio", "JobcutAudio: argument fpsden is required"},
        {"fpsnum 0",
         [&](vstest::Arguments& a) { a.node("clip", audio).text("filename", file).integer("fpsnum", 0).integer("fpsden", 1); },
         "JobcutAudio", rate_message},
        {"fpsden below 0",
         [&](vstest::Arguments& a) { a.node("clip", audio).text("filename", file).integer("fpsnum", 25).integer("fpsden", -1); },
         "JobcutAudio", rate_message},
        {"fpsnum past 32 bits",
         [&](vstest::Arguments& a) {
             a.node("clip", audio).text("filename", file).integer("fpsnum", int64_t{1} << 32).integer("fpsden", 1);
         },
         "JobcutAudio", rate_message},
        {"a cut of no audio",
         [&](vstest::Arguments& a) {
             a.node("clip", slow_audio).text("filename", short_file).integer("fpsnum", 30).integer("fpsden", 1);
         },
         "JobcutAudio",
         "JobcutAudio: the cut's audio comes to 0 samples (its ranges are shorter than one sample at this audio rate), "
         "and a VapourSynth audio clip needs at least one"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        vstest::Arguments arguments;
        c.fill(arguments);
        const vstest::Result result = session.core.call("jobcut", c.function, arguments);
        session.keep(result.node);
        EXPECT_EQ(result.error.substr(0, c.error.size()), c.error) << result.error;
    }
}

// Each output frame asks the source for exactly the frames it shows: one
// source frame a video frame; for an audio frame, the source audio frames that
// hold the samples it plays, each once, and none outside the source.
TEST(SourceRequests, ExactlyTheFramesEachOutputFrameNeeds) {
    inprocess::Plugin plugin;
    TempFolder folder;
    // Rows that join inside audio frames, overlap in the source, run past its
    // end, and a masked row that replays the audio before it.
    const std::string file = folder.write(
        "cuts.vcf", cut_settings({{0, 7, false}, {3, 5, false}, {995, 20, false}, {2, 4, true}, {400, 256, false},
                                  {10, 1, false}, {10, 1, false}}));
    Source s;
    s.rate = 48000;
    s.samples = int64_t{s.frames} * 1920 - 500;
    vstest::AviSynthCut expected = avisynth_cut(plugin, s, file);
    ASSERT_EQ(expected.error, "");
    const int audio_frames = static_cast<int>((expected.samples + VS_AUDIO_FRAME_SAMPLES - 1) / VS_AUDIO_FRAME_SAMPLES);
    for (int n = 0; n < std::max(expected.frames, audio_frames); ++n) {
        SCOPED_TRACE("output frame " + std::to_string(n));
        Session session;  // a new core: nothing cached
        if (n < expected.frames) {
            VSNode* video = session.video_cut(session.video_source(s), file).node;
            source_log().reset();
            EXPECT_EQ(vstest::frame_position(video, n), expected.frame[n]);
            EXPECT_EQ(source_log().made_total(mtVideo), 1);
            EXPECT_EQ(source_log().made(mtVideo, expected.frame[n]), 1);
        }
        if (n < audio_frames) {
            VSNode* audio = session.audio_cut(session.audio_source(s), file, s.fps_numerator, s.fps_denominator).node;
            const int64_t start = int64_t{n} * VS_AUDIO_FRAME_SAMPLES;
            const int64_t count = std::min<int64_t>(VS_AUDIO_FRAME_SAMPLES, expected.samples - start);
            expected.audio(start, count);
            std::set<int> needed;
            for (const inprocess::SourceCall& call : expected.source->calls)
                for (int64_t p = std::max<int64_t>(call.start, 0); p < std::min(call.start + call.count, s.samples); ++p)
                    needed.insert(static_cast<int>(p / VS_AUDIO_FRAME_SAMPLES));
            source_log().reset();
            EXPECT_EQ(vstest::interleaved_audio(audio, start, count), expected.audio(start, count));
            EXPECT_EQ(source_log().made_total(mtAudio), static_cast<int>(needed.size()));
            for (int frame : needed) EXPECT_EQ(source_log().made(mtAudio, frame), 1) << "source audio frame " << frame;
        }
    }
}

// Every frame and audio frame asked for at once of a core with 4 threads.
TEST(Threads, FourThreadsAtOnceGiveTheSameCut) {
    inprocess::Plugin plugin;
    TempFolder folder;
    std::vector<CutRange> ranges;
    for (int i = 0; i < 40; ++i) ranges.push_back({(i * 37) % 950, 1 + (i * 13) % 40, i % 5 == 2});
    const std::string file = folder.write("cuts.vcf", cut_settings(ranges));
    Source s;
    s.rate = 44100;
    s.samples = 1764000;
    vstest::AviSynthCut expected = avisynth_cut(plugin, s, file);
    Session session(4);
    VSNode* video = session.video_cut(session.video_source(s), file).node;
    VSNode* audio = session.audio_cut(session.audio_source(s), file, 25, 1).node;
    ASSERT_TRUE(video && audio);
    const int audio_frames = vstest::api()->getAudioInfo(audio)->numFrames;

    struct Pending {
        std::mutex lock;
        std::condition_variable done;
        int left = 0;
        std::map<int, int> positions;
        std::map<int, std::vector<uint8_t>> audio;
        std::vector<std::string> errors;
    } pending;
    pending.left = expected.frames + audio_frames;
    auto callback = [](void* data, const VSFrame* frame, int n, VSNode* node, const char* error) {
        auto& p = *static_cast<Pending*>(data);
        std::lock_guard<std::mutex> hold(p.lock);
        if (!frame) {
            p.errors.push_back(error ? error : "no frame");
        } else if (vstest::api()->getNodeType(node) == mtVideo) {
            p.positions[n] = vstest::position(frame);
        } else {
            const VSAudioFormat& f = *vstest::api()->getAudioFrameFormat(frame);
            std::vector<uint8_t> bytes;
            for (int s = 0; s < vstest::api()->getFrameLength(frame); ++s)
                for (int c = 0; c < f.numChannels; ++c) {
                    const uint8_t* in = vstest::api()->getReadPtr(frame, c) + s * f.bytesPerSample;
                    bytes.insert(bytes.end(), in, in + f.bytesPerSample);
                }
            p.audio[n] = std::move(bytes);
        }
        vstest::api()->freeFrame(frame);
        if (--p.left == 0) p.done.notify_one();
    };
    for (int n = 0; n < expected.frames; ++n) vstest::api()->getFrameAsync(n, video, callback, &pending);
    for (int n = 0; n < audio_frames; ++n) vstest::api()->getFrameAsync(n, audio, callback, &pending);
    std::unique_lock<std::mutex> wait(pending.lock);
    pending.done.wait(wait, [&] { return pending.left == 0; });
    EXPECT_TRUE(pending.errors.empty()) << pending.errors.front();
    for (int n = 0; n < expected.frames; ++n) EXPECT_EQ(pending.positions[n], expected.frame[n]) << "frame " << n;
    for (int n = 0; n < audio_frames; ++n) {
        const int64_t start = int64_t{n} * VS_AUDIO_FRAME_SAMPLES;
        EXPECT_EQ(pending.audio[n], expected.audio(start, std::min<int64_t>(VS_AUDIO_FRAME_SAMPLES, expected.samples - start)))
            << "audio frame " << n;
    }
}

// Every source is freed with the core, after cuts made, served and refused.
TEST(Teardown, NothingOutlivesTheCore) {
    TempFolder folder;
    const std::string good = folder.write("cuts.vcf", cut_settings({{10, 5, false}, {3, 2, true}}));
    const std::string bad = folder.write("bad.vcf", "VirtualDub.subset.AddRange(1,0);\n");
    {
        Session session(2);
        const Source s;
        for (const std::string& file : {good, bad, folder.path("missing.vcf")}) {
            session.video_cut(session.video_source(s), file);
            session.audio_cut(session.audio_source(s), file, 25, 1);
            session.audio_cut(session.audio_source(s), file, 0, 1);
        }
        vstest::frame_position(session.nodes[2], 4);
        vstest::interleaved_audio(session.nodes[4], 0, 100);
        EXPECT_GT(source_log().live(), 0);
    }
    EXPECT_EQ(source_log().live(), 0);
}

}  // namespace
