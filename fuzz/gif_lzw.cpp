// Decoding arbitrary bytes as GIF image data: every failure is a GIFException, no
// more pixels come out than the frame holds or the data can code, and what decodes
// encodes and decodes again to the same pixels.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "codecs/gif/GifLZW.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  // The frame: up to 256 x 256, interlaced or not, from the first three bytes.
  const int width = 1 + data[0], height = 1 + data[1];
  const bool interlaced = data[2] & 1;
  TMemoryStream input;
  input.Write(data + 3, int64_t(size - 3));
  input.SetPosition(0);
  const size_t count = size_t(width) * size_t(height);
  std::vector<uint8_t> pixels(count, 0);
  const TGIFWarning ignore = TGIFWarning::FromFunction([](TObject*, TGIFSeverity, const std::string&) {});
  int64_t decoded;
  try {
    TGIFImageDataDecoder decoder(ignore, nullptr);
    if (!decoder.Read(&input)) return 0;
    decoded = decoder.Decode(pixels.data(), width, height, interlaced, -1);
    if (decoded > decoder.MaxPixels()) abort();
  } catch (const GIFException&) {
    return 0;
  }
  if (decoded < 0 || uint64_t(decoded) > count) abort();

  TMemoryStream encoded;
  TLZWEncoder encoder;
  encoder.Encode(&encoded, 8, 256, pixels.data(), interlaced, height, width);
  encoded.SetPosition(0);
  std::vector<uint8_t> again(count, 0);
  TGIFImageDataDecoder decoder(ignore, nullptr);
  if (!decoder.Read(&encoded) || decoder.Decode(again.data(), width, height, interlaced, -1) != int64_t(count)) abort();
  if (again != pixels) abort();
  return 0;
}
