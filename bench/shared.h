// What every benchmark uses: the plug-in linked in, a folder for settings
// files, and sources that do nothing but answer.
#ifndef JOBCUT_BENCH_SHARED_H
#define JOBCUT_BENCH_SHARED_H

#include <string>
#include <vector>

#include "bench/ratios.h"
#include "tests/unit/test_files.h"
#include "tools/inprocess_host/inprocess_host.h"

inprocess::Plugin& plugin();
const TempFolder& settings_folder();

// A source that neither records requests nor writes samples, so that only the
// calls through the filter are timed. The caller holds the one reference.
inprocess::SourceClip* quiet_source(const jobcut::VideoInfo& info);

// 25 fps, 48000 Hz 16-bit stereo: 1920 samples a frame; `frames` frames long.
jobcut::VideoInfo bench_video_info(int frames);

void add_serving_benchmarks(std::vector<Ratio>& ratios);
void add_construction_benchmarks(std::vector<Ratio>& ratios);

#endif
