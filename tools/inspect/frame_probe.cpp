#include "tools/inspect/probes.h"

#include <algorithm>

namespace inspect {

std::vector<MappedFrame> map_frames(const jobcut::PClip& clip, const inprocess::SourceClip& source, FrameSpan span,
                                    jobcut::IScriptEnvironment* env) {
    std::vector<MappedFrame> mapped;
    for (int64_t n = span.first; n <= span.last; ++n) {
        const jobcut::PVideoFrame frame = clip->GetFrame(static_cast<int>(n), env);
        mapped.push_back({static_cast<int>(n), source.frame_number(frame)});
    }
    return mapped;
}

std::vector<FrameRun> frame_runs(const jobcut::PClip& clip, inprocess::SourceClip& source,
                                 jobcut::IScriptEnvironment* env) {
    const int frames = clip->GetVideoInfo().num_frames;
    const int last = std::max(source.info.num_frames - 1, 0);
    source.record_calls = false;  // a long clip would keep a record of every frame
    std::vector<FrameRun> runs;
    for (int n = 0; n < frames; ++n) {
        const int shown = std::clamp(source.frame_number(clip->GetFrame(n, env)), 0, last);
        if (!runs.empty()) {
            FrameRun& run = runs.back();
            if (run.count == 1 && (shown == run.source || shown == run.source + 1)) run.held = shown == run.source;
            if (run.held ? shown == run.source : shown == run.source + run.count) {
                ++run.count;
                continue;
            }
        }
        runs.push_back({n, 1, shown, false});
    }
    source.record_calls = true;
    return runs;
}

}  // namespace inspect
