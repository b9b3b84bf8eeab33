// Settings files of a chosen shape, for the benchmarks and the fuzz seeds.
#ifndef JOBCUT_TOOLS_SETTINGS_TEXT_H
#define JOBCUT_TOOLS_SETTINGS_TEXT_H

#include <cstddef>
#include <string>

namespace settings_text {

// `ranges` lines "VirtualDub.subset.AddRange(k * step, length);" for k = 0, 1, ...
// Where there is room, a line is padded to `line_bytes` (its line feed
// included) with a trailing comment, which the reader passes over.
std::string subset_lines(int ranges, int step, int length, std::size_t line_bytes = 0);

// The largest file the reader accepts: 256 subset lines of 512 bytes each,
// 131072 bytes in all, every line longer than the reader's 256-byte window.
std::string largest_accepted();

}  // namespace settings_text

#endif
