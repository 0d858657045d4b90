// The rasteriser's core: regions as sets of disjoint rectangles, the raster
// operations over raw pixel values, and filling clipped spans with a pattern.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/gdi/dib.h"

namespace vx::gdi {

// A region: disjoint rectangles in bands, sorted by top, then left. Bands that touch
// and hold the same columns are merged, so equal areas have equal rectangle lists.
class Region {
 public:
  Region() = default;
  explicit Region(const RECT& r);

  const std::vector<RECT>& Rects() const { return rects_; }
  bool Empty() const { return rects_.empty(); }
  RECT Box() const;
  // NULLREGION, SIMPLEREGION or COMPLEXREGION.
  int Kind() const;
  bool Contains(int x, int y) const;
  bool Intersects(const RECT& r) const;
  void Offset(int dx, int dy);
  bool operator==(const Region& o) const;

  // mode: RGN_AND, RGN_OR, RGN_XOR, RGN_DIFF.
  static Region Combine(const Region& a, const Region& b, int mode);
  Region Intersected(const RECT& r) const;

  // Calls f(x0, x1) for each part of [x0, x1) on row y that lies in the region.
  template <class F>
  void ForSpans(int y, int x0, int x1, F&& f) const {
    for (const RECT& r : rects_) {
      if (r.top > y) break;
      if (r.bottom <= y) continue;
      const int a = x0 > r.left ? x0 : r.left;
      const int b = x1 < r.right ? x1 : r.right;
      if (a < b) f(a, b);
    }
  }

 private:
  std::vector<RECT> rects_;
};

inline bool RectEmpty(const RECT& r) { return r.right <= r.left || r.bottom <= r.top; }
inline RECT Intersect(const RECT& a, const RECT& b) {
  RECT r{a.left > b.left ? a.left : b.left, a.top > b.top ? a.top : b.top, a.right < b.right ? a.right : b.right,
         a.bottom < b.bottom ? a.bottom : b.bottom};
  if (RectEmpty(r)) return RECT{};
  return r;
}

// Truth tables over (pattern, source, destination), as in bits 16..23 of a ternary
// raster operation.
constexpr uint8_t Rop3Index(DWORD rop) { return uint8_t((rop >> 16) & 0xFF); }
constexpr bool RopUsesSource(uint8_t r) { return ((r >> 2) & 0x33) != (r & 0x33); }
constexpr bool RopUsesPattern(uint8_t r) { return ((r >> 4) & 0x0F) != (r & 0x0F); }
constexpr bool RopUsesDest(uint8_t r) { return ((r >> 1) & 0x55) != (r & 0x55); }
// The ternary operation that a binary one (SetROP2, pen over destination) stands for.
uint8_t Rop2ToRop3(int rop2);

// D[i] = rop(P, S, D) for n pixels. P null: every pixel takes pc. S may be null when
// the operation does not use the source.
void ApplyRop(uint8_t rop, uint32_t* D, const uint32_t* P, uint32_t pc, const uint32_t* S, int n);

// Turns raw values of a source surface into raw values of a destination surface.
// A monochrome source gives the destination's text colour for 0 and background
// colour for 1; a monochrome destination gets 1 where the source pixel equals the
// source's background colour; other formats convert through colour (nearest entry
// for indexed destinations).
class RawConverter {
 public:
  RawConverter(const Surface& src, const Surface& dst, COLORREF destText, COLORREF destBk, COLORREF srcBk);
  bool Identity() const { return mode_ == Mode::kIdentity; }
  void Convert(uint32_t* v, int n) const;

 private:
  enum class Mode { kIdentity, kLut, kToMono, kGeneric };
  Mode mode_ = Mode::kIdentity;
  const Surface& src_;
  const Surface& dst_;
  std::vector<uint32_t> lut_;
  uint32_t srcBkRaw_ = 0;
  uint32_t srcBits_ = 0;
};

// Copies count rows (all when negative) of src from srcRow0 into dst from dstRow0,
// over the width both have, through a converter. Rows outside either are skipped.
void CopyConverted(const Surface& src, Surface& dst, const RawConverter& conv, int srcRow0 = 0, int dstRow0 = 0,
                   int count = -1);
// A monochrome bitmap of a surface's size: 1 (white) where the pixel is colour bk.
// Null when the memory cannot be had.
std::shared_ptr<Surface> MonochromeMask(const Surface& s, COLORREF bk);

// What a fill paints: a solid raw value or a pattern of raw values tiled from an
// origin (device pixels), combined with the destination by a ternary operation.
struct Paint {
  uint8_t rop = 0xF0;  // PATCOPY
  uint32_t solid = 0;
  const uint32_t* pattern = nullptr;  // pw * ph raw values, row by row
  const uint8_t* opaque = nullptr;    // per pattern pixel: 0 keeps the destination
  int pw = 0, ph = 0;
  int orgX = 0, orgY = 0;
};

// Paints [x0, x1) of row y (inside the surface; no clipping here).
void FillSpan(Surface& s, int y, int x0, int x1, const Paint& p);
// Paints the parts of the rectangle inside the clip region.
void FillRect(Surface& s, const Region& clip, const RECT& r, const Paint& p);
// Paints [x0, x1) of row y where the clip region allows.
void FillSpanClipped(Surface& s, const Region& clip, int y, int x0, int x1, const Paint& p);

}  // namespace vx::gdi
