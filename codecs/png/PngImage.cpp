#include "codecs/png/PngImage.h"

#include <algorithm>
#include <cstring>

#include "codecs/png/PngStreamIO.h"

namespace {
constexpr uint8_t kSignature[8] = {137, 80, 78, 71, 13, 10, 26, 10};

bool NameIs(const char* Name, const char* What) { return std::memcmp(Name, What, 4) == 0; }
}  // namespace

TPNGObject::TPNGObject() { InitializeGamma(); }

TPNGObject::~TPNGObject() {
  ClearChunks();
  FreePaletteHandle();
}

void TPNGObject::InitializeGamma() {
  for (int i = 0; i < 256; ++i) {
    GammaTable[i] = static_cast<uint8_t>(i);
    InverseGamma[i] = static_cast<uint8_t>(i);
  }
}

void TPNGObject::ClearChunks() {
  InitializeGamma();
  chunks_.Clear();
}

void TPNGObject::SetCompressionLevel(TCompressionLevel Value) {
  compressionLevel_ = std::clamp(Value, 0, 9);
}

void TPNGObject::SetMaxIdatSize(int Value) { maxIdatSize_ = Value < 65535 ? 65535 : Value; }

bool TPNGObject::HeaderPresent() const {
  return chunks_.Count() > 0 && ::Is<TChunkIHDR>(chunks_.GetItem(0));
}

TChunkIHDR* TPNGObject::GetHeader() const {
  if (!HeaderPresent()) RaiseError<EPNGHeaderNotPresent>(EPNGHeaderNotPresentText);
  return static_cast<TChunkIHDR*>(chunks_.GetItem(0));
}

int TPNGObject::GetWidth() { return HeaderPresent() ? static_cast<int>(GetHeader()->Width) : 0; }

int TPNGObject::GetHeight() { return HeaderPresent() ? static_cast<int>(GetHeader()->Height) : 0; }

void TPNGObject::SetWidth(int) { RaiseError<EPngError>(EPNGCannotChangeSizeText); }

void TPNGObject::SetHeight(int) { RaiseError<EPngError>(EPNGCannotChangeSizeText); }

// ---------------------------------------------------------------------------------
// Streams

void TPNGObject::LoadFromStream(TStream* Source) {
  TStream& Stream = *Source;
  ClearChunks();
  uint8_t signature[8];
  if (png_io::ReadSome(Stream, signature, 8) != 8 || std::memcmp(signature, kSignature, 8) != 0)
    RaiseError<EPNGInvalidFileHeader>(EPNGInvalidFileHeaderText);

  bool imageRead = false;
  for (int count = 1;; ++count) {
    uint8_t head[8];
    if (png_io::ReadSome(Stream, head, 8) != 8)
      RaiseError<EPngUnexpectedEnd>(EPNGUnexpectedEndText);
    uint32_t length = png_io::GetBigEndian32(head);
    const char* name = reinterpret_cast<const char*>(head + 4);
    if (count == 1 && !NameIs(name, "IHDR")) RaiseError<EPNGIHDRNotFirst>(EPNGIHDRNotFirstText);
    if (NameIs(name, "cHRM") || (NameIs(name, "IDAT") && imageRead)) {
      png_io::Skip(Stream, int64_t{length} + 4);
      --count;
      continue;
    }
    TChunkClass chunkClass = FindChunkClass(name);
    TChunk* chunk = chunks_.Append(chunkClass->New(this));
    chunk->SetChunkName(name);
    if (chunkClass == TChunk::ChunkClass() && (name[0] & 0x20) == 0)
      RaiseError<EPNGUnknownCriticalChunk>(EPNGUnknownCriticalChunkText);
    if (!chunk->LoadFromStream(Stream, name, length)) break;
    if (NameIs(name, "IDAT")) imageRead = true;
    if (NameIs(name, "IEND")) break;
  }
  if (!imageRead) RaiseError<EPNGNoImageData>(EPNGNoImageDataText);
}

void TPNGObject::SaveToStream(TStream* Stream) {
  png_io::Write(*Stream, kSignature, 8);
  for (int i = 0; i < chunks_.Count(); ++i) chunks_.GetItem(i)->SaveToStream(*Stream);
}

// ---------------------------------------------------------------------------------
// Copying

