// The Linux shared object driven as AviSynth+ drives it: from several threads
// at once, and through the reference counts the host keeps.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>
#include <vector>

#include "tests/linux_host/host_model.h"
#include "tests/scenario_runner/scenario_runner.h"
#include "tests/unit/cut_ranges.h"

using linux_host::Host;

namespace {

// 25 fps and 200 Hz: 8 samples per frame, so every row's audio is exactly its frames'.
linux_host::VideoInfo source_info() {
    return linux_host::VideoInfo{64, 48, 25, 1, 1000, 7, 200, 2, 8000, 2, 0};
}

class PluginFixture : public ::testing::Test {
protected:
    void SetUp() override {
        folder = std::filesystem::temp_directory_path() / ("jobcut-abi-" + std::to_string(getpid()));
        std::filesystem::create_directories(folder);
        host.load();
    }
    void TearDown() override { std::filesystem::remove_all(folder); }

    std::string settings(const std::vector<CutRange>& ranges) {
        std::string path = (folder / "cuts.vcf").string();
        std::ofstream(path, std::ios::binary) << cut_settings(ranges);
        return path;
    }

    Host host{JOBCUT_PLUGIN};
    std::filesystem::path folder;
};

}  // namespace

TEST_F(PluginFixture, ConcurrentCallsAllGetTheirOwnAnswers) {
    const std::vector<CutRange> ranges{{0, 100, false}, {100, 10, true}, {110, 50, false}, {400, 30, false},
                                    {600, 5, true},  {700, 40, false}};
    const ExpectedCut expected = expect_cut(ranges, 8);
    linux_host::SourceClip* source = host.make_source(source_info());
    std::string error;
    void* clip = host.create(source, settings(ranges).c_str(), &error);
    ASSERT_NE(clip, nullptr) << error;
    const int frames = Host::info(clip).num_frames;
    ASSERT_EQ(frames, static_cast<int>(expected.frame.size()));

    std::atomic<int> failures{0};
    auto worker = [&](unsigned seed) {
        std::mt19937 random(seed);
        std::vector<unsigned char> buffer;
        for (int i = 0; i < 3000; ++i) {
            const int n = static_cast<int>(random() % (frames + 20));  // some past the end
            const int shown = expected.frame[std::min(n, frames - 1)];
            linux_host::Frame* frame = Host::frame(clip, n);
            if (frame->tag != shown || frame->refcount != 1) ++failures;
            Host::release_frame(frame);
            if (Host::parity(clip, n) != (shown % 2 != 0)) ++failures;

            const int64_t total = static_cast<int64_t>(expected.sample.size());
            const int64_t start = static_cast<int64_t>(random() % total);
            const int64_t count = static_cast<int64_t>(random() % 200);
            buffer.assign(static_cast<size_t>(count * 4), 0xEE);
            Host::audio(clip, buffer.data(), start, count);
            for (int64_t s = 0; s < count; ++s) {
                for (int j = 0; j < 4; ++j) {
                    unsigned char want = start + s < total
                                             ? scenario::source_sample_byte(expected.sample[start + s], j)
                                             : 0;  // silence past the last range
                    if (buffer[s * 4 + j] != want) ++failures;
                }
            }
        }
    };
    std::vector<std::thread> threads;
    for (unsigned t = 0; t < 8; ++t) threads.emplace_back(worker, 1000 + t);
    for (std::thread& t : threads) t.join();
    EXPECT_EQ(failures, 0);

    EXPECT_EQ(Host::refs(source), 2);
    Host::release(clip);
    EXPECT_EQ(Host::refs(source), 1);
    Host::release_source(source);
}

TEST_F(PluginFixture, SourceReferencesBalanceOnEveryPath) {
    linux_host::SourceClip* source = host.make_source(source_info());
    std::string error;
    // Refusals of every kind hold nothing.
    const std::vector<std::string> refused{settings({{5, 0, false}}), (folder / "missing.vcf").string(), ""};
    for (const std::string& name : refused) {
        EXPECT_EQ(host.create(source, name.empty() ? nullptr : name.c_str(), &error), nullptr);
        EXPECT_EQ(Host::refs(source), 1) << error;
    }
    // Each live filter holds exactly one; the last release gives it back.
    const std::string cuts = settings({{10, 5, false}});
    void* first = host.create(source, cuts.c_str(), &error);
    void* second = host.create(source, cuts.c_str(), &error);
    ASSERT_TRUE(first && second) << error;
    EXPECT_EQ(Host::refs(source), 3);
    Host::add_ref(first);  // another filter taking the clip as its source
    Host::release(first);
    EXPECT_EQ(Host::refs(source), 3);
    Host::release(first);
    Host::release(second);
    EXPECT_EQ(Host::refs(source), 1);
    EXPECT_FALSE(source->state->destroyed);
    Host::release_source(source);
}
