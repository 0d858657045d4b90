// Octree quantisation, the palette builders and colour reduction.
#include <algorithm>
#include <cstring>

#include "codecs/gif/GifColorReduction.h"

// ---- TColorQuantizer ----

TColorQuantizer::TColorQuantizer(int AMaxColors, int AColorBits) : FMaxColors(AMaxColors), FColorBits(AColorBits) {
  if (AMaxColors < 1 || AMaxColors > 256 || AColorBits < 1 || AColorBits > 8) RaiseGIFError(sInvalidBitSize);
}

TColorQuantizer::~TColorQuantizer() = default;  // the nodes live in FBlocks

TOctreeNode* TColorQuantizer::NewNode(int Level) {
  if (!FFreeNodes) {
    constexpr int kBlock = 1024;
    FBlocks.emplace_back(new TOctreeNode[kBlock]);
    TOctreeNode* block = FBlocks.back().get();
    for (int i = 0; i < kBlock; ++i) {
      block[i].Next = FFreeNodes;
      FFreeNodes = &block[i];
    }
  }
  TOctreeNode* node = FFreeNodes;
  FFreeNodes = node->Next;
  *node = TOctreeNode();
  if (Level == FColorBits) {
    node->IsLeaf = true;
    ++FLeafCount;
  } else {
    node->Next = FReducibleNodes[Level];
    FReducibleNodes[Level] = node;
  }
  return node;
}

void TColorQuantizer::FreeNode(TOctreeNode* Node) {
  Node->Next = FFreeNodes;
  FFreeNodes = Node;
}

void TColorQuantizer::AddColor(uint8_t Red, uint8_t Green, uint8_t Blue) {
  TOctreeNode** slot = &FTree;
  for (int level = 0;; ++level) {
    if (!*slot) *slot = NewNode(level);
    TOctreeNode* node = *slot;
    if (node->IsLeaf) {
      ++node->PixelCount;
      node->RedSum += Red;
      node->GreenSum += Green;
      node->BlueSum += Blue;
      break;
    }
    const int shift = 7 - level;
    const int index = ((Red >> shift) & 1) << 2 | ((Green >> shift) & 1) << 1 | ((Blue >> shift) & 1);
    slot = &node->Child[index];
  }
  while (FLeafCount > FMaxColors) ReduceTree();
}

void TColorQuantizer::ReduceTree() {
  int level = FColorBits - 1;
  while (level > 0 && !FReducibleNodes[level]) --level;
  TOctreeNode* node = FReducibleNodes[level];
  if (!node) return;
  FReducibleNodes[level] = node->Next;
  int children = 0;
  for (TOctreeNode*& child : node->Child) {
    if (!child) continue;
    node->PixelCount += child->PixelCount;
    node->RedSum += child->RedSum;
    node->GreenSum += child->GreenSum;
    node->BlueSum += child->BlueSum;
    FreeNode(child);
    child = nullptr;
    ++children;
  }
  node->IsLeaf = true;
  FLeafCount -= children - 1;
}

void TColorQuantizer::AddImageColors(TDIB* Reader) {
  TBitmap* bitmap = Reader->Bitmap();
  const int width = bitmap->Width(), height = bitmap->Height();
  for (int y = 0; y < height; ++y) {
    const auto* p = static_cast<const uint8_t*>(Reader->RowAddress(y));
    for (int x = 0; x < width; ++x, p += 3) AddColor(p[2], p[1], p[0]);
  }
}

int TColorQuantizer::FillColorTable(RGBQUAD* Table) {
  int count = 0;
  // Depth first, children in order.
  std::vector<const TOctreeNode*> stack;
  if (FTree) stack.push_back(FTree);
  while (!stack.empty()) {
    const TOctreeNode* node = stack.back();
    stack.pop_back();
    if (node->IsLeaf) {
      if (count >= 256) continue;
      RGBQUAD& q = Table[count++];
      const int64_t n = node->PixelCount;
      q.rgbRed = n ? uint8_t(node->RedSum / n) : 0;
      q.rgbGreen = n ? uint8_t(node->GreenSum / n) : 0;
      q.rgbBlue = n ? uint8_t(node->BlueSum / n) : 0;
      q.rgbReserved = 0;
      continue;
    }
    for (int i = 7; i >= 0; --i)
      if (node->Child[i]) stack.push_back(node->Child[i]);
  }
  return count;
}

