// Frame counts to audio sample counts: exact wherever the result fits, and a
// refusal, not a wrapped number, where it does not.
#include "remap/range_table.h"

#include <gtest/gtest.h>

#include <random>

namespace {

jobcut::ClipTiming make_timing(unsigned fps_numerator, unsigned fps_denominator, int audio_rate) {
    return jobcut::ClipTiming{0, fps_numerator, fps_denominator, audio_rate, 0};
}

// The exact result, worked in 128 bits, which only 64-bit hosts have.
bool reference(int32_t frames, const jobcut::ClipTiming& vi, int64_t* out) {
    if (vi.fps_numerator == 0 || vi.audio_rate <= 0) {
        *out = 0;
        return true;
    }
    __int128 value = static_cast<__int128>(frames) * vi.audio_rate * vi.fps_denominator /
                     vi.fps_numerator;
    if (value > INT64_MAX || value < INT64_MIN) return false;
    *out = static_cast<int64_t>(value);
    return true;
}

}  // namespace

TEST(SamplesFromFrames, CommonRates) {
    int64_t samples = -1;
    ASSERT_TRUE(jobcut::samples_from_frames(make_timing(30000, 1001, 48000), 30000, &samples));
    EXPECT_EQ(samples, 48048000);
    ASSERT_TRUE(jobcut::samples_from_frames(make_timing(25, 1, 44100), 1, &samples));
    EXPECT_EQ(samples, 1764);
    ASSERT_TRUE(jobcut::samples_from_frames(make_timing(30, 1, 100), 1, &samples));
    EXPECT_EQ(samples, 3);  // truncated
    ASSERT_TRUE(jobcut::samples_from_frames(make_timing(30, 1, 100), -1, &samples));
    EXPECT_EQ(samples, -3);  // toward zero
    ASSERT_TRUE(jobcut::samples_from_frames(make_timing(0, 1, 48000), 1000, &samples));
    EXPECT_EQ(samples, 0);
}

TEST(SamplesFromFrames, ExactWhereverTheResultFits) {
    std::mt19937_64 random(20261208);
    auto pick = [&](uint64_t limit) { return random() % (limit + 1); };
    int fitted = 0, refused = 0;
    for (int i = 0; i < 200000; ++i) {
        // Mix small and extreme magnitudes so both sides of the 64-bit limit are hit.
        bool extreme = i % 2;
        int32_t frames = static_cast<int32_t>(extreme ? random() : pick(100000)) * (i % 5 == 0 ? -1 : 1);
        jobcut::ClipTiming vi = make_timing(static_cast<unsigned>(extreme ? 1 + pick(100) : random()),
                                               static_cast<unsigned>(extreme ? random() : 1 + pick(1000000)),
                                               static_cast<int>(extreme ? random() & 0x7FFFFFFF : pick(192000)));
        int64_t expected = 0, got = 0;
        bool fits = reference(frames, vi, &expected);
        ASSERT_EQ(jobcut::samples_from_frames(vi, frames, &got), fits)
            << frames << " " << vi.audio_rate << " " << vi.fps_denominator << "/" << vi.fps_numerator;
        if (fits) {
            ASSERT_EQ(got, expected);
            ++fitted;
        } else {
            ++refused;
        }
    }
    EXPECT_GT(fitted, 1000);
    EXPECT_GT(refused, 1000);

    // The edges: the largest inputs, and a result of exactly the most negative value.
    int64_t samples = 0;
    jobcut::ClipTiming widest = make_timing(4294967295u, 4294967295u, 2147483647);
    ASSERT_TRUE(jobcut::samples_from_frames(widest, 2147483647, &samples));
    EXPECT_EQ(samples, int64_t{2147483647} * 2147483647);
    jobcut::ClipTiming half = make_timing(1, 1u << 31, 1 << 30);
    EXPECT_FALSE(jobcut::samples_from_frames(half, 4, &samples));  // 2^63
    ASSERT_TRUE(jobcut::samples_from_frames(half, -4, &samples));  // -2^63
    EXPECT_EQ(samples, INT64_MIN);
}
