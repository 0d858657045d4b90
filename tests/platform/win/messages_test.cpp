#include "platform/win/messages.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/epoll.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <set>
#include <stdexcept>
#include <thread>
#include <vector>

#include "platform/rtl/exceptions.h"
#include "platform/win/reactor.h"
#include "platform/win/sync.h"

namespace {

struct TReceived {
  HWND hwnd;
  UINT msg;
  WPARAM w;
  LPARAM l;
};

// A hidden window that records what it is sent.
class TProbeWindow {
 public:
  explicit TProbeWindow(bool allocate = true)
      : hwnd(allocate ? AllocateHWnd(TWndMethod(this, &TProbeWindow::WndProc)) : nullptr) {}
  ~TProbeWindow() {
    onMessage = nullptr;  // handlers of a test may refer to its finished locals
    if (IsWindow(hwnd)) DeallocateHWnd(hwnd);
  }
  void WndProc(TMessage& m) {
    received.push_back({hwnd, m.Msg, m.WParam, m.LParam});
    if (onMessage) {
      onMessage(m);
    } else {
      m.Result = DefWindowProc(hwnd, m.Msg, m.WParam, m.LParam);
    }
  }
  std::vector<UINT> Messages() const {
    std::vector<UINT> r;
    for (auto& x : received) r.push_back(x.msg);
    return r;
  }

