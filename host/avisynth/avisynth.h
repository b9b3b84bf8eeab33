// The rest of the host's plug-in interface, as the entry and the creation
// callback use it: script values and the environment. Also pins, per target,
// every layout the host relies on; a mismatch here is a crash in a real host.
#ifndef JOBCUT_HOST_AVISYNTH_AVISYNTH_H
#define JOBCUT_HOST_AVISYNTH_AVISYNTH_H

#include <stddef.h>
#include <stdint.h>

#include "host/avisynth/clip_interface.h"

namespace jobcut {

// A script value. It must stay non-trivially copyable: that is what makes the
// host pass it through memory rather than registers.
class AVSValue {
public:
    AVSValue() : type('v'), array_size(0) { clip = nullptr; }
    explicit AVSValue(IClip* c) : type('c'), array_size(0) { clip = c; if (clip) clip->AddRef(); }
    explicit AVSValue(const char* text) : type('s'), array_size(0) { string = text; }
    // An array value does not own its elements.
    AVSValue(const AVSValue* elements, short size) : type('a'), array_size(size) { array = elements; }
    AVSValue(const AVSValue& other) : type(other.type), array_size(other.array_size) {
        clip = other.clip;  // copies the whole union: the pointer member is its widest
        if (type == 'c' && clip) clip->AddRef();
    }
    ~AVSValue() { if (type == 'c' && clip) clip->Release(); }
    AVSValue& operator=(const AVSValue&) = delete;

    const AVSValue& operator[](int index) const {
        return (type == 'a' && index >= 0 && index < array_size) ? array[index] : *this;
    }
    PClip AsClip() const { return type == 'c' ? PClip(clip) : PClip(); }
    const char* AsString(const char* fallback) const { return type == 's' ? string : fallback; }

private:
    short type;
    short array_size;
    union {  // the host's union also holds bool, int and float; a pointer is its widest member
        IClip* clip;
        const char* string;
        const AVSValue* array;
    };
    friend struct ValueLayout;
};

class IScriptEnvironment {
public:
    typedef AVSValue(JOBCUT_CDECL* ApplyFunc)(AVSValue args, void* user_data, IScriptEnvironment* env);

    virtual ~IScriptEnvironment() {}
    virtual long JOBCUT_STDCALL GetCPUFlags() = 0;
    virtual char* JOBCUT_STDCALL SaveString(const char* s, int length = -1) = 0;
    virtual char* JOBCUT_CDECL Sprintf(const char* fmt, ...) = 0;
    virtual char* JOBCUT_STDCALL VSprintf(const char* fmt, void* val) = 0;
    // Raises a script error with the formatted text; never returns.
    virtual void JOBCUT_CDECL ThrowError(const char* fmt, ...) = 0;
    virtual void JOBCUT_STDCALL AddFunction(const char* name, const char* params, ApplyFunc apply,
                                            void* user_data) = 0;
};

// AviSynth+ on Linux releases the clip arguments once more than it took after
// a successful creation call: it balances Windows builds, where the callee
// destroys its by-value arguments. A Windows host, and a host built with
// MinGW-w64, release them once.
#if defined(_WIN32)
constexpr bool kHostReleasesClipArgumentsTwice = false;
#else
constexpr bool kHostReleasesClipArgumentsTwice = true;
#endif

// Layouts the host relies on, per target. A mismatch here is a crash in a real host.
// offsetof on classes with virtual functions is a compiler extension both g++ and
// clang provide; it is exactly what is needed to pin these layouts.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winvalid-offsetof"
struct ClipLayout {
    static constexpr size_t pointer = sizeof(void*);
    static_assert(sizeof(VideoInfo) == 48 && alignof(VideoInfo) == 8, "VideoInfo layout");
    static_assert(offsetof(VideoInfo, fps_numerator) == 8 && offsetof(VideoInfo, num_frames) == 16 &&
                      offsetof(VideoInfo, audio_samples_per_second) == 24 &&
                      offsetof(VideoInfo, sample_type) == 28 && offsetof(VideoInfo, num_audio_samples) == 32 &&
                      offsetof(VideoInfo, nchannels) == 40 && offsetof(VideoInfo, image_type) == 44,
                  "VideoInfo field offsets");
    static_assert(sizeof(PClip) == pointer && sizeof(PVideoFrame) == pointer, "handles are one pointer");
    static_assert(offsetof(IClip, refcnt) == pointer, "IClip: reference count right after the vptr");
#if defined(_WIN32) && !defined(_WIN64)
    static_assert(sizeof(long) == 4 && sizeof(IClip) == 8, "x86 IClip: vptr @0, refcnt @4");
    static_assert(offsetof(GenericVideoFilter, child) == 8 && offsetof(GenericVideoFilter, vi) == 16 &&
                      sizeof(GenericVideoFilter) == 64,
                  "x86 GenericVideoFilter layout");
    static_assert(offsetof(VideoFrame, vfb) == 4 && offsetof(VideoFrameBuffer, refcount) == 12,
                  "x86 frame counts");
#elif defined(_WIN64)
    // The MSVC ABI (the DLL), and MinGW-w64's Itanium ABI (jobcut-inspect.exe)
    // over Windows' 32-bit `long`: the same layouts.
    static_assert(sizeof(long) == 4 && sizeof(IClip) == 16, "x64 IClip: vptr @0, 32-bit refcnt @8");
    static_assert(offsetof(GenericVideoFilter, child) == 16 && offsetof(GenericVideoFilter, vi) == 24 &&
                      sizeof(GenericVideoFilter) == 72,
                  "x64 GenericVideoFilter layout");
    static_assert(offsetof(VideoFrame, vfb) == 8 && offsetof(VideoFrameBuffer, refcount) == 16,
                  "x64 frame counts");
#elif defined(__linux__) && defined(__x86_64__)
    static_assert(sizeof(long) == 8 && sizeof(IClip) == 16, "Linux IClip: vptr @0, 64-bit refcnt @8");
    static_assert(offsetof(GenericVideoFilter, child) == 16 && offsetof(GenericVideoFilter, vi) == 24 &&
                      sizeof(GenericVideoFilter) == 72,
                  "Linux GenericVideoFilter layout");
    static_assert(offsetof(VideoFrame, vfb) == 8 && offsetof(VideoFrameBuffer, refcount) == 24,
                  "Linux frame counts");
#else
#error "unsupported target: the host layout is declared for Windows x86/x64 (MSVC ABI), MinGW-w64 x64 and Linux x86_64 only"
#endif
};

struct ValueLayout {
    static_assert(offsetof(AVSValue, type) == 0 && offsetof(AVSValue, array_size) == 2, "AVSValue header");
    static_assert(offsetof(AVSValue, clip) == (sizeof(void*) == 4 ? 4 : 8), "AVSValue payload");
    static_assert(sizeof(AVSValue) == (sizeof(void*) == 4 ? 8 : 16), "AVSValue size");
};
#pragma GCC diagnostic pop

}  // namespace jobcut

#endif
