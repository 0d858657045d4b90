// Helpers of the GIF codec: raising its errors, checking drawing results, row sizes,
// colour-count arithmetic and stream access by bytes and data sub-blocks.
#pragma once

#include <cstdint>

#include "codecs/gif/GifLang.h"
#include "platform/rtl/classes.h"

// Raises GIFException with Message.
[[noreturn]] void RaiseGIFError(const std::string& Message);

// Returns Value when it is set; otherwise raises EOutOfResources.
template <class T>
T CheckGDIResult(T Value) {
  if (!Value) throw EOutOfResources(GraphicsText::OutOfResources);
  return Value;
}

// Bytes of a row of Width pixels padded to a multiple of Alignment bits (a power of
// two); device-independent bitmaps use 32.
constexpr int64_t AlignedRowSize(int64_t Width, int BitsPerPixel, int Alignment) {
  return ((Width * BitsPerPixel + Alignment - 1) & ~int64_t(Alignment - 1)) / 8;
}

// Little-endian 16-bit values, as GIF stores them.
inline uint16_t GetLE16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
inline void PutLE16(uint8_t* p, uint16_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}

// 0 for 0 colours, else the fewest bits (at least 1) that index Count colours.
int ColorCountToBits(int Count);

void WriteStreamByte(TStream* Stream, uint8_t Value);
// The next byte, or -1 at the end of the stream.
int ReadStreamByte(TStream* Stream);
// Reads Size bytes; fewer raise "Premature end of data".
void ReadExact(TStream* Stream, void* Buffer, int64_t Size);
// Writes each string as data sub-blocks of at most 255 bytes, each after its length
// byte (an empty string writes none), and one 0 byte after the last string.
void WriteSubBlockStrings(TStream* Stream, TStrings* Strings);
// Clears Strings and adds the bytes of every data sub-block as one string, up to a
// 0 length byte or the end of the stream.
void ReadSubBlockStrings(TStream* Stream, TStrings* Strings);

// Reads data sub-blocks up to a 0 length byte or the end of the stream, handing
// each to Block(data, size); a block cut short raises "Premature end of data".
template <class F>
void ReadSubBlocks(TStream* Stream, F&& Block) {
  uint8_t data[255];
  for (int size = ReadStreamByte(Stream); size > 0; size = ReadStreamByte(Stream)) {
    ReadExact(Stream, data, size);
    Block(data, size);
  }
}
