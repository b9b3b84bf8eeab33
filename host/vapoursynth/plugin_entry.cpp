// VapourSynth's entry into the library: the plug-in's identity and its two
// functions, in the namespace `jobcut`.
#include "host/vapoursynth/cut_functions.h"
#include "host/vapoursynth/valid_utf8.h"
#include "remap/error_message.h"
#include "remap/table_file.h"

#if defined(_WIN32)
#define JOBCUT_VS_EXPORT __declspec(dllexport)
#else
#define JOBCUT_VS_EXPORT __attribute__((visibility("default")))
#endif

namespace jobcut {
namespace vs {

bool load_named_table(const Map* in, Map* out, const Api* api, ClipTiming* timing, RangeTable* table) {
    int error = 0;
    const char* name = api->map_get_data(in, "filename", 0, &error);
    char message[kMessageBytes];
    // VapourSynth hands every string over as UTF-8, on Windows too.
    if (!load_table(error ? "" : name, timing, table, message, NameEncoding::kUtf8)) {
        char repaired[repaired_capacity(kMessageBytes)];
        repair_utf8(message, repaired);
        api->map_set_error(out, repaired);
        return false;
    }
    return true;
}

}  // namespace vs
}  // namespace jobcut

extern "C" JOBCUT_VS_EXPORT void VapourSynthPluginInit2(jobcut::vs::Plugin* plugin,
                                                         const jobcut::vs::PluginApi* api) {
    using namespace jobcut::vs;
    api->config_plugin("org.jobcut.jobcut", "jobcut", "Jobcut: the cut a VirtualDub settings file lists",
                       (JOBCUT_VERSION_MAJOR << 16) | JOBCUT_VERSION_MINOR, kApiVersion, 0, plugin);
    api->register_function("Jobcut", "clip:vnode;filename:data;", "clip:vnode;", create_video_cut, nullptr, plugin);
    api->register_function("JobcutAudio", "clip:anode;filename:data;fpsnum:int;fpsden:int;", "clip:anode;",
                           create_audio_cut, nullptr, plugin);
}
