#include "tools/inspect/filter_run.h"

#include "tools/inprocess_host/inprocess_host.h"
#include "tools/inspect/probes.h"
#include "tools/inspect/clip_rows.h"
#include "tools/inspect/source_info.h"
#include "tools/inspect/warnings.h"

namespace inspect {

FilterRun run_filter(const Options& options) {
    FilterRun result;
    result.source = source_info(options);
    inprocess::Plugin plugin;
    auto* source = new inprocess::SourceClip(result.source);
    const jobcut::PClip held(source);  // keeps the source, and what it recorded, beyond the new clip
    try {
        const jobcut::PClip clip = plugin.create(source, options.settings_file.c_str());
        result.ok = true;
        result.clip = clip->GetVideoInfo();
        result.rows = clip_rows(clip);
        if (options.map_frames) result.frames = map_frames(clip, *source, *options.map_frames, &plugin.env);
        if (options.avs_file || options.ffmpeg_file || options.html_file)
            result.frame_runs = frame_runs(clip, *source, &plugin.env);
        if (options.audio_request) probe_audio(clip, *source, *options.audio_request, &plugin.env, &result);
    } catch (const inprocess::ScriptError& error) {
        result.error = error.message;
    }
    add_warnings(options, &result);
    return result;
}

}  // namespace inspect
