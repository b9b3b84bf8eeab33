// A broken expectation ends the run the way a sanitizer finding does, so
// libFuzzer keeps the input that broke it.
#ifndef JOBCUT_FUZZ_REQUIRE_H
#define JOBCUT_FUZZ_REQUIRE_H

#include <cstdio>
#include <cstdlib>

inline void require(bool holds, const char* expectation) {
    if (holds) return;
    std::fprintf(stderr, "expectation broken: %s\n", expectation);
    std::abort();
}

#endif
