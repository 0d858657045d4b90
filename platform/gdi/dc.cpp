#include "platform/gdi/dc.h"

#include <algorithm>
#include <cstring>

#include "platform/win/handletable.h"

namespace vx::gdi {

// ---- The handle table ----

namespace {

THandleTable<HGDIOBJ, GdiObject>& Table() {
  static auto* t = new THandleTable<HGDIOBJ, GdiObject>(0x10000);  // lives until the process ends
  return *t;
}

const RECT kEverything{-(1 << 28), -(1 << 28), 1 << 28, 1 << 28};

}  // namespace

HGDIOBJ AddObject(std::shared_ptr<GdiObject> obj) { return Table().Add(std::move(obj)); }

std::shared_ptr<GdiObject> FindObject(HGDIOBJ h) { return h ? Table().Find(h) : nullptr; }

std::shared_ptr<DCObject> FindDC(HDC dc) { return Find<DCObject>(H(dc), OBJ_DC); }

// ---- Stock objects ----

namespace {

struct Stock {
  HGDIOBJ h[20] = {};
  HGDIOBJ monoBitmap = nullptr;
};

HGDIOBJ AddStock(std::shared_ptr<GdiObject> o) {
  o->stock = true;
  return AddObject(std::move(o));
}

HGDIOBJ StockBrush(COLORREF c, UINT style = BS_SOLID, bool dc = false) {
  auto b = std::make_shared<BrushObject>();
  b->color = c;
  b->style = style;
  b->dcBrush = dc;
  return AddStock(b);
}

HGDIOBJ StockPen(COLORREF c, UINT style = PS_SOLID, bool dc = false) {
  auto p = std::make_shared<PenObject>();
  p->lp.lopnStyle = style;
  p->lp.lopnWidth.x = 1;
  p->lp.lopnColor = c;
  p->dcPen = dc;
  return AddStock(p);
}

HGDIOBJ StockFont(const char* face, LONG height, LONG weight) {
  auto f = std::make_shared<FontObject>();
  f->lf.lfHeight = height;
  f->lf.lfWeight = weight;
  std::strncpy(f->lf.lfFaceName, face, LF_FACESIZE - 1);
  return AddStock(f);
}

const Stock& Stocks() {
  static const Stock* s = [] {
    auto* st = new Stock();
    st->h[WHITE_BRUSH] = StockBrush(RGB(255, 255, 255));
    st->h[LTGRAY_BRUSH] = StockBrush(RGB(192, 192, 192));
    st->h[GRAY_BRUSH] = StockBrush(RGB(128, 128, 128));
    st->h[DKGRAY_BRUSH] = StockBrush(RGB(64, 64, 64));
    st->h[BLACK_BRUSH] = StockBrush(RGB(0, 0, 0));
    st->h[NULL_BRUSH] = StockBrush(0, BS_NULL);
    st->h[WHITE_PEN] = StockPen(RGB(255, 255, 255));
    st->h[BLACK_PEN] = StockPen(RGB(0, 0, 0));
    st->h[NULL_PEN] = StockPen(0, PS_NULL);
    st->h[OEM_FIXED_FONT] = StockFont("Courier New", 12, FW_NORMAL);
    st->h[ANSI_FIXED_FONT] = StockFont("Courier New", 12, FW_NORMAL);
    st->h[ANSI_VAR_FONT] = StockFont("MS Sans Serif", 13, FW_NORMAL);
    st->h[SYSTEM_FONT] = StockFont("System", 16, FW_BOLD);
    st->h[DEVICE_DEFAULT_FONT] = StockFont("System", 16, FW_BOLD);
    st->h[SYSTEM_FIXED_FONT] = StockFont("Courier New", 15, FW_NORMAL);
    st->h[DEFAULT_GUI_FONT] = StockFont("MS Sans Serif", -11, FW_NORMAL);
    {
      auto p = std::make_shared<PaletteObject>();
      for (size_t i = 0; i < 20; ++i) {
        const RGBQUAD q = HalftoneColors()[i < 10 ? i : i + 236];
        p->entries.push_back(PALETTEENTRY{q.rgbRed, q.rgbGreen, q.rgbBlue, 0});
      }
      st->h[DEFAULT_PALETTE] = AddStock(p);
    }
    st->h[DC_BRUSH] = StockBrush(RGB(255, 255, 255), BS_SOLID, true);
    st->h[DC_PEN] = StockPen(RGB(0, 0, 0), PS_SOLID, true);
    auto bm = std::make_shared<BitmapObject>();
    bm->surface = Surface::Create(1, 1, 1, false);
    st->monoBitmap = AddStock(bm);
    return st;
  }();
  return *s;
}

// Screen.
struct Screen {
  std::mutex lock;
  int bpp = 32;
  int width = 1024;
  int height = 768;
  std::shared_ptr<Surface> surface;
  WindowDCProvider provider;
};

Screen& TheScreen() {
  static Screen* s = new Screen();
  return *s;
}

std::shared_ptr<Surface> ScreenSurface() {
  auto& s = TheScreen();
  std::lock_guard g(s.lock);
  if (!s.surface || s.surface->Width() != s.width || s.surface->Height() != s.height || s.surface->Bpp() != s.bpp)
    s.surface = Surface::Create(s.width, s.height, s.bpp, false);
  return s.surface;
}

void InitState(DCState& st) {
  const Stock& s = Stocks();
  st.penH = s.h[BLACK_PEN];
  st.pen = Find<PenObject>(st.penH, OBJ_PEN);
  st.brushH = s.h[WHITE_BRUSH];
  st.brush = Find<BrushObject>(st.brushH, OBJ_BRUSH);
  st.fontH = s.h[SYSTEM_FONT];
  st.font = Find<FontObject>(st.fontH, OBJ_FONT);
  st.paletteH = s.h[DEFAULT_PALETTE];
  st.palette = Find<PaletteObject>(st.paletteH, OBJ_PAL);
}

}  // namespace


// ---- DC clip ----

const Region& DCObject::Clip() {
  if (clipValid_) return clipCache_;
  Surface* s = Target();
  RECT bounds = s ? RECT{0, 0, s->Width(), s->Height()} : RECT{};
  if (fixed) bounds = Intersect(bounds, visible);
  if (st.clip) {
    Region c = *st.clip;
    c.Offset(origin.x, origin.y);
    clipCache_ = c.Intersected(bounds);
  } else {
    clipCache_ = Region(bounds);
  }
  clipValid_ = true;
  return clipCache_;
}

// ---- Brushes and pens for drawing ----

Paint SolidPaint(const Surface& target, COLORREF c, uint8_t rop) {
  Paint p;
  p.rop = rop;
  p.solid = target.RawFromColor(c & 0xFFFFFF);
  return p;
}

COLORREF PenColor(const DCObject& dc) {
  if (!dc.st.pen) return 0;
  return (dc.st.pen->dcPen ? dc.st.dcPenColor : dc.st.pen->lp.lopnColor) & 0xFFFFFF;
}

namespace {

bool HatchBit(int hatch, int x, int y) {
  switch (hatch) {
    case HS_HORIZONTAL: return y == 7;
    case HS_VERTICAL: return x == 7;
    case HS_FDIAGONAL: return x == y;
    case HS_BDIAGONAL: return x + y == 7;
    case HS_CROSS: return x == 7 || y == 7;
    case HS_DIAGCROSS: return x == y || x + y == 7;
    default: return false;
  }
}

}  // namespace

void MakeBrushPaint(const DCObject& dc, const BrushObject& brush, const Surface& target, uint8_t rop,
                    BrushPaint& out) {
  out = BrushPaint{};
  out.paint.rop = rop;
  out.paint.orgX = dc.st.brushOrg.x + dc.origin.x;
  out.paint.orgY = dc.st.brushOrg.y + dc.origin.y;
  switch (brush.style) {
    case BS_NULL: out.none = true; return;
    case BS_HATCHED: {
      const uint32_t fg = target.RawFromColor(brush.color & 0xFFFFFF);
      const uint32_t bg = target.RawFromColor(dc.st.bkColor & 0xFFFFFF);
      const bool opaque = dc.st.bkMode == OPAQUE;
      out.table.resize(64);
      if (!opaque) out.opaque.resize(64);
      for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
          const bool on = HatchBit(brush.hatch, x, y);
          out.table[size_t(y * 8 + x)] = on ? fg : bg;
          if (!opaque) out.opaque[size_t(y * 8 + x)] = on ? 1 : 0;
        }
      out.paint.pattern = out.table.data();
      out.paint.opaque = opaque ? nullptr : out.opaque.data();
      out.paint.pw = out.paint.ph = 8;
      return;
    }
    case BS_PATTERN: {
      const Surface* p = brush.pattern.get();
      if (!p || p->Width() == 0 || p->Height() == 0) {
        out.none = true;
        return;
      }
      out.table.resize(size_t(p->Width()) * size_t(p->Height()));
      uint32_t lut[2] = {0, 0};
      if (p->IsMonochrome()) {
        lut[0] = target.RawFromColor(dc.st.textColor & 0xFFFFFF);
        lut[1] = target.RawFromColor(dc.st.bkColor & 0xFFFFFF);
      }
      for (int y = 0; y < p->Height(); ++y)
        for (int x = 0; x < p->Width(); ++x) {
          const uint32_t raw = p->GetRaw(x, y);
          out.table[size_t(y * p->Width() + x)] =
              p->IsMonochrome() ? lut[raw & 1] : target.RawFromColor(p->ColorFromRaw(raw));
        }
      out.paint.pattern = out.table.data();
      out.paint.pw = p->Width();
      out.paint.ph = p->Height();
      return;
    }
    default: {
      const COLORREF c = brush.dcBrush ? dc.st.dcBrushColor : brush.color;
      out.paint.solid = target.RawFromColor(c & 0xFFFFFF);
      return;
    }
  }
}

