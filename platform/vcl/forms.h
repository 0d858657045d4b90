// Forms, the screen and the application object: top-level windows with their back
// buffers, showing, closing and modal loops, activation and focus; the screen's
// lists of forms and active controls; the main message loop, message processing,
// termination and the route of exceptions that leave message handlers.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/display/presenter.h"
#include "platform/rtl/classes.h"
#include "platform/rtl/events.h"
#include "platform/vcl/controls.h"
#include "platform/win/messages.h"

using TExceptionEvent = Event<TObject*, Exception*>;

// ---- Forms ----

enum TFormStyle { fsNormal, fsMDIChild, fsMDIForm, fsStayOnTop };
enum TPosition {
  poDesigned,
  poDefault,
  poDefaultPosOnly,
  poDefaultSizeOnly,
  poScreenCenter,
  poDesktopCenter,
  poMainFormCenter,
  poOwnerFormCenter
};
enum TBorderIcon { biSystemMenu, biMinimize, biMaximize, biHelp };
using TBorderIcons = TSet<TBorderIcon>;
enum TWindowState { wsNormal, wsMinimized, wsMaximized };
enum TCloseAction { caNone, caHide, caFree, caMinimize };
enum TFormStateItem { fsCreating, fsVisible, fsShowing, fsModal, fsCreatedMDIChild, fsActivated };
using TFormState = TSet<TFormStateItem>;

// Modal results; they equal the message box answers (mrOk = IDOK, ...).
using TModalResult = int;
constexpr TModalResult mrNone = 0;
constexpr TModalResult mrOk = IDOK;
constexpr TModalResult mrCancel = IDCANCEL;
constexpr TModalResult mrAbort = IDABORT;
constexpr TModalResult mrRetry = IDRETRY;
constexpr TModalResult mrIgnore = IDIGNORE;
constexpr TModalResult mrYes = IDYES;
constexpr TModalResult mrNo = IDNO;
constexpr TModalResult mrAll = mrNo + 1;
constexpr TModalResult mrNoToAll = mrAll + 1;
constexpr TModalResult mrYesToAll = mrNoToAll + 1;

using TCloseEvent = Event<TObject*, TCloseAction&>;
using TCloseQueryEvent = Event<TObject*, bool&>;

// A top-level window. Left/Top/Width/Height are the window's outer bounds on the
// screen; the client area lies inside the frame and title bar of its border style.
// Every control on the form paints into the form's back buffer, which the presenter
// shows. A form starts hidden.
class TCustomForm : public TWinControl {
  VX_CLASS(TCustomForm, TWinControl)

 public:
  explicit TCustomForm(TComponent* AOwner);
  ~TCustomForm() override;
  // Hides the form and runs OnDestroy while the whole form is alive.
  void BeforeDestruction() override;

  // --- showing and closing ---
  void Show();
  void Hide() { SetVisible(false); }
  // Asks OnCloseQuery, then OnClose decides: caHide hides, caFree releases, caNone
  // keeps the form. Closing the main form ends the application; closing a modal form
  // sets ModalResult to mrCancel.
  void Close();
  virtual bool CloseQuery();
  // Shows the form and processes messages until ModalResult is set (or the
  // application ends: mrCancel); then hides it and answers ModalResult. Other forms
  // take no input meanwhile. Raises EInvalidOperation for a visible or disabled form.
  virtual int ShowModal();
  // Deletes the form once the messages already queued are processed.
  void Release();
  bool Showing() const override { return Visible(); }
  // Activates the form and focuses its active control.
  void SetFocus() override;
  bool Active() const { return active_; }
  void BringFormToFront();
  // A disabled window (EnableWindow, DisableTaskWindows) takes no input.
  bool WindowEnabled() const { return windowEnabled_; }
  void SetWindowEnabled(bool Value) { windowEnabled_ = Value; }
  // A popup window (a menu): no frame, never active, other input closes it.
  bool IsPopupWindow() const { return popup_; }
  void SetPopupWindow(bool Value) { popup_ = Value; }

