// The cut in other tools' terms: an AviSynth script of built-in filters, an
// ffmpeg filtergraph, and the range boundaries for an encoder (an x264/x265
// qpfile, FFmpeg chapter metadata). Each is made from a successful run.
#ifndef JOBCUT_TOOLS_INSPECT_EXPORTS_H
#define JOBCUT_TOOLS_INSPECT_EXPORTS_H

#include <cstdint>
#include <string>
#include <vector>

#include "tools/inspect/filter_run.h"
#include "tools/inspect/options.h"

namespace inspect {

// The clip's audio as pieces of the source's audio and silence, in order,
// adding up to the clip's audio length. Source audio past the source's end
// is silence, as a decoder gives it.
struct AudioPiece {
    bool silence;
    int64_t start, count;  // source samples (start unused for silence)
};
std::vector<AudioPiece> audio_pieces(const FilterRun& result);

// A fragment over `last` that gives the clip Jobcut gives; throws UsageError
// when the source's positions cannot be written as AviSynth frame numbers.
std::string avs_export(const Options& options, const FilterRun& result);

// A filtergraph from input 0 to the outputs [v] and, with audio, [a].
std::string ffmpeg_export(const FilterRun& result);

// "N I -1" for the first output frame of every range after the first.
std::string qpfile_export(const FilterRun& result);

// ;FFMETADATA1 with one chapter per range, in frames.
std::string chapters_export(const FilterRun& result);

// The file name as an AviSynth string literal: between triple quotes when it holds a double quote.
std::string avs_string(const std::string& text);

// The file name as a Python string literal.
std::string python_string(const std::string& text);

}  // namespace inspect

#endif
