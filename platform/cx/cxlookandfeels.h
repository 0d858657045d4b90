// The look and feel of the third-party controls: the kind of drawing a control asks
// for, and the small pictures several of them share.
#pragma once

#include "platform/vcl/controls.h"

enum TcxLookAndFeelKind { lfFlat, lfStandard, lfUltraFlat, lfOffice11 };

class TcxLookAndFeel : public TPersistent {
  VX_CLASS(TcxLookAndFeel, TPersistent)

 public:
  void Assign(TPersistent* Source) override;
  TcxLookAndFeelKind Kind() const { return kind_; }
  void SetKind(TcxLookAndFeelKind Value);
  // Drawn as the system draws its own controls.
  bool NativeStyle() const { return nativeStyle_; }
  void SetNativeStyle(bool Value);

  TNotifyEvent OnChanged;

 private:
  TcxLookAndFeelKind kind_ = lfStandard;
  bool nativeStyle_ = false;
};

// The small triangle of a drop-down button, pointing down, centred in R.
void cxDrawDropDownArrow(TCanvas* Canvas, const TRect& R, TColor Color);
