// The colour-map optimiser, and the image optimiser that crops, merges and cleans up
// frames without changing what the animation shows.
#include "codecs/gif/GifOptimizer.h"

#include <algorithm>
#include <array>
#include <cstdlib>

namespace {

int TransparentIndexOf(const TGIFSubImage* Frame) {
  const TGIFGraphicControlExtension* gce = Frame->GraphicControlExtension();
  return Frame->Transparent() && gce ? gce->GetTransparentColorIndex() : -1;
}

int SumOf(const TGIFColor& C) { return C.Red + C.Green + C.Blue; }

// Holds an image's painter-list lock for the scope.
struct TPainterLock {
  TThreadList* list;
  explicit TPainterLock(TThreadList* AList) : list(AList) { list->LockList(); }
  ~TPainterLock() { list->UnlockList(); }
};

}  // namespace

// ---- THistogram ----

THistogram::THistogram(TGIFColorMap* AColorMap) : FColorMap(AColorMap) {
  FEntries.resize(size_t(AColorMap->Count()));
  for (int i = 0; i < AColorMap->Count(); ++i) {
    FEntries[size_t(i)].ColorIndex = i;
    FEntries[size_t(i)].Color = AColorMap->Entry(i);
  }
  for (auto& e : FEntries) FList.push_back(&e);
}

bool THistogram::CountSubImage(TGIFSubImage* SubImage) {
  if (SubImage->Empty()) return false;
  FSubImages.push_back(SubImage);
  const int transparent = TransparentIndexOf(SubImage);
  uint8_t* data = SubImage->Data();
  const int64_t size = SubImage->DataSize();
  std::array<int64_t, 256> counts{};
  for (int64_t i = 0; i < size; ++i) ++counts[data[i]];
  const int colors = int(FEntries.size());
  bool repaired = false;
  for (int index = colors; index < 256; ++index) {
    if (index == transparent || counts[size_t(index)] == 0) continue;
    for (int64_t i = 0; i < size; ++i)
      if (data[i] == index) data[i] = 0;
    counts[0] += counts[size_t(index)];
    counts[size_t(index)] = 0;
    repaired = true;
  }
  if (repaired) SubImage->Warning(gsWarning, sInvalidColor);
  for (int index = 0; index < colors; ++index)
    if (index != transparent) FEntries[size_t(index)].Count += counts[size_t(index)];
  const bool seen = transparent >= 0 && counts[size_t(transparent)] > 0;
  if (transparent >= 0 && !seen) {
    // Nothing shows through this frame: it need not be transparent.
    TGIFGraphicControlExtension* gce = SubImage->GraphicControlExtension();
    gce->SetTransparentColorIndex(0);
    gce->SetTransparent(false);
  }
  return seen;
}

int THistogram::PruneUnused() {
  std::stable_sort(FList.begin(), FList.end(),
                   [](const THistogramEntry* a, const THistogramEntry* b) { return a->Count > b->Count; });
  auto used = std::find_if(FList.begin(), FList.end(), [](const THistogramEntry* e) { return e->Count == 0; });
  FList.erase(used, FList.end());
  return int(FList.size());
}

void THistogram::RemapSubImages(bool UseTransparency, int NewTransparentIndex) {
  std::array<uint8_t, 256> table{};
  for (const THistogramEntry* e : FList) table[size_t(e->ColorIndex)] = uint8_t(e->NewIndex);
  for (TGIFSubImage* frame : FSubImages) {
    std::array<uint8_t, 256> map = table;
    const int transparent = UseTransparency ? TransparentIndexOf(frame) : -1;
    if (transparent >= 0) {
      map[size_t(transparent)] = uint8_t(NewTransparentIndex);
      frame->GraphicControlExtension()->SetTransparentColorIndex(NewTransparentIndex);
    }
    uint8_t* data = frame->Data();
    for (int64_t i = 0, n = frame->DataSize(); i < n; ++i) data[i] = map[data[i]];
    for (int i = 0; i < frame->Extensions()->Count(); ++i)
      if (auto* text = As<TGIFTextExtension>(frame->Extensions()->Extensions(i)))
        for (int k = 1; k <= 2; ++k) text->SetColorIndex(k, map[size_t(text->GetColorIndex(k))]);
  }
}

