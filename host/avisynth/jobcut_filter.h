// The clip a script's Jobcut call returns in AviSynth: the source's frame
// ranges listed in a settings file, in file order. It owns the range table and
// answers the host's frame, parity and audio calls through the frame rule and
// the audio plan.
#ifndef JOBCUT_HOST_AVISYNTH_JOBCUT_FILTER_H
#define JOBCUT_HOST_AVISYNTH_JOBCUT_FILTER_H

#include <stddef.h>
#include <stdint.h>

#include "host/avisynth/clip_interface.h"
#include "remap/error_message.h"
#include "remap/table_file.h"

namespace jobcut {

// What the range table needs of an AviSynth clip.
inline ClipTiming timing_of(const VideoInfo& vi) {
    return ClipTiming{vi.num_frames, vi.fps_numerator, vi.fps_denominator, vi.audio_samples_per_second,
                      vi.num_audio_samples};
}

class JobcutFilter final : public GenericVideoFilter {
public:
    // Reads the settings file and builds the range table over `source`. On
    // failure returns null with the text to raise in `message`, having already
    // released everything it took (the source reference included): the host's
    // error unwinds without running any destructor of ours on some targets.
    static JobcutFilter* create(const PClip& source, const char* file_name, char (&message)[kMessageBytes]);

    PVideoFrame JOBCUT_STDCALL GetFrame(int n, IScriptEnvironment* env) override;
    bool JOBCUT_STDCALL GetParity(int n) override;
    void JOBCUT_STDCALL GetAudio(void* buffer, int64_t start, int64_t count, IScriptEnvironment* env) override;
    // AviSynth+ asks before it wraps the clip: its thread mode (a nice filter,
    // one shared by every thread: nothing is written after construction) and
    // whether to cache it (no: each request costs one source request, which the
    // host caches or not as it does the source). 0 to every other query.
    int JOBCUT_STDCALL SetCacheHints(int cachehints, int frame_range) override;

    // Read-only view of the range table.
    const SubsetEntry* rows() const { return table.rows; }
    int row_count() const { return table.count; }

    // Null instead of an exception when memory runs out, so creation can report it.
    static void* operator new(size_t bytes) noexcept;
    static void operator delete(void* block);

private:
    explicit JobcutFilter(const PClip& source);
    ~JobcutFilter() override;

    void write_silence(unsigned char* at, int64_t samples) const;

    RangeTable table;
};

}  // namespace jobcut

#endif
