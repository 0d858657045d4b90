// Logical palettes. On the true-colour screen selecting and realising one changes
// nothing; palettes serve as colour lists for nearest-colour look-ups and for DIB
// colour tables.
#include <algorithm>
#include <memory>
#include <mutex>

#include "platform/gdi/dc.h"

namespace vx::gdi {

// Nearest-entry look-ups of one palette, made on first use. The colour cube is cut
// into 16 x 16 x 16 cells; a cell keeps the entries that can be nearest to some
// colour inside it (those no farther from the cell than the entry whose farthest
// corner is nearest), so a search looks at a few entries instead of all. A
// direct-mapped table remembers colours already looked up; each slot keeps the whole
// colour beside its answer, so a hit is always the exact nearest entry.
struct NearestIndexCache {
  static constexpr size_t kSlots = 1 << 14;
  static constexpr uint64_t kFilled = uint64_t{1} << 48;
  static constexpr int kCellBits = 4;  // cells of 16 values per channel
  std::mutex lock;
  std::unique_ptr<uint64_t[]> slots;
  std::vector<std::vector<uint16_t>> cells;  // candidates in index order; empty until used

  static size_t SlotOf(COLORREF c) { return size_t((c * 0x9E3779B1u) >> 18) & (kSlots - 1); }

  void Invalidate() {
    std::lock_guard g(lock);
    slots.reset();
    cells.clear();
  }

  static int Square(int v) { return v * v; }

  // The entries that may be nearest to a colour of the cell.
  static std::vector<uint16_t> Candidates(const std::vector<PALETTEENTRY>& entries, int cr, int cg, int cb) {
    const int size = 1 << (8 - kCellBits);
    const int lo[3] = {cr * size, cg * size, cb * size};
    auto nearSq = [&](int v, int l) { return v < l ? Square(l - v) : v > l + size - 1 ? Square(v - l - size + 1) : 0; };
    auto farSq = [&](int v, int l) { return std::max(Square(v - l), Square(v - l - size + 1)); };
    std::vector<int> minDist(entries.size());
    int threshold = 1 << 30;
    for (size_t i = 0; i < entries.size(); ++i) {
      const PALETTEENTRY& e = entries[i];
      minDist[i] = nearSq(e.peRed, lo[0]) + nearSq(e.peGreen, lo[1]) + nearSq(e.peBlue, lo[2]);
      threshold = std::min(threshold, farSq(e.peRed, lo[0]) + farSq(e.peGreen, lo[1]) + farSq(e.peBlue, lo[2]));
    }
    std::vector<uint16_t> out;
    for (size_t i = 0; i < entries.size(); ++i)
      if (minDist[i] <= threshold) out.push_back(uint16_t(i));
    return out;
  }

  // The entry nearest to c by squared RGB distance, the lowest index on a tie.
  int Search(const std::vector<PALETTEENTRY>& entries, COLORREF c) {
    const int r = GetRValue(c), g = GetGValue(c), b = GetBValue(c);
    const int shift = 8 - kCellBits;
    if (cells.empty()) cells.resize(size_t(1) << (3 * kCellBits));
    std::vector<uint16_t>& cell = cells[size_t((r >> shift) << (2 * kCellBits) | (g >> shift) << kCellBits | b >> shift)];
    if (cell.empty()) cell = Candidates(entries, r >> shift, g >> shift, b >> shift);
    int best = 1 << 30, bestIndex = 0;
    for (uint16_t i : cell) {
      const PALETTEENTRY& e = entries[i];
      const int d = Square(e.peRed - r) + Square(e.peGreen - g) + Square(e.peBlue - b);
      if (d < best) best = d, bestIndex = i;
    }
    return bestIndex;
  }
};

PaletteObject::PaletteObject() : GdiObject(OBJ_PAL), nearest(std::make_unique<NearestIndexCache>()) {}
PaletteObject::~PaletteObject() = default;

}  // namespace vx::gdi

using namespace vx::gdi;