// ---- TColorMapOptimizer ----

void TColorMapOptimizer::BuildHistograms() {
  FUsesTransparency = false;
  TGIFImageList* frames = FImage->Images();
  TGIFColorMap* global = FImage->GetColorMap();
  if (global->Count() > 0) {
    auto h = std::make_unique<THistogram>(global);
    for (int i = 0; i < frames->Count(); ++i) {
      TGIFSubImage* frame = frames->SubImages(i);
      if (frame->ColorMap()->Count() == 0 && h->CountSubImage(frame)) FUsesTransparency = true;
    }
    if (h->SubImageCount() > 0) {
      FGlobalHistogram = h.get();
      FHistogramList.push_back(std::move(h));
    }
  }
  for (int i = 0; i < frames->Count(); ++i) {
    TGIFSubImage* frame = frames->SubImages(i);
    if (frame->ColorMap()->Count() == 0 || frame->Empty()) continue;
    auto h = std::make_unique<THistogram>(frame->ColorMap());
    if (h->CountSubImage(frame)) FUsesTransparency = true;
    FHistogramList.push_back(std::move(h));
  }
  size_t total = 0;
  for (auto& h : FHistogramList) total += size_t(h->PruneUnused());
  FColorList.reserve(total);
  for (auto& h : FHistogramList) FColorList.insert(FColorList.end(), h->List().begin(), h->List().end());
}

void TColorMapOptimizer::MergeDuplicateColors() {
  std::stable_sort(FColorList.begin(), FColorList.end(),
                   [](const THistogramEntry* a, const THistogramEntry* b) { return a->Value() > b->Value(); });
  THistogramEntry* first = nullptr;
  for (THistogramEntry* e : FColorList) {
    if (first && first->Value() == e->Value()) {
      first->Count += e->Count;
      e->Count = 0;
      e->Link = first;
    } else {
      first = e;
    }
  }
}

void TColorMapOptimizer::ChooseColorMap() {
  std::stable_sort(FColorList.begin(), FColorList.end(),
                   [](const THistogramEntry* a, const THistogramEntry* b) { return a->Count > b->Count; });
  const int limit = FUsesTransparency ? 255 : 256;
  FFinalCount = 0;
  while (FFinalCount < int(FColorList.size()) && FFinalCount < limit && FColorList[size_t(FFinalCount)]->Count > 0) {
    THistogramEntry* e = FColorList[size_t(FFinalCount)];
    e->NewIndex = FFinalCount;
    FNewMap[size_t(FFinalCount)] = e->Color;
    ++FFinalCount;
  }
  for (size_t i = size_t(FFinalCount); i < FColorList.size(); ++i) {
    THistogramEntry* e = FColorList[i];
    if (e->Count > 0) {
      // A used colour that did not fit: the kept colour of the nearest brightness.
      int best = 765, index = 0;
      for (int k = 0; k < FFinalCount; ++k) {
        const int d = std::abs(SumOf(FNewMap[size_t(k)]) - SumOf(e->Color));
        if (d < best) {
          best = d;
          index = k;
        }
      }
      e->NewIndex = index;
    } else if (e->Link) {
      e->NewIndex = e->Link->NewIndex;
    }
  }
  FNewBackgroundIndex = NewBackgroundIndex();
  if (FUsesTransparency) {
    FNewTransparentColorIndex = FFinalCount;
    FNewMap[size_t(FFinalCount)] = TGIFColor{};
    ++FFinalCount;
  }
}

// The screen's background colour keeps its colour: its own entry when pixels use it,
// otherwise the same colour added (when there is room) or the nearest kept one.
int TColorMapOptimizer::NewBackgroundIndex() {
  TGIFColorMap* global = FImage->GetColorMap();
  const int old = FImage->GetBackgroundColorIndex();
  if (old >= global->Count()) return -1;
  if (FGlobalHistogram)
    if (const THistogramEntry* e = FGlobalHistogram->EntryOf(old); e && e->NewIndex < FFinalCount) return e->NewIndex;
  const TGIFColor color = global->Entry(old);
  for (int k = 0; k < FFinalCount; ++k)
    if (FNewMap[size_t(k)] == color) return k;
  if (FFinalCount < (FUsesTransparency ? 255 : 256)) {
    FNewMap[size_t(FFinalCount)] = color;
    return FFinalCount++;
  }
  int best = 765, index = 0;
  for (int k = 0; k < FFinalCount; ++k) {
    const int d = std::abs(SumOf(FNewMap[size_t(k)]) - SumOf(color));
    if (d < best) {
      best = d;
      index = k;
    }
  }
  return index;
}

