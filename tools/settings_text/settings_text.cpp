#include "tools/settings_text/settings_text.h"

namespace settings_text {

std::string subset_lines(int ranges, int step, int length, std::size_t line_bytes) {
    const std::string comment = " //";
    std::string text;
    for (int k = 0; k < ranges; ++k) {
        std::string line = "VirtualDub.subset.AddRange(" + std::to_string(k * step) + "," + std::to_string(length) + ");";
        if (line.size() + comment.size() + 1 <= line_bytes) {
            line += comment;
            line.append(line_bytes - 1 - line.size(), '-');
        }
        text += line + "\n";
    }
    return text;
}

std::string largest_accepted() { return subset_lines(256, 100, 100, 512); }

}  // namespace settings_text
