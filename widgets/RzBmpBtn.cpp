#include "widgets/RzBmpBtn.h"

#include "platform/rtl/typinfo.h"
#include "platform/win/sync.h"
#include "widgets/RzGrafx.h"

// ---- TRzButtonBitmaps ----

TRzButtonBitmaps::TRzButtonBitmaps()
    : up_(MakeBitmap()),
      upAndFocused_(MakeBitmap()),
      disabled_(MakeBitmap()),
      down_(MakeBitmap()),
      stayDown_(MakeBitmap()),
      hot_(MakeBitmap()) {}

TRzButtonBitmaps::~TRzButtonBitmaps() = default;

std::unique_ptr<TBitmap> TRzButtonBitmaps::MakeBitmap() {
  auto b = std::make_unique<TBitmap>();
  b->OnChange = TNotifyEvent(this, &TRzButtonBitmaps::BitmapChanged);
  return b;
}

void TRzButtonBitmaps::BitmapChanged(TObject*) { OnChange(this); }

void TRzButtonBitmaps::Assign(TPersistent* Source) {
  auto* src = ::As<TRzButtonBitmaps>(Source);
  if (!src) {
    TPersistent::Assign(Source);
    return;
  }
  SetUp(src->Up());
  SetUpAndFocused(src->UpAndFocused());
  SetDisabled(src->Disabled());
  SetDown(src->Down());
  SetStayDown(src->StayDown());
  SetHot(src->Hot());
  SetTransparentColor(src->TransparentColor());
}

void TRzButtonBitmaps::SetUp(TBitmap* Value) { up_->Assign(Value); }
void TRzButtonBitmaps::SetUpAndFocused(TBitmap* Value) { upAndFocused_->Assign(Value); }
void TRzButtonBitmaps::SetDisabled(TBitmap* Value) { disabled_->Assign(Value); }
void TRzButtonBitmaps::SetDown(TBitmap* Value) { down_->Assign(Value); }
void TRzButtonBitmaps::SetStayDown(TBitmap* Value) { stayDown_->Assign(Value); }
void TRzButtonBitmaps::SetHot(TBitmap* Value) { hot_->Assign(Value); }

void TRzButtonBitmaps::SetTransparentColor(TColor Value) {
  SetAndNotify(transparentColor_, Value, [this] { OnChange(this); });
}

// ---- The shared down pattern ----

namespace {

std::unique_ptr<TBitmap>& PatternSlot() {
  static std::unique_ptr<TBitmap> pattern;
  return pattern;
}
int g_liveButtons = 0;

bool HasImage(TBitmap* B) { return B && !B->Empty(); }

// What code that knows properties by name (a frame controller) may set.
const bool kPublished = [] {
  PublishOrdinal<TRzBmpButton>("Color", &TRzBmpButton::Color, &TRzBmpButton::SetColor);
  return true;
}();

}  // namespace

TBitmap* DownPatternBitmap() {
  auto& slot = PatternSlot();
  if (!slot) {
    slot = std::make_unique<TBitmap>();
    slot->SetSize(8, 8);
    TCanvas* c = slot->Canvas();
    c->Brush()->SetColor(clBtnFace);
    c->FillRect(TRect{0, 0, 8, 8});
    for (int y = 0; y < 8; ++y)
      for (int x = 0; x < 8; ++x)
        if ((x % 2) == (y % 2)) c->SetPixels(x, y, clWhite);
  }
  return slot.get();
}

// ---- TRzBmpButton ----

TRzBmpButton::TRzBmpButton(TComponent* AOwner)
    : TCustomControl(AOwner), bitmaps_(std::make_unique<TRzButtonBitmaps>()) {
  ++g_liveButtons;
  SetControlStyle(TControlStyle{csCaptureMouse, csOpaque, csDoubleClicks});
  bitmaps_->OnChange = TNotifyEvent(this, &TRzBmpButton::BitmapsChanged);
  TControl::SetColor(clBtnFace);
  SetParentFont(true);
  SetTabStop(true);
  SetBounds(Left(), Top(), 80, 30);
}

TRzBmpButton::~TRzBmpButton() {
  if (--g_liveButtons == 0) PatternSlot().reset();
}

void TRzBmpButton::Loaded() {
  TCustomControl::Loaded();
  SizeToBitmap();
}

