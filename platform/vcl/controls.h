// The framework's control classes: the control base with bounds, alignment,
// visibility, colour and font, messages and mouse handling; windowed controls with
// children, painting order, focus, keyboard and tab order; graphic (windowless) and
// custom (owner-drawn windowed) controls; and the canvas a control paints on.
//
// Every control of a form paints into the form's back buffer: a windowed control is
// erased with its colour (WM_ERASEBKGND), paints itself (WM_PAINT), then its graphic
// children in their order, then its windowed children in z order, each clipped to
// its own rectangle. Invalidate marks a rectangle of the form; the form paints what
// is marked when its thread has nothing else to do, or at once on Update/Repaint.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/rtl/classes.h"
#include "platform/rtl/events.h"
#include "platform/vcl/actnlist.h"
#include "platform/vcl/graphics.h"
#include "platform/win/messages.h"
#include "platform/win/winuser.h"

class TWinControl;
class TCustomForm;
class TPopupMenu;
namespace vx::gdi {
class Surface;
}

// ---- The framework's notification messages ----
// Numbers from 0xB000 up, clear of window messages and of the messages the
// application's own controls define.
constexpr UINT CM_BASE = 0xB000;
constexpr UINT CM_ACTIVATE = CM_BASE + 0;
constexpr UINT CM_DEACTIVATE = CM_BASE + 1;
constexpr UINT CM_GOTFOCUS = CM_BASE + 2;
constexpr UINT CM_LOSTFOCUS = CM_BASE + 3;
constexpr UINT CM_CANCELMODE = CM_BASE + 4;
constexpr UINT CM_DIALOGKEY = CM_BASE + 5;
constexpr UINT CM_DIALOGCHAR = CM_BASE + 6;
constexpr UINT CM_FOCUSCHANGED = CM_BASE + 7;
constexpr UINT CM_PARENTFONTCHANGED = CM_BASE + 8;
constexpr UINT CM_PARENTCOLORCHANGED = CM_BASE + 9;
constexpr UINT CM_HITTEST = CM_BASE + 10;
constexpr UINT CM_VISIBLECHANGED = CM_BASE + 11;
constexpr UINT CM_ENABLEDCHANGED = CM_BASE + 12;
constexpr UINT CM_COLORCHANGED = CM_BASE + 13;
constexpr UINT CM_FONTCHANGED = CM_BASE + 14;
constexpr UINT CM_CURSORCHANGED = CM_BASE + 15;
constexpr UINT CM_TEXTCHANGED = CM_BASE + 18;
constexpr UINT CM_MOUSEENTER = CM_BASE + 19;
constexpr UINT CM_MOUSELEAVE = CM_BASE + 20;
constexpr UINT CM_BUTTONPRESSED = CM_BASE + 24;
constexpr UINT CM_SHOWINGCHANGED = CM_BASE + 25;
constexpr UINT CM_ENTER = CM_BASE + 26;
constexpr UINT CM_EXIT = CM_BASE + 27;
constexpr UINT CM_WANTSPECIALKEY = CM_BASE + 30;
constexpr UINT CM_RELEASE = CM_BASE + 33;
constexpr UINT CM_SHOWHINTCHANGED = CM_BASE + 34;
constexpr UINT CM_PARENTSHOWHINTCHANGED = CM_BASE + 35;
constexpr UINT CM_SYSCOLORCHANGE = CM_BASE + 36;
constexpr UINT CM_TABSTOPCHANGED = CM_BASE + 40;
constexpr UINT CM_CONTROLLISTCHANGE = CM_BASE + 44;
constexpr UINT CM_CHILDKEY = CM_BASE + 46;
constexpr UINT CM_BORDERCHANGED = CM_BASE + 59;
// Messages reflected to a control by its own window before the plain ones.
constexpr UINT CN_BASE = 0xBC00;
constexpr UINT CN_KEYDOWN = CN_BASE + WM_KEYDOWN;
constexpr UINT CN_KEYUP = CN_BASE + WM_KEYUP;
constexpr UINT CN_CHAR = CN_BASE + WM_CHAR;
constexpr UINT CN_SYSKEYDOWN = CN_BASE + WM_SYSKEYDOWN;
constexpr UINT CN_SYSCHAR = CN_BASE + WM_SYSCHAR;

