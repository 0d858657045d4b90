// Chunk base, the ancillary and header chunks, the chunk list and the class registry.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <mutex>

#include <sys/mman.h>

#include "codecs/png/PngImage.h"
#include "codecs/png/PngStreamIO.h"
#include "codecs/png/PngZlib.h"

// ---------------------------------------------------------------------------------
// CRC and byte order

namespace {

// Eight tables of 256 entries: table 0 is the classic byte-wise table, table k
// advances a byte that sits k positions before the end of an 8-byte block.
struct CrcTables {
  uint32_t t[8][256];
  constexpr CrcTables() : t{} {
    for (uint32_t n = 0; n < 256; ++n) {
      uint32_t c = n;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[0][n] = c;
    }
    for (int k = 1; k < 8; ++k)
      for (uint32_t n = 0; n < 256; ++n) t[k][n] = (t[k - 1][n] >> 8) ^ t[0][t[k - 1][n] & 0xFF];
  }
};
constexpr CrcTables kCrc;

}  // namespace

uint32_t update_crc(uint32_t Crc, const uint8_t* Buffer, size_t Length) {
  uint32_t c = Crc;
  const auto& t = kCrc.t;
  while (Length >= 8) {
    uint32_t lo = c ^ (uint32_t(Buffer[0]) | uint32_t(Buffer[1]) << 8 | uint32_t(Buffer[2]) << 16 |
                       uint32_t(Buffer[3]) << 24);
    c = t[7][lo & 0xFF] ^ t[6][(lo >> 8) & 0xFF] ^ t[5][(lo >> 16) & 0xFF] ^ t[4][lo >> 24] ^
        t[3][Buffer[4]] ^ t[2][Buffer[5]] ^ t[1][Buffer[6]] ^ t[0][Buffer[7]];
    Buffer += 8;
    Length -= 8;
  }
  while (Length-- > 0) c = t[0][(c ^ *Buffer++) & 0xFF] ^ (c >> 8);
  return c;
}

uint32_t ByteSwap(uint32_t Value) {
  return (Value >> 24) | ((Value >> 8) & 0xFF00) | ((Value << 8) & 0xFF0000) | (Value << 24);
}

uint16_t ByteSwap16(uint16_t Value) { return uint16_t((Value >> 8) | (Value << 8)); }

// ---------------------------------------------------------------------------------
// Stream helpers

