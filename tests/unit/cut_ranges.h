// A cut given as ranges: the settings file that lists them, and what the new
// clip shows, worked out from the ranges alone.
#ifndef JOBCUT_TESTS_CUT_RANGES_H
#define JOBCUT_TESTS_CUT_RANGES_H

#include <cstdint>
#include <string>
#include <vector>

struct CutRange {
    int start, length;
    bool masked;
};

// One subset line per range, CRLF-ended as VirtualDub writes them.
std::string cut_settings(const std::vector<CutRange>& ranges);

struct ExpectedCut {
    std::vector<int> frame;       // output frame -> the source frame it shows
    std::vector<int64_t> sample;  // output sample -> the source sample it plays
};

// For a source of a whole number of samples a frame, so that each range's
// audio is exactly its frames'. A masked range shows the frame shown just
// before it (its own first frame when it comes first) and plays its own audio.
ExpectedCut expect_cut(const std::vector<CutRange>& ranges, int samples_per_frame);

#endif
