#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "tools/inspect/clip_rows.h"
#include "tools/inspect/report_text.h"
#include "tools/inspect/ticks.h"
#include "tools/inspect/timecode.h"
#include "tools/inspect/views.h"

namespace inspect {
namespace {

constexpr double kWidth = 1200, kLeft = 80, kRight = 30, kPlot = kWidth - kLeft - kRight;
constexpr double kSourceTop = 86, kOutputTop = 186, kBar = 30, kHeight = 250;
constexpr unsigned kMostTicks = 8;

// Neighbouring ranges alternate between two shades of their kind's colour, so
// that each one stands out from the next even where they touch.
const char* const kKept[2] = {"#2e9d5b", "#6cc68f"};
const char* const kMasked[2] = {"#e8890c", "#f5b84f"};
const char* const kDropped = "#cfd3d8";

const char* colour(const jobcut::SubsetEntry& row, size_t index) {
    const char* const* shades = row.masked ? kMasked : kKept;
    return index % 2 == 0 ? shades[0] : shades[1];
}

std::string number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", value);
    return text;
}

// One timeline's scale: frames 0..`frames` across the plot's width.
struct Axis {
    double frames;
    double x(double frame) const { return kLeft + frame / frames * kPlot; }
};

struct Span {
    int64_t first, end;  // frames, end excluded
};

std::string rect(double x, double y, double width, double height, const std::string& attributes,
                 const std::string& title) {
    return "<rect x=\"" + number(x) + "\" y=\"" + number(y) + "\" width=\"" + number(std::max(width, 1.0)) +
           "\" height=\"" + number(height) + "\" " + attributes + "><title>" + markup_text(title) + "</title></rect>\n";
}

std::string line(double x1, double y1, double x2, double y2, const char* css_class) {
    return "<line class=\"" + std::string(css_class) + "\" x1=\"" + number(x1) + "\" y1=\"" + number(y1) +
           "\" x2=\"" + number(x2) + "\" y2=\"" + number(y2) + "\"/>\n";
}

std::string text(double x, double y, const std::string& content, const char* css_class) {
    return "<text class=\"" + std::string(css_class) + "\" x=\"" + number(x) + "\" y=\"" + number(y) + "\">" +
           markup_text(content) + "</text>\n";
}

std::string frames_text(int64_t first, int64_t end, unsigned numerator, unsigned denominator) {
    return "frames " + span_text(first, end) + ", " +
           timecode(static_cast<uint32_t>(end - first), numerator, denominator);
}

// The source frames below `frames` that no range takes.
std::vector<Span> dropped_spans(const std::vector<jobcut::SubsetEntry>& rows, int64_t frames) {
    std::vector<Span> taken;
    for (const jobcut::SubsetEntry& row : rows) taken.push_back({row.start, source_end(row)});
    std::sort(taken.begin(), taken.end(), [](const Span& a, const Span& b) { return a.first < b.first; });
    std::vector<Span> dropped;
    int64_t at = 0;
    for (const Span& span : taken) {
        if (span.first > at && at < frames) dropped.push_back({at, std::min(span.first, frames)});
        at = std::max(at, span.end);
    }
    if (at < frames) dropped.push_back({at, frames});
    return dropped;
}

std::string axis_ticks(const Axis& axis, double mark_top, double mark_bottom, double label_y, unsigned numerator,
                       unsigned denominator) {
    const Milliseconds end = frames_to_milliseconds(static_cast<uint32_t>(axis.frames), numerator, denominator);
    const Ticks marks = ticks(end, kMostTicks);
    std::string out;
    for (const Milliseconds at : marks.at) {
        const double x = axis.x(static_cast<double>(at) * numerator / denominator / 1000);
        out += line(x, mark_top, x, mark_bottom, "tick");
        out += text(x, label_y, clock_text(at, marks.with_milliseconds), "tick-label");
    }
    return out;
}

std::string header(const Options& options, const FilterRun& result) {
    const jobcut::VideoInfo& clip = result.clip;
    const std::string title = options.settings_file + ": " + std::to_string(result.rows.size()) +
                              (result.rows.size() == 1 ? " range, " : " ranges, ") +
                              std::to_string(clip.num_frames) + " frames (" +
                              timecode(static_cast<uint32_t>(clip.num_frames), clip.fps_numerator,
                                       clip.fps_denominator) +
                              ") from " + std::to_string(result.source.num_frames) + " source frames";
    std::string out = text(kLeft, 26, title, "title");
    const char* const legend[3][2] = {{kKept[0], "kept"}, {kMasked[0], "masked"}, {kDropped, "dropped"}};
    for (int i = 0; i < 3; ++i) {
        const double x = kLeft + i * 90;
        out += "<rect x=\"" + number(x) + "\" y=\"38\" width=\"14\" height=\"14\" fill=\"" + legend[i][0] + "\"/>\n";
        out += text(x + 20, 50, legend[i][1], "legend");
    }
    return out;
}

// A short masked range is a sliver at any scale: a triangle pointing at it shows where it is.
std::string masked_marker(double middle, double base_y, double tip_y) {
    return "<polygon class=\"masked-marker\" fill=\"" + std::string(kMasked[0]) + "\" points=\"" +
           number(middle - 5) + "," + number(base_y) + " " + number(middle + 5) + "," + number(base_y) + " " +
           number(middle) + "," + number(tip_y) + "\"/>\n";
}

std::string source_timeline(const FilterRun& result, const Axis& axis) {
    const unsigned numerator = result.clip.fps_numerator, denominator = result.clip.fps_denominator;
    std::string out = text(kLeft - 10, kSourceTop + 20, "source", "axis-name");
    for (const Span& span : dropped_spans(result.rows, result.source.num_frames))
        out += rect(axis.x(span.first), kSourceTop, axis.x(span.end) - axis.x(span.first), kBar,
                    "class=\"dropped\" fill=\"" + std::string(kDropped) + "\"",
                    "dropped: " + frames_text(span.first, span.end, numerator, denominator));
    for (size_t i = 0; i < result.rows.size(); ++i) {
        const jobcut::SubsetEntry& row = result.rows[i];
        const int64_t end = source_end(row);
        out += rect(axis.x(row.start), kSourceTop, axis.x(end) - axis.x(row.start), kBar,
                    "class=\"source-span " + std::string(row.masked ? "masked" : "kept") + "\" fill=\"" +
                        colour(row, i) + "\"",
                    std::to_string(i + 1) + " " + kind_name(row) + ": source " +
                        frames_text(row.start, end, numerator, denominator));
        if (row.masked)
            out += masked_marker((axis.x(row.start) + axis.x(end)) / 2, kSourceTop + kBar + 10, kSourceTop + kBar + 1);
    }
    return out + axis_ticks(axis, kSourceTop - 6, kSourceTop, kSourceTop - 10, numerator, denominator);
}

// Bands from each range's source span down to its place in the output.
std::string links(const FilterRun& result, const Axis& source, const Axis& output) {
    std::string out;
    for (size_t i = 0; i < result.rows.size(); ++i) {
        const jobcut::SubsetEntry& row = result.rows[i];
        const double top = kSourceTop + kBar, bottom = kOutputTop;
        out += "<polygon class=\"link\" fill=\"" + std::string(colour(row, i)) + "\" points=\"" +
               number(source.x(row.start)) + "," + number(top) + " " + number(source.x(source_end(row))) + "," +
               number(top) + " " + number(output.x(row.frame_end)) + "," + number(bottom) + " " +
               number(output.x(first_output_frame(result.rows, i))) + "," + number(bottom) + "\"/>\n";
    }
    return out;
}

std::string output_timeline(const FilterRun& result, const Axis& axis) {
    const unsigned numerator = result.clip.fps_numerator, denominator = result.clip.fps_denominator;
    std::string out = text(kLeft - 10, kOutputTop + 20, "output", "axis-name");
    std::string marks = line(axis.x(0), kOutputTop - 5, axis.x(0), kOutputTop + kBar + 5, "boundary");
    for (size_t i = 0; i < result.rows.size(); ++i) {
        const jobcut::SubsetEntry& row = result.rows[i];
        const int first_output = first_output_frame(result.rows, i);
        const double left = axis.x(first_output), width = axis.x(row.frame_end) - left;
        out += rect(left, kOutputTop, width, kBar,
                    "class=\"range " + std::string(row.masked ? "masked" : "kept") + "\" fill=\"" + colour(row, i) +
                        "\"",
                    std::to_string(i + 1) + " " + kind_name(row) + ": output " +
                        frames_text(first_output, row.frame_end, numerator, denominator) + ", source frames " +
                        span_text(row.start, source_end(row)));
        if (row.masked) out += masked_marker(left + width / 2, kOutputTop - 15, kOutputTop - 6);
        const std::string label = std::to_string(i + 1);
        if (width >= 7.0 * label.size() + 6) out += text(left + width / 2, kOutputTop + 19, label, "range-number");
        marks += line(axis.x(row.frame_end), kOutputTop - 5, axis.x(row.frame_end), kOutputTop + kBar + 5, "boundary");
    }
    return out + marks +
           axis_ticks(axis, kOutputTop + kBar + 5, kOutputTop + kBar + 11, kOutputTop + kBar + 24, numerator,
                      denominator);
}

}  // namespace

