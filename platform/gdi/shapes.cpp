// Pixels, lines and shapes, with the device's pixel rules: a line leaves out its
// last point; a shape's outline lies on its bounding rectangle's left and top edges
// and one pixel inside its right and bottom edges; with the null pen a Rectangle
// fills one pixel less on the right and at the bottom.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/gdi/dc.h"

namespace vx::gdi {

namespace {

// How the selected pen draws.
struct PenState {
  bool none = true;
  int width = 1;
  UINT style = PS_SOLID;
  Paint ink;                      // pen colour through the DC's binary raster operation
  Paint gap;                      // background colour for the gaps of styled pens
  bool opaqueGaps = false;
  const uint8_t* dashes = nullptr;  // on/off run lengths, zero-terminated
  int dashPos = 0;                // position along the style pattern
};

const uint8_t kDash[] = {18, 6, 0};
const uint8_t kDot[] = {3, 3, 0};
const uint8_t kDashDot[] = {9, 6, 3, 6, 0};
const uint8_t kDashDotDot[] = {9, 3, 3, 3, 3, 3, 0};

PenState MakePen(const DCObject& dc, const Surface& s) {
  PenState p;
  if (!dc.st.pen || dc.st.pen->lp.lopnStyle == PS_NULL) return p;
  p.none = false;
  p.style = dc.st.pen->lp.lopnStyle;
  p.width = std::max(1, int(dc.st.pen->lp.lopnWidth.x));
  p.ink = SolidPaint(s, PenColor(dc), Rop2ToRop3(dc.st.rop2));
  // Styles apply to one-pixel pens only; wider pens draw solid.
  if (p.width == 1) {
    switch (p.style) {
      case PS_DASH: p.dashes = kDash; break;
      case PS_DOT: p.dashes = kDot; break;
      case PS_DASHDOT: p.dashes = kDashDot; break;
      case PS_DASHDOTDOT: p.dashes = kDashDotDot; break;
      default: break;
    }
  }
  if (p.dashes && dc.st.bkMode == OPAQUE) {
    p.opaqueGaps = true;
    p.gap = SolidPaint(s, dc.st.bkColor, Rop2ToRop3(dc.st.rop2));
  }
  return p;
}

bool DashOn(PenState& p) {
  if (!p.dashes) return true;
  int total = 0;
  for (const uint8_t* d = p.dashes; *d; ++d) total += *d;
  int pos = p.dashPos % total;
  p.dashPos = (p.dashPos + 1) % total;
  bool on = true;
  for (const uint8_t* d = p.dashes; *d; ++d) {
    if (pos < *d) return on;
    pos -= *d;
    on = !on;
  }
  return on;
}

void Plot(Surface& s, const Region& clip, PenState& p, int x, int y) {
  const bool on = DashOn(p);
  if (!on && !p.opaqueGaps) return;
  const Paint& paint = on ? p.ink : p.gap;
  if (p.width == 1) {
    FillSpanClipped(s, clip, y, x, x + 1, paint);
    return;
  }
  // A wide pen stamps a square centred on the point.
  const int a = (p.width - 1) / 2;
  FillRect(s, clip, RECT{x - a, y - a, x - a + p.width, y - a + p.width}, paint);
}

// A line in surface coordinates, without its last point.
void Line(Surface& s, const Region& clip, PenState& p, int x0, int y0, int x1, int y1) {
  if (p.none) return;
  if (y0 == y1 && !p.dashes && p.width == 1) {
    if (x1 > x0)
      FillSpanClipped(s, clip, y0, x0, x1, p.ink);
    else if (x1 < x0)
      FillSpanClipped(s, clip, y0, x1 + 1, x0 + 1, p.ink);
    return;
  }
  const int dx = std::abs(x1 - x0), dy = std::abs(y1 - y0);
  const int sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1;
  int x = x0, y = y0;
  if (dx >= dy) {
    int err = 2 * dy - dx;
    for (int i = 0; i < dx; ++i) {
      Plot(s, clip, p, x, y);
      if (err > 0) y += sy, err -= 2 * dx;
      err += 2 * dy, x += sx;
    }
  } else {
    int err = 2 * dx - dy;
    for (int i = 0; i < dy; ++i) {
      Plot(s, clip, p, x, y);
      if (err > 0) x += sx, err -= 2 * dy;
      err += 2 * dx, y += sy;
    }
  }
}

struct Target {
  std::shared_ptr<DCObject> dc;
  Surface* s = nullptr;
  explicit operator bool() const { return dc && s; }
};

Target Open(HDC h) {
  Target t;
  t.dc = FindDC(h);
  if (t.dc) t.s = t.dc->Target();
  return t;
}

// The rectangle of a shape in surface coordinates, normalised.
RECT ShapeRect(const DCObject& dc, int l, int t, int r, int b) {
  return RECT{dc.SX(std::min(l, r)), dc.SY(std::min(t, b)), dc.SX(std::max(l, r)), dc.SY(std::max(t, b))};
}

// Fills the brush over spans and outlines with the pen, for shapes given by one
// horizontal extent [x0[i], x1[i]] (inclusive) per row top + i.
void PaintRows(DCObject& dc, Surface& s, int top, const std::vector<int>& x0, const std::vector<int>& x1) {
  const Region& clip = dc.Clip();
  PenState pen = MakePen(dc, s);
  BrushPaint bp;
  if (dc.st.brush) MakeBrushPaint(dc, *dc.st.brush, s, Rop2ToRop3(dc.st.rop2), bp);
  const int n = int(x0.size());
  for (int i = 0; i < n; ++i) {
    if (x0[size_t(i)] > x1[size_t(i)]) continue;
    const int y = top + i;
    if (pen.none) {
      if (!bp.none) FillSpanClipped(s, clip, y, x0[size_t(i)], x1[size_t(i)] + 1, bp.paint);
      continue;
    }
    // Interior: inside this row and both neighbours.
    const size_t k = size_t(i);
    const bool inner = i > 0 && i < n - 1 && x0[k - 1] <= x1[k - 1] && x0[k + 1] <= x1[k + 1];
    const int a = inner ? std::max({x0[k] + 1, x0[k - 1], x0[k + 1]}) : 1;
    const int b = inner ? std::min({x1[k] - 1, x1[k - 1], x1[k + 1]}) : 0;
    if (a <= b) {
      if (!bp.none) FillSpanClipped(s, clip, y, a, b + 1, bp.paint);
      FillSpanClipped(s, clip, y, x0[size_t(i)], a, pen.ink);
      FillSpanClipped(s, clip, y, b + 1, x1[size_t(i)] + 1, pen.ink);
    } else {
      FillSpanClipped(s, clip, y, x0[size_t(i)], x1[size_t(i)] + 1, pen.ink);
    }
  }
}

// Horizontal extent of an axis-aligned ellipse through the pixel centres of the box
// [l, r] x [t, b] (inclusive), on row y.
bool EllipseExtent(double l, double t, double r, double b, int y, int& x0, int& x1) {
  const double cx = (l + r) / 2, cy = (t + b) / 2, a = (r - l) / 2, bb = (b - t) / 2;
  if (bb <= 0) {
    x0 = int(l), x1 = int(r);
    return true;
  }
  const double dy = (y - cy) / bb;
  if (dy * dy > 1.0) return false;
  const double half = a * std::sqrt(std::max(0.0, 1.0 - dy * dy));
  x0 = int(std::ceil(cx - half - 1e-9));
  x1 = int(std::floor(cx + half + 1e-9));
  return true;
}

}  // namespace
}  // namespace vx::gdi

