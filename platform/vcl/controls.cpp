#include "platform/vcl/controls.h"

#include <algorithm>
#include <cctype>

#include "platform/gdi/dc.h"
#include "platform/vcl/forms.h"
#include "platform/vcl/internal/focus.h"
#include "platform/vcl/internal/input.h"
#include "platform/vcl/menus.h"

using vx::gdi::Surface;
using vx::gdi::WindowSurface;

namespace {

TControl* g_capture = nullptr;
TWinControl* g_focus = nullptr;

// The window class behind every windowed control.
constexpr const char* kWindowClass = "VxControlWindow";

LRESULT ControlWindowProc(HWND hwnd, UINT msg, WPARAM w, LPARAM l) {
  auto* control = reinterpret_cast<TWinControl*>(GetWindowLongPtr(hwnd, GWLP_USERDATA));
  if (!control) return DefWindowProc(hwnd, msg, w, l);
  return control->MainWndProc(msg, w, l);
}

// Where a control's client area lies in its form's back buffer, and which part of it
// is visible through its parents.
bool ControlSurface(TControl* control, WindowSurface& out) {
  TCustomForm* form = control ? control->TopForm() : nullptr;
  if (!form || !form->Showing()) return false;
  TRect r;
  if (!control->RectInForm(r)) return false;
  auto surface = form->BackBuffer();
  if (!surface) return false;
  out.surface = surface;
  out.origin = TPoint{r.left, r.top};
  // Clip to every parent's client area.
  TRect vis = r;
  for (TWinControl* p = control->Parent(); p && p != form; p = p->Parent()) {
    TRect pr;
    if (!p->RectInForm(pr)) return false;
    IntersectRect(&vis, &vis, &pr);
  }
  TRect client = form->ClientRect();
  IntersectRect(&vis, &vis, &client);
  out.visible = vis;
  return true;
}

// Control canvases holding a DC of their own, let go of at the next idle time.
std::vector<TControlCanvas*>& CanvasesWithDC() {
  static std::vector<TControlCanvas*> list;
  return list;
}

void EnsureWindowServices() {
  static bool done = false;
  if (done) return;
  done = true;
  WNDCLASS wc;
  wc.lpfnWndProc = ControlWindowProc;
  wc.lpszClassName = kWindowClass;
  RegisterClass(&wc);
  vx::gdi::SetWindowDCProvider([](HWND hwnd, bool, WindowSurface& out) {
    TWinControl* c = FindControl(hwnd);
    if (!c || !ControlSurface(c, out)) return false;
    if (TCustomForm* f = c->TopForm()) {
      TRect vis = out.visible;
      f->MarkPresent(vis);
    }
    return true;
  });
}

void RemoveFrom(std::vector<TControl*>& v, TControl* c) { v.erase(std::remove(v.begin(), v.end(), c), v.end()); }
void RemoveFrom(std::vector<TWinControl*>& v, TWinControl* c) {
  v.erase(std::remove(v.begin(), v.end(), c), v.end());
}

}  // namespace

// ---- Helpers ----

TShiftState KeysToShiftState(WPARAM Keys) {
  TShiftState s;
  if (Keys & MK_SHIFT) s.Include(ssShift);
  if (Keys & MK_CONTROL) s.Include(ssCtrl);
  if (Keys & MK_LBUTTON) s.Include(ssLeft);
  if (Keys & MK_RBUTTON) s.Include(ssRight);
  if (Keys & MK_MBUTTON) s.Include(ssMiddle);
  if (GetKeyState(VK_MENU) < 0) s.Include(ssAlt);
  return s;
}

TShiftState KeyboardStateToShiftState() {
  TShiftState s;
  if (GetKeyState(VK_SHIFT) < 0) s.Include(ssShift);
  if (GetKeyState(VK_CONTROL) < 0) s.Include(ssCtrl);
  if (GetKeyState(VK_MENU) < 0) s.Include(ssAlt);
  if (GetKeyState(VK_LBUTTON) < 0) s.Include(ssLeft);
  if (GetKeyState(VK_RBUTTON) < 0) s.Include(ssRight);
  if (GetKeyState(VK_MBUTTON) < 0) s.Include(ssMiddle);
  return s;
}

TShiftState KeyDataToShiftState(LPARAM KeyData) {
  TShiftState s;
  if (GetKeyState(VK_SHIFT) < 0) s.Include(ssShift);
  if (GetKeyState(VK_CONTROL) < 0) s.Include(ssCtrl);
  if (KeyData & KF_ALTDOWN_BIT) s.Include(ssAlt);
  return s;
}

bool IsAccel(WORD VK, const std::string& Text) {
  for (size_t i = 0; i + 1 < Text.size(); ++i) {
    if (Text[i] != '&') continue;
    if (Text[i + 1] == '&') {
      ++i;
      continue;
    }
    return std::toupper(static_cast<unsigned char>(Text[i + 1])) == std::toupper(int(VK & 0xFF));
  }
  return false;
}

std::string StripHotkey(const std::string& Text) {
  std::string out;
  for (size_t i = 0; i < Text.size(); ++i) {
    if (Text[i] == '&' && i + 1 < Text.size()) ++i;
    out += Text[i];
  }
  return out;
}

void Frame3D(TCanvas* Canvas, TRect& Rect, TColor TopColor, TColor BottomColor, int Width) {
  auto doRect = [&] {
    const TRect r = Rect;
    Canvas->Pen()->SetColor(TopColor);
    Canvas->Polyline({TPoint{r.left, r.bottom - 1}, TPoint{r.left, r.top}, TPoint{r.right - 1, r.top}});
    Canvas->Pen()->SetColor(BottomColor);
    Canvas->Polyline({TPoint{r.right - 1, r.top}, TPoint{r.right - 1, r.bottom - 1}, TPoint{r.left - 1, r.bottom - 1}});
  };
  Canvas->Pen()->SetWidth(1);
  Canvas->Pen()->SetStyle(psSolid);
  for (int i = 0; i < Width; ++i) {
    doRect();
    InflateRect(&Rect, -1, -1);
  }
}

TWinControl* FindControl(HWND Handle) {
  if (!Handle || !IsWindow(Handle)) return nullptr;
  return reinterpret_cast<TWinControl*>(GetWindowLongPtr(Handle, GWLP_USERDATA));
}

TControl* GetCaptureControl() { return g_capture; }
void SetCaptureControl(TControl* Control) { g_capture = Control; }
TWinControl* FocusedControl() { return g_focus; }

TCustomForm* GetParentForm(TControl* Control) {
  for (TControl* c = Control; c; c = c->Parent())
    if (auto* f = As<TCustomForm>(c)) return f;
  return nullptr;
}

namespace vx::vcl {

TWinControl* FocusTarget(TWinControl* Control) {
  // Each step goes one level into the control, so the walk ends.
  for (TWinControl* inner; Control && (inner = Control->InnerFocusControl()) && inner != Control &&
                           Control->ContainsControl(inner) && inner->CanFocus();)
    Control = inner;
  return Control;
}

void SetSystemFocus(TWinControl* Control) {
  Control = FocusTarget(Control);
  if (g_focus == Control) return;
  TWinControl* old = g_focus;
  g_focus = Control;
  if (old) old->Perform(WM_KILLFOCUS, WPARAM(Control ? Control->Handle() : nullptr), 0);
  if (Control && g_focus == Control) Control->Perform(WM_SETFOCUS, WPARAM(old ? old->Handle() : nullptr), 0);
}

void DropSystemFocus(TControl* Control) {
  if (g_focus && (g_focus == Control || (Control && Control->InheritsFrom(TWinControl::StaticClass()) &&
                                         static_cast<TWinControl*>(Control)->ContainsControl(g_focus))))
    g_focus = nullptr;
}

bool HoldsFocus(const TWinControl* Control) { return Control && Control->ContainsControl(g_focus); }

}  // namespace vx::vcl

