#include "bench/ratios.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numeric>
#include <random>
#include <utility>

benchmark::internal::Benchmark* add_benchmark(const std::string& name, std::function<void(benchmark::State&)> body) {
    return benchmark::RegisterBenchmark(name.c_str(), std::move(body))->Repetitions(5)->ReportAggregatesOnly(true);
}

void RatioReporter::ReportRuns(const std::vector<Run>& runs) {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
        if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median")
            median_ns[run.run_name.function_name] =
                (run.run_name.time_type == "manual_time" ? run.GetAdjustedRealTime() : run.GetAdjustedCPUTime()) *
                benchmark::GetTimeUnitMultiplier(benchmark::kNanosecond) / benchmark::GetTimeUnitMultiplier(run.time_unit);
    }
}

double RatioReporter::median(const std::string& name) const {
    const auto found = median_ns.find(name);
    return found == median_ns.end() ? std::nan("") : found->second;
}

void RatioReporter::print_ratios(const std::vector<Ratio>& ratios) const {
    std::printf("\nMedian time per call, as a ratio to its baseline in this run:\n");
    for (const Ratio& ratio : ratios) {
        const double measured = median(ratio.measured), baseline = median(ratio.baseline);
        if (std::isnan(measured) || std::isnan(baseline)) continue;  // left out by a filter
        std::printf("  %-44s %6.2fx %s  (%.1f ns against %.1f ns)\n", ratio.label.c_str(), measured / baseline,
                    ratio.baseline_label.c_str(), measured, baseline);
    }
}

std::string name_of(const std::string& measure, const char* source, int ranges, const char* variant) {
    return measure + "/" + source + "/" + std::to_string(ranges) + "/" + variant;
}

std::vector<int> frame_order(int frames, bool shuffled) {
    std::vector<int> order(static_cast<size_t>(frames));
    std::iota(order.begin(), order.end(), 0);
    if (shuffled) std::shuffle(order.begin(), order.end(), std::mt19937(12345));
    return order;
}
