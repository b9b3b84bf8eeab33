#include "tools/inspect/options.h"

#include <cstdint>
#include <functional>
#include <map>

#include "host/avisynth/sample_type.h"

namespace inspect {

const char kUsage[] =
    "usage: jobcut-inspect [options] SETTINGS_FILE\n"
    "Shows the clip Jobcut makes of a VirtualDub settings file over a source clip.\n"
    "source clip:\n"
    "  --frames N           frames (default 100000)\n"
    "  --fps NUM/DEN        frame rate (default 30000/1001)\n"
    "  --audio-rate R       audio samples per second, 0 for no audio (default 48000)\n"
    "  --channels C         audio channels (default 2)\n"
    "  --sample-type T      u8, s16, s24, s32 or float (default s16)\n"
    "  --audio-samples S    audio length (default: as long as the frames last)\n"
    "probes:\n"
    "  --map-frames A:B     the source frame shown for each output frame A to B\n"
    "  --audio-request S:C  the source requests and silence of one request for C samples from S\n"
    "output:\n"
    "  --json               JSON instead of the table\n"
    "  --svg FILE           also write a timeline picture to FILE\n"
    "  --html FILE          also write a one-page report to FILE, for a refused file too\n"
    "exports (not for a refused file):\n"
    "  --avs FILE           the same cut as an AviSynth script of built-in filters over last\n"
    "  --ffmpeg FILE        the same cut as an ffmpeg filtergraph (-filter_complex_script)\n"
    "  --qpfile FILE        an x264/x265 qpfile: a keyframe where each range after the first begins\n"
    "  --chapters FILE      FFmpeg chapter metadata: one chapter per range\n"
    "  -h, --help           this text\n"
    "  --version            print the version\n"
    "exit status: 0 done, 1 the filter refused the file, 2 bad command line\n";

namespace {

// Probes keep every frame and the whole audio buffer in memory at once.
constexpr int64_t kMaxMappedFrames = 1000000;
constexpr int64_t kMaxAudioBufferBytes = int64_t{256} << 20;

const std::map<std::string, int> kSampleTypes = {{"u8", jobcut::kSampleInt8},   {"s16", jobcut::kSampleInt16},
                                                  {"s24", jobcut::kSampleInt24}, {"s32", jobcut::kSampleInt32},
                                                  {"float", jobcut::kSampleFloat}};

// A decimal whole number with an optional minus sign, nothing else.
int64_t whole_number(const std::string& option, const std::string& text, int64_t low, int64_t high) {
    const bool negative = !text.empty() && text[0] == '-';
    const size_t first = negative ? 1 : 0;
    if (first == text.size()) throw UsageError{option + ": \"" + text + "\" is not a whole number"};
    uint64_t magnitude = 0;
    bool too_big = false;
    for (size_t i = first; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') throw UsageError{option + ": \"" + text + "\" is not a whole number"};
        too_big = too_big || magnitude > (UINT64_MAX - 9) / 10;
        magnitude = magnitude * 10 + static_cast<uint64_t>(text[i] - '0');
    }
    const uint64_t reach = negative ? uint64_t{1} << 63 : uint64_t{INT64_MAX};
    const int64_t value = negative ? static_cast<int64_t>(0 - magnitude) : static_cast<int64_t>(magnitude);
    if (too_big || magnitude > reach || value < low || value > high)
        throw UsageError{option + ": " + text + " is out of range (" + std::to_string(low) + " to " +
                         std::to_string(high) + ")"};
    return value;
}

// "FIRST<separator>SECOND", split at the first separator after the first character
// so that a leading minus sign stays with the first number.
std::pair<std::string, std::string> split_pair(const std::string& option, const std::string& text, char separator,
                                               const char* shape) {
    const size_t at = text.find(separator, 1);
    if (at == std::string::npos)
        throw UsageError{option + ": \"" + text + "\" is not " + shape};
    return {text.substr(0, at), text.substr(at + 1)};
}

void check_audio_buffer(const Options& options) {
    const int64_t bps = jobcut::bytes_per_audio_sample(options.sample_type, options.channels);
    if (options.audio_request && bps > 0 && options.audio_request->count > kMaxAudioBufferBytes / bps)
        throw UsageError{"--audio-request: " + std::to_string(options.audio_request->count) +
                         " samples need a buffer over " + std::to_string(kMaxAudioBufferBytes) + " bytes"};
}

}  // namespace

const char* sample_type_name(int sample_type) {
    for (const auto& [name, code] : kSampleTypes)
        if (code == sample_type) return name.c_str();
    return "?";
}

Options parse_options(int argc, const char* const* argv) {
    Options options;
    using Handler = std::function<void(const std::string& option, const std::string& value)>;
    const std::map<std::string, Handler> valued = {
        {"--frames",
         [&](auto& o, auto& v) {
             options.frames = static_cast<int>(whole_number(o, v, 0, INT32_MAX));
             options.frames_given = true;
         }},
        {"--fps",
         [&](auto& o, auto& v) {
             const auto [numerator, denominator] = split_pair(o, v, '/', "NUM/DEN");
             options.fps_numerator = static_cast<unsigned>(whole_number(o, numerator, 1, UINT32_MAX));
             options.fps_denominator = static_cast<unsigned>(whole_number(o, denominator, 1, UINT32_MAX));
         }},
        {"--audio-rate",
         [&](auto& o, auto& v) { options.audio_rate = static_cast<int>(whole_number(o, v, 0, INT32_MAX)); }},
        {"--channels", [&](auto& o, auto& v) { options.channels = static_cast<int>(whole_number(o, v, 0, INT32_MAX)); }},
        {"--sample-type",
         [&](auto& o, auto& v) {
             const auto found = kSampleTypes.find(v);
             if (found == kSampleTypes.end()) throw UsageError{o + ": \"" + v + "\" is not u8, s16, s24, s32 or float"};
             options.sample_type = found->second;
         }},
        {"--audio-samples", [&](auto& o, auto& v) { options.audio_samples = whole_number(o, v, 0, INT64_MAX); }},
        {"--map-frames",
         [&](auto& o, auto& v) {
             const auto [first, last] = split_pair(o, v, ':', "FIRST:LAST");
             const FrameSpan span{static_cast<int>(whole_number(o, first, INT32_MIN, INT32_MAX)),
                                  static_cast<int>(whole_number(o, last, INT32_MIN, INT32_MAX))};
             if (span.last < span.first) throw UsageError{o + ": " + last + " is before " + first};
             if (int64_t{span.last} - span.first >= kMaxMappedFrames)
                 throw UsageError{o + ": at most " + std::to_string(kMaxMappedFrames) + " frames at once"};
             options.map_frames = span;
         }},
        {"--audio-request",
         [&](auto& o, auto& v) {
             const auto [start, count] = split_pair(o, v, ':', "START:COUNT");
             options.audio_request = AudioSpan{whole_number(o, start, INT64_MIN, INT64_MAX),
                                               whole_number(o, count, 0, INT64_MAX)};
         }},
        {"--svg", [&](auto&, auto& v) { options.svg_file = v; }},
        {"--html", [&](auto&, auto& v) { options.html_file = v; }},
        {"--avs", [&](auto&, auto& v) { options.avs_file = v; }},
        {"--ffmpeg", [&](auto&, auto& v) { options.ffmpeg_file = v; }},
        {"--qpfile", [&](auto&, auto& v) { options.qpfile_file = v; }},
        {"--chapters", [&](auto&, auto& v) { options.chapters_file = v; }},
    };

    bool have_file = false;
    bool options_end = false;
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        if (options_end || word.size() < 2 || word[0] != '-') {
            if (have_file) throw UsageError{"unexpected argument \"" + word + "\": one settings file only"};
            options.settings_file = word;
            have_file = true;
        } else if (word == "--") {
            options_end = true;
        } else if (word == "--json") {
            options.json = true;
        } else if (word == "-h" || word == "--help") {
            options.help = true;
        } else if (word == "--version") {
            options.version = true;
        } else {
            // "--name=value" or "--name value"; the value may begin with "-".
            const size_t equals = word.find('=');
            const std::string name = word.substr(0, equals);
            const auto handler = valued.find(name);
            if (handler == valued.end()) throw UsageError{"unknown option \"" + name + "\""};
            if (equals != std::string::npos) {
                handler->second(name, word.substr(equals + 1));
            } else {
                if (i + 1 == argc) throw UsageError{name + ": missing value"};
                handler->second(name, argv[++i]);
            }
        }
    }
    if (options.help || options.version) return options;
    if (!have_file) throw UsageError{"missing SETTINGS_FILE"};
    check_audio_buffer(options);
    return options;
}

}  // namespace inspect
