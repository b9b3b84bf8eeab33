#include "tests/avsplus/position_source.h"

#include <cstring>
#include <thread>

#include "host/avisynth/sample_type.h"
#include "tests/scenario_runner/scenario_runner.h"

namespace avsplus {
namespace {

// A frame of ours: the tag, then this mark, in the first bytes of its picture.
constexpr uint32_t kMark = 0x4A435346;
constexpr int kTagBytes = 8;

// Every frame has this small shape whatever the clip claims, so that any
// pixel type the scenarios name can be described.
VideoInfo frame_shape() {
    VideoInfo vi = default_source_info();
    vi.width = 16;
    vi.height = 2;
    return vi;
}

AVSValue __cdecl create_position_source(AVSValue args, void*, IScriptEnvironment*) {
    VideoInfo vi = default_source_info();
    vi.num_frames = args[0].AsInt(vi.num_frames);
    vi.audio_samples_per_second = args[1].AsInt(vi.audio_samples_per_second);
    vi.num_audio_samples = vi.AudioSamplesFromFrames(vi.num_frames);
    return new PositionSource(vi, std::chrono::microseconds(args[2].AsInt(0)));
}

}  // namespace

SourceStats& source_stats() {
    static SourceStats stats;
    return stats;
}

PositionSource::PositionSource(const VideoInfo& vi, std::chrono::microseconds delay) : vi_(vi), delay_(delay) {
    ++source_stats().live;
}

PositionSource::~PositionSource() { --source_stats().live; }

PVideoFrame __stdcall PositionSource::GetFrame(int n, IScriptEnvironment* env) {
    SourceStats& stats = source_stats();
    ++stats.frame_calls;
    const int now = ++stats.in_flight;
    for (int most = stats.most_in_flight; now > most && !stats.most_in_flight.compare_exchange_weak(most, now);) {
    }
    if (delay_.count() > 0) std::this_thread::sleep_for(delay_);
    PVideoFrame frame = env->NewVideoFrame(frame_shape());
    unsigned char* picture = frame->GetWritePtr();
    std::memcpy(picture, &n, 4);
    std::memcpy(picture + 4, &kMark, 4);
    --stats.in_flight;
    return frame;
}

void __stdcall PositionSource::GetAudio(void* buf, int64_t start, int64_t count, IScriptEnvironment*) {
    ++source_stats().audio_calls;
    const int64_t bps = jobcut::bytes_per_audio_sample(vi_.sample_type, vi_.nchannels);
    auto* out = static_cast<unsigned char*>(buf);
    for (int64_t s = 0; s < count; ++s)
        for (int64_t j = 0; j < bps; ++j) out[s * bps + j] = scenario::source_sample_byte(start + s, j);
}

int __stdcall PositionSource::SetCacheHints(int hints, int) {
    if (hints == CACHE_DONT_CACHE_ME) return 1;
    if (hints == CACHE_GET_MTMODE) return MT_NICE_FILTER;
    return 0;
}

VideoInfo default_source_info() {
    // 64x48 at 25/1 fps, 1000 frames of Y8; 200 Hz 16-bit, 8000 samples, stereo.
    return VideoInfo{64, 48, 25, 1, 1000, VideoInfo::CS_Y8, 200, SAMPLE_INT16, 8000, 2, 0};
}

void register_position_source(IScriptEnvironment* env) {
    env->AddFunction("PositionSource", "[frames]i[rate]i[delay_us]i", create_position_source, nullptr);
}

std::optional<int> frame_tag(const PVideoFrame& frame) {
    if (!frame || frame->GetRowSize() < kTagBytes) return std::nullopt;
    const unsigned char* picture = frame->GetReadPtr();
    uint32_t mark;
    std::memcpy(&mark, picture + 4, 4);
    if (mark != kMark) return std::nullopt;
    int tag;
    std::memcpy(&tag, picture, 4);
    return tag;
}

}  // namespace avsplus
