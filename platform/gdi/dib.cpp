#include "platform/gdi/dib.h"

#include <bit>
#include <cstring>
#include <new>

namespace vx::gdi {

namespace {

// Widens a channel of `bits` bits to 8 by repeating its high bits, so that full
// intensity stays 255.
inline uint32_t Widen(uint32_t v, int bits) {
  if (bits >= 8) return v >> (bits - 8);
  if (bits <= 0) return 0;
  uint32_t r = v << (8 - bits);
  for (int have = bits; have < 8; have += bits) r |= r >> bits;
  return r & 0xFF;
}

inline uint32_t Narrow(uint32_t v8, int bits) { return bits >= 8 ? v8 << (bits - 8) : v8 >> (8 - bits); }

std::vector<RGBQUAD> MakeHalftone() {
  static const BYTE statics[20][3] = {
      {0x00, 0x00, 0x00}, {0x80, 0x00, 0x00}, {0x00, 0x80, 0x00}, {0x80, 0x80, 0x00}, {0x00, 0x00, 0x80},
      {0x80, 0x00, 0x80}, {0x00, 0x80, 0x80}, {0xC0, 0xC0, 0xC0}, {0xC0, 0xDC, 0xC0}, {0xA6, 0xCA, 0xF0},
      {0xFF, 0xFB, 0xF0}, {0xA0, 0xA0, 0xA4}, {0x80, 0x80, 0x80}, {0xFF, 0x00, 0x00}, {0x00, 0xFF, 0x00},
      {0xFF, 0xFF, 0x00}, {0x00, 0x00, 0xFF}, {0xFF, 0x00, 0xFF}, {0x00, 0xFF, 0xFF}, {0xFF, 0xFF, 0xFF}};
  std::vector<RGBQUAD> t;
  t.reserve(256);
  auto add = [&](BYTE r, BYTE g, BYTE b) { t.push_back(RGBQUAD{b, g, r, 0}); };
  for (int i = 0; i < 10; ++i) add(statics[i][0], statics[i][1], statics[i][2]);
  for (int r = 0; r < 6; ++r)
    for (int g = 0; g < 6; ++g)
      for (int b = 0; b < 6; ++b) add(BYTE(r * 51), BYTE(g * 51), BYTE(b * 51));
  // Greys between the cube's steps.
  for (int i = 1; i <= 20; ++i) {
    const BYTE v = BYTE(i * 255 / 21);
    add(v, v, v);
  }
  for (int i = 10; i < 20; ++i) add(statics[i][0], statics[i][1], statics[i][2]);
  return t;
}

}  // namespace

const std::vector<RGBQUAD>& MonoColors() {
  static const std::vector<RGBQUAD> t{RGBQUAD{0, 0, 0, 0}, RGBQUAD{255, 255, 255, 0}};
  return t;
}

const std::vector<RGBQUAD>& Vga16Colors() {
  static const std::vector<RGBQUAD> t = [] {
    static const COLORREF c[16] = {RGB(0, 0, 0),       RGB(0x80, 0, 0),    RGB(0, 0x80, 0),    RGB(0x80, 0x80, 0),
                                   RGB(0, 0, 0x80),    RGB(0x80, 0, 0x80), RGB(0, 0x80, 0x80), RGB(0xC0, 0xC0, 0xC0),
                                   RGB(0x80, 0x80, 0x80), RGB(0xFF, 0, 0), RGB(0, 0xFF, 0),    RGB(0xFF, 0xFF, 0),
                                   RGB(0, 0, 0xFF),    RGB(0xFF, 0, 0xFF), RGB(0, 0xFF, 0xFF), RGB(0xFF, 0xFF, 0xFF)};
    std::vector<RGBQUAD> v;
    for (COLORREF x : c) v.push_back(QuadOf(x));
    return v;
  }();
  return t;
}

const std::vector<RGBQUAD>& HalftoneColors() {
  static const std::vector<RGBQUAD> t = MakeHalftone();
  return t;
}

const std::vector<RGBQUAD>& DefaultColors(int bpp) {
  if (bpp == 1) return MonoColors();
  if (bpp == 4) return Vga16Colors();
  return HalftoneColors();
}

// ---- Surface ----

Surface::~Surface() = default;

std::shared_ptr<Surface> Surface::Create(int width, int height, int bpp, bool dib, bool bottomUp) {
  if (width < 0 || height < 0) return nullptr;
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) return nullptr;
  const int64_t stride = RowBytes(width, bpp);
  const int64_t bytes = stride * int64_t(height);
  if (bytes > kMaxSurfaceBytes) return nullptr;
  std::shared_ptr<Surface> s(new Surface());
  s->width_ = width;
  s->height_ = height;
  s->bpp_ = bpp;
  s->stride_ = int(stride);
  s->dib_ = dib;
  s->bottomUp_ = bottomUp;
  // One spare word keeps 24-bit reads of the last pixel inside the block.
  s->owned_.reset(new (std::nothrow) uint8_t[size_t(bytes) + 4]());
  if (!s->owned_) return nullptr;
  s->bits_ = s->owned_.get();
  if (bpp <= 8) {
    const auto& d = DefaultColors(bpp);
    s->colors_.assign(d.begin(), d.begin() + std::min<size_t>(d.size(), size_t{1} << bpp));
  }
  s->SetMasks(0, 0, 0);
  return s;
}

