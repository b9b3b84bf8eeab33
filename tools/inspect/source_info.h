// The synthetic source clip the command line describes.
#ifndef JOBCUT_TOOLS_INSPECT_SOURCE_INFO_H
#define JOBCUT_TOOLS_INSPECT_SOURCE_INFO_H

#include "host/avisynth/avisynth.h"
#include "tools/inspect/options.h"

namespace inspect {

// Throws UsageError when the default audio length does not fit a clip.
jobcut::VideoInfo source_info(const Options& options);

}  // namespace inspect

#endif
