// Row filters of the PNG format: undoing them when reading and applying them when
// writing. Bpp is the number of bytes of one complete pixel (at least 1); Prev is the
// previous row of the image or pass, all zero before the first one.
#pragma once

#include <cstddef>
#include <cstdint>

namespace png_filter {

enum : uint8_t { ftNone = 0, ftSub = 1, ftUp = 2, ftAverage = 3, ftPaeth = 4 };

// Undoes filter Type on the Count bytes of Row in place. Unknown types leave the bytes.
void Unfilter(uint8_t Type, uint8_t* Row, const uint8_t* Prev, size_t Count, size_t Bpp);

// Writes the Count bytes of Raw filtered with Type (Sub, Up, Average or Paeth) to Out.
void Filter(uint8_t Type, uint8_t* Out, const uint8_t* Raw, const uint8_t* Prev, size_t Count,
            size_t Bpp);

}  // namespace png_filter