void TColorMapOptimizer::ApplyColorMap() {
  TGIFImageList* frames = FImage->Images();
  for (int i = 0; i < frames->Count(); ++i) frames->SubImages(i)->ColorMap()->Clear();
  TGIFColorMap* global = FImage->GetColorMap();
  global->ImportColorMap(FNewMap, FFinalCount);
  global->SetOptimized(true);
  if (FNewBackgroundIndex >= 0) FImage->SetBackgroundColorIndex(FNewBackgroundIndex);
}

void TColorMapOptimizer::OptimizeColors() {
  FImage->PaintStop();
  TPainterLock lock(FImage->Painters());
  BuildHistograms();
  MergeDuplicateColors();
  ChooseColorMap();
  ApplyColorMap();
  for (auto& h : FHistogramList) h->RemapSubImages(FUsesTransparency, FNewTransparentColorIndex);
  TGIFImageList* frames = FImage->Images();
  for (int i = 0; i < frames->Count(); ++i) {
    frames->SubImages(i)->FreeBitmap();
    frames->SubImages(i)->FreeMask();
    frames->SubImages(i)->SetPalette(nullptr);
  }
}

// ---- The image optimiser ----

void TGIFImage::OptimizeColorMap() {
  TColorMapOptimizer optimizer(this);
  optimizer.OptimizeColors();
}

namespace {

TDisposalMethod DisposalOf(const TGIFSubImage* Frame) {
  const TGIFGraphicControlExtension* gce = Frame->GraphicControlExtension();
  return gce ? gce->GetDisposal() : dmNone;
}

bool UsesIndex(const TGIFSubImage* Frame, int Index) {
  const uint8_t* p = Frame->Data();
  return std::find(p, p + Frame->DataSize(), uint8_t(Index)) != p + Frame->DataSize();
}

bool Inside(const TRect& Inner, const TRect& Outer) {
  return Inner.left >= Outer.left && Inner.top >= Outer.top && Inner.right <= Outer.right &&
         Inner.bottom <= Outer.bottom;
}

bool HasLoop(const TGIFSubImage* Frame) {
  for (int i = 0; i < Frame->Extensions()->Count(); ++i)
    if (As<TGIFAppExtNSLoop>(Frame->Extensions()->Extensions(i))) return true;
  return false;
}

// Moves a frame's delay to another frame (giving it a control block when it has none).
void AddDelay(TGIFSubImage* To, int Delay) {
  if (Delay == 0) return;
  TGIFGraphicControlExtension* gce = To->GraphicControlExtension();
  if (!gce) {
    auto made = std::make_unique<TGIFGraphicControlExtension>(To);
    gce = made.get();
    To->Extensions()->Add(std::move(made));
  }
  gce->SetDelay(uint16_t(std::min(gce->GetDelay() + Delay, 0xFFFF)));
}

}  // namespace

