// Colour arithmetic, frames and the progress-bar painters of the widget set.
#include "widgets/RzCommon.h"

#include <algorithm>
#include <cmath>

#include "platform/rtl/sysutils.h"
#include "platform/vcl/themes.h"
#include "widgets/RzGrafx.h"

namespace {

constexpr const char* kSideNames[] = {"sdLeft", "sdTop", "sdRight", "sdBottom"};
constexpr const char* kFrameStyleNames[] = {"fsNone",     "fsFlat",   "fsGroove", "fsBump",
                                            "fsLowered",  "fsButtonDown", "fsRaised", "fsButtonUp",
                                            "fsStatus",   "fsPopup",  "fsFlatBold", "fsFlatRounded"};

// Round half to even, as the framework's Round.
double RoundEven(double X) { return std::nearbyint(X); }

uint8_t ClampByte(double X) { return uint8_t(std::clamp(RoundEven(X), 0.0, 255.0)); }

struct TRgb {
  int r, g, b;
};

TRgb Channels(TColor Color) {
  const int32_t c = ColorToRGB(Color);
  return {c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF};
}

TColor FromChannels(int R, int G, int B) { return TColor(R | (G << 8) | (B << 16)); }

}  // namespace

// ---- Set and enumeration texts ----

std::string SidesToString(TSides Sides) {
  std::string s = "[";
  for (int i = 0; i < 4; ++i) {
    if (!Sides.Contains(TSide(i))) continue;
    if (s.size() > 1) s += ",";
    s += kSideNames[i];
  }
  return s + "]";
}

TSides StringToSides(const std::string& Text) {
  std::string t = Trim(Text);
  if (t.size() < 2 || t.front() != '[' || t.back() != ']') throw EConvertError("Invalid set text: " + Text);
  t = t.substr(1, t.size() - 2);
  TSides sides;
  size_t start = 0;
  while (start <= t.size()) {
    size_t comma = t.find(',', start);
    if (comma == std::string::npos) comma = t.size();
    const std::string name = Trim(t.substr(start, comma - start));
    if (!name.empty()) {
      int found = -1;
      for (int i = 0; i < 4; ++i)
        if (SameText(name, kSideNames[i])) found = i;
      if (found < 0) throw EConvertError("Invalid set element: " + name);
      sides.Include(TSide(found));
    }
    start = comma + 1;
  }
  return sides;
}

std::string FrameStyleToString(TFrameStyleEx Style) { return kFrameStyleNames[Style]; }

TFrameStyleEx StringToFrameStyle(const std::string& Text) {
  for (int i = 0; i <= fsFlatRounded; ++i)
    if (SameText(Trim(Text), kFrameStyleNames[i])) return TFrameStyleEx(i);
  throw EConvertError("Invalid frame style: " + Text);
}

// ---- Colours ----

void ColorToHueLumSat(TColor Color, uint8_t& H, uint8_t& L, uint8_t& S) {
  const TRgb c = Channels(Color);
  const double r = c.r / 255.0, g = c.g / 255.0, b = c.b / 255.0;
  const double mx = std::max({r, g, b}), mn = std::min({r, g, b});
  const double l = (mx + mn) / 2;
  double h = 0, s = 0;
  if (mx != mn) {
    const double d = mx - mn;
    s = l < 0.5 ? d / (mx + mn) : d / (2 - mx - mn);
    if (r == mx)
      h = (g - b) / d;
    else if (g == mx)
      h = 2 + (b - r) / d;
    else
      h = 4 + (r - g) / d;
    h /= 6;
    if (h < 0) h += 1;
  }
  H = ClampByte(h * 240);
  S = ClampByte(s * 240);
  L = ClampByte(l * 240);
}

uint8_t HueOfColor(TColor Color) {
  uint8_t h, l, s;
  ColorToHueLumSat(Color, h, l, s);
  return h;
}

TColor HueLumSatToColor(uint8_t H, uint8_t S, uint8_t L) {
  const double h6 = H / 239.0 * 6, s = S / 240.0, l = L / 240.0;
  const double v = l < 0.5 ? l * (1 + s) : l + s - l * s;
  if (v <= 0) return clBlack;
  const double m = 2 * l - v;
  const double sv = (v - m) / v;
  const int sextant = int(h6);
  const double f = h6 - sextant;
  const double vsf = v * sv * f;
  const double mid1 = m + vsf, mid2 = v - vsf;
  double r, g, b;
  switch (sextant) {
    case 1: r = mid2, g = v, b = m; break;
    case 2: r = m, g = v, b = mid1; break;
    case 3: r = m, g = mid2, b = v; break;
    case 4: r = mid1, g = m, b = v; break;
    case 5: r = v, g = m, b = mid2; break;
    default: r = v, g = mid1, b = m; break;
  }
  auto byte = [](double x) { return int(ClampByte(std::min(x, 1.0) * 255)); };
  return FromChannels(byte(r), byte(g), byte(b));
}

