// Waiting in tests: for a state, never for a time. The bound only ends a test that
// fails, so it is generous: a loaded machine may be slow to get there.
#pragma once

#include <functional>

namespace vxtest {

// How long a test waits for what it expects before it gives up.
inline constexpr int kPatienceMs = 60'000;

// Calls Done every few milliseconds until it answers true or TimeoutMs passes;
// Done's last answer.
bool WaitUntil(const std::function<bool()>& Done, int TimeoutMs = kPatienceMs);

}  // namespace vxtest
