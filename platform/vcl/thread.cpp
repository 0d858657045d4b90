#include "platform/vcl/thread.h"

#include <unistd.h>

#include <condition_variable>
#include <map>
#include <mutex>

#include "platform/rtl/sysutils.h"
#include "platform/win/messages.h"
#include "platform/win/resources.h"
#include "platform/win/sync.h"

namespace {

// Running threads by the module of their class. A package's thread may still be
// leaving code of the package after it signalled its end; unloading the package waits
// until the thread is out of it.
struct TModuleThreads {
  std::mutex lock;
  std::condition_variable changed;
  std::map<HMODULE, int> running;
};

TModuleThreads& ModuleThreads() {
  static auto* threads = new TModuleThreads;
  return *threads;
}

void ThreadBegins(HMODULE Module) {
  TModuleThreads& t = ModuleThreads();
  std::lock_guard guard(t.lock);
  ++t.running[Module];
}

void ThreadEnds(HMODULE Module) {
  TModuleThreads& t = ModuleThreads();
  {
    std::lock_guard guard(t.lock);
    if (--t.running[Module] == 0) t.running.erase(Module);
  }
  t.changed.notify_all();
}

bool ModuleHasThreads(HMODULE Module) {
  TModuleThreads& t = ModuleThreads();
  std::lock_guard guard(t.lock);
  return t.running.count(Module) != 0;
}

// Serves the calls the ending threads make to this thread while it waits.
void WaitForModuleThreads(HMODULE Module) {
  while (ModuleHasThreads(Module))
    if (!(IsMainThread() && CheckSynchronize(1))) {
      TModuleThreads& t = ModuleThreads();
      std::unique_lock guard(t.lock);
      t.changed.wait_for(guard, std::chrono::milliseconds(1), [&] { return t.running.count(Module) == 0; });
    }
}

[[maybe_unused]] const bool kWaitsOnUnload = (AddModuleUnloadProc(WaitForModuleThreads), true);

}  // namespace

TThread::TEnd::TEnd() : done(CreateEvent(nullptr, TRUE, FALSE, nullptr)) {}

TThread::TEnd::~TEnd() { CloseHandle(done); }

TThread::TThread(bool CreateSuspended) : createSuspended_(CreateSuspended), end_(std::make_shared<TEnd>()) {}

TThread::~TThread() {
  const bool ownThread = started_ && threadId_ == GetCurrentThreadId();
  if (started_ && !ownThread && !finished_) {
    Terminate();
    WaitFor();
  }
  if (thread_.joinable()) {
    if (ownThread) {
      thread_.detach();
    } else {
      thread_.join();
    }
  }
}

void TThread::AfterConstruction() {
  if (!createSuspended_) Start();
}

void TThread::Start() {
  std::lock_guard guard(startLock_);
  if (started_.exchange(true)) return;
  module_ = ModuleOfAddress(ClassType());
  ThreadBegins(module_);
  thread_ = std::thread([this] { Run(); });
}

void TThread::Resume() {
  if (!started_) {
    Start();
    return;
  }
  {
    std::lock_guard guard(pauseLock_);
    paused_ = false;
  }
  pauseChanged_.notify_all();
}

void TThread::Suspend() {
  if (!started_ || finished_) return;
  std::lock_guard guard(pauseLock_);
  paused_ = true;
}

void TThread::Terminate() {
  {
    std::lock_guard guard(pauseLock_);
    terminated_ = true;
  }
  pauseChanged_.notify_all();
}

bool TThread::WaitWhileSuspended() {
  std::unique_lock guard(pauseLock_);
  if (!paused_ || terminated_) return false;
  pausing_ = true;
  pauseChanged_.wait(guard, [this] { return !paused_ || terminated_; });
  pausing_ = false;
  return true;
}

void TThread::Run() {
  {
    // Start has stored thread_ once this lock is free.
    std::lock_guard guard(startLock_);
    threadId_ = GetCurrentThreadId();
  }
  try {
    if (!terminated_) Execute();
  } catch (...) {
    fatal_ = std::current_exception();
  }
  finished_ = true;
  try {
    DoTerminate();
  } catch (...) {
    // An OnTerminate handler's failure ends nothing more than the handler.
  }
  const HMODULE module = module_;
  const bool freeSelf = freeOnTerminate_;
  SetEvent(end_->done);
  if (freeSelf) {
    thread_.detach();
    delete this;
  }
  ThreadEnds(module);
}

void TThread::DoTerminate() {
  if (onTerminate_) Synchronize(TThreadMethod::FromFunction([this] { onTerminate_(this); }));
}

int TThread::WaitFor() {
  if (!started_) return ReturnValue();
  if (threadId_ == GetCurrentThreadId()) throw EThread("Cannot call WaitFor on the thread itself");
  // A FreeOnTerminate thread is gone soon after it signals its end: only what it
  // leaves behind is read then.
  const std::shared_ptr<TEnd> end = end_;
  const bool freeSelf = freeOnTerminate_;
  if (IsMainThread()) {
    while (MsgWaitForMultipleObjects(1, &end->done, FALSE, INFINITE, QS_SENDMESSAGE) != WAIT_OBJECT_0)
      ProcessSentCalls();
  } else {
    WaitForSingleObject(end->done, INFINITE);
  }
  if (!freeSelf) {
    std::lock_guard guard(startLock_);
    if (thread_.joinable()) thread_.join();
  }
  return end->returnValue;
}

void TThread::Synchronize(TThread*, TThreadMethod Method) {
  if (IsMainThread()) {
    Method();
    return;
  }
  if (!CallOnThread(DWORD(getpid()), [&] { Method(); }))
    throw EThread("Synchronize: the main thread no longer answers");
  // The call ran inside the main thread's look at its queue, which then found no
  // message: wake its loop, so that a loop waiting for what the method changed (a
  // modal result) looks again.
  PostThreadMessage(DWORD(getpid()), WM_NULL, 0, 0);
}

bool CheckSynchronize(int Timeout) {
  if (Timeout > 0) MsgWaitForMultipleObjects(0, nullptr, FALSE, DWORD(Timeout), QS_SENDMESSAGE);
  return ProcessSentCalls();
}
