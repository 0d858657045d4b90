// A frame's bitmap, its mask of transparent pixels, its palette, and drawing it:
// stretched or tiled, with the transparent pixels left out through the mask.
#include <cstring>

#include "codecs/gif/GifExtensions.h"
#include "platform/win/winuser.h"

namespace {

// A memory device context, deleted on every path.
struct TMemoryDC {
  HDC dc;
  explicit TMemoryDC(HDC Compatible) : dc(CheckGDIResult(CreateCompatibleDC(Compatible))) {}
  ~TMemoryDC() { DeleteDC(dc); }
  TMemoryDC(const TMemoryDC&) = delete;
  TMemoryDC& operator=(const TMemoryDC&) = delete;
};

// An object selected into a device context until the end of the scope; one made for
// the purpose is also deleted.
struct TSelection {
  HDC dc;
  HGDIOBJ old;
  HGDIOBJ owned;
  TSelection(HDC ADC, GdiObjectArg Object, bool Own)
      : dc(ADC), old(SelectObject(ADC, Object)), owned(Own ? Object.h : nullptr) {}
  ~TSelection() {
    SelectObject(dc, old);
    if (owned) DeleteObject(owned);
  }
  TSelection(const TSelection&) = delete;
  TSelection& operator=(const TSelection&) = delete;
};

// Keeps a destination's text and background colours at black and white for the scope.
struct TMonoColors {
  HDC dc;
  COLORREF text, back;
  explicit TMonoColors(HDC ADC)
      : dc(ADC), text(SetTextColor(ADC, RGB(0, 0, 0))), back(SetBkColor(ADC, RGB(255, 255, 255))) {}
  ~TMonoColors() {
    SetTextColor(dc, text);
    SetBkColor(dc, back);
  }
};

constexpr DWORD kKeepDestination = 0x00AA0029;

}  // namespace

// ---- Palette ----

HPALETTE TGIFSubImage::GetPalette() {
  if (FBitmap)
    if (HPALETTE palette = FBitmap->Palette()) return palette;
  if (FLocalPalette) return FLocalPalette;
  if (FGIFImage->GetDoDither())
    FLocalPalette = WebPalette();
  else if (FLocalColorMap->Count() > 0)
    FLocalPalette = FLocalColorMap->ExportPalette();
  else
    return FGIFImage->GetPalette();
  return FLocalPalette;
}

// ---- Bitmap and mask ----

void TGIFSubImage::NewBitmap() { FBitmap = std::make_unique<TBitmap>(); }

void TGIFSubImage::FreeBitmap() { FBitmap.reset(); }

void TGIFSubImage::FreeMask() {
  if (FMask) DeleteObject(FMask);
  FMask = nullptr;
  FNeedMask = true;
}

void TGIFSubImage::SetBitmap(TBitmap* Value) {
  FreeBitmap();
  if (Value) Assign(Value);
}

void TGIFSubImage::SetHasBitmap(bool Value) {
  if (Value)
    GetBitmap();
  else
    FreeBitmap();
}

bool TGIFSubImage::HasMask() {
  if (FNeedMask && FTransparent) {
    FreeBitmap();
    GetBitmap();
  }
  return FMask != nullptr;
}

void TGIFSubImage::RenderProgress(TProgressStage Stage, int Row) {
  const int percent = Stage == psStarting ? 0 : Height() > 0 ? Row * 100 / Height() : 100;
  FGIFImage->Progress(this, Stage, uint8_t(percent), false, Rect(0, 0, 0, 0), sProgressRendering);
}

TBitmap* TGIFSubImage::GetBitmap() {
  if (FBitmap || Empty()) return FBitmap.get();
  const TRect none = Rect(0, 0, 0, 0);
  FGIFImage->Progress(this, psStarting, 0, false, none, sProgressRendering);
  try {
    FBitmap = FGIFImage->GetDoDither() ? DoGetDitherBitmap() : DoGetBitmap();
  } catch (const EAbort&) {
    FGIFImage->Progress(this, psEnding, 0, FGIFImage->PaletteChanged(), none, sProgressRendering);
    return FBitmap.get();
  } catch (...) {
    FGIFImage->Progress(this, psEnding, 0, FGIFImage->PaletteChanged(), none, sProgressRendering);
    throw;
  }
  FGIFImage->Progress(this, psEnding, 100, FGIFImage->PaletteChanged(), none, sProgressRendering);
  if (FGIFImage->PaletteChanged()) FGIFImage->Changed(this);
  return FBitmap.get();
}

