#include "platform/win/clock.h"

#include <atomic>
#include <ctime>

#include "platform/win/reactor.h"

namespace {

class TSystemClock final : public IClock {
 public:
  int64_t Now() const override {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
  }
};

IClock& SystemClock() {
  static TSystemClock clock;
  return clock;
}

std::atomic<IClock*> g_clock{nullptr};  // null: the system clock

}  // namespace

IClock& Clock() {
  IClock* c = g_clock.load(std::memory_order_acquire);
  return c ? *c : SystemClock();
}

void SetClock(IClock* clock) {
  g_clock.store(clock, std::memory_order_release);
  ClockChanged();
}

void ClockChanged() { TReactor::WakeAll(); }

int64_t DeadlineAfterMs(DWORD ms) {
  if (ms == INFINITE) return kNeverNs;
  return Clock().Now() + int64_t(ms) * 1'000'000;
}

uint64_t GetTickCount64() { return uint64_t(Clock().Now() / 1'000'000); }
DWORD GetTickCount() { return DWORD(GetTickCount64()); }
DWORD timeGetTime() { return DWORD(GetTickCount64()); }
