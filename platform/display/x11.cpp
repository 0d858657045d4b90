#include "platform/display/x11.h"

#include <sys/epoll.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_map>

#include "platform/gdi/dc.h"
#include "platform/gdi/dib.h"
#include "platform/vcl/controls.h"
#include "platform/win/messages.h"
#include "platform/win/reactor.h"
#include "platform/win/winuser.h"

// From the run-time library (whose Time() would clash with Xlib's Time type).
std::u32string Utf8ToCodePoints(std::string_view S);

// Xlib last: its macros (None, Status, Bool, ...) would clash with the names above.
#if __has_include(<X11/Xlib.h>)
#define VX_HAVE_X11 1
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/cursorfont.h>
#include <X11/keysym.h>
#else
#define VX_HAVE_X11 0
#endif

namespace vx::display {

#if VX_HAVE_X11

namespace {

int IgnoreErrors(Display*, XErrorEvent* e) {
  // A window that went away meanwhile, a focus request for a window not yet viewable:
  // nothing to do about them.
  if (e->error_code != BadWindow && e->error_code != BadMatch && e->error_code != BadDrawable) {
    char text[128] = {};
    XGetErrorText(e->display, e->error_code, text, sizeof text);
    std::fprintf(stderr, "X11: %s (request %d)\n", text, int(e->request_code));
  }
  return 0;
}

struct TKeyMap {
  KeySym sym;
  WORD vk;
};

const TKeyMap kKeys[] = {
    {XK_Return, VK_RETURN},      {XK_KP_Enter, VK_RETURN},    {XK_Escape, VK_ESCAPE},   {XK_Tab, VK_TAB},
    {XK_ISO_Left_Tab, VK_TAB},   {XK_BackSpace, VK_BACK},     {XK_Delete, VK_DELETE},   {XK_KP_Delete, VK_DELETE},
    {XK_Insert, VK_INSERT},      {XK_Home, VK_HOME},          {XK_End, VK_END},         {XK_Prior, VK_PRIOR},
    {XK_Next, VK_NEXT},          {XK_Left, VK_LEFT},          {XK_Up, VK_UP},           {XK_Right, VK_RIGHT},
    {XK_Down, VK_DOWN},          {XK_KP_Home, VK_HOME},       {XK_KP_End, VK_END},      {XK_KP_Left, VK_LEFT},
    {XK_KP_Up, VK_UP},           {XK_KP_Right, VK_RIGHT},     {XK_KP_Down, VK_DOWN},    {XK_space, VK_SPACE},
    {XK_Shift_L, VK_SHIFT},      {XK_Shift_R, VK_SHIFT},      {XK_Control_L, VK_CONTROL}, {XK_Control_R, VK_CONTROL},
    {XK_Alt_L, VK_MENU},         {XK_Alt_R, VK_MENU},         {XK_Pause, VK_PAUSE},     {XK_Caps_Lock, VK_CAPITAL},
    {XK_Menu, VK_APPS},          {XK_KP_Add, VK_ADD},         {XK_KP_Subtract, VK_SUBTRACT},
    {XK_KP_Multiply, VK_MULTIPLY}, {XK_KP_Divide, VK_DIVIDE}, {XK_KP_Decimal, VK_DECIMAL},
};

WORD VirtualKey(KeySym sym) {
  if (sym >= XK_a && sym <= XK_z) return WORD('A' + (sym - XK_a));
  if (sym >= XK_A && sym <= XK_Z) return WORD('A' + (sym - XK_A));
  if (sym >= XK_0 && sym <= XK_9) return WORD('0' + (sym - XK_0));
  if (sym >= XK_KP_0 && sym <= XK_KP_9) return WORD(VK_NUMPAD0 + (sym - XK_KP_0));
  if (sym >= XK_F1 && sym <= XK_F12) return WORD(VK_F1 + (sym - XK_F1));
  for (const auto& k : kKeys)
    if (k.sym == sym) return k.vk;
  return 0;
}

WPARAM KeysOf(unsigned state) {
  WPARAM keys = 0;
  if (state & ShiftMask) keys |= MK_SHIFT;
  if (state & ControlMask) keys |= MK_CONTROL;
  if (state & Button1Mask) keys |= MK_LBUTTON;
  if (state & Button2Mask) keys |= MK_MBUTTON;
  if (state & Button3Mask) keys |= MK_RBUTTON;
  return keys;
}

WPARAM ButtonKey(unsigned button) {
  return button == Button1 ? MK_LBUTTON : button == Button2 ? MK_MBUTTON : button == Button3 ? MK_RBUTTON : 0;
}

class TX11Presenter final : public IPresenter {
 public:
  explicit TX11Presenter(Display* display) : dpy_(display) {
    XSetErrorHandler(IgnoreErrors);
    screen_ = DefaultScreen(dpy_);
    visual_ = DefaultVisual(dpy_, screen_);
    depth_ = DefaultDepth(dpy_, screen_);
    gc_ = XCreateGC(dpy_, RootWindow(dpy_, screen_), 0, nullptr);
    wmProtocols_ = XInternAtom(dpy_, "WM_PROTOCOLS", False);
    wmDelete_ = XInternAtom(dpy_, "WM_DELETE_WINDOW", False);
    netWmName_ = XInternAtom(dpy_, "_NET_WM_NAME", False);
    utf8_ = XInternAtom(dpy_, "UTF8_STRING", False);
    netWmState_ = XInternAtom(dpy_, "_NET_WM_STATE", False);
    netWmAbove_ = XInternAtom(dpy_, "_NET_WM_STATE_ABOVE", False);
    motifHints_ = XInternAtom(dpy_, "_MOTIF_WM_HINTS", False);
    XSetLocaleModifiers("");
    im_ = XOpenIM(dpy_, nullptr, nullptr, nullptr);
    // The screen's pixels match the back buffers' when they are 32-bit 8-8-8.
    directPixels_ = visual_->c_class == TrueColor && depth_ >= 24 && visual_->red_mask == 0xFF0000 &&
                    visual_->green_mask == 0xFF00 && visual_->blue_mask == 0xFF;
    fd_ = ConnectionNumber(dpy_);
    TReactor::Current().Watch(fd_, EPOLLIN, [this](uint32_t) { ServeEvents(); });
    vx::gdi::SetScreenFormat(32, DisplayWidth(dpy_, screen_), DisplayHeight(dpy_, screen_));
  }