void SetWindowDCProvider(WindowDCProvider provider) {
  auto& s = TheScreen();
  std::lock_guard g(s.lock);
  s.provider = std::move(provider);
}

void SetScreenFormat(int bitsPerPixel, int width, int height) {
  auto& s = TheScreen();
  std::lock_guard g(s.lock);
  s.bpp = bitsPerPixel;
  s.width = width;
  s.height = height;
}

int ScreenBitsPerPixel() {
  auto& s = TheScreen();
  std::lock_guard g(s.lock);
  return s.bpp;
}

HDC CreateSurfaceDC(const WindowSurface& ws, HWND hwnd) {
  auto dc = std::make_shared<DCObject>();
  dc->type = OBJ_DC;
  InitState(dc->st);
  dc->fixed = ws.surface;
  dc->origin = ws.origin;
  dc->visible = ws.visible;
  dc->hwnd = hwnd;
  return reinterpret_cast<HDC>(AddObject(dc));
}

}  // namespace vx::gdi

using namespace vx::gdi;

HGDIOBJ GetStockObject(int index) {
  if (index < 0 || index >= 20) return nullptr;
  return Stocks().h[index];
}

// ---- Object creation and deletion ----

HPEN CreatePen(int style, int width, COLORREF color) {
  auto p = std::make_shared<PenObject>();
  p->lp.lopnStyle = UINT(style) & PS_STYLE_MASK;
  if (p->lp.lopnStyle > PS_INSIDEFRAME) p->lp.lopnStyle = PS_SOLID;
  p->lp.lopnWidth.x = width < 0 ? 0 : width;
  p->lp.lopnColor = color;
  return reinterpret_cast<HPEN>(AddObject(p));
}

