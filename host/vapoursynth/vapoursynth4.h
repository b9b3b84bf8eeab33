// The part of VapourSynth's plug-in interface (API 4) the binding calls,
// declared from its binary layout: the plug-in entry, the API table of
// function pointers (only the slots called are named; the others are kept as
// placeholders so every named slot sits at the host's offset), and the plain
// records passed through it. VapourSynth is 64-bit only, where there is one
// calling convention. The layout is checked against the host's own header by
// a test that compiles both.
#ifndef JOBCUT_HOST_VAPOURSYNTH_VAPOURSYNTH4_H
#define JOBCUT_HOST_VAPOURSYNTH_VAPOURSYNTH4_H

#include <stddef.h>
#include <stdint.h>

namespace jobcut {
namespace vs {

constexpr int kApiMajor = 4;
constexpr int kApiVersion = kApiMajor << 16;  // 4.0: what the binding is written against
constexpr int kAudioFrameSamples = 3072;

struct Frame;
struct Node;
struct Core;
struct Plugin;
struct Map;
struct FrameContext;

enum FilterMode { kParallel = 0 };
enum MediaType { kVideo = 1, kAudio = 2 };
enum ActivationReason { kInitial = 0, kAllFramesReady = 1, kError = -1 };
enum MapError { kSuccess = 0, kUnset = 1, kType = 2, kIndex = 4, kMapError = 3 };
enum RequestPattern { kGeneral = 0 };
enum SampleType { kInteger = 0, kFloat = 1 };

struct VideoFormat {
    int color_family;
    int sample_type;
    int bits_per_sample;
    int bytes_per_sample;
    int sub_sampling_w;
    int sub_sampling_h;
    int num_planes;
};

struct AudioFormat {
    int sample_type;
    int bits_per_sample;
    int bytes_per_sample;
    int num_channels;
    uint64_t channel_layout;
};

struct VideoInfo {
    VideoFormat format;
    int64_t fps_num;
    int64_t fps_den;
    int width;
    int height;
    int num_frames;
};

struct AudioInfo {
    AudioFormat format;
    int sample_rate;
    int64_t num_samples;
    int num_frames;  // worked out by the core from num_samples when a filter is made
};

struct FilterDependency {
    Node* source;
    int request_pattern;
};

struct Api;

typedef void (*PublicFunction)(const Map* in, Map* out, void* user_data, Core* core, const Api* api);
typedef const Frame* (*FilterGetFrame)(int n, int activation_reason, void* instance_data, void** frame_data,
                                       FrameContext* frame_context, Core* core, const Api* api);
typedef void (*FilterFree)(void* instance_data, Core* core, const Api* api);

struct PluginApi {
    int (*get_api_version)();
    int (*config_plugin)(const char* identifier, const char* plugin_namespace, const char* name,
                         int plugin_version, int api_version, int flags, Plugin* plugin);
    int (*register_function)(const char* name, const char* args, const char* return_type,
                             PublicFunction args_function, void* function_data, Plugin* plugin);
};

typedef void (*Unused)();

struct Api {
    Unused create_video_filter_to_map;  // 0
    Node* (*create_video_filter)(const char* name, const VideoInfo* vi, FilterGetFrame get_frame, FilterFree free,
                                 int filter_mode, const FilterDependency* dependencies, int dependency_count,
                                 void* instance_data, Core* core);  // 1
    Unused create_audio_filter_to_map;  // 2
    Node* (*create_audio_filter)(const char* name, const AudioInfo* ai, FilterGetFrame get_frame, FilterFree free,
                                 int filter_mode, const FilterDependency* dependencies, int dependency_count,
                                 void* instance_data, Core* core);  // 3
    Unused slots_4_6[3];
    void (*free_node)(Node* node);  // 7
    Unused slots_8_9[2];
    const VideoInfo* (*get_video_info)(Node* node);  // 10
    const AudioInfo* (*get_audio_info)(Node* node);  // 11
    Unused slots_12_13[2];
    Frame* (*new_audio_frame)(const AudioFormat* format, int samples, const Frame* properties_from, Core* core);  // 14
    Unused slot_15;
    void (*free_frame)(const Frame* frame);  // 16
    Unused slots_17_21[5];
    const uint8_t* (*get_read_pointer)(const Frame* frame, int plane);  // 22
    uint8_t* (*get_write_pointer)(Frame* frame, int plane);  // 23
    Unused slots_24_28[5];
    int (*get_frame_length)(const Frame* frame);  // 29
    Unused slots_30_37[8];
    const Frame* (*get_frame_filter)(int n, Node* node, FrameContext* frame_context);  // 38
    void (*request_frame_filter)(int n, Node* node, FrameContext* frame_context);  // 39
    Unused slots_40_50[11];
    void (*map_set_error)(Map* map, const char* message);  // 51
    Unused slots_52_58[7];
    int64_t (*map_get_int)(const Map* map, const char* key, int index, int* error);  // 59
    Unused slots_60_68[9];
    const char* (*map_get_data)(const Map* map, const char* key, int index, int* error);  // 69
    int (*map_get_data_size)(const Map* map, const char* key, int index, int* error);  // 70
    Unused slots_71_72[2];
    Node* (*map_get_node)(const Map* map, const char* key, int index, int* error);  // 73
    Unused slot_74;
    int (*map_consume_node)(Map* map, const char* key, Node* node, int append);  // 75
};

}  // namespace vs
}  // namespace jobcut

#endif