TColor DimColor(TColor Color, uint8_t Amount) {
  uint8_t h, l, s;
  ColorToHueLumSat(Color, h, l, s);
  return HueLumSatToColor(h, s, uint8_t(std::max(0, l - Amount)));
}

TColor BrightenColor(TColor Color, uint8_t Amount) {
  uint8_t h, l, s;
  ColorToHueLumSat(Color, h, l, s);
  return HueLumSatToColor(h, s, uint8_t(std::min(255, l + Amount)));
}

TColor ShiftColor(TColor Color, int Amount) {
  if (Amount < 0) return DimColor(Color, uint8_t(std::min(255, -Amount)));
  if (Amount > 0) return BrightenColor(Color, uint8_t(std::min(255, Amount)));
  return Color;
}

TColor MixColors(TColor First, TColor Second, uint8_t Weight) {
  const TRgb a = Channels(First), b = Channels(Second);
  const double w = Weight / 255.0;
  auto mix = [w](int x, int y) { return int(ClampByte(x * w + y * (1 - w))); };
  return FromChannels(mix(a.r, b.r), mix(a.g, b.g), mix(a.b, b.b));
}

TColor OppositeHueColor(TColor Color, uint8_t L) {
  const uint8_t h = HueOfColor(Color);
  return HueLumSatToColor(uint8_t(h < 120 ? h + 120 : h - 120), 240, L);
}

bool DeviceHasFullColor() {
  HDC dc = GetDC(nullptr);
  if (!dc) return true;
  const int colors = GetDeviceCaps(dc, NUMCOLORS);
  ReleaseDC(nullptr, dc);
  return colors == -1;
}

// ---- Frames ----

namespace {

struct TFramePair {
  TColor ul, lr;
};

// Upper-left and lower-right colours of the one-pair styles.
TFramePair StylePair(TFrameStyleEx Style) {
  switch (Style) {
    case fsFlat: return {cl3DDkShadow, cl3DDkShadow};
    case fsGroove: return {clBtnShadow, clBtnHighlight};
    case fsBump: return {clBtnHighlight, clBtnShadow};
    case fsStatus: return {clBtnShadow, clBtnHighlight};
    case fsPopup: return {clBtnHighlight, clBtnShadow};
    case fsFlatBold: return {clBtnShadow, clBtnShadow};
    default: return {clWindow, clWindow};
  }
}

// Outer and inner rings of the two-ring bevels.
bool TwoRings(TFrameStyleEx Style, TFramePair& Outer, TFramePair& Inner) {
  switch (Style) {
    case fsLowered: Outer = {clBtnShadow, clBtnHighlight}, Inner = {cl3DDkShadow, cl3DLight}; return true;
    case fsRaised: Outer = {cl3DLight, cl3DDkShadow}, Inner = {clBtnHighlight, clBtnShadow}; return true;
    case fsButtonDown: Outer = {clBtnText, clBtnText}, Inner = {clBtnShadow, clBtnShadow}; return true;
    case fsButtonUp: Outer = {clBtnHighlight, cl3DDkShadow}, Inner = {cl3DLight, clBtnShadow}; return true;
    default: return false;
  }
}

void Line(TCanvas* Canvas, int X1, int Y1, int X2, int Y2) {
  Canvas->MoveTo(X1, Y1);
  Canvas->LineTo(X2, Y2);
}

// A one-pixel ring on all four sides.
void Ring(TCanvas* Canvas, const TRect& R, TColor Color) { PaintSides(Canvas, R, Color, Color, sdAllSides); }

TRect Inflated(TRect R, int D) {
  InflateRect(&R, D, D);
  return R;
}

}  // namespace