void TRzBmpButton::BitmapsChanged(TObject*) {
  if (buttonSize_ == bszButtonToBitmap) SizeToBitmap();
  Invalidate();
}

void TRzBmpButton::SizeToBitmap() {
  if (ComponentState().Contains(csLoading) || buttonSize_ == bszNeither || !HasImage(bitmaps_->Up())) return;
  if (buttonSize_ == bszButtonToBitmap) {
    int border = 0;
    if (buttonBorder_ == bbSingle)
      border = 1;
    else if (buttonBorder_ == bbButton)
      border = buttonStyle_ == bsNew || (buttonStyle_ == bsAutoDetect && NewStyleControls) ? 2 : 3;
    const int w = bitmaps_->Up()->Width() + 2 * border, h = bitmaps_->Up()->Height() + 2 * border;
    if (w != Width() || h != Height()) SetBounds(Left(), Top(), w, h);
  }
  Invalidate();
}

void TRzBmpButton::WMSize(TMessage&) { SizeToBitmap(); }

void TRzBmpButton::SetCaptionDownOffset(int Value) {
  SetAndNotify(captionDownOffset_, Value, [this] { Invalidate(); });
}
void TRzBmpButton::SetLayout(TButtonLayout Value) { SetAndNotify(layout_, Value, [this] { Invalidate(); }); }
void TRzBmpButton::SetShowDownPattern(bool Value) { SetAndNotify(showDownPattern_, Value, [this] { Invalidate(); }); }
void TRzBmpButton::SetShowFocus(bool Value) { SetAndNotify(showFocus_, Value, [this] { Invalidate(); }); }
void TRzBmpButton::SetSpacing(int Value) { SetAndNotify(spacing_, Value, [this] { Invalidate(); }); }

void TRzBmpButton::SetColor(TColor Value) {
  if (Color() == Value) return;
  TControl::SetColor(Value);
  Invalidate();
}

void TRzBmpButton::SetMargin(int Value) {
  if (Value >= -1) SetAndNotify(margin_, Value, [this] { Invalidate(); });
}

void TRzBmpButton::SetButtonBorder(TButtonBorder Value) {
  SetAndNotify(buttonBorder_, Value, [this] { SizeToBitmap(); Invalidate(); });
}

void TRzBmpButton::SetButtonSize(TBtnSize Value) {
  SetAndNotify(buttonSize_, Value, [this] { SizeToBitmap(); Invalidate(); });
}

void TRzBmpButton::SetButtonStyle(TButtonStyle Value) {
  SetAndNotify(buttonStyle_, Value, [this] { SizeToBitmap(); Invalidate(); });
}

void TRzBmpButton::SetAllowAllUp(bool Value) { SetAndNotify(allowAllUp_, Value, [this] { UpdateExclusive(); }); }

void TRzBmpButton::SetGroupIndex(int Value) { SetAndNotify(groupIndex_, Value, [this] { UpdateExclusive(); }); }

void TRzBmpButton::SetDown(bool Value) {
  if (groupIndex_ == 0) Value = false;
  if (Value == down_) return;
  if (down_ && !allowAllUp_) return;
  down_ = Value;
  state_ = Value ? bsExclusive : bsUp;
  Invalidate();
  if (Value) UpdateExclusive();
}

void TRzBmpButton::UpdateExclusive() {
  if (groupIndex_ != 0 && Parent()) {
    TMessage m{CM_RZBUTTONPRESSED, WPARAM(groupIndex_), LPARAM(this), 0};
    Parent()->Broadcast(m);
  } else {
    state_ = bsUp;
  }
}

void TRzBmpButton::CMButtonPressed(TMessage& Message) {
  if (Message.WParam != WPARAM(groupIndex_)) return;
  auto* sender = reinterpret_cast<TRzBmpButton*>(Message.LParam);
  if (!sender || sender == this) return;
  if (sender->Down() && down_) {
    down_ = false;
    state_ = bsUp;
    Invalidate();
  }
  allowAllUp_ = sender->AllowAllUp();
}

void TRzBmpButton::Click() {
  if (TCustomForm* form = GetParentForm(this)) form->SetModalResult(modalResult_);
  TCustomControl::Click();
}

