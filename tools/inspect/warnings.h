// What will surprise the user of a settings file before the render: lines the
// filter reads otherwise than they look, lines it passes over that look like
// cuts, and cuts that come out otherwise than VirtualDub shows them.
#ifndef JOBCUT_TOOLS_INSPECT_WARNINGS_H
#define JOBCUT_TOOLS_INSPECT_WARNINGS_H

#include "tools/inspect/filter_run.h"
#include "tools/inspect/options.h"

namespace inspect {

// Reads the settings file again and explains the filter's result on it, into
// result->warnings. Says nothing, and clears result->warnings_checked, when
// that reading does not give what the filter read (the file changed meanwhile).
void add_warnings(const Options& options, FilterRun* result);

}  // namespace inspect

#endif