  HWND hwnd;
  std::vector<TReceived> received;
  std::function<void(TMessage&)> onMessage;
};

void Drain() {
  MSG m;
  while (PeekMessage(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessage(&m);
}

}  // namespace

TEST(MessageQueue, PostedMessagesComeOutInOrderAcrossWindows) {
  TProbeWindow a, b;
  ASSERT_TRUE(PostMessage(a.hwnd, WM_USER + 1, 1, 0));
  ASSERT_TRUE(PostMessage(b.hwnd, WM_USER + 2, 2, 0));
  ASSERT_TRUE(PostThreadMessage(GetCurrentThreadId(), WM_USER + 3, 3, 0));
  ASSERT_TRUE(PostMessage(a.hwnd, WM_USER + 4, 4, 0));
  std::vector<WPARAM> order;
  MSG m;
  while (PeekMessage(&m, nullptr, 0, 0, PM_REMOVE)) {
    order.push_back(m.wParam);
    DispatchMessage(&m);
  }
  EXPECT_EQ(order, (std::vector<WPARAM>{1, 2, 3, 4}));
  EXPECT_EQ(a.Messages(), (std::vector<UINT>{WM_USER + 1, WM_USER + 4}));
  EXPECT_EQ(b.Messages(), (std::vector<UINT>{WM_USER + 2}));
}

TEST(MessageQueue, FiltersTakeMatchingMessagesAndLeaveTheRestInOrder) {
  TProbeWindow a, b;
  PostMessage(a.hwnd, WM_USER + 1, 0, 0);
  PostMessage(b.hwnd, WM_USER + 2, 0, 0);
  PostMessage(a.hwnd, WM_USER + 3, 0, 0);
  PostThreadMessage(GetCurrentThreadId(), WM_USER + 4, 0, 0);

  MSG m;
  ASSERT_TRUE(PeekMessage(&m, b.hwnd, 0, 0, PM_NOREMOVE));
  EXPECT_EQ(m.message, WM_USER + 2u);
  ASSERT_TRUE(PeekMessage(&m, b.hwnd, 0, 0, PM_REMOVE));
  EXPECT_FALSE(PeekMessage(&m, b.hwnd, 0, 0, PM_REMOVE));
  ASSERT_TRUE(PeekMessage(&m, nullptr, WM_USER + 3, WM_USER + 4, PM_REMOVE));
  EXPECT_EQ(m.message, WM_USER + 3u);
  ASSERT_TRUE(PeekMessage(&m, HWND_THREAD_MESSAGES, 0, 0, PM_REMOVE));
  EXPECT_EQ(m.message, WM_USER + 4u);
  EXPECT_EQ(m.hwnd, nullptr);
  ASSERT_TRUE(PeekMessage(&m, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(m.message, WM_USER + 1u);
  EXPECT_FALSE(PeekMessage(&m, nullptr, 0, 0, PM_REMOVE));
}

TEST(MessageQueue, DestroyedWindowLosesItsMessagesAndItsHandle) {
  TProbeWindow a, b;
  PostMessage(a.hwnd, WM_USER, 1, 0);
  PostMessage(b.hwnd, WM_USER, 2, 0);
  PostMessage(a.hwnd, WM_USER, 3, 0);
  const HWND dead = a.hwnd;
  ASSERT_TRUE(DestroyWindow(dead));
  EXPECT_EQ(a.Messages(), (std::vector<UINT>{WM_DESTROY, WM_NCDESTROY}));
  EXPECT_FALSE(IsWindow(dead));
  EXPECT_FALSE(PostMessage(dead, WM_USER, 4, 0));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_WINDOW_HANDLE);
  EXPECT_EQ(SendMessage(dead, WM_USER, 5, 0), 0);
  Drain();
  ASSERT_EQ(b.received.size(), 1u);
  EXPECT_EQ(a.received.size(), 2u);  // nothing after WM_NCDESTROY
  MSG m;
  EXPECT_FALSE(PeekMessage(&m, nullptr, 0, 0, PM_REMOVE));
}

TEST(MessageQueue, WindowHandlesAreNeverReused) {
  std::set<HWND> seen;
  std::vector<HWND> old;
  for (int i = 0; i < 500; ++i) {
    HWND h = AllocateHWnd(nullptr);
    ASSERT_TRUE(seen.insert(h).second) << "handle handed out twice";
    old.push_back(h);
    DeallocateHWnd(h);
  }
  for (HWND h : old) EXPECT_FALSE(IsWindow(h));
}

TEST(MessageQueue, QuitComesAfterPostedMessagesWithItsExitCode) {
  TProbeWindow a;
  PostMessage(a.hwnd, WM_USER, 0, 0);
  PostQuitMessage(7);
  PostMessage(a.hwnd, WM_USER + 1, 0, 0);
  MSG m;
  ASSERT_TRUE(GetMessage(&m, nullptr, 0, 0));
  EXPECT_EQ(m.message, WM_USER);
  ASSERT_TRUE(GetMessage(&m, nullptr, 0, 0));
  EXPECT_EQ(m.message, WM_USER + 1);
  ASSERT_TRUE(PeekMessage(&m, nullptr, 0, 0, PM_NOREMOVE));
  EXPECT_EQ(m.message, WM_QUIT);
  EXPECT_FALSE(GetMessage(&m, nullptr, 0, 0));
  EXPECT_EQ(m.message, WM_QUIT);
  EXPECT_EQ(m.wParam, 7u);
  EXPECT_FALSE(PeekMessage(&m, nullptr, 0, 0, PM_REMOVE));
}

TEST(MessageQueue, PostsFromManyThreadsArriveCompleteAndInEachSendersOrder) {
  TProbeWindow target;
  constexpr int kThreads = 8, kEach = 2000;
  std::vector<int> next(kThreads, 0);
  int total = 0;
  bool ordered = true;
  target.onMessage = [&](TMessage& m) {
    const int sender = int(m.WParam), seq = int(m.LParam);
    if (next[sender] != seq) ordered = false;
    next[sender] = seq + 1;
    ++total;
  };
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&, t] {
      for (int i = 0; i < kEach; ++i) ASSERT_TRUE(PostMessage(target.hwnd, WM_USER, WPARAM(t), i));
    });
  MSG m;
  while (total < kThreads * kEach && GetMessage(&m, nullptr, 0, 0)) DispatchMessage(&m);
  for (auto& t : threads) t.join();
  EXPECT_EQ(total, kThreads * kEach);
  EXPECT_TRUE(ordered);
}

TEST(MessageQueue, ThreadQueuesEndWithTheirThread) {
  DWORD tid = 0;
  HWND hwnd = nullptr;
  std::thread worker([&] {
    tid = GetCurrentThreadId();
    hwnd = AllocateHWnd(nullptr);
    PostMessage(hwnd, WM_USER, 0, 0);
  });
  worker.join();
  EXPECT_FALSE(IsWindow(hwnd));
  EXPECT_FALSE(PostMessage(hwnd, WM_USER, 0, 0));
  EXPECT_FALSE(PostThreadMessage(tid, WM_USER, 0, 0));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_THREAD_ID);
}

