// The GIF picture as a tree of objects: a header with the logical screen and the
// global colour table, a list of frames (each with the extensions in front of it,
// its own local colour table and one colour index byte per pixel), and the trailer.
// The picture class owns the tree; every object reports recoverable problems to it.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "codecs/gif/GifColorReduction.h"
#include "codecs/gif/GifLZW.h"
#include "codecs/gif/GifLang.h"
#include "codecs/gif/GifUtils.h"
#include "platform/gdi/gdi.h"
#include "platform/rtl/classes.h"
#include "platform/vcl/graphics.h"

class TGIFImage;
class TGIFSubImage;
class TGIFHeader;
class TGIFExtension;
class TGIFGraphicControlExtension;

// ---------------------------------------------------------------------------------
// Colour tables

// One colour table entry as the file holds it.
struct TGIFColor {
  uint8_t Red = 0;
  uint8_t Green = 0;
  uint8_t Blue = 0;
  bool operator==(const TGIFColor&) const = default;
};
using TColorMap = std::array<TGIFColor, 256>;

// How often each entry of a table is used, and the index it had before sorting.
struct TUsageCount {
  int32_t Count = 0;
  int32_t Index = 0;
};
using TColormapHistogram = std::array<TUsageCount, 256>;
// Old index to new index.
using TColormapReverse = std::array<uint8_t, 256>;

// A colour table of at most 256 entries. The sorted flag (set when the table was
// ordered by use) is written as the sort flag of the GIF packed fields.
class TGIFColorMap : public TPersistent {
  VX_CLASS(TGIFColorMap, TPersistent)

 public:
  TGIFColorMap() = default;
  TGIFColorMap(const TGIFColorMap&) = delete;
  TGIFColorMap& operator=(const TGIFColorMap&) = delete;
  ~TGIFColorMap() override = default;

  void Assign(TPersistent* Source) override;

  // Reports a problem through the owner's warning route.
  virtual void ColorMapWarning(TGIFSeverity Severity, const std::string& Message) = 0;
  // Counts, for every entry, the pixels of the frames that use this table.
  virtual void CountColorUse(TColormapHistogram& Histogram) = 0;
  // Rewrites the pixels (and the indices that refer to entries) of those frames.
  virtual void RemapPixels(const TColormapReverse& Map) = 0;
  // Orders the table by use when it may; answers whether it did.
  virtual bool OptimizeMap() = 0;
  // Tells the owner that the colours changed.
  virtual void MapChanged() = 0;

  void Clear();
  static TGIFColor Color2RGB(TColor Color);
  static TColor RGB2Color(TGIFColor Color);
  // Grows the block to hold Capacity entries (16 at least, then multiples of 32, at
  // most 256); a smaller request does nothing.
  void SetCapacity(int Capacity);
  int Capacity() const { return FCapacity; }
  int Count() const { return FCount; }
  bool Optimized() const { return FOptimized; }
  void SetOptimized(bool Value) { FOptimized = Value; }

  // Replaces the table by Count triples of the stream.
  void LoadFromStream(TStream* Stream, int Count);
  // Writes the entries, padded with black up to a power of two; nothing when empty.
  void SaveToStream(TStream* Stream);

  // The exact entry of Color: the lowest such index of a sorted table, the highest
  // of another; -1 when there is none.
  int IndexOf(TColor Color) const;
  // Appends Color; the 257th entry raises "Color table overflow".
  int Add(TColor Color);
  int AddUnique(TColor Color);
  void Delete(int Index);
  // The colour of an entry; a bad index warns and answers entry 0.
  TColor GetColor(int Index);
  void SetColor(int Index, TColor Color);
  // The raw entries (Count of them).
  const TGIFColor* Data() const { return FColorMap.get(); }
  TGIFColor Entry(int Index) const { return FColorMap[size_t(Index)]; }

