// A frame's picture taken from other frames and graphics, and the edits of the
// optimiser: cropping transparent borders and merging with the frame before.
#include <algorithm>
#include <array>
#include <cstring>

#include "codecs/gif/GifExtensions.h"

namespace {

// The 8 colours met last, searched from the last hit backwards, in front of the
// colour table of a frame being built from true-colour pixels.
class TRecentColors {
 public:
  int Find(TColor Color) {
    for (int k = 0; k < kSize; ++k) {
      const int i = (FLast - k + kSize) % kSize;
      if (FIndex[i] >= 0 && FColor[i] == Color) {
        FLast = i;
        return FIndex[i];
      }
    }
    return -1;
  }
  void Add(TColor Color, int Index) {
    FNext = (FNext + 1) % kSize;
    FColor[FNext] = Color;
    FIndex[FNext] = Index;
    FLast = FNext;
  }

 private:
  static constexpr int kSize = 8;
  std::array<TColor, kSize> FColor{};
  std::array<int, kSize> FIndex{-1, -1, -1, -1, -1, -1, -1, -1};
  int FLast = 0;
  int FNext = kSize - 1;
};

bool Intersect(const TRect& A, const TRect& B, TRect& Out) {
  Out = Rect(std::max(A.left, B.left), std::max(A.top, B.top), std::min(A.right, B.right),
             std::min(A.bottom, B.bottom));
  return Out.left < Out.right && Out.top < Out.bottom;
}

}  // namespace

// ---- Assign ----

void TGIFSubImage::Assign(TPersistent* Source) {
  if (Source == this) return;
  if (!Source) {
    Clear();
    return;
  }
  if (auto* frame = As<TGIFSubImage>(Source)) {
    Clear();
    if (frame->Empty()) return;
    FImageDescriptor = frame->FImageDescriptor;
    FTransparent = frame->FTransparent;
    NewImage();
    std::memcpy(FData.get(), frame->FData.get(), size_t(FDataSize));
    FLocalColorMap->Assign(frame->FLocalColorMap.get());
    if (frame->FExtensions->Count() > 0) {
      // Through their stream form, so that each copy belongs to this frame.
      TMemoryStream stream;
      frame->FExtensions->SaveToStream(&stream);
      stream.SetPosition(0);
      FExtensions->LoadFromStream(&stream, this);
    }
    if (frame->FBitmap) {
      NewBitmap();
      FBitmap->Assign(frame->FBitmap.get());
    }
  } else if (auto* bitmap = As<TBitmap>(Source)) {
    AssignBitmap(bitmap);
  } else if (auto* picture = As<TPicture>(Source)) {
    Assign(picture->Graphic());
  } else if (auto* graphic = As<TGraphic>(Source)) {
    AssignGraphic(graphic);
  } else {
    TGIFItem::Assign(Source);
  }
}

void TGIFSubImage::AssignBitmap(TBitmap* Source) {
  Clear();
  if (Source->Empty()) return;
  // Any palette of the frame goes first: changing the table below drops a bitmap of
  // another palette, and the bitmap is what is being read.
  SetPalette(nullptr);
  DoSetBounds(Left(), Top(), Source->Width(), Source->Height());
  const TPixelFormat format = Source->PixelFormat();
  const bool indexed = format == pf1bit || format == pf4bit || format == pf8bit;
  if (indexed) {
    NewBitmap();
    FBitmap->Assign(Source);
  } else {
    FBitmap = ReduceColors(Source, FGIFImage->ColorReduction(), FGIFImage->DitherMode(), FGIFImage->ReductionBits(),
                           nullptr);
  }
  NewImage();
  const TRect none = Rect(0, 0, 0, 0);
  FGIFImage->Progress(this, psStarting, 0, false, none, sProgressConverting);
  try {
    const TPixelFormat readFormat = FBitmap->PixelFormat();
    const bool readIndexed = readFormat == pf1bit || readFormat == pf4bit || readFormat == pf8bit;
    TDIBReader reader(FBitmap.get(), readIndexed ? readFormat : pf24bit);
    if (readFormat == pf8bit && FBitmap->HandleType() == bmDIB)
      FLocalColorMap->ImportDIBColors(FBitmap->Canvas()->Handle());
    else if (readIndexed)
      FLocalColorMap->ImportPalette(FBitmap->Palette());
    const int width = Width(), height = Height();
    TRecentColors recent;
    for (int y = 0; y < height; ++y) {
      if (y % 32 == 0)
        FGIFImage->Progress(this, psRunning, uint8_t(y * 100 / height), false, none, sProgressConverting);
      const auto* src = static_cast<const uint8_t*>(reader.RowAddress(y));
      uint8_t* dst = FData.get() + int64_t(y) * width;
      switch (readIndexed ? readFormat : pf24bit) {
        case pf8bit: std::memcpy(dst, src, size_t(width)); break;
        case pf4bit:
          for (int x = 0; x < width; ++x) dst[x] = uint8_t(x & 1 ? src[x >> 1] & 0x0F : src[x >> 1] >> 4);
          break;
        case pf1bit:
          for (int x = 0; x < width; ++x) dst[x] = uint8_t((src[x >> 3] >> (7 - (x & 7))) & 1);
          break;
        default:
          for (int x = 0; x < width; ++x) {
            const uint8_t* p = src + 3 * x;
            const TColor color = TColor(p[2]) | TColor(p[1]) << 8 | TColor(p[0]) << 16;
            int index = recent.Find(color);
            if (index < 0) {
              index = FLocalColorMap->AddUnique(color);
              recent.Add(color, index);
            }
            dst[x] = uint8_t(index);
          }
          break;
      }
    }
    if (Source->Transparent()) ApplyMask(Source->MaskHandle());
  } catch (...) {
    FGIFImage->Progress(this, psEnding, 0, false, none, sProgressConverting);
    throw;
  }
  FGIFImage->Progress(this, psEnding, 100, false, none, sProgressConverting);
}

