#include "codecs/png/PngFilters.h"

#include <cstdlib>

namespace png_filter {

namespace {

// The Paeth predictor: the neighbour (left a, above b, upper left c) closest to
// a + b - c, preferring left, then above, then upper left on ties.
inline uint8_t Paeth(int a, int b, int c) {
  int pa = std::abs(b - c);
  int pb = std::abs(a - c);
  int pc = std::abs(a + b - 2 * c);
  int best = pb <= pc ? b : c;
  int bestDistance = pb <= pc ? pb : pc;
  return static_cast<uint8_t>(pa <= bestDistance ? a : best);
}

// The first pixel has no left neighbour: Sub and Paeth reduce to the byte itself
// and to the byte above, Average to half the byte above.
template <size_t B>
void UnpaethFixed(uint8_t* row, const uint8_t* prev, size_t count) {
  for (size_t i = 0; i < B && i < count; ++i) row[i] = uint8_t(row[i] + prev[i]);
  for (size_t i = B; i + B <= count; i += B)
    for (size_t k = 0; k < B; ++k)
      row[i + k] = uint8_t(row[i + k] + Paeth(row[i + k - B], prev[i + k], prev[i + k - B]));
}

void UnpaethAny(uint8_t* row, const uint8_t* prev, size_t count, size_t bpp) {
  for (size_t i = 0; i < bpp && i < count; ++i) row[i] = uint8_t(row[i] + prev[i]);
  for (size_t i = bpp; i < count; ++i)
    row[i] = uint8_t(row[i] + Paeth(row[i - bpp], prev[i], prev[i - bpp]));
}

template <size_t B>
void UnsubFixed(uint8_t* row, size_t count) {
  for (size_t i = B; i + B <= count; i += B)
    for (size_t k = 0; k < B; ++k) row[i + k] = uint8_t(row[i + k] + row[i + k - B]);
}

template <size_t B>
void UnaverageFixed(uint8_t* row, const uint8_t* prev, size_t count) {
  for (size_t i = 0; i < B && i < count; ++i) row[i] = uint8_t(row[i] + (prev[i] >> 1));
  for (size_t i = B; i + B <= count; i += B)
    for (size_t k = 0; k < B; ++k)
      row[i + k] = uint8_t(row[i + k] + ((row[i + k - B] + prev[i + k]) >> 1));
}

void UnaverageAny(uint8_t* row, const uint8_t* prev, size_t count, size_t bpp) {
  for (size_t i = 0; i < bpp && i < count; ++i) row[i] = uint8_t(row[i] + (prev[i] >> 1));
  for (size_t i = bpp; i < count; ++i)
    row[i] = uint8_t(row[i] + ((row[i - bpp] + prev[i]) >> 1));
}

}  // namespace

void Unfilter(uint8_t Type, uint8_t* Row, const uint8_t* Prev, size_t Count, size_t Bpp) {
  // Rows are whole pixels except for packed samples below 8 bits, where Bpp is 1;
  // the fixed-width loops rely on that.
  switch (Type) {
    case ftSub:
      switch (Bpp) {
        case 1: UnsubFixed<1>(Row, Count); break;
        case 2: UnsubFixed<2>(Row, Count); break;
        case 3: UnsubFixed<3>(Row, Count); break;
        case 4: UnsubFixed<4>(Row, Count); break;
        case 6: UnsubFixed<6>(Row, Count); break;
        case 8: UnsubFixed<8>(Row, Count); break;
        default:
          for (size_t i = Bpp; i < Count; ++i) Row[i] = uint8_t(Row[i] + Row[i - Bpp]);
      }
      break;
    case ftUp:
      for (size_t i = 0; i < Count; ++i) Row[i] = uint8_t(Row[i] + Prev[i]);
      break;
    case ftAverage:
      switch (Bpp) {
        case 1: UnaverageFixed<1>(Row, Prev, Count); break;
        case 3: UnaverageFixed<3>(Row, Prev, Count); break;
        case 4: UnaverageFixed<4>(Row, Prev, Count); break;
        default: UnaverageAny(Row, Prev, Count, Bpp);
      }
      break;
    case ftPaeth:
      switch (Bpp) {
        case 1: UnpaethFixed<1>(Row, Prev, Count); break;
        case 3: UnpaethFixed<3>(Row, Prev, Count); break;
        case 4: UnpaethFixed<4>(Row, Prev, Count); break;
        default: UnpaethAny(Row, Prev, Count, Bpp);
      }
      break;
    default:
      break;
  }
}

void Filter(uint8_t Type, uint8_t* Out, const uint8_t* Raw, const uint8_t* Prev, size_t Count,
            size_t Bpp) {
  size_t head = Bpp < Count ? Bpp : Count;
  switch (Type) {
    case ftSub:
      for (size_t i = 0; i < head; ++i) Out[i] = Raw[i];
      for (size_t i = Bpp; i < Count; ++i) Out[i] = uint8_t(Raw[i] - Raw[i - Bpp]);
      break;
    case ftUp:
      for (size_t i = 0; i < Count; ++i) Out[i] = uint8_t(Raw[i] - Prev[i]);
      break;
    case ftAverage:
      for (size_t i = 0; i < head; ++i) Out[i] = uint8_t(Raw[i] - (Prev[i] >> 1));
      for (size_t i = Bpp; i < Count; ++i)
        Out[i] = uint8_t(Raw[i] - ((Raw[i - Bpp] + Prev[i]) >> 1));
      break;
    case ftPaeth:
      for (size_t i = 0; i < head; ++i) Out[i] = uint8_t(Raw[i] - Prev[i]);
      for (size_t i = Bpp; i < Count; ++i)
        Out[i] = uint8_t(Raw[i] - Paeth(Raw[i - Bpp], Prev[i], Prev[i - Bpp]));
      break;
    default:
      for (size_t i = 0; i < Count; ++i) Out[i] = Raw[i];
  }
}

}  // namespace png_filter