std::shared_ptr<Surface> Surface::Wrap(void* bits, int width, int height, int bpp, bool bottomUp) {
  if (!bits || width < 0 || height < 0) return nullptr;
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) return nullptr;
  const int64_t stride = RowBytes(width, bpp);
  if (stride * int64_t(height) > kMaxSurfaceBytes) return nullptr;
  std::shared_ptr<Surface> s(new Surface());
  s->width_ = width;
  s->height_ = height;
  s->bpp_ = bpp;
  s->stride_ = int(stride);
  s->bottomUp_ = bottomUp;
  s->bits_ = static_cast<uint8_t*>(bits);
  if (bpp <= 8) {
    const auto& d = DefaultColors(bpp);
    s->colors_.assign(d.begin(), d.begin() + std::min<size_t>(d.size(), size_t{1} << bpp));
  }
  s->SetMasks(0, 0, 0);
  return s;
}

void Surface::SetColors(std::vector<RGBQUAD> colors) {
  if (bpp_ > 8) return;
  colors.resize(size_t{1} << bpp_);
  colors_ = std::move(colors);
  nearest_.clear();
}

void Surface::SetColor(int index, RGBQUAD c) {
  if (index < 0 || size_t(index) >= colors_.size()) return;
  colors_[size_t(index)] = c;
  nearest_.clear();
}

void Surface::SetMasks(uint32_t r, uint32_t g, uint32_t b) {
  if (bpp_ == 16) {
    if (!r || !g || !b) r = 0x7C00, g = 0x03E0, b = 0x001F;
  } else if (bpp_ == 32 || bpp_ == 24) {
    if (bpp_ == 24 || !r || !g || !b) r = 0xFF0000, g = 0x00FF00, b = 0x0000FF;
  } else {
    r = g = b = 0;
  }
  rmask_ = r, gmask_ = g, bmask_ = b;
  ComputeShifts();
}

bool Surface::StandardMasks() const {
  return bpp_ == 16 ? (rmask_ == 0x7C00 && gmask_ == 0x03E0 && bmask_ == 0x001F)
                    : (rmask_ == 0xFF0000 && gmask_ == 0x00FF00 && bmask_ == 0x0000FF);
}

void Surface::ComputeShifts() {
  auto sh = [](uint32_t m, int& shift, int& bits) {
    shift = m ? std::countr_zero(m) : 0;
    bits = m ? std::popcount(m) : 0;
  };
  sh(rmask_, rshift_, rbits_);
  sh(gmask_, gshift_, gbits_);
  sh(bmask_, bshift_, bbits_);
}

int Surface::NearestIndex(COLORREF c) const {
  c &= 0xFFFFFF;
  auto it = nearest_.find(c);
  if (it != nearest_.end()) return it->second;
  const int idx = NearestColorIndex(colors_.data(), int(colors_.size()), c);
  if (nearest_.size() > 4096) nearest_.clear();
  nearest_.emplace(c, uint8_t(idx));
  return idx;
}

uint32_t Surface::RawFromColor(COLORREF c) const {
  if (bpp_ <= 8) return uint32_t(NearestIndex(c));
  const uint32_t r = GetRValue(c), g = GetGValue(c), b = GetBValue(c);
  if (bpp_ == 24 || (bpp_ == 32 && StandardMasks())) return (r << 16) | (g << 8) | b;
  return ((Narrow(r, rbits_) << rshift_) & rmask_) | ((Narrow(g, gbits_) << gshift_) & gmask_) |
         ((Narrow(b, bbits_) << bshift_) & bmask_);
}

COLORREF Surface::ColorFromRaw(uint32_t raw) const {
  if (bpp_ <= 8) {
    if (raw >= colors_.size()) return 0;
    return ColorOf(colors_[raw]);
  }
  if (bpp_ == 24 || (bpp_ == 32 && StandardMasks())) return RGB(BYTE(raw >> 16), BYTE(raw >> 8), BYTE(raw));
  return RGB(BYTE(Widen((raw & rmask_) >> rshift_, rbits_)), BYTE(Widen((raw & gmask_) >> gshift_, gbits_)),
             BYTE(Widen((raw & bmask_) >> bshift_, bbits_)));
}

