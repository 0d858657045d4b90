#include "tests/support/wait.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
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

TWatchdog::TWatchdog(std::string What, int TimeoutMs)
    : thread_([done = done_.get_future(), What = std::move(What), TimeoutMs] {
        if (done.wait_for(std::chrono::milliseconds(TimeoutMs)) == std::future_status::ready) return;
        std::fprintf(stderr, "%s did not return within %d ms\n", What.c_str(), TimeoutMs);
        std::abort();
      }) {}

TWatchdog::~TWatchdog() {
  done_.set_value();
  thread_.join();
}

}  // namespace vxtest
