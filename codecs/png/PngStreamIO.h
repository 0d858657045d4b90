// Stream access shared by the chunk readers and writers.
#pragma once

#include <cstddef>
#include <cstdint>

#include "codecs/png/PngImage.h"

namespace png_io {

// Reads up to Count bytes, fewer only at the end of the stream.
size_t ReadSome(TStream& Stream, void* Buffer, size_t Count);
// Reads exactly Count bytes; the end of the stream raises EPngUnexpectedEnd.
void ReadExact(TStream& Stream, void* Buffer, size_t Count);
uint32_t ReadBigEndian32(TStream& Stream);
// Refuses a chunk length from the file that exceeds the format's limit
// (EPngInvalidCRC) or what the stream still holds (EPngUnexpectedEnd).
void CheckChunkLength(TStream& Stream, uint32_t Length);
// Bytes left after the current position, or -1 when the stream cannot tell.
int64_t Remaining(TStream& Stream);
void Skip(TStream& Stream, int64_t Count);
void Write(TStream& Stream, const void* Buffer, size_t Count);
void WriteBigEndian32(TStream& Stream, uint32_t Value);

inline uint32_t GetBigEndian32(const uint8_t* p) {
  return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}
inline void PutBigEndian32(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v >> 24);
  p[1] = uint8_t(v >> 16);
  p[2] = uint8_t(v >> 8);
  p[3] = uint8_t(v);
}
// The CRC of a chunk with this name and data.
uint32_t ChunkCrc(const char Name[4], const uint8_t* Data, size_t Size);
// Writes one chunk: length, name, data, CRC.
void WriteChunk(TStream& Stream, const char Name[4], const uint8_t* Data, size_t Size);

}  // namespace png_io
