// The AviSynth clip over the range table: construction and teardown, and each
// clip call translated through the frame rule and the audio plan.
#include "host/avisynth/jobcut_filter.h"

#include "host/avisynth/sample_type.h"
#include "platform/memory.h"
#include "remap/audio_plan.h"
#include "remap/frame_rule.h"

namespace jobcut {

void* JobcutFilter::operator new(size_t bytes) noexcept { return memory_allocate(bytes); }

void JobcutFilter::operator delete(void* block) { memory_release(block); }

JobcutFilter::JobcutFilter(const PClip& source) : GenericVideoFilter(source), table{nullptr, nullptr, 0} {}

JobcutFilter::~JobcutFilter() { release_table(&table); }

JobcutFilter* JobcutFilter::create(const PClip& source, const char* file_name, char (&message)[kMessageBytes]) {
    JobcutFilter* filter = new JobcutFilter(source);
    if (!filter) {
        compose_out_of_memory(message);
        return nullptr;
    }
    VideoInfo& vi = filter->vi;
    ClipTiming timing = timing_of(vi);
    if (!load_table(file_name, &timing, &filter->table, message)) {
        delete filter;  // drops the source reference
        return nullptr;
    }
    vi.num_frames = timing.num_frames;
    vi.num_audio_samples = timing.num_audio_samples;
    return filter;
}

PVideoFrame JobcutFilter::GetFrame(int n, IScriptEnvironment* env) {
    return child->GetFrame(source_frame(table, n), env);
}

int JobcutFilter::SetCacheHints(int cachehints, int) { return cache_hint_answer(cachehints); }

bool JobcutFilter::GetParity(int n) { return child->GetParity(source_frame(table, n)); }

// Samples no row holds are silence, never whatever the buffer held before:
// unsigned 8-bit audio is silent at 0x80, every other type at 0.
void JobcutFilter::write_silence(unsigned char* at, int64_t samples) const {
    const unsigned char fill = silence_byte(vi.sample_type);
    const int64_t bytes = samples * bytes_per_audio_sample(vi.sample_type, vi.nchannels);
    for (int64_t i = 0; i < bytes; ++i) at[i] = fill;
}

// Every piece is written by the source, or as silence, straight at its place
// in the caller's buffer.
void JobcutFilter::GetAudio(void* buffer, int64_t start, int64_t count, IScriptEnvironment* env) {
    unsigned char* destination = static_cast<unsigned char*>(buffer);
    AudioPlan plan(table.rows, table.count, start, count);
    AudioPiece piece;
    if (!plan.next(&piece)) return;
    int64_t bytes_per_sample = 0;  // only a request that spans rows pays for it
    for (;;) {
        if (piece.silence)
            write_silence(destination, piece.count);
        else
            child->GetAudio(destination, piece.source_start, piece.count, env);
        const int64_t written = piece.count;
        if (!plan.next(&piece)) return;
        if (bytes_per_sample == 0) bytes_per_sample = bytes_per_audio_sample(vi.sample_type, vi.nchannels);
        destination += written * bytes_per_sample;
    }
}

}  // namespace jobcut
