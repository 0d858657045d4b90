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

// True colour samples (the high bytes when Wide) to blue, green, red through the
// gamma table (skipped for an identity table), alpha to the alpha plane.
template <bool Wide, bool Alpha, bool Gamma>
void TrueColour(const uint8_t* s, uint8_t* d, uint8_t* a, size_t n, const uint8_t* gamma) {
  constexpr size_t w = Wide ? 2 : 1, step = (Alpha ? 4 : 3) * w;
  for (size_t i = 0; i < n; ++i, s += step, d += 3) {
    uint8_t r = s[0], g = s[w], b = s[2 * w];
    if constexpr (Gamma) r = gamma[r], g = gamma[g], b = gamma[b];
    d[0] = b;
    d[1] = g;
    d[2] = r;
    if constexpr (Alpha) a[i] = s[3 * w];
  }
}

template <size_t Step>
void GreyAlpha(const uint8_t* s, uint8_t* d, uint8_t* a, size_t n, const uint8_t*) {
  for (size_t i = 0; i < n; ++i, s += 2 * Step) {
    d[i] = s[0];
    a[i] = s[Step];
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
// Grey pixels, with their alpha sample when Alpha is set.
template <bool Wide, bool Alpha>
void PutGrey(const uint8_t* p, const uint8_t* a, uint8_t* s, size_t n, const uint8_t*) {
  for (size_t i = 0; i < n; ++i) {
    *s++ = p[i];
    if constexpr (Wide) *s++ = 0;
    if constexpr (Alpha) {
      *s++ = a[i];
      if constexpr (Wide) *s++ = 0;
    }
  }
}
// True colour pixels (blue, green, red) as red, green and blue samples through the
// inverse gamma table, with the alpha sample when Alpha is set.
template <bool Wide, bool Alpha>
void PutTrueColour(const uint8_t* p, const uint8_t* a, uint8_t* s, size_t n, const uint8_t* inv) {
  constexpr size_t channels = Alpha ? 4 : 3;
  for (size_t i = 0; i < n; ++i, p += 3) {
    const uint8_t v[4] = {inv[p[2]], inv[p[1]], inv[p[0]], Alpha ? a[i] : uint8_t(0)};
    for (size_t c = 0; c < channels; ++c) {
      *s++ = v[c];
      if constexpr (Wide) *s++ = 0;
    }
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
    case 208: return {plain ? TrueColour<false, false, false> : TrueColour<false, false, true>, g};
    case 216: return {plain ? TrueColour<true, false, false> : TrueColour<true, false, true>, g};
    case 408: return {GreyAlpha<1>, g};
    case 416: return {GreyAlpha<2>, g};
    case 608: return {plain ? TrueColour<false, true, false> : TrueColour<false, true, true>, g};
    case 616: return {plain ? TrueColour<true, true, false> : TrueColour<true, true, true>, g};
    default: return {Nothing, g};
  }
}

Encoder EncoderFor(int ColorType, int BitDepth, const Table& Inverse) {
  const uint8_t* inv = Inverse.data();
  switch (ColorType * 100 + BitDepth) {
    case 1: case 301: return {PutBits1, inv};
    case 4: case 304: return {PutBits4, inv};
    case 8: case 308: return {PutBits8, inv};
    case 16: return {PutGrey<true, false>, inv};
    case 208: return {PutTrueColour<false, false>, inv};
    case 216: return {PutTrueColour<true, false>, inv};
    case 408: return {PutGrey<false, true>, inv};
    case 416: return {PutGrey<true, true>, inv};
    case 608: return {PutTrueColour<false, true>, inv};
    case 616: return {PutTrueColour<true, true>, inv};
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
