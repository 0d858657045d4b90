// Bitmaps: pixel formats, the canvas, transparency and masks, palettes, and BMP
// files.
#include <algorithm>
#include <cstring>

#include "platform/gdi/dc.h"
#include "platform/vcl/graphics.h"
#include "platform/win/resources.h"

using vx::gdi::Surface;

namespace {

Surface* SurfacePtr(HBITMAP h) { return h ? vx::gdi::SurfaceOf(h).get() : nullptr; }

HPALETTE PaletteFromColors(const std::vector<RGBQUAD>& colors) {
  if (colors.empty()) return nullptr;
  LOGPALETTE256 lp;
  lp.palNumEntries = WORD(std::min<size_t>(colors.size(), 256));
  for (size_t i = 0; i < lp.palNumEntries; ++i)
    lp.palPalEntry[i] = PALETTEENTRY{colors[i].rgbRed, colors[i].rgbGreen, colors[i].rgbBlue, 0};
  return CreatePalette(lp.get());
}

std::vector<RGBQUAD> ColorsFromPalette(HPALETTE pal) {
  std::vector<RGBQUAD> out;
  const UINT n = pal ? GetPaletteEntries(pal, 0, 0, nullptr) : 0;
  if (n == 0) return out;
  std::vector<PALETTEENTRY> e(n);
  GetPaletteEntries(pal, 0, n, e.data());
  for (auto& x : e) out.push_back(RGBQUAD{x.peBlue, x.peGreen, x.peRed, 0});
  return out;
}

struct FormatLayout {
  int bpp;
  bool dib;
  uint32_t masks[3];
};

FormatLayout LayoutOf(TPixelFormat pf) {
  switch (pf) {
    case pf1bit: return {1, true, {0, 0, 0}};
    case pf4bit: return {4, true, {0, 0, 0}};
    case pf8bit: return {8, true, {0, 0, 0}};
    case pf15bit: return {16, true, {0x7C00, 0x03E0, 0x001F}};
    case pf16bit: return {16, true, {0xF800, 0x07E0, 0x001F}};
    case pf24bit: return {24, true, {0, 0, 0}};
    case pf32bit: return {32, true, {0xFF0000, 0x00FF00, 0x0000FF}};
    default: return {32, false, {0xFF0000, 0x00FF00, 0x0000FF}};
  }
}

[[noreturn]] void InvalidBitmap() { throw EInvalidGraphic(GraphicsText::InvalidBitmap); }

}  // namespace

// ---- TBitmapCanvas ----

TBitmapCanvas::~TBitmapCanvas() { FreeContext(); }

void TBitmapCanvas::CreateHandle() {
  if (HandleAllocated()) return;
  HDC dc = CreateCompatibleDC(nullptr);
  if (!dc) throw EOutOfResources(GraphicsText::OutOfResources);
  if (bitmap_->handle_) oldBitmap_ = reinterpret_cast<HBITMAP>(SelectObject(dc, bitmap_->handle_));
  if (bitmap_->palette_) oldPalette_ = SelectPalette(dc, bitmap_->palette_, TRUE);
  SetHandle(dc);
}

void TBitmapCanvas::FreeContext() {
  if (!HandleAllocated()) return;
  HDC dc = Handle();
  SetHandle(nullptr);
  if (oldBitmap_) SelectObject(dc, oldBitmap_);
  if (oldPalette_) SelectPalette(dc, oldPalette_, TRUE);
  oldBitmap_ = nullptr;
  oldPalette_ = nullptr;
  DeleteDC(dc);
}

// ---- TBitmap ----

TBitmap::TBitmap() = default;

TBitmap::~TBitmap() {
  canvas_.reset();
  FreeMask();
  if (handle_) DeleteObject(handle_);
  if (palette_) DeleteObject(palette_);
}

void TBitmap::FreeContext() {
  if (canvas_) canvas_->FreeContext();
}

void TBitmap::FreeMask() {
  if (mask_) DeleteObject(mask_);
  mask_ = nullptr;
}

