#include "platform/win/messages.h"

#include <algorithm>
#include <atomic>
#include <deque>
#include <exception>
#include <map>
#include <mutex>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/rtl/sysutils.h"
#include "platform/win/reactor.h"
#include "platform/win/threadslot.h"

namespace {

using TWindowProc = std::function<LRESULT(HWND, UINT, WPARAM, LPARAM)>;

class TMessageQueue;

struct TWindow {
  uintptr_t id = 0;
  DWORD threadId = 0;
  std::weak_ptr<TMessageQueue> queue;
  TWindowProc proc;
  std::string className;
  DWORD style = 0;
  DWORD exStyle = 0;
  // Guarded by the window registry's lock.
  LONG_PTR userData = 0;
  std::vector<LONG_PTR> extra;
  std::atomic<bool> alive{true};
  bool destroying = false;  // owner thread only
};

// A call carried out on another thread: SendMessage across threads, CallOnThread.
struct TSentCall {
  std::function<void()> run;
  std::shared_ptr<TReactor> sender;
  std::exception_ptr error;
  bool delivered = false;
  std::atomic<bool> done{false};
};

struct TQueued {
  MSG msg;
  std::shared_ptr<TWindow> window;  // null for thread messages
};

struct TTimer {
  std::shared_ptr<TWindow> window;
  UINT_PTR id = 0;
  int64_t intervalNs = 0;
  int64_t due = 0;
};

class TMessageQueue {
 public:
  TMessageQueue() : threadId(GetCurrentThreadId()), reactor(TReactor::CurrentShared()) {}

  const DWORD threadId;
  const std::shared_ptr<TReactor> reactor;

  std::mutex lock;
  std::deque<TQueued> posted;
  std::deque<std::shared_ptr<TSentCall>> incoming;
  bool quit = false;
  int quitCode = 0;
  bool ended = false;

  // Touched by the owner thread only.
  std::vector<TTimer> timers;

  // Queues a message unless the thread has ended; wakes the owner. The owner itself
  // needs no wake-up: it is running and looks at its queue before it next blocks.
  bool Post(TQueued item) {
    {
      std::lock_guard guard(lock);
      if (ended) return false;
      posted.push_back(std::move(item));
    }
    if (threadId != GetCurrentThreadId()) reactor->Wake();
    return true;
  }

  bool Send(const std::shared_ptr<TSentCall>& call) {
    {
      std::lock_guard guard(lock);
      if (ended) return false;
      incoming.push_back(call);
    }
    reactor->Wake();
    return true;
  }

  void ThreadEnded();
};

struct TWindowClass {
  WNDCLASS info;
  std::string name;
  ATOM atom = 0;
};

struct TWindowRegistry {
  std::mutex lock;
  std::unordered_map<uintptr_t, std::shared_ptr<TWindow>> windows;
  std::map<std::string, TWindowClass> classes;  // keyed by upper-cased name
  std::unordered_map<DWORD, std::weak_ptr<TMessageQueue>> queues;
  uintptr_t nextWindow = 0x10000;
  ATOM nextAtom = 0xC000;
};
TWindowRegistry& Registry() {
  static auto* r = new TWindowRegistry;
  return *r;
}

TThreadSlot<TMessageQueue>& Slot() {
  static auto* s = new TThreadSlot<TMessageQueue>;
  return *s;
}

std::shared_ptr<TMessageQueue> CurrentQueue() {
  return Slot().Get([] {
    auto q = std::make_shared<TMessageQueue>();
    TWindowRegistry& reg = Registry();
    std::lock_guard guard(reg.lock);
    reg.queues[q->threadId] = q;
    return q;
  });
}

// The main thread's queue exists from the start, so that other threads can always
// reach it (Synchronize).
[[maybe_unused]] const bool g_mainQueueMade = IsMainThread() && CurrentQueue() != nullptr;

void TMessageQueue::ThreadEnded() {
  std::deque<std::shared_ptr<TSentCall>> pending;
  {
    std::lock_guard guard(lock);
    ended = true;
    pending.swap(incoming);
    posted.clear();
  }
  timers.clear();
  for (auto& call : pending) {
    call->done.store(true, std::memory_order_release);
    call->sender->Wake();
  }
  TWindowRegistry& reg = Registry();
  std::lock_guard guard(reg.lock);
  for (auto it = reg.windows.begin(); it != reg.windows.end();) {
    if (it->second->threadId == threadId) {
      it->second->alive = false;
      it = reg.windows.erase(it);
    } else {
      ++it;
    }
  }
  auto q = reg.queues.find(threadId);
  if (q != reg.queues.end() && q->second.lock().get() == this) reg.queues.erase(q);
}

std::shared_ptr<TWindow> FindWindow(HWND hWnd) {
  TWindowRegistry& reg = Registry();
  std::lock_guard guard(reg.lock);
  auto it = reg.windows.find(reinterpret_cast<uintptr_t>(hWnd));
  if (it == reg.windows.end()) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
  }
  return it->second;
}

