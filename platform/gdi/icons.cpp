// Icons: a colour picture with a monochrome mask, drawn as (destination AND mask)
// XOR colour.
#include "platform/gdi/dc.h"

namespace vx::gdi {
namespace {

constexpr DWORD kObjIcon = 0x100;

struct IconObject : GdiObject {
  IconObject() : GdiObject(kObjIcon) {}
  std::shared_ptr<Surface> color;  // null: monochrome icon (mask holds both halves)
  std::shared_ptr<Surface> mask;
  DWORD hotX = 0, hotY = 0;
  BOOL isIcon = TRUE;
};

std::shared_ptr<IconObject> FindIcon(HICON h) { return Find<IconObject>(H(h), kObjIcon); }

}  // namespace
}  // namespace vx::gdi

using namespace vx::gdi;

HICON CreateIconIndirect(const ICONINFO* info) {
  if (!info || !info->hbmMask) return nullptr;
  auto mask = SurfaceOf(info->hbmMask);
  if (!mask) return nullptr;
  auto icon = std::make_shared<IconObject>();
  icon->mask = mask->Clone();
  if (info->hbmColor) {
    auto color = SurfaceOf(info->hbmColor);
    if (!color) return nullptr;
    icon->color = color->Clone();
  }
  if (!icon->mask || (info->hbmColor && !icon->color)) return nullptr;
  icon->hotX = info->xHotspot;
  icon->hotY = info->yHotspot;
  icon->isIcon = info->fIcon;
  return reinterpret_cast<HICON>(AddObject(icon));
}

BOOL GetIconInfo(HICON h, ICONINFO* info) {
  auto icon = FindIcon(h);
  if (!icon || !info) return FALSE;
  info->fIcon = icon->isIcon;
  info->xHotspot = icon->hotX;
  info->yHotspot = icon->hotY;
  info->hbmMask = AddBitmap(icon->mask->Clone());
  info->hbmColor = icon->color ? AddBitmap(icon->color->Clone()) : nullptr;
  return TRUE;
}

BOOL DestroyIcon(HICON h) {
  if (!FindIcon(h)) return FALSE;
  return DeleteObject(H(h)) ? TRUE : FALSE;
}

BOOL DrawIconEx(HDC dc, int x, int y, HICON h, int width, int height, UINT, HBRUSH, UINT flags) {
  auto icon = FindIcon(h);
  if (!icon || !FindDC(dc)) return FALSE;
  const int w = icon->mask->Width();
  const int ih = icon->color ? icon->mask->Height() : icon->mask->Height() / 2;
  if (width == 0) width = w;
  if (height == 0) height = ih;
  if (flags == 0) flags = DI_NORMAL;
  HDC mem = CreateCompatibleDC(dc);
  const COLORREF oldText = SetTextColor(dc, RGB(0, 0, 0));
  const COLORREF oldBk = SetBkColor(dc, RGB(255, 255, 255));
  HBITMAP maskBm = AddBitmap(icon->mask->Clone());
  HGDIOBJ old = SelectObject(mem, maskBm);
  if (flags & DI_MASK) StretchBlt(dc, x, y, width, height, mem, 0, 0, w, ih, SRCAND);
  HBITMAP colorBm = nullptr;
  if (flags & DI_IMAGE) {
    if (icon->color) {
      colorBm = AddBitmap(icon->color->Clone());
      SelectObject(mem, colorBm);
      StretchBlt(dc, x, y, width, height, mem, 0, 0, w, ih, SRCINVERT);
    } else {
      StretchBlt(dc, x, y, width, height, mem, 0, ih, w, ih, SRCINVERT);
    }
  }
  SelectObject(mem, old);
  DeleteDC(mem);
  DeleteObject(maskBm);
  if (colorBm) DeleteObject(colorBm);
  SetTextColor(dc, oldText);
  SetBkColor(dc, oldBk);
  return TRUE;
}

BOOL DrawIcon(HDC dc, int x, int y, HICON icon) { return DrawIconEx(dc, x, y, icon, 0, 0, 0, nullptr, DI_NORMAL); }
