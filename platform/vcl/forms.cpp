#include "platform/vcl/forms.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <unordered_set>

#include "platform/gdi/dib.h"
#include "platform/rtl/sysutils.h"
#include "platform/vcl/dialogs.h"
#include "platform/vcl/internal/focus.h"
#include "platform/vcl/internal/input.h"
#include "platform/vcl/menus.h"
#include "platform/win/clock.h"

using vx::gdi::Surface;

namespace {

void WriteToStderr(const std::string& Text, const std::string& Caption) {
  std::fprintf(stderr, "%s: %s\n", Caption.c_str(), Text.c_str());
  std::fflush(stderr);
}

// The screen first: the application's forms leave the screen's lists as they go.
std::unique_ptr<TScreen> g_screen = std::make_unique<TScreen>(nullptr);
std::unique_ptr<TApplication> g_application = std::make_unique<TApplication>(nullptr);

bool Empty(const TRect& r) { return r.right <= r.left || r.bottom <= r.top; }

void Unite(TRect& into, const TRect& r) {
  if (Empty(r)) return;
  if (Empty(into))
    into = r;
  else
    UnionRect(&into, &into, &r);
}

}  // namespace

TScreen* Screen = g_screen.get();
TApplication* Application = g_application.get();

// ---- TCustomForm ----

TCustomForm::TCustomForm(TComponent* AOwner)
    : TWinControl(AOwner), canvas_(std::make_unique<TControlCanvas>()), icon_(std::make_unique<TIcon>()) {
  canvas_->SetControl(this);
  SetControlStyle({csAcceptsControls, csCaptureMouse, csClickEvents, csSetCaption, csDoubleClicks});
  left_ = 0;
  top_ = 0;
  width_ = 320;
  height_ = 240;
  SetVisible(false);
  SetColor(clBtnFace);
  SetParentFont(false);
  Screen->AddForm(this);
}

void TCustomForm::BeforeDestruction() {
  if (destroyNotified_) return;
  destroyNotified_ = true;
  if (Visible()) {
    try {
      Hide();
    } catch (...) {
      Application->HandleException(this);
    }
  }
  Destroying();
  DoDestroy();
}

TCustomForm::~TCustomForm() {
  if (!destroyNotified_) {
    // Deleted without BeforeDestruction: only this part of the form is left to run
    // OnDestroy with (handlers of other objects are fine).
    destroyNotified_ = true;
    if (Visible()) {
      SetVisible(false);
    }
    Destroying();
    DoDestroy();
  }
  if (shownToPresenter_ && Application->HasPresenter()) Application->Presenter()->WindowHidden(Handle());
  if (Application->MainForm() == this) Application->SetMainForm(nullptr);
  activeControl_ = nullptr;
  focusedControl_ = nullptr;
  if (vx::vcl::HoldsFocus(this)) vx::vcl::DropSystemFocus(this);
  Screen->RemoveForm(this);
  canvas_->FreeHandle();
}

void TCustomForm::DoCreate() {
  if (created_) return;
  created_ = true;
  try {
    OnCreate(this);
  } catch (...) {
    Application->HandleException(this);
  }
}

void TCustomForm::Loaded() {
  TWinControl::Loaded();
  DoCreate();
}

void TCustomForm::DoDestroy() {
  try {
    OnDestroy(this);
  } catch (...) {
    Application->HandleException(this);
  }
}

void TCustomForm::DoShow() { OnShow(this); }
void TCustomForm::DoHide() { OnHide(this); }
void TCustomForm::DoClose(TCloseAction& Action) { OnClose(this, Action); }
void TCustomForm::Activate() { OnActivate(this); }
void TCustomForm::Deactivate() { OnDeactivate(this); }
void TCustomForm::Paint() { OnPaint(this); }

void TCustomForm::PaintWindow(HDC DC) {
  canvas_->PaintOn(DC, [this] { Paint(); });
}

void TCustomForm::CreateParams(TCreateParams& Params) {
  TWinControl::CreateParams(Params);
  Params.Style &= ~WS_CHILD;
  if (formStyle_ == fsStayOnTop) Params.ExStyle |= WS_EX_TOPMOST;
}

TRect TCustomForm::NonClientInsets() const {
  int border = 0, caption = 0;
  switch (borderStyle_) {
    case bsNone: break;
    case bsSingle:
    case bsDialog:
      border = 3;
      caption = 19;
      break;
    case bsSizeable:
      border = 4;
      caption = 19;
      break;
    case bsToolWindow:
      border = 3;
      caption = 16;
      break;
    case bsSizeToolWin:
      border = 4;
      caption = 16;
      break;
  }
  return TRect{border, border + caption, border, border};
}

TRect TCustomForm::ClientRect() const {
  const TRect nc = NonClientInsets();
  return TRect{0, 0, std::max(0, width_ - nc.left - nc.right), std::max(0, height_ - nc.top - nc.bottom)};
}

