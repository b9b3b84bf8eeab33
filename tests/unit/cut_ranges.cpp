#include "tests/unit/cut_ranges.h"

std::string cut_settings(const std::vector<CutRange>& ranges) {
    std::string text;
    for (const CutRange& r : ranges)
        text += std::string(r.masked ? "VirtualDub.subset.AddMaskedRange(" : "VirtualDub.subset.AddRange(") +
                std::to_string(r.start) + "," + std::to_string(r.length) + ");\r\n";
    return text;
}

ExpectedCut expect_cut(const std::vector<CutRange>& ranges, int samples_per_frame) {
    ExpectedCut e;
    for (const CutRange& r : ranges) {
        for (int i = 0; i < r.length; ++i) {
            e.frame.push_back(r.masked ? (e.frame.empty() ? r.start : e.frame.back()) : r.start + i);
            for (int s = 0; s < samples_per_frame; ++s)
                e.sample.push_back((int64_t(r.start) + i) * samples_per_frame + s);
        }
    }
    return e;
}