// ---- Enumerations ----

enum TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient, alCustom };
enum TAnchorKind { akLeft, akTop, akRight, akBottom };
using TAnchors = TSet<TAnchorKind>;

// In the framework's bit order (a mask of the set's bits means the same here).
enum TControlStyleItem {
  csAcceptsControls,
  csCaptureMouse,
  csDesignInteractive,
  csClickEvents,
  csFramed,
  csSetCaption,
  csOpaque,
  csDoubleClicks,
  csFixedWidth,
  csFixedHeight,
  csNoDesignVisible,
  csReplicatable,
  csNoStdEvents,
  csDisplayDragImage,
  csReflector,
  csActionClient,
  csMenuEvents
};
using TControlStyle = TSet<TControlStyleItem>;

enum TControlStateItem {
  csLButtonDown,
  csClicked,
  csPalette,
  csReadingState,
  csAlignmentNeeded,
  csFocusing,
  csCreating,
  csPaintCopy,
  csCustomPaint,
  csDestroyingHandle,
  csDocking
};
using TControlState = TSet<TControlStateItem>;

enum TMouseButton { mbLeft, mbRight, mbMiddle };
enum TShiftStateItem { ssShift, ssAlt, ssCtrl, ssLeft, ssRight, ssMiddle, ssDouble };
using TShiftState = TSet<TShiftStateItem>;

using TCursor = int16_t;
constexpr TCursor crDefault = 0;
constexpr TCursor crNone = -1;
constexpr TCursor crArrow = -2;
constexpr TCursor crCross = -3;
constexpr TCursor crIBeam = -4;
constexpr TCursor crSizeNESW = -6;
constexpr TCursor crSizeNS = -7;
constexpr TCursor crSizeNWSE = -8;
constexpr TCursor crSizeWE = -9;
constexpr TCursor crUpArrow = -10;
constexpr TCursor crHourGlass = -11;
constexpr TCursor crDrag = -12;
constexpr TCursor crNoDrop = -13;
constexpr TCursor crHSplit = -14;
constexpr TCursor crVSplit = -15;
constexpr TCursor crMultiDrag = -16;
constexpr TCursor crSQLWait = -17;
constexpr TCursor crNo = -18;
constexpr TCursor crAppStart = -19;
constexpr TCursor crHelp = -20;
constexpr TCursor crHandPoint = -21;
constexpr TCursor crSizeAll = -22;

enum TAlignment { taLeftJustify, taRightJustify, taCenter };
enum TTextLayout { tlTop, tlCenter, tlBottom };
// Border styles of forms; controls use the first two.
enum TFormBorderStyle { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin };
using TBorderStyle = TFormBorderStyle;
enum TBevelCut { bvNone, bvLowered, bvRaised, bvSpace };
using TBevelWidth = int;
using TBorderWidth = int;
using TTabOrder = int;
enum TBiDiMode { bdLeftToRight, bdRightToLeft, bdRightToLeftNoAlign, bdRightToLeftReadingOnly };

// ---- Events ----

using TMouseEvent = Event<TObject*, TMouseButton, TShiftState, int, int>;
using TMouseMoveEvent = Event<TObject*, TShiftState, int, int>;
using TKeyEvent = Event<TObject*, WORD&, TShiftState>;
using TKeyPressEvent = Event<TObject*, char&>;
using TContextPopupEvent = Event<TObject*, TPoint, bool&>;

// ---- Helpers ----

TShiftState KeysToShiftState(WPARAM Keys);
// Shift and Ctrl from the current key state, Alt from the key data.
TShiftState KeyDataToShiftState(LPARAM KeyData);
// The shift keys held now (GetKeyState).
TShiftState KeyboardStateToShiftState();
// True when Text holds "&" followed by the character (ignoring case); "&&" is a
// literal ampersand.
bool IsAccel(WORD VK, const std::string& Text);
// The caption without accelerator marks ("&&" becomes "&").
std::string StripHotkey(const std::string& Text);

