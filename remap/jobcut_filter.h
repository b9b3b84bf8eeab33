// The clip a script's Jobcut call returns: the source's frame ranges listed in a
// settings file, in file order. It owns the range table and serves frames,
// parity (frame_mapping.cpp) and audio (audio_assembly.cpp) from it.
#ifndef JOBCUT_REMAP_JOBCUT_FILTER_H
#define JOBCUT_REMAP_JOBCUT_FILTER_H

#include <stddef.h>
#include <stdint.h>

#include "platform/host_interface.h"
#include "remap/error_message.h"
#include "subset/subset_entry.h"

namespace jobcut {

class JobcutFilter final : public GenericVideoFilter {
public:
    // Reads the settings file and builds the range table over `source`. On
    // failure returns null with the text to raise in `message`, having already
    // released everything it took (the source reference included): the host's
    // error unwinds without running any destructor of ours on some targets.
    static JobcutFilter* create(const PClip& source, const char* file_name, char (&message)[kMessageBytes]);

    PVideoFrame JOBCUT_STDCALL GetFrame(int n, IScriptEnvironment* env) override;
    bool JOBCUT_STDCALL GetParity(int n) override;
    void JOBCUT_STDCALL GetAudio(void* buffer, int64_t start, int64_t count, IScriptEnvironment* env) override;

    // Read-only view of the range table.
    const SubsetEntry* rows() const { return table; }
    int row_count() const { return rows_in_use; }

    // Null instead of an exception when memory runs out, so creation can report it.
    static void* operator new(size_t bytes) noexcept;
    static void operator delete(void* block);

private:
    explicit JobcutFilter(const PClip& source);
    ~JobcutFilter() override;

    bool load(const char* file_name, char (&message)[kMessageBytes]);
    // The source frame that output frame n shows.
    int source_frame(int n) const;
    int locate_row(int n) const;
    void write_silence(unsigned char* at, int64_t samples) const;

    SubsetEntry* table;
    int rows_in_use;
};

}  // namespace jobcut

#endif
