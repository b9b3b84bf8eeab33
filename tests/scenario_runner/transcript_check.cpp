#include "tests/scenario_runner/transcript_check.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <sstream>
#include <vector>

#include "host/avisynth/sample_type.h"
#include "tests/scenario_runner/scenario_runner.h"

namespace scenario {
namespace {

// One action of a transcript and the result lines printed for it.
struct Block {
    std::string action;
    std::vector<std::string> results;
};

std::vector<Block> blocks_of(const std::string& text) {
    std::vector<Block> blocks;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (line.empty() || line[0] == '#' || line.find_first_not_of(" \t\r") == std::string::npos) continue;
        if (line.compare(0, 2, "  ") == 0) {
            if (!blocks.empty()) blocks.back().results.push_back(line);
        } else {
            blocks.push_back({line, {}});
        }
    }
    return blocks;
}

bool starts_with(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

// The value of `key=` in a line.
int64_t field(const std::string& line, const char* key) {
    const std::string tag = std::string(" ") + key + "=";
    const size_t at = line.find(tag);
    if (at == std::string::npos) return 0;
    return std::stoll(line.substr(at + tag.size()), nullptr, 0);
}

// The two `vi` lines with every field the host did not show left out of both.
void mask_unshown(std::string* wanted, std::string* seen) {
    auto split = [](const std::string& line) {
        std::vector<std::string> words;
        std::istringstream in(line);
        for (std::string word; in >> word;) words.push_back(word);
        return words;
    };
    std::vector<std::string> want_words = split(*wanted), seen_words = split(*seen);
    const std::string hidden = "=" + std::to_string(kNotShown);
    for (size_t i = 0; i < seen_words.size(); ++i) {
        std::string& word = seen_words[i];
        if (word.size() <= hidden.size() || word.compare(word.size() - hidden.size(), hidden.size(), hidden) != 0)
            continue;
        const std::string key = word.substr(0, word.size() - hidden.size() + 1);
        word = key + "-";
        for (std::string& other : want_words)
            if (starts_with(other, key.c_str())) other = key + "-";
    }
    auto join = [](const std::vector<std::string>& words) {
        std::string line = " ";
        for (const std::string& word : words) line += " " + word;
        return line;
    };
    *wanted = join(want_words);
    *seen = join(seen_words);
}

// The source of the scenario being run, as far as the checks need it.
struct SourceShape {
    int64_t frames = 1000, samples = 8000;
};

struct ClipShape {
    int64_t frames, samples, rate, bps;
    bool audio_shown;
};

// The buffer a list result describes, byte by byte: source samples where a
// source request wrote, the fill of silence, 0xEE where nothing wrote. With
// `source` given, source positions outside it are silence.
std::vector<int> audio_image(const std::vector<std::string>& lines, int64_t bytes, int64_t bps, bool* guard,
                             const SourceShape* source) {
    std::vector<int> image(static_cast<size_t>(bytes), -1);
    auto fill = [&](int64_t at, int64_t n, auto value) {
        for (int64_t i = std::max<int64_t>(at, 0); i < std::min(at + n, bytes); ++i) image[size_t(i)] = value(i - at);
    };
    for (const std::string& line : lines) {
        if (starts_with(line, "  source audio ")) {
            const int64_t start = field(line, "start");
            fill(field(line, "at"), field(line, "count") * bps, [&](int64_t k) {
                const int64_t s = start + k / bps;
                if (source && (s < 0 || s >= source->samples)) return 0;
                return int(source_sample_byte(s, k % bps));
            });
        } else if (starts_with(line, "  silence ")) {
            const int value = int(field(line, "fill"));
            fill(field(line, "at"), field(line, "bytes"), [&](int64_t) { return value; });
        } else if (starts_with(line, "  unwritten ")) {
            fill(field(line, "at"), field(line, "bytes"), [](int64_t) { return int(kFillByte); });
        } else if (line == "  guard overwritten") {
            *guard = true;
        }
    }
    return image;
}

class Checker {
public:
    explicit Checker(const HostView& view) : view_(view) {}
    void compare(const Block& want, const Block& got);
    bool passed() const { return failures_ == 0; }
    void summary() const {
        std::printf("%s: %d results checked, %d failed; not shown by the host:\n", view_.name, checked_, failures_);
        for (const auto& [what, count] : hidden_) std::printf("  %4d  %s\n", count, what.c_str());
    }

private:
    void hide(const char* what, int count = 1) { hidden_[what] += count; }
    void expect(bool same, const Block& want, const std::vector<std::string>& wanted, const std::vector<std::string>& seen);
    // The results less the lines the host does not show.
    std::vector<std::string> shown(const std::vector<std::string>& results) {
        std::vector<std::string> kept;
        for (const std::string& line : results) {
            if (starts_with(line, "  source refs ")) {
                hide("source reference counts");
            } else if (starts_with(line, "  source frame ") || starts_with(line, "  source parity ") ||
                       starts_with(line, "  source audio ")) {
                hide("source requests");
            } else {
                kept.push_back(line.substr(0, line.find(" refs ")));  // a frame's count is the host's
            }
        }
        return kept;
    }
    void source_action(std::istringstream& words);
    void check_clip(const Block& want, const Block& got, bool created);
    void check_frame(const Block& want, const Block& got, int64_t n);
    void check_audio(const Block& want, const Block& got, int64_t start, int64_t count);

    const HostView& view_;
    std::string scenario_;
    bool left_out_ = false;  // the host cannot run this scenario
    SourceShape source_;
    std::vector<ClipShape> clips_;
    int checked_ = 0;
    int failures_ = 0;
    std::map<std::string, int> hidden_;
};

void Checker::expect(bool same, const Block& want, const std::vector<std::string>& wanted,
                     const std::vector<std::string>& seen) {
    ++checked_;
    if (same) return;
    ++failures_;
    std::printf("FAILED in scenario %s: %s\n  expected:\n", scenario_.c_str(), want.action.c_str());
    for (const std::string& line : wanted) std::printf("  %s\n", line.c_str());
    std::printf("  %s:\n", view_.name);
    for (const std::string& line : seen) std::printf("  %s\n", line.c_str());
}

void Checker::source_action(std::istringstream& words) {
    for (std::string pair; words >> pair;) {
        if (starts_with(pair, "frames=")) source_.frames = std::stoll(pair.substr(7));
        if (starts_with(pair, "samples=")) source_.samples = std::stoll(pair.substr(8));
    }
}

void Checker::compare(const Block& want, const Block& got) {
    std::istringstream words(want.action);
    std::string kind;
    words >> kind;
    if (kind == "scenario") {
        words >> scenario_;
        left_out_ = false;
        source_ = SourceShape{};
    }
    if (kind == "source") source_action(words);
    if (left_out_) {
        hide("actions of scenarios the host cannot run");
        return;
    }

    if (kind == "load") {
        hide("registration details (the host shows that Jobcut exists)");
    } else if (kind == "version") {
        hide("GetVersion (the host answers for its own cache)");
    } else if (kind == "create" || kind == "info") {
        if (view_.not_applicable && !got.results.empty() && starts_with(got.results[0], view_.not_applicable)) {
            left_out_ = true;
            hide("scenarios the host cannot run");
            return;
        }
        check_clip(want, got, kind == "create");
    } else if (kind == "release") {
        shown(want.results);
        if (!clips_.empty()) clips_.pop_back();
    } else if (kind == "frame") {
        int64_t n;
        words >> n;
        check_frame(want, got, n);
    } else if (kind == "parity") {
        const std::vector<std::string> wanted = shown(want.results), seen = shown(got.results);
        if (view_.shows_parity)
            expect(wanted == seen, want, wanted, seen);
        else
            hide("field parity");
    } else if (kind == "audio") {
        int64_t start, count;
        words >> start >> count;
        check_audio(want, got, start, count);
    } else if (!want.results.empty() || !got.results.empty()) {
        expect(want.results == got.results, want, want.results, got.results);
    }
}

void Checker::check_clip(const Block& want, const Block& got, bool created) {
    std::vector<std::string> wanted = shown(want.results), seen = shown(got.results);
    for (size_t i = 0; i < wanted.size() && i < seen.size(); ++i) {
        if (starts_with(wanted[i], "  vi ") && starts_with(seen[i], "  vi ")) mask_unshown(&wanted[i], &seen[i]);
        if (view_.messages_in_utf8 && starts_with(wanted[i], "  error ")) wanted[i] = as_utf8(wanted[i]);
    }
    expect(wanted == seen, want, wanted, seen);
    if (created && !wanted.empty() && wanted[0] == "  clip" && wanted.size() > 1) {
        const std::string& vi = want.results[1];
        const bool audio_shown = seen.size() > 1 && field(got.results[1], "rate") != kNotShown;
        clips_.push_back({field(vi, "frames"), field(vi, "samples"), field(vi, "rate"),
                          jobcut::bytes_per_audio_sample(int32_t(field(vi, "type")), int32_t(field(vi, "channels"))),
                          audio_shown});
    }
}

void Checker::check_frame(const Block& want, const Block& got, int64_t n) {
    std::vector<std::string> wanted = shown(want.results);
    const std::vector<std::string> seen = shown(got.results);
    if (clips_.empty() || n < 0 || n >= clips_.back().frames) {
        hide("frames outside the clip (the host clamps the number)");
        return;
    }
    if (view_.clamps_to_source)
        for (std::string& line : wanted)
            if (starts_with(line, "  got frame ") && std::stoll(line.substr(12)) >= source_.frames)
                line = "  got frame " + std::to_string(source_.frames - 1);
    expect(wanted == seen, want, wanted, seen);
}

void Checker::check_audio(const Block& want, const Block& got, int64_t start, int64_t count) {
    shown(want.results);
    if (clips_.empty()) return;
    const ClipShape& clip = clips_.back();
    if (!clip.audio_shown) {
        hide("audio of clips whose audio the host cannot hold");
        return;
    }
    const int64_t bytes = count > 0 ? count * clip.bps : 0;
    bool want_guard = false, got_guard = false;
    const std::vector<int> wanted =
        audio_image(want.results, bytes, clip.bps, &want_guard, view_.clamps_to_source ? &source_ : nullptr);
    const std::vector<int> seen = audio_image(got.results, bytes, clip.bps, &got_guard, nullptr);
    // The host answers samples outside 0..num_audio_samples-1 itself, and a
    // clip without an audio rate entirely.
    const int64_t first = clip.rate == 0 ? 0 : std::clamp<int64_t>(-start, 0, std::max<int64_t>(count, 0));
    const int64_t last = clip.rate == 0 ? 0 : std::clamp<int64_t>(clip.samples - start, first, std::max<int64_t>(count, 0));
    if (first > 0 || last < count) hide("audio samples outside the clip (the host fills them)", int(count - (last - first)));
    if (first == last) return;
    // The bytes the host shows, in hex, for a failure's report.
    auto hex = [&](const std::vector<int>& image, bool guard) {
        std::string text = "  bytes " + std::to_string(first * clip.bps) + ".." + std::to_string(last * clip.bps - 1) + ":";
        char byte[4];
        for (int64_t i = first * clip.bps; i < last * clip.bps; ++i) {
            std::snprintf(byte, sizeof byte, " %02X", image[size_t(i)] & 0xFF);
            text += byte;
        }
        return std::vector<std::string>{text + (guard ? " (guard overwritten)" : "")};
    };
    bool same = want_guard == got_guard;
    for (int64_t i = first * clip.bps; i < last * clip.bps; ++i) same = same && wanted[size_t(i)] == seen[size_t(i)];
    expect(same, want, hex(wanted, want_guard), hex(seen, got_guard));
}

}  // namespace

std::string as_utf8(const std::string& text) {
    std::string shown;
    for (size_t i = 0; i < text.size();) {
        const unsigned char lead = text[i];
        size_t length = lead < 0x80 ? 1 : lead >= 0xC2 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3
                                     : lead >= 0xF0 && lead <= 0xF4 ? 4 : 0;
        for (size_t k = 1; k < length; ++k)
            if (i + k >= text.size() || (static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) length = 0;
        // No test name holds an overlong form or a surrogate: the lead and the
        // continuation bytes decide here.
        if (length == 0) {
            shown += "\xEF\xBF\xBD";
            ++i;
        } else {
            shown.append(text, i, length);
            i += length;
        }
    }
    return shown;
}

int check_transcript(const HostView& view, const std::string& list, const std::string& transcript, int run_status) {
    const std::vector<Block> wanted = blocks_of(list), seen = blocks_of(transcript);
    Checker checker(view);
    for (size_t i = 0; i < wanted.size() && i < seen.size(); ++i) {
        if (wanted[i].action != seen[i].action) {
            std::printf("the %s's transcript lost its place at: %s\n", view.name, wanted[i].action.c_str());
            return 1;
        }
        checker.compare(wanted[i], seen[i]);
    }
    checker.summary();
    if (run_status != 0 || wanted.size() != seen.size()) {
        std::printf("the run stopped after %zu of %zu actions:\n%s", seen.size(), wanted.size(), transcript.c_str());
        return 1;
    }
    return checker.passed() ? 0 : 1;
}

}  // namespace scenario