void TBitmap::ReplaceHandle(HBITMAP h) {
  FreeContext();
  FreeMask();
  if (handle_ && handle_ != h) DeleteObject(handle_);
  handle_ = h;
  Surface* s = SurfacePtr(h);
  width_ = s ? s->Width() : 0;
  height_ = s ? s->Height() : 0;
  if (s) {
    format_ = PixelFormat();
    monochrome_ = s->Bpp() == 1;
  }
}

TCanvas* TBitmap::Canvas() {
  if (!canvas_) {
    canvas_ = std::make_unique<TBitmapCanvas>(this);
    canvas_->OnChange = TNotifyEvent(this, &TBitmap::Changed);
  }
  return canvas_.get();
}

bool TBitmap::GetEmpty() { return handle_ == nullptr; }

void TBitmap::Changed(TObject* Sender) {
  FreeMask();
  TGraphic::Changed(Sender);
}

HBITMAP TBitmap::Handle() { return handle_; }

void TBitmap::SetHandle(HBITMAP Value) {
  if (Value == handle_) return;
  if (Value && !SurfacePtr(Value)) return;
  ReplaceHandle(Value);
  Changed(this);
}

HBITMAP TBitmap::ReleaseHandle() {
  HBITMAP h = handle_;
  if (!h) return nullptr;
  FreeContext();
  FreeMask();
  // Keep a copy of the picture; the caller owns the handle from now on.
  handle_ = vx::gdi::AddBitmap(SurfacePtr(h)->Clone());
  return h;
}

TPixelFormat TBitmap::PixelFormat() const {
  const Surface* s = SurfacePtr(handle_);
  if (!s) return format_;
  if (!s->IsDIB()) return pfDevice;
  switch (s->Bpp()) {
    case 1: return pf1bit;
    case 4: return pf4bit;
    case 8: return pf8bit;
    case 16:
      if (s->RedMask() == 0x7C00 && s->GreenMask() == 0x03E0 && s->BlueMask() == 0x001F) return pf15bit;
      if (s->RedMask() == 0xF800 && s->GreenMask() == 0x07E0 && s->BlueMask() == 0x001F) return pf16bit;
      return pfCustom;
    case 24: return pf24bit;
    default: return s->StandardMasks() ? pf32bit : pfCustom;
  }
}

TBitmapHandleType TBitmap::HandleType() const {
  const Surface* s = SurfacePtr(handle_);
  if (!s) return format_ == pfDevice ? bmDDB : bmDIB;
  return s->IsDIB() ? bmDIB : bmDDB;
}

void TBitmap::SetHandleType(TBitmapHandleType Value) {
  if (Value == HandleType()) return;
  Surface* s = SurfacePtr(handle_);
  if (!s) {
    format_ = Value == bmDDB ? pfDevice : pf32bit;
    return;
  }
  if (Value == bmDIB) {
    // The pixels stay; a device bitmap just becomes a DIB of its depth.
    s->SetDIB(true);
  } else if (s->Bpp() == 1) {
    s->SetDIB(false);
    s->SetColors(vx::gdi::MonoColors());
  } else {
    SetPixelFormat(pfDevice);
    return;
  }
  format_ = PixelFormat();
  Changed(this);
}

void TBitmap::SetPixelFormat(TPixelFormat Value) {
  if (Value == pfCustom) throw EInvalidGraphic(GraphicsText::InvalidPixelFormat);
  if (Value == PixelFormat()) return;
  Surface* s = SurfacePtr(handle_);
  if (!s) {
    format_ = Value;
    monochrome_ = Value == pf1bit;
    return;
  }
  const FormatLayout f = LayoutOf(Value);
  // Indexed targets keep the picture's own colours where they can.
  std::vector<RGBQUAD> colors;
  if (f.bpp <= 8) {
    if (s->Indexed() && s->Bpp() <= f.bpp)
      colors = s->Colors();
    else if (palette_)
      colors = ColorsFromPalette(palette_);
    else
      colors = vx::gdi::DefaultColors(f.bpp);
    colors.resize(size_t{1} << f.bpp);
  }
  auto converted = s->Converted(f.bpp, f.bpp <= 8 ? &colors : nullptr, f.dib, f.masks[0], f.masks[1], f.masks[2]);
  if (!converted) throw EOutOfResources(GraphicsText::OutOfResources);
  ReplaceHandle(vx::gdi::AddBitmap(std::move(converted)));
  if (palette_ && f.bpp > 8) {
    // A true-colour picture keeps its palette only as a hint.
  } else if (f.bpp <= 8) {
    if (palette_) DeleteObject(palette_);
    palette_ = nullptr;
  }
  Changed(this);
}