// Mouse message coordinates.
inline TPoint SmallPointToPoint(LPARAM LParam) { return TPoint{GET_X_LPARAM(LParam), GET_Y_LPARAM(LParam)}; }
inline LPARAM PointToLParam(TPoint P) { return MAKELPARAM(WORD(int16_t(P.x)), WORD(int16_t(P.y))); }

// Declares a class's message handlers by number:
//   VX_MESSAGE_MAP(TMyControl, TCustomControl)
//     VX_MESSAGE_HANDLER(CM_MOUSEENTER, CMMouseEnter)
//   VX_END_MESSAGE_MAP
// A handler is a member `void Handler(TMessage&)`; calling Base::Dispatch(Message)
// inside it is the framework's "inherited".
#define VX_MESSAGE_MAP(Self, Base)             \
 protected:                                    \
  using MessageMapBase = Base;                 \
  void Dispatch(TMessage& Message) override {  \
    switch (Message.Msg) {
#define VX_MESSAGE_HANDLER(Number, Method) \
  case (Number):                           \
    Method(Message);                       \
    return;
#define VX_END_MESSAGE_MAP           \
  default:                           \
    break;                           \
    }                                \
    MessageMapBase::Dispatch(Message); \
  }                                  \
                                     \
 private:

// ---- TControl ----

class TControlCanvas;
class TInputRouter;
class TControlActionLink;

// Controls are drawn in the style of the newer system (buttons choose it when asked to
// detect the style).
inline constexpr bool NewStyleControls = true;

class TControl : public TComponent {
  VX_CLASS(TControl, TComponent)

 public:
  explicit TControl(TComponent* AOwner);
  ~TControl() override;

  // --- tree ---
  TWinControl* Parent() const { return parent_; }
  virtual void SetParent(TWinControl* AParent);
  bool HasParent() const { return parent_ != nullptr; }

