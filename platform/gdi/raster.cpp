#include "platform/gdi/raster.h"

#include <algorithm>
#include <cstring>

namespace vx::gdi {

// ---- Region ----

Region::Region(const RECT& r) {
  if (!RectEmpty(r)) rects_.push_back(r);
}

RECT Region::Box() const {
  if (rects_.empty()) return RECT{};
  RECT b = rects_.front();
  for (const RECT& r : rects_) {
    b.left = std::min(b.left, r.left);
    b.top = std::min(b.top, r.top);
    b.right = std::max(b.right, r.right);
    b.bottom = std::max(b.bottom, r.bottom);
  }
  return b;
}

int Region::Kind() const {
  if (rects_.empty()) return NULLREGION;
  return rects_.size() == 1 ? SIMPLEREGION : COMPLEXREGION;
}

bool Region::Contains(int x, int y) const {
  for (const RECT& r : rects_)
    if (x >= r.left && x < r.right && y >= r.top && y < r.bottom) return true;
  return false;
}

bool Region::Intersects(const RECT& q) const {
  for (const RECT& r : rects_)
    if (!RectEmpty(Intersect(r, q))) return true;
  return false;
}

void Region::Offset(int dx, int dy) {
  for (RECT& r : rects_) r.left += dx, r.right += dx, r.top += dy, r.bottom += dy;
}

bool Region::operator==(const Region& o) const {
  if (rects_.size() != o.rects_.size()) return false;
  for (size_t i = 0; i < rects_.size(); ++i)
    if (!(rects_[i] == o.rects_[i])) return false;
  return true;
}

namespace {

using Intervals = std::vector<std::pair<int, int>>;

Intervals BandIntervals(const std::vector<RECT>& rects, int y0, int y1) {
  Intervals v;
  for (const RECT& r : rects)
    if (r.top <= y0 && r.bottom >= y1) v.emplace_back(r.left, r.right);
  std::sort(v.begin(), v.end());
  // Merge touching intervals (inputs are disjoint, but OR results may touch).
  Intervals m;
  for (auto& iv : v) {
    if (!m.empty() && iv.first <= m.back().second)
      m.back().second = std::max(m.back().second, iv.second);
    else
      m.push_back(iv);
  }
  return m;
}

Intervals CombineIntervals(const Intervals& a, const Intervals& b, int mode) {
  std::vector<int> xs;
  for (auto& iv : a) xs.push_back(iv.first), xs.push_back(iv.second);
  for (auto& iv : b) xs.push_back(iv.first), xs.push_back(iv.second);
  std::sort(xs.begin(), xs.end());
  xs.erase(std::unique(xs.begin(), xs.end()), xs.end());
  auto inside = [](const Intervals& v, int x) {
    for (auto& iv : v)
      if (x >= iv.first && x < iv.second) return true;
    return false;
  };
  Intervals out;
  for (size_t i = 0; i + 1 < xs.size(); ++i) {
    const bool ia = inside(a, xs[i]), ib = inside(b, xs[i]);
    bool in = false;
    switch (mode) {
      case RGN_AND: in = ia && ib; break;
      case RGN_OR: in = ia || ib; break;
      case RGN_XOR: in = ia != ib; break;
      case RGN_DIFF: in = ia && !ib; break;
      default: in = ia; break;
    }
    if (!in) continue;
    if (!out.empty() && out.back().second == xs[i])
      out.back().second = xs[i + 1];
    else
      out.emplace_back(xs[i], xs[i + 1]);
  }
  return out;
}

}  // namespace

Region Region::Combine(const Region& a, const Region& b, int mode) {
  if (mode == RGN_AND && (a.Empty() || b.Empty())) return Region();
  if ((mode == RGN_OR || mode == RGN_XOR) && b.Empty()) return a;
  if ((mode == RGN_OR || mode == RGN_XOR) && a.Empty()) return b;
  if (mode == RGN_DIFF && (a.Empty() || b.Empty())) return a;
  std::vector<int> ys;
  for (const RECT& r : a.rects_) ys.push_back(r.top), ys.push_back(r.bottom);
  for (const RECT& r : b.rects_) ys.push_back(r.top), ys.push_back(r.bottom);
  std::sort(ys.begin(), ys.end());
  ys.erase(std::unique(ys.begin(), ys.end()), ys.end());
  Region out;
  Intervals prev;
  size_t prevStart = 0;  // first rectangle of the previous band
  int prevBottom = INT32_MIN;
  for (size_t i = 0; i + 1 < ys.size(); ++i) {
    const int y0 = ys[i], y1 = ys[i + 1];
    Intervals iv = CombineIntervals(BandIntervals(a.rects_, y0, y1), BandIntervals(b.rects_, y0, y1), mode);
    if (iv.empty()) {
      prev.clear();
      continue;
    }
    if (iv == prev && prevBottom == y0) {
      // Same columns as the band just above: extend it.
      for (size_t k = prevStart; k < out.rects_.size(); ++k) out.rects_[k].bottom = y1;
    } else {
      prevStart = out.rects_.size();
      for (auto& x : iv) out.rects_.push_back(RECT{x.first, y0, x.second, y1});
      prev = std::move(iv);
    }
    prevBottom = y1;
  }
  return out;
}

Region Region::Intersected(const RECT& q) const {
  Region out;
  for (const RECT& r : rects_) {
    RECT i = Intersect(r, q);
    if (!RectEmpty(i)) out.rects_.push_back(i);
  }
  return out;
}

// ---- Raster operations ----

uint8_t Rop2ToRop3(int rop2) {
  if (rop2 < R2_BLACK || rop2 > R2_WHITE) rop2 = R2_COPYPEN;
  const unsigned t = unsigned(rop2 - 1);
  uint8_t r = 0;
  for (unsigned p = 0; p < 2; ++p)
    for (unsigned s = 0; s < 2; ++s)
      for (unsigned d = 0; d < 2; ++d)
        if ((t >> (p * 2 + d)) & 1) r = uint8_t(r | (1u << (p * 4 + s * 2 + d)));
  return r;
}

namespace {

template <bool kP, bool kS, class F>
inline void RunT(uint32_t* D, const uint32_t* P, uint32_t pc, const uint32_t* S, int n, F f) {
  for (int i = 0; i < n; ++i) D[i] = f(kP ? P[i] : pc, kS ? S[i] : 0u, D[i]);
}

template <class F>
inline void Run(uint32_t* D, const uint32_t* P, uint32_t pc, const uint32_t* S, int n, F f) {
  if (P) {
    if (S)
      RunT<true, true>(D, P, pc, S, n, f);
    else
      RunT<true, false>(D, P, pc, S, n, f);
  } else {
    if (S)
      RunT<false, true>(D, P, pc, S, n, f);
    else
      RunT<false, false>(D, P, pc, S, n, f);
  }
}

inline uint32_t Generic(uint8_t rop, uint32_t p, uint32_t s, uint32_t d) {
  uint32_t r = 0;
  for (unsigned m = 0; m < 8; ++m) {
    if (!((rop >> m) & 1)) continue;
    r |= ((m & 4) ? p : ~p) & ((m & 2) ? s : ~s) & ((m & 1) ? d : ~d);
  }
  return r;
}

}  // namespace

void ApplyRop(uint8_t rop, uint32_t* D, const uint32_t* P, uint32_t pc, const uint32_t* S, int n) {
  if (!RopUsesSource(rop)) S = nullptr;
  if (!RopUsesPattern(rop)) P = nullptr;
  switch (rop) {
    case 0x00: std::fill_n(D, n, 0u); return;
    case 0xFF: std::fill_n(D, n, 0xFFFFFFFFu); return;
    case 0xAA: return;
    case 0x55: Run(D, P, pc, S, n, [](uint32_t, uint32_t, uint32_t d) { return ~d; }); return;
    case 0xCC:
      if (S) std::memcpy(D, S, size_t(n) * 4);
      return;
    case 0x33: Run(D, P, pc, S, n, [](uint32_t, uint32_t s, uint32_t) { return ~s; }); return;
    case 0x88: Run(D, P, pc, S, n, [](uint32_t, uint32_t s, uint32_t d) { return s & d; }); return;
    case 0xEE: Run(D, P, pc, S, n, [](uint32_t, uint32_t s, uint32_t d) { return s | d; }); return;
    case 0x66: Run(D, P, pc, S, n, [](uint32_t, uint32_t s, uint32_t d) { return s ^ d; }); return;
    case 0x44: Run(D, P, pc, S, n, [](uint32_t, uint32_t s, uint32_t d) { return s & ~d; }); return;
    case 0x22: Run(D, P, pc, S, n, [](uint32_t, uint32_t s, uint32_t d) { return ~s & d; }); return;
    case 0xBB: Run(D, P, pc, S, n, [](uint32_t, uint32_t s, uint32_t d) { return ~s | d; }); return;
    case 0x11: Run(D, P, pc, S, n, [](uint32_t, uint32_t s, uint32_t d) { return ~(s | d); }); return;
    case 0xF0:
      if (P)
        std::memcpy(D, P, size_t(n) * 4);
      else
        std::fill_n(D, n, pc);
      return;
    case 0x0F: Run(D, P, pc, S, n, [](uint32_t p, uint32_t, uint32_t) { return ~p; }); return;
    case 0x5A: Run(D, P, pc, S, n, [](uint32_t p, uint32_t, uint32_t d) { return p ^ d; }); return;
    case 0xA0: Run(D, P, pc, S, n, [](uint32_t p, uint32_t, uint32_t d) { return p & d; }); return;
    case 0xFA: Run(D, P, pc, S, n, [](uint32_t p, uint32_t, uint32_t d) { return p | d; }); return;
    case 0xC0: Run(D, P, pc, S, n, [](uint32_t p, uint32_t s, uint32_t) { return p & s; }); return;
    case 0xFB: Run(D, P, pc, S, n, [](uint32_t p, uint32_t s, uint32_t d) { return p | ~s | d; }); return;
    case 0xB8: Run(D, P, pc, S, n, [](uint32_t p, uint32_t s, uint32_t d) { return ((d ^ p) & s) ^ p; }); return;
    case 0xE2: Run(D, P, pc, S, n, [](uint32_t p, uint32_t s, uint32_t d) { return ((p ^ d) & s) ^ d; }); return;
    default: Run(D, P, pc, S, n, [rop](uint32_t p, uint32_t s, uint32_t d) { return Generic(rop, p, s, d); }); return;
  }
}

// ---- Format conversion ----

RawConverter::RawConverter(const Surface& src, const Surface& dst, COLORREF destText, COLORREF destBk,
                           COLORREF srcBk)
    : src_(src), dst_(dst) {
  if (src.IsMonochrome()) {
    if (dst.IsMonochrome()) return;
    mode_ = Mode::kLut;
    lut_ = {dst.RawFromColor(destText & 0xFFFFFF), dst.RawFromColor(destBk & 0xFFFFFF)};
    return;
  }
  if (dst.IsMonochrome()) {
    if (src.Indexed()) {
      mode_ = Mode::kLut;
      lut_.resize(src.Colors().size());
      for (size_t i = 0; i < lut_.size(); ++i) lut_[i] = (ColorOf(src.Colors()[i]) == (srcBk & 0xFFFFFF)) ? 1 : 0;
      return;
    }
    mode_ = Mode::kToMono;
    srcBits_ = src.ColorBits();
    srcBkRaw_ = src.RawFromColor(srcBk & 0xFFFFFF) & srcBits_;
    return;
  }
  if (src.Indexed()) {
    if (dst.Bpp() == src.Bpp() && dst.Colors().size() == src.Colors().size() &&
        std::memcmp(dst.Colors().data(), src.Colors().data(), src.Colors().size() * sizeof(RGBQUAD)) == 0)
      return;
    mode_ = Mode::kLut;
    lut_.resize(src.Colors().size());
    for (size_t i = 0; i < lut_.size(); ++i) lut_[i] = dst.RawFromColor(ColorOf(src.Colors()[i]));
    return;
  }
  const bool srcStd = src.Bpp() == 24 || (src.Bpp() == 32 && src.StandardMasks());
  const bool dstStd = dst.Bpp() == 24 || (dst.Bpp() == 32 && dst.StandardMasks());
  if ((srcStd && dstStd) || (src.Bpp() == dst.Bpp() && src.RedMask() == dst.RedMask() &&
                             src.GreenMask() == dst.GreenMask() && src.BlueMask() == dst.BlueMask()))
    return;
  mode_ = Mode::kGeneric;
}

void RawConverter::Convert(uint32_t* v, int n) const {
  if (n <= 0) return;
  switch (mode_) {
    case Mode::kIdentity: return;
    case Mode::kLut: {
      const uint32_t size = uint32_t(lut_.size());
      for (int i = 0; i < n; ++i) v[i] = v[i] < size ? lut_[v[i]] : 0;
      return;
    }
    case Mode::kToMono:
      for (int i = 0; i < n; ++i) v[i] = (v[i] & srcBits_) == srcBkRaw_ ? 1 : 0;
      return;
    case Mode::kGeneric: {
      uint32_t lastIn = ~v[0], lastOut = 0;
      for (int i = 0; i < n; ++i) {
        if (v[i] != lastIn) lastIn = v[i], lastOut = dst_.RawFromColor(src_.ColorFromRaw(v[i]));
        v[i] = lastOut;
      }
      return;
    }
  }
}

void CopyConverted(const Surface& src, Surface& dst, const RawConverter& conv, int srcRow0, int dstRow0, int count) {
  const int w = std::min(src.Width(), dst.Width());
  if (w <= 0) return;
  if (count < 0) count = src.Height();
  std::vector<uint32_t> row(static_cast<size_t>(w));
  for (int i = 0; i < count; ++i) {
    const int sy = srcRow0 + i, dy = dstRow0 + i;
    if (sy < 0 || sy >= src.Height() || dy < 0 || dy >= dst.Height()) continue;
    src.ReadRow(sy, 0, w, row.data());
    conv.Convert(row.data(), w);
    dst.WriteRow(dy, 0, w, row.data());
  }
}

std::shared_ptr<Surface> MonochromeMask(const Surface& s, COLORREF bk) {
  auto m = Surface::Create(s.Width(), s.Height(), 1, false);
  if (!m) return nullptr;
  RawConverter conv(s, *m, RGB(0, 0, 0), RGB(255, 255, 255), bk & 0xFFFFFF);
  CopyConverted(s, *m, conv);
  return m;
}

// ---- Fills ----

namespace {

inline int Mod(int a, int m) {
  const int r = a % m;
  return r < 0 ? r + m : r;
}

}  // namespace

void FillSpan(Surface& s, int y, int x0, int x1, const Paint& p) {
  const int n = x1 - x0;
  if (n <= 0) return;
  const bool aligned = (reinterpret_cast<uintptr_t>(s.Bits()) & 3) == 0;
  // Solid copies go straight into the row.
  if (!p.pattern && p.rop == 0xF0) {
    uint8_t* row = s.Row(y);
    const uint32_t v = p.solid & s.RawMask();
    switch (s.Bpp()) {
      case 32:
        if (aligned) {
          std::fill_n(reinterpret_cast<uint32_t*>(row) + x0, n, v);
          return;
        }
        break;
      case 8: std::memset(row + x0, int(v), size_t(n)); return;
      case 24: {
        uint8_t* q = row + 3 * size_t(x0);
        for (int i = 0; i < n; ++i, q += 3) q[0] = uint8_t(v), q[1] = uint8_t(v >> 8), q[2] = uint8_t(v >> 16);
        return;
      }
      default: break;
    }
  }
  const bool usesD = RopUsesDest(p.rop) || p.opaque;
  constexpr int kChunk = 1024;
  uint32_t dbuf[kChunk], pbuf[kChunk], keep[kChunk];
  for (int start = x0; start < x1; start += kChunk) {
    const int m = std::min(kChunk, x1 - start);
    uint32_t* D = dbuf;
    const bool direct = s.Bpp() == 32 && aligned;
    if (direct)
      D = reinterpret_cast<uint32_t*>(s.Row(y)) + start;
    else if (usesD)
      s.ReadRow(y, start, m, dbuf);
    const uint32_t* P = nullptr;
    if (p.pattern) {
      const int py = Mod(y - p.orgY, p.ph);
      const uint32_t* prow = p.pattern + size_t(py) * size_t(p.pw);
      int px = Mod(start - p.orgX, p.pw);
      for (int i = 0; i < m; ++i) {
        pbuf[i] = prow[px];
        if (++px == p.pw) px = 0;
      }
      P = pbuf;
    }
    if (p.opaque) std::memcpy(keep, D, size_t(m) * 4);
    ApplyRop(p.rop, D, P, p.solid, nullptr, m);
    if (p.opaque) {
      const int py = Mod(y - p.orgY, p.ph);
      const uint8_t* orow = p.opaque + size_t(py) * size_t(p.pw);
      int px = Mod(start - p.orgX, p.pw);
      for (int i = 0; i < m; ++i) {
        if (!orow[px]) D[i] = keep[i];
        if (++px == p.pw) px = 0;
      }
    }
    if (!direct) {
      const uint32_t mask = s.RawMask();
      if (mask != 0xFFFFFFFFu)
        for (int i = 0; i < m; ++i) D[i] &= mask;
      s.WriteRow(y, start, m, D);
    }
  }
}

void FillSpanClipped(Surface& s, const Region& clip, int y, int x0, int x1, const Paint& p) {
  clip.ForSpans(y, x0, x1, [&](int a, int b) { FillSpan(s, y, a, b, p); });
}

void FillRect(Surface& s, const Region& clip, const RECT& r, const Paint& p) {
  if (RectEmpty(r)) return;
  // A solid copy is the same on every row: paint the first, copy its bytes down.
  const bool stamp = !p.pattern && p.rop == 0xF0 && s.Bpp() % 8 == 0;
  const size_t bytesPerPixel = size_t(s.Bpp() / 8);
  for (const RECT& c : clip.Rects()) {
    const RECT i = Intersect(c, r);
    if (RectEmpty(i)) continue;
    FillSpan(s, i.top, i.left, i.right, p);
    if (stamp) {
      const uint8_t* first = s.Row(i.top) + size_t(i.left) * bytesPerPixel;
      const size_t n = size_t(i.right - i.left) * bytesPerPixel;
      for (int y = i.top + 1; y < i.bottom; ++y) std::memcpy(s.Row(y) + size_t(i.left) * bytesPerPixel, first, n);
    } else {
      for (int y = i.top + 1; y < i.bottom; ++y) FillSpan(s, y, i.left, i.right, p);
    }
  }
}

}  // namespace vx::gdi