// ---- Palettes ----

namespace {

HPALETTE MakePalette(int Count, BYTE Flags, void (*Entry)(int, PALETTEENTRY&)) {
  LOGPALETTE256 lp;
  lp.palNumEntries = WORD(Count);
  for (int i = 0; i < Count; ++i) {
    Entry(i, lp.palPalEntry[i]);
    lp.palPalEntry[i].peFlags = Flags;
  }
  return CreatePalette(lp.get());
}

void Grey(PALETTEENTRY& e, BYTE v) { e.peRed = e.peGreen = e.peBlue = v; }

// Colours of several bitmaps into one octree palette.
template <class ForEachReader>
HPALETTE QuantizedPalette(int Colors, int ColorBits, bool Windows, ForEachReader&& ForEach) {
  if (Colors < 1 || Colors > 256 || ColorBits < 1 || ColorBits > 8) RaiseGIFError(sInvalidBitSize);
  LOGPALETTE256 lp;
  for (PALETTEENTRY& e : lp.palPalEntry) e = PALETTEENTRY{0, 0, 0, PC_NOCOLLAPSE};
  lp.palNumEntries = WORD(Colors);
  int first = 0;
  if (Windows) {
    PALETTEENTRY system[20];
    GetPaletteEntries(reinterpret_cast<HPALETTE>(GetStockObject(DEFAULT_PALETTE)), 0, 20, system);
    std::copy(system, system + 10, lp.palPalEntry);
    std::copy(system + 10, system + 20, lp.palPalEntry + 246);
    Colors = 236;
    first = 10;
    lp.palNumEntries = 256;
  }
  RGBQUAD table[256] = {};
  int count;
  {
    TColorQuantizer quantizer(Colors, ColorBits);
    ForEach([&](TDIB* Reader) { quantizer.AddImageColors(Reader); });
    count = quantizer.FillColorTable(table);
  }
  count = std::min(count, 256 - first);
  for (int i = 0; i < count; ++i)
    lp.palPalEntry[first + i] = PALETTEENTRY{table[i].rgbRed, table[i].rgbGreen, table[i].rgbBlue, table[i].rgbReserved};
  return CreatePalette(lp.get());
}

// Deletes a palette when it goes out of scope (a stock palette stays).
struct PaletteHolder {
  HPALETTE h = nullptr;
  PaletteHolder() = default;
  PaletteHolder(const PaletteHolder&) = delete;
  PaletteHolder& operator=(const PaletteHolder&) = delete;
  ~PaletteHolder() {
    if (h) DeleteObject(h);
  }
};

}  // namespace

HPALETTE WebPalette() {
  return MakePalette(216, 0, [](int i, PALETTEENTRY& e) {
    e.peRed = BYTE(i / 36 * 51);
    e.peGreen = BYTE(i / 6 % 6 * 51);
    e.peBlue = BYTE(i % 6 * 51);
  });
}

HPALETTE CreateGray4Palette() {
  return MakePalette(4, PC_NOCOLLAPSE, [](int i, PALETTEENTRY& e) {
    static const BYTE level[4] = {0, 128, 192, 255};
    Grey(e, level[i]);
  });
}

HPALETTE CreateMonochromePalette() {
  return MakePalette(2, PC_NOCOLLAPSE, [](int i, PALETTEENTRY& e) { Grey(e, i ? 255 : 0); });
}

HPALETTE CreateGrayPalette256() {
  return MakePalette(256, PC_NOCOLLAPSE, [](int i, PALETTEENTRY& e) { Grey(e, BYTE(i)); });
}

HPALETTE CreateHalftoneScreenPalette() {
  HDC dc = CheckGDIResult(GetDC(nullptr));
  HPALETTE palette = CreateHalftonePalette(dc);
  ReleaseDC(nullptr, dc);
  return CheckGDIResult(palette);
}