namespace png_io {

size_t ReadSome(TStream& Stream, void* Buffer, size_t Count) {
  auto* p = static_cast<uint8_t*>(Buffer);
  size_t done = 0;
  while (done < Count) {
    int64_t n = Stream.Read(p + done, static_cast<int64_t>(Count - done));
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  return done;
}

void ReadExact(TStream& Stream, void* Buffer, size_t Count) {
  if (ReadSome(Stream, Buffer, Count) != Count) throw EPngUnexpectedEnd(EPNGUnexpectedEndText);
}

uint32_t ReadBigEndian32(TStream& Stream) {
  uint8_t b[4];
  ReadExact(Stream, b, 4);
  return GetBigEndian32(b);
}

int64_t Remaining(TStream& Stream) {
  int64_t size = Stream.Size();
  int64_t position = Stream.Position();
  return size >= 0 && position >= 0 ? std::max<int64_t>(0, size - position) : -1;
}

void CheckChunkLength(TStream& Stream, uint32_t Length) {
  if (Length > 0x7FFFFFFFu) throw EPngInvalidCRC(EPngInvalidCRCText);
  int64_t remaining = Remaining(Stream);
  if (remaining >= 0 && int64_t{Length} > remaining) throw EPngUnexpectedEnd(EPNGUnexpectedEndText);
}

void Skip(TStream& Stream, int64_t Count) { Stream.Seek(Count, soCurrent); }

void Write(TStream& Stream, const void* Buffer, size_t Count) {
  if (Count > 0) Stream.WriteBuffer(Buffer, static_cast<int64_t>(Count));
}

void WriteBigEndian32(TStream& Stream, uint32_t Value) {
  uint8_t b[4];
  PutBigEndian32(b, Value);
  Write(Stream, b, 4);
}

uint32_t ChunkCrc(const char Name[4], const uint8_t* Data, size_t Size) {
  uint32_t crc = update_crc(0xFFFFFFFFu, reinterpret_cast<const uint8_t*>(Name), 4);
  return ~update_crc(crc, Data, Size);
}

void WriteChunk(TStream& Stream, const char Name[4], const uint8_t* Data, size_t Size) {
  // One write for the 8-byte head, one for the data, one for the CRC.
  uint8_t head[8];
  PutBigEndian32(head, static_cast<uint32_t>(Size));
  std::memcpy(head + 4, Name, 4);
  Write(Stream, head, 8);
  Write(Stream, Data, Size);
  WriteBigEndian32(Stream, ChunkCrc(Name, Data, Size));
}

}  // namespace png_io

// ---------------------------------------------------------------------------------
// Registry

std::string TChunkClassInfo::GetName() const {
  std::string name = Type->name;
  return name.rfind("TChunk", 0) == 0 ? name.substr(6) : name;
}

std::unique_ptr<TChunk> TChunkClassInfo::New(TPNGObject* Owner) const {
  std::unique_ptr<TChunk> chunk = Create(Owner);
  std::string name = GetName();
  if (name.size() == 4) chunk->SetChunkName(name.c_str());
  return chunk;
}

namespace {

struct ChunkRegistry {
  std::mutex lock;
  TPNGPointerList<const TChunkClassInfo> classes;
  ChunkRegistry() {
    for (TChunkClass c :
         {TChunkIEND::ChunkClass(), TChunkIHDR::ChunkClass(), TChunkIDAT::ChunkClass(),
          TChunkPLTE::ChunkClass(), TChunkgAMA::ChunkClass(), TChunktRNS::ChunkClass(),
          TChunktIME::ChunkClass(), TChunktEXt::ChunkClass(), TChunkzTXt::ChunkClass()})
      classes.Add(c);
  }
};

ChunkRegistry& Registry() {
  static ChunkRegistry registry;
  return registry;
}

}  // namespace

void RegisterChunk(TChunkClass ChunkClass) {
  auto& r = Registry();
  std::lock_guard guard(r.lock);
  r.classes.Add(ChunkClass);
}

TChunkClass FindChunkClass(const char Name[4]) {
  auto& r = Registry();
  std::lock_guard guard(r.lock);
  std::string_view wanted(Name, 4);
  for (int i = 0; i < r.classes.Count(); ++i) {
    TChunkClass c = r.classes.GetItem(i);
    if (c->GetName() == wanted) return c;
  }
  return TChunk::ChunkClass();
}

// ---------------------------------------------------------------------------------
// TChunk

TChunkClass TChunk::ChunkClass() {
  static const TChunkClassInfo info{
      TChunk::StaticClass(),
      [](TPNGObject* Owner) -> std::unique_ptr<TChunk> { return std::make_unique<TChunk>(Owner); }};
  return &info;
}

TChunk::TChunk(TPNGObject* Owner) : owner_(Owner), data_(1, 0) {}

void TChunk::SetChunkName(const char Name[4]) { std::memcpy(name_, Name, 4); }

std::string TChunk::GetChunkName() const {
  if (name_[0] == 0) {
    std::string name = GetName();
    if (name.size() == 4) return name;
  }
  return std::string(name_, 4);
}

void TChunk::ResizeData(uint32_t Size) {
  data_.assign(size_t{Size} + 1, 0);
  dataSize_ = Size;
}

void TChunk::Assign(TChunk* Source) {
  std::memcpy(name_, Source->name_, 4);
  data_ = Source->data_;
  dataSize_ = Source->dataSize_;
}

bool TChunk::LoadFromStream(TStream& Stream, const char ChunkName[4], uint32_t Size) {
  SetChunkName(ChunkName);
  // The length comes from the file: it must fit the format's limit and what the
  // stream still holds before anything is allocated for it.
  png_io::CheckChunkLength(Stream, Size);
  ResizeData(Size);
  png_io::ReadExact(Stream, Data(), Size);
  uint32_t crc = png_io::ReadBigEndian32(Stream);
  if (crc != png_io::ChunkCrc(name_, Data(), Size))
    owner_->RaiseError<EPngInvalidCRC>(EPngInvalidCRCText);
  return true;
}

bool TChunk::SaveData(TStream& Stream) {
  png_io::WriteChunk(Stream, GetChunkName().c_str(), Data(), DataSize());
  return true;
}

bool TChunk::SaveToStream(TStream& Stream) { return SaveData(Stream); }

int TChunk::GetIndex() const { return owner_->Chunks().IndexOf(this); }

TChunkIHDR* TChunk::GetHeader() const { return owner_->GetHeader(); }

// ---------------------------------------------------------------------------------
// IHDR

namespace {
// The largest image store (bitmap and alpha plane) the codec allocates.
constexpr uint64_t kMaxImageBytes = uint64_t{1} << 30;

// Bits per bitmap pixel for a colour type and bit depth, 0 when there is no
// converter for the pair.
int BitmapBitsFor(int ColorType, int BitDepth) {
  switch (ColorType) {
    case 0:
      return BitDepth == 1 ? 1 : BitDepth == 2 || BitDepth == 4 ? 4 : BitDepth == 8 || BitDepth == 16 ? 8 : 0;
    case 3:
      return BitDepth == 1 ? 1 : BitDepth == 2 || BitDepth == 4 ? 4 : BitDepth == 8 ? 8 : 0;
    case 4:
      return BitDepth == 8 || BitDepth == 16 ? 8 : 0;
    case 2:
    case 6:
      return BitDepth == 8 || BitDepth == 16 ? 24 : 0;
    default:
      return 0;
  }
}
}  // namespace

void TChunkIHDR::Releaser::operator()(uint8_t* p) const {
  if (mapped) munmap(p, mapped);
  else std::free(p);
}

TChunkIHDR::Buffer TChunkIHDR::Allocate(uint64_t Size) {
  // Fresh mappings are zero; mapping large stores in 2 MiB pages saves most of the
  // page faults of filling them.
  constexpr uint64_t kHugePage = uint64_t{2} << 20;
  if (Size >= 4 * kHugePage) {
    size_t length = size_t((Size + kHugePage - 1) / kHugePage * kHugePage);
    void* p = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) throw EPNGOutMemory(EPNGOutMemoryText);
    madvise(p, length, MADV_HUGEPAGE);
    return Buffer(static_cast<uint8_t*>(p), Releaser{length});
  }
  void* p = std::calloc(Size ? Size : 1, 1);
  if (!p) throw EPNGOutMemory(EPNGOutMemoryText);
  return Buffer(static_cast<uint8_t*>(p), Releaser{});
}

