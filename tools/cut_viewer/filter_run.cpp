#include "tools/cut_viewer/filter_run.h"

#include "tools/inprocess_host/inprocess_host.h"
#include "tools/cut_viewer/probes.h"
#include "tools/cut_viewer/range_table.h"
#include "tools/cut_viewer/source_info.h"

namespace inspect {

Inspection inspect(const Options& options) {
    Inspection result;
    result.source = source_info(options);
    inprocess::Plugin plugin;
    auto* source = new inprocess::SourceClip(result.source);
    const jobcut::PClip held(source);  // keeps the source, and what it recorded, beyond the new clip
    try {
        const jobcut::PClip clip = plugin.create(source, options.settings_file.c_str());
        result.ok = true;
        result.clip = clip->GetVideoInfo();
        result.rows = range_table(clip);
        if (options.map_frames) result.frames = map_frames(clip, *source, *options.map_frames, &plugin.env);
        if (options.audio_request) probe_audio(clip, *source, *options.audio_request, &plugin.env, &result);
    } catch (const inprocess::ScriptError& error) {
        result.error = error.message;
    }
    return result;
}

}  // namespace inspect