void TPNGObject::AssignPNG(const TPNGObject* Source) {
  if (Source == this) return;
  interlaceMethod_ = Source->interlaceMethod_;
  SetMaxIdatSize(Source->maxIdatSize_);
  compressionLevel_ = Source->compressionLevel_;
  filters_ = Source->filters_;
  ClearChunks();
  for (int i = 0; i < Source->chunks_.Count(); ++i) {
    TChunk* source = Source->chunks_.GetItem(i);
    TChunk* chunk = chunks_.Append(source->GetChunkClass()->New(this));
    chunk->Assign(source);
  }
  // The copied colour table holds colours after gamma; the tables turn them back.
  GammaTable = Source->GammaTable;
  InverseGamma = Source->InverseGamma;
}

// ---------------------------------------------------------------------------------
// Transparency

TPNGTransparencyMode TPNGObject::GetTransparencyMode() const {
  if (!HeaderPresent()) return ptmNone;
  auto* trns = chunks_.Find<TChunktRNS>();
  switch (GetHeader()->ColorType) {
    case 0:
      // A grey or colour key needs all of its sample bytes.
      return trns && trns->DataSize() >= 2 ? ptmBit : ptmNone;
    case 2:
      return trns && trns->DataSize() >= 6 ? ptmBit : ptmNone;
    case 3:
      if (!trns) return ptmNone;
      return trns->BitTransparency ? ptmBit : ptmPartial;
    case 4:
    case 6:
      return ptmPartial;
    default:
      return ptmNone;
  }
}

TColor TPNGObject::GetTransparentColor() const {
  auto* trns = chunks_.Find<TChunktRNS>();
  return trns ? TColor(trns->GetTransparentColor()) : 0;
}

void TPNGObject::SetTransparentColor(TColor Value) {
  if (!HeaderPresent()) return;
  switch (GetHeader()->ColorType) {
    case 0:
    case 2:
    case 3: {
      auto* trns = chunks_.Find<TChunktRNS>();
      if (!trns) trns = static_cast<TChunktRNS*>(chunks_.Add(TChunktRNS::ChunkClass()));
      trns->SetTransparentColor(COLORREF(ColorToRGB(Value)));
      break;
    }
    case 4:
    case 6:
      RaiseError<EPNGCannotChangeTransparent>(EPNGCannotChangeTransparentText);
    default:
      break;
  }
}

void TPNGObject::RemoveTransparency() {
  if (auto* trns = chunks_.Find<TChunktRNS>()) chunks_.RemoveChunk(trns);
}

void TPNGObject::CreateAlpha() {
  TChunkIHDR* header = GetHeader();
  switch (header->ColorType) {
    case 0:
      // Grey with alpha exists only at 8 and 16 bits.
      if (header->BitDepth < 8) break;
      header->ColorType = 4;
      header->CreateAlphaPlane();
      break;
    case 2:
      header->ColorType = 6;
      header->CreateAlphaPlane();
      break;
    case 3: {
      auto* trns = chunks_.Find<TChunktRNS>();
      if (!trns) trns = static_cast<TChunktRNS*>(chunks_.Add(TChunktRNS::ChunkClass()));
      auto* plte = chunks_.Find<TChunkPLTE>();
      uint32_t entries = 1u << std::min<int>(header->BitDepth, 8);
      if (plte) entries = std::min<uint32_t>(entries, static_cast<uint32_t>(plte->Count()));
      trns->PaletteValues.fill(255);
      trns->ResizeData(entries);
      std::memset(trns->Data(), 255, entries);
      trns->BitTransparency = false;
      break;
    }
    default:
      break;
  }
}

void TPNGObject::AddtEXt(const std::string& Keyword, const std::string& Text) {
  auto* chunk = static_cast<TChunktEXt*>(chunks_.Add(TChunktEXt::ChunkClass()));
  chunk->Keyword = Keyword;
  chunk->Text = Text;
}

void TPNGObject::AddzTXt(const std::string& Keyword, const std::string& Text) {
  auto* chunk = static_cast<TChunkzTXt*>(chunks_.Add(TChunkzTXt::ChunkClass()));
  chunk->Keyword = Keyword;
  chunk->Text = Text;
}

// ---------------------------------------------------------------------------------
// Rows and pixels

uint8_t* TPNGObject::GetScanline(int Row) const {
  if (!HeaderPresent()) return nullptr;
  TChunkIHDR* header = GetHeader();
  if (Row < 0 || uint32_t(Row) >= header->Height || !header->ImageData()) return nullptr;
  return header->ImageData() + header->BytesPerRow() * int64_t(header->Height - 1 - Row);
}

