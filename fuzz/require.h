#pragma once
// What a fuzz target asserts: a broken promise stops the run with a message, and
// libFuzzer keeps the input that caused it.

#include <cstdio>
#include <cstdlib>

#define FUZZ_REQUIRE(condition)                                                                                        \
    do {                                                                                                               \
        if (!(condition)) {                                                                                            \
            std::fprintf(stderr, "%s:%d: broken promise: %s\n", __FILE__, __LINE__, #condition);                       \
            std::abort();                                                                                              \
        }                                                                                                              \
    } while (false)
