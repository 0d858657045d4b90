// Colour reduction: turning a bitmap of any colour depth into an 8-bit one by
// choosing a palette (fixed system palettes, grey ramps, the 216-colour web palette,
// an octree-quantised palette or a given one), mapping each pixel to a palette entry
// through a colour look-up, and optionally diffusing the mapping error with one of
// six error-diffusion filters.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "codecs/gif/GifDIB.h"
#include "platform/rtl/classes.h"

enum TColorReduction {
  rmNone,
  rmWindows20,
  rmWindows256,
  rmWindowsGray,
  rmMonochrome,
  rmGrayScale,
  rmNetscape,
  rmQuantize,
  rmQuantizeWindows,
  rmPalette
};

enum TDitherMode { dmNearest, dmFloydSteinberg, dmStucki, dmSierra, dmJaJuNI, dmSteveArche, dmBurkes };

// ---------------------------------------------------------------------------------
// Colour look-ups

// Maps a colour to a palette index and gives back the colour of that entry.
class TColorLookup : public TObject {
  VX_CLASS(TColorLookup, TObject)

 public:
  explicit TColorLookup(int AColors) : FColors(AColors) {}
  virtual uint8_t NearestIndex(uint8_t Red, uint8_t Green, uint8_t Blue, uint8_t& R, uint8_t& G, uint8_t& B) = 0;
  // The number of colours the look-up can give.
  int Colors() const { return FColors; }

 protected:
  int FColors;
};

// The nearest entry of a palette, as the system finds it.
class TSlowColorLookup : public TColorLookup {
  VX_CLASS(TSlowColorLookup, TColorLookup)

 public:
  // The palette is not owned; its entries are read once.
  explicit TSlowColorLookup(HPALETTE APalette);
  uint8_t NearestIndex(uint8_t Red, uint8_t Green, uint8_t Blue, uint8_t& R, uint8_t& G, uint8_t& B) override;

 private:
  HPALETTE FPalette;
  std::vector<PALETTEENTRY> FPaletteEntries;
  COLORREF FLastColor = CLR_INVALID;  // the last colour asked for and its answer
  uint8_t FLastIndex = 0;
};

// The 216 colours of the web palette: index r * 36 + g * 6 + b with each channel
// (value + 3) div 51.
class TNetscapeColorLookup : public TColorLookup {
  VX_CLASS(TNetscapeColorLookup, TColorLookup)

 public:
  TNetscapeColorLookup() : TColorLookup(216) {}
  uint8_t NearestIndex(uint8_t Red, uint8_t Green, uint8_t Blue, uint8_t& R, uint8_t& G, uint8_t& B) override;
};

// 256 greys by luminance (77 R + 150 G + 29 B) shr 8.
class TGrayScaleLookup : public TColorLookup {
  VX_CLASS(TGrayScaleLookup, TColorLookup)

 public:
  TGrayScaleLookup() : TColorLookup(256) {}
  uint8_t NearestIndex(uint8_t Red, uint8_t Green, uint8_t Blue, uint8_t& R, uint8_t& G, uint8_t& B) override;
};

// Black (0) and white (1), split at half luminance.
class TMonochromeLookup : public TColorLookup {
  VX_CLASS(TMonochromeLookup, TColorLookup)

 public:
  TMonochromeLookup() : TColorLookup(2) {}
  uint8_t NearestIndex(uint8_t Red, uint8_t Green, uint8_t Blue, uint8_t& R, uint8_t& G, uint8_t& B) override;
};

// ---------------------------------------------------------------------------------
// Ditherers

// Walks rows in alternating directions (left to right first) and maps each pixel
// through the look-up. The plain engine takes the nearest colour; the error
// diffusers first add the error carried to the pixel, then spread its own error to
// pixels still to come.
class TDitherEngine : public TObject {
  VX_CLASS(TDitherEngine, TObject)

 public:
  TDitherEngine(int AWidth, TColorLookup* ALookup) : FLookup(ALookup), FWidth(AWidth) {}
  TDitherEngine(const TDitherEngine&) = delete;
  TDitherEngine& operator=(const TDitherEngine&) = delete;

  // The index for the pixel at the current column; moves to the next column.
  virtual uint8_t DitherPixel(uint8_t Red, uint8_t Green, uint8_t Blue, uint8_t& R, uint8_t& G, uint8_t& B);
  // Reverses the direction and goes to the start of the next row.
  virtual void EndRow();
  void StepColumn() { FColumn += FDirection; }
  int Direction() const { return FDirection; }
  int Column() const { return FColumn; }

 protected:
  int FDirection = 1;
  int FColumn = 0;
  TColorLookup* FLookup;  // not owned
  int FWidth;
};

// One weight of an error-diffusion filter: Weight / divisor of the error goes to the
// pixel Rows below and Ahead columns further in the current row's direction.
struct TDitherWeight {
  int Rows;
  int Ahead;
  int Weight;
};

// Error diffusion through a table of weights. The errors are kept unscaled, one row
// per filter row and channel, with guard entries on both sides for errors that fall
// outside the image; a pixel divides what it received by the divisor, rounding half
// up and truncating toward zero.
class TErrorDiffusionDitherer : public TDitherEngine {
  VX_CLASS(TErrorDiffusionDitherer, TDitherEngine)

 public:
  uint8_t DitherPixel(uint8_t Red, uint8_t Green, uint8_t Blue, uint8_t& R, uint8_t& G, uint8_t& B) override;
  // Besides the row change, drops the finished error row and opens a new last one.
  void EndRow() override;

 protected:
  TErrorDiffusionDitherer(int AWidth, TColorLookup* ALookup, std::vector<TDitherWeight> AWeights, int ADivisor);

