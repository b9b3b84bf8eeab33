// The new clip's audio: each row's source audio, joined in table order, written
// by the source straight into the caller's buffer.
#include "remap/jobcut_filter.h"

#include "platform/sample_type.h"

namespace jobcut {

// Samples no row holds are silence, never whatever the buffer held before:
// unsigned 8-bit audio is silent at 0x80, every other type at 0.
void JobcutFilter::write_silence(unsigned char* at, int64_t samples) const {
    if (samples <= 0) return;
    const unsigned char fill = silence_byte(vi.sample_type);
    const int64_t bytes = samples * bytes_per_audio_sample(vi.sample_type, vi.nchannels);
    for (int64_t i = 0; i < bytes; ++i) at[i] = fill;
}

void JobcutFilter::GetAudio(void* buffer, int64_t start, int64_t count, IScriptEnvironment* env) {
    unsigned char* destination = static_cast<unsigned char*>(buffer);

    int row = 0;
    while (row < rows_in_use && table[row].audio_end <= start) ++row;
    if (row == rows_in_use) {
        write_silence(destination, count);
        return;
    }

    const SubsetEntry& first = table[row];
    const int64_t offset = start - (row > 0 ? table[row - 1].audio_end : 0);
    int64_t available;  // samples from start to the row's end; a far negative start saturates
    if (__builtin_sub_overflow(first.audio_end, start, &available)) available = INT64_MAX;
    if (available >= count) {
        child->GetAudio(destination, first.audio_start + offset, count, env);
        return;
    }
    child->GetAudio(destination, first.audio_start + offset, available, env);
    // Only a request that spans rows moves the destination: one inside a row,
    // the usual case, does not pay for the sample size.
    const int64_t bytes_per_sample = bytes_per_audio_sample(vi.sample_type, vi.nchannels);
    int64_t left = count - available;
    destination += available * bytes_per_sample;

    for (int next = row + 1; next < rows_in_use; ++next) {
        const SubsetEntry& entry = table[next];
        if (entry.audio_length >= left) {
            child->GetAudio(destination, entry.audio_start, left, env);
            return;
        }
        child->GetAudio(destination, entry.audio_start, entry.audio_length, env);
        left -= entry.audio_length;
        destination += entry.audio_length * bytes_per_sample;
    }
    write_silence(destination, left);
}

}  // namespace jobcut