// ---- TControl ----

TControl::TControl(TComponent* AOwner) : TComponent(AOwner), font_(std::make_unique<TFont>()) {
  EnsureWindowServices();
  TInputRouter::Register(this);
  if (AOwner && AOwner->ComponentState().Contains(csLoading)) IncludeState(csLoading);
  font_->OnChange = TNotifyEvent(this, &TControl::FontObjectChanged);
}

TControl::~TControl() {
  Destroying();
  actionLink_.reset();
  if (g_capture == this) g_capture = nullptr;
  vx::vcl::DropSystemFocus(this);
  TInputRouter::Forget(this);
  if (parent_) parent_->RemoveControl(this);
  if (popupMenu_) popupMenu_->RemoveFreeNotification(this);
}

void TControl::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation != TOperation::opRemove) return;
  if (AComponent == popupMenu_) popupMenu_ = nullptr;
  if (actionLink_ && AComponent == actionLink_->Action()) actionLink_.reset();
}

TBasicAction* TControl::Action() const { return actionLink_ ? actionLink_->Action() : nullptr; }

TClass TControl::GetActionLinkClass() const { return TControlActionLink::StaticClass(); }

void TControl::SetAction(TBasicAction* Value) {
  if (!Value) {
    if (TBasicAction* old = Action()) old->RemoveFreeNotification(this);
    actionLink_.reset();
    return;
  }
  if (!actionLink_) {
    TObject* made = GetActionLinkClass()->Create(nullptr);
    auto* link = As<TControlActionLink>(made);
    if (!link) {
      delete made;
      throw EInvalidCast("Invalid class typecast");
    }
    actionLink_.reset(link);
    actionLink_->Attach(this);
    actionLink_->OnChange = TNotifyEvent(this, &TControl::DoActionChange);
  }
  actionLink_->SetAction(Value);
  ActionChange(Value, Value->ComponentState().Contains(csLoading));
  Value->FreeNotification(this);
}

void TControl::DoActionChange(TObject* Sender) {
  if (actionLink_ && Sender == actionLink_->Action()) ActionChange(Sender, false);
}

void TControl::ActionChange(TObject* Sender, bool CheckDefaults) {
  auto* action = As<TCustomAction>(Sender);
  if (!action) return;
  if (!CheckDefaults || Caption().empty()) SetCaption(action->Caption());
  if (!CheckDefaults || Enabled()) SetEnabled(action->Enabled());
  if (!CheckDefaults || Hint().empty()) SetHint(action->Hint());
  if (!CheckDefaults || Visible()) SetVisible(action->Visible());
  if (!CheckDefaults || !OnClick) OnClick = action->OnExecute;
}

// ---- TControlActionLink ----

void TControlActionLink::AssignClient(TObject* AClient) {
  client_ = As<TControl>(AClient);
  if (!client_) throw EInvalidCast("Invalid class typecast");
}

bool TControlActionLink::IsCaptionLinked() {
  auto* a = As<TCustomAction>(action_);
  return TActionLink::IsCaptionLinked() && a && client_->Caption() == a->Caption();
}

bool TControlActionLink::IsEnabledLinked() {
  auto* a = As<TCustomAction>(action_);
  return TActionLink::IsEnabledLinked() && a && client_->Enabled() == a->Enabled();
}

bool TControlActionLink::IsHintLinked() {
  auto* a = As<TCustomAction>(action_);
  return TActionLink::IsHintLinked() && a && client_->Hint() == a->Hint();
}

bool TControlActionLink::IsVisibleLinked() {
  auto* a = As<TCustomAction>(action_);
  return TActionLink::IsVisibleLinked() && a && client_->Visible() == a->Visible();
}

bool TControlActionLink::IsOnExecuteLinked() { return action_ && client_->OnClick == action_->OnExecute; }

void TControlActionLink::SetCaption(const std::string& Value) {
  if (IsCaptionLinked()) client_->SetCaption(Value);
}

void TControlActionLink::SetEnabled(bool Value) {
  if (IsEnabledLinked()) client_->SetEnabled(Value);
}

void TControlActionLink::SetHint(const std::string& Value) {
  if (IsHintLinked()) client_->SetHint(Value);
}

void TControlActionLink::SetVisible(bool Value) {
  if (IsVisibleLinked()) client_->SetVisible(Value);
}

void TControlActionLink::SetOnExecute(TNotifyEvent Value) {
  if (IsOnExecuteLinked()) client_->OnClick = Value;
}

void TWinControlActionLink::AssignClient(TObject* AClient) {
  TControlActionLink::AssignClient(AClient);
  if (!::Is<TWinControl>(AClient)) throw EInvalidCast("Invalid class typecast");
}

void TControl::SetParent(TWinControl* AParent) {
  if (AParent == parent_) return;
  if (AParent == this) throw EInvalidOperation("A control cannot have itself as its parent");
  if (parent_) parent_->RemoveControl(this);
  if (AParent) AParent->InsertControl(this);
}

void TControl::Loaded() {
  TComponent::Loaded();
  if (parent_) {
    if (parentColor_) Perform(CM_PARENTCOLORCHANGED, 0, 0);
    if (parentFont_) Perform(CM_PARENTFONTCHANGED, 0, 0);
  }
  RequestAlign();
}

void TControl::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
  if (ALeft == left_ && ATop == top_ && AWidth == width_ && AHeight == height_) return;
  UpdateBounds(ALeft, ATop, AWidth, AHeight);
  RequestAlign();
}

void TControl::UpdateBounds(int ALeft, int ATop, int AWidth, int AHeight) {
  if (ALeft == left_ && ATop == top_ && AWidth == width_ && AHeight == height_) return;
  const bool resized = AWidth != width_ || AHeight != height_;
  Invalidate();
  left_ = ALeft;
  top_ = ATop;
  width_ = AWidth;
  height_ = AHeight;
  Invalidate();
  NoteAnchorBase();
  Perform(WM_WINDOWPOSCHANGED, 0, 0);
  if (resized && !ComponentState().Contains(csLoading)) Resize();
}

void TControl::NoteAnchorBase() {
  if (!parent_) return;
  anchorBase_ = SIZE{parent_->width_, parent_->height_};
  anchorPlace_ = BoundsRect();
}

TRect TControl::ClientRect() const { return TRect{0, 0, width_, height_}; }

void TControl::SetClientWidth(int Value) { SetWidth(Value + (width_ - ClientWidth())); }
void TControl::SetClientHeight(int Value) { SetHeight(Value + (height_ - ClientHeight())); }
void TControl::SetClientSize(int AWidth, int AHeight) {
  SetBounds(left_, top_, AWidth + (width_ - ClientWidth()), AHeight + (height_ - ClientHeight()));
}

TPoint TControl::ClientOrigin() const {
  if (!parent_) return TPoint{left_, top_};
  TPoint p = parent_->ClientOrigin();
  return TPoint{p.x + left_, p.y + top_};
}

TPoint TControl::ClientToScreen(const TPoint& Point) const {
  TPoint o = ClientOrigin();
  return TPoint{Point.x + o.x, Point.y + o.y};
}