// A live window whose thread still runs.
std::shared_ptr<TWindow> FindLiveWindow(HWND hWnd, std::shared_ptr<TMessageQueue>* queue = nullptr) {
  auto w = FindWindow(hWnd);
  if (!w) return nullptr;
  auto q = w->queue.lock();
  if (!q || !w->alive) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
  }
  if (queue) *queue = std::move(q);
  return w;
}

HWND CreateWindowWithProc(TWindowProc proc, std::string className, DWORD style, DWORD exStyle,
                          int extraBytes) {
  auto q = CurrentQueue();
  auto w = std::make_shared<TWindow>();
  w->threadId = q->threadId;
  w->queue = q;
  w->proc = std::move(proc);
  w->className = std::move(className);
  w->style = style;
  w->exStyle = exStyle;
  w->extra.resize((std::max(extraBytes, 0) + sizeof(LONG_PTR) - 1) / sizeof(LONG_PTR));
  TWindowRegistry& reg = Registry();
  std::lock_guard guard(reg.lock);
  w->id = reg.nextWindow++;
  reg.windows.emplace(w->id, w);
  return reinterpret_cast<HWND>(w->id);
}

bool InRange(UINT msg, UINT min, UINT max) { return (min == 0 && max == 0) || (msg >= min && msg <= max); }

bool WindowMatches(HWND filter, HWND hwnd) {
  if (!filter) return true;
  if (filter == HWND_THREAD_MESSAGES) return hwnd == nullptr;
  return filter == hwnd;
}

DWORD StatusOf(UINT msg) {
  DWORD bits = QS_POSTMESSAGE | QS_ALLPOSTMESSAGE;
  if (msg >= WM_KEYFIRST && msg <= WM_KEYLAST) bits |= QS_KEY;
  if (msg == WM_MOUSEMOVE) bits |= QS_MOUSEMOVE;
  if (msg > WM_MOUSEFIRST && msg <= WM_MOUSELAST) bits |= QS_MOUSEBUTTON;
  return bits;
}

// Runs the calls sent to this queue's thread; called on that thread.
bool RunSentCalls(TMessageQueue& q) {
  bool any = false;
  for (;;) {
    std::shared_ptr<TSentCall> call;
    {
      std::lock_guard guard(q.lock);
      if (q.incoming.empty()) return any;
      call = std::move(q.incoming.front());
      q.incoming.pop_front();
    }
    any = true;
    try {
      call->run();
    } catch (...) {
      call->error = std::current_exception();
    }
    call->delivered = true;
    call->done.store(true, std::memory_order_release);
    call->sender->Wake();
  }
}

int64_t EarliestTimer(const TMessageQueue& q) {
  int64_t next = kNeverNs;
  for (const TTimer& t : q.timers)
    if (t.window->alive) next = std::min(next, t.due);
  return next;
}

