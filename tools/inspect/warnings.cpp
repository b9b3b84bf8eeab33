#include "tools/inspect/warnings.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "remap/error_message.h"
#include "host/avisynth/jobcut_filter.h"
#include "tools/inspect/clip_rows.h"
#include "tools/inspect/settings_scan.h"

namespace inspect {
namespace {

constexpr size_t kMostQuoted = 60;

// What the filter raises for the file as the scan read it, or "" when it builds a clip.
std::string expected_message(const Options& options, const FilterRun& result, const SettingsScan& scan) {
    char message[jobcut::kMessageBytes] = "";
    const char* name = options.settings_file.c_str();
    if (scan.outcome != jobcut::kReadOk) {
        jobcut::compose_read_error(message, scan.outcome, name, scan.line_number);
    } else if (!scan.rows.empty()) {
        std::vector<jobcut::SubsetEntry> table = scan.rows;
        jobcut::ClipTiming clip = jobcut::timing_of(result.source);
        const jobcut::TableError error =
            jobcut::derive_range_table(table.data(), static_cast<int>(table.size()), &clip);
        jobcut::compose_table_error(message, error, name);
    }
    return message;
}

// Whether the scan read the file as the filter did: the same message, or the same rows.
bool same_reading(const Options& options, const FilterRun& result, const SettingsScan& scan) {
    const std::string message = expected_message(options, result, scan);
    if (!result.ok) return message == result.error;
    if (!message.empty()) return false;
    if (scan.rows.empty()) return result.rows.size() == 1;  // the whole source
    if (scan.rows.size() != result.rows.size()) return false;
    for (size_t i = 0; i < scan.rows.size(); ++i) {
        const jobcut::SubsetEntry &mine = scan.rows[i], &filter = result.rows[i];
        if (mine.start != filter.start || mine.length != filter.length || mine.masked != filter.masked) return false;
    }
    return true;
}

// ---- the text of a line

bool is_blank(char c) { return c == ' ' || c == '\t'; }

size_t skip_blanks(const std::string& text, size_t at) {
    while (at < text.size() && is_blank(text[at])) ++at;
    return at;
}

bool is_word_byte(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool begins_with(const std::string& text, size_t at, const char* word, bool any_case) {
    for (size_t i = 0; word[i]; ++i) {
        if (at + i >= text.size()) return false;
        const char a = text[at + i], b = word[i];
        if (any_case ? lower(a) != lower(b) : a != b) return false;
    }
    return true;
}

// The subset keyword that text[at...] begins with, matched as the reader
// matches (a longer word counts), or -1.
int keyword_at(const std::string& text, size_t at, bool any_case) {
    for (int k = 0; k < 3; ++k)
        if (begins_with(text, at, kSubsetKeywords[k].text, any_case)) return k;
    return -1;
}

// The line as written: its line feed, and a carriage return before it, left out.
std::string text_of(const SettingsScan& scan, const ScannedLine& line) {
    size_t end = line.end;
    if (end > line.begin && scan.bytes[end - 1] == '\r') --end;
    return scan.bytes.substr(line.begin, end - line.begin);
}

std::string trimmed(const std::string& text, size_t from, size_t to) {
    while (from < to && is_blank(text[from])) ++from;
    while (to > from && is_blank(text[to - 1])) --to;
    return text.substr(from, to - from);
}

// Calls visit(at) for each byte of text[from...] outside string literals, up to
// a "//" comment; visit returns how far to move on, 0 to stop there. Returns
// where the walk ended.
template <typename Visit>
size_t walk_code(const std::string& text, size_t from, Visit visit) {
    bool in_string = false;
    size_t at = from;
    while (at < text.size()) {
        const char c = text[at];
        if (in_string) {
            in_string = c != '"';
            at += c == '\\' ? 2 : 1;
        } else if (c == '"') {
            in_string = true;
            ++at;
        } else if (text.compare(at, 2, "//") == 0) {
            return at;
        } else {
            const size_t step = visit(at);
            if (step == 0) return at;
            at += step;
        }
    }
    return text.size();
}

// The arguments of the call whose "(" stands at text[open]: split at the commas
// outside inner brackets and strings, up to its ")" (or a ";", a "//" comment or
// the line's end). "()" has none.
std::vector<std::string> call_arguments(const std::string& text, size_t open) {
    std::vector<std::string> items;
    int depth = 0;
    size_t item = open + 1;
    const size_t end = walk_code(text, open + 1, [&](size_t at) -> size_t {
        const char c = text[at];
        if (c == '(' || c == '[') {
            ++depth;
        } else if ((c == ')' || c == ']') && depth > 0) {
            --depth;
        } else if (depth == 0 && (c == ')' || c == ';')) {
            return 0;
        } else if (depth == 0 && c == ',') {
            items.push_back(trimmed(text, item, at));
            item = at + 1;
        }
        return 1;
    });
    items.push_back(trimmed(text, item, end));
    if (items.size() == 1 && items[0].empty()) items.clear();
    return items;
}

// The arguments of a call of `name` at the start of the line, if the line is one.
bool call_at_start(const std::string& text, const char* name, std::vector<std::string>* arguments) {
    const size_t first = skip_blanks(text, 0);
    if (!begins_with(text, first, name, false)) return false;
    const size_t open = skip_blanks(text, first + std::string(name).size());
    if (open >= text.size() || text[open] != '(') return false;
    if (arguments) *arguments = call_arguments(text, open);
    return true;
}

// The exact subset keywords in text[from...] outside strings and before a "//"
// comment: how many, and the first.
int keywords_after(const std::string& text, size_t from, int* first) {
    int count = 0;
    walk_code(text, from, [&](size_t at) -> size_t {
        const int k = keyword_at(text, at, false);
        if (k < 0) return 1;
        if (count++ == 0) *first = k;
        return kSubsetKeywords[k].length;
    });
    return count;
}

bool digits_only(const std::string& text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// A piece of the file in a sentence: printable ASCII only, cut when long.
std::string quoted(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size() && i < kMostQuoted; ++i)
        out += text[i] >= 0x20 && text[i] < 0x7F ? text[i] : '?';
    return "\"" + out + (text.size() > kMostQuoted ? "...\"" : "\"");
}

std::string plural(int64_t count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

std::string source_frames(const jobcut::SubsetEntry& row) {
    return "source frames " + span_text(row.start, source_end(row));
}

// ---- the warnings

struct Pass {
    const Options& options;
    const FilterRun& result;
    const SettingsScan& scan;
    std::vector<Warning> warnings;

    void add(const char* kind, int line, const std::string& text) { warnings.push_back({kind, line, text}); }

    // What the filter makes of a line it reads.
    std::string outcome(const ScannedLine& line) const {
        if (line.fate != LineFate::kStored) return "so refuses the file with the message shown";
        const jobcut::SubsetEntry& row = scan.rows[static_cast<size_t>(line.row)];
        return "stores " + source_frames(row) + (row.masked ? " as a masked range" : "");
    }

    std::string numbers_read(const SubsetRead& read) const {
        return "the filter reads the first frame as " + std::to_string(read.start) + " and the frame count as " +
               std::to_string(read.length);
    }

    void read_line(const ScannedLine& line, const std::string& text);
    void passed_over_line(const ScannedLine& line, const std::string& text);
    void later_keywords(const std::string& text, int line);
    void selection(const ScannedLine& line, const std::string& text);
    void edit_lists();
    void ranges();
};

// A subset line the filter stores or stops on: the window that cut its numbers,
// then the shape it is written in.
void Pass::read_line(const ScannedLine& line, const std::string& text) {
    const SubsetRead& read = line.read;
    const SubsetRead whole = read_subset_line(scan.bytes, line.begin, std::max(line.end, line.window_end),
                                              line.window_end - line.begin);
    if (!(whole == read)) {
        add("outside_line_window", line.number,
            "this line's numbers run on past its first " + std::to_string(jobcut::kLineWindow) +
                " bytes, all that the filter reads of a line: " + numbers_read(read) + " where the whole line gives " +
                std::to_string(whole.start) + " and " + std::to_string(whole.length) + ", and " + outcome(line) +
                "; take out what stands before the keyword so that the line fits");
        return;
    }
    const SubsetKeyword& keyword = kSubsetKeywords[read.keyword];
    const size_t after = read.keyword_at - line.begin + keyword.length;
    // How VirtualDub writes the line; what to write instead when the numbers are not digits.
    const std::string as_written = std::string(keyword.text) + "(first,count);";
    std::string cause, fix = "write both numbers as plain digits, as VirtualDub saves them, since the filter works "
                             "out no expression or variable";
    bool loose = false;
    if (!read.open_paren) {
        loose = true;
        const size_t keyword_start = read.keyword_at - line.begin;
        size_t word_end = after;
        while (word_end < text.size() && is_word_byte(text[word_end])) ++word_end;
        if (word_end == after) {
            cause = "no \"(\" follows the keyword";
            fix = "write the line as VirtualDub does, " + as_written;
        } else {
            cause = quoted(text.substr(keyword_start, word_end - keyword_start)) + " is taken for " + keyword.text +
                    ", whose letters it begins with, and no \"(\" follows that";
            fix = "spell the command as VirtualDub writes it, " + as_written;
        }
    } else if (!read.comma && line.fate == LineFate::kStored) {
        loose = true;
        cause = "no \",\" stands between the two numbers";
    } else {
        const std::vector<std::string> arguments = call_arguments(text, skip_blanks(text, after));
        if (arguments.size() < 2) {
            if (line.fate == LineFate::kStored) return;
            cause = arguments.empty() ? std::string("the call has no arguments")
                                      : "the call has one argument only, " + quoted(arguments[0]);
            fix = "give both numbers, as VirtualDub writes them: " + as_written;
        } else {
            const bool first = !digits_only(arguments[0]), count = !digits_only(arguments[1]);
            if (!first && !count) return;  // the numbers are read as written
            if (first && count) {
                cause = "the first frame " + quoted(arguments[0]) + " and the frame count " + quoted(arguments[1]) +
                        " are not written as digits";
            } else {
                const std::string which = first ? "the first frame" : "the frame count";
                cause = which + " " + quoted(arguments[first ? 0 : 1]) + " is not written as digits";
                fix = "write " + which + " as plain digits, as VirtualDub saves it, since the filter works out no "
                      "expression or variable";
            }
        }
    }
    if (loose && line.fate == LineFate::kStored) {
        add("read_loosely", line.number,
            cause + ", but " + numbers_read(read) + " all the same and " + outcome(line) +
                "; so that VirtualDub reads the same range, write the line as it does: " + keyword.text + "(" +
                std::to_string(read.start) + "," + std::to_string(read.length) + ");");
    } else {
        add("not_a_number", line.number,
            cause + ": " + numbers_read(read) + " (it takes a number from its digits alone, 0 where there are none) and " +
                outcome(line) + "; " + fix);
    }
}

// A line the filter passes over that looks like a subset line.
void Pass::passed_over_line(const ScannedLine& line, const std::string& text) {
    const size_t first = skip_blanks(text, 0);
    const SubsetRead whole = read_subset_line(scan.bytes, line.begin, std::max(line.end, line.window_end),
                                              line.window_end - line.begin);
    if (whole.keyword >= 0) {
        add("outside_line_window", line.number,
            std::string(kSubsetKeywords[whole.keyword].text) + " starts after " + plural(static_cast<int64_t>(first), "blank", "blanks") +
                " and does not end within the first " + std::to_string(jobcut::kLineWindow) +
                " bytes of the line, all that the filter reads of it, so the filter ignores this line; take out the leading blanks");
        return;
    }
    const int any_case = keyword_at(text, first, true);
    if (any_case >= 0) {
        const SubsetKeyword& keyword = kSubsetKeywords[any_case];
        if (keyword_at(text, first, false) >= 0) {
            // The keyword stands where the reader looks, so only the read's count
            // kept it from being tried: the file ends too soon after it.
            add("cut_short", line.number,
                "the file ends " + plural(static_cast<int64_t>(line.window_end - line.begin), "byte", "bytes") +
                    " into this line, fewer than the " + std::to_string(keyword.length + jobcut::kKeywordSlack) +
                    " the filter needs to try " + keyword.text + " (the keyword and room for the shortest \"(a,b)\"), "
                    "so the filter ignores this line; if the file was cut short, save the settings again in VirtualDub");
        } else {
            add("wrong_case", line.number,
                quoted(text.substr(first, keyword.length)) + " is not spelled as the filter matches it, " +
                    keyword.text + " with its letter case, so the filter ignores this line; write the keyword as "
                    "VirtualDub does");
        }
        return;
    }
    if (text.compare(first, 2, "//") == 0 && keyword_at(text, skip_blanks(text, first + 2), false) >= 0)
        add("commented_out", line.number,
            "this subset line is commented out with \"//\": the filter, like VirtualDub, ignores it; "
            "take out the \"//\" if its range belongs in the cut");
}

// Subset keywords after other text on the line.
void Pass::later_keywords(const std::string& text, int line) {
    const size_t first = skip_blanks(text, 0);
    if (text.compare(first, 2, "//") == 0) return;  // a comment line
    const int at_start = keyword_at(text, first, true);
    int keyword = -1;
    const int count =
        keywords_after(text, at_start >= 0 ? first + kSubsetKeywords[at_start].length : first, &keyword);
    if (count == 0) return;
    add("not_at_line_start", line,
        (count == 1 ? std::string(kSubsetKeywords[keyword].text) + " stands"
                    : std::to_string(count) + " subset keywords (the first " + kSubsetKeywords[keyword].text + ") stand") +
            " after other text on this line, and the filter reads a subset keyword only at the start of a line (after blanks), so it ignores " +
            (count == 1 ? "it" : "them") + "; put each subset command on a line of its own");
}

void Pass::selection(const ScannedLine& line, const std::string& text) {
    std::vector<std::string> arguments;
    const char* name = "VirtualDub.video.SetRangeFrames";
    if (!call_at_start(text, name, &arguments)) {
        name = "VirtualDub.video.SetRange";
        if (!call_at_start(text, name, &arguments)) return;
    }
    if (std::all_of(arguments.begin(), arguments.end(), [](const std::string& a) { return a == "0"; })) return;
    std::string call = std::string(name) + "(";
    for (size_t i = 0; i < arguments.size(); ++i) call += (i ? "," : "") + arguments[i];
    add("selection_ignored", line.number,
        "VirtualDub renders only the selection that " + quoted(call + ")") +
            " sets, but the filter reads no selection and serves all " + plural(result.clip.num_frames, "frame", "frames") +
            " of its clip; to cut to the selection, delete the frames outside it in VirtualDub and save the settings again");
}

// Clear() and Delete() after rows: the file holds more than one edit list.
void Pass::edit_lists() {
    int rows_before = 0, rows_since_clear = 0;
    int64_t frames_before = 0;
    for (const ScannedLine& line : scan.lines) {
        if (line.row >= 0) {
            ++rows_before;
            ++rows_since_clear;
            frames_before += scan.rows[static_cast<size_t>(line.row)].length;
            continue;
        }
        const std::string text = text_of(scan, line);
        const char* call = call_at_start(text, "VirtualDub.subset.Clear", nullptr)    ? "VirtualDub.subset.Clear()"
                           : call_at_start(text, "VirtualDub.subset.Delete", nullptr) ? "VirtualDub.subset.Delete()"
                                                                                      : nullptr;
        if (!call || rows_since_clear == 0) continue;
        rows_since_clear = 0;
        add("cleared_again", line.number,
            std::string("VirtualDub starts a new edit list at this ") + call +
                ", as it does for each pass or job of a job file, but the filter keeps the " +
                plural(rows_before, "range", "ranges") + " (" + plural(frames_before, "frame", "frames") +
                ") read before it as well, so the clip's " + plural(result.clip.num_frames, "frame", "frames") +
                " hold every list one after another; give Jobcut a file with one edit list");
    }
}

// Ranges that repeat source frames, and ranges past the source's end.
void Pass::ranges() {
    std::vector<int> line_of;
    for (const ScannedLine& line : scan.lines)
        if (line.row >= 0) line_of.push_back(line.number);
    const int64_t frames = result.source.num_frames;
    for (size_t i = 0; i < scan.rows.size(); ++i) {
        const jobcut::SubsetEntry& row = scan.rows[i];
        const std::string name = "range " + std::to_string(i + 1) + " (" + source_frames(row) + ")";
        size_t first = i;
        int more = 0;
        for (size_t j = 0; j < i; ++j) {
            if (std::max<int64_t>(row.start, scan.rows[j].start) >= std::min(source_end(row), source_end(scan.rows[j])))
                continue;
            if (first == i) first = j;
            else ++more;
        }
        if (first < i) {
            const jobcut::SubsetEntry& earlier = scan.rows[first];
            const int64_t from = std::max<int64_t>(row.start, earlier.start);
            const int64_t to = std::min(source_end(row), source_end(earlier));
            add("overlap", line_of[i],
                name + " shares source frames " + span_text(from, to) + " with range " + std::to_string(first + 1) +
                    " (line " + std::to_string(line_of[first]) + ")" +
                    (more ? " and overlaps " + plural(more, "more earlier range", "more earlier ranges") : "") +
                    ", so the clip takes " + (more ? "some source frames more than once" : "those source frames twice") +
                    "; keep them in one range unless the repeat is meant");
        }
        if (options.frames_given && source_end(row) > frames) {
            const int64_t past = std::min<int64_t>(source_end(row) - frames, row.length);
            add("past_source_end", line_of[i],
                name + (past == row.length ? " lies wholly"
                                           : " has " + std::to_string(past) + " of its " +
                                                 plural(row.length, "frame", "frames")) +
                    " past the end of the " + std::to_string(frames) + "-frame source" +
                    (frames > 0 ? ", whose last frame is " + std::to_string(frames - 1) : std::string()) +
                    ": the source decides what those frames bring (usually its last picture again, and silence); "
                    "check that the settings file belongs to this source");
        }
    }
}

}  // namespace

void add_warnings(const Options& options, FilterRun* result) {
    const SettingsScan scan = scan_settings_file(options.settings_file);
    result->warnings.clear();
    result->warnings_checked = same_reading(options, *result, scan);
    if (!result->warnings_checked) return;

    Pass pass{options, *result, scan, {}};
    for (const ScannedLine& line : scan.lines) {
        const std::string text = text_of(scan, line);
        const bool read = line.fate == LineFate::kStored ||
                          (line.fate == LineFate::kStopped && scan.outcome == jobcut::kReadZeroLength);
        if (read) pass.read_line(line, text);
        else if (line.fate == LineFate::kPassedOver) pass.passed_over_line(line, text);
        pass.later_keywords(text, line.number);
        if (result->ok) pass.selection(line, text);
    }
    // A refused file makes no clip: nothing to say about its ranges.
    if (result->ok) {
        if (scan.rows.empty())
            pass.add("no_subset_lines", 0,
                     "the file holds no subset line the filter reads, so all " +
                         plural(result->clip.num_frames, "frame", "frames") +
                         " of the source pass through uncut; VirtualDub saves the edit list only when asked to "
                         "include it, and VirtualDub.subset.Delete() leaves none, so save the settings again with "
                         "the edit list if you meant a cut");
        pass.edit_lists();
        pass.ranges();
    }
    std::stable_sort(pass.warnings.begin(), pass.warnings.end(),
                     [](const Warning& a, const Warning& b) { return a.line < b.line; });
    result->warnings = std::move(pass.warnings);
}

}  // namespace inspect
