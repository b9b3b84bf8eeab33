#include "tools/inspect/probes.h"

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

}  // namespace inspect