  ~TX11Presenter() override {
    TReactor::Current().Unwatch(fd_);
    for (auto& [h, w] : windows_) {
      if (w.ic) XDestroyIC(w.ic);
      XDestroyWindow(dpy_, w.xwin);
      if (w.picture) XFreePixmap(dpy_, w.picture);
    }
    for (auto& [shape, cursor] : cursors_) XFreeCursor(dpy_, cursor);
    if (im_) XCloseIM(im_);
    XFreeGC(dpy_, gc_);
    XCloseDisplay(dpy_);
  }

  void Idle() override {
    ServeEvents();
    XFlush(dpy_);
  }
  bool Headless() const override { return false; }
  SIZE ScreenSize() const override { return SIZE{DisplayWidth(dpy_, screen_), DisplayHeight(dpy_, screen_)}; }

  void WindowShown(const TTopLevelWindow& Desc, const std::shared_ptr<vx::gdi::Surface>& Buffer) override {
    const int x = Desc.Client.left, y = Desc.Client.top;
    const int w = std::max(1, int(Desc.Client.right - Desc.Client.left));
    const int h = std::max(1, int(Desc.Client.bottom - Desc.Client.top));
    auto it = windows_.find(Desc.Handle);
    if (it == windows_.end()) {
      XSetWindowAttributes a{};
      a.background_pixel = WhitePixel(dpy_, screen_);
      a.override_redirect = Desc.Popup ? True : False;
      a.event_mask = ExposureMask | KeyPressMask | KeyReleaseMask | ButtonPressMask | ButtonReleaseMask |
                     PointerMotionMask | LeaveWindowMask | FocusChangeMask | StructureNotifyMask;
      TWin win;
      win.xwin = XCreateWindow(dpy_, RootWindow(dpy_, screen_), x, y, unsigned(w), unsigned(h), 0, CopyFromParent,
                               InputOutput, CopyFromParent, CWBackPixel | CWOverrideRedirect | CWEventMask, &a);
      XSetWMProtocols(dpy_, win.xwin, &wmDelete_, 1);
      XClassHint cls;
      char name[] = "vxsystem";
      cls.res_name = name;
      cls.res_class = name;
      XSetClassHint(dpy_, win.xwin, &cls);
      if (im_)
        win.ic = XCreateIC(im_, XNInputStyle, XIMPreeditNothing | XIMStatusNothing, XNClientWindow, win.xwin,
                           XNFocusWindow, win.xwin, nullptr);
      win.hwnd = Desc.Handle;
      byX_[win.xwin] = Desc.Handle;
      it = windows_.emplace(Desc.Handle, win).first;
      ApplyLook(it->second, Desc, w, h);
      it->second.x = x;
      it->second.y = y;
      it->second.w = w;
      it->second.h = h;
      it->second.buffer = Buffer;
      // The window's background is its own picture: the server shows it from the first
      // exposure on, before this program hears of the mapping.
      NewPicture(it->second);
      XMapRaised(dpy_, it->second.xwin);
      XFlush(dpy_);
      return;
    }
    TWin& win = it->second;
    win.buffer = Buffer;
    if (win.caption != Desc.Caption) SetCaption(win, Desc.Caption);
    if (x != win.x || y != win.y || w != win.w || h != win.h) {
      win.x = x;
      win.y = y;
      win.w = w;
      win.h = h;
      SetSizeHints(win, Desc, w, h);
      XMoveResizeWindow(dpy_, win.xwin, x, y, unsigned(w), unsigned(h));
    }
    if (win.pictureW != w || win.pictureH != h) NewPicture(win);
    XFlush(dpy_);
  }

