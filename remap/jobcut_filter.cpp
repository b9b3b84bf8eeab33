// Construction and teardown of the filter, and the range table it derives.
#include "remap/jobcut_filter.h"

#include "remap/samples_from_frames.h"
#include "subset/platform.h"
#include "subset/subset_reader.h"

namespace jobcut {

void* JobcutFilter::operator new(size_t bytes) noexcept { return memory_allocate(bytes); }

void JobcutFilter::operator delete(void* block) { memory_release(block); }

JobcutFilter::JobcutFilter(const PClip& source) : GenericVideoFilter(source), table(nullptr), rows_in_use(0) {}

JobcutFilter::~JobcutFilter() { memory_release(table); }

JobcutFilter* JobcutFilter::create(const PClip& source, const char* file_name, char (&message)[kMessageBytes]) {
    JobcutFilter* filter = new JobcutFilter(source);
    if (!filter) {
        compose_out_of_memory(message);
        return nullptr;
    }
    if (!filter->load(file_name, message)) {
        delete filter;  // frees the table and drops the source reference
        return nullptr;
    }
    return filter;
}

bool JobcutFilter::load(const char* file_name, char (&message)[kMessageBytes]) {
    unsigned char* buffer = static_cast<unsigned char*>(memory_allocate(kReadBufferBytes));
    if (buffer) table = static_cast<SubsetEntry*>(memory_allocate(kMaxRows * sizeof(SubsetEntry)));
    if (!buffer || !table) {
        memory_release(buffer);
        compose_out_of_memory(message);
        return false;
    }
    int line_number = 0;
    ReadOutcome outcome = read_subset_file(file_name, buffer, table, &rows_in_use, &line_number);
    memory_release(buffer);
    if (outcome != kReadOk) {
        rows_in_use = 0;
        compose_read_error(message, outcome, file_name, line_number);
        return false;
    }
    if (rows_in_use > 0) return derive_table(file_name, message);
    fill_whole_source_row();
    return true;
}

// Without subset lines the clip stays whole, audio included: the row's audio
// is the source's own length so every source sample stays reachable.
void JobcutFilter::fill_whole_source_row() {
    SubsetEntry& row = table[0];
    row = SubsetEntry{};
    // A source claiming fewer than 0 frames has none; keeps the frame search in range.
    row.length = vi.num_frames > 0 ? vi.num_frames : 0;
    row.frame_end = row.length;
    row.audio_length = vi.num_audio_samples;
    row.audio_end = row.audio_length;
    rows_in_use = 1;
}

bool JobcutFilter::derive_table(const char* file_name, char (&message)[kMessageBytes]) {
    int64_t frames = 0;
    int64_t samples = 0;
    for (int i = 0; i < rows_in_use; ++i) {
        SubsetEntry& row = table[i];
        frames += row.length;
        if (frames > INT32_MAX) {
            compose_table_error(message, TableError::kTooManyFrames, file_name);
            return false;
        }
        row.frame_end = static_cast<int32_t>(frames);
        int64_t source_end;  // the source position just past the range must be a number too
        if (!samples_from_frames(vi, row.start, &row.audio_start) ||
            !samples_from_frames(vi, row.length, &row.audio_length) ||
            __builtin_add_overflow(row.audio_start, row.audio_length, &source_end) ||
            __builtin_add_overflow(samples, row.audio_length, &samples)) {
            compose_table_error(message, TableError::kAudioTooLong, file_name);
            return false;
        }
        row.audio_end = samples;
    }
    int64_t total_samples;
    if (!samples_from_frames(vi, static_cast<int32_t>(frames), &total_samples)) {
        compose_table_error(message, TableError::kAudioTooLong, file_name);
        return false;
    }
    // Worked from the total frame count, so it can run past the last row's
    // audio_end by up to a sample per row; the audio request fills that with silence.
    vi.num_frames = static_cast<int32_t>(frames);
    vi.num_audio_samples = total_samples;
    return true;
}

}  // namespace jobcut
