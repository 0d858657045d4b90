// MD4 message digests (RFC 1320), as NTLM's NT hash needs them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/rtl/exceptions.h"

VX_EXCEPTION(MD4Exception, Exception)

struct TMD4Context {
  uint32_t CountHigh = 0;  // bit count, high and low halves
  uint32_t CountLow = 0;
  uint8_t Block[64] = {};
  uint32_t BlockFill = 0;
  uint32_t State[4] = {};
  bool Initialized = false;
};

void MD4Init(TMD4Context& Context);
// Both raise MD4Exception "MD4 not initialized" on a context that MD4Init did not
// prepare; MD4Final clears the context, so it must be initialised again after it.
void MD4Update(TMD4Context& Context, const void* Data, size_t Length);
void MD4Final(TMD4Context& Context, uint8_t Digest[16]);
// The 16-byte digest of Text, as a byte string.
std::string MD4String(std::string_view Text);
