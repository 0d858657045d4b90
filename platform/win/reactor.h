// One reactor per thread: the single place where a thread blocks. It waits on the
// thread's wake-up descriptor (posted messages, signalled objects, clock changes) and on
// every file descriptor that a layer registered with Watch (sockets, the display
// connection), so that messages, I/O readiness and timers share one wait.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <unordered_map>

#include "platform/win/wintypes.h"

class TReactor : public std::enable_shared_from_this<TReactor> {
 public:
  // Called with the epoll event bits (EPOLLIN, EPOLLOUT, EPOLLERR, EPOLLHUP, ...).
  using TWatchCallback = std::function<void(uint32_t Events)>;

  // The calling thread's reactor, created on first use.
  static TReactor& Current();
  static std::shared_ptr<TReactor> CurrentShared();
  // Wakes every thread's reactor (used when the clock changed).
  static void WakeAll();

  TReactor();
  ~TReactor();
  TReactor(const TReactor&) = delete;
  TReactor& operator=(const TReactor&) = delete;

  DWORD ThreadId() const { return threadId_; }

  // Registers fd with the epoll interest `Events` (level-triggered). The callback runs
  // on this reactor's thread, from inside the message functions (PeekMessage,
  // GetMessage, MsgWaitForMultipleObjects, ...). It may be called when the descriptor
  // has meanwhile become not ready, so descriptors must be non-blocking. A callback is
  // never re-entered: while it runs, a nested message loop skips its descriptor.
  // Watch, Modify and Unwatch are called on the reactor's own thread; they raise
  // EOSError when the kernel refuses, EInvalidOperation from another thread.
  void Watch(int Fd, uint32_t Events, TWatchCallback Callback);
  void Modify(int Fd, uint32_t Events);
  // Stops watching (before the descriptor is closed). Unknown descriptors are ignored.
  void Unwatch(int Fd);
  bool IsWatched(int Fd) const { return watches_.count(Fd) != 0; }

  // Makes the thread's current or next wait return; callable from any thread.
  void Wake();

  // --- for the waiting functions of the layer ---
  // A wait announces itself before it checks its conditions and clears pending
  // wake-ups; Wake writes to the descriptor only while a wait is announced.
  void SetWaiting(bool Waiting);
  void ClearWake();
  // Blocks until a wake-up, until one of `Fds` is readable, until Deadline (a Clock()
  // value; kNeverNs for none) or, when Dispatch is set, until a watched descriptor is
  // ready, whose callbacks it then runs. Returns early on signals; callers loop.
  void Block(int64_t Deadline, bool Dispatch, std::span<const int> Fds = {});
  // Runs the callbacks of the watched descriptors that are ready now.
  void DispatchReady();

  void ThreadEnded() {}

 private:
  struct TWatch {
    int fd;
    uint64_t id;
    uint32_t events;
    TWatchCallback callback;
    bool running = false;
    bool parked = false;  // taken out of epoll while its callback runs a nested loop
  };
  void CheckOwner() const;

  DWORD threadId_;
  std::atomic<bool> waiting_{false};
  int epollFd_ = -1;
  int wakeFd_ = -1;
  uint64_t nextId_ = 1;
  std::unordered_map<int, std::shared_ptr<TWatch>> watches_;
  std::unordered_map<uint64_t, std::shared_ptr<TWatch>> byId_;
};

// The calling thread's id, as the kernel numbers threads (the main thread's id is the
// process id).
DWORD GetCurrentThreadId();
DWORD GetCurrentProcessId();
// True on the process's main thread.
bool IsMainThread();
