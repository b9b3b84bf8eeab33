#include "tests/vapoursynth/vs_core.h"

#include <algorithm>

namespace vstest {

const VSAPI* api() {
    static const VSAPI* table = getVapourSynthAPI(VAPOURSYNTH_API_VERSION);
    return table;
}

Arguments::Arguments() : map_(api()->createMap()) {}
Arguments::~Arguments() { api()->freeMap(map_); }

Arguments& Arguments::node(const char* key, VSNode* value) {
    api()->mapSetNode(map_, key, value, maAppend);
    return *this;
}

Arguments& Arguments::text(const char* key, const std::string& value) {
    api()->mapSetData(map_, key, value.data(), static_cast<int>(value.size()), dtUtf8, maAppend);
    return *this;
}

Arguments& Arguments::integer(const char* key, int64_t value) {
    api()->mapSetInt(map_, key, value, maAppend);
    return *this;
}

Core::Core(int threads, bool autoload) : core_(api()->createCore(autoload ? 0 : ccfDisableAutoLoading)) {
    api()->setThreadCount(threads, core_);
}

Core::~Core() { api()->freeCore(core_); }

std::string Core::load(const std::string& path) {
    Arguments arguments;
    arguments.text("path", path);
    VSMap* out = api()->invoke(api()->getPluginByNamespace("std", core_), "LoadPlugin", arguments.map());
    const char* error = api()->mapGetError(out);
    std::string text = error ? error : "";
    api()->freeMap(out);
    return text;
}

bool Core::has_namespace(const char* name) { return api()->getPluginByNamespace(name, core_) != nullptr; }

Result Core::call(const char* plugin_namespace, const char* function, const Arguments& arguments) {
    Result result;
    VSPlugin* plugin = api()->getPluginByNamespace(plugin_namespace, core_);
    if (!plugin) {
        result.error = std::string("no plug-in in the namespace ") + plugin_namespace;
        return result;
    }
    VSMap* out = api()->invoke(plugin, function, arguments.map());
    if (const char* error = api()->mapGetError(out)) {
        result.error = error;
    } else {
        int failed = 0;
        result.node = api()->mapGetNode(out, "clip", 0, &failed);
        if (failed) result.error = "the call returned no clip";
    }
    api()->freeMap(out);
    return result;
}

int position(const VSFrame* frame) {
    int error = 0;
    const int64_t n = api()->mapGetInt(api()->getFramePropertiesRO(frame), "Position", 0, &error);
    return error ? -1 : static_cast<int>(n);
}

int frame_position(VSNode* video, int n, std::string* error) {
    char message[1024] = "";
    const VSFrame* frame = api()->getFrame(n, video, message, sizeof message);
    if (!frame) {
        if (error) *error = message;
        return -1;
    }
    const int tag = position(frame);
    api()->freeFrame(frame);
    return tag;
}

std::vector<uint8_t> interleaved_audio(VSNode* audio, int64_t start, int64_t count, std::string* error) {
    const VSAudioInfo& ai = *api()->getAudioInfo(audio);
    const int size = ai.format.bytesPerSample, channels = ai.format.numChannels;
    const int64_t first = std::max<int64_t>(start, 0), end = std::min(start + count, ai.numSamples);
    std::vector<uint8_t> bytes;
    for (int64_t s = first; s < end;) {
        const int number = static_cast<int>(s / VS_AUDIO_FRAME_SAMPLES);
        char message[1024] = "";
        const VSFrame* frame = api()->getFrame(number, audio, message, sizeof message);
        if (!frame) {
            if (error) *error = message;
            return bytes;
        }
        const int64_t frame_start = int64_t{number} * VS_AUDIO_FRAME_SAMPLES;
        const int64_t frame_end = std::min(frame_start + api()->getFrameLength(frame), end);
        for (; s < frame_end; ++s)
            for (int c = 0; c < channels; ++c) {
                const uint8_t* in = api()->getReadPtr(frame, c) + (s - frame_start) * size;
                bytes.insert(bytes.end(), in, in + size);
            }
        api()->freeFrame(frame);
    }
    return bytes;
}

}  // namespace vstest
