// A source clip for the real host whose frames and audio say where they come
// from: each frame carries the number it was made for, and byte j of sample s
// is scenario::source_sample_byte(s, j), as in every other test host. It asks
// the host for no cache of its own; AviSynth+ 3.7.5 caches one a script makes
// all the same (it asks its own thread guard, not the clip), so a test that
// counts the plug-in's requests makes the source itself and hands it to the
// script as a variable, where no cache of the host's stands before it.
#ifndef JOBCUT_TESTS_AVSPLUS_POSITION_SOURCE_H
#define JOBCUT_TESTS_AVSPLUS_POSITION_SOURCE_H

#include <avisynth.h>

#include <atomic>
#include <chrono>
#include <optional>

namespace avsplus {

// What every PositionSource has seen, for the tests that check lifetimes and
// threads. Reset by the test that reads it.
struct SourceStats {
    std::atomic<int> live{0};          // sources not yet destroyed
    std::atomic<int> in_flight{0};     // GetFrame calls running now
    std::atomic<int> most_in_flight{0};
    std::atomic<int> frame_calls{0};  // GetFrame calls ever made
    std::atomic<int> audio_calls{0};  // GetAudio calls ever made
    void reset_concurrency() { in_flight = 0, most_in_flight = 0; }
};
SourceStats& source_stats();

class PositionSource final : public IClip {
public:
    // `delay`: how long each GetFrame takes, so that calls from several
    // threads overlap.
    explicit PositionSource(const VideoInfo& vi, std::chrono::microseconds delay = {});
    ~PositionSource() override;

    PVideoFrame __stdcall GetFrame(int n, IScriptEnvironment* env) override;
    bool __stdcall GetParity(int n) override { return n % 2 != 0; }
    void __stdcall GetAudio(void* buf, int64_t start, int64_t count, IScriptEnvironment* env) override;
    int __stdcall SetCacheHints(int hints, int frame_range) override;
    const VideoInfo& __stdcall GetVideoInfo() override { return vi_; }

private:
    VideoInfo vi_;
    std::chrono::microseconds delay_;
};

// The default test source: 64x48, 25 fps, 1000 frames, 200 Hz 16-bit stereo,
// 8000 samples (8 a frame). Its pixel type is the host's Y8, unlike the
// scenario list's, so that scripts may also hand its frames to other filters.
VideoInfo default_source_info();

// Registers PositionSource([frames]i, [rate]i, [delay_us]i) with `env`: the
// default source with that many frames (and as much audio), that audio rate
// (0: none) and each frame taking that many microseconds.
void register_position_source(IScriptEnvironment* env);

// The source frame number a frame was made for; none for a frame that no
// PositionSource made.
std::optional<int> frame_tag(const PVideoFrame& frame);

}  // namespace avsplus

#endif
