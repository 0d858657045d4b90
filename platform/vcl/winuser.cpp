// The window functions of platform/win/winuser.h, over the controls behind the
// window handles.
#include "platform/win/winuser.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstring>

#include "platform/gdi/dib.h"
#include "platform/rtl/sysutils.h"
#include "platform/vcl/dialogs.h"
#include "platform/vcl/forms.h"
#include "platform/vcl/internal/focus.h"
#include "platform/vcl/internal/input.h"

namespace vx::vcl {

namespace {
std::array<std::atomic<bool>, 256>& KeyStates() {
  static std::array<std::atomic<bool>, 256> keys{};
  return keys;
}
}  // namespace

void SetKeyDown(WORD Key, bool Down) {
  auto& keys = KeyStates();
  keys[Key & 0xFF] = Down;
  switch (Key) {
    case VK_LSHIFT:
    case VK_RSHIFT: keys[VK_SHIFT] = Down; break;
    case VK_LCONTROL:
    case VK_RCONTROL: keys[VK_CONTROL] = Down; break;
    case VK_LMENU:
    case VK_RMENU: keys[VK_MENU] = Down; break;
    default: break;
  }
}

}  // namespace vx::vcl

// ---- Rectangles ----

BOOL SetRect(RECT* r, int left, int top, int right, int bottom) {
  if (!r) return FALSE;
  *r = RECT{left, top, right, bottom};
  return TRUE;
}

BOOL SetRectEmpty(RECT* r) { return SetRect(r, 0, 0, 0, 0); }

BOOL IsRectEmpty(const RECT* r) { return !r || r->right <= r->left || r->bottom <= r->top; }

BOOL IntersectRect(RECT* dst, const RECT* a, const RECT* b) {
  if (!dst || !a || !b) return FALSE;
  RECT r{std::max(a->left, b->left), std::max(a->top, b->top), std::min(a->right, b->right),
         std::min(a->bottom, b->bottom)};
  if (IsRectEmpty(&r)) {
    *dst = RECT{};
    return FALSE;
  }
  *dst = r;
  return TRUE;
}

BOOL UnionRect(RECT* dst, const RECT* a, const RECT* b) {
  if (!dst || !a || !b) return FALSE;
  if (IsRectEmpty(a)) {
    *dst = IsRectEmpty(b) ? RECT{} : *b;
  } else if (IsRectEmpty(b)) {
    *dst = *a;
  } else {
    *dst = RECT{std::min(a->left, b->left), std::min(a->top, b->top), std::max(a->right, b->right),
                std::max(a->bottom, b->bottom)};
  }
  return IsRectEmpty(dst) ? FALSE : TRUE;
}

BOOL OffsetRect(RECT* r, int dx, int dy) {
  if (!r) return FALSE;
  r->left += dx;
  r->right += dx;
  r->top += dy;
  r->bottom += dy;
  return TRUE;
}

BOOL InflateRect(RECT* r, int dx, int dy) {
  if (!r) return FALSE;
  r->left -= dx;
  r->right += dx;
  r->top -= dy;
  r->bottom += dy;
  return TRUE;
}

BOOL PtInRect(const RECT* r, POINT p) {
  return r && p.x >= r->left && p.x < r->right && p.y >= r->top && p.y < r->bottom;
}

BOOL EqualRect(const RECT* a, const RECT* b) { return a && b && *a == *b; }

int MulDiv(int a, int b, int c) {
  if (c == 0) return -1;
  const int64_t p = int64_t(a) * int64_t(b);
  int64_t q = p / c;
  const int64_t rem = p % c;
  // Round half away from zero.
  if (2 * std::llabs(rem) >= std::llabs(int64_t(c))) q += ((p < 0) != (c < 0)) ? -1 : 1;
  if (q > INT32_MAX || q < INT32_MIN) return -1;
  return int(q);
}

// ---- Windows ----

namespace {

TCustomForm* FormOf(HWND h) { return As<TCustomForm>(FindControl(h)); }

}  // namespace

