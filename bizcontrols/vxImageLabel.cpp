#include "bizcontrols/vxImageLabel.h"

#include <algorithm>

#include "bizcontrols/vxImageButton.h"
#include "platform/gdi/gdi.h"

namespace {
bool HasGraphic(const TPicture* Picture) { return Picture->Graphic() != nullptr; }
}  // namespace

// ---- TCommonImageLabel ----

TCommonImageLabel::TCommonImageLabel(TComponent* AOwner) : TGraphicControl(AOwner) {
  SetBounds(Left(), Top(), 75, 15);
}

TCommonImageLabel::~TCommonImageLabel() = default;

void TCommonImageLabel::SetFocusControl(TWinControl* Value) {
  if (focusControl_ == Value) return;
  if (focusControl_) focusControl_->RemoveFreeNotification(this);
  focusControl_ = Value;
  if (focusControl_) focusControl_->FreeNotification(this);
}

void TCommonImageLabel::Notification(TComponent* AComponent, TOperation Operation) {
  TGraphicControl::Notification(AComponent, Operation);
  if (Operation == TOperation::opRemove && AComponent == focusControl_) focusControl_ = nullptr;
}

void TCommonImageLabel::SetAlignment(TAlignment Value) { SetAndNotify(alignment_, Value, [this] { Invalidate(); }); }
void TCommonImageLabel::SetAutoSize(bool Value) { SetAndNotify(autoSize_, Value, [this] { Invalidate(); }); }
void TCommonImageLabel::SetLayout(TTextLayout Value) { SetAndNotify(layout_, Value, [this] { Invalidate(); }); }

void TCommonImageLabel::SetTransparent(bool Value) {
  if (Value == Transparent()) return;
  SetControlStyle(Value ? ControlStyle() - TControlStyle{csOpaque} : ControlStyle() + TControlStyle{csOpaque});
  Invalidate();
}

void TCommonImageLabel::CMDialogChar(TMessage& Message) {
  if (focusControl_ && Enabled() && IsAccel(WORD(Message.WParam), GetLabelText()) && focusControl_->CanFocus()) {
    focusControl_->SetFocus();
    Message.Result = 1;
    return;
  }
  MessageMapBase::Dispatch(Message);
}

void TCommonImageLabel::PaintBackground() {
  TCanvas* canvas = Canvas();
  if (!Transparent()) {
    canvas->Brush()->SetStyle(bsSolid);
    canvas->Brush()->SetColor(Color());
    canvas->FillRect(ClientRect());
  }
  canvas->Brush()->SetStyle(bsClear);
}

void TCommonImageLabel::PrepareText(TRect& Rect, int ExtraWidth) {
  TCanvas* canvas = Canvas();
  canvas->SetFont(Font());
  const std::string text = GetLabelText();
  if (autoSize_ && !text.empty()) {
    const int needed = canvas->TextWidth(text) + ExtraWidth;
    if (Width() < needed) {
      Rect.right += needed - Width();
      SetWidth(needed);
    }
  }
}

void TCommonImageLabel::DrawCaptionIn(const TRect& Rect) {
  UINT format = DT_SINGLELINE;
  if (alignment_ == taRightJustify) format |= DT_RIGHT;
  if (alignment_ == taCenter) format |= DT_CENTER;
  if (layout_ == tlCenter) format |= DT_VCENTER;
  if (layout_ == tlBottom) format |= DT_BOTTOM;
  const std::string text = GetLabelText();
  TCanvas* canvas = Canvas();
  auto draw = [&](TRect r) {
    HDC dc = canvas->Handle();
    SetBkMode(dc, TRANSPARENT);
    DrawText(dc, text.c_str(), int(text.size()), &r, format);
  };
  if (Enabled()) {
    draw(Rect);
    return;
  }
  TRect raised = Rect;
  OffsetRect(&raised, 1, 1);
  canvas->Font()->SetColor(clBtnHighlight);
  draw(raised);
  canvas->Font()->SetColor(clBtnShadow);
  draw(Rect);
}

// ---- TvxIconLabel ----

TvxIconLabel::TvxIconLabel(TComponent* AOwner)
    : TCommonImageLabel(AOwner), bulletImage_(std::make_unique<TPicture>()) {
  bulletImage_->OnChange = TNotifyEvent::FromFunction([this](TObject*) { Invalidate(); });
}

TvxIconLabel::~TvxIconLabel() = default;

void TvxIconLabel::SetBulletImage(TPicture* Value) {
  if (Value == bulletImage_.get()) return;
  bulletImage_->Assign(Value);
  if (bulletAlignment_ == baRight)
    bulletLeftMargin_ = 8;
  else
    bulletRightMargin_ = 8;
  Invalidate();
}

