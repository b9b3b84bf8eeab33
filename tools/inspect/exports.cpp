#include "tools/inspect/exports.h"

#include <algorithm>
#include <cstdio>
#include <numeric>

#include "tools/inspect/clip_rows.h"
#include "tools/inspect/report_text.h"

namespace inspect {
namespace {

std::string num(int64_t value) { return std::to_string(value); }

// Text for a comment line: a line break in a file name would end the comment.
std::string one_line(const std::string& text) {
    std::string out;
    for (const char c : text) out += static_cast<unsigned char>(c) < 0x20 ? '?' : c;
    return out;
}

bool has_warning(const FilterRun& result, const char* kind) {
    return std::any_of(result.warnings.begin(), result.warnings.end(),
                       [&](const Warning& warning) { return warning.kind == kind; });
}

// The samples of each range, in order, cut at the clip's audio length.
void add_piece(std::vector<AudioPiece>* pieces, bool silence, int64_t start, int64_t count) {
    if (count <= 0) return;
    if (!pieces->empty()) {
        AudioPiece& last = pieces->back();
        if (last.silence == silence && (silence || last.start + last.count == start)) {
            last.count += count;
            return;
        }
    }
    pieces->push_back({silence, silence ? 0 : start, count});
}

// Assert lines that stop the script when its clip is not the source the cut was made for.
std::string source_checks(const jobcut::VideoInfo& source) {
    const std::string said = "jobcut-inspect made this cut for a clip of ";
    auto check = [](const std::string& condition, const std::string& message) {
        return "Assert(" + condition + ", " + message + ")\n";
    };
    std::string out;
    out += check("FrameCount(last) == " + num(source.num_frames),
                 "\"" + said + num(source.num_frames) + " frames, not \" + String(FrameCount(last)) + "
                 "\": run it again with --frames \" + String(FrameCount(last))");
    const std::string fps = "String(FrameRateNumerator(last)) + \"/\" + String(FrameRateDenominator(last))";
    out += check("FrameRateNumerator(last) == " + num(source.fps_numerator) + " && FrameRateDenominator(last) == " +
                     num(source.fps_denominator),
                 "\"" + said + num(source.fps_numerator) + "/" + num(source.fps_denominator) + " fps, not \" + " +
                     fps + " + \": run it again with --fps \" + " + fps);
    out += check("AudioRate(last) == " + num(source.audio_samples_per_second),
                 "\"" + said + "audio at " + num(source.audio_samples_per_second) +
                     " Hz, not \" + String(AudioRate(last)) + \": run it again with --audio-rate \" + "
                     "String(AudioRate(last))");
    if (source.audio_samples_per_second == 0) return out;
    out += check("AudioChannels(last) == " + num(source.nchannels),
                 "\"" + said + num(source.nchannels) + " audio channels, not \" + String(AudioChannels(last)) + "
                 "\": run it again with --channels \" + String(AudioChannels(last))");
    const bool is_float = source.sample_type == jobcut::kSampleFloat;
    const int bits = static_cast<int>(jobcut::bytes_per_audio_sample(source.sample_type, 1)) * 8;
    out += check(std::string(is_float ? "" : "!") + "IsAudioFloat(last) && AudioBits(last) == " + num(bits),
                 "\"" + said + sample_type_name(source.sample_type) +
                     " audio, not \" + (IsAudioFloat(last) ? \"float\" : (AudioBits(last) == 8 ? \"u8\" : \"s\" + "
                     "String(AudioBits(last)))) + \": run it again with --sample-type \" + (IsAudioFloat(last) ? "
                     "\"float\" : (AudioBits(last) == 8 ? \"u8\" : \"s\" + String(AudioBits(last))))");
    // The host's script integers hold 31 bits: the length in two parts.
    constexpr int64_t kPart = 1000000000;
    const std::string high = "AudioLengthHi(last, " + num(kPart) + ")", low = "AudioLengthLo(last, " + num(kPart) + ")";
    const std::string length = "(" + high + " == 0 ? String(" + low + ") : String(" + high + ") + RightStr(String(" +
                               num(kPart) + " + " + low + "), 9))";
    out += check(high + " == " + num(source.num_audio_samples / kPart) + " && " + low + " == " +
                     num(source.num_audio_samples % kPart),
                 "\"" + said + num(source.num_audio_samples) + " audio samples, not \" + " + length +
                     " + \": run it again with --audio-samples \" + " + length);
    return out;
}

// One sample per frame of the carrier clip, or `step` samples when the
// positions would not fit the host's frame numbers otherwise.
int64_t sample_step(const std::vector<AudioPiece>& pieces) {
    int64_t reach = 0;
    for (const AudioPiece& piece : pieces) reach = std::max(reach, piece.start + piece.count);
    if (reach <= INT32_MAX) return 1;
    int64_t step = 0;
    for (const AudioPiece& piece : pieces) step = std::gcd(std::gcd(step, piece.start), piece.count);
    if (step == 0 || reach / step > INT32_MAX)
        throw UsageError{"--avs: the audio positions run past " + num(INT32_MAX) +
                         " samples and share no step that AviSynth's frame numbers could count in"};
    return step;
}

std::string avs_video(const FilterRun& result) {
    std::string out = "jobcut_frames = jobcut_source.KillAudio()\n";
    for (size_t i = 0; i < result.frame_runs.size(); ++i) {
        const FrameRun& run = result.frame_runs[i];
        std::string piece = "jobcut_frames.Trim(" + num(run.source) + ", -" + num(run.held ? 1 : run.count) + ")";
        if (run.held && run.count > 1) piece += ".Loop(" + num(run.count) + ")";
        out += i == 0 ? "jobcut_cut = " + piece + "\n" : "jobcut_cut = jobcut_cut + " + piece + "\n";
    }
    return out;
}

// Trim and its aligned splice round each piece's audio to its own frames:
// the audio is cut apart, over a clip of one frame per sample.
std::string avs_audio(const FilterRun& result) {
    const std::vector<AudioPiece> pieces = audio_pieces(result);
    const int64_t step = sample_step(pieces);
    const jobcut::VideoInfo& source = result.source;
    const int64_t carrier = std::max<int64_t>(source.num_audio_samples / step, 1);
    std::string out = "jobcut_samples = AudioDub(BlankClip(jobcut_source, length=" + num(carrier) + ", fps=" +
                      num(source.audio_samples_per_second) + ", fps_denominator=" + num(step) +
                      ").KillAudio(), jobcut_source)\n";
    // BlankClip's silence is 0x00 in every sample type; unsigned 8-bit silence is 0x80.
    const std::string silence_type =
        source.sample_type == jobcut::kSampleInt8 ? ", sample_type=\"16bit\").ConvertAudioTo8bit()" : ")";
    for (size_t i = 0; i < pieces.size(); ++i) {
        const AudioPiece& p = pieces[i];
        const std::string piece =
            p.silence ? "BlankClip(jobcut_samples, length=" + num(p.count / step) + silence_type
                      : "jobcut_samples.Trim(" + num(p.start / step) + ", -" + num(p.count / step) + ")";
        out += i == 0 ? "jobcut_sound = " + piece + "\n" : "jobcut_sound = jobcut_sound + " + piece + "\n";
    }
    if (pieces.empty()) out += "jobcut_sound = BlankClip(jobcut_samples, length=0)\n";
    return out + "AudioDub(jobcut_cut, jobcut_sound)\n";
}

std::string ffmpeg_video(const FilterRun& result) {
    const std::vector<FrameRun>& runs = result.frame_runs;
    std::string out, joined;
    if (runs.size() > 1) {
        out = "[0:v]split=" + num(runs.size());
        for (size_t i = 0; i < runs.size(); ++i) out += "[f" + num(i) + "]";
        out += ";\n";
    }
    for (size_t i = 0; i < runs.size(); ++i) {
        const FrameRun& run = runs[i];
        const int64_t end = run.source + (run.held ? 1 : run.count);
        out += (runs.size() > 1 ? "[f" + num(i) + "]" : "[0:v]") + "trim=start_frame=" + num(run.source) +
               ":end_frame=" + num(end) + ",setpts=PTS-STARTPTS";
        if (run.held && run.count > 1) out += ",loop=loop=" + num(run.count - 1) + ":size=1:start=0";
        out += "[c" + num(i) + "];\n";
        joined += "[c" + num(i) + "]";
    }
    // concat gives a one-frame piece no duration: the time stamps are counted again after it.
    return out + joined + "concat=n=" + num(runs.size()) + ":v=1:a=0,settb=expr=" +
           num(result.source.fps_denominator) + "/" + num(result.source.fps_numerator) + ",setpts=N[v]";
}

std::string ffmpeg_audio(const FilterRun& result) {
    const std::vector<AudioPiece> pieces = audio_pieces(result);
    const jobcut::VideoInfo& source = result.source;
    size_t from_source = 0;
    for (const AudioPiece& piece : pieces) from_source += piece.silence ? 0 : 1;
    std::string out, joined;
    if (from_source > 1) {
        out = "[0:a]asplit=" + num(from_source);
        for (size_t i = 0; i < from_source; ++i) out += "[s" + num(i) + "]";
        out += ";\n";
    }
    size_t taken = 0;
    for (size_t i = 0; i < pieces.size(); ++i) {
        const AudioPiece& p = pieces[i];
        if (p.silence) {
            out += "anullsrc=r=" + num(source.audio_samples_per_second) + ":cl=" + num(source.nchannels) +
                   "c,atrim=end_sample=" + num(p.count);
        } else {
            out += (from_source > 1 ? "[s" + num(taken++) + "]" : "[0:a]") + "atrim=start_sample=" + num(p.start) +
                   ":end_sample=" + num(p.start + p.count) + ",asetpts=PTS-STARTPTS";
        }
        out += "[p" + num(i) + "];\n";
        joined += "[p" + num(i) + "]";
    }
    if (pieces.empty())
        return out + "anullsrc=r=" + num(source.audio_samples_per_second) + ":cl=" + num(source.nchannels) +
               "c,atrim=end_sample=0[a]";
    return out + joined + "concat=n=" + num(pieces.size()) + ":v=0:a=1,asetpts=N/SR/TB[a]";
}

// Characters FFmpeg's metadata format gives a meaning, backslashed.
std::string metadata_text(const std::string& text) {
    std::string out;
    for (const char c : text) {
        if (c == '=' || c == ';' || c == '#' || c == '\\' || c == '\n') out += '\\';
        out += c;
    }
    return out;
}

}  // namespace

std::vector<AudioPiece> audio_pieces(const FilterRun& result) {
    std::vector<AudioPiece> pieces;
    if (result.source.audio_samples_per_second == 0) return pieces;
    int64_t left = result.clip.num_audio_samples;
    const int64_t source_end = result.source.num_audio_samples;
    for (const jobcut::SubsetEntry& row : result.rows) {
        const int64_t take = std::min(row.audio_length, left);
        if (take <= 0) continue;
        const int64_t inside = std::clamp<int64_t>(source_end - row.audio_start, 0, take);
        add_piece(&pieces, false, row.audio_start, inside);
        add_piece(&pieces, true, 0, take - inside);
        left -= take;
    }
    add_piece(&pieces, true, 0, left);  // past the last range the filter writes silence
    return pieces;
}

std::string avs_string(const std::string& text) {
    return text.find('"') == std::string::npos ? "\"" + text + "\"" : "\"\"\"" + text + "\"\"\"";
}

std::string python_string(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20 || byte == 0x7f) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02x", byte);
            out += escape;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string avs_export(const Options& options, const FilterRun& result) {
    std::string out = "# Made by jobcut-inspect " JOBCUT_VERSION " from " + one_line(avs_string(options.settings_file)) +
                      ": the clip Jobcut(last, " + one_line(avs_string(options.settings_file)) +
                      ") gives, in AviSynth's own filters.\n";
    const std::vector<AudioPiece> pieces = audio_pieces(result);
    const bool whole_audio = result.source.audio_samples_per_second == 0 ||
                             (pieces.size() == 1 && !pieces[0].silence && pieces[0].start == 0 &&
                              pieces[0].count == result.source.num_audio_samples);
    if (result.warnings_checked && has_warning(result, "no_subset_lines") && whole_audio) {
        return out + "# The file holds no subset line: Jobcut leaves the clip whole, and so does this.\nlast\n";
    }
    out += "# Made for a source of " + source_text(result) + "; the Asserts stop any other.\n";
    out += source_checks(result.source);
    out += "jobcut_source = last\n" + avs_video(result);
    if (result.source.audio_samples_per_second == 0) return out + "jobcut_cut\n";
    return out + avs_audio(result);
}

std::string ffmpeg_export(const FilterRun& result) {
    std::string out = ffmpeg_video(result);
    if (result.source.audio_samples_per_second != 0) out += ";\n" + ffmpeg_audio(result);
    return out + "\n";
}

std::string qpfile_export(const FilterRun& result) {
    std::string out;
    for (size_t i = 1; i < result.rows.size(); ++i) out += num(first_output_frame(result.rows, i)) + " I -1\n";
    return out;
}

std::string chapters_export(const FilterRun& result) {
    std::string out = ";FFMETADATA1\n";
    for (size_t i = 0; i < result.rows.size(); ++i) {
        const jobcut::SubsetEntry& row = result.rows[i];
        out += "\n[CHAPTER]\nTIMEBASE=" + num(result.clip.fps_denominator) + "/" + num(result.clip.fps_numerator) +
               "\nSTART=" + num(first_output_frame(result.rows, i)) + "\nEND=" + num(row.frame_end) + "\ntitle=" +
               metadata_text("Range " + num(i + 1) + ", " + kind_name(row) + ": source frames " +
                             span_text(row.start, source_end(row))) +
               "\n";
    }
    return out;
}

}  // namespace inspect
