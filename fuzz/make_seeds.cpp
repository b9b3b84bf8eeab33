// Writes the seed inputs the fuzz targets start from.
//   make_seeds SETTINGS_OUT FILTER_OUT [SETTINGS_FILE...]
// SETTINGS_OUT gets settings files too large to keep in the repository (the
// largest accepted file and the first refused ones). FILTER_OUT gets filter
// inputs: each given and generated settings file over a few kinds of source,
// with frame, parity and audio requests around the clip's edges.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "fuzz/filter_input.h"
#include "tools/settings_text/settings_text.h"

namespace {

using fuzz_input::Request;

jobcut::VideoInfo source(int frames, unsigned fps_numerator, unsigned fps_denominator, int rate, int sample_type,
                         int channels) {
    jobcut::VideoInfo vi{};
    vi.num_frames = frames;
    vi.fps_numerator = fps_numerator;
    vi.fps_denominator = fps_denominator;
    vi.audio_samples_per_second = rate;
    vi.sample_type = sample_type;
    vi.nchannels = channels;
    if (fps_numerator != 0 && rate > 0) {
        const __int128 samples = __int128{frames} * rate * fps_denominator / fps_numerator;
        vi.num_audio_samples = samples > INT64_MAX ? INT64_MAX : static_cast<int64_t>(samples);
    }
    return vi;
}

const std::vector<jobcut::VideoInfo> kSources = {
    source(1000, 25, 1, 48000, 2, 2),         // 16-bit stereo
    source(500, 30000, 1001, 44100, 1, 1),    // 8-bit mono: silence is 0x80
    source(300, 24, 1, 96000, 4, 6),          // 24-bit, six channels
    source(100, 0, 1, 48000, 16, 2),          // no frame rate
    source(100, 25, 1, 0, 2, 2),              // no audio
    source(100, 1, UINT32_MAX, INT32_MAX, 2, 2),  // audio positions near the 64-bit limit
};

std::vector<Request> requests_around_edges(const jobcut::VideoInfo& vi) {
    const int last = vi.num_frames - 1;
    const int64_t samples = vi.num_audio_samples;
    return {
        {Request::kFrame, 0, 0, 0},
        {Request::kFrame, last / 2, 0, 0},
        {Request::kFrame, last, 0, 0},
        {Request::kFrame, last + 5, 0, 0},
        {Request::kFrame, -3, 0, 0},
        {Request::kParity, 7, 0, 0},
        {Request::kAudio, 0, 0, 100},
        {Request::kAudio, 0, samples / 2 - 50, 100},
        {Request::kAudio, 0, samples - 10, 100},
        {Request::kAudio, 0, -20, 40},
    };
}

std::string file_bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool write(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (out) return true;
    std::fprintf(stderr, "cannot write %s\n", path.c_str());
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s SETTINGS_OUT FILTER_OUT [SETTINGS_FILE...]\n", argv[0]);
        return 2;
    }
    const std::string settings_out = argv[1];
    const std::string filter_out = argv[2];

    const std::string largest = settings_text::largest_accepted();
    const std::vector<std::pair<std::string, std::string>> generated = {
        {"largest_accepted.vcf", largest},
        {"one_byte_too_big.vcf", largest + "\n"},
        {"one_row_too_many.vcf", settings_text::subset_lines(257, 10, 10)},
        {"sixteen_ranges.vcf", settings_text::subset_lines(16, 50, 20)},
    };
    std::vector<std::string> settings;
    for (const auto& [name, text] : generated) {
        if (!write(settings_out + "/" + name, text)) return 1;
        settings.push_back(text);
    }
    for (int i = 3; i < argc; ++i) settings.push_back(file_bytes(argv[i]));

    int written = 0;
    for (const std::string& text : settings) {
        for (const jobcut::VideoInfo& vi : kSources) {
            const std::string seed = fuzz_input::encode({vi, requests_around_edges(vi), text});
            if (!write(filter_out + "/seed-" + std::to_string(written++), seed)) return 1;
        }
    }
    return 0;
}
