// A stand-in for AviSynth+ on Linux, laid out from the host's binary facts
// rather than from the plug-in's own declarations, so that a layout or
// convention fault in the plug-in shows up as a failure here instead of
// cancelling out. It loads the shared object with dlopen, calls its entry,
// calls the registered create callback as the host does (arguments released
// twice after a successful call), and calls the returned clip through its
// vtable slots.
#ifndef JOBCUT_TESTS_LINUX_HOST_HOST_MODEL_H
#define JOBCUT_TESTS_LINUX_HOST_HOST_MODEL_H

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace linux_host {

struct VideoInfo {
    int32_t width, height;
    uint32_t fps_numerator, fps_denominator;
    int32_t num_frames, pixel_type, audio_samples_per_second, sample_type;
    int64_t num_audio_samples;
    int32_t nchannels, image_type;
};
static_assert(sizeof(VideoInfo) == 48, "the host's VideoInfo is 48 bytes");

// What a source clip is asked for, in call order; `at` is the byte offset of an
// audio destination from the buffer registered with expect_buffer.
struct SourceCall {
    char kind;  // 'f' frame, 'p' parity, 'a' audio
    int64_t at, start, count;
};

// A clip the host makes: the plug-in sees an IClip (vptr @0, 64-bit count @8).
struct SourceClip {
    const void* const* vtable;
    std::atomic<int64_t> refcount;
    struct State* state;
};

// A frame a source made: count @0, buffer @8; the buffer's count @24.
struct FrameBuffer {
    unsigned char* data;
    int32_t data_size;
    int64_t sequence_number;
    std::atomic<int64_t> refcount;
};
struct Frame {
    std::atomic<int64_t> refcount;
    FrameBuffer* buffer;
    int32_t tag;  // the source frame number it was made for
};

struct State {
    VideoInfo vi;
    std::mutex lock;
    std::vector<SourceCall> calls;
    std::function<void(const SourceCall&)> observer;
    const unsigned char* audio_base = nullptr;
    bool destroyed = false;
};

class Host {
public:
    explicit Host(const std::string& library_path);
    ~Host();
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;

    struct Registration {
        std::string name, params;
        void* apply;
        void* user_data;
    };
    // Calls the entry; returns its text (null for none) and records registrations.
    const char* load();
    const std::vector<Registration>& registrations() const { return registered; }

    // A new source; the caller holds the one reference it starts with.
    SourceClip* make_source(const VideoInfo& vi);
    static void release_source(SourceClip* source);
    static int64_t refs(const SourceClip* source) { return source->refcount.load(); }

    // Calls the registered callback with [source, name] (a void value when name
    // is null). Returns the new clip, holding one reference for the caller, or
    // null with the raised text in *error.
    void* create(SourceClip* source, const char* name, std::string* error);

    // The plug-in's clip, called through its vtable.
    static int version(void* clip);
    // SetCacheHints(hints, 0)'s answer.
    static int cache_hint(void* clip, int hints);
    static const VideoInfo& info(void* clip);
    static Frame* frame(void* clip, int n);  // the handle's frame; the caller releases it
    static bool parity(void* clip, int n);
    static void audio(void* clip, void* buffer, int64_t start, int64_t count);
    static void add_ref(void* clip);
    static void release(void* clip);
    static void release_frame(Frame* frame);

private:
    void* library = nullptr;
    std::vector<Registration> registered;
};

}  // namespace linux_host

#endif
