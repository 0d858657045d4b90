// Bitmap helpers of the widget set: copies of bitmaps that leave one colour out
// (masked, transparent, tiled, stretched), a vertical mirror, and painting a
// control's parent under the control.
#pragma once

#include "platform/vcl/controls.h"
#include "platform/vcl/graphics.h"

// Copies SourceRect of Bitmap into DestRect (stretched) and leaves the pixels of
// TransparentColor out: the canvas keeps what it had there.
void BlitMasked(TCanvas* Canvas, TBitmap* Bitmap, const TRect& DestRect, TColor TransparentColor,
                const TRect& SourceRect);
// The same picture through the framework's transparent stretch.
void BlitTransparent(TCanvas* Canvas, TBitmap* Bitmap, const TRect& DestRect, TColor TransparentColor,
                     const TRect& SourceRect);
// Repeats the whole bitmap over DestRect, cutting the last row and column of tiles.
void TileMasked(TCanvas* Canvas, TBitmap* Bitmap, const TRect& DestRect, TColor TransparentColor);
// The whole bitmap stretched over DestRect.
void StretchMasked(TCanvas* Canvas, TBitmap* Bitmap, const TRect& DestRect, TColor TransparentColor);
// Mirrors the bitmap top to bottom, in place.
void FlipVertical(TBitmap* Bitmap);

// Paints the control's parent (its background, then its own painting) into DC at the
// control's place, so that the control can draw over what lies under it. Nothing
// without a parent. With InvalidateParent, a parent that paints no window of its own
// is invalidated afterwards.
void PaintParentBackground(TControl* Control, HDC DC, bool InvalidateParent);
void PaintParentBackground(TControl* Control, TCanvas* Canvas, bool InvalidateParent);
