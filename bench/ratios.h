// Each figure as a ratio to its baseline from the same run, so that the
// numbers compare across machines as the raw times do not.
#ifndef JOBCUT_BENCH_RATIOS_H
#define JOBCUT_BENCH_RATIOS_H

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

struct Ratio {
    std::string label;
    std::string measured;  // benchmark names
    std::string baseline;
    std::string baseline_label;
};

// The console output, while it keeps the median CPU time of every benchmark.
class RatioReporter final : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override;
    void print_ratios(const std::vector<Ratio>& ratios) const;

private:
    std::map<std::string, double> median_ns;
};

#endif
