// Colour look-ups and ditherers.
#include <algorithm>

#include "codecs/gif/GifColorReduction.h"

// ---- Look-ups ----

TSlowColorLookup::TSlowColorLookup(HPALETTE APalette) : TColorLookup(0), FPalette(APalette) {
  const UINT count = APalette ? std::min<UINT>(GetPaletteEntries(APalette, 0, 0, nullptr), 256) : 0;
  FPaletteEntries.resize(count);
  if (count) GetPaletteEntries(APalette, 0, count, FPaletteEntries.data());
  FColors = int(count);
}

uint8_t TSlowColorLookup::NearestIndex(uint8_t Red, uint8_t Green, uint8_t Blue, uint8_t& R, uint8_t& G,
                                       uint8_t& B) {
  const COLORREF color = RGB(Red, Green, Blue);
  if (color != FLastColor) {
    const UINT i = GetNearestPaletteIndex(FPalette, color);
    FLastIndex = i < FPaletteEntries.size() ? uint8_t(i) : 0;
    FLastColor = color;
  }
  if (FPaletteEntries.empty()) {
    R = G = B = 0;
    return 0;
  }
  const PALETTEENTRY& e = FPaletteEntries[FLastIndex];
  R = e.peRed;
  G = e.peGreen;
  B = e.peBlue;
  return FLastIndex;
}

uint8_t TNetscapeColorLookup::NearestIndex(uint8_t Red, uint8_t Green, uint8_t Blue, uint8_t& R, uint8_t& G,
                                           uint8_t& B) {
  const int r = (Red + 3) / 51, g = (Green + 3) / 51, b = (Blue + 3) / 51;
  R = uint8_t(51 * r);
  G = uint8_t(51 * g);
  B = uint8_t(51 * b);
  return uint8_t(r * 36 + g * 6 + b);
}

uint8_t TGrayScaleLookup::NearestIndex(uint8_t Red, uint8_t Green, uint8_t Blue, uint8_t& R, uint8_t& G,
                                       uint8_t& B) {
  const uint8_t y = uint8_t((77 * Red + 150 * Green + 29 * Blue) >> 8);
  R = G = B = y;
  return y;
}

uint8_t TMonochromeLookup::NearestIndex(uint8_t Red, uint8_t Green, uint8_t Blue, uint8_t& R, uint8_t& G,
                                        uint8_t& B) {
  const bool white = 77 * Red + 150 * Green + 29 * Blue > 32512;
  R = G = B = white ? 255 : 0;
  return white ? 1 : 0;
}

// ---- Ditherers ----

uint8_t TDitherEngine::DitherPixel(uint8_t Red, uint8_t Green, uint8_t Blue, uint8_t& R, uint8_t& G, uint8_t& B) {
  const uint8_t index = FLookup->NearestIndex(Red, Green, Blue, R, G, B);
  StepColumn();
  return index;
}

void TDitherEngine::EndRow() {
  FDirection = -FDirection;
  FColumn = FDirection > 0 ? 0 : FWidth - 1;
}

TErrorDiffusionDitherer::TErrorDiffusionDitherer(int AWidth, TColorLookup* ALookup, std::vector<TDitherWeight> AWeights,
                                                 int ADivisor)
    : TDitherEngine(AWidth, ALookup), FWeights(std::move(AWeights)), FDivisor(ADivisor), FRows(1), FGuard(0) {
  for (const TDitherWeight& w : FWeights) {
    FRows = std::max(FRows, w.Rows + 1);
    FGuard = std::max(FGuard, std::abs(w.Ahead));
  }
  FStride = std::max(AWidth, 0) + 2 * FGuard;
  FErrors.assign(size_t(3) * size_t(FRows) * size_t(FStride), 0);
}

uint8_t TErrorDiffusionDitherer::DitherPixel(uint8_t Red, uint8_t Green, uint8_t Blue, uint8_t& R, uint8_t& G,
                                             uint8_t& B) {
  const int x = FColumn;
  const uint8_t in[3] = {Red, Green, Blue};
  int adjusted[3];
  for (int c = 0; c < 3; ++c) {
    const int carried = (Row(c, 0)[x] + FDivisor / 2) / FDivisor;
    adjusted[c] = std::clamp(in[c] + carried, 0, 255);
  }
  const uint8_t index =
      TDitherEngine::DitherPixel(uint8_t(adjusted[0]), uint8_t(adjusted[1]), uint8_t(adjusted[2]), R, G, B);
  const uint8_t out[3] = {R, G, B};
  for (int c = 0; c < 3; ++c) {
    const int error = adjusted[c] - out[c];
    if (error == 0) continue;
    for (const TDitherWeight& w : FWeights) Row(c, w.Rows)[x + w.Ahead * FDirection] += error * w.Weight;
  }
  return index;
}