TPoint TCustomForm::ClientOrigin() const {
  const TRect nc = NonClientInsets();
  return TPoint{left_ + nc.left, top_ + nc.top};
}

void TCustomForm::SetBorderStyle(TFormBorderStyle Value) {
  if (borderStyle_ == Value) return;
  // The client area keeps its size, as a border style is chosen for a given layout.
  const TRect client = ClientRect();
  borderStyle_ = Value;
  const TRect nc = NonClientInsets();
  UpdateBounds(left_, top_, client.right + nc.left + nc.right, client.bottom + nc.top + nc.bottom);
  TellPresenter();
}

void TCustomForm::SetFormStyle(TFormStyle Value) {
  if (formStyle_ == Value) return;
  formStyle_ = Value;
  RecreateWnd();
  TellPresenter();
}

void TCustomForm::UpdateBounds(int ALeft, int ATop, int AWidth, int AHeight) {
  const bool moved = ALeft != left_ || ATop != top_ || AWidth != width_ || AHeight != height_;
  TWinControl::UpdateBounds(ALeft, ATop, AWidth, AHeight);
  if (moved) TellPresenter();
}

std::shared_ptr<Surface> TCustomForm::BackBuffer() {
  const TRect client = ClientRect();
  if (client.right <= 0 || client.bottom <= 0) {
    buffer_.reset();
    return nullptr;
  }
  if (!buffer_ || buffer_->Width() != client.right || buffer_->Height() != client.bottom) {
    buffer_ = Surface::Create(client.right, client.bottom, 32, false);
    invalid_ = client;
  }
  return buffer_;
}

void TCustomForm::InvalidateFormRect(const TRect& R) {
  if (!Visible()) return;
  TRect r;
  const TRect client = ClientRect();
  if (!IntersectRect(&r, &R, &client)) return;
  Unite(invalid_, r);
}

void TCustomForm::MarkPresent(const TRect& R) { Unite(presentPending_, R); }

bool TCustomForm::PaintPending() const { return !Empty(invalid_) || !Empty(presentPending_); }

void TCustomForm::PaintNow() {
  if (painting_ || !Visible() || ComponentState().Contains(csDestroying)) return;
  auto buffer = BackBuffer();
  if (!buffer) return;
  painting_ = true;
  TRect done = presentPending_;
  presentPending_ = TRect{};
  // What painting itself marks is painted in a further pass; a control that marks
  // itself on every paint waits for the next round.
  for (int pass = 0; pass < 3 && !Empty(invalid_); ++pass) {
    const TRect r = invalid_;
    invalid_ = TRect{};
    PaintTree(buffer, TPoint{0, 0}, r);
    Unite(done, r);
  }
  painting_ = false;
  if (!Empty(done) && shownToPresenter_) Application->Presenter()->Present(Handle(), buffer, done);
}

TTopLevelWindow TCustomForm::Describe() {
  TTopLevelWindow w;
  w.Handle = Handle();
  w.Caption = Text();
  const TPoint o = ClientOrigin();
  const TRect c = ClientRect();
  w.Client = TRect{o.x, o.y, o.x + c.right, o.y + c.bottom};
  w.Framed = borderStyle_ != bsNone;
  w.Sizeable = borderStyle_ == bsSizeable || borderStyle_ == bsSizeToolWin;
  w.StayOnTop = formStyle_ == fsStayOnTop;
  w.Popup = popup_;
  w.Modal = formState_.Contains(fsModal);
  TCustomForm* owner = Screen->ModalForm();
  if (!owner || owner == this) owner = Application->MainForm();
  if (owner && owner != this && owner->Visible()) w.Owner = owner->Handle();
  return w;
}

void TCustomForm::TellPresenter() {
  if (!shownToPresenter_) return;
  auto buffer = BackBuffer();
  Application->Presenter()->WindowShown(Describe(), buffer);
  InvalidateFormRect(ClientRect());
}

void TCustomForm::PlaceOnScreen() {
  const SIZE screen = Application->Presenter()->ScreenSize();
  auto centreOn = [&](int x, int y, int w, int h) {
    UpdateBounds(x + (w - width_) / 2, y + (h - height_) / 2, width_, height_);
  };
  TCustomForm* other = nullptr;
  switch (position_) {
    case poScreenCenter:
    case poDesktopCenter: centreOn(0, 0, screen.cx, screen.cy); break;
    case poMainFormCenter: other = Application->MainForm(); break;
    case poOwnerFormCenter: other = As<TCustomForm>(Owner()); break;
    default: break;
  }
  if (position_ == poMainFormCenter || position_ == poOwnerFormCenter) {
    if (other && other != this && other->Visible())
      centreOn(other->Left(), other->Top(), other->Width(), other->Height());
    else
      centreOn(0, 0, screen.cx, screen.cy);
  }
  if (position_ != poDesigned && (left_ < 0 || top_ < 0))
    UpdateBounds(std::max(0, left_), std::max(0, top_), width_, height_);
}

