#pragma once

#include <cstdio>
#include <cstdlib>

// Stops the fuzzer with `what` when a property of the code under test fails.
inline void check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "%s\n", what);
    std::abort();
  }
}
