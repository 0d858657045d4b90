// Colour tables: the shared table class and its global and local variants.
#include <algorithm>
#include <cstring>
#include <limits>

#include "codecs/gif/GifExtensions.h"

// ---- TGIFColorMap ----

void TGIFColorMap::Clear() {
  FColorMap.reset();
  FCount = 0;
  FCapacity = 0;
  FOptimized = false;
}

TGIFColor TGIFColorMap::Color2RGB(TColor Color) {
  return TGIFColor{uint8_t(Color), uint8_t(Color >> 8), uint8_t(Color >> 16)};
}

TColor TGIFColorMap::RGB2Color(TGIFColor Color) {
  return TColor(Color.Red) | TColor(Color.Green) << 8 | TColor(Color.Blue) << 16;
}

void TGIFColorMap::SetCapacity(int Capacity) {
  if (Capacity < FCapacity) return;
  const int capacity = Capacity <= 16 ? 16 : std::min((Capacity + 31) / 32 * 32, 256);
  std::unique_ptr<TGIFColor[]> block(new TGIFColor[size_t(capacity)]);
  if (FColorMap) std::copy_n(FColorMap.get(), FCount, block.get());
  FColorMap = std::move(block);
  FCapacity = capacity;
}

// Replaces the entries by Count entries of unspecified colour.
void TGIFColorMap::ReplaceEntries(int Count) {
  if (Count < 0 || Count > 256) RaiseGIFError(sTooManyColors);
  Clear();
  if (Count == 0) return;
  SetCapacity(Count);
  FCount = Count;
}

void TGIFColorMap::LoadFromStream(TStream* Stream, int Count) {
  ReplaceEntries(Count);
  ReadExact(Stream, FColorMap.get(), int64_t(Count) * 3);
}

void TGIFColorMap::SaveToStream(TStream* Stream) {
  if (FCount == 0) return;
  static_assert(sizeof(TGIFColor) == 3);
  Stream->WriteBuffer(FColorMap.get(), int64_t(FCount) * 3);
  const int padding = (1 << GetBitsPerPixel()) - FCount;
  static const uint8_t black[3 * 256] = {};
  if (padding > 0) Stream->WriteBuffer(black, int64_t(padding) * 3);
}

int TGIFColorMap::IndexOf(TColor Color) const {
  const TGIFColor c = Color2RGB(Color);
  if (FOptimized) {
    for (int i = 0; i < FCount; ++i)
      if (FColorMap[size_t(i)] == c) return i;
  } else {
    for (int i = FCount - 1; i >= 0; --i)
      if (FColorMap[size_t(i)] == c) return i;
  }
  return -1;
}

int TGIFColorMap::Add(TColor Color) {
  if (FCount >= 256) RaiseGIFError(sTooManyColors);
  if (FCount >= FCapacity) SetCapacity(FCount + 1);
  FColorMap[size_t(FCount)] = Color2RGB(Color);
  FOptimized = false;
  MapChanged();
  return FCount++;
}

int TGIFColorMap::AddUnique(TColor Color) {
  const int i = IndexOf(Color);
  return i >= 0 ? i : Add(Color);
}

void TGIFColorMap::Delete(int Index) {
  if (Index < 0 || Index >= FCount) RaiseGIFError(sBadColorIndex);
  std::copy(FColorMap.get() + Index + 1, FColorMap.get() + FCount, FColorMap.get() + Index);
  --FCount;
  FOptimized = false;
  MapChanged();
}

TColor TGIFColorMap::GetColor(int Index) {
  if (Index < 0 || Index >= FCount) {
    ColorMapWarning(gsWarning, sBadColorIndex);
    if (FCount == 0) RaiseGIFError(sEmptyColorMap);
    Index = 0;
  }
  return RGB2Color(FColorMap[size_t(Index)]);
}

void TGIFColorMap::SetColor(int Index, TColor Color) {
  if (Index < 0 || Index >= FCount) RaiseGIFError(sBadColorIndex);
  FColorMap[size_t(Index)] = Color2RGB(Color);
  MapChanged();
}