  // --- bounds (in the parent's client area; a form's in screen coordinates) ---
  int Left() const { return left_; }
  int Top() const { return top_; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  void SetLeft(int Value) { SetBounds(Value, top_, width_, height_); }
  void SetTop(int Value) { SetBounds(left_, Value, width_, height_); }
  void SetWidth(int Value) { SetBounds(left_, top_, Value, height_); }
  void SetHeight(int Value) { SetBounds(left_, top_, width_, Value); }
  // Moves and sizes the control; nothing happens when nothing changes.
  virtual void SetBounds(int ALeft, int ATop, int AWidth, int AHeight);
  TRect BoundsRect() const { return Bounds(left_, top_, width_, height_); }
  void SetBoundsRect(const TRect& R) { SetBounds(R.left, R.top, R.right - R.left, R.bottom - R.top); }
  // (0, 0, ClientWidth, ClientHeight).
  virtual TRect ClientRect() const;
  int ClientWidth() const { return ClientRect().right; }
  int ClientHeight() const { return ClientRect().bottom; }
  void SetClientWidth(int Value);
  void SetClientHeight(int Value);
  void SetClientSize(int AWidth, int AHeight);
  // Screen position of the client area's (0, 0).
  virtual TPoint ClientOrigin() const;
  TPoint ClientToScreen(const TPoint& Point) const;
  TPoint ScreenToClient(const TPoint& Point) const;
  // A point of this control's client area in the coordinates of its parent.
  TPoint ClientToParent(const TPoint& Point, TWinControl* AParent = nullptr) const;

  TAlign Align() const { return align_; }
  void SetAlign(TAlign Value);
  // The edges that keep their distance to the parent's edges when the parent is sized.
  // A control keeps the parent size it was placed against, so a parent sized while its
  // form loads moves its anchored controls when the loading ends.
  TAnchors Anchors() const { return anchors_; }
  void SetAnchors(TAnchors Value) {
    anchors_ = Value;
    NoteAnchorBase();
  }

  // --- visibility and state ---
  bool Visible() const { return visible_; }
  void SetVisible(bool Value);
  void Show();
  void Hide() { SetVisible(false); }
  // Visible, with every parent showing (a form: shown on the screen).
  virtual bool Showing() const;
  bool Enabled() const { return enabled_; }
  virtual void SetEnabled(bool Value);
  TControlStyle ControlStyle() const { return controlStyle_; }
  void SetControlStyle(TControlStyle Value) { controlStyle_ = Value; }
  TControlState ControlState() const { return controlState_; }
  void SetControlState(TControlState Value) { controlState_ = Value; }

  // --- text ---
  const std::string& Caption() const { return text_; }
  void SetCaption(const std::string& Value) { SetText(Value); }
  const std::string& Text() const { return text_; }
  // Sends CM_TEXTCHANGED when the text changes.
  virtual void SetText(const std::string& Value);

  // --- appearance ---
  TColor Color() const { return color_; }
  // Changing the colour turns ParentColor off.
  void SetColor(TColor Value);
  bool ParentColor() const { return parentColor_; }
  void SetParentColor(bool Value);
  TFont* Font() const { return font_.get(); }
  // Copies Value; turns ParentFont off.
  void SetFont(TFont* Value);
  bool ParentFont() const { return parentFont_; }
  void SetParentFont(bool Value);
  TCursor Cursor() const { return cursor_; }
  void SetCursor(TCursor Value);
  const std::string& Hint() const { return hint_; }
  void SetHint(const std::string& Value) { hint_ = Value; }
  bool ShowHint() const { return showHint_; }
  void SetShowHint(bool Value);
  bool ParentShowHint() const { return parentShowHint_; }
  void SetParentShowHint(bool Value);
  TPopupMenu* PopupMenu() const { return popupMenu_; }
  void SetPopupMenu(TPopupMenu* Value);
  TBiDiMode BiDiMode() const { return bidiMode_; }
  void SetBiDiMode(TBiDiMode Value) { bidiMode_ = Value; }
  // Text runs left to right here.
  bool UseRightToLeftAlignment() const { return false; }
  bool UseRightToLeftReading() const { return false; }
  bool IsRightToLeft() const { return false; }
  // Adds DT_RTLREADING when reading right to left (never here).
  UINT DrawTextBiDiModeFlags(UINT Flags) const { return Flags; }

  // --- painting ---
  // Marks the control's area of its form for painting.
  virtual void Invalidate();
  // Paints what is marked in the control's form now, and shows it.
  virtual void Update();
  // Invalidate, then Update: the control is painted before Repaint returns.
  virtual void Repaint();
  void Refresh() { Repaint(); }
  void BringToFront();
  void SendToBack();
  // Moves the control to the top (or bottom) of its siblings.
  void SetZOrder(bool TopMost);

  // --- messages ---
  // Sends a message to the control's WndProc and answers its result.
  LRESULT Perform(UINT Msg, WPARAM WParam, LPARAM LParam);
  virtual void WndProc(TMessage& Message);
  // The handlers by message number (see VX_MESSAGE_MAP); what none handles goes to
  // DefaultHandler.
  virtual void Dispatch(TMessage& Message);
  virtual void DefaultHandler(TMessage& Message);

  // --- mouse ---
  virtual void Click();
  virtual void DblClick();
  bool MouseCapture() const;
  void SetMouseCapture(bool Value);
  bool MouseInClient() const { return mouseInside_; }

  // --- actions ---
  TBasicAction* Action() const;
  // Links the control to an action through a link of GetActionLinkClass, and takes the
  // action's caption, state and click.
  void SetAction(TBasicAction* Value);
  TControlActionLink* ActionLink() const { return actionLink_.get(); }

  // --- events ---
  TNotifyEvent OnClick;
  TNotifyEvent OnDblClick;
  TMouseEvent OnMouseDown;
  TMouseEvent OnMouseUp;
  TMouseMoveEvent OnMouseMove;
  TNotifyEvent OnMouseEnter;
  TNotifyEvent OnMouseLeave;
  TNotifyEvent OnResize;
  TContextPopupEvent OnContextPopup;

  // Where the control lies in its top-level form's client area, or false when it has
  // none.
  bool RectInForm(TRect& R) const;
  // The top-level form the control paints into (itself for a form), or null.
  TCustomForm* TopForm() const;

 protected:
  void Loaded() override;
  void Notification(TComponent* AComponent, TOperation Operation) override;

  virtual void Resize();
  virtual void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y);
  virtual void MouseMove(TShiftState Shift, int X, int Y);
  virtual void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y);
  virtual void DoContextPopup(TPoint MousePos, bool& Handled);
  // The class of the control's action links (a TControlActionLink).
  virtual TClass GetActionLinkClass() const;
  // The action changed: copies its properties (only those still at their defaults
  // when CheckDefaults).
  virtual void ActionChange(TObject* Sender, bool CheckDefaults);
  void DoActionChange(TObject* Sender);
  virtual void VisibleChanging() {}
  // The canvas's font follows Font.
  virtual void FontChanged(TObject* Sender);
  // Tells the parent to realign its children after a change of this one.
  void RequestAlign();
  // Invalidates a rectangle of the control (client coordinates).
  void InvalidateRect(const TRect& R);
  // A message to every child (none for a graphic control).
  void SendCancelMode(TControl* Sender);

  // Default handlers of the messages every control understands.
  void WMLButtonDown(TMessage& Message);
  void WMLButtonUp(TMessage& Message);
  void WMLButtonDblClk(TMessage& Message);
  void WMRButtonDown(TMessage& Message);
  void WMRButtonUp(TMessage& Message);
  void WMMButtonDown(TMessage& Message);
  void WMMButtonUp(TMessage& Message);
  void WMMouseMove(TMessage& Message);
  void CMMouseEnter(TMessage& Message);
  void CMMouseLeave(TMessage& Message);
  void CMEnabledChanged(TMessage& Message);
  void CMVisibleChanged(TMessage& Message);
  void CMFontChanged(TMessage& Message);
  void CMColorChanged(TMessage& Message);
  void CMTextChanged(TMessage& Message);
  void CMParentFontChanged(TMessage& Message);
  void CMParentColorChanged(TMessage& Message);
  void CMParentShowHintChanged(TMessage& Message);
  void CMHitTest(TMessage& Message);

  // Called by the parent when it sizes or aligns the control.
  friend class TWinControl;
  friend class TCustomForm;
  void SetParentLink(TWinControl* P) {
    parent_ = P;
    NoteAnchorBase();
  }
  // Moves the control without realigning (alignment itself uses it).
  virtual void UpdateBounds(int ALeft, int ATop, int AWidth, int AHeight);
  // The control's present place stands against the parent's present size.
  void NoteAnchorBase();

  int left_ = 0;
  int top_ = 0;
  int width_ = 0;
  int height_ = 0;

 private:
  void DoMouseDown(TMessage& Message, TMouseButton Button, TShiftState Shift);
  void DoMouseUp(TMessage& Message, TMouseButton Button);
  void FontObjectChanged(TObject* Sender);
  // ParentColor, ParentFont, ParentShowHint: turned on, the parent's value comes at once.
  void SetParentFlag(bool& Flag, bool Value, UINT Notification);

  TWinControl* parent_ = nullptr;
  TAlign align_ = alNone;
  TAnchors anchors_{akLeft, akTop};
  SIZE anchorBase_{0, 0};  // the parent's size the control was placed against
  TRect anchorPlace_{};    // and the place it was given then
  bool visible_ = true;
  bool enabled_ = true;
  TControlStyle controlStyle_{csCaptureMouse, csClickEvents, csSetCaption, csDoubleClicks};
  TControlState controlState_;
  std::string text_;
  TColor color_ = clWindow;
  bool parentColor_ = true;
  std::unique_ptr<TFont> font_;
  bool parentFont_ = true;
  bool applyingParentFont_ = false;
  TCursor cursor_ = crDefault;
  std::string hint_;
  bool showHint_ = false;
  bool parentShowHint_ = true;
  TPopupMenu* popupMenu_ = nullptr;
  TBiDiMode bidiMode_ = bdLeftToRight;
  bool mouseInside_ = false;
  std::unique_ptr<TControlActionLink> actionLink_;

  friend class TInputRouter;
};

