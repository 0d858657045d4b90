#include "widgets/RzButton.h"

#include "platform/vcl/forms.h"
#include "platform/vcl/themes.h"
#include "widgets/RzGrafx.h"

TRzCustomButton::TRzCustomButton(TComponent* AOwner) : TCustomControl(AOwner) {
  SetControlStyle(TControlStyle{csCaptureMouse, csSetCaption, csDoubleClicks, csReplicatable, csReflector});
  SetBounds(Left(), Top(), 115, 17);
  SetTabStop(true);
}

TRzCustomButton::~TRzCustomButton() = default;

void TRzCustomButton::SetAlignmentVertical(TAlignmentVertical Value) {
  SetAndNotify(alignmentVertical_, Value, [this] { Invalidate(); });
}
void TRzCustomButton::SetHotTrack(bool Value) { SetAndNotify(hotTrack_, Value, [this] { Invalidate(); }); }
void TRzCustomButton::SetHighlightColor(TColor Value) {
  SetAndNotify(highlightColor_, Value, [this] { Invalidate(); });
}
void TRzCustomButton::SetHotTrackColor(TColor Value) { SetAndNotify(hotTrackColor_, Value, [this] { Invalidate(); }); }
void TRzCustomButton::SetHotTrackColorType(TRzHotTrackColorType Value) {
  SetAndNotify(hotTrackColorType_, Value, [this] { Invalidate(); });
}
void TRzCustomButton::SetLightTextStyle(bool Value) { SetAndNotify(lightTextStyle_, Value, [this] { Invalidate(); }); }
void TRzCustomButton::SetTextStyle(TTextStyle Value) { SetAndNotify(textStyle_, Value, [this] { Invalidate(); }); }
void TRzCustomButton::SetTextHighlightColor(TColor Value) {
  SetAndNotify(textHighlightColor_, Value, [this] { Invalidate(); });
}
void TRzCustomButton::SetTextShadowColor(TColor Value) {
  SetAndNotify(textShadowColor_, Value, [this] { Invalidate(); });
}
void TRzCustomButton::SetTextShadowDepth(int Value) { SetAndNotify(textShadowDepth_, Value, [this] { Invalidate(); }); }
void TRzCustomButton::SetThemeAware(bool Value) { SetAndNotify(themeAware_, Value, [this] { Invalidate(); }); }
void TRzCustomButton::SetTransparent(bool Value) { SetAndNotify(transparent_, Value, [this] { Invalidate(); }); }

void TRzCustomButton::Click() { TCustomControl::Click(); }

bool TRzCustomButton::ThemesInUse() const { return themeAware_ && ThemeServices()->ThemesEnabled(); }

TRect TRzCustomButton::HotArea() { return ClientRect(); }

void TRzCustomButton::MouseEnterNotify() {
  mouseOver_ = true;
  TMessage m{CM_MOUSEENTER, 0, 0, 0};
  TControl::CMMouseEnter(m);
}

void TRzCustomButton::MouseLeaveNotify() {
  mouseOver_ = false;
  TMessage m{CM_MOUSELEAVE, 0, 0, 0};
  TControl::CMMouseLeave(m);
}

void TRzCustomButton::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TCustomControl::MouseDown(Button, Shift, X, Y);
  if (Button != mbLeft || !Enabled()) return;
  if (CanFocus()) SetFocus();
  if (Focused()) {
    pressedLook_ = true;
    PressedLookChanged();
    dragging_ = true;
  }
}

void TRzCustomButton::MouseMove(TShiftState Shift, int X, int Y) {
  TCustomControl::MouseMove(Shift, X, Y);
  if (!dragging_) return;
  // The bottom edge counts as inside, the right edge does not.
  const bool inside = X >= 0 && X < ClientWidth() && Y >= 0 && Y <= ClientHeight();
  if (inside != pressedLook_) {
    pressedLook_ = inside;
    PressedLookChanged();
  }
}

