// The standard controls: labels, push buttons, check boxes, single-line edits and
// memos, drawn in a classic look through the canvas.
#pragma once

#include <memory>
#include <string>

#include "platform/vcl/controls.h"

class TCustomForm;

// ---- Labels ----

// Text on its parent's surface. AutoSize fits the bounds to the text (keeping the width
// when words wrap); Transparent leaves the parent's background under the text.
class TCustomLabel : public TGraphicControl {
  VX_CLASS(TCustomLabel, TGraphicControl)

 public:
  explicit TCustomLabel(TComponent* AOwner);

  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment Value);
  TTextLayout Layout() const { return layout_; }
  void SetLayout(TTextLayout Value);
  bool WordWrap() const { return wordWrap_; }
  void SetWordWrap(bool Value);
  bool AutoSize() const { return autoSize_; }
  void SetAutoSize(bool Value);
  bool Transparent() const { return !ControlStyle().Contains(csOpaque); }
  void SetTransparent(bool Value);
  bool ShowAccelChar() const { return showAccelChar_; }
  void SetShowAccelChar(bool Value);
  // The control an accelerator in the caption focuses.
  TWinControl* FocusControl() const { return focusControl_; }
  void SetFocusControl(TWinControl* Value);

 protected:
  void Paint() override;
  void Loaded() override;
  void Notification(TComponent* AComponent, TOperation Operation) override;
  // Draws (or with DT_CALCRECT measures) the caption in Rect.
  virtual void DoDrawText(TRect& Rect, UINT Flags);
  virtual void AdjustBounds();
  virtual std::string GetLabelText() const { return Caption(); }

  VX_MESSAGE_MAP(TCustomLabel, TGraphicControl)
  VX_MESSAGE_HANDLER(CM_TEXTCHANGED, CMTextChanged)
  VX_MESSAGE_HANDLER(CM_FONTCHANGED, CMFontChanged)
  VX_MESSAGE_HANDLER(CM_DIALOGCHAR, CMDialogChar)
  VX_END_MESSAGE_MAP

  void CMTextChanged(TMessage& Message);
  void CMFontChanged(TMessage& Message);
  void CMDialogChar(TMessage& Message);

 private:
  TAlignment alignment_ = taLeftJustify;
  TTextLayout layout_ = tlTop;
  bool wordWrap_ = false;
  bool autoSize_ = true;
  bool showAccelChar_ = true;
  TWinControl* focusControl_ = nullptr;
};

class TLabel : public TCustomLabel {
  VX_CLASS(TLabel, TCustomLabel)

 public:
  explicit TLabel(TComponent* AOwner) : TCustomLabel(AOwner) {}
};

// ---- Buttons ----

class TButtonControl : public TWinControl {
  VX_CLASS(TButtonControl, TWinControl)

 public:
  explicit TButtonControl(TComponent* AOwner);

 protected:
  // A canvas over the paint DC, with the control's font.
  void PaintWindow(HDC DC) override;
  virtual void PaintButton(TCanvas* /*Canvas*/) {}
  // Draws the caption in R (accelerator underlined), greyed when disabled.
  void DrawCaption(TCanvas* Canvas, TRect R, UINT Flags);
};

// A push button. Its click hands its ModalResult to its form; Enter clicks the focused
// button or else the Default one, Escape clicks the Cancel one.
class TButton : public TButtonControl {
  VX_CLASS(TButton, TButtonControl)

 public:
  explicit TButton(TComponent* AOwner);

  void Click() override;
  int ModalResult() const { return modalResult_; }
  void SetModalResult(int Value) { modalResult_ = Value; }
  bool Default() const { return default_; }
  void SetDefault(bool Value);
  bool Cancel() const { return cancel_; }
  void SetCancel(bool Value) { cancel_ = Value; }

