#include "tools/inspect/report_text.h"

#include "tools/inspect/clip_rows.h"
#include "tools/inspect/timecode.h"

namespace inspect {

std::string source_text(const FilterRun& result) {
    const jobcut::VideoInfo& source = result.source;
    return std::to_string(source.num_frames) + " frames at " +
           std::to_string(source.fps_numerator) + "/" + std::to_string(source.fps_denominator) + " fps, audio " +
           std::to_string(source.audio_samples_per_second) + " Hz, " + sample_type_name(source.sample_type) + ", " +
           std::to_string(source.nchannels) + " channels, " + std::to_string(source.num_audio_samples) + " samples";
}

std::vector<std::vector<std::string>> range_cells(const FilterRun& result) {
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
    return lines;
}

std::string totals_text(const FilterRun& result) {
    const jobcut::VideoInfo& clip = result.clip;
    return std::to_string(clip.num_frames) + " frames, " +
           timecode(static_cast<uint32_t>(clip.num_frames), clip.fps_numerator, clip.fps_denominator) + ", " +
           std::to_string(clip.num_audio_samples) + " audio samples";
}

std::string warning_place(const Warning& warning) {
    return warning.line > 0 ? "line " + std::to_string(warning.line) : "file";
}

std::string markup_text(const std::string& text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            default: out += (static_cast<unsigned char>(c) < 0x20 && c != '\t') ? '?' : c;
        }
    }
    return out;
}

}  // namespace inspect
