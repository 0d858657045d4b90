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
#include "platform/vcl/thread.h"

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
// Most pixels that the frames of one picture, read since it was last cleared, may
// hold without image data to code them (a damaged or cut file): each is filled, and a
// file of a few bytes can declare frames of millions of pixels. Reading a frame past
// it raises "Invalid image dimensions" before the frame takes any memory.
constexpr int64_t kMaxGIFUncodedPixels = int64_t{1} << 26;

// When set, every frame renders its bitmap as soon as it has been read.
extern bool GIFImageRenderOnLoad;

// One frame: its descriptor, local colour table, the extensions in front of it and
// its pixels, one colour index byte per pixel, rows top to bottom. It reads and writes
// itself, renders a bitmap (exact or dithered to the web palette) with a mask of its
// transparent pixels, draws itself stretched or tiled, takes its picture from other
// graphics, and offers the edits of the optimiser (cropping, merging with the frame
// before it).
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

  // Reads the extensions, the descriptor, the local colour table and the image data.
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
  // The palette the frame renders with: its bitmap's, its own, the web palette while
  // the image dithers, its local table's, or the image's. One made here is kept.
  HPALETTE GetPalette();
  // Keeps Palette as the frame's own palette (deleting the one it had); a rendered
  // bitmap of another palette is dropped and the image told.
  void SetPalette(HPALETTE Palette);

  TGIFExtensionList* Extensions() const { return FExtensions.get(); }
  bool Transparent() const { return FTransparent; }
  // The extension that carries transparency, delay and disposal (not owned).
  TGIFGraphicControlExtension* GraphicControlExtension() const { return FGCE; }

  // ---- Rendering and drawing ----

  // The rendered bitmap, made on first use (null for an empty frame). Progress
  // "Rendering..." goes to the image; a handler's EAbort cancels quietly.
  TBitmap* GetBitmap();
  // Drops the rendered bitmap, then takes its picture from Value when one is given.
  void SetBitmap(TBitmap* Value);
  bool GetHasBitmap() const { return FBitmap != nullptr; }
  void SetHasBitmap(bool Value);
  void NewBitmap();
  void FreeBitmap();
  void FreeMask();
  // Renders again when the mask is out of date; whether the frame has a mask.
  bool HasMask();
  // Monochrome, a set bit for each transparent pixel (owned; null without one).
  HBITMAP Mask() const { return FMask; }
  // The frame's place on the logical screen mapped into Rect.
  TRect ScaleRect(const TRect& Rect) const;
  // Draws at the frame's place within Rect (the logical screen stretched to Rect), or,
  // tiling, at its own size over the whole of Rect.
  void Draw(TCanvas* ACanvas, const TRect& Rect, bool DoTransparent, bool DoTile);
  // Draws stretched to Rect, or tiled over it.
  void StretchDraw(TCanvas* ACanvas, const TRect& Rect, bool DoTransparent, bool DoTile);

  // ---- Conversion and edits ----

  // From another frame, a bitmap of any format, an icon, any other graphic or a picture;
  // colours beyond 256 are reduced as the image's settings say.
  void Assign(TPersistent* Source) override;
  // Cuts transparent borders; a frame of transparent pixels only becomes empty.
  void Crop();
  // Makes the pixels that show what Previous shows at the same place transparent.
  void Merge(TGIFSubImage* Previous);

 protected:
  virtual void DoSetBounds(int ALeft, int ATop, int AWidth, int AHeight);
  void AssignTo(TPersistent* Dest) override;
  // New bitmaps, owned by the caller: exact colours, or dithered to the web palette.
  std::unique_ptr<TBitmap> DoGetBitmap();
  std::unique_ptr<TBitmap> DoGetDitherBitmap();

 private:
  friend class TGIFGraphicControlExtension;

  // A new pixel block of the frame's size, zeroed or not.
  void AllocateImage(bool Zeroed);
  void AssignBitmap(TBitmap* Source);
  void AssignGraphic(TGraphic* Source);
  // Pixels where Mask (a bitmap of this frame's size) is not black become transparent.
  void ApplyMask(HBITMAP Mask);
  // Starts the mask bits when the mask is due; null otherwise.
  std::unique_ptr<uint8_t[]> BeginMask(int64_t& Stride);
  void EndMask(std::unique_ptr<uint8_t[]> Bits, bool AnyTransparent);
  void RenderProgress(TProgressStage Stage, int Row);
  void MaskedDraw(TCanvas* ACanvas, const TRect& Rect, HDC MaskDC);
  // The index that may stand for transparent pixels when merging, allocating one when
  // needed and possible; -1 when there is none.
  int MergeTransparentIndex();

  std::unique_ptr<TBitmap> FBitmap;
  HBITMAP FMask = nullptr;
  bool FNeedMask = true;
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

