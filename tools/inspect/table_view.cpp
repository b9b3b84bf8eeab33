#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "tools/inspect/report_text.h"
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

// After the totals, or alone when the filter refused the file.
std::string warning_lines(const FilterRun& result) {
    if (result.warnings.empty()) return "";
    std::string text = "warnings:\n";
    for (const Warning& warning : result.warnings) text += "  " + warning_place(warning) + ": " + warning.text + "\n";
    return text;
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
    if (!result.ok) return warning_lines(result);
    std::string text = options.settings_file + " over " + source_text(result) + "\n" + columns(range_cells(result)) + "total: " +
                       totals_text(result) + "\n" + warning_lines(result);
    if (options.map_frames) text += frame_lines(result);
    if (options.audio_request) text += audio_lines(*options.audio_request, result);
    return text;
}

}  // namespace inspect
