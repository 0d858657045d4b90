// The push button of the business forms, drawn from up to five state pictures (up,
// down, mouse over, focused, disabled). A missing down picture is the up picture
// darkened, a missing over or focused picture the up picture lightened. The picture is
// stretched to the button's width by keeping its left and right edges and repeating a
// three-pixel strip of its middle, so one picture serves buttons of any width. Latching
// buttons of one group index behave like radio buttons, by messages sent to the other
// controls of the parent; a click hands the button's modal result to its form.
#pragma once

#include <memory>
#include <string>

#include "platform/vcl/controls.h"
#include "platform/vcl/forms.h"
#include "platform/vcl/graphics.h"

// The group protocol, sent to every control of the parent (WParam the group index,
// LParam the sending button).
constexpr UINT CM_BUTTONEXTPRESSED = 9248;       // the sender went down: the others go up
constexpr UINT CM_BUTTONDOWNSTATUSCLEAR = 9249;  // every button of the group goes up

// Scoped: the form's close actions have a caNone of their own.
enum class TCaptionAlign { caLeft, caCenter, caRight, caNone };

class TvxImageButton : public TCustomControl {
  VX_CLASS(TvxImageButton, TCustomControl)

 public:
  explicit TvxImageButton(TComponent* AOwner);
  ~TvxImageButton() override;

  // --- pictures (any registered graphic class) ---
  TPicture* UpImage() const { return upImage_.get(); }
  // Also sets the button's height to the picture's.
  void SetUpImage(TPicture* Value);
  TPicture* DownImage() const { return downImage_.get(); }
  void SetDownImage(TPicture* Value) { downImage_->Assign(Value); }
  TPicture* OverImage() const { return overImage_.get(); }
  void SetOverImage(TPicture* Value) { overImage_->Assign(Value); }
  TPicture* FocusedImage() const { return focusedImage_.get(); }
  void SetFocusedImage(TPicture* Value) { focusedImage_->Assign(Value); }
  TPicture* DisableImage() const { return disableImage_.get(); }
  void SetDisableImage(TPicture* Value) { disableImage_->Assign(Value); }

  // --- state ---
  bool Down() const { return down_; }
  // True first raises every button of the group (this one too); a button stays down
  // only when it latches and has a group.
  void SetDown(bool Value);
  bool Latching() const { return latching_; }
  void SetLatching(bool Value);
  bool HotTrack() const { return hotTrack_; }
  void SetHotTrack(bool Value) { hotTrack_ = Value; }
  int GroupIndex() const { return groupIndex_; }
  // A new group makes the button latch.
  void SetGroupIndex(int Value);
  TColor TransparentColor() const { return transparentColor_; }
  void SetTransparentColor(TColor Value);
  TModalResult ModalResult() const { return modalResult_; }
  void SetModalResult(TModalResult Value) { modalResult_ = Value; }
  void SetEnabled(bool Value) override;
  // True while the control style lacks csOpaque: the key colour of the picture (its
  // bottom-left pixel) shows the button's colour.
  bool Transparent() const { return !ControlStyle().Contains(csOpaque); }
  void SetTransparent(bool Value);

  // --- caption (the button's own; the Font property does not reach it) ---
  const std::string& Caption() const { return caption_; }
  void SetCaption(const std::string& Value);
  TFontStyles CaptionFontStyle() const { return captionFontStyle_; }
  void SetCaptionFontStyle(TFontStyles Value);
  int CaptionStartPosX() const { return captionStartPosX_; }
  void SetCaptionStartPosX(int Value);
  int CaptionStartPosY() const { return captionStartPosY_; }
  void SetCaptionStartPosY(int Value);
  TColor DefaultCaptionColor() const { return defaultCaptionColor_; }
  void SetDefaultCaptionColor(TColor Value);
  TColor DisableCaptionColor() const { return disableCaptionColor_; }
  void SetDisableCaptionColor(TColor Value);
  int CaptionLeftMargin() const { return captionLeftMargin_; }
  void SetCaptionLeftMargin(int Value);
  int CaptionRightMargin() const { return captionRightMargin_; }
  void SetCaptionRightMargin(int Value);
  TCaptionAlign CaptionAlign() const { return captionAlign_; }
  void SetCaptionAlign(TCaptionAlign Value);
  bool AutoSize() const { return autoSize_; }
  void SetAutoSize(bool Value);
  // The picture alone, unstretched, without a caption.
  bool ImageButton() const { return imageButton_; }
  void SetImageButton(bool Value);
  const std::string& KeyMapping() const { return keyMapping_; }
  void SetKeyMapping(const std::string& Value) { keyMapping_ = Value; }