using namespace vx::gdi;

COLORREF GetPixel(HDC h, int x, int y) {
  Target t = Open(h);
  if (!t) return CLR_INVALID;
  const int X = t.dc->SX(x), Y = t.dc->SY(y);
  if (!t.dc->Clip().Contains(X, Y)) return CLR_INVALID;
  return t.s->ColorFromRaw(t.s->GetRaw(X, Y));
}

COLORREF SetPixel(HDC h, int x, int y, COLORREF color) {
  Target t = Open(h);
  if (!t) return CLR_INVALID;
  const int X = t.dc->SX(x), Y = t.dc->SY(y);
  if (!t.dc->Clip().Contains(X, Y)) return CLR_INVALID;
  const uint32_t raw = t.s->RawFromColor(color & 0xFFFFFF);
  t.s->SetRaw(X, Y, raw);
  return t.s->ColorFromRaw(raw);
}

BOOL SetPixelV(HDC h, int x, int y, COLORREF color) { return SetPixel(h, x, y, color) != CLR_INVALID; }

BOOL MoveToEx(HDC h, int x, int y, POINT* old) {
  auto dc = FindDC(h);
  if (!dc) return FALSE;
  if (old) *old = dc->st.pos;
  dc->st.pos = POINT{x, y};
  return TRUE;
}

