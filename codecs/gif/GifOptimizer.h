// The colour-map optimiser: replaces the global and every local colour table of an
// image by one global table of the colours the pixels use, most used first, with
// duplicates merged; pixels, transparent indices and the background index follow.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "codecs/gif/GifExtensions.h"

// One entry of a histogram: the use of one colour of a table.
struct THistogramEntry {
  int64_t Count = 0;
  int ColorIndex = 0;  // in its table
  int NewIndex = 256;  // in the new table; 256 while it has none
  TGIFColor Color;
  THistogramEntry* Link = nullptr;  // the entry a duplicate colour was merged into
  // Red + green * 256 + blue * 65536.
  uint32_t Value() const { return uint32_t(Color.Red) | uint32_t(Color.Green) << 8 | uint32_t(Color.Blue) << 16; }
};

// How often the frames that use one colour table use each of its entries.
class THistogram {
 public:
  explicit THistogram(TGIFColorMap* AColorMap);
  THistogram(const THistogram&) = delete;
  THistogram& operator=(const THistogram&) = delete;

  // Counts a frame's pixels (an index beyond the table becomes 0, with a warning);
  // a transparent frame that never shows its transparent index stops being
  // transparent. Answers whether it has transparent pixels.
  bool CountSubImage(TGIFSubImage* SubImage);
  // Orders the entries by use, most used first, and drops the unused; answers how many
  // are left.
  int PruneUnused();
  // Rewrites the counted frames' pixels to the entries' new indices.
  void RemapSubImages(bool UseTransparency, int NewTransparentIndex);

  std::vector<THistogramEntry*>& List() { return FList; }
  TGIFColorMap* ColorMap() const { return FColorMap; }
  int SubImageCount() const { return int(FSubImages.size()); }
  // The entry of an index of the table (null beyond it).
  THistogramEntry* EntryOf(int Index) { return Index >= 0 && Index < int(FEntries.size()) ? &FEntries[size_t(Index)] : nullptr; }

 private:
  std::vector<THistogramEntry> FEntries;
  std::vector<THistogramEntry*> FList;
  TGIFColorMap* FColorMap;                // not owned
  std::vector<TGIFSubImage*> FSubImages;  // not owned
};

class TColorMapOptimizer {
 public:
  explicit TColorMapOptimizer(TGIFImage* AImage) : FImage(AImage) {}
  TColorMapOptimizer(const TColorMapOptimizer&) = delete;
  TColorMapOptimizer& operator=(const TColorMapOptimizer&) = delete;

  void OptimizeColors();

 protected:
  void BuildHistograms();
  void MergeDuplicateColors();
  void ChooseColorMap();
  void ApplyColorMap();

 private:
  // The background index in the new table.
  int NewBackgroundIndex();

  TGIFImage* FImage;  // not owned
  std::vector<std::unique_ptr<THistogram>> FHistogramList;
  THistogram* FGlobalHistogram = nullptr;
  std::vector<THistogramEntry*> FColorList;
  TColorMap FNewMap{};
  int FFinalCount = 0;
  bool FUsesTransparency = false;
  int FNewTransparentColorIndex = 0;
  int FNewBackgroundIndex = -1;
};
