#include "bizcontrols/vxImageButton.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "platform/gdi/gdi.h"

namespace {

bool HasGraphic(const TPicture* Picture) { return Picture->Graphic() != nullptr; }

// The generated pictures change each channel c (0..255) of a pixel: darker to
// Round(c * 0.7), lighter to 255 - Round((255 - c) * 0.8), rounding exact halves to
// even (5 becomes 4, 15 becomes 10). Computed in integers, so no binary fraction of
// 0.7 tips a half one way or the other.
using TChannelMap = std::array<uint8_t, 256>;

const TChannelMap& DarkerMap() {
  static const TChannelMap map = [] {
    TChannelMap m{};
    for (int c = 0; c < 256; ++c) {
      const int q = 7 * c / 10, r = 7 * c % 10;
      m[c] = uint8_t(r > 5 || (r == 5 && (q & 1)) ? q + 1 : q);
    }
    return m;
  }();
  return map;
}

const TChannelMap& LighterMap() {
  static const TChannelMap map = [] {
    TChannelMap m{};
    for (int c = 0; c < 256; ++c) {
      const int d = 4 * (255 - c);  // (255 - c) * 0.8 = d / 5: never an exact half
      m[c] = uint8_t(255 - (d / 5 + (d % 5 >= 3 ? 1 : 0)));
    }
    return m;
  }();
  return map;
}

// Target becomes the up picture with every pixel but those of its bottom-left pixel's
// colour mapped channel by channel. An empty up picture gives an empty target.
void Generate(TGraphic* Up, std::unique_ptr<TBitmap>& Target, const TChannelMap& Map) {
  // A new bitmap each time: nothing cached of the old picture (its mask) survives.
  Target = std::make_unique<TBitmap>();
  TBitmap source;
  source.Assign(Up);
  const int w = source.Width(), h = source.Height();
  if (w <= 0 || h <= 0) {
    Target->SetSize(0, 0);
    return;
  }
  source.SetPixelFormat(pf24bit);
  Target->SetPixelFormat(pf24bit);
  Target->SetSize(w, h);
  uint8_t key[3];
  std::memcpy(key, source.ScanLine(h - 1), 3);
  for (int y = 0; y < h; ++y) {
    const auto* s = static_cast<const uint8_t*>(source.ScanLine(y));
    auto* d = static_cast<uint8_t*>(Target->ScanLine(y));
    for (int x = 0; x < w; ++x, s += 3, d += 3) {
      if (s[0] == key[0] && s[1] == key[1] && s[2] == key[2]) {
        std::memcpy(d, s, 3);
      } else {
        d[0] = Map[s[0]];
        d[1] = Map[s[1]];
        d[2] = Map[s[2]];
      }
    }
  }
}

}  // namespace

namespace vxImageButton {

void StretchKeepingEdges(TBitmap* Source, TBitmap* Dest, int LeftEnd, int Middle, int RightStart, int SourceRight) {
  const int sw = Source->Width(), dw = Dest->Width(), h = std::min(Source->Height(), Dest->Height());
  if (sw <= 0 || dw <= 0 || h <= 0) return;
  auto clip = [&](int c) { return std::clamp(c, 0, sw - 1); };
  // The source column of every destination column; the right part wins over the left
  // one where they meet, and the left over the middle.
  std::vector<int> from(static_cast<size_t>(dw));
  for (int x = 0; x < dw; ++x) {
    if (x >= RightStart)
      from[size_t(x)] = clip(SourceRight + (x - RightStart));
    else if (x <= LeftEnd)
      from[size_t(x)] = clip(x);
    else
      from[size_t(x)] = clip(Middle + (x - LeftEnd - 1) % 3);
  }
  for (int y = 0; y < h; ++y) {
    const auto* s = static_cast<const uint8_t*>(Source->ScanLine(y));
    auto* d = static_cast<uint8_t*>(Dest->ScanLine(y));
    for (int x = 0; x < dw; ++x, d += 3) std::memcpy(d, s + 3 * from[size_t(x)], 3);
  }
}

void Register() { RegisterComponents("Vextra", {TvxImageButton::StaticClass()}); }

}  // namespace vxImageButton

// ---- TvxImageButton ----