HPALETTE CreatePalette(const LOGPALETTE* lp) {
  if (!lp || lp->palNumEntries == 0 || lp->palNumEntries > 1024) return nullptr;
  auto p = std::make_shared<PaletteObject>();
  p->entries.assign(lp->entries(), lp->entries() + lp->palNumEntries);
  return reinterpret_cast<HPALETTE>(AddObject(p));
}

HPALETTE CreateHalftonePalette(HDC) {
  auto p = std::make_shared<PaletteObject>();
  for (const RGBQUAD& q : HalftoneColors()) p->entries.push_back(PALETTEENTRY{q.rgbRed, q.rgbGreen, q.rgbBlue, 0});
  return reinterpret_cast<HPALETTE>(AddObject(p));
}

UINT GetPaletteEntries(HPALETTE pal, UINT start, UINT count, PALETTEENTRY* entries) {
  auto p = Find<PaletteObject>(H(pal), OBJ_PAL);
  if (!p) return 0;
  if (!entries) return UINT(p->entries.size());
  UINT n = 0;
  for (UINT i = start; i < p->entries.size() && n < count; ++i, ++n) entries[n] = p->entries[i];
  return n;
}

UINT SetPaletteEntries(HPALETTE pal, UINT start, UINT count, const PALETTEENTRY* entries) {
  auto p = Find<PaletteObject>(H(pal), OBJ_PAL);
  if (!p || !entries || p->stock) return 0;
  UINT n = 0;
  for (UINT i = start; i < p->entries.size() && n < count; ++i, ++n) p->entries[i] = entries[n];
  p->nearest->Invalidate();
  return n;
}

BOOL ResizePalette(HPALETTE pal, UINT count) {
  auto p = Find<PaletteObject>(H(pal), OBJ_PAL);
  if (!p || p->stock || count == 0 || count > 1024) return FALSE;
  p->entries.resize(count);
  p->nearest->Invalidate();
  return TRUE;
}

UINT GetNearestPaletteIndex(HPALETTE pal, COLORREF color) {
  auto p = Find<PaletteObject>(H(pal), OBJ_PAL);
  if (!p || p->entries.empty()) return CLR_INVALID;
  color &= 0xFFFFFF;
  NearestIndexCache& cache = *p->nearest;
  const size_t slot = NearestIndexCache::SlotOf(color);
  std::lock_guard g(cache.lock);
  if (!cache.slots) cache.slots.reset(new uint64_t[NearestIndexCache::kSlots]());
  const uint64_t v = cache.slots[slot];
  if ((v & NearestIndexCache::kFilled) && COLORREF(v >> 16 & 0xFFFFFF) == color) return UINT(v & 0xFFFF);
  const int index = cache.Search(p->entries, color);
  cache.slots[slot] = NearestIndexCache::kFilled | uint64_t(color) << 16 | uint64_t(index);
  return UINT(index);
}

COLORREF GetNearestColor(HDC dc, COLORREF color) {
  auto d = FindDC(dc);
  if (!d) return CLR_INVALID;
  const Surface* s = d->Target();
  if (!s) return color & 0xFFFFFF;
  return s->ColorFromRaw(s->RawFromColor(color & 0xFFFFFF));
}

HPALETTE SelectPalette(HDC dc, HPALETTE pal, BOOL) {
  auto d = FindDC(dc);
  auto p = Find<PaletteObject>(H(pal), OBJ_PAL);
  if (!d || !p) return nullptr;
  HPALETTE old = reinterpret_cast<HPALETTE>(d->st.paletteH);
  d->st.palette = p;
  d->st.paletteH = H(pal);
  return old;
}

UINT RealizePalette(HDC dc) {
  auto d = FindDC(dc);
  if (!d || !d->st.palette) return GDI_ERROR;
  return 0;
}

UINT GetSystemPaletteEntries(HDC dc, UINT start, UINT count, PALETTEENTRY* entries) {
  if (ScreenBitsPerPixel() > 8) return 0;
  const auto& h = HalftoneColors();
  if (!entries) return UINT(h.size());
  UINT n = 0;
  for (UINT i = start; i < h.size() && n < count; ++i, ++n)
    entries[n] = PALETTEENTRY{h[i].rgbRed, h[i].rgbGreen, h[i].rgbBlue, 0};
  return n;
}