bool TBitmap::Monochrome() const {
  const Surface* s = SurfacePtr(handle_);
  return s ? s->Bpp() == 1 : monochrome_;
}

void TBitmap::SetMonochrome(bool Value) {
  if (Value == Monochrome()) return;
  Surface* s = SurfacePtr(handle_);
  if (!s) {
    // A monochrome bitmap is a device bitmap of one bit a pixel.
    monochrome_ = Value;
    format_ = pfDevice;
    return;
  }
  std::shared_ptr<Surface> out;
  if (Value) {
    // Pixels of the canvas brush's colour become 1 (white), every other pixel 0.
    out = vx::gdi::MonochromeMask(*s, COLORREF(ColorToRGB(canvas_ ? canvas_->Brush()->Color() : clWhite)));
    if (!out) throw EOutOfResources(GraphicsText::OutOfResources);
  } else {
    out = s->Converted(32, nullptr, false);
    if (!out) throw EOutOfResources(GraphicsText::OutOfResources);
  }
  ReplaceHandle(vx::gdi::AddBitmap(std::move(out)));
  Changed(this);
}

void* TBitmap::ScanLine(int Row) {
  Surface* s = SurfacePtr(handle_);
  if (!s || Row < 0 || Row >= s->Height()) throw EInvalidGraphicOperation(GraphicsText::ScanLine);
  if (!s->IsDIB()) s->SetDIB(true);
  return s->Row(Row);
}

void TBitmap::NewImage(int AWidth, int AHeight, bool Keep) {
  if (AWidth < 0) AWidth = 0;
  if (AHeight < 0) AHeight = 0;
  if (AWidth == 0 || AHeight == 0) {
    if (handle_) {
      format_ = PixelFormat();
      ReplaceHandle(nullptr);
    }
    width_ = AWidth;
    height_ = AHeight;
    return;
  }
  const Surface* old = SurfacePtr(handle_);
  std::shared_ptr<Surface> s;
  if (old) {
    s = Surface::Create(AWidth, AHeight, old->Bpp(), old->IsDIB(), old->BottomUp());
    if (s) {
      if (old->Indexed()) s->SetColors(old->Colors());
      s->SetMasks(old->RedMask(), old->GreenMask(), old->BlueMask());
    }
  } else {
    const FormatLayout f = LayoutOf(monochrome_ && format_ == pfDevice ? pf1bit : format_);
    s = Surface::Create(AWidth, AHeight, f.bpp, f.dib && !(monochrome_ && format_ == pfDevice), true);
    if (s && f.bpp >= 16) s->SetMasks(f.masks[0], f.masks[1], f.masks[2]);
    if (s && f.bpp <= 8 && palette_) s->SetColors(ColorsFromPalette(palette_));
  }
  if (!s) throw EOutOfResources(GraphicsText::OutOfResources);
  // New areas take the canvas brush's colour (white by default).
  const COLORREF fill = COLORREF(ColorToRGB(canvas_ ? canvas_->Brush()->Color() : clWhite));
  std::vector<uint32_t> row(static_cast<size_t>(AWidth), s->RawFromColor(fill));
  for (int y = 0; y < AHeight; ++y) s->WriteRow(y, 0, AWidth, row.data());
  if (old && Keep) {
    const int w = std::min(AWidth, old->Width()), h = std::min(AHeight, old->Height());
    for (int y = 0; y < h; ++y) {
      old->ReadRow(y, 0, w, row.data());
      s->WriteRow(y, 0, w, row.data());
    }
  }
  ReplaceHandle(vx::gdi::AddBitmap(std::move(s)));
}

void TBitmap::SetWidth(int Value) {
  if (Value == width_) return;
  NewImage(Value, height_, true);
  Changed(this);
}

