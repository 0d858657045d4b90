// The canvas the grid hands to its custom-draw events: a TCanvas with the fills,
// frames and text the grid's painting needs.
#pragma once

#include <string>
#include <vector>

#include "platform/vcl/controls.h"
#include "platform/vcl/graphics.h"

class TcxCanvas : public TObject {
  VX_CLASS(TcxCanvas, TObject)

 public:
  explicit TcxCanvas(TCanvas* ACanvas) : canvas_(ACanvas) {}

  TCanvas* Canvas() const { return canvas_; }
  TBrush* Brush() const { return canvas_->Brush(); }
  TFont* Font() const { return canvas_->Font(); }
  TPen* Pen() const { return canvas_->Pen(); }
  HDC Handle() const { return canvas_->Handle(); }

  // Fills with the brush, or with a colour (the brush keeps it).
  void FillRect(const TRect& R);
  void FillRect(const TRect& R, TColor Color);
  // A frame LineWidth pixels wide inside R.
  void FrameRect(const TRect& R, TColor Color, int LineWidth = 1);
  // The top and left edges in LeftTopColor, the bottom and right in RightBottomColor,
  // one pixel inside R.
  void DrawComplexFrame(const TRect& R, TColor LeftTopColor, TColor RightBottomColor);
  // Text in the canvas font, placed by DrawText flags (DT_...).
  void DrawText(const std::string& Text, TRect R, UINT Flags);
  int TextWidth(const std::string& Text) { return canvas_->TextWidth(Text); }
  int TextHeight(const std::string& Text) { return canvas_->TextHeight(Text); }
  // A filled polygon in Color (pen and brush).
  void Polygon(const std::vector<TPoint>& Points, TColor Color);
  void Draw(int X, int Y, TGraphic* Graphic) { canvas_->Draw(X, Y, Graphic); }
  TColor Pixels(int X, int Y) { return canvas_->Pixels(X, Y); }

 private:
  TCanvas* canvas_;
};

// DrawText flags for a horizontal alignment on one line, vertically centred.
UINT cxAlignmentFlags(TAlignment Alignment, bool EndEllipsis);
