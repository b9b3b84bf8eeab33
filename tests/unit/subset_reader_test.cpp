// The settings-file reader on real files: what it stores, where it stops, and
// how it treats the shapes real VirtualDub files have.
#include "subset/subset_reader.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "tests/unit/test_files.h"

using jobcut::SubsetEntry;

namespace {

struct Row {
    int start;
    int length;
    bool masked;
    bool operator==(const Row& other) const {
        return start == other.start && length == other.length && masked == other.masked;
    }
};

std::ostream& operator<<(std::ostream& out, const Row& row) {
    return out << "(" << row.start << ", " << row.length << (row.masked ? ", masked)" : ")");
}

struct Read {
    int outcome;
    int line;
    std::vector<Row> rows;
};

Read read_path(const std::string& path) {
    std::vector<unsigned char> buffer(jobcut::kReadBufferBytes, 0xA5);
    std::vector<SubsetEntry> table(jobcut::kMaxRows);
    int rows = -1;
    int line = -1;
    Read result{jobcut::read_subset_file(path.c_str(), buffer.data(), table.data(), &rows, &line), line, {}};
    for (int i = 0; i < rows; ++i) result.rows.push_back({table[i].start, table[i].length, table[i].masked == 1});
    return result;
}

Read read_bytes(const std::string& bytes) {
    TempFolder folder;
    return read_path(folder.write("cuts.vcf", bytes));
}

std::string repeat(const std::string& text, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) out += text;
    return out;
}

const std::string kAdd = "VirtualDub.subset.AddRange";

}  // namespace

TEST(SubsetReader, ReadsTheDocumentedExample) {
    Read r = read_bytes(kAdd + "(0,100);\n\n  VirtualDub.subset.AddMaskedRange( 100 , 10 );\n" + kAdd + "(250,50);\n");
    EXPECT_EQ(r.outcome, 0);
    EXPECT_EQ(r.rows, (std::vector<Row>{{0, 100, false}, {100, 10, true}, {250, 50, false}}));
}

TEST(SubsetReader, FilesWithoutSubsetLinesGiveNoRows) {
    EXPECT_EQ(read_bytes("").outcome, 0);
    EXPECT_TRUE(read_bytes("").rows.empty());
    Read r = read_bytes("VirtualDub.subset.Clear();\nVirtualDub.subset.Delete();\n//" + kAdd + "(0,130310);\n");
    EXPECT_EQ(r.outcome, 0);
    EXPECT_TRUE(r.rows.empty());
}

TEST(SubsetReader, RealWorldShapes) {
    // CRLF line ends, a 3000-byte codec blob, commented-out and indented lines.
    Read crlf = read_bytes(data_file("crlf_job.vcf"));
    EXPECT_EQ(crlf.outcome, 0);
    EXPECT_EQ(crlf.rows, (std::vector<Row>{{0, 1200, false}, {1500, 300, false}, {2400, 720, false}}));

    Read masked = read_bytes(data_file("masked_cuts.vcf"));
    EXPECT_EQ(masked.outcome, 0);
    EXPECT_EQ(masked.rows, (std::vector<Row>{{0, 4500, false}, {4500, 25, true}, {4525, 2975, false},
                                             {9000, 1000, false}, {12000, 7, false}}));

    // Two passes of one job: the subset lines of both are taken, in file order.
    Read two_pass = read_bytes(data_file("two_pass.jobs"));
    EXPECT_EQ(two_pass.outcome, 0);
    EXPECT_EQ(two_pass.rows, (std::vector<Row>{{0, 5010, false}, {0, 5010, false}}));

    // A length given as an expression reads as 0: the line is refused where it stands.
    Read expression = read_bytes(data_file("expression_length.vcf"));
    EXPECT_EQ(expression.outcome, jobcut::kReadZeroLength);
    EXPECT_EQ(expression.line, 24);
}

TEST(SubsetReader, LineEndsAndTheLastLine) {
    std::string lf = kAdd + "(1,2);\n" + kAdd + "(3,4);\n";
    std::string crlf = kAdd + "(1,2);\r\n" + kAdd + "(3,4);\r\n";
    std::string unterminated = kAdd + "(1,2);\n" + kAdd + "(3,4)";
    std::vector<Row> expected{{1, 2, false}, {3, 4, false}};
    EXPECT_EQ(read_bytes(lf).rows, expected);
    EXPECT_EQ(read_bytes(crlf).rows, expected);
    EXPECT_EQ(read_bytes(unterminated).rows, expected);
    EXPECT_EQ(read_bytes(unterminated).outcome, 0);
    // A lone CR is no line end: the second keyword is not at the start of a line.
    EXPECT_EQ(read_bytes(kAdd + "(1,2);\r" + kAdd + "(3,4);\n").rows, (std::vector<Row>{{1, 2, false}}));
}

