// The colour arithmetic against Python's colorsys over a large sample of colours.
// Python writes the expected bytes; a value may differ by one only where Python's
// unrounded value lies within a hair of a rounding tie.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/gdi/dc.h"
#include "tests/support/TempFolder.h"
#include "widgets/RzCommon.h"

namespace {

// Runs a Python program and answers what it printed.
std::string RunPython(const std::string& Program) {
  TempFolder dir;
  const std::string script = dir.Path() + "/colours.py";
  std::ofstream(script) << Program;
  std::string out;
  FILE* p = popen(("python3 " + script).c_str(), "r");
  if (!p) return out;
  char buf[65536];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  pclose(p);
  return out;
}

const char* const kCommon = R"(
import atexit, colorsys, random, sys
_out = []
def emit(*values):
    _out.append(' '.join(map(str, values)))
atexit.register(lambda: sys.stdout.write('\n'.join(_out) + '\n'))
def near_tie(x):
    return abs((x - int(x)) - 0.5) < 1e-7
def byte(x):
    return max(0, min(255, round(x)))
random.seed(7)
)";

TEST(Colours, HueLuminanceAndSaturationAgreeWithColorsys) {
  const std::string out = RunPython(std::string(kCommon) + R"(
samples = [(v, v, v) for v in range(256)]
samples += [(255, 0, 0), (0, 255, 0), (0, 0, 255), (255, 255, 0), (0, 255, 255), (255, 0, 255)]
samples += [tuple(random.randrange(256) for _ in range(3)) for _ in range(30000)]
for r, g, b in samples:
    h, l, s = colorsys.rgb_to_hls(r / 255, g / 255, b / 255)
    vals = [h * 240, l * 240, s * 240]
    emit(r, g, b, *[byte(v) for v in vals], *[int(near_tie(v)) for v in vals])
)");
  std::istringstream in(out);
  int r, g, b, H, L, S, tH, tL, tS, count = 0, ties = 0;
  while (in >> r >> g >> b >> H >> L >> S >> tH >> tL >> tS) {
    uint8_t h, l, s;
    ColorToHueLumSat(TColor(r | g << 8 | b << 16), h, l, s);
    const auto ok = [](int got, int want, int tie) { return got == want || (tie && std::abs(got - want) == 1); };
    ASSERT_TRUE(ok(h, H, tH) && ok(l, L, tL) && ok(s, S, tS))
        << r << "," << g << "," << b << ": " << int(h) << "/" << int(l) << "/" << int(s) << " want " << H << "/"
        << L << "/" << S;
    ties += (h != H) + (l != L) + (s != S);
    ++count;
  }
  EXPECT_GT(count, 30000);
  EXPECT_LT(ties, count / 1000) << "ties should be rare";
  EXPECT_EQ(HueOfColor(clRed), 0);
}

TEST(Colours, HueLuminanceAndSaturationBackToRgbAgreeWithColorsys) {
  // Hue over 239 (so 239 and 240 come round to red again), the others over 240;
  // luminance up to 255 is clamped to white.
  const std::string out = RunPython(std::string(kCommon) + R"(
for H in range(0, 241):
    for S in list(range(0, 241, 24)) + [1, 239]:
        for L in list(range(0, 256, 17)) + [1, 119, 120, 121, 239, 240, 241]:
            rgb = colorsys.hls_to_rgb(H / 239, L / 240, S / 240)
            vals = [min(c, 1.0) * 255 for c in rgb]
            emit(H, S, L, *[byte(v) for v in vals], *[int(near_tie(v)) for v in vals])
)");
  std::istringstream in(out);
  int H, S, L, r, g, b, tr, tg, tb, count = 0;
  while (in >> H >> S >> L >> r >> g >> b >> tr >> tg >> tb) {
    const int32_t c = HueLumSatToColor(uint8_t(H), uint8_t(S), uint8_t(L));
    const int cr = c & 0xFF, cg = (c >> 8) & 0xFF, cb = (c >> 16) & 0xFF;
    const auto ok = [](int got, int want, int tie) { return got == want || (tie && std::abs(got - want) == 1); };
    ASSERT_TRUE(ok(cr, r, tr) && ok(cg, g, tg) && ok(cb, b, tb))
        << H << "," << S << "," << L << ": " << cr << "/" << cg << "/" << cb << " want " << r << "/" << g << "/" << b;
    ++count;
  }
  EXPECT_GT(count, 50000);
  EXPECT_EQ(HueLumSatToColor(0, 240, 120), clRed);
}

