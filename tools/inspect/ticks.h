// Timecode ticks for a timeline: round clock times, few enough to label.
#ifndef JOBCUT_TOOLS_INSPECT_TICKS_H
#define JOBCUT_TOOLS_INSPECT_TICKS_H

#include <vector>

#include "tools/inspect/timecode.h"

namespace inspect {

struct Ticks {
    std::vector<Milliseconds> at;  // from 0 up to the end, both included when round
    bool with_milliseconds;        // the step is under a second
};

// Ticks at a round step, at most `most` + 1 of them, over 0..`end` milliseconds.
Ticks ticks(Milliseconds end, unsigned most);

}  // namespace inspect

#endif
