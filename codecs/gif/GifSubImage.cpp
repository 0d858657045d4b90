// A frame's storage: its descriptor, colour table, extensions and pixels, read from
// and written to a GIF stream.
#include <algorithm>
#include <cstring>
#include <new>

#include "codecs/gif/GifExtensions.h"

TGIFSubImage::TGIFSubImage(TGIFImage* AGIFImage)
    : TGIFItem(AGIFImage),
      FLocalColorMap(std::make_unique<TGIFLocalColorMap>(this)),
      FExtensions(std::make_unique<TGIFExtensionList>(AGIFImage)) {}

bool GIFImageRenderOnLoad = false;

TGIFSubImage::~TGIFSubImage() {
  if (FGIFImage) FGIFImage->Images()->Remove(this);
  Clear();
  if (FLocalPalette) DeleteObject(FLocalPalette);
}

void TGIFSubImage::Clear() {
  FExtensions->Clear();
  FLocalColorMap->Clear();
  FreeImage();
  // Directly, not through the bounds: an emptied frame does not resize the screen.
  FImageDescriptor.Height = 0;
  FImageDescriptor.Width = 0;
  FTransparent = false;
  FGCE = nullptr;
  FreeBitmap();
  FreeMask();
}

bool TGIFSubImage::Empty() const { return !FData || FDataSize == 0 || Width() == 0 || Height() == 0; }

void TGIFSubImage::NewImage() { AllocateImage(true); }

void TGIFSubImage::AllocateImage(bool Zeroed) {
  FreeImage();
  const int64_t size = int64_t(Width()) * Height();
  if (size == 0) return;
  if (size > kMaxGIFFramePixels) RaiseGIFError(sBadDimension);
  FData.reset(Zeroed ? new (std::nothrow) uint8_t[size_t(size)]() : new (std::nothrow) uint8_t[size_t(size)]);
  if (!FData) throw EOutOfMemory(sOutOfMemDIB);
  FDataSize = size;
}

void TGIFSubImage::FreeImage() {
  FData.reset();
  FDataSize = 0;
}

void TGIFSubImage::NeedImage() {
  if (!FData) NewImage();
  if (FDataSize == 0) RaiseGIFError(sEmptyImage);
}

// ---- Reading and writing ----

void TGIFSubImage::LoadFromStream(TStream* Stream) {
  Clear();
  FExtensions->LoadFromStream(Stream, this);
  // Only an image descriptor makes a picture; anything else (the trailer, the
  // end of the stream, a stray byte) leaves the frame empty.
  const int b = ReadStreamByte(Stream);
  if (b < 0) return;
  Stream->Seek(-1, soCurrent);
  if (b != ',') return;
  uint8_t d[10];
  ReadExact(Stream, d, sizeof d);
  FImageDescriptor.Separator = d[0];
  FImageDescriptor.Left = GetLE16(d + 1);
  FImageDescriptor.Top = GetLE16(d + 3);
  FImageDescriptor.Width = GetLE16(d + 5);
  FImageDescriptor.Height = GetLE16(d + 7);
  FImageDescriptor.PackedFields = d[9];
  if (FImageDescriptor.Width == 0 || FImageDescriptor.Height == 0) {
    FImageDescriptor.Height = uint16_t(FGIFImage ? FGIFImage->Height() : 0);
    FImageDescriptor.Width = uint16_t(FGIFImage ? FGIFImage->Width() : 0);
    Warning(gsWarning, sScreenSizeExceeded);
  }
  if (FImageDescriptor.PackedFields & 0x80)
    FLocalColorMap->LoadFromStream(Stream, 2 << (FImageDescriptor.PackedFields & 7));
  Decompress(Stream);
  if (GIFImageRenderOnLoad) GetBitmap();
}

void TGIFSubImage::Decompress(TStream* Stream) {
  FreeImage();
  // A frame of no picture reads on its own: its warnings go nowhere.
  TGIFImageDataDecoder decoder(FGIFImage ? TGIFWarning(FGIFImage, &TGIFImage::Warning) : TGIFWarning(), this);
  const bool coded = decoder.Read(Stream);
  // Pixels that no data codes are filled, and a picture (or a frame of none) holds
  // only so many of those: what the data cannot possibly code counts before any
  // memory is taken, what it did not code once it is decoded.
  int64_t alone = 0;
  int64_t& uncoded = FGIFImage ? FGIFImage->FUncodedPixels : alone;
  const int64_t size = int64_t(Width()) * Height();
  auto count = [&](int64_t Uncoded) {
    if (Uncoded > kMaxGIFUncodedPixels - uncoded) RaiseGIFError(sBadDimension);
    return Uncoded;
  };
  count(size - std::min(size, coded ? decoder.MaxPixels() : 0));
  AllocateImage(false);
  const uint8_t fill = FTransparent && FGCE ? FGCE->GetTransparentColorIndex() : 0;
  int64_t decoded = 0;
  if (coded)
    decoded = decoder.Decode(FData.get(), Width(), Height(), GetInterlaced(), fill);
  else if (FData)
    std::memset(FData.get(), fill, size_t(FDataSize));
  uncoded += count(size - decoded);
}