bool TRzBmpButton::Inside(int X, int Y) const {
  return X >= 0 && X < ClientWidth() && Y >= 0 && Y <= ClientHeight();
}

void TRzBmpButton::KeyDown(WORD& Key, TShiftState Shift) {
  TCustomControl::KeyDown(Key, Shift);
  if (Key == VK_RETURN) {
    Click();
  } else if (Key == VK_SPACE && Enabled()) {
    if (!down_) {
      state_ = bsDown;
      Repaint();
    }
    pressing_ = true;
  }
}

void TRzBmpButton::KeyUp(WORD& Key, TShiftState Shift) {
  TCustomControl::KeyUp(Key, Shift);
  if (!pressing_) return;
  pressing_ = false;
  state_ = bsUp;
  FinishPress(true);
}

void TRzBmpButton::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TCustomControl::MouseDown(Button, Shift, X, Y);
  if (Enabled() && !Focused() && Showing() && CanFocus()) SetFocus();
  if (Button == mbLeft && Enabled() && Focused()) {
    if (!down_) {
      state_ = bsDown;
      Repaint();
    }
    pressing_ = true;
  }
}

void TRzBmpButton::MouseMove(TShiftState Shift, int X, int Y) {
  TCustomControl::MouseMove(Shift, X, Y);
  if (!pressing_) return;
  const TButtonState next = down_ ? bsExclusive : Inside(X, Y) ? bsDown : bsUp;
  if (next != state_) {
    state_ = next;
    Repaint();
  }
}

void TRzBmpButton::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TCustomControl::MouseUp(Button, Shift, X, Y);
  if (!pressing_) return;
  pressing_ = false;
  FinishPress(Inside(X, Y));
}

// Ends a press: the group hears of it (or the state goes back up), a grouped button
// toggles when released inside, and an inside release clicks.
void TRzBmpButton::FinishPress(bool InsideRelease) {
  UpdateExclusive();
  if (groupIndex_ != 0) {
    if (InsideRelease) SetDown(!down_);
    if (down_) state_ = bsExclusive;
  }
  Repaint();
  if (InsideRelease) Click();
}

void TRzBmpButton::CMDialogChar(TMessage& Message) {
  if (IsAccel(WORD(Message.WParam), Caption()) && Enabled()) {
    Click();
    Message.Result = 1;
    return;
  }
  MessageMapBase::Dispatch(Message);
}

void TRzBmpButton::WMLButtonDblClk(TMessage& Message) {
  MessageMapBase::Dispatch(Message);
  if (down_) DblClick();
}

void TRzBmpButton::WMSetFocus(TMessage& Message) {
  MessageMapBase::Dispatch(Message);
  hasFocus_ = true;
  Invalidate();
}

void TRzBmpButton::WMKillFocus(TMessage& Message) {
  MessageMapBase::Dispatch(Message);
  hasFocus_ = false;
  Invalidate();
}

void TRzBmpButton::MouseEnterNotify() {
  mouseInside_ = true;
  TMessage m{CM_MOUSEENTER, 0, 0, 0};
  TControl::CMMouseEnter(m);
}

void TRzBmpButton::MouseLeaveNotify() {
  mouseInside_ = false;
  TMessage m{CM_MOUSELEAVE, 0, 0, 0};
  TControl::CMMouseLeave(m);
}

void TRzBmpButton::CMMouseEnter(TMessage&) {
  if (ComponentState().Contains(csDesigning)) return;
  MouseEnterNotify();
  if (HasImage(bitmaps_->Hot())) Invalidate();
}

void TRzBmpButton::CMMouseLeave(TMessage&) {
  MouseLeaveNotify();
  if (HasImage(bitmaps_->Hot())) Invalidate();
}

void TRzBmpButton::CMInvalidate(TMessage& Message) {
  MessageMapBase::Dispatch(Message);
  Invalidate();
}

void TRzBmpButton::CMFontChanged(TMessage& Message) {
  MessageMapBase::Dispatch(Message);
  Invalidate();
}

HPALETTE TRzBmpButton::GetPalette() { return bitmaps_->Up()->Palette(); }