HPEN CreatePenIndirect(const LOGPEN* lp) {
  if (!lp) return nullptr;
  return CreatePen(int(lp->lopnStyle), lp->lopnWidth.x, lp->lopnColor);
}

HBRUSH CreateSolidBrush(COLORREF color) {
  auto b = std::make_shared<BrushObject>();
  b->color = color;
  return reinterpret_cast<HBRUSH>(AddObject(b));
}

HBRUSH CreateHatchBrush(int hatch, COLORREF color) {
  if (hatch < HS_HORIZONTAL || hatch > HS_DIAGCROSS) return nullptr;
  auto b = std::make_shared<BrushObject>();
  b->style = BS_HATCHED;
  b->hatch = hatch;
  b->color = color;
  return reinterpret_cast<HBRUSH>(AddObject(b));
}

HBRUSH CreatePatternBrush(HBITMAP pattern) {
  auto bm = Find<BitmapObject>(H(pattern), OBJ_BITMAP);
  if (!bm || !bm->surface) return nullptr;
  auto b = std::make_shared<BrushObject>();
  b->style = BS_PATTERN;
  b->pattern = bm->surface->Clone();
  if (!b->pattern) return nullptr;
  return reinterpret_cast<HBRUSH>(AddObject(b));
}

HBRUSH CreateBrushIndirect(const LOGBRUSH* lb) {
  if (!lb) return nullptr;
  switch (lb->lbStyle) {
    case BS_SOLID: return CreateSolidBrush(lb->lbColor);
    case BS_HATCHED: return CreateHatchBrush(int(lb->lbHatch), lb->lbColor);
    case BS_PATTERN: return CreatePatternBrush(reinterpret_cast<HBITMAP>(lb->lbHatch));
    case BS_NULL: {
      auto b = std::make_shared<BrushObject>();
      b->style = BS_NULL;
      return reinterpret_cast<HBRUSH>(AddObject(b));
    }
    default: return nullptr;
  }
}

HFONT CreateFontIndirect(const LOGFONT* lf) {
  if (!lf) return nullptr;
  auto f = std::make_shared<FontObject>();
  f->lf = *lf;
  f->lf.lfFaceName[LF_FACESIZE - 1] = 0;
  return reinterpret_cast<HFONT>(AddObject(f));
}

HFONT CreateFont(int height, int width, int escapement, int orientation, int weight, DWORD italic, DWORD underline,
                 DWORD strikeOut, DWORD charSet, DWORD outPrecision, DWORD clipPrecision, DWORD quality,
                 DWORD pitchAndFamily, const char* face) {
  LOGFONT lf;
  lf.lfHeight = height;
  lf.lfWidth = width;
  lf.lfEscapement = escapement;
  lf.lfOrientation = orientation;
  lf.lfWeight = weight;
  lf.lfItalic = BYTE(italic);
  lf.lfUnderline = BYTE(underline);
  lf.lfStrikeOut = BYTE(strikeOut);
  lf.lfCharSet = BYTE(charSet);
  lf.lfOutPrecision = BYTE(outPrecision);
  lf.lfClipPrecision = BYTE(clipPrecision);
  lf.lfQuality = BYTE(quality);
  lf.lfPitchAndFamily = BYTE(pitchAndFamily);
  if (face) std::strncpy(lf.lfFaceName, face, LF_FACESIZE - 1);
  return CreateFontIndirect(&lf);
}

