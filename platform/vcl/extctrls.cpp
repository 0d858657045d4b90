#include "platform/vcl/extctrls.h"

#include <algorithm>

#include "platform/vcl/forms.h"

TTimer::TTimer(TComponent* AOwner) : TComponent(AOwner), window_(AllocateHWnd(TWndMethod(this, &TTimer::WndProc))) {}

TTimer::~TTimer() {
  enabled_ = false;
  UpdateTimer();
  DeallocateHWnd(window_);
}

void TTimer::SetEnabled(bool Value) {
  if (Value == enabled_) return;
  enabled_ = Value;
  UpdateTimer();
}

void TTimer::SetInterval(Cardinal Value) {
  if (Value == interval_) return;
  interval_ = Value;
  UpdateTimer();
}

void TTimer::SetOnTimer(TNotifyEvent Value) {
  onTimer_ = Value;
  UpdateTimer();
}

void TTimer::UpdateTimer() {
  KillTimer(window_, 1);
  if (interval_ != 0 && enabled_ && onTimer_) {
    if (SetTimer(window_, 1, interval_) == 0) throw EOutOfResources("Not enough timers available");
  }
}

void TTimer::WndProc(TMessage& Msg) {
  if (Msg.Msg != WM_TIMER) {
    Msg.Result = DefWindowProc(window_, Msg.Msg, Msg.WParam, Msg.LParam);
    return;
  }
  try {
    Timer();
  } catch (...) {
    Application->HandleException(this);
  }
}

void TTimer::Timer() {
  if (onTimer_) onTimer_(this);
}

// ---- TCustomPanel ----

// Out of line: the class (its descriptor and table) lives in this library alone.
TPanel::~TPanel() = default;

TCustomPanel::TCustomPanel(TComponent* AOwner) : TCustomControl(AOwner) {
  SetControlStyle({csAcceptsControls, csCaptureMouse, csClickEvents, csSetCaption, csOpaque, csDoubleClicks,
                   csReplicatable});
  width_ = 185;
  height_ = 41;
  SetColor(clBtnFace);
  SetParentColor(false);
}

void TCustomPanel::SetBevelOuter(TBevelCut Value) {
  if (bevelOuter_ == Value) return;
  bevelOuter_ = Value;
  Realign();
  Invalidate();
}

void TCustomPanel::SetBevelInner(TBevelCut Value) {
  if (bevelInner_ == Value) return;
  bevelInner_ = Value;
  Realign();
  Invalidate();
}

void TCustomPanel::SetBevelWidth(TBevelWidth Value) {
  if (bevelWidth_ == Value) return;
  bevelWidth_ = Value;
  Realign();
  Invalidate();
}

void TCustomPanel::SetBorderStyle(TBorderStyle Value) {
  if (borderStyle_ == Value) return;
  borderStyle_ = Value;
  Realign();
  Invalidate();
}

void TCustomPanel::SetAlignment(TAlignment Value) {
  if (alignment_ == Value) return;
  alignment_ = Value;
  Invalidate();
}

void TCustomPanel::AdjustClientRect(TRect& Rect) {
  TCustomControl::AdjustClientRect(Rect);
  int bevel = 0;
  if (borderStyle_ == bsSingle) ++bevel;
  if (bevelOuter_ != bvNone) bevel += bevelWidth_;
  if (bevelInner_ != bvNone) bevel += bevelWidth_;
  InflateRect(&Rect, -bevel, -bevel);
}

void TCustomPanel::Paint() {
  static const UINT alignments[] = {DT_LEFT, DT_RIGHT, DT_CENTER};
  TCanvas* c = Canvas();
  TRect r = ClientRect();
  if (borderStyle_ == bsSingle) Frame3D(c, r, clWindowFrame, clWindowFrame, 1);
  auto colours = [](TBevelCut cut, TColor& top, TColor& bottom) {
    top = cut == bvLowered ? clBtnShadow : clBtnHighlight;
    bottom = cut == bvLowered ? clBtnHighlight : clBtnShadow;
  };
  TColor top, bottom;
  if (bevelOuter_ != bvNone) {
    colours(bevelOuter_, top, bottom);
    Frame3D(c, r, top, bottom, bevelWidth_);
  }
  Frame3D(c, r, Color(), Color(), BorderWidth());
  if (bevelInner_ != bvNone) {
    colours(bevelInner_, top, bottom);
    Frame3D(c, r, top, bottom, bevelWidth_);
  }
  c->Brush()->SetStyle(bsSolid);
  c->Brush()->SetColor(Color());
  c->FillRect(r);
  if (!Caption().empty()) {
    c->Brush()->SetStyle(bsClear);
    c->SetFont(Font());
    DrawText(c->Handle(), Caption().c_str(), -1, &r, DT_EXPANDTABS | DT_VCENTER | DT_SINGLELINE | alignments[alignment_]);
  }
}

// ---- TImage ----

