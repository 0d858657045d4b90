// Windows and per-thread message queues. A window is an id (never reused), its owner
// thread, a window procedure and user data; each thread has one queue, FIFO across all
// of its windows. Posting works from any thread; SendMessage calls the procedure
// directly on the owner thread and marshals from other threads. The queue's input and
// the thread's watched descriptors share the thread's reactor (reactor.h).
#pragma once

#include <functional>
#include <string>

#include "platform/rtl/events.h"
#include "platform/win/handles.h"
#include "platform/win/reactor.h"
#include "platform/win/wintypes.h"

// --- message numbers ---
constexpr UINT WM_NULL = 0x0000;
constexpr UINT WM_CREATE = 0x0001;
constexpr UINT WM_DESTROY = 0x0002;
constexpr UINT WM_MOVE = 0x0003;
constexpr UINT WM_SIZE = 0x0005;
constexpr UINT WM_ACTIVATE = 0x0006;
constexpr UINT WM_SETFOCUS = 0x0007;
constexpr UINT WM_KILLFOCUS = 0x0008;
constexpr UINT WM_ENABLE = 0x000A;
constexpr UINT WM_SETTEXT = 0x000C;
constexpr UINT WM_PAINT = 0x000F;
constexpr UINT WM_CLOSE = 0x0010;
constexpr UINT WM_QUIT = 0x0012;
constexpr UINT WM_ERASEBKGND = 0x0014;
constexpr UINT WM_SHOWWINDOW = 0x0018;
constexpr UINT WM_NCDESTROY = 0x0082;
constexpr UINT WM_KEYFIRST = 0x0100;
constexpr UINT WM_KEYDOWN = 0x0100;
constexpr UINT WM_KEYUP = 0x0101;
constexpr UINT WM_CHAR = 0x0102;
constexpr UINT WM_SYSKEYDOWN = 0x0104;
constexpr UINT WM_SYSKEYUP = 0x0105;
constexpr UINT WM_KEYLAST = 0x0109;
constexpr UINT WM_TIMER = 0x0113;
constexpr UINT WM_HSCROLL = 0x0114;
constexpr UINT WM_VSCROLL = 0x0115;
constexpr UINT WM_MOUSEFIRST = 0x0200;
constexpr UINT WM_MOUSEMOVE = 0x0200;
constexpr UINT WM_LBUTTONDOWN = 0x0201;
constexpr UINT WM_LBUTTONUP = 0x0202;
constexpr UINT WM_LBUTTONDBLCLK = 0x0203;
constexpr UINT WM_RBUTTONDOWN = 0x0204;
constexpr UINT WM_RBUTTONUP = 0x0205;
constexpr UINT WM_RBUTTONDBLCLK = 0x0206;
constexpr UINT WM_MBUTTONDOWN = 0x0207;
constexpr UINT WM_MBUTTONUP = 0x0208;
constexpr UINT WM_MBUTTONDBLCLK = 0x0209;
constexpr UINT WM_MOUSEWHEEL = 0x020A;
constexpr UINT WM_MOUSELAST = 0x020A;
constexpr UINT WM_USER = 0x0400;
constexpr UINT WM_APP = 0x8000;

// --- PeekMessage removal flags ---
constexpr UINT PM_NOREMOVE = 0x0000;
constexpr UINT PM_REMOVE = 0x0001;
constexpr UINT PM_NOYIELD = 0x0002;

