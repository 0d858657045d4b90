#include "tests/support/wait.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace vxtest {

bool WaitUntil(const std::function<bool()>& Done, int TimeoutMs) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(TimeoutMs);
  auto pause = std::chrono::milliseconds(1);
  while (!Done()) {
    if (std::chrono::steady_clock::now() >= end) return Done();
    std::this_thread::sleep_for(pause);
    pause = std::min(pause * 2, std::chrono::milliseconds(20));  // soon at first, then gently
  }
  return true;
}

}  // namespace vxtest
