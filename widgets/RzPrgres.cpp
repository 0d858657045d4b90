#include "widgets/RzPrgres.h"

#include <cmath>

#include "platform/vcl/themes.h"

TRzCustomProgressBar::TRzCustomProgressBar(TComponent* AOwner) : TGraphicControl(AOwner) {
  SetControlStyle(ControlStyle() + TControlStyle{csOpaque});
  Font()->SetColor(barColor_);
  SetBounds(Left(), Top(), 200, 24);
}

TRzCustomProgressBar::~TRzCustomProgressBar() {
  if (frameController_) frameController_->RemoveControl(this);
}

void TRzCustomProgressBar::SetBackColor(TColor Value) { SetAndNotify(backColor_, Value, [this] { Repaint(); }); }
void TRzCustomProgressBar::SetBevelWidth(int Value) { SetAndNotify(bevelWidth_, Value, [this] { Repaint(); }); }
void TRzCustomProgressBar::SetBorderColor(TColor Value) { SetAndNotify(borderColor_, Value, [this] { Repaint(); }); }
void TRzCustomProgressBar::SetBorderInner(TFrameStyleEx Value) {
  SetAndNotify(borderInner_, Value, [this] { Repaint(); });
}
void TRzCustomProgressBar::SetBorderOuter(TFrameStyleEx Value) {
  SetAndNotify(borderOuter_, Value, [this] { Repaint(); });
}
void TRzCustomProgressBar::SetBorderWidth(int Value) { SetAndNotify(borderWidth_, Value, [this] { Repaint(); }); }
void TRzCustomProgressBar::SetFlatColor(TColor Value) { SetAndNotify(flatColor_, Value, [this] { Invalidate(); }); }
void TRzCustomProgressBar::SetFlatColorAdjustment(int32_t Value) {
  SetAndNotify(flatColorAdjustment_, Value, [this] { Invalidate(); });
}
void TRzCustomProgressBar::SetInteriorOffset(uint8_t Value) {
  SetAndNotify(interiorOffset_, Value, [this] { Repaint(); });
}
void TRzCustomProgressBar::SetNumSegments(TSegmentRange Value) {
  SetAndNotify(numSegments_, Value, [this] { Repaint(); });
}
void TRzCustomProgressBar::SetOrientation(TOrientation Value) {
  SetAndNotify(orientation_, Value, [this] { Repaint(); });
}
void TRzCustomProgressBar::SetShowPercent(bool Value) { SetAndNotify(showPercent_, Value, [this] { Repaint(); }); }
void TRzCustomProgressBar::SetThemeAware(bool Value) { SetAndNotify(themeAware_, Value, [this] { Invalidate(); }); }

void TRzCustomProgressBar::SetBarColor(TColor Value) {
  SetAndNotify(barColor_, Value, [this] { Font()->SetColor(barColor_); Repaint(); });
}

void TRzCustomProgressBar::SetBarStyle(TBarStyle Value) {
  if (barStyle_ == Value) return;
  barStyle_ = Value;
  showPercent_ = Value == bsTraditional;
  interiorOffset_ = Value == bsLED ? 1 : 0;
  Repaint();
}

void TRzCustomProgressBar::SetFrameController(TRzFrameController* Value) {
  TRzFrameController::Link(frameController_, Value, this);
}

void TRzCustomProgressBar::SetPartsComplete(TUnsignedLongint Value) {
  if (partsComplete_ == Value) return;
  partsComplete_ = std::min(Value, totalParts_);
  if (!ComponentState().Contains(csLoading) && totalParts_ != 0)
    SetPercent(uint16_t(std::nearbyint(double(partsComplete_) / totalParts_ * 100)));
}

void TRzCustomProgressBar::SetPercent(uint16_t Value) {
  SetAndNotify(percent_, Value, [this] { PercentChanged(); Repaint(); });
}

void TRzCustomProgressBar::SetTotalParts(TUnsignedLongint Value) {
  if (totalParts_ == Value) return;
  totalParts_ = Value;
  if (!ComponentState().Contains(csLoading)) {
    partsComplete_ = 0;
    SetPercent(0);
  }
}

void TRzCustomProgressBar::PercentChanged() { OnChange(this, int32_t(percent_)); }

void TRzCustomProgressBar::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
  TGraphicControl::SetBounds(ALeft, ATop, AWidth, AHeight);
  SetOrientation(AHeight > AWidth ? orVertical : orHorizontal);
}

void TRzCustomProgressBar::FrameControllerChanged() {
  if (!frameController_ || !frameController_->FrameVisible()) return;
  borderOuter_ = frameController_->FrameStyle();
  flatColor_ = frameController_->FrameColor();
  flatColorAdjustment_ = 0;
  SetBackColor(frameController_->Color());
  SetParentColor(frameController_->ParentColor());
  Invalidate();
}

void TRzCustomProgressBar::Notification(TComponent* AComponent, TOperation Operation) {
  TGraphicControl::Notification(AComponent, Operation);
  if (Operation == TOperation::opRemove && AComponent == frameController_) frameController_ = nullptr;
}

bool TRzCustomProgressBar::UseThemes() const { return themeAware_ && ThemeServices()->ThemesEnabled(); }

void TRzCustomProgressBar::Paint() {
  TBitmap face;
  face.SetSize(Width(), Height());
  TCanvas* c = face.Canvas();
  c->SetFont(Font());
  TRect r = ClientRect();
  if (UseThemes()) {
    TThemeServices* themes = ThemeServices();
    themes->DrawElement(c->Handle(), themes->GetElementDetails(orientation_ == orHorizontal ? tpBar : tpBarVert), r);
    const int inset = interiorOffset_ + (barStyle_ == bsTraditional ? 3 : 1);
    InflateRect(&r, -inset, -inset);
  } else {
    c->Brush()->SetColor(borderColor_);
    c->FillRect(r);
    r = PaintBorders(c, r, borderOuter_, borderInner_, borderWidth_, sdAllSides, bevelWidth_, borderColor_,
                     clBtnHighlight, clBtnShadow, flatColor_, flatColorAdjustment_, backColor_,
                     Parent() ? Parent()->Color() : clBtnFace, false, true);
    if (interiorOffset_ > 0) {
      c->Brush()->SetStyle(bsClear);
      c->Pen()->SetColor(backColor_);
      c->Pen()->SetStyle(psInsideFrame);
      c->Pen()->SetWidth(interiorOffset_);
      c->Rectangle(r);
      c->Pen()->SetWidth(1);
      c->Pen()->SetStyle(psSolid);
      c->Brush()->SetStyle(bsSolid);
    }
    InflateRect(&r, -interiorOffset_, -interiorOffset_);
  }
  if (barStyle_ == bsLED)
    PaintSegmentBar(c, r, orientation_, barColor_, backColor_, numSegments_, percent_, themeAware_);
  else
    PaintTextBar(c, r, orientation_, barColor_, backColor_, percent_, showPercent_);
  Canvas()->Draw(0, 0, &face);
}
