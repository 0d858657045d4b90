// Pixel surfaces: the memory behind every bitmap, DIB section, window back buffer
// and the virtual screen. A surface stores rows of 1, 4, 8, 16, 24 or 32 bits per
// pixel, each row padded to 32 bits, top-down or bottom-up. Indexed formats carry
// their colour table; 16- and 32-bit formats their channel masks.
//
// Drawing works on "raw" pixel values: the index for indexed formats, the packed
// word for 16 bits and 0x00RRGGBB (bytes B, G, R in memory) for 24 and 32 bits.
// Raster operations combine raw values bit by bit, as the device does.
#pragma once

#include <cstdint>
#include <memory>
#include <tuple>
#include <unordered_map>
#include <vector>

#include "platform/gdi/gdi.h"

namespace vx::gdi {

// Largest surface accepted, in bytes of pixel memory; larger requests fail.
constexpr int64_t kMaxSurfaceBytes = int64_t{1} << 30;

class Surface {
 public:
  // A zero-filled surface, or null when the format is invalid or the memory cannot
  // be had. A one-bit surface that is not a DIB is a monochrome bitmap, which blits
  // convert with the text and background colours; every other indexed surface
  // converts through its colour table.
  static std::shared_ptr<Surface> Create(int width, int height, int bpp, bool dib = true, bool bottomUp = false);
  // A surface over memory owned by someone else (a caller's DIB bits).
  static std::shared_ptr<Surface> Wrap(void* bits, int width, int height, int bpp, bool bottomUp);
  // The stride of a row of width pixels, padded to 32 bits.
  static int64_t RowBytes(int64_t width, int bpp) { return ((width * bpp + 31) / 32) * 4; }

  Surface(const Surface&) = delete;
  Surface& operator=(const Surface&) = delete;
  ~Surface();

  int Width() const { return width_; }
  int Height() const { return height_; }
  int Bpp() const { return bpp_; }
  int Stride() const { return stride_; }
  bool BottomUp() const { return bottomUp_; }
  bool IsDIB() const { return dib_; }
  void SetDIB(bool v) { dib_ = v; }
  bool IsMonochrome() const { return bpp_ == 1 && !dib_; }
  bool Indexed() const { return bpp_ <= 8; }
  uint8_t* Bits() { return bits_; }
  const uint8_t* Bits() const { return bits_; }
  size_t ImageBytes() const { return size_t(stride_) * size_t(height_); }

  // Row y counted from the top.
  uint8_t* Row(int y) { return bits_ + size_t(bottomUp_ ? height_ - 1 - y : y) * size_t(stride_); }
  const uint8_t* Row(int y) const {
    return bits_ + size_t(bottomUp_ ? height_ - 1 - y : y) * size_t(stride_);
  }

  // Colour table (indexed formats). Setting it keeps the pixels' indices.
  const std::vector<RGBQUAD>& Colors() const { return colors_; }
  void SetColors(std::vector<RGBQUAD> colors);
  void SetColor(int index, RGBQUAD c);
  // Channel masks of 16- and 32-bit formats (defaults 5-5-5 and 8-8-8).
  void SetMasks(uint32_t r, uint32_t g, uint32_t b);
  uint32_t RedMask() const { return rmask_; }
  uint32_t GreenMask() const { return gmask_; }
  uint32_t BlueMask() const { return bmask_; }
  bool StandardMasks() const;

  // Bits that a raw value of this format may carry.
  uint32_t RawMask() const { return bpp_ >= 32 ? 0xFFFFFFFFu : (uint32_t{1} << bpp_) - 1; }
  // Bits that carry colour (32 bits: without the unused top byte).
  uint32_t ColorBits() const { return bpp_ == 32 ? (rmask_ | gmask_ | bmask_) : RawMask(); }
  // Colour to raw value: the nearest table entry for indexed formats.
  uint32_t RawFromColor(COLORREF c) const;
  COLORREF ColorFromRaw(uint32_t raw) const;
  int NearestIndex(COLORREF c) const;