TChunkIHDR::TChunkIHDR(TPNGObject* Owner) : TChunk(Owner) {}

TChunkIHDR::~TChunkIHDR() { FreeImageData(); }

void TChunkIHDR::FreeImageData() {
  imageData_.reset();
  imageAlpha_.reset();
  bytesPerRow_ = 0;
}

void TChunkIHDR::PrepareImageData() {
  bitmapInfo_ = BITMAPINFO256{};
  FreeImageData();
  owner_->FreePaletteHandle();
  int bits = BitmapBitsFor(ColorType, BitDepth);
  if (bits == 0 || Width == 0 || Height == 0)
    owner_->RaiseError<EPngInvalidIHDR>(EPNGInvalidIHDRText);
  hasPalette_ = bits <= 8;
  uint64_t rowBytes = ((uint64_t{Width} * bits + 31) / 32) * 4;
  uint64_t imageBytes = rowBytes * Height;
  uint64_t alphaBytes = ColorType == 4 || ColorType == 6 ? uint64_t{Width} * Height : 0;
  if (imageBytes + alphaBytes > kMaxImageBytes) owner_->RaiseError<EPNGOutMemory>(EPNGOutMemoryText);
  imageData_ = Allocate(imageBytes);
  if (alphaBytes) imageAlpha_ = Allocate(alphaBytes);
  bytesPerRow_ = static_cast<int64_t>(rowBytes);
  auto& h = bitmapInfo_.bmiHeader;
  h.biSize = sizeof(BITMAPINFOHEADER);
  h.biWidth = static_cast<LONG>(Width);
  h.biHeight = static_cast<LONG>(Height);
  h.biPlanes = 1;
  h.biBitCount = static_cast<WORD>(bits);
  h.biCompression = BI_RGB;
  h.biClrUsed = hasPalette_ ? 1u << bits : 0;
}

