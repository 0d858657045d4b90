#include "platform/vcl/buttons.h"

#include "platform/vcl/controls.h"

TRect DrawButtonFace(TCanvas* Canvas, const TRect& Client, int BevelWidth, TButtonStyle Style, bool IsRounded,
                     bool IsDown, bool IsFocused) {
  const bool newStyle = (Style == bsAutoDetect && NewStyleControls) || Style == bsNew;
  TRect r = Client;
  Canvas->Brush()->SetStyle(bsSolid);
  Canvas->Brush()->SetColor(clBtnFace);
  if (newStyle) {
    DrawEdge(Canvas->Handle(), &r, IsDown ? EDGE_SUNKEN : EDGE_RAISED, BF_RECT | BF_MIDDLE | BF_ADJUST);
    return r;
  }
  // The old style: a black frame, bevels inside it.
  Canvas->Pen()->SetColor(clWindowFrame);
  Canvas->Pen()->SetWidth(1);
  Canvas->Pen()->SetStyle(psSolid);
  if (IsFocused) {
    Canvas->Rectangle(r);
    InflateRect(&r, -1, -1);
  }
  Canvas->Rectangle(r);
  if (IsRounded) {
    // The corner pixels take the colour behind the button.
    Canvas->SetPixels(r.left, r.top, clBtnFace);
    Canvas->SetPixels(r.left, r.bottom - 1, clBtnFace);
    Canvas->SetPixels(r.right - 1, r.top, clBtnFace);
    Canvas->SetPixels(r.right - 1, r.bottom - 1, clBtnFace);
  }
  InflateRect(&r, -1, -1);
  if (IsDown) {
    Frame3D(Canvas, r, clBtnShadow, clBtnFace, 1);
    Frame3D(Canvas, r, clBtnFace, clBtnFace, BevelWidth - 1 > 0 ? BevelWidth - 1 : 0);
  } else {
    Frame3D(Canvas, r, clBtnHighlight, clBtnShadow, BevelWidth);
  }
  Canvas->FillRect(r);
  return r;
}