 private:
  int32_t* Row(int Channel, int Below) {
    return FErrors.data() + (size_t(Channel) * FRows + size_t((FFirstRow + Below) % FRows)) * size_t(FStride) +
           size_t(FGuard);
  }

  std::vector<TDitherWeight> FWeights;
  int FDivisor;
  int FRows;   // the current row and those below it
  int FGuard;  // entries on each side
  int FStride;
  int FFirstRow = 0;
  std::vector<int32_t> FErrors;
};

class TFloydSteinbergDitherer : public TErrorDiffusionDitherer {
  VX_CLASS(TFloydSteinbergDitherer, TErrorDiffusionDitherer)

 public:
  TFloydSteinbergDitherer(int AWidth, TColorLookup* ALookup);
};

// The filters over the current row and two more, five pixels wide.
class T5by3Ditherer : public TErrorDiffusionDitherer {
  VX_CLASS(T5by3Ditherer, TErrorDiffusionDitherer)

 protected:
  using TErrorDiffusionDitherer::TErrorDiffusionDitherer;
};

class TStuckiDitherer : public T5by3Ditherer {
  VX_CLASS(TStuckiDitherer, T5by3Ditherer)

 public:
  TStuckiDitherer(int AWidth, TColorLookup* ALookup);
};

class TSierraDitherer : public T5by3Ditherer {
  VX_CLASS(TSierraDitherer, T5by3Ditherer)

 public:
  TSierraDitherer(int AWidth, TColorLookup* ALookup);
};

class TJaJuNiDitherer : public T5by3Ditherer {
  VX_CLASS(TJaJuNiDitherer, T5by3Ditherer)

 public:
  TJaJuNiDitherer(int AWidth, TColorLookup* ALookup);
};

class TSteveArcheDitherer : public TErrorDiffusionDitherer {
  VX_CLASS(TSteveArcheDitherer, TErrorDiffusionDitherer)

 public:
  TSteveArcheDitherer(int AWidth, TColorLookup* ALookup);
};

class TBurkesDitherer : public TErrorDiffusionDitherer {
  VX_CLASS(TBurkesDitherer, TErrorDiffusionDitherer)

 public:
  TBurkesDitherer(int AWidth, TColorLookup* ALookup);
};

// The ditherer of a mode (dmNearest: the plain engine).
std::unique_ptr<TDitherEngine> CreateDitherer(TDitherMode Mode, int Width, TColorLookup* Lookup);

// ---------------------------------------------------------------------------------
// Octree quantisation

class TOctreeNode {
 public:
  bool IsLeaf = false;
  int64_t PixelCount = 0;
  int64_t RedSum = 0, GreenSum = 0, BlueSum = 0;
  TOctreeNode* Next = nullptr;  // in its level's list of reducible nodes
  TOctreeNode* Child[8] = {};
};

// Builds a palette of at most MaxColors colours from the colours added: a tree of
// ColorBits levels whose leaves hold colour sums; whenever there are more leaves
// than colours, the most recently made node of the deepest level that has one
// becomes a leaf holding its children's sums.
class TColorQuantizer : public TObject {
  VX_CLASS(TColorQuantizer, TObject)

 public:
  // MaxColors 1..256 and ColorBits 1..8, else "Invalid Bits Per Pixel value".
  TColorQuantizer(int AMaxColors, int AColorBits);
  TColorQuantizer(const TColorQuantizer&) = delete;
  TColorQuantizer& operator=(const TColorQuantizer&) = delete;
  ~TColorQuantizer() override;

  // Adds every pixel of a 24-bit reader.
  void AddImageColors(TDIB* Reader);
  void AddColor(uint8_t Red, uint8_t Green, uint8_t Blue);
  // Writes the leaves' average colours (blue, green, red, 0) in depth-first order;
  // answers how many.
  int FillColorTable(RGBQUAD* Table);
  int LeafCount() const { return FLeafCount; }

 private:
  TOctreeNode* NewNode(int Level);
  void FreeNode(TOctreeNode* Node);
  void ReduceTree();

  TOctreeNode* FTree = nullptr;
  int FLeafCount = 0;
  TOctreeNode* FReducibleNodes[8] = {};
  int FMaxColors;
  int FColorBits;
  std::vector<std::unique_ptr<TOctreeNode[]>> FBlocks;  // node storage
  TOctreeNode* FFreeNodes = nullptr;
};

// ---------------------------------------------------------------------------------
// Palettes (all version 0x300; the caller owns the result)

// The 216 colours (51 r, 51 g, 51 b) at index r * 36 + g * 6 + b.
HPALETTE WebPalette();
// Greys 0, 128, 192 and 255.
HPALETTE CreateGray4Palette();
HPALETTE CreateMonochromePalette();
HPALETTE CreateGrayPalette256();
// The system's halftone palette for the screen.
HPALETTE CreateHalftoneScreenPalette();
// An octree palette of Colors entries for one bitmap; with Windows, the 20 static
// system colours take entries 0..9 and 246..255 and the bitmap's 236 colours the
// entries between (256 in all).
HPALETTE CreateQuantizedPalette(TBitmap* Bitmap, int Colors, int ColorBits, bool Windows);
// The same over every TBitmap of the list; a missing or empty list raises "Invalid
// bitmap list".
HPALETTE CreateOptimizedPaletteFromManyBitmaps(TList* Bitmaps, int Colors, int ColorBits, bool Windows);

// A new 8-bit bitmap (24-bit for rmNone) of Bitmap's picture in at most the colours
// the reduction gives; empty when the look-up has no colours (rmPalette without a
// palette). Bitmap itself is left as it is.
std::unique_ptr<TBitmap> ReduceColors(TBitmap* Bitmap, TColorReduction ColorReduction, TDitherMode DitherMode,
                                      int ReductionBits, HPALETTE CustomPalette);
