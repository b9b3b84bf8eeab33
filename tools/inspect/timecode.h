// Frame counts as clock times at a frame rate.
#ifndef JOBCUT_TOOLS_INSPECT_TIMECODE_H
#define JOBCUT_TOOLS_INSPECT_TIMECODE_H

#include <cstdint>
#include <string>

namespace inspect {

// 2^31 frames of 2^32 / 1 seconds each last more milliseconds than 64 bits hold.
using Milliseconds = unsigned __int128;

// Milliseconds that `frames` frames last at numerator/denominator frames per
// second, to the nearest; numerator above 0.
Milliseconds frames_to_milliseconds(uint32_t frames, unsigned numerator, unsigned denominator);

// "HH:MM:SS.mmm", or "HH:MM:SS" without the milliseconds; hours grow past two digits as needed.
std::string clock_text(Milliseconds milliseconds, bool with_milliseconds = true);

// clock_text of how long `frames` frames last.
std::string timecode(uint32_t frames, unsigned numerator, unsigned denominator);

}  // namespace inspect

#endif
