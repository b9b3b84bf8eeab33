// The scenario list's actions as a VapourSynth user meets them: each `create`
// is a .vpy script (the test sources, then Jobcut and JobcutAudio called by
// keyword, outputs 0 and 1), rendered by vspipe: `--info` for the clip's
// properties, `-c y4m` for its frames, `-o 1 -c wav` for its audio; every
// frame and sample rendered is held to the AviSynth filter's cut too. The
// plug-in is not loaded by the script: it sits in the user plug-in folder a
// vapoursynth.conf names, as an installed plug-in does.
#ifndef JOBCUT_TESTS_VAPOURSYNTH_VSPIPE_HOST_H
#define JOBCUT_TESTS_VAPOURSYNTH_VSPIPE_HOST_H

#include <ostream>
#include <string>


namespace vstest {

// Runs the list (its whole text) so and prints the transcript; returns the
// runner's status.
int run_with_vspipe(std::ostream& transcript, const std::string& list, const std::string& plugin,
                    const std::string& source_plugin, const std::string& vspipe);

}  // namespace vstest

#endif
