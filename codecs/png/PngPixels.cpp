#include "codecs/png/PngPixels.h"

#include <cstring>

namespace png_pixels {

namespace {

int Channels(int ColorType) {
  switch (ColorType) {
    case 0:
    case 3: return 1;
    case 2: return 3;
    case 4: return 2;
    case 6: return 4;
    default: return 0;
  }
}

bool IsIdentity(const Table& t) {
  for (int i = 0; i < 256; ++i)
    if (t[i] != i) return false;
  return true;
}

// --- decoding -------------------------------------------------------------------

void CopyBits1(const uint8_t* s, uint8_t* d, uint8_t*, size_t n, const uint8_t*) {
  std::memcpy(d, s, (n + 7) / 8);
}
void CopyBits4(const uint8_t* s, uint8_t* d, uint8_t*, size_t n, const uint8_t*) {
  std::memcpy(d, s, (n + 1) / 2);
}
void CopyBits8(const uint8_t* s, uint8_t* d, uint8_t*, size_t n, const uint8_t*) {
  std::memcpy(d, s, n);
}

// Four 2-bit samples to two bytes of 4-bit pixels. Grey levels are widened by bit
// replication (3 -> 15), palette indexes kept as they are.
template <bool Grey>
struct Widen2 {
  uint16_t pairs[256];
  constexpr Widen2() : pairs{} {
    for (int b = 0; b < 256; ++b) {
      int s[4] = {(b >> 6) & 3, (b >> 4) & 3, (b >> 2) & 3, b & 3};
      for (int& v : s) v = Grey ? v * 5 : v;
      pairs[b] = uint16_t((s[0] << 4 | s[1]) | (s[2] << 4 | s[3]) << 8);
    }
  }
};
template <bool Grey>
void Widen2Bits(const uint8_t* s, uint8_t* d, uint8_t*, size_t n, const uint8_t*) {
  static constexpr Widen2<Grey> table;
  size_t bytes = (n + 3) / 4;
  for (size_t i = 0; i < bytes; ++i) std::memcpy(d + 2 * i, &table.pairs[s[i]], 2);
}

void Grey16(const uint8_t* s, uint8_t* d, uint8_t*, size_t n, const uint8_t*) {
  for (size_t i = 0; i < n; ++i) d[i] = s[2 * i];
}

// Identity gamma skips the table lookups.
template <bool Gamma>
void Rgb8(const uint8_t* s, uint8_t* d, uint8_t*, size_t n, const uint8_t* gamma) {
  for (size_t i = 0; i < n; ++i, s += 3, d += 3) {
    uint8_t r = s[0], g = s[1], b = s[2];
    if constexpr (Gamma) r = gamma[r], g = gamma[g], b = gamma[b];
    d[0] = b;
    d[1] = g;
    d[2] = r;
  }
}
void Rgb16(const uint8_t* s, uint8_t* d, uint8_t*, size_t n, const uint8_t* gamma) {
  for (size_t i = 0; i < n; ++i, s += 6, d += 3) {
    d[0] = gamma[s[4]];
    d[1] = gamma[s[2]];
    d[2] = gamma[s[0]];
  }
}

template <size_t Step>
void GreyAlpha(const uint8_t* s, uint8_t* d, uint8_t* a, size_t n, const uint8_t*) {
  for (size_t i = 0; i < n; ++i, s += 2 * Step) {
    d[i] = s[0];
    a[i] = s[Step];
  }
}

template <bool Gamma>
void Rgba8(const uint8_t* s, uint8_t* d, uint8_t* a, size_t n, const uint8_t* gamma) {
  for (size_t i = 0; i < n; ++i, s += 4, d += 3) {
    uint8_t r = s[0], g = s[1], b = s[2];
    if constexpr (Gamma) r = gamma[r], g = gamma[g], b = gamma[b];
    d[0] = b;
    d[1] = g;
    d[2] = r;
    a[i] = s[3];
  }
}
void Rgba16(const uint8_t* s, uint8_t* d, uint8_t* a, size_t n, const uint8_t* gamma) {
  for (size_t i = 0; i < n; ++i, s += 8, d += 3) {
    d[0] = gamma[s[4]];
    d[1] = gamma[s[2]];
    d[2] = gamma[s[0]];
    a[i] = s[6];
  }
}

void Nothing(const uint8_t*, uint8_t*, uint8_t*, size_t, const uint8_t*) {}

// --- encoding (16-bit samples are written as the value and a zero low byte) -------

void PutBits1(const uint8_t* p, const uint8_t*, uint8_t* s, size_t n, const uint8_t*) {
  std::memcpy(s, p, (n + 7) / 8);
}
void PutBits4(const uint8_t* p, const uint8_t*, uint8_t* s, size_t n, const uint8_t*) {
  std::memcpy(s, p, (n + 1) / 2);
}
void PutBits8(const uint8_t* p, const uint8_t*, uint8_t* s, size_t n, const uint8_t*) {
  std::memcpy(s, p, n);
}
void PutGrey16(const uint8_t* p, const uint8_t*, uint8_t* s, size_t n, const uint8_t*) {
  for (size_t i = 0; i < n; ++i) {
    s[2 * i] = p[i];
    s[2 * i + 1] = 0;
  }
}
void PutRgb8(const uint8_t* p, const uint8_t*, uint8_t* s, size_t n, const uint8_t* inv) {
  for (size_t i = 0; i < n; ++i, p += 3, s += 3) {
    uint8_t b = inv[p[0]], g = inv[p[1]], r = inv[p[2]];
    s[0] = r;
    s[1] = g;
    s[2] = b;
  }
}
void PutRgb16(const uint8_t* p, const uint8_t*, uint8_t* s, size_t n, const uint8_t* inv) {
  for (size_t i = 0; i < n; ++i, p += 3, s += 6) {
    s[0] = inv[p[2]];
    s[1] = 0;
    s[2] = inv[p[1]];
    s[3] = 0;
    s[4] = inv[p[0]];
    s[5] = 0;
  }
}
void PutGreyAlpha8(const uint8_t* p, const uint8_t* a, uint8_t* s, size_t n, const uint8_t*) {
  for (size_t i = 0; i < n; ++i) {
    s[2 * i] = p[i];
    s[2 * i + 1] = a[i];
  }
}
void PutGreyAlpha16(const uint8_t* p, const uint8_t* a, uint8_t* s, size_t n, const uint8_t*) {
  for (size_t i = 0; i < n; ++i, s += 4) {
    s[0] = p[i];
    s[1] = 0;
    s[2] = a[i];
    s[3] = 0;
  }
}
void PutRgba8(const uint8_t* p, const uint8_t* a, uint8_t* s, size_t n, const uint8_t* inv) {
  for (size_t i = 0; i < n; ++i, p += 3, s += 4) {
    uint8_t b = inv[p[0]], g = inv[p[1]], r = inv[p[2]];
    s[0] = r;
    s[1] = g;
    s[2] = b;
    s[3] = a[i];
  }
}
void PutRgba16(const uint8_t* p, const uint8_t* a, uint8_t* s, size_t n, const uint8_t* inv) {
  for (size_t i = 0; i < n; ++i, p += 3, s += 8) {
    s[0] = inv[p[2]];
    s[1] = 0;
    s[2] = inv[p[1]];
    s[3] = 0;
    s[4] = inv[p[0]];
    s[5] = 0;
    s[6] = a[i];
    s[7] = 0;
  }
}
void PutNothing(const uint8_t*, const uint8_t*, uint8_t*, size_t, const uint8_t*) {}

}  // namespace

int64_t RowBytes(int ColorType, int BitDepth, uint64_t Pixels) {
  return static_cast<int64_t>((Pixels * Channels(ColorType) * BitDepth + 7) / 8);
}

Decoder DecoderFor(int ColorType, int BitDepth, const Table& Gamma) {
  const bool plain = IsIdentity(Gamma);
  const uint8_t* g = Gamma.data();
  switch (ColorType * 100 + BitDepth) {
    case 1: case 301: return {CopyBits1, g};
    case 4: case 304: return {CopyBits4, g};
    case 8: case 308: return {CopyBits8, g};
    case 2: return {Widen2Bits<true>, g};
    case 302: return {Widen2Bits<false>, g};
    case 16: return {Grey16, g};
    case 208: return {plain ? Rgb8<false> : Rgb8<true>, g};
    case 216: return {Rgb16, g};
    case 408: return {GreyAlpha<1>, g};
    case 416: return {GreyAlpha<2>, g};
    case 608: return {plain ? Rgba8<false> : Rgba8<true>, g};
    case 616: return {Rgba16, g};
    default: return {Nothing, g};
  }
}

Encoder EncoderFor(int ColorType, int BitDepth, const Table& Inverse) {
  const uint8_t* inv = Inverse.data();
  switch (ColorType * 100 + BitDepth) {
    case 1: case 301: return {PutBits1, inv};
    case 4: case 304: return {PutBits4, inv};
    case 8: case 308: return {PutBits8, inv};
    case 16: return {PutGrey16, inv};
    case 208: return {PutRgb8, inv};
    case 216: return {PutRgb16, inv};
    case 408: return {PutGreyAlpha8, inv};
    case 416: return {PutGreyAlpha16, inv};
    case 608: return {PutRgba8, inv};
    case 616: return {PutRgba16, inv};
    default: return {PutNothing, inv};
  }
}

void Scatter(const uint8_t* Packed, uint8_t* Row, int Bits, uint32_t Count, uint32_t Start,
             uint32_t Step) {
  switch (Bits) {
    case 24:
      for (uint32_t k = 0; k < Count; ++k) std::memcpy(Row + 3 * size_t(Start + k * Step), Packed + 3 * k, 3);
      break;
    case 8:
      for (uint32_t k = 0; k < Count; ++k) Row[Start + k * Step] = Packed[k];
      break;
    case 4:
      for (uint32_t k = 0; k < Count; ++k) {
        uint32_t x = Start + k * Step;
        uint8_t v = (Packed[k / 2] >> (k & 1 ? 0 : 4)) & 0x0F;
        int shift = x & 1 ? 0 : 4;
        Row[x / 2] = uint8_t((Row[x / 2] & ~(0x0F << shift)) | v << shift);
      }
      break;
    case 1:
      for (uint32_t k = 0; k < Count; ++k) {
        uint32_t x = Start + k * Step;
        uint8_t v = (Packed[k / 8] >> (7 - (k & 7))) & 1;
        int shift = 7 - int(x & 7);
        Row[x / 8] = uint8_t((Row[x / 8] & ~(1 << shift)) | v << shift);
      }
      break;
    default:
      break;
  }
}

void Gather(const uint8_t* Row, uint8_t* Packed, int Bits, uint32_t Count, uint32_t Start,
            uint32_t Step) {
  switch (Bits) {
    case 24:
      for (uint32_t k = 0; k < Count; ++k) std::memcpy(Packed + 3 * k, Row + 3 * size_t(Start + k * Step), 3);
      break;
    case 8:
      for (uint32_t k = 0; k < Count; ++k) Packed[k] = Row[Start + k * Step];
      break;
    case 4:
      std::memset(Packed, 0, (Count + 1) / 2);
      for (uint32_t k = 0; k < Count; ++k) {
        uint32_t x = Start + k * Step;
        uint8_t v = (Row[x / 2] >> (x & 1 ? 0 : 4)) & 0x0F;
        Packed[k / 2] |= uint8_t(v << (k & 1 ? 0 : 4));
      }
      break;
    case 1:
      std::memset(Packed, 0, (Count + 7) / 8);
      for (uint32_t k = 0; k < Count; ++k) {
        uint32_t x = Start + k * Step;
        uint8_t v = (Row[x / 8] >> (7 - (x & 7))) & 1;
        Packed[k / 8] |= uint8_t(v << (7 - (k & 7)));
      }
      break;
    default:
      break;
  }
}

}  // namespace png_pixels
