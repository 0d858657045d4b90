// Addresses taken apart: a parsed address has a host and a port in range, and the
// referrer rebuilt from it parses back to the same server and path.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "transport/ParseURI.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  TURI uri;
  if (!uri.Parse(text)) return 0;
  if (uri.Host().empty() || uri.Port() < 1 || uri.Port() > 65535 || uri.Path().empty() || uri.Path()[0] != '/')
    abort();
  const TURI first = uri;
  uri.Parse("next");
  if (uri.PreviousHost() != first.Host()) abort();
  if (first.Host().find('@') != std::string::npos) return 0;  // user information of its own
  TURI again;
  if (!again.Parse(uri.Referrer())) abort();
  if (again.Scheme() != first.Scheme() || again.Host() != first.Host() || again.Port() != first.Port() ||
      again.Path() != first.Path() || again.UserName() != "anonymous")
    abort();
  return 0;
}
