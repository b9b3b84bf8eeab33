// jobcut-inspect: shows what Jobcut makes of a settings file, by building the
// filter the way a host does and asking the new clip.
#include <cstdio>
#include <fstream>

#include "tools/inspect/exports.h"
#include "tools/inspect/filter_run.h"
#include "tools/inspect/options.h"
#include "tools/inspect/views.h"

namespace {

constexpr int kDone = 0, kRefused = 1, kBadCommandLine = 2;

bool write_file(const std::string& path, const std::string& content) {
    std::ofstream file(path, std::ios::binary);
    file << content;
    file.close();
    return !file.fail();
}

}  // namespace

int main(int argc, char** argv) {
    inspect::Options options;
    inspect::FilterRun result;
    try {
        options = inspect::parse_options(argc, argv);
        if (options.help) {
            std::fputs(inspect::kUsage, stdout);
            return kDone;
        }
        if (options.version) {
            std::puts("jobcut-inspect " JOBCUT_VERSION);
            return kDone;
        }
        result = inspect::run_filter(options);
    } catch (const inspect::UsageError& error) {
        std::fprintf(stderr, "jobcut-inspect: %s\n%s", error.message.c_str(), inspect::kUsage);
        return kBadCommandLine;
    }

    if (!result.warnings_checked)
        std::fputs("jobcut-inspect: no warnings: reading the file again did not give what the filter read "
                   "(did it change meanwhile?)\n",
                   stderr);
    if (options.json) {
        std::fputs(inspect::json_view(result).c_str(), stdout);
    } else {
        std::fputs(inspect::table_view(options, result).c_str(), stdout);
        std::fflush(stdout);  // the warnings before the message in a terminal
        if (!result.ok) std::fprintf(stderr, "%s\n", result.error.c_str());
    }
    // The report shows a refused file too; the picture needs a clip.
    if (options.html_file && !write_file(*options.html_file, inspect::html_view(options, result))) {
        std::fprintf(stderr, "jobcut-inspect: --html: cannot write \"%s\"\n", options.html_file->c_str());
        return kBadCommandLine;
    }
    if (!result.ok) return kRefused;

    using Make = std::string (*)(const inspect::Options&, const inspect::FilterRun&);
    const struct {
        const char* option;
        const std::optional<std::string>& file;
        Make make;
    } outputs[] = {
        {"--svg", options.svg_file, inspect::svg_view},
        {"--avs", options.avs_file, inspect::avs_export},
        {"--ffmpeg", options.ffmpeg_file, [](auto&, auto& run) { return inspect::ffmpeg_export(run); }},
        {"--qpfile", options.qpfile_file, [](auto&, auto& run) { return inspect::qpfile_export(run); }},
        {"--chapters", options.chapters_file, [](auto&, auto& run) { return inspect::chapters_export(run); }},
    };
    for (const auto& output : outputs) {
        if (!output.file) continue;
        try {
            if (!write_file(*output.file, output.make(options, result))) {
                std::fprintf(stderr, "jobcut-inspect: %s: cannot write \"%s\"\n", output.option, output.file->c_str());
                return kBadCommandLine;
            }
        } catch (const inspect::UsageError& error) {
            std::fprintf(stderr, "jobcut-inspect: %s\n", error.message.c_str());
            return kBadCommandLine;
        }
    }
    return kDone;
}