BOOL LineTo(HDC h, int x, int y) {
  Target t = Open(h);
  if (!t) return FALSE;
  DCObject& dc = *t.dc;
  PenState pen = MakePen(dc, *t.s);
  Line(*t.s, dc.Clip(), pen, dc.SX(dc.st.pos.x), dc.SY(dc.st.pos.y), dc.SX(x), dc.SY(y));
  dc.st.pos = POINT{x, y};
  return TRUE;
}

BOOL Polyline(HDC h, const POINT* pts, int count) {
  Target t = Open(h);
  if (!t || !pts || count < 2) return FALSE;
  DCObject& dc = *t.dc;
  PenState pen = MakePen(dc, *t.s);
  for (int i = 1; i < count; ++i)
    Line(*t.s, dc.Clip(), pen, dc.SX(pts[i - 1].x), dc.SY(pts[i - 1].y), dc.SX(pts[i].x), dc.SY(pts[i].y));
  return TRUE;
}

BOOL PolylineTo(HDC h, const POINT* pts, DWORD count) {
  Target t = Open(h);
  if (!t || !pts) return FALSE;
  DCObject& dc = *t.dc;
  PenState pen = MakePen(dc, *t.s);
  POINT cur = dc.st.pos;
  for (DWORD i = 0; i < count; ++i) {
    Line(*t.s, dc.Clip(), pen, dc.SX(cur.x), dc.SY(cur.y), dc.SX(pts[i].x), dc.SY(pts[i].y));
    cur = pts[i];
  }
  dc.st.pos = cur;
  return TRUE;
}

BOOL Polygon(HDC h, const POINT* pts, int count) {
  Target t = Open(h);
  if (!t || !pts || count < 2) return FALSE;
  DCObject& dc = *t.dc;
  Surface& s = *t.s;
  const Region& clip = dc.Clip();
  std::vector<POINT> p(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) p[size_t(i)] = POINT{dc.SX(pts[i].x), dc.SY(pts[i].y)};
  BrushPaint bp;
  if (dc.st.brush) MakeBrushPaint(dc, *dc.st.brush, s, Rop2ToRop3(dc.st.rop2), bp);
  if (!bp.none) {
    // Scan lines through pixel centres; a pixel is inside when its centre is.
    int ymin = p[0].y, ymax = p[0].y;
    for (auto& q : p) ymin = std::min(ymin, int(q.y)), ymax = std::max(ymax, int(q.y));
    const RECT cb = clip.Box();
    ymin = std::max(ymin, int(cb.top));
    ymax = std::min(ymax, int(cb.bottom));
    struct Cross {
      double x;
      int dir;
    };
    std::vector<Cross> xs;
    for (int y = ymin; y < ymax; ++y) {
      const double yc = y + 0.5;
      xs.clear();
      for (int i = 0; i < count; ++i) {
        const POINT a = p[size_t(i)], b = p[size_t((i + 1) % count)];
        if (a.y == b.y) continue;
        const bool down = b.y > a.y;
        const double y0 = down ? a.y : b.y, y1 = down ? b.y : a.y;
        if (yc < y0 || yc >= y1) continue;
        const double x = a.x + (yc - a.y) * double(b.x - a.x) / double(b.y - a.y);
        xs.push_back(Cross{x, down ? 1 : -1});
      }
      std::sort(xs.begin(), xs.end(), [](const Cross& u, const Cross& v) { return u.x < v.x; });
      int wind = 0;
      for (size_t k = 0; k + 1 < xs.size(); ++k) {
        wind += xs[k].dir;
        const bool inside = dc.st.polyFillMode == WINDING ? wind != 0 : (k % 2) == 0;
        if (!inside) continue;
        // Pixels whose centre x + 0.5 lies in [xs[k], xs[k+1]).
        const int a = int(std::ceil(xs[k].x - 0.5)), b = int(std::ceil(xs[k + 1].x - 0.5));
        if (a < b) FillSpanClipped(s, clip, y, a, b, bp.paint);
      }
    }
  }
  PenState pen = MakePen(dc, s);
  for (int i = 0; i < count; ++i) {
    const POINT a = p[size_t(i)], b = p[size_t((i + 1) % count)];
    Line(s, clip, pen, a.x, a.y, b.x, b.y);
  }
  return TRUE;
}