void TCustomForm::Show() {
  SetVisible(true);
  BringFormToFront();
}

void TCustomForm::BringFormToFront() {
  if (!Visible() || popup_) return;
  if (Screen->AcceptsInput(this)) Screen->SetActiveForm(this);
}

void TCustomForm::CMVisibleChanged(TMessage& Message) {
  TWinControl::CMVisibleChanged(Message);
  if (Visible())
    ShowWindowNow();
  else
    HideWindowNow();
}

void TCustomForm::ShowWindowNow() {
  if (ComponentState().Contains(csDestroying) || shownToPresenter_) return;
  PlaceOnScreen();
  try {
    DoShow();
  } catch (...) {
    Application->HandleException(this);
  }
  if (!Visible()) return;  // OnShow hid it again
  if (!activeControl_) activeControl_ = FindNextControl(nullptr, true, true, false);
  Realign();
  if (BackBuffer()) invalid_ = ClientRect();
  Screen->zorder_.push_back(this);
  PaintNow();
  shownToPresenter_ = true;
  Application->Presenter()->WindowShown(Describe(), BackBuffer());
  presentPending_ = ClientRect();
  if (!popup_ && Screen->AcceptsInput(this)) Screen->SetActiveForm(this);
}

void TCustomForm::HideWindowNow() {
  try {
    DoHide();
  } catch (...) {
    Application->HandleException(this);
  }
  if (shownToPresenter_) {
    shownToPresenter_ = false;
    Application->Presenter()->WindowHidden(Handle());
  }
  TInputRouter::Forget(this);
  if (TControl* c = GetCaptureControl(); c && c->TopForm() == this) SetCaptureControl(nullptr);
  auto& z = Screen->zorder_;
  z.erase(std::remove(z.begin(), z.end(), this), z.end());
  invalid_ = TRect{};
  presentPending_ = TRect{};
  if (Screen->ActiveForm() == this) Screen->ActivateNext(this);
  if (vx::vcl::HoldsFocus(this)) vx::vcl::SetSystemFocus(nullptr);
}

void TCustomForm::CMTextChanged(TMessage& Message) {
  TellPresenter();
  TWinControl::CMTextChanged(Message);
}

bool TCustomForm::CloseQuery() {
  bool canClose = true;
  OnCloseQuery(this, canClose);
  return canClose;
}

void TCustomForm::Close() {
  if (formState_.Contains(fsModal)) {
    modalResult_ = mrCancel;
    return;
  }
  if (!CloseQuery()) return;
  TCloseAction action = caHide;
  DoClose(action);
  if (action == caNone) return;
  if (Application->MainForm() == this) {
    Application->Terminate();
  } else if (action == caHide) {
    Hide();
  } else if (action == caMinimize) {
    windowState_ = wsMinimized;
  } else {
    Release();
  }
}

void TCustomForm::Release() { PostMessage(Handle(), CM_RELEASE, 0, 0); }

void TCustomForm::CloseModal() {
  TCloseAction action = caNone;
  if (CloseQuery()) {
    action = caHide;
    DoClose(action);
  }
  if (action == caNone)
    modalResult_ = mrNone;
  else if (action == caFree)
    Release();
}

int TCustomForm::ShowModal() {
  if (Visible() || !Enabled() || formState_.Contains(fsModal) || formStyle_ == fsMDIChild)
    throw EInvalidOperation("Cannot make a visible window modal");
  SetCaptureControl(nullptr);
  formState_.Include(fsModal);
  Screen->modal_.push_back(this);
  const TCursor savedCursor = Screen->Cursor();
  Screen->SetCursor(crDefault);
  Application->ModalStarted();
  // The form may be freed by a handler while the loop runs (caFree is deferred, so
  // only a direct delete does it).
  TComponent* self = this;
  auto leaveModal = [&] {
    formState_.Exclude(fsModal);
    auto& m = Screen->modal_;
    m.erase(std::remove(m.begin(), m.end(), self), m.end());
  };
  auto restore = [&] {
    Screen->SetCursor(savedCursor);
    Application->ModalFinished();
  };
  int result = mrCancel;
  try {
    Show();
    modalResult_ = mrNone;
    do {
      try {
        Application->HandleMessage();
      } catch (...) {
        Application->HandleException(this);
      }
      if (Application->Terminated())
        modalResult_ = mrCancel;
      else if (modalResult_ != mrNone)
        CloseModal();
    } while (modalResult_ == mrNone);
    result = modalResult_;
    leaveModal();
    Hide();
  } catch (...) {
    leaveModal();
    restore();
    throw;
  }
  restore();
  return result;
}

void TCustomForm::SetFocus() {
  if (!active_) {
    if (!Visible() || !Enabled()) throw EInvalidOperation("Cannot focus a disabled or invisible window");
    Screen->SetActiveForm(this);
    if (Screen->ActiveForm() != this) return;
  }
  FocusActiveControl();
}

