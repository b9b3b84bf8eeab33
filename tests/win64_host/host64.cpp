// A 64-bit Windows test host for the x64 DLL, run under wine64. It loads the
// DLL with the system loader and calls it exactly as a 64-bit MSVC-built host
// does: the environment and the source clips are objects with vtables of host
// functions, the create callback gets the address of a copy of the arguments,
// and ThrowError raises a real C++ exception that unwinds through the
// plug-in's frames to the host's catch.
//
// The host's objects are laid out here from the host's published x64 layout,
// not from the plug-in's declarations, so a layout fault on the plug-in's side
// shows up as a failing transcript. On x64 there is one calling convention, so
// every slot is a plain function whose first parameter is `this`.
//
// Linked without a C runtime start-up; msvcrt.dll initialises itself when
// loaded. Usage: host64.exe DLL SCENARIO_FILE
#include <stdarg.h>
#include <stddef.h>
#include <stdint.h>

#include "host/avisynth/sample_type.h"
#include "tests/scenario_runner/scenario_runner.h"

extern "C" {
__declspec(dllimport) void* __stdcall GetStdHandle(unsigned long which);
__declspec(dllimport) int __stdcall WriteFile(void* file, const void* data, unsigned long size, unsigned long* written,
                                              void* overlapped);
__declspec(dllimport) __declspec(noreturn) void __stdcall ExitProcess(unsigned code);
__declspec(dllimport) void* __stdcall LoadLibraryA(const char* name);
__declspec(dllimport) void* __stdcall GetProcAddress(void* module, const char* name);
__declspec(dllimport) int __stdcall VirtualProtect(void* address, size_t size, unsigned long protection,
                                                   unsigned long* old_protection);

__declspec(dllimport) int __cdecl __getmainargs(int* argc, char*** argv, char*** env, int wildcards, int* startup);
__declspec(dllimport) void* __cdecl malloc(size_t bytes);
__declspec(dllimport) void __cdecl free(void* block);
__declspec(dllimport) int __cdecl _open(const char* name, int flags, ...);
__declspec(dllimport) int __cdecl _read(int file, void* buffer, unsigned count);
__declspec(dllimport) int __cdecl _write(int file, const void* data, unsigned count);
__declspec(dllimport) int __cdecl _close(int file);
__declspec(dllimport) int __cdecl _unlink(const char* name);
__declspec(dllimport) int __cdecl _rmdir(const char* name);
__declspec(dllimport) int __cdecl _mkdir(const char* name);
}

// msvcrt.dll's catch matching needs type descriptors, which point at
// type_info's vtable; msvcrt exports it only as data, so give the descriptors
// one of their own. Nothing reads through it.
extern "C" const void* const host_type_info_vtable[2] __asm__("??_7type_info@@6B@") = {nullptr, nullptr};

// Called when an exception would leave a function that may not throw
// (destructors): end the run, as the C++ runtime's terminate would.
extern "C" void __std_terminate() noexcept { ExitProcess(3); }