std::unique_ptr<uint8_t[]> TGIFSubImage::BeginMask(int64_t& Stride) {
  const bool build = FNeedMask && FTransparent && !FMask;
  FNeedMask = false;
  if (!build) return nullptr;
  Stride = AlignedRowSize(Width(), 1, 16);
  return std::unique_ptr<uint8_t[]>(new uint8_t[size_t(Stride * Height())]());
}

void TGIFSubImage::EndMask(std::unique_ptr<uint8_t[]> Bits, bool AnyTransparent) {
  if (Bits && AnyTransparent) FMask = CheckGDIResult(CreateBitmap(Width(), Height(), 1, 1, Bits.get()));
}

std::unique_ptr<TBitmap> TGIFSubImage::DoGetBitmap() {
  auto bitmap = std::make_unique<TBitmap>();
  // Large pictures start small: the DIB replaces the contents anyway.
  if (int64_t(Width()) * Height() > 500000) bitmap->SetPixelFormat(pf1bit);
  if (Empty()) {
    bitmap->SetSize(Width(), Height());
    bitmap->SetPalette(CopyPalette(GetPalette()));
    return bitmap;
  }
  const int width = Width(), height = Height();
  TDIBWriter writer(bitmap.get(), GetPalette(), width, height, pf8bit);
  int64_t stride = 0;
  std::unique_ptr<uint8_t[]> mask = BeginMask(stride);
  const uint8_t transparent = FGCE ? FGCE->GetTransparentColorIndex() : 0;
  bool anyTransparent = false;
  for (int y = 0; y < height; ++y) {
    if (y % 32 == 0) RenderProgress(psRunning, y);
    const uint8_t* src = FData.get() + int64_t(y) * width;
    std::memcpy(writer.RowAddress(y), src, size_t(width));
    if (!mask) continue;
    uint8_t* bits = mask.get() + y * stride;
    for (int x = 0; x < width; ++x)
      if (src[x] == transparent) {
        bits[x >> 3] |= uint8_t(0x80 >> (x & 7));
        anyTransparent = true;
      }
  }
  EndMask(std::move(mask), anyTransparent);
  writer.Store();
  return bitmap;
}

std::unique_ptr<TBitmap> TGIFSubImage::DoGetDitherBitmap() {
  auto bitmap = std::make_unique<TBitmap>();
  if (int64_t(Width()) * Height() > 500000) bitmap->SetPixelFormat(pf1bit);
  HPALETTE palette = GetPalette();
  if (Empty()) {
    bitmap->SetSize(Width(), Height());
    bitmap->SetPalette(CopyPalette(palette));
    return bitmap;
  }
  const int width = Width(), height = Height();
  TNetscapeColorLookup lookup;
  TFloydSteinbergDitherer ditherer(width, &lookup);
  TDIBWriter writer(bitmap.get(), palette, width, height, pf8bit);
  int64_t stride = 0;
  std::unique_ptr<uint8_t[]> mask = BeginMask(stride);
  TGIFColorMap* map = GetActiveColorMap();
  const int colors = map->Count();
  const uint8_t transparent = FGCE ? FGCE->GetTransparentColorIndex() : 0;
  // Transparent pixels are hidden by the mask; they carry the web entry of their colour.
  uint8_t fill = 0;
  if (mask && transparent < colors) {
    const TGIFColor c = map->Entry(transparent);
    uint8_t r, g, b;
    fill = lookup.NearestIndex(c.Red, c.Green, c.Blue, r, g, b);
  }
  bool anyTransparent = false;
  for (int y = 0; y < height; ++y) {
    if (y % 32 == 0) RenderProgress(psRunning, y);
    const uint8_t* src = FData.get() + int64_t(y) * width;
    auto* dst = static_cast<uint8_t*>(writer.RowAddress(y));
    uint8_t* bits = mask ? mask.get() + y * stride : nullptr;
    if (bits) std::memset(dst, fill, size_t(width));
    uint8_t r, g, b;
    for (int x = ditherer.Column(); x >= 0 && x < width; x = ditherer.Column()) {
      const uint8_t index = src[x];
      if (bits && index == transparent) {
        bits[x >> 3] |= uint8_t(0x80 >> (x & 7));
        anyTransparent = true;
        ditherer.StepColumn();
        continue;
      }
      const TGIFColor c = index < colors ? map->Entry(index) : TGIFColor{};
      dst[x] = ditherer.DitherPixel(c.Red, c.Green, c.Blue, r, g, b);
    }
    ditherer.EndRow();
  }
  EndMask(std::move(mask), anyTransparent);
  writer.Store();
  return bitmap;
}