// Queue input of the kinds in a wake mask.
class TQueueInput final : public TWaitInput {
 public:
  TQueueInput(TMessageQueue& q, DWORD mask) : q_(q), mask_(mask) {}
  bool Ready() override {
    {
      std::lock_guard guard(q_.lock);
      if ((mask_ & QS_SENDMESSAGE) && !q_.incoming.empty()) return true;
      if (q_.quit && (mask_ & (QS_POSTMESSAGE | QS_ALLPOSTMESSAGE))) return true;
      for (const TQueued& m : q_.posted)
        if (mask_ & StatusOf(m.msg.message)) return true;
    }
    return (mask_ & QS_TIMER) && Clock().Now() >= EarliestTimer(q_);
  }
  int64_t NextChange() override { return (mask_ & QS_TIMER) ? EarliestTimer(q_) : kNeverNs; }

 private:
  TMessageQueue& q_;
  DWORD mask_;
};

// Waits until a sent call is done, serving calls sent to the waiting thread.
class TCallDone final : public TWaitInput {
 public:
  TCallDone(const TSentCall& call, TMessageQueue& own) : call_(call), own_(own) {}
  bool Ready() override {
    if (call_.done.load(std::memory_order_acquire)) return true;
    std::lock_guard guard(own_.lock);
    return !own_.incoming.empty();
  }

 private:
  const TSentCall& call_;
  TMessageQueue& own_;
};

bool CallOnQueue(TMessageQueue& target, std::function<void()> run) {
  auto call = std::make_shared<TSentCall>();
  call->run = std::move(run);
  call->sender = TReactor::CurrentShared();
  if (!target.Send(call)) return false;
  auto own = CurrentQueue();
  TCallDone done(*call, *own);
  while (!call->done.load(std::memory_order_acquire)) {
    WaitForObjects({}, false, kNeverNs, &done);
    RunSentCalls(*own);
  }
  if (call->error) std::rethrow_exception(call->error);
  return call->delivered;
}

MSG MakeMsg(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  MSG m;
  m.hwnd = hWnd;
  m.message = Msg;
  m.wParam = wParam;
  m.lParam = lParam;
  m.time = GetTickCount();
  return m;
}

}  // namespace

// --- classes and windows ---

ATOM RegisterClass(const WNDCLASS* lpWndClass) {
  if (!lpWndClass || !lpWndClass->lpszClassName || !*lpWndClass->lpszClassName) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  TWindowRegistry& reg = Registry();
  std::lock_guard guard(reg.lock);
  const std::string key = UpperCase(lpWndClass->lpszClassName);
  if (reg.classes.count(key)) {
    SetLastError(ERROR_CLASS_ALREADY_EXISTS);
    return 0;
  }
  TWindowClass& c = reg.classes[key];
  c.info = *lpWndClass;
  c.name = lpWndClass->lpszClassName;
  c.info.lpszClassName = c.name.c_str();
  c.info.lpszMenuName = nullptr;
  c.atom = reg.nextAtom++;
  return c.atom;
}

BOOL UnregisterClass(const char* lpClassName, HINSTANCE) {
  if (!lpClassName) return FALSE;
  TWindowRegistry& reg = Registry();
  std::lock_guard guard(reg.lock);
  auto it = reg.classes.find(UpperCase(lpClassName));
  if (it == reg.classes.end()) {
    SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
    return FALSE;
  }
  for (auto& [id, w] : reg.windows) {
    if (SameText(w->className, it->second.name)) {
      SetLastError(ERROR_CLASS_HAS_WINDOWS);
      return FALSE;
    }
  }
  reg.classes.erase(it);
  return TRUE;
}

BOOL GetClassInfo(HINSTANCE, const char* lpClassName, WNDCLASS* lpWndClass) {
  if (!lpClassName) return FALSE;
  TWindowRegistry& reg = Registry();
  std::lock_guard guard(reg.lock);
  auto it = reg.classes.find(UpperCase(lpClassName));
  if (it == reg.classes.end()) {
    SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
    return FALSE;
  }
  if (lpWndClass) *lpWndClass = it->second.info;
  return TRUE;
}