  TModalResult ModalResult() const { return modalResult_; }
  void SetModalResult(TModalResult Value) { modalResult_ = Value; }
  TFormState FormState() const { return formState_; }

  // --- focus ---
  TWinControl* ActiveControl() const { return activeControl_; }
  // Raises EInvalidOperation for a control of another form or one that cannot take
  // the focus (while the form is not loading).
  void SetActiveControl(TWinControl* Control);
  // The focus moved to Control: sends the exits and enters, sets the active control
  // and the screen's, and tells everyone. False when nothing changed.
  bool SetFocusedControl(TWinControl* Control);
  void FocusControl(TWinControl* Control);
  // Control is hidden, disabled or removed: the focus leaves it.
  void DefocusControl(TWinControl* Control, bool Removing);
  bool KeyPreview() const { return keyPreview_; }
  void SetKeyPreview(bool Value) { keyPreview_ = Value; }
  // Shortcuts of the form's menus (and OnShortCut).
  virtual bool IsShortCut(TMessage& Message);

  // --- look ---
  TFormBorderStyle BorderStyle() const { return borderStyle_; }
  void SetBorderStyle(TFormBorderStyle Value);
  TBorderIcons BorderIcons() const { return borderIcons_; }
  void SetBorderIcons(TBorderIcons Value) { borderIcons_ = Value; }
  TPosition Position() const { return position_; }
  void SetPosition(TPosition Value) { position_ = Value; }
  TFormStyle FormStyle() const { return formStyle_; }
  void SetFormStyle(TFormStyle Value);
  TWindowState WindowState() const { return windowState_; }
  void SetWindowState(TWindowState Value) { windowState_ = Value; }
  TCanvas* Canvas() const { return canvas_.get(); }
  TIcon* Icon() const { return icon_.get(); }
  int PixelsPerInch() const { return 96; }
  // Frame and title bar sizes of the border style.
  TRect NonClientInsets() const;
  TRect ClientRect() const override;
  TPoint ClientOrigin() const override;

  // --- the back buffer ---
  // Marks a rectangle of the client area for painting.
  void InvalidateFormRect(const TRect& R);
  // Paints what is marked and shows it; nothing while painting already.
  void PaintNow();
  bool PaintPending() const;
  // A rectangle drawn outside painting, to be shown.
  void MarkPresent(const TRect& R);
  // The client area's pixels (32 bits per pixel); null while the client area is empty.
  std::shared_ptr<vx::gdi::Surface> BackBuffer();

  TNotifyEvent OnCreate;
  TNotifyEvent OnDestroy;
  TNotifyEvent OnShow;
  TNotifyEvent OnHide;
  TNotifyEvent OnActivate;
  TNotifyEvent OnDeactivate;
  TNotifyEvent OnPaint;
  TCloseEvent OnClose;
  TCloseQueryEvent OnCloseQuery;

  // Runs OnCreate once (done by Loaded and by Application->CreateForm); an exception
  // goes to Application->HandleException and the form stays.
  void DoCreate();

 protected:
  void Loaded() override;
  virtual void DoDestroy();
  virtual void DoShow();
  virtual void DoHide();
  virtual void DoClose(TCloseAction& Action);
  virtual void Activate();
  virtual void Deactivate();
  virtual void Paint();
  void PaintWindow(HDC DC) override;
  void CreateParams(TCreateParams& Params) override;
  void UpdateBounds(int ALeft, int ATop, int AWidth, int AHeight) override;
  void Dispatch(TMessage& Message) override;

  void WMClose(TMessage& Message);
  void CMRelease(TMessage& Message);
  void CMDialogKey(TMessage& Message);
  void CMVisibleChanged(TMessage& Message);
  void CMTextChanged(TMessage& Message);

  friend class TInputRouter;
  friend class TScreen;
  friend class TApplication;

