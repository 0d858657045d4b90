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
  FFile.reset();
  FDIBInfoSize = FDIBBitsSize = 0;
}

void TDIBWriter::CreateDIB() {
  FreeDIB();
  const bool indexed = FPixelFormat == pf8bit;
  const int bitCount = indexed ? 8 : 24;
  const int64_t infoSize = kInfoHeaderSize + (indexed ? 256 * int64_t(sizeof(RGBQUAD)) : 0);
  const int64_t size = AlignedRowSize(FWidth, bitCount, 32) * std::llabs(int64_t(FHeight));
  if (size > kMaxDIBBytes) throw EOutOfMemory(sOutOfMemDIB);
  // Zeroed: fresh pages from the system need no clearing.
  FFile.reset(static_cast<uint8_t*>(std::calloc(size_t(int64_t(sizeof(BITMAPFILEHEADER)) + infoSize + size), 1)));
  if (!FFile) throw EOutOfMemory(sOutOfMemDIB);
  FDIBInfoSize = infoSize;
  FDIBBitsSize = size;
  // The header follows the 14-byte file header, so it is put together here.
  BITMAPINFOHEADER h{};
  h.biSize = sizeof(BITMAPINFOHEADER);
  h.biWidth = FWidth;
  h.biHeight = FHeight;
  h.biPlanes = 1;
  h.biCompression = BI_RGB;
  h.biSizeImage = 0;
  h.biBitCount = WORD(bitCount);
  uint8_t* info = FFile.get() + sizeof(BITMAPFILEHEADER);
  if (indexed) {
    int entries = 0;
    if (FPalette) {
      entries = int(std::min<UINT>(GetPaletteEntries(FPalette, 0, 0, nullptr), 256));
      if (entries > 0) {
        PALETTEENTRY colors[256];
        GetPaletteEntries(FPalette, 0, UINT(entries), colors);
        SwapRedBlue(colors, entries);
        std::memcpy(info + kInfoHeaderSize, colors, size_t(entries) * sizeof(RGBQUAD));
      }
    }
    h.biClrUsed = 256;
    h.biClrImportant = DWORD(entries);
  }
  std::memcpy(info, &h, sizeof h);
}

void* TDIBWriter::RowAddress(int Row) {
  if (!FFile) CreateDIB();
  const int64_t rows = std::llabs(int64_t(FHeight));
  if (Row < 0 || Row >= rows) throw EInvalidGraphicOperation(GraphicsText::ScanLine);
  GdiFlush();
  const int64_t stride = AlignedRowSize(FWidth, FPixelFormat == pf8bit ? 8 : 24, 32);
  const int64_t at = FHeight > 0 ? rows - 1 - Row : Row;
  return Bits() + at * stride;
}

namespace {

// Reads a block of memory that it does not own.
class TBlockStream : public TStream {
 public:
  TBlockStream(const uint8_t* Data, int64_t Size) : data_(Data), size_(Size) {}
  int64_t Read(void* Buffer, int64_t Count) override {
    const int64_t n = std::clamp<int64_t>(size_ - position_, 0, std::max<int64_t>(Count, 0));
    if (n > 0) std::memcpy(Buffer, data_ + position_, size_t(n));
    position_ += n;
    return n;
  }
  int64_t Write(const void*, int64_t) override { throw Exception(sInvalidStream); }
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override {
    position_ = (Origin == soCurrent ? position_ : Origin == soEnd ? size_ : 0) + Offset;
    return position_;
  }
  int64_t Size() override { return size_; }

 private:
  const uint8_t* data_;
  int64_t size_;
  int64_t position_ = 0;
};

}  // namespace

void TDIBWriter::Store() {
  if (!FFile) return;
  BITMAPFILEHEADER fh{};
  fh.bfType = 0x4D42;  // "BM"
  fh.bfSize = DWORD(sizeof fh + FDIBInfoSize + FDIBBitsSize);
  fh.bfOffBits = DWORD(sizeof fh + FDIBInfoSize);
  std::memcpy(FFile.get(), &fh, sizeof fh);
  const std::unique_ptr<uint8_t, TFree> file = std::move(FFile);
  const int64_t size = int64_t(fh.bfSize);
  FreeDIB();
  TBlockStream stream(file.get(), size);
  FBitmap->LoadFromStream(&stream);
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