// The link of a control to an action: caption, enabled, hint, visible and the click
// follow the action.
class TControlActionLink : public TActionLink {
  VX_CLASS(TControlActionLink, TActionLink)

 public:
  TControl* Client() const { return client_; }
  bool IsCaptionLinked() override;
  bool IsEnabledLinked() override;
  bool IsHintLinked() override;
  bool IsVisibleLinked() override;
  void SetCaption(const std::string& Value) override;
  void SetEnabled(bool Value) override;
  void SetHint(const std::string& Value) override;
  void SetVisible(bool Value) override;

 protected:
  // Raises EInvalidCast for a client that is no control.
  void AssignClient(TObject* AClient) override;
  bool IsOnExecuteLinked() override;
  void SetOnExecute(TNotifyEvent Value) override;

  TControl* client_ = nullptr;
};

class TWinControlActionLink : public TControlActionLink {
  VX_CLASS(TWinControlActionLink, TControlActionLink)

 protected:
  void AssignClient(TObject* AClient) override;
};

// ---- The canvas of a control ----

// Draws on the control's area of its form's back buffer. During painting the
// framework hands it the paint DC; at other times it takes a DC of the control's
// window (for a graphic control: of its parent, moved to the control and clipped to
// it), and lets it go when the thread next processes its messages.
class TControlCanvas : public TCanvas {
  VX_CLASS(TControlCanvas, TCanvas)

