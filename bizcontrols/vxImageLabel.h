// Windowless labels with pictures: a caption with a small bullet picture beside it
// (TvxIconLabel), and a caption over a background picture stretched to the label's
// width keeping its left and right edges, as the image button stretches its pictures
// (TvxImageLabel). Pictures may be of any registered graphic class.
#pragma once

#include <memory>

#include "platform/vcl/controls.h"
#include "platform/vcl/graphics.h"

// The shared base: alignment, layout and auto size of the caption, the control that the
// caption's accelerator focuses, and the caption's drawing (greyed when disabled).
class TCommonImageLabel : public TGraphicControl {
  VX_CLASS(TCommonImageLabel, TGraphicControl)

 public:
  explicit TCommonImageLabel(TComponent* AOwner);
  ~TCommonImageLabel() override;

  TWinControl* FocusControl() const { return focusControl_; }
  void SetFocusControl(TWinControl* Value);
  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment Value);
  // Grows the label (never shrinks it) to fit the caption when painting.
  bool AutoSize() const { return autoSize_; }
  void SetAutoSize(bool Value);
  TTextLayout Layout() const { return layout_; }
  void SetLayout(TTextLayout Value);
  bool Transparent() const { return !ControlStyle().Contains(csOpaque); }
  void SetTransparent(bool Value);

 protected:
  // Draws the caption in Rect (the label's client rectangle).
  virtual void DoDrawText(TRect& /*Rect*/) {}
  virtual std::string GetLabelText() const { return Caption(); }
  // The shared steps of DoDrawText: the canvas takes the label's font; with AutoSize the
  // label grows to the text plus ExtraWidth (Rect's right edge with it); Adjust then
  // places the text rectangle, and the caption is drawn in it by Alignment and Layout.
  template <class F>
  void DrawLabelText(TRect& Rect, int ExtraWidth, F&& Adjust) {
    PrepareText(Rect, ExtraWidth);
    Adjust(Rect);
    DrawCaptionIn(Rect);
  }
  // Fills the client rectangle with Color unless transparent, then clears the brush.
  void PaintBackground();
  void Notification(TComponent* AComponent, TOperation Operation) override;

  VX_MESSAGE_MAP(TCommonImageLabel, TGraphicControl)
  VX_MESSAGE_HANDLER(CM_DIALOGCHAR, CMDialogChar)
  VX_END_MESSAGE_MAP

  // The caption's accelerator (Alt and its "&" letter) focuses FocusControl.
  void CMDialogChar(TMessage& Message);

 private:
  void PrepareText(TRect& Rect, int ExtraWidth);
  void DrawCaptionIn(const TRect& Rect);

  TWinControl* focusControl_ = nullptr;
  TAlignment alignment_ = taLeftJustify;
  bool autoSize_ = true;
  TTextLayout layout_ = tlTop;
};

enum TBulletAlignment { baLeft, baRight };

class TvxIconLabel : public TCommonImageLabel {
  VX_CLASS(TvxIconLabel, TCommonImageLabel)

 public:
  explicit TvxIconLabel(TComponent* AOwner);
  ~TvxIconLabel() override;

  TPicture* BulletImage() const { return bulletImage_.get(); }
  // Also keeps 8 pixels between the bullet and the text.
  void SetBulletImage(TPicture* Value);
  TBulletAlignment BulletAlignment() const { return bulletAlignment_; }
  void SetBulletAlignment(TBulletAlignment Value);
  bool BulletHide() const { return bulletHide_; }
  void SetBulletHide(bool Value);
  int BulletLeftMargin() const { return bulletLeftMargin_; }
  void SetBulletLeftMargin(int Value);
  int BulletRightMargin() const { return bulletRightMargin_; }
  void SetBulletRightMargin(int Value);
  int BulletTag() const { return bulletTag_; }
  void SetBulletTag(int Value) { bulletTag_ = Value; }

 protected:
  void Paint() override;
  void DoDrawText(TRect& Rect) override;
  void DoDrawBullet();

 private:
  int BulletWidth() const;

  std::unique_ptr<TPicture> bulletImage_;
  TBulletAlignment bulletAlignment_ = baLeft;
  bool bulletHide_ = false;
  int bulletLeftMargin_ = 0;
  int bulletRightMargin_ = 0;
  int bulletTag_ = 0;
};

class TvxImageLabel : public TCommonImageLabel {
  VX_CLASS(TvxImageLabel, TCommonImageLabel)

 public:
  explicit TvxImageLabel(TComponent* AOwner);
  ~TvxImageLabel() override;

  TPicture* BackgroundImage() const { return backgroundImage_.get(); }
  // Also sets the label's height to the picture's.
  void SetBackgroundImage(TPicture* Value);
  int BackgroundTag() const { return backgroundTag_; }
  void SetBackgroundTag(int Value) { backgroundTag_ = Value; }
  int CaptionLeftMargin() const { return captionLeftMargin_; }
  // Clamped at 0.
  void SetCaptionLeftMargin(int Value);
  int CaptionRightMargin() const { return captionRightMargin_; }
  // Stores the value as it is, without repainting.
  void SetCaptionRightMargin(int Value) { captionRightMargin_ = Value; }
  // Clamped at 0, and repaints.
  void SetCaptionRigthMargin(int Value);

 protected:
  void Paint() override;
  void DoDrawText(TRect& Rect) override;
  void DoDrawBackground();

 private:
  std::unique_ptr<TPicture> backgroundImage_;
  int backgroundTag_ = 0;
  int captionLeftMargin_ = 12;
  int captionRightMargin_ = 12;
};

namespace vxImageLabel {
// Puts TvxIconLabel and TvxImageLabel on the palette page "Vextra".
void Register();
}  // namespace vxImageLabel