  void ImportPalette(HPALETTE Palette);
  void ImportColorMap(const TColorMap& Map, int Count);
  // From DIB colour-table entries (blue, green, red, reserved).
  void ImportColorTable(const RGBQUAD* Table, int Count);
  // From the colour table of the DIB selected into DC.
  void ImportDIBColors(HDC DC);
  // A new palette of the entries (flag PC_NOCOLLAPSE), or null when empty; the
  // caller owns it.
  HPALETTE ExportPalette() const;
  int GetBitsPerPixel() const { return ColorCountToBits(FCount); }

  // Orders the table by use, most used first, and drops entries no pixel uses.
  bool DoOptimize();

 private:
  void ReplaceEntries(int Count);

  std::unique_ptr<TGIFColor[]> FColorMap;
  int32_t FCount = 0;
  int32_t FCapacity = 0;
  bool FOptimized = false;
};

// The global colour table, owned by the header.
class TGIFGlobalColorMap : public TGIFColorMap {
  VX_CLASS(TGIFGlobalColorMap, TGIFColorMap)

 public:
  explicit TGIFGlobalColorMap(TGIFHeader* AHeader) : FHeader(AHeader) {}
  void ColorMapWarning(TGIFSeverity Severity, const std::string& Message) override;
  void CountColorUse(TColormapHistogram& Histogram) override;
  void RemapPixels(const TColormapReverse& Map) override;
  bool OptimizeMap() override;
  void MapChanged() override;
  TGIFHeader* Header() const { return FHeader; }

 private:
  TGIFHeader* FHeader;
};

// A frame's local colour table.
class TGIFLocalColorMap : public TGIFColorMap {
  VX_CLASS(TGIFLocalColorMap, TGIFColorMap)

 public:
  explicit TGIFLocalColorMap(TGIFSubImage* ASubImage) : FSubImage(ASubImage) {}
  void ColorMapWarning(TGIFSeverity Severity, const std::string& Message) override;
  void CountColorUse(TColormapHistogram& Histogram) override;
  void RemapPixels(const TColormapReverse& Map) override;
  bool OptimizeMap() override;
  void MapChanged() override;
  TGIFSubImage* SubImage() const { return FSubImage; }

 private:
  TGIFSubImage* FSubImage;
};

// ---------------------------------------------------------------------------------
// Items and lists

// The base of every block of a GIF stream.
class TGIFItem : public TPersistent {
  VX_CLASS(TGIFItem, TPersistent)

 public:
  explicit TGIFItem(TGIFImage* AGIFImage) : FGIFImage(AGIFImage) {}
  TGIFItem(const TGIFItem&) = delete;
  TGIFItem& operator=(const TGIFItem&) = delete;
  ~TGIFItem() override = default;

  virtual TGIFVersion GetVersion() { return gv87a; }
  // Reports to the owning image with this item as sender.
  virtual void Warning(TGIFSeverity Severity, const std::string& Message);
  virtual void SaveToStream(TStream* Stream) = 0;
  virtual void LoadFromStream(TStream* Stream) = 0;
  virtual void SaveToFile(const std::string& FileName);
  virtual void LoadFromFile(const std::string& FileName);

  TGIFImage* Image() const { return FGIFImage; }

 protected:
  TGIFImage* FGIFImage;  // not owned
};

// An ordered list that owns its items.
class TGIFList : public TPersistent {
  VX_CLASS(TGIFList, TPersistent)

 public:
  explicit TGIFList(TGIFImage* AImage) : FImage(AImage) {}
  TGIFList(const TGIFList&) = delete;
  TGIFList& operator=(const TGIFList&) = delete;
  ~TGIFList() override;