HPALETTE CreateQuantizedPalette(TBitmap* Bitmap, int Colors, int ColorBits, bool Windows) {
  return QuantizedPalette(Colors, ColorBits, Windows, [&](auto&& Add) {
    TDIBReader reader(Bitmap, pf24bit);
    Add(&reader);
  });
}

HPALETTE CreateOptimizedPaletteFromManyBitmaps(TList* Bitmaps, int Colors, int ColorBits, bool Windows) {
  if (!Bitmaps || Bitmaps->Count() == 0) RaiseGIFError(sInvalidBitmapList);
  return QuantizedPalette(Colors, ColorBits, Windows, [&](auto&& Add) {
    for (int i = 0; i < Bitmaps->Count(); ++i) {
      TDIBReader reader(static_cast<TBitmap*>(Bitmaps->Items(i)), pf24bit);
      Add(&reader);
    }
  });
}

// ---- ReduceColors ----

std::unique_ptr<TBitmap> ReduceColors(TBitmap* Bitmap, TColorReduction ColorReduction, TDitherMode DitherMode,
                                      int ReductionBits, HPALETTE CustomPalette) {
  auto result = std::make_unique<TBitmap>();
  if (ColorReduction == rmNone) {
    result->Assign(Bitmap);
    result->SetPixelFormat(pf24bit);
    return result;
  }
  const int width = Bitmap->Width(), height = Bitmap->Height();
  if (width <= 0 || height <= 0) return result;
  if (int64_t(width) * height > 500000) result->SetPixelFormat(pf1bit);
  TDIBReader reader(Bitmap, pf24bit);

  PaletteHolder palette;
  switch (ColorReduction) {
    case rmWindows20: palette.h = reinterpret_cast<HPALETTE>(GetStockObject(DEFAULT_PALETTE)); break;
    case rmWindows256: palette.h = CreateHalftoneScreenPalette(); break;
    case rmWindowsGray: palette.h = CreateGray4Palette(); break;
    case rmMonochrome: palette.h = CreateMonochromePalette(); break;
    case rmGrayScale: palette.h = CreateGrayPalette256(); break;
    case rmNetscape: palette.h = WebPalette(); break;
    case rmQuantize:
      if (ReductionBits < 1 || ReductionBits > 8) RaiseGIFError(sInvalidBitSize);
      palette.h = QuantizedPalette(1 << ReductionBits, 8, false, [&](auto&& Add) { Add(&reader); });
      break;
    case rmQuantizeWindows: palette.h = CreateQuantizedPalette(Bitmap, 256, 8, true); break;
    case rmPalette: palette.h = CopyPalette(CustomPalette); break;
    default: break;
  }

  std::unique_ptr<TColorLookup> lookup;
  switch (ColorReduction) {
    case rmMonochrome: lookup = std::make_unique<TMonochromeLookup>(); break;
    case rmGrayScale: lookup = std::make_unique<TGrayScaleLookup>(); break;
    case rmNetscape: lookup = std::make_unique<TNetscapeColorLookup>(); break;
    default: lookup = std::make_unique<TSlowColorLookup>(palette.h); break;
  }
  if (lookup->Colors() == 0) return result;

  std::unique_ptr<TDitherEngine> ditherer = CreateDitherer(DitherMode, width, lookup.get());
  TDIBWriter writer(result.get(), palette.h, width, height, pf8bit);
  for (int y = 0; y < height; ++y) {
    const auto* src = static_cast<const uint8_t*>(reader.RowAddress(y));
    auto* dst = static_cast<uint8_t*>(writer.RowAddress(y));
    uint8_t r, g, b;
    for (int x = ditherer->Column(); x >= 0 && x < width; x = ditherer->Column()) {
      const uint8_t* p = src + 3 * x;
      dst[x] = ditherer->DitherPixel(p[2], p[1], p[0], r, g, b);
    }
    ditherer->EndRow();
  }
  writer.Store();
  return result;
}
