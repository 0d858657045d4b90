// The picture as a graphic of the framework: drawing with bit or per-pixel
// transparency, the palette, copying to and from bitmaps, the clipboard,
// resources and the registration with the picture class.
#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "codecs/png/PngImage.h"
#include "platform/win/resources.h"

// ---------------------------------------------------------------------------------
// Drawing

namespace {

// Releases GDI objects and device contexts made while drawing, on every path.
struct DcHolder {
  HDC dc = nullptr;
  HGDIOBJ old = nullptr;
  HGDIOBJ object = nullptr;
  ~DcHolder() {
    if (dc && old) SelectObject(dc, old);
    if (object) DeleteObject(object);
    if (dc) DeleteDC(dc);
  }
  void Select(GdiObjectArg Object) {
    object = Object.h;
    old = SelectObject(dc, Object);
  }
};

constexpr DWORD kDestAndNotSource = 0x00220326;  // DSna

}  // namespace

void DrawTransparentBitmap(HDC DC, const void* Bits, const BITMAPINFO* Info, COLORREF Color,
                           const TRect& Rect) {
  const int width = std::abs(Info->bmiHeader.biWidth);
  const int height = std::abs(Info->bmiHeader.biHeight);
  const int w = Rect.right - Rect.left;
  const int h = Rect.bottom - Rect.top;
  if (w == 0 || h == 0 || width == 0 || height == 0) return;
  const int aw = std::abs(w), ah = std::abs(h);

  // The picture as a bitmap of the device.
  DcHolder source{CreateCompatibleDC(DC)};
  source.Select(CreateDIBitmap(DC, &Info->bmiHeader, CBM_INIT, Bits, Info, DIB_RGB_COLORS));
  // The picture stretched to the rectangle.
  DcHolder stretched{CreateCompatibleDC(DC)};
  stretched.Select(CreateCompatibleBitmap(DC, aw, ah));
  StretchBlt(stretched.dc, 0, 0, aw, ah, source.dc, 0, 0, width, height, SRCCOPY);
  // The mask: white where the stretched picture has the transparent colour.
  DcHolder mask{CreateCompatibleDC(DC)};
  mask.Select(CreateBitmap(aw, ah, 1, 1, nullptr));
  SetBkColor(stretched.dc, Color);
  BitBlt(mask.dc, 0, 0, aw, ah, stretched.dc, 0, 0, SRCCOPY);
  // A copy of the destination keeps its pixels under the mask; the picture fills the rest.
  DcHolder canvas{CreateCompatibleDC(DC)};
  canvas.Select(CreateCompatibleBitmap(DC, aw, ah));
  SetBkColor(canvas.dc, RGB(255, 255, 255));
  SetTextColor(canvas.dc, RGB(0, 0, 0));
  SetBkColor(stretched.dc, RGB(255, 255, 255));
  SetTextColor(stretched.dc, RGB(0, 0, 0));
  const int left = std::min(Rect.left, Rect.right), top = std::min(Rect.top, Rect.bottom);
  BitBlt(canvas.dc, 0, 0, aw, ah, DC, left, top, SRCCOPY);
  BitBlt(canvas.dc, 0, 0, aw, ah, mask.dc, 0, 0, SRCAND);
  BitBlt(stretched.dc, 0, 0, aw, ah, mask.dc, 0, 0, kDestAndNotSource);
  BitBlt(canvas.dc, 0, 0, aw, ah, stretched.dc, 0, 0, SRCPAINT);
  BitBlt(DC, left, top, aw, ah, canvas.dc, 0, 0, SRCCOPY);
}

