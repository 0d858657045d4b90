// Bitmaps: device bitmaps, DIB sections, and moving pixels between them and
// DIB memory.
#include <algorithm>
#include <cstring>

#include "platform/gdi/dc.h"

namespace vx::gdi {

HBITMAP AddBitmap(std::shared_ptr<Surface> s) {
  if (!s) return nullptr;
  auto b = std::make_shared<BitmapObject>();
  b->surface = std::move(s);
  return reinterpret_cast<HBITMAP>(AddObject(b));
}

std::shared_ptr<Surface> SurfaceOf(HBITMAP bm) {
  auto b = Find<BitmapObject>(H(bm), OBJ_BITMAP);
  return b ? b->surface : nullptr;
}

namespace {

// The colour table a BITMAPINFO gives, resolving DIB_PAL_COLORS through the DC's
// palette.
std::vector<RGBQUAD> TableOf(const BITMAPINFO* bmi, const DibLayout& l, UINT usage, HDC dc) {
  if (l.bpp > 8) return {};
  if (usage != DIB_PAL_COLORS) return DibColors(bmi, l);
  std::vector<RGBQUAD> colors(size_t{1} << l.bpp);
  auto d = FindDC(dc);
  const auto* idx = reinterpret_cast<const WORD*>(reinterpret_cast<const BYTE*>(bmi) + bmi->bmiHeader.biSize);
  for (int i = 0; i < l.colorCount; ++i) {
    if (d && d->st.palette && idx[i] < d->st.palette->entries.size()) {
      const PALETTEENTRY& e = d->st.palette->entries[idx[i]];
      colors[size_t(i)] = RGBQUAD{e.peBlue, e.peGreen, e.peRed, 0};
    }
  }
  return colors;
}

// A surface that reads (or writes) a caller's DIB memory in place.
std::shared_ptr<Surface> WrapDib(const void* bits, const BITMAPINFO* bmi, UINT usage, HDC dc, DibLayout& l) {
  if (!bits || !ParseDibHeader(bmi, l)) return nullptr;
  auto s = Surface::Wrap(const_cast<void*>(bits), l.width, l.height, l.bpp, l.bottomUp);
  if (!s) return nullptr;
  if (l.bpp <= 8) s->SetColors(TableOf(bmi, l, usage, dc));
  if (l.bitfields) s->SetMasks(l.masks[0], l.masks[1], l.masks[2]);
  return s;
}

// Copies rows between surfaces, converting the format.
void CopyRows(const Surface& src, Surface& dst, int srcRow0, int dstRow0, int count) {
  RawConverter conv(src, dst, RGB(0, 0, 0), RGB(255, 255, 255), RGB(255, 255, 255));
  CopyConverted(src, dst, conv, srcRow0, dstRow0, count);
}

std::shared_ptr<Surface> CompatibleSurface(HDC dc, int width, int height) {
  auto d = FindDC(dc);
  const Surface* like = d ? d->Target() : nullptr;
  if (!like) {
    // The screen.
    return Surface::Create(width, height, ScreenBitsPerPixel() == 8 ? 8 : 32, false);
  }
  auto s = Surface::Create(width, height, like->Bpp(), like->IsDIB());
  if (!s) return nullptr;
  if (like->Bpp() <= 8) s->SetColors(like->Colors());
  if (like->Bpp() == 16 || like->Bpp() == 32) s->SetMasks(like->RedMask(), like->GreenMask(), like->BlueMask());
  return s;
}

}  // namespace
}  // namespace vx::gdi

using namespace vx::gdi;

HBITMAP CreateBitmap(int width, int height, UINT planes, UINT bpp, const void* bits) {
  if (width < 0 || height < 0 || planes != 1) return nullptr;
  const int depth = bpp <= 1 ? 1 : bpp <= 4 ? 4 : bpp <= 8 ? 8 : bpp <= 16 ? 16 : bpp <= 24 ? 24 : 32;
  auto s = Surface::Create(width, height, depth, depth != 1);
  if (!s) return nullptr;
  if (bits) {
    // Rows of the caller's data are padded to 16 bits.
    const size_t src = size_t(((int64_t(width) * depth + 15) / 16) * 2);
    const size_t n = std::min(src, size_t(s->Stride()));
    for (int y = 0; y < height; ++y)
      std::memcpy(s->Row(y), static_cast<const uint8_t*>(bits) + size_t(y) * src, n);
  }
  return AddBitmap(std::move(s));
}

