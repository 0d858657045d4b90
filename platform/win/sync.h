// Critical sections, events, waitable timers, sleeping and the named mutex.
#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "platform/rtl/system.h"
#include "platform/win/handles.h"
#include "platform/win/wintypes.h"

// --- critical sections: recursive for their owning thread ---
struct CRITICAL_SECTION {
  std::unique_ptr<std::recursive_mutex> mutex;
};
using TRTLCriticalSection = CRITICAL_SECTION;

void InitializeCriticalSection(CRITICAL_SECTION* lpCriticalSection);
void EnterCriticalSection(CRITICAL_SECTION* lpCriticalSection);
BOOL TryEnterCriticalSection(CRITICAL_SECTION* lpCriticalSection);
void LeaveCriticalSection(CRITICAL_SECTION* lpCriticalSection);
void DeleteCriticalSection(CRITICAL_SECTION* lpCriticalSection);

class TCriticalSection : public TObject {
  VX_CLASS(TCriticalSection, TObject)

 public:
  TCriticalSection() = default;
  ~TCriticalSection() override;
  void Acquire() { mutex_.lock(); }
  void Release() { mutex_.unlock(); }
  void Enter() { Acquire(); }
  void Leave() { Release(); }
  bool TryEnter() { return mutex_.try_lock(); }

 private:
  std::recursive_mutex mutex_;
};

// --- events and waitable timers (names are accepted and ignored: every call makes a
// new object private to the process) ---
HANDLE CreateEvent(const SECURITY_ATTRIBUTES* lpEventAttributes, BOOL bManualReset, BOOL bInitialState,
                   const char* lpName);
BOOL SetEvent(HANDLE hEvent);
BOOL ResetEvent(HANDLE hEvent);

HANDLE CreateWaitableTimer(const SECURITY_ATTRIBUTES* lpTimerAttributes, BOOL bManualReset, const char* lpTimerName);
// A negative due time is relative, in 100-nanosecond units; a positive one is an
// absolute UTC file time. lPeriod (ms) > 0 makes the timer periodic. Completion
// routines are not supported (must be null). Setting a timer resets its signal.
BOOL SetWaitableTimer(HANDLE hTimer, const LARGE_INTEGER* lpDueTime, LONG lPeriod, void* pfnCompletionRoutine,
                      void* lpArgToCompletionRoutine, BOOL fResume);
BOOL CancelWaitableTimer(HANDLE hTimer);

// Sleeps on the system clock (Clock()); 0 gives up the rest of the time slice.
void Sleep(DWORD dwMilliseconds);

// --- the named mutex ---
// A named mutex is an exclusive lock (flock) on a lock file named after the mutex in
// the runtime folder ($XDG_RUNTIME_DIR, else /tmp), so it is visible to every process
// and released when its holder ends. When another handle (in any process) already
// holds it, CreateMutex still answers a handle and GetLastError gives
// ERROR_ALREADY_EXISTS, as for an existing mutex. Without a name the mutex is private
// to the process. Waiting on a mutex handle is not supported.
HANDLE CreateMutex(const SECURITY_ATTRIBUTES* lpMutexAttributes, BOOL bInitialOwner, const char* lpName);
BOOL ReleaseMutex(HANDLE hMutex);
// The lock file that stands for a mutex name: in the runtime folder, named from the
// name's safe characters and a hash of the whole name.
std::string MutexLockFileName(const std::string& Name);
