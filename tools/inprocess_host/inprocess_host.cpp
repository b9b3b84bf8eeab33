#include "tools/inprocess_host/inprocess_host.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "host/avisynth/sample_type.h"

namespace inprocess {
namespace {

[[noreturn]] void not_for_plugins(const char* member) {
    std::fprintf(stderr, "the plug-in called IScriptEnvironment::%s, which it must not use\n", member);
    std::abort();
}

}  // namespace

long Environment::GetCPUFlags() { not_for_plugins("GetCPUFlags"); }
char* Environment::SaveString(const char*, int) { not_for_plugins("SaveString"); }
char* Environment::Sprintf(const char*, ...) { not_for_plugins("Sprintf"); }
char* Environment::VSprintf(const char*, void*) { not_for_plugins("VSprintf"); }

void Environment::ThrowError(const char* fmt, ...) {
    char text[4096];
    va_list args;
    va_start(args, fmt);
    std::vsnprintf(text, sizeof text, fmt, args);
    va_end(args);
    throw ScriptError{text};
}

void Environment::AddFunction(const char* name, const char* params, ApplyFunc apply, void* user_data) {
    registered.push_back({name, params, apply, user_data});
}

unsigned char source_sample_byte(int64_t s, int64_t j) {
    int64_t m = ((s % 251) + 251) % 251;
    return static_cast<unsigned char>((m * 13 + j * 7 + 5) % 251);
}

jobcut::PVideoFrame SourceClip::GetFrame(int n, jobcut::IScriptEnvironment*) {
    if (record_calls) calls.push_back({SourceCall::kFrame, 0, n, 0});
    // A frame no handle holds any more is handed out again, as a host's frame
    // pool does: a long run of requests needs no more frames than are held at once.
    Frame* made = nullptr;
    for (Frame& frame : frames) {
        if (frame.frame.refcount == 0) {
            made = &frame;
            break;
        }
    }
    if (!made) {
        frames.push_back(Frame{{0, nullptr}, {nullptr, 0, 0, 0}});
        made = &frames.back();
    }
    made->frame.vfb = &made->buffer;
    made->buffer.refcount = 0;
    numbers[&made->frame] = n;
    return jobcut::PVideoFrame(&made->frame);
}

int SourceClip::frame_number(const jobcut::PVideoFrame& frame) const {
    const auto found = numbers.find(frame.operator->());
    return found == numbers.end() ? -1 : found->second;
}

bool SourceClip::GetParity(int n) {
    if (record_calls) calls.push_back({SourceCall::kParity, 0, n, 0});
    return n % 2 != 0;
}

void SourceClip::GetAudio(void* buffer, int64_t start, int64_t count, jobcut::IScriptEnvironment*) {
    auto* at = static_cast<unsigned char*>(buffer);
    if (record_calls) calls.push_back({SourceCall::kAudio, audio_base ? at - audio_base : -1, start, count});
    const int64_t bps = jobcut::bytes_per_audio_sample(info.sample_type, info.nchannels);
    // A sample type of unknown size has nothing to write, however many samples are asked for.
    if (!write_samples || bps == 0) return;
    for (int64_t s = 0; s < count; ++s)
        for (int64_t j = 0; j < bps; ++j) at[s * bps + j] = source_sample_byte(start + s, j);
}

std::vector<ByteSpan> bytes_not_from_source(const SourceClip& source, int64_t buffer_bytes) {
    const int64_t bps = jobcut::bytes_per_audio_sample(source.info.sample_type, source.info.nchannels);
    std::vector<ByteSpan> written;
    for (const SourceCall& call : source.calls)
        if (call.kind == SourceCall::kAudio && call.count > 0) written.push_back({call.at, call.count * bps});
    std::sort(written.begin(), written.end(), [](const ByteSpan& a, const ByteSpan& b) { return a.offset < b.offset; });
    std::vector<ByteSpan> gaps;
    int64_t at = 0;
    for (const ByteSpan& span : written) {
        if (span.offset > at) gaps.push_back({at, std::min(span.offset, buffer_bytes) - at});
        at = std::max(at, span.offset + span.bytes);
        if (at >= buffer_bytes) return gaps;
    }
    if (at < buffer_bytes) gaps.push_back({at, buffer_bytes - at});
    return gaps;
}

Plugin::Plugin() : entry_text(AvisynthPluginInit2(&env)) {
    if (env.registered.size() != 1) {
        std::fprintf(stderr, "the plug-in registered %zu functions\n", env.registered.size());
        std::abort();
    }
}

jobcut::PClip Plugin::create(jobcut::IClip* source, const char* name) {
    const jobcut::AVSValue elements[2] = {jobcut::AVSValue(source), name ? jobcut::AVSValue(name) : jobcut::AVSValue()};
    const jobcut::AVSValue args(elements, 2);
    // The host holds the arguments in its own copy. AviSynth+ on Linux, after
    // a successful call, releases the clip arguments once by hand, and once
    // more as the copy goes.
    jobcut::AVSValue result = registration().apply(args, registration().user_data, &env);
    if (jobcut::kHostReleasesClipArgumentsTwice) source->Release();
    return result.AsClip();
}

}  // namespace inprocess