HBITMAP CreateBitmapIndirect(const BITMAP* bm) {
  if (!bm) return nullptr;
  return CreateBitmap(bm->bmWidth, bm->bmHeight, bm->bmPlanes, bm->bmBitsPixel, bm->bmBits);
}

HBITMAP CreateCompatibleBitmap(HDC dc, int width, int height) {
  if (width < 0 || height < 0) return nullptr;
  auto d = FindDC(dc);
  if (dc && !d) return nullptr;
  // A window or screen DC gives a device bitmap of the screen's format.
  if (d && d->fixed) return AddBitmap(Surface::Create(width, height, d->fixed->Bpp() == 8 ? 8 : 32, false));
  return AddBitmap(CompatibleSurface(dc, width, height));
}

HBITMAP CreateDIBSection(HDC dc, const BITMAPINFO* bmi, UINT usage, void** bits, HANDLE, DWORD) {
  if (bits) *bits = nullptr;
  DibLayout l;
  if (!ParseDibHeader(bmi, l)) return nullptr;
  auto s = Surface::Create(l.width, l.height, l.bpp, true, l.bottomUp);
  if (!s) return nullptr;
  if (l.bpp <= 8) s->SetColors(TableOf(bmi, l, usage, dc));
  if (l.bitfields) s->SetMasks(l.masks[0], l.masks[1], l.masks[2]);
  if (bits) *bits = s->Bits();
  return AddBitmap(std::move(s));
}

HBITMAP CreateDIBitmap(HDC dc, const BITMAPINFOHEADER* header, DWORD init, const void* bits, const BITMAPINFO* bmi,
                       UINT usage) {
  if (!header) return nullptr;
  const int w = header->biWidth, h = header->biHeight < 0 ? -header->biHeight : header->biHeight;
  auto s = dc ? CompatibleSurface(dc, w, h) : Surface::Create(w, h, 32, false);
  if (dc) {
    auto d = FindDC(dc);
    if (d && d->fixed) s = Surface::Create(w, h, d->fixed->Bpp() == 8 ? 8 : 32, false);
  }
  if (!s) return nullptr;
  if ((init & CBM_INIT) && bits && bmi) {
    DibLayout l;
    auto src = WrapDib(bits, bmi, usage, dc, l);
    if (!src) return nullptr;
    CopyRows(*src, *s, 0, 0, std::min(src->Height(), s->Height()));
  }
  return AddBitmap(std::move(s));
}

int GetDIBits(HDC dc, HBITMAP bm, UINT start, UINT lines, void* bits, BITMAPINFO* bmi, UINT usage) {
  auto s = SurfaceOf(bm);
  if (!s || !bmi || bmi->bmiHeader.biSize < sizeof(BITMAPINFOHEADER)) return 0;
  BITMAPINFOHEADER& h = bmi->bmiHeader;
  if (h.biBitCount == 0) {
    // Describe the bitmap.
    h.biWidth = s->Width();
    h.biHeight = s->Height();
    h.biPlanes = 1;
    h.biBitCount = WORD(s->Bpp());
    h.biCompression = (s->Bpp() == 16 || s->Bpp() == 32) && !s->StandardMasks() ? BI_BITFIELDS : BI_RGB;
    h.biSizeImage = DWORD(Surface::RowBytes(s->Width(), s->Bpp()) * s->Height());
    h.biClrUsed = 0;
    h.biClrImportant = 0;
    if (h.biCompression == BI_BITFIELDS) {
      DWORD* m = reinterpret_cast<DWORD*>(reinterpret_cast<BYTE*>(bmi) + 40);
      m[0] = s->RedMask(), m[1] = s->GreenMask(), m[2] = s->BlueMask();
    }
    if (!bits) return s->Height() ? s->Height() : 1;
  }
  const int bpp = h.biBitCount;
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) return 0;
  if (h.biCompression != BI_RGB && h.biCompression != BI_BITFIELDS) return 0;
  const bool topDown = h.biHeight < 0;
  h.biWidth = s->Width();
  h.biHeight = topDown ? -s->Height() : s->Height();
  h.biPlanes = 1;
  h.biSizeImage = DWORD(Surface::RowBytes(s->Width(), bpp) * s->Height());
  // The colour table of an indexed request: the bitmap's own when the depth
  // matches, else the DC's palette for a true-colour bitmap, else a default table.
  std::vector<RGBQUAD> table;
  if (bpp <= 8) {
    if (s->Indexed() && s->Bpp() <= bpp) {
      table = s->Colors();
    } else {
      auto d = FindDC(dc);
      auto defPal = Find<PaletteObject>(GetStockObject(DEFAULT_PALETTE), OBJ_PAL);
      if (bpp == 8 && d && d->st.palette && d->st.palette != defPal) {
        for (const PALETTEENTRY& e : d->st.palette->entries) table.push_back(RGBQUAD{e.peBlue, e.peGreen, e.peRed, 0});
      } else {
        table = DefaultColors(bpp);
      }
    }
    table.resize(size_t{1} << bpp);
    if (usage == DIB_RGB_COLORS) std::memcpy(bmi->bmiColorsPtr(), table.data(), table.size() * sizeof(RGBQUAD));
  }
  if (!bits) return s->Height() ? s->Height() : 1;
  DibLayout l;
  if (!ParseDibHeader(bmi, l)) return 0;
  auto out = Surface::Wrap(bits, l.width, l.height, bpp, !topDown);
  if (!out) return 0;
  if (bpp <= 8) out->SetColors(table);
  if (l.bitfields) out->SetMasks(l.masks[0], l.masks[1], l.masks[2]);
  // Scan line n of the DIB counts from the bottom for a bottom-up request.
  const int H = s->Height();
  int copied = 0;
  const bool sameIndices = s->Indexed() && bpp <= 8 && s->Bpp() <= bpp;
  RawConverter conv(*s, *out, RGB(0, 0, 0), RGB(255, 255, 255), RGB(255, 255, 255));
  std::vector<uint32_t> buf(static_cast<size_t>(s->Width()));
  for (UINT i = 0; i < lines; ++i) {
    const int scan = int(start + i);
    if (scan < 0 || scan >= H) break;
    const int row = topDown ? scan : H - 1 - scan;
    s->ReadRow(row, 0, s->Width(), buf.data());
    if (!sameIndices) conv.Convert(buf.data(), s->Width());
    out->WriteRow(row, 0, s->Width(), buf.data());
    ++copied;
  }
  return copied;
}

