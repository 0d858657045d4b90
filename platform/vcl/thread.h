// TThread over std::thread, and the synchronisation of worker threads with the main
// thread through its message queue.
#pragma once

#include <atomic>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/rtl/events.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/system.h"
#include "platform/win/wintypes.h"

VX_EXCEPTION(EThread, Exception)

using TThreadMethod = Event<>;

enum class TThreadPriority { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };
constexpr auto tpIdle = TThreadPriority::tpIdle;
constexpr auto tpLowest = TThreadPriority::tpLowest;
constexpr auto tpLower = TThreadPriority::tpLower;
constexpr auto tpNormal = TThreadPriority::tpNormal;
constexpr auto tpHigher = TThreadPriority::tpHigher;
constexpr auto tpHighest = TThreadPriority::tpHighest;
constexpr auto tpTimeCritical = TThreadPriority::tpTimeCritical;

// A thread runs Execute once. A thread created suspended starts with Start (or Resume);
// one created running starts when its construction is complete, which C++ cannot
// detect by itself: construct it through TThread::Create<T>(...), or call
// AfterConstruction. After Execute the thread runs OnTerminate on the main thread and,
// with FreeOnTerminate, deletes itself; otherwise its owner deletes it, which
// terminates the thread and waits for it.
// A running thread cannot be stopped from outside at an arbitrary point; Suspend asks
// it to pause, and the thread pauses at its own wait points (WaitWhileSuspended) until
// Resume or Terminate.
// Unloading a package terminates the threads whose class is the package's and waits for
// them to leave its code.
class TThread : public TObject {
  VX_CLASS(TThread, TObject)

 public:
  explicit TThread(bool CreateSuspended);
  ~TThread() override;
  TThread(const TThread&) = delete;
  TThread& operator=(const TThread&) = delete;

  // Constructs a thread and starts it unless created suspended. A FreeOnTerminate
  // thread owns itself; any other belongs to the caller.
  template <class T, class... A>
  static T* Create(A&&... Args) {
    T* thread = new T(std::forward<A>(Args)...);
    thread->AfterConstruction();
    return thread;
  }
  void AfterConstruction();

  // Starts a suspended thread (nothing for one already started).
  void Start();
  // Starts a thread created suspended, or lets a paused one go on.
  void Resume();
  // Asks a started thread to pause at its next wait point.
  void Suspend();

  // Asks Execute to end: sets Terminated, which Execute tests, and signals
  // TerminatedEvent; a paused thread goes on.
  void Terminate();
  bool Terminated() const { return terminated_; }
  // Not started yet, or asked to pause.
  bool Suspended() const { return !started_ || paused_; }
  // Paused at one of its wait points now.
  bool Pausing() const { return pausing_; }
  bool Finished() const { return finished_; }

  // Waits for the end of Execute (on the main thread it carries out Synchronize calls
  // meanwhile) and answers ReturnValue. A thread that never started answers at once;
  // waiting for the calling thread itself raises EThread. A FreeOnTerminate thread may
  // be terminated and waited for while it runs, even when it ends and frees itself
  // meanwhile: the wait reads nothing of it once it has ended, and answers 0 when it is
  // already gone.
  int WaitFor();

  bool FreeOnTerminate() const { return freeOnTerminate_; }
  void SetFreeOnTerminate(bool Value) { freeOnTerminate_ = Value; }
  TNotifyEvent OnTerminate() const { return onTerminate_; }
  void SetOnTerminate(TNotifyEvent Value) { onTerminate_ = Value; }
  // Kept for callers; threads run at the system's normal priority.
  TThreadPriority Priority() const { return priority_; }
  void SetPriority(TThreadPriority Value) { priority_ = Value; }
  DWORD ThreadID() const { return threadId_; }
  // A handle that is signalled once the thread has finished.
  HANDLE Handle() const { return end_->done; }
  int ReturnValue() const { return end_->returnValue; }
  // The exception that ended Execute, if one did.
  std::exception_ptr FatalException() const { return fatal_; }

  // Runs Method on the main thread and waits for it; an exception it raises is raised
  // again in the calling thread. On the main thread it calls Method directly.
  static void Synchronize(TThread* Thread, TThreadMethod Method);

 protected:
  virtual void Execute() = 0;
  // Runs OnTerminate through Synchronize.
  virtual void DoTerminate();
  void Synchronize(TThreadMethod Method) { Synchronize(this, Method); }
  void SetReturnValue(int Value) { end_->returnValue = Value; }
  // A wait point: while the thread is asked to pause (and not terminated), blocks until
  // Resume or Terminate. True when it did pause.
  bool WaitWhileSuspended();
  // Signalled by Terminate: a thread that waits for something else waits for this too.
  HANDLE TerminatedEvent() const { return terminatedEvent_; }

 private:
  // What outlives a FreeOnTerminate thread for those that wait for it.
  struct TEnd {
    HANDLE done;
    std::atomic<int> returnValue{0};
    TEnd();
    ~TEnd();
  };

  void Run();

  std::thread thread_;
  std::mutex startLock_;
  std::atomic<bool> started_{false};
  std::atomic<bool> terminated_{false};
  std::atomic<bool> paused_{false};
  std::atomic<bool> pausing_{false};
  std::mutex pauseLock_;
  std::condition_variable pauseChanged_;
  std::atomic<bool> finished_{false};
  bool createSuspended_;
  std::atomic<bool> freeOnTerminate_{false};
  TNotifyEvent onTerminate_;
  TThreadPriority priority_ = tpNormal;
  std::atomic<DWORD> threadId_{0};
  std::exception_ptr fatal_;
  std::shared_ptr<TEnd> end_;
  HANDLE terminatedEvent_;
  HMODULE module_ = nullptr;  // of the class: unloading it stops the thread
};

// The threads whose class is in Module that still run its code: started, and not yet
// through Execute, OnTerminate and, for a FreeOnTerminate thread, its destructor.
// Unloading the package waits until there are none.
int ModuleThreadCount(HMODULE Module);

// Carries out the Synchronize calls waiting for the main thread (and other calls sent
// to the calling thread); with a Timeout in milliseconds it first waits that long for
// one to arrive. True when a call was carried out.
bool CheckSynchronize(int Timeout = 0);