BOOL Rectangle(HDC h, int l, int t, int r, int b) {
  Target tg = Open(h);
  if (!tg) return FALSE;
  DCObject& dc = *tg.dc;
  Surface& s = *tg.s;
  const Region& clip = dc.Clip();
  RECT q = ShapeRect(dc, l, t, r, b);
  PenState pen = MakePen(dc, s);
  BrushPaint bp;
  if (dc.st.brush) MakeBrushPaint(dc, *dc.st.brush, s, Rop2ToRop3(dc.st.rop2), bp);
  if (pen.none) {
    if (!bp.none) FillRect(s, clip, RECT{q.left, q.top, q.right - 1, q.bottom - 1}, bp.paint);
    return TRUE;
  }
  if (q.right <= q.left || q.bottom <= q.top) return TRUE;
  if (pen.dashes) {
    // Styled outline: one path around the rectangle.
    if (!bp.none) FillRect(s, clip, RECT{q.left + 1, q.top + 1, q.right - 1, q.bottom - 1}, bp.paint);
    const int R = q.right - 1, B = q.bottom - 1;
    Line(s, clip, pen, q.left, q.top, R, q.top);
    Line(s, clip, pen, R, q.top, R, B);
    Line(s, clip, pen, R, B, q.left, B);
    Line(s, clip, pen, q.left, B, q.left, q.top);
    return TRUE;
  }
  // The outline band: one pixel on the rectangle's edges, or a wider band, inside
  // the rectangle for PS_INSIDEFRAME and centred on the one-pixel outline otherwise.
  const int w = pen.width;
  RECT outer = q;
  if (w > 1 && pen.style != PS_INSIDEFRAME) {
    const int a = (w - 1) / 2;
    outer = RECT{q.left - a, q.top - a, q.right - 1 - a + w, q.bottom - 1 - a + w};
  }
  RECT inner{outer.left + w, outer.top + w, outer.right - w, outer.bottom - w};
  if (!bp.none && !RectEmpty(inner)) FillRect(s, clip, inner, bp.paint);
  if (RectEmpty(inner)) {
    FillRect(s, clip, outer, pen.ink);
    return TRUE;
  }
  FillRect(s, clip, RECT{outer.left, outer.top, outer.right, inner.top}, pen.ink);
  FillRect(s, clip, RECT{outer.left, inner.bottom, outer.right, outer.bottom}, pen.ink);
  FillRect(s, clip, RECT{outer.left, inner.top, inner.left, inner.bottom}, pen.ink);
  FillRect(s, clip, RECT{inner.right, inner.top, outer.right, inner.bottom}, pen.ink);
  return TRUE;
}

BOOL Ellipse(HDC h, int l, int t, int r, int b) {
  Target tg = Open(h);
  if (!tg) return FALSE;
  RECT q = ShapeRect(*tg.dc, l, t, r, b);
  if (q.right - q.left < 1 || q.bottom - q.top < 1) return TRUE;
  std::vector<int> x0, x1;
  for (int y = q.top; y < q.bottom; ++y) {
    int a = 1, c = 0;
    if (!EllipseExtent(q.left, q.top, q.right - 1, q.bottom - 1, y, a, c)) a = 1, c = 0;
    x0.push_back(a), x1.push_back(c);
  }
  PaintRows(*tg.dc, *tg.s, q.top, x0, x1);
  return TRUE;
}

