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

// What a blit asks for. The destination rectangle is in surface pixels (already moved
// by the DC's origins); a negative width or height mirrors, in the destination or in
// the source.
struct BlitRequest {
  int x = 0, y = 0, w = 0, h = 0;
  BlitSource src;
  uint8_t rop = 0xCC;                      // SRCCOPY
  const BlitMask* mask = nullptr;          // MaskBlt: the back operation where a bit is 0
  const COLORREF* transparent = nullptr;  // TransparentBlt: source pixels of this colour stay out
};

// Destination offset i of a stretch takes source offset floor(j * ssize / dsize), with
// j = i, or j = dsize - 1 - i when mirrored.
int SourceOffset(int i, int dsize, int ssize, bool mirror) {
  const int64_t j = mirror ? dsize - 1 - i : i;
  return int(j * ssize / dsize);
}

// The destination offsets [first, last] whose source offset, moved by s0, lands inside
// [0, limit); first = -1 when there are none.
void SourceBackedRange(int dsize, int ssize, int s0, int limit, bool mirror, int& first, int& last) {
  first = last = -1;
  const int64_t lo = std::max<int64_t>(-int64_t(s0), 0);
  const int64_t hi = std::min<int64_t>(int64_t(limit) - 1 - s0, ssize - 1);
  if (lo > hi) return;
  // floor(j * ssize / dsize) in [lo, hi]  <=>  j in [ceil(lo * dsize / ssize), ...].
  const int64_t a = (lo * dsize + ssize - 1) / ssize;
  const int64_t b = std::min<int64_t>(((hi + 1) * dsize - 1) / ssize, dsize - 1);
  if (a > b) return;
  first = int(mirror ? dsize - 1 - b : a);
  last = int(mirror ? dsize - 1 - a : b);
}

// The blit engine: one request, carried out clip rectangle by clip rectangle and row
// by row. Each row gathers its source pixels (converted to the destination's format)
// and its pattern pixels, then combines them with the destination.
class Blitter {
 public:
  Blitter(DCObject& dc, Surface& dst, const BlitRequest& r) : dc_(dc), dst_(dst), r_(r) {}

  BOOL Run() {
    switch (Normalise()) {
      case kFailed: return FALSE;
      case kNothing: return TRUE;
      case kGo: break;
    }
    if (!FindBox()) return TRUE;
    if (usesPat_) {
      if (!dc_.st.brush) return FALSE;
      MakeBrushPaint(dc_, *dc_.st.brush, dst_, r_.rop, bp_);
      if (bp_.none) return TRUE;
    }
    if (FillSolid()) return TRUE;
    PrepareRows();
    for (const RECT& c : dc_.Clip().Rects()) {
      const RECT part = Intersect(c, box_);
      if (!RectEmpty(part)) Rows(part);
    }
    return TRUE;
  }

 private:
  enum Outcome { kFailed, kNothing, kGo };

  // Turns negative sizes into mirroring, drops a source the operations do not read,
  // and copies the source first when it is the destination itself, so that the blit
  // reads the pixels as they were before it started.
  Outcome Normalise() {
    BlitSource& src = r_.src;
    if (r_.w < 0) r_.x += r_.w + 1, r_.w = -r_.w, mirrorX_ = !mirrorX_;
    if (r_.h < 0) r_.y += r_.h + 1, r_.h = -r_.h, mirrorY_ = !mirrorY_;
    if (r_.w == 0 || r_.h == 0) return kNothing;
    back_ = r_.mask && r_.mask->surface;
    const bool usesSrc = RopUsesSource(r_.rop) || (back_ && RopUsesSource(r_.mask->back));
    usesPat_ = RopUsesPattern(r_.rop) || (back_ && RopUsesPattern(r_.mask->back));
    if (usesSrc && !src.surface) return kFailed;
    if (!usesSrc) src.surface = nullptr;
    if (src.surface) {
      if (src.w < 0) src.x += src.w + 1, src.w = -src.w, mirrorX_ = !mirrorX_;
      if (src.h < 0) src.y += src.h + 1, src.h = -src.h, mirrorY_ = !mirrorY_;
      if (src.w == 0 || src.h == 0) return kNothing;
      if (src.surface == &dst_) {
        snapshot_ = Snapshot(*src.surface, src.x, src.y, src.w, src.h);
        if (!snapshot_) return kFailed;
        src.surface = snapshot_.get();
        src.x = src.y = 0;
      }
    }
    stretch_ = src.surface && (src.w != r_.w || src.h != r_.h || mirrorX_ || mirrorY_);
    return kGo;
  }

