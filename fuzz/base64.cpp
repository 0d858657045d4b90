// Base64 decoding of arbitrary text: stays inside its input, and what it decodes
// encodes back to the same alphabet text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "transport/MimeUtil.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::string decoded = Base64Decode(text);
  if (decoded.size() > size) abort();
  if (Base64Decode(Base64Encode(decoded)) != decoded) abort();
  if (Base64Decode(Base64Encode(text)) != text) abort();
  return 0;
}