  void WindowHidden(HWND Handle) override {
    auto it = windows_.find(Handle);
    if (it == windows_.end()) return;
    if (it->second.ic) XDestroyIC(it->second.ic);
    byX_.erase(it->second.xwin);
    XDestroyWindow(dpy_, it->second.xwin);
    if (it->second.picture) XFreePixmap(dpy_, it->second.picture);
    if (focusWanted_ == Handle) focusWanted_ = nullptr;
    windows_.erase(it);
    XFlush(dpy_);
  }

  void WindowActivated(HWND Handle) override {
    auto it = windows_.find(Handle);
    if (it == windows_.end() || it->second.popup) return;
    focusWanted_ = Handle;
    if (it->second.mapped) TakeFocus(it->second);
  }

  void Present(HWND Handle, const std::shared_ptr<vx::gdi::Surface>& Buffer, const RECT& Dirty) override {
    auto it = windows_.find(Handle);
    if (it == windows_.end()) return;
    it->second.buffer = Buffer;
    Put(it->second, Dirty);
    XFlush(dpy_);
  }

  void SetCursor(HWND Handle, int Cursor) override {
    auto it = windows_.find(Handle);
    if (it == windows_.end() || it->second.cursor == Cursor) return;
    it->second.cursor = Cursor;
    unsigned shape = 0;
    switch (Cursor) {
      case crIBeam: shape = XC_xterm; break;
      case crHandPoint: shape = XC_hand2; break;
      case crHourGlass:
      case crSQLWait:
      case crAppStart: shape = XC_watch; break;
      case crCross: shape = XC_crosshair; break;
      case crSizeWE:
      case crHSplit: shape = XC_sb_h_double_arrow; break;
      case crSizeNS:
      case crVSplit: shape = XC_sb_v_double_arrow; break;
      case crSizeAll: shape = XC_fleur; break;
      case crNo:
      case crNoDrop: shape = XC_X_cursor; break;
      case crHelp: shape = XC_question_arrow; break;
      default: break;
    }
    if (shape == 0) {
      XUndefineCursor(dpy_, it->second.xwin);
    } else {
      auto c = cursors_.find(shape);
      if (c == cursors_.end()) c = cursors_.emplace(shape, XCreateFontCursor(dpy_, shape)).first;
      XDefineCursor(dpy_, it->second.xwin, c->second);
    }
    XFlush(dpy_);
  }

