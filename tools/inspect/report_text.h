// The texts that more than one view of a run shows.
#ifndef JOBCUT_TOOLS_INSPECT_REPORT_TEXT_H
#define JOBCUT_TOOLS_INSPECT_REPORT_TEXT_H

#include <string>
#include <vector>

#include "tools/inspect/filter_run.h"
#include "tools/inspect/options.h"

namespace inspect {

// "36000 frames at 30000/1001 fps, audio 48000 Hz, s16, 2 channels, 57657600 samples"
std::string source_text(const FilterRun& result);

// The range table of a successful run: the column names, then one line of cells per row.
std::vector<std::vector<std::string>> range_cells(const FilterRun& result);

// "23776 frames, 00:13:13.326, 38079641 audio samples"
std::string totals_text(const FilterRun& result);

// "line 26", or "file" for a warning about the whole file.
std::string warning_place(const Warning& warning);

// Text as XML or HTML character data; control characters neither can hold become '?'.
std::string markup_text(const std::string& text);

}  // namespace inspect

#endif
