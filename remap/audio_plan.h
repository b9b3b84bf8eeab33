// The audio plan: which source samples, and which silence, fill a span of the
// new clip's audio. Each row's own source audio, joined in table order (a
// masked row's sound plays on from its own source span); samples past the
// last row are silence.
#ifndef JOBCUT_REMAP_AUDIO_PLAN_H
#define JOBCUT_REMAP_AUDIO_PLAN_H

#include <stdint.h>

#include "subset/subset_entry.h"

namespace jobcut {

// `count` samples from source sample `source_start`, or `count` samples of
// silence; each piece follows the one before it in the output.
struct AudioPiece {
    int64_t source_start;
    int64_t count;
    bool silence;
};

// The pieces of output samples [start, start + count), in output order:
//   - the first is read from the row the span begins in (the first row whose
//     audio ends after `start`; a negative start falls in row 0), from that
//     row's audio start plus the offset into it, and holds the whole span when
//     the row does, a count of 0 included;
//   - each later row then gives its own samples up to what the span still
//     needs, a row of no audio giving a piece of 0 samples;
//   - what is left when the rows run out, or the whole span when it begins at
//     or past the last row's end, is one piece of silence (none for 0 samples).
// A span that ends with a row never reaches the next row. The first row is
// found in one search of the rows, whatever their count; each later piece
// costs one step.
class AudioPlan {
public:
    AudioPlan(const SubsetEntry* rows, int count, int64_t start, int64_t samples);

    // The next piece; false when there is none left.
    bool next(AudioPiece* piece);

private:
    const SubsetEntry* rows;
    int count;
    int row;        // the row the next piece reads from; count: only silence is left
    int64_t offset;  // into that row, for the first piece
    int64_t left;    // samples the span still needs
    bool first;
    bool done;
};

// Inline: a request inside one row, the usual case, costs a search and one piece.
inline AudioPlan::AudioPlan(const SubsetEntry* rows_, int count_, int64_t start, int64_t samples)
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

inline bool AudioPlan::next(AudioPiece* piece) {
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

#endif
