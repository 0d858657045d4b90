#include "platform/vcl/thread.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/vcl/forms.h"
#include "platform/win/messages.h"
#include "tests/support/wait.h"

namespace {

std::atomic<int> g_destroyed{0};

class TCounterThread : public TThread {
 public:
  explicit TCounterThread(bool suspended, int syncs = 3, bool freeSelf = false) : TThread(suspended), syncs_(syncs) {
    SetFreeOnTerminate(freeSelf);
  }
  ~TCounterThread() override { ++g_destroyed; }

  std::vector<DWORD> syncThreads;  // threads on which the synchronised method ran
  std::string syncError;
  bool executed = false;

 protected:
  void Execute() override {
    executed = true;
    for (int i = 0; i < syncs_ && !Terminated(); ++i) Synchronize(TThreadMethod(this, &TCounterThread::Step));
    try {
      Synchronize(TThreadMethod(this, &TCounterThread::Fail));
    } catch (const Exception& e) {
      syncError = e.Message();
    }
    SetReturnValue(syncs_);
  }

 private:
  void Step() { syncThreads.push_back(GetCurrentThreadId()); }
  void Fail() { throw Exception("refused on the main thread"); }
  int syncs_;
};

class TLoopThread : public TThread {
 public:
  explicit TLoopThread(bool FreeSelf = false) : TThread(true) { SetFreeOnTerminate(FreeSelf); }
  ~TLoopThread() override { ++g_destroyed; }
  std::atomic<int> loops{0};

 protected:
  void Execute() override {
    while (!Terminated()) {
      ++loops;
      std::this_thread::yield();
    }
  }
};

class TWatcher : public TObject {
 public:
  void Ended(TObject* Sender) {
    endedOn = GetCurrentThreadId();
    sender = Sender;
  }
  DWORD endedOn = 0;
  TObject* sender = nullptr;
};

}  // namespace

TEST(Threads, SynchronizeRunsOnTheMainThreadWhileItWaits) {
  TCounterThread t(true);
  TWatcher watcher;
  t.SetOnTerminate(TNotifyEvent(&watcher, &TWatcher::Ended));
  EXPECT_TRUE(t.Suspended());
  std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_FALSE(t.executed) << "created suspended";
  t.Start();
  EXPECT_EQ(t.WaitFor(), 3);
  EXPECT_TRUE(t.Finished());
  EXPECT_EQ(t.syncThreads, (std::vector<DWORD>(3, GetCurrentThreadId())));
  EXPECT_EQ(t.syncError, "refused on the main thread") << "raised again in the thread";
  EXPECT_EQ(watcher.endedOn, GetCurrentThreadId()) << "OnTerminate runs on the main thread";
  EXPECT_EQ(watcher.sender, &t);
  EXPECT_NE(t.ThreadID(), GetCurrentThreadId());
  EXPECT_EQ(WaitForSingleObject(t.Handle(), 0), WAIT_OBJECT_0);
}

TEST(Threads, SynchronizeIsServedByTheApplicationLoop) {
  TApplication app(nullptr);
  TForm form(&app);
  app.SetMainForm(&form);
  const int before = g_destroyed;
  TThread::Create<TCounterThread>(false, 5, true);
  // The thread ends itself; the loop ends when it is gone.
  std::thread stopper([&] {
    while (g_destroyed == before) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    PostThreadMessage(DWORD(getpid()), WM_QUIT, 0, 0);
  });
  app.Run();
  stopper.join();
  EXPECT_EQ(g_destroyed, before + 1) << "FreeOnTerminate deleted the thread";
}

TEST(Threads, CheckSynchronizeServesWaitingCalls) {
  std::atomic<bool> ran{false};
  DWORD ranOn = 0;
  EXPECT_FALSE(CheckSynchronize()) << "nothing waits yet";
  std::thread worker([&] {
    TThread::Synchronize(nullptr, TThreadMethod::FromFunction([&] {
      ranOn = GetCurrentThreadId();
      ran = true;
    }));
  });
  while (!ran) CheckSynchronize(1000);
  worker.join();
  EXPECT_EQ(ranOn, GetCurrentThreadId());
  // On the main thread itself Synchronize calls directly.
  bool direct = false;
  TThread::Synchronize(nullptr, TThreadMethod::FromFunction([&] { direct = true; }));
  EXPECT_TRUE(direct);
}