uint32_t Surface::GetRaw(int x, int y) const {
  const uint8_t* row = Row(y);
  switch (bpp_) {
    case 1: return (row[x >> 3] >> (7 - (x & 7))) & 1;
    case 4: return (x & 1) ? (row[x >> 1] & 0x0F) : (row[x >> 1] >> 4);
    case 8: return row[x];
    case 16: {
      uint16_t v;
      std::memcpy(&v, row + 2 * x, 2);
      return v;
    }
    case 24: {
      const uint8_t* p = row + 3 * x;
      return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16);
    }
    default: {
      uint32_t v;
      std::memcpy(&v, row + 4 * x, 4);
      return v;
    }
  }
}

void Surface::SetRaw(int x, int y, uint32_t v) {
  uint8_t* row = Row(y);
  switch (bpp_) {
    case 1: {
      const uint8_t bit = uint8_t(0x80 >> (x & 7));
      if (v & 1)
        row[x >> 3] |= bit;
      else
        row[x >> 3] &= uint8_t(~bit);
      break;
    }
    case 4:
      if (x & 1)
        row[x >> 1] = uint8_t((row[x >> 1] & 0xF0) | (v & 0x0F));
      else
        row[x >> 1] = uint8_t((row[x >> 1] & 0x0F) | ((v & 0x0F) << 4));
      break;
    case 8: row[x] = uint8_t(v); break;
    case 16: {
      const uint16_t w = uint16_t(v);
      std::memcpy(row + 2 * x, &w, 2);
      break;
    }
    case 24: {
      uint8_t* p = row + 3 * x;
      p[0] = uint8_t(v), p[1] = uint8_t(v >> 8), p[2] = uint8_t(v >> 16);
      break;
    }
    default: std::memcpy(row + 4 * x, &v, 4); break;
  }
}

void Surface::ReadRow(int y, int x, int n, uint32_t* out) const {
  const uint8_t* row = Row(y);
  switch (bpp_) {
    case 32: std::memcpy(out, row + 4 * size_t(x), 4 * size_t(n)); return;
    case 24: {
      const uint8_t* p = row + 3 * size_t(x);
      for (int i = 0; i < n; ++i, p += 3) out[i] = uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16);
      return;
    }
    case 16: {
      const uint8_t* p = row + 2 * size_t(x);
      for (int i = 0; i < n; ++i, p += 2) out[i] = uint32_t(p[0]) | (uint32_t(p[1]) << 8);
      return;
    }
    case 8:
      for (int i = 0; i < n; ++i) out[i] = row[x + i];
      return;
    default:
      for (int i = 0; i < n; ++i) out[i] = GetRaw(x + i, y);
      return;
  }
}

void Surface::WriteRow(int y, int x, int n, const uint32_t* in) {
  uint8_t* row = Row(y);
  switch (bpp_) {
    case 32: std::memcpy(row + 4 * size_t(x), in, 4 * size_t(n)); return;
    case 24: {
      uint8_t* p = row + 3 * size_t(x);
      for (int i = 0; i < n; ++i, p += 3) p[0] = uint8_t(in[i]), p[1] = uint8_t(in[i] >> 8), p[2] = uint8_t(in[i] >> 16);
      return;
    }
    case 16: {
      uint8_t* p = row + 2 * size_t(x);
      for (int i = 0; i < n; ++i, p += 2) p[0] = uint8_t(in[i]), p[1] = uint8_t(in[i] >> 8);
      return;
    }
    case 8:
      for (int i = 0; i < n; ++i) row[x + i] = uint8_t(in[i]);
      return;
    default:
      for (int i = 0; i < n; ++i) SetRaw(x + i, y, in[i]);
      return;
  }
}

void Surface::ReadRowMapped(int y, const int* xs, int n, uint32_t* out) const {
  const uint8_t* row = Row(y);
  switch (bpp_) {
    case 32:
      for (int i = 0; i < n; ++i) std::memcpy(&out[i], row + 4 * size_t(xs[i]), 4);
      return;
    case 8:
      for (int i = 0; i < n; ++i) out[i] = row[xs[i]];
      return;
    default:
      for (int i = 0; i < n; ++i) out[i] = GetRaw(xs[i], y);
      return;
  }
}

