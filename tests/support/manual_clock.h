// A clock that moves only when a test moves it, installed for the life of the object.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/win/clock.h"

class TManualClock final : public IClock {
 public:
  TManualClock() { SetClock(this); }
  ~TManualClock() override { SetClock(nullptr); }
  TManualClock(const TManualClock&) = delete;
  TManualClock& operator=(const TManualClock&) = delete;

  int64_t Now() const override { return now_.load(); }
  bool IsManual() const override { return true; }
  void AdvanceMs(int64_t ms) {
    now_ += ms * 1'000'000;
    ClockChanged();
  }

 private:
  std::atomic<int64_t> now_{int64_t{5'000} * 1'000'000'000};
};
