#include <gtest/gtest.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/win/messages.h"
#include "platform/win/sync.h"
#include "tests/support/manual_clock.h"
#include "tests/support/wait.h"

namespace {

// A thread's scheduling state from /proc: 'R' running, 'S' sleeping in a wait, ...
char ThreadState(pid_t Tid) {
  std::ifstream stat("/proc/self/task/" + std::to_string(Tid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  const size_t end = text.rfind(')');
  return end != std::string::npos && end + 2 < text.size() ? text[end + 2] : '?';
}

// Moves a manual clock in steps from another thread until stopped.
class TClockDriver {
 public:
  TClockDriver(TManualClock& clock, int64_t stepMs) {
    thread_ = std::thread([this, &clock, stepMs] {
      while (!stop_) {
        clock.AdvanceMs(stepMs);
        std::this_thread::sleep_for(std::chrono::microseconds(200));
      }
    });
  }
  ~TClockDriver() {
    stop_ = true;
    thread_.join();
  }

 private:
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

int CountTimerMessages(HWND hwnd) {
  int n = 0;
  MSG m;
  while (PeekMessage(&m, hwnd, WM_TIMER, WM_TIMER, PM_REMOVE)) ++n;
  return n;
}

}  // namespace

TEST(Timers, FireWhenDueAndCoalesceToOnePending) {
  TManualClock clock;
  HWND h = AllocateHWnd(nullptr);
  ASSERT_EQ(SetTimer(h, 9, 100), 9u);
  clock.AdvanceMs(99);
  EXPECT_EQ(CountTimerMessages(h), 0);
  clock.AdvanceMs(1);
  MSG m;
  ASSERT_TRUE(PeekMessage(&m, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(m.message, WM_TIMER);
  EXPECT_EQ(m.hwnd, h);
  EXPECT_EQ(m.wParam, 9u);
  // Ten periods pass unattended: still one WM_TIMER, and the next period starts at
  // retrieval.
  clock.AdvanceMs(1000);
  EXPECT_EQ(CountTimerMessages(h), 1);
  clock.AdvanceMs(99);
  EXPECT_EQ(CountTimerMessages(h), 0);
  clock.AdvanceMs(1);
  EXPECT_EQ(CountTimerMessages(h), 1);
  ASSERT_TRUE(KillTimer(h, 9));
  EXPECT_FALSE(KillTimer(h, 9));
  clock.AdvanceMs(500);
  EXPECT_EQ(CountTimerMessages(h), 0);
  DeallocateHWnd(h);
}

TEST(Timers, PostedMessagesGoFirstAndDestroyedWindowsStopTheirTimers) {
  TManualClock clock;
  HWND h = AllocateHWnd(nullptr);
  SetTimer(h, 1, 10);
  clock.AdvanceMs(10);
  PostMessage(h, WM_USER, 0, 0);
  MSG m;
  ASSERT_TRUE(PeekMessage(&m, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(m.message, WM_USER);
  ASSERT_TRUE(PeekMessage(&m, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(m.message, WM_TIMER);
  DestroyWindow(h);
  clock.AdvanceMs(100);
  EXPECT_FALSE(PeekMessage(&m, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(SetTimer(h, 1, 10), 0u);
}

TEST(Timers, OnlyTheOwnerThreadSetsThem) {
  HWND h = AllocateHWnd(nullptr);
  UINT_PTR r = 1;
  std::thread([&] { r = SetTimer(h, 1, 50); }).join();
  EXPECT_EQ(r, 0u);
  DeallocateHWnd(h);
}

TEST(Timers, GetMessageSleepsUntilTheClockReachesTheTimer) {
  TManualClock clock;
  HWND h = AllocateHWnd(nullptr);
  SetTimer(h, 3, 250);
  TClockDriver driver(clock, 5);
  MSG m;
  ASSERT_TRUE(GetMessage(&m, nullptr, 0, 0));
  EXPECT_EQ(m.message, WM_TIMER);
  EXPECT_EQ(m.wParam, 3u);
  DeallocateHWnd(h);
}

TEST(Timers, MsgWaitWakesForTimersOnlyWhenAskedTo) {
  TManualClock clock;
  HWND h = AllocateHWnd(nullptr);
  SetTimer(h, 1, 10);
  clock.AdvanceMs(20);
  EXPECT_EQ(MsgWaitForMultipleObjects(0, nullptr, FALSE, 0, QS_TIMER), WAIT_OBJECT_0);
  EXPECT_EQ(MsgWaitForMultipleObjects(0, nullptr, FALSE, 0, QS_POSTMESSAGE), WAIT_TIMEOUT);
  DeallocateHWnd(h);
}

TEST(WaitableTimers, ManualResetTimerEndsAMessagePumpingWait) {
  TManualClock clock;
  HANDLE timer = CreateWaitableTimer(nullptr, TRUE, "WaitableTimer");
  ASSERT_NE(timer, nullptr);
  LARGE_INTEGER due;
  due.QuadPart = -3000 * 10'000LL;  // 3 s, relative
  ASSERT_TRUE(SetWaitableTimer(timer, &due, 0, nullptr, nullptr, FALSE));
  const int64_t start = clock.Now();
  HWND h = AllocateHWnd(nullptr);
  int pumped = 0;
  {
    TClockDriver driver(clock, 7);
    PostMessage(h, WM_USER, 0, 0);
    for (;;) {
      const DWORD r = MsgWaitForMultipleObjects(1, &timer, FALSE, INFINITE, QS_ALLINPUT);
      if (r == WAIT_OBJECT_0) break;
      ASSERT_EQ(r, WAIT_OBJECT_0 + 1);
      MSG m;
      while (PeekMessage(&m, nullptr, 0, 0, PM_REMOVE)) ++pumped;
    }
  }
  EXPECT_GE(clock.Now() - start, int64_t{3000} * 1'000'000);
  EXPECT_EQ(pumped, 1);
  // Manual reset: stays signalled until set again.
  EXPECT_EQ(WaitForSingleObject(timer, 0), WAIT_OBJECT_0);
  ASSERT_TRUE(SetWaitableTimer(timer, &due, 0, nullptr, nullptr, FALSE));
  EXPECT_EQ(WaitForSingleObject(timer, 0), WAIT_TIMEOUT);
  DeallocateHWnd(h);
  CloseHandle(timer);
}

TEST(WaitableTimers, AutoResetAndPeriodicTimers) {
  TManualClock clock;
  HANDLE timer = CreateWaitableTimer(nullptr, FALSE, nullptr);
  LARGE_INTEGER due;
  due.QuadPart = -100 * 10'000LL;
  ASSERT_TRUE(SetWaitableTimer(timer, &due, 50, nullptr, nullptr, FALSE));
  EXPECT_EQ(WaitForSingleObject(timer, 0), WAIT_TIMEOUT);
  clock.AdvanceMs(100);
  EXPECT_EQ(WaitForSingleObject(timer, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(timer, 0), WAIT_TIMEOUT);  // taken by the first wait
  clock.AdvanceMs(50);
  EXPECT_EQ(WaitForSingleObject(timer, 0), WAIT_OBJECT_0);
  ASSERT_TRUE(CancelWaitableTimer(timer));
  clock.AdvanceMs(500);
  EXPECT_EQ(WaitForSingleObject(timer, 0), WAIT_TIMEOUT);
  EXPECT_FALSE(SetWaitableTimer(timer, nullptr, 0, nullptr, nullptr, FALSE));
  CloseHandle(timer);
  EXPECT_EQ(WaitForSingleObject(timer, 0), WAIT_FAILED);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST(Events, AutoResetWakesOneWaiterManualResetWakesAll) {
  HANDLE autoEv = CreateEvent(nullptr, FALSE, FALSE, nullptr);
  HANDLE manualEv = CreateEvent(nullptr, TRUE, FALSE, nullptr);
  std::atomic<int> autoWoken{0}, passed{0}, manualWoken{0};
  std::atomic<bool> firstSetOnly{true};
  std::vector<std::thread> waiters;
  for (int i = 0; i < 3; ++i) {
    waiters.emplace_back([&] {
      if (WaitForSingleObject(autoEv, 60'000) == WAIT_OBJECT_0 && firstSetOnly) ++autoWoken;
      ++passed;
      if (WaitForSingleObject(manualEv, 60'000) == WAIT_OBJECT_0) ++manualWoken;
    });
  }
  SetEvent(autoEv);
  EXPECT_TRUE(vxtest::WaitUntil([&] { return passed == 1; }));
  std::this_thread::sleep_for(std::chrono::milliseconds(20));  // time for a wrongly woken second waiter
  EXPECT_EQ(autoWoken, 1);
  // The others go on one set at a time.
  firstSetOnly = false;
  for (int n = 2; n <= 3; ++n) {
    SetEvent(autoEv);
    EXPECT_TRUE(vxtest::WaitUntil([&] { return passed == n; }));
  }
  SetEvent(manualEv);
  for (auto& t : waiters) t.join();
  EXPECT_EQ(autoWoken, 1);
  EXPECT_EQ(manualWoken, 3);
  EXPECT_EQ(WaitForSingleObject(manualEv, 0), WAIT_OBJECT_0);
  CloseHandle(autoEv);
  CloseHandle(manualEv);
}

TEST(Events, WaitAllTakesEveryObjectAtOnce) {
  HANDLE a = CreateEvent(nullptr, FALSE, TRUE, nullptr);
  HANDLE b = CreateEvent(nullptr, FALSE, FALSE, nullptr);
  HANDLE both[] = {a, b};
  EXPECT_EQ(WaitForMultipleObjects(2, both, TRUE, 0), WAIT_TIMEOUT);
  EXPECT_EQ(WaitForSingleObject(a, 0), WAIT_OBJECT_0) << "a failed wait-all must not take a";
  SetEvent(a);
  SetEvent(b);
  EXPECT_EQ(WaitForMultipleObjects(2, both, TRUE, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForMultipleObjects(2, both, FALSE, 0), WAIT_TIMEOUT);
  SetEvent(b);
  EXPECT_EQ(WaitForMultipleObjects(2, both, FALSE, 0), WAIT_OBJECT_0 + 1);
  CloseHandle(a);
  CloseHandle(b);
}

TEST(Events, ClosingAHandleDoesNotPullTheObjectFromAWaiter) {
  HANDLE ev = CreateEvent(nullptr, TRUE, FALSE, nullptr);
  const pid_t waiter = pid_t(syscall(SYS_gettid));
  std::thread closer([ev, waiter] {
    // Closes once the waiter sleeps in its wait.
    vxtest::WaitUntil([waiter] { return ThreadState(waiter) == 'S'; });
    CloseHandle(ev);
  });
  EXPECT_EQ(WaitForSingleObject(ev, 300), WAIT_TIMEOUT);
  closer.join();
  EXPECT_FALSE(SetEvent(ev));
}

TEST(Clock, TickCountsAndSleepFollowTheReplaceableClock) {
  TManualClock clock;
  const DWORD t0 = GetTickCount();
  const DWORD m0 = timeGetTime();
  clock.AdvanceMs(1234);
  EXPECT_EQ(GetTickCount() - t0, 1234u);
  EXPECT_EQ(timeGetTime() - m0, 1234u);
  const int64_t before = clock.Now();
  {
    TClockDriver driver(clock, 10);
    Sleep(500);
  }
  EXPECT_GE(clock.Now() - before, int64_t{500} * 1'000'000);
}

TEST(Clock, SystemClockSleepsInRealTime) {
  const auto start = std::chrono::steady_clock::now();
  Sleep(30);
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_GE(took, std::chrono::milliseconds(30));
  EXPECT_LT(took, std::chrono::milliseconds(10'000)) << "milliseconds, not seconds";
}