TBitmap* TRzBmpButton::ChoosePicture(std::unique_ptr<TBitmap>& Made) {
  TRzButtonBitmaps* b = bitmaps_.get();
  switch (state_) {
    case bsUp:
      if (mouseInside_ && HasImage(b->Hot())) return b->Hot();
      if (hasFocus_ && showFocus_ && HasImage(b->UpAndFocused())) return b->UpAndFocused();
      return b->Up();
    case bsDisabled: {
      if (HasImage(b->Disabled())) return b->Disabled();
      // A greyed picture: the dark parts of Up embossed in shadow and white.
      TBitmap* up = b->Up();
      const int w = up->Width(), h = up->Height();
      TBitmap mono;
      mono.Assign(up);
      if (mono.Monochrome()) {
        mono.Canvas()->Font()->SetColor(clWhite);
        mono.Canvas()->Brush()->SetColor(clWhite);
        mono.SetMonochrome(false);
      }
      mono.Canvas()->Brush()->SetColor(clBlack);
      mono.SetMonochrome(true);
      Made = std::make_unique<TBitmap>();
      Made->SetSize(w, h);
      TCanvas* c = Made->Canvas();
      c->Brush()->SetColor(clBtnFace);
      c->FillRect(TRect{0, 0, w, h});
      c->Brush()->SetColor(clBlack);
      c->Font()->SetColor(clWhite);
      c->SetCopyMode(cmMergePaint);
      c->Draw(1, 1, &mono);
      c->SetCopyMode(cmSrcAnd);
      c->Draw(0, 0, &mono);
      c->Brush()->SetColor(clBtnShadow);
      c->Font()->SetColor(clBlack);
      c->SetCopyMode(cmSrcPaint);
      c->Draw(0, 0, &mono);
      c->SetCopyMode(cmSrcCopy);
      return Made.get();
    }
    case bsDown: return HasImage(b->Down()) ? b->Down() : b->Up();
    case bsExclusive:
      if (HasImage(b->StayDown())) return b->StayDown();
      if (HasImage(b->Down())) return b->Down();
      return b->Up();
  }
  return b->Up();
}

