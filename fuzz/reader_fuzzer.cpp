// The settings-file reader on any bytes at all, written as a real file.
#include <cstdint>
#include <memory>
#include <string>

#include "fuzz/require.h"
#include "subset/subset_reader.h"
#include "tests/unit/test_files.h"

namespace {

const TempFolder folder;

bool is_defined(jobcut::ReadOutcome outcome) {
    switch (outcome) {
        case jobcut::kReadOk:
        case jobcut::kReadCannotOpen:
        case jobcut::kReadFailed:
        case jobcut::kReadFormatError:
        case jobcut::kReadZeroLength:
        case jobcut::kReadTooManyRows:
        case jobcut::kReadTooBig: return true;
    }
    return false;
}

int64_t lines_in(const uint8_t* data, size_t size) {
    int64_t lines = 1;
    for (size_t i = 0; i < size; ++i) lines += data[i] == '\n';
    return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = folder.write("settings.vcf", std::string(reinterpret_cast<const char*>(data), size));
    // Blocks of exactly the sizes the filter lends, so that any overrun leaves them.
    std::unique_ptr<unsigned char[]> buffer(new unsigned char[jobcut::kReadBufferBytes]);
    std::unique_ptr<jobcut::SubsetEntry[]> table(new jobcut::SubsetEntry[jobcut::kMaxRows]);
    int rows = -1;
    int line = -1;
    const jobcut::ReadOutcome outcome = jobcut::read_subset_file(path.c_str(), buffer.get(), table.get(), &rows, &line);

    require(is_defined(outcome), "the outcome is one of the defined codes");
    require(outcome != jobcut::kReadCannotOpen && outcome != jobcut::kReadFailed,
            "a readable regular file is opened and read");
    require((outcome == jobcut::kReadTooBig) == (static_cast<int64_t>(size) > jobcut::kMaxFileBytes),
            "exactly the files over the size limit are too big");
    require(rows >= 0 && rows <= jobcut::kMaxRows, "the row count is within 0..256");
    require(outcome != jobcut::kReadTooManyRows || rows == jobcut::kMaxRows, "too many rows only with the table full");
    require(line >= 0 && line <= lines_in(data, size), "the line number is a line of the file");
    for (int i = 0; i < rows; ++i) {
        const jobcut::SubsetEntry& row = table[i];
        require(row.start >= 0 && row.length > 0, "every start is non-negative and every length above 0");
        require(static_cast<int64_t>(row.start) + row.length - 1 <= INT32_MAX, "every range ends on a frame number");
        require(row.masked <= 1, "the masked flag is 0 or 1");
    }
    return 0;
}
