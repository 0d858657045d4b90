// What the two libcurl-backed HTTP stand-ins (the framework's HTTP client in idhttp, the
// Internet functions in wininet) share: library set-up, header and URL hygiene, number
// parsing, header lists and the trust store.
#pragma once

#include <curl/curl.h>

#include <string>
#include <string_view>

#include "platform/rtl/system.h"

namespace vxcurl {

// curl_global_init, once per process.
void GlobalInit();

// Header values come from callers and URLs: a CR or LF would start a header line of
// its own, so both are dropped.
std::string HeaderValue(std::string_view v);

// True when the text holds a CR, an LF or a NUL.
bool HasLineBreak(std::string_view v);

// Blanks, control characters and bytes of 0x7F and above are not valid in a URL; they
// are sent percent-encoded.
std::string EscapeUrl(std::string_view url);

// Header callbacks. A status line ("HTTP/1.1 200 OK") gives its three-digit code (0
// when it has none); other lines are never status lines.
bool IsStatusLine(std::string_view line);
int StatusCodeOf(std::string_view statusLine);
// Splits "Name: value" into its trimmed parts; false for a line without a colon.
bool SplitHeaderLine(std::string_view line, std::string& name, std::string& value);
// The empty line that ends a header block.
inline bool IsEndOfHeader(std::string_view line) { return line == "\r\n" || line == "\n"; }

// libcurl takes a folded header line (one that starts with a blank and continues the
// field before it) for a line of its own. For the fields by which it frames or decodes a
// body that misreads the reply, so such a reply is refused. Fed every header line of a
// reply after its status line, Check answers false for a line that folds such a field.
class FoldWatch {
 public:
  bool Check(std::string_view line);
  // The name of the field the last line began.
  const std::string& Field() const { return field_; }
  void Reset() { field_.clear(); }

 private:
  std::string field_;
};

// libcurl holds a header line of at most CURL_MAX_HTTP_HEADER bytes and reports a
// longer one as running out of memory: such a failure before the reply's header is
// complete is a line too long, and is told so.
inline constexpr const char kHeaderLineTooLong[] = "Header line too long";
inline bool IsHeaderLineTooLong(CURLcode rc, bool HeaderComplete) {
  return rc == CURLE_OUT_OF_MEMORY && !HeaderComplete;
}

// True for the failures of a TLS handshake or of a certificate check.
bool IsTlsFailure(CURLcode rc);

// Verifies the server against the system's trust store, or, as with OpenSSL's tools,
// against the CA bundle or folder named by SSL_CERT_FILE and SSL_CERT_DIR.
void UseTrustStore(CURL* curl);

// A curl_slist that frees itself.
class HeaderList {
 public:
  HeaderList() = default;
  HeaderList(const HeaderList&) = delete;
  HeaderList& operator=(const HeaderList&) = delete;
  ~HeaderList() { curl_slist_free_all(list_); }
  // Raises EOutOfMemory when libcurl cannot take the line.
  void Add(const std::string& line);
  curl_slist* get() const { return list_; }

 private:
  curl_slist* list_ = nullptr;
};

}  // namespace vxcurl
