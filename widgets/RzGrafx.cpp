#include "widgets/RzGrafx.h"

#include <algorithm>

#include "platform/vcl/forms.h"

namespace {

// The destination's text and background colours, put back when the copy is done.
class TDCColors {
 public:
  TDCColors(HDC DC, COLORREF Text, COLORREF Back)
      : dc_(DC), text_(SetTextColor(DC, Text)), back_(SetBkColor(DC, Back)) {}
  ~TDCColors() {
    SetTextColor(dc_, text_);
    SetBkColor(dc_, back_);
  }
  TDCColors(const TDCColors&) = delete;
  TDCColors& operator=(const TDCColors&) = delete;

 private:
  HDC dc_;
  COLORREF text_, back_;
};

// The source area stretched to W x H, and its mask: white where the picture has the
// transparent colour, black elsewhere. The transparent pixels of the picture itself
// are turned black, so that OR-ing it over a cleared area leaves them out.
struct TMaskedCopy {
  TBitmap colour;
  TBitmap mask;

  TMaskedCopy(TBitmap* Bitmap, int W, int H, TColor TransparentColor, const TRect& Source, bool BlackOut) {
    colour.SetSize(W, H);
    HDC c = colour.Canvas()->Handle();
    StretchBlt(c, 0, 0, W, H, Bitmap->Canvas()->Handle(), Source.left, Source.top, Source.right - Source.left,
               Source.bottom - Source.top, SRCCOPY);
    mask.SetMonochrome(true);
    mask.SetSize(W, H);
    HDC m = mask.Canvas()->Handle();
    {
      TDCColors keys(c, RGB(0, 0, 0), COLORREF(ColorToRGB(TransparentColor)));
      BitBlt(m, 0, 0, W, H, c, 0, 0, SRCCOPY);
    }
    if (BlackOut && ColorToRGB(TransparentColor) != 0) {
      TDCColors keys(c, RGB(255, 255, 255), RGB(0, 0, 0));
      BitBlt(c, 0, 0, W, H, m, 0, 0, SRCAND);
    }
  }
};

}  // namespace

void BlitMasked(TCanvas* Canvas, TBitmap* Bitmap, const TRect& DestRect, TColor TransparentColor,
                const TRect& SourceRect) {
  const int w = DestRect.right - DestRect.left, h = DestRect.bottom - DestRect.top;
  if (w <= 0 || h <= 0 || Bitmap->Empty()) return;
  TMaskedCopy copy(Bitmap, w, h, TransparentColor, SourceRect, true);
  HDC dc = Canvas->Handle();
  // The mask is AND-ed with black for the picture and white for the transparent
  // part, whatever colours the canvas holds.
  TDCColors keys(dc, RGB(0, 0, 0), RGB(255, 255, 255));
  BitBlt(dc, DestRect.left, DestRect.top, w, h, copy.mask.Canvas()->Handle(), 0, 0, SRCAND);
  BitBlt(dc, DestRect.left, DestRect.top, w, h, copy.colour.Canvas()->Handle(), 0, 0, SRCPAINT);
}

void BlitTransparent(TCanvas* Canvas, TBitmap* Bitmap, const TRect& DestRect, TColor TransparentColor,
                     const TRect& SourceRect) {
  const int w = DestRect.right - DestRect.left, h = DestRect.bottom - DestRect.top;
  if (w <= 0 || h <= 0 || Bitmap->Empty()) return;
  TMaskedCopy copy(Bitmap, w, h, TransparentColor, SourceRect, true);
  HDC dc = Canvas->Handle();
  TDCColors keys(dc, RGB(0, 0, 0), RGB(255, 255, 255));
  TransparentStretchBlt(dc, DestRect.left, DestRect.top, w, h, copy.colour.Canvas()->Handle(), 0, 0, w, h,
                        copy.mask.Canvas()->Handle(), 0, 0);
}

void TileMasked(TCanvas* Canvas, TBitmap* Bitmap, const TRect& DestRect, TColor TransparentColor) {
  const int bw = Bitmap->Width(), bh = Bitmap->Height();
  if (bw <= 0 || bh <= 0) return;
  for (int y = DestRect.top; y < DestRect.bottom; y += bh)
    for (int x = DestRect.left; x < DestRect.right; x += bw) {
      const int tw = std::min(bw, DestRect.right - x), th = std::min(bh, DestRect.bottom - y);
      BlitMasked(Canvas, Bitmap, TRect{x, y, x + tw, y + th}, TransparentColor, TRect{0, 0, tw, th});
    }
}

void StretchMasked(TCanvas* Canvas, TBitmap* Bitmap, const TRect& DestRect, TColor TransparentColor) {
  BlitMasked(Canvas, Bitmap, DestRect, TransparentColor, TRect{0, 0, Bitmap->Width(), Bitmap->Height()});
}

void FlipVertical(TBitmap* Bitmap) {
  const int w = Bitmap->Width(), h = Bitmap->Height();
  if (w <= 0 || h <= 0) return;
  TBitmap copy;
  copy.SetPixelFormat(Bitmap->PixelFormat());
  copy.SetSize(w, h);
  HDC dst = copy.Canvas()->Handle(), src = Bitmap->Canvas()->Handle();
  for (int y = 0; y < h; ++y) BitBlt(dst, 0, h - 1 - y, w, 1, src, 0, y, SRCCOPY);
  Bitmap->Assign(&copy);
}

void PaintParentBackground(TControl* Control, HDC DC, bool InvalidateParent) {
  TWinControl* parent = Control->Parent();
  if (!parent) return;
  const bool designing = Control->ComponentState().Contains(csDesigning);
  {
    const int saved = SaveDC(DC);
    struct TRestore {
      HDC dc;
      int saved;
      ~TRestore() { RestoreDC(dc, saved); }
    } restore{DC, saved};
    POINT origin{};
    GetViewportOrgEx(DC, &origin);
    SetViewportOrgEx(DC, origin.x - Control->Left(), origin.y - Control->Top(), nullptr);
    IntersectClipRect(DC, 0, 0, parent->ClientWidth(), parent->ClientHeight());
    if (designing) {
      bool erased = false;
      try {
        parent->Perform(WM_ERASEBKGND, WPARAM(DC), 0);
        erased = true;
      } catch (const std::exception&) {
      }
      if (erased) {
        try {
          parent->Perform(WM_PAINT, WPARAM(DC), 0);
        } catch (const std::exception&) {
        }
      }
    } else {
      parent->Perform(WM_ERASEBKGND, WPARAM(DC), 0);
      parent->Perform(WM_PAINT, WPARAM(DC), 0);
    }
  }
  if (InvalidateParent && !::Is<TCustomControl>(parent) && !::Is<TCustomForm>(parent) && !designing)
    parent->Invalidate();
}

void PaintParentBackground(TControl* Control, TCanvas* Canvas, bool InvalidateParent) {
  PaintParentBackground(Control, Canvas->Handle(), InvalidateParent);
}
