#include "tools/inspect/range_table.h"

#include "remap/jobcut_filter.h"

namespace inspect {

std::vector<jobcut::SubsetEntry> range_table(const jobcut::PClip& clip) {
    const auto* filter = static_cast<const jobcut::JobcutFilter*>(clip.get());
    return std::vector<jobcut::SubsetEntry>(filter->rows(), filter->rows() + filter->row_count());
}

const char* kind_name(const jobcut::SubsetEntry& row) { return row.masked ? "masked" : "range"; }

}  // namespace inspect
