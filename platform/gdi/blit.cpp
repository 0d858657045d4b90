// Block transfers: BitBlt, StretchBlt (nearest pixel: destination offset i takes
// source offset floor(i * sourceSize / destSize)), PatBlt, MaskBlt, TransparentBlt
// and StretchDIBits. Every raster operation of 256 is supported; the common ones
// have row loops of their own.
#include <algorithm>
#include <cstring>

#include "platform/gdi/dc.h"

namespace vx::gdi {

namespace {

struct BlitSource {
  const Surface* surface = nullptr;  // null: the operation takes no source
  int x = 0, y = 0, w = 0, h = 0;    // surface pixels
  COLORREF bk = RGB(255, 255, 255);  // the source DC's background colour
};

struct BlitMask {
  const Surface* surface = nullptr;
  int x = 0, y = 0;
  uint8_t back = 0xAA;  // where the mask bit is 0
};

bool Aligned32(const Surface& s) { return s.Bpp() == 32 && (reinterpret_cast<uintptr_t>(s.Bits()) & 3) == 0; }

// Copies part of a surface, so that a blit within one surface reads the pixels as
// they were before it started.
std::shared_ptr<Surface> Snapshot(const Surface& s, int x, int y, int w, int h) {
  auto out = Surface::Create(w, h, s.Bpp(), s.IsDIB());
  if (!out) return nullptr;
  if (s.Indexed()) out->SetColors(s.Colors());
  out->SetMasks(s.RedMask(), s.GreenMask(), s.BlueMask());
  std::vector<uint32_t> buf(static_cast<size_t>(w));
  for (int j = 0; j < h; ++j) {
    if (y + j < 0 || y + j >= s.Height()) continue;
    const int a = std::max(0, -x), b = std::min(w, s.Width() - x);
    if (a >= b) continue;
    s.ReadRow(y + j, x + a, b - a, buf.data());
    out->WriteRow(j, a, b - a, buf.data());
  }
  return out;
}

// The blit engine. Destination coordinates are surface pixels (already moved by the
// DC's origins); widths may be negative to mirror.
BOOL Blit(DCObject& dc, int X, int Y, int W, int H, BlitSource src, uint8_t rop, const BlitMask* mask,
          const COLORREF* transparent) {
  Surface* dst = dc.Target();
  if (!dst) return FALSE;
  bool mirrorX = false, mirrorY = false;
  if (W < 0) X += W + 1, W = -W, mirrorX = !mirrorX;
  if (H < 0) Y += H + 1, H = -H, mirrorY = !mirrorY;
  if (W == 0 || H == 0) return TRUE;
  const bool back = mask && mask->surface;
  const bool usesSrc = RopUsesSource(rop) || (back && RopUsesSource(mask->back));
  const bool usesPat = RopUsesPattern(rop) || (back && RopUsesPattern(mask->back));
  if (usesSrc && !src.surface) return FALSE;
  if (!usesSrc) src.surface = nullptr;
  std::shared_ptr<Surface> snapshot;
  if (src.surface) {
    if (src.w < 0) src.x += src.w + 1, src.w = -src.w, mirrorX = !mirrorX;
    if (src.h < 0) src.y += src.h + 1, src.h = -src.h, mirrorY = !mirrorY;
    if (src.w == 0 || src.h == 0) return TRUE;
    if (src.surface == dst) {
      snapshot = Snapshot(*src.surface, src.x, src.y, src.w, src.h);
      if (!snapshot) return FALSE;
      src.surface = snapshot.get();
      src.x = src.y = 0;
    }
  }
  const bool stretch = src.surface && (src.w != W || src.h != H || mirrorX || mirrorY);

  // Destination columns and rows whose source pixel exists.
  RECT area{X, Y, X + W, Y + H};
  std::vector<int> xmap;
  // Destination offset i takes source offset floor(j * ssize / dsize), with j = i, or
  // j = dsize - 1 - i when mirrored.
  auto srcOffset = [](int i, int dsize, int ssize, bool mirror) {
    const int64_t j = mirror ? dsize - 1 - i : i;
    return int(j * ssize / dsize);
  };
  if (src.surface) {
    // Destination offsets i whose source offset floor(i * ssize / dsize) (mirrored:
    // ssize - 1 minus it) lands inside [0, limit) once moved by s0.
    // Destination offsets whose source pixel, moved by s0, lands inside [0, limit).
    auto validRange = [](int dsize, int ssize, int s0, int limit, bool mirror, int& first, int& last) {
      const int64_t lo = std::max<int64_t>(-int64_t(s0), 0);
      const int64_t hi = std::min<int64_t>(int64_t(limit) - 1 - s0, ssize - 1);
      if (lo > hi) {
        first = last = -1;
        return;
      }
      // floor(j * ssize / dsize) in [lo, hi]  <=>  j in [ceil(lo * dsize / ssize), ...].
      const int64_t a = (lo * dsize + ssize - 1) / ssize;
      const int64_t b = std::min<int64_t>(((hi + 1) * dsize - 1) / ssize, dsize - 1);
      if (a > b) {
        first = last = -1;
        return;
      }
      first = int(mirror ? dsize - 1 - b : a);
      last = int(mirror ? dsize - 1 - a : b);
    };
    int fx, lx, fy, ly;
    if (!stretch) {
      fx = std::max(0, -src.x), lx = std::min(W, src.surface->Width() - src.x) - 1;
      fy = std::max(0, -src.y), ly = std::min(H, src.surface->Height() - src.y) - 1;
    } else {
      // Limit the scan to what the clip allows before searching.
      validRange(W, src.w, src.x, src.surface->Width(), mirrorX, fx, lx);
      validRange(H, src.h, src.y, src.surface->Height(), mirrorY, fy, ly);
    }
    if (fx < 0 || lx < fx || fy < 0 || ly < fy) return TRUE;
    area = RECT{X + fx, Y + fy, X + lx + 1, Y + ly + 1};
  }
  const Region& clip = dc.Clip();
  const RECT box = Intersect(clip.Box(), area);
  if (RectEmpty(box)) return TRUE;
  if (stretch) {
    xmap.resize(size_t(box.right - box.left));
    for (int x = box.left; x < box.right; ++x)
      xmap[size_t(x - box.left)] = src.x + srcOffset(x - X, W, src.w, mirrorX);
  }

  BrushPaint bp;
  if (usesPat) {
    if (!dc.st.brush) return FALSE;
    MakeBrushPaint(dc, *dc.st.brush, *dst, rop, bp);
    if (bp.none) return TRUE;
  }
  if (!src.surface && !back && !transparent && !bp.paint.pattern && (rop == 0xF0 || rop == 0x00 || rop == 0xFF)) {
    // Solid fills (PATCOPY, BLACKNESS, WHITENESS) paint row by row at copying speed.
    Paint p = bp.paint;
    if (rop != 0xF0) p.solid = rop == 0x00 ? 0 : 0xFFFFFFFFu, p.rop = 0xF0;
    FillRect(*dst, clip, box, p);
    return TRUE;
  }
  std::unique_ptr<RawConverter> conv;
  if (src.surface) conv = std::make_unique<RawConverter>(*src.surface, *dst, dc.st.textColor, dc.st.bkColor, src.bk);

  const int maxW = box.right - box.left;
  const size_t cols = static_cast<size_t>(maxW);
  std::vector<uint32_t> sbuf(src.surface ? cols : 0), dbuf(cols), pbuf(bp.paint.pattern ? cols : 0), alt, keep;
  if (back || transparent) alt.resize(size_t(maxW)), keep.resize(size_t(maxW));
  const bool dstDirect = Aligned32(*dst);
  const bool srcDirect = src.surface && !stretch && Aligned32(*src.surface) && conv->Identity() && !transparent;
  const bool needD = RopUsesDest(rop) || back || transparent || (back && RopUsesDest(mask->back));
  int lastSrcRow = INT32_MIN, lastX0 = 0, lastN = 0;
  const bool plainStretch = stretch && rop == 0xCC && !back && !transparent && dstDirect && Aligned32(*src.surface) &&
                            conv->Identity();

  for (const RECT& c : clip.Rects()) {
    const RECT r = Intersect(c, box);
    if (RectEmpty(r)) continue;
    const int n = r.right - r.left;
    lastSrcRow = INT32_MIN;
    for (int y = r.top; y < r.bottom; ++y) {
      // Source row.
      const uint32_t* S = nullptr;
      if (src.surface && !plainStretch) {
        const int sy = src.y + (stretch ? srcOffset(y - Y, H, src.h, mirrorY) : y - Y);
        if (srcDirect) {
          S = reinterpret_cast<const uint32_t*>(src.surface->Row(sy)) + (src.x + r.left - X);
        } else {
          if (sy != lastSrcRow || r.left != lastX0 || n != lastN) {
            if (stretch)
              src.surface->ReadRowMapped(sy, xmap.data() + (r.left - box.left), n, sbuf.data());
            else
              src.surface->ReadRow(sy, src.x + r.left - X, n, sbuf.data());
            if (transparent) {
              for (int i = 0; i < n; ++i)
                keep[size_t(i)] = src.surface->ColorFromRaw(sbuf[size_t(i)]) == (*transparent & 0xFFFFFF) ? 1 : 0;
            }
            conv->Convert(sbuf.data(), n);
            lastSrcRow = sy, lastX0 = r.left, lastN = n;
          }
          S = sbuf.data();
        }
      }
      // Pattern row.
      const uint32_t* P = nullptr;
      if (bp.paint.pattern) {
        const int pw = bp.paint.pw, ph = bp.paint.ph;
        const int py = ((y - bp.paint.orgY) % ph + ph) % ph;
        int px = ((r.left - bp.paint.orgX) % pw + pw) % pw;
        const uint32_t* prow = bp.paint.pattern + size_t(py) * size_t(pw);
        for (int i = 0; i < n; ++i) {
          pbuf[size_t(i)] = prow[px];
          if (++px == pw) px = 0;
        }
        P = pbuf.data();
      }
      // Destination row.
      uint32_t* D = dstDirect ? reinterpret_cast<uint32_t*>(dst->Row(y)) + r.left : dbuf.data();
      if (plainStretch) {
        // A stretched copy: gather straight into the row, or repeat the row above
        // when it came from the same source row.
        const int sy = src.y + srcOffset(y - Y, H, src.h, mirrorY);
        if (sy == lastSrcRow && y > r.top) {
          std::memcpy(D, reinterpret_cast<const uint32_t*>(dst->Row(y - 1)) + r.left, size_t(n) * 4);
        } else {
          const auto* srow = reinterpret_cast<const uint32_t*>(src.surface->Row(sy));
          const int* xs = xmap.data() + (r.left - box.left);
          for (int i = 0; i < n; ++i) D[i] = srow[xs[i]];
          lastSrcRow = sy;
        }
        continue;
      }
      if (!dstDirect && needD) dst->ReadRow(y, r.left, n, D);
      if (back) {
        std::memcpy(alt.data(), D, size_t(n) * 4);
        ApplyRop(mask->back, alt.data(), P, bp.paint.solid, S, n);
        ApplyRop(rop, D, P, bp.paint.solid, S, n);
        const Surface& m = *mask->surface;
        const int my = mask->y + (y - Y);
        for (int i = 0; i < n; ++i) {
          const int mx = mask->x + (r.left + i - X);
          const bool bit = my >= 0 && my < m.Height() && mx >= 0 && mx < m.Width() && m.GetRaw(mx, my);
          if (!bit) D[i] = alt[size_t(i)];
        }
      } else if (transparent) {
        std::memcpy(alt.data(), D, size_t(n) * 4);
        ApplyRop(rop, D, P, bp.paint.solid, S, n);
        for (int i = 0; i < n; ++i)
          if (keep[size_t(i)]) D[i] = alt[size_t(i)];
      } else {
        ApplyRop(rop, D, P, bp.paint.solid, S, n);
      }
      if (!dstDirect) {
        const uint32_t m = dst->RawMask();
        if (m != 0xFFFFFFFFu)
          for (int i = 0; i < n; ++i) D[i] &= m;
        dst->WriteRow(y, r.left, n, D);
      }
    }
  }
  return TRUE;
}

BlitSource SourceOf(HDC h, int x, int y, int w, int hgt) {
  BlitSource s;
  auto dc = FindDC(h);
  if (!dc) return s;
  s.surface = dc->Target();
  s.x = dc->SX(x);
  s.y = dc->SY(y);
  s.w = w;
  s.h = hgt;
  s.bk = dc->st.bkColor;
  return s;
}

}  // namespace
}  // namespace vx::gdi