HWND CreateWindowEx(DWORD dwExStyle, const char* lpClassName, const char*, DWORD dwStyle, int, int, int, int,
                    HWND, HMENU, HINSTANCE, void*) {
  WNDCLASS cls;
  if (!GetClassInfo(nullptr, lpClassName, &cls)) return nullptr;
  WNDPROC proc = cls.lpfnWndProc;
  TWindowProc call = [proc](HWND h, UINT m, WPARAM w, LPARAM l) -> LRESULT {
    return proc ? proc(h, m, w, l) : DefWindowProc(h, m, w, l);
  };
  return CreateWindowWithProc(std::move(call), cls.lpszClassName, dwStyle, dwExStyle, cls.cbWndExtra);
}

BOOL DestroyWindow(HWND hWnd) {
  auto w = FindWindow(hWnd);
  if (!w) return FALSE;
  auto q = w->queue.lock();
  bool threadRuns = false;
  if (q) {
    std::lock_guard guard(q->lock);
    threadRuns = !q->ended;
  }
  // From another thread the window is forgotten without its messages: its procedure
  // (and the object behind it) must not be called from this thread, nor later.
  if (threadRuns && w->threadId != GetCurrentThreadId()) threadRuns = false;
  if (threadRuns) {
    if (w->destroying) return TRUE;
    w->destroying = true;
  }
  struct TForget {
    const std::shared_ptr<TWindow>& w;
    TMessageQueue* q;
    ~TForget() {
      if (q) std::erase_if(q->timers, [&](const TTimer& t) { return t.window == w; });
      w->alive = false;
      TWindowRegistry& reg = Registry();
      std::lock_guard guard(reg.lock);
      reg.windows.erase(w->id);
    }
  } forget{w, threadRuns ? q.get() : nullptr};
  if (threadRuns) {
    w->proc(hWnd, WM_DESTROY, 0, 0);
    w->proc(hWnd, WM_NCDESTROY, 0, 0);
  }
  return TRUE;
}

BOOL IsWindow(HWND hWnd) {
  if (!hWnd) return FALSE;
  return FindLiveWindow(hWnd) ? TRUE : FALSE;
}

namespace {
LONG_PTR* WindowSlot(TWindow& w, int nIndex) {
  if (nIndex == GWLP_USERDATA) return &w.userData;
  if (nIndex >= 0 && nIndex % int(sizeof(LONG_PTR)) == 0 && size_t(nIndex) / sizeof(LONG_PTR) < w.extra.size())
    return &w.extra[size_t(nIndex) / sizeof(LONG_PTR)];
  SetLastError(ERROR_INVALID_INDEX);
  return nullptr;
}
}  // namespace

LONG_PTR GetWindowLongPtr(HWND hWnd, int nIndex) {
  auto w = FindWindow(hWnd);
  if (!w) return 0;
  std::lock_guard guard(Registry().lock);
  LONG_PTR* slot = WindowSlot(*w, nIndex);
  return slot ? *slot : 0;
}

LONG_PTR SetWindowLongPtr(HWND hWnd, int nIndex, LONG_PTR dwNewLong) {
  auto w = FindWindow(hWnd);
  if (!w) return 0;
  std::lock_guard guard(Registry().lock);
  LONG_PTR* slot = WindowSlot(*w, nIndex);
  if (!slot) return 0;
  return std::exchange(*slot, dwNewLong);
}

DWORD GetWindowThreadProcessId(HWND hWnd, DWORD* lpdwProcessId) {
  auto w = FindLiveWindow(hWnd);
  if (lpdwProcessId) *lpdwProcessId = w ? GetCurrentProcessId() : 0;
  return w ? w->threadId : 0;
}

LRESULT DefWindowProc(HWND hWnd, UINT Msg, WPARAM, LPARAM) {
  if (Msg == WM_CLOSE) DestroyWindow(hWnd);
  return 0;
}

// --- posting and sending ---

