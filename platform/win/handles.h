// Kernel-object handles and the waits on them. A HANDLE is a number from a counter
// that is never reused; it names a shared object (event, waitable timer, process,
// mutex), so closing a handle while another thread waits on it is safe.
#pragma once

#include <memory>
#include <mutex>
#include <span>
#include <vector>

#include "platform/win/clock.h"
#include "platform/win/wintypes.h"

class TReactor;

constexpr DWORD MAXIMUM_WAIT_OBJECTS = 64;

// Base of every object a HANDLE stands for. The state of all objects is guarded by
// one lock (KernelObjectLock), which makes "wait for all" atomic.
class TKernelObject {
 public:
  virtual ~TKernelObject() = default;

  // The following run with KernelObjectLock held.
  // False for objects that cannot be waited for (the wait fails).
  virtual bool IsWaitable() const { return true; }
  virtual bool IsSignaled(int64_t Now) = 0;
  // Takes the signal of an auto-reset object after a successful wait.
  virtual void Acquire() {}
  // The Clock() time at which the object will become signalled by itself (timers).
  virtual int64_t NextChange() const { return kNeverNs; }

  // Without the lock: a descriptor that becomes readable when the object is signalled
  // by something outside this process (a child's end), or -1.
  virtual int PollFd() const { return -1; }

 protected:
  // Wakes the threads waiting on this object; called with KernelObjectLock held after
  // a change of state.
  void WakeWaiters();

 private:
  friend class TWaitRegistration;
  std::vector<TReactor*> waiters_;
};

std::mutex& KernelObjectLock();

// Enters an object in the handle table.
HANDLE NewHandle(std::shared_ptr<TKernelObject> Object);
// The object of a handle, or null (last error ERROR_INVALID_HANDLE).
std::shared_ptr<TKernelObject> HandleObject(HANDLE Handle);
template <class T>
std::shared_ptr<T> HandleObjectAs(HANDLE Handle) {
  auto o = std::dynamic_pointer_cast<T>(HandleObject(Handle));
  if (!o) SetLastError(ERROR_INVALID_HANDLE);
  return o;
}

BOOL CloseHandle(HANDLE hObject);
DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds);
DWORD WaitForMultipleObjects(DWORD nCount, const HANDLE* lpHandles, BOOL bWaitAll, DWORD dwMilliseconds);

// Something other than objects that ends a wait: the message queue's input.
class TWaitInput {
 public:
  virtual ~TWaitInput() = default;
  // True when the wait should end for it. Called without KernelObjectLock.
  virtual bool Ready() = 0;
  // When it becomes ready by itself (a due timer), as a Clock() time.
  virtual int64_t NextChange() { return kNeverNs; }
};

// The one waiting loop of the layer. Returns WAIT_OBJECT_0 + i for the object that
// ended the wait (WAIT_OBJECT_0 with WaitAll), WAIT_OBJECT_0 + Objects.size() when
// Input is ready, WAIT_TIMEOUT at Deadline (a Clock() time). With ServeDescriptors the
// thread's watched descriptors are served while waiting.
DWORD WaitForObjects(std::span<const std::shared_ptr<TKernelObject>> Objects, bool WaitAll,
                     int64_t Deadline, TWaitInput* Input, bool ServeDescriptors = false);

// Collects the objects of a handle array for WaitForObjects; false (last error set)
// for a bad count or handle.
bool ObjectsOfHandles(DWORD nCount, const HANDLE* lpHandles,
                      std::vector<std::shared_ptr<TKernelObject>>& Objects);