// --- queue status bits (wake masks of MsgWaitForMultipleObjects) ---
constexpr DWORD QS_KEY = 0x0001;
constexpr DWORD QS_MOUSEMOVE = 0x0002;
constexpr DWORD QS_MOUSEBUTTON = 0x0004;
constexpr DWORD QS_POSTMESSAGE = 0x0008;
constexpr DWORD QS_TIMER = 0x0010;
constexpr DWORD QS_PAINT = 0x0020;
constexpr DWORD QS_SENDMESSAGE = 0x0040;
constexpr DWORD QS_HOTKEY = 0x0080;
constexpr DWORD QS_ALLPOSTMESSAGE = 0x0100;
constexpr DWORD QS_RAWINPUT = 0x0400;
constexpr DWORD QS_MOUSE = QS_MOUSEMOVE | QS_MOUSEBUTTON;
constexpr DWORD QS_INPUT = QS_MOUSE | QS_KEY | QS_RAWINPUT;
constexpr DWORD QS_ALLEVENTS = QS_INPUT | QS_POSTMESSAGE | QS_TIMER | QS_PAINT | QS_HOTKEY;
constexpr DWORD QS_ALLINPUT = QS_ALLEVENTS | QS_SENDMESSAGE;

// --- window data indexes ---
constexpr int GWLP_USERDATA = -21;

constexpr DWORD ERROR_CLASS_ALREADY_EXISTS = 1410;
constexpr DWORD ERROR_CLASS_DOES_NOT_EXIST = 1411;
constexpr DWORD ERROR_CLASS_HAS_WINDOWS = 1412;
constexpr DWORD ERROR_INVALID_INDEX = 1413;

// Hidden-window styles; accepted and kept, without effect.
constexpr DWORD WS_POPUP = 0x80000000;
constexpr DWORD WS_EX_TOOLWINDOW = 0x00000080;

// A message filter for PeekMessage/GetMessage that takes only thread messages.
inline const HWND HWND_THREAD_MESSAGES = reinterpret_cast<HWND>(intptr_t{-1});

struct MSG {
  HWND hwnd = nullptr;
  UINT message = 0;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
  DWORD time = 0;
  POINT pt;
};

using WNDPROC = LRESULT (*)(HWND, UINT, WPARAM, LPARAM);

struct WNDCLASS {
  UINT style = 0;
  WNDPROC lpfnWndProc = nullptr;
  int cbClsExtra = 0;
  int cbWndExtra = 0;  // bytes of per-window data, addressed by GetWindowLongPtr offsets
  HINSTANCE hInstance = nullptr;
  HICON hIcon = nullptr;
  HCURSOR hCursor = nullptr;
  HBRUSH hbrBackground = nullptr;
  const char* lpszMenuName = nullptr;
  const char* lpszClassName = nullptr;
};

// Window classes are process-wide and named case-insensitively; the module instance
// is not part of the name.
ATOM RegisterClass(const WNDCLASS* lpWndClass);
BOOL UnregisterClass(const char* lpClassName, HINSTANCE hInstance);
BOOL GetClassInfo(HINSTANCE hInstance, const char* lpClassName, WNDCLASS* lpWndClass);

// Creates a window of a registered class, owned by the calling thread. Geometry,
// parent, menu and styles are kept for later layers and have no effect here.
HWND CreateWindowEx(DWORD dwExStyle, const char* lpClassName, const char* lpWindowName, DWORD dwStyle,
                    int X, int Y, int nWidth, int nHeight, HWND hWndParent, HMENU hMenu,
                    HINSTANCE hInstance, void* lpParam);
// Sends WM_DESTROY and WM_NCDESTROY, kills the window's timers and forgets the window;
// messages still queued for it are dropped. From a thread other than its own the
// window is forgotten without those two messages (its procedure only ever runs on its
// own thread), and its timers stop.
BOOL DestroyWindow(HWND hWnd);
BOOL IsWindow(HWND hWnd);
// GWLP_USERDATA, or a byte offset (a multiple of the pointer size) into the class's
// per-window data.
LONG_PTR GetWindowLongPtr(HWND hWnd, int nIndex);
LONG_PTR SetWindowLongPtr(HWND hWnd, int nIndex, LONG_PTR dwNewLong);
// The owner thread's id (0 for an unknown window).
DWORD GetWindowThreadProcessId(HWND hWnd, DWORD* lpdwProcessId);

