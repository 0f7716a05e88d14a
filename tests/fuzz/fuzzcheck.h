#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

// Every fuzz target defines this; libFuzzer, or the corpus driver of the ordinary build,
// calls it once per input.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

// A broken property is a finding: abort so that libFuzzer keeps the input, and so that a
// corpus run in the ordinary test suite fails.
#define FUZZ_CHECK(condition)                                                                \
    do {                                                                                     \
        if (!(condition)) {                                                                  \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                    \
        }                                                                                    \
    } while (false)