BOOL DeleteObject(GdiObjectArg arg) {
  auto o = FindObject(arg.h);
  if (!o) return FALSE;
  if (o->stock) return TRUE;
  if (o->type == OBJ_DC || o->type == OBJ_MEMDC) return FALSE;
  if (o->type == OBJ_BITMAP && static_cast<BitmapObject&>(*o).selected > 0) return FALSE;
  Table().Remove(arg.h);
  return TRUE;
}

DWORD GetObjectType(GdiObjectArg arg) {
  auto o = FindObject(arg.h);
  return o ? o->type : 0;
}

int GetObject(GdiObjectArg arg, int size, void* buffer) {
  auto o = FindObject(arg.h);
  if (!o) return 0;
  auto put = [&](const void* rec, int recSize) {
    if (!buffer) return recSize;
    const int n = std::min(size, recSize);
    if (n <= 0) return 0;
    std::memcpy(buffer, rec, size_t(n));
    return n;
  };
  switch (o->type) {
    case OBJ_PEN: return put(&static_cast<PenObject&>(*o).lp, sizeof(LOGPEN));
    case OBJ_BRUSH: {
      auto& b = static_cast<BrushObject&>(*o);
      LOGBRUSH lb;
      lb.lbStyle = b.style;
      lb.lbColor = b.color;
      lb.lbHatch = b.style == BS_HATCHED ? uintptr_t(b.hatch) : 0;
      return put(&lb, sizeof lb);
    }
    case OBJ_FONT: return put(&static_cast<FontObject&>(*o).lf, sizeof(LOGFONT));
    case OBJ_PAL: {
      const WORD n = WORD(static_cast<PaletteObject&>(*o).entries.size());
      return put(&n, sizeof n);
    }
    case OBJ_BITMAP: {
      const Surface* s = static_cast<BitmapObject&>(*o).surface.get();
      if (!s) return 0;
      DIBSECTION ds;
      ds.dsBm.bmType = 0;
      ds.dsBm.bmWidth = s->Width();
      ds.dsBm.bmHeight = s->Height();
      // Device bitmaps report rows padded to 16 bits, DIB sections to 32.
      ds.dsBm.bmWidthBytes = s->IsDIB() ? s->Stride() : LONG(((int64_t(s->Width()) * s->Bpp() + 15) / 16) * 2);
      ds.dsBm.bmPlanes = 1;
      ds.dsBm.bmBitsPixel = WORD(s->Bpp());
      ds.dsBm.bmBits = s->IsDIB() ? const_cast<uint8_t*>(s->Bits()) : nullptr;
      if (!s->IsDIB() || size < int(sizeof(DIBSECTION))) return put(&ds.dsBm, sizeof(BITMAP));
      ds.dsBmih.biSize = sizeof(BITMAPINFOHEADER);
      ds.dsBmih.biWidth = s->Width();
      ds.dsBmih.biHeight = s->BottomUp() ? s->Height() : -s->Height();
      ds.dsBmih.biPlanes = 1;
      ds.dsBmih.biBitCount = WORD(s->Bpp());
      ds.dsBmih.biCompression = (s->Bpp() == 16 || s->Bpp() == 32) && !s->StandardMasks() ? BI_BITFIELDS : BI_RGB;
      ds.dsBmih.biSizeImage = DWORD(s->ImageBytes());
      ds.dsBmih.biClrUsed = s->Bpp() <= 8 ? DWORD(s->Colors().size()) : 0;
      if (s->Bpp() == 16 || s->Bpp() == 32) {
        ds.dsBitfields[0] = s->RedMask();
        ds.dsBitfields[1] = s->GreenMask();
        ds.dsBitfields[2] = s->BlueMask();
      }
      return put(&ds, sizeof ds);
    }
    case OBJ_REGION: return 0;
    default: return 0;
  }
}

// ---- Device contexts ----

HDC CreateCompatibleDC(HDC) {
  auto dc = std::make_shared<DCObject>();
  InitState(dc->st);
  dc->st.bitmapH = Stocks().monoBitmap;
  dc->st.bitmap = Find<BitmapObject>(dc->st.bitmapH, OBJ_BITMAP);
  return reinterpret_cast<HDC>(AddObject(dc));
}

namespace {

void ReleaseSelection(DCObject& dc) {
  if (dc.st.bitmap) dc.st.bitmap->selected--;
}

}  // namespace

BOOL DeleteDC(HDC h) {
  auto dc = FindDC(h);
  if (!dc) return FALSE;
  ReleaseSelection(*dc);
  Table().Remove(H(h));
  return TRUE;
}

HDC GetDC(HWND hwnd) {
  if (!hwnd) {
    WindowSurface ws;
    ws.surface = ScreenSurface();
    if (!ws.surface) return nullptr;
    ws.visible = RECT{0, 0, ws.surface->Width(), ws.surface->Height()};
    return CreateSurfaceDC(ws, nullptr);
  }
  WindowDCProvider provider;
  {
    auto& s = TheScreen();
    std::lock_guard g(s.lock);
    provider = s.provider;
  }
  WindowSurface ws;
  if (!provider || !provider(hwnd, false, ws) || !ws.surface) return nullptr;
  return CreateSurfaceDC(ws, hwnd);
}