void TPNGObject::Draw(TCanvas* ACanvas, const TRect& Rect) {
  if (Empty() || !HeaderPresent()) return;
  TChunkIHDR* header = GetHeader();
  HDC dc = ACanvas->Handle();
  switch (GetTransparencyMode()) {
    case ptmBit:
      DrawTransparentBitmap(dc, header->ImageData(), header->BitmapInfoPtr(),
                            COLORREF(ColorToRGB(TColor(GetTransparentColor()))), Rect);
      break;
    case ptmPartial:
      DrawPartialTrans(dc, Rect);
      break;
    default:
      SetStretchBltMode(dc, COLORONCOLOR);
      StretchDIBits(dc, Rect.left, Rect.top, Rect.right - Rect.left, Rect.bottom - Rect.top, 0, 0,
                    int(header->Width), int(header->Height), header->ImageData(),
                    header->BitmapInfoPtr(), DIB_RGB_COLORS, SRCCOPY);
      break;
  }
}

void TPNGObject::DrawPartialTrans(HDC DC, const TRect& R) {
  TRect rect = R;
  if (rect.right < rect.left) std::swap(rect.left, rect.right);
  if (rect.bottom < rect.top) std::swap(rect.top, rect.bottom);
  const int w = rect.right - rect.left, h = rect.bottom - rect.top;
  if (w == 0 || h == 0 || !HeaderPresent()) return;
  TChunkIHDR* header = GetHeader();
  const uint32_t width = header->Width, height = header->Height;

  // A 32-bit top-down copy of the destination area to blend into.
  BITMAPINFO256 info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = w;
  info.bmiHeader.biHeight = -h;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  DcHolder buffer{CreateCompatibleDC(nullptr)};
  if (!buffer.dc) RaiseError<EPNGOutMemory>(EPNGOutMemoryText);
  void* bits = nullptr;
  HBITMAP section = CreateDIBSection(buffer.dc, info.get(), DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!section || !bits) {
    if (section) DeleteObject(section);
    RaiseError<EPNGOutMemory>(EPNGOutMemoryText);
  }
  buffer.Select(section);
  BitBlt(buffer.dc, 0, 0, w, h, DC, rect.left, rect.top, SRCCOPY);

  // Source column and row of each destination column and row.
  std::vector<uint32_t> columns(w), rows(h);
  for (int i = 0; i < w; ++i)
    columns[i] = w == int(width) ? uint32_t(i) : std::min(width - 1, uint32_t(int64_t(i) * width / w));
  for (int j = 0; j < h; ++j)
    rows[j] = h == int(height) ? uint32_t(j) : std::min(height - 1, uint32_t(int64_t(j) * height / h));

  const auto blend = [](uint8_t& d, uint8_t v, uint32_t a) {
    d = uint8_t((v * a + (255 - a) * d + 255) >> 8);
  };
  const RGBQUAD* colors = header->BitmapInfo().bmiColors;
  const int bitmapBits = header->BitmapBits();
  auto* trns = chunks_.Find<TChunktRNS>();
  for (int j = 0; j < h; ++j) {
    const uint8_t* source = GetScanline(int(rows[j]));
    const uint8_t* alpha = GetAlphaScanline(int(rows[j]));
    uint8_t* dest = static_cast<uint8_t*>(bits) + size_t(j) * w * 4;
    for (int i = 0; i < w; ++i, dest += 4) {
      const uint32_t s = columns[i];
      uint32_t a;
      uint8_t b, g, r;
      if (header->ColorType == 6 && alpha) {
        a = alpha[s];
        b = source[3 * s], g = source[3 * s + 1], r = source[3 * s + 2];
      } else if (header->ColorType == 4 && alpha) {
        a = alpha[s];
        const RGBQUAD& e = colors[source[s]];
        b = e.rgbBlue, g = e.rgbGreen, r = e.rgbRed;
      } else if (trns && bitmapBits <= 8) {
        int perByte = 8 / bitmapBits;
        int index = (source[s / perByte] >> (8 - bitmapBits - bitmapBits * int(s % perByte))) &
                    (0xFF >> (8 - bitmapBits));
        a = trns->PaletteValues[index];
        const RGBQUAD& e = colors[index];
        b = e.rgbBlue, g = e.rgbGreen, r = e.rgbRed;
      } else {
        continue;
      }
      if (a == 0) continue;
      if (a == 255) {
        dest[0] = b, dest[1] = g, dest[2] = r;
      } else {
        blend(dest[0], b, a);
        blend(dest[1], g, a);
        blend(dest[2], r, a);
      }
    }
  }
  BitBlt(DC, rect.left, rect.top, w, h, buffer.dc, 0, 0, SRCCOPY);
}