BOOL InvalidateRect(HWND hWnd, const RECT* lpRect, BOOL) {
  TWinControl* c = FindControl(hWnd);
  if (!c) return FALSE;
  TRect r = lpRect ? *lpRect : c->ClientRect();
  TRect in;
  TCustomForm* form = c->TopForm();
  if (!form || !c->RectInForm(in)) return TRUE;
  if (c != form) OffsetRect(&r, in.left, in.top);
  form->InvalidateFormRect(r);
  return TRUE;
}

BOOL UpdateWindow(HWND hWnd) {
  TWinControl* c = FindControl(hWnd);
  if (!c) return FALSE;
  c->Update();
  return TRUE;
}

BOOL EnableWindow(HWND hWnd, BOOL bEnable) {
  TWinControl* c = FindControl(hWnd);
  if (!c) return FALSE;
  if (auto* form = As<TCustomForm>(c); form && !form->Parent()) {
    const bool was = form->WindowEnabled();
    form->SetWindowEnabled(bEnable != FALSE);
    return was ? FALSE : TRUE;
  }
  const bool was = c->Enabled();
  c->SetEnabled(bEnable != FALSE);
  return was ? FALSE : TRUE;
}

BOOL IsWindowEnabled(HWND hWnd) {
  TWinControl* c = FindControl(hWnd);
  if (!c) return FALSE;
  if (auto* form = As<TCustomForm>(c); form && !form->Parent()) return form->WindowEnabled() && form->Enabled();
  return c->Enabled();
}

BOOL IsWindowVisible(HWND hWnd) {
  TWinControl* c = FindControl(hWnd);
  return c && c->Showing();
}

BOOL ShowWindow(HWND hWnd, int nCmdShow) {
  TWinControl* c = FindControl(hWnd);
  if (!c) return FALSE;
  const bool was = c->Visible();
  c->SetVisible(nCmdShow != SW_HIDE);
  return was;
}

BOOL SetWindowPos(HWND hWnd, HWND hWndInsertAfter, int X, int Y, int cx, int cy, UINT uFlags) {
  TWinControl* c = FindControl(hWnd);
  if (!c) return FALSE;
  if (!(uFlags & SWP_NOMOVE) || !(uFlags & SWP_NOSIZE)) {
    const int l = (uFlags & SWP_NOMOVE) ? c->Left() : X;
    const int t = (uFlags & SWP_NOMOVE) ? c->Top() : Y;
    const int w = (uFlags & SWP_NOSIZE) ? c->Width() : cx;
    const int h = (uFlags & SWP_NOSIZE) ? c->Height() : cy;
    c->SetBounds(l, t, w, h);
  }
  if (!(uFlags & SWP_NOZORDER)) {
    if (hWndInsertAfter == HWND_TOP || hWndInsertAfter == HWND_TOPMOST) {
      if (!(uFlags & SWP_NOACTIVATE) || c->Parent()) c->BringToFront();
    } else if (hWndInsertAfter == HWND_BOTTOM) {
      c->SendToBack();
    }
  }
  if (uFlags & SWP_SHOWWINDOW) c->SetVisible(true);
  if (uFlags & SWP_HIDEWINDOW) c->SetVisible(false);
  return TRUE;
}

BOOL GetClientRect(HWND hWnd, RECT* lpRect) {
  TWinControl* c = FindControl(hWnd);
  if (!c || !lpRect) return FALSE;
  *lpRect = c->ClientRect();
  return TRUE;
}

BOOL GetWindowRect(HWND hWnd, RECT* lpRect) {
  TWinControl* c = FindControl(hWnd);
  if (!c || !lpRect) return FALSE;
  if (c->Parent()) {
    const TPoint o = c->ClientOrigin();
    *lpRect = TRect{o.x, o.y, o.x + c->Width(), o.y + c->Height()};
  } else {
    *lpRect = c->BoundsRect();
  }
  return TRUE;
}