std::string svg_view(const Options& options, const FilterRun& result) {
    int64_t source_frames = result.source.num_frames;
    for (const jobcut::SubsetEntry& row : result.rows)
        source_frames = std::max(source_frames, source_end(row));
    const Axis source{static_cast<double>(std::max<int64_t>(source_frames, 1))};
    const Axis output{static_cast<double>(std::max(result.clip.num_frames, 1))};
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + number(kWidth) + "\" height=\"" + number(kHeight) +
           "\" viewBox=\"0 0 " + number(kWidth) + " " + number(kHeight) + "\">\n"
           "<style>\n"
           "text { font-family: sans-serif; font-size: 11px; fill: #333; }\n"
           ".title { font-size: 15px; font-weight: bold; }\n"
           ".legend { font-size: 12px; }\n"
           ".axis-name { font-size: 13px; text-anchor: end; }\n"
           ".tick-label { text-anchor: middle; }\n"
           ".range-number { fill: #fff; font-size: 10px; text-anchor: middle; }\n"
           ".tick { stroke: #555; }\n"
           ".boundary { stroke: #1b1b1b; stroke-width: 1; }\n"
           ".link { opacity: 0.25; }\n"
           "</style>\n"
           "<rect width=\"100%\" height=\"100%\" fill=\"#fff\"/>\n" +
           header(options, result) + source_timeline(result, source) + links(result, source, output) +
           output_timeline(result, output) + "</svg>\n";
}

}  // namespace inspect
