// Building the filter from a settings file: the range table, the new clip
// properties, every message, and that a refusal leaves nothing behind.
#include "host/avisynth/jobcut_filter.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/unit/counting_memory.h"
#include "tests/unit/test_files.h"
#include "tests/unit/test_host.h"
#include "tools/inprocess_host/inprocess_host.h"

using jobcut::JobcutFilter;
using jobcut::PClip;
using jobcut::VideoInfo;

namespace {

const std::string kAdd = "VirtualDub.subset.AddRange";

// A file name given as it is, with no file written for it.
struct Name {
    const char* text;
};

// One source clip held the way a script holds it, and a filter built over it.
class Built {
public:
    Built(const VideoInfo& info, const std::string& settings, const std::string& name = "cuts.vcf")
        : source(new inprocess::SourceClip(info)), held(source) {
        std::string path = settings_folder.write(name, settings);
        attempt(path.c_str());
    }
    Built(const VideoInfo& info, Name name) : source(new inprocess::SourceClip(info)), held(source) { attempt(name.text); }
    ~Built() {
        if (filter) filter->Release();
    }

    inprocess::SourceClip* source;
    PClip held;
    JobcutFilter* filter = nullptr;
    char message[jobcut::kMessageBytes];
    TempFolder settings_folder;

private:
    void attempt(const char* name) {
        std::memset(message, 0, sizeof message);
        filter = JobcutFilter::create(held, name, message);
        if (filter) filter->AddRef();
    }
};

struct Expected {
    int start, length, frame_end;
    bool masked;
    int64_t audio_start, audio_length, audio_end;
};

void expect_rows(const JobcutFilter& filter, const std::vector<Expected>& expected) {
    ASSERT_EQ(filter.row_count(), static_cast<int>(expected.size()));
    for (size_t i = 0; i < expected.size(); ++i) {
        const jobcut::SubsetEntry& row = filter.rows()[i];
        SCOPED_TRACE("row " + std::to_string(i));
        EXPECT_EQ(row.start, expected[i].start);
        EXPECT_EQ(row.length, expected[i].length);
        EXPECT_EQ(row.frame_end, expected[i].frame_end);
        EXPECT_EQ(row.masked, expected[i].masked ? 1 : 0);
        EXPECT_EQ(row.audio_start, expected[i].audio_start);
        EXPECT_EQ(row.audio_length, expected[i].audio_length);
        EXPECT_EQ(row.audio_end, expected[i].audio_end);
    }
}

const VideoInfo kSource = make_video_info(100, 30, 1, 100, 334);

}  // namespace

TEST(FilterConstruction, WithoutSubsetLinesTheClipStaysWhole) {
    Built b(kSource, "VirtualDub.subset.Delete();\n");
    ASSERT_NE(b.filter, nullptr) << b.message;
    const VideoInfo& vi = b.filter->GetVideoInfo();
    EXPECT_EQ(vi.num_frames, 100);
    // The source's own audio length, longer than 100 frames' worth (333): every sample stays reachable.
    EXPECT_EQ(vi.num_audio_samples, 334);
    expect_rows(*b.filter, {{0, 100, 100, false, 0, 334, 334}});
}

TEST(FilterConstruction, RowsBecomeRunningFrameAndAudioTotals) {
    Built two(kSource, kAdd + "(10,5);\n" + kAdd + "(100,3);\n");
    ASSERT_NE(two.filter, nullptr) << two.message;
    expect_rows(*two.filter, {{10, 5, 5, false, 33, 16, 16}, {100, 3, 8, false, 333, 10, 26}});
    EXPECT_EQ(two.filter->GetVideoInfo().num_frames, 8);
    EXPECT_EQ(two.filter->GetVideoInfo().num_audio_samples, 26);  // 8 frames' worth

    // One-frame rows at 30 fps and 100 Hz: 3 samples each, while 3 frames last 10.
    Built three(kSource, kAdd + "(0,1);\n" + kAdd + "(1,1);\n" + kAdd + "(2,1);\n");
    ASSERT_NE(three.filter, nullptr) << three.message;
    expect_rows(*three.filter,
                {{0, 1, 1, false, 0, 3, 3}, {1, 1, 2, false, 3, 3, 6}, {2, 1, 3, false, 6, 3, 9}});
    EXPECT_EQ(three.filter->GetVideoInfo().num_audio_samples, 10);

    // Overlapping, repeated and backward rows are kept in file order, unchecked against the source.
    Built loose(kSource, kAdd + "(50,10);\n" + kAdd + "(40,20);\n" + kAdd + "(40,20);\n" + kAdd + "(5000,1);\n");
    ASSERT_NE(loose.filter, nullptr) << loose.message;
    EXPECT_EQ(loose.filter->GetVideoInfo().num_frames, 51);
    EXPECT_EQ(loose.filter->rows()[3].audio_start, 16666);
}