TEST(Colours, DimBrightenMixAndOppositeHueAgreeWithTheirDefinitions) {
  // Python does the whole chain: to HLS bytes, the change, and back, for colours
  // whose conversion has no rounding tie.
  const std::string out = RunPython(std::string(kCommon) + R"(
def to_hls(r, g, b):
    h, l, s = colorsys.rgb_to_hls(r / 255, g / 255, b / 255)
    return byte(h * 240), byte(l * 240), byte(s * 240)
def tied(r, g, b):
    return any(near_tie(v * 240) for v in colorsys.rgb_to_hls(r / 255, g / 255, b / 255))
def from_hls(H, S, L):
    return [byte(min(c, 1.0) * 255) for c in colorsys.hls_to_rgb(H / 239, L / 240, S / 240)]
printed = 0
while printed < 20000:
    r, g, b = (random.randrange(256) for _ in range(3))
    if tied(r, g, b):
        continue  # a tie may round either way and move the colour further on
    printed += 1
    a = random.randrange(256)
    w = random.randrange(256)
    r2, g2, b2 = (random.randrange(256) for _ in range(3))
    H, L, S = to_hls(r, g, b)
    dim = from_hls(H, S, max(0, L - a))
    bright = from_hls(H, S, min(255, L + a))
    mix = [byte(x * w / 255 + y * (1 - w / 255)) for x, y in ((r, r2), (g, g2), (b, b2))]
    opp = from_hls(H + 120 if H < 120 else H - 120, 240, a)
    emit(r, g, b, a, w, r2, g2, b2, *dim, *bright, *mix, *opp)
)");
  std::istringstream in(out);
  int v[20], count = 0, off = 0;
  auto rgb = [&](int i) { return TColor(v[i] | v[i + 1] << 8 | v[i + 2] << 16); };
  auto near = [&](TColor got, TColor want) {
    for (int s = 0; s < 24; s += 8)
      if (std::abs(((got >> s) & 0xFF) - ((want >> s) & 0xFF)) > 1) return false;
    off += got != want;
    return true;
  };
  while (true) {
    for (int& x : v) in >> x;
    if (!in) break;
    const TColor c = rgb(0), c2 = rgb(5);
    ASSERT_TRUE(near(DimColor(c, uint8_t(v[3])), rgb(8))) << count;
    ASSERT_TRUE(near(BrightenColor(c, uint8_t(v[3])), rgb(11))) << count;
    ASSERT_TRUE(near(MixColors(c, c2, uint8_t(v[4])), rgb(14))) << count;
    ASSERT_TRUE(near(OppositeHueColor(c, uint8_t(v[3])), rgb(17))) << count;
    ++count;
  }
  EXPECT_EQ(count, 20000);
  EXPECT_LT(off, count / 100) << "only rounding ties may differ";

  // The fixed points the arithmetic must keep.
  EXPECT_EQ(BrightenColor(clWhite, 40), clWhite);
  EXPECT_EQ(DimColor(TColor(0x3366CC), 255), clBlack);
  EXPECT_EQ(MixColors(clWhite, clBlack, 128), TColor(0x808080));
  EXPECT_EQ(MixColors(clBlack, clWhite, 128), TColor(0x7F7F7F));
  EXPECT_EQ(MixColors(clRed, clBlue, 255), clRed);
  EXPECT_EQ(MixColors(clRed, clBlue, 0), clBlue);
  EXPECT_EQ(ShiftColor(TColor(0x3366CC), 0), TColor(0x3366CC));
  EXPECT_EQ(ShiftColor(TColor(0x3366CC), -30), DimColor(TColor(0x3366CC), 30));
  EXPECT_EQ(ShiftColor(TColor(0x3366CC), 30), BrightenColor(TColor(0x3366CC), 30));
  // System colours are turned into their RGB values first.
  EXPECT_EQ(MixColors(clBtnFace, clBtnFace, 77), ColorToRGB(clBtnFace));
}

TEST(Colours, TheScreenReportsFullColourUnlessItHasAPalette) {
  EXPECT_TRUE(DeviceHasFullColor());
  vx::gdi::SetScreenFormat(8, 1024, 768);
  EXPECT_FALSE(DeviceHasFullColor());
  vx::gdi::SetScreenFormat(32, 1024, 768);
  EXPECT_TRUE(DeviceHasFullColor());
}

}  // namespace