TRect PaintSides(TCanvas* Canvas, const TRect& Bounds, TColor ULColor, TColor LRColor, TSides Sides) {
  const TRect b = Bounds;
  if (ULColor != clNone) {
    Canvas->Pen()->SetColor(ULColor);
    if (Sides.Contains(sdLeft)) Line(Canvas, b.left, b.top, b.left, b.bottom);
    if (Sides.Contains(sdTop)) Line(Canvas, b.left, b.top, b.right, b.top);
  }
  if (LRColor != clNone) {
    Canvas->Pen()->SetColor(LRColor);
    if (Sides.Contains(sdRight)) Line(Canvas, b.right - 1, b.top, b.right - 1, b.bottom);
    if (Sides.Contains(sdBottom)) Line(Canvas, b.left, b.bottom - 1, b.right, b.bottom - 1);
  }
  TRect r = b;
  if (Sides.Contains(sdLeft)) ++r.left;
  if (Sides.Contains(sdTop)) ++r.top;
  if (Sides.Contains(sdRight)) --r.right;
  if (Sides.Contains(sdBottom)) --r.bottom;
  return r;
}

TRect PaintBevel(TCanvas* Canvas, const TRect& Bounds, TColor ULColor, TColor LRColor, int Width, TSides Sides) {
  Canvas->Pen()->SetWidth(1);
  TRect r = Bounds;
  for (int i = 0; i < Width; ++i) r = PaintSides(Canvas, r, ULColor, LRColor, Sides);
  return r;
}

TRect PaintFrameStyle(TCanvas* Canvas, const TRect& Bounds, TFrameStyleEx Style, TSides Sides) {
  const TFramePair pair = StylePair(Style);
  TFramePair outer, inner;
  switch (Style) {
    case fsNone:
    case fsFlatRounded: return Bounds;
    case fsFlat:
    case fsStatus:
    case fsPopup: return PaintSides(Canvas, Bounds, pair.ul, pair.lr, Sides);
    case fsFlatBold: return PaintBevel(Canvas, Bounds, pair.ul, pair.lr, 2, Sides);
    case fsGroove:
    case fsBump: {
      const TRect b = Bounds;
      const bool l = Sides.Contains(sdLeft), t = Sides.Contains(sdTop), r = Sides.Contains(sdRight),
                 bt = Sides.Contains(sdBottom);
      if (r) Canvas->SetPixels(b.right - 1, b.top, pair.lr);
      if (t && !r) Canvas->SetPixels(b.right - 1, b.top, pair.ul);
      if (bt) Canvas->SetPixels(b.left, b.bottom - 1, pair.lr);
      if (l && !bt) Canvas->SetPixels(b.left, b.bottom - 1, pair.ul);
      if (t && !l) Canvas->SetPixels(b.left, b.top + 1, pair.lr);
      if (l && !t) Canvas->SetPixels(b.left + 1, b.top, pair.lr);
      if (bt && !r) Canvas->SetPixels(b.right - 1, b.bottom - 2, pair.ul);
      if (r && !bt) Canvas->SetPixels(b.right - 2, b.bottom - 1, pair.ul);
      const TRect lower{b.left + 1, b.top + 1, b.right, b.bottom};
      PaintSides(Canvas, lower, pair.lr, pair.lr, Sides);
      PaintSides(Canvas, TRect{lower.left - 1, lower.top - 1, lower.right - 1, lower.bottom - 1}, pair.ul, pair.ul,
                 Sides);
      TRect res = b;
      if (l) res.left += 2;
      if (t) res.top += 2;
      if (r) res.right -= 2;
      if (bt) res.bottom -= 2;
      return res;
    }
    default:
      if (TwoRings(Style, outer, inner)) {
        Canvas->Pen()->SetWidth(1);
        const TRect r = PaintSides(Canvas, Bounds, outer.ul, outer.lr, Sides);
        return PaintSides(Canvas, r, inner.ul, inner.lr, Sides);
      }
      return Bounds;
  }
}

TRect PaintRoundedFlatFrame(TCanvas* Canvas, const TRect& Bounds, TColor Color, TSides Sides) {
  const TRect b = Bounds;
  const bool l = Sides.Contains(sdLeft), t = Sides.Contains(sdTop), r = Sides.Contains(sdRight),
             bt = Sides.Contains(sdBottom);
  const int y0 = t ? b.top + 2 : b.top, y1 = bt ? b.bottom - 2 : b.bottom;
  const int x0 = l ? b.left + 2 : b.left, x1 = r ? b.right - 2 : b.right;
  Canvas->Pen()->SetColor(Color);
  if (l) Line(Canvas, b.left, y0, b.left, y1);
  if (r) Line(Canvas, b.right - 1, y0, b.right - 1, y1);
  if (t) Line(Canvas, x0, b.top, x1, b.top);
  if (bt) Line(Canvas, x0, b.bottom - 1, x1, b.bottom - 1);
  if (l && t) Canvas->SetPixels(b.left + 1, b.top + 1, Color);
  if (t && r) Canvas->SetPixels(b.right - 2, b.top + 1, Color);
  if (r && bt) Canvas->SetPixels(b.right - 2, b.bottom - 2, Color);
  if (l && bt) Canvas->SetPixels(b.left + 1, b.bottom - 2, Color);
  return TRect{x0, y0, x1, y1};
}