BOOL ClientToScreen(HWND hWnd, POINT* lpPoint) {
  TWinControl* c = FindControl(hWnd);
  if (!c || !lpPoint) return FALSE;
  *lpPoint = c->ClientToScreen(*lpPoint);
  return TRUE;
}

BOOL ScreenToClient(HWND hWnd, POINT* lpPoint) {
  TWinControl* c = FindControl(hWnd);
  if (!c || !lpPoint) return FALSE;
  *lpPoint = c->ScreenToClient(*lpPoint);
  return TRUE;
}

HWND GetParent(HWND hWnd) {
  TWinControl* c = FindControl(hWnd);
  return c && c->Parent() ? c->Parent()->Handle() : nullptr;
}

std::string GetWindowText(HWND hWnd) {
  TWinControl* c = FindControl(hWnd);
  return c ? c->Text() : std::string();
}

int GetWindowText(HWND hWnd, char* lpString, int nMaxCount) {
  if (!lpString || nMaxCount <= 0) return 0;
  const std::string s = GetWindowText(hWnd);
  const size_t n = std::min(s.size(), size_t(nMaxCount - 1));
  std::memcpy(lpString, s.data(), n);
  lpString[n] = 0;
  return int(n);
}

BOOL SetWindowText(HWND hWnd, const char* lpString) {
  TWinControl* c = FindControl(hWnd);
  if (!c) return FALSE;
  c->SetText(lpString ? lpString : "");
  return TRUE;
}

HWND FindWindow(const char* lpClassName, const char* lpWindowName) {
  for (int i = 0; i < Screen->FormCount(); ++i) {
    TCustomForm* f = Screen->Forms(i);
    if (lpClassName && !SameText(f->ClassName(), lpClassName)) continue;
    if (lpWindowName && f->Caption() != lpWindowName) continue;
    return f->Handle();
  }
  return nullptr;
}

BOOL ScrollWindow(HWND hWnd, int dx, int dy, const RECT* lpRect, const RECT* lpClipRect) {
  TWinControl* c = FindControl(hWnd);
  if (!c) return FALSE;
  TCustomForm* form = c->TopForm();
  TRect place;
  if (!form || !c->RectInForm(place)) return TRUE;
  // The scrolled area and the clip, in form coordinates.
  TRect area = lpRect ? *lpRect : c->ClientRect();
  if (lpClipRect) IntersectRect(&area, &area, lpClipRect);
  if (c != form) OffsetRect(&area, place.left, place.top);
  const TRect formClient = form->ClientRect();
  IntersectRect(&area, &area, &formClient);
  if (IsRectEmpty(&area)) return TRUE;
  auto buffer = form->BackBuffer();
  // Pixels waiting for painting would move to places nobody repaints: paint it all.
  if (!buffer || buffer->Bpp() != 32 || form->PaintPending() || std::abs(dx) >= area.right - area.left ||
      std::abs(dy) >= area.bottom - area.top) {
    form->InvalidateFormRect(area);
    return TRUE;
  }
  TRect dest = area;
  OffsetRect(&dest, dx, dy);
  IntersectRect(&dest, &dest, &area);
  const int width = dest.right - dest.left;
  auto move = [&](int y) {
    std::memmove(buffer->Row(y) + size_t(dest.left) * 4, buffer->Row(y - dy) + size_t(dest.left - dx) * 4,
                 size_t(width) * 4);
  };
  if (dy > 0)
    for (int y = dest.bottom - 1; y >= dest.top; --y) move(y);
  else
    for (int y = dest.top; y < dest.bottom; ++y) move(y);
  form->MarkPresent(dest);
  // What the move uncovered: a band at the top or bottom, and one at the left or right.
  if (dy > 0) form->InvalidateFormRect(TRect{area.left, area.top, area.right, dest.top});
  if (dy < 0) form->InvalidateFormRect(TRect{area.left, dest.bottom, area.right, area.bottom});
  if (dx > 0) form->InvalidateFormRect(TRect{area.left, area.top, dest.left, area.bottom});
  if (dx < 0) form->InvalidateFormRect(TRect{dest.right, area.top, area.right, area.bottom});
  return TRUE;
}

