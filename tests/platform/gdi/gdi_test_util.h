// Helpers of the drawing tests: a memory DC over a DIB section, and pixel pictures
// written as text, one character a pixel, through a legend of colours.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/gdi/gdi.h"

namespace gditest {

// A memory DC with a top-down DIB section selected, filled with one colour.
class DibDC {
 public:
  DibDC(int w, int h, int bpp = 32, COLORREF fill = RGB(128, 128, 128), const std::vector<RGBQUAD>& colors = {})
      : w_(w), h_(h) {
    BITMAPINFO256 bi{};
    bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = WORD(bpp);
    bi.bmiHeader.biClrUsed = DWORD(colors.size());
    for (size_t i = 0; i < colors.size(); ++i) bi.bmiColors[i] = colors[i];
    bm_ = CreateDIBSection(nullptr, bi.get(), DIB_RGB_COLORS, &bits_, nullptr, 0);
    dc_ = CreateCompatibleDC(nullptr);
    old_ = SelectObject(dc_, bm_);
    Fill(fill);
  }
  ~DibDC() {
    SelectObject(dc_, old_);
    DeleteDC(dc_);
    DeleteObject(bm_);
  }
  DibDC(const DibDC&) = delete;
  DibDC& operator=(const DibDC&) = delete;

  HDC dc() const { return dc_; }
  HBITMAP bitmap() const { return bm_; }
  void* bits() const { return bits_; }
  void Fill(COLORREF c) {
    HBRUSH b = CreateSolidBrush(c);
    RECT r{0, 0, w_, h_};
    FillRect(dc_, &r, b);
    DeleteObject(b);
  }

 private:
  int w_, h_;
  HBITMAP bm_ = nullptr;
  HDC dc_ = nullptr;
  HGDIOBJ old_ = nullptr;
  void* bits_ = nullptr;
};

// The pixels of a DC's area as rows of legend characters ('?' for other colours).
inline std::string Picture(HDC dc, int w, int h, const std::map<COLORREF, char>& legend, int x0 = 0, int y0 = 0) {
  std::string out;
  for (int y = y0; y < y0 + h; ++y) {
    for (int x = x0; x < x0 + w; ++x) {
      auto it = legend.find(GetPixel(dc, x, y));
      out += it == legend.end() ? '?' : it->second;
    }
    out += '\n';
  }
  return out;
}

// Joins rows of a picture written in a test.
inline std::string Rows(std::initializer_list<const char*> rows) {
  std::string out;
  for (const char* r : rows) out += std::string(r) + '\n';
  return out;
}

}  // namespace gditest