TRect PaintBorders(TCanvas* Canvas, const TRect& Bounds, TFrameStyleEx OuterStyle, TFrameStyleEx InnerStyle,
                   int BorderWidth, TSides Sides, int BevelWidth, TColor BorderColor, TColor HighlightColor,
                   TColor ShadowColor, TColor FlatColor, int FlatColorAdjustment, TColor Color, TColor ParentColor,
                   bool Transparent, bool SoftInnerFlat) {
  const TColor fc = ShiftColor(FlatColor, FlatColorAdjustment);
  const bool bordered = BorderWidth > 0 || InnerStyle != fsNone;
  TRect r = Bounds;

  switch (OuterStyle) {
    case fsFlat: r = PaintBevel(Canvas, r, fc, fc, 1, Sides); break;
    case fsFlatBold: r = PaintBevel(Canvas, r, fc, fc, 2, Sides); break;
    case fsFlatRounded:
      if (!Transparent) {
        Ring(Canvas, r, ParentColor);
        Ring(Canvas, Inflated(r, -1), bordered ? BorderColor : Color);
      } else if (bordered) {
        Ring(Canvas, Inflated(r, -1), BorderColor);
      }
      r = PaintRoundedFlatFrame(Canvas, r, fc, Sides);
      break;
    case fsPopup: r = PaintBevel(Canvas, r, HighlightColor, ShadowColor, BevelWidth, Sides); break;
    case fsStatus: r = PaintBevel(Canvas, r, ShadowColor, HighlightColor, BevelWidth, Sides); break;
    default: r = PaintFrameStyle(Canvas, r, OuterStyle, Sides); break;
  }

  if (BorderWidth > 0) r = PaintBevel(Canvas, r, BorderColor, BorderColor, BorderWidth, Sides);

  switch (InnerStyle) {
    case fsFlat:
      if (SoftInnerFlat) {
        Canvas->Pen()->SetColor(fc);
        Line(Canvas, r.left, r.top + 1, r.left, r.bottom - 1);
        Line(Canvas, r.left + 1, r.top, r.right - 1, r.top);
        Line(Canvas, r.right - 1, r.top + 1, r.right - 1, r.bottom - 1);
        Line(Canvas, r.left + 1, r.bottom - 1, r.right - 1, r.bottom - 1);
        r = Inflated(r, -1);
      } else {
        r = PaintBevel(Canvas, r, fc, fc, 1, Sides);
      }
      break;
    case fsFlatBold: r = PaintBevel(Canvas, r, fc, fc, 2, Sides); break;
    case fsFlatRounded: {
      const TRect before = r;
      Ring(Canvas, r, BorderColor);
      if (!Transparent) Ring(Canvas, Inflated(r, -1), Color);
      r = PaintRoundedFlatFrame(Canvas, before, fc, Sides);
      break;
    }
    case fsStatus: r = PaintBevel(Canvas, r, ShadowColor, HighlightColor, BevelWidth, Sides); break;
    case fsPopup: r = PaintBevel(Canvas, r, HighlightColor, ShadowColor, BevelWidth, Sides); break;
    default: r = PaintFrameStyle(Canvas, r, InnerStyle, Sides); break;
  }
  return r;
}

TRect PaintFocusDots(TCanvas* Canvas, const TRect& Bounds) {
  const TRect b = Bounds;
  for (int y = b.top + 1; y < b.bottom; y += 2) {
    Canvas->SetPixels(b.left, y, clBlack);
    Canvas->SetPixels(b.right - 1, y, clBlack);
  }
  for (int x = b.left + 1; x < b.right; x += 2) {
    Canvas->SetPixels(x, b.top, clBlack);
    Canvas->SetPixels(x, b.bottom - 1, clBlack);
  }
  return Inflated(b, -1);
}

// ---- Progress bars ----