  unsigned long XWindow(HWND Handle) const {
    auto it = windows_.find(Handle);
    return it == windows_.end() ? 0 : it->second.xwin;
  }
  bool Mapped(HWND Handle) const {
    auto it = windows_.find(Handle);
    return it != windows_.end() && it->second.mapped;
  }

 private:
  struct TWin {
    Window xwin = 0;
    Pixmap picture = 0;  // what the window shows: its background
    int pictureW = 0, pictureH = 0;
    HWND hwnd = nullptr;
    XIC ic = nullptr;
    std::shared_ptr<vx::gdi::Surface> buffer;
    std::string caption;
    int x = 0, y = 0, w = 0, h = 0;
    bool mapped = false;
    bool popup = false;
    int cursor = 0;
  };

  void SetCaption(TWin& win, const std::string& caption) {
    win.caption = caption;
    XStoreName(dpy_, win.xwin, caption.c_str());
    XChangeProperty(dpy_, win.xwin, netWmName_, utf8_, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(caption.data()), int(caption.size()));
  }

  void SetSizeHints(TWin& win, const TTopLevelWindow& Desc, int w, int h) {
    XSizeHints* hints = XAllocSizeHints();
    hints->flags = PPosition | USPosition;
    hints->x = Desc.Client.left;
    hints->y = Desc.Client.top;
    if (!Desc.Sizeable) {
      hints->flags |= PMinSize | PMaxSize;
      hints->min_width = hints->max_width = w;
      hints->min_height = hints->max_height = h;
    }
    XSetWMNormalHints(dpy_, win.xwin, hints);
    XFree(hints);
  }

  void ApplyLook(TWin& win, const TTopLevelWindow& Desc, int w, int h) {
    win.popup = Desc.Popup;
    SetCaption(win, Desc.Caption);
    SetSizeHints(win, Desc, w, h);
    if (!Desc.Framed && !Desc.Popup) {
      // No frame and no title bar (the window manager's own decoration off).
      const long hints[5] = {2, 0, 0, 0, 0};
      XChangeProperty(dpy_, win.xwin, motifHints_, motifHints_, 32, PropModeReplace,
                      reinterpret_cast<const unsigned char*>(hints), 5);
    }
    if (Desc.StayOnTop) {
      const Atom above = netWmAbove_;
      XChangeProperty(dpy_, win.xwin, netWmState_, XA_ATOM, 32, PropModeReplace,
                      reinterpret_cast<const unsigned char*>(&above), 1);
    }
    if (Desc.Owner) {
      auto owner = windows_.find(Desc.Owner);
      if (owner != windows_.end()) XSetTransientForHint(dpy_, win.xwin, owner->second.xwin);
    }
  }

  void TakeFocus(TWin& win) {
    XRaiseWindow(dpy_, win.xwin);
    XSetInputFocus(dpy_, win.xwin, RevertToParent, CurrentTime);
    XFlush(dpy_);
  }

