#include "bench/ratios.h"

#include <cstdio>

void RatioReporter::ReportRuns(const std::vector<Run>& runs) {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
        if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median")
            median_ns[run.run_name.function_name] =
                run.GetAdjustedCPUTime() * benchmark::GetTimeUnitMultiplier(benchmark::kNanosecond) /
                benchmark::GetTimeUnitMultiplier(run.time_unit);
    }
}

void RatioReporter::print_ratios(const std::vector<Ratio>& ratios) const {
    std::printf("\nMedian CPU time per call, as a ratio to its baseline in this run:\n");
    for (const Ratio& ratio : ratios) {
        const auto measured = median_ns.find(ratio.measured);
        const auto baseline = median_ns.find(ratio.baseline);
        if (measured == median_ns.end() || baseline == median_ns.end()) continue;  // left out by a filter
        std::printf("  %-44s %6.2fx %s  (%.1f ns against %.1f ns)\n", ratio.label.c_str(),
                    measured->second / baseline->second, ratio.baseline_label.c_str(), measured->second,
                    baseline->second);
    }
}
