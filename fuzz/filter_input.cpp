#include "fuzz/filter_input.h"

#include <cstring>

#include "host/avisynth/sample_type.h"
#include "tools/inprocess_host/inprocess_host.h"

namespace fuzz_input {
namespace {

class Reader {
public:
    Reader(const uint8_t* data, size_t size) : at(data), end(data + size) {}

    template <typename T>
    T take() {
        unsigned char bytes[sizeof(T)] = {};
        for (size_t i = 0; i < sizeof(T) && at < end; ++i) bytes[i] = *at++;
        T value;
        std::memcpy(&value, bytes, sizeof(T));
        return value;
    }
    std::string rest() { return std::string(reinterpret_cast<const char*>(at), static_cast<size_t>(end - at)); }

private:
    const uint8_t* at;
    const uint8_t* end;
};

template <typename T>
void put(std::string& out, T value) {
    char bytes[sizeof(T)];
    std::memcpy(bytes, &value, sizeof(T));
    out.append(bytes, sizeof(T));
}

}  // namespace

int64_t max_audio_samples(const jobcut::VideoInfo& source) {
    const int64_t bytes = jobcut::bytes_per_audio_sample(source.sample_type, source.nchannels);
    return bytes > 0 ? kAudioBufferBytes / bytes : INT64_MAX;
}

FilterInput decode(const uint8_t* data, size_t size) {
    Reader in(data, size);
    FilterInput input{};
    jobcut::VideoInfo& vi = input.source;
    vi.width = 640;
    vi.height = 480;
    vi.pixel_type = 1;
    vi.num_frames = in.take<int32_t>();
    vi.fps_numerator = in.take<uint32_t>();
    vi.fps_denominator = in.take<uint32_t>();
    vi.audio_samples_per_second = in.take<int32_t>();
    vi.sample_type = in.take<int32_t>();
    vi.nchannels = in.take<int32_t>();
    vi.num_audio_samples = in.take<int64_t>();

    const unsigned requests = in.take<uint8_t>() % (kMaxRequests + 1);
    const uint64_t count_limit = static_cast<uint64_t>(max_audio_samples(vi));
    for (unsigned i = 0; i < requests; ++i) {
        Request request{};
        request.kind = static_cast<Request::Kind>(in.take<uint8_t>() % 3);
        const int64_t first = in.take<int64_t>();
        const uint64_t second = in.take<uint64_t>();
        request.n = static_cast<int32_t>(first);
        request.start = first;
        request.count = static_cast<int64_t>(second % (count_limit + 1));
        input.requests.push_back(request);
    }
    input.settings = in.rest();
    return input;
}

std::string encode(const FilterInput& input) {
    const jobcut::VideoInfo& vi = input.source;
    std::string out;
    put<int32_t>(out, vi.num_frames);
    put<uint32_t>(out, vi.fps_numerator);
    put<uint32_t>(out, vi.fps_denominator);
    put<int32_t>(out, vi.audio_samples_per_second);
    put<int32_t>(out, vi.sample_type);
    put<int32_t>(out, vi.nchannels);
    put<int64_t>(out, vi.num_audio_samples);
    put<uint8_t>(out, static_cast<uint8_t>(input.requests.size()));
    for (const Request& request : input.requests) {
        put<uint8_t>(out, request.kind);
        put<int64_t>(out, request.kind == Request::kAudio ? request.start : request.n);
        put<int64_t>(out, request.count);
    }
    return out + input.settings;
}

}  // namespace fuzz_input