void TBitmap::SetHeight(int Value) {
  if (Value == height_) return;
  NewImage(width_, Value, true);
  Changed(this);
}

void TBitmap::SetSize(int AWidth, int AHeight) {
  if (AWidth == width_ && AHeight == height_) return;
  NewImage(AWidth, AHeight, true);
  Changed(this);
}

HPALETTE TBitmap::GetPalette() {
  if (palette_) return palette_;
  const Surface* s = SurfacePtr(handle_);
  if (s && s->Indexed() && s->IsDIB()) palette_ = PaletteFromColors(s->Colors());
  return palette_;
}

void TBitmap::SetPalette(HPALETTE Value) {
  if (Value == palette_) return;
  FreeContext();
  if (palette_) DeleteObject(palette_);
  palette_ = Value;
  Surface* s = SurfacePtr(handle_);
  if (s && s->Indexed() && s->IsDIB() && Value) s->SetColors(ColorsFromPalette(Value));
  SetPaletteModified(true);
  Changed(this);
}

HPALETTE TBitmap::ReleasePalette() {
  HPALETTE p = GetPalette();
  FreeContext();
  palette_ = nullptr;
  return p;
}

TColor TBitmap::TransparentColor() {
  if (transparentMode_ == tmFixed && transparentColor_ != clDefault) return transparentColor_;
  if (Empty()) return clDefault;
  return Canvas()->Pixels(0, height_ - 1);
}

void TBitmap::SetTransparentColor(TColor Value) {
  if (Value == transparentColor_) return;
  transparentColor_ = Value;
  transparentMode_ = Value == clDefault ? tmAuto : tmFixed;
  FreeMask();
  Changed(this);
}

void TBitmap::SetTransparentMode(TTransparentMode Value) {
  if (Value == transparentMode_) return;
  transparentMode_ = Value;
  if (Value == tmAuto) transparentColor_ = clDefault;
  FreeMask();
  Changed(this);
}

HBITMAP TBitmap::MaskHandle() {
  if (mask_ || Empty()) return mask_;
  auto m = vx::gdi::MonochromeMask(*SurfacePtr(handle_), COLORREF(ColorToRGB(TransparentColor())));
  if (!m) throw EOutOfResources(GraphicsText::OutOfResources);
  mask_ = vx::gdi::AddBitmap(std::move(m));
  return mask_;
}

void TBitmap::SetMaskHandle(HBITMAP Value) {
  if (Value == mask_) return;
  FreeMask();
  mask_ = Value;
}

HBITMAP TBitmap::ReleaseMaskHandle() {
  HBITMAP m = MaskHandle();
  mask_ = nullptr;
  return m;
}

void TBitmap::Mask(TColor Color) {
  if (Empty()) return;
  SetTransparentColor(Color);
  HBITMAP m = ReleaseMaskHandle();
  ReplaceHandle(m);
  Changed(this);
}

void TBitmap::CopyFrom(TBitmap& Source) {
  const Surface* s = SurfacePtr(Source.handle_);
  HBITMAP copy = nullptr;
  if (s) {
    copy = vx::gdi::AddBitmap(s->Clone());
    if (!copy) throw EOutOfResources(GraphicsText::OutOfResources);
  }
  ReplaceHandle(copy);
  if (palette_) DeleteObject(palette_);
  palette_ = CopyPalette(Source.palette_);
  format_ = Source.format_;
  monochrome_ = Source.monochrome_;
  if (!s) width_ = Source.width_, height_ = Source.height_;
  transparentColor_ = Source.transparentColor_;
  transparentMode_ = Source.transparentMode_;
  TGraphic::SetTransparent(Source.Transparent());
}

void TBitmap::Assign(TPersistent* Source) {
  if (!Source) {
    ReplaceHandle(nullptr);
    width_ = height_ = 0;
    Changed(this);
    return;
  }
  if (auto* b = As<TBitmap>(Source)) {
    if (b == this) return;
    CopyFrom(*b);
    Changed(this);
    return;
  }
  TGraphic::Assign(Source);
}

bool TBitmap::Equals(TGraphic* Graphic) { return TGraphic::Equals(Graphic); }

