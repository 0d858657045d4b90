// Replies of an HTTP server, fed to the client's reply parser in pieces of the sizes the
// first byte chooses, with or without a bound on the body: the parser stays in bounds,
// counts exactly the body bytes it stores, never stores more than the bound (a reply
// outside 2xx: more than the bound of such bodies), never ends a document it did not
// begin, and never reports a document complete with fewer bytes than announced, but for
// such a reply cut at its bound.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "platform/net/bodylimit.h"
#include "platform/win/messages.h"
#include "transport/HttpProt.h"

namespace {

class TFuzzHttpCli : public THttpCli {
 public:
  TFuzzHttpCli() : THttpCli(nullptr) {}
  using THttpCli::FeedReply;
  using THttpCli::PrepareForReply;
  void Close() { SocketSessionClosed(nullptr, 0); }
};

void Drain() {
  MSG msg;
  while (PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessage(&msg);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const size_t piece = 1 + data[0] % 64;
  const char* reply = reinterpret_cast<const char*>(data + 1);
  size_t left = size - 1;
  TMemoryStream body;
  int begun = 0, ended = 0;
  {
    TFuzzHttpCli http;
    http.RcvdStream = &body;
    http.FollowRelocation = false;
    http.MaxBodySize = data[0] & 0x80 ? int64_t(data[0] & 0x7F) * 37 : -1;
    http.OnDocBegin = TNotifyEvent::FromFunction([&begun](TObject*) { ++begun; });
    http.OnDocEnd = TNotifyEvent::FromFunction([&](TObject*) {
      if (++ended > begun) abort();
    });
    http.PrepareForReply(httpGET);
    while (left > 0) {
      const size_t n = left < piece ? left : piece;
      http.FeedReply(reply, n);
      reply += n;
      left -= n;
    }
    if (http.State() != httpReady) http.Close();
    Drain();
    if (http.RcvdCount() != body.Size()) abort();
    const bool sideBody = http.StatusCode() >= 300;  // relocations are not followed here
    if (http.MaxBodySize >= 0 && !sideBody && http.RcvdCount() > http.MaxBodySize) abort();
    if (sideBody && http.RcvdCount() > vxnet::kSideBodyLimit) abort();
    // A length is kept only for bodies that it frames.
    const int64_t framed = sideBody ? std::min(http.ContentLength(), vxnet::kSideBodyLimit) : http.ContentLength();
    if (ended && http.RequestDoneError() == 0 && http.ContentLength() >= 0 && http.RcvdCount() != framed) abort();
  }
  Drain();
  return 0;
}
