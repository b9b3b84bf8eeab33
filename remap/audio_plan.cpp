#include "remap/audio_plan.h"

namespace jobcut {

AudioPlan::AudioPlan(const SubsetEntry* rows_, int count_, int64_t start, int64_t samples)
    : rows(rows_), count(count_), row(0), offset(0), left(samples), first(true), done(false) {
    // The first row whose audio ends after `start`, found by halving the rows:
    // audio_end never decreases (a row of no audio repeats the one before).
    int high = count;
    while (row < high) {
        const int middle = row + (high - row) / 2;
        if (rows[middle].audio_end <= start)
            row = middle + 1;
        else
            high = middle;
    }
    if (row < count) offset = start - (row > 0 ? rows[row - 1].audio_end : 0);
}

bool AudioPlan::next(AudioPiece* piece) {
    if (done) return false;
    if (row == count) {
        done = true;
        if (left <= 0) return false;
        *piece = AudioPiece{0, left, true};
        return true;
    }
    const SubsetEntry& entry = rows[row];
    int64_t available;  // samples from the span's start to the row's end
    if (first) {
        // A far negative start saturates.
        if (__builtin_sub_overflow(entry.audio_length, offset, &available)) available = INT64_MAX;
    } else {
        available = entry.audio_length;
    }
    const int64_t source_start = entry.audio_start + (first ? offset : 0);
    first = false;
    if (available >= left) {
        *piece = AudioPiece{source_start, left, false};
        done = true;
        return true;
    }
    *piece = AudioPiece{source_start, available, false};
    left -= available;
    ++row;
    return true;
}

}  // namespace jobcut