void TChunkIHDR::CreateAlphaPlane() {
  imageAlpha_ = Allocate(uint64_t{Width} * Height);
  std::memset(imageAlpha_.get(), 255, size_t{Width} * Height);
}

bool TChunkIHDR::LoadFromStream(TStream& Stream, const char ChunkName[4], uint32_t Size) {
  bool result = TChunk::LoadFromStream(Stream, ChunkName, Size);
  if (DataSize() < 13) owner_->RaiseError<EPngInvalidIHDR>(EPNGInvalidIHDRText);
  const uint8_t* d = Data();
  Width = png_io::GetBigEndian32(d);
  Height = png_io::GetBigEndian32(d + 4);
  BitDepth = d[8];
  ColorType = d[9];
  CompressionMethod = d[10];
  FilterMethod = d[11];
  InterlaceMethod = d[12];
  if (Width > 65535 || Height > 65535) owner_->RaiseError<EPNGSizeExceeds>(EPNGSizeExceedsText);
  if (CompressionMethod != 0)
    owner_->RaiseError<EPNGUnknownCompression>(EPNGUnknownCompressionText);
  if (InterlaceMethod > 1) owner_->RaiseError<EPNGUnknownInterlace>(EPNGUnknownInterlaceText);
  owner_->SetInterlaceMethod(static_cast<TInterlaceMethod>(InterlaceMethod));
  PrepareImageData();
  return result;
}

bool TChunkIHDR::SaveToStream(TStream& Stream) {
  ResizeData(13);
  uint8_t* d = Data();
  png_io::PutBigEndian32(d, Width);
  png_io::PutBigEndian32(d + 4, Height);
  // 2-bit images are held with 4 bits per pixel and written that way.
  d[8] = BitDepth == 2 ? 4 : BitDepth;
  d[9] = ColorType;
  d[10] = CompressionMethod;
  d[11] = FilterMethod;
  d[12] = static_cast<uint8_t>(owner_->InterlaceMethod());
  return SaveData(Stream);
}

void TChunkIHDR::Assign(TChunk* Source) {
  auto* source = As<TChunkIHDR>(Source);
  if (!source) owner_->RaiseError<EPngError>(EPNGCannotAssignChunkText);
  TChunk::Assign(Source);
  Width = source->Width;
  Height = source->Height;
  BitDepth = source->BitDepth;
  ColorType = source->ColorType;
  CompressionMethod = source->CompressionMethod;
  FilterMethod = source->FilterMethod;
  InterlaceMethod = source->InterlaceMethod;
  PrepareImageData();
  std::memcpy(imageData_.get(), source->imageData_.get(), size_t(bytesPerRow_) * Height);
  if (source->imageAlpha_) {
    if (!imageAlpha_) imageAlpha_ = Allocate(uint64_t{Width} * Height);
    std::memcpy(imageAlpha_.get(), source->imageAlpha_.get(), size_t{Width} * Height);
  }
  std::memcpy(bitmapInfo_.bmiColors, source->bitmapInfo_.bmiColors, sizeof(bitmapInfo_.bmiColors));
}

// ---------------------------------------------------------------------------------
// PLTE

bool TChunkPLTE::LoadFromStream(TStream& Stream, const char ChunkName[4], uint32_t Size) {
  bool result = TChunk::LoadFromStream(Stream, ChunkName, Size);
  if (DataSize() % 3 != 0 || DataSize() / 3 > 256)
    owner_->RaiseError<EPNGInvalidPalette>(EPNGInvalidPaletteText);
  count_ = static_cast<int>(DataSize() / 3);
  TChunkIHDR* header = GetHeader();
  // Grey images have no palette: their colour table holds the grey levels.
  if (header->ColorType == 0 || header->ColorType == 4) return result;
  const auto& gamma = owner_->GammaTable;
  const uint8_t* d = Data();
  for (int i = 0; i < count_; ++i) {
    RGBQUAD& e = header->BitmapInfo().bmiColors[i];
    e.rgbRed = gamma[d[3 * i]];
    e.rgbGreen = gamma[d[3 * i + 1]];
    e.rgbBlue = gamma[d[3 * i + 2]];
    e.rgbReserved = 0;
  }
  owner_->FreePaletteHandle();
  return result;
}