TPoint TControl::ScreenToClient(const TPoint& Point) const {
  TPoint o = ClientOrigin();
  return TPoint{Point.x - o.x, Point.y - o.y};
}

TPoint TControl::ClientToParent(const TPoint& Point, TWinControl* AParent) const {
  if (!AParent) AParent = parent_;
  TPoint p = Point;
  for (const TControl* c = this; c != AParent; c = c->parent_) {
    if (!c || !c->parent_) throw EInvalidOperation("Control '" + Name() + "' has no parent window");
    p.x += c->left_;
    p.y += c->top_;
  }
  return p;
}

TCustomForm* TControl::TopForm() const {
  const TControl* c = this;
  while (c->parent_) c = c->parent_;
  return As<TCustomForm>(const_cast<TControl*>(c));
}

bool TControl::RectInForm(TRect& R) const {
  int x = 0, y = 0;
  const TControl* c = this;
  while (c->parent_) {
    x += c->left_;
    y += c->top_;
    c = c->parent_;
  }
  if (!::Is<TCustomForm>(c)) return false;
  if (c == this) {
    R = ClientRect();
    return true;
  }
  R = TRect{x, y, x + width_, y + height_};
  return true;
}

void TControl::SetAlign(TAlign Value) {
  const bool was = align_ != alNone;
  SetAndNotify(align_, Value, [&] {
    if (parent_ && (was || Value != alNone) && !ComponentState().Contains(csLoading)) parent_->AlignChildren(this);
  });
}

void TControl::RequestAlign() {
  if (parent_ && align_ != alNone && !ComponentState().Contains(csLoading)) parent_->AlignChildren(this);
}

void TControl::SetVisible(bool Value) {
  if (visible_ == Value) return;
  VisibleChanging();
  if (!Value) Invalidate();
  visible_ = Value;
  Perform(CM_VISIBLECHANGED, WPARAM(Value), 0);
  RequestAlign();
}

void TControl::Show() {
  if (parent_) parent_->Show();
  if (!ComponentState().Contains(csDesigning) || ControlStyle().Contains(csNoDesignVisible)) SetVisible(true);
}

bool TControl::Showing() const { return visible_ && parent_ && parent_->Showing(); }

void TControl::SetEnabled(bool Value) {
  SetAndNotify(enabled_, Value, [this] { Perform(CM_ENABLEDCHANGED, 0, 0); });
}

void TControl::SetText(const std::string& Value) {
  SetAndNotify(text_, Value, [this] { Perform(CM_TEXTCHANGED, 0, 0); });
}

void TControl::SetColor(TColor Value) {
  SetAndNotify(color_, Value, [this] {
    parentColor_ = false;
    Perform(CM_COLORCHANGED, 0, 0);
  });
}

void TControl::SetParentColor(bool Value) { SetParentFlag(parentColor_, Value, CM_PARENTCOLORCHANGED); }

void TControl::SetParentFlag(bool& Flag, bool Value, UINT Notification) {
  SetAndNotify(Flag, Value, [&] {
    if (Flag && parent_) Perform(Notification, 0, 0);
  });
}

void TControl::SetFont(TFont* Value) { font_->Assign(Value); }

void TControl::SetParentFont(bool Value) { SetParentFlag(parentFont_, Value, CM_PARENTFONTCHANGED); }

void TControl::FontObjectChanged(TObject* Sender) {
  if (!applyingParentFont_) parentFont_ = false;
  FontChanged(Sender);
}

void TControl::FontChanged(TObject*) { Perform(CM_FONTCHANGED, 0, 0); }

void TControl::SetCursor(TCursor Value) {
  SetAndNotify(cursor_, Value, [this] { Perform(CM_CURSORCHANGED, 0, 0); });
}

void TControl::SetShowHint(bool Value) {
  SetAndNotify(showHint_, Value, [this] {
    parentShowHint_ = false;
    Perform(CM_SHOWHINTCHANGED, 0, 0);
  });
}

void TControl::SetParentShowHint(bool Value) { SetParentFlag(parentShowHint_, Value, CM_PARENTSHOWHINTCHANGED); }

void TControl::SetPopupMenu(TPopupMenu* Value) {
  if (popupMenu_ == Value) return;
  if (popupMenu_) popupMenu_->RemoveFreeNotification(this);
  popupMenu_ = Value;
  if (popupMenu_) popupMenu_->FreeNotification(this);
}

void TControl::Invalidate() {
  if (!visible_ && !ComponentState().Contains(csDesigning)) return;
  InvalidateRect(ClientRect());
}

void TControl::InvalidateRect(const TRect& R) {
  if (ComponentState().Contains(csDestroying)) return;
  TCustomForm* form = TopForm();
  if (!form || !form->Showing()) return;
  TRect in;
  if (!RectInForm(in)) return;
  TRect r = R;
  if (form != this) OffsetRect(&r, in.left, in.top);
  form->InvalidateFormRect(r);
}

void TControl::Update() {
  if (TCustomForm* form = TopForm()) form->PaintNow();
}

void TControl::Repaint() {
  Invalidate();
  Update();
}

void TControl::BringToFront() { SetZOrder(true); }
void TControl::SendToBack() { SetZOrder(false); }

void TControl::SetZOrder(bool TopMost) {
  if (!parent_) {
    if (auto* form = As<TCustomForm>(this); form && TopMost) form->BringFormToFront();
    return;
  }
  TWinControl* p = parent_;
  if (auto* w = As<TWinControl>(this)) {
    RemoveFrom(p->winControls_, w);
    p->winControls_.insert(TopMost ? p->winControls_.end() : p->winControls_.begin(), w);
  } else {
    RemoveFrom(p->controls_, this);
    p->controls_.insert(TopMost ? p->controls_.end() : p->controls_.begin(), this);
  }
  Invalidate();
}

LRESULT TControl::Perform(UINT Msg, WPARAM WParam, LPARAM LParam) {
  TMessage m;
  m.Msg = Msg;
  m.WParam = WParam;
  m.LParam = LParam;
  WndProc(m);
  return m.Result;
}

void TControl::WndProc(TMessage& Message) {
  if (Message.Msg >= WM_MOUSEFIRST && Message.Msg <= WM_MOUSELAST) {
    // A control without double clicks sees a second press.
    if (!controlStyle_.Contains(csDoubleClicks) &&
        (Message.Msg == WM_LBUTTONDBLCLK || Message.Msg == WM_RBUTTONDBLCLK || Message.Msg == WM_MBUTTONDBLCLK))
      Message.Msg -= WM_LBUTTONDBLCLK - WM_LBUTTONDOWN;
  }
  Dispatch(Message);
}

void TControl::Dispatch(TMessage& Message) {
  switch (Message.Msg) {
    case WM_LBUTTONDOWN: WMLButtonDown(Message); return;
    case WM_LBUTTONUP: WMLButtonUp(Message); return;
    case WM_LBUTTONDBLCLK: WMLButtonDblClk(Message); return;
    case WM_RBUTTONDOWN: WMRButtonDown(Message); return;
    case WM_RBUTTONUP: WMRButtonUp(Message); return;
    case WM_MBUTTONDOWN: WMMButtonDown(Message); return;
    case WM_MBUTTONUP: WMMButtonUp(Message); return;
    case WM_MOUSEMOVE: WMMouseMove(Message); return;
    case CM_MOUSEENTER: CMMouseEnter(Message); return;
    case CM_MOUSELEAVE: CMMouseLeave(Message); return;
    case CM_ENABLEDCHANGED: CMEnabledChanged(Message); return;
    case CM_VISIBLECHANGED: CMVisibleChanged(Message); return;
    case CM_FONTCHANGED: CMFontChanged(Message); return;
    case CM_COLORCHANGED: CMColorChanged(Message); return;
    case CM_TEXTCHANGED: CMTextChanged(Message); return;
    case CM_PARENTFONTCHANGED: CMParentFontChanged(Message); return;
    case CM_PARENTCOLORCHANGED: CMParentColorChanged(Message); return;
    case CM_PARENTSHOWHINTCHANGED: CMParentShowHintChanged(Message); return;
    case CM_HITTEST: CMHitTest(Message); return;
    default: break;
  }
  DefaultHandler(Message);
}

