// The plug-in as users run it: loaded by AviSynth+ itself and called from
// scripts, its clip pulled by the program the way a player pulls it, from one
// thread or through the host's own worker threads.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "host/avisynth/cache_hints.h"
#include "tests/avsplus/position_source.h"
#include "tests/scenario_runner/scenario_runner.h"
#include "tests/unit/cut_ranges.h"
#include "tests/unit/test_files.h"
#include "tools/real_host/real_host.h"

using real_host::quoted;

namespace {

constexpr int kSamplesPerFrame = 8;  // the default source: 25 fps, 200 Hz
constexpr int kBytesPerSample = 4;   // 16-bit stereo

// HOME for the life of one test, so that the host autoloads only from there.
class ScopedHome {
public:
    explicit ScopedHome(const std::string& home) {
        if (const char* was = std::getenv("HOME")) old_ = was;
        setenv("HOME", home.c_str(), 1);
    }
    ~ScopedHome() {
        if (old_) setenv("HOME", old_->c_str(), 1);
        else unsetenv("HOME");
    }

private:
    std::optional<std::string> old_;
};

// One environment with the test source registered and, unless told otherwise,
// the plug-in loaded by LoadPlugin.
struct Script {
    explicit Script(bool load = true) {
        avsplus::register_position_source(env.get());
        if (load) env.load_plugin(JOBCUT_PLUGIN);
    }
    PClip clip(const std::string& script) const { return env.eval(script).AsClip(); }