void PaintTextBar(TCanvas* Canvas, const TRect& Rect, TOrientation Orientation, TColor BarColor, TColor BackColor,
                  uint16_t Percent, bool ShowPercent) {
  const std::string text = ShowPercent ? std::to_string(unsigned(Percent)) + "%" : std::string();
  const TRect r = Rect;
  TRect filled = r;
  if (Percent < 100) {
    if (Orientation == orVertical)
      filled.top = r.bottom - int(RoundEven(Percent * double(r.bottom - r.top) / 100));
    else
      filled.right = r.left + int(RoundEven(Percent * double(r.right - r.left) / 100));
  }
  Canvas->Font()->SetColor(BackColor);
  Canvas->Brush()->SetColor(BarColor);
  SetTextAlign(Canvas->Handle(), TA_CENTER);
  const int x = r.right / 2;
  const int y = r.top + (r.bottom - r.top - Canvas->TextHeight("X")) / 2;
  Canvas->TextRect(filled, x, y, text);
  const TRect rest = Orientation == orVertical ? TRect{r.left, r.top, r.right, filled.top}
                                               : TRect{filled.right, r.top, r.right, r.bottom};
  Canvas->Font()->SetColor(BarColor);
  Canvas->Brush()->SetColor(BackColor);
  Canvas->TextRect(rest, x, y, text);
}

void PaintSegmentBar(TCanvas* Canvas, const TRect& Rect, TOrientation Orientation, TColor BarColor, TColor BackColor,
                     int NumSegments, uint16_t Percent, bool ThemeAware) {
  const TRect rc = Rect;
  TThemeServices* themes = ThemeServices();
  if (ThemeAware && themes->ThemesEnabled()) {
    TRect r = Inflated(rc, -1);
    if (Orientation == orHorizontal) {
      r.right = r.left + int(RoundEven((r.right - r.left) * double(Percent) / 100));
      themes->DrawElement(Canvas->Handle(), themes->GetElementDetails(tpChunk), r);
    } else {
      r.top = r.bottom - int(RoundEven((r.bottom - r.top) * double(Percent) / 100));
      if (r.top == r.bottom) r.top = r.bottom - 1;
      TBitmap chunk;
      chunk.SetSize(r.right - r.left, r.bottom - r.top);
      const TRect inside{0, 0, r.right - r.left, r.bottom - r.top};
      themes->DrawElement(chunk.Canvas()->Handle(), themes->GetElementDetails(tpChunkVert), inside);
      FlipVertical(&chunk);
      Canvas->Draw(r.left, r.top, &chunk);
    }
    return;
  }

  const int len = Orientation == orVertical ? rc.bottom - rc.top : rc.right - rc.left;
  int n = std::max(1, NumSegments);
  int s = len / n;
  if (len <= 80 && n > 10) {
    n = 10;
    s = len / 10;
  }
  const int extra = s != 0 ? (len - n * s) / s : 0;
  if (extra > 0) n += extra;
  const int m = (len - n * s) / 2;

  Canvas->Pen()->SetStyle(psClear);
  Canvas->Brush()->SetColor(BackColor);
  if (Orientation == orHorizontal) {
    Canvas->Rectangle(rc.left - 1, rc.top, rc.left + m + 1, rc.bottom + 1);
    Canvas->Rectangle(rc.right - m - 1, rc.top, rc.right + 1, rc.bottom + 1);
  } else {
    Canvas->Rectangle(rc.left, rc.top, rc.right + 1, rc.top + m + 1);
    Canvas->Rectangle(rc.left, rc.bottom - m - 1, rc.right + 1, rc.bottom + 1);
  }
  Canvas->Pen()->SetStyle(psSolid);
  Canvas->Pen()->SetColor(BackColor);
  Canvas->Brush()->SetColor(BarColor);
  const int lit = int(unsigned(Percent) * n / 100);
  auto segment = [&](int i) {
    if (Orientation == orHorizontal) {
      const int x = rc.left + m + (i - 1) * s;
      Canvas->Rectangle(x, rc.top, x + s, rc.bottom);
    } else {
      const int y = rc.top + m + (n - i) * s;
      Canvas->Rectangle(rc.left, y, rc.right, y + s);
    }
  };
  for (int i = 1; i <= std::min(lit, n); ++i) segment(i);
  Canvas->Brush()->SetColor(BackColor);
  for (int i = std::max(lit, 0) + 1; i <= n; ++i) segment(i);
}
