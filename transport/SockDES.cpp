#include "transport/SockDES.h"

#include <cstring>

namespace {

// Permutation tables list, for every output bit, the numbered input bit it takes.
constexpr uint8_t kInitialPerm[64] = {
    58, 50, 42, 34, 26, 18, 10, 2, 60, 52, 44, 36, 28, 20, 12, 4,
    62, 54, 46, 38, 30, 22, 14, 6, 64, 56, 48, 40, 32, 24, 16, 8,
    57, 49, 41, 33, 25, 17, 9,  1, 59, 51, 43, 35, 27, 19, 11, 3,
    61, 53, 45, 37, 29, 21, 13, 5, 63, 55, 47, 39, 31, 23, 15, 7};

constexpr uint8_t kFinalPerm[64] = {
    40, 8, 48, 16, 56, 24, 64, 32, 39, 7, 47, 15, 55, 23, 63, 31,
    38, 6, 46, 14, 54, 22, 62, 30, 37, 5, 45, 13, 53, 21, 61, 29,
    36, 4, 44, 12, 52, 20, 60, 28, 35, 3, 43, 11, 51, 19, 59, 27,
    34, 2, 42, 10, 50, 18, 58, 26, 33, 1, 41, 9,  49, 17, 57, 25};

constexpr uint8_t kExpansion[48] = {
    32, 1,  2,  3,  4,  5,  4,  5,  6,  7,  8,  9,  8,  9,  10, 11,
    12, 13, 12, 13, 14, 15, 16, 17, 16, 17, 18, 19, 20, 21, 20, 21,
    22, 23, 24, 25, 24, 25, 26, 27, 28, 29, 28, 29, 30, 31, 32, 1};

constexpr uint8_t kRoundPerm[32] = {16, 7, 20, 21, 29, 12, 28, 17, 1,  15, 23, 26, 5,  18, 31, 10,
                                    2,  8, 24, 14, 32, 27, 3,  9,  19, 13, 30, 6,  22, 11, 4,  25};

constexpr uint8_t kPermutedChoice1[56] = {
    57, 49, 41, 33, 25, 17, 9,  1,  58, 50, 42, 34, 26, 18, 10, 2,  59, 51, 43, 35,
    27, 19, 11, 3,  60, 52, 44, 36, 63, 55, 47, 39, 31, 23, 15, 7,  62, 54, 46, 38,
    30, 22, 14, 6,  61, 53, 45, 37, 29, 21, 13, 5,  28, 20, 12, 4};

constexpr uint8_t kPermutedChoice2[48] = {
    14, 17, 11, 24, 1,  5,  3,  28, 15, 6,  21, 10, 23, 19, 12, 4,
    26, 8,  16, 7,  27, 20, 13, 2,  41, 52, 31, 37, 47, 55, 30, 40,
    51, 45, 33, 48, 44, 49, 39, 56, 34, 53, 46, 42, 50, 36, 29, 32};

constexpr uint8_t kShifts[16] = {1, 1, 2, 2, 2, 2, 2, 2, 1, 2, 2, 2, 2, 2, 2, 1};

constexpr uint8_t kSBoxes[8][64] = {
    {14, 4,  13, 1, 2,  15, 11, 8,  3,  10, 6,  12, 5,  9,  0, 7,  0, 15, 7,  4,  14, 2,
     13, 1,  10, 6, 12, 11, 9,  5,  3,  8,  4,  1,  14, 8,  13, 6, 2,  11, 15, 12, 9,  7,
     3,  10, 5,  0, 15, 12, 8,  2,  4,  9,  1,  7,  5,  11, 3,  14, 10, 0,  6,  13},
    {15, 1,  8,  14, 6,  11, 3,  4,  9,  7, 2,  13, 12, 0, 5,  10, 3,  13, 4,  7,  15, 2,
     8,  14, 12, 0,  1,  10, 6,  9,  11, 5, 0,  14, 7,  11, 10, 4, 13, 1,  5,  8,  12, 6,
     9,  3,  2,  15, 13, 8,  10, 1,  3,  15, 4,  2,  11, 6,  7,  12, 0,  5,  14, 9},
    {10, 0,  9,  14, 6, 3,  15, 5,  1,  13, 12, 7,  11, 4,  2,  8,  13, 7,  0,  9,  3,  4,
     6,  10, 2,  8,  5, 14, 12, 11, 15, 1,  13, 6,  4,  9,  8,  15, 3,  0,  11, 1,  2,  12,
     5,  10, 14, 7,  1, 10, 13, 0,  6,  9,  8,  7,  4,  15, 14, 3,  11, 5,  2,  12},
    {7,  13, 14, 3, 0,  6,  9,  10, 1,  2, 8,  5,  11, 12, 4,  15, 13, 8,  11, 5,  6,  15,
     0,  3,  4,  7, 2,  12, 1,  10, 14, 9, 10, 6,  9,  0,  12, 11, 7,  13, 15, 1,  3,  14,
     5,  2,  8,  4, 3,  15, 0,  6,  10, 1, 13, 8,  9,  4,  5,  11, 12, 7,  2,  14},
    {2,  12, 4,  1,  7,  10, 11, 6, 8,  5,  3,  15, 13, 0, 14, 9,  14, 11, 2,  12, 4,  7,
     13, 1,  5,  0,  15, 10, 3,  9, 8,  6,  4,  2,  1,  11, 10, 13, 7,  8,  15, 9,  12, 5,
     6,  3,  0,  14, 11, 8,  12, 7, 1,  14, 2,  13, 6,  15, 0,  9,  10, 4,  5,  3},
    {12, 1,  10, 15, 9,  2,  6,  8,  0,  13, 3,  4,  14, 7,  5,  11, 10, 15, 4,  2,  7, 12,
     9,  5,  6,  1,  13, 14, 0,  11, 3,  8,  9,  14, 15, 5,  2,  8,  12, 3,  7,  0,  4, 10,
     1,  13, 11, 6,  4,  3,  2,  12, 9,  5,  15, 10, 11, 14, 1,  7,  6,  0,  8,  13},
    {4,  11, 2,  14, 15, 0, 8,  13, 3,  12, 9,  7,  5,  10, 6,  1,  13, 0,  11, 7, 4,  9,
     1,  10, 14, 3,  5,  12, 2,  15, 8,  6,  1,  4,  11, 13, 12, 3,  7,  14, 10, 15, 6, 8,
     0,  5,  9,  2,  6,  11, 13, 8,  1,  4, 10, 7,  9,  5,  0,  15, 14, 2,  3,  12},
    {13, 2,  8,  4,  6,  15, 11, 1,  10, 9,  3,  14, 5,  0,  12, 7,  1,  15, 13, 8,  10, 3,
     7,  4,  12, 5,  6,  11, 0,  14, 9,  2,  7,  11, 4,  1,  9,  12, 14, 2,  0,  6,  10, 13,
     15, 3,  5,  8,  2,  1,  14, 7,  4,  10, 8,  13, 15, 12, 9,  0,  3,  5,  6,  11}};

// Out bit i (1-based) = In bit Table[i-1].
void Permute(const uint8_t* In, uint8_t* Out, const uint8_t* Table, int Count) {
  std::memset(Out, 0, size_t((Count + 7) / 8));
  for (int i = 0; i < Count; ++i) DesSetBit(Out, i + 1, DesGetBit(In, Table[i]));
}

// Rotates the 28-bit half starting at bit First of a 56-bit key left by Count.
void RotateHalf(uint8_t* Key56, int First, int Count) {
  bool half[28];
  for (int i = 0; i < 28; ++i) half[i] = DesGetBit(Key56, First + i);
  for (int i = 0; i < 28; ++i) DesSetBit(Key56, First + i, half[(i + Count) % 28]);
}

// The round function f(R, K): expansion, key mixing, S-boxes, permutation.
void RoundFunction(const uint8_t Right[4], const uint8_t SubKey[6], uint8_t Result[4]) {
  uint8_t expanded[6];
  Permute(Right, expanded, kExpansion, 48);
  for (int i = 0; i < 6; ++i) expanded[i] ^= SubKey[i];
  uint8_t sboxed[4] = {};
  for (int box = 0; box < 8; ++box) {
    int six = 0;
    for (int b = 0; b < 6; ++b) six = (six << 1) | (DesGetBit(expanded, box * 6 + b + 1) ? 1 : 0);
    const int row = ((six & 0x20) >> 4) | (six & 1);
    const int col = (six >> 1) & 0x0F;
    const int value = kSBoxes[box][row * 16 + col];
    for (int b = 0; b < 4; ++b) DesSetBit(sboxed, box * 4 + b + 1, (value >> (3 - b)) & 1);
  }
  Permute(sboxed, Result, kRoundPerm, 32);
}

}  // namespace

