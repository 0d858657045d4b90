// Parsing of NTLM challenge messages from untrusted servers and proxies. The input is
// taken both as the raw message (encoded first) and as the header text itself.
#include <cstddef>
#include <cstdint>
#include <string>

#include "transport/MimeUtil.h"
#include "transport/SockNtlmMsgs.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string raw(reinterpret_cast<const char*>(data), size);
  const TNTLM_Msg2_Info info = ParseNtlmChallenge(Base64Encode(raw));
  if (info.Valid) BuildNtlmAuthenticate("", "HOST", "user", info.Challenge, "secret");
  ParseNtlmChallenge(raw);
  return 0;
}