  int Count() const { return int(FItems.size()); }
  TGIFItem* Items(int Index) const;
  // Replaces an item, freeing the one it held.
  void SetItems(int Index, std::unique_ptr<TGIFItem> Item);
  int Add(std::unique_ptr<TGIFItem> Item);
  void Insert(int Index, std::unique_ptr<TGIFItem> Item);
  void Exchange(int Index1, int Index2);
  void Move(int CurIndex, int NewIndex);
  int IndexOf(const TGIFItem* Item) const;
  TGIFItem* First() const { return FItems.empty() ? nullptr : FItems.front().get(); }
  TGIFItem* Last() const { return FItems.empty() ? nullptr : FItems.back().get(); }
  // Removes and frees an item.
  void Delete(int Index);
  void Clear();
  // Takes Item out without freeing it (the caller owns it then); its former index,
  // or -1.
  int Remove(TGIFItem* Item);

  virtual void Warning(TGIFSeverity Severity, const std::string& Message);
  virtual void SaveToStream(TStream* Stream);
  virtual void LoadFromStream(TStream* Stream, TObject* Parent) = 0;

  TGIFImage* Image() const { return FImage; }

 private:
  void CheckIndex(int Index) const;

  TGIFImage* FImage;  // not owned
  std::vector<std::unique_ptr<TGIFItem>> FItems;
};

// The extensions in front of a frame.
class TGIFExtensionList : public TGIFList {
  VX_CLASS(TGIFExtensionList, TGIFList)

 public:
  using TGIFList::TGIFList;
  TGIFExtension* Extensions(int Index) const;
  void SetExtensions(int Index, std::unique_ptr<TGIFExtension> Extension);
  // Reads the extension blocks up to an image descriptor or the trailer; Parent is
  // the frame they belong to.
  void LoadFromStream(TStream* Stream, TObject* Parent) override;
};

// The frames of an image.
class TGIFImageList : public TGIFList {
  VX_CLASS(TGIFImageList, TGIFList)

 public:
  using TGIFList::TGIFList;
  TGIFSubImage* SubImages(int Index) const;
  // Reads frames up to the trailer; Parent is the image.
  void LoadFromStream(TStream* Stream, TObject* Parent) override;
};

// ---------------------------------------------------------------------------------
// Header and trailer

// The logical screen descriptor as the file holds it (7 bytes, little-endian).
struct TLogicalScreenDescriptor {
  uint16_t ScreenWidth = 0;
  uint16_t ScreenHeight = 0;
  uint8_t PackedFields = 0;  // 7: global table, 6..4: colour resolution, 3: sorted, 2..0: size
  uint8_t BackgroundColorIndex = 0;
  uint8_t AspectRatio = 0;
};

class TGIFHeader : public TGIFItem {
  VX_CLASS(TGIFHeader, TGIFItem)

 public:
  explicit TGIFHeader(TGIFImage* AGIFImage);
  ~TGIFHeader() override;

  void Assign(TPersistent* Source) override;
  TGIFVersion GetVersion() override;
  // Recomputes the packed fields before writing.
  void Prepare();
  void SaveToStream(TStream* Stream) override;
  void LoadFromStream(TStream* Stream) override;
  void Clear();

  TGIFColorMap* ColorMap() const { return FColorMap.get(); }
  const TLogicalScreenDescriptor& Descriptor() const { return FLogicalScreenDescriptor; }
  int Width() const { return FLogicalScreenDescriptor.ScreenWidth; }
  int Height() const { return FLogicalScreenDescriptor.ScreenHeight; }
  void SetWidth(int Value) { FLogicalScreenDescriptor.ScreenWidth = uint16_t(Value); }
  void SetHeight(int Value) { FLogicalScreenDescriptor.ScreenHeight = uint16_t(Value); }
  uint8_t PackedFields() const { return FLogicalScreenDescriptor.PackedFields; }
  uint8_t BackgroundColorIndex() const { return FLogicalScreenDescriptor.BackgroundColorIndex; }
  // An index beyond a non-empty table warns and stores 0.
  void SetBackgroundColorIndex(int Index);
  TColor GetBackgroundColor();
  void SetBackgroundColor(TColor Color);
  uint8_t AspectRatio() const { return FLogicalScreenDescriptor.AspectRatio; }
  void SetAspectRatio(uint8_t Value) { FLogicalScreenDescriptor.AspectRatio = Value; }
  int GetBitsPerPixel() const { return FColorMap->GetBitsPerPixel(); }
  int GetColorResolution() const { return GetBitsPerPixel() - 1; }

