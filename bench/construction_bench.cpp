// Building the filter from the largest settings file the reader accepts,
// against reading that file whole in one call.
#include <string>

#include "bench/shared.h"
#include "platform/file_access.h"
#include "subset/subset_reader.h"
#include "tools/settings_text/settings_text.h"

void add_construction_benchmarks(std::vector<Ratio>& ratios) {
    const std::string path = settings_folder().write("largest.vcf", settings_text::largest_accepted());

    add_benchmark("construction/jobcut", [path](benchmark::State& state) {
        inprocess::SourceClip* made = quiet_source(bench_video_info(256 * 100));
        const jobcut::PClip source(made);
        for (auto _ : state) benchmark::DoNotOptimize(plugin().create(made, path.c_str()).get());
    });
    // The same platform calls the reader makes, once each.
    add_benchmark("construction/read whole", [path](benchmark::State& state) {
        std::string bytes(jobcut::kMaxFileBytes, '\0');
        for (auto _ : state) {
            const int file = jobcut::file_open_read(path.c_str());
            benchmark::DoNotOptimize(jobcut::file_read(file, bytes.data(), static_cast<unsigned>(bytes.size())));
            jobcut::file_close(file);
        }
    });
    ratios.push_back({"construction, largest accepted file (128 KB)", "construction/jobcut", "construction/read whole",
                      "reading it whole"});
}
