// What a host gets from one Jobcut call over the described source: the new
// clip's properties, its range table, and the answers to the probes.
#ifndef JOBCUT_TOOLS_INSPECT_FILTER_RUN_H
#define JOBCUT_TOOLS_INSPECT_FILTER_RUN_H

#include <cstdint>
#include <string>
#include <vector>

#include "host/avisynth/avisynth.h"
#include "subset/subset_entry.h"
#include "tools/inspect/options.h"

namespace inspect {

struct MappedFrame {
    int n, source;  // output frame, and the source frame the clip handed back for it
};

struct SourceAudioRequest {
    int64_t offset_bytes, start, count;  // where in the caller's buffer, and which source samples
};

// Output frames first..first+count-1 showing source frames `source` up from
// there, or all showing `source` when `held`; the frame numbers as the host
// hands them to a source, within its frames.
struct FrameRun {
    int first, count, source;
    bool held;
};

struct Silence {
    int64_t offset_bytes, bytes;
    int fill;  // the byte value the filter wrote there
};

// One thing about the file that will surprise its user, with the 1-based line
// it is about (0: the whole file).
struct Warning {
    std::string kind;
    int line;
    std::string text;
};

struct FilterRun {
    bool ok = false;
    std::string error;  // the filter's message when it refused the file
    jobcut::VideoInfo source{};
    jobcut::VideoInfo clip{};  // as the new clip reports it
    std::vector<jobcut::SubsetEntry> rows;
    std::vector<MappedFrame> frames;
    std::vector<FrameRun> frame_runs;  // every output frame, for the exports
    std::vector<SourceAudioRequest> audio_requests;
    std::vector<Silence> silence;
    std::vector<Warning> warnings;
    bool warnings_checked = true;  // false: a second reading of the file disagreed, no warnings
};

// Throws UsageError when the options describe no possible source.
FilterRun run_filter(const Options& options);

}  // namespace inspect

#endif
