// The PNG picture: a PNG image held as the ordered list of its chunks. The header
// chunk owns the decoded image as a bottom-up device-independent bitmap (24 bits per
// pixel for colour, 1, 4 or 8 bits with a colour table for grey and palette images)
// plus an alpha plane of one byte per pixel for images with an alpha channel.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "codecs/png/PngLang.h"
#include "platform/gdi/gdi.h"
#include "platform/rtl/classes.h"
#include "platform/rtl/system.h"
#include "platform/vcl/graphics.h"

class TChunk;
class TChunkIHDR;
class TPNGObject;

// ---------------------------------------------------------------------------------
// Helpers shared by the chunks

// CRC-32 of the PNG format (reflected polynomial $EDB88320). A chunk CRC starts at
// $FFFFFFFF, runs over the name and then the data, and is complemented at the end.
uint32_t update_crc(uint32_t Crc, const uint8_t* Buffer, size_t Length);
uint32_t ByteSwap(uint32_t Value);
uint16_t ByteSwap16(uint16_t Value);

// A chunk class reference: the class descriptor, the chunk name it stands for and
// its virtual constructor.
struct TChunkClassInfo {
  TClass Type;
  std::unique_ptr<TChunk> (*Create)(TPNGObject* Owner);
  // The class name without its leading "TChunk" ("IHDR" for TChunkIHDR, "" for TChunk).
  std::string GetName() const;
  // Creates a chunk of this class for Owner, named after the class when its name has
  // four characters.
  std::unique_ptr<TChunk> New(TPNGObject* Owner) const;
};
using TChunkClass = const TChunkClassInfo*;

// Declares a chunk class: its class descriptor and its chunk class reference.
#define VX_CHUNK(Self, Parent)                                                            \
  VX_CLASS(Self, Parent)                                                                  \
                                                                                          \
 public:                                                                                  \
  static TChunkClass ChunkClass() {                                                       \
    static const TChunkClassInfo info{                                                    \
        Self::StaticClass(),                                                              \
        [](TPNGObject* Owner) -> std::unique_ptr<TChunk> { return std::make_unique<Self>(Owner); }}; \
    return &info;                                                                         \
  }                                                                                       \
  TChunkClass GetChunkClass() const override { return ChunkClass(); }                     \
                                                                                          \
 private:

// The registry of chunk classes, in registration order.
void RegisterChunk(TChunkClass ChunkClass);
// The class for a chunk name read from a file: the first registered class with that
// name, else the generic TChunk.
TChunkClass FindChunkClass(const char Name[4]);

// A list of pointers with the bounds rules the codec relies on.
template <class T>
class TPNGPointerList {
 public:
  int Count() const { return static_cast<int>(items_.size()); }
  T* Add(T* Item) {
    items_.push_back(Item);
    return Item;
  }
  // Inserts before an existing item only; other positions are ignored.
  void Insert(T* Item, int Position) {
    if (Position >= 0 && Position < Count()) items_.insert(items_.begin() + Position, Item);
  }
  // Takes out the last occurrence; answers the item, or null when it is absent.
  T* Remove(T* Item) {
    for (int i = Count() - 1; i >= 0; --i)
      if (items_[i] == Item) {
        items_.erase(items_.begin() + i);
        return Item;
      }
    return nullptr;
  }
  T* GetItem(int Index) const { return Index >= 0 && Index < Count() ? items_[Index] : nullptr; }
  void SetItem(int Index, T* Item) {
    if (Index >= 0 && Index < Count()) items_[Index] = Item;
  }
  void SetSize(int Size) {
    items_.resize(Size > 0 ? Size : 0);
    if (Size <= 0) items_.shrink_to_fit();
  }

 private:
  std::vector<T*> items_;
};

// ---------------------------------------------------------------------------------
// Chunks

class TChunk : public TObject {
  VX_CLASS(TChunk, TObject)

 public:
  static TChunkClass ChunkClass();
  virtual TChunkClass GetChunkClass() const { return ChunkClass(); }

  explicit TChunk(TPNGObject* Owner);
  ~TChunk() override = default;
  TChunk(const TChunk&) = delete;
  TChunk& operator=(const TChunk&) = delete;