namespace {

constexpr int kOpenWriteOnly = 0x0001, kOpenCreate = 0x0100, kOpenTruncate = 0x0200, kOpenBinary = 0x8000;
constexpr unsigned long kPageReadWrite = 0x04;

// x64 layout of the host's objects.
struct VideoInfo {
    int32_t width;
    int32_t height;
    uint32_t fps_numerator;
    uint32_t fps_denominator;
    int32_t num_frames;
    int32_t pixel_type;
    int32_t audio_samples_per_second;
    int32_t sample_type;
    int64_t num_audio_samples;
    int32_t nchannels;
    int32_t image_type;
};
static_assert(sizeof(VideoInfo) == 48 && offsetof(VideoInfo, num_audio_samples) == 32 &&
                  offsetof(VideoInfo, nchannels) == 40,
              "VideoInfo as the host lays it out");

// IClip: vptr @0, 32-bit count @8; the host's own clip data follows.
struct SourceClip {
    void* const* vtable;
    volatile int32_t refcount;
    int32_t id;
    VideoInfo vi;
};
static_assert(offsetof(SourceClip, refcount) == 8, "IClip count");

struct FrameBuffer {
    uint8_t* data;
    int32_t size;
    int32_t sequence;
    volatile int32_t refcount;
};
static_assert(offsetof(FrameBuffer, refcount) == 16, "VideoFrameBuffer count");

struct Frame {
    volatile int32_t refcount;
    FrameBuffer* buffer;
    int32_t fields[7];
    // The host's own: the source frame number it was made for.
    int32_t tag;
    Frame* next_made;
};
static_assert(offsetof(Frame, buffer) == 8, "VideoFrame layout");

// GenericVideoFilter: child @16, vi @24.
constexpr size_t kFilterVideoInfo = 24;

// AVSValue: type @0, array_size @2, payload @8.
struct Value {
    int16_t type;
    int16_t array_size;
    void* payload;
};
static_assert(sizeof(Value) == 16 && offsetof(Value, payload) == 8, "AVSValue layout");

struct Environment {
    void* const* vtable;
};

// The plug-in's functions, called through pointers read from its objects.
enum ClipSlot { kGetVersion, kGetFrame, kGetParity, kGetAudio, kSetCacheHints, kGetVideoInfo, kDestructor };
using EntryFunction = const char* (*)(Environment* env);
using ApplyFunction = Value* (*)(Value* result, Value* args_copy, void* user_data, Environment* env);
using GetVersionFunction = int (*)(void* self);
using GetFrameFunction = Frame** (*)(void* self, Frame** result, int n, Environment* env);
using GetParityFunction = bool (*)(void* self, int n);
using GetAudioFunction = void (*)(void* self, void* buffer, int64_t start, int64_t count, Environment* env);
using SetCacheHintsFunction = int (*)(void* self, int hints, int range);
using GetVideoInfoFunction = const VideoInfo* (*)(void* self);
using DestructorFunction = void* (*)(void* self, unsigned flags);

template <typename F>
F slot(void* object, ClipSlot index) {
    void* const* vtable = *static_cast<void* const* const*>(object);
    return reinterpret_cast<F>(vtable[index]);
}

struct HostError {};  // what ThrowError throws; the text waits in g_thrown

scenario::Report* g_report = nullptr;
Environment g_env;
char g_thrown[1024];
Frame* g_frames = nullptr;  // every frame a source made
uint8_t* g_audio_buffer = nullptr;  // the buffer of the GetAudio call running, guards around it
int64_t g_audio_bytes = 0;
int64_t g_live_blocks = 0;
int64_t g_open_files = 0;

void problem(const char* text) {
    if (g_report) g_report->problem(text);
}

// Text formatting for ThrowError: the conversions a plug-in's message may use.
class Formatter {
public:
    Formatter(char* out, size_t capacity) : out_(out), capacity_(capacity) { out_[0] = 0; }

    void put(char c) {
        if (used_ + 1 < capacity_) {
            out_[used_++] = c;
            out_[used_] = 0;
        }
    }
    void put_unsigned(uint64_t value, unsigned base, bool upper) {
        char digits[24];
        int n = 0;
        const char* set = upper ? "0123456789ABCDEF" : "0123456789abcdef";
        do {
            digits[n++] = set[value % base];
            value /= base;
        } while (value);
        while (n) put(digits[--n]);
    }