void TRzCustomButton::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TCustomControl::MouseUp(Button, Shift, X, Y);
  if (!dragging_) return;
  dragging_ = false;
  pressedLook_ = false;
  const TRect client{0, 0, ClientWidth(), ClientHeight()};
  if (PtInRect(&client, TPoint{X, Y})) ToggleAction();
  PressedLookChanged();
}

void TRzCustomButton::CMMouseEnter(TMessage& Message) {
  if (ComponentState().Contains(csDesigning)) return;
  MouseEnterNotify();
  if (hotTrack_ || ThemesInUse()) InvalidateRect(HotArea());
}

void TRzCustomButton::CMMouseLeave(TMessage& Message) {
  MouseLeaveNotify();
  if (hotTrack_ || ThemesInUse()) InvalidateRect(HotArea());
}

void TRzCustomButton::WMSetFocus(TMessage& Message) {
  MessageMapBase::Dispatch(Message);
  RedrawNow();
}

void TRzCustomButton::WMKillFocus(TMessage& Message) {
  MessageMapBase::Dispatch(Message);
  RedrawNow();
}

void TRzCustomButton::WMEraseBkgnd(TMessage& Message) {
  if (transparent_) {
    PaintParentBackground(this, reinterpret_cast<HDC>(Message.WParam), true);
    Message.Result = 1;
  } else {
    MessageMapBase::Dispatch(Message);
  }
}

void TRzCustomButton::CMEnabledChanged(TMessage& Message) {
  MessageMapBase::Dispatch(Message);
  if (!Enabled() && Parent())
    if (TCustomForm* form = GetParentForm(this)) form->DefocusControl(this, false);
  if (HandleAllocated() && !ComponentState().Contains(csDesigning)) EnableWindow(Handle(), Enabled());
  Invalidate();
}

void TRzCustomButton::CMTextChanged(TMessage& Message) {
  MessageMapBase::Dispatch(Message);
  Repaint();
}

void TRzCustomButton::DrawCaptionText(TCanvas* Canvas, const TRect& Rect, UINT Flags) {
  const std::string& text = Caption();
  Canvas->Brush()->SetStyle(bsClear);
  Canvas->SetFont(Font());
  TRect r = Rect;
  TRect measure = Rect;
  const int h = DrawText(Canvas->Handle(), text.c_str(), int(text.size()), &measure,
                         DT_CALCRECT | DT_EXPANDTABS | DT_WORDBREAK | DT_VCENTER | DT_CENTER);
  switch (alignmentVertical_) {
    case avCenter:
      r.top = (r.top + r.bottom - h) / 2;
      r.bottom = r.top + h;
      break;
    case avBottom: r.top = r.bottom - h - 1; break;
    case avTop: break;
  }
  Flags = DrawTextBiDiModeFlags(Flags);
  auto draw = [&](TColor Color, int DX, int DY) {
    Canvas->Font()->SetColor(Color);
    TRect moved = r;
    OffsetRect(&moved, DX, DY);
    DrawText(Canvas->Handle(), text.c_str(), int(text.size()), &moved, Flags);
  };
  if (Enabled()) {
    const TColor fontColor = Font()->Color();
    if (textStyle_ == tsRaised || textStyle_ == tsRecessed) {
      const TColor a = textStyle_ == tsRaised ? textHighlightColor_ : textShadowColor_;
      const TColor b = textStyle_ == tsRaised ? textShadowColor_ : textHighlightColor_;
      if (textStyle_ == tsRecessed || !lightTextStyle_) draw(b, 1, 1);
      if (textStyle_ == tsRaised || !lightTextStyle_) draw(a, -1, -1);
    } else if (textStyle_ == tsShadow) {
      if (Flags & DT_RIGHT)
        draw(textShadowColor_, 0, textShadowDepth_);
      else
        draw(textShadowColor_, textShadowDepth_, textShadowDepth_);
    }
    if (Flags & DT_RIGHT) OffsetRect(&r, -textShadowDepth_, 0);
    draw(fontColor, 0, 0);
  } else {
    draw(clBtnHighlight, 1, 1);
    draw(clBtnShadow, 0, 0);
  }
  Canvas->Brush()->SetStyle(bsSolid);
}