bool TChunkPLTE::SaveToStream(TStream& Stream) {
  ResizeData(static_cast<uint32_t>(count_) * 3);
  TChunkIHDR* header = GetHeader();
  const auto& inverse = owner_->InverseGamma;
  uint8_t* d = Data();
  for (int i = 0; i < count_; ++i) {
    const RGBQUAD& e = header->BitmapInfo().bmiColors[i];
    d[3 * i] = inverse[e.rgbRed];
    d[3 * i + 1] = inverse[e.rgbGreen];
    d[3 * i + 2] = inverse[e.rgbBlue];
  }
  return SaveData(Stream);
}

RGBQUAD TChunkPLTE::GetPaletteItem(int Index) {
  if (Index < 0 || Index >= count_) owner_->RaiseError<EPngError>(EPNGUnknownPalEntryText);
  return GetHeader()->BitmapInfo().bmiColors[Index];
}

void TChunkPLTE::Assign(TChunk* Source) {
  auto* source = As<TChunkPLTE>(Source);
  if (!source) owner_->RaiseError<EPngError>(EPNGCannotAssignChunkText);
  TChunk::Assign(Source);
  count_ = source->count_;
}

// ---------------------------------------------------------------------------------
// gAMA

TChunkgAMA::TChunkgAMA(TPNGObject* Owner) : TChunk(Owner) { SetValue(1); }

uint32_t TChunkgAMA::GetValue() {
  if (DataSize() != 4) {
    ResizeData(4);
    return 1;
  }
  return png_io::GetBigEndian32(Data());
}

void TChunkgAMA::SetValue(uint32_t Value) {
  ResizeData(4);
  png_io::PutBigEndian32(Data(), Value);
}

bool TChunkgAMA::LoadFromStream(TStream& Stream, const char ChunkName[4], uint32_t Size) {
  bool result = TChunk::LoadFromStream(Stream, ChunkName, Size);
  // A gAMA of any other size says nothing; it must not darken the image.
  if (DataSize() != 4) return result;
  uint32_t value = GetValue();
  if (value == 0) return result;
  double exponent = 1.0 / (value / 100000.0 * 2.2);
  auto power = [](double base, double e) {
    if (e == 0) return 1.0;
    if (base == 0) return 0.0;
    return std::exp(e * std::log(base));
  };
  for (int i = 0; i < 256; ++i) {
    double g = std::nearbyint(power(i / 255.0, exponent) * 255.0);
    auto v = static_cast<uint8_t>(std::clamp(g, 0.0, 255.0));
    owner_->GammaTable[i] = v;
    owner_->InverseGamma[v] = static_cast<uint8_t>(i);
  }
  return result;
}

void TChunkgAMA::Assign(TChunk* Source) {
  auto* source = As<TChunkgAMA>(Source);
  if (!source) owner_->RaiseError<EPngError>(EPNGCannotAssignChunkText);
  TChunk::Assign(Source);
}

// ---------------------------------------------------------------------------------
// tRNS

TChunktRNS::TChunktRNS(TPNGObject* Owner) : TChunk(Owner) { PaletteValues.fill(255); }

bool TChunktRNS::LoadFromStream(TStream& Stream, const char ChunkName[4], uint32_t Size) {
  bool result = TChunk::LoadFromStream(Stream, ChunkName, Size);
  if (DataSize() > 256) owner_->RaiseError<EPNGInvalidPalette>(EPNGInvalidPaletteText);
  PaletteValues.fill(255);
  std::memcpy(PaletteValues.data(), Data(), DataSize());
  switch (GetHeader()->ColorType) {
    case 0:
    case 2:
      BitTransparency = true;
      break;
    case 3: {
      // One fully transparent entry among opaque ones is drawn with a colour key;
      // anything else needs per-pixel blending.
      int notOpaque = 0, clear = 0;
      for (uint32_t i = 0; i < DataSize(); ++i) {
        if (PaletteValues[i] != 255) ++notOpaque;
        if (PaletteValues[i] == 0) ++clear;
      }
      BitTransparency = notOpaque == 1 && clear == 1;
      break;
    }
    default:
      break;
  }
  return result;
}