void TControl::DefaultHandler(TMessage& Message) {
  switch (Message.Msg) {
    case WM_GETTEXTLENGTH: Message.Result = LRESULT(text_.size()); break;
    case WM_SETTEXT:
      SetText(Message.LParam ? reinterpret_cast<const char*>(Message.LParam) : "");
      Message.Result = 1;
      break;
    default: break;
  }
}

void TControl::DoMouseDown(TMessage& Message, TMouseButton Button, TShiftState Shift) {
  if (!controlStyle_.Contains(csNoStdEvents)) {
    const TPoint p = SmallPointToPoint(Message.LParam);
    MouseDown(Button, KeysToShiftState(Message.WParam) + Shift, p.x, p.y);
  }
}

void TControl::DoMouseUp(TMessage& Message, TMouseButton Button) {
  if (!controlStyle_.Contains(csNoStdEvents)) {
    const TPoint p = SmallPointToPoint(Message.LParam);
    MouseUp(Button, KeysToShiftState(Message.WParam), p.x, p.y);
  }
}

void TControl::SendCancelMode(TControl* Sender) {
  if (g_capture && g_capture != this && g_capture != Sender) g_capture->Perform(CM_CANCELMODE, 0, 0);
}

void TControl::WMLButtonDown(TMessage& Message) {
  SendCancelMode(this);
  if (controlStyle_.Contains(csCaptureMouse)) SetMouseCapture(true);
  if (controlStyle_.Contains(csClickEvents)) controlState_.Include(csClicked);
  DoMouseDown(Message, mbLeft, {});
}

void TControl::WMLButtonDblClk(TMessage& Message) {
  SendCancelMode(this);
  if (controlStyle_.Contains(csCaptureMouse)) SetMouseCapture(true);
  if (controlStyle_.Contains(csClickEvents)) DblClick();
  DoMouseDown(Message, mbLeft, {ssDouble});
}

void TControl::WMLButtonUp(TMessage& Message) {
  if (controlStyle_.Contains(csCaptureMouse)) SetMouseCapture(false);
  if (controlState_.Contains(csClicked)) {
    controlState_.Exclude(csClicked);
    const TPoint p = SmallPointToPoint(Message.LParam);
    const TRect r = ClientRect();
    if (PtInRect(&r, p)) Click();
  }
  DoMouseUp(Message, mbLeft);
}

void TControl::WMRButtonDown(TMessage& Message) { DoMouseDown(Message, mbRight, {}); }

void TControl::WMRButtonUp(TMessage& Message) {
  DoMouseUp(Message, mbRight);
  if (ComponentState().Contains(csDestroying)) return;
  bool handled = false;
  const TPoint p = SmallPointToPoint(Message.LParam);
  DoContextPopup(p, handled);
}

void TControl::WMMButtonDown(TMessage& Message) { DoMouseDown(Message, mbMiddle, {}); }
void TControl::WMMButtonUp(TMessage& Message) { DoMouseUp(Message, mbMiddle); }

void TControl::WMMouseMove(TMessage& Message) {
  if (!controlStyle_.Contains(csNoStdEvents)) {
    const TPoint p = SmallPointToPoint(Message.LParam);
    MouseMove(KeysToShiftState(Message.WParam), p.x, p.y);
  }
}

void TControl::DoContextPopup(TPoint MousePos, bool& Handled) {
  OnContextPopup(this, MousePos, Handled);
  if (Handled) return;
  // The nearest popup menu up the parents.
  for (TControl* c = this; c; c = c->Parent()) {
    if (TPopupMenu* menu = c->PopupMenu()) {
      if (menu->AutoPopup()) {
        const TPoint s = ClientToScreen(MousePos);
        menu->SetPopupComponent(this);
        menu->Popup(s.x, s.y);
        Handled = true;
      }
      return;
    }
  }
}

void TControl::CMMouseEnter(TMessage& Message) {
  mouseInside_ = true;
  OnMouseEnter(this);
}

void TControl::CMMouseLeave(TMessage& Message) {
  mouseInside_ = false;
  OnMouseLeave(this);
}

void TControl::CMEnabledChanged(TMessage&) { Invalidate(); }

void TControl::CMVisibleChanged(TMessage&) { Invalidate(); }

void TControl::CMFontChanged(TMessage&) { Invalidate(); }

void TControl::CMColorChanged(TMessage&) { Invalidate(); }

void TControl::CMTextChanged(TMessage&) { Invalidate(); }

void TControl::CMParentFontChanged(TMessage& Message) {
  if (!parentFont_ || !parent_) return;
  applyingParentFont_ = true;
  try {
    font_->Assign(Message.WParam ? reinterpret_cast<TFont*>(Message.LParam) : parent_->Font());
  } catch (...) {
    applyingParentFont_ = false;
    throw;
  }
  applyingParentFont_ = false;
  parentFont_ = true;
}

void TControl::CMParentColorChanged(TMessage& Message) {
  if (!parentColor_ || !parent_) return;
  const TColor c = Message.WParam ? TColor(Message.LParam) : parent_->Color();
  if (c != color_) {
    color_ = c;
    Perform(CM_COLORCHANGED, 0, 0);
  }
}

void TControl::CMParentShowHintChanged(TMessage&) {
  if (parentShowHint_ && parent_) {
    showHint_ = parent_->ShowHint();
    parentShowHint_ = true;
  }
}

void TControl::CMHitTest(TMessage& Message) { Message.Result = 1; }

void TControl::Click() {
  // A handler of its own runs instead of the action; otherwise the action runs.
  if (OnClick && actionLink_ && actionLink_->Action() && !(OnClick == actionLink_->Action()->OnExecute)) {
    OnClick(this);
  } else if (!ComponentState().Contains(csDesigning) && actionLink_ && actionLink_->Action()) {
    actionLink_->Execute(this);
  } else {
    OnClick(this);
  }
}
void TControl::DblClick() { OnDblClick(this); }
void TControl::Resize() { OnResize(this); }

void TControl::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) { OnMouseDown(this, Button, Shift, X, Y); }
void TControl::MouseMove(TShiftState Shift, int X, int Y) { OnMouseMove(this, Shift, X, Y); }
void TControl::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) { OnMouseUp(this, Button, Shift, X, Y); }

bool TControl::MouseCapture() const { return g_capture == this; }

void TControl::SetMouseCapture(bool Value) {
  if (Value)
    g_capture = this;
  else if (g_capture == this)
    g_capture = nullptr;
}

// ---- TControlCanvas ----

TControlCanvas::~TControlCanvas() { FreeHandle(); }

void TControlCanvas::SetControl(TControl* Value) {
  if (control_ == Value) return;
  FreeHandle();
  control_ = Value;
}

void TControlCanvas::FreeHandle() {
  if (!dc_) return;
  HDC dc = dc_;
  dc_ = nullptr;
  SetHandle(nullptr);
  auto& list = CanvasesWithDC();
  list.erase(std::remove(list.begin(), list.end(), this), list.end());
  ReleaseDC(nullptr, dc);
}