void TBitmap::Draw(TCanvas* ACanvas, const TRect& Rect) {
  if (Empty() || !ACanvas) return;
  HDC dst = ACanvas->Handle();
  HDC src = Canvas()->Handle();
  HPALETTE pal = palette_;
  HPALETTE oldPal = pal ? SelectPalette(dst, pal, TRUE) : nullptr;
  if (pal) RealizePalette(dst);
  const int oldMode = SetStretchBltMode(dst, COLORONCOLOR);
  const int w = Rect.right - Rect.left, h = Rect.bottom - Rect.top;
  if (Transparent()) {
    HDC maskDC = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(maskDC, MaskHandle());
    TransparentStretchBlt(dst, Rect.left, Rect.top, w, h, src, 0, 0, width_, height_, maskDC, 0, 0);
    SelectObject(maskDC, old);
    DeleteDC(maskDC);
  } else {
    StretchBlt(dst, Rect.left, Rect.top, w, h, src, 0, 0, width_, height_, DWORD(ACanvas->CopyMode()));
  }
  SetStretchBltMode(dst, oldMode);
  if (oldPal) SelectPalette(dst, oldPal, TRUE);
}

// ---- Clipboard ----

void TBitmap::LoadFromClipboardFormat(uint16_t AFormat, HANDLE AData, HPALETTE APalette) {
  const Surface* s = AFormat == CF_BITMAP ? SurfacePtr(reinterpret_cast<HBITMAP>(AData)) : nullptr;
  if (!s) throw EInvalidGraphic(GraphicsText::UnknownClipboardFormat);
  auto copy = s->Clone();
  if (!copy) throw EOutOfResources(GraphicsText::OutOfResources);
  ReplaceHandle(vx::gdi::AddBitmap(std::move(copy)));
  if (palette_) DeleteObject(palette_);
  palette_ = CopyPalette(APalette);
  Changed(this);
}

void TBitmap::SaveToClipboardFormat(uint16_t& AFormat, HANDLE& AData, HPALETTE& APalette) {
  AFormat = CF_BITMAP;
  const Surface* s = SurfacePtr(handle_);
  AData = s ? reinterpret_cast<HANDLE>(vx::gdi::AddBitmap(s->Clone())) : nullptr;
  APalette = CopyPalette(palette_);
}

// ---- BMP files ----

namespace {

uint32_t Get32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }
uint16_t Get16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
void Put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}
void Put16(uint8_t* p, uint16_t v) { p[0] = uint8_t(v), p[1] = uint8_t(v >> 8); }

void ReadExact(TStream* s, void* buf, int64_t n) {
  if (n > 0 && s->Read(buf, n) != n) InvalidBitmap();
}

}  // namespace

