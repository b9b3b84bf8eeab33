// Runs every benchmark, then prints each figure as a ratio to its baseline.
#include "bench/shared.h"

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    std::vector<Ratio> ratios;
    add_serving_benchmarks(ratios);
    add_construction_benchmarks(ratios);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.print_ratios(ratios);
    benchmark::Shutdown();
    return 0;
}