std::shared_ptr<Surface> Surface::Converted(int bpp, const std::vector<RGBQUAD>* colors, bool dib, uint32_t rmask,
                                            uint32_t gmask, uint32_t bmask) const {
  auto out = Create(width_, height_, bpp, dib, bottomUp_);
  if (!out) return nullptr;
  if (bpp <= 8) {
    if (colors)
      out->SetColors(*colors);
    else if (bpp_ <= 8 && bpp >= bpp_)
      out->SetColors(colors_);  // widening keeps every index
  }
  if (bpp == 16 || bpp == 32) out->SetMasks(rmask, gmask, bmask);
  std::vector<uint32_t> buf(static_cast<size_t>(width_));
  // Indexed to indexed with the same table (widening): indices carry over.
  const bool sameIndices = bpp_ <= 8 && bpp <= 8 && bpp >= bpp_ && !colors;
  std::vector<uint32_t> lut;
  if (bpp_ <= 8 && !sameIndices) {
    lut.resize(colors_.size());
    for (size_t i = 0; i < colors_.size(); ++i) lut[i] = out->RawFromColor(ColorOf(colors_[i]));
  }
  for (int y = 0; y < height_; ++y) {
    ReadRow(y, 0, width_, buf.data());
    if (sameIndices) {
      // nothing to map
    } else if (!lut.empty()) {
      for (auto& v : buf) v = v < lut.size() ? lut[v] : 0;
    } else {
      for (auto& v : buf) v = out->RawFromColor(ColorFromRaw(v));
    }
    out->WriteRow(y, 0, width_, buf.data());
  }
  return out;
}

std::shared_ptr<Surface> Surface::Clone() const {
  auto out = Create(width_, height_, bpp_, dib_, bottomUp_);
  if (!out) return nullptr;
  out->colors_ = colors_;
  out->SetMasks(rmask_, gmask_, bmask_);
  std::memcpy(out->bits_, bits_, ImageBytes());
  return out;
}

// ---- DIB headers ----

bool ParseDibHeader(const BITMAPINFO* bmi, DibLayout& out) {
  if (!bmi) return false;
  const BITMAPINFOHEADER& h = bmi->bmiHeader;
  if (h.biSize == sizeof(BITMAPCOREHEADER)) {
    BITMAPCOREHEADER c;
    std::memcpy(static_cast<void*>(&c), bmi, sizeof c);
    out = DibLayout{};
    out.width = c.bcWidth;
    out.height = c.bcHeight;
    out.bpp = c.bcBitCount;
    out.bottomUp = true;
    if (out.bpp != 1 && out.bpp != 4 && out.bpp != 8 && out.bpp != 24) return false;
    out.colorCount = out.bpp <= 8 ? (1 << out.bpp) : 0;
    out.stride = Surface::RowBytes(out.width, out.bpp);
    return true;
  }
  if (h.biSize < sizeof(BITMAPINFOHEADER)) return false;
  if (h.biWidth < 0 || h.biHeight == INT32_MIN) return false;
  const int bpp = h.biBitCount;
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) return false;
  out = DibLayout{};
  out.width = h.biWidth;
  out.height = h.biHeight < 0 ? -h.biHeight : h.biHeight;
  out.bottomUp = h.biHeight > 0;
  out.bpp = bpp;
  if (h.biCompression == BI_BITFIELDS) {
    if (bpp != 16 && bpp != 32) return false;
    out.bitfields = true;
    // The masks follow a 40-byte header; larger headers carry them inside.
    const DWORD* m = reinterpret_cast<const DWORD*>(reinterpret_cast<const BYTE*>(bmi) + 40);
    std::memcpy(out.masks, m, sizeof out.masks);
    if (!out.masks[0] || !out.masks[1] || !out.masks[2]) return false;
  } else if (h.biCompression != BI_RGB) {
    return false;
  }
  if (bpp <= 8) {
    const uint32_t maxColors = 1u << bpp;
    out.colorCount = (h.biClrUsed == 0 || h.biClrUsed > maxColors) ? int(maxColors) : int(h.biClrUsed);
  }
  out.stride = Surface::RowBytes(out.width, bpp);
  if (out.stride * int64_t(out.height) > kMaxSurfaceBytes) return false;
  return true;
}

std::vector<RGBQUAD> DibColors(const BITMAPINFO* bmi, const DibLayout& layout) {
  std::vector<RGBQUAD> colors;
  if (layout.bpp > 8) return colors;
  if (bmi->bmiHeader.biSize == sizeof(BITMAPCOREHEADER)) {
    const auto* t = reinterpret_cast<const RGBTRIPLE*>(reinterpret_cast<const BYTE*>(bmi) + sizeof(BITMAPCOREHEADER));
    for (int i = 0; i < layout.colorCount; ++i) colors.push_back(RGBQUAD{t[i].rgbtBlue, t[i].rgbtGreen, t[i].rgbtRed, 0});
  } else {
    const auto* t = reinterpret_cast<const RGBQUAD*>(reinterpret_cast<const BYTE*>(bmi) + bmi->bmiHeader.biSize);
    colors.assign(t, t + layout.colorCount);
  }
  colors.resize(size_t{1} << layout.bpp);
  return colors;
}

}  // namespace vx::gdi