TEST(MessageQueue, HandlersMayPumpAgainAndDestroyTheirOwnWindow) {
  TProbeWindow a, b;
  std::vector<int> order;
  a.onMessage = [&](TMessage& m) {
    if (m.Msg != WM_USER) return;
    order.push_back(int(m.WParam));
    if (m.WParam == 1) {
      PostMessage(b.hwnd, WM_USER, 3, 0);  // posted during the nested pump
      Drain();                              // re-entrant: runs 2 and 3 here
      order.push_back(-1);
    }
    if (m.WParam == 4) DestroyWindow(a.hwnd);
  };
  b.onMessage = [&](TMessage& m) {
    if (m.Msg == WM_USER) order.push_back(int(m.WParam));
  };
  PostMessage(a.hwnd, WM_USER, 1, 0);
  PostMessage(b.hwnd, WM_USER, 2, 0);
  PostMessage(a.hwnd, WM_USER, 4, 0);
  PostMessage(a.hwnd, WM_USER, 5, 0);  // dropped: the window is gone by then
  Drain();
  EXPECT_EQ(order, (std::vector<int>{1, 2, 4, 3, -1}));
  EXPECT_FALSE(IsWindow(a.hwnd));
}

TEST(MessageQueue, ClassWindowsKeepTheirDataAndClassesOutliveNoWindow) {
  static std::vector<LONG_PTR> seen;
  seen.clear();
  WNDCLASS wc;
  wc.lpszClassName = "ProbeSinkClass";
  wc.cbWndExtra = 4;
  wc.lpfnWndProc = [](HWND h, UINT msg, WPARAM w, LPARAM l) -> LRESULT {
    if (msg == WM_USER) {
      seen.push_back(GetWindowLongPtr(h, 0));
      return 42;
    }
    return DefWindowProc(h, msg, w, l);
  };
  ASSERT_NE(RegisterClass(&wc), 0);
  EXPECT_EQ(RegisterClass(&wc), 0);
  EXPECT_EQ(GetLastError(), ERROR_CLASS_ALREADY_EXISTS);
  WNDCLASS found;
  ASSERT_TRUE(GetClassInfo(nullptr, "probesinkclass", &found));
  HWND h = CreateWindowEx(WS_EX_TOOLWINDOW, "ProbeSinkClass", "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, nullptr,
                          nullptr);
  ASSERT_NE(h, nullptr);
  SetWindowLongPtr(h, 0, 1234);
  EXPECT_EQ(GetWindowLongPtr(h, GWLP_USERDATA), 0);
  EXPECT_EQ(GetWindowLongPtr(h, 8), 0);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_INDEX);
  EXPECT_EQ(SendMessage(h, WM_USER, 0, 0), 42);
  EXPECT_FALSE(UnregisterClass("ProbeSinkClass", nullptr));
  EXPECT_EQ(GetLastError(), ERROR_CLASS_HAS_WINDOWS);
  SendMessage(h, WM_CLOSE, 0, 0);  // default processing destroys it
  EXPECT_FALSE(IsWindow(h));
  EXPECT_TRUE(UnregisterClass("PROBESINKCLASS", nullptr));
  EXPECT_EQ(seen, (std::vector<LONG_PTR>{1234}));
}

// A worker thread with its own window and message loop.
class TWorker {
 public:
  explicit TWorker(std::function<void(TMessage&)> handler) {
    std::atomic<bool> ready{false};
    thread_ = std::thread([&, handler] {
      window_.onMessage = handler;
      window_.hwnd = AllocateHWnd(TWndMethod(&window_, &TProbeWindow::WndProc));
      tid_ = GetCurrentThreadId();
      ready = true;
      MSG m;
      while (GetMessage(&m, nullptr, 0, 0)) DispatchMessage(&m);
      DeallocateHWnd(window_.hwnd);
    });
    while (!ready) std::this_thread::yield();
  }
  ~TWorker() {
    Stop();
  }
  void Stop() {
    if (thread_.joinable()) {
      PostThreadMessage(tid_, WM_QUIT, 0, 0);
      thread_.join();
    }
  }
  HWND hwnd() const { return window_.hwnd; }
  DWORD tid() const { return tid_; }

