// Reads the frame-subset lines of a VirtualDub processing-settings file.
#ifndef JOBCUT_SUBSET_SUBSET_READER_H
#define JOBCUT_SUBSET_SUBSET_READER_H

#include <stdint.h>

#include "platform/file_access.h"
#include "subset/subset_entry.h"

namespace jobcut {

enum ReadOutcome : int {
    kReadOk = 0,
    kReadCannotOpen = -1,
    kReadFailed = -2,
    kReadFormatError = -3,  // a number too large for a signed 32-bit value
    kReadZeroLength = -5,
    kReadTooManyRows = -6,
    kReadTooBig = -10,
};

constexpr int64_t kMaxFileBytes = 131072;
constexpr unsigned kLineWindow = 256;        // bytes examined per line
constexpr unsigned kReadBufferBytes = 1024;  // what the caller lends as `buffer`

struct SubsetKeyword {
    const char* text;
    unsigned length;
    bool masked;
};

// The keywords of subset lines, searched in this order; the first that matches is taken.
inline constexpr SubsetKeyword kSubsetKeywords[] = {
    {"VirtualDub.subset.AddRange", 26, false},
    {"VirtualDub.subset.AddFrame", 26, false},
    {"VirtualDub.subset.AddMaskedRange", 32, true},
};

// A keyword is tried only when the line's read returned at least this many
// bytes beyond its length: room for the shortest "(a,b)".
constexpr unsigned kKeywordSlack = 5;

// Fills start, length and masked of table[0..*row_count), one row per subset
// line; the other fields are left as they were.
// *line_number is the 1-based number of the line the reading stopped on.
// The file is closed on every way out. `encoding`: what the name's bytes mean.
ReadOutcome read_subset_file(const char* file_name, unsigned char* buffer, SubsetEntry* table, int* row_count,
                             int* line_number, NameEncoding encoding = NameEncoding::kSystemCodePage);

}  // namespace jobcut

#endif
