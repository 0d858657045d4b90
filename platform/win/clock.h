// The one source of monotonic time. Every timer, time-out and tick count of the
// system reads it, so a test can put its own clock in place and move time by hand.
#pragma once

#include <cstdint>

#include "platform/win/wintypes.h"

class IClock {
 public:
  virtual ~IClock() = default;
  // Nanoseconds on a monotonic scale; only differences mean anything.
  virtual int64_t Now() const = 0;
  // A manual clock moves only when its owner moves it: waits for a point in time then
  // block until they are woken (see ClockChanged) instead of sleeping on the real clock.
  virtual bool IsManual() const { return false; }
  // Called by a thread that is about to block until Deadline (a point on this clock)
  // unless woken before. A simulated clock may move there at once, so that the wait
  // takes no real time.
  virtual void WillBlockUntil(int64_t /*Deadline*/) {}
};

// Deadline meaning "never".
constexpr int64_t kNeverNs = INT64_MAX;

IClock& Clock();
// Puts a clock in place for the whole process; null restores the system clock.
// The caller keeps ownership and must restore the system clock before freeing it.
void SetClock(IClock* clock);
// Wakes every waiting thread so that it re-reads the clock; a manual clock calls it
// whenever it moves.
void ClockChanged();

// Converts a time-out in milliseconds (INFINITE for none) to a deadline on Clock().
int64_t DeadlineAfterMs(DWORD ms);

// Milliseconds since an arbitrary start; the 32-bit values wrap after 49.7 days.
DWORD GetTickCount();
uint64_t GetTickCount64();
DWORD timeGetTime();