    void format(const char* fmt, va_list args) {
        for (; *fmt; ++fmt) {
            if (*fmt != '%') {
                put(*fmt);
                continue;
            }
            ++fmt;
            while (*fmt == '-' || *fmt == '+' || *fmt == ' ' || *fmt == '#' || (*fmt >= '0' && *fmt <= '9') || *fmt == '.') ++fmt;
            bool wide = false;
            if (fmt[0] == 'I' && fmt[1] == '6' && fmt[2] == '4') {
                wide = true;
                fmt += 3;
            } else if (fmt[0] == 'l' && fmt[1] == 'l') {
                wide = true;
                fmt += 2;
            } else if (*fmt == 'l' || *fmt == 'h') {
                ++fmt;
            }
            switch (*fmt) {
                case 's': {
                    const char* text = va_arg(args, const char*);
                    for (const char* c = text ? text : "(null)"; *c; ++c) put(*c);
                    break;
                }
                case 'c': put(char(va_arg(args, int))); break;
                case 'd':
                case 'i': {
                    int64_t v = wide ? va_arg(args, int64_t) : va_arg(args, int);
                    if (v < 0) put('-');
                    put_unsigned(v < 0 ? uint64_t(0) - uint64_t(v) : uint64_t(v), 10, false);
                    break;
                }
                case 'u': put_unsigned(wide ? va_arg(args, uint64_t) : va_arg(args, unsigned), 10, false); break;
                case 'x':
                case 'X': put_unsigned(wide ? va_arg(args, uint64_t) : va_arg(args, unsigned), 16, *fmt == 'X'); break;
                case '%': put('%'); break;
                case 0: return;
                default: put('%'); put(*fmt); break;
            }
        }
    }

private:
    char* out_;
    size_t capacity_;
    size_t used_ = 0;
};

// The environment's slots.
void* env_destructor(Environment* self, unsigned) {
    problem("unexpected environment call destructor");
    return self;
}
long env_get_cpu_flags(Environment*) {
    problem("unexpected environment call GetCPUFlags");
    return 0;
}
char* env_save_string(Environment*, const char*, int) {
    problem("unexpected environment call SaveString");
    static char empty[1];
    return empty;
}
char* env_sprintf(Environment*, const char*, ...) {
    problem("unexpected environment call Sprintf");
    static char empty[1];
    return empty;
}
char* env_vsprintf(Environment*, const char*, void*) {
    problem("unexpected environment call VSprintf");
    static char empty[1];
    return empty;
}
void env_throw_error(Environment* self, const char* fmt, ...) {
    if (self != &g_env) problem("ThrowError on a foreign environment");
    va_list args;
    va_start(args, fmt);
    Formatter(g_thrown, sizeof g_thrown).format(fmt, args);
    va_end(args);
    throw HostError{};
}

struct Function {
    const char* name;
    const char* params;
    ApplyFunction apply;
    void* user_data;
};
Function g_function = {nullptr, nullptr, nullptr, nullptr};

void env_add_function(Environment* self, const char* name, const char* params, ApplyFunction apply, void* user_data) {
    if (self != &g_env) problem("AddFunction on a foreign environment");
    if (g_report) g_report->function_registered(name, params, user_data != nullptr);
    g_function = Function{name, params, apply, user_data};
}

void* const g_env_vtable[] = {
    reinterpret_cast<void*>(&env_destructor),   reinterpret_cast<void*>(&env_get_cpu_flags),
    reinterpret_cast<void*>(&env_save_string),  reinterpret_cast<void*>(&env_sprintf),
    reinterpret_cast<void*>(&env_vsprintf),     reinterpret_cast<void*>(&env_throw_error),
    reinterpret_cast<void*>(&env_add_function),
};

// The source clip's slots.
void check_env(Environment* env) {
    if (env != &g_env) problem("source call with a foreign environment");
}
int source_get_version(SourceClip*) {
    problem("unexpected source call GetVersion");
    return 2;
}
Frame** source_get_frame(SourceClip*, Frame** result, int n, Environment* env) {
    check_env(env);
    if (g_report) g_report->source_frame(n);
    FrameBuffer* buffer = static_cast<FrameBuffer*>(malloc(sizeof(FrameBuffer)));
    Frame* frame = static_cast<Frame*>(malloc(sizeof(Frame)));
    *buffer = FrameBuffer{nullptr, 0, 0, 1};
    *frame = Frame{1, buffer, {}, n, g_frames};
    g_frames = frame;
    *result = frame;
    return result;
}
bool source_get_parity(SourceClip*, int n) {
    if (g_report) g_report->source_parity(n);
    return n % 2 != 0;
}
void source_get_audio(SourceClip* self, void* destination, int64_t start, int64_t count, Environment* env) {
    check_env(env);
    uint8_t* data = g_audio_buffer + scenario::kGuardBytes;
    const int64_t at = static_cast<uint8_t*>(destination) - data;
    if (g_report) g_report->source_audio(at, start, count);
    const int64_t bps = jobcut::bytes_per_audio_sample(self->vi.sample_type, self->vi.nchannels);
    if (count <= 0 || bps == 0) return;
    // Writes only within the buffer and its guards; the runner sees the rest.
    const int64_t limit = g_audio_bytes + scenario::kGuardBytes;
    if (at >= limit) return;
    const int64_t fits = (limit - at + bps - 1) / bps;
    const int64_t to = at + (count < fits ? count : fits) * bps;
    for (int64_t b = at < -scenario::kGuardBytes ? -scenario::kGuardBytes : at; b < to && b < limit; ++b)
        data[b] = scenario::source_sample_byte(start + (b - at) / bps, (b - at) % bps);
}
void source_set_cache_hints(SourceClip*, int, int) { problem("unexpected source call SetCacheHints"); }
const VideoInfo* source_get_video_info(SourceClip* self) { return &self->vi; }
void* source_destructor(SourceClip* self, unsigned) {
    problem("source destroyed: released more often than referenced");
    return self;
}

void* const g_source_vtable[] = {
    reinterpret_cast<void*>(&source_get_version),     reinterpret_cast<void*>(&source_get_frame),
    reinterpret_cast<void*>(&source_get_parity),      reinterpret_cast<void*>(&source_get_audio),
    reinterpret_cast<void*>(&source_set_cache_hints), reinterpret_cast<void*>(&source_get_video_info),
    reinterpret_cast<void*>(&source_destructor),
};

// The plug-in's heap blocks and files, counted by binding its msvcrt imports
// of malloc, free, _open and _close to these, which pass on to msvcrt.
struct Block {
    void* address;
    Block* next;
};
Block* g_blocks = nullptr;

void* counting_malloc(size_t bytes) {
    void* block = malloc(bytes);
    if (block) {
        Block* entry = static_cast<Block*>(malloc(sizeof(Block)));
        *entry = Block{block, g_blocks};
        g_blocks = entry;
        ++g_live_blocks;
    }
    return block;
}
void counting_free(void* block) {
    if (!block) return;
    for (Block** link = &g_blocks; *link; link = &(*link)->next) {
        if ((*link)->address == block) {
            Block* entry = *link;
            *link = entry->next;
            free(entry);
            --g_live_blocks;
            free(block);
            return;
        }
    }
    problem("free of a block malloc did not return");
}
int counting_open(const char* name, int flags, ...) {
    if (!(flags & kOpenBinary)) problem("_open in text mode");
    if (flags & (kOpenWriteOnly | 0x0002 | kOpenCreate | kOpenTruncate | 0x0008)) problem("_open not read-only");
    int file = _open(name, flags);
    if (file >= 0) ++g_open_files;
    return file;
}
int counting_close(int file) {
    int status = _close(file);
    if (status == 0) --g_open_files;
    return status;
}

bool text_equal(const char* a, const char* b) {
    for (; *a && *a == *b; ++a, ++b) {
    }
    return *a == *b;
}
bool text_equal_nocase(const char* a, const char* b) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
    for (; *a && lower(*a) == lower(*b); ++a, ++b) {
    }
    return lower(*a) == lower(*b);
}

