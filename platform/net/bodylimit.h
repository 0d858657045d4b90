// The bound that an HTTP client may put on the body of a reply: the size that its
// caller expects. A reply that announces more is refused before its body is read; a
// body that runs past the bound (one without a length, or a chunked one) is cut there.
// Every client says so in the same words.
//
// The body of a reply that is not what was asked for (a relocation's, an error page's,
// a 401 or 407 challenge's: any reply outside 2xx) has a bound of its own, the same for
// every client: once kSideBodyLimit bytes of it came, the client stops reading, keeps
// what came, ends the reply there as if its body had ended and gives up the connection.
// The bound counts the body's bytes as they come over the connection, less the framing
// of a chunked body, before any content coding is undone: few bytes may decode to many,
// many to none. A client that sees such a body only decoded reads none of it.
#pragma once

#include <cstdint>
#include <string>

namespace vxnet {

constexpr int64_t kSideBodyLimit = 64 * 1024;

// Said where a side body is cut, with the reply's status.
inline std::string SideBodyCutText(int Status) {
  return "The body of the " + std::to_string(Status) + " reply is cut at " + std::to_string(kSideBodyLimit) +
         " bytes";
}

class TBodyLimit {
 public:
  // A negative limit is none.
  explicit TBodyLimit(int64_t Limit = -1) : limit_(Limit) {}

  bool Bounded() const { return limit_ >= 0; }
  // True when a reply announcing Length bytes (-1: no length) is refused at once.
  bool Refuses(int64_t Length) const { return Bounded() && Length > limit_; }
  // How many of Size more bytes fit after Received; fewer than Size ends the body.
  int64_t Room(int64_t Received, int64_t Size) const {
    if (!Bounded()) return Size;
    const int64_t left = limit_ > Received ? limit_ - Received : 0;
    return Size < left ? Size : left;
  }

  std::string AnnouncedText(int64_t Length) const {
    return "The reply announces " + std::to_string(Length) + " bytes, more than the " + std::to_string(limit_) +
           " expected";
  }
  std::string OverrunText() const { return "The body runs past the " + std::to_string(limit_) + " bytes expected"; }

 private:
  int64_t limit_;
};

}  // namespace vxnet