 private:
  TProbeWindow window_{false};
  DWORD tid_ = 0;
  std::thread thread_;
};

TEST(SendMessageAcrossThreads, RunsOnTheOwnerAndReturnsItsResult) {
  TWorker worker([](TMessage& m) {
    if (m.Msg == WM_USER) m.Result = LRESULT(GetCurrentThreadId()) + LRESULT(m.WParam);
  });
  EXPECT_EQ(SendMessage(worker.hwnd(), WM_USER, 5, 0), LRESULT(worker.tid()) + 5);
}

TEST(SendMessageAcrossThreads, SenderServesCallsBackToItself) {
  TProbeWindow mine;
  mine.onMessage = [](TMessage& m) { m.Result = 100 + LRESULT(m.WParam); };
  TWorker worker([&](TMessage& m) {
    // Calls back into the waiting sender's thread before answering.
    if (m.Msg == WM_USER) m.Result = SendMessage(mine.hwnd, WM_USER, m.WParam, 0) * 2;
  });
  EXPECT_EQ(SendMessage(worker.hwnd(), WM_USER, 1, 0), 202);
}

TEST(SendMessageAcrossThreads, ExceptionOfTheProcedureReachesTheSender) {
  TWorker worker([](TMessage& m) {
    if (m.Msg == WM_USER) throw std::runtime_error("refused");
  });
  EXPECT_THROW(SendMessage(worker.hwnd(), WM_USER, 0, 0), std::runtime_error);
  // The worker's loop survived.
  EXPECT_EQ(SendMessage(worker.hwnd(), WM_USER + 1, 0, 0), 0);
}

TEST(SendMessageAcrossThreads, SenderIsReleasedWhenTheOwnerEndsWithoutServing) {
  std::atomic<bool> go{false};
  HWND hwnd = nullptr;
  std::atomic<bool> made{false};
  std::thread owner([&] {
    hwnd = AllocateHWnd(nullptr);
    made = true;
    while (!go) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    // Ends without looking at its queue again.
  });
  while (!made) std::this_thread::yield();
  std::thread release([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    go = true;
  });
  EXPECT_EQ(SendMessage(hwnd, WM_USER, 0, 0), 0);
  owner.join();
  release.join();
}

