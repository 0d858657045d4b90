#include "platform/cx/cxgraphics.h"

void TcxCanvas::FillRect(const TRect& R) { canvas_->FillRect(R); }

void TcxCanvas::FillRect(const TRect& R, TColor Color) {
  canvas_->Brush()->SetStyle(bsSolid);
  canvas_->Brush()->SetColor(Color);
  canvas_->FillRect(R);
}

void TcxCanvas::FrameRect(const TRect& R, TColor Color, int LineWidth) {
  canvas_->Brush()->SetStyle(bsSolid);
  canvas_->Brush()->SetColor(Color);
  TRect r = R;
  for (int i = 0; i < LineWidth && r.right > r.left && r.bottom > r.top; ++i) {
    canvas_->FrameRect(r);
    InflateRect(&r, -1, -1);
  }
}

void TcxCanvas::DrawComplexFrame(const TRect& R, TColor LeftTopColor, TColor RightBottomColor) {
  if (R.right <= R.left || R.bottom <= R.top) return;
  FillRect(TRect{R.left, R.top, R.right - 1, R.top + 1}, LeftTopColor);
  FillRect(TRect{R.left, R.top, R.left + 1, R.bottom - 1}, LeftTopColor);
  FillRect(TRect{R.left, R.bottom - 1, R.right, R.bottom}, RightBottomColor);
  FillRect(TRect{R.right - 1, R.top, R.right, R.bottom}, RightBottomColor);
}

void TcxCanvas::DrawText(const std::string& Text, TRect R, UINT Flags) {
  const int oldMode = SetBkMode(canvas_->Handle(), TRANSPARENT);
  canvas_->Brush()->SetStyle(bsClear);
  ::DrawText(canvas_->Handle(), Text.c_str(), int(Text.size()), &R, Flags | DT_NOPREFIX);
  canvas_->Brush()->SetStyle(bsSolid);
  SetBkMode(canvas_->Handle(), oldMode);
}

void TcxCanvas::Polygon(const std::vector<TPoint>& Points, TColor Color) {
  canvas_->Pen()->SetColor(Color);
  canvas_->Pen()->SetStyle(psSolid);
  canvas_->Brush()->SetStyle(bsSolid);
  canvas_->Brush()->SetColor(Color);
  canvas_->Polygon(Points);
}

UINT cxAlignmentFlags(TAlignment Alignment, bool EndEllipsis) {
  UINT flags = DT_SINGLELINE | DT_VCENTER | (EndEllipsis ? DT_END_ELLIPSIS : 0);
  if (Alignment == taCenter) flags |= DT_CENTER;
  if (Alignment == taRightJustify) flags |= DT_RIGHT;
  return flags;
}
