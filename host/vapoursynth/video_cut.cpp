// jobcut.Jobcut(clip, filename): the video node of the cut. Each output frame
// is the source's own frame reference, properties included.
#include "host/vapoursynth/cut_functions.h"
#include "platform/memory.h"
#include "remap/frame_rule.h"

namespace jobcut {
namespace vs {
namespace {

struct VideoCut {
    Node* source;
    int source_frames;
    RangeTable table;
};

// The frame rule's source frame, kept inside the source: a row that runs past
// its last frame shows that last frame.
int source_frame_of(const VideoCut& cut, int n) {
    const int32_t frame = source_frame(cut.table, n);
    if (frame >= cut.source_frames) return cut.source_frames - 1;
    return frame < 0 ? 0 : frame;
}

// The source frame is worked out once a frame: asked for first, then kept in
// the frame's data until it is ready.
const Frame* get_video_frame(int n, int reason, void* data, void** frame_data, FrameContext* context, Core*,
                             const Api* api) {
    const VideoCut& cut = *static_cast<const VideoCut*>(data);
    if (reason == kInitial) {
        const int source = source_frame_of(cut, n);
        *frame_data = reinterpret_cast<void*>(static_cast<intptr_t>(source));
        api->request_frame_filter(source, cut.source, context);
    } else if (reason == kAllFramesReady) {
        return api->get_frame_filter(static_cast<int>(reinterpret_cast<intptr_t>(*frame_data)), cut.source, context);
    }
    return nullptr;
}

void free_video_cut(void* data, Core*, const Api* api) {
    VideoCut* cut = static_cast<VideoCut*>(data);
    api->free_node(cut->source);
    release_table(&cut->table);
    memory_release(cut);
}

}  // namespace

void create_video_cut(const Map* in, Map* out, void*, Core* core, const Api* api) {
    Node* source = api->map_get_node(in, "clip", 0, nullptr);
    const VideoInfo* source_info = api->get_video_info(source);
    // Frame counts only: a video clip's rates do not enter its table.
    ClipTiming timing{source_info->num_frames, 0, 0, 0, 0};
    VideoCut* cut = static_cast<VideoCut*>(memory_allocate(sizeof(VideoCut)));
    if (!cut) {
        char message[kMessageBytes];
        compose_out_of_memory(message);
        api->map_set_error(out, message);
        api->free_node(source);
        return;
    }
    if (!load_named_table(in, out, api, &timing, &cut->table)) {
        memory_release(cut);
        api->free_node(source);
        return;
    }
    cut->source = source;
    cut->source_frames = source_info->num_frames;
    VideoInfo vi = *source_info;
    vi.num_frames = timing.num_frames;
    const FilterDependency dependency{source, kGeneral};
    Node* node = api->create_video_filter("Jobcut", &vi, get_video_frame, free_video_cut, kParallel, &dependency, 1,
                                          cut, core);
    if (!node) {
        // The core frees nothing of ours when it refuses the node.
        free_video_cut(cut, core, api);
        api->map_set_error(out, "Jobcut: VapourSynth refused the new clip");
        return;
    }
    api->map_consume_node(out, "clip", node, 0);
}

}  // namespace vs
}  // namespace jobcut