void TControlCanvas::CreateHandle() {
  if (!control_) return;
  WindowSurface ws;
  if (!ControlSurface(control_, ws)) {
    // Not on the screen: draw into nothing rather than fail.
    ws.surface = Surface::Create(1, 1, 32, false);
    ws.visible = TRect{0, 0, 0, 0};
  } else if (TCustomForm* f = control_->TopForm()) {
    f->MarkPresent(ws.visible);
  }
  HWND hwnd = nullptr;
  if (auto* w = As<TWinControl>(control_)) hwnd = w->Handle();
  dc_ = vx::gdi::CreateSurfaceDC(ws, hwnd);
  CanvasesWithDC().push_back(this);
  SetHandle(dc_);
}

void FreeDeviceContexts() {
  auto& list = CanvasesWithDC();
  while (!list.empty()) {
    TControlCanvas* c = list.back();
    if (c->TryLock()) {
      c->FreeHandle();
      c->Unlock();
    } else {
      list.pop_back();  // in use on another thread: it lets go itself
    }
  }
}

TScratchCanvas::TScratchCanvas() : dc_(CreateCompatibleDC(nullptr)) { SetHandle(dc_); }

TScratchCanvas::~TScratchCanvas() {
  SetHandle(nullptr);
  DeleteDC(dc_);
}

// ---- TGraphicControl ----

TGraphicControl::TGraphicControl(TComponent* AOwner)
    : TControl(AOwner), canvas_(std::make_unique<TControlCanvas>()) {
  canvas_->SetControl(this);
}

TGraphicControl::~TGraphicControl() {
  Destroying();
  canvas_->FreeHandle();
}

void TGraphicControl::Dispatch(TMessage& Message) {
  if (Message.Msg == WM_PAINT) {
    WMPaint(Message);
    return;
  }
  TControl::Dispatch(Message);
}

void TGraphicControl::WMPaint(TMessage& Message) {
  if (Message.WParam) canvas_->PaintOn(reinterpret_cast<HDC>(Message.WParam), [this] { Paint(); });
}

// ---- TWinControl ----

TWinControl::TWinControl(TComponent* AOwner) : TControl(AOwner), brush_(std::make_unique<TBrush>()) {
  brush_->SetColor(Color());
}

TWinControl::~TWinControl() {
  Destroying();
  if (TCustomForm* form = GetParentForm(this); form && form != this) form->DefocusControl(this, true);
  vx::vcl::DropSystemFocus(this);
  // Children still here go with their parent, as their owner may be this control's
  // owner, destroyed after this part of the control is gone.
  while (!winControls_.empty() || !controls_.empty()) {
    TControl* c = !winControls_.empty() ? winControls_.back() : controls_.back();
    RemoveControl(c);
    delete c;
  }
  DestroyHandle();
  if (region_) DeleteObject(region_);
}

TControl* TWinControl::Controls(int Index) const {
  const int n = int(controls_.size());
  if (Index < 0 || Index >= ControlCount()) throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
  return Index < n ? controls_[size_t(Index)] : winControls_[size_t(Index - n)];
}

void TWinControl::InsertControl(TControl* AControl) {
  AControl->SetParentLink(this);
  if (auto* w = As<TWinControl>(AControl)) {
    winControls_.push_back(w);
    tabList_.push_back(w);
  } else {
    controls_.push_back(AControl);
  }
  if (AControl->ParentColor()) AControl->Perform(CM_PARENTCOLORCHANGED, 0, 0);
  if (AControl->ParentFont()) AControl->Perform(CM_PARENTFONTCHANGED, 0, 0);
  if (AControl->ParentShowHint()) AControl->Perform(CM_PARENTSHOWHINTCHANGED, 0, 0);
  AControl->Invalidate();
  AlignChildren(AControl);
  Perform(CM_CONTROLLISTCHANGE, WPARAM(AControl), 1);
}

void TWinControl::RemoveControl(TControl* AControl) {
  if (AControl->parent_ != this) return;
  Perform(CM_CONTROLLISTCHANGE, WPARAM(AControl), 0);
  AControl->Invalidate();
  if (!ComponentState().Contains(csDestroying)) {
    if (auto* w = As<TWinControl>(AControl))
      if (TCustomForm* form = GetParentForm(this)) form->DefocusControl(w, true);
  }
  vx::vcl::DropSystemFocus(AControl);
  // By address: a control leaving in its destructor no longer knows its own class.
  RemoveFrom(controls_, AControl);
  winControls_.erase(std::remove(winControls_.begin(), winControls_.end(), AControl), winControls_.end());
  tabList_.erase(std::remove(tabList_.begin(), tabList_.end(), AControl), tabList_.end());
  AControl->SetParentLink(nullptr);
  if (!ComponentState().Contains(csDestroying)) AlignChildren(nullptr);
}

bool TWinControl::ContainsControl(const TControl* Control) const {
  for (const TControl* c = Control; c; c = c->Parent())
    if (c == this) return true;
  return false;
}

TControl* TWinControl::ControlAtPos(const TPoint& Pos, bool AllowDisabled, bool AllowWinControls) const {
  auto hit = [&](TControl* c) {
    if (!c->Visible() && !c->ComponentState().Contains(csDesigning)) return false;
    if (!AllowDisabled && !c->Enabled()) return false;
    const TRect r = c->BoundsRect();
    if (!PtInRect(&r, Pos)) return false;
    const TPoint local{Pos.x - c->Left(), Pos.y - c->Top()};
    return c->Perform(CM_HITTEST, 0, PointToLParam(local)) != 0;
  };
  if (AllowWinControls)
    for (auto it = winControls_.rbegin(); it != winControls_.rend(); ++it)
      if (hit(*it)) return *it;
  for (auto it = controls_.rbegin(); it != controls_.rend(); ++it)
    if (hit(*it)) return *it;
  return nullptr;
}

void TWinControl::Broadcast(TMessage& Message) {
  // A copy: handlers may change the list.
  std::vector<TControl*> all(controls_.begin(), controls_.end());
  all.insert(all.end(), winControls_.begin(), winControls_.end());
  for (TControl* c : all) {
    if (c->Parent() != this) continue;
    c->WndProc(Message);
    if (Message.Result != 0) return;
  }
}

void TWinControl::NotifyControls(UINT Msg) {
  TMessage m;
  m.Msg = Msg;
  std::vector<TControl*> all(controls_.begin(), controls_.end());
  all.insert(all.end(), winControls_.begin(), winControls_.end());
  for (TControl* c : all)
    if (c->Parent() == this) c->WndProc(m);
}

HWND TWinControl::Handle() {
  if (!handle_) {
    if (ComponentState().Contains(csDestroying)) return nullptr;
    TCreateParams p;
    CreateParams(p);
    params_ = p;
    paramsRead_ = true;
    handle_ = CreateWindowEx(p.ExStyle, kWindowClass, p.Caption.c_str(), p.Style, p.X, p.Y, p.Width, p.Height,
                             nullptr, nullptr, nullptr, nullptr);
    if (!handle_) throw EOutOfResources("Error creating window");
    SetWindowLongPtr(handle_, GWLP_USERDATA, LONG_PTR(this));
  }
  return handle_;
}

void TWinControl::DestroyHandle() {
  if (!handle_) return;
  HWND h = handle_;
  handle_ = nullptr;
  SetWindowLongPtr(h, GWLP_USERDATA, 0);
  ::DestroyWindow(h);
}