int SetDIBits(HDC dc, HBITMAP bm, UINT start, UINT lines, const void* bits, const BITMAPINFO* bmi, UINT usage) {
  auto s = SurfaceOf(bm);
  DibLayout l;
  auto src = s ? WrapDib(bits, bmi, usage, dc, l) : nullptr;
  if (!src) return 0;
  const int H = l.height;
  int copied = 0;
  for (UINT i = 0; i < lines; ++i) {
    const int scan = int(start + i);
    if (scan < 0 || scan >= H) break;
    const int row = l.bottomUp ? H - 1 - scan : scan;
    // The DIB's rows map to the bitmap's rows from the top when heights agree;
    // otherwise from the bottom, as scan lines count.
    const int dstRow = s->Height() - H + row;
    CopyRows(*src, *s, row, dstRow, 1);
    ++copied;
  }
  return copied;
}

UINT GetDIBColorTable(HDC dc, UINT start, UINT count, RGBQUAD* colors) {
  auto d = FindDC(dc);
  const Surface* s = d ? d->Target() : nullptr;
  if (!s || !s->IsDIB() || !s->Indexed() || !colors) return 0;
  UINT n = 0;
  for (UINT i = start; i < s->Colors().size() && n < count; ++i, ++n) colors[n] = s->Colors()[i];
  return n;
}

UINT SetDIBColorTable(HDC dc, UINT start, UINT count, const RGBQUAD* colors) {
  auto d = FindDC(dc);
  Surface* s = d ? d->Target() : nullptr;
  if (!s || !s->IsDIB() || !s->Indexed() || !colors) return 0;
  UINT n = 0;
  for (UINT i = start; i < s->Colors().size() && n < count; ++i, ++n) s->SetColor(int(i), colors[n]);
  return n;
}

LONG GetBitmapBits(HBITMAP bm, LONG count, void* bits) {
  auto s = SurfaceOf(bm);
  if (!s || !bits || count <= 0) return 0;
  // Rows padded to 16 bits, top row first.
  const size_t row = size_t(((int64_t(s->Width()) * s->Bpp() + 15) / 16) * 2);
  size_t done = 0;
  for (int y = 0; y < s->Height() && done < size_t(count); ++y) {
    const size_t n = std::min(row, size_t(count) - done);
    std::memcpy(static_cast<uint8_t*>(bits) + done, s->Row(y), std::min(n, size_t(s->Stride())));
    done += n;
  }
  return LONG(done);
}
