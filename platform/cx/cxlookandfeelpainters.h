// The painter of the grid's look: header and footer cells, sort marks, indicator
// images and check marks, in one classic raised look.
#pragma once

#include <string>

#include "platform/cx/cxgraphics.h"

enum TcxIndicatorKind { ikNone, ikArrow, ikEdit };
enum TcxCheckBoxState { cbsUnchecked, cbsChecked, cbsGrayed };

class TcxCustomLookAndFeelPainter : public TObject {
  VX_CLASS(TcxCustomLookAndFeelPainter, TObject)

 public:
  // A header cell: filled with BkColor, framed raised, Text in Font and TextColor inside
  // TextAreaBounds.
  virtual void DrawHeader(TcxCanvas* ACanvas, const TRect& ABounds, const TRect& ATextAreaBounds,
                          TAlignment AAlignment, const std::string& AText, TFont* AFont, TColor ATextColor,
                          TColor ABkColor, bool AEndEllipsis = true);
  // A footer cell: a sunken frame around the text.
  virtual void DrawFooterCell(TcxCanvas* ACanvas, const TRect& ABounds, TAlignment AAlignment,
                              const std::string& AText, TFont* AFont, TColor ATextColor, TColor ABkColor);
  // A triangle pointing up (ascending) or down, centred in R.
  virtual void DrawSortingMark(TcxCanvas* ACanvas, const TRect& R, bool AAscending);
  virtual int SortingMarkAreaSize() const { return 16; }
  // The focused-row arrow or the editing mark, centred in R.
  virtual void DrawIndicatorImage(TcxCanvas* ACanvas, const TRect& R, TcxIndicatorKind AKind);
  // A 13 by 13 check box centred in R.
  virtual void DrawCheckBox(TcxCanvas* ACanvas, const TRect& R, TcxCheckBoxState AState, bool AEnabled = true);
  static constexpr int CheckBoxSize = 13;
};

// The painter every view uses.
TcxCustomLookAndFeelPainter* cxLookAndFeelPainter();