void TWinControl::CreateParams(TCreateParams& Params) {
  Params.Caption = Text();
  Params.Style = WS_CHILD | WS_CLIPSIBLINGS;
  if (Visible()) Params.Style |= WS_VISIBLE;
  if (!Enabled()) Params.Style |= WS_DISABLED;
  if (tabStop_) Params.Style |= WS_TABSTOP;
  Params.X = left_;
  Params.Y = top_;
  Params.Width = width_;
  Params.Height = height_;
}

void TWinControl::RecreateWnd() {
  paramsRead_ = false;
  Invalidate();
}

DWORD TWinControl::ExStyle() {
  if (!paramsRead_) {
    TCreateParams p;
    CreateParams(p);
    params_ = p;
    paramsRead_ = true;
  }
  return params_.ExStyle;
}

void TWinControl::SetWindowRegion(HRGN Region) {
  if (region_) DeleteObject(region_);
  region_ = Region;
  Invalidate();
}

LRESULT TWinControl::MainWndProc(UINT Msg, WPARAM WParam, LPARAM LParam) {
  try {
    if (TInputRouter::Route(this, Msg, WParam, LParam)) return 0;
    return Perform(Msg, WParam, LParam);
  } catch (...) {
    Application->HandleException(this);
  }
  return 0;
}

void TWinControl::SetTabStop(bool Value) {
  SetAndNotify(tabStop_, Value, [this] {
    paramsRead_ = false;
    Perform(CM_TABSTOPCHANGED, 0, 0);
  });
}

TTabOrder TWinControl::TabOrder() const {
  if (!Parent()) return -1;
  const auto& list = Parent()->tabList_;
  auto it = std::find(list.begin(), list.end(), this);
  return it == list.end() ? -1 : TTabOrder(it - list.begin());
}

void TWinControl::SetTabOrder(TTabOrder Value) {
  if (!Parent()) return;
  auto& list = Parent()->tabList_;
  auto it = std::find(list.begin(), list.end(), this);
  if (it == list.end()) return;
  list.erase(it);
  if (Value < 0) Value = 0;
  if (size_t(Value) > list.size()) Value = TTabOrder(list.size());
  list.insert(list.begin() + Value, this);
}

bool TWinControl::CanFocus() const {
  TCustomForm* form = GetParentForm(const_cast<TWinControl*>(this));
  if (!form) return false;
  for (const TControl* c = this; c && c != form; c = c->Parent())
    if (!c->Visible() || !c->Enabled()) return false;
  return true;
}

void TWinControl::SetFocus() {
  TCustomForm* form = GetParentForm(this);
  if (form) {
    form->FocusControl(this);
  } else if (Parent()) {
    throw EInvalidOperation("Cannot focus a disabled or invisible window");
  }
}

bool TWinControl::Focused() const {
  return g_focus && (g_focus == this || vx::vcl::FocusTarget(const_cast<TWinControl*>(this)) == g_focus);
}

void TWinControl::GetTabOrderList(std::vector<TWinControl*>& List) {
  for (TWinControl* c : tabList_) {
    List.push_back(c);
    c->GetTabOrderList(List);
  }
}

TWinControl* TWinControl::FindNextControl(TWinControl* CurControl, bool GoForward, bool CheckTabStop,
                                          bool CheckParent) {
  std::vector<TWinControl*> list;
  GetTabOrderList(list);
  if (list.empty()) return nullptr;
  int start = -1;
  if (CurControl) {
    auto it = std::find(list.begin(), list.end(), CurControl);
    if (it != list.end()) start = int(it - list.begin());
  }
  if (start < 0) start = GoForward ? int(list.size()) - 1 : 0;
  const int n = int(list.size());
  int i = start;
  for (int step = 0; step < n; ++step) {
    i = GoForward ? (i + 1) % n : (i - 1 + n) % n;
    TWinControl* c = list[size_t(i)];
    if (c == CurControl) break;
    // A composite whose inner window is the current control would give it the focus
    // back: passed over.
    if (c->CanFocus() && (!CheckTabStop || c->TabStop()) && (!CheckParent || c->Parent() == this) &&
        !(CurControl && vx::vcl::FocusTarget(c) == CurControl))
      return c;
  }
  return nullptr;
}

void TWinControl::SelectNext(TWinControl* CurControl, bool GoForward, bool CheckTabStop) {
  TWinControl* next = FindNextControl(CurControl, GoForward, CheckTabStop, !CheckTabStop);
  if (next) next->SetFocus();
}

void TWinControl::SelectFirst() {
  TCustomForm* form = GetParentForm(this);
  if (!form) return;
  TWinControl* c = form->FindNextControl(nullptr, true, true, false);
  if (!c) c = form->FindNextControl(nullptr, true, false, false);
  if (c) c->SetFocus();
}

void TWinControl::SetBorderWidth(TBorderWidth Value) {
  SetAndNotify(borderWidth_, Value, [this] {
    Realign();
    Invalidate();
  });
}

void TWinControl::EnableAlign() {
  if (--alignDisabled_ <= 0) {
    alignDisabled_ = 0;
    if (ControlState().Contains(csAlignmentNeeded)) Realign();
  }
}

void TWinControl::Realign() { AlignChildren(nullptr); }

void TWinControl::AdjustClientRect(TRect& Rect) { InflateRect(&Rect, -borderWidth_, -borderWidth_); }

void TWinControl::AlignChildren(TControl* AControl) {
  if (alignDisabled_ > 0 || ComponentState().Contains(csLoading) || ComponentState().Contains(csDestroying)) {
    SetControlState(ControlState() + TControlState{csAlignmentNeeded});
    return;
  }
  if (aligning_) return;
  aligning_ = true;
  SetControlState(ControlState() - TControlState{csAlignmentNeeded});
  try {
    TRect r = ClientRect();
    AdjustClientRect(r);
    AlignControls(AControl, r);
  } catch (...) {
    aligning_ = false;
    throw;
  }
  aligning_ = false;
}

void TWinControl::AlignControls(TControl* AControl, TRect& Rect) {
  static const TAlign order[] = {alTop, alBottom, alLeft, alRight, alClient};
  std::vector<TControl*> all(controls_.begin(), controls_.end());
  all.insert(all.end(), winControls_.begin(), winControls_.end());
  for (TAlign a : order) {
    std::vector<TControl*> list;
    for (TControl* c : all)
      if (c->Align() == a && (c->Visible() || c->ComponentState().Contains(csDesigning))) list.push_back(c);
    auto before = [a](TControl* c1, TControl* c2) {
      switch (a) {
        case alTop: return c1->Top() < c2->Top();
        case alBottom: return c1->Top() + c1->Height() > c2->Top() + c2->Height();
        case alLeft: return c1->Left() < c2->Left();
        case alRight: return c1->Left() + c1->Width() > c2->Left() + c2->Width();
        default: return false;
      }
    };
    std::stable_sort(list.begin(), list.end(), before);
    for (TControl* c : list) {
      const int w = c->Width(), h = c->Height();
      const int rw = std::max(0, int(Rect.right - Rect.left)), rh = std::max(0, int(Rect.bottom - Rect.top));
      switch (a) {
        case alTop:
          c->UpdateBounds(Rect.left, Rect.top, rw, h);
          Rect.top += h;
          break;
        case alBottom:
          c->UpdateBounds(Rect.left, Rect.bottom - h, rw, h);
          Rect.bottom -= h;
          break;
        case alLeft:
          c->UpdateBounds(Rect.left, Rect.top, w, rh);
          Rect.left += w;
          break;
        case alRight:
          c->UpdateBounds(Rect.right - w, Rect.top, w, rh);
          Rect.right -= w;
          break;
        case alClient: c->UpdateBounds(Rect.left, Rect.top, rw, rh); break;
        default: break;
      }
    }
  }
}

