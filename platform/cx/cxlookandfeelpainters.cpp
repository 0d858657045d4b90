#include "platform/cx/cxlookandfeelpainters.h"

#include <algorithm>

void TcxCustomLookAndFeelPainter::DrawHeader(TcxCanvas* ACanvas, const TRect& ABounds, const TRect& ATextAreaBounds,
                                             TAlignment AAlignment, const std::string& AText, TFont* AFont,
                                             TColor ATextColor, TColor ABkColor, bool AEndEllipsis) {
  ACanvas->FillRect(ABounds, ABkColor);
  ACanvas->DrawComplexFrame(ABounds, clBtnHighlight, clBtnShadow);
  if (AText.empty()) return;
  if (AFont) ACanvas->Font()->Assign(AFont);
  ACanvas->Font()->SetColor(ATextColor);
  ACanvas->DrawText(AText, ATextAreaBounds, cxAlignmentFlags(AAlignment, AEndEllipsis));
}

void TcxCustomLookAndFeelPainter::DrawFooterCell(TcxCanvas* ACanvas, const TRect& ABounds, TAlignment AAlignment,
                                                 const std::string& AText, TFont* AFont, TColor ATextColor,
                                                 TColor ABkColor) {
  ACanvas->FillRect(ABounds, ABkColor);
  ACanvas->DrawComplexFrame(ABounds, clBtnShadow, clBtnHighlight);
  if (AText.empty()) return;
  if (AFont) ACanvas->Font()->Assign(AFont);
  ACanvas->Font()->SetColor(ATextColor);
  TRect text = ABounds;
  InflateRect(&text, -3, -1);
  ACanvas->DrawText(AText, text, cxAlignmentFlags(AAlignment, true));
}

void TcxCustomLookAndFeelPainter::DrawSortingMark(TcxCanvas* ACanvas, const TRect& R, bool AAscending) {
  const int cx = (R.left + R.right) / 2, cy = (R.top + R.bottom) / 2;
  if (AAscending)
    ACanvas->Polygon({{cx - 4, cy + 2}, {cx + 4, cy + 2}, {cx, cy - 2}}, clBtnShadow);
  else
    ACanvas->Polygon({{cx - 4, cy - 2}, {cx + 4, cy - 2}, {cx, cy + 2}}, clBtnShadow);
}

void TcxCustomLookAndFeelPainter::DrawIndicatorImage(TcxCanvas* ACanvas, const TRect& R, TcxIndicatorKind AKind) {
  const int cx = (R.left + R.right) / 2, cy = (R.top + R.bottom) / 2;
  if (AKind == ikArrow) ACanvas->Polygon({{cx - 2, cy - 4}, {cx + 2, cy}, {cx - 2, cy + 4}}, clBtnText);
  if (AKind == ikEdit) ACanvas->FillRect(TRect{cx - 1, cy - 4, cx + 1, cy + 5}, clBtnText);
}

void TcxCustomLookAndFeelPainter::DrawCheckBox(TcxCanvas* ACanvas, const TRect& R, TcxCheckBoxState AState,
                                               bool AEnabled) {
  const int x = R.left + (R.right - R.left - CheckBoxSize) / 2, y = R.top + (R.bottom - R.top - CheckBoxSize) / 2;
  TRect box{x, y, x + CheckBoxSize, y + CheckBoxSize};
  UINT state = DFCS_BUTTONCHECK;
  if (AState == cbsChecked) state |= DFCS_CHECKED;
  if (AState == cbsGrayed) state |= DFCS_BUTTON3STATE | DFCS_CHECKED;
  if (!AEnabled) state |= DFCS_INACTIVE;
  DrawFrameControl(ACanvas->Handle(), &box, DFC_BUTTON, state);
}

TcxCustomLookAndFeelPainter* cxLookAndFeelPainter() {
  static TcxCustomLookAndFeelPainter painter;
  return &painter;
}
