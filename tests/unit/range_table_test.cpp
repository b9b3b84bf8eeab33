// Frame counts to audio sample counts: exact wherever the result fits, and a
// refusal, not a wrapped number, where it does not. The row searches of the
// frame rule and the audio plan against the first-row rule they replace.
#include "remap/range_table.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "remap/audio_plan.h"
#include "remap/frame_rule.h"

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

// ---- the row searches against the first-row rule ----

namespace {

using jobcut::SubsetEntry;

// The rule as written before the searches: walk from row 0.
int first_row_by_frame(const std::vector<SubsetEntry>& rows, int32_t n) {
    int i = 0;
    while (i < static_cast<int>(rows.size()) && rows[i].frame_end <= n) ++i;
    return i;
}

int32_t first_row_source_frame(const std::vector<SubsetEntry>& rows, int32_t n) {
    const int32_t end = rows.back().frame_end;
    if (n >= end) n = end - 1;
    int row = first_row_by_frame(rows, n);
    for (;;) {
        const SubsetEntry& entry = rows[row];
        const int32_t first_output = row > 0 ? rows[row - 1].frame_end : 0;
        if (!entry.masked) return entry.start + (n - first_output);
        if (row == 0) return entry.start;
        n = first_output - 1;
        --row;
    }
}

// The audio plan's pieces as the walk from row 0 made them.
std::vector<jobcut::AudioPiece> first_row_pieces(const std::vector<SubsetEntry>& rows, int64_t start, int64_t left) {
    const int count = static_cast<int>(rows.size());
    int row = 0;
    while (row < count && rows[row].audio_end <= start) ++row;
    int64_t offset = row < count ? start - (row > 0 ? rows[row - 1].audio_end : 0) : 0;
    std::vector<jobcut::AudioPiece> pieces;
    for (bool first = true;; first = false) {
        if (row == count) {
            if (left > 0) pieces.push_back({0, left, true});
            return pieces;
        }
        const SubsetEntry& entry = rows[row];
        int64_t available;
        if (first) {
            if (__builtin_sub_overflow(entry.audio_length, offset, &available)) available = INT64_MAX;
        } else {
            available = entry.audio_length;
        }
        const int64_t source_start = entry.audio_start + (first ? offset : 0);
        if (available >= left) {
            pieces.push_back({source_start, left, false});
            return pieces;
        }
        pieces.push_back({source_start, available, false});
        left -= available;
        ++row;
    }
}

std::vector<jobcut::AudioPiece> planned_pieces(const std::vector<SubsetEntry>& rows, int64_t start, int64_t count) {
    jobcut::AudioPlan plan(rows.data(), static_cast<int>(rows.size()), start, count);
    std::vector<jobcut::AudioPiece> pieces;
    for (jobcut::AudioPiece piece; plan.next(&piece);) pieces.push_back(piece);
    return pieces;
}

bool same_pieces(const std::vector<jobcut::AudioPiece>& a, const std::vector<jobcut::AudioPiece>& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i].source_start != b[i].source_start || a[i].count != b[i].count || a[i].silence != b[i].silence)
            return false;
    return true;
}

// A table of `count` rows: short and long ranges, runs of masked rows (row 0
// among them at times), rows of no audio (so that audio_end repeats).
std::vector<SubsetEntry> random_table(std::mt19937_64& random, int count) {
    std::vector<SubsetEntry> rows(count);
    const bool masked_start = random() % 4 == 0;
    int32_t frames = 0;
    int64_t samples = 0;
    for (int i = 0; i < count; ++i) {
        SubsetEntry& row = rows[i];
        row.start = static_cast<int32_t>(random() % 100000);
        row.length = static_cast<int32_t>(random() % 8 == 0 ? 1 + random() % 5000 : 1 + random() % 6);
        row.masked = (i == 0 && masked_start) || (i > 0 && random() % 3 == 0) ? 1 : 0;
        frames += row.length;
        row.frame_end = frames;
        row.audio_start = static_cast<int64_t>(random() % 1000000);
        row.audio_length = random() % 3 == 0 ? 0 : static_cast<int64_t>(random() % 9);
        samples += row.audio_length;
        row.audio_end = samples;
    }
    return rows;
}

}  // namespace