  std::string GetName() const { return GetChunkClass()->GetName(); }
  // Copies the name and the data of Source.
  virtual void Assign(TChunk* Source);
  // Reads Size data bytes and the CRC that follows (the length and the name were
  // read by the caller); answers whether the CRC matched.
  virtual bool LoadFromStream(TStream& Stream, const char ChunkName[4], uint32_t Size);
  virtual bool SaveToStream(TStream& Stream);

  void ResizeData(uint32_t Size);
  int GetIndex() const;
  TChunkIHDR* GetHeader() const;
  // The 4 name bytes: as read from the file, else the class's name.
  std::string GetChunkName() const;
  void SetChunkName(const char Name[4]);

  TPNGObject* Owner() const { return owner_; }
  uint8_t* Data() { return data_.data(); }
  const uint8_t* Data() const { return data_.data(); }
  uint32_t DataSize() const { return dataSize_; }

 protected:
  // Writes length, name, data and CRC.
  bool SaveData(TStream& Stream);

  TPNGObject* owner_;
  char name_[4] = {0, 0, 0, 0};

 private:
  std::vector<uint8_t> data_;  // one byte longer than the data, always zero there
  uint32_t dataSize_ = 0;
};

class TChunkIEND : public TChunk {
  VX_CHUNK(TChunkIEND, TChunk)

 public:
  using TChunk::TChunk;
};

class TChunkIHDR : public TChunk {
  VX_CHUNK(TChunkIHDR, TChunk)

 public:
  explicit TChunkIHDR(TPNGObject* Owner);
  ~TChunkIHDR() override;

  void Assign(TChunk* Source) override;
  bool LoadFromStream(TStream& Stream, const char ChunkName[4], uint32_t Size) override;
  bool SaveToStream(TStream& Stream) override;

  // Allocates a zeroed image store for the header's size, colour type and bit depth.
  void PrepareImageData();
  void FreeImageData();

  uint32_t Width = 0;
  uint32_t Height = 0;
  uint8_t BitDepth = 0;
  uint8_t ColorType = 0;
  uint8_t CompressionMethod = 0;
  uint8_t FilterMethod = 0;
  uint8_t InterlaceMethod = 0;

  uint8_t* ImageData() const { return imageData_.get(); }
  uint8_t* ImageAlpha() const { return imageAlpha_.get(); }
  int64_t BytesPerRow() const { return bytesPerRow_; }
  bool HasPalette() const { return hasPalette_; }
  BITMAPINFO256& BitmapInfo() { return bitmapInfo_; }
  BITMAPINFO* BitmapInfoPtr() { return bitmapInfo_.get(); }
  // Bits per pixel of the bitmap: 1, 4, 8 or 24 (0 before PrepareImageData).
  int BitmapBits() const { return bitmapInfo_.bmiHeader.biBitCount; }
  // Allocates the alpha plane (all 255) for a header that now has an alpha channel.
  void CreateAlphaPlane();

 private:
  // Large stores are mapped directly (in huge pages where the system offers them),
  // small ones come from the heap.
  struct Releaser {
    Releaser() : mapped(0) {}
    explicit Releaser(size_t Mapped) : mapped(Mapped) {}
    void operator()(uint8_t* p) const;
    size_t mapped;
  };
  using Buffer = std::unique_ptr<uint8_t, Releaser>;
  static Buffer Allocate(uint64_t Size);

  BITMAPINFO256 bitmapInfo_{};
  Buffer imageData_;
  Buffer imageAlpha_;
  int64_t bytesPerRow_ = 0;
  bool hasPalette_ = false;
};

class TChunkPLTE : public TChunk {
  VX_CHUNK(TChunkPLTE, TChunk)

 public:
  using TChunk::TChunk;
  void Assign(TChunk* Source) override;
  bool LoadFromStream(TStream& Stream, const char ChunkName[4], uint32_t Size) override;
  bool SaveToStream(TStream& Stream) override;

  // The colour table entry; raises EPngError for an index not below Count.
  RGBQUAD GetPaletteItem(int Index);
  int Count() const { return count_; }
  void SetCount(int Count) { count_ = Count; }

 private:
  int count_ = 0;
};

class TChunkgAMA : public TChunk {
  VX_CHUNK(TChunkgAMA, TChunk)

 public:
  explicit TChunkgAMA(TPNGObject* Owner);
  void Assign(TChunk* Source) override;
  bool LoadFromStream(TStream& Stream, const char ChunkName[4], uint32_t Size) override;

  uint32_t GetValue();
  void SetValue(uint32_t Value);
};