void TGIFColorMap::ImportPalette(HPALETTE Palette) {
  const int count = Palette ? int(std::min<UINT>(GetPaletteEntries(Palette, 0, 0, nullptr), 256)) : 0;
  ReplaceEntries(count);
  if (count > 0) {
    PALETTEENTRY entries[256];
    GetPaletteEntries(Palette, 0, UINT(count), entries);
    for (int i = 0; i < count; ++i) FColorMap[size_t(i)] = {entries[i].peRed, entries[i].peGreen, entries[i].peBlue};
  }
  MapChanged();
}

void TGIFColorMap::ImportColorMap(const TColorMap& Map, int Count) {
  Count = std::clamp(Count, 0, 256);
  ReplaceEntries(Count);
  if (Count == 0) return;
  std::copy_n(Map.begin(), Count, FColorMap.get());
  MapChanged();
}

void TGIFColorMap::ImportColorTable(const RGBQUAD* Table, int Count) {
  Count = std::clamp(Count, 0, 256);
  ReplaceEntries(Count);
  if (Count == 0) return;
  for (int i = 0; i < Count; ++i) FColorMap[size_t(i)] = {Table[i].rgbRed, Table[i].rgbGreen, Table[i].rgbBlue};
  MapChanged();
}

void TGIFColorMap::ImportDIBColors(HDC DC) {
  RGBQUAD table[256];
  const int count = int(GetDIBColorTable(DC, 0, 256, table));
  ImportColorTable(table, count);
  if (count == 0) MapChanged();
}

HPALETTE TGIFColorMap::ExportPalette() const {
  if (FCount == 0) return nullptr;
  LOGPALETTE256 lp;
  lp.palNumEntries = WORD(FCount);
  for (int i = 0; i < FCount; ++i) {
    const TGIFColor c = FColorMap[size_t(i)];
    lp.palPalEntry[i] = PALETTEENTRY{c.Red, c.Green, c.Blue, PC_NOCOLLAPSE};
  }
  return CreatePalette(lp.get());
}

void TGIFColorMap::Assign(TPersistent* Source) {
  auto* src = As<TGIFColorMap>(Source);
  if (!src) {
    TPersistent::Assign(Source);
    return;
  }
  if (src == this) return;
  std::unique_ptr<TGIFColor[]> block;
  if (src->FCapacity > 0) {
    block.reset(new TGIFColor[size_t(src->FCapacity)]);
    std::copy_n(src->FColorMap.get(), src->FCount, block.get());
  }
  FColorMap = std::move(block);
  FCapacity = src->FCapacity;
  FCount = src->FCount;
  FOptimized = src->FOptimized;
  MapChanged();
}

bool TGIFColorMap::DoOptimize() {
  if (FCount < 2) return false;
  FOptimized = true;
  TColormapHistogram histogram;
  for (int i = 0; i < 256; ++i) histogram[size_t(i)] = {0, i};
  CountColorUse(histogram);
  // Most used first; entries used equally keep their order.
  std::stable_sort(histogram.begin(), histogram.begin() + FCount,
                   [](const TUsageCount& a, const TUsageCount& b) { return a.Count > b.Count; });
  bool unchanged = true;
  for (int i = 0; i < FCount && unchanged; ++i) unchanged = histogram[size_t(i)].Index == i;
  if (unchanged) return true;

  TColormapReverse map;
  for (int i = 0; i < 256; ++i) map[size_t(i)] = uint8_t(i);
  for (int i = 0; i < FCount; ++i) map[size_t(histogram[size_t(i)].Index)] = uint8_t(i);
  RemapPixels(map);
  std::unique_ptr<TGIFColor[]> sorted(new TGIFColor[size_t(FCapacity)]);
  for (int i = 0; i < FCount; ++i) sorted[size_t(i)] = FColorMap[size_t(histogram[size_t(i)].Index)];
  FColorMap = std::move(sorted);
  for (int i = 0; i < FCount; ++i)
    if (histogram[size_t(i)].Count == 0) {
      FCount = i;
      break;
    }
  MapChanged();
  return true;
}