void TCustomForm::FocusActiveControl() {
  vx::vcl::SetSystemFocus(activeControl_ && activeControl_->CanFocus() ? activeControl_ : this);
}

void TCustomForm::SetActiveControl(TWinControl* Control) {
  if (activeControl_ == Control) return;
  const bool loading = ComponentState().Contains(csLoading);
  if (Control && !(Control != this && GetParentForm(Control) == this && (loading || Control->CanFocus())))
    throw EInvalidOperation("Cannot focus a disabled or invisible window");
  if (loading || !active_) {
    activeControl_ = Control;  // focused when the form is activated
    return;
  }
  // The active control of an active form is the control with the focus.
  activeControl_ = vx::vcl::FocusTarget(Control);
  vx::vcl::SetSystemFocus(Control ? Control : this);
}

void TCustomForm::FocusControl(TWinControl* Control) {
  const bool wasActive = active_;
  SetActiveControl(Control);
  if (!wasActive)
    SetFocus();
  else if (Control && FocusedControl() != Control)
    vx::vcl::SetSystemFocus(Control);
}

void TCustomForm::DefocusControl(TWinControl* Control, bool Removing) {
  if (ComponentState().Contains(csDestroying)) {
    if (Control->ContainsControl(activeControl_)) activeControl_ = nullptr;
    if (Control->ContainsControl(focusedControl_)) focusedControl_ = nullptr;
    return;
  }
  if (Removing && Control->ContainsControl(focusedControl_)) focusedControl_ = Control->Parent();
  if (Control->ContainsControl(activeControl_)) {
    activeControl_ = nullptr;
    if (active_ && vx::vcl::HoldsFocus(Control)) {
      if (Removing) vx::vcl::DropSystemFocus(Control);
      vx::vcl::SetSystemFocus(this);
    }
  }
}

bool TCustomForm::SetFocusedControl(TWinControl* Control) {
  if (ComponentState().Contains(csDestroying)) return false;
  if (focusedControl_ == Control) {
    Screen->SetActiveControl(Control);
    return false;
  }
  TWinControl* old = focusedControl_;
  focusedControl_ = Control;
  if (Control != this) activeControl_ = Control;
  // Exits: the old focus and its parents that do not hold the new one, deepest first.
  std::vector<TWinControl*> exits;
  for (TWinControl* c = old; c && c != this && !c->ContainsControl(Control); c = c->Parent()) exits.push_back(c);
  for (TWinControl* c : exits) {
    if (!TInputRouter::IsLive(c)) break;
    c->Perform(CM_EXIT, 0, 0);
    if (focusedControl_ != Control) return false;
  }
  // Enters: the new focus and its parents that did not hold the old one, outermost
  // first.
  std::vector<TWinControl*> enters;
  for (TWinControl* c = Control; c && c != this && !(old && c->ContainsControl(old)); c = c->Parent())
    enters.push_back(c);
  for (auto it = enters.rbegin(); it != enters.rend(); ++it) {
    if (!TInputRouter::IsLive(*it)) break;
    (*it)->Perform(CM_ENTER, 0, 0);
    if (focusedControl_ != Control) return false;
  }
  Screen->SetActiveControl(Control);
  Perform(CM_FOCUSCHANGED, 0, LPARAM(Control));
  return true;
}

bool TCustomForm::IsShortCut(TMessage&) { return false; }

void TCustomForm::Dispatch(TMessage& Message) {
  switch (Message.Msg) {
    case WM_CLOSE: WMClose(Message); return;
    case CM_RELEASE: CMRelease(Message); return;
    case CM_DIALOGKEY: CMDialogKey(Message); return;
    case CM_VISIBLECHANGED: CMVisibleChanged(Message); return;
    case CM_TEXTCHANGED: CMTextChanged(Message); return;
    case CM_ACTIVATE: Activate(); return;
    case CM_DEACTIVATE: Deactivate(); return;
    case WM_ACTIVATE:
      // The display gave the window the focus.
      if (LOWORD(Message.WParam) != WA_INACTIVE && Visible()) {
        if (Screen->AcceptsInput(this))
          BringFormToFront();
        else if (TCustomForm* modal = Screen->ModalForm(); modal && Application->HasPresenter())
          Application->Presenter()->WindowActivated(modal->Handle());
      }
      return;
    case WM_NEXTDLGCTL:
      // lParam set: wParam is the window to focus; else the next (wParam 0) or the
      // previous control in tab order.
      if (Message.LParam) {
        if (TWinControl* c = FindControl(reinterpret_cast<HWND>(Message.WParam)); c && c->CanFocus()) c->SetFocus();
      } else {
        SelectNext(activeControl_, Message.WParam == 0, true);
      }
      return;
    case VXM_CLIENTBOUNDS: {
      // The user moved or sized the window.
      const TRect nc = NonClientInsets();
      const int x = int16_t(LOWORD(Message.WParam)), y = int16_t(HIWORD(Message.WParam));
      UpdateBounds(x - nc.left, y - nc.top, LOWORD(Message.LParam) + nc.left + nc.right,
                   HIWORD(Message.LParam) + nc.top + nc.bottom);
      return;
    }
    default: break;
  }
  TWinControl::Dispatch(Message);
}

