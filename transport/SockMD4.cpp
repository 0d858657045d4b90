#include "transport/SockMD4.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr uint32_t Rotl(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }
constexpr uint32_t F(uint32_t x, uint32_t y, uint32_t z) { return (x & y) | (~x & z); }
constexpr uint32_t G(uint32_t x, uint32_t y, uint32_t z) { return (x & y) | (x & z) | (y & z); }
constexpr uint32_t H(uint32_t x, uint32_t y, uint32_t z) { return x ^ y ^ z; }

void Transform(uint32_t State[4], const uint8_t Block[64]) {
  uint32_t x[16];
  for (int i = 0; i < 16; ++i)
    x[i] = uint32_t(Block[i * 4]) | uint32_t(Block[i * 4 + 1]) << 8 | uint32_t(Block[i * 4 + 2]) << 16 |
           uint32_t(Block[i * 4 + 3]) << 24;
  uint32_t a = State[0], b = State[1], c = State[2], d = State[3];

  static constexpr int kRound1Shift[4] = {3, 7, 11, 19};
  for (int i = 0; i < 16; ++i) {
    const uint32_t t = Rotl(a + F(b, c, d) + x[i], kRound1Shift[i % 4]);
    a = d, d = c, c = b, b = t;
  }
  static constexpr int kRound2Order[16] = {0, 4, 8, 12, 1, 5, 9, 13, 2, 6, 10, 14, 3, 7, 11, 15};
  static constexpr int kRound2Shift[4] = {3, 5, 9, 13};
  for (int i = 0; i < 16; ++i) {
    const uint32_t t = Rotl(a + G(b, c, d) + x[kRound2Order[i]] + 0x5A827999u, kRound2Shift[i % 4]);
    a = d, d = c, c = b, b = t;
  }
  static constexpr int kRound3Order[16] = {0, 8, 4, 12, 2, 10, 6, 14, 1, 9, 5, 13, 3, 11, 7, 15};
  static constexpr int kRound3Shift[4] = {3, 9, 11, 15};
  for (int i = 0; i < 16; ++i) {
    const uint32_t t = Rotl(a + H(b, c, d) + x[kRound3Order[i]] + 0x6ED9EBA1u, kRound3Shift[i % 4]);
    a = d, d = c, c = b, b = t;
  }
  State[0] += a;
  State[1] += b;
  State[2] += c;
  State[3] += d;
}

void RequireInitialized(const TMD4Context& Context) {
  if (!Context.Initialized) throw MD4Exception("MD4 not initialized");
}

}  // namespace

void MD4Init(TMD4Context& Context) {
  Context = TMD4Context{};
  Context.State[0] = 0x67452301u;
  Context.State[1] = 0xEFCDAB89u;
  Context.State[2] = 0x98BADCFEu;
  Context.State[3] = 0x10325476u;
  Context.Initialized = true;
}

void MD4Update(TMD4Context& Context, const void* Data, size_t Length) {
  RequireInitialized(Context);
  const uint64_t bits = (uint64_t(Context.CountHigh) << 32 | Context.CountLow) + uint64_t(Length) * 8;
  Context.CountHigh = uint32_t(bits >> 32);
  Context.CountLow = uint32_t(bits);
  auto p = static_cast<const uint8_t*>(Data);
  while (Length > 0) {
    const size_t take = std::min<size_t>(Length, 64 - Context.BlockFill);
    std::memcpy(Context.Block + Context.BlockFill, p, take);
    Context.BlockFill += uint32_t(take);
    p += take;
    Length -= take;
    if (Context.BlockFill == 64) {
      Transform(Context.State, Context.Block);
      Context.BlockFill = 0;
    }
  }
}

void MD4Final(TMD4Context& Context, uint8_t Digest[16]) {
  RequireInitialized(Context);
  uint8_t count[8];
  for (int i = 0; i < 4; ++i) {
    count[i] = uint8_t(Context.CountLow >> (8 * i));
    count[i + 4] = uint8_t(Context.CountHigh >> (8 * i));
  }
  static const uint8_t kPadding[64] = {0x80};
  const uint32_t fill = Context.BlockFill;
  MD4Update(Context, kPadding, fill < 56 ? 56 - fill : 120 - fill);
  MD4Update(Context, count, 8);
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) Digest[i * 4 + j] = uint8_t(Context.State[i] >> (8 * j));
  Context = TMD4Context{};
}

std::string MD4String(std::string_view Text) {
  TMD4Context context;
  MD4Init(context);
  MD4Update(context, Text.data(), Text.size());
  uint8_t digest[16];
  MD4Final(context, digest);
  return std::string(reinterpret_cast<const char*>(digest), 16);
}