void TGIFSubImage::AssignGraphic(TGraphic* Source) {
  Clear();
  if (Source->Empty()) return;
  const int width = Source->Width(), height = Source->Height();
  auto drawn = [&](TBitmap& Bitmap) {
    Bitmap.SetPixelFormat(pf24bit);
    Bitmap.SetSize(width, height);
    Bitmap.Canvas()->Draw(0, 0, Source);
  };
  TBitmap bitmap;
  auto* icon = As<TIcon>(Source);
  if (icon) {
    try {
      drawn(bitmap);
    } catch (const Exception&) {
      bitmap.Assign(Source);
    }
  } else {
    try {
      bitmap.Assign(Source);
    } catch (const Exception&) {
      drawn(bitmap);
    }
  }
  AssignBitmap(&bitmap);
  if (icon) {
    ICONINFO info{};
    if (GetIconInfo(icon->Handle(), &info)) {
      ApplyMask(info.hbmMask);
      DeleteObject(info.hbmMask);
      if (info.hbmColor) DeleteObject(info.hbmColor);
    }
  }
}

void TGIFSubImage::ApplyMask(HBITMAP Mask) {
  if (!Mask || Empty()) return;
  FLocalColorMap->OptimizeMap();
  const int count = FLocalColorMap->Count();
  if (count < 1 || count > 255) return;
  const int width = Width(), height = Height();
  // The mask's rows, top-down, three bytes a pixel: black keeps a pixel.
  BITMAPINFO256 info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  const int64_t stride = AlignedRowSize(width, 24, 32);
  std::vector<uint8_t> rows(size_t(stride * height));
  HDC dc = CheckGDIResult(CreateCompatibleDC(nullptr));
  const int got = GetDIBits(dc, Mask, 0, UINT(height), rows.data(), info.get(), DIB_RGB_COLORS);
  DeleteDC(dc);
  if (got == 0) return;
  const int transparent = FLocalColorMap->Add(clBlack);
  bool changed = false;
  for (int y = 0; y < height; ++y) {
    const uint8_t* m = rows.data() + y * stride;
    uint8_t* p = FData.get() + int64_t(y) * width;
    for (int x = 0; x < width; ++x)
      if (m[3 * x] | m[3 * x + 1] | m[3 * x + 2]) {
        p[x] = uint8_t(transparent);
        changed = true;
      }
  }
  if (!changed) {
    FLocalColorMap->Delete(transparent);
    return;
  }
  auto gce = std::make_unique<TGIFGraphicControlExtension>(this);
  gce->SetTransparentColorIndex(transparent);
  gce->SetTransparent(true);
  FExtensions->Add(std::move(gce));
  FreeBitmap();
  FreeMask();
}

// ---- Crop and merge ----

