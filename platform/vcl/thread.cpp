#include "platform/vcl/thread.h"

#include <unistd.h>

#include "platform/win/messages.h"
#include "platform/win/sync.h"

TThread::TThread(bool CreateSuspended)
    : createSuspended_(CreateSuspended), done_(CreateEvent(nullptr, TRUE, FALSE, nullptr)) {}

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
  CloseHandle(done_);
}

void TThread::AfterConstruction() {
  if (!createSuspended_) Start();
}

void TThread::Start() {
  std::lock_guard guard(startLock_);
  if (started_.exchange(true)) return;
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
  const bool freeSelf = freeOnTerminate_;
  SetEvent(done_);
  if (freeSelf) {
    thread_.detach();
    delete this;
  }
}

void TThread::DoTerminate() {
  if (onTerminate_) Synchronize(TThreadMethod::FromFunction([this] { onTerminate_(this); }));
}

int TThread::WaitFor() {
  if (!started_) return returnValue_;
  if (threadId_ == GetCurrentThreadId()) throw EThread("Cannot call WaitFor on the thread itself");
  HANDLE done = done_;
  if (IsMainThread()) {
    while (MsgWaitForMultipleObjects(1, &done, FALSE, INFINITE, QS_SENDMESSAGE) != WAIT_OBJECT_0)
      ProcessSentCalls();
  } else {
    WaitForSingleObject(done, INFINITE);
  }
  {
    std::lock_guard guard(startLock_);
    if (thread_.joinable() && !freeOnTerminate_) thread_.join();
  }
  return returnValue_;
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