  // The part of the destination to paint: inside the clip, and where the source has
  // pixels. False when that is empty.
  bool FindBox() {
    const BlitSource& src = r_.src;
    RECT area{r_.x, r_.y, r_.x + r_.w, r_.y + r_.h};
    if (src.surface) {
      int fx, lx, fy, ly;
      if (!stretch_) {
        fx = std::max(0, -src.x), lx = std::min(r_.w, src.surface->Width() - src.x) - 1;
        fy = std::max(0, -src.y), ly = std::min(r_.h, src.surface->Height() - src.y) - 1;
      } else {
        SourceBackedRange(r_.w, src.w, src.x, src.surface->Width(), mirrorX_, fx, lx);
        SourceBackedRange(r_.h, src.h, src.y, src.surface->Height(), mirrorY_, fy, ly);
      }
      if (fx < 0 || lx < fx || fy < 0 || ly < fy) return false;
      area = RECT{r_.x + fx, r_.y + fy, r_.x + lx + 1, r_.y + ly + 1};
    }
    box_ = Intersect(dc_.Clip().Box(), area);
    if (RectEmpty(box_)) return false;
    if (stretch_) {
      xmap_.resize(size_t(box_.right - box_.left));
      for (int x = box_.left; x < box_.right; ++x)
        xmap_[size_t(x - box_.left)] = src.x + SourceOffset(x - r_.x, r_.w, src.w, mirrorX_);
    }
    return true;
  }

  // Solid fills (PATCOPY, BLACKNESS, WHITENESS) paint row by row at copying speed.
  bool FillSolid() {
    const uint8_t rop = r_.rop;
    if (r_.src.surface || back_ || r_.transparent || bp_.paint.pattern || !(rop == 0xF0 || rop == 0x00 || rop == 0xFF))
      return false;
    Paint p = bp_.paint;
    if (rop != 0xF0) p.solid = rop == 0x00 ? 0 : 0xFFFFFFFFu, p.rop = 0xF0;
    FillRect(dst_, dc_.Clip(), box_, p);
    return true;
  }

  // The converter and the row buffers, and which rows can be read and written in place.
  void PrepareRows() {
    const Surface* source = r_.src.surface;
    if (source) conv_ = std::make_unique<RawConverter>(*source, dst_, dc_.st.textColor, dc_.st.bkColor, r_.src.bk);
    const size_t cols = size_t(box_.right - box_.left);
    sbuf_.resize(source ? cols : 0);
    dbuf_.resize(cols);
    pbuf_.resize(bp_.paint.pattern ? cols : 0);
    if (back_ || r_.transparent) alt_.resize(cols), keep_.resize(cols);
    dstDirect_ = Aligned32(dst_);
    srcDirect_ = source && !stretch_ && Aligned32(*source) && conv_->Identity() && !r_.transparent;
    needDest_ = RopUsesDest(r_.rop) || back_ || r_.transparent;
    plainStretch_ = stretch_ && r_.rop == 0xCC && !back_ && !r_.transparent && dstDirect_ && Aligned32(*source) &&
                    conv_->Identity();
  }