HDC GetWindowDC(HWND hwnd) {
  if (!hwnd) return GetDC(nullptr);
  WindowDCProvider provider;
  {
    auto& s = TheScreen();
    std::lock_guard g(s.lock);
    provider = s.provider;
  }
  WindowSurface ws;
  if (!provider || !provider(hwnd, true, ws) || !ws.surface) return nullptr;
  return CreateSurfaceDC(ws, hwnd);
}

int ReleaseDC(HWND, HDC h) {
  auto dc = FindDC(h);
  if (!dc || dc->type != OBJ_DC) return 0;
  Table().Remove(H(h));
  return 1;
}

HWND WindowFromDC(HDC h) {
  auto dc = FindDC(h);
  return dc ? dc->hwnd : nullptr;
}

HGDIOBJ SelectObject(HDC h, GdiObjectArg arg) {
  auto dc = FindDC(h);
  auto o = FindObject(arg.h);
  if (!dc || !o) return nullptr;
  DCState& st = dc->st;
  HGDIOBJ old = nullptr;
  switch (o->type) {
    case OBJ_PEN:
      old = st.penH;
      st.pen = std::static_pointer_cast<PenObject>(o);
      st.penH = arg.h;
      return old;
    case OBJ_BRUSH:
      old = st.brushH;
      st.brush = std::static_pointer_cast<BrushObject>(o);
      st.brushH = arg.h;
      return old;
    case OBJ_FONT:
      old = st.fontH;
      st.font = std::static_pointer_cast<FontObject>(o);
      st.fontH = arg.h;
      return old;
    case OBJ_BITMAP: {
      if (dc->fixed) return nullptr;
      auto bm = std::static_pointer_cast<BitmapObject>(o);
      if (!bm->surface) return nullptr;
      old = st.bitmapH;
      ReleaseSelection(*dc);
      st.bitmap = bm;
      st.bitmapH = arg.h;
      bm->selected++;
      dc->InvalidateClip();
      return old;
    }
    case OBJ_REGION:
      return reinterpret_cast<HGDIOBJ>(intptr_t(SelectClipRgn(h, reinterpret_cast<HRGN>(arg.h))));
    default: return nullptr;
  }
}

HGDIOBJ GetCurrentObject(HDC h, UINT type) {
  auto dc = FindDC(h);
  if (!dc) return nullptr;
  switch (type) {
    case OBJ_PEN: return dc->st.penH;
    case OBJ_BRUSH: return dc->st.brushH;
    case OBJ_FONT: return dc->st.fontH;
    case OBJ_PAL: return dc->st.paletteH;
    case OBJ_BITMAP: return dc->st.bitmapH;
    default: return nullptr;
  }
}

int SaveDC(HDC h) {
  auto dc = FindDC(h);
  if (!dc) return 0;
  dc->saved.push_back(dc->st);
  return int(dc->saved.size());
}

BOOL RestoreDC(HDC h, int level) {
  auto dc = FindDC(h);
  if (!dc) return FALSE;
  const int n = int(dc->saved.size());
  const int target = level < 0 ? n + level + 1 : level;  // 1-based level to restore
  if (target < 1 || target > n) return FALSE;
  ReleaseSelection(*dc);
  dc->st = dc->saved[size_t(target - 1)];
  dc->saved.resize(size_t(target - 1));
  if (dc->st.bitmap) dc->st.bitmap->selected++;
  dc->InvalidateClip();
  return TRUE;
}

int GetDeviceCaps(HDC h, int index) {
  auto dc = FindDC(h);
  if (!dc) return 0;
  auto& s = TheScreen();
  int bpp, w, hgt;
  {
    std::lock_guard g(s.lock);
    bpp = s.bpp, w = s.width, hgt = s.height;
  }
  switch (index) {
    case TECHNOLOGY: return DT_RASDISPLAY;
    case HORZRES: return w;
    case VERTRES: return hgt;
    case HORZSIZE: return w * 254 / 960;
    case VERTSIZE: return hgt * 254 / 960;
    case BITSPIXEL: return bpp;
    case PLANES: return 1;
    case NUMCOLORS: return bpp <= 8 ? 20 : -1;
    case NUMBRUSHES: return -1;
    case NUMPENS: return -1;
    case NUMFONTS: return 0;
    case RASTERCAPS:
      return RC_BITBLT | RC_DI_BITMAP | RC_STRETCHBLT | RC_STRETCHDIB | (bpp <= 8 ? RC_PALETTE : 0);
    case LOGPIXELSX:
    case LOGPIXELSY: return 96;
    case SIZEPALETTE: return bpp <= 8 ? 1 << bpp : 0;
    case NUMRESERVED: return bpp <= 8 ? 20 : 0;
    case COLORRES: return bpp <= 8 ? 18 : 24;
    default: return 0;
  }
}

