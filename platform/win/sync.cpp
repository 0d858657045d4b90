#include "platform/win/sync.h"

#include <fcntl.h>
#include <sched.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <utility>

namespace {

class TEventObject final : public TKernelObject {
 public:
  TEventObject(bool manual, bool initial) : manual_(manual), signaled_(initial) {}
  bool IsSignaled(int64_t) override { return signaled_; }
  void Acquire() override {
    if (!manual_) signaled_ = false;
  }
  void Set(bool on) {
    std::lock_guard guard(KernelObjectLock());
    signaled_ = on;
    if (on) WakeWaiters();
  }

 private:
  const bool manual_;
  bool signaled_;
};

class TWaitableTimerObject final : public TKernelObject {
 public:
  explicit TWaitableTimerObject(bool manual) : manual_(manual) {}
  bool IsSignaled(int64_t now) override {
    if (now >= due_) {
      signaled_ = true;
      if (periodNs_ > 0) {
        due_ += ((now - due_) / periodNs_ + 1) * periodNs_;
      } else {
        due_ = kNeverNs;
      }
    }
    return signaled_;
  }
  void Acquire() override {
    if (!manual_) signaled_ = false;
  }
  int64_t NextChange() const override { return due_; }
  void Set(int64_t due, int64_t periodNs) {
    std::lock_guard guard(KernelObjectLock());
    signaled_ = false;
    due_ = due;
    periodNs_ = periodNs;
    WakeWaiters();  // waiters re-read their deadline
  }
  // Stops the timer without touching its signal.
  void Cancel() {
    std::lock_guard guard(KernelObjectLock());
    due_ = kNeverNs;
    periodNs_ = 0;
  }

 private:
  const bool manual_;
  bool signaled_ = false;
  int64_t due_ = kNeverNs;
  int64_t periodNs_ = 0;
};

std::string RuntimeFolder() {
  const char* dir = std::getenv("XDG_RUNTIME_DIR");
  return dir && *dir ? dir : "/tmp";
}

class TMutexObject final : public TKernelObject {
 public:
  TMutexObject(int fd, bool owned) : fd_(fd), owned_(owned) {}
  ~TMutexObject() override {
    if (fd_ >= 0) close(fd_);  // drops the lock
  }
  bool IsWaitable() const override { return false; }
  bool IsSignaled(int64_t) override { return false; }
  bool Release() {
    std::lock_guard guard(KernelObjectLock());
    return std::exchange(owned_, false);
  }

 private:
  int fd_;
  bool owned_;
};

}  // namespace

// --- critical sections ---

void InitializeCriticalSection(CRITICAL_SECTION* cs) { cs->mutex = std::make_unique<std::recursive_mutex>(); }
void EnterCriticalSection(CRITICAL_SECTION* cs) { cs->mutex->lock(); }
BOOL TryEnterCriticalSection(CRITICAL_SECTION* cs) { return cs->mutex->try_lock() ? TRUE : FALSE; }
void LeaveCriticalSection(CRITICAL_SECTION* cs) { cs->mutex->unlock(); }
void DeleteCriticalSection(CRITICAL_SECTION* cs) { cs->mutex.reset(); }

// --- events ---

TCriticalSection::~TCriticalSection() = default;

HANDLE CreateEvent(const SECURITY_ATTRIBUTES*, BOOL bManualReset, BOOL bInitialState, const char*) {
  SetLastError(ERROR_SUCCESS);
  return NewHandle(std::make_shared<TEventObject>(bManualReset != FALSE, bInitialState != FALSE));
}

BOOL SetEvent(HANDLE hEvent) {
  auto e = HandleObjectAs<TEventObject>(hEvent);
  if (!e) return FALSE;
  e->Set(true);
  return TRUE;
}

BOOL ResetEvent(HANDLE hEvent) {
  auto e = HandleObjectAs<TEventObject>(hEvent);
  if (!e) return FALSE;
  e->Set(false);
  return TRUE;
}

// --- waitable timers ---

HANDLE CreateWaitableTimer(const SECURITY_ATTRIBUTES*, BOOL bManualReset, const char*) {
  SetLastError(ERROR_SUCCESS);
  return NewHandle(std::make_shared<TWaitableTimerObject>(bManualReset != FALSE));
}

