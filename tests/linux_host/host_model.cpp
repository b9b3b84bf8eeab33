#include "tests/linux_host/host_model.h"

#include "host/avisynth/sample_type.h"
#include "tests/scenario_runner/scenario_runner.h"

#include <dlfcn.h>

#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

namespace linux_host {
namespace {

// The script error the host's ThrowError raises.
struct HostError {
    std::string text;
};

// A script value: type @0, array size @2, payload @8; 16 bytes.
struct Value {
    int16_t type;
    int16_t array_size;
    union {
        void* clip;
        const char* string;
        const Value* array;
        int64_t raw;
    };
};
static_assert(sizeof(Value) == 16 && offsetof(Value, clip) == 8, "the host's AVSValue layout");

// Itanium ABI: a class returned by value goes through a hidden pointer passed
// before `this`; a class argument with a non-trivial copy is passed by address.
using ApplyFn = void* (*)(Value* result, const Value* args, void* user_data, void* env);
using GetVersionFn = int (*)(void*);
using GetFrameFn = void* (*)(void* result, void* self, int n, void* env);
using GetParityFn = bool (*)(void*, int);
using GetAudioFn = void (*)(void*, void*, int64_t, int64_t, void*);
using SetCacheHintsFn = int (*)(void*, int, int);
using GetVideoInfoFn = const VideoInfo* (*)(void*);
using DestructorFn = void (*)(void*);
using EntryFn = const char* (*)(void* env);

const void* const* vtable_of(void* object) { return *static_cast<const void* const* const*>(object); }
template <typename Fn>
Fn slot(void* object, int index) {
    return reinterpret_cast<Fn>(const_cast<void*>(vtable_of(object)[index]));
}

// ---- the host's environment: the 2.5 view the plug-in receives ----
struct Environment {
    const void* const* vtable;
    Host* host;
    std::vector<Host::Registration>* registered;
};

[[noreturn]] void unexpected_environment_call() {
    std::fprintf(stderr, "the plug-in called an environment member it must not use\n");
    std::abort();
}
void env_destructor(Environment*) { unexpected_environment_call(); }
long env_cpu_flags(Environment*) { unexpected_environment_call(); }
char* env_save_string(Environment*, const char*, int) { unexpected_environment_call(); }
char* env_sprintf(Environment*, const char*, ...) { unexpected_environment_call(); }
char* env_vsprintf(Environment*, const char*, void*) { unexpected_environment_call(); }
bool env_function_exists(Environment*, const char*) { unexpected_environment_call(); }
void env_invoke(Environment*) { unexpected_environment_call(); }

[[noreturn]] void env_throw_error(Environment*, const char* format, ...) {
    char text[4096];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    throw HostError{text};
}

void env_add_function(Environment* self, const char* name, const char* params, void* apply, void* user_data) {
    self->registered->push_back({name, params, apply, user_data});
}

const void* const kEnvironmentVtable[] = {
    reinterpret_cast<const void*>(env_destructor),      reinterpret_cast<const void*>(env_destructor),
    reinterpret_cast<const void*>(env_cpu_flags),       reinterpret_cast<const void*>(env_save_string),
    reinterpret_cast<const void*>(env_sprintf),         reinterpret_cast<const void*>(env_vsprintf),
    reinterpret_cast<const void*>(env_throw_error),     reinterpret_cast<const void*>(env_add_function),
    reinterpret_cast<const void*>(env_function_exists), reinterpret_cast<const void*>(env_invoke),
};

Environment* environment_for(Host* host, std::vector<Host::Registration>* registered) {
    thread_local Environment env;
    env = Environment{kEnvironmentVtable, host, registered};
    return &env;
}

// ---- the host's source clips ----
void record(State& state, const SourceCall& call) {
    std::lock_guard<std::mutex> hold(state.lock);
    state.calls.push_back(call);
    if (state.observer) state.observer(call);
}

int source_version(SourceClip*) { return 2; }

void* source_get_frame(void* result, SourceClip* self, int n, void*) {
    record(*self->state, {'f', 0, n, 0});
    auto* buffer = new FrameBuffer{nullptr, 0, 0, {1}};
    *static_cast<Frame**>(result) = new Frame{{1}, buffer, n};
    return result;
}

bool source_get_parity(SourceClip* self, int n) {
    record(*self->state, {'p', 0, n, 0});
    return n % 2 != 0;
}

void source_get_audio(SourceClip* self, void* buffer, int64_t start, int64_t count, void*) {
    State& state = *self->state;
    auto* at = static_cast<unsigned char*>(buffer);
    record(state, {'a', state.audio_base ? at - state.audio_base : -1, start, count});
    const int64_t bps = jobcut::bytes_per_audio_sample(state.vi.sample_type, state.vi.nchannels);
    for (int64_t s = 0; s < count; ++s)
        for (int64_t j = 0; j < bps; ++j) at[s * bps + j] = scenario::source_sample_byte(start + s, j);
}

void source_set_cache_hints(SourceClip*, int, int) {}
const VideoInfo* source_get_video_info(SourceClip* self) { return &self->state->vi; }
void source_destroy(SourceClip* self) { self->state->destroyed = true; }
void source_delete(SourceClip* self) {
    source_destroy(self);
    delete self->state;
    delete self;
}

const void* const kSourceVtable[] = {
    reinterpret_cast<const void*>(source_version),        reinterpret_cast<const void*>(source_get_frame),
    reinterpret_cast<const void*>(source_get_parity),     reinterpret_cast<const void*>(source_get_audio),
    reinterpret_cast<const void*>(source_set_cache_hints), reinterpret_cast<const void*>(source_get_video_info),
    reinterpret_cast<const void*>(source_destroy),        reinterpret_cast<const void*>(source_delete),
};

// The inline counting the host compiles into itself.
std::atomic<int64_t>& count_of(void* clip) {
    return *reinterpret_cast<std::atomic<int64_t>*>(static_cast<char*>(clip) + 8);
}

void release_value_clip(const Value& value) {
    if (value.type == 'c' && value.clip) Host::release(value.clip);
}

}  // namespace

Host::Host(const std::string& library_path) {
    library = dlopen(library_path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library) throw std::runtime_error(std::string("dlopen: ") + dlerror());
}

Host::~Host() {
    if (library) dlclose(library);
}

const char* Host::load() {
    auto entry = reinterpret_cast<EntryFn>(dlsym(library, "AvisynthPluginInit2"));
    if (!entry) throw std::runtime_error("no AvisynthPluginInit2");
    return entry(environment_for(this, &registered));
}

SourceClip* Host::make_source(const VideoInfo& vi) {
    auto* state = new State;
    state->vi = vi;
    return new SourceClip{kSourceVtable, {1}, state};
}

void Host::release_source(SourceClip* source) { release(source); }

void* Host::create(SourceClip* source, const char* name, std::string* error) {
    if (registered.empty()) throw std::runtime_error("nothing registered");
    add_ref(source);
    Value elements[2];
    elements[0].type = 'c';
    elements[0].array_size = 0;
    elements[0].clip = source;
    elements[1].type = name ? 's' : 'v';
    elements[1].array_size = 0;
    elements[1].string = name;
    const Value args{'a', 2, {.array = elements}};
    Value result{'v', 0, {.raw = 0}};
    auto apply = reinterpret_cast<ApplyFn>(registered.front().apply);
    try {
        apply(&result, &args, registered.front().user_data, environment_for(this, &registered));
    } catch (const HostError& raised) {
        release_value_clip(elements[0]);  // the host's copy of the arguments goes
        *error = raised.text;
        return nullptr;
    }
    // After a successful call the host releases the clip arguments by hand,
    // then destroys its copy of the arguments, which releases them again.
    release_value_clip(elements[0]);
    release_value_clip(elements[0]);
    if (result.type != 'c' || !result.clip) {
        *error = "the callback returned no clip";
        release_value_clip(result);
        return nullptr;
    }
    return result.clip;  // the result's reference becomes the caller's
}

int Host::version(void* clip) { return slot<GetVersionFn>(clip, 0)(clip); }

int Host::cache_hint(void* clip, int hints) { return slot<SetCacheHintsFn>(clip, 4)(clip, hints, 0); }

const VideoInfo& Host::info(void* clip) { return *slot<GetVideoInfoFn>(clip, 5)(clip); }

Frame* Host::frame(void* clip, int n) {
    Frame* handle = nullptr;
    void* returned = slot<GetFrameFn>(clip, 1)(&handle, clip, n, environment_for(nullptr, nullptr));
    if (returned != &handle) throw std::runtime_error("GetFrame returned another result address");
    return handle;
}

bool Host::parity(void* clip, int n) { return slot<GetParityFn>(clip, 2)(clip, n); }

void Host::audio(void* clip, void* buffer, int64_t start, int64_t count) {
    slot<GetAudioFn>(clip, 3)(clip, buffer, start, count, environment_for(nullptr, nullptr));
}

void Host::add_ref(void* clip) { ++count_of(clip); }

void Host::release(void* clip) {
    if (--count_of(clip) == 0) slot<DestructorFn>(clip, 7)(clip);
}

void Host::release_frame(Frame* frame) {
    FrameBuffer* buffer = frame->buffer;
    if (--frame->refcount == 0) {
        --buffer->refcount;
        delete buffer;
        delete frame;
    }
}

}  // namespace linux_host