  // The rows of one clip rectangle.
  void Rows(const RECT& part) {
    const int n = part.right - part.left;
    lastSrcRow_ = INT32_MIN;
    for (int y = part.top; y < part.bottom; ++y) {
      uint32_t* D = dstDirect_ ? reinterpret_cast<uint32_t*>(dst_.Row(y)) + part.left : dbuf_.data();
      if (plainStretch_) {
        StretchCopyRow(D, y, part);
        continue;
      }
      const uint32_t* S = r_.src.surface ? SourceRow(y, part) : nullptr;
      const uint32_t* P = bp_.paint.pattern ? PatternRow(y, part) : nullptr;
      if (!dstDirect_ && needDest_) dst_.ReadRow(y, part.left, n, D);
      Combine(D, P, S, y, part);
      if (!dstDirect_) {
        const uint32_t m = dst_.RawMask();
        if (m != 0xFFFFFFFFu)
          for (int i = 0; i < n; ++i) D[i] &= m;
        dst_.WriteRow(y, part.left, n, D);
      }
    }
  }

  // A stretched copy between 32-bit surfaces: gathers straight into the row, or
  // repeats the row above when it came from the same source row.
  void StretchCopyRow(uint32_t* D, int y, const RECT& part) {
    const int n = part.right - part.left;
    const int sy = r_.src.y + SourceOffset(y - r_.y, r_.h, r_.src.h, mirrorY_);
    if (sy == lastSrcRow_ && y > part.top) {
      std::memcpy(D, reinterpret_cast<const uint32_t*>(dst_.Row(y - 1)) + part.left, size_t(n) * 4);
      return;
    }
    const auto* srow = reinterpret_cast<const uint32_t*>(r_.src.surface->Row(sy));
    const int* xs = xmap_.data() + (part.left - box_.left);
    for (int i = 0; i < n; ++i) D[i] = srow[xs[i]];
    lastSrcRow_ = sy;
  }

  // The source pixels under a destination row, in the destination's raw format: read
  // in place when nothing needs converting, else gathered into a buffer (kept while
  // the next row takes the same source row). With a transparent colour, notes which
  // pixels have it.
  const uint32_t* SourceRow(int y, const RECT& part) {
    const BlitSource& src = r_.src;
    const int n = part.right - part.left;
    const int sy = src.y + (stretch_ ? SourceOffset(y - r_.y, r_.h, src.h, mirrorY_) : y - r_.y);
    if (srcDirect_) return reinterpret_cast<const uint32_t*>(src.surface->Row(sy)) + (src.x + part.left - r_.x);
    if (sy != lastSrcRow_ || part.left != lastX0_ || n != lastN_) {
      if (stretch_)
        src.surface->ReadRowMapped(sy, xmap_.data() + (part.left - box_.left), n, sbuf_.data());
      else
        src.surface->ReadRow(sy, src.x + part.left - r_.x, n, sbuf_.data());
      if (r_.transparent) {
        const COLORREF key = *r_.transparent & 0xFFFFFF;
        for (int i = 0; i < n; ++i) keep_[size_t(i)] = src.surface->ColorFromRaw(sbuf_[size_t(i)]) == key ? 1 : 0;
      }
      conv_->Convert(sbuf_.data(), n);
      lastSrcRow_ = sy, lastX0_ = part.left, lastN_ = n;
    }
    return sbuf_.data();
  }

  // The brush pattern under a destination row, tiled from the brush origin.
  const uint32_t* PatternRow(int y, const RECT& part) {
    const Paint& p = bp_.paint;
    const int pw = p.pw, ph = p.ph;
    const int py = ((y - p.orgY) % ph + ph) % ph;
    int px = ((part.left - p.orgX) % pw + pw) % pw;
    const uint32_t* prow = p.pattern + size_t(py) * size_t(pw);
    for (int i = 0, n = part.right - part.left; i < n; ++i) {
      pbuf_[size_t(i)] = prow[px];
      if (++px == pw) px = 0;
    }
    return pbuf_.data();
  }

