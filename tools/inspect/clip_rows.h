// The one place that looks inside the new clip: a read-only copy of its range
// table. Everything else is asked of the clip through its own operations.
#ifndef JOBCUT_TOOLS_INSPECT_CLIP_ROWS_H
#define JOBCUT_TOOLS_INSPECT_CLIP_ROWS_H

#include <cstdint>
#include <string>
#include <vector>

#include "host/avisynth/avisynth.h"
#include "subset/subset_entry.h"

namespace inspect {

// `clip` must be what the Jobcut function returned.
std::vector<jobcut::SubsetEntry> clip_rows(const jobcut::PClip& clip);

// "masked" or "range".
const char* kind_name(const jobcut::SubsetEntry& row);

// The source frame just past the row.
int64_t source_end(const jobcut::SubsetEntry& row);

// The first output frame of rows[i].
int first_output_frame(const std::vector<jobcut::SubsetEntry>& rows, size_t i);

// "first..last" for the frames first up to `end`, end excluded.
std::string span_text(int64_t first, int64_t end);

}  // namespace inspect

#endif