TEST(SubsetReader, KeywordsMatchOnlyAtTheStartOfALineAndAsWritten) {
    Read r = read_bytes("\t \t" + kAdd + "(1,1);\n" + "virtualdub.subset.addrange(2,2);\n" + "x " + kAdd +
                        "(3,3);\n" + "VirtualDub.subset.AddFrame(7,3);\n" + "VirtualDub.subset.AddMaskedRange(8,1);\n");
    EXPECT_EQ(r.rows, (std::vector<Row>{{1, 1, false}, {7, 3, false}, {8, 1, true}}));
    // Whatever follows the keyword is not examined: a longer word is taken as it.
    Read longer = read_bytes(kAdd + "X(5,10);\n");
    EXPECT_EQ(longer.outcome, jobcut::kReadZeroLength);
    EXPECT_EQ(longer.line, 1);
}

TEST(SubsetReader, MalformedLinesReadOnRegardless) {
    EXPECT_EQ(read_bytes(kAdd + " 10,20\n").rows, (std::vector<Row>{{10, 20, false}}));
    EXPECT_EQ(read_bytes(kAdd + "(10 20)\n").rows, (std::vector<Row>{{10, 20, false}}));
    EXPECT_EQ(read_bytes(kAdd + "(\t7\t,\t9\t) // comment\n").rows, (std::vector<Row>{{7, 9, false}}));
    EXPECT_EQ(read_bytes(kAdd + "(0010,0002);\n").rows, (std::vector<Row>{{10, 2, false}}));
    // A minus sign is neither digit nor comma: the count reads as 0.
    EXPECT_EQ(read_bytes(kAdd + "(-5,10);\n").outcome, jobcut::kReadZeroLength);
    EXPECT_EQ(read_bytes(kAdd + "(5,-10);\n").outcome, jobcut::kReadZeroLength);
    // Bytes at or above 0x80 are no digits (no sign extension into '0'..'9').
    EXPECT_EQ(read_bytes(kAdd + "(5,\xB3);\n").outcome, jobcut::kReadZeroLength);
}

TEST(SubsetReader, ZeroCountStopsWithItsLineNumber) {
    Read r = read_bytes("// header\n" + kAdd + "(0,4);\n" + kAdd + "(5,0);\n" + kAdd + "(9,9);\n");
    EXPECT_EQ(r.outcome, jobcut::kReadZeroLength);
    EXPECT_EQ(r.line, 3);
    EXPECT_EQ(read_bytes(kAdd + "(0,1);\n").rows, (std::vector<Row>{{0, 1, false}}));
}

TEST(SubsetReader, KeywordIsTriedOnlyWithRoomForItsArguments) {
    // 28-byte line "<keyword>(\n": tried when 3 more bytes follow it in the file.
    std::string lone = kAdd + "(\n";
    ASSERT_EQ(lone.size(), 28u);
    Read tried = read_bytes(lone + "abc");
    EXPECT_EQ(tried.outcome, jobcut::kReadZeroLength);
    EXPECT_EQ(tried.line, 1);
    Read passed = read_bytes(lone + "ab");
    EXPECT_EQ(passed.outcome, 0);
    EXPECT_TRUE(passed.rows.empty());
    // A 30-byte line is tried in the middle of a file, where its read runs on into the next line...
    EXPECT_EQ(read_bytes(kAdd + "(5,9\n// more\n").rows, (std::vector<Row>{{5, 9, false}}));
    // ...but not as the file's last 30 bytes.
    EXPECT_TRUE(read_bytes(kAdd + "(5,9").rows.empty());
    // The masked keyword needs 37.
    EXPECT_EQ(read_bytes("VirtualDub.subset.AddMaskedRange(1,2)").rows, (std::vector<Row>{{1, 2, true}}));
    EXPECT_TRUE(read_bytes("VirtualDub.subset.AddMaskedRange(1,").rows.empty());
}

TEST(SubsetReader, OnlyTheFirst256BytesOfALineAreExamined) {
    // A 300-byte line is one line; the next is read normally.
    Read long_line = read_bytes(std::string(300, 'x') + "\n" + kAdd + "(4,0);\n");
    EXPECT_EQ(long_line.outcome, jobcut::kReadZeroLength);
    EXPECT_EQ(long_line.line, 2);

    // A line of several windows: its continuation is never searched for keywords.
    std::string blob = "VirtualDub.video.SetCompData(3540,\"" + repeat("QUFBQQ==", 400) + "\");\n";
    Read after_blob = read_bytes(blob + kAdd + "(1,1);\n" + blob + blob + kAdd + "(2,0);\n");
    EXPECT_EQ(after_blob.outcome, jobcut::kReadZeroLength);
    EXPECT_EQ(after_blob.line, 5);
    EXPECT_EQ(after_blob.rows, (std::vector<Row>{{1, 1, false}}));

    // A keyword that does not fit in the window does not match.
    std::string pad(256 - 20, ' ');
    EXPECT_TRUE(read_bytes(pad + kAdd + "(1,1);\n").rows.empty());

    // A number cut off by the window keeps the digits inside it: 12 of 12345.
    std::string line = std::string(256 - 31, ' ') + kAdd + "(3,12345);\n";
    ASSERT_EQ(line.find("12345") + 2, 256u);
    EXPECT_EQ(read_bytes(line).rows, (std::vector<Row>{{3, 12, false}}));
}