 private:
  TLogicalScreenDescriptor FLogicalScreenDescriptor;
  std::unique_ptr<TGIFGlobalColorMap> FColorMap;
};

// The ";" that ends a GIF stream.
class TGIFTrailer : public TGIFItem {
  VX_CLASS(TGIFTrailer, TGIFItem)

 public:
  using TGIFItem::TGIFItem;
  void SaveToStream(TStream* Stream) override;
  // Another byte warns; a missing one is accepted.
  void LoadFromStream(TStream* Stream) override;
};

// ---------------------------------------------------------------------------------
// Frames

// The image descriptor as the file holds it (10 bytes, little-endian).
struct TImageDescriptor {
  uint8_t Separator = ',';
  uint16_t Left = 0;
  uint16_t Top = 0;
  uint16_t Width = 0;
  uint16_t Height = 0;
  uint8_t PackedFields = 0;  // 7: local table, 6: interlaced, 5: sorted, 2..0: size
};

// Largest frame, in pixels, that the codec keeps in memory.
constexpr int64_t kMaxGIFFramePixels = int64_t{1} << 28;

// One frame: its descriptor, local colour table, the extensions in front of it and
// its pixels, one colour index byte per pixel, rows top to bottom. This is the
// frame's storage: reading, writing, bounds and colour tables.
class TGIFSubImage : public TGIFItem {
  VX_CLASS(TGIFSubImage, TGIFItem)

 public:
  explicit TGIFSubImage(TGIFImage* AGIFImage);
  ~TGIFSubImage() override;

  void Clear();
  bool Empty() const;
  // A new zeroed pixel block of the frame's size.
  void NewImage();
  void FreeImage();
  // NewImage when there are no pixels; "Image is empty" for a frame of no size.
  void NeedImage();

  void LoadFromStream(TStream* Stream) override;
  void SaveToStream(TStream* Stream) override;
  // The image data: code size, data sub-blocks and terminator.
  void Decompress(TStream* Stream);
  void Compress(TStream* Stream);

  // 1 left, 2 top, 3 width, 4 height.
  int GetBounds(int Index) const;
  void SetBounds(int Index, int Value);
  int Left() const { return FImageDescriptor.Left; }
  int Top() const { return FImageDescriptor.Top; }
  int Width() const { return FImageDescriptor.Width; }
  int Height() const { return FImageDescriptor.Height; }
  TRect GetBoundsRect() const;
  void SetBoundsRect(const TRect& Rect);
  TRect GetClientRect() const { return Rect(0, 0, Width(), Height()); }
  bool GetInterlaced() const { return (FImageDescriptor.PackedFields & 0x40) != 0; }
  void SetInterlaced(bool Value);
  uint8_t GetPixel(int X, int Y);
  uint8_t* GetScanline(int Y);
  uint8_t* Data() const { return FData.get(); }
  int64_t DataSize() const { return FDataSize; }
  const TImageDescriptor& Descriptor() const { return FImageDescriptor; }

  // The local table when it has entries or the image has no global one.
  TGIFColorMap* GetActiveColorMap();
  TGIFLocalColorMap* ColorMap() const { return FLocalColorMap.get(); }
  int GetBitsPerPixel() const { return FLocalColorMap->GetBitsPerPixel(); }
  int GetColorResolution() const { return GetBitsPerPixel() - 1; }
  TGIFVersion GetVersion() override;
  // Recomputes the packed fields before writing.
  void Prepare();
  // Keeps Palette as the frame's own palette (deleting the one it had).
  void SetPalette(HPALETTE Palette);

  TGIFExtensionList* Extensions() const { return FExtensions.get(); }
  bool Transparent() const { return FTransparent; }
  // The extension that carries transparency, delay and disposal (not owned).
  TGIFGraphicControlExtension* GraphicControlExtension() const { return FGCE; }