// ---------------------------------------------------------------------------------
// Palette

HPALETTE TPNGObject::GetPalette() {
  if (!paletteHandle_ && HeaderPresent()) {
    TChunkIHDR* header = GetHeader();
    if (header->ColorType == 0 || header->ColorType == 3) {
      LOGPALETTE256 palette;
      palette.palVersion = 0x300;
      palette.palNumEntries = 256;
      for (int i = 0; i < 256; ++i) {
        const RGBQUAD& e = header->BitmapInfo().bmiColors[i];
        palette.palPalEntry[i] = PALETTEENTRY{e.rgbRed, e.rgbGreen, e.rgbBlue, 0};
      }
      paletteHandle_ = CreatePalette(palette.get());
    }
  }
  return paletteHandle_;
}

void TPNGObject::FreePaletteHandle() {
  if (paletteHandle_) DeleteObject(paletteHandle_);
  paletteHandle_ = nullptr;
}

// ---------------------------------------------------------------------------------
// Copying to and from bitmaps

void TPNGObject::Assign(TPersistent* Source) {
  if (!Source) {
    ClearChunks();
  } else if (auto* png = As<TPNGObject>(Source)) {
    AssignPNG(png);
  } else if (auto* bitmap = As<TBitmap>(Source)) {
    AssignHandle(bitmap->Handle(), bitmap->Transparent(),
                 COLORREF(ColorToRGB(bitmap->TransparentColor())));
  } else {
    TGraphic::Assign(Source);
  }
}