BOOL RoundRect(HDC h, int l, int t, int r, int b, int cw, int ch) {
  Target tg = Open(h);
  if (!tg) return FALSE;
  RECT q = ShapeRect(*tg.dc, l, t, r, b);
  if (q.right - q.left < 1 || q.bottom - q.top < 1) return TRUE;
  cw = std::min(std::abs(cw), int(q.right - q.left));
  ch = std::min(std::abs(ch), int(q.bottom - q.top));
  std::vector<int> x0, x1;
  const int R = q.right - 1, B = q.bottom - 1;
  for (int y = q.top; y < q.bottom; ++y) {
    int a = q.left, c = R;
    // Rows within a corner take the corner ellipse's extent.
    int ey = -1;
    if (ch > 0 && y < q.top + ch / 2)
      ey = y - q.top;
    else if (ch > 0 && y > B - ch / 2)
      ey = y - (B - ch + 1);
    if (ey >= 0 && cw > 0) {
      int ea, ec;
      if (EllipseExtent(0, 0, cw - 1, ch - 1, ey, ea, ec)) {
        a = q.left + ea;
        c = R - (cw - 1 - ec);
      }
    }
    x0.push_back(a), x1.push_back(c);
  }
  PaintRows(*tg.dc, *tg.s, q.top, x0, x1);
  return TRUE;
}

namespace {

std::shared_ptr<BrushObject> BrushArg(HBRUSH brush) {
  const uintptr_t v = reinterpret_cast<uintptr_t>(brush);
  if (v > 0 && v <= uintptr_t(COLOR_ENDCOLORS) + 1)
    return Find<BrushObject>(H(GetSysColorBrush(int(v - 1))), OBJ_BRUSH);
  return Find<BrushObject>(H(brush), OBJ_BRUSH);
}

}  // namespace

int FillRect(HDC h, const RECT* r, HBRUSH brush) {
  Target t = Open(h);
  auto b = BrushArg(brush);
  if (!t || !r || !b) return 0;
  BrushPaint bp;
  MakeBrushPaint(*t.dc, *b, *t.s, Rop3Index(PATCOPY), bp);
  if (!bp.none) FillRect(*t.s, t.dc->Clip(), ShapeRect(*t.dc, r->left, r->top, r->right, r->bottom), bp.paint);
  return 1;
}

int FrameRect(HDC h, const RECT* r, HBRUSH brush) {
  Target t = Open(h);
  auto b = BrushArg(brush);
  if (!t || !r || !b) return 0;
  const RECT q = ShapeRect(*t.dc, r->left, r->top, r->right, r->bottom);
  if (RectEmpty(q)) return 1;
  BrushPaint bp;
  MakeBrushPaint(*t.dc, *b, *t.s, Rop3Index(PATCOPY), bp);
  if (bp.none) return 1;
  const Region& clip = t.dc->Clip();
  FillRect(*t.s, clip, RECT{q.left, q.top, q.right, q.top + 1}, bp.paint);
  if (q.bottom - q.top > 1) FillRect(*t.s, clip, RECT{q.left, q.bottom - 1, q.right, q.bottom}, bp.paint);
  FillRect(*t.s, clip, RECT{q.left, q.top + 1, q.left + 1, q.bottom - 1}, bp.paint);
  if (q.right - q.left > 1) FillRect(*t.s, clip, RECT{q.right - 1, q.top + 1, q.right, q.bottom - 1}, bp.paint);
  return 1;
}

BOOL InvertRect(HDC h, const RECT* r) {
  Target t = Open(h);
  if (!t || !r) return FALSE;
  Paint p;
  p.rop = Rop3Index(DSTINVERT);
  FillRect(*t.s, t.dc->Clip(), ShapeRect(*t.dc, r->left, r->top, r->right, r->bottom), p);
  return TRUE;
}