  // A picture of the window's size, made from the back buffer, as its background.
  void NewPicture(TWin& win) {
    if (win.picture) XFreePixmap(dpy_, win.picture);
    win.picture = XCreatePixmap(dpy_, win.xwin, unsigned(win.w), unsigned(win.h), unsigned(depth_));
    win.pictureW = win.w;
    win.pictureH = win.h;
    XSetForeground(dpy_, gc_, WhitePixel(dpy_, screen_));
    XFillRectangle(dpy_, win.picture, gc_, 0, 0, unsigned(win.w), unsigned(win.h));
    XSetWindowBackgroundPixmap(dpy_, win.xwin, win.picture);
    Put(win, RECT{0, 0, win.w, win.h});
  }

  // Copies a part of the back buffer into the window's picture, and shows it.
  void Put(TWin& win, RECT r) {
    auto& buf = win.buffer;
    if (!buf || !win.picture) return;
    r.left = std::max<LONG>(r.left, 0);
    r.top = std::max<LONG>(r.top, 0);
    r.right = std::min<LONG>(r.right, std::min(buf->Width(), win.w));
    r.bottom = std::min<LONG>(r.bottom, std::min(buf->Height(), win.h));
    if (r.right <= r.left || r.bottom <= r.top) return;
    if (directPixels_ && buf->Bpp() == 32 && !buf->BottomUp()) {
      XImage* img = XCreateImage(dpy_, visual_, unsigned(depth_), ZPixmap, 0, reinterpret_cast<char*>(buf->Bits()),
                                 unsigned(buf->Width()), unsigned(buf->Height()), 32, buf->Stride());
      if (!img) return;
      img->byte_order = LSBFirst;
      XPutImage(dpy_, win.picture, gc_, img, r.left, r.top, r.left, r.top, unsigned(r.right - r.left),
                unsigned(r.bottom - r.top));
      img->data = nullptr;  // the buffer's memory is not Xlib's to free
      XDestroyImage(img);
      Show(win, r);
      return;
    }
    // Another pixel format: converted pixel by pixel.
    const int w = r.right - r.left, h = r.bottom - r.top;
    XImage* img = XCreateImage(dpy_, visual_, unsigned(depth_), ZPixmap, 0, nullptr, unsigned(w), unsigned(h), 32, 0);
    if (!img) return;
    img->data = static_cast<char*>(std::malloc(size_t(img->bytes_per_line) * size_t(h)));
    if (!img->data) {
      XDestroyImage(img);
      return;
    }
    auto channel = [](unsigned long mask, uint8_t v) {
      if (!mask) return 0UL;
      int shift = 0;
      while (!((mask >> shift) & 1)) ++shift;
      int bits = 0;
      while ((mask >> (shift + bits)) & 1) ++bits;
      return (((unsigned long)v >> (8 - std::min(8, bits))) << shift) & mask;
    };
    for (int yy = 0; yy < h; ++yy)
      for (int xx = 0; xx < w; ++xx) {
        const COLORREF c = buf->ColorFromRaw(buf->GetRaw(r.left + xx, r.top + yy));
        XPutPixel(img, xx, yy,
                  channel(visual_->red_mask, GetRValue(c)) | channel(visual_->green_mask, GetGValue(c)) |
                      channel(visual_->blue_mask, GetBValue(c)));
      }
    XPutImage(dpy_, win.picture, gc_, img, 0, 0, r.left, r.top, unsigned(w), unsigned(h));
    XDestroyImage(img);
    Show(win, r);
  }

  // Shows a part of the window's picture (a window not mapped shows it when it maps).
  void Show(TWin& win, const RECT& r) {
    if (win.mapped)
      XCopyArea(dpy_, win.picture, win.xwin, gc_, r.left, r.top, unsigned(r.right - r.left), unsigned(r.bottom - r.top),
                r.left, r.top);
  }

  void ServeEvents() {
    while (XPending(dpy_)) {
      XEvent e;
      XNextEvent(dpy_, &e);
      if (XFilterEvent(&e, None)) continue;
      Handle(e);
    }
  }

  TWin* Find(Window w) {
    auto h = byX_.find(w);
    if (h == byX_.end()) return nullptr;
    auto it = windows_.find(h->second);
    return it == windows_.end() ? nullptr : &it->second;
  }

