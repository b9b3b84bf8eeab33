// The ways a filter run is shown.
#ifndef JOBCUT_TOOLS_INSPECT_VIEWS_H
#define JOBCUT_TOOLS_INSPECT_VIEWS_H

#include <string>

#include "tools/inspect/filter_run.h"
#include "tools/inspect/options.h"

namespace inspect {

// The readable table of a successful run, with its warnings and the probes
// asked for; for a refused file only its warnings.
std::string table_view(const Options& options, const FilterRun& result);

// The JSON object, for success and failure alike.
std::string json_view(const FilterRun& result);

// The SVG timeline picture of a successful run.
std::string svg_view(const Options& options, const FilterRun& result);

// A self-contained HTML page of the run, refused or not: the source, warnings,
// the refusal message, the script lines, the timeline and the range table.
std::string html_view(const Options& options, const FilterRun& result);

}  // namespace inspect

#endif