// ---- Plain state ----

#define VX_DC_ACCESSORS(Type, Set, Get, field, fail)       \
  Type Set(HDC h, Type v) {                                \
    auto dc = FindDC(h);                                   \
    if (!dc) return fail;                                  \
    Type old = dc->st.field;                               \
    dc->st.field = v;                                      \
    return old;                                            \
  }                                                        \
  Type Get(HDC h) {                                        \
    auto dc = FindDC(h);                                   \
    return dc ? dc->st.field : fail;                       \
  }

VX_DC_ACCESSORS(COLORREF, SetTextColor, GetTextColor, textColor, CLR_INVALID)
VX_DC_ACCESSORS(COLORREF, SetBkColor, GetBkColor, bkColor, CLR_INVALID)
VX_DC_ACCESSORS(int, SetBkMode, GetBkMode, bkMode, 0)
VX_DC_ACCESSORS(int, SetROP2, GetROP2, rop2, 0)
VX_DC_ACCESSORS(int, SetPolyFillMode, GetPolyFillMode, polyFillMode, 0)
VX_DC_ACCESSORS(int, SetStretchBltMode, GetStretchBltMode, stretchMode, 0)
VX_DC_ACCESSORS(UINT, SetTextAlign, GetTextAlign, textAlign, GDI_ERROR)
VX_DC_ACCESSORS(int, SetMapMode, GetMapMode, mapMode, 0)
VX_DC_ACCESSORS(COLORREF, SetDCBrushColor, GetDCBrushColor, dcBrushColor, CLR_INVALID)
VX_DC_ACCESSORS(COLORREF, SetDCPenColor, GetDCPenColor, dcPenColor, CLR_INVALID)
#undef VX_DC_ACCESSORS

namespace {

BOOL SetPoint(HDC h, POINT DCState::*field, int x, int y, POINT* old, bool relative) {
  auto dc = FindDC(h);
  if (!dc) return FALSE;
  POINT& p = dc->st.*field;
  if (old) *old = p;
  if (relative)
    p.x += x, p.y += y;
  else
    p = POINT{x, y};
  return TRUE;
}

BOOL GetPoint(HDC h, POINT DCState::*field, POINT* out) {
  auto dc = FindDC(h);
  if (!dc || !out) return FALSE;
  *out = dc->st.*field;
  return TRUE;
}

}  // namespace

BOOL SetViewportOrgEx(HDC h, int x, int y, POINT* old) { return SetPoint(h, &DCState::viewportOrg, x, y, old, false); }
BOOL GetViewportOrgEx(HDC h, POINT* p) { return GetPoint(h, &DCState::viewportOrg, p); }
BOOL OffsetViewportOrgEx(HDC h, int dx, int dy, POINT* old) {
  return SetPoint(h, &DCState::viewportOrg, dx, dy, old, true);
}
BOOL SetWindowOrgEx(HDC h, int x, int y, POINT* old) { return SetPoint(h, &DCState::windowOrg, x, y, old, false); }
BOOL GetWindowOrgEx(HDC h, POINT* p) { return GetPoint(h, &DCState::windowOrg, p); }
BOOL OffsetWindowOrgEx(HDC h, int dx, int dy, POINT* old) {
  return SetPoint(h, &DCState::windowOrg, dx, dy, old, true);
}
BOOL SetBrushOrgEx(HDC h, int x, int y, POINT* old) { return SetPoint(h, &DCState::brushOrg, x, y, old, false); }
BOOL GetBrushOrgEx(HDC h, POINT* p) { return GetPoint(h, &DCState::brushOrg, p); }
BOOL GetCurrentPositionEx(HDC h, POINT* p) { return GetPoint(h, &DCState::pos, p); }

BOOL LPtoDP(HDC h, POINT* pts, int count) {
  auto dc = FindDC(h);
  if (!dc || !pts) return FALSE;
  for (int i = 0; i < count; ++i) {
    pts[i].x += dc->st.viewportOrg.x - dc->st.windowOrg.x;
    pts[i].y += dc->st.viewportOrg.y - dc->st.windowOrg.y;
  }
  return TRUE;
}

BOOL DPtoLP(HDC h, POINT* pts, int count) {
  auto dc = FindDC(h);
  if (!dc || !pts) return FALSE;
  for (int i = 0; i < count; ++i) {
    pts[i].x -= dc->st.viewportOrg.x - dc->st.windowOrg.x;
    pts[i].y -= dc->st.viewportOrg.y - dc->st.windowOrg.y;
  }
  return TRUE;
}

// ---- Clipping ----

namespace {

RECT ToDevice(const DCObject& dc, int l, int t, int r, int b) {
  const int dx = dc.st.viewportOrg.x - dc.st.windowOrg.x, dy = dc.st.viewportOrg.y - dc.st.windowOrg.y;
  RECT q{std::min(l, r) + dx, std::min(t, b) + dy, std::max(l, r) + dx, std::max(t, b) + dy};
  return q;
}

int SetClip(DCObject& dc, Region r) {
  dc.st.clip = std::move(r);
  dc.InvalidateClip();
  return dc.Clip().Kind();
}

}  // namespace

