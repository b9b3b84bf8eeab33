#include "tools/inspect/settings_scan.h"

#include <algorithm>

#include "platform/file_access.h"

namespace inspect {

namespace {

constexpr size_t kPiece = 4096;

// Index-based walk over bytes[at, to), as the reader's cursor moves.
struct Walk {
    const std::string& bytes;
    size_t at, to;

    bool more() const { return at < to; }
    unsigned char here() const { return static_cast<unsigned char>(bytes[at]); }
    void blanks() {
        while (more() && (here() == ' ' || here() == '\t')) ++at;
    }
    bool take(unsigned char wanted) {
        blanks();
        if (!more() || here() != wanted) return false;
        ++at;
        blanks();
        return true;
    }
    // False once the digits exceed a signed 32-bit value.
    bool number(int64_t* value) {
        *value = 0;
        for (; more() && here() >= '0' && here() <= '9'; ++at) {
            *value = *value * 10 + (here() - '0');
            if (*value > INT32_MAX) return false;
        }
        return true;
    }
    bool begins_with(const SubsetKeyword& keyword) const {
        return to - at >= keyword.length && bytes.compare(at, keyword.length, keyword.text) == 0;
    }
};

// The whole file, or the outcome the filter's reader gives before its first line.
jobcut::ReadOutcome read_bytes(int file, std::string* bytes) {
    if (jobcut::file_size(file) > jobcut::kMaxFileBytes) return jobcut::kReadTooBig;
    if (!jobcut::file_rewind(file)) return jobcut::kReadFailed;
    char piece[kPiece];
    for (;;) {
        const int got = jobcut::file_read(file, piece, kPiece);
        if (got < 0) return jobcut::kReadFailed;
        if (got == 0) return jobcut::kReadOk;
        bytes->append(piece, static_cast<size_t>(got));
        if (static_cast<int64_t>(bytes->size()) > jobcut::kMaxFileBytes) return jobcut::kReadTooBig;
    }
}

// The reader's verdict on a line; `rows_stored` before it.
LineFate fate_of(const SubsetRead& read, size_t rows_stored, jobcut::ReadOutcome* outcome) {
    if (read.keyword < 0) return LineFate::kPassedOver;
    if (read.too_large || (read.length != 0 && read.start + read.length - 1 > INT32_MAX)) {
        *outcome = jobcut::kReadFormatError;
    } else if (read.length == 0) {
        *outcome = jobcut::kReadZeroLength;
    } else if (rows_stored >= static_cast<size_t>(jobcut::kMaxRows)) {
        *outcome = jobcut::kReadTooManyRows;
    } else {
        return LineFate::kStored;
    }
    return LineFate::kStopped;
}

void scan_lines(SettingsScan* scan) {
    const std::string& bytes = scan->bytes;
    for (size_t at = 0; at < bytes.size();) {
        ScannedLine line{};
        line.number = ++scan->line_number;
        line.begin = at;
        line.window_end = std::min(bytes.size(), at + size_t{jobcut::kLineWindow});
        const size_t feed = bytes.find('\n', at);
        line.end = feed == std::string::npos ? bytes.size() : feed;
        line.read = read_subset_line(bytes, at, line.window_end, line.window_end - at);
        line.fate = fate_of(line.read, scan->rows.size(), &scan->outcome);
        line.row = -1;
        if (line.fate == LineFate::kStored) {
            jobcut::SubsetEntry row{};
            row.start = static_cast<int32_t>(line.read.start);
            row.length = static_cast<int32_t>(line.read.length);
            row.masked = kSubsetKeywords[line.read.keyword].masked ? 1 : 0;
            line.row = static_cast<int>(scan->rows.size());
            scan->rows.push_back(row);
        }
        scan->lines.push_back(line);
        if (line.fate == LineFate::kStopped || feed == std::string::npos) return;
        at = feed + 1;
    }
}

}  // namespace

bool SubsetRead::operator==(const SubsetRead& other) const {
    return keyword == other.keyword && open_paren == other.open_paren && comma == other.comma &&
           start == other.start && length == other.length && too_large == other.too_large;
}

SubsetRead read_subset_line(const std::string& bytes, size_t from, size_t to, size_t bytes_read) {
    SubsetRead read;
    Walk walk{bytes, from, to};
    walk.blanks();
    read.keyword_at = walk.at;
    for (int k = 0; k < 3 && read.keyword < 0; ++k) {
        const SubsetKeyword& keyword = kSubsetKeywords[k];
        if (bytes_read >= keyword.length + jobcut::kKeywordSlack && walk.begins_with(keyword)) read.keyword = k;
    }
    if (read.keyword < 0) return read;
    walk.at += kSubsetKeywords[read.keyword].length;
    read.open_paren = walk.take('(');
    read.too_large = !walk.number(&read.start);
    if (read.too_large) return read;
    read.comma = walk.take(',');
    read.too_large = !walk.number(&read.length);
    return read;
}

SettingsScan scan_settings_file(const std::string& file_name) {
    SettingsScan scan;
    const int file = jobcut::file_open_read(file_name.c_str());
    if (file < 0) {
        scan.outcome = jobcut::kReadCannotOpen;
        return scan;
    }
    scan.outcome = read_bytes(file, &scan.bytes);
    jobcut::file_close(file);
    if (scan.outcome == jobcut::kReadOk) scan_lines(&scan);
    return scan;
}

}  // namespace inspect