void TCustomForm::WMClose(TMessage&) { Close(); }

void TCustomForm::CMRelease(TMessage&) { Free(); }

void TCustomForm::CMDialogKey(TMessage& Message) {
  if (GetKeyState(VK_MENU) >= 0) {
    switch (Message.WParam) {
      case VK_TAB:
        if (GetKeyState(VK_CONTROL) >= 0) {
          SelectNext(activeControl_, GetKeyState(VK_SHIFT) >= 0, true);
          Message.Result = 1;
          return;
        }
        break;
      case VK_LEFT:
      case VK_RIGHT:
      case VK_UP:
      case VK_DOWN:
        if (activeControl_ && activeControl_->Parent()) {
          activeControl_->Parent()->SelectNext(activeControl_,
                                               Message.WParam == VK_RIGHT || Message.WParam == VK_DOWN, false);
          Message.Result = 1;
        }
        return;
      default: break;
    }
  }
  TWinControl::CMDialogKey(Message);
}

// ---- TFrame ----

TFrame::TFrame(TComponent* AOwner) : TCustomControl(AOwner) {
  SetControlStyle({csAcceptsControls, csCaptureMouse, csClickEvents, csSetCaption, csDoubleClicks});
  width_ = 320;
  height_ = 240;
}

// ---- TScreen ----

TScreen::TScreen(TComponent* AOwner) : TComponent(AOwner) {}
TScreen::~TScreen() = default;

TCustomForm* TScreen::Forms(int Index) const {
  if (Index < 0 || Index >= FormCount()) throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
  return forms_[size_t(Index)];
}

void TScreen::AddForm(TCustomForm* Form) { forms_.push_back(Form); }

void TScreen::RemoveForm(TCustomForm* Form) {
  forms_.erase(std::remove(forms_.begin(), forms_.end(), Form), forms_.end());
  zorder_.erase(std::remove(zorder_.begin(), zorder_.end(), Form), zorder_.end());
  modal_.erase(std::remove(modal_.begin(), modal_.end(), Form), modal_.end());
  if (activeForm_ == Form) {
    activeForm_ = nullptr;
    OnActiveFormChange(this);
  }
  if (activeControl_ && Form->ContainsControl(activeControl_)) activeControl_ = nullptr;
}

void TScreen::SetCursor(TCursor Value) {
  if (cursor_ == Value) return;
  cursor_ = Value;
  if (Application->HasPresenter())
    for (TCustomForm* f : zorder_) Application->Presenter()->SetCursor(f->Handle(), Value);
}

int TScreen::Width() const { return Application->Presenter()->ScreenSize().cx; }
int TScreen::Height() const { return Application->Presenter()->ScreenSize().cy; }

TCustomForm* TScreen::FindForm(const std::string& Name) const {
  TCustomForm* hidden = nullptr;
  for (TCustomForm* f : forms_) {
    if (SameText(f->Name(), Name) || SameText(f->ClassName(), Name)) {
      if (f->Visible()) return f;
      if (!hidden) hidden = f;
    }
  }
  return hidden;
}

bool TScreen::AcceptsInput(TCustomForm* Form) const {
  if (!Form->windowEnabled_) return false;
  if (Form->popup_ || modal_.empty()) return true;
  return Form == modal_.back();
}

void TScreen::SetActiveForm(TCustomForm* Form) {
  if (activeForm_ == Form) return;
  TCustomForm* old = activeForm_;
  activeForm_ = Form;
  if (old) {
    old->active_ = false;
    old->Perform(CM_DEACTIVATE, 0, 0);
  }
  if (Form && activeForm_ == Form) {
    zorder_.erase(std::remove(zorder_.begin(), zorder_.end(), Form), zorder_.end());
    zorder_.push_back(Form);
    Form->active_ = true;
    if (Application->HasPresenter()) Application->Presenter()->WindowActivated(Form->Handle());
    Form->FocusActiveControl();
    if (activeForm_ == Form) Form->Perform(CM_ACTIVATE, 0, 0);
  }
  OnActiveFormChange(this);
}

void TScreen::ActivateNext(TCustomForm* Except) {
  for (auto it = zorder_.rbegin(); it != zorder_.rend(); ++it) {
    TCustomForm* f = *it;
    if (f != Except && f->Visible() && !f->popup_ && AcceptsInput(f)) {
      SetActiveForm(f);
      return;
    }
  }
  SetActiveForm(nullptr);
}

