// The host's clip interface as the filter implements and calls it, declared
// from the host's binary layout for each target we ship:
//   - Windows x86, MSVC C++ ABI: members __stdcall, variadic members __cdecl;
//   - Windows x64, MSVC C++ ABI, and MinGW-w64 (Itanium C++ ABI): one calling
//     convention, 32-bit `long`;
//   - Linux x86_64, Itanium C++ ABI (AviSynth+ built with g++), 64-bit `long`.
// Only what the plug-in calls or implements is declared. Everything lives in
// namespace jobcut so that, on Linux, none of it binds to the same-named
// classes the host library exports. The layouts are pinned per target in
// host/avisynth/avisynth.h, which every binary's entry includes.
#ifndef JOBCUT_HOST_AVISYNTH_CLIP_INTERFACE_H
#define JOBCUT_HOST_AVISYNTH_CLIP_INTERFACE_H

#include <stddef.h>
#include <stdint.h>

#include "host/avisynth/cache_hints.h"

#if defined(_WIN32) && !defined(_WIN64)
#define JOBCUT_STDCALL __stdcall
#define JOBCUT_CDECL __cdecl
#else
#define JOBCUT_STDCALL
#define JOBCUT_CDECL
#endif

namespace jobcut {

// The host counts references with interlocked operations on a `long`, which is
// 32-bit on Windows and 64-bit on Linux x86_64; `long` gives both layouts.
inline void atomic_increment(volatile long* count) { __atomic_add_fetch(count, 1, __ATOMIC_SEQ_CST); }
inline long atomic_decrement(volatile long* count) { return __atomic_sub_fetch(count, 1, __ATOMIC_SEQ_CST); }

struct VideoInfo {
    int width;
    int height;
    unsigned fps_numerator;
    unsigned fps_denominator;
    int num_frames;
    int pixel_type;
    int audio_samples_per_second;
    int sample_type;
    int64_t num_audio_samples;
    int nchannels;
    int image_type;
};

// Frames are only handed through; the plug-in never makes or frees one, but
// the handle's inline counting must touch the same fields the host does.
struct VideoFrameBuffer {
    unsigned char* data;
    int data_size;
    volatile long sequence_number;
    volatile long refcount;
};

struct VideoFrame {
    volatile long refcount;
    VideoFrameBuffer* vfb;

    void AddRef() { atomic_increment(&refcount); }
    void Release() {
        VideoFrameBuffer* buffer = vfb;  // read first: the frame may be reused once its count drops
        if (atomic_decrement(&refcount) == 0) atomic_decrement(&buffer->refcount);
    }
};

class PVideoFrame {
public:
    explicit PVideoFrame(VideoFrame* f) : frame(f) { if (frame) frame->AddRef(); }
    PVideoFrame(const PVideoFrame& other) : frame(other.frame) { if (frame) frame->AddRef(); }
    ~PVideoFrame() { if (frame) frame->Release(); }
    PVideoFrame& operator=(const PVideoFrame&) = delete;

    VideoFrame* operator->() const { return frame; }

private:
    VideoFrame* frame;
};

// Only handed on to the source: the filter never calls the environment itself.
class IScriptEnvironment;
class IClip;

// A counted handle to a clip.
class PClip {
public:
    PClip() : clip(nullptr) {}
    explicit PClip(IClip* c);
    PClip(const PClip& other);
    ~PClip();
    PClip& operator=(const PClip&) = delete;

    IClip* operator->() const { return clip; }
    IClip* get() const { return clip; }

private:
    IClip* clip;
};

class IClip {
public:
    IClip() : refcnt(0) {}
    IClip(const IClip&) = delete;
    IClip& operator=(const IClip&) = delete;

    // The host inlines these into every binary; they must agree with its own.
    void AddRef() { atomic_increment(&refcnt); }
    void Release() { if (atomic_decrement(&refcnt) == 0) delete this; }

    // What a host may ask of the clip (host/avisynth/cache_hints.h).
    virtual int JOBCUT_STDCALL GetVersion() { return kClipInterfaceVersion; }
    virtual PVideoFrame JOBCUT_STDCALL GetFrame(int n, IScriptEnvironment* env) = 0;
    virtual bool JOBCUT_STDCALL GetParity(int n) = 0;
    virtual void JOBCUT_STDCALL GetAudio(void* buf, int64_t start, int64_t count, IScriptEnvironment* env) = 0;
    // An int in EAX on every target: a 2.5 host, which declares it as
    // returning nothing, pops the same arguments and never reads EAX.
    virtual int JOBCUT_STDCALL SetCacheHints(int cachehints, int frame_range) = 0;
    virtual const VideoInfo& JOBCUT_STDCALL GetVideoInfo() = 0;
    // No convention on the destructor: MSVC gives it thiscall whatever is
    // written, and Itanium gives it two slots (complete, deleting).
    virtual ~IClip() {}

private:
    volatile long refcnt;
    friend struct ClipLayout;
};

inline PClip::PClip(IClip* c) : clip(c) { if (clip) clip->AddRef(); }
inline PClip::PClip(const PClip& other) : clip(other.clip) { if (clip) clip->AddRef(); }
inline PClip::~PClip() { if (clip) clip->Release(); }

// The host's base for filters: it holds the source and a copy of its properties.
class GenericVideoFilter : public IClip {
public:
    explicit GenericVideoFilter(const PClip& source) : child(source), vi(source->GetVideoInfo()) {}

    int JOBCUT_STDCALL SetCacheHints(int, int) override { return 0; }
    const VideoInfo& JOBCUT_STDCALL GetVideoInfo() override { return vi; }

protected:
    PClip child;
    VideoInfo vi;
    friend struct ClipLayout;
};

}  // namespace jobcut

#endif