 public:
  TControlCanvas() = default;
  ~TControlCanvas() override;
  TControl* Control() const { return control_; }
  void SetControl(TControl* Value);
  void FreeHandle();
  // Runs Paint with the canvas on a paint DC and the control's font, locked; the
  // canvas lets go of the DC afterwards, whatever Paint does.
  template <class F>
  void PaintOn(HDC DC, F&& Paint) {
    FreeHandle();
    Lock();
    struct TRelease {
      TControlCanvas* c;
      ~TRelease() {
        c->SetHandle(nullptr);
        c->Unlock();
      }
    } release{this};
    SetHandle(DC);
    if (control_) SetFont(control_->Font());
    Paint();
  }

 protected:
  void CreateHandle() override;

 private:
  TControl* control_ = nullptr;
  HDC dc_ = nullptr;  // a DC this canvas took for itself
};

// Lets go of the DCs taken by control canvases outside painting.
void FreeDeviceContexts();

// A canvas over a memory DC of its own, for measuring text outside painting.
class TScratchCanvas : public TCanvas {
  VX_CLASS(TScratchCanvas, TCanvas)

 public:
  TScratchCanvas();
  ~TScratchCanvas() override;

 private:
  HDC dc_;
};

// ---- TGraphicControl ----

// A control without a window: painted by its parent, on the parent's surface at the
// control's place; its mouse messages come through its parent.
class TGraphicControl : public TControl {
  VX_CLASS(TGraphicControl, TControl)

 public:
  explicit TGraphicControl(TComponent* AOwner);
  ~TGraphicControl() override;
  TCanvas* Canvas() const { return canvas_.get(); }

 protected:
  virtual void Paint() {}
  void WMPaint(TMessage& Message);
  void Dispatch(TMessage& Message) override;

 private:
  std::unique_ptr<TControlCanvas> canvas_;
};

// ---- TWinControl ----

struct TCreateParams {
  std::string Caption;
  DWORD Style = 0;
  DWORD ExStyle = 0;
  int X = 0, Y = 0, Width = 0, Height = 0;
  HWND WndParent = nullptr;
};

class TWinControl : public TControl {
  VX_CLASS(TWinControl, TControl)

 public:
  explicit TWinControl(TComponent* AOwner);
  ~TWinControl() override;