enum TGIFOptimizeOption { ooCrop, ooMerge, ooCleanup, ooColorMap, ooReduceColors };
using TGIFOptimizeOptions = TSet<TGIFOptimizeOption>;

// Settings every new image starts with.
extern TGIFDrawOptions GIFImageDefaultDrawOptions;
extern TColorReduction GIFImageDefaultColorReduction;
extern int GIFImageDefaultColorReductionBits;
extern TDitherMode GIFImageDefaultDitherMode;
extern TGIFCompression GIFImageDefaultCompression;
extern TThreadPriority GIFImageDefaultThreadPriority;
extern int GIFImageDefaultAnimationSpeed;
// Frame timing: milliseconds per delay unit of the file, the delay of a frame that
// gives none, and the bounds of a frame's delay (in units).
extern int GIFDelayExp;
extern int GIFDefaultDelay;
extern int GIFMinimumDelay;
extern int GIFMaximumDelay;
// Set at start-up from the screen: a screen of 8 bits or fewer is a palette device, and
// images dither automatically there.
extern bool PaletteDevice;
extern bool DoAutoDither;
// When set, form streaming optimises an image before writing it.
extern bool GIFImageOptimizeOnStream;
// The clipboard format "GIF Image", registered at start-up.
extern UINT CF_GIF;

// The design-time hook: animations placed on a form do not loop by default.
void Register();

// Registers the picture class for the extension "GIF" and the clipboard format "GIF
// Image", and reads the screen's depth; Finalize removes the class again. Calls are
// counted: a program linking the codec makes one pair, each package load another.
void GIFImageInitialize();
void GIFImageFinalize();

class TGIFPainter;

// The GIF picture class: holds, loads, saves, draws and copies a GIF, single-frame or
// animated. An animation drawn asynchronously plays in a painter thread of its own;
// every painter drawing the image is in its painter list, whose one lock also guards
// the active painter slot and, while an optimisation runs, the whole image.
class TGIFImage : public TGraphic {
  VX_CLASS(TGIFImage, TGraphic)

 public:
  TGIFImage();
  ~TGIFImage() override;

  // ---- Model ----

  TGIFHeader* Header() const { return FHeader.get(); }
  TGIFImageList* Images() const { return FItems.get(); }
  TGIFColorMap* GetColorMap() const { return FHeader->ColorMap(); }

  void Clear();
  void NewImage() { Clear(); }
  // Appends a frame: a TGIFSubImage as it is (the image owns it then), or a new frame
  // made from any other graphic. Answers its index.
  int Add(TPersistent* Source);
  // Drops the caches; a lone frame's local table becomes the global one.
  void Pack();
  void Optimize(TGIFOptimizeOptions Options, TColorReduction AColorReduction, TDitherMode ADitherMode,
                int AReductionBits);
  // One global table of the colours the frames use, most used first.
  void OptimizeColorMap();

  void Assign(TPersistent* Source) override;
  bool Equals(TGraphic* Graphic) override { return Graphic == this; }
  void LoadFromStream(TStream* Stream) override;
  void SaveToStream(TStream* Stream) override;
  void LoadFromClipboardFormat(uint16_t AFormat, HANDLE AData, HPALETTE APalette) override;
  void SaveToClipboardFormat(uint16_t& AFormat, HANDLE& AData, HPALETTE& APalette) override;
  // The module's RCDATA resource of that name.
  void LoadFromResourceName(HINSTANCE Instance, const std::string& Name);

  void SetHeight(int Value) override;
  void SetWidth(int Value) override;
  void SetPalette(HPALETTE Value) override;
  HPALETTE GetPalette() override;

  // The highest version any part needs (gv87a at least).
  TGIFVersion GetVersion();
  // The largest over the header and the frames.
  int GetBitsPerPixel();
  int GetColorResolution();
  int GetBackgroundColorIndex() const { return FHeader->BackgroundColorIndex(); }
  void SetBackgroundColorIndex(int Value) { FHeader->SetBackgroundColorIndex(Value); }
  TColor GetBackgroundColor() { return FHeader->GetBackgroundColor(); }
  void SetBackgroundColor(TColor Value) { FHeader->SetBackgroundColor(Value); }
  uint8_t GetAspectRatio() const { return FHeader->AspectRatio(); }
  void SetAspectRatio(uint8_t Value) { FHeader->SetAspectRatio(Value); }
  bool GetIsTransparent();
  bool GetDoDither();

  // Raises OnGIFWarning when assigned.
  virtual void Warning(TObject* Sender, TGIFSeverity Severity, const std::string& Message);
  TGIFWarning OnGIFWarning;

  // ---- Settings ----