void TGIFSubImage::AssignTo(TPersistent* Dest) {
  if (auto* bitmap = As<TBitmap>(Dest)) {
    bitmap->Assign(GetBitmap());
    return;
  }
  TGIFItem::AssignTo(Dest);
}

// ---- Drawing ----

TRect TGIFSubImage::ScaleRect(const TRect& R) const {
  const int screenWidth = FGIFImage->Width(), screenHeight = FGIFImage->Height();
  if (screenWidth <= 0 || screenHeight <= 0) return R;
  const int w = R.right - R.left, h = R.bottom - R.top;
  return Rect(R.left + MulDiv(Left(), w, screenWidth), R.top + MulDiv(Top(), h, screenHeight),
              R.left + MulDiv(Left() + Width(), w, screenWidth), R.top + MulDiv(Top() + Height(), h, screenHeight));
}

void TGIFSubImage::Draw(TCanvas* ACanvas, const TRect& Rect, bool DoTransparent, bool DoTile) {
  StretchDraw(ACanvas, DoTile ? Rect : ScaleRect(Rect), DoTransparent, DoTile);
}

void TGIFSubImage::StretchDraw(TCanvas* ACanvas, const TRect& R, bool DoTransparent, bool DoTile) {
  if (Empty()) return;
  const bool masked = DoTransparent && FTransparent && HasMask();
  if (!GetBitmap()) return;
  const int width = Width(), height = Height();
  auto each = [&](auto&& Paint) {
    if (!DoTile) {
      Paint(R);
      return;
    }
    for (int x = R.left; x < R.right; x += width)
      for (int y = R.top; y < R.bottom; y += height) Paint(Rect(x, y, x + width, y + height));
  };
  if (masked) {
    TMemoryDC maskDC(nullptr);
    TSelection mask(maskDC.dc, FMask, false);
    each([&](const TRect& Part) { MaskedDraw(ACanvas, Part, maskDC.dc); });
    ACanvas->NotifyChanged();
  } else {
    each([&](const TRect& Part) { ACanvas->StretchDraw(Part, FBitmap.get()); });
  }
}

// Copies the bitmap into R where the mask is clear and keeps the destination where it
// is set.
void TGIFSubImage::MaskedDraw(TCanvas* ACanvas, const TRect& R, HDC MaskDC) {
  HDC dest = ACanvas->Handle();
  HDC source = FBitmap->Canvas()->Handle();
  const int width = Width(), height = Height();
  const int destWidth = R.right - R.left, destHeight = R.bottom - R.top;
  if (destWidth == width && destHeight == height) {
    // The mask goes to MaskBlt as a bitmap selected into no device context.
    TSelection free(MaskDC, CheckGDIResult(CreateBitmap(1, 1, 1, 1, nullptr)), true);
    MaskBlt(dest, R.left, R.top, width, height, source, 0, 0, FMask, 0, 0, MAKEROP4(kKeepDestination, SRCCOPY));
    return;
  }
  // Stretched: the destination is cut out through the mask (AND), and the picture with
  // its transparent pixels blackened is laid in (OR).
  TMemoryDC picture(dest);
  TSelection pictureBitmap(picture.dc, CheckGDIResult(CreateCompatibleBitmap(dest, width, height)), true);
  TMemoryDC inverse(dest);
  TSelection inverseBitmap(inverse.dc, CheckGDIResult(CreateBitmap(width, height, 1, 1, nullptr)), true);
  BitBlt(inverse.dc, 0, 0, width, height, MaskDC, 0, 0, NOTSRCCOPY);
  HPALETTE palette = FBitmap->Palette() ? FBitmap->Palette() : SystemPalette16();
  HPALETTE oldPalette = SelectPalette(picture.dc, palette, FALSE);
  RealizePalette(picture.dc);
  BitBlt(picture.dc, 0, 0, width, height, inverse.dc, 0, 0, SRCCOPY);
  BitBlt(picture.dc, 0, 0, width, height, source, 0, 0, SRCAND);
  {
    TMonoColors colors(dest);
    StretchBlt(dest, R.left, R.top, destWidth, destHeight, MaskDC, 0, 0, width, height, SRCAND);
    StretchBlt(dest, R.left, R.top, destWidth, destHeight, picture.dc, 0, 0, width, height, SRCPAINT);
  }
  SelectPalette(picture.dc, oldPalette, FALSE);
}