void TPNGObject::AssignTo(TPersistent* Dest) {
  if (auto* png = As<TPNGObject>(Dest)) {
    png->AssignPNG(this);
  } else if (auto* bitmap = As<TBitmap>(Dest)) {
    if (!HeaderPresent()) return;
    TChunkIHDR* header = GetHeader();
    HDC screen = GetDC(nullptr);
    HBITMAP handle = CreateDIBitmap(screen, &header->BitmapInfo().bmiHeader, CBM_INIT,
                                    header->ImageData(), header->BitmapInfoPtr(), DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    bitmap->SetHandle(handle);
    if (GetTransparencyMode() == ptmBit) {
      bitmap->SetTransparentColor(TColor(GetTransparentColor()));
      bitmap->SetTransparent(true);
    }
  } else {
    TGraphic::AssignTo(Dest);
  }
}

void TPNGObject::AssignHandle(HBITMAP Handle, bool Transparent, COLORREF TransparentColor) {
  BITMAP bm;
  ClearChunks();
  // An empty bitmap gives an empty picture.
  if (!Handle || GetObject(Handle, sizeof bm, &bm) == 0 || bm.bmWidth <= 0 || bm.bmHeight == 0) return;
  auto* header = static_cast<TChunkIHDR*>(chunks_.Append(TChunkIHDR::ChunkClass()->New(this)));
  const int bits = bm.bmBitsPixel;
  header->Width = uint32_t(bm.bmWidth);
  header->Height = uint32_t(std::abs(bm.bmHeight));
  header->BitDepth = uint8_t(bits < 16 ? bits : 8);
  header->ColorType = bits < 16 ? 3 : 2;
  header->CompressionMethod = 0;
  header->FilterMethod = 0;
  header->InterlaceMethod = 0;
  header->PrepareImageData();
  TChunkPLTE* plte = nullptr;
  if (bits < 16) plte = static_cast<TChunkPLTE*>(chunks_.Append(TChunkPLTE::ChunkClass()->New(this)));
  TChunktRNS* trns = nullptr;
  if (Transparent)
    trns = static_cast<TChunktRNS*>(chunks_.Append(TChunktRNS::ChunkClass()->New(this)));
  chunks_.Append(TChunkIDAT::ChunkClass()->New(this));
  chunks_.Append(TChunkIEND::ChunkClass()->New(this));

  HDC dc = CreateCompatibleDC(nullptr);
  GetDIBits(dc, Handle, 0, header->Height, header->ImageData(), header->BitmapInfoPtr(),
            DIB_RGB_COLORS);
  DeleteDC(dc);
  if (plte) plte->SetCount(1 << bits);
  // The colour table is filled now, so the colour can be found in it.
  if (trns) trns->SetTransparentColor(TransparentColor);
}

// ---------------------------------------------------------------------------------
// Clipboard

void TPNGObject::SaveToClipboardFormat(uint16_t& AFormat, HANDLE& AData, HPALETTE& APalette) {
  TBitmap bitmap;
  bitmap.SetSize(Width(), Height());
  Draw(bitmap.Canvas(), Rect(0, 0, Width(), Height()));
  bitmap.SaveToClipboardFormat(AFormat, AData, APalette);
}

void TPNGObject::LoadFromClipboardFormat(uint16_t AFormat, HANDLE AData, HPALETTE APalette) {
  TBitmap bitmap;
  bitmap.LoadFromClipboardFormat(AFormat, AData, APalette);
  AssignHandle(bitmap.Handle(), false, 0);
}

// ---------------------------------------------------------------------------------
// Resources

namespace {
// The stream of a module's resource of the given type, or null when there is none.
std::unique_ptr<TStream> OpenResource(HINSTANCE Instance, const std::string& Name, const char* Type) {
  if (!FindResource(Instance, Name.c_str(), Type)) return nullptr;
  return std::make_unique<TResourceStream>(Instance, Name, Type);
}

// Pictures are stored as raw data; the program's own artwork carries the type "PNG".
constexpr const char* kPngResourceType = "PNG";
}  // namespace

void TPNGObject::LoadFromResourceName(HINSTANCE Instance, const std::string& Name) {
  std::unique_ptr<TStream> stream;
  try {
    stream = OpenResource(Instance, Name, RT_RCDATA);
    if (!stream) stream = OpenResource(Instance, Name, kPngResourceType);
  } catch (const Exception&) {
    stream.reset();
  }
  if (!stream) RaiseError<EPNGCouldNotLoadResource>(EPNGCouldNotLoadResourceText);
  LoadFromStream(stream.get());
}

void TPNGObject::LoadFromResourceID(HINSTANCE Instance, int ResID) {
  LoadFromResourceName(Instance, "#" + std::to_string(ResID));
}

// ---------------------------------------------------------------------------------
// Registration with the picture class

namespace {
std::mutex g_unitLock;
int g_unitCount = 0;

// Linked into a program, the codec registers itself at start-up; a package registers
// it from its Initialize (and drops it in its Finalize).
struct PngUnit {
  PngUnit() {
    if (!IsLibrary()) PngImageInitialize();
  }
  ~PngUnit() {
    if (!IsLibrary()) PngImageFinalize();
  }
} g_unit;
}  // namespace

void PngImageInitialize() {
  std::lock_guard guard(g_unitLock);
  if (g_unitCount++ == 0)
    TPicture::RegisterFileFormat("PNG", "Portable Network Graphics", TPNGObject::StaticClass());
}

void PngImageFinalize() {
  std::lock_guard guard(g_unitLock);
  if (g_unitCount > 0 && --g_unitCount == 0) TPicture::UnregisterGraphicClass(TPNGObject::StaticClass());
}
