// VapourSynth hands every text it gets from a plug-in to scripts as UTF-8,
// and Python cannot decode anything else: a message naming a file whose name
// is not UTF-8 must be repaired before it is raised.
#ifndef JOBCUT_HOST_VAPOURSYNTH_VALID_UTF8_H
#define JOBCUT_HOST_VAPOURSYNTH_VALID_UTF8_H

#include <stddef.h>

namespace jobcut {
namespace vs {

// At most three bytes for each byte of a text of `bytes` bytes, and the end.
constexpr size_t repaired_capacity(size_t bytes) { return 3 * bytes + 1; }

// Copies the text to `out` with each byte that is not part of a well-formed
// UTF-8 sequence replaced by U+FFFD; valid text is copied byte for byte.
// `out` holds repaired_capacity(strlen(text)) bytes.
void repair_utf8(const char* text, char* out);

}  // namespace vs
}  // namespace jobcut

#endif
