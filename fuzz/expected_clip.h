// The new clip as a source and a list of rows define it, worked out here in
// wide arithmetic and plain searches, apart from the filter's own table and
// mapping, so that what the filter does can be checked against it.
#ifndef JOBCUT_FUZZ_EXPECTED_CLIP_H
#define JOBCUT_FUZZ_EXPECTED_CLIP_H

#include <cstdint>
#include <vector>

#include "host/avisynth/avisynth.h"
#include "subset/subset_entry.h"

namespace expected {

using Wide = __int128;

struct Row {
    int64_t start, length;
    bool masked;
    int64_t frame_begin, frame_end;  // the row's output frames: [frame_begin, frame_end)
    int64_t audio_start, audio_length;
    int64_t audio_begin, audio_end;  // the row's output samples: [audio_begin, audio_end)
};

class Clip {
public:
    // The clip over `source` from the rows a settings file gave (none: the
    // whole source). False when its frames or audio positions do not fit the
    // host's numbers, so the filter must refuse the file.
    bool build(const jobcut::VideoInfo& source, const jobcut::SubsetEntry* file_rows, int count);

    const jobcut::VideoInfo& info() const { return vi; }
    const std::vector<Row>& rows() const { return table; }

    // The source frame output frame n shows. Past the end it is the last
    // output frame; before the start it is counted back from row 0.
    int64_t source_frame(int64_t n) const;

    // The row whose output audio holds sample s, a negative s belonging to
    // row 0; -1 for a sample past the last row, which is silence.
    int audio_row(Wide s) const;
    // The source sample that output sample s of row r plays.
    Wide source_sample(int r, Wide s) const;
    // Whether a row without audio sits at output sample s with its audio at source sample `at`.
    bool silent_row_at(Wide s, int64_t at) const;

private:
    int64_t frame_in_range(int64_t n) const;

    jobcut::VideoInfo vi;
    std::vector<Row> table;
};

}  // namespace expected

#endif