 protected:
  void PaintButton(TCanvas* Canvas) override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void MouseMove(TShiftState Shift, int X, int Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void KeyDown(WORD& Key, TShiftState Shift) override;
  void KeyUp(WORD& Key, TShiftState Shift) override;
  // The button Enter would click: the focused one, or the default one when no button
  // has the focus.
  bool IsActive() const;
  // Drawn pressed (the mouse or space is down on it).
  bool Pushed() const { return pushed_; }
  // Whether a press of the mouse focuses the button.
  virtual bool FocusOnPress() const { return true; }

  VX_MESSAGE_MAP(TButton, TButtonControl)
  VX_MESSAGE_HANDLER(CM_DIALOGKEY, CMDialogKey)
  VX_MESSAGE_HANDLER(CM_DIALOGCHAR, CMDialogChar)
  VX_MESSAGE_HANDLER(CM_FOCUSCHANGED, CMFocusChanged)
  VX_MESSAGE_HANDLER(WM_GETDLGCODE, WMGetDlgCode)
  VX_MESSAGE_HANDLER(WM_SETFOCUS, WMFocus)
  VX_MESSAGE_HANDLER(WM_KILLFOCUS, WMFocus)
  VX_END_MESSAGE_MAP

  void CMDialogKey(TMessage& Message);
  void CMDialogChar(TMessage& Message);
  void CMFocusChanged(TMessage& Message);
  void WMGetDlgCode(TMessage& Message);
  void WMFocus(TMessage& Message);

 private:
  void SetPushed(bool Value);

  int modalResult_ = 0;
  bool default_ = false;
  bool cancel_ = false;
  bool pressed_ = false;  // the mouse or space is down on it
  bool pushed_ = false;   // drawn pressed
};

enum TCheckBoxState { cbUnchecked, cbChecked, cbGrayed };

// A check box; every change of State clicks it (OnClick), from the user or from code.
class TCheckBox : public TButtonControl {
  VX_CLASS(TCheckBox, TButtonControl)

 public:
  explicit TCheckBox(TComponent* AOwner);

  bool Checked() const { return state_ == cbChecked; }
  void SetChecked(bool Value) { SetState(Value ? cbChecked : cbUnchecked); }
  TCheckBoxState State() const { return state_; }
  void SetState(TCheckBoxState Value);
  bool AllowGrayed() const { return allowGrayed_; }
  void SetAllowGrayed(bool Value) { allowGrayed_ = Value; }
  // taRightJustify (the default): the box left of the caption.
  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment Value);
  // Unchecked, checked, then grayed when allowed.
  virtual void Toggle();

 protected:
  void PaintButton(TCanvas* Canvas) override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void KeyUp(WORD& Key, TShiftState Shift) override;

  VX_MESSAGE_MAP(TCheckBox, TButtonControl)
  VX_MESSAGE_HANDLER(CM_DIALOGCHAR, CMDialogChar)
  VX_MESSAGE_HANDLER(WM_GETDLGCODE, WMGetDlgCode)
  VX_MESSAGE_HANDLER(WM_SETFOCUS, WMFocus)
  VX_MESSAGE_HANDLER(WM_KILLFOCUS, WMFocus)
  VX_END_MESSAGE_MAP

  void CMDialogChar(TMessage& Message);
  void WMGetDlgCode(TMessage& Message) { Message.Result = DLGC_BUTTON; }
  void WMFocus(TMessage& Message);

 private:
  TCheckBoxState state_ = cbUnchecked;
  bool allowGrayed_ = false;
  TAlignment alignment_ = taRightJustify;
  bool pressed_ = false;
};

// ---- Edits ----

enum TScrollStyle { ssNone, ssHorizontal, ssVertical, ssBoth };

// The text editing shared by edits and memos: a caret and a selection over the text,
// counted in characters (a character is a UTF-8 sequence), typing, deleting and
// moving by keys and by the mouse.
class TCustomEdit : public TWinControl {
  VX_CLASS(TCustomEdit, TWinControl)

 public:
  explicit TCustomEdit(TComponent* AOwner);

  int MaxLength() const { return maxLength_; }
  // 0: no limit; text typed beyond it is refused (text set by code is kept whole).
  void SetMaxLength(int Value) { maxLength_ = Value; }
  bool ReadOnly() const { return readOnly_; }
  void SetReadOnly(bool Value);
  char PasswordChar() const { return passwordChar_; }
  void SetPasswordChar(char Value);
  TBorderStyle BorderStyle() const { return borderStyle_; }
  void SetBorderStyle(TBorderStyle Value);
  bool AutoSelect() const { return autoSelect_; }
  void SetAutoSelect(bool Value) { autoSelect_ = Value; }
  bool HideSelection() const { return hideSelection_; }
  void SetHideSelection(bool Value);
  bool Modified() const { return modified_; }
  void SetModified(bool Value) { modified_ = Value; }

