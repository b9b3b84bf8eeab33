#include "tests/vapoursynth/vspipe_host.h"

#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <numeric>
#include <sstream>
#include <vector>

#include "tests/scenario_runner/transcript_check.h"
#include "tests/vapoursynth/avisynth_cut.h"
#include "tests/vapoursynth/scenario_host.h"

namespace vstest {
namespace {

namespace fs = std::filesystem;

// What a command printed on standard output, its standard error, and its status.
struct Run {
    std::string out, error;
    int status = -1;
};

Run run_once(const std::string& command) {
    Run result;
    const std::string errors = "vspipe-errors.txt";
    FILE* pipe = popen((command + " 2>" + errors).c_str(), "r");
    if (!pipe) return result;
    char chunk[65536];
    for (size_t got; (got = fread(chunk, 1, sizeof chunk, pipe)) > 0;) result.out.append(chunk, got);
    const int status = pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1;
    std::ifstream in(errors, std::ios::binary);
    result.error.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return result;
}

// vspipe R73 now and then dies of SIGSEGV as it exits, after writing all its
// output: its frame-done callback can still run on a worker thread while the
// main thread frees the script (seen in a core dump: the crash is in vspipe's
// own callback, while its main thread is in freeScript). Such a run
// is made again, at most twice; any other failure stands.
Run run(const std::string& command) {
    Run result = run_once(command);
    for (int again = 0; again < 2 && result.status == 128 + 11 && result.error.find("Output ") != std::string::npos;
         ++again)
        result = run_once(command);
    return result;
}

// A Python literal for a file name: a str when the bytes are UTF-8 (as a
// script names a file), else bytes, as a script holding raw bytes passes them.
std::string python_name(const std::string& name) {
    const bool utf8 = scenario::as_utf8(name) == name;
    std::string literal = utf8 ? "\"" : "b\"";
    for (unsigned char c : name) {
        char escaped[8];
        if (c == '"' || c == '\\') {
            literal += '\\';
            literal += static_cast<char>(c);
        } else if (c < 0x20 || (!utf8 && c >= 0x80)) {
            std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
            literal += escaped;
        } else {
            literal += static_cast<char>(c);
        }
    }
    return literal + "\"";
}

// The number after "KEY: " in vspipe's --info, or -1 when there is none
// ("FPS: Variable" for a clip without a frame rate).
int64_t info_field(const std::string& info, const char* key) {
    const size_t at = info.find(std::string("\n") + key + ": ");
    if (at == std::string::npos) return -1;
    const char* value = info.c_str() + at + std::strlen(key) + 3;
    char* end;
    const long long number = std::strtoll(value, &end, 10);
    return end == value ? -1 : number;
}

struct Rendered {
    scenario::Properties properties;
    std::vector<int> positions;  // output frame -> source frame its picture carries
    std::vector<uint8_t> audio;  // interleaved, as the wav holds it
    int64_t bytes_per_sample = 0;
};

class VspipeHost final : public ScenarioHost {
public:
    VspipeHost(std::ostream& transcript, std::string plugin, std::string source_plugin, std::string vspipe)
        : ScenarioHost(transcript), plugin_(std::move(plugin)), source_plugin_(std::move(source_plugin)),
          vspipe_(std::move(vspipe)) {}

    // Installs the plug-in in a user plug-in folder, named by the conf file
    // every vspipe run is given.
    bool load(scenario::Report& report) override {
        std::error_code ec;
        fs::create_directories("user-plugins", ec);
        fs::copy_file(plugin_, "user-plugins/libjobcut.so", fs::copy_options::overwrite_existing, ec);
        std::ofstream("vapoursynth.conf") << "UserPluginDir=" << fs::absolute("user-plugins").string() << "\n";
        if (ec) report.problem(ec.message().c_str());
        setenv("VAPOURSYNTH_CONF_PATH", fs::absolute("vapoursynth.conf").c_str(), 1);
        return !ec;
    }

