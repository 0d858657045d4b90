// Drawing on a 1920 x 1080 32-bit bitmap: fills, blits (copy, AND, a 2x stretch) and
// text, each as a ratio to the physical floor measured in the same run: memset of the
// buffer for fills and text, memcpy of it for blits.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <vector>

#include "platform/gdi/gdi.h"

namespace {

constexpr int W = 1920, H = 1080;

struct Dib {
  Dib(int w, int h) {
    BITMAPINFO256 bi{};
    bi.bmiHeader = BITMAPINFOHEADER{sizeof(BITMAPINFOHEADER), w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    bm = CreateDIBSection(nullptr, bi.get(), DIB_RGB_COLORS, &bits, nullptr, 0);
    dc = CreateCompatibleDC(nullptr);
    old = SelectObject(dc, bm);
    std::memset(bits, 0x5A, size_t(w) * size_t(h) * 4);
  }
  ~Dib() {
    SelectObject(dc, old);
    DeleteDC(dc);
    DeleteObject(bm);
  }
  HBITMAP bm;
  HDC dc;
  HGDIOBJ old;
  void* bits = nullptr;
};

// The best of several runs, in milliseconds.
double Time(const std::function<void()>& f, int runs = 15) {
  f();
  double best = 1e30;
  for (int i = 0; i < runs; ++i) {
    const auto t0 = std::chrono::steady_clock::now();
    f();
    const auto t1 = std::chrono::steady_clock::now();
    best = std::min(best, std::chrono::duration<double, std::milli>(t1 - t0).count());
  }
  return best;
}

void Report(const char* what, double ms, double floorMs, const char* floorName) {
  std::printf("%-28s %8.3f ms   %6.2fx %s\n", what, ms, ms / floorMs, floorName);
}

}  // namespace

int main() {
  Dib dst(W, H), src(W, H), half(W / 2, H / 2);
  const size_t bytes = size_t(W) * H * 4;
  std::vector<uint8_t> a(bytes, 1), b(bytes, 2);
  volatile uint8_t sink = 0;
  const double memsetMs = Time([&] {
    std::memset(a.data(), int(sink) + 7, bytes);
    sink = a[bytes / 2];
  });
  const double memcpyMs = Time([&] {
    std::memcpy(a.data(), b.data(), bytes);
    sink = a[bytes / 3];
  });
  std::printf("floor: memset %.3f ms, memcpy %.3f ms of %zu bytes\n", memsetMs, memcpyMs, bytes);

  HBRUSH brush = CreateSolidBrush(RGB(10, 20, 30));
  RECT all{0, 0, W, H};
  Report("FillRect (solid)", Time([&] { FillRect(dst.dc, &all, brush); }), memsetMs, "memset");
  HGDIOBJ oldBrush = SelectObject(dst.dc, brush);
  Report("PatBlt PATCOPY", Time([&] { PatBlt(dst.dc, 0, 0, W, H, PATCOPY); }), memsetMs, "memset");
  Report("PatBlt DSTINVERT", Time([&] { PatBlt(dst.dc, 0, 0, W, H, DSTINVERT); }), memsetMs, "memset");
  Report("BitBlt SRCCOPY", Time([&] { BitBlt(dst.dc, 0, 0, W, H, src.dc, 0, 0, SRCCOPY); }), memcpyMs, "memcpy");
  Report("BitBlt SRCAND", Time([&] { BitBlt(dst.dc, 0, 0, W, H, src.dc, 0, 0, SRCAND); }), memcpyMs, "memcpy");
  Report("BitBlt SRCINVERT", Time([&] { BitBlt(dst.dc, 0, 0, W, H, src.dc, 0, 0, SRCINVERT); }), memcpyMs, "memcpy");
  Report("StretchBlt 2x SRCCOPY",
         Time([&] { StretchBlt(dst.dc, 0, 0, W, H, half.dc, 0, 0, W / 2, H / 2, SRCCOPY); }), memcpyMs, "memcpy");

  HFONT font = CreateFont(-12, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, "MS Sans Serif");
  HGDIOBJ oldFont = SelectObject(dst.dc, font);
  SetBkMode(dst.dc, TRANSPARENT);
  const char* line = "The quick brown fox jumps over the lazy dog 0123456789";
  // A screenful of text: 70 lines of about 400 pixels.
  const double textMs = Time([&] {
    for (int y = 0; y < H - 16; y += 15) TextOut(dst.dc, 10, y, line, -1);
  });
  Report("TextOut, 70 lines", textMs, memsetMs, "memset");
  RECT box{0, 0, 600, H};
  const char* para =
      "Lorem ipsum dolor sit amet, consectetur adipiscing elit, sed do eiusmod tempor incididunt ut labore et dolore "
      "magna aliqua. Ut enim ad minim veniam, quis nostrud exercitation ullamco laboris nisi ut aliquip ex ea commodo.";
  Report("DrawText word-wrapped", Time([&] { DrawText(dst.dc, para, -1, &box, DT_WORDBREAK); }), memsetMs, "memset");

  SelectObject(dst.dc, oldFont);
  SelectObject(dst.dc, oldBrush);
  DeleteObject(font);
  DeleteObject(brush);
  return 0;
}
