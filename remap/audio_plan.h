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

}  // namespace jobcut

#endif
