#include <cstdio>
#include <string>

#include "tools/inspect/views.h"

namespace inspect {
namespace {

std::string quoted(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
            out += escape;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string field(const char* name, int64_t value) { return std::string("\"") + name + "\": " + std::to_string(value); }

// "name": [{item}, ...], one line per element.
template <typename Items, typename Show>
std::string list(const char* name, const Items& items, Show show) {
    std::string out = std::string("\"") + name + "\": [";
    for (size_t i = 0; i < items.size(); ++i) out += (i ? ",\n  {" : "\n  {") + show(items[i]) + "}";
    return out + (items.empty() ? "]" : "\n ]");
}

std::string warnings(const FilterRun& result) {
    return list("warnings", result.warnings, [](const Warning& warning) {
        return "\"kind\": " + quoted(warning.kind) + ", \"line\": " +
               (warning.line > 0 ? std::to_string(warning.line) : "null") + ", \"text\": " + quoted(warning.text);
    });
}

}  // namespace

std::string json_view(const FilterRun& result) {
    if (!result.ok) return "{\"ok\": false, \"error\": " + quoted(result.error) + ", " + warnings(result) + "}\n";
    std::string out = "{\"ok\": true, " + field("num_frames", result.clip.num_frames) + ", " +
                      field("num_audio_samples", result.clip.num_audio_samples) + ",\n";
    out += " " + list("rows", result.rows, [](const jobcut::SubsetEntry& row) {
        return field("start", row.start) + ", " + field("length", row.length) + ", \"masked\": " +
               (row.masked ? "true" : "false") + ", " + field("frame_end", row.frame_end) + ", " +
               field("audio_start", row.audio_start) + ", " + field("audio_length", row.audio_length) + ", " +
               field("audio_end", row.audio_end);
    }) + ",\n";
    out += " " + list("frames", result.frames, [](const MappedFrame& frame) {
        return field("n", frame.n) + ", " + field("source", frame.source);
    }) + ",\n";
    out += " " + list("audio_requests", result.audio_requests, [](const SourceAudioRequest& request) {
        return field("offset_bytes", request.offset_bytes) + ", " + field("start", request.start) + ", " +
               field("count", request.count);
    }) + ",\n";
    out += " " + list("silence", result.silence, [](const Silence& silence) {
        return field("offset_bytes", silence.offset_bytes) + ", " + field("bytes", silence.bytes) + ", " +
               field("fill", silence.fill);
    }) + ",\n";
    out += " " + warnings(result) + "}\n";
    return out;
}

}  // namespace inspect