BOOL SetWaitableTimer(HANDLE hTimer, const LARGE_INTEGER* lpDueTime, LONG lPeriod, void* pfnCompletionRoutine,
                      void*, BOOL) {
  if (!lpDueTime || lPeriod < 0 || pfnCompletionRoutine) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  auto t = HandleObjectAs<TWaitableTimerObject>(hTimer);
  if (!t) return FALSE;
  const int64_t now = Clock().Now();
  const int64_t q = lpDueTime->QuadPart;
  int64_t due;
  if (q < 0) {
    due = now + (q == INT64_MIN ? INT64_MAX / 100 : -q) * 100;
  } else {
    // Absolute UTC file time (100 ns since 1601): measured against the wall clock.
    constexpr int64_t kUnixEpochAsFileTime = 116444736000000000;
    timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    const int64_t wallNow = (int64_t(ts.tv_sec) * 10'000'000 + ts.tv_nsec / 100) + kUnixEpochAsFileTime;
    due = now + (q > wallNow ? (q - wallNow) * 100 : 0);
  }
  t->Set(due, int64_t(lPeriod) * 1'000'000);
  return TRUE;
}

BOOL CancelWaitableTimer(HANDLE hTimer) {
  auto t = HandleObjectAs<TWaitableTimerObject>(hTimer);
  if (!t) return FALSE;
  t->Cancel();
  return TRUE;
}

void Sleep(DWORD dwMilliseconds) {
  if (dwMilliseconds == 0) {
    sched_yield();
    return;
  }
  WaitForObjects({}, false, DeadlineAfterMs(dwMilliseconds), nullptr);
}

// --- named mutex ---

std::string MutexLockFileName(const std::string& Name) {
  std::string safe;
  for (char c : Name) {
    const bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
                      c == '_' || c == '-';
    safe += keep ? c : '_';
    if (safe.size() == 100) break;
  }
  // Names that sanitise alike stay apart through a hash of the exact name.
  uint64_t h = 0xcbf29ce484222325ULL;
  for (unsigned char c : Name) h = (h ^ c) * 0x100000001b3ULL;
  char hash[17];
  std::snprintf(hash, sizeof hash, "%016llx", static_cast<unsigned long long>(h));
  return RuntimeFolder() + "/vx-mutex-" + safe + "-" + hash + ".lock";
}

HANDLE CreateMutex(const SECURITY_ATTRIBUTES*, BOOL bInitialOwner, const char* lpName) {
  if (!lpName || !*lpName) {
    SetLastError(ERROR_SUCCESS);
    return NewHandle(std::make_shared<TMutexObject>(-1, bInitialOwner != FALSE));
  }
  const std::string file = MutexLockFileName(lpName);
  int fd = open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
  if (fd < 0 && errno == EACCES) fd = open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) {
    SetLastError(errno == EACCES ? ERROR_ACCESS_DENIED : ERROR_PATH_NOT_FOUND);
    return nullptr;
  }
  int r;
  do {
    r = flock(fd, LOCK_EX | LOCK_NB);
  } while (r != 0 && errno == EINTR);
  if (r != 0) {
    const int err = errno;
    close(fd);
    if (err != EWOULDBLOCK) {
      SetLastError(ERROR_ACCESS_DENIED);
      return nullptr;
    }
    // Held elsewhere: an existing mutex, not owned through this handle.
    HANDLE h = NewHandle(std::make_shared<TMutexObject>(-1, false));
    SetLastError(ERROR_ALREADY_EXISTS);
    return h;
  }
  HANDLE h = NewHandle(std::make_shared<TMutexObject>(fd, bInitialOwner != FALSE));
  SetLastError(ERROR_SUCCESS);
  return h;
}

BOOL ReleaseMutex(HANDLE hMutex) {
  auto m = HandleObjectAs<TMutexObject>(hMutex);
  if (!m) return FALSE;
  if (!m->Release()) {
    SetLastError(ERROR_NOT_OWNER);
    return FALSE;
  }
  return TRUE;
}