TEST(FilterConstruction, OnlyFrameCountAndAudioLengthChange) {
    VideoInfo source = make_video_info(1000, 30000, 1001, 48000, 1601600, 6, 16);
    Built b(source, data_file("masked_cuts.vcf"));
    ASSERT_NE(b.filter, nullptr) << b.message;
    VideoInfo expected = source;
    expected.num_frames = 4500 + 25 + 2975 + 1000 + 7;
    expected.num_audio_samples = int64_t{8507} * 48000 * 1001 / 30000;
    EXPECT_EQ(std::memcmp(&b.filter->GetVideoInfo(), &expected, sizeof expected), 0);
    EXPECT_EQ(b.filter->rows()[1].masked, 1);
    EXPECT_EQ(b.filter->rows()[1].audio_start, int64_t{4500} * 48000 * 1001 / 30000);
}

TEST(FilterConstruction, SourcesWithoutUsableAudio) {
    // No audio: every audio field is 0, and so is the new clip's audio length.
    Built silent(make_video_info(100, 25, 1, 0, 0), kAdd + "(10,5);\n" + kAdd + "(20,5);\n");
    ASSERT_NE(silent.filter, nullptr);
    expect_rows(*silent.filter, {{10, 5, 5, false, 0, 0, 0}, {20, 5, 10, false, 0, 0, 0}});
    EXPECT_EQ(silent.filter->GetVideoInfo().num_audio_samples, 0);

    // A zero frame rate numerator would divide by zero: audio positions are 0 instead.
    Built no_rate(make_video_info(100, 0, 1, 48000, 96000), kAdd + "(10,5);\n");
    ASSERT_NE(no_rate.filter, nullptr);
    expect_rows(*no_rate.filter, {{10, 5, 5, false, 0, 0, 0}});
    EXPECT_EQ(no_rate.filter->GetVideoInfo().num_audio_samples, 0);

    // A negative audio rate is treated as none rather than as ranges of negative length.
    Built negative(make_video_info(100, 25, 1, -8000, 0), kAdd + "(10,5);\n");
    ASSERT_NE(negative.filter, nullptr);
    expect_rows(*negative.filter, {{10, 5, 5, false, 0, 0, 0}});
}

TEST(FilterConstruction, EveryReaderRefusalHasItsExactMessage) {
    struct Case {
        std::string settings;
        std::string message;
    };
    std::vector<Case> cases{
        {std::string(131073, '/'), "Jobcut: file too big - \"NAME\" > 128KB"},
        {[] { std::string s; for (int i = 0; i < 257; ++i) s += kAdd + "(1,1);\n"; return s; }(),
         "Jobcut: Jobcut too many(max 256) - \"NAME\""},
        {"//\n//\n" + kAdd + "(5,0);\n", "Jobcut: 2nd value read error - \"NAME\"(line:3)"},
        {"//\n" + kAdd + "(5,2147483648);\n", "Jobcut: format error - \"NAME\"(line:2)"},
    };
    for (const Case& c : cases) {
        Built b(kSource, c.settings);
        std::string name = b.settings_folder.path("cuts.vcf");
        std::string expected = c.message;
        expected.replace(expected.find("NAME"), 4, name);
        EXPECT_EQ(b.filter, nullptr);
        EXPECT_EQ(std::string(b.message), expected);
    }
    Built missing(kSource, Name{"no/such/file.vcf"});
    EXPECT_EQ(std::string(missing.message), "Jobcut: file not found - \"no/such/file.vcf\"");
    Built unnamed(kSource, Name{""});
    EXPECT_EQ(std::string(unnamed.message), "Jobcut: file not found - \"\"");
}