  void Handle(XEvent& e) {
    TWin* win = Find(e.xany.window);
    if (!win) return;
    const HWND hwnd = win->hwnd;
    switch (e.type) {
      case MapNotify:
        win->mapped = true;
        if (focusWanted_ == hwnd) TakeFocus(*win);
        Show(*win, RECT{0, 0, win->w, win->h});
        break;
      case UnmapNotify: win->mapped = false; break;
      case Expose:
        Show(*win, RECT{e.xexpose.x, e.xexpose.y, e.xexpose.x + e.xexpose.width, e.xexpose.y + e.xexpose.height});
        break;
      case ConfigureNotify: {
        int x = e.xconfigure.x, y = e.xconfigure.y;
        if (!e.xconfigure.send_event) {
          // Relative to a window manager's frame: ask for the place on the screen.
          Window child;
          XTranslateCoordinates(dpy_, win->xwin, RootWindow(dpy_, screen_), 0, 0, &x, &y, &child);
        }
        if (x != win->x || y != win->y || e.xconfigure.width != win->w || e.xconfigure.height != win->h) {
          win->x = x;
          win->y = y;
          win->w = e.xconfigure.width;
          win->h = e.xconfigure.height;
          if (win->pictureW != win->w || win->pictureH != win->h) NewPicture(*win);
          PostMessage(hwnd, VXM_CLIENTBOUNDS, MAKEWPARAM(WORD(int16_t(x)), WORD(int16_t(y))),
                      MAKELPARAM(WORD(win->w), WORD(win->h)));
        }
        break;
      }
      case ButtonPress:
      case ButtonRelease: {
        const unsigned b = e.xbutton.button;
        const LPARAM at = MAKELPARAM(WORD(int16_t(e.xbutton.x)), WORD(int16_t(e.xbutton.y)));
        if (b == Button4 || b == Button5) {
          if (e.type == ButtonPress)
            PostMessage(hwnd, WM_MOUSEWHEEL, MAKEWPARAM(WORD(KeysOf(e.xbutton.state)), WORD(int16_t(b == Button4 ? 120 : -120))),
                        at);
          break;
        }
        if (b != Button1 && b != Button2 && b != Button3) break;
        const UINT down = b == Button1 ? WM_LBUTTONDOWN : b == Button2 ? WM_MBUTTONDOWN : WM_RBUTTONDOWN;
        WPARAM keys = KeysOf(e.xbutton.state);
        if (e.type == ButtonPress)
          keys |= ButtonKey(b);
        else
          keys &= ~ButtonKey(b);
        PostMessage(hwnd, e.type == ButtonPress ? down : down + 1, keys, at);
        break;
      }
      case MotionNotify: {
        // Only the latest of a run of moves matters.
        while (XCheckTypedWindowEvent(dpy_, win->xwin, MotionNotify, &e)) {
        }
        PostMessage(hwnd, WM_MOUSEMOVE, KeysOf(e.xmotion.state),
                    MAKELPARAM(WORD(int16_t(e.xmotion.x)), WORD(int16_t(e.xmotion.y))));
        break;
      }
      case LeaveNotify:
        if (e.xcrossing.mode == NotifyNormal && !(e.xcrossing.state & (Button1Mask | Button2Mask | Button3Mask)))
          PostMessage(hwnd, WM_MOUSELEAVE, 0, 0);
        break;
      case FocusIn:
        if (win->ic) XSetICFocus(win->ic);
        if (!win->popup) PostMessage(hwnd, WM_ACTIVATE, WA_ACTIVE, 0);
        break;
      case FocusOut:
        if (win->ic) XUnsetICFocus(win->ic);
        break;
      case KeyPress:
      case KeyRelease: Key(*win, e.xkey, e.type == KeyPress); break;
      case ClientMessage:
        if (e.xclient.message_type == wmProtocols_ && Atom(e.xclient.data.l[0]) == wmDelete_)
          PostMessage(hwnd, WM_CLOSE, 0, 0);
        break;
      default: break;
    }
  }

