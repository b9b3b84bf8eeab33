#include "fuzz/expected_clip.h"

namespace expected {
namespace {

// Audio samples that `frames` frames last: frames × rate × denominator / numerator,
// truncated. No frame rate or no audio rate: no samples.
Wide samples_for(const jobcut::VideoInfo& vi, int64_t frames) {
    if (vi.fps_numerator == 0 || vi.audio_samples_per_second <= 0) return 0;
    return Wide{frames} * vi.audio_samples_per_second * vi.fps_denominator / vi.fps_numerator;
}

bool fits(Wide value) { return value >= INT64_MIN && value <= INT64_MAX; }

}  // namespace

bool Clip::build(const jobcut::VideoInfo& source, const jobcut::SubsetEntry* file_rows, int count) {
    vi = source;
    table.clear();
    if (count == 0) {
        const int64_t frames = source.num_frames > 0 ? source.num_frames : 0;
        table.push_back(Row{0, frames, false, 0, frames, 0, source.num_audio_samples, 0, source.num_audio_samples});
        return true;
    }
    int64_t frames = 0;
    Wide samples = 0;
    for (int i = 0; i < count; ++i) {
        const jobcut::SubsetEntry& entry = file_rows[i];
        const Wide audio_start = samples_for(source, entry.start);
        const Wide audio_length = samples_for(source, entry.length);
        if (!fits(audio_start + audio_length) || !fits(samples + audio_length)) return false;
        table.push_back(Row{entry.start, entry.length, entry.masked != 0, frames, frames + entry.length,
                            static_cast<int64_t>(audio_start), static_cast<int64_t>(audio_length),
                            static_cast<int64_t>(samples), static_cast<int64_t>(samples + audio_length)});
        frames += entry.length;
        samples += audio_length;
    }
    const Wide total_samples = samples_for(source, frames);
    if (frames > INT32_MAX || !fits(total_samples)) return false;
    vi.num_frames = static_cast<int32_t>(frames);
    vi.num_audio_samples = static_cast<int64_t>(total_samples);
    return true;
}

int64_t Clip::source_frame(int64_t n) const {
    const int64_t last = table.back().frame_end - 1;
    return frame_in_range(n > last ? last : n);
}

// A masked row shows what the output frame just before it shows.
int64_t Clip::frame_in_range(int64_t n) const {
    size_t r = 0;
    while (n >= table[r].frame_end) ++r;  // n is below the last row's end
    const Row& row = table[r];
    if (!row.masked) return row.start + (n - row.frame_begin);
    return r == 0 ? row.start : frame_in_range(row.frame_begin - 1);
}

int Clip::audio_row(Wide s) const {
    for (size_t r = 0; r < table.size(); ++r)
        if (s < table[r].audio_end) return static_cast<int>(r);
    return -1;
}

Wide Clip::source_sample(int r, Wide s) const { return Wide{table[r].audio_start} + (s - table[r].audio_begin); }

bool Clip::silent_row_at(Wide s, int64_t at) const {
    for (const Row& row : table)
        if (row.audio_length == 0 && row.audio_begin == s && row.audio_start == at) return true;
    return false;
}

}  // namespace expected
