// What both VapourSynth drivers of the scenario list share: the scenario's
// sources, which of them VapourSynth can take, and the texts a create raises.
#ifndef JOBCUT_TESTS_VAPOURSYNTH_SCENARIO_HOST_H
#define JOBCUT_TESTS_VAPOURSYNTH_SCENARIO_HOST_H

#include <map>
#include <ostream>
#include <string>

#include "tests/scenario_runner/native_host.h"

namespace vstest {

// Begins the error of a scenario VapourSynth cannot take.
constexpr const char* kNotApplicable = "not applicable in VapourSynth: ";

// AviSynth's audio sample types VapourSynth holds, as (bits, float).
bool vapoursynth_audio(int32_t sample_type, int* bits, bool* is_float);

// The AviSynth sample type of VapourSynth's audio of that kind (16 or 32 bits).
int32_t avisynth_sample_type(bool is_float, int bits);

// Whether VapourSynth can hold the source's audio, and cut it at the source's frame rate.
bool audio_applies(const scenario::Properties& p);

class ScenarioHost : public scenario::NativeHost {
public:
    explicit ScenarioHost(std::ostream& transcript) : NativeHost(transcript) {}

    int make_source(const scenario::Properties& p) override {
        sources_[next_id_] = p;
        return next_id_++;
    }

protected:
    ~ScenarioHost() = default;

    // Why a create over this source and name is not VapourSynth's to run, or
    // null when it is. Pictures at least `min_width` wide.
    static const char* not_applicable(const scenario::Properties& p, const char* file_name, int min_width);
    // The create fails with `text`; false.
    bool raise(const std::string& text, const char** error) {
        raised_ = text;
        *error = raised_.c_str();
        return false;
    }
    bool refuse(const char* why, const char** error) { return raise(std::string(kNotApplicable) + why, error); }
    int new_id() { return next_id_++; }

    std::map<int, scenario::Properties> sources_;

private:
    std::string raised_;
    int next_id_ = 1;
};

}  // namespace vstest

#endif
