#include "platform/win/reactor.h"

#include <poll.h>
#include <pthread.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "platform/rtl/exceptions.h"
#include "platform/win/clock.h"
#include "platform/win/threadslot.h"

namespace {

struct TRegistry {
  std::mutex lock;
  std::vector<std::weak_ptr<TReactor>> reactors;
};
TRegistry& Registry() {
  static auto* r = new TRegistry;  // outlives every thread, including exit-time code
  return *r;
}
TThreadSlot<TReactor>& Slot() {
  static auto* s = new TThreadSlot<TReactor>;
  return *s;
}

[[noreturn]] void RaiseErrno(const char* what) {
  throw EOSError(std::string(what) + ": " + std::strerror(errno));
}

int TimeoutMs(int64_t deadline) {
  if (deadline == kNeverNs) return -1;
  const int64_t now = Clock().Now();
  if (now >= deadline) return 0;
  if (Clock().IsManual()) return -1;
  const int64_t ms = (deadline - now + 999'999) / 1'000'000;
  return ms > INT_MAX ? INT_MAX : int(ms);
}

}  // namespace

namespace {
// The kernel's thread id costs a system call; each thread keeps its own. A forked child
// starts afresh, since its thread has a new id.
thread_local pid_t t_threadId = 0;
[[maybe_unused]] const int g_forgetIdInChild = pthread_atfork(nullptr, nullptr, [] { t_threadId = 0; });
}  // namespace

DWORD GetCurrentThreadId() {
  if (t_threadId == 0) t_threadId = gettid();
  return DWORD(t_threadId);
}
DWORD GetCurrentProcessId() { return DWORD(getpid()); }
bool IsMainThread() { return GetCurrentThreadId() == DWORD(getpid()); }

TReactor& TReactor::Current() { return *CurrentShared(); }

std::shared_ptr<TReactor> TReactor::CurrentShared() {
  return Slot().Get([] {
    auto r = std::make_shared<TReactor>();
    TRegistry& reg = Registry();
    std::lock_guard guard(reg.lock);
    std::erase_if(reg.reactors, [](const std::weak_ptr<TReactor>& w) { return w.expired(); });
    reg.reactors.push_back(r);
    return r;
  });
}

void TReactor::WakeAll() {
  std::vector<std::shared_ptr<TReactor>> all;
  {
    TRegistry& reg = Registry();
    std::lock_guard guard(reg.lock);
    for (auto& w : reg.reactors)
      if (auto r = w.lock()) all.push_back(std::move(r));
  }
  for (auto& r : all) r->Wake();
}

TReactor::TReactor() : threadId_(GetCurrentThreadId()) {
  epollFd_ = epoll_create1(EPOLL_CLOEXEC);
  if (epollFd_ < 0) RaiseErrno("epoll_create1");
  wakeFd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (wakeFd_ < 0) {
    close(epollFd_);
    RaiseErrno("eventfd");
  }
  epoll_event ev{};
  ev.events = EPOLLIN;
  ev.data.u64 = 0;  // id 0 is the wake-up descriptor
  epoll_ctl(epollFd_, EPOLL_CTL_ADD, wakeFd_, &ev);
}

TReactor::~TReactor() {
  close(wakeFd_);
  close(epollFd_);
}

void TReactor::CheckOwner() const {
  if (GetCurrentThreadId() != threadId_)
    throw EInvalidOperation("A reactor is used only on its own thread");
}

void TReactor::Watch(int Fd, uint32_t Events, TWatchCallback Callback) {
  CheckOwner();
  if (watches_.count(Fd)) Unwatch(Fd);
  auto w = std::make_shared<TWatch>(TWatch{Fd, nextId_++, Events, std::move(Callback)});
  epoll_event ev{};
  ev.events = Events;
  ev.data.u64 = w->id;
  if (epoll_ctl(epollFd_, EPOLL_CTL_ADD, Fd, &ev) != 0) RaiseErrno("epoll_ctl(ADD)");
  watches_[Fd] = w;
  byId_[w->id] = w;
}

void TReactor::Modify(int Fd, uint32_t Events) {
  CheckOwner();
  auto it = watches_.find(Fd);
  if (it == watches_.end()) throw EInvalidOperation("Descriptor is not watched");
  it->second->events = Events;
  if (it->second->parked) return;  // applied when its callback returns
  epoll_event ev{};
  ev.events = Events;
  ev.data.u64 = it->second->id;
  if (epoll_ctl(epollFd_, EPOLL_CTL_MOD, Fd, &ev) != 0) RaiseErrno("epoll_ctl(MOD)");
}

void TReactor::Unwatch(int Fd) {
  CheckOwner();
  auto it = watches_.find(Fd);
  if (it == watches_.end()) return;
  // The descriptor may already be closed (then the kernel dropped it by itself).
  if (!it->second->parked) epoll_ctl(epollFd_, EPOLL_CTL_DEL, Fd, nullptr);
  byId_.erase(it->second->id);
  watches_.erase(it);
}

// Wake and SetWaiting pair up like two flags in Dekker's algorithm: a waiter
// announces itself and then checks its conditions; a waker changes a condition and
// then looks for a waiter. The fences make sure that one of them sees the other.
void TReactor::SetWaiting(bool Waiting) {
  waiting_.store(Waiting, std::memory_order_relaxed);
  std::atomic_thread_fence(std::memory_order_seq_cst);
}

void TReactor::Wake() {
  std::atomic_thread_fence(std::memory_order_seq_cst);
  if (!waiting_.load(std::memory_order_relaxed)) return;
  const uint64_t one = 1;
  // A full counter (never in practice) still leaves the descriptor readable.
  [[maybe_unused]] ssize_t n = write(wakeFd_, &one, sizeof one);
}

void TReactor::ClearWake() {
  uint64_t v;
  [[maybe_unused]] ssize_t n = read(wakeFd_, &v, sizeof v);
}

void TReactor::Block(int64_t Deadline, bool Dispatch, std::span<const int> Fds) {
  pollfd stackFds[8];
  std::vector<pollfd> heapFds;
  pollfd* fds = stackFds;
  const size_t count = 1 + Fds.size();
  if (count > std::size(stackFds)) {
    heapFds.resize(count);
    fds = heapFds.data();
  }
  fds[0] = pollfd{Dispatch ? epollFd_ : wakeFd_, POLLIN, 0};
  for (size_t i = 0; i < Fds.size(); ++i) fds[i + 1] = pollfd{Fds[i], POLLIN, 0};
  if (Deadline != kNeverNs) Clock().WillBlockUntil(Deadline);
  const int n = poll(fds, nfds_t(count), TimeoutMs(Deadline));
  if (n > 0 && Dispatch && fds[0].revents) DispatchReady();
}

void TReactor::DispatchReady() {
  if (watches_.empty()) return;
  epoll_event events[32];
  const int n = epoll_wait(epollFd_, events, int(std::size(events)), 0);
  for (int i = 0; i < n; ++i) {
    const uint64_t id = events[i].data.u64;
    if (id == 0) continue;
    auto it = byId_.find(id);
    if (it == byId_.end()) continue;  // unwatched by an earlier callback of this batch
    std::shared_ptr<TWatch> w = it->second;
    if (w->running) {
      // Its callback runs a nested loop: keep the still-ready descriptor from waking
      // that loop again and again until the callback returns.
      if (!w->parked && epoll_ctl(epollFd_, EPOLL_CTL_DEL, w->fd, nullptr) == 0) w->parked = true;
      continue;
    }
    struct TRunning {
      TReactor& reactor;
      TWatch& w;
      ~TRunning() {
        w.running = false;
        if (w.parked && reactor.byId_.count(w.id)) {
          epoll_event ev{};
          ev.events = w.events;
          ev.data.u64 = w.id;
          epoll_ctl(reactor.epollFd_, EPOLL_CTL_ADD, w.fd, &ev);
        }
        w.parked = false;
      }
    } running{*this, *w};
    w->running = true;
    w->callback(events[i].events);
  }
}
