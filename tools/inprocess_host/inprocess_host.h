// A host inside the same process as the plug-in: an environment, source clips
// that record what they are asked for, and the plug-in's entry and create
// callback called as AviSynth+ on Linux calls them. For tools, fuzzers and
// benchmarks that link the plug-in's code directly.
#ifndef JOBCUT_TOOLS_INPROCESS_HOST_H
#define JOBCUT_TOOLS_INPROCESS_HOST_H

#include <cstdint>
#include <deque>
#include <string>
#include <unordered_map>
#include <vector>

#include "host/avisynth/avisynth.h"

namespace inprocess {

// The script error ThrowError raises.
struct ScriptError {
    std::string message;
};

struct Registration {
    std::string name;
    std::string params;
    jobcut::IScriptEnvironment::ApplyFunc apply;
    void* user_data;
};

class Environment final : public jobcut::IScriptEnvironment {
public:
    long JOBCUT_STDCALL GetCPUFlags() override;
    char* JOBCUT_STDCALL SaveString(const char* s, int length) override;
    char* JOBCUT_CDECL Sprintf(const char* fmt, ...) override;
    char* JOBCUT_STDCALL VSprintf(const char* fmt, void* val) override;
    void JOBCUT_CDECL ThrowError(const char* fmt, ...) override;
    void JOBCUT_STDCALL AddFunction(const char* name, const char* params, ApplyFunc apply, void* user_data) override;

    std::vector<Registration> registered;
};

// One call a source clip received. For audio, `at` is the destination's byte
// offset from the buffer set with expect_audio_buffer (or -1 without one).
struct SourceCall {
    enum Kind { kFrame, kParity, kAudio } kind;
    int64_t at, start, count;
};

// Byte j of source sample s, as every source writes it.
unsigned char source_sample_byte(int64_t s, int64_t j);

class SourceClip final : public jobcut::IClip {
public:
    explicit SourceClip(const jobcut::VideoInfo& info) : info(info) {}

    jobcut::PVideoFrame JOBCUT_STDCALL GetFrame(int n, jobcut::IScriptEnvironment* env) override;
    bool JOBCUT_STDCALL GetParity(int n) override;  // true for odd frames
    void JOBCUT_STDCALL GetAudio(void* buffer, int64_t start, int64_t count, jobcut::IScriptEnvironment* env) override;
    int JOBCUT_STDCALL SetCacheHints(int, int) override { return 0; }
    const jobcut::VideoInfo& JOBCUT_STDCALL GetVideoInfo() override { return info; }

    void expect_audio_buffer(const void* buffer) { audio_base = static_cast<const unsigned char*>(buffer); }
    // The source frame number a frame this clip made was made for (while it is
    // held: a released frame is handed out again), or -1 for any other frame.
    int frame_number(const jobcut::PVideoFrame& frame) const;

    jobcut::VideoInfo info;
    std::vector<SourceCall> calls;
    bool record_calls = true;
    bool write_samples = true;

private:
    struct Frame {
        jobcut::VideoFrame frame;
        jobcut::VideoFrameBuffer buffer;
    };
    std::deque<Frame> frames;  // the clip's frame pool: a frame stays put for the clip's life
    std::unordered_map<const jobcut::VideoFrame*, int> numbers;  // what each frame was last made for
    const unsigned char* audio_base = nullptr;
};

// A span of bytes in an audio buffer.
struct ByteSpan {
    int64_t offset, bytes;
};

// The parts of the first `buffer_bytes` bytes of the buffer set with
// expect_audio_buffer that none of the source's recorded audio calls wrote to,
// in buffer order: whatever is there was written by the filter itself.
std::vector<ByteSpan> bytes_not_from_source(const SourceClip& source, int64_t buffer_bytes);

// The plug-in, linked in: its entry is called once; create calls the callback
// it registered.
class Plugin {
public:
    Plugin();
    const Registration& registration() const { return env.registered.front(); }
    const char* entry_result() const { return entry_text; }

    // The new clip over `source` from the settings file `name` (left out when
    // null). Throws ScriptError with the plug-in's message when it refuses.
    jobcut::PClip create(jobcut::IClip* source, const char* name);

    Environment env;

private:
    const char* entry_text;
};

}  // namespace inprocess

extern "C" const char* JOBCUT_STDCALL AvisynthPluginInit2(jobcut::IScriptEnvironment* env);

#endif