void TScreen::SetActiveControl(TWinControl* Control) {
  if (activeControl_ == Control) return;
  activeControl_ = Control;
  OnActiveControlChange(this);
}

void TScreen::PaintPendingForms() {
  for (TCustomForm* f : std::vector<TCustomForm*>(forms_)) {
    if (std::find(forms_.begin(), forms_.end(), f) == forms_.end()) continue;
    if (f->Visible() && f->PaintPending()) f->PaintNow();
  }
}

std::vector<TCustomForm*> DisableTaskWindows(TCustomForm* Except) {
  std::vector<TCustomForm*> disabled;
  for (int i = 0; i < Screen->FormCount(); ++i) {
    TCustomForm* f = Screen->Forms(i);
    if (f != Except && f->Visible() && f->WindowEnabled()) {
      f->SetWindowEnabled(false);
      disabled.push_back(f);
    }
  }
  return disabled;
}

void EnableTaskWindows(const std::vector<TCustomForm*>& Windows) {
  for (int i = 0; i < Screen->FormCount(); ++i) {
    TCustomForm* f = Screen->Forms(i);
    if (std::find(Windows.begin(), Windows.end(), f) != Windows.end()) f->SetWindowEnabled(true);
  }
}

// ---- TApplication ----

TApplication::TApplication(TComponent* AOwner)
    : TComponent(AOwner), showException_(WriteToStderr), icon_(std::make_unique<TIcon>()) {}

TApplication::~TApplication() {
  Destroying();
  DestroyComponents();
  presenter_.reset();
}

std::string TApplication::ExeName() const { return exeName_.empty() ? ParamStr(0) : exeName_; }

std::string TApplication::Title() const {
  if (!title_.empty()) return title_;
  std::string name = ExeName();
  name = name.substr(name.find_last_of('/') + 1);
  const size_t dot = name.rfind('.');
  return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

void TApplication::SetMainForm(TCustomForm* Value) {
  if (mainForm_) mainForm_->RemoveFreeNotification(this);
  mainForm_ = Value;
  if (mainForm_) mainForm_->FreeNotification(this);
}

void TApplication::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation == TOperation::opRemove && AComponent == mainForm_) mainForm_ = nullptr;
}

void TApplication::FormCreated(TCustomForm* Form) {
  Form->DoCreate();
  if (!mainForm_) SetMainForm(Form);
}

TCustomForm* TApplication::CreateForm(TClass InstanceClass) {
  if (!InstanceClass || !InstanceClass->InheritsFrom(TCustomForm::StaticClass()))
    throw EInvalidOperation("Not a form class");
  TObject* made = InstanceClass->Create(this);
  auto* form = As<TCustomForm>(made);
  if (!form) {
    delete made;
    throw EInvalidOperation("Cannot create a form of class " + std::string(InstanceClass->name));
  }
  FormCreated(form);
  return form;
}

IPresenter* TApplication::Presenter() {
  if (!presenter_) presenter_ = vx::display::CreateDefaultPresenter();
  return presenter_.get();
}

bool TApplication::ProcessMessage(MSG& Msg) {
  if (!PeekMessage(&Msg, nullptr, 0, 0, PM_REMOVE)) return false;
  if (Msg.message == WM_QUIT) {
    terminated_ = true;
  } else {
    TranslateMessage(&Msg);
    DispatchMessage(&Msg);
  }
  return true;
}

void TApplication::ProcessMessages() {
  MSG msg;
  while (ProcessMessage(msg)) {
  }
  Screen->PaintPendingForms();
  FreeDeviceContexts();
  // A person's input also reaches a handler that keeps busy and pumps: the presenter
  // takes its turn (the next action of a headless script), and what that posted is
  // processed here.
  if (presenter_) {
    presenter_->Idle();
    while (ProcessMessage(msg)) {
    }
  }
}

void TApplication::HandleMessage() {
  MSG msg;
  if (!ProcessMessage(msg)) Idle();
}

void TApplication::Idle() {
  Screen->PaintPendingForms();
  FreeDeviceContexts();
  if (presenter_) presenter_->Idle();
  if (!terminated_) WaitMessage();
}

void TApplication::Run() {
  if (!mainForm_) return;
  if (showMainForm_) {
    try {
      mainForm_->Show();
    } catch (...) {
      HandleException(this);
    }
  }
  while (!terminated_) {
    try {
      HandleMessage();
    } catch (...) {
      HandleException(this);
    }
  }
}

void TApplication::Terminate() { PostQuitMessage(0); }

void TApplication::HandleException(TObject* Sender) {
  const std::exception_ptr current = std::current_exception();
  if (!current) return;
  auto report = [&](Exception* E) {
    if (!onException_) {
      ShowException(E);
      return;
    }
    try {
      onException_(Sender, E);
    } catch (const Exception& failed) {
      Exception copy(failed.Message());
      ShowException(&copy);
    } catch (...) {
      Exception unknown("Unknown exception");
      ShowException(&unknown);
    }
  };
  try {
    std::rethrow_exception(current);
  } catch (EAbort&) {
  } catch (Exception& e) {
    report(&e);
  } catch (std::exception& e) {
    Exception wrapped(e.what());
    report(&wrapped);
  } catch (...) {
    Exception unknown("Unknown exception");
    report(&unknown);
  }
}