bool TChunktRNS::SaveToStream(TStream& Stream) {
  uint32_t size = std::min<uint32_t>(DataSize(), 256);
  std::vector<uint8_t> values(PaletteValues.begin(), PaletteValues.begin() + size);
  ResizeData(size);
  std::memcpy(Data(), values.data(), size);
  return SaveData(Stream);
}

namespace {
// The grey level a grey sample of BitDepth bits is shown with, before gamma.
uint8_t GreyLevel(uint32_t Sample, int BitDepth) {
  if (BitDepth >= 16) return uint8_t(Sample >> 8);
  if (BitDepth == 8) return uint8_t(Sample);
  return uint8_t(((Sample & ((1u << BitDepth) - 1)) * 255) / ((1u << BitDepth) - 1));
}
// The sample of BitDepth bits for a displayed level (the inverse of GreyLevel);
// 16-bit samples get a zero low byte, as the image data is written.
uint32_t SampleOf(uint8_t Level, int BitDepth) {
  if (BitDepth >= 16) return uint32_t(Level) << 8;
  if (BitDepth == 8) return Level;
  return Level >> (8 - BitDepth);
}
}  // namespace

COLORREF TChunktRNS::GetTransparentColor() {
  TChunkIHDR* header = GetHeader();
  const auto& gamma = owner_->GammaTable;
  const auto sample = [&](int i) { return uint32_t(PaletteValues[2 * i]) << 8 | PaletteValues[2 * i + 1]; };
  switch (header->ColorType) {
    case 0: {
      uint8_t g = gamma[GreyLevel(sample(0), header->BitDepth)];
      return RGB(g, g, g);
    }
    case 2: {
      int depth = header->BitDepth >= 16 ? 16 : 8;
      return RGB(gamma[GreyLevel(sample(0), depth)], gamma[GreyLevel(sample(1), depth)],
                 gamma[GreyLevel(sample(2), depth)]);
    }
    case 3:
      for (uint32_t i = 0; i < DataSize(); ++i)
        if (PaletteValues[i] == 0) {
          const RGBQUAD& e = header->BitmapInfo().bmiColors[i];
          return RGB(e.rgbRed, e.rgbGreen, e.rgbBlue);
        }
      return 0;
    default:
      return 0;
  }
}

void TChunktRNS::SetTransparentColor(COLORREF Value) {
  TChunkIHDR* header = GetHeader();
  const auto& inverse = owner_->InverseGamma;
  PaletteValues.fill(255);
  BitTransparency = true;
  const auto put = [&](int i, uint32_t s) {
    PaletteValues[2 * i] = uint8_t(s >> 8);
    PaletteValues[2 * i + 1] = uint8_t(s);
  };
  switch (header->ColorType) {
    case 0:
      ResizeData(2);
      put(0, SampleOf(inverse[GetRValue(Value)], header->BitDepth));
      break;
    case 2: {
      ResizeData(6);
      int depth = header->BitDepth >= 16 ? 16 : 8;
      put(0, SampleOf(inverse[GetRValue(Value)], depth));
      put(1, SampleOf(inverse[GetGValue(Value)], depth));
      put(2, SampleOf(inverse[GetBValue(Value)], depth));
      break;
    }
    case 3: {
      // Only entries of the palette itself can be transparent.
      auto* plte = owner_->Chunks().Find<TChunkPLTE>();
      int count = std::min(plte ? plte->Count() : 256, 256);
      int index = 0;
      for (int i = 0; i < count; ++i) {
        const RGBQUAD& e = header->BitmapInfo().bmiColors[i];
        if (RGB(e.rgbRed, e.rgbGreen, e.rgbBlue) == (Value & 0xFFFFFF)) {
          index = i;
          break;
        }
      }
      ResizeData(static_cast<uint32_t>(index) + 1);
      PaletteValues[index] = 0;
      break;
    }
    default:
      break;
  }
  std::memcpy(Data(), PaletteValues.data(), DataSize());
}