// ---- Frames and their tables ----

namespace {

void CountFrame(TGIFSubImage* Frame, TColormapHistogram& Histogram) {
  const uint8_t* p = Frame->Data();
  if (!p) return;
  int64_t counts[256] = {};
  for (int64_t i = 0, n = Frame->DataSize(); i < n; ++i) ++counts[p[i]];
  for (int i = 0; i < 256; ++i) {
    const int64_t sum = Histogram[size_t(i)].Count + counts[i];
    Histogram[size_t(i)].Count = int32_t(std::min<int64_t>(sum, std::numeric_limits<int32_t>::max()));
  }
}

// Rewrites a frame's pixels and every index of its extensions that names an entry
// of the table being reordered.
void RemapFrame(TGIFSubImage* Frame, const TColormapReverse& Map) {
  if (uint8_t* p = Frame->Data())
    for (int64_t i = 0, n = Frame->DataSize(); i < n; ++i) p[i] = Map[p[i]];
  if (Frame->Transparent() && Frame->GraphicControlExtension()) {
    TGIFGraphicControlExtension* gce = Frame->GraphicControlExtension();
    const uint8_t index = gce->GetTransparentColorIndex();
    if (Map[index] != index) gce->SetTransparentColorIndex(Map[index]);
  }
  for (int i = 0; i < Frame->Extensions()->Count(); ++i)
    if (auto* text = As<TGIFTextExtension>(Frame->Extensions()->Extensions(i)))
      for (int k = 1; k <= 2; ++k) text->SetColorIndex(k, Map[size_t(text->GetColorIndex(k))]);
}

// Calls F for every frame whose active table is Map.
template <class F>
void ForFramesOf(TGIFImage* Image, TGIFColorMap* Map, F&& Fn) {
  TGIFImageList* frames = Image->Images();
  for (int i = 0; i < frames->Count(); ++i)
    if (TGIFSubImage* frame = frames->SubImages(i); frame->GetActiveColorMap() == Map) Fn(frame);
}

}  // namespace

// ---- TGIFGlobalColorMap ----

void TGIFGlobalColorMap::ColorMapWarning(TGIFSeverity Severity, const std::string& Message) {
  FHeader->Image()->Warning(this, Severity, Message);
}

void TGIFGlobalColorMap::CountColorUse(TColormapHistogram& Histogram) {
  ForFramesOf(FHeader->Image(), this, [&](TGIFSubImage* Frame) { CountFrame(Frame, Histogram); });
  // The screen's background colour stays in the table even when no pixel shows it.
  const int background = FHeader->BackgroundColorIndex();
  if (background < Count() && Histogram[size_t(background)].Count < std::numeric_limits<int32_t>::max())
    ++Histogram[size_t(background)].Count;
}

void TGIFGlobalColorMap::RemapPixels(const TColormapReverse& Map) {
  ForFramesOf(FHeader->Image(), this, [&](TGIFSubImage* Frame) { RemapFrame(Frame, Map); });
  FHeader->SetBackgroundColorIndex(Map[FHeader->BackgroundColorIndex()]);
}

bool TGIFGlobalColorMap::OptimizeMap() { return FHeader->Image()->Images()->Count() > 0 && DoOptimize(); }

void TGIFGlobalColorMap::MapChanged() { FHeader->Image()->SetPalette(nullptr); }

// ---- TGIFLocalColorMap ----

void TGIFLocalColorMap::ColorMapWarning(TGIFSeverity Severity, const std::string& Message) {
  FSubImage->Image()->Warning(this, Severity, Message);
}

void TGIFLocalColorMap::CountColorUse(TColormapHistogram& Histogram) { CountFrame(FSubImage, Histogram); }

void TGIFLocalColorMap::RemapPixels(const TColormapReverse& Map) { RemapFrame(FSubImage, Map); }

bool TGIFLocalColorMap::OptimizeMap() { return DoOptimize(); }

void TGIFLocalColorMap::MapChanged() { FSubImage->SetPalette(nullptr); }
