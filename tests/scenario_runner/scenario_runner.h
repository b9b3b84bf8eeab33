// Runs the host scenario list against one binary of the plug-in and prints the
// transcript. The list's syntax, the source clip's behaviour and every printed
// line are defined here once; each test host supplies a Host that performs the
// actions through the binary interface of its platform.
//
// Freestanding C++: it is compiled both natively and into a Windows test host
// that has no C or C++ runtime headers, so it uses nothing but <stddef.h> and
// <stdint.h> and takes memory, files and output from the Host.
#ifndef JOBCUT_TESTS_SCENARIO_RUNNER_H
#define JOBCUT_TESTS_SCENARIO_RUNNER_H

#include <stddef.h>
#include <stdint.h>

namespace scenario {

// A clip's properties, field by field as the host's VideoInfo holds them.
struct Properties {
    int32_t width;
    int32_t height;
    uint32_t fps_numerator;
    uint32_t fps_denominator;
    int32_t num_frames;
    int32_t pixel_type;
    int32_t audio_rate;
    int32_t sample_type;
    int32_t channels;
    int64_t audio_samples;
    int32_t image_type;
};

// Byte j of source sample s, as every test source produces it.
uint8_t source_sample_byte(int64_t s, int64_t j);

// Guard bytes on each side of the buffer handed to GetAudio, and their value.
constexpr int64_t kGuardBytes = 16;
constexpr uint8_t kFillByte = 0xEE;

// What a source frame looks like to the runner after a GetFrame call.
struct FrameResult {
    bool ours;      // the object is a frame the source made
    int32_t tag;    // the source frame number it was made for
    int64_t refs;   // its reference count before the driver released it
};

// The queries a host puts to a new clip through SetCacheHints and the answers
// every binary must give: AviSynth+'s thread mode (509: a nice filter, 1),
// its "do not cache me" (501: 1) and contract check (1000: 0), AviSynth 2.6's
// cache, cost and thread questions (0: no preference) and 0.
struct CacheQuestion {
    int32_t hints;
    int32_t answer;
};
constexpr CacheQuestion kCacheQuestions[] = {{509, 1}, {501, 1}, {1000, 0}, {0, 0},   {200, 0}, {201, 0}, {202, 0},
                                             {203, 0}, {220, 0}, {240, 0},  {260, 0}, {600, 0}, {601, 0}, {602, 0}};

class Report;

// One platform's way of loading the plug-in and calling it as its host does.
// Clips and sources are named by small integers the Host chooses.
class Host {
public:
    // Services for the runner itself.
    virtual void* allocate(size_t bytes) = 0;
    virtual void release(void* block) = 0;
    virtual bool write_file(const char* name, const uint8_t* data, size_t size) = 0;
    virtual void remove_file(const char* name) = 0;
    virtual void make_directory(const char* name) = 0;
    virtual void write_output(const char* text, size_t size) = 0;

    // Loads the binary and calls its entry; reports each AddFunction and the
    // entry's result. False when nothing more can be run.
    virtual bool load(Report& report) = 0;
    // A new source clip; the driver holds one reference to it.
    virtual int make_source(const Properties& properties) = 0;
    // Calls the registered create callback over [source, file name] (a void
    // value when file_name is null). On success sets *clip; on failure sets
    // *error to the raised text (kept by the Host until the next call).
    virtual bool create(int source, const char* file_name, Report& report, int* clip, const char** error) = 0;
    virtual int64_t source_refs(int source) = 0;
    virtual Properties info(int clip, Report& report) = 0;
    virtual int version(int clip, Report& report) = 0;
    virtual FrameResult frame(int clip, int32_t n, Report& report) = 0;
    virtual bool parity(int clip, int32_t n, Report& report) = 0;
    // buffer holds kGuardBytes + bytes + kGuardBytes; GetAudio gets buffer + kGuardBytes.
    virtual void audio(int clip, int64_t start, int64_t count, uint8_t* buffer, int64_t bytes, Report& report) = 0;
    // Drops the driver's handle to the clip.
    virtual void release_clip(int clip, Report& report) = 0;
    // Heap blocks of the plug-in not yet freed.
    virtual int64_t live_allocations() = 0;
    // Files the plug-in has open; a host that cannot see them reports none.
    virtual int64_t open_files() { return 0; }

protected:
    ~Host() = default;
};

// The transcript, and what a Host reports while the plug-in runs.
class Report {
public:
    explicit Report(Host& host) : host_(host) {}
    ~Report();
    Report(const Report&) = delete;
    Report& operator=(const Report&) = delete;

    void function_registered(const char* name, const char* params, bool has_user_data);
    void entry_returned(const char* text);
    void source_frame(int32_t n);
    void source_parity(int32_t n);
    // A source GetAudio call; `at` is the destination's byte offset from the buffer.
    void source_audio(int64_t at, int64_t start, int64_t count);
    // A line that no correct run prints (a broken convention, an unknown call...).
    void problem(const char* text);
    void problem(const char* text, int64_t value);
    // A problem after which the binary cannot be called again.
    void fatal(const char* text);
    bool failed_fatally() const { return fatal_; }

    // Line building.
    void put(const char* text);
    void put(const char* text, size_t size);
    void put_number(int64_t value);
    void put_unsigned(uint64_t value);
    void put_hex_byte(uint8_t value);
    void end_line();
    void flush();

    struct AudioRequest {
        int64_t at;
        int64_t start;
        int64_t count;
    };
    void begin_audio();
    const AudioRequest* audio_requests() const { return requests_; }
    int audio_request_count() const { return request_count_; }

private:
    Host& host_;
    char* out_ = nullptr;
    size_t out_size_ = 0;
    size_t out_capacity_ = 0;
    bool fatal_ = false;
    AudioRequest* requests_ = nullptr;
    int request_count_ = 0;
    int request_capacity_ = 0;
};

// Runs the list (the whole file's text). Returns 0, or 1 when a fatal problem
// stopped it.
int run(Host& host, const char* script, size_t size);

}  // namespace scenario

#endif
