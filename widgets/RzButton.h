// The base of the widget set's owner-drawn buttons: press tracking with its own
// clicks, hot tracking, a transparent background and a caption painter with raised,
// recessed and shadowed text.
#pragma once

#include "platform/vcl/controls.h"
#include "platform/win/messages.h"

enum TAlignmentVertical { avTop, avCenter, avBottom };
enum TRzHotTrackColorType { htctComplement, htctActual };
enum TTextStyle { tsNormal, tsRaised, tsRecessed, tsShadow };

class TRzCustomButton : public TCustomControl {
  VX_CLASS(TRzCustomButton, TCustomControl)

 public:
  explicit TRzCustomButton(TComponent* AOwner);
  ~TRzCustomButton() override;

  TAlignmentVertical AlignmentVertical() const { return alignmentVertical_; }
  virtual void SetAlignmentVertical(TAlignmentVertical Value);
  bool HotTrack() const { return hotTrack_; }
  virtual void SetHotTrack(bool Value);
  TColor HighlightColor() const { return highlightColor_; }
  virtual void SetHighlightColor(TColor Value);
  TColor HotTrackColor() const { return hotTrackColor_; }
  void SetHotTrackColor(TColor Value);
  TRzHotTrackColorType HotTrackColorType() const { return hotTrackColorType_; }
  void SetHotTrackColorType(TRzHotTrackColorType Value);
  bool LightTextStyle() const { return lightTextStyle_; }
  virtual void SetLightTextStyle(bool Value);
  TTextStyle TextStyle() const { return textStyle_; }
  virtual void SetTextStyle(TTextStyle Value);
  TColor TextHighlightColor() const { return textHighlightColor_; }
  virtual void SetTextHighlightColor(TColor Value);
  TColor TextShadowColor() const { return textShadowColor_; }
  virtual void SetTextShadowColor(TColor Value);
  int TextShadowDepth() const { return textShadowDepth_; }
  virtual void SetTextShadowDepth(int Value);
  bool ThemeAware() const { return themeAware_; }
  virtual void SetThemeAware(bool Value);
  bool Transparent() const { return transparent_; }
  virtual void SetTransparent(bool Value);

  void Click() override;

  // A press is being tracked; the pressed picture shows; the mouse is over the control.
  bool Dragging() const { return dragging_; }
  bool PressedLook() const { return pressedLook_; }
  bool MouseOver() const { return mouseOver_; }

 protected:
  virtual void PressedLookChanged() {}
  virtual void RedrawNow() { Repaint(); }
  // The part that changes when the mouse comes or goes.
  virtual TRect HotArea();
  virtual void DrawCaptionText(TCanvas* Canvas, const TRect& Rect, UINT Flags);
  // What a press released inside the control does.
  virtual void ToggleAction() = 0;
  virtual void MouseEnterNotify();
  virtual void MouseLeaveNotify();

  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void MouseMove(TShiftState Shift, int X, int Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  // Themes are on and the control follows them.
  bool ThemesInUse() const;
  void SetPressedLook(bool Value) { pressedLook_ = Value; }

  VX_MESSAGE_MAP(TRzCustomButton, TCustomControl)
  VX_MESSAGE_HANDLER(CM_MOUSEENTER, CMMouseEnter)
  VX_MESSAGE_HANDLER(CM_MOUSELEAVE, CMMouseLeave)
  VX_MESSAGE_HANDLER(WM_SETFOCUS, WMSetFocus)
  VX_MESSAGE_HANDLER(WM_KILLFOCUS, WMKillFocus)
  VX_MESSAGE_HANDLER(WM_ERASEBKGND, WMEraseBkgnd)
  VX_MESSAGE_HANDLER(CM_ENABLEDCHANGED, CMEnabledChanged)
  VX_MESSAGE_HANDLER(CM_TEXTCHANGED, CMTextChanged)
  VX_END_MESSAGE_MAP

 protected:
  void CMMouseEnter(TMessage& Message);
  void CMMouseLeave(TMessage& Message);
  void WMSetFocus(TMessage& Message);
  void WMKillFocus(TMessage& Message);
  void WMEraseBkgnd(TMessage& Message);
  void CMEnabledChanged(TMessage& Message);
  void CMTextChanged(TMessage& Message);

 private:
  TAlignmentVertical alignmentVertical_ = avCenter;
  bool hotTrack_ = false;
  TColor highlightColor_ = clHighlight;
  TColor hotTrackColor_ = clHighlight;
  TRzHotTrackColorType hotTrackColorType_ = htctComplement;
  bool lightTextStyle_ = false;
  TTextStyle textStyle_ = tsNormal;
  TColor textHighlightColor_ = clBtnHighlight;
  TColor textShadowColor_ = clBtnShadow;
  int textShadowDepth_ = 2;
  bool themeAware_ = true;
  bool transparent_ = false;
  bool dragging_ = false;
  bool mouseOver_ = false;
  bool pressedLook_ = false;
};