    real_host::Environment env;
};

// Every frame, every parity and the whole audio of `clip` (in requests of 7
// samples, so that they cross range ends anywhere) against the cut.
void expect_clip_shows(const PClip& clip, const ExpectedCut& cut, IScriptEnvironment* env) {
    const VideoInfo& vi = clip->GetVideoInfo();
    ASSERT_EQ(vi.num_frames, static_cast<int>(cut.frame.size()));
    int wrong_frames = 0, wrong_parities = 0;
    for (int n = 0; n < vi.num_frames; ++n) {
        wrong_frames += avsplus::frame_tag(clip->GetFrame(n, env)) != cut.frame[n];
        wrong_parities += clip->GetParity(n) != (cut.frame[n] % 2 != 0);
    }
    EXPECT_EQ(wrong_frames, 0);
    EXPECT_EQ(wrong_parities, 0);

    constexpr int64_t kChunk = 7;
    unsigned char buffer[kChunk * kBytesPerSample];
    int64_t wrong_samples = 0;
    for (int64_t start = 0; start < vi.num_audio_samples; start += kChunk) {
        clip->GetAudio(buffer, start, kChunk, env);
        for (int64_t s = 0; s < kChunk; ++s) {
            const int64_t at = start + s;
            for (int j = 0; j < kBytesPerSample; ++j) {
                // Past the last range: the filter's silence, then the host's.
                const unsigned char want = at < static_cast<int64_t>(cut.sample.size())
                                               ? scenario::source_sample_byte(cut.sample[at], j)
                                               : 0;
                wrong_samples += buffer[s * kBytesPerSample + j] != want;
            }
        }
    }
    EXPECT_EQ(wrong_samples, 0);
}

// The whole default source, frame for frame.
ExpectedCut whole_source(int frames) { return expect_cut({{0, frames, false}}, kSamplesPerFrame); }

// ---- loading ----

struct Loading {
    const char* name;
    bool load_plugin;  // LoadPlugin in the script
    bool in_home;      // libjobcut.so in $HOME/.avisynth
    bool found;
};

// gtest would print the parameters' bytes, padding included.
void PrintTo(const Loading& c, std::ostream* out) { *out << c.name; }

class LoadingTest : public ::testing::TestWithParam<Loading> {};

TEST_P(LoadingTest, JobcutIsThereExactlyWhenLoadedOrAutoloaded) {
    const Loading& c = GetParam();
    const TempFolder home;
    std::filesystem::create_directories(home.path(".avisynth"));
    if (c.in_home) std::filesystem::copy_file(JOBCUT_PLUGIN, home.path(".avisynth/libjobcut.so"));
    const TempFolder files;
    const std::string cuts = files.write("cuts.vcf", cut_settings({{10, 5, false}, {100, 3, false}}));

    const ScopedHome scoped(home.path(""));
    const Script script(c.load_plugin);
    const std::string call = "Jobcut(PositionSource(), " + quoted(cuts) + ")";
    if (!c.found) {
        EXPECT_NE(script.env.error_of(call).find("There is no function named 'Jobcut'"), std::string::npos);
        return;
    }
    expect_clip_shows(script.clip(call), expect_cut({{10, 5, false}, {100, 3, false}}, kSamplesPerFrame),
                      script.env.get());
}

INSTANTIATE_TEST_SUITE_P(Ways, LoadingTest,
                         ::testing::Values(Loading{"LoadPlugin", true, false, true},
                                           Loading{"autoload", false, true, true},
                                           Loading{"neither", false, false, false}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- the call ----

TEST(Calls, TheSignatureTakesAClipAndAnOptionalFileName) {
    const Script script;
    const TempFolder files;
    const std::string cuts = quoted(files.write("cuts.vcf", cut_settings({{10, 5, false}, {100, 3, false}})));
    const ExpectedCut cut = expect_cut({{10, 5, false}, {100, 3, false}}, kSamplesPerFrame);
    const std::string invalid = "Script error: Invalid arguments to function 'Jobcut'.";
    struct Call {
        std::string script, error;  // no error: the clip of `cut`
    };
    const std::vector<Call> calls{
        {"Jobcut(PositionSource(), " + cuts + ")", ""},
        {"Jobcut(PositionSource(), filename=" + cuts + ")", ""},
        {"PositionSource().Jobcut(" + cuts + ")", ""},
        {"PositionSource()\nJobcut(" + cuts + ")", ""},
        {"Jobcut(PositionSource())", "Jobcut: file not found - \"\""},
        {"Jobcut(" + cuts + ")", invalid},
        {"Jobcut(PositionSource(), " + cuts + ", " + cuts + ")", invalid},
        {"Jobcut(PositionSource(), 5)", invalid},
        {"Jobcut(PositionSource(), file=" + cuts + ")", "Script error: Jobcut does not have a named argument \"file\""},
    };
    for (const Call& call : calls) {
        SCOPED_TRACE(call.script);
        script.env->SetVar("last", AVSValue());  // no clip left over for a call without one
        if (call.error.empty()) {
            expect_clip_shows(script.clip(call.script), cut, script.env.get());
        } else {
            const int line = call.script.find('\n') == std::string::npos ? 1 : 2;
            EXPECT_EQ(script.env.error_of(call.script), call.error + real_host::location_suffix("test", line));
        }
    }
}

// ---- what the clip shows ----

struct Example {
    const char* name;
    std::string settings;
    ExpectedCut cut;
    int source_frames;
};

std::vector<Example> examples() {
    auto of = [](const std::vector<CutRange>& ranges) { return expect_cut(ranges, kSamplesPerFrame); };
    const std::vector<CutRange> two{{10, 5, false}, {100, 3, false}};
    const std::vector<CutRange> masked_first{{40, 10, true}, {50, 20, false}};
    const std::vector<CutRange> masked_within{{0, 100, false}, {100, 10, true}, {110, 50, false}};
    const std::vector<CutRange> masked_after_gaps{
        {0, 50, false}, {200, 10, false}, {300, 5, true}, {400, 5, true}, {500, 3, false}};
    const std::vector<CutRange> backwards{{500, 20, false}, {10, 20, false}, {10, 20, false}};
    return {
        {"two_ranges", cut_settings(two), of(two), 1000},
        {"masked_first_row_holds_its_first_frame", cut_settings(masked_first), of(masked_first), 1000},
        {"masked_row_holds_the_frame_before_it", cut_settings(masked_within), of(masked_within), 1000},
        {"masked_rows_after_deleted_frames", cut_settings(masked_after_gaps), of(masked_after_gaps), 1000},
        {"ranges_overlap_and_go_backwards", cut_settings(backwards), of(backwards), 1000},
        {"no_subset_lines_leave_the_clip_whole",
         "VirtualDub.video.SetCompression();\nVirtualDub.subset.Clear();\n// VirtualDub.subset.AddRange(0,10);\n",
         whole_source(100), 100},
        {"empty_file", "", whole_source(100), 100},
        {"the_bundled_shapes",
         "VirtualDub.audio.SetSource(1);\r\n  VirtualDub.subset.AddFrame(7,3);\r\n"
         "\tVirtualDub.subset.AddRange(0,2);  // intro\r\nVirtualDub.subset.AddMaskedRange(20,2)",
         of({{7, 3, false}, {0, 2, false}, {20, 2, true}}), 1000},
    };
}

void PrintTo(const Example& e, std::ostream* out) { *out << e.name; }

class ExampleTest : public ::testing::TestWithParam<Example> {};

TEST_P(ExampleTest, EveryFrameParityAndSampleComesFromItsRange) {
    const Example& e = GetParam();
    const Script script;
    const TempFolder files;
    const std::string cuts = files.write("cuts.vcf", e.settings);
    const PClip clip =
        script.clip("Jobcut(PositionSource(frames=" + std::to_string(e.source_frames) + "), " + quoted(cuts) + ")");
    expect_clip_shows(clip, e.cut, script.env.get());
    // The audio is as long as the frames last (or the source's, when whole).
    EXPECT_EQ(clip->GetVideoInfo().num_audio_samples, static_cast<int64_t>(e.cut.sample.size()));
}

INSTANTIATE_TEST_SUITE_P(Cuts, ExampleTest, ::testing::ValuesIn(examples()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Audio, AcrossRangesAndPastTheLastRow) {
    // 30 fps at 100 Hz: 3 samples a range, but 10 in the clip (the clip's
    // length is worked from its frames), so sample 9 is the filter's silence
    // and 10 on the host's.
    const Script script;
    VideoInfo vi = avsplus::default_source_info();
    vi.fps_numerator = 30;
    vi.audio_samples_per_second = 100;
    vi.num_audio_samples = 334;
    script.env->SetVar("source", AVSValue(new avsplus::PositionSource(vi)));
    const TempFolder files;
    const std::string cuts = files.write("cuts.vcf", cut_settings({{0, 1, false}, {10, 1, false}, {20, 1, false}}));
    const PClip clip = script.clip("Jobcut(source, " + quoted(cuts) + ")");
    ASSERT_EQ(clip->GetVideoInfo().num_audio_samples, 10);

    unsigned char buffer[12 * kBytesPerSample];
    clip->GetAudio(buffer, 1, 12, script.env.get());
    const std::vector<int64_t> source_sample{1, 2, 33, 34, 35, 66, 67, 68, -1, -1, -1, -1};  // -1: silence
    for (size_t s = 0; s < source_sample.size(); ++s) {
        for (int j = 0; j < kBytesPerSample; ++j) {
            const unsigned char want = source_sample[s] < 0 ? 0 : scenario::source_sample_byte(source_sample[s], j);
            EXPECT_EQ(buffer[s * kBytesPerSample + j], want) << "sample " << s + 1 << " byte " << j;
        }
    }
}

// ---- refusals, as the script sees them ----

struct Refusal {
    const char* name;
    std::string settings;  // written to cuts.vcf, named in the call
    std::string message;   // NAME: the name the script gave
};

TEST(Refusals, EachStopsTheScriptWithItsMessageAndTheHostsLocation) {
    const std::string big_number = "VirtualDub.subset.AddRange(1,99999999999);\n";
    std::string too_many;
    for (int i = 0; i < 257; ++i) too_many += "VirtualDub.subset.AddRange(1,1);\n";
    const std::vector<Refusal> refusals{
        {"zero count", "//\n//\nVirtualDub.subset.AddRange(5,0);\n", "Jobcut: 2nd value read error - \"NAME\"(line:3)"},
        {"minus sign", "VirtualDub.subset.AddRange(-5,10);\n", "Jobcut: 2nd value read error - \"NAME\"(line:1)"},
        {"too big", std::string(131073, '/'), "Jobcut: file too big - \"NAME\" > 128KB"},
        {"too many", too_many, "Jobcut: Jobcut too many(max 256) - \"NAME\""},
        {"number too large", big_number, "Jobcut: format error - \"NAME\"(line:1)"},
        {"frames", "VirtualDub.subset.AddRange(0,2147483647);\nVirtualDub.subset.AddRange(0,1);\n",
         "Jobcut: too many frames(max 2147483647) - \"NAME\""},
    };
    const Script script;
    const TempFolder files;
    const std::string cuts = files.path("cuts.vcf");
    // The message caught by the script itself, raised in its third line.
    auto caught = [&](const std::string& source, const std::string& name) {
        const AVSValue value = script.env.eval("message = \"no error\"\ntry {\n  Jobcut(" + source + ", " + quoted(name) +
                                               ")\n} catch (error) {\n  message = error\n}\nmessage");
        return std::string(value.AsString(""));
    };
    auto named = [](std::string message, const std::string& name) {
        return message.replace(message.find("NAME"), 4, name) + real_host::location_suffix("test", 3);
    };
    for (const Refusal& r : refusals) {
        SCOPED_TRACE(r.name);
        files.write("cuts.vcf", r.settings);
        EXPECT_EQ(caught("PositionSource()", cuts), named(r.message, cuts));
    }

    // Names that are not settings files; a percent sign is text.
    std::filesystem::create_directory(files.path("folder.vcf"));
    for (const std::string& name : {files.path("missing.vcf"), files.path("folder.vcf"), files.path("%s%d.vcf")}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(caught("PositionSource()", name), named("Jobcut: file not found - \"NAME\"", name));
    }

    // Audio positions past a 64-bit sample count.
    VideoInfo slow = avsplus::default_source_info();
    slow.fps_numerator = 1;
    slow.fps_denominator = 4294967295u;
    slow.audio_samples_per_second = 2147483647;
    script.env->SetVar("slow", AVSValue(new avsplus::PositionSource(slow)));
    files.write("cuts.vcf", "VirtualDub.subset.AddRange(0,100);\n");
    EXPECT_EQ(caught("slow", cuts), named("Jobcut: audio too long - \"NAME\"", cuts));
}

TEST(Refusals, AFileThatOpensButCannotBeRead) {
    // A sysfs attribute: it opens and has a size, but reading it fails.
    const char* unreadable = "/sys/class/net/lo/speed";
    const int file = open(unreadable, O_RDONLY);
    char byte;
    const bool fails = file >= 0 && read(file, &byte, 1) < 0;
    if (file >= 0) close(file);
    if (!fails) GTEST_SKIP() << unreadable << " is not there to fail a read on this machine";
    const Script script;
    EXPECT_EQ(script.env.error_of("Jobcut(PositionSource(), " + quoted(unreadable) + ")"),
              "Jobcut: read error - \"" + std::string(unreadable) + "\"" + real_host::location_suffix("test", 1));
}

// ---- several filters, lifetimes ----

TEST(Scripts, TwoCallsOverOneSourceMakeTwoClips) {
    const Script script;
    const TempFolder files;
    const std::vector<CutRange> first{{10, 5, false}, {100, 3, false}}, second{{500, 4, false}, {0, 2, false}};
    const std::string a = quoted(files.write("a.vcf", cut_settings(first)));
    const std::string b = quoted(files.write("b.vcf", cut_settings(second)));
    std::vector<CutRange> both = first;
    both.insert(both.end(), second.begin(), second.end());
    const PClip clip = script.clip("source = PositionSource()\nfirst = Jobcut(source, " + a + ")\nsecond = Jobcut(source, " +
                                   b + ")\nfirst ++ second");
    expect_clip_shows(clip, expect_cut(both, kSamplesPerFrame), script.env.get());
}

// The clip keeps its source when the script that made it holds it no more:
// the source lived in the script function's own variable. With the host's
// default mode the host itself also keeps the call's arguments; as a nice
// filter only the clip does.
class OutlivingTest : public ::testing::TestWithParam<const char*> {};

TEST_P(OutlivingTest, TheClipIsServedAfterTheScriptsVariablesAreGone) {
    const int live_before = avsplus::source_stats().live;
    const TempFolder files;
    const std::vector<CutRange> ranges{{10, 5, false}, {100, 3, true}, {200, 30, false}};
    const std::string cuts = quoted(files.write("cuts.vcf", cut_settings(ranges)));
    {
        const Script script;
        PClip clip = script.clip(std::string(GetParam()) + "\nfunction cut(string name) {\n  source = PositionSource()\n"
                                 "  return Jobcut(source, name)\n}\ncut(" + cuts + ")");
        script.env->SetVar("last", AVSValue());
        ASSERT_EQ(avsplus::source_stats().live, live_before + 1) << "the source is gone while its clip is alive";
        expect_clip_shows(clip, expect_cut(ranges, kSamplesPerFrame), script.env.get());
        clip = nullptr;
        EXPECT_EQ(avsplus::source_stats().live, live_before) << "the source outlives its last clip";
    }
}

INSTANTIATE_TEST_SUITE_P(Modes, OutlivingTest,
                         ::testing::Values("# the host's default mode", "SetFilterMTMode(\"Jobcut\", MT_NICE_FILTER)"),
                         [](const auto& info) { return info.index == 0 ? "default_mode" : "nice_filter"; });

// Run on its own under valgrind as well: the whole life of a script, from
// loading the plug-in to deleting the environment, with no invalid access and
// nothing left behind.
class Teardown : public ::testing::TestWithParam<const char*> {};

TEST_P(Teardown, AScriptsWholeLifeLeavesNothingBehind) {
    const int live_before = avsplus::source_stats().live;
    const TempFolder files;
    const std::string a = quoted(files.write("a.vcf", cut_settings({{10, 5, false}, {100, 3, true}})));
    const std::string b = quoted(files.write("b.vcf", "VirtualDub.subset.AddRange(0,2);\n"));
    {
        const Script script;
        const PClip clip = script.clip(std::string(GetParam()) + "\nsource = PositionSource()\nJobcut(source, " + a +
                                       ") ++ Jobcut(source, " + b + ")");
        unsigned char buffer[100 * kBytesPerSample];
        for (int n = 0; n < clip->GetVideoInfo().num_frames; ++n) clip->GetFrame(n, script.env.get());
        clip->GetAudio(buffer, 0, 100, script.env.get());
        // A refused call holds nothing either.
        EXPECT_NE(script.env.error_of("Jobcut(source, " + quoted(files.path("none.vcf")) + ")"), "");
    }
    EXPECT_EQ(avsplus::source_stats().live, live_before);
}

INSTANTIATE_TEST_SUITE_P(Modes, Teardown,
                         ::testing::Values("# the host's default mode", "SetFilterMTMode(\"Jobcut\", MT_NICE_FILTER)"),
                         [](const auto& info) { return info.index == 0 ? "default_mode" : "nice_filter"; });

// ---- threads ----

// Prefetch(2): the host's two worker threads pull frames from the clip at once
// (the source takes 300 µs a frame, so that their calls overlap), the program
// takes them in order from the prefetcher.
class PrefetchTest : public ::testing::TestWithParam<const char*> {};

TEST_P(PrefetchTest, FramesPulledFromTwoThreadsAtOnceAreAllCorrect) {
    const TempFolder files;
    const std::vector<CutRange> ranges{{0, 100, false}, {100, 10, true}, {110, 50, false}, {400, 30, false},
                                       {600, 5, true},  {700, 40, false}, {50, 20, false}};
    const std::string cuts = quoted(files.write("cuts.vcf", cut_settings(ranges)));
    const Script script;
    avsplus::source_stats().reset_concurrency();
    const PClip clip = script.clip(std::string(GetParam()) + "\nJobcut(PositionSource(delay_us=300), " + cuts +
                                   ")\nPrefetch(2)");
    expect_clip_shows(clip, expect_cut(ranges, kSamplesPerFrame), script.env.get());
    EXPECT_GE(avsplus::source_stats().most_in_flight, 2) << "no two frames were ever pulled at once";
}

INSTANTIATE_TEST_SUITE_P(Modes, PrefetchTest,
                         ::testing::Values("# the host's default mode", "SetFilterMTMode(\"Jobcut\", MT_NICE_FILTER)"),
                         [](const auto& info) { return info.index == 0 ? "default_mode" : "nice_filter"; });

}  // namespace

// ---- what the host asks of the clip ----

// The plug-in's own declarations of the host's queries and answers are the host's.
static_assert(jobcut::kCacheDontCacheMe == CACHE_DONT_CACHE_ME && jobcut::kCacheGetMtMode == CACHE_GET_MTMODE &&
                  jobcut::kMtNiceFilter == MT_NICE_FILTER,
              "cache_hints.h: the host's values");

namespace {

// The times a file is opened from now on, as inotify sees them. Its closes
// are watched too: inotify folds an event into the unread one before it when
// they are the same, and an open followed by its close never is.
class OpenCounter {
public:
    explicit OpenCounter(const std::string& path) : fd_(inotify_init1(IN_NONBLOCK)) {
        if (fd_ < 0 || inotify_add_watch(fd_, path.c_str(), IN_OPEN | IN_CLOSE) < 0) throw std::runtime_error("no inotify watch");
    }
    ~OpenCounter() { close(fd_); }
    OpenCounter(const OpenCounter&) = delete;
    OpenCounter& operator=(const OpenCounter&) = delete;

    int opens() {
        alignas(inotify_event) char buffer[4096];
        for (ssize_t got; (got = read(fd_, buffer, sizeof buffer)) > 0;) {
            for (char* at = buffer; at < buffer + got;) {
                const auto* event = reinterpret_cast<const inotify_event*>(at);
                opens_ += (event->mask & IN_OPEN) != 0;
                at += sizeof(inotify_event) + event->len;
            }
        }
        return opens_;
    }

private:
    int fd_;
    int opens_ = 0;
};

std::string file_text(const std::string& path) {
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The lines of `text` that hold `word`.
std::vector<std::string> lines_with(const std::string& text, const std::string& word) {
    std::vector<std::string> found;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);)
        if (line.find(word) != std::string::npos) found.push_back(line);
    return found;
}

// A filter that states no thread mode, as the host's log shows one.
class NoModeFilter final : public GenericVideoFilter {
public:
    explicit NoModeFilter(const PClip& child) : GenericVideoFilter(child) {}
};

AVSValue __cdecl create_no_mode_filter(AVSValue args, void*, IScriptEnvironment*) {
    return new NoModeFilter(args[0].AsClip());
}

const std::vector<CutRange> kThreadRanges{{0, 100, false}, {100, 10, true}, {110, 50, false}, {400, 30, false},
                                          {600, 5, true},  {700, 40, false}, {50, 20, false}};

}  // namespace

// The host's log at warning level names a filter that states no thread mode
// (the control beside it); Jobcut it does not name.
TEST(HostQuestions, TheLogAtWarningLevelHasNoLineAboutJobcutsThreadMode) {
    const TempFolder files;
    const std::string cuts = quoted(files.write("cuts.vcf", cut_settings({{10, 5, false}, {100, 3, true}})));
    const std::string log = files.path("host.log");
    {
        const Script script;
        script.env->AddFunction("NoModeFilter", "c", create_no_mode_filter, nullptr);
        const PClip clip = script.clip("SetLogParams(" + quoted(log) + ", LOG_WARNING)\nsource = PositionSource()\n"
                                       "Jobcut(source, " + cuts + ") ++ NoModeFilter(source)");
        clip->GetFrame(0, script.env.get());
    }
    const std::string text = file_text(log);
    EXPECT_EQ(lines_with(text, "NoModeFilter() has no MT-mode set").size(), 1u) << text;
    EXPECT_EQ(lines_with(text, "Jobcut").size(), 0u) << text;
}

// Under Prefetch(4), with nothing said of Jobcut's mode, the four threads share
// the one filter the script built: the settings file is opened once.
TEST(HostQuestions, PrefetchBuildsOneFilterWithoutSetFilterMTMode) {
    const TempFolder files;
    const std::string path = files.write("cuts.vcf", cut_settings(kThreadRanges));
    OpenCounter counter(path);
    const Script script;
    avsplus::source_stats().reset_concurrency();
    const PClip clip = script.clip("Jobcut(PositionSource(delay_us=300), " + quoted(path) + ")\nPrefetch(4)");
    expect_clip_shows(clip, expect_cut(kThreadRanges, kSamplesPerFrame), script.env.get());
    EXPECT_GE(avsplus::source_stats().most_in_flight, 2) << "no two frames were ever pulled at once";
    EXPECT_EQ(counter.opens(), 1) << "each opening of the settings file builds a filter";
}

// A script that still says SetFilterMTMode("Jobcut", MT_NICE_FILTER) gets the
// same one filter; the host notes, at information level, that it did not need
// saying, and warns of nothing.
TEST(HostQuestions, AScriptThatStillSetsTheModeGetsTheSameFilter) {
    const TempFolder files;
    const std::string path = files.write("cuts.vcf", cut_settings(kThreadRanges));
    const std::string warnings = files.path("warnings.log"), notes = files.path("info.log");
    for (const std::string& log : {warnings, notes}) {
        SCOPED_TRACE(log);
        OpenCounter counter(path);
        const Script script;
        const std::string level = log == warnings ? "LOG_WARNING" : "LOG_INFO";
        const PClip clip = script.clip("SetLogParams(" + quoted(log) + ", " + level +
                                       ")\nSetFilterMTMode(\"Jobcut\", MT_NICE_FILTER)\nJobcut(PositionSource(delay_us=100), " +
                                       quoted(path) + ")\nPrefetch(4)");
        expect_clip_shows(clip, expect_cut(kThreadRanges, kSamplesPerFrame), script.env.get());
        EXPECT_EQ(counter.opens(), 1);
    }
    EXPECT_EQ(lines_with(file_text(warnings), "Jobcut").size(), 0u) << file_text(warnings);
    const std::vector<std::string> noted = lines_with(file_text(notes), "unnecessary MT-mode");
    ASSERT_EQ(noted.size(), 1u) << file_text(notes);
    EXPECT_NE(noted[0].find("Jobcut()"), std::string::npos) << noted[0];
}

namespace {

// A filter that answers the host's queries as Jobcut does and records them.
std::vector<int> g_asked;

class RecordingFilter final : public GenericVideoFilter {
public:
    explicit RecordingFilter(const PClip& child) : GenericVideoFilter(child) {}
    int __stdcall SetCacheHints(int hints, int) override {
        g_asked.push_back(hints);
        return jobcut::cache_hint_answer(hints);
    }
};

AVSValue __cdecl create_recording_filter(AVSValue args, void*, IScriptEnvironment*) {
    return new RecordingFilter(args[0].AsClip());
}

// Source requests made while `clip` serves the same pattern as every clip
// below: each frame three times over, one frame 300 times, the same 16
// samples 20 times.
std::pair<int, int> source_requests_serving(const PClip& clip, IScriptEnvironment* env) {
    avsplus::SourceStats& stats = avsplus::source_stats();
    const int frames = stats.frame_calls, audio = stats.audio_calls;
    for (int round = 0; round < 3; ++round)
        for (int n = 0; n < clip->GetVideoInfo().num_frames; ++n) clip->GetFrame(n, env);
    for (int i = 0; i < 300; ++i) clip->GetFrame(7, env);
    unsigned char buffer[16 * kBytesPerSample];
    for (int i = 0; i < 20; ++i) clip->GetAudio(buffer, 50, 16, env);
    return {stats.frame_calls - frames, stats.audio_calls - audio};
}

}  // namespace

// What AviSynth+ 3.7.5 asks a filter it wraps, in order: its thread mode (three
// times), the contract check (CACHE_USER_CONSTANTS, which must get 0), the device
// types, and, from its cache through its thread guard, the audio cache mode and
// size. It asks CACHE_DONT_CACHE_ME of its own thread guard, which answers 0 for
// every filter, never of the filter.
TEST(HostQuestions, TheHostAsksTheThreadModeOfTheClipAndWhetherToCacheItOfItsGuard) {
    const Script script;
    script.env->AddFunction("RecordingFilter", "c", create_recording_filter, nullptr);
    g_asked.clear();
    const PClip clip = script.clip("RecordingFilter(PositionSource())");
    clip->GetFrame(0, script.env.get());
    const std::vector<int> asked{CACHE_GET_MTMODE, CACHE_GET_MTMODE, CACHE_USER_CONSTANTS, CACHE_GET_MTMODE,
                                 CACHE_GET_CHILD_DEV_TYPE, CACHE_GET_DEV_TYPE, CACHE_GETCHILD_AUDIO_MODE,
                                 CACHE_GETCHILD_AUDIO_SIZE};
    EXPECT_EQ(g_asked, asked);
}

// So the host serves Jobcut as it serves its own Trim: through its cache, as
// every filter a script calls (Trim asking not to be cached, Splice too).
// Over a source the program made itself, which no cache of the host's stands
// before, the same requests make the same source requests through either.
TEST(HostQuestions, TheHostServesJobcutAsItServesItsOwnTrim) {
    const TempFolder files;
    const std::string cuts = quoted(files.write("cuts.vcf", cut_settings({{100, 200, false}})));
    const Script script;
    script.env->SetVar("source", AVSValue(new avsplus::PositionSource(avsplus::default_source_info())));
    const auto bare = source_requests_serving(script.clip("source"), script.env.get());
    EXPECT_EQ(bare, std::make_pair(3 * 1000 + 300, 20)) << "the source has a cache before it";
    const auto trim = source_requests_serving(script.clip("Trim(source, 100, -200, cache=false)"), script.env.get());
    for (const char* mode : {"", "SetFilterMTMode(\"Jobcut\", MT_NICE_FILTER)\n"}) {
        SCOPED_TRACE(mode);
        const auto jobcut =
            source_requests_serving(script.clip(std::string(mode) + "Jobcut(source, " + cuts + ")"), script.env.get());
        EXPECT_EQ(jobcut, trim);
    }
}
