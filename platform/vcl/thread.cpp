#include "platform/vcl/thread.h"

#include <unistd.h>

#include <map>
#include <mutex>
#include <set>
#include <string>

#include "platform/rtl/sysutils.h"
#include "platform/win/messages.h"
#include "platform/win/resources.h"
#include "platform/win/sync.h"

namespace {

// Every thread object, and the threads of each module (by the module of their class).
// Unloading a package terminates its live threads and waits until none runs code of the
// package, which a thread still does after its end was signalled (its class's
// destructor).
struct TModule {
  std::set<TThread*> live;  // started, Execute and OnTerminate not yet over
  int running = 0;          // started, not yet out of the module's code
  HANDLE left = nullptr;    // signalled (and closed) when the last has left
};

struct TThreads {
  // Held while a thread object that may free itself is used from outside (Terminate,
  // WaitFor); recursive, as the unloading's stop terminates threads under it.
  std::recursive_mutex lock;
  std::set<const TThread*> objects;  // constructed and not yet destroyed
  std::map<HMODULE, TModule> modules;
};

TThreads& Threads() {
  static auto* threads = new TThreads;
  return *threads;
}

void ThreadBegins(HMODULE Module, TThread* Thread) {
  TThreads& t = Threads();
  std::lock_guard guard(t.lock);
  auto [it, first] = t.modules.try_emplace(Module);
  if (first) it->second.left = CreateEvent(nullptr, TRUE, FALSE, nullptr);
  it->second.live.insert(Thread);
  ++it->second.running;
}

// The thread object is not used any more by its own thread.
void ThreadDone(HMODULE Module, TThread* Thread) {
  TThreads& t = Threads();
  std::lock_guard guard(t.lock);
  t.modules.at(Module).live.erase(Thread);
}

void ThreadEnds(HMODULE Module) {
  TThreads& t = Threads();
  std::lock_guard guard(t.lock);
  auto it = t.modules.find(Module);
  if (--it->second.running > 0) return;
  SetEvent(it->second.left);
  CloseHandle(it->second.left);
  t.modules.erase(it);
}

// The thread unit's step of unloading a package: terminates the threads whose class is
// in Module and waits, at most TimeoutMs, until none runs code of the module any more,
// carrying out their Synchronize calls meanwhile on the main thread.
void StopModuleThreads(HMODULE Module, DWORD TimeoutMs) {
  TThreads& t = Threads();
  const uint64_t deadline = GetTickCount64() + TimeoutMs;
  while (ModuleThreadCount(Module) > 0) {
    const uint64_t now = GetTickCount64();
    if (now >= deadline)
      throw EThread("A thread of the package did not end within " + std::to_string(TimeoutMs / 1000) + " seconds");
    HANDLE left;
    {
      std::lock_guard guard(t.lock);
      auto it = t.modules.find(Module);
      if (it == t.modules.end()) continue;
      // Again each time: a call served below may have started another.
      for (TThread* thread : it->second.live) thread->Terminate();
      left = it->second.left;
    }
    // A handle closed meanwhile fails the wait at once; the module is looked up again.
    const DWORD wait = DWORD(deadline - now);
    if (!IsMainThread()) {
      WaitForSingleObject(left, wait);
    } else if (MsgWaitForMultipleObjects(1, &left, FALSE, wait, QS_SENDMESSAGE) == WAIT_OBJECT_0 + 1) {
      ProcessSentCalls();
    }
  }
}

const bool kStopProc = [] {
  AddModuleStopProc(StopModuleThreads);
  return true;
}();

}  // namespace

int ModuleThreadCount(HMODULE Module) {
  TThreads& t = Threads();
  std::lock_guard guard(t.lock);
  auto it = t.modules.find(Module);
  return it == t.modules.end() ? 0 : it->second.running;
}

TThread::TEnd::TEnd() : done(CreateEvent(nullptr, TRUE, FALSE, nullptr)) {}

TThread::TEnd::~TEnd() { CloseHandle(done); }

TThread::TThread(bool CreateSuspended)
    : createSuspended_(CreateSuspended),
      end_(std::make_shared<TEnd>()),
      terminatedEvent_(CreateEvent(nullptr, TRUE, FALSE, nullptr)) {
  TThreads& t = Threads();
  std::lock_guard guard(t.lock);
  t.objects.insert(this);
}

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
  {
    TThreads& t = Threads();
    std::lock_guard guard(t.lock);
    t.objects.erase(this);
  }
  CloseHandle(terminatedEvent_);
}

void TThread::AfterConstruction() {
  if (!createSuspended_) Start();
}

void TThread::Start() {
  std::lock_guard guard(startLock_);
  if (started_.exchange(true)) return;
  module_ = ModuleOfAddress(ClassType());
  ThreadBegins(module_, this);
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
  // A FreeOnTerminate thread may end and free itself as soon as it sees the flag: its
  // destruction waits for the threads' lock, and a thread already gone is left alone.
  TThreads& t = Threads();
  std::lock_guard threads(t.lock);
  if (!t.objects.contains(this)) return;
  {
    std::lock_guard guard(pauseLock_);
    terminated_ = true;
  }
  pauseChanged_.notify_all();
  SetEvent(terminatedEvent_);
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
  ThreadDone(module, this);
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
  // A FreeOnTerminate thread frees itself soon after it signals its end, maybe before
  // this call looks at it: what the wait needs is taken under the threads' lock, which
  // its destruction waits for, and only what it leaves behind is read after.
  std::shared_ptr<TEnd> end;
  bool freeSelf;
  {
    TThreads& t = Threads();
    std::lock_guard threads(t.lock);
    if (!t.objects.contains(this)) return 0;  // it has ended and freed itself
    if (!started_) return ReturnValue();
    if (threadId_ == GetCurrentThreadId()) throw EThread("Cannot call WaitFor on the thread itself");
    end = end_;
    freeSelf = freeOnTerminate_;
  }
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
