// A VapourSynth core driven from a program, as the tests use it: plug-ins
// loaded by path, functions called by name with their arguments, frames and
// audio read back.
#ifndef JOBCUT_TESTS_VAPOURSYNTH_VS_CORE_H
#define JOBCUT_TESTS_VAPOURSYNTH_VS_CORE_H

#include <VapourSynth4.h>

#include <cstdint>
#include <string>
#include <vector>

namespace vstest {

const VSAPI* api();

// A function call's arguments.
class Arguments {
public:
    Arguments();
    ~Arguments();
    Arguments(const Arguments&) = delete;
    Arguments& operator=(const Arguments&) = delete;

    Arguments& node(const char* key, VSNode* value);  // takes its own reference
    Arguments& text(const char* key, const std::string& value);
    Arguments& integer(const char* key, int64_t value);
    VSMap* map() const { return map_; }

private:
    VSMap* map_;
};

// What a call gave: its node (a reference the caller owns, or null) and its error.
struct Result {
    VSNode* node = nullptr;
    std::string error;
};

class Core {
public:
    // threads: the core's worker threads; autoload: whether the plug-in
    // folders are loaded as the core starts.
    explicit Core(int threads = 1, bool autoload = false);
    ~Core();
    Core(const Core&) = delete;
    Core& operator=(const Core&) = delete;

    // Loads a plug-in by path; the error text, or "" when it loaded.
    std::string load(const std::string& path);
    bool has_namespace(const char* name);
    Result call(const char* plugin_namespace, const char* function, const Arguments& arguments);
    VSCore* get() const { return core_; }

private:
    VSCore* core_;
};

// The test source's number of a video frame (its "Position" property), or -1.
int position(const VSFrame* frame);

// Output frame n's position, or -1 with the error in *error.
int frame_position(VSNode* video, int n, std::string* error = nullptr);

// Samples [start, start + count) of an audio node in AviSynth's interleaved
// byte order; samples outside the clip are left out (the result is shorter).
std::vector<uint8_t> interleaved_audio(VSNode* audio, int64_t start, int64_t count, std::string* error = nullptr);

}  // namespace vstest

#endif