  // D = rop(P, S, D); where the mask has a 0 the back operation decides instead, and
  // source pixels of the transparent colour leave D as it was.
  void Combine(uint32_t* D, const uint32_t* P, const uint32_t* S, int y, const RECT& part) {
    const int n = part.right - part.left;
    const uint32_t solid = bp_.paint.solid;
    if (back_) {
      std::memcpy(alt_.data(), D, size_t(n) * 4);
      ApplyRop(r_.mask->back, alt_.data(), P, solid, S, n);
      ApplyRop(r_.rop, D, P, solid, S, n);
      const Surface& m = *r_.mask->surface;
      const int my = r_.mask->y + (y - r_.y);
      for (int i = 0; i < n; ++i) {
        const int mx = r_.mask->x + (part.left + i - r_.x);
        const bool bit = my >= 0 && my < m.Height() && mx >= 0 && mx < m.Width() && m.GetRaw(mx, my);
        if (!bit) D[i] = alt_[size_t(i)];
      }
    } else if (r_.transparent) {
      std::memcpy(alt_.data(), D, size_t(n) * 4);
      ApplyRop(r_.rop, D, P, solid, S, n);
      for (int i = 0; i < n; ++i)
        if (keep_[size_t(i)]) D[i] = alt_[size_t(i)];
    } else {
      ApplyRop(r_.rop, D, P, solid, S, n);
    }
  }

  DCObject& dc_;
  Surface& dst_;
  BlitRequest r_;
  bool mirrorX_ = false, mirrorY_ = false;
  bool back_ = false;     // a mask with a back operation
  bool usesPat_ = false;  // the brush takes part
  bool stretch_ = false;  // source and destination differ in size or direction
  std::shared_ptr<Surface> snapshot_;
  RECT box_{};
  std::vector<int> xmap_;  // per destination column of box_: the source column
  BrushPaint bp_;
  std::unique_ptr<RawConverter> conv_;
  std::vector<uint32_t> sbuf_, dbuf_, pbuf_, alt_, keep_;
  bool dstDirect_ = false, srcDirect_ = false, needDest_ = false, plainStretch_ = false;
  int lastSrcRow_ = INT32_MIN, lastX0_ = 0, lastN_ = 0;  // the source row in sbuf_
};

BOOL Blit(DCObject& dc, const BlitRequest& r) {
  Surface* dst = dc.Target();
  return dst ? Blitter(dc, *dst, r).Run() : FALSE;
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
  return Blit(*dc, {dc->SX(xDest), dc->SY(yDest), destWidth, destHeight, s, r});
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
  if (!mask) return Blit(*dc, {dc->SX(xDest), dc->SY(yDest), width, height, s, fore});
  auto m = SurfaceOf(mask);
  if (!m || m->Bpp() != 1) return FALSE;
  BlitMask bm;
  bm.surface = m.get();
  bm.x = xMask;
  bm.y = yMask;
  bm.back = backRop;
  return Blit(*dc, {dc->SX(xDest), dc->SY(yDest), width, height, s, fore, &bm});
}

BOOL TransparentBlt(HDC dest, int xDest, int yDest, int destWidth, int destHeight, HDC src, int xSrc, int ySrc,
                    int srcWidth, int srcHeight, UINT transparent) {
  auto dc = FindDC(dest);
  if (!dc || destWidth < 0 || destHeight < 0 || srcWidth < 0 || srcHeight < 0) return FALSE;
  BlitSource s = SourceOf(src, xSrc, ySrc, srcWidth, srcHeight);
  if (!s.surface) return FALSE;
  const COLORREF key = transparent;
  return Blit(*dc, {dc->SX(xDest), dc->SY(yDest), destWidth, destHeight, s, Rop3Index(SRCCOPY), nullptr, &key});
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
  if (!Blit(*dc, {dc->SX(xDest), dc->SY(yDest), destWidth, destHeight, src, r})) return 0;
  return srcHeight < 0 ? -srcHeight : srcHeight;
}
