#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "tools/inspect/clip_rows.h"
#include "tools/inspect/timecode.h"
#include "tools/inspect/views.h"

namespace inspect {
namespace {

// Columns padded to their widest cell: the kind on the left, numbers on the right.
std::string columns(const std::vector<std::vector<std::string>>& lines) {
    std::vector<size_t> widths(lines.front().size(), 0);
    for (const auto& cells : lines)
        for (size_t c = 0; c < cells.size(); ++c) widths[c] = std::max(widths[c], cells[c].size());
    std::string text;
    for (const auto& cells : lines) {
        for (size_t c = 0; c < cells.size(); ++c) {
            const std::string pad(widths[c] - cells[c].size(), ' ');
            text += c == 1 ? cells[c] + pad : pad + cells[c];
            text += c + 1 < cells.size() ? "  " : "\n";
        }
    }
    return text;
}

std::string source_line(const Options& options, const FilterRun& result) {
    const jobcut::VideoInfo& source = result.source;
    return options.settings_file + " over " + std::to_string(source.num_frames) + " frames at " +
           std::to_string(source.fps_numerator) + "/" + std::to_string(source.fps_denominator) + " fps, audio " +
           std::to_string(source.audio_samples_per_second) + " Hz, " + sample_type_name(source.sample_type) + ", " +
           std::to_string(source.nchannels) + " channels, " + std::to_string(source.num_audio_samples) +
           " samples\n";
}

std::string range_lines(const FilterRun& result) {
    const unsigned numerator = result.clip.fps_numerator, denominator = result.clip.fps_denominator;
    std::vector<std::vector<std::string>> lines = {
        {"#", "kind", "source frames", "output frames", "duration", "audio samples"}};
    for (size_t i = 0; i < result.rows.size(); ++i) {
        const jobcut::SubsetEntry& row = result.rows[i];
        lines.push_back({std::to_string(i + 1), kind_name(row), span_text(row.start, source_end(row)),
                         span_text(first_output_frame(result.rows, i), row.frame_end),
                         timecode(static_cast<uint32_t>(row.length), numerator, denominator),
                         std::to_string(row.audio_length)});
    }
    return columns(lines);
}

std::string totals_line(const FilterRun& result) {
    const jobcut::VideoInfo& clip = result.clip;
    return "total: " + std::to_string(clip.num_frames) + " frames, " +
           timecode(static_cast<uint32_t>(clip.num_frames), clip.fps_numerator, clip.fps_denominator) + ", " +
           std::to_string(clip.num_audio_samples) + " audio samples\n";
}

std::string frame_lines(const FilterRun& result) {
    std::string text = "frames (output -> source):\n";
    for (const MappedFrame& frame : result.frames)
        text += "  " + std::to_string(frame.n) + " -> " + std::to_string(frame.source) + "\n";
    return text;
}

std::string audio_lines(const AudioSpan& span, const FilterRun& result) {
    std::string text = "audio request " + std::to_string(span.start) + ":" + std::to_string(span.count) + "\n";
    if (result.audio_requests.empty()) text += "  no source requests\n";
    for (const SourceAudioRequest& request : result.audio_requests)
        text += "  source samples " + std::to_string(request.start) + " count " + std::to_string(request.count) +
                " into byte " + std::to_string(request.offset_bytes) + "\n";
    for (const Silence& silence : result.silence) {
        char fill[8];
        std::snprintf(fill, sizeof fill, "0x%02X", static_cast<unsigned>(silence.fill));
        text += "  silence: " + std::to_string(silence.bytes) + " bytes of " + fill + " from byte " +
                std::to_string(silence.offset_bytes) + "\n";
    }
    return text;
}

}  // namespace

std::string table_view(const Options& options, const FilterRun& result) {
    std::string text = source_line(options, result) + range_lines(result) + totals_line(result);
    if (options.map_frames) text += frame_lines(result);
    if (options.audio_request) text += audio_lines(*options.audio_request, result);
    return text;
}

}  // namespace inspect