TEST(RowSearch, EveryPositionFindsTheRowTheFirstRowRuleFinds) {
    std::mt19937_64 random(20261210);
    int tables = 0, frames_checked = 0, spans_checked = 0;
    for (int count = 1; count <= jobcut::kMaxRows; count += (count < 20 ? 1 : 7)) {
        for (int repeat = 0; repeat < 4; ++repeat) {
            const std::vector<SubsetEntry> rows = random_table(random, count == 250 ? jobcut::kMaxRows : count);
            std::vector<int32_t> held(rows.size());
            jobcut::derive_held_frames(rows.data(), static_cast<int>(rows.size()), held.data());
            const int n_rows = static_cast<int>(rows.size());
            ++tables;

            // Every output frame, the frames just past each row's end, past the
            // clip's end and far negative ones.
            const int32_t end = rows.back().frame_end;
            std::vector<int32_t> frames;
            for (int32_t n = 0; n <= end + 2; ++n) frames.push_back(n);
            for (int32_t n : {-1, -2, -1000, INT32_MIN, INT32_MIN + 1, INT32_MAX, INT32_MAX - 1, end + 1000})
                frames.push_back(n);
            for (int32_t n : frames) {
                ASSERT_EQ(jobcut::locate_row(rows.data(), n_rows, n), first_row_by_frame(rows, n))
                    << count << " rows, frame " << n;
                ASSERT_EQ(jobcut::source_frame(rows.data(), held.data(), n_rows, n), first_row_source_frame(rows, n))
                    << count << " rows, frame " << n;
                ++frames_checked;
            }

            // Audio spans from both ends of every row (and a sample either side),
            // past the end and far negative, of several lengths.
            std::vector<int64_t> starts{-1, -5, -1000000, INT64_MIN, INT64_MIN + 1, INT64_MAX, INT64_MAX - 3};
            for (const SubsetEntry& row : rows) {
                const int64_t begin = row.audio_end - row.audio_length;
                for (int64_t at : {begin - 1, begin, begin + 1, row.audio_end - 1, row.audio_end, row.audio_end + 1})
                    starts.push_back(at);
            }
            for (int64_t start : starts) {
                for (int64_t length : {int64_t{0}, int64_t{1}, int64_t{3}, int64_t{17}, rows.back().audio_end + 5}) {
                    ASSERT_TRUE(same_pieces(planned_pieces(rows, start, length), first_row_pieces(rows, start, length)))
                        << count << " rows, audio " << start << " " << length;
                    ++spans_checked;
                }
            }
        }
    }
    EXPECT_GT(tables, 100);
    EXPECT_GT(frames_checked, 100000);
    EXPECT_GT(spans_checked, 10000);
}

// Held frames through the table: a masked run after a range holds that range's
// last frame, a masked row 0 (and the run after it) its own first frame.
TEST(RowSearch, MaskedRunsHoldOnePicture) {
    std::vector<SubsetEntry> rows(5);
    const int32_t starts[] = {40, 100, 7, 500, 900}, lengths[] = {3, 2, 4, 1, 2};
    const bool masked[] = {true, true, false, true, true};
    int32_t end = 0;
    for (int i = 0; i < 5; ++i) {
        end += lengths[i];
        rows[i] = SubsetEntry{starts[i], lengths[i], end, static_cast<uint8_t>(masked[i]), 0, 0, 0};
    }
    int32_t held[5];
    jobcut::derive_held_frames(rows.data(), 5, held);
    const std::vector<int32_t> shown{40, 40, 40, 40, 40, 7, 8, 9, 10, 10, 10, 10};
    for (int32_t n = 0; n < end; ++n) EXPECT_EQ(jobcut::source_frame(rows.data(), held, 5, n), shown[n]) << n;
    EXPECT_EQ(jobcut::source_frame(rows.data(), held, 5, -7), 40);
    EXPECT_EQ(jobcut::source_frame(rows.data(), held, 5, INT32_MAX), 10);
}