void TGIFImage::Optimize(TGIFOptimizeOptions Options, TColorReduction AColorReduction, TDitherMode ADitherMode,
                         int AReductionBits) {
  if (Empty()) return;
  if (Options.Contains(ooReduceColors) && AColorReduction == rmPalette) RaiseGIFError(sInvalidReduction);
  PaintStop();
  TPainterLock lock(FPainters.get());
  const TRect none = Rect(0, 0, 0, 0);
  int done = 0;
  auto step = [&] {
    ++done;
    const int total = 6 * std::max(FItems->Count(), 1);
    Progress(this, psRunning, uint8_t(std::min(done * 100 / total, 100)), false, none, sProgressOptimizing);
  };
  Progress(this, psStarting, 0, false, none, sProgressOptimizing);
  try {
    if (Options.Contains(ooColorMap)) {
      if (GetColorMap()->Count() > 0) GetColorMap()->OptimizeMap();
      for (int i = 0; i < FItems->Count(); ++i) {
        if (FItems->SubImages(i)->ColorMap()->Count() > 0) FItems->SubImages(i)->ColorMap()->OptimizeMap();
        step();
      }
    }
    if (Options.Contains(ooCleanup)) {
      for (int i = 0; i < FItems->Count(); ++i) {
        TGIFSubImage* frame = FItems->SubImages(i);
        const int t = TransparentIndexOf(frame);
        if (t >= 0 && !frame->Empty() && !UsesIndex(frame, t)) frame->GraphicControlExtension()->SetTransparent(false);
        step();
      }
      // Disposing of a frame that the next one covers with opaque pixels shows
      // nothing, unless the next one goes back to what was before it.
      for (int i = 0; i + 1 < FItems->Count(); ++i) {
        TGIFSubImage* frame = FItems->SubImages(i);
        TGIFSubImage* next = FItems->SubImages(i + 1);
        const TDisposalMethod disposal = DisposalOf(frame);
        if ((disposal != dmBackground && disposal != dmPrevious) || next->Transparent() || next->Empty() ||
            DisposalOf(next) == dmPrevious)
          continue;
        if (!frame->Empty() && Inside(frame->GetBoundsRect(), next->GetBoundsRect()))
          frame->GraphicControlExtension()->SetDisposal(dmNone);
      }
    }
    if (Options.Contains(ooMerge)) {
      for (int i = FItems->Count() - 1; i > 0; --i) {
        int reference = i - 1;
        while (reference > 0 && DisposalOf(FItems->SubImages(reference)) == dmPrevious) --reference;
        FItems->SubImages(i)->Merge(FItems->SubImages(reference));
        step();
      }
    }
    if (Options.Contains(ooCrop)) {
      for (int i = FItems->Count() - 1; i >= 0; --i) {
        TGIFSubImage* frame = FItems->SubImages(i);
        step();
        // A frame cleared to the background on disposal clears its whole area.
        if (frame->Empty() || !frame->Transparent() || DisposalOf(frame) == dmBackground) continue;
        const int t = TransparentIndexOf(frame);
        const uint8_t* p = frame->Data();
        const bool blank = std::all_of(p, p + frame->DataSize(), [&](uint8_t v) { return v == t; });
        // A blank frame goes, its delay to the frame before; unless it is the first,
        // carries the loop or restores what was before it.
        if (blank && (i == 0 || HasLoop(frame) || DisposalOf(frame) == dmPrevious)) continue;
        const int delay = frame->GraphicControlExtension() ? frame->GraphicControlExtension()->GetDelay() : 0;
        frame->Crop();
        if (!frame->Empty()) continue;
        AddDelay(FItems->SubImages(i - 1), delay);
        FItems->Delete(i);
      }
    }
    if (Options.Contains(ooCleanup)) {
      const int count = FItems->Count();
      for (int i = count - 1; i >= 0; --i) {
        TGIFSubImage* frame = FItems->SubImages(i);
        TGIFExtensionList* list = frame->Extensions();
        for (int k = list->Count() - 1; k >= 0; --k) {
          TGIFExtension* e = list->Extensions(k);
          const bool drop = As<TGIFCommentExtension>(e) || As<TGIFTextExtension>(e) ||
                            As<TGIFUnknownAppExtension>(e) || (As<TGIFAppExtNSLoop>(e) && (i != 0 || count == 1));
          if (drop) list->Delete(k);
        }
        if (TGIFGraphicControlExtension* gce = frame->GraphicControlExtension()) {
          const TDisposalMethod disposal = gce->GetDisposal();
          if ((gce->GetDelay() == 0 || count == 1) && !gce->GetTransparent() && !gce->GetUserInput() &&
              (disposal == dmNone || disposal == dmNoDisposal || count == 1))
            list->Delete(list->IndexOf(gce));
        }
        if (frame->Empty() && list->Count() == 0) FItems->Delete(i);
        step();
      }
    }
  } catch (...) {
    Progress(this, psEnding, 0, false, none, sProgressOptimizing);
    throw;
  }
  Progress(this, psEnding, 100, false, none, sProgressOptimizing);
  FreeBitmap();
  Changed(this);
}