TEST(MsgWait, WakesForInputPostedByAnotherThread) {
  const DWORD me = GetCurrentThreadId();
  std::thread poster([me] {
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    PostThreadMessage(me, WM_USER, 0, 0);
  });
  EXPECT_EQ(MsgWaitForMultipleObjects(0, nullptr, FALSE, 10'000, QS_ALLINPUT), WAIT_OBJECT_0);
  poster.join();
  Drain();
}

TEST(MsgWait, ObjectsComeBeforeInputAndTimeoutsAreKept) {
  HANDLE ev = CreateEvent(nullptr, TRUE, FALSE, nullptr);
  PostThreadMessage(GetCurrentThreadId(), WM_USER, 0, 0);
  EXPECT_EQ(MsgWaitForMultipleObjects(1, &ev, FALSE, 0, QS_ALLINPUT), WAIT_OBJECT_0 + 1);
  SetEvent(ev);
  EXPECT_EQ(MsgWaitForMultipleObjects(1, &ev, FALSE, 0, QS_ALLINPUT), WAIT_OBJECT_0);
  ResetEvent(ev);
  // Posted messages do not count for a mask without post bits.
  EXPECT_EQ(MsgWaitForMultipleObjects(1, &ev, FALSE, 0, QS_TIMER), WAIT_TIMEOUT);
  Drain();
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(MsgWaitForMultipleObjects(1, &ev, FALSE, 40, QS_ALLINPUT), WAIT_TIMEOUT);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(40));
  HANDLE bad = reinterpret_cast<HANDLE>(uintptr_t{0x7777});
  EXPECT_EQ(MsgWaitForMultipleObjects(1, &bad, FALSE, 0, QS_ALLINPUT), WAIT_FAILED);
  CloseHandle(ev);
}

TEST(Reactor, WatchedDescriptorsAreServedInsideTheMessageWait) {
  int fds[2];
  ASSERT_EQ(pipe2(fds, O_NONBLOCK | O_CLOEXEC), 0);
  TProbeWindow sink;
  TReactor& reactor = TReactor::Current();
  int calls = 0;
  reactor.Watch(fds[0], EPOLLIN, [&](uint32_t events) {
    ++calls;
    char buf[16];
    while (read(fds[0], buf, sizeof buf) > 0) {
    }
    // A nested pump inside the callback does not re-enter it.
    Drain();
    PostMessage(sink.hwnd, WM_USER, 0, 0);
  });
  std::thread writer([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_EQ(write(fds[1], "x", 1), 1);
  });
  MSG m;
  ASSERT_TRUE(GetMessage(&m, nullptr, 0, 0));
  EXPECT_EQ(m.message, WM_USER);
  EXPECT_EQ(m.hwnd, sink.hwnd);
  EXPECT_EQ(calls, 1);
  writer.join();

  reactor.Unwatch(fds[0]);
  ASSERT_EQ(write(fds[1], "y", 1), 1);
  EXPECT_FALSE(PeekMessage(&m, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(calls, 1);
  bool refused = false;
  std::thread([&] {
    try {
      reactor.Watch(fds[0], EPOLLIN, [](uint32_t) {});
    } catch (const EInvalidOperation&) {
      refused = true;
    }
  }).join();
  EXPECT_TRUE(refused) << "watching from a foreign thread must be refused";
  close(fds[0]);
  close(fds[1]);
}

TEST(Reactor, NestedWaitInsideACallbackDoesNotSpinOnItsDescriptor) {
  int fds[2];
  ASSERT_EQ(pipe2(fds, O_NONBLOCK | O_CLOEXEC), 0);
  ASSERT_EQ(write(fds[1], "x", 1), 1);  // stays readable: the callback does not read
  TReactor& reactor = TReactor::Current();
  int calls = 0;
  double nestedCpuMs = 0;
  reactor.Watch(fds[0], EPOLLIN, [&](uint32_t) {
    if (++calls > 1) return;
    timespec a, b;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &a);
    EXPECT_EQ(MsgWaitForMultipleObjects(0, nullptr, FALSE, 150, QS_ALLINPUT), WAIT_TIMEOUT);
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &b);
    nestedCpuMs = (b.tv_sec - a.tv_sec) * 1e3 + (b.tv_nsec - a.tv_nsec) / 1e6;
  });
  MSG m;
  PeekMessage(&m, nullptr, 0, 0, PM_NOREMOVE);
  EXPECT_EQ(calls, 1);
  EXPECT_LT(nestedCpuMs, 75.0) << "the nested wait busy-looped";
  PeekMessage(&m, nullptr, 0, 0, PM_NOREMOVE);
  EXPECT_EQ(calls, 2) << "watched again once the callback returned";
  reactor.Unwatch(fds[0]);
  close(fds[0]);
  close(fds[1]);
}

TEST(MessageQueue, PingPongBetweenThreadsNeverLosesAWakeUp) {
  // Each side sleeps in GetMessage until the other answers; one lost wake-up hangs.
  constexpr int kRounds = 20'000;
  const DWORD main = GetCurrentThreadId();
  std::atomic<DWORD> peer{0};
  std::thread other([&] {
    MSG m;
    PeekMessage(&m, nullptr, 0, 0, PM_NOREMOVE);  // makes the thread's queue
    peer = GetCurrentThreadId();
    for (int i = 0; i < kRounds; ++i) {
      ASSERT_TRUE(GetMessage(&m, nullptr, 0, 0));
      PostThreadMessage(main, WM_USER, m.wParam + 1, 0);
    }
  });
  while (!peer) std::this_thread::yield();
  MSG m;
  WPARAM value = 0;
  PostThreadMessage(peer, WM_USER, value, 0);
  for (int i = 0; i < kRounds; ++i) {
    ASSERT_TRUE(GetMessage(&m, nullptr, 0, 0));
    value = m.wParam;
    if (i + 1 < kRounds) PostThreadMessage(peer, WM_USER, value, 0);
  }
  other.join();
  EXPECT_EQ(value, WPARAM(kRounds));
}