bool bind_counting_imports(uint8_t* base) {
    auto u32 = [&](size_t at) { return *reinterpret_cast<uint32_t*>(base + at); };
    const uint32_t pe = u32(0x3C);
    const uint32_t import_rva = u32(pe + 24 + 112 + 8);  // optional header (PE32+) data directory 1
    if (import_rva == 0) return true;
    for (uint8_t* desc = base + import_rva; u32(size_t(desc - base) + 12) != 0; desc += 20) {
        const size_t at = size_t(desc - base);
        if (!text_equal_nocase(reinterpret_cast<const char*>(base + u32(at + 12)), "msvcrt.dll")) continue;
        uint64_t* names = reinterpret_cast<uint64_t*>(base + (u32(at) ? u32(at) : u32(at + 16)));
        void** iat = reinterpret_cast<void**>(base + u32(at + 16));
        for (size_t k = 0; names[k]; ++k) {
            if (names[k] >> 63) continue;
            const char* name = reinterpret_cast<const char*>(base + names[k] + 2);
            void* replacement = text_equal(name, "malloc")   ? reinterpret_cast<void*>(&counting_malloc)
                                : text_equal(name, "free")   ? reinterpret_cast<void*>(&counting_free)
                                : text_equal(name, "_open")  ? reinterpret_cast<void*>(&counting_open)
                                : text_equal(name, "_close") ? reinterpret_cast<void*>(&counting_close)
                                                             : nullptr;
            if (!replacement) continue;
            unsigned long old;
            if (!VirtualProtect(&iat[k], sizeof(void*), kPageReadWrite, &old)) return false;
            iat[k] = replacement;
            VirtualProtect(&iat[k], sizeof(void*), old, &old);
        }
    }
    return true;
}

class WineHost final : public scenario::Host {
public:
    explicit WineHost(const char* dll) : dll_(dll) {}

