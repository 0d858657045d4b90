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

namespace {

// A greyed picture made from Up: its dark parts embossed in shadow and white.
std::unique_ptr<TBitmap> GreyedPicture(TBitmap* Up) {
  const int w = Up->Width(), h = Up->Height();
  TBitmap mono;
  mono.Assign(Up);
  if (mono.Monochrome()) {
    mono.Canvas()->Font()->SetColor(clWhite);
    mono.Canvas()->Brush()->SetColor(clWhite);
    mono.SetMonochrome(false);
  }
  mono.Canvas()->Brush()->SetColor(clBlack);
  mono.SetMonochrome(true);
  auto made = std::make_unique<TBitmap>();
  made->SetSize(w, h);
  TCanvas* c = made->Canvas();
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
  return made;
}

struct TFaceLayout {
  TRect glyph;  // R itself for a picture without a size of its own
  TRect text;
};

// Places a picture of size Glyph and a caption of size Text inside R, side by side
// along the layout's axis and centred across it. Margin is the room between the
// picture and its edge, Spacing the room between picture and caption; -1 shares the
// free room out evenly.
// Halvings truncate toward zero.
TFaceLayout LayoutFace(const TRect& R, TPoint Glyph, TPoint Text, TButtonLayout Layout, int Margin, int Spacing) {
  const TPoint client{R.right - R.left, R.bottom - R.top};
  const bool horizontal = Layout == blGlyphLeft || Layout == blGlyphRight;
  // Sizes along the layout's axis (c, g, t) and across it.
  auto along = [horizontal](TPoint P) { return horizontal ? P.x : P.y; };
  auto across = [horizontal](TPoint P) { return horizontal ? P.y : P.x; };
  const int c = along(client), g = along(Glyph), t = along(Text);
  if (Text.x == 0 || Glyph.x == 0) Spacing = 0;
  if (Margin == -1 && Spacing == -1) {
    Margin = (c - (g + t)) / 3;
    Spacing = Margin;
  } else if (Margin == -1) {
    Margin = c / 2 - (g + Spacing + t) / 2;
  } else if (Spacing == -1) {
    Spacing = (c - (Margin + g)) / 2 - t / 2;
  }
  int glyphAlong, textAlong;
  if (Layout == blGlyphLeft || Layout == blGlyphTop) {
    glyphAlong = Margin;
    textAlong = Margin + g + Spacing;
  } else {
    glyphAlong = c - Margin - g;
    textAlong = glyphAlong - Spacing - t;
  }
  const int glyphAcross = across(client) / 2 - across(Glyph) / 2, textAcross = across(client) / 2 - across(Text) / 2;
  auto place = [&](int Along, int Across, TPoint Size) {
    const TPoint at = horizontal ? TPoint{Along, Across} : TPoint{Across, Along};
    return Bounds(at.x + R.left, at.y + R.top, Size.x, Size.y);
  };
  TFaceLayout out;
  out.text = place(textAlong, textAcross, Text);
  out.glyph = Glyph.x != 0 || Glyph.y != 0 ? place(glyphAlong, glyphAcross, Glyph) : R;
  return out;
}

}  // namespace

TBitmap* TRzBmpButton::ChoosePicture(std::unique_ptr<TBitmap>& Made) {
  TRzButtonBitmaps* b = bitmaps_.get();
  switch (state_) {
    case bsUp:
      if (mouseInside_ && HasImage(b->Hot())) return b->Hot();
      if (hasFocus_ && showFocus_ && HasImage(b->UpAndFocused())) return b->UpAndFocused();
      return b->Up();
    case bsDisabled:
      if (HasImage(b->Disabled())) return b->Disabled();
      Made = GreyedPicture(b->Up());
      return Made.get();
    case bsDown: return HasImage(b->Down()) ? b->Down() : b->Up();
    case bsExclusive:
      if (HasImage(b->StayDown())) return b->StayDown();
      if (HasImage(b->Down())) return b->Down();
      return b->Up();
  }
  return b->Up();
}

void TRzBmpButton::PaintBorder(TCanvas* P, TRect& R, bool NewStyle, int Bevel) {
  switch (buttonBorder_) {
    case bbNone:
      PaintParentBackground(this, P, false);
      // Every paint of a border-less button pauses 10 ms on the GUI thread, slowing
      // its repaints and the message loop by as much. That pause is part of this
      // button's behaviour and stays.
      Sleep(10);
      if (ComponentState().Contains(csDesigning)) {
        P->Pen()->SetStyle(psDot);
        P->Brush()->SetStyle(bsClear);
        P->Rectangle(R);
        P->Pen()->SetStyle(psSolid);
        P->Brush()->SetStyle(bsSolid);
      }
      break;
    case bbSingle:
      P->Brush()->SetColor(Color());
      P->FillRect(R);
      P->Brush()->SetColor(clBlack);
      P->FrameRect(R);
      InflateRect(&R, -1, -1);
      break;
    case bbButton:
      DrawButtonFace(P, R, Bevel, buttonStyle_, !NewStyle, state_ == bsDown || state_ == bsExclusive,
                     hasFocus_ && showFocus_);
      InflateRect(&R, -1, -1);
      break;
  }
}