TEST(FilterConstruction, MessagesForOutcomesTheReaderMeetsRarely) {
    // A read that fails after the file opened, and a code with no message of its own.
    char message[jobcut::kMessageBytes];
    jobcut::compose_read_error(message, jobcut::kReadFailed, "c:\\jobs\\cuts.vcf", 4);
    EXPECT_STREQ(message, "Jobcut: read error - \"c:\\jobs\\cuts.vcf\"");
    jobcut::compose_read_error(message, static_cast<jobcut::ReadOutcome>(-7), "cuts.vcf", 4);
    EXPECT_STREQ(message, "Jobcut: error(-7) - \"cuts.vcf\"");
    jobcut::compose_read_error(message, jobcut::kReadZeroLength, "cuts.vcf", -2147483647 - 1);
    EXPECT_STREQ(message, "Jobcut: 2nd value read error - \"cuts.vcf\"(line:-2147483648)");
}

TEST(FilterConstruction, TotalsBeyondThirtyTwoBitsAreRefused) {
    // Two ranges of 2^31 - 1 frames: the second would wrap the frame count negative.
    Built frames(kSource, kAdd + "(0,2147483647);\n" + kAdd + "(0,1);\n");
    EXPECT_EQ(frames.filter, nullptr);
    EXPECT_EQ(std::string(frames.message),
              "Jobcut: too many frames(max 2147483647) - \"" + frames.settings_folder.path("cuts.vcf") + "\"");
    Built largest(kSource, kAdd + "(0,2147483646);\n" + kAdd + "(0,1);\n");
    EXPECT_NE(largest.filter, nullptr) << largest.message;

    // A frame rate of 1/4294967295 s with 2^31 - 1 samples per second: 2^31 frames
    // last about 2^94 samples, far past a signed 64-bit count.
    Built audio(make_video_info(100, 1, 4294967295u, 2147483647, 0), kAdd + "(0,100);\n");
    EXPECT_EQ(audio.filter, nullptr);
    EXPECT_EQ(std::string(audio.message),
              "Jobcut: audio too long - \"" + audio.settings_folder.path("cuts.vcf") + "\"");
}

TEST(FilterConstruction, MessagesNeverOverrunTheirArea) {
    // A "%" in a name is text, and a long name keeps its end behind "...".
    Built percent(kSource, Name{"100%d %s.vcf"});
    EXPECT_STREQ(percent.message, "Jobcut: file not found - \"100%d %s.vcf\"");

    std::string long_name = "/" + std::string(300, 'd') + "/\xC3\xA9t\xC3\xA9/cuts.vcf";
    Built longer(kSource, Name{long_name.c_str()});
    std::string text = longer.message;
    EXPECT_LE(text.size(), 255u);
    EXPECT_EQ(text.rfind("Jobcut: file not found - \"...", 0), 0u) << text;
    EXPECT_EQ(text.substr(text.size() - 15), "\xC3\xA9t\xC3\xA9/cuts.vcf\"");

    // With a line number the tail still shows in full; the cut never splits a UTF-8 character.
    for (size_t extra = 0; extra < 4; ++extra) {
        std::string name(240 + extra, 'a');
        for (size_t i = 0; i < name.size(); i += 2) name.replace(i, 2, "\xC3\xA9");
        char message[jobcut::kMessageBytes];
        jobcut::compose_read_error(message, jobcut::kReadZeroLength, name.c_str(), 123456);
        std::string composed = message;
        EXPECT_LE(composed.size(), 255u);
        EXPECT_EQ(composed.substr(composed.size() - 14), "\"(line:123456)");
        size_t name_start = composed.find("\"...") + 4;
        EXPECT_NE(static_cast<unsigned char>(composed[name_start]) & 0xC0, 0x80) << composed;
    }
}

TEST(FilterConstruction, RefusalsLeaveNothingBehind) {
    std::vector<std::string> refused{std::string(131073, '/'), kAdd + "(1,0);\n", kAdd + "(1,99999999999);\n",
                                     kAdd + "(0,2147483647);\n" + kAdd + "(0,1);\n"};
    for (const std::string& settings : refused) {
        Built b(kSource, settings);
        EXPECT_EQ(b.filter, nullptr);
        EXPECT_EQ(reference_count(b.source), 1);  // only the script's own reference
        EXPECT_EQ(counting_memory::live_blocks(), 0);
    }
    Built missing(kSource, Name{"missing.vcf"});
    EXPECT_EQ(reference_count(missing.source), 1);
    EXPECT_EQ(counting_memory::live_blocks(), 0);
}

