#pragma once

#include <cstdio>
#include <cstdlib>

// A failed invariant in a fuzz target: say which, then abort so libFuzzer
// keeps the input that broke it.
#define CHECK(condition)                                                                           \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "check failed: %s (line %d)\n", #condition, __LINE__);            \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)