BOOL PostMessage(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  if (!hWnd) return PostThreadMessage(GetCurrentThreadId(), Msg, wParam, lParam);
  std::shared_ptr<TMessageQueue> q;
  auto w = FindLiveWindow(hWnd, &q);
  if (!w) return FALSE;
  if (!q->Post(TQueued{MakeMsg(hWnd, Msg, wParam, lParam), w})) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  return TRUE;
}

BOOL PostThreadMessage(DWORD idThread, UINT Msg, WPARAM wParam, LPARAM lParam) {
  std::shared_ptr<TMessageQueue> q;
  if (idThread == GetCurrentThreadId()) {
    q = CurrentQueue();
  } else {
    TWindowRegistry& reg = Registry();
    std::lock_guard guard(reg.lock);
    auto it = reg.queues.find(idThread);
    if (it != reg.queues.end()) q = it->second.lock();
  }
  if (!q || !q->Post(TQueued{MakeMsg(nullptr, Msg, wParam, lParam), nullptr})) {
    SetLastError(ERROR_INVALID_THREAD_ID);
    return FALSE;
  }
  return TRUE;
}

void PostQuitMessage(int nExitCode) {
  auto q = CurrentQueue();
  std::lock_guard guard(q->lock);
  q->quit = true;
  q->quitCode = nExitCode;
}

LRESULT SendMessage(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  std::shared_ptr<TMessageQueue> q;
  auto w = FindLiveWindow(hWnd, &q);
  if (!w) return 0;
  if (w->threadId == GetCurrentThreadId()) return w->proc(hWnd, Msg, wParam, lParam);
  LRESULT result = 0;
  CallOnQueue(*q, [&] {
    if (w->alive) result = w->proc(hWnd, Msg, wParam, lParam);
  });
  return result;
}

bool CallOnThread(DWORD ThreadId, const std::function<void()>& Call) {
  if (ThreadId == GetCurrentThreadId()) {
    Call();
    return true;
  }
  std::shared_ptr<TMessageQueue> q;
  {
    TWindowRegistry& reg = Registry();
    std::lock_guard guard(reg.lock);
    auto it = reg.queues.find(ThreadId);
    if (it != reg.queues.end()) q = it->second.lock();
  }
  return q && CallOnQueue(*q, Call);
}

bool ProcessSentCalls() { return RunSentCalls(*CurrentQueue()); }

// --- retrieval ---

BOOL PeekMessage(MSG* lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax, UINT wRemoveMsg) {
  auto q = CurrentQueue();
  q->reactor->DispatchReady();
  RunSentCalls(*q);
  const bool remove = (wRemoveMsg & PM_REMOVE) != 0;
  {
    std::lock_guard guard(q->lock);
    for (auto it = q->posted.begin(); it != q->posted.end();) {
      if (it->window && !it->window->alive) {
        it = q->posted.erase(it);
        continue;
      }
      if (WindowMatches(hWnd, it->msg.hwnd) && InRange(it->msg.message, wMsgFilterMin, wMsgFilterMax)) {
        if (lpMsg) *lpMsg = it->msg;
        if (remove) q->posted.erase(it);
        return TRUE;
      }
      ++it;
    }
    if (q->quit && InRange(WM_QUIT, wMsgFilterMin, wMsgFilterMax)) {
      if (lpMsg) *lpMsg = MakeMsg(nullptr, WM_QUIT, WPARAM(q->quitCode), 0);
      if (remove) q->quit = false;
      return TRUE;
    }
  }
  if (InRange(WM_TIMER, wMsgFilterMin, wMsgFilterMax) && !q->timers.empty()) {
    std::erase_if(q->timers, [](const TTimer& t) { return !t.window->alive; });
    const int64_t now = Clock().Now();
    TTimer* due = nullptr;
    for (TTimer& t : q->timers) {
      const HWND th = reinterpret_cast<HWND>(t.window->id);
      if (t.due <= now && WindowMatches(hWnd, th) && (!due || t.due < due->due)) due = &t;
    }
    if (due) {
      if (lpMsg) *lpMsg = MakeMsg(reinterpret_cast<HWND>(due->window->id), WM_TIMER, due->id, 0);
      if (remove) due->due = now + due->intervalNs;
      return TRUE;
    }
  }
  return FALSE;
}