TvxImageButton::TvxImageButton(TComponent* AOwner)
    : TCustomControl(AOwner),
      upImage_(std::make_unique<TPicture>()),
      downImage_(std::make_unique<TPicture>()),
      overImage_(std::make_unique<TPicture>()),
      focusedImage_(std::make_unique<TPicture>()),
      disableImage_(std::make_unique<TPicture>()) {
  upImage_->OnChange = TNotifyEvent(this, &TvxImageButton::UpImageChanged);
  SetDoubleBuffered(true);
  SetBounds(Left(), Top(), 75, 25);
  SetCursor(crHandPoint);
  SetTabStop(true);
  originalWidth_ = Width();
  originalHeight_ = Height();
}

TvxImageButton::~TvxImageButton() = default;

void TvxImageButton::UpImageChanged(TObject*) {
  if (markingTransparent_) return;
  lighterStale_ = darkerStale_ = true;
  Invalidate();
}

void TvxImageButton::SetUpImage(TPicture* Value) {
  upImage_->Assign(Value);
  if (HasGraphic(upImage_.get())) SetHeight(upImage_->Height());
  Invalidate();
}

// ---- State ----

void TvxImageButton::SetDown(bool Value) {
  if (Value) UpdateButtonDownStatusClear();
  down_ = latching_ && groupIndex_ != 0 ? Value : false;
  Repaint();
}

void TvxImageButton::SetLatching(bool Value) {
  latching_ = Value;
  if (!Value) SetDown(false);
}

void TvxImageButton::SetGroupIndex(int Value) {
  if (groupIndex_ == Value) return;
  SetLatching(true);
  groupIndex_ = Value;
  UpdateExclusive();
}

void TvxImageButton::SetTransparentColor(TColor Value) {
  SetAndNotify(transparentColor_, Value, [this] { Invalidate(); });
}

void TvxImageButton::SetEnabled(bool Value) {
  if (Value == Enabled()) return;
  if (!Value) {
    pressed_ = false;
    SetDown(false);
    hot_ = false;
  }
  Invalidate();
  TCustomControl::SetEnabled(Value);
}

void TvxImageButton::SetTransparent(bool Value) {
  if (Value == Transparent()) return;
  SetControlStyle(Value ? ControlStyle() - TControlStyle{csOpaque} : ControlStyle() + TControlStyle{csOpaque});
  Invalidate();
}

void TvxImageButton::Broadcast(UINT Msg) {
  if (groupIndex_ == 0 || !Parent()) return;
  TMessage m;
  m.Msg = Msg;
  m.WParam = WPARAM(groupIndex_);
  m.LParam = LPARAM(this);
  Parent()->Broadcast(m);
}

void TvxImageButton::UpdateExclusive() { Broadcast(CM_BUTTONEXTPRESSED); }
void TvxImageButton::UpdateButtonDownStatusClear() { Broadcast(CM_BUTTONDOWNSTATUSCLEAR); }

void TvxImageButton::CMButtonExtPressed(TMessage& Message) {
  if (Message.WParam != WPARAM(groupIndex_) || !Parent()) return;
  // The sender is one of the parent's controls; anything else is not ours to read.
  TvxImageButton* sender = nullptr;
  for (int i = 0; i < Parent()->ControlCount(); ++i)
    if (LPARAM(Parent()->Controls(i)) == Message.LParam) sender = As<TvxImageButton>(Parent()->Controls(i));
  if (!sender || sender == this) return;
  if (sender->Down() && down_) {
    down_ = false;
    Repaint();
  }
}

void TvxImageButton::CMButtonDownStatusClear(TMessage& Message) {
  if (Message.WParam != WPARAM(groupIndex_)) return;
  down_ = false;
  Repaint();
}

// ---- Caption ----

void TvxImageButton::SetCaption(const std::string& Value) { SetAndNotify(caption_, Value, [this] { Invalidate(); }); }
void TvxImageButton::SetCaptionFontStyle(TFontStyles Value) {
  SetAndNotify(captionFontStyle_, Value, [this] { Invalidate(); });
}
void TvxImageButton::SetDefaultCaptionColor(TColor Value) {
  SetAndNotify(defaultCaptionColor_, Value, [this] { Invalidate(); });
}
void TvxImageButton::SetDisableCaptionColor(TColor Value) {
  SetAndNotify(disableCaptionColor_, Value, [this] { Invalidate(); });
}
void TvxImageButton::SetAutoSize(bool Value) { SetAndNotify(autoSize_, Value, [this] { Invalidate(); }); }
void TvxImageButton::SetImageButton(bool Value) { SetAndNotify(imageButton_, Value, [this] { Invalidate(); }); }

void TvxImageButton::SetCaptionAlign(TCaptionAlign Value) {
  SetAndNotify(captionAlign_, Value, [this] { Repaint(); });
}

