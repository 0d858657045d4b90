// Logical palettes. On the true-colour screen selecting and realising one changes
// nothing; palettes serve as colour lists for nearest-colour look-ups and for DIB
// colour tables.
#include <algorithm>
#include <memory>
#include <mutex>

#include "platform/gdi/dc.h"

namespace vx::gdi {

// A direct-mapped table of colours already looked up, made on first use. Each slot
// keeps the whole colour beside its answer, so a hit is always the exact nearest
// entry.
struct NearestIndexCache {
  static constexpr size_t kSlots = 1 << 14;
  static constexpr uint64_t kFilled = uint64_t{1} << 32;
  std::mutex lock;
  std::unique_ptr<uint64_t[]> slots;

  static size_t SlotOf(COLORREF c) { return size_t((c * 0x9E3779B1u) >> 18) & (kSlots - 1); }
  void Invalidate() {
    std::lock_guard g(lock);
    slots.reset();
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
  if (p->stock) {
    // Stock palettes are shared by every thread and never change: no cache.
    return UINT(NearestEntry(p->entries.data(), int(p->entries.size()), color, [](const PALETTEENTRY& e) {
      return std::tuple<int, int, int>(e.peRed, e.peGreen, e.peBlue);
    }));
  }
  NearestIndexCache& cache = *p->nearest;
  const size_t slot = NearestIndexCache::SlotOf(color);
  std::lock_guard g(cache.lock);
  if (!cache.slots) cache.slots.reset(new uint64_t[NearestIndexCache::kSlots]());
  const uint64_t v = cache.slots[slot];
  if ((v & NearestIndexCache::kFilled) && COLORREF(v >> 8 & 0xFFFFFF) == color) return UINT(v & 0xFF);
  const int index = NearestEntry(p->entries.data(), int(p->entries.size()), color, [](const PALETTEENTRY& e) {
    return std::tuple<int, int, int>(e.peRed, e.peGreen, e.peBlue);
  });
  if (index < 256) cache.slots[slot] = NearestIndexCache::kFilled | uint64_t(color) << 8 | uint64_t(index);
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