// Default processing: WM_CLOSE destroys the window; everything else answers 0.
LRESULT DefWindowProc(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);

// Posting: FALSE (last error ERROR_INVALID_WINDOW_HANDLE / ERROR_INVALID_THREAD_ID)
// when the window or the thread's queue does not exist. A null window posts a thread
// message to the calling thread.
BOOL PostMessage(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);
BOOL PostThreadMessage(DWORD idThread, UINT Msg, WPARAM wParam, LPARAM lParam);
// WM_QUIT with the exit code is retrieved once the calling thread's queue holds no
// other posted messages.
void PostQuitMessage(int nExitCode);

// Calls the window procedure and returns its result. From another thread the call is
// carried out by the owner thread when it next looks at its queue, and the sender
// serves calls sent to itself while it waits; an exception of the procedure is raised
// again in the sender. 0 for a window that does not exist (or ends meanwhile).
LRESULT SendMessage(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);

// Retrieval order: calls sent from other threads (carried out, not returned), posted
// messages in FIFO order, WM_QUIT, then WM_TIMER of due timers. A window filter takes
// that window's messages only (HWND_THREAD_MESSAGES: thread messages only); a message
// range of 0, 0 takes all. Every look at the queue first serves ready watched
// descriptors (reactor.h).
BOOL PeekMessage(MSG* lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax, UINT wRemoveMsg);
// Waits for a message; FALSE when it retrieved WM_QUIT.
BOOL GetMessage(MSG* lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax);
// No character translation is made; answers FALSE.
BOOL TranslateMessage(const MSG* lpMsg);
// Calls the procedure of the message's window on its owner thread; exceptions of the
// procedure propagate to the caller. 0 for thread messages and unknown windows.
LRESULT DispatchMessage(const MSG* lpMsg);
// Waits until the queue holds a message (or a due timer, or a sent call).
BOOL WaitMessage();

// Waits for the objects, or for queue input of the kinds in dwWakeMask: returns
// WAIT_OBJECT_0 + nCount when the queue holds such input (present input counts, not
// only input that arrived since the last look), WAIT_OBJECT_0 + i for an object,
// WAIT_TIMEOUT, or WAIT_FAILED. Watched descriptors are served while waiting.
DWORD MsgWaitForMultipleObjects(DWORD nCount, const HANDLE* pHandles, BOOL fWaitAll, DWORD dwMilliseconds,
                                DWORD dwWakeMask);

// Timers of the calling thread's windows. WM_TIMER (wParam = the id) is made when the
// queue holds nothing else and the timer is due; at most one is pending per timer, and
// the next period starts when it is retrieved. Intervals below 10 ms count as 10 ms.
// Setting an existing timer again restarts it with the new interval.
UINT_PTR SetTimer(HWND hWnd, UINT_PTR nIDEvent, UINT uElapse);
BOOL KillTimer(HWND hWnd, UINT_PTR uIDEvent);
// The timers set on live windows of the calling thread (to check that components
// stop their own).
int ThreadTimerCount();

// --- the framework's message record and hidden windows ---
struct TMessage {
  UINT Msg = 0;
  WPARAM WParam = 0;
  LPARAM LParam = 0;
  LRESULT Result = 0;
};
using TWndMethod = Event<TMessage&>;

// A hidden window on the calling thread whose messages go to Method; a method passes
// what it does not handle to DefWindowProc itself.
HWND AllocateHWnd(TWndMethod Method);
void DeallocateHWnd(HWND Wnd);

// --- calls marshalled between threads ---
// Runs Call on the thread ThreadId when that thread next looks at its queue, and waits
// for it (serving calls sent to the caller meanwhile); an exception of Call is raised
// again here. On the calling thread itself Call runs at once. False when the thread
// has no queue or ended before running the call.
bool CallOnThread(DWORD ThreadId, const std::function<void()>& Call);
// Runs the calls sent to the calling thread; true when there was one.
bool ProcessSentCalls();
