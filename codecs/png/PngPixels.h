// Conversions between rows of PNG samples and rows of bitmap pixels: 1, 4 or 8-bit
// indexes, or 24-bit blue, green, red, with the alpha channel in a separate plane.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace png_pixels {

using Table = std::array<uint8_t, 256>;

// Bytes of a row of Pixels samples of this colour type and bit depth (0 for a pair
// that is not a PNG format).
int64_t RowBytes(int ColorType, int BitDepth, uint64_t Pixels);

// PNG samples to bitmap pixels. Alpha receives the alpha samples of colour types 4
// and 6 and is not used otherwise.
struct Decoder {
  void (*Run)(const uint8_t* Samples, uint8_t* Pixels, uint8_t* Alpha, size_t Count,
              const uint8_t* Gamma);
  const uint8_t* Gamma;
  void Convert(const uint8_t* Samples, uint8_t* Pixels, uint8_t* Alpha, size_t Count) const {
    Run(Samples, Pixels, Alpha, Count, Gamma);
  }
};
// The decoder for a colour type and the bit depth of the file; Gamma must outlive it.
Decoder DecoderFor(int ColorType, int BitDepth, const Table& Gamma);

// Bitmap pixels to PNG samples.
struct Encoder {
  void (*Run)(const uint8_t* Pixels, const uint8_t* Alpha, uint8_t* Samples, size_t Count,
              const uint8_t* Inverse);
  const uint8_t* Inverse;
  void Convert(const uint8_t* Pixels, const uint8_t* Alpha, uint8_t* Samples, size_t Count) const {
    Run(Pixels, Alpha, Samples, Count, Inverse);
  }
};
// The encoder for a colour type and the bit depth written (never 2: such images are
// written with 4 bits).
Encoder EncoderFor(int ColorType, int BitDepth, const Table& Inverse);

// Spreads Count contiguous pixels of Bits bits over the columns Start, Start + Step, ...
// of Row, and the reverse.
void Scatter(const uint8_t* Packed, uint8_t* Row, int Bits, uint32_t Count, uint32_t Start,
             uint32_t Step);
void Gather(const uint8_t* Row, uint8_t* Packed, int Bits, uint32_t Count, uint32_t Start,
            uint32_t Step);

}  // namespace png_pixels
