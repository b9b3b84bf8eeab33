// The library's AviSynth export and the script function it registers.
#include "host/avisynth/avisynth.h"
#include "host/avisynth/jobcut_filter.h"

#if defined(_WIN32)
#define JOBCUT_EXPORT __declspec(dllexport)
#else
#define JOBCUT_EXPORT __attribute__((visibility("default")))
#endif

namespace jobcut {
namespace {

// Every handle taken from `args` is gone by the time this returns, so nothing
// is left to release when the caller raises the error.
IClip* build_filter(const AVSValue& args, char (&message)[kMessageBytes]) {
    return JobcutFilter::create(args[0].AsClip(), args[1].AsString(""), message);
}

AVSValue JOBCUT_CDECL CreateJobcut(AVSValue args, void*, IScriptEnvironment* env) {
    char message[kMessageBytes];  // outlives the filter, which is already freed when this is raised
    IClip* filter = build_filter(args, message);
    if (!filter) {
        env->ThrowError("%s", message);
        return AVSValue();  // not reached: ThrowError does not return
    }
    // Without this extra reference the source would be freed while the filter
    // still holds it.
    if (kHostReleasesClipArgumentsTwice)
        if (IClip* source = args[0].AsClip().get()) source->AddRef();
    return AVSValue(filter);
}

}  // namespace
}  // namespace jobcut

extern "C" JOBCUT_EXPORT const char* JOBCUT_STDCALL AvisynthPluginInit2(jobcut::IScriptEnvironment* env) {
    env->AddFunction("Jobcut", "c[filename]s", jobcut::CreateJobcut, nullptr);
    return nullptr;
}
