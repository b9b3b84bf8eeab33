// The whole filter through its host interface: any settings bytes over any
// source, then any frame, parity and audio requests, each checked against the
// clip the rows define (expected_clip.h).
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/expected_clip.h"
#include "fuzz/filter_input.h"
#include "fuzz/require.h"
#include "host/avisynth/jobcut_filter.h"
#include "subset/subset_reader.h"
#include "tests/unit/test_files.h"
#include "host/avisynth/sample_type.h"
#include "tools/inprocess_host/inprocess_host.h"

namespace {

using expected::Wide;
using inprocess::SourceCall;

const TempFolder folder;
inprocess::Plugin plugin;

// Bytes on each side of the caller's audio buffer, and what every byte holds before a request.
constexpr int64_t kGuardBytes = 64;
constexpr unsigned char kUntouched = 0xEE;

struct Served {
    inprocess::SourceClip& source;
    jobcut::IClip& clip;
    const expected::Clip& model;
};

const SourceCall& only_call(const inprocess::SourceClip& source, SourceCall::Kind kind) {
    require(source.calls.size() == 1 && source.calls[0].kind == kind, "one request to the source, of the same kind");
    return source.calls[0];
}

void check_frame(Served& s, int32_t n) {
    const jobcut::PVideoFrame frame = s.clip.GetFrame(n, &plugin.env);
    const int64_t expected = s.model.source_frame(n);
    require(only_call(s.source, SourceCall::kFrame).start == expected, "the frame comes from its range's source frame");
    require(s.source.frame_number(frame) == expected, "the source's frame is handed back as it is");
}

void check_parity(Served& s, int32_t n) {
    const bool parity = s.clip.GetParity(n);
    const int64_t expected = s.model.source_frame(n);
    require(only_call(s.source, SourceCall::kParity).start == expected, "the parity is its source frame's");
    require(parity == (expected % 2 != 0), "the source's parity is handed back as it is");
}

// The source requests must tile the buffer in order: each one maps its first
// sample through the row that holds it, stays inside that row, and reaches the
// row's end or the request's end; one for no samples only stands for a row
// without audio on the way. What no row holds is silence.
void check_audio(Served& s, int64_t start, int64_t count) {
    const jobcut::VideoInfo& vi = s.model.info();
    const int64_t bps = jobcut::bytes_per_audio_sample(vi.sample_type, vi.nchannels);
    const int64_t bytes = count * bps;
    std::vector<unsigned char> memory(static_cast<size_t>(kGuardBytes + bytes + kGuardBytes), kUntouched);
    unsigned char* buffer = memory.data() + kGuardBytes;
    s.source.expect_audio_buffer(buffer);
    s.clip.GetAudio(buffer, start, count, &plugin.env);

    require(s.source.calls.size() <= s.model.rows().size() + 1, "at most one source request per row");
    int64_t done = 0;
    for (const SourceCall& call : s.source.calls) {
        require(call.kind == SourceCall::kAudio, "audio is served from the source's audio");
        require(call.at == done * bps, "each piece begins where the one before ended");
        require(call.count >= 0 && call.count <= count - done, "each piece fits the rest of the buffer");
        const Wide first = Wide{start} + done;
        if (call.count == 0) {
            // Only an empty request, or a row without audio that the request crosses, is asked for nothing.
            require(count == 0 || (done < count && s.model.silent_row_at(first, call.start)),
                    "a source request for no samples is for an empty request or a row without audio");
            continue;
        }
        const int row = s.model.audio_row(first);
        require(row >= 0, "a piece lies within the rows");
        const Wide end = first + call.count;
        require(call.start == s.model.source_sample(row, first), "a piece begins at its row's source position");
        require(end <= s.model.rows()[row].audio_end, "a piece stays within one row");
        require(end == s.model.rows()[row].audio_end || done + call.count == count,
                "a piece ends at its row's end or the request's");
        for (int64_t b = 0; b < call.count * bps; ++b)
            require(buffer[call.at + b] == inprocess::source_sample_byte(call.start + b / bps, b % bps),
                    "the source wrote the piece where it was asked to");
        done += call.count;
    }
    require(done == count || s.model.audio_row(Wide{start} + done) < 0, "only samples past the last row are left");
    const unsigned char silence = vi.sample_type == jobcut::kSampleInt8 ? 0x80 : 0x00;
    for (int64_t b = done * bps; b < bytes; ++b) require(buffer[b] == silence, "samples past the last row are silence");
    for (int64_t b = 0; b < kGuardBytes; ++b)
        require(memory[b] == kUntouched && buffer[bytes + b] == kUntouched, "nothing is written outside the buffer");
}

void check_table(const jobcut::JobcutFilter& filter, const expected::Clip& model) {
    require(filter.row_count() == static_cast<int>(model.rows().size()), "one table row per file row");
    for (int i = 0; i < filter.row_count(); ++i) {
        const jobcut::SubsetEntry& row = filter.rows()[i];
        const expected::Row& want = model.rows()[i];
        require(row.start == want.start && row.length == want.length && (row.masked != 0) == want.masked,
                "the table holds the file's rows");
        require(row.frame_end == want.frame_end && row.audio_start == want.audio_start &&
                    row.audio_length == want.audio_length && row.audio_end == want.audio_end,
                "the table's positions follow from the rows");
    }
}

bool same_info(const jobcut::VideoInfo& a, const jobcut::VideoInfo& b) {
    return a.width == b.width && a.height == b.height && a.fps_numerator == b.fps_numerator &&
           a.fps_denominator == b.fps_denominator && a.num_frames == b.num_frames && a.pixel_type == b.pixel_type &&
           a.audio_samples_per_second == b.audio_samples_per_second && a.sample_type == b.sample_type &&
           a.num_audio_samples == b.num_audio_samples && a.nchannels == b.nchannels && a.image_type == b.image_type;
}

void serve(Served& s, const std::vector<fuzz_input::Request>& requests) {
    for (const fuzz_input::Request& request : requests) {
        s.source.calls.clear();
        switch (request.kind) {
            case fuzz_input::Request::kFrame: check_frame(s, request.n); break;
            case fuzz_input::Request::kParity: check_parity(s, request.n); break;
            case fuzz_input::Request::kAudio: check_audio(s, request.start, request.count); break;
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const fuzz_input::FilterInput input = fuzz_input::decode(data, size);
    const std::string path = folder.write("settings.vcf", input.settings);

    // The rows as the file gives them, read apart from the filter.
    unsigned char read_buffer[jobcut::kReadBufferBytes];
    jobcut::SubsetEntry file_rows[jobcut::kMaxRows];
    int row_count = 0;
    int line = 0;
    const jobcut::ReadOutcome outcome = jobcut::read_subset_file(path.c_str(), read_buffer, file_rows, &row_count, &line);
    expected::Clip model;
    const bool acceptable = outcome == jobcut::kReadOk && model.build(input.source, file_rows, row_count);

    auto* source = new inprocess::SourceClip(input.source);
    const jobcut::PClip held(source);
    try {
        const jobcut::PClip clip = plugin.create(source, path.c_str());
        require(acceptable, "the filter accepts a file only when its clip fits the host's numbers");
        check_table(*static_cast<const jobcut::JobcutFilter*>(clip.get()), model);
        require(same_info(clip->GetVideoInfo(), model.info()), "the clip's properties follow from the rows");
        Served served{*source, *clip.get(), model};
        serve(served, input.requests);
    } catch (const inprocess::ScriptError& error) {
        require(!acceptable, "the filter refuses only a file it cannot take");
        require(error.message.rfind("Jobcut: ", 0) == 0, "every message begins with the filter's name");
    }
    return 0;
}
