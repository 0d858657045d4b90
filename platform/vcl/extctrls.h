// TTimer: OnTimer every Interval milliseconds on the thread that created the timer;
// panels, images and shapes.
#pragma once

#include <memory>

#include "platform/rtl/classes.h"
#include "platform/rtl/events.h"
#include "platform/vcl/controls.h"
#include "platform/vcl/graphics.h"
#include "platform/win/messages.h"

class TTimer : public TComponent {
  VX_CLASS(TTimer, TComponent)

 public:
  explicit TTimer(TComponent* AOwner);
  ~TTimer() override;

  // The timer runs while it is enabled, has a non-zero interval and an OnTimer
  // handler; changing any of them starts the period anew.
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool Value);
  Cardinal Interval() const { return interval_; }
  void SetInterval(Cardinal Value);
  TNotifyEvent OnTimer() const { return onTimer_; }
  void SetOnTimer(TNotifyEvent Value);

 protected:
  // Raises OnTimer; an exception goes to Application->HandleException.
  virtual void Timer();

 private:
  void UpdateTimer();
  void WndProc(TMessage& Msg);

  HWND window_;
  bool enabled_ = true;
  Cardinal interval_ = 1000;
  TNotifyEvent onTimer_;
};

// ---- Panels ----

// A container with raised or lowered bevels and a centred caption; its children are
// aligned inside the bevels.
class TCustomPanel : public TCustomControl {
  VX_CLASS(TCustomPanel, TCustomControl)

 public:
  explicit TCustomPanel(TComponent* AOwner);

  TBevelCut BevelOuter() const { return bevelOuter_; }
  void SetBevelOuter(TBevelCut Value);
  TBevelCut BevelInner() const { return bevelInner_; }
  void SetBevelInner(TBevelCut Value);
  TBevelWidth BevelWidth() const { return bevelWidth_; }
  void SetBevelWidth(TBevelWidth Value);
  // bsSingle: a one-pixel frame around the panel.
  TBorderStyle BorderStyle() const { return borderStyle_; }
  void SetBorderStyle(TBorderStyle Value);
  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment Value);

 protected:
  void Paint() override;
  void AdjustClientRect(TRect& Rect) override;

  VX_MESSAGE_MAP(TCustomPanel, TCustomControl)
  VX_MESSAGE_HANDLER(CM_TEXTCHANGED, CMTextChanged)
  VX_END_MESSAGE_MAP

  void CMTextChanged(TMessage& /*Message*/) { Invalidate(); }

 private:
  TBevelCut bevelOuter_ = bvRaised;
  TBevelCut bevelInner_ = bvNone;
  TBevelWidth bevelWidth_ = 1;
  TBorderStyle borderStyle_ = bsNone;
  TAlignment alignment_ = taCenter;
};

class TPanel : public TCustomPanel {
  VX_CLASS(TPanel, TCustomPanel)

 public:
  explicit TPanel(TComponent* AOwner) : TCustomPanel(AOwner) {}
  ~TPanel() override;
};

// ---- Images ----

// Shows its picture at (0, 0), centred or stretched to the control. AutoSize fits the
// control to the picture; Transparent makes the graphic transparent.
class TImage : public TGraphicControl {
  VX_CLASS(TImage, TGraphicControl)

 public:
  explicit TImage(TComponent* AOwner);
  ~TImage() override;

  TPicture* Picture() const { return picture_.get(); }
  void SetPicture(TPicture* Value) { picture_->Assign(Value); }
  bool Stretch() const { return stretch_; }
  void SetStretch(bool Value);
  bool Center() const { return center_; }
  void SetCenter(bool Value);
  bool Proportional() const { return proportional_; }
  void SetProportional(bool Value);
  bool Transparent() const { return transparent_; }
  void SetTransparent(bool Value);
  bool AutoSize() const { return autoSize_; }
  void SetAutoSize(bool Value);

 protected:
  void Paint() override;
  // Where the picture is drawn, in client coordinates.
  TRect DestRect() const;
  virtual void PictureChanged(TObject* Sender);

 private:
  std::unique_ptr<TPicture> picture_;
  bool stretch_ = false;
  bool center_ = false;
  bool proportional_ = false;
  bool transparent_ = false;
  bool autoSize_ = false;
  bool drawing_ = false;
};

// ---- Shapes ----

enum TShapeType { stRectangle, stSquare, stRoundRect, stRoundSquare, stEllipse, stCircle };

// A rectangle, ellipse or their square and rounded kinds, outlined with Pen and filled
// with Brush.
class TShape : public TGraphicControl {
  VX_CLASS(TShape, TGraphicControl)

 public:
  explicit TShape(TComponent* AOwner);
  ~TShape() override;

  TPen* Pen() const { return pen_.get(); }
  void SetPen(TPen* Value) { pen_->Assign(Value); }
  TBrush* Brush() const { return brush_.get(); }
  void SetBrush(TBrush* Value) { brush_->Assign(Value); }
  TShapeType Shape() const { return shape_; }
  void SetShape(TShapeType Value);

 protected:
  void Paint() override;

 private:
  void StyleChanged(TObject* /*Sender*/) { Invalidate(); }

  std::unique_ptr<TPen> pen_;
  std::unique_ptr<TBrush> brush_;
  TShapeType shape_ = stRectangle;
};
