// The binding's two script functions, jobcut.Jobcut (video) and
// jobcut.JobcutAudio (audio), and what they share.
#ifndef JOBCUT_HOST_VAPOURSYNTH_CUT_FUNCTIONS_H
#define JOBCUT_HOST_VAPOURSYNTH_CUT_FUNCTIONS_H

#include "host/vapoursynth/vapoursynth4.h"
#include "remap/table_file.h"

namespace jobcut {
namespace vs {

void create_video_cut(const Map* in, Map* out, void* user_data, Core* core, const Api* api);
void create_audio_cut(const Map* in, Map* out, void* user_data, Core* core, const Api* api);

// Reads the settings file named by the `filename` argument into `table` over a
// clip of `timing`. On failure sets the error on `out`, with the message the
// AviSynth filter raises for the same file, and returns false.
bool load_named_table(const Map* in, Map* out, const Api* api, ClipTiming* timing, RangeTable* table);

}  // namespace vs
}  // namespace jobcut

#endif
