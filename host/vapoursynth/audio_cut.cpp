// jobcut.JobcutAudio(clip, filename, fpsnum, fpsden): the audio node of the cut,
// sample for sample the AviSynth filter's audio for the same file, source
// audio and frame rate. Each output audio frame is put together from the
// pieces of the audio plan; source positions outside the source audio, and
// samples past the last row, are silence.
#include "host/vapoursynth/cut_functions.h"
#include "platform/memory.h"
#include "remap/audio_plan.h"

namespace jobcut {
namespace vs {
namespace {

struct AudioCut {
    Node* source;
    AudioInfo info;          // the new clip's
    int64_t source_samples;  // the source's length
    RangeTable table;
};

constexpr int64_t kFrameSamples = kAudioFrameSamples;
// One output audio frame meets at most one piece per row and the silence after them.
constexpr int kMaxPieces = kMaxRows + 1;

// The part [*begin, *end) of a piece's source span that lies inside the
// source; false when none does (silence, or only positions outside it).
bool inside_source(const AudioPiece& piece, int64_t source_samples, int64_t* begin, int64_t* end) {
    if (piece.silence || piece.count <= 0) return false;
    *begin = piece.source_start < 0 ? 0 : piece.source_start;
    *end = piece.source_start + piece.count;
    if (*end > source_samples) *end = source_samples;
    return *begin < *end;
}

// The source frames [first, last] a piece reads; false when it reads none.
bool frames_read(const AudioPiece& piece, int64_t source_samples, int* first, int* last) {
    int64_t begin, end;
    if (!inside_source(piece, source_samples, &begin, &end)) return false;
    *first = static_cast<int>(begin / kFrameSamples);
    *last = static_cast<int>((end - 1) / kFrameSamples);
    return true;
}

// Asks for the source frames the span reads; returns how many it asked for.
int request_frames(const AudioCut& cut, int64_t start, int64_t count, FrameContext* context, const Api* api) {
    // Each source frame once, though rows that overlap in the source share them.
    int firsts[kMaxPieces];
    int lasts[kMaxPieces];
    int pieces = 0;
    int requested = 0;
    AudioPlan plan(cut.table.rows, cut.table.count, start, count);
    AudioPiece piece;
    while (plan.next(&piece)) {
        int first, last;
        if (!frames_read(piece, cut.source_samples, &first, &last)) continue;
        for (int frame = first; frame <= last; ++frame) {
            bool seen = false;
            for (int i = 0; i < pieces && !seen; ++i) seen = frame >= firsts[i] && frame <= lasts[i];
            if (!seen) {
                api->request_frame_filter(frame, cut.source, context);
                ++requested;
            }
        }
        if (pieces < kMaxPieces) {
            firsts[pieces] = first;
            lasts[pieces] = last;
            ++pieces;
        }
    }
    return requested;
}

void fill_zero(Frame* frame, int channels, int bytes_per_sample, int64_t at, int64_t samples, const Api* api) {
    for (int channel = 0; channel < channels; ++channel) {
        uint8_t* out = api->get_write_pointer(frame, channel) + at * bytes_per_sample;
        for (int64_t i = 0; i < samples * bytes_per_sample; ++i) out[i] = 0;
    }
}

// Copies source samples [begin, end), all inside the source, to output position `at`.
void copy_source(const AudioCut& cut, Frame* out, int64_t at, int64_t begin, int64_t end, FrameContext* context,
                 const Api* api) {
    const int channels = cut.info.format.num_channels;
    const int size = cut.info.format.bytes_per_sample;
    while (begin < end) {
        const int number = static_cast<int>(begin / kFrameSamples);
        const int64_t frame_start = number * kFrameSamples;
        const Frame* source = api->get_frame_filter(number, cut.source, context);
        int64_t frame_end = frame_start + api->get_frame_length(source);
        if (frame_end > end) frame_end = end;
        const int64_t samples = frame_end - begin;
        for (int channel = 0; channel < channels; ++channel)
            __builtin_memcpy(api->get_write_pointer(out, channel) + at * size,
                             api->get_read_pointer(source, channel) + (begin - frame_start) * size,
                             static_cast<size_t>(samples * size));
        api->free_frame(source);
        at += samples;
        begin = frame_end;
    }
}

Frame* assemble_frame(const AudioCut& cut, int64_t start, int samples, FrameContext* context, Core* core,
                      const Api* api) {
    Frame* out = api->new_audio_frame(&cut.info.format, samples, nullptr, core);
    const int channels = cut.info.format.num_channels;
    const int size = cut.info.format.bytes_per_sample;
    AudioPlan plan(cut.table.rows, cut.table.count, start, samples);
    AudioPiece piece;
    int64_t at = 0;
    while (plan.next(&piece)) {
        if (piece.count <= 0) continue;
        int64_t begin, end;  // the part inside the source, silence around it
        if (!inside_source(piece, cut.source_samples, &begin, &end)) {
            fill_zero(out, channels, size, at, piece.count, api);
        } else {
            const int64_t before = begin - piece.source_start;
            fill_zero(out, channels, size, at, before, api);
            copy_source(cut, out, at + before, begin, end, context, api);
            fill_zero(out, channels, size, at + before + (end - begin), piece.source_start + piece.count - end, api);
        }
        at += piece.count;
    }
    return out;
}

// The source frame an output frame is, whole and unchanged, or -1: one piece
// that reads a whole source frame from its start.
int whole_source_frame(const AudioCut& cut, int64_t start, int64_t samples) {
    AudioPlan plan(cut.table.rows, cut.table.count, start, samples);
    AudioPiece piece;
    if (!plan.next(&piece) || piece.silence || piece.count != samples || piece.source_start < 0 ||
        piece.source_start % kFrameSamples != 0)
        return -1;
    const int64_t left = cut.source_samples - piece.source_start;
    return (left >= kFrameSamples ? kFrameSamples : left) == samples ? static_cast<int>(piece.source_start / kFrameSamples)
                                                                     : -1;
}

const Frame* get_audio_frame(int n, int reason, void* data, void** frame_data, FrameContext* context, Core* core,
                             const Api* api) {
    const AudioCut& cut = *static_cast<const AudioCut*>(data);
    const int64_t start = n * kFrameSamples;
    int64_t samples = cut.info.num_samples - start;
    if (samples > kFrameSamples) samples = kFrameSamples;
    // A frame that is a source frame as it stands is handed on, as the source's own.
    if (reason == kInitial) {
        const int whole = whole_source_frame(cut, start, samples);
        *frame_data = reinterpret_cast<void*>(static_cast<intptr_t>(whole + 1));
        if (whole >= 0) {
            api->request_frame_filter(whole, cut.source, context);
            return nullptr;
        }
        // A frame of nothing but silence needs no source frame: it is made at once.
        if (request_frames(cut, start, samples, context, api) == 0)
            return assemble_frame(cut, start, static_cast<int>(samples), context, core, api);
    } else if (reason == kAllFramesReady) {
        const int whole = static_cast<int>(reinterpret_cast<intptr_t>(*frame_data)) - 1;
        if (whole >= 0) return api->get_frame_filter(whole, cut.source, context);
        return assemble_frame(cut, start, static_cast<int>(samples), context, core, api);
    }
    return nullptr;
}

void free_audio_cut(void* data, Core*, const Api* api) {
    AudioCut* cut = static_cast<AudioCut*>(data);
    api->free_node(cut->source);
    release_table(&cut->table);
    memory_release(cut);
}

// The longest audio clip VapourSynth makes: as many full audio frames as a frame number counts.
constexpr int64_t kMaxSamples = int64_t{2147483647} * kFrameSamples;

// The frame rate that turns the rows' frames into samples, from the two
// arguments; null when it is usable, else the text to raise.
const char* rate_problem(int64_t numerator, int64_t denominator) {
    if (numerator < 1 || denominator < 1 || numerator > 4294967295 || denominator > 4294967295)
        return "JobcutAudio: fpsnum and fpsden must be whole numbers from 1 to 4294967295: pass the frame rate of "
               "the video the settings file cuts, for example fpsnum=video.fps_num, fpsden=video.fps_den (a "
               "variable-frame-rate clip has no rate to take: give the rate it was cut at)";
    return nullptr;
}

}  // namespace

void create_audio_cut(const Map* in, Map* out, void*, Core* core, const Api* api) {
    const int64_t numerator = api->map_get_int(in, "fpsnum", 0, nullptr);
    const int64_t denominator = api->map_get_int(in, "fpsden", 0, nullptr);
    if (const char* problem = rate_problem(numerator, denominator)) {
        api->map_set_error(out, problem);
        return;
    }
    Node* source = api->map_get_node(in, "clip", 0, nullptr);
    const AudioInfo* source_info = api->get_audio_info(source);
    // No frame count of its own: a file without subset lines keeps the whole source audio.
    ClipTiming timing{0, static_cast<uint32_t>(numerator), static_cast<uint32_t>(denominator),
                      source_info->sample_rate, source_info->num_samples};
    AudioCut* cut = static_cast<AudioCut*>(memory_allocate(sizeof(AudioCut)));
    const char* refusal = nullptr;
    char message[kMessageBytes];
    if (!cut) {
        compose_out_of_memory(message);
        refusal = message;
    } else if (!load_named_table(in, out, api, &timing, &cut->table)) {
        memory_release(cut);
        api->free_node(source);
        return;
    } else if (timing.num_audio_samples < 1) {
        refusal = "JobcutAudio: the cut's audio comes to 0 samples (its ranges are shorter than one sample at this "
                  "audio rate), and a VapourSynth audio clip needs at least one";
    } else if (timing.num_audio_samples > kMaxSamples) {
        refusal = "JobcutAudio: the cut's audio is longer than VapourSynth's longest audio clip (6597069763584 "
                  "samples)";
    }
    if (refusal) {
        api->map_set_error(out, refusal);
        if (cut) {
            release_table(&cut->table);
            memory_release(cut);
        }
        api->free_node(source);
        return;
    }
    cut->source = source;
    cut->source_samples = source_info->num_samples;
    cut->info = *source_info;
    cut->info.num_samples = timing.num_audio_samples;
    const FilterDependency dependency{source, kGeneral};
    Node* node = api->create_audio_filter("JobcutAudio", &cut->info, get_audio_frame, free_audio_cut, kParallel,
                                          &dependency, 1, cut, core);
    if (!node) {
        // The core frees nothing of ours when it refuses the node.
        free_audio_cut(cut, core, api);
        api->map_set_error(out, "JobcutAudio: VapourSynth refused the new audio clip");
        return;
    }
    api->map_consume_node(out, "clip", node, 0);
}

}  // namespace vs
}  // namespace jobcut
