// Row access to framework bitmaps through device-independent bitmaps: a reader over
// an existing bitmap in a chosen pixel format, and a writer that builds an 8-bit or
// 24-bit DIB in memory and hands it to a bitmap.
#pragma once

#include <cstdint>
#include <memory>

#include "codecs/gif/GifUtils.h"
#include "platform/gdi/gdi.h"
#include "platform/vcl/graphics.h"

class TDIB : public TObject {
  VX_CLASS(TDIB, TObject)

 public:
  TDIB(TBitmap* ABitmap, TPixelFormat APixelFormat) : FBitmap(ABitmap), FPixelFormat(APixelFormat) {}
  TDIB(const TDIB&) = delete;
  TDIB& operator=(const TDIB&) = delete;

  // The address of pixel row Row, counted from the top.
  virtual void* RowAddress(int Row) = 0;
  TBitmap* Bitmap() const { return FBitmap; }
  TPixelFormat PixelFormat() const { return FPixelFormat; }

 protected:
  TBitmap* FBitmap;  // not owned
  TPixelFormat FPixelFormat;
};

// Reads a bitmap's rows in PixelFormat. A bitmap of another format is read through a
// private converted copy, so the caller's bitmap is never changed by reading it.
class TDIBReader : public TDIB {
  VX_CLASS(TDIBReader, TDIB)

 public:
  TDIBReader(TBitmap* ABitmap, TPixelFormat APixelFormat);
  ~TDIBReader() override;
  void* RowAddress(int Row) override;

 private:
  std::unique_ptr<TBitmap> FCopy;
  TBitmap* FSource;  // the bitmap or the copy
};

// Builds a DIB of Width x Height pixels in pf8bit (with the palette's colours as its
// colour table) or pf24bit, allocated on the first RowAddress, and stores it into the
// bitmap through Store or, failing that, when the writer is freed.
class TDIBWriter : public TDIB {
  VX_CLASS(TDIBWriter, TDIB)

 public:
  TDIBWriter(TBitmap* ABitmap, HPALETTE APalette, int AWidth, int AHeight, TPixelFormat APixelFormat);
  // Stores whatever rows were written when Store has not run (after an error).
  ~TDIBWriter() override;
  // Rows are stored bottom-up for a positive height and top-down for a negative one.
  void* RowAddress(int Row) override;
  // Stores the DIB into the bitmap (when one was allocated) and frees it.
  void Store();

 private:
  void CreateDIB();
  void FreeDIB();

  // The DIB section the rows are written into, handed to the bitmap by Store.
  HBITMAP FDIB = nullptr;
  uint8_t* FDIBBits = nullptr;
  HPALETTE FPalette;  // not owned
  int32_t FHeight;
  int32_t FWidth;
};

// Turns every 32-bit entry (b0, b1, b2, b3) into (b2, b1, b0, 0): palette entries
// into DIB colour-table entries and back.
void SwapRedBlue(void* Entries, int Count);

// The sizes of the DIB header (with its colour table) and of the pixels that
// InternalGetDIB needs for the bitmap in PixelFormat (pf1bit, pf4bit, pf8bit or
// pf24bit; others raise "Unsupported PixelFormat").
void InternalGetDIBSizes(HBITMAP Bitmap, int& InfoHeaderSize, int& ImageSize, TPixelFormat PixelFormat);
// Fills BitmapInfo and Bits (sized by InternalGetDIBSizes) with the bitmap's pixels
// in PixelFormat, through Palette when one is given; true on success.
bool InternalGetDIB(HBITMAP Bitmap, HPALETTE Palette, BITMAPINFO& BitmapInfo, void* Bits, TPixelFormat PixelFormat);