void TvxIconLabel::SetBulletAlignment(TBulletAlignment Value) {
  SetAndNotify(bulletAlignment_, Value, [this] { Invalidate(); });
}
void TvxIconLabel::SetBulletHide(bool Value) { SetAndNotify(bulletHide_, Value, [this] { Invalidate(); }); }
void TvxIconLabel::SetBulletLeftMargin(int Value) { SetAndNotify(bulletLeftMargin_, Value, [this] { Invalidate(); }); }
void TvxIconLabel::SetBulletRightMargin(int Value) {
  SetAndNotify(bulletRightMargin_, Value, [this] { Invalidate(); });
}

int TvxIconLabel::BulletWidth() const { return HasGraphic(bulletImage_.get()) ? bulletImage_->Width() : 0; }

void TvxIconLabel::Paint() {
  if (!Visible()) return;
  PaintBackground();
  TRect r = ClientRect();
  DoDrawText(r);
  if (HasGraphic(bulletImage_.get()) && !bulletHide_) DoDrawBullet();
}

void TvxIconLabel::DoDrawText(TRect& Rect) {
  const int beside = BulletWidth() + bulletLeftMargin_ + bulletRightMargin_;
  DrawLabelText(Rect, beside, [&](TRect& r) {
    if (!HasGraphic(bulletImage_.get())) return;
    if (bulletAlignment_ == baRight)
      r.right -= beside;
    else
      r.left = beside;
  });
}

void TvxIconLabel::DoDrawBullet() {
  TCanvas* canvas = Canvas();
  TGraphic* bullet = bulletImage_->Graphic();
  const int th = canvas->TextHeight(GetLabelText()), bh = bullet->Height();
  const int x = bulletAlignment_ == baLeft ? bulletLeftMargin_ : Width() - bullet->Width() - bulletRightMargin_;
  int centre = 0;
  switch (Layout()) {
    case tlTop: centre = th / 2; break;
    case tlCenter: centre = Height() / 2; break;
    case tlBottom: centre = Height() - th / 2; break;
  }
  centre += th % 2;
  const int y = centre - bh / 2 - bh % 2;
  canvas->Lock();
  try {
    canvas->Draw(x, y, bullet);
  } catch (...) {
    canvas->Unlock();
    throw;
  }
  canvas->Unlock();
}

// ---- TvxImageLabel ----

TvxImageLabel::TvxImageLabel(TComponent* AOwner)
    : TCommonImageLabel(AOwner), backgroundImage_(std::make_unique<TPicture>()) {
  backgroundImage_->OnChange = TNotifyEvent::FromFunction([this](TObject*) { Invalidate(); });
  SetAutoSize(false);
  SetLayout(tlCenter);
  SetAlignment(taLeftJustify);
}

TvxImageLabel::~TvxImageLabel() = default;

void TvxImageLabel::SetBackgroundImage(TPicture* Value) {
  if (Value == backgroundImage_.get()) return;
  backgroundImage_->Assign(Value);
  if (HasGraphic(backgroundImage_.get())) SetHeight(backgroundImage_->Height());
  Invalidate();
}

void TvxImageLabel::SetCaptionLeftMargin(int Value) {
  SetAndNotify(captionLeftMargin_, std::max(0, Value), [this] { Invalidate(); });
}

void TvxImageLabel::SetCaptionRigthMargin(int Value) {
  SetAndNotify(captionRightMargin_, std::max(0, Value), [this] { Invalidate(); });
}

void TvxImageLabel::Paint() {
  if (!Visible()) return;
  PaintBackground();
  if (HasGraphic(backgroundImage_.get())) DoDrawBackground();
  TRect r = ClientRect();
  DoDrawText(r);
}

void TvxImageLabel::DoDrawText(TRect& Rect) {
  DrawLabelText(Rect, captionLeftMargin_ + captionRightMargin_, [&](TRect& r) {
    r.left = captionLeftMargin_;
    r.right = Width() - captionRightMargin_;
  });
}

void TvxImageLabel::DoDrawBackground() {
  TBitmap source;
  source.Assign(backgroundImage_->Graphic());
  source.SetPixelFormat(pf24bit);
  const int W = Width(), L = captionLeftMargin_, R = captionRightMargin_;
  if (source.Width() == W) {
    Canvas()->Draw(0, 0, &source);
    return;
  }
  TBitmap stretched;
  stretched.SetPixelFormat(pf24bit);
  stretched.SetSize(W, source.Height());
  vxImageButton::StretchKeepingEdges(&source, &stretched, std::max(L, 4), (source.Width() + L - R) / 2, W - R,
                                     source.Width() - R);
  Canvas()->Draw(0, 0, &stretched);
}

namespace vxImageLabel {
void Register() { RegisterComponents("Vextra", {TvxIconLabel::StaticClass(), TvxImageLabel::StaticClass()}); }
}  // namespace vxImageLabel