void TRzBmpButton::Paint() {
  TBitmap face;
  face.SetSize(Width(), Height());
  TCanvas* p = face.Canvas();
  const bool designing = ComponentState().Contains(csDesigning);
  if (!Enabled() && !designing) {
    state_ = bsDisabled;
    pressing_ = false;
  } else if (Enabled() && state_ == bsDisabled) {
    state_ = bsUp;
  }
  const bool newStyle = buttonStyle_ == bsNew || (buttonStyle_ == bsAutoDetect && NewStyleControls);
  const int bevel = newStyle ? 1 : 2;
  TRect r = ClientRect();
  p->Brush()->SetColor(Color());

  switch (buttonBorder_) {
    case bbNone:
      PaintParentBackground(this, p, false);
      Sleep(10);
      if (designing) {
        p->Pen()->SetStyle(psDot);
        p->Brush()->SetStyle(bsClear);
        p->Rectangle(r);
        p->Pen()->SetStyle(psSolid);
        p->Brush()->SetStyle(bsSolid);
      }
      break;
    case bbSingle:
      p->Brush()->SetColor(Color());
      p->FillRect(r);
      p->Brush()->SetColor(clBlack);
      p->FrameRect(r);
      InflateRect(&r, -1, -1);
      break;
    case bbButton:
      DrawButtonFace(p, r, bevel, buttonStyle_, !newStyle, state_ == bsDown || state_ == bsExclusive,
                     hasFocus_ && showFocus_);
      InflateRect(&r, -1, -1);
      break;
  }

  if (state_ == bsExclusive) {
    if (showDownPattern_)
      p->Brush()->SetBitmap(DownPatternBitmap());
    else
      p->Brush()->SetColor(Color());
    if (buttonBorder_ != bbNone) {
      TRect fill = r;
      InflateRect(&fill, bevel, bevel);
      p->FillRect(fill);
    }
    p->Brush()->SetBitmap(nullptr);
  }

  std::unique_ptr<TBitmap> made;
  TBitmap* picture = nullptr;
  if (HasImage(bitmaps_->Up()) || (HasImage(bitmaps_->Disabled()) && state_ == bsDisabled))
    picture = ChoosePicture(made);

  // Layout of picture and caption.
  const TPoint client{r.right - r.left, r.bottom - r.top};
  TPoint text{0, 0};
  if (!Caption().empty()) {
    TRect calc{0, 0, client.x, 0};
    p->SetFont(Font());
    DrawText(p->Handle(), Caption().c_str(), int(Caption().size()), &calc, DT_CALCRECT);
    text = TPoint{calc.right - calc.left, calc.bottom - calc.top};
  }
  TPoint glyph{0, 0};
  if (buttonSize_ == bszNeither && picture) glyph = TPoint{picture->Width(), picture->Height()};
  TPoint gpos{0, 0}, tpos{0, 0};
  const bool horizontal = layout_ == blGlyphLeft || layout_ == blGlyphRight;
  if (horizontal) {
    gpos.y = client.y / 2 - glyph.y / 2;
    tpos.y = client.y / 2 - text.y / 2;
  } else {
    gpos.x = client.x / 2 - glyph.x / 2;
    tpos.x = client.x / 2 - text.x / 2;
  }
  int spacing = spacing_, margin = margin_;
  if (text.x == 0 || glyph.x == 0) spacing = 0;
  const int c = horizontal ? client.x : client.y, g = horizontal ? glyph.x : glyph.y, t = horizontal ? text.x : text.y;
  if (margin == -1 && spacing == -1) {
    margin = (c - (g + t)) / 3;
    spacing = margin;
  } else if (margin == -1) {
    margin = c / 2 - (g + spacing + t) / 2;
  } else if (spacing == -1) {
    spacing = (c - (margin + g)) / 2 - t / 2;
  }
  switch (layout_) {
    case blGlyphLeft:
      gpos.x = margin;
      tpos.x = margin + glyph.x + spacing;
      break;
    case blGlyphRight:
      gpos.x = client.x - margin - glyph.x;
      tpos.x = gpos.x - spacing - text.x;
      break;
    case blGlyphTop:
      gpos.y = margin;
      tpos.y = margin + glyph.y + spacing;
      break;
    case blGlyphBottom:
      gpos.y = client.y - margin - glyph.y;
      tpos.y = gpos.y - spacing - text.y;
      break;
  }
  TRect textRect{tpos.x + r.left, tpos.y + r.top, tpos.x + r.left + text.x, tpos.y + r.top + text.y};
  const TRect glyphRect = glyph.x != 0 || glyph.y != 0
                              ? TRect{gpos.x + r.left, gpos.y + r.top, gpos.x + r.left + glyph.x,
                                      gpos.y + r.top + glyph.y}
                              : r;

  if (picture) {
    const TColor key = bitmaps_->TransparentColor();
    const TRect whole{0, 0, picture->Width(), picture->Height()};
    switch (buttonSize_) {
      case bszNeither: BlitMasked(p, picture, glyphRect, key, whole); break;
      case bszButtonToBitmap: BlitTransparent(p, picture, glyphRect, key, whole); break;
      case bszStretchToButton: StretchMasked(p, picture, glyphRect, key); break;
      case bszTileToButton: TileMasked(p, picture, glyphRect, key); break;
    }
  }

  if (!Caption().empty()) {
    p->SetFont(Font());
    p->Brush()->SetStyle(bsClear);
    const UINT flags = DT_SINGLELINE | DT_VCENTER | DT_CENTER;
    auto draw = [&](TColor Colour, TRect At) {
      p->Font()->SetColor(Colour);
      DrawText(p->Handle(), Caption().c_str(), int(Caption().size()), &At, flags);
    };
    if (state_ == bsDisabled) {
      TRect shifted = textRect;
      OffsetRect(&shifted, 1, 1);
      draw(clWhite, shifted);
      draw(TColor(0x808080), textRect);
    } else {
      if (state_ == bsDown || state_ == bsExclusive) OffsetRect(&textRect, captionDownOffset_, captionDownOffset_);
      draw(Font()->Color(), textRect);
    }
    p->Brush()->SetStyle(bsSolid);
    if (hasFocus_ && showFocus_) {
      p->Brush()->SetColor(clBtnFace);
      TRect focus = textRect;
      InflateRect(&focus, 2, 2);
      p->DrawFocusRect(focus);
    }
  }
  Canvas()->SetCopyMode(cmSrcCopy);
  Canvas()->Draw(0, 0, &face);
}
