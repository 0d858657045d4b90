// Waiting in tests: for a state, never for a time. The bound only ends a test that
// fails, so it is generous: a loaded machine may be slow to get there.
#pragma once

#include <functional>
#include <future>
#include <string>
#include <thread>

namespace vxtest {

// How long a test waits for what it expects before it gives up.
inline constexpr int kPatienceMs = 60'000;

// Calls Done every few milliseconds until it answers true or TimeoutMs passes;
// Done's last answer.
bool WaitUntil(const std::function<bool()>& Done, int TimeoutMs = kPatienceMs);

// For a call that may hang when it fails (a deadlock): when the scope has not ended
// within TimeoutMs, says What and aborts, so the test fails then and not at the test
// runner's time limit.
class TWatchdog {
 public:
  explicit TWatchdog(std::string What, int TimeoutMs = kPatienceMs);
  ~TWatchdog();

 private:
  std::promise<void> done_;
  std::thread thread_;
};

}  // namespace vxtest
