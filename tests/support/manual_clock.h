// A clock that moves only when a test moves it, installed for the life of the object.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/win/clock.h"
#include "platform/win/reactor.h"

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

// A clock that moves when a thread waits: a thread that is about to block until a
// point in time moves the clock there at once, so waits take no real time and the
// time a thread sees is exactly what it waited plus what the test adds. Waits of the
// main thread move it only when asked to (the main thread of a test usually just
// serves the other threads).
class TSimulatedClock final : public IClock {
 public:
  explicit TSimulatedClock(bool MainThreadToo = false) : mainThreadToo_(MainThreadToo) { SetClock(this); }
  ~TSimulatedClock() override { SetClock(nullptr); }
  TSimulatedClock(const TSimulatedClock&) = delete;
  TSimulatedClock& operator=(const TSimulatedClock&) = delete;

  int64_t Now() const override { return now_.load(); }
  bool IsManual() const override { return true; }
  void WillBlockUntil(int64_t Deadline) override {
    if (!mainThreadToo_ && IsMainThread()) return;
    int64_t now = now_.load();
    while (now < Deadline)
      if (now_.compare_exchange_weak(now, Deadline)) {
        ClockChanged();
        return;
      }
  }
  void AdvanceMs(int64_t ms) {
    now_ += ms * 1'000'000;
    ClockChanged();
  }
  int64_t NowMs() const { return now_.load() / 1'000'000; }

 private:
  bool mainThreadToo_;
  std::atomic<int64_t> now_{int64_t{5'000} * 1'000'000'000};
};