    void* allocate(size_t bytes) override { return malloc(bytes); }
    void release(void* block) override { free(block); }
    bool write_file(const char* name, const uint8_t* data, size_t size) override {
        int file = _open(name, kOpenWriteOnly | kOpenCreate | kOpenTruncate | kOpenBinary, 0x0180);
        if (file < 0) return false;
        bool ok = true;
        for (size_t done = 0; done < size && ok;) {
            unsigned piece = size - done > (1u << 30) ? (1u << 30) : unsigned(size - done);
            int wrote = _write(file, data + done, piece);
            ok = wrote > 0;
            done += wrote > 0 ? size_t(wrote) : 0;
        }
        return _close(file) == 0 && ok;
    }
    void remove_file(const char* name) override {
        if (_unlink(name) != 0) _rmdir(name);
    }
    void make_directory(const char* name) override { _mkdir(name); }
    void write_output(const char* text, size_t size) override {
        unsigned long written;
        WriteFile(GetStdHandle(static_cast<unsigned long>(-11)), text, static_cast<unsigned long>(size), &written, nullptr);
    }

    bool load(scenario::Report& report) override {
        g_report = &report;
        void* module = LoadLibraryA(dll_);
        if (!module) {
            report.problem("LoadLibraryA failed");
            return false;
        }
        if (!bind_counting_imports(static_cast<uint8_t*>(module))) {
            report.problem("cannot bind the counting imports");
            return false;
        }
        EntryFunction entry = reinterpret_cast<EntryFunction>(GetProcAddress(module, "AvisynthPluginInit2"));
        if (!entry) {
            report.problem("no export AvisynthPluginInit2");
            return false;
        }
        try {
            report.entry_returned(entry(&g_env));
        } catch (const HostError&) {
            report.problem("entry raised an error");
            return false;
        }
        return true;
    }

    int make_source(const scenario::Properties& p) override {
        SourceClip* source = static_cast<SourceClip*>(malloc(sizeof(SourceClip)));
        *source = SourceClip{g_source_vtable, 1, source_count_,
                             VideoInfo{p.width, p.height, p.fps_numerator, p.fps_denominator, p.num_frames,
                                       p.pixel_type, p.audio_rate, p.sample_type, p.audio_samples, p.channels,
                                       p.image_type}};
        if (!grow(sources_, source_count_)) return -1;
        sources_[source_count_] = source;
        return source_count_++;
    }

    bool create(int source, const char* file_name, scenario::Report& report, int* clip, const char** error) override {
        g_report = &report;
        if (!g_function.apply) {
            report.problem("no function registered");
            *error = "";
            return false;
        }
        SourceClip* src = sources_[source];
        // The host's elements: a reference to the source and the name (or a
        // void value). The callee gets the address of a copy of the array
        // value and destroys that copy; the elements stay the host's.
        Value elements[2] = {{'c', 0, src}, {file_name ? int16_t('s') : int16_t('v'), 0, const_cast<char*>(file_name)}};
        ++src->refcount;
        Value args_copy = {'a', 2, elements};
        Value result = {0x4242, 0x4242, reinterpret_cast<void*>(0x4242424242424242)};
        bool made = false;
        Value* returned = nullptr;
        try {
            returned = g_function.apply(&result, &args_copy, g_function.user_data, &g_env);
            made = true;
        } catch (const HostError&) {
            *error = g_thrown;
        }
        if (--src->refcount == 0) report.problem("source released by the host's elements: its count was too low");
        if (!made) return false;
        if (returned != &result) report.problem("create callback did not return its result pointer");
        if (result.type != 'c' || !result.payload) {
            report.problem("create callback returned no clip");
            *error = "";
            return false;
        }
        // A host's cache passes its hints on as soon as it wraps the new clip.
        slot<SetCacheHintsFunction>(result.payload, kSetCacheHints)(result.payload, 0, 0);
        // AviSynth+ then asks its questions, and reads the answer in EAX.
        for (const scenario::CacheQuestion& q : scenario::kCacheQuestions)
            if (slot<SetCacheHintsFunction>(result.payload, kSetCacheHints)(result.payload, q.hints, 0) != q.answer)
                report.problem("SetCacheHints answered wrongly, hints", q.hints);
        if (!grow(clips_, clip_count_)) return false;
        clips_[clip_count_] = result.payload;
        *clip = clip_count_++;
        return true;
    }

    int64_t source_refs(int source) override { return sources_[source]->refcount; }

    scenario::Properties info(int clip, scenario::Report& report) override {
        g_report = &report;
        void* c = clips_[clip];
        const VideoInfo& vi = *slot<GetVideoInfoFunction>(c, kGetVideoInfo)(c);
        if (reinterpret_cast<const uint8_t*>(&vi) != static_cast<uint8_t*>(c) + kFilterVideoInfo)
            report.problem("GetVideoInfo: vi is not where GenericVideoFilter keeps it");
        return scenario::Properties{vi.width,      vi.height,     vi.fps_numerator,           vi.fps_denominator,
                                    vi.num_frames, vi.pixel_type, vi.audio_samples_per_second, vi.sample_type,
                                    vi.nchannels,  vi.num_audio_samples, vi.image_type};
    }