void TRzBmpButton::PaintDownPattern(TCanvas* P, const TRect& R, int Bevel) {
  if (showDownPattern_)
    P->Brush()->SetBitmap(DownPatternBitmap());
  else
    P->Brush()->SetColor(Color());
  if (buttonBorder_ != bbNone) {
    TRect fill = R;
    InflateRect(&fill, Bevel, Bevel);
    P->FillRect(fill);
  }
  P->Brush()->SetBitmap(nullptr);
}

TPoint TRzBmpButton::CaptionSize(TCanvas* P, int Width) {
  if (Caption().empty()) return TPoint{0, 0};
  TRect calc{0, 0, Width, 0};
  P->SetFont(Font());
  DrawText(P->Handle(), Caption().c_str(), int(Caption().size()), &calc, DT_CALCRECT);
  return TPoint{calc.right - calc.left, calc.bottom - calc.top};
}

void TRzBmpButton::DrawPicture(TCanvas* P, TBitmap* Picture, const TRect& At) {
  const TColor key = bitmaps_->TransparentColor();
  const TRect whole{0, 0, Picture->Width(), Picture->Height()};
  switch (buttonSize_) {
    case bszNeither: BlitMasked(P, Picture, At, key, whole); break;
    case bszButtonToBitmap: BlitTransparent(P, Picture, At, key, whole); break;
    case bszStretchToButton: StretchMasked(P, Picture, At, key); break;
    case bszTileToButton: TileMasked(P, Picture, At, key); break;
  }
}

void TRzBmpButton::DrawCaption(TCanvas* P, TRect At) {
  P->SetFont(Font());
  P->Brush()->SetStyle(bsClear);
  auto draw = [&](TColor Colour, TRect Where) {
    P->Font()->SetColor(Colour);
    DrawText(P->Handle(), Caption().c_str(), int(Caption().size()), &Where, DT_SINGLELINE | DT_VCENTER | DT_CENTER);
  };
  if (state_ == bsDisabled) {
    TRect shifted = At;
    OffsetRect(&shifted, 1, 1);
    draw(clWhite, shifted);
    draw(TColor(0x808080), At);
  } else {
    if (state_ == bsDown || state_ == bsExclusive) OffsetRect(&At, captionDownOffset_, captionDownOffset_);
    draw(Font()->Color(), At);
  }
  P->Brush()->SetStyle(bsSolid);
  if (hasFocus_ && showFocus_) {
    P->Brush()->SetColor(clBtnFace);
    TRect focus = At;
    InflateRect(&focus, 2, 2);
    P->DrawFocusRect(focus);
  }
}

// The whole face is drawn off-screen and copied to the button at once.
void TRzBmpButton::Paint() {
  TBitmap face;
  face.SetSize(Width(), Height());
  TCanvas* p = face.Canvas();
  if (!Enabled() && !ComponentState().Contains(csDesigning)) {
    state_ = bsDisabled;
    pressing_ = false;
  } else if (Enabled() && state_ == bsDisabled) {
    state_ = bsUp;
  }
  const bool newStyle = buttonStyle_ == bsNew || (buttonStyle_ == bsAutoDetect && NewStyleControls);
  const int bevel = newStyle ? 1 : 2;
  TRect r = ClientRect();
  p->Brush()->SetColor(Color());
  PaintBorder(p, r, newStyle, bevel);
  if (state_ == bsExclusive) PaintDownPattern(p, r, bevel);

  std::unique_ptr<TBitmap> made;
  TBitmap* picture = nullptr;
  if (HasImage(bitmaps_->Up()) || (HasImage(bitmaps_->Disabled()) && state_ == bsDisabled))
    picture = ChoosePicture(made);
  // The picture's own size counts only where it is drawn at that size.
  const TPoint glyph = buttonSize_ == bszNeither && picture ? TPoint{picture->Width(), picture->Height()} : TPoint{0, 0};
  const TFaceLayout at = LayoutFace(r, glyph, CaptionSize(p, r.right - r.left), layout_, margin_, spacing_);
  if (picture) DrawPicture(p, picture, at.glyph);
  if (!Caption().empty()) DrawCaption(p, at.text);

  Canvas()->SetCopyMode(cmSrcCopy);
  Canvas()->Draw(0, 0, &face);
}
