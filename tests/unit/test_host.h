// Small helpers for tests that build the filter directly over an in-process source.
#ifndef JOBCUT_TESTS_TEST_HOST_H
#define JOBCUT_TESTS_TEST_HOST_H

#include <cstdint>

#include "host/avisynth/avisynth.h"

jobcut::VideoInfo make_video_info(int frames, unsigned fps_numerator, unsigned fps_denominator, int audio_rate,
                                  int64_t audio_samples, int channels = 2, int sample_type = 2);

// The reference count the host's inline counting keeps in every clip.
long reference_count(const jobcut::IClip* clip);

#endif