void TChunktRNS::Assign(TChunk* Source) {
  auto* source = As<TChunktRNS>(Source);
  if (!source) owner_->RaiseError<EPngError>(EPNGCannotAssignChunkText);
  TChunk::Assign(Source);
  PaletteValues = source->PaletteValues;
  BitTransparency = source->BitTransparency;
}

// ---------------------------------------------------------------------------------
// tIME

bool TChunktIME::LoadFromStream(TStream& Stream, const char ChunkName[4], uint32_t Size) {
  bool result = TChunk::LoadFromStream(Stream, ChunkName, Size);
  if (DataSize() == 7) {
    const uint8_t* d = Data();
    Year = uint16_t(d[0] << 8 | d[1]);
    Month = d[2];
    Day = d[3];
    Hour = d[4];
    Minute = d[5];
    Second = d[6];
  }
  return result;
}

bool TChunktIME::SaveToStream(TStream& Stream) {
  ResizeData(7);
  uint8_t* d = Data();
  d[0] = uint8_t(Year >> 8);
  d[1] = uint8_t(Year);
  d[2] = Month;
  d[3] = Day;
  d[4] = Hour;
  d[5] = Minute;
  d[6] = Second;
  return SaveData(Stream);
}

void TChunktIME::Assign(TChunk* Source) {
  auto* source = As<TChunktIME>(Source);
  if (!source) owner_->RaiseError<EPngError>(EPNGCannotAssignChunkText);
  TChunk::Assign(Source);
  Year = source->Year;
  Month = source->Month;
  Day = source->Day;
  Hour = source->Hour;
  Minute = source->Minute;
  Second = source->Second;
}

// ---------------------------------------------------------------------------------
// tEXt and zTXt

namespace {
// Length of the keyword: the bytes before the first zero byte, or all of them.
size_t KeywordLength(const uint8_t* Data, size_t Size) {
  const void* zero = std::memchr(Data, 0, Size);
  return zero ? static_cast<size_t>(static_cast<const uint8_t*>(zero) - Data) : Size;
}
}  // namespace

bool TChunktEXt::LoadFromStream(TStream& Stream, const char ChunkName[4], uint32_t Size) {
  bool result = TChunk::LoadFromStream(Stream, ChunkName, Size);
  if (DataSize() > 2) {
    const uint8_t* d = Data();
    size_t keyword = KeywordLength(d, DataSize());
    Keyword.assign(reinterpret_cast<const char*>(d), keyword);
    if (keyword < DataSize())
      Text.assign(reinterpret_cast<const char*>(d) + keyword + 1, DataSize() - keyword - 1);
    else
      Text.clear();
  }
  return result;
}

bool TChunktEXt::SaveToStream(TStream& Stream) {
  ResizeData(static_cast<uint32_t>(Keyword.size() + 1 + Text.size()));
  uint8_t* d = Data();
  std::memcpy(d, Keyword.data(), Keyword.size());
  d[Keyword.size()] = 0;
  std::memcpy(d + Keyword.size() + 1, Text.data(), Text.size());
  return SaveData(Stream);
}

void TChunktEXt::Assign(TChunk* Source) {
  auto* source = As<TChunktEXt>(Source);
  if (!source) owner_->RaiseError<EPngError>(EPNGCannotAssignChunkText);
  // Between tEXt and zTXt only the keyword and the text carry over.
  if (source->GetChunkClass() == GetChunkClass()) TChunk::Assign(Source);
  Keyword = source->Keyword;
  Text = source->Text;
}

bool TChunkzTXt::LoadFromStream(TStream& Stream, const char ChunkName[4], uint32_t Size) {
  bool result = TChunktEXt::LoadFromStream(Stream, ChunkName, Size);
  if (DataSize() > 3) {
    const uint8_t* d = Data();
    size_t keyword = KeywordLength(d, DataSize());
    Keyword.assign(reinterpret_cast<const char*>(d), keyword);
    Text.clear();
    // Keyword, zero byte, compression method, then the compressed text.
    if (keyword + 2 <= DataSize() && d[keyword + 1] == 0) {
      std::string text, error;
      if (png_zlib::DecompressBuffer(d + keyword + 2, DataSize() - keyword - 2, text, error))
        Text = std::move(text);
    }
  }
  return result;
}