    int version(int clip, scenario::Report& report) override {
        g_report = &report;
        return slot<GetVersionFunction>(clips_[clip], kGetVersion)(clips_[clip]);
    }

    scenario::FrameResult frame(int clip, int32_t n, scenario::Report& report) override {
        g_report = &report;
        Frame* handle = nullptr;
        Frame** returned = slot<GetFrameFunction>(clips_[clip], kGetFrame)(clips_[clip], &handle, n, &g_env);
        if (returned != &handle) report.problem("GetFrame did not return its result pointer");
        for (Frame* f = g_frames; f; f = f->next_made) {
            if (f != handle) continue;
            scenario::FrameResult got{true, f->tag, f->refcount};
            // The driver's handle goes: the frame's count, then its buffer's when it reaches 0.
            FrameBuffer* buffer = f->buffer;
            if (--f->refcount == 0) --buffer->refcount;
            return got;
        }
        return scenario::FrameResult{false, 0, 0};
    }

    bool parity(int clip, int32_t n, scenario::Report& report) override {
        g_report = &report;
        return slot<GetParityFunction>(clips_[clip], kGetParity)(clips_[clip], n);
    }

    void audio(int clip, int64_t start, int64_t count, uint8_t* buffer, int64_t bytes, scenario::Report& report) override {
        g_report = &report;
        g_audio_buffer = buffer;
        g_audio_bytes = bytes;
        slot<GetAudioFunction>(clips_[clip], kGetAudio)(clips_[clip], buffer + scenario::kGuardBytes, start, count, &g_env);
        g_audio_buffer = nullptr;
    }

    void release_clip(int clip, scenario::Report& report) override {
        g_report = &report;
        void* c = clips_[clip];
        volatile int32_t* refcount = reinterpret_cast<volatile int32_t*>(static_cast<uint8_t*>(c) + 8);
        if (--*refcount == 0) slot<DestructorFunction>(c, kDestructor)(c, 1);  // flags 1: free after destroying
    }

    int64_t live_allocations() override { return g_live_blocks; }
    int64_t open_files() override { return g_open_files; }

private:
    template <typename T>
    bool grow(T*& array, int count) {
        if (count % 16 != 0) return true;
        T* grown = static_cast<T*>(malloc(sizeof(T) * size_t(count + 16)));
        if (!grown) return false;
        for (int i = 0; i < count; ++i) grown[i] = array[i];
        free(array);
        array = grown;
        return true;
    }

    const char* dll_;
    SourceClip** sources_ = nullptr;
    int source_count_ = 0;
    void** clips_ = nullptr;
    int clip_count_ = 0;
};

void say(const char* text) {
    unsigned long written, size = 0;
    while (text[size]) ++size;
    WriteFile(GetStdHandle(static_cast<unsigned long>(-12)), text, size, &written, nullptr);
}

int run(int argc, char** argv) {
    if (argc != 3) {
        say("usage: host64.exe DLL SCENARIO_FILE\n");
        return 2;
    }
    int file = _open(argv[2], kOpenBinary);
    if (file < 0) {
        say("cannot read the scenario file\n");
        return 2;
    }
    size_t size = 0, capacity = 1 << 16;
    char* script = static_cast<char*>(malloc(capacity));
    for (int got; script && (got = _read(file, script + size, unsigned(capacity - size))) > 0;) {
        size += size_t(got);
        if (size == capacity) {
            char* grown = static_cast<char*>(malloc(capacity * 2));
            for (size_t i = 0; grown && i < size; ++i) grown[i] = script[i];
            free(script);
            script = grown;
            capacity *= 2;
        }
    }
    _close(file);
    if (!script) return 2;
    g_env.vtable = g_env_vtable;
    WineHost host(argv[1]);
    int status = scenario::run(host, script, size);
    free(script);
    return status;
}

}  // namespace

extern "C" void HostMain() {
    int argc = 0, startup = 0;
    char** argv = nullptr;
    char** env = nullptr;
    __getmainargs(&argc, &argv, &env, 0, &startup);
    ExitProcess(unsigned(run(argc, argv)));
}