TEST(FilterConstruction, RunningOutOfMemory) {
    // The filter object, the read buffer, the range table: each refused in turn.
    for (int failing = 1; failing <= 3; ++failing) {
        counting_memory::fail_allocation(failing);
        Built b(kSource, kAdd + "(1,1);\n");
        counting_memory::fail_allocation(0);
        EXPECT_EQ(b.filter, nullptr) << "allocation " << failing;
        EXPECT_STREQ(b.message, "Jobcut: Not enough memory");
        EXPECT_EQ(reference_count(b.source), 1);
        EXPECT_EQ(counting_memory::live_blocks(), 0);
    }
}

TEST(FilterConstruction, TheFilterOwnsItsTableAndOneSourceReference) {
    Built b(kSource, kAdd + "(1,1);\n");
    ASSERT_NE(b.filter, nullptr);
    EXPECT_EQ(reference_count(b.source), 2);
    EXPECT_EQ(counting_memory::live_blocks(), 2);  // the filter and its table; the read buffer is gone
    b.filter->Release();
    b.filter = nullptr;
    EXPECT_EQ(counting_memory::live_blocks(), 0);
    EXPECT_EQ(reference_count(b.source), 1);
}

TEST(FilterConstruction, TheEntryRaisesRefusalsThroughTheHost) {
    inprocess::Plugin plugin;
    EXPECT_EQ(plugin.registration().name, "Jobcut");
    EXPECT_EQ(plugin.registration().params, "c[filename]s");
    auto* source = new inprocess::SourceClip(kSource);
    PClip held(source);
    auto raised = [&](const char* name) {
        try {
            plugin.create(source, name);
        } catch (const inprocess::ScriptError& error) {
            return error.message;
        }
        return std::string("(nothing raised)");
    };
    // The message is shown as text: its "%" signs are not formatted again.
    EXPECT_EQ(raised("%s%d%%.vcf"), "Jobcut: file not found - \"%s%d%%.vcf\"");
    EXPECT_EQ(raised(nullptr), "Jobcut: file not found - \"\"");
    counting_memory::fail_allocation(1);
    EXPECT_EQ(raised("cuts.vcf"), "Jobcut: Not enough memory");
    counting_memory::fail_allocation(0);
    EXPECT_EQ(reference_count(source), 1);
    EXPECT_EQ(counting_memory::live_blocks(), 0);
}

// What a host asks of the clip: version 6, so that AviSynth+ reads the
// answers; a nice filter (509 -> 1) that asks not to be cached (501 -> 1), and
// 0 to every other query, the contract check (1000) among them. The answers
// change nothing: the clip serves as before after every query.
TEST(FilterConstruction, TheClipAnswersTheHostsQueriesAsTheHostsOwnTrim) {
    Built b(kSource, kAdd + "(10,5);\n" + kAdd + "(50,3);\n");
    ASSERT_NE(b.filter, nullptr);
    EXPECT_EQ(b.filter->GetVersion(), 6);
    int answered = 0;
    for (int query = -2; query <= 1100; ++query) {
        const int answer = b.filter->SetCacheHints(query, 7);
        if (query == 501 || query == 509) {
            EXPECT_EQ(answer, 1) << "query " << query;
            ++answered;
        } else {
            ASSERT_EQ(answer, 0) << "query " << query;
        }
    }
    EXPECT_EQ(answered, 2);
    EXPECT_EQ(b.filter->SetCacheHints(509, -1), 1);  // whatever the range argument
    EXPECT_EQ(b.filter->GetVideoInfo().num_frames, 8);
    b.source->calls.clear();
    jobcut::IScriptEnvironment* env = nullptr;  // the in-process source does not use it
    b.filter->GetFrame(6, env);
    ASSERT_EQ(b.source->calls.size(), 1u);
    EXPECT_EQ(b.source->calls[0].start, 51);
}