void TApplication::ShowException(Exception* E) {
  std::string text = E ? E->Message() : std::string();
  if (!text.empty()) {
    const unsigned char last = static_cast<unsigned char>(text.back());
    if (last > '.' && last != '>') text += '.';
  }
  if (showException_) showException_(text, Title());
}

int TApplication::MessageBox(const std::string& Text, const std::string& Caption, int Flags) {
  return ShowMessageBox(Text, Caption, UINT(Flags));
}

void TApplication::ModalStarted() {
  if (++modalLevel_ == 1) OnModalBegin(this);
}

void TApplication::ModalFinished() {
  if (modalLevel_ > 0 && --modalLevel_ == 0) OnModalEnd(this);
}

// ---- Input routing ----

namespace {

struct TRouterState {
  std::unordered_set<const TControl*> live;
  TControl* underMouse = nullptr;
  // The last button press, for double clicks.
  TControl* lastDownTarget = nullptr;
  UINT lastDownMsg = 0;
  int64_t lastDownTime = 0;
  TPoint lastDownPoint;
  TPoint lastScreenPoint;
};

TRouterState& State() {
  static TRouterState* s = new TRouterState();
  return *s;
}

// The deepest visible control at a point of the form (disabled ones included).
TControl* HitTest(TCustomForm* form, TPoint pt) {
  TWinControl* container = form;
  TPoint local = pt;
  for (;;) {
    TControl* c = container->ControlAtPos(local, true, true);
    if (!c) return container;
    local = TPoint{local.x - c->Left(), local.y - c->Top()};
    auto* w = As<TWinControl>(c);
    if (!w) return c;
    container = w;
  }
}

std::vector<TControl*> Chain(TControl* c) {
  std::vector<TControl*> v;
  for (; c; c = c->Parent()) v.push_back(c);
  return v;
}

void SetUnderMouse(TControl* now) {
  auto& st = State();
  TControl* old = st.underMouse;
  if (old == now) return;
  st.underMouse = now;
  const std::vector<TControl*> oldChain = Chain(old), newChain = Chain(now);
  auto in = [](const std::vector<TControl*>& v, TControl* c) { return std::find(v.begin(), v.end(), c) != v.end(); };
  for (TControl* c : oldChain) {
    if (in(newChain, c)) break;
    if (st.live.count(c)) c->Perform(CM_MOUSELEAVE, 0, LPARAM(old));
  }
  for (auto it = newChain.rbegin(); it != newChain.rend(); ++it) {
    if (in(oldChain, *it)) continue;
    if (st.live.count(*it) && st.underMouse == now) (*it)->Perform(CM_MOUSEENTER, 0, LPARAM(now));
  }
}

TCursor CursorAt(TControl* c) {
  if (Screen->Cursor() != crDefault) return Screen->Cursor();
  for (; c; c = c->Parent())
    if (c->Cursor() != crDefault) return c->Cursor();
  return crDefault;
}

bool IsButtonDown(UINT msg) { return msg == WM_LBUTTONDOWN || msg == WM_RBUTTONDOWN || msg == WM_MBUTTONDOWN; }

void RouteMouse(TCustomForm* form, UINT msg, WPARAM keys, TPoint pt) {
  auto& st = State();
  st.lastScreenPoint = form->ClientToScreen(pt);
  // A press outside an open popup menu closes the menu and goes no further.
  if (IsButtonDown(msg) && !form->IsPopupWindow() && vx::vcl::ClosePopupMenus()) return;
  if (!Screen->AcceptsInput(form)) return;
  TControl* hit = HitTest(form, pt);
  SetUnderMouse(hit);
  if (!st.live.count(form)) return;
  if (msg == WM_MOUSEMOVE && Application->HasPresenter())
    Application->Presenter()->SetCursor(form->Handle(), CursorAt(hit));
  if (IsButtonDown(msg) && !form->Active() && !form->IsPopupWindow()) {
    form->BringFormToFront();
    if (!st.live.count(form)) return;
  }
  TControl* target = GetCaptureControl();
  if (!target) {
    // Disabled controls take no input: it goes to the nearest enabled parent.
    target = hit;
    std::vector<TControl*> chain = Chain(hit);
    for (auto it = chain.rbegin(); it != chain.rend(); ++it)
      if (!(*it)->Enabled()) {
        target = (*it)->Parent();
        break;
      }
    if (!target) return;
  }
  if (IsButtonDown(msg)) {
    const int64_t now = Clock().Now();
    const int64_t limit = int64_t(GetDoubleClickTime()) * 1'000'000;
    const int slop = GetSystemMetrics(SM_CXDOUBLECLK) / 2;
    if (st.lastDownTarget == target && st.lastDownMsg == msg && now - st.lastDownTime <= limit &&
        std::abs(pt.x - st.lastDownPoint.x) <= slop && std::abs(pt.y - st.lastDownPoint.y) <= slop) {
      msg += WM_LBUTTONDBLCLK - WM_LBUTTONDOWN;
      st.lastDownTarget = nullptr;
    } else {
      st.lastDownTarget = target;
      st.lastDownMsg = msg;
      st.lastDownTime = now;
      st.lastDownPoint = pt;
    }
  }
  TRect r;
  if (!target->RectInForm(r)) return;
  const TPoint local{pt.x - r.left, pt.y - r.top};
  target->Perform(msg, keys, PointToLParam(local));
}

void TrackKeyState(UINT msg, WPARAM key) {
  if (msg == WM_KEYDOWN || msg == WM_SYSKEYDOWN)
    vx::vcl::SetKeyDown(WORD(key), true);
  else if (msg == WM_KEYUP || msg == WM_SYSKEYUP)
    vx::vcl::SetKeyDown(WORD(key), false);
}

void RouteKey(TWinControl* window, UINT msg, WPARAM w, LPARAM l) {
  TrackKeyState(msg, w);
  TCustomForm* form = window->TopForm();
  if (!form) return;
  if (vx::vcl::PopupMenuKey(msg, w)) return;
  if (!Screen->AcceptsInput(form)) return;
  TWinControl* target = window;
  if (form == window) {
    TWinControl* focus = FocusedControl();
    if (focus && focus->TopForm() == form)
      target = focus;
    else if (form->ActiveControl())
      target = form->ActiveControl();
  }
  auto& st = State();
  switch (msg) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
      if (target->Perform(msg == WM_KEYDOWN ? CN_KEYDOWN : CN_SYSKEYDOWN, w, l) == 0 && st.live.count(target))
        target->Perform(msg, w, l);
      break;
    case WM_KEYUP:
    case WM_SYSKEYUP:
      if (target->Perform(CN_KEYUP, w, l) == 0 && st.live.count(target)) target->Perform(msg, w, l);
      break;
    case WM_CHAR:
      if (target->Perform(CN_CHAR, w, l) == 0 && st.live.count(target)) target->Perform(WM_CHAR, w, l);
      break;
    case WM_SYSCHAR: target->Perform(CN_SYSCHAR, w, l); break;
    default: break;
  }
}

}  // namespace