void TErrorDiffusionDitherer::EndRow() {
  TDitherEngine::EndRow();
  for (int c = 0; c < 3; ++c) std::fill_n(Row(c, 0) - FGuard, FStride, 0);
  FFirstRow = (FFirstRow + 1) % FRows;
}

TFloydSteinbergDitherer::TFloydSteinbergDitherer(int AWidth, TColorLookup* ALookup)
    : TErrorDiffusionDitherer(AWidth, ALookup, {{0, 1, 7}, {1, -1, 3}, {1, 0, 5}, {1, 1, 1}}, 16) {}

TStuckiDitherer::TStuckiDitherer(int AWidth, TColorLookup* ALookup)
    : T5by3Ditherer(AWidth, ALookup,
                    {{0, 1, 8}, {0, 2, 4},                                          //
                     {1, -2, 2}, {1, -1, 4}, {1, 0, 8}, {1, 1, 4}, {1, 2, 2},  //
                     {2, -2, 1}, {2, -1, 2}, {2, 0, 4}, {2, 1, 2}, {2, 2, 1}},
                    42) {}

TSierraDitherer::TSierraDitherer(int AWidth, TColorLookup* ALookup)
    : T5by3Ditherer(AWidth, ALookup,
                    {{0, 1, 5}, {0, 2, 3},                                          //
                     {1, -2, 2}, {1, -1, 4}, {1, 0, 5}, {1, 1, 4}, {1, 2, 2},  //
                     {2, -1, 2}, {2, 0, 3}, {2, 1, 2}},
                    32) {}

TJaJuNiDitherer::TJaJuNiDitherer(int AWidth, TColorLookup* ALookup)
    : T5by3Ditherer(AWidth, ALookup,
                    {{0, 1, 7}, {0, 2, 5},                                          //
                     {1, -2, 3}, {1, -1, 5}, {1, 0, 7}, {1, 1, 5}, {1, 2, 3},  //
                     {2, -2, 1}, {2, -1, 3}, {2, 0, 5}, {2, 1, 3}, {2, 2, 1}},
                    48) {}

TSteveArcheDitherer::TSteveArcheDitherer(int AWidth, TColorLookup* ALookup)
    : TErrorDiffusionDitherer(AWidth, ALookup,
                              {{0, 2, 32},                                         //
                               {1, -3, 12}, {1, -1, 26}, {1, 1, 30}, {1, 3, 16},  //
                               {2, -2, 12}, {2, 0, 26}, {2, 2, 12},               //
                               {3, -3, 5}, {3, -1, 12}, {3, 1, 12}, {3, 3, 5}},
                              200) {}

TBurkesDitherer::TBurkesDitherer(int AWidth, TColorLookup* ALookup)
    : TErrorDiffusionDitherer(AWidth, ALookup,
                              {{0, 1, 8}, {0, 2, 4}, {1, -2, 2}, {1, -1, 4}, {1, 0, 8}, {1, 1, 4}, {1, 2, 2}}, 32) {}

std::unique_ptr<TDitherEngine> CreateDitherer(TDitherMode Mode, int Width, TColorLookup* Lookup) {
  switch (Mode) {
    case dmFloydSteinberg: return std::make_unique<TFloydSteinbergDitherer>(Width, Lookup);
    case dmStucki: return std::make_unique<TStuckiDitherer>(Width, Lookup);
    case dmSierra: return std::make_unique<TSierraDitherer>(Width, Lookup);
    case dmJaJuNI: return std::make_unique<TJaJuNiDitherer>(Width, Lookup);
    case dmSteveArche: return std::make_unique<TSteveArcheDitherer>(Width, Lookup);
    case dmBurkes: return std::make_unique<TBurkesDitherer>(Width, Lookup);
    default: return std::make_unique<TDitherEngine>(Width, Lookup);
  }
}
