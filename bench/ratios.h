// Each figure as a ratio to its baseline from the same run, so that the
// numbers compare across machines as the raw times do not.
#ifndef JOBCUT_BENCH_RATIOS_H
#define JOBCUT_BENCH_RATIOS_H

#include <benchmark/benchmark.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

struct Ratio {
    std::string label;
    std::string measured;  // benchmark names
    std::string baseline;
    std::string baseline_label;
};

// A host benchmark's name: "measure/source/ranges/variant".
std::string name_of(const std::string& measure, const char* source, int ranges, const char* variant);

// Frame numbers 0 to frames - 1 in order, or shuffled the same way every run.
std::vector<int> frame_order(int frames, bool shuffled);

// Registers a benchmark repeated enough for its median to hold on a busy machine.
benchmark::internal::Benchmark* add_benchmark(const std::string& name, std::function<void(benchmark::State&)> body);

// The console output, while it keeps the median time of every benchmark: its
// CPU time, or for one timed by hand (UseManualTime) the time it measured.
class RatioReporter final : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override;
    void print_ratios(const std::vector<Ratio>& ratios) const;
    // A benchmark's median in nanoseconds; NaN when it did not run.
    double median(const std::string& name) const;

private:
    std::map<std::string, double> median_ns;
};

#endif