using namespace vx::gdi;

BOOL StretchBlt(HDC dest, int xDest, int yDest, int destWidth, int destHeight, HDC src, int xSrc, int ySrc, int srcWidth,
                int srcHeight, DWORD rop) {
  auto dc = FindDC(dest);
  if (!dc) return FALSE;
  const uint8_t r = Rop3Index(rop);
  BlitSource s;
  if (RopUsesSource(r)) {
    s = SourceOf(src, xSrc, ySrc, srcWidth, srcHeight);
    if (!s.surface) return FALSE;
  }
  return Blit(*dc, dc->SX(xDest), dc->SY(yDest), destWidth, destHeight, s, r, nullptr, nullptr);
}

BOOL BitBlt(HDC dest, int x, int y, int width, int height, HDC src, int xSrc, int ySrc, DWORD rop) {
  return StretchBlt(dest, x, y, width, height, src, xSrc, ySrc, width, height, rop);
}

BOOL PatBlt(HDC h, int x, int y, int width, int height, DWORD rop) {
  const uint8_t r = Rop3Index(rop);
  if (RopUsesSource(r)) return FALSE;
  return StretchBlt(h, x, y, width, height, nullptr, 0, 0, 0, 0, rop);
}

BOOL MaskBlt(HDC dest, int xDest, int yDest, int width, int height, HDC src, int xSrc, int ySrc, HBITMAP mask, int xMask,
             int yMask, DWORD rop4) {
  auto dc = FindDC(dest);
  if (!dc) return FALSE;
  const uint8_t fore = Rop3Index(rop4);
  const uint8_t backRop = uint8_t((rop4 >> 24) & 0xFF);
  BlitSource s;
  if (RopUsesSource(fore) || RopUsesSource(backRop)) {
    s = SourceOf(src, xSrc, ySrc, width, height);
    if (!s.surface) return FALSE;
  }
  if (!mask) return Blit(*dc, dc->SX(xDest), dc->SY(yDest), width, height, s, fore, nullptr, nullptr);
  auto m = SurfaceOf(mask);
  if (!m || m->Bpp() != 1) return FALSE;
  BlitMask bm;
  bm.surface = m.get();
  bm.x = xMask;
  bm.y = yMask;
  bm.back = backRop;
  return Blit(*dc, dc->SX(xDest), dc->SY(yDest), width, height, s, fore, &bm, nullptr);
}