TEST(SubsetReader, SizeLimit) {
    std::string tail = kAdd + "(1,1);\n";
    std::string filler = repeat(std::string(63, '/') + "\n", (131072 - static_cast<int>(tail.size())) / 64);
    std::string exact = filler + std::string(131072 - filler.size() - tail.size() - 1, '/') + "\n" + tail;
    ASSERT_EQ(exact.size(), 131072u);
    Read at_limit = read_bytes(exact);
    EXPECT_EQ(at_limit.outcome, 0);
    EXPECT_EQ(at_limit.rows, (std::vector<Row>{{1, 1, false}}));

    Read over = read_bytes(kAdd + "(1,0);\n" + exact.substr(tail.size()) + "/" + tail);
    EXPECT_EQ(over.outcome, jobcut::kReadTooBig);
    EXPECT_EQ(over.line, 0);  // refused before any line is read
}

TEST(SubsetReader, RowLimit) {
    Read full = read_bytes(repeat(kAdd + "(1,1);\n", 256));
    EXPECT_EQ(full.outcome, 0);
    EXPECT_EQ(full.rows.size(), 256u);
    Read over = read_bytes(repeat(kAdd + "(1,1);\n", 257));
    EXPECT_EQ(over.outcome, jobcut::kReadTooManyRows);
    EXPECT_EQ(over.line, 257);
    // A 257th line that is no subset line is fine.
    EXPECT_EQ(read_bytes(repeat(kAdd + "(1,1);\n", 256) + "// end\n").outcome, 0);
}

TEST(SubsetReader, NumbersBeyondThirtyTwoBitsAreRefusedNotWrapped) {
    EXPECT_EQ(read_bytes(kAdd + "(2147483647,1);\n").rows, (std::vector<Row>{{2147483647, 1, false}}));
    EXPECT_EQ(read_bytes(kAdd + "(0,2147483647);\n").rows, (std::vector<Row>{{0, 2147483647, false}}));
    EXPECT_EQ(read_bytes(kAdd + "(000000000000000000002,1);\n").rows, (std::vector<Row>{{2, 1, false}}));

    Read big_start = read_bytes("//\n" + kAdd + "(2147483648,1);\n");
    EXPECT_EQ(big_start.outcome, jobcut::kReadFormatError);
    EXPECT_EQ(big_start.line, 2);
    // 2^32 + 5 would wrap to a plausible 5.
    EXPECT_EQ(read_bytes(kAdd + "(1,4294967301);\n").outcome, jobcut::kReadFormatError);
    // Refused as it is read: before the zero count and the row limit of that line.
    EXPECT_EQ(read_bytes(kAdd + "(99999999999,0);\n").outcome, jobcut::kReadFormatError);
    Read at_257 = read_bytes(repeat(kAdd + "(1,1);\n", 256) + kAdd + "(1,99999999999);\n");
    EXPECT_EQ(at_257.outcome, jobcut::kReadFormatError);
    EXPECT_EQ(at_257.line, 257);
    // A range whose last frame is past the largest frame number.
    EXPECT_EQ(read_bytes(kAdd + "(2147483647,2);\n").outcome, jobcut::kReadFormatError);
    EXPECT_EQ(read_bytes(kAdd + "(2147483000,648);\n").rows, (std::vector<Row>{{2147483000, 648, false}}));
}

TEST(SubsetReader, FilesThatCannotBeOpened) {
    TempFolder folder;
    EXPECT_EQ(read_path(folder.path("missing.vcf")).outcome, jobcut::kReadCannotOpen);
    EXPECT_EQ(read_path("").outcome, jobcut::kReadCannotOpen);
    EXPECT_EQ(read_path(folder.path("")).outcome, jobcut::kReadCannotOpen);  // a folder
    EXPECT_EQ(read_path(folder.path("missing.vcf")).line, 0);
}

TEST(SubsetReader, AFileThatCannotBeReadIsAReadError) {
    // A pipe opens but cannot be sized or rewound: refused, not taken as an empty file.
    TempFolder folder;
    std::string pipe = folder.path("pipe.vcf");
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    Read r = read_path(pipe);
    EXPECT_EQ(r.outcome, jobcut::kReadFailed);
    EXPECT_TRUE(r.rows.empty());
}