void TInputRouter::Register(const TControl* Control) { State().live.insert(Control); }

bool TInputRouter::IsLive(const TControl* Control) { return Control && State().live.count(Control) != 0; }

void TInputRouter::Forget(TControl* Control) {
  auto& st = State();
  if (auto* w = As<TWinControl>(Control); w && st.underMouse && w->ContainsControl(st.underMouse)) {
    // The pointer is over something that goes away or hides: it is now over nothing.
    TControl* keep = nullptr;
    if (Control->ComponentState().Contains(csDestroying))
      st.underMouse = Control->Parent();
    else
      SetUnderMouse(keep);
  } else if (st.underMouse == Control) {
    st.underMouse = Control->Parent();
  }
  if (st.lastDownTarget == Control) st.lastDownTarget = nullptr;
  if (Control->ComponentState().Contains(csDestroying)) st.live.erase(Control);
}

void TInputRouter::MouseLeftScreen() { SetUnderMouse(nullptr); }

namespace vx::vcl {
TPoint LastMousePosition() { return State().lastScreenPoint; }
}  // namespace vx::vcl

bool TInputRouter::Route(TWinControl* Window, UINT Msg, WPARAM WParam, LPARAM LParam) {
  if (Msg >= WM_MOUSEFIRST && Msg <= WM_MOUSELAST) {
    if (Msg == WM_MOUSEWHEEL) {
      if (TWinControl* f = FocusedControl()) f->Perform(Msg, WParam, LParam);
      return true;
    }
    TCustomForm* form = Window->TopForm();
    TRect r;
    if (!form || !form->Visible() || !Window->RectInForm(r)) return true;
    const TPoint p = SmallPointToPoint(LParam);
    RouteMouse(form, Msg, WParam, TPoint{p.x + (Window == form ? 0 : r.left), p.y + (Window == form ? 0 : r.top)});
    return true;
  }
  switch (Msg) {
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_CHAR:
    case WM_SYSKEYDOWN:
    case WM_SYSKEYUP:
    case WM_SYSCHAR: RouteKey(Window, Msg, WParam, LParam); return true;
    case WM_MOUSELEAVE:
      if (TCustomForm* form = Window->TopForm(); form && State().underMouse && State().underMouse->TopForm() == form)
        SetUnderMouse(nullptr);
      return true;
    default: return false;
  }
}
