// Timing for the benchmarks: the best of five rounds, in microseconds per run.
#pragma once

#include <algorithm>
#include <chrono>
#include <functional>

namespace vxbench {

inline double Time(const std::function<void()>& f, int runs = 200) {
  f();
  double best = 1e30;
  for (int i = 0; i < 5; ++i) {
    const auto t0 = std::chrono::steady_clock::now();
    for (int k = 0; k < runs; ++k) f();
    const auto t1 = std::chrono::steady_clock::now();
    best = std::min(best, std::chrono::duration<double, std::micro>(t1 - t0).count() / runs);
  }
  return best;
}

}  // namespace vxbench