int IntersectClipRect(HDC h, int l, int t, int r, int b) {
  auto dc = FindDC(h);
  if (!dc) return ERROR;
  const Region rect(ToDevice(*dc, l, t, r, b));
  return SetClip(*dc, dc->st.clip ? Region::Combine(*dc->st.clip, rect, RGN_AND) : rect);
}

int ExcludeClipRect(HDC h, int l, int t, int r, int b) {
  auto dc = FindDC(h);
  if (!dc) return ERROR;
  const Region rect(ToDevice(*dc, l, t, r, b));
  return SetClip(*dc, Region::Combine(dc->st.clip ? *dc->st.clip : Region(kEverything), rect, RGN_DIFF));
}

int OffsetClipRgn(HDC h, int dx, int dy) {
  auto dc = FindDC(h);
  if (!dc) return ERROR;
  if (!dc->st.clip) return dc->Clip().Kind();
  Region r = *dc->st.clip;
  r.Offset(dx, dy);
  return SetClip(*dc, std::move(r));
}

int ExtSelectClipRgn(HDC h, HRGN rgn, int mode) {
  auto dc = FindDC(h);
  if (!dc) return ERROR;
  auto ro = Find<RegionObject>(H(rgn), OBJ_REGION);
  if (!ro) {
    if (mode != RGN_COPY) return ERROR;
    dc->st.clip.reset();
    dc->InvalidateClip();
    return dc->Clip().Kind();
  }
  if (mode == RGN_COPY) return SetClip(*dc, ro->rgn);
  return SetClip(*dc, Region::Combine(dc->st.clip ? *dc->st.clip : Region(kEverything), ro->rgn, mode));
}

int SelectClipRgn(HDC h, HRGN rgn) { return ExtSelectClipRgn(h, rgn, RGN_COPY); }

int GetClipBox(HDC h, RECT* out) {
  auto dc = FindDC(h);
  if (!dc || !out) return ERROR;
  const Region& c = dc->Clip();
  RECT b = c.Box();
  const int dx = dc->origin.x + dc->st.viewportOrg.x - dc->st.windowOrg.x;
  const int dy = dc->origin.y + dc->st.viewportOrg.y - dc->st.windowOrg.y;
  *out = RECT{b.left - dx, b.top - dy, b.right - dx, b.bottom - dy};
  return c.Kind();
}

int GetClipRgn(HDC h, HRGN rgn) {
  auto dc = FindDC(h);
  auto ro = Find<RegionObject>(H(rgn), OBJ_REGION);
  if (!dc || !ro) return -1;
  if (!dc->st.clip) return 0;
  ro->rgn = *dc->st.clip;
  return 1;
}

BOOL PtVisible(HDC h, int x, int y) {
  auto dc = FindDC(h);
  if (!dc) return FALSE;
  return dc->Clip().Contains(dc->SX(x), dc->SY(y)) ? TRUE : FALSE;
}

BOOL RectVisible(HDC h, const RECT* r) {
  auto dc = FindDC(h);
  if (!dc || !r) return FALSE;
  RECT q{dc->SX(r->left), dc->SY(r->top), dc->SX(r->right), dc->SY(r->bottom)};
  return dc->Clip().Intersects(q) ? TRUE : FALSE;
}

// ---- Regions ----

HRGN CreateRectRgn(int l, int t, int r, int b) {
  auto o = std::make_shared<RegionObject>();
  o->rgn = Region(RECT{std::min(l, r), std::min(t, b), std::max(l, r), std::max(t, b)});
  return reinterpret_cast<HRGN>(AddObject(o));
}

HRGN CreateRectRgnIndirect(const RECT* r) { return r ? CreateRectRgn(r->left, r->top, r->right, r->bottom) : nullptr; }

int CombineRgn(HRGN dest, HRGN src1, HRGN src2, int mode) {
  auto d = Find<RegionObject>(H(dest), OBJ_REGION);
  auto a = Find<RegionObject>(H(src1), OBJ_REGION);
  if (!d || !a) return ERROR;
  if (mode == RGN_COPY) {
    d->rgn = a->rgn;
    return d->rgn.Kind();
  }
  auto b = Find<RegionObject>(H(src2), OBJ_REGION);
  if (!b || mode < RGN_AND || mode > RGN_DIFF) return ERROR;
  d->rgn = Region::Combine(a->rgn, b->rgn, mode);
  return d->rgn.Kind();
}

int OffsetRgn(HRGN rgn, int dx, int dy) {
  auto o = Find<RegionObject>(H(rgn), OBJ_REGION);
  if (!o) return ERROR;
  o->rgn.Offset(dx, dy);
  return o->rgn.Kind();
}

int GetRgnBox(HRGN rgn, RECT* r) {
  auto o = Find<RegionObject>(H(rgn), OBJ_REGION);
  if (!o || !r) return ERROR;
  *r = o->rgn.Box();
  return o->rgn.Kind();
}

