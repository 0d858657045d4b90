#include "codecs/gif/GifDIB.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

// Largest pixel block a writer allocates.
constexpr int64_t kMaxDIBBytes = int64_t{1} << 30;

constexpr int kInfoHeaderSize = int(sizeof(BITMAPINFOHEADER));

int BitCountOf(TPixelFormat PixelFormat) {
  switch (PixelFormat) {
    case pf1bit: return 1;
    case pf4bit: return 4;
    case pf8bit: return 8;
    case pf24bit: return 24;
    default: RaiseGIFError(sInvalidPixelFormat);
  }
}

// The header describing Bitmap in PixelFormat: the DIB section's own header when it
// is one, else a fresh header of its size.
BITMAPINFOHEADER PrepareHeader(HBITMAP Bitmap, TPixelFormat PixelFormat) {
  DIBSECTION ds{};
  const int got = GetObject(Bitmap, sizeof ds, &ds);
  if (got == 0) RaiseGIFError(GraphicsText::InvalidBitmap);
  BITMAPINFOHEADER h{};
  if (got < int(sizeof ds) || ds.dsBmih.biSize < sizeof(BITMAPINFOHEADER)) {
    h.biSize = sizeof(BITMAPINFOHEADER);
    h.biWidth = ds.dsBm.bmWidth;
    h.biHeight = ds.dsBm.bmHeight;
  } else {
    h = ds.dsBmih;
  }
  h.biBitCount = WORD(BitCountOf(PixelFormat));
  h.biPlanes = 1;
  h.biCompression = BI_RGB;
  h.biSizeImage = DWORD(AlignedRowSize(h.biWidth, h.biBitCount, 32) * std::llabs(h.biHeight));
  return h;
}

}  // namespace

// ---- TDIBReader ----

TDIBReader::TDIBReader(TBitmap* ABitmap, TPixelFormat APixelFormat) : TDIB(ABitmap, APixelFormat), FSource(ABitmap) {
  if (ABitmap->PixelFormat() != APixelFormat) {
    FCopy = std::make_unique<TBitmap>();
    FCopy->Assign(ABitmap);
    FCopy->SetPixelFormat(APixelFormat);
    FSource = FCopy.get();
  }
}

TDIBReader::~TDIBReader() = default;

void* TDIBReader::RowAddress(int Row) { return FSource->ScanLine(Row); }

// ---- TDIBWriter ----

TDIBWriter::TDIBWriter(TBitmap* ABitmap, HPALETTE APalette, int AWidth, int AHeight, TPixelFormat APixelFormat)
    : TDIB(ABitmap, APixelFormat), FPalette(APalette), FHeight(AHeight), FWidth(AWidth) {
  if (APixelFormat != pf8bit && APixelFormat != pf24bit) RaiseGIFError(sInvalidPixelFormat);
  if (AWidth <= 0 || AHeight == 0) RaiseGIFError(sBadDimension);
}

TDIBWriter::~TDIBWriter() {
  try {
    Store();
  } catch (const Exception&) {
    // A writer freed on an error path stores what it can; that error is the one
    // that counts.
  }
}

void TDIBWriter::FreeDIB() {
  if (FDIB) DeleteObject(FDIB);
  FDIB = nullptr;
  FDIBBits = nullptr;
}

