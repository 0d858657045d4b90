// A push button drawn from pictures, one per state, with a caption beside or over the
// picture. Its click hands its modal result to its form.
#pragma once

#include <memory>

#include "platform/vcl/buttons.h"
#include "platform/vcl/controls.h"
#include "platform/vcl/forms.h"

// The six state pictures and the colour left out of them.
class TRzButtonBitmaps : public TPersistent {
  VX_CLASS(TRzButtonBitmaps, TPersistent)

 public:
  TRzButtonBitmaps();
  ~TRzButtonBitmaps() override;

  void Assign(TPersistent* Source) override;

  TBitmap* Up() const { return up_.get(); }
  virtual void SetUp(TBitmap* Value);
  TBitmap* UpAndFocused() const { return upAndFocused_.get(); }
  virtual void SetUpAndFocused(TBitmap* Value);
  TBitmap* Disabled() const { return disabled_.get(); }
  virtual void SetDisabled(TBitmap* Value);
  TBitmap* Down() const { return down_.get(); }
  virtual void SetDown(TBitmap* Value);
  TBitmap* StayDown() const { return stayDown_.get(); }
  virtual void SetStayDown(TBitmap* Value);
  TBitmap* Hot() const { return hot_.get(); }
  virtual void SetHot(TBitmap* Value);
  TColor TransparentColor() const { return transparentColor_; }
  virtual void SetTransparentColor(TColor Value);

  // Any picture or the transparent colour changed.
  TNotifyEvent OnChange;

 private:
  void BitmapChanged(TObject* Sender);
  std::unique_ptr<TBitmap> MakeBitmap();

  std::unique_ptr<TBitmap> up_, upAndFocused_, disabled_, down_, stayDown_, hot_;
  TColor transparentColor_ = clOlive;
};

enum TButtonBorder { bbNone, bbSingle, bbButton };
enum TBtnSize { bszNeither, bszButtonToBitmap, bszStretchToButton, bszTileToButton };

// Sent to the buttons of a parent when one of a group goes down (WParam the group,
// LParam the button).
constexpr UINT CM_RZBUTTONPRESSED = 9248;

class TRzBmpButton : public TCustomControl {
  VX_CLASS(TRzBmpButton, TCustomControl)

 public:
  explicit TRzBmpButton(TComponent* AOwner);
  ~TRzBmpButton() override;

  bool AllowAllUp() const { return allowAllUp_; }
  virtual void SetAllowAllUp(bool Value);
  TRzButtonBitmaps* Bitmaps() const { return bitmaps_.get(); }
  void SetBitmaps(TRzButtonBitmaps* Value) { bitmaps_->Assign(Value); }
  TButtonBorder ButtonBorder() const { return buttonBorder_; }
  virtual void SetButtonBorder(TButtonBorder Value);
  TBtnSize ButtonSize() const { return buttonSize_; }
  virtual void SetButtonSize(TBtnSize Value);
  TButtonStyle ButtonStyle() const { return buttonStyle_; }
  virtual void SetButtonStyle(TButtonStyle Value);
  int CaptionDownOffset() const { return captionDownOffset_; }
  virtual void SetCaptionDownOffset(int Value);
  TColor Color() const { return TControl::Color(); }
  virtual void SetColor(TColor Value);
  bool Down() const { return down_; }
  virtual void SetDown(bool Value);
  int GroupIndex() const { return groupIndex_; }
  virtual void SetGroupIndex(int Value);
  TButtonLayout Layout() const { return layout_; }
  virtual void SetLayout(TButtonLayout Value);
  int Margin() const { return margin_; }
  // Values below -1 are ignored; -1 places the picture automatically.
  virtual void SetMargin(int Value);
  TModalResult ModalResult() const { return modalResult_; }
  void SetModalResult(TModalResult Value) { modalResult_ = Value; }
  bool ShowDownPattern() const { return showDownPattern_; }
  virtual void SetShowDownPattern(bool Value);
  bool ShowFocus() const { return showFocus_; }
  virtual void SetShowFocus(bool Value);
  int Spacing() const { return spacing_; }
  virtual void SetSpacing(int Value);