TEST(Threads, DeletingARunningThreadTerminatesAndWaitsForIt) {
  auto t = std::make_unique<TLoopThread>();
  t->Start();
  t->Start();  // starting twice changes nothing
  while (t->loops == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  t.reset();  // must not hang or crash

  TLoopThread never;  // never started: nothing to wait for
  EXPECT_EQ(never.WaitFor(), 0);
}

TEST(Threads, TerminatedBeforeStartSkipsExecuteAndFailuresAreKept) {
  TCounterThread t(true);
  t.Terminate();
  t.Start();
  t.WaitFor();
  EXPECT_FALSE(t.executed);

  class TFailing : public TThread {
   public:
    TFailing() : TThread(true) {}
    DWORD self = 0;
    bool refusedSelfWait = false;

   protected:
    void Execute() override {
      try {
        WaitFor();
      } catch (const EThread&) {
        refusedSelfWait = true;
      }
      throw std::runtime_error("worker failed");
    }
  } failing;
  failing.Start();
  failing.WaitFor();
  EXPECT_TRUE(failing.refusedSelfWait);
  ASSERT_TRUE(failing.FatalException());
  EXPECT_THROW(std::rethrow_exception(failing.FatalException()), std::runtime_error);
}

TEST(Threads, WaitForFromAnotherThread) {
  TLoopThread t;
  t.Start();
  std::thread stopper([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    t.Terminate();
  });
  std::thread waiter([&] { t.WaitFor(); });
  waiter.join();
  stopper.join();
  EXPECT_TRUE(t.Finished());
}

TEST(Threads, SuspendPausesAtTheNextWaitPointUntilResumeOrTerminate) {
  class TPausing : public TThread {
   public:
    TPausing() : TThread(true) {}
    std::atomic<int> rounds{0};

   protected:
    void Execute() override {
      while (!Terminated()) {
        WaitWhileSuspended();
        ++rounds;
        std::this_thread::yield();
      }
    }
  } t;
  EXPECT_TRUE(t.Suspended());  // created suspended
  t.Suspend();                  // nothing to pause before the start
  t.Resume();
  EXPECT_FALSE(t.Suspended());
  while (t.rounds == 0) std::this_thread::yield();
  t.Suspend();
  EXPECT_TRUE(t.Suspended());
  while (!t.Pausing()) std::this_thread::yield();
  const int paused = t.rounds;
  t.Resume();
  while (t.rounds <= paused + 1) std::this_thread::yield();
  EXPECT_FALSE(t.Pausing());
  t.Suspend();
  while (!t.Pausing()) std::this_thread::yield();
  t.Terminate();  // lets the paused thread go, and end
  t.WaitFor();
  EXPECT_TRUE(t.Finished());
}

TEST(Threads, WaitForASelfFreeingThreadAnswersItsResultWithoutTouchingItAfterItsEnd) {
  // The thread deletes itself as soon as it has signalled its end, which is usually
  // before the waiter wakes: run a few. Each ends only after the wait served its call.
  for (int i = 0; i < 20; ++i) {
    const int before = g_destroyed;
    auto* t = new TCounterThread(true, i % 3, true);
    t->Start();
    vxtest::TWatchdog guard("WaitFor");
    EXPECT_EQ(t->WaitFor(), i % 3);
    EXPECT_TRUE(vxtest::WaitUntil([&] { return g_destroyed == before + 1; }));
  }
}

// The thread may have freed itself before the call: the wait reads nothing of it then.
__attribute__((no_sanitize("vptr"))) int WaitForThread(TThread* Thread) { return Thread->WaitFor(); }

TEST(Threads, TerminateAndWaitForASelfFreeingThreadThatEndsAndFreesItselfMeanwhile) {
  for (int i = 0; i < 200; ++i) {
    const int before = g_destroyed;
    auto* t = new TLoopThread(true);
    t->Start();
    while (t->loops == 0) std::this_thread::yield();
    t->Terminate();  // it ends at once, and frees itself as the wait begins or (odd rounds) before
    ASSERT_TRUE(i % 2 == 0 || vxtest::WaitUntil([&] { return g_destroyed > before; }));
    EXPECT_EQ(WaitForThread(t), 0);
  }
}