  // --- children: graphic controls first, then windowed ones, each in z order ---
  int ControlCount() const { return int(controls_.size() + winControls_.size()); }
  TControl* Controls(int Index) const;
  void InsertControl(TControl* AControl);
  void RemoveControl(TControl* AControl);
  bool ContainsControl(const TControl* Control) const;
  // The child at a client point (the topmost, windowed ones over graphic ones).
  TControl* ControlAtPos(const TPoint& Pos, bool AllowDisabled, bool AllowWinControls = false) const;
  // Sends the message to every child, graphic ones included, in Controls order,
  // until one answers non-zero.
  void Broadcast(TMessage& Message);
  // Perform on every child.
  void NotifyControls(UINT Msg);

  // --- the window ---
  // The window handle, made on first use; posted messages reach the control.
  HWND Handle();
  bool HandleAllocated() const { return handle_ != nullptr; }
  void HandleNeeded() { Handle(); }
  // Reads CreateParams again (for changed styles).
  void RecreateWnd();
  DWORD ExStyle();
  // Takes ownership of a region in client coordinates that clips the painting.
  void SetWindowRegion(HRGN Region);
  HRGN WindowRegion() const { return region_; }

  // --- focus and keyboard ---
  bool TabStop() const { return tabStop_; }
  void SetTabStop(bool Value);
  TTabOrder TabOrder() const;
  void SetTabOrder(TTabOrder Value);
  // Visible and enabled up to the form.
  virtual bool CanFocus() const;
  // Raises EInvalidOperation ("Cannot focus a disabled or invisible window") when the
  // control cannot take the focus.
  virtual void SetFocus();
  // The focus is on this control, or on the inner control that takes it for this one.
  virtual bool Focused() const;
  // The inner window that takes the focus whenever a composite control is given it
  // (null: the control takes it itself); see platform/vcl/internal/focus.h.
  virtual TWinControl* InnerFocusControl() const { return nullptr; }
  // The windowed controls below this one in tab order, depth first.
  void GetTabOrderList(std::vector<TWinControl*>& List);
  TWinControl* FindNextControl(TWinControl* CurControl, bool GoForward, bool CheckTabStop,
                               bool CheckParent);
  void SelectNext(TWinControl* CurControl, bool GoForward, bool CheckTabStop);
  void SelectFirst();

  // --- layout ---
  // Border width inside the control (alignment keeps clear of it).
  TBorderWidth BorderWidth() const { return borderWidth_; }
  void SetBorderWidth(TBorderWidth Value);
  bool DoubleBuffered() const { return doubleBuffered_; }
  void SetDoubleBuffered(bool Value) { doubleBuffered_ = Value; }
  void DisableAlign() { ++alignDisabled_; }
  void EnableAlign();
  void Realign();
  TBrush* Brush() const { return brush_.get(); }

  // --- painting ---
  // Paints the control's graphic children into DC (already placed at this control's
  // client origin), from First on (null: all).
  void PaintControls(HDC DC, TControl* First);
  // Erases with Color (unless handled), then paints the control and its graphic
  // children into DC.
  void PaintTo(HDC DC, int X, int Y);
  void Invalidate() override;

  TNotifyEvent OnEnter;
  TNotifyEvent OnExit;
  TKeyEvent OnKeyDown;
  TKeyPressEvent OnKeyPress;
  TKeyEvent OnKeyUp;

  // Window-message entry: input arriving through the window is routed to the
  // control under the mouse or with the focus; an exception of a handler goes to
  // Application->HandleException.
  LRESULT MainWndProc(UINT Msg, WPARAM WParam, LPARAM LParam);

 protected:
  void Loaded() override;
  TClass GetActionLinkClass() const override;
  virtual void CreateParams(TCreateParams& Params);
  // Paints the control itself into DC (custom controls call Paint).
  virtual void PaintWindow(HDC /*DC*/) {}
  virtual void PaintHandler(TMessage& Message);
  virtual void AlignControls(TControl* AControl, TRect& Rect);
  virtual void AdjustClientRect(TRect& Rect);
  void UpdateBounds(int ALeft, int ATop, int AWidth, int AHeight) override;