BOOL GetMessage(MSG* lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax) {
  MSG m;
  while (!PeekMessage(&m, hWnd, wMsgFilterMin, wMsgFilterMax, PM_REMOVE)) WaitMessage();
  if (lpMsg) *lpMsg = m;
  return m.message == WM_QUIT ? FALSE : TRUE;
}

BOOL TranslateMessage(const MSG*) { return FALSE; }

LRESULT DispatchMessage(const MSG* lpMsg) {
  if (!lpMsg || !lpMsg->hwnd) return 0;
  auto w = FindLiveWindow(lpMsg->hwnd);
  if (!w || w->threadId != GetCurrentThreadId()) return 0;
  return w->proc(lpMsg->hwnd, lpMsg->message, lpMsg->wParam, lpMsg->lParam);
}

BOOL WaitMessage() {
  auto q = CurrentQueue();
  TQueueInput input(*q, QS_ALLINPUT);
  WaitForObjects({}, false, kNeverNs, &input, true);
  return TRUE;
}

DWORD MsgWaitForMultipleObjects(DWORD nCount, const HANDLE* pHandles, BOOL fWaitAll, DWORD dwMilliseconds,
                                DWORD dwWakeMask) {
  std::vector<std::shared_ptr<TKernelObject>> objects;
  if (!ObjectsOfHandles(nCount, pHandles, objects)) return WAIT_FAILED;
  auto q = CurrentQueue();
  TQueueInput input(*q, dwWakeMask);
  return WaitForObjects(objects, fWaitAll != FALSE, DeadlineAfterMs(dwMilliseconds), &input, true);
}

// --- timers ---

UINT_PTR SetTimer(HWND hWnd, UINT_PTR nIDEvent, UINT uElapse) {
  auto w = FindLiveWindow(hWnd);
  if (!w) return 0;
  if (w->threadId != GetCurrentThreadId()) {
    SetLastError(ERROR_ACCESS_DENIED);
    return 0;
  }
  auto q = CurrentQueue();
  const int64_t interval = int64_t(std::clamp<UINT>(uElapse, 10, 0x7FFFFFFF)) * 1'000'000;
  const int64_t due = Clock().Now() + interval;
  auto it = std::find_if(q->timers.begin(), q->timers.end(),
                         [&](const TTimer& t) { return t.window == w && t.id == nIDEvent; });
  if (it != q->timers.end()) {
    it->intervalNs = interval;
    it->due = due;
  } else {
    q->timers.push_back(TTimer{w, nIDEvent, interval, due});
  }
  q->reactor->Wake();  // a wait in progress (a sent call) re-reads its deadline
  return nIDEvent ? nIDEvent : 1;
}

BOOL KillTimer(HWND hWnd, UINT_PTR uIDEvent) {
  auto w = FindWindow(hWnd);
  if (!w) return FALSE;
  if (w->threadId != GetCurrentThreadId()) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  auto q = CurrentQueue();
  const auto removed = std::erase_if(q->timers, [&](const TTimer& t) { return t.window == w && t.id == uIDEvent; });
  return removed ? TRUE : FALSE;
}

int ThreadTimerCount() {
  auto q = CurrentQueue();
  if (!q) return 0;
  return int(std::count_if(q->timers.begin(), q->timers.end(), [](const TTimer& t) { return t.window->alive.load(); }));
}

// --- hidden windows ---

HWND AllocateHWnd(TWndMethod Method) {
  TWindowProc proc = [Method](HWND h, UINT m, WPARAM w, LPARAM l) -> LRESULT {
    if (!Method) return DefWindowProc(h, m, w, l);
    TMessage msg{m, w, l, 0};
    Method(msg);
    return msg.Result;
  };
  return CreateWindowWithProc(std::move(proc), "TPUtilWindow", WS_POPUP, WS_EX_TOOLWINDOW, 0);
}

void DeallocateHWnd(HWND Wnd) { DestroyWindow(Wnd); }
