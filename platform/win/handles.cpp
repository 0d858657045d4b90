#include "platform/win/handles.h"

#include <algorithm>

#include "platform/win/handletable.h"
#include "platform/win/reactor.h"

namespace {

THandleTable<HANDLE, TKernelObject>& Table() {
  static auto* t = new THandleTable<HANDLE, TKernelObject>(0x1000);  // lives until the process ends
  return *t;
}

}  // namespace

std::mutex& KernelObjectLock() {
  static auto* m = new std::mutex;
  return *m;
}

void TKernelObject::WakeWaiters() {
  for (TReactor* r : waiters_) r->Wake();
}

// Keeps a thread entered as a waiter of some objects for the length of a wait.
class TWaitRegistration {
 public:
  TWaitRegistration(std::span<const std::shared_ptr<TKernelObject>> objects, TReactor* reactor)
      : objects_(objects), reactor_(reactor) {
    std::lock_guard guard(KernelObjectLock());
    for (auto& o : objects_) o->waiters_.push_back(reactor_);
  }
  ~TWaitRegistration() {
    std::lock_guard guard(KernelObjectLock());
    for (auto& o : objects_) {
      auto it = std::find(o->waiters_.begin(), o->waiters_.end(), reactor_);
      if (it != o->waiters_.end()) o->waiters_.erase(it);
    }
  }
  TWaitRegistration(const TWaitRegistration&) = delete;
  TWaitRegistration& operator=(const TWaitRegistration&) = delete;

 private:
  std::span<const std::shared_ptr<TKernelObject>> objects_;
  TReactor* reactor_;
};

HANDLE NewHandle(std::shared_ptr<TKernelObject> Object) { return Table().Add(std::move(Object)); }

std::shared_ptr<TKernelObject> HandleObject(HANDLE Handle) {
  auto object = Table().Find(Handle);
  if (!object) SetLastError(ERROR_INVALID_HANDLE);
  return object;
}

BOOL CloseHandle(HANDLE hObject) {
  if (!Table().Remove(hObject)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}

DWORD WaitForObjects(std::span<const std::shared_ptr<TKernelObject>> Objects, bool WaitAll,
                     int64_t Deadline, TWaitInput* Input, bool ServeDescriptors) {
  TReactor& reactor = TReactor::Current();
  TWaitRegistration registration(Objects, &reactor);
  std::vector<int> fds;
  for (auto& o : Objects)
    if (o->PollFd() >= 0) fds.push_back(o->PollFd());
  const DWORD inputResult = WAIT_OBJECT_0 + DWORD(Objects.size());

  struct TWaiting {
    TReactor& r;
    ~TWaiting() { r.SetWaiting(false); }
  } waiting{reactor};
  for (;;) {
    reactor.SetWaiting(true);
    reactor.ClearWake();
    int64_t next = Deadline;
    {
      std::lock_guard guard(KernelObjectLock());
      const int64_t now = Clock().Now();
      if (WaitAll && !Objects.empty()) {
        if (std::all_of(Objects.begin(), Objects.end(), [&](auto& o) { return o->IsSignaled(now); })) {
          for (auto& o : Objects) o->Acquire();
          return WAIT_OBJECT_0;
        }
      } else {
        for (size_t i = 0; i < Objects.size(); ++i) {
          if (Objects[i]->IsSignaled(now)) {
            Objects[i]->Acquire();
            return WAIT_OBJECT_0 + DWORD(i);
          }
        }
      }
      for (auto& o : Objects) next = std::min(next, o->NextChange());
    }
    if (Input) {
      if (Input->Ready()) return inputResult;
      next = std::min(next, Input->NextChange());
    }
    if (Deadline != kNeverNs && Clock().Now() >= Deadline) return WAIT_TIMEOUT;
    reactor.Block(next, ServeDescriptors, fds);
  }
}

bool ObjectsOfHandles(DWORD nCount, const HANDLE* lpHandles,
                      std::vector<std::shared_ptr<TKernelObject>>& Objects) {
  if (nCount > MAXIMUM_WAIT_OBJECTS || (nCount > 0 && !lpHandles)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  Objects.clear();
  for (DWORD i = 0; i < nCount; ++i) {
    auto o = HandleObject(lpHandles[i]);
    if (!o) return false;
    if (!o->IsWaitable()) {
      SetLastError(ERROR_NOT_SUPPORTED);
      return false;
    }
    Objects.push_back(std::move(o));
  }
  return true;
}

DWORD WaitForMultipleObjects(DWORD nCount, const HANDLE* lpHandles, BOOL bWaitAll, DWORD dwMilliseconds) {
  std::vector<std::shared_ptr<TKernelObject>> objects;
  if (nCount == 0 || !ObjectsOfHandles(nCount, lpHandles, objects)) {
    if (nCount == 0) SetLastError(ERROR_INVALID_PARAMETER);
    return WAIT_FAILED;
  }
  return WaitForObjects(objects, bWaitAll != FALSE, DeadlineAfterMs(dwMilliseconds), nullptr);
}

DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
  return WaitForMultipleObjects(1, &hHandle, FALSE, dwMilliseconds);
}