 private:
  void ShowWindowNow();
  void HideWindowNow();
  // The form is active: the focus goes to its active control, or to the form itself
  // when that cannot take it.
  void FocusActiveControl();
  void PlaceOnScreen();
  void CloseModal();
  TTopLevelWindow Describe();
  void TellPresenter();

  TModalResult modalResult_ = mrNone;
  TFormState formState_;
  TWinControl* activeControl_ = nullptr;
  TWinControl* focusedControl_ = nullptr;
  bool active_ = false;
  bool keyPreview_ = false;
  bool created_ = false;
  bool windowEnabled_ = true;
  bool painting_ = false;
  bool shownToPresenter_ = false;
  bool destroyNotified_ = false;
  bool popup_ = false;
  TFormBorderStyle borderStyle_ = bsSizeable;
  TBorderIcons borderIcons_{biSystemMenu, biMinimize, biMaximize};
  TPosition position_ = poDefaultPosOnly;
  TFormStyle formStyle_ = fsNormal;
  TWindowState windowState_ = wsNormal;
  std::unique_ptr<TControlCanvas> canvas_;
  std::unique_ptr<TIcon> icon_;
  std::shared_ptr<vx::gdi::Surface> buffer_;
  TRect invalid_{};
  TRect presentPending_{};
};

class TForm : public TCustomForm {
  VX_CLASS(TForm, TCustomForm)

 public:
  explicit TForm(TComponent* AOwner) : TCustomForm(AOwner) {}
};

// A container of controls designed as a unit and placed on forms.
class TFrame : public TCustomControl {
  VX_CLASS(TFrame, TCustomControl)

 public:
  explicit TFrame(TComponent* AOwner);
};

// ---- The screen ----

class TScreen : public TComponent {
  VX_CLASS(TScreen, TComponent)

 public:
  explicit TScreen(TComponent* AOwner);
  ~TScreen() override;

  int FormCount() const { return int(forms_.size()); }
  // In creation order.
  TCustomForm* Forms(int Index) const;
  TCustomForm* ActiveForm() const { return activeForm_; }
  TCustomForm* ActiveCustomForm() const { return activeForm_; }
  // The control with the keyboard focus.
  TWinControl* ActiveControl() const { return activeControl_; }
  TNotifyEvent OnActiveControlChange;
  TNotifyEvent OnActiveFormChange;

  // A cursor over every window (crDefault: each control's own).
  TCursor Cursor() const { return cursor_; }
  void SetCursor(TCursor Value);
  int Width() const;
  int Height() const;
  int PixelsPerInch() const { return 96; }

  // The form with a window Name (or class name), ignoring case; visible ones first.
  TCustomForm* FindForm(const std::string& Name) const;
  // The modal form on top, or null.
  TCustomForm* ModalForm() const { return modal_.empty() ? nullptr : modal_.back(); }
  // Paints and shows every form with something marked.
  void PaintPendingForms();
  // False while another form is modal or the form's window is disabled.
  bool AcceptsInput(TCustomForm* Form) const;

 private:
  friend class TCustomForm;
  friend class TInputRouter;
  void AddForm(TCustomForm* Form);
  void RemoveForm(TCustomForm* Form);
  void SetActiveForm(TCustomForm* Form);
  void SetActiveControl(TWinControl* Control);
  // Activates the visible form shown last (other than Except), or none.
  void ActivateNext(TCustomForm* Except);

  std::vector<TCustomForm*> forms_;
  std::vector<TCustomForm*> zorder_;  // activation order, the latest last
  std::vector<TCustomForm*> modal_;
  TCustomForm* activeForm_ = nullptr;
  TWinControl* activeControl_ = nullptr;
  TCursor cursor_ = crDefault;
};

// The program's screen; it lives until the program ends.
extern TScreen* Screen;

// ---- The application ----

class TApplication : public TComponent {
  VX_CLASS(TApplication, TComponent)

 public:
  explicit TApplication(TComponent* AOwner);
  ~TApplication() override;

