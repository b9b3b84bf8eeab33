// Probes answered by the new clip's own operations, with the source recording
// what the clip asks of it.
#ifndef JOBCUT_TOOLS_INSPECT_PROBES_H
#define JOBCUT_TOOLS_INSPECT_PROBES_H

#include <vector>

#include "host/avisynth/avisynth.h"
#include "tools/inprocess_host/inprocess_host.h"
#include "tools/inspect/filter_run.h"
#include "tools/inspect/options.h"

namespace inspect {

// The source frame the clip hands back for each output frame of `span`.
std::vector<MappedFrame> map_frames(const jobcut::PClip& clip, const inprocess::SourceClip& source, FrameSpan span,
                                    jobcut::IScriptEnvironment* env);

// Every output frame of the clip as runs of source frames, each number held
// within the source's frames as a host's source holds it.
std::vector<FrameRun> frame_runs(const jobcut::PClip& clip, inprocess::SourceClip& source,
                                 jobcut::IScriptEnvironment* env);

// One audio request of `span`: the source requests it makes, and the bytes the
// filter filled itself, into result->audio_requests and result->silence.
void probe_audio(const jobcut::PClip& clip, inprocess::SourceClip& source, AudioSpan span,
                 jobcut::IScriptEnvironment* env, FilterRun* result);

}  // namespace inspect

#endif