bool DesGetBit(const uint8_t* Data, int Bit) {
  return (Data[(Bit - 1) / 8] >> (7 - (Bit - 1) % 8)) & 1;
}

void DesSetBit(uint8_t* Data, int Bit, bool Value) {
  const uint8_t mask = uint8_t(0x80 >> ((Bit - 1) % 8));
  if (Value)
    Data[(Bit - 1) / 8] |= mask;
  else
    Data[(Bit - 1) / 8] &= uint8_t(~mask);
}

void DesBlock(const uint8_t Input[8], uint8_t Output[8], const uint8_t Key[8], bool Encrypt) {
  // Key schedule: 16 sub-keys of 48 bits.
  uint8_t subKeys[16][6];
  uint8_t key56[7];
  Permute(Key, key56, kPermutedChoice1, 56);
  for (int round = 0; round < 16; ++round) {
    RotateHalf(key56, 1, kShifts[round]);
    RotateHalf(key56, 29, kShifts[round]);
    Permute(key56, subKeys[round], kPermutedChoice2, 48);
  }

  uint8_t block[8];
  Permute(Input, block, kInitialPerm, 64);
  uint8_t left[4], right[4];
  std::memcpy(left, block, 4);
  std::memcpy(right, block + 4, 4);
  for (int round = 0; round < 16; ++round) {
    uint8_t f[4];
    RoundFunction(right, subKeys[Encrypt ? round : 15 - round], f);
    for (int i = 0; i < 4; ++i) {
      const uint8_t newRight = uint8_t(left[i] ^ f[i]);
      left[i] = right[i];
      right[i] = newRight;
    }
  }
  // The halves are swapped before the final permutation.
  std::memcpy(block, right, 4);
  std::memcpy(block + 4, left, 4);
  Permute(block, Output, kFinalPerm, 64);
}
