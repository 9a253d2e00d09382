#pragma once

#include <cstdio>
#include <cstdlib>

// A property every input must keep; a broken one stops the fuzzer with the input that broke it.
#define REQUIRE(cond)                                                                 \
    do {                                                                              \
        if (!(cond)) {                                                                \
            std::fprintf(stderr, "property failed: %s (line %d)\n", #cond, __LINE__); \
            std::abort();                                                             \
        }                                                                             \
    } while (0)
