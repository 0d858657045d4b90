// Timing for the benchmarks: the best of five rounds, in microseconds per run.
#pragma once

#include <algorithm>
#include <chrono>
#include <functional>
#include <vector>

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

// A and B timed in turn, round after round: the median of the rounds' ratios, which a
// busy machine's drift moves little. Took is A's median time in microseconds.
inline double PairedRatio(const std::function<void()>& A, const std::function<void()>& B, int Runs, double& Took) {
  std::vector<double> ratios, times;
  for (int round = 0; round < 9; ++round) {
    const double a = Time(A, Runs), b = Time(B, Runs);
    ratios.push_back(a / b);
    times.push_back(a);
  }
  std::sort(ratios.begin(), ratios.end());
  std::sort(times.begin(), times.end());
  Took = times[times.size() / 2];
  return ratios[ratios.size() / 2];
}

}  // namespace vxbench
