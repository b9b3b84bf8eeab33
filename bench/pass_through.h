// The baseline every serving figure is measured against: a filter that hands
// each request to its source unchanged, the least any filter in a host's
// chain costs.
#ifndef JOBCUT_BENCH_PASS_THROUGH_H
#define JOBCUT_BENCH_PASS_THROUGH_H

#include "host/avisynth/avisynth.h"

class PassThrough final : public jobcut::GenericVideoFilter {
public:
    explicit PassThrough(const jobcut::PClip& source) : GenericVideoFilter(source) {}

    jobcut::PVideoFrame GetFrame(int n, jobcut::IScriptEnvironment* env) override { return child->GetFrame(n, env); }
    bool GetParity(int n) override { return child->GetParity(n); }
    void GetAudio(void* buffer, int64_t start, int64_t count, jobcut::IScriptEnvironment* env) override {
        child->GetAudio(buffer, start, count, env);
    }
};

#endif
