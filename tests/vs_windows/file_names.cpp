// Settings files named beyond ASCII, in VapourSynth on Windows: the core hands
// every string to the plug-in as UTF-8, and the DLL must open the file that
// name means, whatever the system code page. Each case creates its file under
// its Unicode name through the wide-character file calls, then gives Jobcut
// and JobcutAudio the UTF-8 bytes (or bytes that are not UTF-8, which name no
// file) and checks the cut, or the exact message: VapourSynth's messages are
// UTF-8, so each byte of the name that is not shows as U+FFFD.
//
//   vapoursynth_file_names PLUGIN SOURCE_PLUGIN
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/scenario_runner/native_host.h"
#include "tests/vapoursynth/vs_core.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kFolder = "Vid\xC3\xA9os \xD0\x92\xD0\xB8\xD0\xB4\xD0\xB5\xD0\xBE \xE6\x98\xA0\xE5\x83\x8F";
constexpr const char* kSettings = "VirtualDub.subset.AddRange(10,5);\nVirtualDub.subset.AddRange(100,3);\n";
// The cut those lines make of the test sources (25 fps, 200 Hz, so 8 samples a frame).
const std::vector<std::pair<int, int>> kFrames = {{0, 10}, {4, 14}, {5, 100}, {7, 102}};
const std::vector<std::pair<int64_t, int64_t>> kAudioRows = {{80, 40}, {800, 24}};  // source start, samples

struct Case {
    const char* what;
    std::string create;  // the file made beforehand, as UTF-8 (relative to the working folder); "" for none
    std::string pass;    // the name handed to the plug-in; "ABSOLUTE" for `create` as a full path
    std::string error;   // the message both functions must give; "" when the cut must be made
};

constexpr const char* kBad = "\xEF\xBF\xBD";  // U+FFFD

std::string not_found(const std::string& name) { return "Jobcut: file not found - \"" + name + "\""; }

const std::string kInFolder = std::string(kFolder) + "\\cuts.vcf";

const std::vector<Case> kCases = {
    {"full path through a folder named in Latin, Cyrillic and CJK letters", kInFolder, "ABSOLUTE", ""},
    {"relative name through that folder", kInFolder, kInFolder, ""},
    {"a letter outside the Basic Multilingual Plane (a UTF-16 surrogate pair)", "\xF0\x9F\x8E\xAC cut.vcf",
     "\xF0\x9F\x8E\xAC cut.vcf", ""},
    {"a missing file in that folder, the message quoting the UTF-8 name", "",
     std::string(kFolder) + "\\absent.vcf", not_found(std::string(kFolder) + "\\absent.vcf")},
    // Bytes that are not UTF-8 name no file, even where a looser reading finds one.
    {"a Latin-1 byte where UTF-8 has two (\xC3\xA9.vcf exists)", "\xC3\xA9.vcf", "\xE9.vcf",
     not_found(std::string(kBad) + ".vcf")},
    {"an overlong form of 'a' (a.vcf exists)", "a.vcf", "\xC1\xA1.vcf",
     not_found(std::string(kBad) + kBad + ".vcf")},
    {"a sequence cut short by the end of the name (cuts.vcf exists)", "cuts.vcf", "cuts.vcf\xE6\x98",
     not_found(std::string("cuts.vcf") + kBad + kBad)},
    {"a stray continuation byte (cuts.vcf exists)", "cuts.vcf", "\x80" "cuts.vcf",
     not_found(std::string(kBad) + "cuts.vcf")},
};