void TDIBWriter::CreateDIB() {
  FreeDIB();
  const bool indexed = FPixelFormat == pf8bit;
  const int bitCount = indexed ? 8 : 24;
  if (AlignedRowSize(FWidth, bitCount, 32) * std::llabs(int64_t(FHeight)) > kMaxDIBBytes)
    throw EOutOfMemory(sOutOfMemDIB);
  std::unique_ptr<uint8_t[]> block(new uint8_t[size_t(kInfoHeaderSize + 256 * sizeof(RGBQUAD))]());
  auto* info = reinterpret_cast<BITMAPINFO*>(block.get());
  BITMAPINFOHEADER& h = info->bmiHeader;
  h.biSize = sizeof(BITMAPINFOHEADER);
  h.biWidth = FWidth;
  h.biHeight = FHeight;
  h.biPlanes = 1;
  h.biCompression = BI_RGB;
  h.biSizeImage = 0;
  h.biBitCount = WORD(bitCount);
  if (indexed) {
    int entries = 0;
    if (FPalette) {
      entries = int(std::min<UINT>(GetPaletteEntries(FPalette, 0, 0, nullptr), 256));
      if (entries > 0) {
        GetPaletteEntries(FPalette, 0, UINT(entries), reinterpret_cast<PALETTEENTRY*>(info->bmiColorsPtr()));
        SwapRedBlue(info->bmiColorsPtr(), entries);
      }
    }
    h.biClrUsed = 256;
    h.biClrImportant = DWORD(entries);
  }
  void* bits = nullptr;
  FDIB = CreateDIBSection(nullptr, info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!FDIB || !bits) {
    FreeDIB();
    throw EOutOfMemory(sOutOfMemDIB);
  }
  FDIBBits = static_cast<uint8_t*>(bits);
}

void* TDIBWriter::RowAddress(int Row) {
  if (!FDIB) CreateDIB();
  const int64_t rows = std::llabs(int64_t(FHeight));
  if (Row < 0 || Row >= rows) throw EInvalidGraphicOperation(GraphicsText::ScanLine);
  GdiFlush();
  const int64_t stride = AlignedRowSize(FWidth, FPixelFormat == pf8bit ? 8 : 24, 32);
  const int64_t at = FHeight > 0 ? rows - 1 - Row : Row;
  return FDIBBits + at * stride;
}

void TDIBWriter::Store() {
  if (!FDIB) return;
  HBITMAP dib = FDIB;
  FDIB = nullptr;
  FDIBBits = nullptr;
  // The bitmap takes the DIB as a loaded picture would come: its own palette goes,
  // and a palette is made from the DIB's colour table when asked for.
  if (HPALETTE old = FBitmap->ReleasePalette()) DeleteObject(old);
  FBitmap->SetHandle(dib);
  if (FBitmap->Handle() != dib) DeleteObject(dib);
}

// ---- Helpers ----

void SwapRedBlue(void* Entries, int Count) {
  auto* p = static_cast<uint8_t*>(Entries);
  for (int i = 0; i < Count; ++i, p += 4) {
    std::swap(p[0], p[2]);
    p[3] = 0;
  }
}

void InternalGetDIBSizes(HBITMAP Bitmap, int& InfoHeaderSize, int& ImageSize, TPixelFormat PixelFormat) {
  const BITMAPINFOHEADER h = PrepareHeader(Bitmap, PixelFormat);
  InfoHeaderSize = kInfoHeaderSize + (h.biBitCount <= 8 ? int(sizeof(RGBQUAD)) << h.biBitCount : 0);
  ImageSize = int(h.biSizeImage);
}

bool InternalGetDIB(HBITMAP Bitmap, HPALETTE Palette, BITMAPINFO& BitmapInfo, void* Bits, TPixelFormat PixelFormat) {
  BitmapInfo.bmiHeader = PrepareHeader(Bitmap, PixelFormat);
  HDC dc = CreateCompatibleDC(nullptr);
  if (!dc) throw EOutOfResources(GraphicsText::OutOfResources);
  HPALETTE old = nullptr;
  if (Palette) {
    old = SelectPalette(dc, Palette, FALSE);
    RealizePalette(dc);
  }
  const int rows = int(std::llabs(BitmapInfo.bmiHeader.biHeight));
  const bool ok = GetDIBits(dc, Bitmap, 0, UINT(rows), Bits, &BitmapInfo, DIB_RGB_COLORS) != 0;
  if (old) SelectPalette(dc, old, FALSE);
  DeleteDC(dc);
  return ok;
}