void TvxImageButton::SetCaptionStartPosX(int Value) {
  const int edge = Width() - captionRightMargin_;
  if (Value < 0)
    Value = -1;
  else if (Value <= captionLeftMargin_)
    Value = captionLeftMargin_ + 1;
  else if (Value > edge)
    Value = edge - 1;
  captionStartPosX_ = Value;
  Invalidate();
}

void TvxImageButton::SetCaptionStartPosY(int Value) {
  if (Value < 0)
    Value = -1;
  else if (Value > Height() - 1)
    Value = Height() - 1;
  captionStartPosY_ = Value;
  Invalidate();
}

void TvxImageButton::SetCaptionLeftMargin(int Value) {
  const int edge = Width() - captionRightMargin_;
  if (Value > edge) Value = edge - 1;
  captionLeftMargin_ = std::max(0, Value);
  captionStartPosX_ = captionLeftMargin_ + 1;
  Invalidate();
}

void TvxImageButton::SetCaptionRightMargin(int Value) {
  if (captionLeftMargin_ >= Width() - Value)
    Value = Width() - captionLeftMargin_ - 1;
  else if (Value > Width())
    Value = Width();
  captionRightMargin_ = std::max(0, Value);
  Invalidate();
}

void TvxImageButton::Reset() {
  SetBounds(Left(), Top(), originalWidth_, originalHeight_);
  caption_.clear();
  Invalidate();
}

void TvxImageButton::CMTextChanged(TMessage&) { Invalidate(); }

// ---- Mouse and focus ----

bool TvxImageButton::InClient(int X, int Y) const {
  return X >= 0 && X < ClientWidth() && Y >= 0 && Y <= ClientHeight();
}

void TvxImageButton::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (Button == mbLeft && Enabled()) {
    if (InClient(X, Y)) {
      pressed_ = true;
      down_ = latching_;
      UpdateExclusive();
    } else {
      pressed_ = false;
    }
    hot_ = false;
    Repaint();
  }
  TCustomControl::MouseDown(Button, Shift, X, Y);
}

void TvxImageButton::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (Button == mbLeft && Enabled()) {
    pressed_ = false;
    hot_ = false;
    Repaint();
  }
  TCustomControl::MouseUp(Button, Shift, X, Y);
}

void TvxImageButton::MouseMove(TShiftState Shift, int X, int Y) {
  const bool hot = InClient(X, Y);
  if (hot != hot_) {
    hot_ = hot;
    Repaint();
  }
  TCustomControl::MouseMove(Shift, X, Y);
}

void TvxImageButton::CMMouseLeave(TMessage& Message) {
  MessageMapBase::Dispatch(Message);
  hot_ = false;
  Repaint();
}

void TvxImageButton::Click() {
  if (Parent()) {
    if (TCustomForm* form = GetParentForm(this)) {
      form->SetModalResult(modalResult_);
      if (!Focused() && CanFocus()) SetFocus();
      Repaint();
    }
  }
  // The left button went down inside the button and comes up there now: a click from
  // code alone fires nothing.
  if (pressed_) TCustomControl::Click();
}

void TvxImageButton::DoEnter() {
  TCustomControl::DoEnter();
  Repaint();
}

void TvxImageButton::DoExit() {
  TCustomControl::DoExit();
  Repaint();
}

// ---- Pictures and painting ----

void TvxImageButton::MakeLighter() {
  Generate(upImage_->Graphic(), lighter_, LighterMap());
  lighterStale_ = false;
}

void TvxImageButton::MakeDarker() {
  Generate(upImage_->Graphic(), darker_, DarkerMap());
  darkerStale_ = false;
}

void TvxImageButton::CreateButtonImage(TBitmap* Source, TBitmap* Dest) {
  const int L = captionLeftMargin_, R = captionRightMargin_;
  int edge = Width() - R;
  if (autoSize_ && !caption_.empty() && captionAlign_ != TCaptionAlign::caNone) {
    const int text = Canvas()->TextWidth(caption_);
    if (L > 0 && edge < L + 1 + text) {
      SetWidth(Width() + (L + 1 + text) - edge);
      edge = L + 1 + text;
    } else if (L <= 0 && text > Width()) {
      SetWidth(text);
    }
  }
  const int width = Width();
  Dest->SetPixelFormat(pf24bit);
  Dest->SetSize(width, Source->Height());
  if (Source->Empty()) return;
  Source->SetPixelFormat(pf24bit);
  const int left = L == 0 ? 4 : L;
  int sourceRight = Source->Width() - R;
  if (R == 0) {
    edge = width - 4;
    sourceRight = Source->Width() - 4;
  }
  vxImageButton::StretchKeepingEdges(Source, Dest, left, (left + sourceRight) / 2, edge, sourceRight);
}