  virtual void DoEnter();
  virtual void DoExit();
  virtual void KeyDown(WORD& Key, TShiftState Shift);
  virtual void KeyUp(WORD& Key, TShiftState Shift);
  virtual void KeyPress(char& Key);
  // True when the key was eaten (Key 0) by the form's preview or the handlers.
  bool DoKeyDown(TMessage& Message);
  bool DoKeyUp(TMessage& Message);
  bool DoKey(TMessage& Message, void (TWinControl::*Handler)(WORD&, TShiftState));
  bool DoKeyPress(TMessage& Message);
  // Ancestor menus' shortcuts, then the form's.
  bool IsMenuKey(TMessage& Message);

  void Dispatch(TMessage& Message) override;
  void DefaultHandler(TMessage& Message) override;

  void WMPaint(TMessage& Message);
  void WMEraseBkgnd(TMessage& Message);
  void WMSetFocus(TMessage& Message);
  void WMKillFocus(TMessage& Message);
  void WMKeyDown(TMessage& Message);
  void WMKeyUp(TMessage& Message);
  void WMChar(TMessage& Message);
  void WMSize(TMessage& Message);
  void CNKeyDown(TMessage& Message);
  void CNKeyUp(TMessage& Message);
  void CNChar(TMessage& Message);
  void CMDialogKey(TMessage& Message) { Broadcast(Message); }
  void CMDialogChar(TMessage& Message) { Broadcast(Message); }
  void CMFocusChanged(TMessage& Message) { Broadcast(Message); }
  void CMEnter(TMessage& /*Message*/) { DoEnter(); }
  void CMExit(TMessage& /*Message*/) { DoExit(); }
  void CMEnabledChanged(TMessage& Message);
  void CMVisibleChanged(TMessage& Message);
  void CMColorChanged(TMessage& Message);
  void CMFontChanged(TMessage& Message);
  void CMShowHintChanged(TMessage& Message);

  friend class TControl;
  friend class TCustomForm;
  friend class TInputRouter;
  // Paints this control and its windowed children into the form's back buffer;
  // Offset is the control's place in the form, Clip the part to paint (form
  // coordinates).
  void PaintTree(const std::shared_ptr<vx::gdi::Surface>& Surface, TPoint Offset, const TRect& Clip);
  void AlignChildren(TControl* AControl);
  // Keeps the anchored children's distances to this control's edges (not while it
  // loads: its Loaded catches up).
  void AnchorChildren();
  void DestroyHandle();

 private:
  std::vector<TControl*> controls_;
  std::vector<TWinControl*> winControls_;
  std::vector<TWinControl*> tabList_;
  HWND handle_ = nullptr;
  bool paramsRead_ = false;
  TCreateParams params_;
  HRGN region_ = nullptr;
  bool tabStop_ = false;
  TBorderWidth borderWidth_ = 0;
  bool doubleBuffered_ = false;
  int alignDisabled_ = 0;
  bool aligning_ = false;
  std::unique_ptr<TBrush> brush_;
};

// ---- TCustomControl ----

// A windowed control that draws itself on its canvas in Paint.
class TCustomControl : public TWinControl {
  VX_CLASS(TCustomControl, TWinControl)

 public:
  explicit TCustomControl(TComponent* AOwner);
  ~TCustomControl() override;
  TCanvas* Canvas() const { return canvas_.get(); }

 protected:
  virtual void Paint() {}
  void PaintWindow(HDC DC) override;

 private:
  std::unique_ptr<TControlCanvas> canvas_;
};

// The control of a window handle (null for an unknown or destroyed window).
TWinControl* FindControl(HWND Handle);
// The control with the mouse capture, or null.
TControl* GetCaptureControl();
void SetCaptureControl(TControl* Control);
// The windowed control with the keyboard focus, or null.
TWinControl* FocusedControl();
// The form of a control: the first form among it and its parents.
TCustomForm* GetParentForm(TControl* Control);
// Draws a 3-D frame inside Rect (top-left in TopColor, bottom-right in BottomColor),
// Width times, and shrinks Rect by it.
void Frame3D(TCanvas* Canvas, TRect& Rect, TColor TopColor, TColor BottomColor, int Width);
