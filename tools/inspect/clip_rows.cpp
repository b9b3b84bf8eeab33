#include "tools/inspect/clip_rows.h"

#include "host/avisynth/jobcut_filter.h"

namespace inspect {

std::vector<jobcut::SubsetEntry> clip_rows(const jobcut::PClip& clip) {
    const auto* filter = static_cast<const jobcut::JobcutFilter*>(clip.get());
    return std::vector<jobcut::SubsetEntry>(filter->rows(), filter->rows() + filter->row_count());
}

const char* kind_name(const jobcut::SubsetEntry& row) { return row.masked ? "masked" : "range"; }

int64_t source_end(const jobcut::SubsetEntry& row) { return int64_t{row.start} + row.length; }

int first_output_frame(const std::vector<jobcut::SubsetEntry>& rows, size_t i) {
    return i > 0 ? rows[i - 1].frame_end : 0;
}

std::string span_text(int64_t first, int64_t end) { return std::to_string(first) + ".." + std::to_string(end - 1); }

}  // namespace inspect
