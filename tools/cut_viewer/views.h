// The ways an inspection is shown.
#ifndef JOBCUT_TOOLS_CUT_VIEWER_VIEWS_H
#define JOBCUT_TOOLS_CUT_VIEWER_VIEWS_H

#include <string>

#include "tools/cut_viewer/filter_run.h"
#include "tools/cut_viewer/options.h"

namespace inspect {

// The readable table of a successful inspection, with the probes asked for.
std::string table_view(const Options& options, const Inspection& result);

// The JSON object, for success and failure alike.
std::string json_view(const Inspection& result);

// The SVG timeline picture of a successful inspection.
std::string svg_view(const Options& options, const Inspection& result);

}  // namespace inspect

#endif