int SetWindowRgn(HWND hWnd, HRGN hRgn, BOOL) {
  TWinControl* c = FindControl(hWnd);
  if (!c) return 0;
  c->SetWindowRegion(hRgn);
  return 1;
}

HWND SetFocus(HWND hWnd) {
  TWinControl* old = FocusedControl();
  HWND previous = old ? old->Handle() : nullptr;
  TWinControl* c = FindControl(hWnd);
  if (hWnd && !c) return nullptr;
  vx::vcl::SetSystemFocus(c);
  return previous;
}

HWND GetFocus() {
  TWinControl* c = FocusedControl();
  return c ? c->Handle() : nullptr;
}

HWND GetActiveWindow() {
  TCustomForm* f = Screen->ActiveForm();
  return f ? f->Handle() : nullptr;
}

HWND SetActiveWindow(HWND hWnd) {
  HWND previous = GetActiveWindow();
  if (TCustomForm* f = FormOf(hWnd)) f->BringFormToFront();
  return previous;
}

HWND GetForegroundWindow() { return GetActiveWindow(); }

BOOL SetForegroundWindow(HWND hWnd) {
  TCustomForm* f = FormOf(hWnd);
  if (!f) return FALSE;
  f->BringFormToFront();
  return TRUE;
}

HWND SetCapture(HWND hWnd) {
  TControl* old = GetCaptureControl();
  HWND previous = nullptr;
  if (auto* w = As<TWinControl>(old)) previous = w->Handle();
  SetCaptureControl(FindControl(hWnd));
  return previous;
}

BOOL ReleaseCapture() {
  SetCaptureControl(nullptr);
  return TRUE;
}

HWND GetCapture() {
  auto* w = As<TWinControl>(GetCaptureControl());
  return w ? w->Handle() : nullptr;
}

BOOL GetCursorPos(POINT* lpPoint) {
  if (!lpPoint) return FALSE;
  *lpPoint = vx::vcl::LastMousePosition();
  return TRUE;
}

UINT GetDoubleClickTime() { return 500; }

int GetSystemMetrics(int nIndex) {
  switch (nIndex) {
    case SM_CXSCREEN: return Screen->Width();
    case SM_CYSCREEN: return Screen->Height();
    case SM_CXVSCROLL:
    case SM_CYHSCROLL:
    case SM_CYVTHUMB:
    case SM_CXHTHUMB: return 16;
    case SM_CYCAPTION: return 19;
    case SM_CXBORDER:
    case SM_CYBORDER: return 1;
    case SM_CXDLGFRAME:
    case SM_CYDLGFRAME: return 3;
    case SM_CXFRAME:
    case SM_CYFRAME: return 4;
    case SM_CXDOUBLECLK:
    case SM_CYDOUBLECLK: return 4;
    default: return 0;
  }
}

SHORT GetKeyState(int nVirtKey) { return vx::vcl::KeyStates()[nVirtKey & 0xFF] ? SHORT(-128) : SHORT(0); }

void keybd_event(BYTE bVk, BYTE, DWORD dwFlags, ULONG_PTR) {
  TCustomForm* form = Screen->ActiveForm();
  if (!form) return;
  const bool up = dwFlags & KEYEVENTF_KEYUP;
  const bool alt = GetKeyState(VK_MENU) < 0 && bVk != VK_MENU;
  const UINT msg = alt ? (up ? WM_SYSKEYUP : WM_SYSKEYDOWN) : (up ? WM_KEYUP : WM_KEYDOWN);
  LPARAM data = 1;
  if (alt) data |= KF_ALTDOWN_BIT;
  if (up) data |= KF_UP_BIT;
  PostMessage(form->Handle(), msg, bVk, data);
}

UINT MapVirtualKey(UINT uCode, UINT) { return uCode & 0xFF; }

int MessageBox(HWND, const char* lpText, const char* lpCaption, UINT uType) {
  return ShowMessageBox(lpText ? lpText : "", lpCaption ? lpCaption : "Error", uType);
}