void TGIFSubImage::SaveToStream(TStream* Stream) {
  if (Empty()) {
    // Without an image a control block would govern the next frame's: it stays out.
    for (int i = 0; i < FExtensions->Count(); ++i)
      if (!As<TGIFGraphicControlExtension>(FExtensions->Items(i))) FExtensions->Items(i)->SaveToStream(Stream);
    return;
  }
  FExtensions->SaveToStream(Stream);
  Prepare();
  uint8_t d[10] = {','};
  PutLE16(d + 1, FImageDescriptor.Left);
  PutLE16(d + 3, FImageDescriptor.Top);
  PutLE16(d + 5, FImageDescriptor.Width);
  PutLE16(d + 7, FImageDescriptor.Height);
  d[9] = FImageDescriptor.PackedFields;
  Stream->WriteBuffer(d, sizeof d);
  FLocalColorMap->SaveToStream(Stream);
  Compress(Stream);
}

void TGIFSubImage::Compress(TStream* Stream) {
  int bits, maxColor;
  if (FLocalColorMap->Count() > 0) {
    bits = FLocalColorMap->GetBitsPerPixel();
    maxColor = FLocalColorMap->Count();
  } else {
    bits = FGIFImage->GetBitsPerPixel();
    maxColor = 1 << bits;
  }
  std::unique_ptr<TGIFEncoder> encoder;
  if (FGIFImage->Compression() == gcRLE)
    encoder = std::make_unique<TRLEEncoder>();
  else
    encoder = std::make_unique<TLZWEncoder>();
  encoder->OnWarning = TGIFWarning(FGIFImage, &TGIFImage::Warning);
  encoder->Encode(Stream, bits, maxColor, FData.get(), GetInterlaced(), Height(), Width());
}

void TGIFSubImage::Prepare() {
  uint8_t& packed = FImageDescriptor.PackedFields;
  if (FLocalColorMap->Count() == 0) {
    packed &= 0x58;
  } else {
    packed = uint8_t((packed & 0x58) | 0x80 | (FLocalColorMap->Optimized() ? 0x20 : 0) | (GetColorResolution() & 7));
  }
}

// ---- Bounds and pixels ----

int TGIFSubImage::GetBounds(int Index) const {
  switch (Index) {
    case 1: return Left();
    case 2: return Top();
    case 3: return Width();
    case 4: return Height();
    default: return 0;
  }
}

void TGIFSubImage::SetBounds(int Index, int Value) {
  switch (Index) {
    case 1: DoSetBounds(Value, Top(), Width(), Height()); break;
    case 2: DoSetBounds(Left(), Value, Width(), Height()); break;
    case 3: DoSetBounds(Left(), Top(), Value, Height()); break;
    case 4: DoSetBounds(Left(), Top(), Width(), Value); break;
    default: break;
  }
}

TRect TGIFSubImage::GetBoundsRect() const { return Rect(Left(), Top(), Left() + Width(), Top() + Height()); }

void TGIFSubImage::SetBoundsRect(const TRect& R) { DoSetBounds(R.left, R.top, R.right - R.left, R.bottom - R.top); }

void TGIFSubImage::DoSetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
  for (int v : {ALeft, ATop, AWidth, AHeight})
    if (v < 0 || v > 0xFFFF) RaiseGIFError(sBadDimension);
  const bool resized = AWidth != Width() || AHeight != Height();
  FImageDescriptor.Left = uint16_t(ALeft);
  FImageDescriptor.Top = uint16_t(ATop);
  FImageDescriptor.Width = uint16_t(AWidth);
  FImageDescriptor.Height = uint16_t(AHeight);
  if (resized) {
    FreeBitmap();
    FreeMask();
    NewImage();
  }
  bool warned = false;
  if (FGIFImage->Width() < ALeft + AWidth) {
    if (FGIFImage->Width() > 0) {
      Warning(gsWarning, sBadWidth);
      warned = true;
    }
    FGIFImage->SetWidth(ALeft + AWidth);
  }
  if (FGIFImage->Height() < ATop + AHeight) {
    if (FGIFImage->Height() > 0) {
      Warning(gsWarning, sBadHeight);
      warned = true;
    }
    FGIFImage->SetHeight(ATop + AHeight);
  }
  if (warned) Warning(gsWarning, sScreenSizeExceeded);
}

void TGIFSubImage::SetInterlaced(bool Value) {
  FImageDescriptor.PackedFields =
      uint8_t(Value ? FImageDescriptor.PackedFields | 0x40 : FImageDescriptor.PackedFields & ~0x40);
}

uint8_t* TGIFSubImage::GetScanline(int Y) {
  if (Y < 0 || Y >= Height()) RaiseGIFError(sBadPixelCoordinates);
  NeedImage();
  return FData.get() + int64_t(Y) * Width();
}

uint8_t TGIFSubImage::GetPixel(int X, int Y) {
  if (X < 0 || X >= Width()) RaiseGIFError(sBadPixelCoordinates);
  return GetScanline(Y)[X];
}

// ---- Colours ----

TGIFColorMap* TGIFSubImage::GetActiveColorMap() {
  TGIFColorMap* global = FGIFImage->GetColorMap();
  return FLocalColorMap->Count() > 0 || global->Count() == 0 ? FLocalColorMap.get() : global;
}

TGIFVersion TGIFSubImage::GetVersion() {
  if (FLocalColorMap->Optimized()) return gv89a;
  TGIFVersion version = gv87a;
  for (int i = 0; i < FExtensions->Count() && version < gv89a; ++i)
    version = std::max(version, FExtensions->Extensions(i)->GetVersion());
  return version;
}

void TGIFSubImage::SetPalette(HPALETTE Palette) {
  if (Palette == FLocalPalette) return;
  if (FLocalPalette) DeleteObject(FLocalPalette);
  FLocalPalette = Palette;
  if (FBitmap && FBitmap->Palette() != Palette) {
    FreeBitmap();
    if (FGIFImage) {
      FGIFImage->SetPaletteChanged(true);
      FGIFImage->Changed(this);
    }
  }
}