  // --- operations ---
  // Back to the size after construction, without a caption.
  void Reset();
  // Build the generated over/focused (lighter) and down (darker) pictures from UpImage.
  void MakeLighter();
  void MakeDarker();
  // Stretches Source to the button's width into Dest (both become 24-bit).
  void CreateButtonImage(TBitmap* Source, TBitmap* Dest);
  void UpdateExclusive();
  void UpdateButtonDownStatusClear();
  // Hands the modal result to the form, takes the focus, and fires OnClick only when a
  // press of the left button inside the button led here.
  void Click() override;

  TBitmap* LighterBitmap() const { return lighter_.get(); }
  TBitmap* DarkerBitmap() const { return darker_.get(); }
  bool Pressed() const { return pressed_; }
  bool Hot() const { return hot_; }

 protected:
  void Paint() override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void MouseMove(TShiftState Shift, int X, int Y) override;
  void DoEnter() override;
  void DoExit() override;
  void VisibleChanging() override {}

  VX_MESSAGE_MAP(TvxImageButton, TCustomControl)
  VX_MESSAGE_HANDLER(CM_MOUSELEAVE, CMMouseLeave)
  VX_MESSAGE_HANDLER(CM_TEXTCHANGED, CMTextChanged)
  VX_MESSAGE_HANDLER(CM_BUTTONEXTPRESSED, CMButtonExtPressed)
  VX_MESSAGE_HANDLER(CM_BUTTONDOWNSTATUSCLEAR, CMButtonDownStatusClear)
  VX_END_MESSAGE_MAP

  void CMMouseLeave(TMessage& Message);
  void CMTextChanged(TMessage& Message);
  void CMButtonExtPressed(TMessage& Message);
  void CMButtonDownStatusClear(TMessage& Message);

 private:
  void UpImageChanged(TObject* Sender);
  bool InClient(int X, int Y) const;
  // The state picture for painting, into Work (left empty when there is none).
  void ChooseStatePicture(TBitmap& Work);
  void DrawCaption();
  void Broadcast(UINT Msg);

  std::unique_ptr<TPicture> upImage_, downImage_, overImage_, focusedImage_, disableImage_;
  std::unique_ptr<TBitmap> lighter_, darker_;
  bool lighterStale_ = true, darkerStale_ = true;  // the up picture changed since
  bool markingTransparent_ = false;
  bool hot_ = false;
  bool latching_ = false;
  bool down_ = false;
  bool hotTrack_ = true;
  int groupIndex_ = 0;
  TColor transparentColor_ = clNone;
  TModalResult modalResult_ = mrNone;
  std::string caption_;
  int captionStartPosX_ = 12;
  int captionStartPosY_ = -1;
  int captionLeftMargin_ = 11;
  int captionRightMargin_ = 11;
  TColor defaultCaptionColor_ = 0x5B5B5B;
  TColor disableCaptionColor_ = 0x999999;
  TFontStyles captionFontStyle_;
  int originalWidth_ = 75;
  int originalHeight_ = 25;
  TCaptionAlign captionAlign_ = TCaptionAlign::caCenter;
  bool autoSize_ = false;
  bool imageButton_ = false;
  std::string keyMapping_;
  bool pressed_ = false;
};

namespace vxImageButton {

// Fills the rows of Dest (24-bit, as high as Source) from those of Source (24-bit),
// keeping both edges: columns 0..LeftEnd take Source's same columns, columns
// LeftEnd+1 .. RightStart-1 repeat Source's three columns from Middle, and columns from
// RightStart on take Source's columns from SourceRight on. A source column outside the
// picture takes the nearest edge column, and nothing is written outside Dest.
void StretchKeepingEdges(TBitmap* Source, TBitmap* Dest, int LeftEnd, int Middle, int RightStart, int SourceRight);

// Puts TvxImageButton on the palette page "Vextra".
void Register();

}  // namespace vxImageButton