  uint32_t GetRaw(int x, int y) const;
  void SetRaw(int x, int y, uint32_t v);
  // Reads or writes n raw values of row y from column x; the columns must lie inside.
  void ReadRow(int y, int x, int n, uint32_t* out) const;
  void WriteRow(int y, int x, int n, const uint32_t* in);
  // Reads raw values at the given columns of row y (stretching).
  void ReadRowMapped(int y, const int* xs, int n, uint32_t* out) const;

  // A copy of this surface in another format (indexed targets get the table given,
  // or a default one, and the nearest entries); null when memory fails.
  // 16- and 32-bit targets take the masks given (zero: the default masks).
  std::shared_ptr<Surface> Converted(int bpp, const std::vector<RGBQUAD>* colors = nullptr, bool dib = true,
                                     uint32_t rmask = 0, uint32_t gmask = 0, uint32_t bmask = 0) const;
  std::shared_ptr<Surface> Clone() const;

 private:
  Surface() = default;
  void ComputeShifts();

  int width_ = 0;
  int height_ = 0;
  int bpp_ = 32;
  int stride_ = 0;
  bool bottomUp_ = false;
  bool dib_ = true;
  uint8_t* bits_ = nullptr;
  std::unique_ptr<uint8_t[]> owned_;
  std::vector<RGBQUAD> colors_;
  uint32_t rmask_ = 0, gmask_ = 0, bmask_ = 0;
  int rshift_ = 0, gshift_ = 0, bshift_ = 0;  // position of each channel's lowest bit
  int rbits_ = 0, gbits_ = 0, bbits_ = 0;     // width of each channel
  mutable std::unordered_map<COLORREF, uint8_t> nearest_;
};

// Default colour tables: black and white; the 16 colours of the standard VGA set;
// the 256 colours of the halftone palette (the 20 static colours, a 6x6x6 cube and
// greys).
const std::vector<RGBQUAD>& MonoColors();
const std::vector<RGBQUAD>& Vga16Colors();
const std::vector<RGBQUAD>& HalftoneColors();
const std::vector<RGBQUAD>& DefaultColors(int bpp);

inline COLORREF ColorOf(RGBQUAD q) { return RGB(q.rgbRed, q.rgbGreen, q.rgbBlue); }
inline RGBQUAD QuadOf(COLORREF c) { return RGBQUAD{GetBValue(c), GetGValue(c), GetRValue(c), 0}; }
// The entry nearest to c by squared RGB distance, the lowest index on a tie; rgb
// gives an entry's red, green and blue.
template <class Entry, class Rgb>
int NearestEntry(const Entry* table, int count, COLORREF c, Rgb rgb) {
  const int r = GetRValue(c), g = GetGValue(c), b = GetBValue(c);
  int best = 0, bestDist = 1 << 30;
  for (int i = 0; i < count; ++i) {
    const auto [er, eg, eb] = rgb(table[i]);
    const int dr = er - r, dg = eg - g, db = eb - b;
    const int d = dr * dr + dg * dg + db * db;
    if (d < bestDist) {
      bestDist = d;
      best = i;
      if (d == 0) break;
    }
  }
  return best;
}
inline int NearestColorIndex(const RGBQUAD* table, int count, COLORREF c) {
  return NearestEntry(table, count, c, [](const RGBQUAD& q) { return std::tuple<int, int, int>(q.rgbRed, q.rgbGreen, q.rgbBlue); });
}

// Parses a BITMAPINFO into a surface layout. Returns false for what no surface can
// hold (bad sizes, compression other than BI_RGB/BI_BITFIELDS, bit counts other
// than 1, 4, 8, 16, 24, 32).
struct DibLayout {
  int width = 0;
  int height = 0;  // positive
  bool bottomUp = true;
  int bpp = 0;
  int colorCount = 0;  // table entries following the header
  uint32_t masks[3] = {0, 0, 0};
  bool bitfields = false;
  int64_t stride = 0;
};
bool ParseDibHeader(const BITMAPINFO* bmi, DibLayout& out);
// Reads the colour table of a BITMAPINFO (DIB_RGB_COLORS), padded to 2^bpp entries.
std::vector<RGBQUAD> DibColors(const BITMAPINFO* bmi, const DibLayout& layout);

}  // namespace vx::gdi