BOOL SetRectRgn(HRGN rgn, int l, int t, int r, int b) {
  auto o = Find<RegionObject>(H(rgn), OBJ_REGION);
  if (!o) return FALSE;
  o->rgn = Region(RECT{std::min(l, r), std::min(t, b), std::max(l, r), std::max(t, b)});
  return TRUE;
}

BOOL PtInRegion(HRGN rgn, int x, int y) {
  auto o = Find<RegionObject>(H(rgn), OBJ_REGION);
  return o && o->rgn.Contains(x, y) ? TRUE : FALSE;
}

BOOL RectInRegion(HRGN rgn, const RECT* r) {
  auto o = Find<RegionObject>(H(rgn), OBJ_REGION);
  return o && r && o->rgn.Intersects(*r) ? TRUE : FALSE;
}

BOOL EqualRgn(HRGN a, HRGN b) {
  auto x = Find<RegionObject>(H(a), OBJ_REGION);
  auto y = Find<RegionObject>(H(b), OBJ_REGION);
  return x && y && x->rgn == y->rgn ? TRUE : FALSE;
}

namespace {

BOOL PaintRegion(HDC h, HRGN rgn, const BrushObject* brush, uint8_t rop) {
  auto dc = FindDC(h);
  auto o = Find<RegionObject>(H(rgn), OBJ_REGION);
  if (!dc || !o) return FALSE;
  Surface* s = dc->Target();
  if (!s) return FALSE;
  Region r = o->rgn;
  r.Offset(dc->origin.x + dc->st.viewportOrg.x - dc->st.windowOrg.x,
           dc->origin.y + dc->st.viewportOrg.y - dc->st.windowOrg.y);
  const Region area = Region::Combine(r, dc->Clip(), RGN_AND);
  BrushPaint bp;
  if (brush) {
    MakeBrushPaint(*dc, *brush, *s, rop, bp);
    if (bp.none) return TRUE;
  } else {
    bp.paint.rop = rop;
  }
  for (const RECT& q : area.Rects())
    for (int y = q.top; y < q.bottom; ++y) FillSpan(*s, y, q.left, q.right, bp.paint);
  return TRUE;
}

}  // namespace

BOOL FillRgn(HDC h, HRGN rgn, HBRUSH brush) {
  auto b = Find<BrushObject>(H(brush), OBJ_BRUSH);
  if (!b) return FALSE;
  return PaintRegion(h, rgn, b.get(), Rop3Index(PATCOPY));
}

BOOL InvertRgn(HDC h, HRGN rgn) { return PaintRegion(h, rgn, nullptr, Rop3Index(DSTINVERT)); }

// ---- System colours ----

namespace {

const COLORREF kSysColors[31] = {
    RGB(212, 208, 200),  // scroll bar
    RGB(58, 110, 165),   // background
    RGB(10, 36, 106),    // active caption
    RGB(128, 128, 128),  // inactive caption
    RGB(212, 208, 200),  // menu
    RGB(255, 255, 255),  // window
    RGB(0, 0, 0),        // window frame
    RGB(0, 0, 0),        // menu text
    RGB(0, 0, 0),        // window text
    RGB(255, 255, 255),  // caption text
    RGB(212, 208, 200),  // active border
    RGB(212, 208, 200),  // inactive border
    RGB(128, 128, 128),  // application workspace
    RGB(10, 36, 106),    // highlight
    RGB(255, 255, 255),  // highlight text
    RGB(212, 208, 200),  // button face
    RGB(128, 128, 128),  // button shadow
    RGB(128, 128, 128),  // grey text
    RGB(0, 0, 0),        // button text
    RGB(212, 208, 200),  // inactive caption text
    RGB(255, 255, 255),  // button highlight
    RGB(64, 64, 64),     // 3-D dark shadow
    RGB(212, 208, 200),  // 3-D light
    RGB(0, 0, 0),        // info text
    RGB(255, 255, 225),  // info background
    RGB(181, 181, 181),  // (unused index 25)
    RGB(0, 0, 128),      // hot light
    RGB(166, 202, 240),  // gradient active caption
    RGB(192, 192, 192),  // gradient inactive caption
    RGB(49, 106, 197),   // menu highlight
    RGB(236, 233, 216),  // menu bar
};

}  // namespace

DWORD GetSysColor(int index) {
  if (index < 0 || index > COLOR_ENDCOLORS) return 0;
  return kSysColors[index];
}

HBRUSH GetSysColorBrush(int index) {
  static HGDIOBJ* brushes = [] {
    auto* b = new HGDIOBJ[COLOR_ENDCOLORS + 1];
    for (int i = 0; i <= COLOR_ENDCOLORS; ++i) b[i] = StockBrush(kSysColors[i]);
    return b;
  }();
  if (index < 0 || index > COLOR_ENDCOLORS) return nullptr;
  return reinterpret_cast<HBRUSH>(brushes[index]);
}

BOOL GdiFlush() { return TRUE; }