void TBitmap::LoadFromStream(TStream* Stream) {
  const int64_t start = Stream->Position();
  const int64_t total = Stream->Size() - start;
  if (total <= 0) {
    // Nothing to read: an empty bitmap.
    Assign(nullptr);
    return;
  }
  uint8_t fh[14];
  ReadExact(Stream, fh, 14);
  if (fh[0] != 'B' || fh[1] != 'M') InvalidBitmap();
  const uint32_t offBits = Get32(fh + 10);
  uint8_t sizeBuf[4];
  ReadExact(Stream, sizeBuf, 4);
  const uint32_t hsize = Get32(sizeBuf);
  if (hsize != 12 && (hsize < 40 || hsize > 256)) InvalidBitmap();
  std::vector<uint8_t> h(hsize);
  std::memcpy(h.data(), sizeBuf, 4);
  ReadExact(Stream, h.data() + 4, hsize - 4);
  int64_t width, height;
  int bpp;
  uint32_t compression = BI_RGB, clrUsed = 0;
  uint32_t masks[3] = {0, 0, 0};
  if (hsize == 12) {
    width = Get16(&h[4]);
    height = int16_t(Get16(&h[6]));
    if (Get16(&h[8]) != 1) InvalidBitmap();
    bpp = Get16(&h[10]);
  } else {
    width = int32_t(Get32(&h[4]));
    height = int32_t(Get32(&h[8]));
    if (Get16(&h[12]) != 1) InvalidBitmap();
    bpp = Get16(&h[14]);
    compression = Get32(&h[16]);
    clrUsed = Get32(&h[32]);
    if (hsize >= 52) {
      for (int i = 0; i < 3; ++i) masks[i] = Get32(&h[40 + 4 * size_t(i)]);
    }
  }
  const bool topDown = height < 0;
  if (topDown) height = -height;
  if (width <= 0 || height <= 0 || width > 0xFFFF || height > 0xFFFF) InvalidBitmap();
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) InvalidBitmap();
  if (compression == BI_BITFIELDS) {
    if (bpp != 16 && bpp != 32) InvalidBitmap();
    if (hsize < 52) {
      uint8_t m[12];
      ReadExact(Stream, m, 12);
      for (int i = 0; i < 3; ++i) masks[i] = Get32(m + 4 * i);
    }
    if (!masks[0] || !masks[1] || !masks[2]) InvalidBitmap();
  } else if (compression != BI_RGB) {
    InvalidBitmap();
  }
  // The colour table (true-colour files may carry one as a hint; it is skipped).
  std::vector<RGBQUAD> colors;
  const uint32_t maxColors = bpp <= 8 ? (1u << bpp) : 256;
  const uint32_t count = clrUsed == 0 ? (bpp <= 8 ? maxColors : 0) : std::min(clrUsed, maxColors);
  const int entry = hsize == 12 ? 3 : 4;
  if (count) {
    std::vector<uint8_t> t(size_t(count) * size_t(entry));
    ReadExact(Stream, t.data(), int64_t(t.size()));
    if (bpp <= 8)
      for (uint32_t i = 0; i < count; ++i) colors.push_back(RGBQUAD{t[i * entry], t[i * entry + 1], t[i * entry + 2], 0});
  }
  const int64_t stride = Surface::RowBytes(width, bpp);
  const int64_t bytes = stride * height;
  // The pixels start at the offset the file header gives, when it is sensible.
  const int64_t here = Stream->Position() - start;
  if (offBits != 0 && int64_t(offBits) >= here && int64_t(offBits) <= total) Stream->SetPosition(start + offBits);
  if (Stream->Size() - Stream->Position() < bytes) InvalidBitmap();
  auto s = Surface::Create(int(width), int(height), bpp, true, !topDown);
  if (!s) throw EOutOfResources(GraphicsText::OutOfResources);
  if (bpp <= 8) s->SetColors(colors);
  if (bpp == 16 || bpp == 32) s->SetMasks(masks[0], masks[1], masks[2]);
  ReadExact(Stream, s->Bits(), bytes);
  HBITMAP hbm = vx::gdi::AddBitmap(std::move(s));
  ReplaceHandle(hbm);
  if (palette_) DeleteObject(palette_);
  palette_ = nullptr;
  Changed(this);
}

void TBitmap::SaveToStream(TStream* Stream) {
  const Surface* s = SurfacePtr(handle_);
  if (!s) return;
  const int bpp = s->Bpp();
  const bool fields = (bpp == 16 && PixelFormat() != pf15bit) || (bpp == 32 && !s->StandardMasks());
  const uint32_t ncolors = bpp <= 8 ? (1u << bpp) : 0;
  const uint32_t headerBytes = 14 + 40 + (fields ? 12 : 0) + ncolors * 4;
  const int64_t stride = Surface::RowBytes(s->Width(), bpp);
  const int64_t image = stride * s->Height();
  std::vector<uint8_t> hdr(headerBytes, 0);
  hdr[0] = 'B', hdr[1] = 'M';
  Put32(&hdr[2], uint32_t(headerBytes + image));
  Put32(&hdr[10], headerBytes);
  uint8_t* ih = &hdr[14];
  Put32(ih, 40);
  Put32(ih + 4, uint32_t(s->Width()));
  Put32(ih + 8, uint32_t(s->Height()));
  Put16(ih + 12, 1);
  Put16(ih + 14, uint16_t(bpp));
  Put32(ih + 16, fields ? BI_BITFIELDS : BI_RGB);
  Put32(ih + 20, uint32_t(image));
  Put32(ih + 24, 3780);  // 96 dots per inch
  Put32(ih + 28, 3780);
  Put32(ih + 32, ncolors);
  uint8_t* p = ih + 40;
  if (fields) {
    Put32(p, s->RedMask()), Put32(p + 4, s->GreenMask()), Put32(p + 8, s->BlueMask());
    p += 12;
  }
  for (uint32_t i = 0; i < ncolors; ++i, p += 4) {
    const RGBQUAD q = i < s->Colors().size() ? s->Colors()[i] : RGBQUAD{};
    p[0] = q.rgbBlue, p[1] = q.rgbGreen, p[2] = q.rgbRed, p[3] = 0;
  }
  Stream->WriteBuffer(hdr.data(), int64_t(hdr.size()));
  // Rows bottom-up.
  for (int y = s->Height() - 1; y >= 0; --y) Stream->WriteBuffer(s->Row(y), stride);
}