void TvxImageButton::ChooseStatePicture(TBitmap& Work) {
  auto pick = [](TPicture* Picture, TBitmap* Generated) -> TGraphic* {
    if (HasGraphic(Picture)) return Picture->Graphic();
    return Generated;
  };
  TGraphic* chosen = nullptr;
  if (!Enabled() && HasGraphic(disableImage_.get()))
    chosen = disableImage_->Graphic();
  else if (pressed_ || down_)
    chosen = pick(downImage_.get(), darker_.get());
  else if (hot_ && hotTrack_)
    chosen = pick(overImage_.get(), lighter_.get());
  else if (Focused())
    chosen = pick(focusedImage_.get(), lighter_.get());
  else
    chosen = upImage_->Graphic();
  if (chosen) Work.Assign(chosen);
}

void TvxImageButton::Paint() {
  TCustomControl::Paint();
  if (!Visible()) return;
  TCanvas* canvas = Canvas();
  canvas->Font()->SetSize(9);
  canvas->Font()->SetName("굴림");
  // The generated pictures are made again only after the up picture changed.
  if (HasGraphic(upImage_.get())) {
    if (!HasGraphic(downImage_.get()) && (darkerStale_ || !darker_)) MakeDarker();
    if ((!HasGraphic(overImage_.get()) || !HasGraphic(focusedImage_.get())) && (lighterStale_ || !lighter_))
      MakeLighter();
  }
  // Marking the pictures transparent is no change of the up picture to react to.
  markingTransparent_ = true;
  for (TPicture* p : {upImage_.get(), downImage_.get(), overImage_.get(), focusedImage_.get(), disableImage_.get()})
    if (HasGraphic(p)) p->Graphic()->SetTransparent(true);
  markingTransparent_ = false;
  if (lighter_) lighter_->SetTransparent(true);
  if (darker_) darker_->SetTransparent(true);

  canvas->Lock();
  struct TUnlock {
    TCanvas* c;
    ~TUnlock() { c->Unlock(); }
  } unlock{canvas};
  TBitmap work;
  ChooseStatePicture(work);
  if (imageButton_) {
    canvas->Draw(0, 0, &work);
    return;
  }
  if (work.Empty()) {
    TRect r = ClientRect();
    DrawEdge(canvas->Handle(), &r, BDR_RAISEDINNER, BF_RECT | BF_MIDDLE);
  } else {
    TBitmap stretched;
    CreateButtonImage(&work, &stretched);
    stretched.SetTransparent(Transparent());
    canvas->Draw(0, 0, &stretched);
  }
  if (!caption_.empty()) DrawCaption();
}

void TvxImageButton::DrawCaption() {
  TCanvas* canvas = Canvas();
  canvas->Font()->SetColor(Enabled() ? defaultCaptionColor_ : disableCaptionColor_);
  canvas->Font()->SetStyle(captionFontStyle_);
  TRect r = ClientRect();
  const int L = captionLeftMargin_, R = captionRightMargin_, W = Width();
  if (L > R) {
    r.left = L - R;
    r.right = W - R;
  } else if (L < R) {
    r.left = 0;
    r.right = W - (R - L);
  }
  UINT format = DT_SINGLELINE | DT_VCENTER | DT_CENTER;
  switch (captionAlign_) {
    case TCaptionAlign::caLeft: format = DT_SINGLELINE | DT_VCENTER | DT_LEFT; break;
    case TCaptionAlign::caCenter: break;
    case TCaptionAlign::caRight: format = DT_SINGLELINE | DT_VCENTER | DT_RIGHT; break;
    case TCaptionAlign::caNone: {
      const int x = captionStartPosX_, y = captionStartPosY_;
      if (x >= 0) r.left = x;
      if (y >= 0) r.top = y;
      if (x >= 0)
        format = y >= 0 ? DT_SINGLELINE | DT_LEFT | DT_TOP : DT_SINGLELINE | DT_VCENTER | DT_LEFT;
      else if (y >= 0)
        format = DT_SINGLELINE | DT_CENTER | DT_TOP;
      break;
    }
  }
  if (pressed_ || down_) r.top += 1;
  HDC dc = canvas->Handle();
  SetBkMode(dc, TRANSPARENT);
  DrawText(dc, caption_.c_str(), int(caption_.size()), &r, format);
}
