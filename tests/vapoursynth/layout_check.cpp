// Our declarations of VapourSynth's interface against the host's own header:
// every record field, every API slot the binding calls and every constant it
// uses sit where the host has them. A mismatch fails the build.
#include <VapourSynth4.h>

#include <cstddef>
#include <cstdio>

#include "host/vapoursynth/vapoursynth4.h"

namespace ours = jobcut::vs;

#define SAME_OFFSET(our_type, our_field, their_type, their_field) \
    static_assert(offsetof(our_type, our_field) == offsetof(their_type, their_field), #our_field)
#define SAME_SIZE(our_type, their_type) static_assert(sizeof(our_type) == sizeof(their_type), #our_type)

SAME_SIZE(ours::VideoFormat, VSVideoFormat);
SAME_OFFSET(ours::VideoFormat, num_planes, VSVideoFormat, numPlanes);
SAME_SIZE(ours::AudioFormat, VSAudioFormat);
SAME_OFFSET(ours::AudioFormat, bytes_per_sample, VSAudioFormat, bytesPerSample);
SAME_OFFSET(ours::AudioFormat, num_channels, VSAudioFormat, numChannels);
SAME_OFFSET(ours::AudioFormat, channel_layout, VSAudioFormat, channelLayout);
SAME_SIZE(ours::VideoInfo, VSVideoInfo);
SAME_OFFSET(ours::VideoInfo, fps_num, VSVideoInfo, fpsNum);
SAME_OFFSET(ours::VideoInfo, fps_den, VSVideoInfo, fpsDen);
SAME_OFFSET(ours::VideoInfo, width, VSVideoInfo, width);
SAME_OFFSET(ours::VideoInfo, height, VSVideoInfo, height);
SAME_OFFSET(ours::VideoInfo, num_frames, VSVideoInfo, numFrames);
SAME_SIZE(ours::AudioInfo, VSAudioInfo);
SAME_OFFSET(ours::AudioInfo, sample_rate, VSAudioInfo, sampleRate);
SAME_OFFSET(ours::AudioInfo, num_samples, VSAudioInfo, numSamples);
SAME_OFFSET(ours::AudioInfo, num_frames, VSAudioInfo, numFrames);
SAME_SIZE(ours::FilterDependency, VSFilterDependency);
SAME_OFFSET(ours::FilterDependency, request_pattern, VSFilterDependency, requestPattern);

SAME_OFFSET(ours::PluginApi, get_api_version, VSPLUGINAPI, getAPIVersion);
SAME_OFFSET(ours::PluginApi, config_plugin, VSPLUGINAPI, configPlugin);
SAME_OFFSET(ours::PluginApi, register_function, VSPLUGINAPI, registerFunction);

SAME_OFFSET(ours::Api, create_video_filter, VSAPI, createVideoFilter2);
SAME_OFFSET(ours::Api, create_audio_filter, VSAPI, createAudioFilter2);
SAME_OFFSET(ours::Api, free_node, VSAPI, freeNode);
SAME_OFFSET(ours::Api, get_video_info, VSAPI, getVideoInfo);
SAME_OFFSET(ours::Api, get_audio_info, VSAPI, getAudioInfo);
SAME_OFFSET(ours::Api, new_audio_frame, VSAPI, newAudioFrame);
SAME_OFFSET(ours::Api, free_frame, VSAPI, freeFrame);
SAME_OFFSET(ours::Api, get_read_pointer, VSAPI, getReadPtr);
SAME_OFFSET(ours::Api, get_write_pointer, VSAPI, getWritePtr);
SAME_OFFSET(ours::Api, get_frame_length, VSAPI, getFrameLength);
SAME_OFFSET(ours::Api, get_frame_filter, VSAPI, getFrameFilter);
SAME_OFFSET(ours::Api, request_frame_filter, VSAPI, requestFrameFilter);
SAME_OFFSET(ours::Api, map_set_error, VSAPI, mapSetError);
SAME_OFFSET(ours::Api, map_get_int, VSAPI, mapGetInt);
SAME_OFFSET(ours::Api, map_get_data, VSAPI, mapGetData);
SAME_OFFSET(ours::Api, map_get_data_size, VSAPI, mapGetDataSize);
SAME_OFFSET(ours::Api, map_get_node, VSAPI, mapGetNode);
SAME_OFFSET(ours::Api, map_consume_node, VSAPI, mapConsumeNode);

static_assert(ours::kApiVersion == VS_MAKE_VERSION(VAPOURSYNTH_API_MAJOR, 0), "API version");
static_assert(ours::kAudioFrameSamples == VS_AUDIO_FRAME_SAMPLES, "audio frame samples");
// The same number in both declarations, whatever the enumeration's type.
constexpr bool same(int ours_value, int theirs) { return ours_value == theirs; }
static_assert(same(ours::kParallel, fmParallel) && same(ours::kGeneral, rpGeneral), "filter mode, request pattern");
static_assert(same(ours::kInitial, arInitial) && same(ours::kAllFramesReady, arAllFramesReady) &&
                  same(ours::kError, arError),
              "activation reasons");
static_assert(same(ours::kVideo, mtVideo) && same(ours::kAudio, mtAudio), "media types");
static_assert(same(ours::kInteger, stInteger) && same(ours::kFloat, stFloat), "sample types");
static_assert(same(ours::kSuccess, peSuccess) && same(ours::kUnset, peUnset) && same(ours::kType, peType) &&
                  same(ours::kIndex, peIndex) && same(ours::kMapError, peError),
              "map errors");

int main() {
    std::printf("the binding's VapourSynth declarations match VapourSynth4.h\n");
    return 0;
}