bool TChunkzTXt::SaveToStream(TStream& Stream) {
  std::string text = Text.empty() ? std::string(" ") : Text;
  std::string packed, error;
  if (!png_zlib::CompressBuffer(reinterpret_cast<const uint8_t*>(text.data()), text.size(),
                                owner_->CompressionLevel(), packed, error))
    return false;
  ResizeData(static_cast<uint32_t>(Keyword.size() + 2 + packed.size()));
  uint8_t* d = Data();
  std::memcpy(d, Keyword.data(), Keyword.size());
  d[Keyword.size()] = 0;
  d[Keyword.size() + 1] = 0;
  std::memcpy(d + Keyword.size() + 2, packed.data(), packed.size());
  return SaveData(Stream);
}

// ---------------------------------------------------------------------------------
// TPNGList

TChunk* TPNGList::GetItem(int Index) const {
  return Index >= 0 && Index < Count() ? items_[Index].get() : nullptr;
}

int TPNGList::IndexOf(const TChunk* Chunk) const {
  for (int i = 0; i < Count(); ++i)
    if (items_[i].get() == Chunk) return i;
  return -1;
}

TChunk* TPNGList::ItemFromClass(TChunkClass ChunkClass) const {
  for (const auto& c : items_)
    if (c->InheritsFrom(ChunkClass->Type)) return c.get();
  return nullptr;
}

TChunk* TPNGList::Append(std::unique_ptr<TChunk> Chunk) {
  items_.push_back(std::move(Chunk));
  return items_.back().get();
}

void TPNGList::InsertAt(int Position, std::unique_ptr<TChunk> Chunk) {
  Position = std::clamp(Position, 0, Count());
  items_.insert(items_.begin() + Position, std::move(Chunk));
}

TChunk* TPNGList::Add(TChunkClass ChunkClass) {
  const auto is = [&](TChunkClass c) { return ChunkClass->Type->InheritsFrom(c->Type); };
  if (is(TChunkIHDR::ChunkClass()) || is(TChunkIDAT::ChunkClass()) ||
      is(TChunkPLTE::ChunkClass()) || is(TChunkIEND::ChunkClass()) ||
      (is(TChunkgAMA::ChunkClass()) && ItemFromClass(TChunkgAMA::ChunkClass())) ||
      (is(TChunktRNS::ChunkClass()) && ItemFromClass(TChunktRNS::ChunkClass())))
    owner_->RaiseError<EPngError>(EPNGCannotAddChunkText);
  TChunk* header = ItemFromClass(TChunkIHDR::ChunkClass());
  TChunk* end = ItemFromClass(TChunkIEND::ChunkClass());
  if (!header || !end) owner_->RaiseError<EPngError>(EPNGCannotAddInvalidImageText);

  std::unique_ptr<TChunk> chunk = ChunkClass->New(owner_);
  TChunk* result = chunk.get();
  int position;
  if (is(TChunkgAMA::ChunkClass())) {
    position = IndexOf(header) + 1;
  } else if (is(TChunktRNS::ChunkClass())) {
    if (TChunk* plte = ItemFromClass(TChunkPLTE::ChunkClass()))
      position = IndexOf(plte) + 1;
    else if (TChunk* idat = ItemFromClass(TChunkIDAT::ChunkClass()))
      position = IndexOf(idat);
    else
      position = IndexOf(header) + 1;
  } else {
    position = IndexOf(end);
  }
  InsertAt(position, std::move(chunk));
  return result;
}

void TPNGList::RemoveChunk(TChunk* Chunk) {
  int i = IndexOf(Chunk);
  if (i >= 0) items_.erase(items_.begin() + i);
}

void TPNGList::Clear() {
  // Chunks may look at their owner's list while they go, so take them out first.
  auto items = std::move(items_);
  items_.clear();
  items.clear();
}
