#include "tools/inspect/timecode.h"

#include <cstdio>

namespace inspect {

Milliseconds frames_to_milliseconds(uint32_t frames, unsigned numerator, unsigned denominator) {
    const Milliseconds scaled = static_cast<Milliseconds>(frames) * denominator * 1000;
    return (scaled + numerator / 2) / numerator;
}

std::string clock_text(Milliseconds milliseconds, bool with_milliseconds) {
    char text[48];
    const Milliseconds seconds = milliseconds / 1000;
    const int length = std::snprintf(text, sizeof text, "%02llu:%02u:%02u", static_cast<unsigned long long>(seconds / 3600),
                                     static_cast<unsigned>(seconds / 60 % 60), static_cast<unsigned>(seconds % 60));
    if (with_milliseconds)
        std::snprintf(text + length, sizeof text - length, ".%03u", static_cast<unsigned>(milliseconds % 1000));
    return text;
}

std::string timecode(uint32_t frames, unsigned numerator, unsigned denominator) {
    return clock_text(frames_to_milliseconds(frames, numerator, denominator));
}

}  // namespace inspect
