// The settings-file reader. Some of its rules are kept on purpose, for the
// settings files and scripts that already rely on them, though a fresh design
// would not choose them:
//   - the line window: only the first 256 bytes of a line are looked at;
//   - the keyword thresholds: a keyword is tried only when the line's read
//     returned at least its length plus 5 bytes, so whether a short last line
//     counts depends on what follows it in the file;
//   - a keyword matches as a prefix: "VirtualDub.subset.AddRangeX(1,2)" is read;
//   - a missing "(" or "," is tolerated, numbers are read from where the scan
//     stopped, and anything that is not a digit reads as 0 (so "-5" and
//     "numFrames" are 0, and a count of 0 is refused as "2nd value read error");
//   - the rest of a line after the second number is never checked;
//   - the message texts, "Jobcut too many(max 256)" and "2nd value read error"
//     included, which scripts and users may match on.
// What is not kept but mended: numbers too large for a frame number, and
// ranges whose last frame is past the largest one, are refused ("format
// error") rather than wrapped.
#include "subset/subset_reader.h"

#include "platform/file_access.h"

namespace jobcut {
namespace {

// The bytes one line's read returned; no scan ever passes `end`.
struct Cursor {
    const unsigned char* at;
    const unsigned char* end;
};

bool is_blank(unsigned char byte) { return byte == ' ' || byte == '\t'; }

void skip_blanks(Cursor& cursor) {
    while (cursor.at < cursor.end && is_blank(*cursor.at)) ++cursor.at;
}

// Skips blanks; on `expected` consumes it and the blanks after it.
// Otherwise leaves the cursor on the first non-blank byte and reports false.
bool expect_char(Cursor& cursor, unsigned char expected) {
    skip_blanks(cursor);
    if (cursor.at == cursor.end || *cursor.at != expected) return false;
    ++cursor.at;
    skip_blanks(cursor);
    return true;
}

// Consumes decimal digits into *value (0 when there are none; no sign is
// taken). Returns false as soon as the digits read exceed a signed 32-bit
// value, rather than letting the number wrap into a wrong frame.
bool scan_decimal(Cursor& cursor, int32_t* value) {
    int64_t accumulated = 0;
    while (cursor.at < cursor.end && *cursor.at >= '0' && *cursor.at <= '9') {
        accumulated = accumulated * 10 + (*cursor.at - '0');
        if (accumulated > INT32_MAX) return false;
        ++cursor.at;
    }
    *value = static_cast<int32_t>(accumulated);
    return true;
}

const SubsetKeyword* match_keyword(const Cursor& cursor, unsigned bytes_read) {
    for (const SubsetKeyword& keyword : kSubsetKeywords) {
        if (bytes_read < keyword.length + kKeywordSlack) continue;
        if (static_cast<unsigned>(cursor.end - cursor.at) < keyword.length) continue;
        unsigned i = 0;
        while (i < keyword.length && cursor.at[i] == static_cast<unsigned char>(keyword.text[i])) ++i;
        if (i == keyword.length) return &keyword;
    }
    return nullptr;
}

// Looks at one line's window and stores its row if it is a subset line.
ReadOutcome parse_line(const unsigned char* bytes, unsigned bytes_read, SubsetEntry* table, int* row_count) {
    Cursor cursor{bytes, bytes + bytes_read};
    skip_blanks(cursor);
    const SubsetKeyword* keyword = match_keyword(cursor, bytes_read);
    if (!keyword) return kReadOk;
    cursor.at += keyword->length;

    // A missing "(" or "," is tolerated: the numbers are read from where the scan stopped.
    int32_t start;
    int32_t length;
    expect_char(cursor, '(');
    if (!scan_decimal(cursor, &start)) return kReadFormatError;
    expect_char(cursor, ',');
    if (!scan_decimal(cursor, &length)) return kReadFormatError;

    if (length == 0) return kReadZeroLength;
    // The range's last frame must itself be a frame number the host can ask for.
    if (static_cast<int64_t>(start) + length - 1 > INT32_MAX) return kReadFormatError;
    if (*row_count >= kMaxRows) return kReadTooManyRows;
    SubsetEntry& row = table[*row_count];
    row.start = start;
    row.length = length;
    row.masked = keyword->masked ? 1 : 0;
    ++*row_count;
    return kReadOk;
}

int find_line_feed(const unsigned char* bytes, int count) {
    for (int i = 0; i < count; ++i) {
        if (bytes[i] == '\n') return i;
    }
    return -1;
}

enum class Skip { kPositioned, kEnded, kFailed };

// Leaves the file on the byte after the line feed that ends the current line.
// The line's first window is already in `buffer`; longer lines are read on in
// further windows that are not examined.
Skip skip_past_line_feed(int file, unsigned char* buffer, int bytes_read) {
    for (;;) {
        int line_feed = find_line_feed(buffer, bytes_read);
        if (line_feed >= 0) {
            return file_seek_relative(file, static_cast<int64_t>(line_feed) - bytes_read + 1) ? Skip::kPositioned
                                                                                               : Skip::kFailed;
        }
        bytes_read = file_read(file, buffer, kLineWindow);
        if (bytes_read == 0) return Skip::kEnded;
        if (bytes_read < 0) return Skip::kFailed;
    }
}

ReadOutcome read_lines(int file, unsigned char* buffer, SubsetEntry* table, int* row_count, int* line_number) {
    // A size that cannot be found is no reason to refuse the file.
    if (file_size(file) > kMaxFileBytes) return kReadTooBig;
    if (!file_rewind(file)) return kReadFailed;
    // An end-of-file test that fails is taken as the end.
    if (file_at_end(file) != 0) return kReadOk;

    for (;;) {
        ++*line_number;
        int bytes_read = file_read(file, buffer, kLineWindow);
        if (bytes_read == 0) return kReadOk;
        if (bytes_read < 0) return kReadFailed;

        ReadOutcome outcome = parse_line(buffer, static_cast<unsigned>(bytes_read), table, row_count);
        if (outcome != kReadOk) return outcome;

        switch (skip_past_line_feed(file, buffer, bytes_read)) {
            case Skip::kEnded: return kReadOk;
            case Skip::kFailed: return kReadFailed;
            case Skip::kPositioned: break;
        }
        if (file_at_end(file) != 0) return kReadOk;
    }
}

}  // namespace

ReadOutcome read_subset_file(const char* file_name, unsigned char* buffer, SubsetEntry* table, int* row_count,
                             int* line_number, NameEncoding encoding) {
    *row_count = 0;
    *line_number = 0;
    int file = file_open_read(file_name, encoding);
    if (file < 0) return kReadCannotOpen;
    ReadOutcome outcome = read_lines(file, buffer, table, row_count, line_number);
    file_close(file);
    return outcome;
}

}  // namespace jobcut