  // Sets the form's modal result to this button's, then fires OnClick.
  void Click() override;

  // The state the button is drawn in.
  TButtonState State() const { return state_; }

 protected:
  void Loaded() override;
  void Paint() override;
  void KeyDown(WORD& Key, TShiftState Shift) override;
  void KeyUp(WORD& Key, TShiftState Shift) override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void MouseMove(TShiftState Shift, int X, int Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  virtual HPALETTE GetPalette();
  virtual void MouseEnterNotify();
  virtual void MouseLeaveNotify();

  VX_MESSAGE_MAP(TRzBmpButton, TCustomControl)
  VX_MESSAGE_HANDLER(CM_RZBUTTONPRESSED, CMButtonPressed)
  VX_MESSAGE_HANDLER(CM_DIALOGCHAR, CMDialogChar)
  VX_MESSAGE_HANDLER(WM_LBUTTONDBLCLK, WMLButtonDblClk)
  VX_MESSAGE_HANDLER(WM_SETFOCUS, WMSetFocus)
  VX_MESSAGE_HANDLER(WM_KILLFOCUS, WMKillFocus)
  VX_MESSAGE_HANDLER(CM_MOUSEENTER, CMMouseEnter)
  VX_MESSAGE_HANDLER(CM_MOUSELEAVE, CMMouseLeave)
  VX_MESSAGE_HANDLER(CM_ENABLEDCHANGED, CMInvalidate)
  VX_MESSAGE_HANDLER(CM_FONTCHANGED, CMFontChanged)
  VX_MESSAGE_HANDLER(CM_TEXTCHANGED, CMInvalidate)
  VX_MESSAGE_HANDLER(CM_SYSCOLORCHANGE, CMInvalidate)
  VX_MESSAGE_HANDLER(WM_SIZE, WMSize)
  VX_END_MESSAGE_MAP

 protected:
  void CMButtonPressed(TMessage& Message);
  void CMDialogChar(TMessage& Message);
  void WMLButtonDblClk(TMessage& Message);
  void WMSetFocus(TMessage& Message);
  void WMKillFocus(TMessage& Message);
  void CMMouseEnter(TMessage& Message);
  void CMMouseLeave(TMessage& Message);
  void CMInvalidate(TMessage& Message);
  void CMFontChanged(TMessage& Message);
  void WMSize(TMessage& Message);

 private:
  void BitmapsChanged(TObject* Sender);
  void SizeToBitmap();
  void UpdateExclusive();
  void FinishPress(bool Inside);
  bool Inside(int X, int Y) const;
  // The picture for the current state; a greyed one made from Up goes to Made.
  TBitmap* ChoosePicture(std::unique_ptr<TBitmap>& Made);
  // The steps of Paint on the face P. The border leaves R as the room inside it.
  void PaintBorder(TCanvas* P, TRect& R, bool NewStyle, int Bevel);
  void PaintDownPattern(TCanvas* P, const TRect& R, int Bevel);
  // The caption's size in the button's font, wrapped to Width (0 x 0 without one).
  TPoint CaptionSize(TCanvas* P, int Width);
  void DrawPicture(TCanvas* P, TBitmap* Picture, const TRect& At);
  void DrawCaption(TCanvas* P, TRect At);

  std::unique_ptr<TRzButtonBitmaps> bitmaps_;
  bool allowAllUp_ = false;
  TButtonBorder buttonBorder_ = bbNone;
  TBtnSize buttonSize_ = bszButtonToBitmap;
  TButtonStyle buttonStyle_ = bsAutoDetect;
  int captionDownOffset_ = 1;
  bool down_ = false;
  int groupIndex_ = 0;
  TButtonLayout layout_ = blGlyphLeft;
  int margin_ = -1;
  TModalResult modalResult_ = mrNone;
  bool showDownPattern_ = true;
  bool showFocus_ = true;
  int spacing_ = 4;
  TButtonState state_ = bsUp;
  bool hasFocus_ = false;
  bool mouseInside_ = false;
  bool pressing_ = false;
};

// The 8 x 8 brush of stay-down buttons, shared by every bitmap button.
TBitmap* DownPatternBitmap();