class TChunktRNS : public TChunk {
  VX_CHUNK(TChunktRNS, TChunk)

 public:
  explicit TChunktRNS(TPNGObject* Owner);
  void Assign(TChunk* Source) override;
  bool LoadFromStream(TStream& Stream, const char ChunkName[4], uint32_t Size) override;
  bool SaveToStream(TStream& Stream) override;

  // The colour of the transparent pixels as the decoded bitmap holds it (RGB).
  COLORREF GetTransparentColor();
  void SetTransparentColor(COLORREF Value);

  bool BitTransparency = false;
  // One alpha value per palette entry (palette images); 255 where the chunk has none.
  std::array<uint8_t, 256> PaletteValues{};
};

class TChunktIME : public TChunk {
  VX_CHUNK(TChunktIME, TChunk)

 public:
  using TChunk::TChunk;
  void Assign(TChunk* Source) override;
  bool LoadFromStream(TStream& Stream, const char ChunkName[4], uint32_t Size) override;
  bool SaveToStream(TStream& Stream) override;

  uint16_t Year = 0;
  uint8_t Month = 0;
  uint8_t Day = 0;
  uint8_t Hour = 0;
  uint8_t Minute = 0;
  uint8_t Second = 0;
};

class TChunktEXt : public TChunk {
  VX_CHUNK(TChunktEXt, TChunk)

 public:
  using TChunk::TChunk;
  void Assign(TChunk* Source) override;
  bool LoadFromStream(TStream& Stream, const char ChunkName[4], uint32_t Size) override;
  bool SaveToStream(TStream& Stream) override;

  std::string Keyword;
  std::string Text;
};

class TChunkzTXt : public TChunktEXt {
  VX_CHUNK(TChunkzTXt, TChunktEXt)

 public:
  using TChunktEXt::TChunktEXt;
  bool LoadFromStream(TStream& Stream, const char ChunkName[4], uint32_t Size) override;
  bool SaveToStream(TStream& Stream) override;
};

// The image data: reading follows the zlib stream across all consecutive IDAT
// chunks; writing splits the compressed data into chunks of the owner's MaxIdatSize.
class TChunkIDAT : public TChunk {
  VX_CHUNK(TChunkIDAT, TChunk)

 public:
  using TChunk::TChunk;
  bool LoadFromStream(TStream& Stream, const char ChunkName[4], uint32_t Size) override;
  bool SaveToStream(TStream& Stream) override;
};

// Draws a bitmap (Bits, Info) stretched into Rect on DC, leaving the pixels of
// Color transparent.
void DrawTransparentBitmap(HDC DC, const void* Bits, const BITMAPINFO* Info, COLORREF Color,
                           const TRect& Rect);

// The owner's chunk list; the list owns its chunks.
class TPNGList {
 public:
  explicit TPNGList(TPNGObject* Owner) : owner_(Owner) {}

  int Count() const { return static_cast<int>(items_.size()); }
  TChunk* GetItem(int Index) const;
  int IndexOf(const TChunk* Chunk) const;
  // Creates a chunk of ChunkClass and places it by the rules for adding chunks to an
  // existing picture; raises EPngError when that is not allowed.
  TChunk* Add(TChunkClass ChunkClass);
  // The first chunk of that class or a subclass, or null.
  TChunk* ItemFromClass(TChunkClass ChunkClass) const;
  template <class T>
  T* Find() const {
    return static_cast<T*>(ItemFromClass(T::ChunkClass()));
  }
  void RemoveChunk(TChunk* Chunk);
  // Appends a chunk that is already made (loading, copying).
  TChunk* Append(std::unique_ptr<TChunk> Chunk);
  void Clear();

 private:
  void InsertAt(int Position, std::unique_ptr<TChunk> Chunk);
  TPNGObject* owner_;
  std::vector<std::unique_ptr<TChunk>> items_;
};

// ---------------------------------------------------------------------------------
// The picture

enum class TFilter { pfNone, pfSub, pfUp, pfAverage, pfPaeth };
using TFilters = TSet<TFilter>;
constexpr auto pfNone = TFilter::pfNone;
constexpr auto pfSub = TFilter::pfSub;
constexpr auto pfUp = TFilter::pfUp;
constexpr auto pfAverage = TFilter::pfAverage;
constexpr auto pfPaeth = TFilter::pfPaeth;