 protected:
  virtual void DoSetBounds(int ALeft, int ATop, int AWidth, int AHeight);

 private:
  friend class TGIFGraphicControlExtension;

  HPALETTE FLocalPalette = nullptr;
  std::unique_ptr<uint8_t[]> FData;
  int64_t FDataSize = 0;
  std::unique_ptr<TGIFLocalColorMap> FLocalColorMap;
  TImageDescriptor FImageDescriptor;
  std::unique_ptr<TGIFExtensionList> FExtensions;
  bool FTransparent = false;
  TGIFGraphicControlExtension* FGCE = nullptr;
};

// ---------------------------------------------------------------------------------
// The picture class

enum TGIFDrawOption {
  goAsync,
  goTransparent,
  goAnimate,
  goLoop,
  goLoopContinously,
  goValidateCanvas,
  goDirectDraw,
  goClearOnLoop,
  goTile,
  goDither,
  goAutoDither
};
using TGIFDrawOptions = TSet<TGIFDrawOption>;

// Settings every new image starts with.
extern TGIFDrawOptions GIFImageDefaultDrawOptions;
extern TColorReduction GIFImageDefaultColorReduction;
extern int GIFImageDefaultColorReductionBits;
extern TDitherMode GIFImageDefaultDitherMode;
extern TGIFCompression GIFImageDefaultCompression;

// The design-time hook: animations placed on a form do not loop by default.
void Register();

// The GIF picture: the header, the frames and the settings that govern writing and
// colour reduction. This holds the image's data model and its stream form; drawing
// and the clipboard belong to the complete picture class.
class TGIFImage : public TGraphic {
  VX_CLASS(TGIFImage, TGraphic)

 public:
  TGIFImage();
  ~TGIFImage() override;

  TGIFHeader* Header() const { return FHeader.get(); }
  TGIFImageList* Images() const { return FItems.get(); }
  TGIFColorMap* GetColorMap() const { return FHeader->ColorMap(); }

  // Raises OnGIFWarning when assigned.
  virtual void Warning(TObject* Sender, TGIFSeverity Severity, const std::string& Message);
  TGIFWarning OnGIFWarning;

  void Clear();
  void LoadFromStream(TStream* Stream) override;
  void SaveToStream(TStream* Stream) override;
  void SetHeight(int Value) override;
  void SetWidth(int Value) override;
  void SetPalette(HPALETTE Value) override;

  // The highest version any part needs (gv87a at least).
  TGIFVersion GetVersion();
  // The largest over the header and the frames.
  int GetBitsPerPixel();
  int GetColorResolution();

  TGIFDrawOptions DrawOptions() const { return FDrawOptions; }
  TColorReduction ColorReduction() const { return FColorReduction; }
  void SetColorReduction(TColorReduction Value) { FColorReduction = Value; }
  int ReductionBits() const { return FReductionBits; }
  // Outside 3..8 raises "Invalid Bits Per Pixel value".
  void SetReductionBits(int Value);
  TDitherMode DitherMode() const { return FDitherMode; }
  void SetDitherMode(TDitherMode Value) { FDitherMode = Value; }
  TGIFCompression Compression() const { return FCompression; }
  void SetCompression(TGIFCompression Value) { FCompression = Value; }

  using TGraphic::Changed;
  using TGraphic::Progress;

 protected:
  bool GetEmpty() override { return FItems->Count() == 0; }
  int GetHeight() override { return FHeader->Height(); }
  int GetWidth() override { return FHeader->Width(); }

 private:
  std::unique_ptr<TGIFImageList> FItems;
  std::unique_ptr<TGIFHeader> FHeader;
  HPALETTE FGlobalPalette = nullptr;
  TGIFDrawOptions FDrawOptions;
  TColorReduction FColorReduction;
  int FReductionBits;
  TDitherMode FDitherMode;
  TGIFCompression FCompression;
};