  void Key(TWin& win, XKeyEvent& k, bool press) {
    const bool alt = (k.state & Mod1Mask) != 0;
    const KeySym sym = XLookupKeysym(&k, 0);
    const WORD vk = VirtualKey(sym);
    LPARAM data = 1 | LPARAM((k.keycode & 0xFF) << 16);
    if (alt) data |= KF_ALTDOWN_BIT;
    if (!press) data |= KF_UP_BIT;
    if (vk) {
      const UINT msg = (alt || vk == VK_MENU) ? (press ? WM_SYSKEYDOWN : WM_SYSKEYUP) : (press ? WM_KEYDOWN : WM_KEYUP);
      PostMessage(win.hwnd, msg, vk, data);
    }
    if (!press) return;
    // The characters the key types.
    char text[64] = {};
    int n = 0;
    if (win.ic) {
      Status status = 0;
      KeySym ignored;
      n = Xutf8LookupString(win.ic, &k, text, int(sizeof text) - 1, &ignored, &status);
      if (status != XLookupChars && status != XLookupBoth) n = 0;
    } else {
      KeySym ignored;
      n = XLookupString(&k, text, int(sizeof text) - 1, &ignored, nullptr);
    }
    for (char32_t cp : Utf8ToCodePoints(std::string_view(text, size_t(std::max(0, n))))) {
      if (cp == 127) continue;  // Delete is a key, not a character
      PostMessage(win.hwnd, alt ? WM_SYSCHAR : WM_CHAR, WPARAM(cp), data);
    }
  }

  Display* dpy_;
  int screen_ = 0;
  Visual* visual_ = nullptr;
  int depth_ = 24;
  GC gc_;
  XIM im_ = nullptr;
  int fd_ = -1;
  bool directPixels_ = false;
  Atom wmProtocols_, wmDelete_, netWmName_, utf8_, netWmState_, netWmAbove_, motifHints_;
  std::unordered_map<HWND, TWin> windows_;
  std::unordered_map<Window, HWND> byX_;
  std::unordered_map<unsigned, Cursor> cursors_;
  HWND focusWanted_ = nullptr;
};

}  // namespace

namespace {

// A connection to the display named (empty: a non-empty $DISPLAY), or null.
Display* OpenDisplay(const std::string& DisplayName) {
  const char* name = DisplayName.empty() ? nullptr : DisplayName.c_str();
  if (!name) {
    const char* env = std::getenv("DISPLAY");
    if (!env || !*env) return nullptr;
  }
  return XOpenDisplay(name);
}

}  // namespace

std::unique_ptr<IPresenter> TryX11Presenter(const std::string& DisplayName) {
  Display* dpy = OpenDisplay(DisplayName);
  if (!dpy) return nullptr;
  return std::make_unique<TX11Presenter>(dpy);
}

bool X11DisplayAnswers(const std::string& DisplayName) {
  Display* dpy = OpenDisplay(DisplayName);
  if (dpy) XCloseDisplay(dpy);
  return dpy != nullptr;
}

unsigned long X11WindowOf(IPresenter* Presenter, HWND Handle) {
  auto* p = dynamic_cast<TX11Presenter*>(Presenter);
  return p ? p->XWindow(Handle) : 0;
}

bool X11WindowMapped(IPresenter* Presenter, HWND Handle) {
  auto* p = dynamic_cast<TX11Presenter*>(Presenter);
  return p && p->Mapped(Handle);
}

#else

std::unique_ptr<IPresenter> TryX11Presenter(const std::string&) { return nullptr; }
bool X11DisplayAnswers(const std::string&) { return false; }
unsigned long X11WindowOf(IPresenter*, HWND) { return 0; }
bool X11WindowMapped(IPresenter*, HWND) { return false; }

#endif

}  // namespace vx::display
