// The one place that looks inside the new clip: a read-only copy of its range
// table. Everything else is asked of the clip through its own operations.
#ifndef JOBCUT_TOOLS_INSPECT_RANGE_TABLE_H
#define JOBCUT_TOOLS_INSPECT_RANGE_TABLE_H

#include <vector>

#include "host/avisynth.h"
#include "remap/subset_entry.h"

namespace inspect {

// `clip` must be what the Jobcut function returned.
std::vector<jobcut::SubsetEntry> range_table(const jobcut::PClip& clip);

// "masked" or "range".
const char* kind_name(const jobcut::SubsetEntry& row);

}  // namespace inspect

#endif
