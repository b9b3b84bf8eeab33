#include <string>
#include <vector>

#include "tools/inspect/exports.h"
#include "tools/inspect/report_text.h"
#include "tools/inspect/views.h"

namespace inspect {
namespace {

// One page with everything inline, readable from phone width up: at narrow
// widths each range becomes a block of labelled cells and the picture scrolls.
const char kStyle[] =
    "* { box-sizing: border-box; }\n"
    "body { margin: 0; background: #f3f4f6; color: #1d2329; line-height: 1.45;\n"
    "  font: 16px/1.45 system-ui, -apple-system, \"Segoe UI\", Roboto, \"DejaVu Sans\", sans-serif; }\n"
    "main { max-width: 1240px; margin: 0 auto; padding: 24px 20px 40px; }\n"
    "h1 { font-size: 1.6rem; margin: 0 0 6px; overflow-wrap: anywhere; }\n"
    "h2 { font-size: 1.15rem; margin: 0 0 10px; }\n"
    "p { margin: 0 0 6px; }\n"
    "section { background: #fff; border: 1px solid #dde1e6; border-radius: 8px; padding: 16px 18px; margin-top: 16px; }\n"
    ".source { color: #4b5560; overflow-wrap: anywhere; }\n"
    ".summary { font-weight: 600; }\n"
    ".refusal { border-color: #d93025; background: #fdf0ef; }\n"
    ".message { font-family: ui-monospace, \"DejaVu Sans Mono\", monospace; font-weight: 700; overflow-wrap: anywhere; }\n"
    "ol.warnings { list-style: none; margin: 0; padding: 0; }\n"
    "li.warning { border-left: 4px solid #e8890c; background: #fff7e9; padding: 8px 12px; margin: 0 0 8px;\n"
    "  overflow-wrap: anywhere; }\n"
    ".where { font-weight: 700; margin-right: 4px; }\n"
    ".kind { font: 0.8em ui-monospace, \"DejaVu Sans Mono\", monospace; color: #7a5a1e; margin-left: 6px; }\n"
    "pre { background: #1d2329; color: #f3f4f6; padding: 12px 14px; border-radius: 6px; overflow-x: auto; margin: 0 0 8px;\n"
    "  font: 15px/1.5 ui-monospace, \"DejaVu Sans Mono\", monospace; }\n"
    ".note { color: #4b5560; font-size: 0.92em; }\n"
    "pre.fragment { max-height: 24em; overflow-y: auto; font-size: 13px; }\n"
    ".picture { overflow-x: auto; }\n"
    ".picture svg { display: block; width: 100%; height: auto; min-width: 800px; }\n"
    ".narrow { display: none; }\n"
    "table { border-collapse: collapse; width: 100%; font-variant-numeric: tabular-nums; }\n"
    "th, td { padding: 5px 10px; border-bottom: 1px solid #e6e9ed; text-align: right; white-space: nowrap; }\n"
    "th { background: #f7f8fa; }\n"
    "th:nth-child(2), td:nth-child(2) { text-align: left; }\n"
    "tbody tr:nth-child(even) { background: #f8f9fb; }\n"
    "td.masked { color: #b05e00; font-weight: 600; }\n"
    "tfoot td { font-weight: 700; text-align: left; border-bottom: 0; }\n"
    "@media (max-width: 640px) {\n"
    "  main { padding: 12px 10px 24px; }\n"
    "  section { padding: 12px; }\n"
    "  h1 { font-size: 1.3rem; }\n"
    "  thead { display: none; }\n"
    "  table, tbody, tfoot { display: block; }\n"
    "  tr { display: grid; grid-template-columns: 1fr 1fr; column-gap: 12px; padding: 6px 0;\n"
    "    border-bottom: 1px solid #e6e9ed; }\n"
    "  td { border: 0; padding: 1px 0; text-align: left; white-space: normal; }\n"
    "  td::before { content: attr(data-label) \" \"; color: #6b7580; font-size: 0.85em; }\n"
    "  tfoot td { grid-column: 1 / -1; }\n"
    "  .narrow { display: block; }\n"
    "  pre { font-size: 13px; white-space: pre-wrap; overflow-wrap: anywhere; }\n"
    "}\n";

// How each range cell is labelled when the columns give way to blocks.
const char* const kCellLabels[] = {"range", "", "source", "output", "duration", "samples"};

std::string element(const char* tag, const std::string& attributes, const std::string& content) {
    return std::string("<") + tag + (attributes.empty() ? "" : " " + attributes) + ">" + content + "</" + tag + ">";
}

// Lines of text as character data, their line breaks kept.
std::string markup_lines(const std::string& text) {
    std::string out;
    for (size_t at = 0;;) {
        const size_t feed = text.find('\n', at);
        out += markup_text(text.substr(at, feed - at));
        if (feed == std::string::npos) return out;
        out += '\n';
        at = feed + 1;
    }
}

std::string header(const Options& options, const FilterRun& result) {
    std::string summary;
    if (!result.ok) {
        summary = "Jobcut refuses this file.";
    } else {
        const size_t ranges = result.rows.size();
        summary = "Jobcut makes a clip of " + std::to_string(ranges) + (ranges == 1 ? " range: " : " ranges: ") +
                  totals_text(result) + ".";
    }
    return "<header>\n" + element("h1", "", markup_text(options.settings_file)) + "\n" +
           element("p", "class=\"source\"", "Source: " + markup_text(source_text(result))) + "\n" +
           element("p", "class=\"summary\"", markup_text(summary)) + "\n</header>\n";
}

std::string refusal(const FilterRun& result) {
    if (result.ok) return "";
    return "<section class=\"refusal\">\n" + element("h2", "", "Refused") + "\n" +
           element("p", "class=\"message\"", markup_text(result.error)) + "\n" +
           element("p", "", "The script stops with this message where it calls Jobcut on this file.") +
           "\n</section>\n";
}

std::string warnings(const FilterRun& result) {
    std::string out = "<section class=\"warnings\">\n" +
                      element("h2", "", "Warnings (" + std::to_string(result.warnings.size()) + ")") + "\n";
    if (result.warnings.empty()) {
        out += element("p", "", result.warnings_checked ? "None: the filter reads this file as it looks."
                                                        : "Not checked: the file changed while it was read.");
        return out + "\n</section>\n";
    }
    out += "<ol class=\"warnings\">\n";
    for (const Warning& warning : result.warnings)
        out += element("li", "class=\"warning\" data-kind=\"" + warning.kind + "\"",
                       element("span", "class=\"where\"", markup_text(warning_place(warning)) + ":") +
                           markup_text(warning.text) + element("code", "class=\"kind\"", warning.kind)) +
               "\n";
    return out + "</ol>\n</section>\n";
}

std::string script(const Options& options, const FilterRun& result) {
    const std::string avs_name = avs_string(options.settings_file);
    const std::string vs_name = python_string(options.settings_file);
    std::string out = "<section class=\"script\">\n" + element("h2", "", "In a script") + "\n" +
                      element("p", "class=\"note\"", "AviSynth:") + "\n" +
                      element("pre", "", "LoadPlugin(\"jobcut.dll\")\nJobcut(last, " + markup_text(avs_name) + ")") +
                      "\n" + element("p", "class=\"note\"", "VapourSynth:") + "\n" +
                      element("pre", "class=\"vapoursynth\"",
                              markup_lines("core.std.LoadPlugin(\"/path/to/libjobcut.so\")\nvideo = core.jobcut.Jobcut(video, " +
                                          vs_name + ")\naudio = core.jobcut.JobcutAudio(audio, " + vs_name +
                                          ", fpsnum=" + std::to_string(options.fps_numerator) +
                                          ", fpsden=" + std::to_string(options.fps_denominator) + ")")) +
                      "\n" +
                      element("p", "class=\"note\"",
                              "On Linux the AviSynth plug-in is libjobcut.so. A relative file name is taken from the "
                              "current folder of the process that runs the script.") +
                      "\n";
    if (result.ok) {
        std::string fragment;
        try {
            fragment = avs_export(options, result);
        } catch (const UsageError& error) {
            fragment = "# " + error.message + "\n";
        }
        if (!fragment.empty() && fragment.back() == '\n') fragment.pop_back();
        out += element("p", "class=\"note\"",
                       "Without the plug-in, AviSynth's own filters give the same clip from the source described "
                       "above (jobcut-inspect --avs FILE writes it):") +
               "\n" + element("pre", "class=\"fragment\"", markup_lines(fragment)) + "\n";
    }
    return out + "</section>\n";
}

std::string timeline(const Options& options, const FilterRun& result) {
    if (!result.ok) return "";
    std::string picture = svg_view(options, result);
    picture.erase(0, picture.find("<svg"));  // no XML declaration inside HTML
    return "<section class=\"timeline\">\n" + element("h2", "", "Timeline") + "\n" +
           element("div", "class=\"picture\"", picture) + "\n" +
           element("p", "class=\"note narrow\"", "The picture scrolls sideways.") + "\n</section>\n";
}

std::string range_table(const FilterRun& result) {
    if (!result.ok) return "";
    const std::vector<std::vector<std::string>> cells = range_cells(result);
    std::string head;
    for (const std::string& name : cells.front()) head += element("th", "scope=\"col\"", markup_text(name));
    std::string body;
    for (size_t r = 1; r < cells.size(); ++r) {
        std::string row;
        for (size_t c = 0; c < cells[r].size(); ++c) {
            std::string attributes = "data-label=\"" + std::string(kCellLabels[c]) + "\"";
            if (c == 1 && result.rows[r - 1].masked) attributes += " class=\"masked\"";
            row += element("td", attributes, markup_text(cells[r][c]));
        }
        body += element("tr", "", row) + "\n";
    }
    const std::string total =
        element("tr", "", element("td", "colspan=\"6\"", "total: " + markup_text(totals_text(result))));
    return "<section class=\"ranges\">\n" + element("h2", "", "Ranges") + "\n<table>\n" +
           element("thead", "", element("tr", "", head)) + "\n<tbody>\n" + body + "</tbody>\n" +
           element("tfoot", "", total) + "\n</table>\n</section>\n";
}

}  // namespace

std::string html_view(const Options& options, const FilterRun& result) {
    return "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
           "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n" +
           element("title", "", "Jobcut: " + markup_text(options.settings_file)) + "\n" + element("style", "", kStyle) +
           "\n</head>\n<body>\n<main>\n" + header(options, result) + refusal(result) + warnings(result) +
           script(options, result) + timeline(options, result) + range_table(result) + "</main>\n</body>\n</html>\n";
}

}  // namespace inspect