  // In characters from the start; setting them clamps to the text.
  int SelStart() const;
  void SetSelStart(int Value);
  int SelLength() const;
  void SetSelLength(int Value);
  std::string SelText() const;
  // Replaces the selection (at the caret when none).
  void SetSelText(const std::string& Value);
  void SelectAll();
  void ClearSelection();
  void Clear() { SetText(""); }
  // The selection to the program's clipboard (nothing from a password edit); cutting
  // and pasting change nothing in a read-only edit. A single-line edit pastes up to
  // the first line break.
  void CopyToClipboard();
  void CutToClipboard();
  void PasteFromClipboard();
  // Where a single line of text sits when it is narrower than the edit.
  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment Value);

  TNotifyEvent OnChange;

 protected:
  virtual void Change();
  // Whether the user's typing, cutting or pasting may make the text NewText.
  virtual bool AllowText(const std::string& /*NewText*/) { return true; }
  void PaintWindow(HDC DC) override;
  void KeyDown(WORD& Key, TShiftState Shift) override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void MouseMove(TShiftState Shift, int X, int Y) override;
  void DoEnter() override;

  // Lines of the text (one for an edit) and the caret as (line, column).
  virtual bool MultiLine() const { return false; }
  void InsertText(const std::string& Text);
  // The caret's character index and the selection's other end.
  int caret_ = 0;
  int anchor_ = 0;
  int topLine_ = 0;
  int scrollX_ = 0;

  VX_MESSAGE_MAP(TCustomEdit, TWinControl)
  VX_MESSAGE_HANDLER(WM_GETDLGCODE, WMGetDlgCode)
  VX_MESSAGE_HANDLER(WM_CHAR, WMChar)
  VX_MESSAGE_HANDLER(CM_TEXTCHANGED, CMTextChanged)
  VX_MESSAGE_HANDLER(WM_SETFOCUS, WMFocus)
  VX_MESSAGE_HANDLER(WM_KILLFOCUS, WMFocus)
  VX_END_MESSAGE_MAP

  void WMGetDlgCode(TMessage& Message);
  void WMChar(TMessage& Message);
  void CMTextChanged(TMessage& Message);
  void WMFocus(TMessage& Message);

 protected:
  // Character offsets of the line starts.
  std::vector<int> LineStarts() const;
  int LineOf(int Index) const;
  // The text as shown (password characters).
  std::string Shown(const std::string& Text) const;
  virtual TRect TextArea() const;
  int CharAtPoint(int X, int Y);
  void MoveCaret(int Index, bool Extend);
  void ReplaceSelection(const std::string& Text, bool ByUser);
  void DeleteAt(bool Forward);
  int LineHeight();
  // How far a single line of that width moves right for the alignment.
  int AlignShift(int TextWidth) const;
  // The byte offset of every character of S and of its end. The offsets of the last
  // string asked for in a slot (0: the text, 1: a line) are kept and brought up to
  // date from the first byte that differs, so typing costs little however long the
  // text is.
  const std::vector<size_t>& Offsets(const std::string& S, int Slot = 0) const;
  int TextLength() const { return int(Offsets(Text()).size()) - 1; }
  // The x of every character boundary of a line (0 first, the line's width last) in
  // the canvas's font. The last line measured is kept, so a line that changed at its
  // end is measured from there on.
  const std::vector<int>& LineWidths(TCanvas* Canvas, const std::string& Line);

 private:
  struct TOffsetCache {
    bool valid = false;
    std::string text;
    std::vector<size_t> offsets;
  };
  mutable TOffsetCache offsets_[2];
  struct TLineWidths {
    std::string font;
    std::string line;
    std::vector<int> widths{0};
  };
  TLineWidths widths_;
  TAlignment alignment_ = taLeftJustify;
  int maxLength_ = 0;
  bool readOnly_ = false;
  char passwordChar_ = 0;
  TBorderStyle borderStyle_ = bsSingle;
  bool autoSelect_ = true;
  bool hideSelection_ = true;
  bool modified_ = false;
  bool selectingByMouse_ = false;
};

class TEdit : public TCustomEdit {
  VX_CLASS(TEdit, TCustomEdit)

 public:
  explicit TEdit(TComponent* AOwner) : TCustomEdit(AOwner) {}
};

class TMemoStrings;

// A multi-line edit; Lines and Text are two views of the same text (lines end with
// CR LF in Text).
class TMemo : public TCustomEdit {
  VX_CLASS(TMemo, TCustomEdit)

