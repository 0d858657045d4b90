// Buttons with a small state picture (the glyph) beside the caption, and the radio
// button built on them.
#pragma once

#include <memory>

#include "platform/vcl/actnlist.h"
#include "platform/vcl/controls.h"
#include "widgets/RzButton.h"
#include "widgets/RzCommon.h"

// The caption's side of the glyph: taRightJustify puts the glyph left, the caption right.
using TLeftRight = TAlignment;

class TRzCustomGlyphButton : public TRzCustomButton, public IFrameControllerClient {
  VX_CLASS(TRzCustomGlyphButton, TRzCustomButton)

 public:
  explicit TRzCustomGlyphButton(TComponent* AOwner);
  ~TRzCustomGlyphButton() override;

  TLeftRight Alignment() const { return alignment_; }
  virtual void SetAlignment(TLeftRight Value);
  virtual bool GetChecked() { return false; }
  virtual void SetChecked(bool Value) {}
  bool Checked() { return GetChecked(); }
  // A strip of state cells drawn in place of the standard pictures.
  TBitmap* CustomGlyphs() const { return customGlyphs_.get(); }
  virtual void SetCustomGlyphs(TBitmap* Value);
  bool UseCustomGlyphs() const { return useCustomGlyphs_; }
  virtual void SetUseCustomGlyphs(bool Value);
  TColor FrameColor() const { return frameColor_; }
  virtual void SetFrameColor(TColor Value);
  TRzFrameController* FrameController() const { return frameController_; }
  virtual void SetFrameController(TRzFrameController* Value);
  TColor DisabledColor() const { return disabledColor_; }
  virtual void SetDisabledColor(TColor Value);
  TColor TransparentColor() const { return transparentColor_; }
  virtual void SetTransparentColor(TColor Value);
  TColor WinMaskColor() const { return winMaskColor_; }
  virtual void SetWinMaskColor(TColor Value);
  bool TabOnEnter() const { return tabOnEnter_; }
  void SetTabOnEnter(bool Value) { tabOnEnter_ = Value; }
  void SetTransparent(bool Value) override;

  int GlyphWidth() const { return glyphWidth_; }
  int GlyphHeight() const { return glyphHeight_; }

  void FrameControllerChanged() override;
  // The value of the obsolete stored "Flat" property.
  void ReadOldFlat(bool Value) { SetHotTrack(Value); }

 protected:
  // C moved off the mask colours, so frames and dots never vanish with them.
  virtual TColor AdjustTransparentColor(TColor C);
  // Fills the glyph-sized bitmap with the picture for the current state.
  virtual void DrawGlyph(TBitmap* Glyph) = 0;
  virtual void PaintGlyph(TCanvas* Canvas);
  virtual void CopyGlyphCell(int Index, TBitmap* Dest, int Height, int Width, TBitmap* Strip);

  void PressedLookChanged() override { Paint(); }
  void RedrawNow() override { Paint(); }
  TRect HotArea() override;
  void Paint() override;
  void KeyPress(char& Key) override;
  void Notification(TComponent* AComponent, TOperation Operation) override;
  TClass GetActionLinkClass() const override;
  void ActionChange(TObject* Sender, bool CheckDefaults) override;
  TAlignment GetControlsAlignment() const;
  void SetCellCount(int Value) { cellCount_ = Value; }

  VX_MESSAGE_MAP(TRzCustomGlyphButton, TRzCustomButton)
  VX_MESSAGE_HANDLER(WM_ERASEBKGND, WMEraseBkgnd)
  VX_MESSAGE_HANDLER(WM_SIZE, WMSize)
  VX_MESSAGE_HANDLER(CM_ENABLEDCHANGED, CMEnabledChanged)
  VX_MESSAGE_HANDLER(CM_PARENTCOLORCHANGED, CMParentColorChanged)
  VX_END_MESSAGE_MAP

 protected:
  void WMEraseBkgnd(TMessage& Message);
  void WMSize(TMessage& Message);
  void CMEnabledChanged(TMessage& Message);
  void CMParentColorChanged(TMessage& Message);

 private:
  void CustomGlyphsChanged(TObject* Sender);
  void RefreshBackground();

  TLeftRight alignment_ = taRightJustify;
  std::unique_ptr<TBitmap> customGlyphs_;
  bool useCustomGlyphs_ = false;
  TColor frameColor_ = clBtnShadow;
  TColor disabledColor_ = clBtnFace;
  TColor transparentColor_ = clOlive;
  TColor winMaskColor_ = clLime;
  TRzFrameController* frameController_ = nullptr;
  bool tabOnEnter_ = false;
  int cellCount_ = 2;
  int glyphWidth_ = 13;
  int glyphHeight_ = 13;
  std::unique_ptr<TBitmap> background_;
  bool backgroundNeedsRefresh_ = true;
};

// A radio button: checking one unchecks every other radio button of the same parent,
// then fires OnClick.
class TRzRadioButton : public TRzCustomGlyphButton {
  VX_CLASS(TRzRadioButton, TRzCustomGlyphButton)

 public:
  explicit TRzRadioButton(TComponent* AOwner);

  bool GetChecked() override { return checked_; }
  void SetChecked(bool Value) override;

 protected:
  void ToggleAction() override;
  void DrawGlyph(TBitmap* Glyph) override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;

  VX_MESSAGE_MAP(TRzRadioButton, TRzCustomGlyphButton)
  VX_MESSAGE_HANDLER(WM_SETFOCUS, WMSetFocus)
  VX_MESSAGE_HANDLER(CM_DIALOGCHAR, CMDialogChar)
  VX_MESSAGE_HANDLER(CM_DIALOGKEY, CMDialogKey)
  VX_MESSAGE_HANDLER(WM_LBUTTONDBLCLK, WMLButtonDblClk)
  VX_END_MESSAGE_MAP

 protected:
  void WMSetFocus(TMessage& Message);
  void CMDialogChar(TMessage& Message);
  void CMDialogKey(TMessage& Message);
  void WMLButtonDblClk(TMessage& Message);

 private:
  bool checked_ = false;
  bool usingMouse_ = false;
};

// Ties a glyph button's Checked to an action's.
class TRzCheckedActionLink : public TWinControlActionLink {
  VX_CLASS(TRzCheckedActionLink, TWinControlActionLink)

 public:
  bool IsCheckedLinked() override;
  void SetChecked(bool Value) override;

 protected:
  // Raises EInvalidCast for a client that is no glyph button.
  void AssignClient(TObject* AClient) override;

 private:
  TRzCustomGlyphButton* glyphClient_ = nullptr;
};