uint8_t* TPNGObject::GetAlphaScanline(int Row) const {
  if (!HeaderPresent()) return nullptr;
  TChunkIHDR* header = GetHeader();
  if (Row < 0 || uint32_t(Row) >= header->Height || !header->ImageAlpha()) return nullptr;
  if (header->ColorType != 4 && header->ColorType != 6) return nullptr;
  return header->ImageAlpha() + int64_t{header->Width} * Row;
}

void TPNGObject::GetPixelInfo(int64_t& LineSize, int& Offset) const {
  LineSize = 0;
  Offset = 0;
  if (!HeaderPresent()) return;
  TChunkIHDR* header = GetHeader();
  const uint64_t w = header->Width;
  const int d = header->BitDepth;
  switch (header->ColorType) {
    case 0:
    case 3:
      LineSize = int64_t((w * d + 7) / 8);
      Offset = header->ColorType == 0 && d == 16 ? 2 : 1;
      break;
    case 2:
      LineSize = int64_t(w * d * 3 / 8);
      Offset = d * 3 / 8;
      break;
    case 4:
      LineSize = int64_t(w * d * 2 / 8);
      Offset = d / 4;
      break;
    case 6:
      LineSize = int64_t(w * d * 4 / 8);
      Offset = d / 2;
      break;
    default:
      break;
  }
}

namespace {
// Index of pixel X in an indexed bitmap row of Bits bits per pixel.
int IndexAt(const uint8_t* Row, int X, int Bits) {
  int perByte = 8 / Bits;
  int shift = 8 - Bits - Bits * (X % perByte);
  return (Row[X / perByte] >> shift) & (0xFF >> (8 - Bits));
}
}  // namespace

TColor TPNGObject::GetPixels(int X, int Y) {
  if (!HeaderPresent()) return 0;
  TChunkIHDR* header = GetHeader();
  if (X < 0 || Y < 0 || uint32_t(X) >= header->Width || uint32_t(Y) >= header->Height) return 0;
  const uint8_t* row = GetScanline(Y);
  if (header->HasPalette()) {
    // Grey levels and palette entries are held in the colour table after gamma.
    const RGBQUAD& e = header->BitmapInfo().bmiColors[IndexAt(row, X, header->BitmapBits())];
    return TColor(RGB(e.rgbRed, e.rgbGreen, e.rgbBlue));
  }
  const uint8_t* p = row + 3 * size_t(X);
  return TColor(RGB(p[2], p[1], p[0]));
}

void TPNGObject::SetPixels(int X, int Y, TColor Color) {
  if (!HeaderPresent()) return;
  const auto Value = COLORREF(ColorToRGB(Color));
  TChunkIHDR* header = GetHeader();
  if (X < 0 || Y < 0 || uint32_t(X) >= header->Width || uint32_t(Y) >= header->Height) return;
  uint8_t* row = GetScanline(Y);
  if (header->HasPalette()) {
    // The nearest entry among those the image can address.
    const int bits = header->BitmapBits();
    int entries = 1 << bits;
    if (header->ColorType == 3)
      if (auto* plte = chunks_.Find<TChunkPLTE>()) entries = std::min(entries, plte->Count());
    int best = 0;
    long bestDistance = -1;
    for (int i = 0; i < entries; ++i) {
      const RGBQUAD& e = header->BitmapInfo().bmiColors[i];
      long dr = long(e.rgbRed) - GetRValue(Value), dg = long(e.rgbGreen) - GetGValue(Value),
           db = long(e.rgbBlue) - GetBValue(Value);
      long distance = dr * dr + dg * dg + db * db;
      if (bestDistance < 0 || distance < bestDistance) {
        bestDistance = distance;
        best = i;
      }
    }
    int perByte = 8 / bits;
    int shift = 8 - bits - bits * (X % perByte);
    uint8_t mask = uint8_t((0xFF >> (8 - bits)) << shift);
    uint8_t& b = row[X / perByte];
    b = uint8_t((b & ~mask) | ((best << shift) & mask));
    return;
  }
  uint8_t* p = row + 3 * size_t(X);
  p[0] = GetBValue(Value);
  p[1] = GetGValue(Value);
  p[2] = GetRValue(Value);
}