 public:
  explicit TMemo(TComponent* AOwner);
  ~TMemo() override;
  TStrings* Lines() const;
  void SetLines(TStrings* Value);
  TScrollStyle ScrollBars() const { return scrollBars_; }
  void SetScrollBars(TScrollStyle Value);
  bool WantReturns() const { return wantReturns_; }
  void SetWantReturns(bool Value) { wantReturns_ = Value; }
  bool WantTabs() const { return wantTabs_; }
  void SetWantTabs(bool Value) { wantTabs_ = Value; }
  bool WordWrap() const { return wordWrap_; }
  void SetWordWrap(bool Value) { wordWrap_ = Value; }

 protected:
  bool MultiLine() const override { return true; }
  TRect TextArea() const override;
  void PaintWindow(HDC DC) override;
  void KeyDown(WORD& Key, TShiftState Shift) override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;

  VX_MESSAGE_MAP(TMemo, TCustomEdit)
  VX_MESSAGE_HANDLER(WM_GETDLGCODE, WMGetDlgCode)
  VX_MESSAGE_HANDLER(WM_MOUSEWHEEL, WMMouseWheel)
  VX_MESSAGE_HANDLER(CM_TEXTCHANGED, CMTextChanged)
  VX_END_MESSAGE_MAP

  void WMGetDlgCode(TMessage& Message);
  void WMMouseWheel(TMessage& Message);
  void CMTextChanged(TMessage& Message);

 private:
  friend class TMemoStrings;
  int VisibleLines();
  void ScrollTo(int TopLine);

  std::unique_ptr<TMemoStrings> lines_;
  TScrollStyle scrollBars_ = ssNone;
  bool wantReturns_ = true;
  bool wantTabs_ = false;
  bool wordWrap_ = true;
};

// ---- Scroll bars ----

enum TScrollBarKind { sbHorizontal, sbVertical };
// In the order of the SB_ request codes.
enum TScrollCode { scLineUp, scLineDown, scPageUp, scPageDown, scPosition, scTrack, scTop, scBottom, scEndScroll };
using TScrollEvent = Event<TObject*, TScrollCode, int&>;

// A scroll bar control: two arrow buttons, a track and a thumb whose length shows
// PageSize against the range. A click on an arrow scrolls by SmallChange, on the track
// by LargeChange; dragging the thumb tracks it. Each request fires OnScroll (which may
// change the position), moves Position (firing OnChange), then goes to the parent as
// WM_HSCROLL or WM_VSCROLL with the bar's handle in LParam. Position lies between Min
// and Max - PageSize + 1 (Max with no page). It never takes the focus.
class TScrollBar : public TCustomControl {
  VX_CLASS(TScrollBar, TCustomControl)

 public:
  explicit TScrollBar(TComponent* AOwner);

  TScrollBarKind Kind() const { return kind_; }
  void SetKind(TScrollBarKind Value);
  int Min() const { return min_; }
  int Max() const { return max_; }
  int PageSize() const { return pageSize_; }
  int Position() const { return position_; }
  void SetMin(int Value) { SetParams(position_, Value, max_); }
  void SetMax(int Value) { SetParams(position_, min_, Value); }
  void SetPageSize(int Value);
  void SetPosition(int Value) { SetParams(Value, min_, max_); }
  // Sets the three at once (no OnChange when the position stays).
  void SetParams(int APosition, int AMin, int AMax);
  int SmallChange() const { return smallChange_; }
  void SetSmallChange(int Value) { smallChange_ = Value; }
  int LargeChange() const { return largeChange_; }
  void SetLargeChange(int Value) { largeChange_ = Value; }
  // The highest position the range and page allow.
  int MaxPosition() const;
  // Runs a request as a click or a drag would.
  void Scroll(TScrollCode Code, int Pos);

  TNotifyEvent OnChange;
  TScrollEvent OnScroll;

 protected:
  void Paint() override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void MouseMove(TShiftState Shift, int X, int Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;

 private:
  // Along the bar: its length, the arrow buttons' size, the thumb's start and length.
  int Length() const;
  int ArrowSize() const;
  void ThumbSpan(int& Start, int& Size) const;
  int Along(int X, int Y) const { return kind_ == sbHorizontal ? X : Y; }
  int PositionAt(int Offset) const;

  TScrollBarKind kind_ = sbHorizontal;
  int min_ = 0, max_ = 100, pageSize_ = 0, position_ = 0;
  int smallChange_ = 1, largeChange_ = 1;
  int dragOffset_ = -1;  // where the thumb was taken, while dragging
};