  TGIFDrawOptions DrawOptions() const { return FDrawOptions; }
  void SetDrawOptions(TGIFDrawOptions Value);
  bool GetAnimate() const { return FDrawOptions.Contains(goAnimate); }
  void SetAnimate(bool Value);
  TColorReduction ColorReduction() const { return FColorReduction; }
  void SetColorReduction(TColorReduction Value) { FColorReduction = Value; }
  int ReductionBits() const { return FReductionBits; }
  // Outside 3..8 raises "Invalid Bits Per Pixel value".
  void SetReductionBits(int Value);
  TDitherMode DitherMode() const { return FDitherMode; }
  void SetDitherMode(TDitherMode Value) { FDitherMode = Value; }
  TGIFCompression Compression() const { return FCompression; }
  void SetCompression(TGIFCompression Value) { FCompression = Value; }
  TThreadPriority ThreadPriority() const { return FThreadPriority; }
  void SetThreadPriority(TThreadPriority Value) { FThreadPriority = Value; }
  int AnimationSpeed() const { return FAnimationSpeed; }
  // Clamped to 0..1000 percent; the active painter follows.
  void SetAnimationSpeed(int Value);
  // The colour painters clear with; clNone: the image's own background colour.
  TColor PaintBackgroundColor() const { return FBackgroundColor; }
  void SetPaintBackgroundColor(TColor Value) { FBackgroundColor = Value; }
  bool PaletteChanged() const { return FPaletteChanged; }
  void SetPaletteChanged(bool Value) { FPaletteChanged = Value; }

  // ---- Drawing and painters ----

  // The first frame composed on the logical screen (or the animation's target while
  // one plays), made on first use; null for an empty image.
  TBitmap* GetBitmap();
  void NewBitmap();
  void FreeBitmap();
  // Starts a painter of its own for Canvas (null when there is nothing to paint or the
  // painter ran at once, without goAsync).
  TGIFPainter* Paint(TCanvas* ACanvas, const TRect& Rect, TGIFDrawOptions Options);
  // Makes a painter and stores it into Painter; an asynchronous one is returned not yet
  // started, a synchronous one paints at once and is gone on return (null).
  TGIFPainter* InternalPaint(TGIFPainter** Painter, TCanvas* ACanvas, const TRect& Rect, TGIFDrawOptions Options);
  void PaintStart();
  void PaintPause();
  void PaintResume();
  void PaintRestart();
  // Stops every painter and waits for the asynchronous ones to end.
  void PaintStop();
  // Stops the painter that Draw started.
  void StopDraw();
  TGIFPainter* ActivePainter() const { return FActivePainter; }
  TThreadList* Painters() const { return FPainters.get(); }

  TNotifyEvent OnPaintBegin;
  TNotifyEvent OnFramePaint;
  TNotifyEvent OnFramePainted;
  TNotifyEvent OnLoopStart;
  TNotifyEvent OnPaintEnd;

  using TGraphic::Changed;
  using TGraphic::Progress;

 protected:
  void AssignTo(TPersistent* Dest) override;
  void Draw(TCanvas* ACanvas, const TRect& Rect) override;
  bool GetEmpty() override { return FItems->Count() == 0; }
  int GetHeight() override { return FHeader->Height(); }
  int GetWidth() override { return FHeader->Width(); }
  void WriteData(TStream* Stream) override;

 private:
  friend class TGIFPainter;
  friend class TGIFSubImage;

  // Draws Bitmap stretched into Rect, or tiled from its top-left corner.
  void DrawTiled(TCanvas* ACanvas, const TRect& Rect, TBitmap* Bitmap);
  // Stops the painters in List (all of them, or the one active painter) and waits for
  // the asynchronous ones among them, serving their calls on the main thread.
  void StopPainters(bool ActiveOnly);
  // A frame outside the logical screen widens it.
  void FitScreenToFrames();
  void AssignImage(TGIFImage* Source);

  std::unique_ptr<TGIFImageList> FItems;
  std::unique_ptr<TGIFHeader> FHeader;
  std::unique_ptr<TThreadList> FPainters;
  TGIFPainter* FActivePainter = nullptr;
  HPALETTE FGlobalPalette = nullptr;
  std::unique_ptr<TBitmap> FBitmap;
  TGIFDrawOptions FDrawOptions;
  TColorReduction FColorReduction;
  int FReductionBits;
  TDitherMode FDitherMode;
  TGIFCompression FCompression;
  TThreadPriority FThreadPriority;
  int FAnimationSpeed;
  TColor FBackgroundColor = clNone;
  bool FInDraw = false;
  bool FInGetPalette = false;
  bool FPaletteChanged = false;
  // Pixels of the frames read since the last Clear that their image data did not code.
  int64_t FUncodedPixels = 0;
};