BOOL DrawFocusRect(HDC h, const RECT* r) {
  Target t = Open(h);
  if (!t || !r) return FALSE;
  const RECT q = ShapeRect(*t.dc, r->left, r->top, r->right, r->bottom);
  if (RectEmpty(q)) return TRUE;
  // Every other pixel of the frame, in a checkerboard fixed to the device origin,
  // is inverted.
  const uint32_t white = t.s->RawFromColor(RGB(255, 255, 255)), black = t.s->RawFromColor(0);
  const uint32_t table[4] = {white, black, black, white};
  Paint p;
  p.rop = Rop3Index(PATINVERT);
  p.pattern = table;
  p.pw = p.ph = 2;
  p.orgX = t.dc->origin.x;
  p.orgY = t.dc->origin.y;
  const Region& clip = t.dc->Clip();
  FillRect(*t.s, clip, RECT{q.left, q.top, q.right, q.top + 1}, p);
  if (q.bottom - q.top > 1) FillRect(*t.s, clip, RECT{q.left, q.bottom - 1, q.right, q.bottom}, p);
  FillRect(*t.s, clip, RECT{q.left, q.top + 1, q.left + 1, q.bottom - 1}, p);
  if (q.right - q.left > 1) FillRect(*t.s, clip, RECT{q.right - 1, q.top + 1, q.right, q.bottom - 1}, p);
  return TRUE;
}

BOOL DrawEdge(HDC h, RECT* rc, UINT edge, UINT flags) {
  Target t = Open(h);
  if (!t || !rc) return FALSE;
  Surface& s = *t.s;
  const Region& clip = t.dc->Clip();
  RECT q = ShapeRect(*t.dc, rc->left, rc->top, rc->right, rc->bottom);
  struct Ring {
    UINT raised, sunken;
    int raisedTL, raisedBR, sunkenTL, sunkenBR;
  };
  // Outer ring first, then the inner one.
  const Ring rings[2] = {
      {BDR_RAISEDOUTER, BDR_SUNKENOUTER, COLOR_3DLIGHT, COLOR_3DDKSHADOW, COLOR_BTNSHADOW, COLOR_BTNHIGHLIGHT},
      {BDR_RAISEDINNER, BDR_SUNKENINNER, COLOR_BTNHIGHLIGHT, COLOR_BTNSHADOW, COLOR_3DDKSHADOW, COLOR_3DLIGHT},
  };
  for (int k = 0; k < 2; ++k) {
    const Ring& ring = rings[k];
    const bool raised = edge & ring.raised, sunken = edge & ring.sunken;
    if (!raised && !sunken) continue;
    COLORREF tl = GetSysColor(raised ? ring.raisedTL : ring.sunkenTL);
    COLORREF br = GetSysColor(raised ? ring.raisedBR : ring.sunkenBR);
    if (flags & BF_MONO) {
      tl = br = GetSysColor(k == 0 ? COLOR_WINDOWFRAME : COLOR_WINDOW);
    } else if (flags & BF_FLAT) {
      tl = br = GetSysColor(k == 0 ? COLOR_BTNSHADOW : COLOR_BTNFACE);
    }
    const Paint ptl = SolidPaint(s, tl, Rop3Index(PATCOPY)), pbr = SolidPaint(s, br, Rop3Index(PATCOPY));
    if (RectEmpty(q)) break;
    // Upper-left lines stop short of the far corners; the lower-right ones cover them.
    if (flags & BF_TOP) FillRect(s, clip, RECT{q.left, q.top, q.right - 1, q.top + 1}, ptl);
    if (flags & BF_LEFT) FillRect(s, clip, RECT{q.left, q.top, q.left + 1, q.bottom - 1}, ptl);
    if (flags & BF_RIGHT) FillRect(s, clip, RECT{q.right - 1, q.top, q.right, q.bottom}, pbr);
    if (flags & BF_BOTTOM) FillRect(s, clip, RECT{q.left, q.bottom - 1, q.right, q.bottom}, pbr);
    if (flags & BF_LEFT) q.left++;
    if (flags & BF_TOP) q.top++;
    if (flags & BF_RIGHT) q.right--;
    if (flags & BF_BOTTOM) q.bottom--;
  }
  if ((flags & BF_MIDDLE) && !RectEmpty(q))
    FillRect(s, clip, q, SolidPaint(s, GetSysColor((flags & BF_MONO) ? COLOR_WINDOW : COLOR_BTNFACE), Rop3Index(PATCOPY)));
  if (flags & BF_ADJUST) {
    const int dx = t.dc->SX(0), dy = t.dc->SY(0);
    *rc = RECT{q.left - dx, q.top - dy, q.right - dx, q.bottom - dy};
  }
  return TRUE;
}

