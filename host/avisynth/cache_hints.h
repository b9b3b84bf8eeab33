// The host queries the clip answers through SetCacheHints, and the answers it
// gives: AviSynth+'s values, declared here from its interface. Freestanding:
// test hosts built without any C runtime include it too.
#ifndef JOBCUT_HOST_AVISYNTH_CACHE_HINTS_H
#define JOBCUT_HOST_AVISYNTH_CACHE_HINTS_H

#include <stdint.h>

namespace jobcut {

// The version the clip reports. A host reads SetCacheHints' answer only from a
// clip reporting 5 or more (AviSynth 2.6's interface; 2.5 declared the call as
// returning nothing). 6 is AviSynth 2.6's own, whose clip layout, with
// SetCacheHints returning an int, is the one declared in clip_interface.h.
constexpr int kClipInterfaceVersion = 6;

// AviSynth+'s queries (its CACHE_AVSPLUS_CONSTANTS come at 500): 501 asks
// whether the clip wants to go without the host's frame cache, 509 its thread mode.
constexpr int32_t kCacheDontCacheMe = 501;
constexpr int32_t kCacheGetMtMode = 509;

// The thread mode in which every thread of the host shares one filter.
constexpr int32_t kMtNiceFilter = 1;

// The clip's answer to a query: a nice filter, not to be cached, and 0 (no
// answer) to everything else, as the host's own Trim answers.
constexpr int32_t cache_hint_answer(int32_t query) {
    return query == kCacheGetMtMode ? kMtNiceFilter : query == kCacheDontCacheMe ? 1 : 0;
}

}  // namespace jobcut

#endif