BOOL TransparentBlt(HDC dest, int xDest, int yDest, int destWidth, int destHeight, HDC src, int xSrc, int ySrc,
                    int srcWidth, int srcHeight, UINT transparent) {
  auto dc = FindDC(dest);
  if (!dc || destWidth < 0 || destHeight < 0 || srcWidth < 0 || srcHeight < 0) return FALSE;
  BlitSource s = SourceOf(src, xSrc, ySrc, srcWidth, srcHeight);
  if (!s.surface) return FALSE;
  const COLORREF key = transparent;
  return Blit(*dc, dc->SX(xDest), dc->SY(yDest), destWidth, destHeight, s, Rop3Index(SRCCOPY), nullptr, &key);
}

int StretchDIBits(HDC h, int xDest, int yDest, int destWidth, int destHeight, int xSrc, int ySrc, int srcWidth,
                  int srcHeight, const void* bits, const BITMAPINFO* bmi, UINT usage, DWORD rop) {
  auto dc = FindDC(h);
  if (!dc) return 0;
  DibLayout l;
  if (!bits || !ParseDibHeader(bmi, l)) return 0;
  std::vector<uint8_t> copy;
  const void* data = bits;
  if (reinterpret_cast<uintptr_t>(bits) & 3) {
    copy.assign(static_cast<const uint8_t*>(bits), static_cast<const uint8_t*>(bits) + l.stride * l.height);
    data = copy.data();
  }
  auto s = Surface::Wrap(const_cast<void*>(data), l.width, l.height, l.bpp, l.bottomUp);
  if (!s) return 0;
  if (l.bpp <= 8) {
    std::vector<RGBQUAD> colors;
    if (usage == DIB_PAL_COLORS) {
      colors.resize(size_t{1} << l.bpp);
      const auto* idx = reinterpret_cast<const WORD*>(reinterpret_cast<const BYTE*>(bmi) + bmi->bmiHeader.biSize);
      for (int i = 0; i < l.colorCount; ++i)
        if (dc->st.palette && idx[i] < dc->st.palette->entries.size()) {
          const PALETTEENTRY& e = dc->st.palette->entries[idx[i]];
          colors[size_t(i)] = RGBQUAD{e.peBlue, e.peGreen, e.peRed, 0};
        }
    } else {
      colors = DibColors(bmi, l);
    }
    s->SetColors(std::move(colors));
  }
  if (l.bitfields) s->SetMasks(l.masks[0], l.masks[1], l.masks[2]);
  BlitSource src;
  src.surface = s.get();
  src.x = xSrc;
  // Source rows of a bottom-up DIB count from its bottom.
  src.y = l.bottomUp ? l.height - (ySrc + srcHeight) : ySrc;
  src.w = srcWidth;
  src.h = srcHeight;
  const uint8_t r = Rop3Index(rop);
  if (!Blit(*dc, dc->SX(xDest), dc->SY(yDest), destWidth, destHeight, src, r, nullptr, nullptr)) return 0;
  return srcHeight < 0 ? -srcHeight : srcHeight;
}
