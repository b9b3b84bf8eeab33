// A second reading of a settings file that keeps, line by line, what the
// filter's reader does there: where each line's one read ends, whether its
// keyword matched, where "(" and "," were looked for and found, the numbers as
// read, and whether the line stored a row or stopped the file. The warnings are
// worked out from it; it is checked against the filter's own result first.
#ifndef JOBCUT_TOOLS_INSPECT_SETTINGS_SCAN_H
#define JOBCUT_TOOLS_INSPECT_SETTINGS_SCAN_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "subset/subset_entry.h"
#include "subset/subset_reader.h"

namespace inspect {

// The keywords the reader matches, in the order it tries them.
using jobcut::kSubsetKeywords;
using jobcut::SubsetKeyword;

// The reader's steps over one line.
struct SubsetRead {
    int keyword = -1;          // index into kSubsetKeywords; -1: the line is passed over
    size_t keyword_at = 0;     // where the keyword, or the first non-blank byte, stands
    bool open_paren = false;   // "(" where the reader looks for it
    bool comma = false;        // "," where the reader looks for it
    int64_t start = 0;         // the numbers as read, 0 where no digit stood
    int64_t length = 0;
    bool too_large = false;    // a number beyond a signed 32-bit value; reading stopped there
    bool operator==(const SubsetRead& other) const;
};

// What the reader does with bytes[from, to): `bytes_read` is the count its read
// of the line returned, which decides which keywords are tried.
SubsetRead read_subset_line(const std::string& bytes, size_t from, size_t to, size_t bytes_read);

enum class LineFate { kPassedOver, kStored, kStopped };

struct ScannedLine {
    int number;         // 1-based
    size_t begin, end;  // the line's bytes, its line feed left out
    size_t window_end;  // end of the bytes the reader's read of the line returned
    SubsetRead read;
    LineFate fate;
    int row;  // the row it stored, or -1
};

struct SettingsScan {
    jobcut::ReadOutcome outcome = jobcut::kReadOk;
    int line_number = 0;  // the reader's line counter when it ended
    std::string bytes;
    std::vector<ScannedLine> lines;          // every line the reader started, in order
    std::vector<jobcut::SubsetEntry> rows;   // start, length and masked of each row stored
};

// Reads the file through the same file access the filter uses.
SettingsScan scan_settings_file(const std::string& file_name);

}  // namespace inspect

#endif
