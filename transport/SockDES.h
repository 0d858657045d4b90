// One block of the Data Encryption Standard, as NTLM needs it.
#pragma once

#include <cstdint>

// Enciphers (Encrypt true) or deciphers one 8-byte block with the 8-byte key. Bits are
// numbered 1 to 64 from the most significant bit of the first byte; the lowest bit of
// every key byte is the parity position and is not used.
void DesBlock(const uint8_t Input[8], uint8_t Output[8], const uint8_t Key[8], bool Encrypt);

// Reads or writes the bit numbered Bit (1 = top bit of the first byte).
bool DesGetBit(const uint8_t* Data, int Bit);
void DesSetBit(uint8_t* Data, int Bit, bool Value);
