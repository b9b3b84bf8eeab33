#include "tools/inspect/probes.h"

#include <algorithm>

#include "host/avisynth/sample_type.h"

namespace inspect {
namespace {

// Neither silence value (0x80 for unsigned 8-bit audio, 0 otherwise), so
// bytes nobody wrote show as such.
constexpr unsigned char kMarker = 0xA5;

}  // namespace

void probe_audio(const jobcut::PClip& clip, inprocess::SourceClip& source, AudioSpan span,
                 jobcut::IScriptEnvironment* env, FilterRun* result) {
    const jobcut::VideoInfo& info = clip->GetVideoInfo();
    const int64_t bytes = span.count * jobcut::bytes_per_audio_sample(info.sample_type, info.nchannels);
    // Never empty, so the buffer has an address for offsets even for a request of nothing.
    std::vector<unsigned char> buffer(static_cast<size_t>(std::max<int64_t>(bytes, 1)), kMarker);
    source.calls.clear();
    source.expect_audio_buffer(buffer.data());
    clip->GetAudio(buffer.data(), span.start, span.count, env);

    for (const inprocess::SourceCall& call : source.calls)
        if (call.kind == inprocess::SourceCall::kAudio)
            result->audio_requests.push_back({call.at, call.start, call.count});
    // Each gap is reported as runs of one byte value, so a gap left partly unwritten shows.
    for (const inprocess::ByteSpan& gap : inprocess::bytes_not_from_source(source, bytes)) {
        for (int64_t at = gap.offset; at < gap.offset + gap.bytes;) {
            int64_t end = at + 1;
            while (end < gap.offset + gap.bytes && buffer[end] == buffer[at]) ++end;
            result->silence.push_back({at, end - at, buffer[at]});
            at = end;
        }
    }
}

}  // namespace inspect