TImage::TImage(TComponent* AOwner) : TGraphicControl(AOwner), picture_(std::make_unique<TPicture>()) {
  SetControlStyle(ControlStyle() + TControlStyle{csReplicatable});
  picture_->OnChange = TNotifyEvent(this, &TImage::PictureChanged);
  width_ = 105;
  height_ = 105;
}

TImage::~TImage() {
  Destroying();
  picture_->OnChange = nullptr;
}

void TImage::SetStretch(bool Value) {
  if (stretch_ == Value) return;
  stretch_ = Value;
  PictureChanged(this);
}

void TImage::SetCenter(bool Value) {
  if (center_ == Value) return;
  center_ = Value;
  PictureChanged(this);
}

void TImage::SetProportional(bool Value) {
  if (proportional_ == Value) return;
  proportional_ = Value;
  PictureChanged(this);
}

void TImage::SetTransparent(bool Value) {
  if (transparent_ == Value) return;
  transparent_ = Value;
  PictureChanged(this);
}

void TImage::SetAutoSize(bool Value) {
  if (autoSize_ == Value) return;
  autoSize_ = Value;
  PictureChanged(this);
}

TRect TImage::DestRect() const {
  int w = picture_->Width(), h = picture_->Height();
  const int cw = ClientWidth(), ch = ClientHeight();
  if (stretch_ || (proportional_ && (w > cw || h > ch))) {
    if (proportional_ && w > 0 && h > 0) {
      if (cw * h > ch * w) {
        w = MulDiv(w, ch, h);
        h = ch;
      } else {
        h = MulDiv(h, cw, w);
        w = cw;
      }
    } else {
      w = cw;
      h = ch;
    }
  }
  TRect r{0, 0, w, h};
  if (center_) OffsetRect(&r, (cw - w) / 2, (ch - h) / 2);
  return r;
}

void TImage::Paint() {
  TGraphic* g = picture_->Graphic();
  if (!g || g->Empty()) {
    if (ComponentState().Contains(csDesigning)) {
      Canvas()->Pen()->SetStyle(psDash);
      Canvas()->Brush()->SetStyle(bsClear);
      Canvas()->Rectangle(ClientRect());
    }
    return;
  }
  const bool saved = drawing_;
  drawing_ = true;
  try {
    Canvas()->StretchDraw(DestRect(), g);
  } catch (...) {
    drawing_ = saved;
    throw;
  }
  drawing_ = saved;
}

void TImage::PictureChanged(TObject*) {
  if (autoSize_ && picture_->Width() > 0 && picture_->Height() > 0)
    SetBounds(Left(), Top(), picture_->Width(), picture_->Height());
  if (TGraphic* g = picture_->Graphic()) {
    if (!g->InheritsFrom(TIcon::StaticClass()) && g->Transparent() != transparent_) g->SetTransparent(transparent_);
    const TRect d = DestRect();
    if (!g->Transparent() && d.left <= 0 && d.top <= 0 && d.right >= Width() && d.bottom >= Height())
      SetControlStyle(ControlStyle() + TControlStyle{csOpaque});
    else
      SetControlStyle(ControlStyle() - TControlStyle{csOpaque});
  } else {
    SetControlStyle(ControlStyle() - TControlStyle{csOpaque});
  }
  if (!drawing_) Invalidate();
}

// ---- TShape ----

TShape::TShape(TComponent* AOwner)
    : TGraphicControl(AOwner), pen_(std::make_unique<TPen>()), brush_(std::make_unique<TBrush>()) {
  SetControlStyle(ControlStyle() + TControlStyle{csReplicatable});
  width_ = 65;
  height_ = 65;
  pen_->OnChange = TNotifyEvent(this, &TShape::StyleChanged);
  brush_->OnChange = TNotifyEvent(this, &TShape::StyleChanged);
}

TShape::~TShape() {
  Destroying();
  pen_->OnChange = nullptr;
  brush_->OnChange = nullptr;
}

void TShape::SetShape(TShapeType Value) {
  if (shape_ == Value) return;
  shape_ = Value;
  Invalidate();
}

void TShape::Paint() {
  TCanvas* c = Canvas();
  c->SetPen(pen_.get());
  c->SetBrush(brush_.get());
  const int pw = pen_->Width();
  int x = pw / 2, y = x;
  int w = Width() - pw + 1, h = Height() - pw + 1;
  if (pw == 0) {
    --w;
    --h;
  }
  if (shape_ == stSquare || shape_ == stRoundSquare || shape_ == stCircle) {
    const int s = std::min(w, h);
    x += (w - s) / 2;
    y += (h - s) / 2;
    w = h = s;
  }
  switch (shape_) {
    case stRectangle:
    case stSquare: c->Rectangle(x, y, x + w, y + h); break;
    case stRoundRect:
    case stRoundSquare: c->RoundRect(x, y, x + w, y + h, std::min(w, h) / 4, std::min(w, h) / 4); break;
    case stEllipse:
    case stCircle: c->Ellipse(x, y, x + w, y + h); break;
  }
}
