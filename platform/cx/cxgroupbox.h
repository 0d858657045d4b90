// A group box that frames related controls, and radio buttons: checking one unchecks
// the other radio buttons of its parent.
#pragma once

#include "platform/vcl/extctrls.h"
#include "platform/vcl/stdctrls.h"

class TcxGroupBox : public TCustomPanel {
  VX_CLASS(TcxGroupBox, TCustomPanel)

 public:
  explicit TcxGroupBox(TComponent* AOwner);

 protected:
  void Paint() override;
};

class TcxRadioButton : public TCheckBox {
  VX_CLASS(TcxRadioButton, TCheckBox)

 public:
  explicit TcxRadioButton(TComponent* AOwner);
  // Checking a radio button unchecks its siblings.
  void SetChecked(bool Value);
  // A click or Space checks it; it never unchecks itself.
  void Toggle() override;

 protected:
  void PaintButton(TCanvas* Canvas) override;
};