namespace {

// One axis of an anchored control placed at At with Size against a parent extent From,
// for the extent To: each edge anchored keeps its distance, and a control anchored to
// neither keeps its middle's share of the parent.
void AnchorAxis(bool Near, bool Far, int From, int To, int& At, int& Size) {
  if (Near && Far)
    Size = std::max(0, Size + To - From);
  else if (Far)
    At += To - From;
  else if (!Near)
    At = From > 0 ? MulDiv(At + Size / 2, To, From) - Size / 2 : At + (To - From) / 2;
}

}  // namespace

void TWinControl::AnchorChildren() {
  if (ComponentState().Contains(csLoading)) return;
  std::vector<TControl*> all(controls_.begin(), controls_.end());
  all.insert(all.end(), winControls_.begin(), winControls_.end());
  for (TControl* c : all) {
    if (c->Align() != alNone) {
      c->NoteAnchorBase();  // placed by the alignment, not by its anchors
      continue;
    }
    const SIZE base = c->anchorBase_;
    // Taken from the place the control was given, not from its last one, so that the
    // parent sized back puts it back.
    const TRect place = c->anchorPlace_;
    const TAnchors an = c->Anchors();
    int l = place.left, t = place.top, w = place.right - place.left, h = place.bottom - place.top;
    AnchorAxis(an.Contains(akLeft), an.Contains(akRight), base.cx, width_, l, w);
    AnchorAxis(an.Contains(akTop), an.Contains(akBottom), base.cy, height_, t, h);
    c->UpdateBounds(l, t, w, h);
    // Unless the control placed itself anew meanwhile, it stays placed where it was.
    if (c->BoundsRect() == Bounds(l, t, w, h)) {
      c->anchorBase_ = base;
      c->anchorPlace_ = place;
    }
  }
}

void TWinControl::UpdateBounds(int ALeft, int ATop, int AWidth, int AHeight) {
  if (ALeft == left_ && ATop == top_ && AWidth == width_ && AHeight == height_) return;
  const bool resized = AWidth != width_ || AHeight != height_;
  Invalidate();
  left_ = ALeft;
  top_ = ATop;
  width_ = AWidth;
  height_ = AHeight;
  Invalidate();
  Perform(WM_WINDOWPOSCHANGED, 0, 0);
  NoteAnchorBase();
  if (resized) {
    AnchorChildren();
    Perform(WM_SIZE, SIZE_RESTORED, MAKELPARAM(WORD(ClientWidth()), WORD(ClientHeight())));
  }
}

void TWinControl::WMSize(TMessage&) {
  Realign();
  if (!ComponentState().Contains(csLoading)) Resize();
}

TClass TWinControl::GetActionLinkClass() const { return TWinControlActionLink::StaticClass(); }

void TWinControl::Loaded() {
  TControl::Loaded();
  AnchorChildren();
  Realign();
}

void TWinControl::Invalidate() { TControl::Invalidate(); }

void TWinControl::PaintControls(HDC DC, TControl* First) {
  auto it = controls_.begin();
  if (First) {
    it = std::find(controls_.begin(), controls_.end(), First);
    if (it == controls_.end()) it = controls_.begin();
  }
  // A copy: painting may change the list.
  std::vector<TControl*> list(it, controls_.end());
  for (TControl* c : list) {
    if (c->Parent() != this) continue;
    if (!c->Visible() && !c->ComponentState().Contains(csDesigning)) continue;
    const TRect r = c->BoundsRect();
    if (!RectVisible(DC, &r)) continue;
    const int saved = SaveDC(DC);
    OffsetWindowOrgEx(DC, -c->Left(), -c->Top(), nullptr);
    IntersectClipRect(DC, 0, 0, c->Width(), c->Height());
    try {
      c->Perform(WM_PAINT, WPARAM(DC), 0);
    } catch (...) {
      RestoreDC(DC, saved);
      throw;
    }
    RestoreDC(DC, saved);
  }
}

void TWinControl::PaintHandler(TMessage& Message) {
  HDC dc = reinterpret_cast<HDC>(Message.WParam);
  if (!dc) return;
  PaintWindow(dc);
  PaintControls(dc, nullptr);
}

void TWinControl::PaintTo(HDC DC, int X, int Y) {
  const int saved = SaveDC(DC);
  OffsetWindowOrgEx(DC, -X, -Y, nullptr);
  IntersectClipRect(DC, 0, 0, width_, height_);
  Perform(WM_ERASEBKGND, WPARAM(DC), 0);
  Perform(WM_PAINT, WPARAM(DC), 0);
  for (TWinControl* c : std::vector<TWinControl*>(winControls_))
    if (c->Visible()) c->PaintTo(DC, c->Left(), c->Top());
  RestoreDC(DC, saved);
}

void TWinControl::PaintTree(const std::shared_ptr<Surface>& Buffer, TPoint Offset, const TRect& Clip) {
  const TRect client = ClientRect();
  TRect own{Offset.x, Offset.y, Offset.x + client.right, Offset.y + client.bottom};
  TRect vis;
  if (!IntersectRect(&vis, &own, &Clip)) return;
  WindowSurface ws;
  ws.surface = Buffer;
  ws.origin = Offset;
  ws.visible = vis;
  HDC dc = vx::gdi::CreateSurfaceDC(ws, handle_);
  if (region_) SelectClipRgn(dc, region_);
  try {
    Perform(WM_ERASEBKGND, WPARAM(dc), 0);
    Perform(WM_PAINT, WPARAM(dc), 0);
  } catch (...) {
    ReleaseDC(nullptr, dc);
    Application->HandleException(this);
    dc = nullptr;
  }
  if (dc) ReleaseDC(nullptr, dc);
  for (TWinControl* c : std::vector<TWinControl*>(winControls_)) {
    if (c->Parent() != this || !c->Visible()) continue;
    c->PaintTree(Buffer, TPoint{Offset.x + c->Left(), Offset.y + c->Top()}, vis);
  }
}

void TWinControl::Dispatch(TMessage& Message) {
  switch (Message.Msg) {
    case WM_PAINT: WMPaint(Message); return;
    case WM_ERASEBKGND: WMEraseBkgnd(Message); return;
    case WM_SETFOCUS: WMSetFocus(Message); return;
    case WM_KILLFOCUS: WMKillFocus(Message); return;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN: WMKeyDown(Message); return;
    case WM_KEYUP:
    case WM_SYSKEYUP: WMKeyUp(Message); return;
    case WM_CHAR: WMChar(Message); return;
    case WM_SIZE: WMSize(Message); return;
    case CN_KEYDOWN:
    case CN_SYSKEYDOWN: CNKeyDown(Message); return;
    case CN_KEYUP: CNKeyUp(Message); return;
    case CN_CHAR:
    case CN_SYSCHAR: CNChar(Message); return;
    case CM_DIALOGKEY: CMDialogKey(Message); return;
    case CM_DIALOGCHAR: CMDialogChar(Message); return;
    case CM_FOCUSCHANGED: CMFocusChanged(Message); return;
    case CM_ENTER: CMEnter(Message); return;
    case CM_EXIT: CMExit(Message); return;
    case CM_ENABLEDCHANGED: CMEnabledChanged(Message); return;
    case CM_VISIBLECHANGED: CMVisibleChanged(Message); return;
    case CM_COLORCHANGED: CMColorChanged(Message); return;
    case CM_FONTCHANGED: CMFontChanged(Message); return;
    case CM_SHOWHINTCHANGED: CMShowHintChanged(Message); return;
    default: break;
  }
  TControl::Dispatch(Message);
}

