// Drawing objects behind handles and the state of a device context. Internal to the
// drawing services; other parts of the stand-in layer use the functions at the end
// (window and screen surfaces).
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/gdi/dib.h"
#include "platform/gdi/raster.h"

namespace vx::gdi {

struct FontFace;

struct GdiObject {
  explicit GdiObject(DWORD t) : type(t) {}
  virtual ~GdiObject() = default;
  DWORD type;
  bool stock = false;
};

struct PenObject : GdiObject {
  PenObject() : GdiObject(OBJ_PEN) {}
  LOGPEN lp;
  bool dcPen = false;  // the DC_PEN stock object: colour comes from the DC
};

struct BrushObject : GdiObject {
  BrushObject() : GdiObject(OBJ_BRUSH) {}
  UINT style = BS_SOLID;
  COLORREF color = 0;
  int hatch = 0;
  std::shared_ptr<Surface> pattern;  // BS_PATTERN: a private copy
  bool dcBrush = false;
};

struct FontObject : GdiObject {
  FontObject() : GdiObject(OBJ_FONT) {}
  LOGFONT lf;
  std::shared_ptr<FontFace> face;  // resolved on first use
};

struct NearestIndexCache;

struct PaletteObject : GdiObject {
  PaletteObject();
  ~PaletteObject() override;
  std::vector<PALETTEENTRY> entries;
  // Answers of GetNearestPaletteIndex, dropped whenever the entries change.
  std::unique_ptr<NearestIndexCache> nearest;
};

struct BitmapObject : GdiObject {
  BitmapObject() : GdiObject(OBJ_BITMAP) {}
  std::shared_ptr<Surface> surface;
  int selected = 0;  // device contexts that hold it selected
};

struct RegionObject : GdiObject {
  RegionObject() : GdiObject(OBJ_REGION) {}
  Region rgn;
};

// What a device context draws with, saved and restored as a whole by SaveDC.
struct DCState {
  std::shared_ptr<BitmapObject> bitmap;  // memory DCs
  std::shared_ptr<PenObject> pen;
  std::shared_ptr<BrushObject> brush;
  std::shared_ptr<FontObject> font;
  std::shared_ptr<PaletteObject> palette;
  HGDIOBJ bitmapH = nullptr, penH = nullptr, brushH = nullptr, fontH = nullptr, paletteH = nullptr;
  COLORREF textColor = RGB(0, 0, 0);
  COLORREF bkColor = RGB(255, 255, 255);
  COLORREF dcBrushColor = RGB(255, 255, 255);
  COLORREF dcPenColor = RGB(0, 0, 0);
  int bkMode = OPAQUE;
  int rop2 = R2_COPYPEN;
  int polyFillMode = ALTERNATE;
  int stretchMode = BLACKONWHITE;
  int mapMode = MM_TEXT;
  UINT textAlign = 0;
  POINT viewportOrg, windowOrg, brushOrg, pos;
  std::optional<Region> clip;  // device coordinates; none: no clip region
};

struct DCObject : GdiObject {
  DCObject() : GdiObject(OBJ_MEMDC) {}
  DCState st;
  std::vector<DCState> saved;
  // Window and screen DCs draw on a fixed surface, at an origin inside it and only
  // within the visible rectangle (surface coordinates).
  std::shared_ptr<Surface> fixed;
  POINT origin;
  RECT visible;
  HWND hwnd = nullptr;

  Surface* Target() const { return fixed ? fixed.get() : (st.bitmap ? st.bitmap->surface.get() : nullptr); }
  // Logical point to surface pixel.
  int SX(int x) const { return x - st.windowOrg.x + st.viewportOrg.x + origin.x; }
  int SY(int y) const { return y - st.windowOrg.y + st.viewportOrg.y + origin.y; }
  // The area drawing may touch, in surface coordinates.
  const Region& Clip();
  void InvalidateClip() { clipValid_ = false; }

 private:
  Region clipCache_;
  bool clipValid_ = false;
};

// ---- The handle table ----

HGDIOBJ AddObject(std::shared_ptr<GdiObject> obj);
std::shared_ptr<GdiObject> FindObject(HGDIOBJ h);
template <class T>
std::shared_ptr<T> Find(HGDIOBJ h, DWORD type) {
  auto o = FindObject(h);
  if (!o) return nullptr;
  if (o->type != type && !(type == OBJ_DC && o->type == OBJ_MEMDC)) return nullptr;
  return std::static_pointer_cast<T>(o);
}
std::shared_ptr<DCObject> FindDC(HDC dc);
inline HGDIOBJ H(const void* p) { return reinterpret_cast<HGDIOBJ>(const_cast<void*>(p)); }

// A new bitmap handle for a surface (null for a null surface).
HBITMAP AddBitmap(std::shared_ptr<Surface> s);
// The surface behind a bitmap handle, or null.
std::shared_ptr<Surface> SurfaceOf(HBITMAP bm);

// ---- Helpers shared by the drawing functions ----

// The brush's paint for a destination surface (text and background colours of the
// DC give the colours of monochrome patterns and hatch gaps).
struct BrushPaint {
  Paint paint;
  std::vector<uint32_t> table;
  std::vector<uint8_t> opaque;
  bool none = false;  // the null brush: nothing to paint
};
void MakeBrushPaint(const DCObject& dc, const BrushObject& brush, const Surface& target, uint8_t rop,
                    BrushPaint& out);
// Solid paint of a colour.
Paint SolidPaint(const Surface& target, COLORREF c, uint8_t rop);
COLORREF PenColor(const DCObject& dc);

// ---- Surfaces for windows and the screen ----

struct WindowSurface {
  std::shared_ptr<Surface> surface;
  POINT origin;  // where the DC's (0, 0) lies in the surface
  RECT visible;  // the part of the surface the DC may draw on
};
// The window service answers GetDC/GetWindowDC for windows (whole = the window
// rectangle rather than the client area); without one, only the screen has a DC.
using WindowDCProvider = std::function<bool(HWND hwnd, bool whole, WindowSurface& out)>;
void SetWindowDCProvider(WindowDCProvider provider);
// A device context over a surface (a window's back buffer during painting).
HDC CreateSurfaceDC(const WindowSurface& ws, HWND hwnd);

// The virtual screen's format and size (defaults: 32 bits, 1024 x 768). Tests set 8
// bits to see a palette device.
void SetScreenFormat(int bitsPerPixel, int width, int height);
int ScreenBitsPerPixel();

}  // namespace vx::gdi
