// The owner-drawn controls of the updater's forms. Until the widget set is in the
// tree, plain stand-ins with the members the forms use keep the forms working.
#pragma once

#if __has_include("widgets/RzPrgres.h") && __has_include("widgets/RzRadChk.h") && __has_include("widgets/RzBmpBtn.h")
#include "widgets/RzBmpBtn.h"
#include "widgets/RzPrgres.h"
#include "widgets/RzRadChk.h"
#else
#include "platform/vcl/controls.h"
#include "platform/vcl/forms.h"
#include "platform/vcl/graphics.h"

class TRzProgressBar : public TGraphicControl {
  VX_CLASS(TRzProgressBar, TGraphicControl)

 public:
  explicit TRzProgressBar(TComponent* AOwner) : TGraphicControl(AOwner) {}
  void SetBarColor(TColor Value) { barColor_ = Value; }
  TColor BarColor() const { return barColor_; }
  void SetBorderColor(TColor Value) { borderColor_ = Value; }
  TColor BorderColor() const { return borderColor_; }
  void SetBorderWidth(int Value) {}
  void SetPercent(int Value) {
    if (percent_ == Value) return;
    percent_ = Value;
    Repaint();
  }
  int Percent() const { return percent_; }

 private:
  TColor barColor_ = 0;
  TColor borderColor_ = 0;
  int percent_ = 0;
};

class TRzRadioButton : public TCustomControl {
  VX_CLASS(TRzRadioButton, TCustomControl)

 public:
  explicit TRzRadioButton(TComponent* AOwner) : TCustomControl(AOwner) {}
  bool GetChecked() const { return checked_; }
  void SetChecked(bool Value) {
    if (checked_ == Value) return;
    checked_ = Value;
    if (!Value) return;
    if (TWinControl* p = Parent()) {
      for (int i = 0; i < p->ControlCount(); ++i)
        if (auto* other = As<TRzRadioButton>(p->Controls(i)); other && other != this) other->SetChecked(false);
    }
    TCustomControl::Click();
  }
  void SetHotTrack(bool) {}
  void Click() override {
    if (!checked_) SetChecked(true);
  }

 private:
  bool checked_ = false;
};

class TRzBmpButton : public TCustomControl {
  VX_CLASS(TRzBmpButton, TCustomControl)

 public:
  explicit TRzBmpButton(TComponent* AOwner) : TCustomControl(AOwner) {}
  int ModalResult() const { return modalResult_; }
  void SetModalResult(int Value) { modalResult_ = Value; }
  void Click() override {
    if (TCustomForm* f = GetParentForm(this)) f->SetModalResult(modalResult_);
    TCustomControl::Click();
  }

 private:
  int modalResult_ = 0;
};
#endif