namespace {

// The classic 12 x 12 option-button picture: letters name the colour of each pixel.
// a: shadow, b: highlight, c: dark shadow, d: 3-D light, w: interior, . : untouched.
const char* const kRadio[12] = {
    "....aaaa....",  //
    "..aaccccaa..",  //
    ".accwwwwwdb.",  //
    ".acwwwwwwdb.",  //
    "acwwwwwwwwdb",  //
    "acwwwwwwwwdb",  //
    "acwwwwwwwwdb",  //
    "acwwwwwwwwdb",  //
    ".acwwwwwwdb.",  //
    ".addwwwwwdb.",  //
    "..bbddddbb..",  //
    "....bbbb....",
};
const char* const kRadioDot[4] = {".xx.", "xxxx", "xxxx", ".xx."};

// A check mark of 7 x 7 pixels.
const char* const kCheck[7] = {
    "......x", ".....xx", "x....xx", "xx..xx.", "xxxxx..", ".xxx...", "..x....",
};

}  // namespace

BOOL DrawFrameControl(HDC h, RECT* rc, UINT type, UINT state) {
  Target t = Open(h);
  if (!t || !rc || type != DFC_BUTTON) return FALSE;
  const UINT kind = state & 0xFF;
  if (kind == DFCS_BUTTONPUSH) {
    RECT r = *rc;
    DrawEdge(h, &r, (state & DFCS_PUSHED) ? EDGE_SUNKEN : EDGE_RAISED, BF_RECT | BF_MIDDLE | BF_ADJUST);
    return TRUE;
  }
  const int X = t.dc->SX(rc->left), Y = t.dc->SY(rc->top);
  const Region& clip = t.dc->Clip();
  auto put = [&](int x, int y, COLORREF c) {
    FillSpanClipped(*t.s, clip, Y + y, X + x, X + x + 1, SolidPaint(*t.s, c, Rop3Index(PATCOPY)));
  };
  const bool inactive = state & DFCS_INACTIVE;
  const COLORREF interior = GetSysColor((inactive || (state & DFCS_PUSHED)) ? COLOR_BTNFACE : COLOR_WINDOW);
  const COLORREF mark = GetSysColor(inactive ? COLOR_BTNSHADOW : COLOR_WINDOWTEXT);
  if (kind == DFCS_BUTTONRADIO) {
    for (int y = 0; y < 12; ++y)
      for (int x = 0; x < 12; ++x) {
        const char c = kRadio[y][x];
        switch (c) {
          case 'a': put(x, y, GetSysColor(COLOR_BTNSHADOW)); break;
          case 'b': put(x, y, GetSysColor(COLOR_BTNHIGHLIGHT)); break;
          case 'c': put(x, y, GetSysColor(COLOR_3DDKSHADOW)); break;
          case 'd': put(x, y, GetSysColor(COLOR_3DLIGHT)); break;
          case 'w': put(x, y, interior); break;
          default: break;
        }
      }
    if (state & DFCS_CHECKED)
      for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
          if (kRadioDot[y][x] == 'x') put(4 + x, 4 + y, mark);
    return TRUE;
  }
  if (kind == DFCS_BUTTONCHECK || kind == DFCS_BUTTON3STATE) {
    RECT r{rc->left, rc->top, rc->left + 13, rc->top + 13};
    DrawEdge(h, &r, EDGE_SUNKEN, BF_RECT | BF_ADJUST);
    RECT in = r;
    const RECT q = ShapeRect(*t.dc, in.left, in.top, in.right, in.bottom);
    FillRect(*t.s, clip, q, SolidPaint(*t.s, interior, Rop3Index(PATCOPY)));
    if (state & DFCS_CHECKED)
      for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 7; ++x)
          if (kCheck[y][x] == 'x') put(3 + x, 3 + y, mark);
    return TRUE;
  }
  return FALSE;
}