void TGIFSubImage::Crop() {
  if (Empty() || !FTransparent) return;
  const uint8_t t = FGCE ? FGCE->GetTransparentColorIndex() : 0;
  const int width = Width(), height = Height();
  int left = width, right = -1, top = height, bottom = -1;
  for (int y = 0; y < height; ++y) {
    const uint8_t* row = FData.get() + int64_t(y) * width;
    int first = 0;
    while (first < width && row[first] == t) ++first;
    if (first == width) continue;
    int last = width - 1;
    while (row[last] == t) --last;
    left = std::min(left, first);
    right = std::max(right, last);
    top = std::min(top, y);
    bottom = y;
  }
  if (right < 0) {
    Clear();
    return;
  }
  const int w = right - left + 1, h = bottom - top + 1;
  if (w == width && h == height) return;
  std::unique_ptr<uint8_t[]> data(new uint8_t[size_t(w) * size_t(h)]);
  for (int y = 0; y < h; ++y)
    std::memcpy(data.get() + int64_t(y) * w, FData.get() + int64_t(top + y) * width + left, size_t(w));
  FData = std::move(data);
  FDataSize = int64_t(w) * h;
  FImageDescriptor.Left = uint16_t(Left() + left);
  FImageDescriptor.Top = uint16_t(Top() + top);
  FImageDescriptor.Width = uint16_t(w);
  FImageDescriptor.Height = uint16_t(h);
  FreeBitmap();
  FreeMask();
}

int TGIFSubImage::MergeTransparentIndex() {
  // Any entry this frame's pixels never show can stand for its transparent ones:
  // first another frame's transparent index in the global table, then the last such
  // entry of the frame's table; only a table without one grows by a black entry.
  std::array<bool, 256> used{};
  for (int64_t i = 0; i < FDataSize; ++i) used[FData[size_t(i)]] = true;
  TGIFColorMap* map = GetActiveColorMap();
  if (map == FGIFImage->GetColorMap()) {
    TGIFImageList* frames = FGIFImage->Images();
    for (int i = 0; i < frames->Count(); ++i) {
      TGIFSubImage* other = frames->SubImages(i);
      if (other == this || !other->FTransparent || !other->FGCE || other->ColorMap()->Count() > 0) continue;
      const int index = other->FGCE->GetTransparentColorIndex();
      if (index < map->Count() && !used[size_t(index)]) return index;
    }
  }
  for (int index = map->Count() - 1; index >= 0; --index)
    if (!used[size_t(index)]) return index;
  return map->Add(clBlack);
}

void TGIFSubImage::Merge(TGIFSubImage* Previous) {
  if (!Previous || Previous == this || Empty() || Previous->Empty()) return;
  if (TGIFGraphicControlExtension* gce = Previous->FGCE) {
    const TDisposalMethod disposal = gce->GetDisposal();
    if (disposal == dmBackground || disposal == dmPrevious) return;
  }
  TRect area;
  if (!Intersect(GetBoundsRect(), Previous->GetBoundsRect(), area)) return;
  int t = -1;
  if (FTransparent) {
    t = FGCE ? FGCE->GetTransparentColorIndex() : 0;
  } else {
    const int local = FLocalColorMap->Count(), global = FGIFImage->GetColorMap()->Count();
    const int room = local > 0 ? local : global;
    if (room < 1 || room > 255) return;
  }
  TGIFColorMap* map = GetActiveColorMap();
  TGIFColorMap* previousMap = Previous->GetActiveColorMap();
  const int previousT =
      Previous->FTransparent ? (Previous->FGCE ? Previous->FGCE->GetTransparentColorIndex() : 0) : -1;
  const int colors = map->Count(), previousColors = previousMap->Count();
  for (int y = area.top; y < area.bottom; ++y) {
    uint8_t* p = FData.get() + int64_t(y - Top()) * Width() - Left();
    const uint8_t* q = Previous->FData.get() + int64_t(y - Previous->Top()) * Previous->Width() - Previous->Left();
    for (int x = area.left; x < area.right; ++x) {
      if (p[x] == t || q[x] == previousT) continue;
      const bool same = (map == previousMap && p[x] == q[x]) ||
                        (p[x] < colors && q[x] < previousColors && map->Entry(p[x]) == previousMap->Entry(q[x]));
      if (!same) continue;
      if (t < 0) t = MergeTransparentIndex();
      p[x] = uint8_t(t);
    }
  }
  if (!FTransparent && t >= 0) {
    TGIFGraphicControlExtension* gce = FGCE;
    if (!gce) {
      auto made = std::make_unique<TGIFGraphicControlExtension>(this);
      gce = made.get();
      FExtensions->Add(std::move(made));
    }
    gce->SetTransparentColorIndex(t);
    gce->SetTransparent(true);
  }
  FreeBitmap();
  FreeMask();
}
