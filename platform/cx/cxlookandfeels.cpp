#include "platform/cx/cxlookandfeels.h"

void TcxLookAndFeel::Assign(TPersistent* Source) {
  auto* l = As<TcxLookAndFeel>(Source);
  if (!l) return TPersistent::Assign(Source);
  if (kind_ == l->kind_ && nativeStyle_ == l->nativeStyle_) return;
  kind_ = l->kind_;
  nativeStyle_ = l->nativeStyle_;
  OnChanged(this);
}

void TcxLookAndFeel::SetKind(TcxLookAndFeelKind Value) {
  SetAndNotify(kind_, Value, [this] { OnChanged(this); });
}

void TcxLookAndFeel::SetNativeStyle(bool Value) {
  SetAndNotify(nativeStyle_, Value, [this] { OnChanged(this); });
}

void cxDrawDropDownArrow(TCanvas* Canvas, const TRect& R, TColor Color) {
  // Rows of 7, 5, 3 and 1 pixels.
  const int cx = (R.left + R.right) / 2, top = (R.top + R.bottom) / 2 - 2;
  Canvas->Brush()->SetStyle(bsSolid);
  Canvas->Brush()->SetColor(Color);
  for (int row = 0; row < 4; ++row) Canvas->FillRect(TRect{cx - 3 + row, top + row, cx + 4 - row, top + row + 1});
}