  void Initialize() {}
  // By default the program file's name without its extension.
  std::string Title() const;
  void SetTitle(const std::string& Value) { title_ = Value; }
  // The full name of the running program; SetExeName puts another in its place (a
  // test's own program folder), "" restores it.
  std::string ExeName() const;
  void SetExeName(const std::string& Value) { exeName_ = Value; }
  TIcon* Icon() const { return icon_.get(); }

  // Makes a form owned by the application; the first one becomes the main form.
  template <class T>
  void CreateForm(T*& Reference) {
    T* form = new T(this);
    Reference = form;
    FormCreated(form);
  }
  // The same through a class reference (a form class registered with VX_CLASS).
  TCustomForm* CreateForm(TClass InstanceClass);

  // The form whose closing ends the run; Run does nothing without one.
  TCustomForm* MainForm() const { return mainForm_; }
  void SetMainForm(TCustomForm* Value);
  bool ShowMainForm() const { return showMainForm_; }
  void SetShowMainForm(bool Value) { showMainForm_ = Value; }

  // Shows the main form and processes messages until Terminated; an exception that
  // leaves a message handler goes to HandleException and the loop goes on.
  void Run();
  // Posts WM_QUIT to the calling thread; Terminated turns true when the loop (or
  // ProcessMessages) takes it.
  void Terminate();
  bool Terminated() const { return terminated_; }
  // Processes the calling thread's messages until its queue is empty, including those
  // posted meanwhile, then paints what became invalid. May be called from message
  // handlers (nested). Exceptions of handlers propagate to the caller.
  void ProcessMessages();
  // Processes one message, or paints and waits for the next when there is none.
  void HandleMessage();

  // Reports the exception being handled (call from a catch block): EAbort is silent;
  // otherwise OnException gets it when assigned, else ShowException.
  void HandleException(TObject* Sender);
  // Shows the message (with a final "." added when it ends in a letter or digit) and
  // the title through the display hook.
  void ShowException(Exception* E);
  TExceptionEvent OnException() const { return onException_; }
  void SetOnException(TExceptionEvent Value) { onException_ = Value; }

  // Where ShowException puts its text; by default a line "<caption>: <text>" on
  // standard error (the dialog service replaces it).
  using TShowExceptionHook = std::function<void(const std::string& Text, const std::string& Caption)>;
  void SetShowExceptionHook(TShowExceptionHook Hook) { showException_ = std::move(Hook); }

  // A message box through the dialog service; answers IDOK, IDYES, ...
  int MessageBox(const std::string& Text, const std::string& Caption, int Flags = MB_OK);

  // A modal state begins or ends (modal forms, waits for other programs).
  void ModalStarted();
  void ModalFinished();
  int ModalLevel() const { return modalLevel_; }
  TNotifyEvent OnModalBegin;
  TNotifyEvent OnModalEnd;

  // The presenter of the run, made on first use (CreateDefaultPresenter).
  IPresenter* Presenter();
  void SetPresenter(std::unique_ptr<IPresenter> Value) { presenter_ = std::move(Value); }
  bool HasPresenter() const { return presenter_ != nullptr; }

 protected:
  void Notification(TComponent* AComponent, TOperation Operation) override;

 private:
  void FormCreated(TCustomForm* Form);
  bool ProcessMessage(MSG& Msg);
  void Idle();

  std::string title_;
  std::string exeName_;
  TCustomForm* mainForm_ = nullptr;
  bool showMainForm_ = true;
  bool terminated_ = false;
  int modalLevel_ = 0;
  TExceptionEvent onException_;
  TShowExceptionHook showException_;
  std::unique_ptr<IPresenter> presenter_;
  std::unique_ptr<TIcon> icon_;
};

// The program's application object; it lives until the program ends.
extern TApplication* Application;

// Disables every enabled top-level form but Except (for a modal wait) and answers them
// for EnableTaskWindows.
std::vector<TCustomForm*> DisableTaskWindows(TCustomForm* Except);
void EnableTaskWindows(const std::vector<TCustomForm*>& Windows);
