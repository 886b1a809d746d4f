#pragma once

#include <cstdlib>

// A broken property stops the run, so that the fuzzer keeps the input that broke it.
inline void check(bool condition) {
    if (!condition) std::abort();
}