enum TInterlaceMethod { imNone, imAdam7 };
using TCompressionLevel = int;  // 0..9
enum TPNGTransparencyMode { ptmNone, ptmBit, ptmPartial };

using TGammaTable = std::array<uint8_t, 256>;

class TPNGObject : public TGraphic {
  VX_CLASS(TPNGObject, TGraphic)

 public:
  TPNGObject();
  ~TPNGObject() override;

  void Assign(TPersistent* Source) override;

 protected:
  void AssignTo(TPersistent* Dest) override;
  void Draw(TCanvas* ACanvas, const TRect& Rect) override;
  bool GetEmpty() override { return chunks_.Count() == 0; }
  int GetHeight() override;
  HPALETTE GetPalette() override;
  bool GetTransparent() override { return GetTransparencyMode() != ptmNone; }
  int GetWidth() override;

 public:
  void LoadFromStream(TStream* Stream) override;
  void SaveToStream(TStream* Stream) override;
  // The size comes from the image: changing it raises EPngError.
  void SetHeight(int Value) override;
  void SetWidth(int Value) override;
  void LoadFromClipboardFormat(uint16_t AFormat, HANDLE AData, HPALETTE APalette) override;
  void SaveToClipboardFormat(uint16_t& AFormat, HANDLE& AData, HPALETTE& APalette) override;

  // The colour of a pixel (RGB), 0 outside the image.
  virtual TColor GetPixels(int X, int Y);
  virtual void SetPixels(int X, int Y, TColor Value);

  void ClearChunks();
  TChunkIHDR* GetHeader() const;
  bool HeaderPresent() const;
  TPNGList& Chunks() { return chunks_; }

  TPNGTransparencyMode GetTransparencyMode() const;
  TColor GetTransparentColor() const;
  void SetTransparentColor(TColor Value);
  void RemoveTransparency();
  void CreateAlpha();
  void AddtEXt(const std::string& Keyword, const std::string& Text);
  void AddzTXt(const std::string& Keyword, const std::string& Text);

  // Image row Row counted from the top.
  uint8_t* GetScanline(int Row) const;
  uint8_t* GetAlphaScanline(int Row) const;
  // The byte size of one row in the PNG's own pixel format and the bytes of one
  // complete pixel (at least 1 for packed samples); both 0 without a header.
  void GetPixelInfo(int64_t& LineSize, int& Offset) const;

  // Makes the image from a bitmap: a palette image below 16 bits per pixel, RGB
  // otherwise, with Color as the transparent colour when Transparent is set.
  void AssignHandle(HBITMAP Handle, bool Transparent, COLORREF Color);
  void AssignPNG(const TPNGObject* Source);
  // Loads the image from a module's resource of type RT_RCDATA, or of type "PNG" when
  // there is no such raw-data resource (a null module is the program).
  void LoadFromResourceName(HINSTANCE Instance, const std::string& Name);
  void LoadFromResourceID(HINSTANCE Instance, int ResID);
  // Blends the image over the area R of DC by its alpha values.
  void DrawPartialTrans(HDC DC, const TRect& R);

  template <class E>
  [[noreturn]] void RaiseError(const std::string& Text) const {
    throw E(Text);
  }
  void InitializeGamma();

  TFilters Filters() const { return filters_; }
  void SetFilters(TFilters Value) { filters_ = Value; }
  TCompressionLevel CompressionLevel() const { return compressionLevel_; }
  void SetCompressionLevel(TCompressionLevel Value);
  TInterlaceMethod InterlaceMethod() const { return interlaceMethod_; }
  void SetInterlaceMethod(TInterlaceMethod Value) { interlaceMethod_ = Value; }
  int MaxIdatSize() const { return maxIdatSize_; }
  // Sizes below 65535 become 65535.
  void SetMaxIdatSize(int Value);

  TGammaTable GammaTable;
  TGammaTable InverseGamma;

  // Deletes the palette handle made for the current image data.
  void FreePaletteHandle();

 private:
  TPNGList chunks_{this};
  TFilters filters_{pfSub};
  TCompressionLevel compressionLevel_ = 7;
  TInterlaceMethod interlaceMethod_ = imNone;
  int maxIdatSize_ = 65535;
  HPALETTE paletteHandle_ = nullptr;
};

// Registers the picture class for ".png" with the picture machinery (the first call)
// and removes it again (the last call); linking the codec does the first call.
void PngImageInitialize();
void PngImageFinalize();