void TWinControl::DefaultHandler(TMessage& Message) {
  switch (Message.Msg) {
    case WM_GETDLGCODE: Message.Result = 0; return;
    default: break;
  }
  TControl::DefaultHandler(Message);
}

void TWinControl::WMPaint(TMessage& Message) { PaintHandler(Message); }

void TWinControl::WMEraseBkgnd(TMessage& Message) {
  HDC dc = reinterpret_cast<HDC>(Message.WParam);
  if (dc) {
    brush_->SetColor(Color());
    const TRect r = ClientRect();
    FillRect(dc, &r, brush_->Handle());
  }
  Message.Result = 1;
}

void TWinControl::WMSetFocus(TMessage&) {
  if (TCustomForm* form = GetParentForm(this)) form->SetFocusedControl(this);
}

void TWinControl::WMKillFocus(TMessage&) {}

void TWinControl::CMEnabledChanged(TMessage& Message) {
  if (!Enabled()) {
    if (TCustomForm* form = GetParentForm(this); form && vx::vcl::HoldsFocus(this))
      form->DefocusControl(this, false);
  }
  paramsRead_ = false;
  TControl::CMEnabledChanged(Message);
}

void TWinControl::CMVisibleChanged(TMessage& Message) {
  if (!Visible()) {
    if (TCustomForm* form = GetParentForm(this); form && form != this && vx::vcl::HoldsFocus(this))
      form->DefocusControl(this, false);
  }
  paramsRead_ = false;
  TControl::CMVisibleChanged(Message);
}

void TWinControl::CMColorChanged(TMessage& Message) {
  brush_->SetColor(Color());
  NotifyControls(CM_PARENTCOLORCHANGED);
  TControl::CMColorChanged(Message);
}

void TWinControl::CMFontChanged(TMessage& Message) {
  NotifyControls(CM_PARENTFONTCHANGED);
  TControl::CMFontChanged(Message);
}

void TWinControl::CMShowHintChanged(TMessage&) { NotifyControls(CM_PARENTSHOWHINTCHANGED); }

void TWinControl::DoEnter() { OnEnter(this); }
void TWinControl::DoExit() { OnExit(this); }
void TWinControl::KeyDown(WORD& Key, TShiftState Shift) { OnKeyDown(this, Key, Shift); }
void TWinControl::KeyUp(WORD& Key, TShiftState Shift) { OnKeyUp(this, Key, Shift); }
void TWinControl::KeyPress(char& Key) { OnKeyPress(this, Key); }

bool TWinControl::DoKeyDown(TMessage& Message) { return DoKey(Message, &TWinControl::KeyDown); }
bool TWinControl::DoKeyUp(TMessage& Message) { return DoKey(Message, &TWinControl::KeyUp); }

// A key goes to the form first when it previews keys, then to the control; either
// may swallow it by clearing it.
bool TWinControl::DoKey(TMessage& Message, void (TWinControl::*Handler)(WORD&, TShiftState)) {
  WORD key = WORD(Message.WParam);
  const TShiftState shift = KeyDataToShiftState(Message.LParam);
  TCustomForm* form = GetParentForm(this);
  if (form && form != this && form->KeyPreview()) {
    (static_cast<TWinControl*>(form)->*Handler)(key, shift);
    if (key == 0) return true;
  }
  if (!ControlStyle().Contains(csNoStdEvents)) {
    (this->*Handler)(key, shift);
    if (key == 0) return true;
  }
  Message.WParam = key;
  return false;
}

bool TWinControl::DoKeyPress(TMessage& Message) {
  // Characters beyond ASCII reach the control without the key press events, whose
  // character is a single byte.
  if (Message.WParam >= 0x80) return false;
  char ch = char(Message.WParam);
  TCustomForm* form = GetParentForm(this);
  if (form && form != this && form->KeyPreview()) {
    static_cast<TWinControl*>(form)->KeyPress(ch);
    if (ch == 0) return true;
  }
  if (!ControlStyle().Contains(csNoStdEvents)) {
    KeyPress(ch);
    if (ch == 0) return true;
  }
  Message.WParam = WPARAM(static_cast<unsigned char>(ch));
  return false;
}

bool TWinControl::IsMenuKey(TMessage& Message) {
  for (TControl* c = this; c; c = c->Parent())
    if (TPopupMenu* menu = c->PopupMenu(); menu && menu->IsShortCut(Message)) return true;
  TCustomForm* form = GetParentForm(this);
  return form && form->IsShortCut(Message);
}

void TWinControl::WMKeyDown(TMessage& Message) {
  if (!DoKeyDown(Message)) DefaultHandler(Message);
}

void TWinControl::WMKeyUp(TMessage& Message) {
  if (!DoKeyUp(Message)) DefaultHandler(Message);
}

void TWinControl::WMChar(TMessage& Message) {
  if (!DoKeyPress(Message)) DefaultHandler(Message);
}

void TWinControl::CNKeyDown(TMessage& Message) {
  Message.Result = 1;
  if (IsMenuKey(Message)) return;
  if (!ComponentState().Contains(csDesigning)) {
    if (Perform(CM_CHILDKEY, Message.WParam, LPARAM(this)) != 0) return;
    LRESULT mask = 0;
    switch (Message.WParam) {
      case VK_TAB: mask = DLGC_WANTTAB; break;
      case VK_LEFT:
      case VK_RIGHT:
      case VK_UP:
      case VK_DOWN: mask = DLGC_WANTARROWS; break;
      case VK_RETURN:
      case VK_EXECUTE:
      case VK_ESCAPE:
      case VK_CANCEL: mask = DLGC_WANTALLKEYS; break;
      default: break;
    }
    if (mask != 0 && Perform(CM_WANTSPECIALKEY, Message.WParam, 0) == 0 && (Perform(WM_GETDLGCODE, 0, 0) & mask) == 0) {
      if (TCustomForm* form = GetParentForm(this);
          form && form->Perform(CM_DIALOGKEY, Message.WParam, Message.LParam) != 0)
        return;
    }
  }
  Message.Result = 0;
}

void TWinControl::CNKeyUp(TMessage& Message) { Message.Result = 0; }

void TWinControl::CNChar(TMessage& Message) {
  Message.Result = 1;
  if (!ComponentState().Contains(csDesigning)) {
    const bool sys = Message.Msg == CN_SYSCHAR;
    if ((sys || (Perform(WM_GETDLGCODE, 0, 0) & DLGC_WANTCHARS) == 0)) {
      if (TCustomForm* form = GetParentForm(this);
          form && form->Perform(CM_DIALOGCHAR, Message.WParam, Message.LParam) != 0)
        return;
    }
    if (sys) return;
  }
  Message.Result = 0;
}

// ---- TCustomControl ----

TCustomControl::TCustomControl(TComponent* AOwner)
    : TWinControl(AOwner), canvas_(std::make_unique<TControlCanvas>()) {
  canvas_->SetControl(this);
}

TCustomControl::~TCustomControl() {
  Destroying();
  canvas_->FreeHandle();
}

void TCustomControl::PaintWindow(HDC DC) {
  canvas_->PaintOn(DC, [this] { Paint(); });
}