    bool create(int source, const char* file_name, scenario::Report& report, int* clip, const char** error) override {
        const scenario::Properties& p = sources_.at(source);
        // The picture carries its number in its first 8 pixels.
        if (const char* why = not_applicable(p, file_name, 8)) return refuse(why, error);
        const bool audio = audio_applies(p);
        write_script(p, file_name, audio);
        const Run info = run(vspipe_ + " --info script.vpy -");
        if (info.status != 0) {
            std::ifstream in("raised.txt", std::ios::binary);
            std::string raised((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            const size_t split = raised.find('\n');
            const std::string type = raised.substr(0, split), text = split == std::string::npos ? "" : raised.substr(split + 1);
            if (type != "vapoursynth.Error") report.problem(("the script raised " + type).c_str());
            // vspipe names the script's exception on standard error, and stops.
            if (info.error.find("vapoursynth.Error: " + text) == std::string::npos)
                report.problem(("vspipe said: " + info.error.substr(0, 300)).c_str());
            if (text.rfind("JobcutAudio: the cut's audio comes to 0 samples", 0) == 0) {
                // VapourSynth holds no empty audio: the video alone, with the AviSynth clip's 0 samples.
                write_script(p, file_name, false);
                Rendered rendered;
                if (!render(p, false, report, &rendered)) return refuse("vspipe could not render the video", error);
                rendered.properties.audio_rate = p.audio_rate;
                rendered.properties.sample_type = p.sample_type;
                rendered.properties.channels = p.channels;
                rendered.properties.audio_samples = 0;
                *clip = new_id();
                clips_[*clip] = rendered;
                return true;
            }
            return raise(text, error);
        }
        Rendered rendered;
        if (!render(p, audio, report, &rendered)) return refuse("vspipe could not render the script", error);
        rendered.properties.width = static_cast<int32_t>(info_field(info.out, "Width"));
        rendered.properties.height = static_cast<int32_t>(info_field(info.out, "Height"));
        // "FPS: 25/1 (25.000 fps)", reduced as VapourSynth keeps it: the
        // scenario's own numbers when they are the same rate.
        const int64_t fps = info_field(info.out, "FPS");
        const uint32_t num = fps < 0 ? 0 : static_cast<uint32_t>(fps);
        const size_t line = info.out.find("\nFPS: ");
        const size_t slash = info.out.find('/', line);
        const uint32_t den = fps < 0 || slash > info.out.find('\n', line + 1)
                                 ? 1
                                 : static_cast<uint32_t>(std::strtoul(info.out.c_str() + slash + 1, nullptr, 10));
        rendered.properties.fps_numerator = num, rendered.properties.fps_denominator = den;
        if (uint64_t{num} * p.fps_denominator == uint64_t{den} * p.fps_numerator)
            rendered.properties.fps_numerator = p.fps_numerator, rendered.properties.fps_denominator = p.fps_denominator;
        if (static_cast<int64_t>(rendered.positions.size()) != info_field(info.out, "Frames"))
            report.problem("vspipe --info and -c y4m disagree on the frame count");
        check_whole_clip(p, file_name, audio, rendered, report);
        *clip = new_id();
        clips_[*clip] = rendered;
        return true;
    }

    int64_t source_refs(int) override { return 0; }
    scenario::Properties info(int clip, scenario::Report&) override { return clips_.at(clip).properties; }
    int version(int, scenario::Report&) override { return 0; }

    scenario::FrameResult frame(int id, int32_t n, scenario::Report&) override {
        const Rendered& clip = clips_.at(id);
        if (n < 0 || n >= static_cast<int32_t>(clip.positions.size())) return {false, 0, 0};
        return {true, clip.positions[n], 0};
    }

    bool parity(int, int32_t, scenario::Report&) override { return false; }

    void audio(int id, int64_t start, int64_t count, uint8_t* buffer, int64_t, scenario::Report&) override {
        const Rendered& clip = clips_.at(id);
        const int64_t bps = clip.bytes_per_sample, total = bps ? int64_t(clip.audio.size()) / bps : 0;
        for (int64_t s = std::max<int64_t>(start, 0); s < std::min(start + count, total); ++s)
            std::memcpy(buffer + scenario::kGuardBytes + (s - start) * bps, clip.audio.data() + s * bps, size_t(bps));
    }

    void release_clip(int id, scenario::Report&) override { clips_.erase(id); }
    int64_t live_allocations() override { return 0; }

private:
    // The script a user writes, with the test sources standing in for a film.
    void write_script(const scenario::Properties& p, const char* file_name, bool audio) {
        int64_t num = p.fps_numerator, den = p.fps_denominator;
        if (const int64_t common = std::gcd(num, den)) num /= common, den /= common;
        std::ofstream s("script.vpy", std::ios::binary);
        s << "import vapoursynth as vs\nfrom vapoursynth import core\n"
          << "core.std.LoadPlugin(path=" << python_name(source_plugin_) << ")\n"
          << "video = core.jobcuttest.Video(frames=" << p.num_frames << ", width=" << p.width << ", height=" << p.height
          << ", fpsnum=" << num << ", fpsden=" << den << ")\n";
        if (audio)
            s << "audio = core.jobcuttest.Audio(samples=" << p.audio_samples << ", rate=" << p.audio_rate
              << ", channels=" << p.channels << ", bits=" << (p.sample_type == 2 ? 16 : 32)
              << ", float=" << (p.sample_type == 16 ? 1 : 0) << ")\n";
        s << "try:\n"
          << "    video = core.jobcut.Jobcut(clip=video, filename=" << python_name(file_name) << ")\n";
        if (audio)
            s << "    audio = core.jobcut.JobcutAudio(clip=audio, filename=" << python_name(file_name)
              << ", fpsnum=" << p.fps_numerator << ", fpsden=" << p.fps_denominator << ")\n";
        s << "except Exception as e:\n"
          << "    with open('raised.txt', 'wb') as out:\n"
          << "        out.write((type(e).__module__ + '.' + type(e).__name__ + '\\n').encode())\n"
          << "        out.write(str(e).encode('utf-8', 'surrogateescape'))\n"
          << "    raise\n"
          << "video.set_output(0)\n";
        if (audio) s << "audio.set_output(1)\n";
    }

    bool render(const scenario::Properties& p, bool audio, scenario::Report& report, Rendered* out) {
        const Run video = run(vspipe_ + " -c y4m script.vpy -");
        if (video.status != 0) {
            report.problem(("vspipe -c y4m exited with " + std::to_string(video.status) + ": " +
                            video.error.substr(0, 300)).c_str());
            return false;
        }
        // YUV4MPEG2 header line, then "FRAME\n" and the Gray8 picture per frame.
        const size_t header = video.out.find('\n');
        const size_t picture = size_t(p.width) * size_t(p.height);
        for (size_t at = header + 1; at + 6 + picture <= video.out.size(); at += 6 + picture) {
            int32_t n;
            std::memcpy(&n, video.out.data() + at + 6, 4);
            out->positions.push_back(n);
        }
        out->properties = p;
        out->properties.num_frames = static_cast<int32_t>(out->positions.size());
        out->properties.pixel_type = out->properties.image_type = scenario::kNotShown;
        out->properties.audio_rate = out->properties.sample_type = out->properties.channels = scenario::kNotShown;
        out->properties.audio_samples = scenario::kNotShown;
        if (!audio) return true;
        const Run wav = run(vspipe_ + " -o 1 -c wav script.vpy -");
        const size_t data = wav.out.find("data");
        if (wav.status != 0 || wav.out.compare(0, 4, "RIFF") != 0 || data == std::string::npos) {
            report.problem(("vspipe -o 1 -c wav: " + wav.error.substr(0, 300)).c_str());
            return false;
        }
        // WAVE_FORMAT_EXTENSIBLE: channels at 22, rate at 24, bits at 34, sub-format (1 integer, 3 float) at 44.
        uint16_t channels, bits, format;
        uint32_t rate;
        std::memcpy(&channels, wav.out.data() + 22, 2);
        std::memcpy(&rate, wav.out.data() + 24, 4);
        std::memcpy(&bits, wav.out.data() + 34, 2);
        std::memcpy(&format, wav.out.data() + 44, 2);
        out->audio.assign(wav.out.begin() + static_cast<std::ptrdiff_t>(data + 8), wav.out.end());
        out->bytes_per_sample = int64_t{channels} * (bits / 8);
        out->properties.audio_rate = static_cast<int32_t>(rate);
        out->properties.sample_type = avisynth_sample_type(format == 3, bits);
        out->properties.channels = channels;
        out->properties.audio_samples = out->bytes_per_sample ? int64_t(out->audio.size()) / out->bytes_per_sample : 0;
        return true;
    }

    // Beyond the frames and samples the list names: every frame and every
    // sample vspipe rendered, against the AviSynth filter's cut of the file.
    void check_whole_clip(const scenario::Properties& p, const char* file_name, bool audio, const Rendered& rendered,
                          scenario::Report& report) {
        const jobcut::VideoInfo vi{p.width,      p.height,     p.fps_numerator, p.fps_denominator,
                                   p.num_frames, p.pixel_type, p.audio_rate,    p.sample_type,
                                   p.audio_samples, p.channels, p.image_type};
        AviSynthCut expected = avisynth_cut(avisynth_, vi, file_name);
        if (!expected.error.empty() || expected.frame != rendered.positions)
            report.problem("vspipe's frames are not the AviSynth filter's");
        if (audio && expected.audio(0, expected.samples) != rendered.audio)
            report.problem("vspipe's audio is not the AviSynth filter's");
    }

    std::string plugin_, source_plugin_, vspipe_;
    std::map<int, Rendered> clips_;
    inprocess::Plugin avisynth_;
};

}  // namespace

int run_with_vspipe(std::ostream& transcript, const std::string& list, const std::string& plugin,
                    const std::string& source_plugin, const std::string& vspipe) {
    VspipeHost host(transcript, plugin, source_plugin, vspipe);
    return scenario::run(host, list.data(), list.size());
}

}  // namespace vstest
