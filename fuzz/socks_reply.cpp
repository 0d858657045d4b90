// SOCKS server replies, as the client reads them piece by piece: the parsers stay inside
// the bytes they are given, and a reply judged complete on a prefix is judged the same
// once more bytes have arrived (except the authentication answer, where surplus bytes
// are themselves an error).
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "transport/WSocket.h"

namespace {
using Parser = TSocksReply (*)(const uint8_t*, size_t);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  static const Parser parsers[] = {ParseSocks4Reply, ParseSocks5Reply, ParseSocks5MethodReply, ParseSocks5AuthReply};
  const Parser parse = parsers[data[0] % 4];
  const uint8_t* reply = data + 1;
  const size_t count = size - 1;
  const TSocksReply whole = parse(reply, count);
  if (whole.Status == TSocksReply::srGranted && (whole.Length > count || whole.BoundAddr.size() > 255)) abort();
  if (parse == ParseSocks5AuthReply) return 0;
  for (size_t n = 0; n <= count; ++n) {
    const TSocksReply part = parse(reply, n);
    if (part.Status == TSocksReply::srIncomplete) continue;
    if (part.Status != whole.Status || part.Error != whole.Error || part.Length != whole.Length) abort();
    break;
  }
  return 0;
}