// A bitmap resource is the file without its 14-byte header: the header is put back
// (with no pixel offset, so the pixels follow the colour table) and the file read.
namespace {
void LoadBitmapResource(TBitmap& Bitmap, TResourceStream& Resource) {
  TMemoryStream file;
  uint8_t fh[14] = {'B', 'M'};
  Put32(fh + 2, uint32_t(14 + Resource.Size()));
  file.WriteBuffer(fh, 14);
  file.WriteBuffer(Resource.Memory(), Resource.Size());
  file.SetPosition(0);
  Bitmap.LoadFromStream(&file);
}
}  // namespace

void TBitmap::LoadFromResourceName(HINSTANCE Instance, const std::string& ResName) {
  TResourceStream resource(Instance, ResName, RT_BITMAP);
  LoadBitmapResource(*this, resource);
}

void TBitmap::LoadFromResourceID(HINSTANCE Instance, int ResID) {
  TResourceStream resource(Instance, ResID, RT_BITMAP);
  LoadBitmapResource(*this, resource);
}

void TBitmap::ReadData(TStream* Stream) {
  // Form data: a 32-bit size, then the bitmap file.
  uint8_t b[4];
  ReadExact(Stream, b, 4);
  const int64_t size = int32_t(Get32(b));
  if (size < 0 || size > Stream->Size() - Stream->Position()) InvalidBitmap();
  TMemoryStream part;
  part.SetSize(size);
  ReadExact(Stream, part.Memory(), size);
  LoadFromStream(&part);
}

void TBitmap::WriteData(TStream* Stream) {
  TMemoryStream part;
  SaveToStream(&part);
  uint8_t b[4];
  Put32(b, uint32_t(part.Size()));
  Stream->WriteBuffer(b, 4);
  Stream->WriteBuffer(part.Memory(), part.Size());
}

HBITMAP CreateMappedBmp(HBITMAP Handle, const std::vector<TColor>& OldColors, const std::vector<TColor>& NewColors) {
  const Surface* s = SurfacePtr(Handle);
  if (!s) return nullptr;
  auto copy = s->Clone();
  if (!copy) throw EOutOfResources(GraphicsText::OutOfResources);
  const size_t n = std::min(OldColors.size(), NewColors.size());
  auto map = [&](COLORREF c, COLORREF& out) {
    for (size_t i = 0; i < n; ++i)
      if (COLORREF(ColorToRGB(OldColors[i])) == c) {
        out = COLORREF(ColorToRGB(NewColors[i]));
        return true;
      }
    return false;
  };
  if (copy->Indexed() && copy->IsDIB()) {
    for (size_t i = 0; i < copy->Colors().size(); ++i) {
      COLORREF to;
      if (map(vx::gdi::ColorOf(copy->Colors()[i]), to)) copy->SetColor(int(i), vx::gdi::QuadOf(to));
    }
  } else {
    std::vector<uint32_t> row(static_cast<size_t>(copy->Width()));
    for (int y = 0; y < copy->Height(); ++y) {
      copy->ReadRow(y, 0, copy->Width(), row.data());
      for (auto& v : row) {
        COLORREF to;
        if (map(copy->ColorFromRaw(v), to)) v = copy->RawFromColor(to);
      }
      copy->WriteRow(y, 0, copy->Width(), row.data());
    }
  }
  return vx::gdi::AddBitmap(std::move(copy));
}