// Why the made clips are not the cut kSettings lists, or "".
std::string check_cut(VSNode* video, VSNode* audio) {
    const VSVideoInfo& vi = *vstest::api()->getVideoInfo(video);
    if (vi.numFrames != 8) return "video has " + std::to_string(vi.numFrames) + " frames, expected 8";
    for (const auto& [n, source] : kFrames) {
        std::string error;
        const int shown = vstest::frame_position(video, n, &error);
        if (shown != source)
            return "frame " + std::to_string(n) + " shows source frame " + std::to_string(shown) + ", expected " +
                   std::to_string(source) + (error.empty() ? "" : " (" + error + ")");
    }
    const VSAudioInfo& ai = *vstest::api()->getAudioInfo(audio);
    if (ai.numSamples != 64) return "audio has " + std::to_string(ai.numSamples) + " samples, expected 64";
    std::string error;
    const std::vector<uint8_t> bytes = vstest::interleaved_audio(audio, 0, 64, &error);
    if (!error.empty() || bytes.size() != 64 * 4) return "audio not read: " + error;
    size_t at = 0;
    for (const auto& [start, samples] : kAudioRows)
        for (int64_t s = start; s < start + samples; ++s)
            for (int j = 0; j < 4; ++j, ++at)
                if (bytes[at] != scenario::source_sample_byte(s, j))
                    return "audio byte " + std::to_string(at) + " is not byte " + std::to_string(j) +
                           " of source sample " + std::to_string(s);
    return "";
}

// Why the case went otherwise than it must, or "".
std::string run_case(vstest::Core& core, const Case& c) {
    std::error_code ec;
    for (const fs::directory_entry& entry : fs::directory_iterator(fs::current_path(), ec)) fs::remove_all(entry, ec);
    if (!c.create.empty()) {
        const fs::path file = fs::u8path(c.create);
        fs::create_directories(file.parent_path(), ec);
        std::ofstream out(file, std::ios::binary);
        out << kSettings;
        if (!out) return "cannot write the settings file";
    }
    const std::string name = c.pass == "ABSOLUTE" ? fs::absolute(fs::u8path(c.create)).u8string() : c.pass;

    vstest::Result video_source = core.call("jobcuttest", "Video", vstest::Arguments{}.integer("frames", 1000));
    vstest::Result audio_source =
        core.call("jobcuttest", "Audio", vstest::Arguments{}.integer("samples", 8000).integer("rate", 200));
    if (!video_source.node || !audio_source.node) return "test source: " + video_source.error + audio_source.error;
    const vstest::Result video =
        core.call("jobcut", "Jobcut", vstest::Arguments{}.node("clip", video_source.node).text("filename", name));
    const vstest::Result audio = core.call("jobcut", "JobcutAudio",
                                           vstest::Arguments{}.node("clip", audio_source.node).text("filename", name)
                                               .integer("fpsnum", 25).integer("fpsden", 1));
    std::string problem;
    if (c.error.empty()) {
        if (!video.node || !audio.node)
            problem = "refused: " + video.error + (video.error == audio.error ? "" : " / " + audio.error);
        else
            problem = check_cut(video.node, audio.node);
    } else if (video.node || audio.node) {
        problem = "opened a file, expected: " + c.error;
    } else if (video.error != c.error || audio.error != c.error) {
        problem = "raised \"" + video.error + "\" and \"" + audio.error + "\", expected \"" + c.error + "\"";
    }
    for (VSNode* node : {video_source.node, audio_source.node, video.node, audio.node})
        if (node) vstest::api()->freeNode(node);
    return problem;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s PLUGIN SOURCE_PLUGIN\n", argv[0]);
        return 2;
    }
    const scenario::TempWorkingFolder folder("vs-names");
    if (!folder.ok()) return 2;
    int failed = 0;
    {
        vstest::Core core;
        for (const char* plugin : {argv[1], argv[2]}) {
            const std::string error = core.load(plugin);
            if (!error.empty()) {
                std::printf("FAIL loading %s: %s\n", plugin, error.c_str());
                return 1;
            }
        }
        for (const Case& c : kCases) {
            const std::string problem = run_case(core, c);
            std::printf("%s %s%s%s\n", problem.empty() ? "ok  " : "FAIL", c.what, problem.empty() ? "" : ": ",
                        problem.c_str());
            failed += !problem.empty();
        }
    }
    std::printf("%d of %zu file-name cases failed\n", failed, kCases.size());
    return failed ? 1 : 0;
}
