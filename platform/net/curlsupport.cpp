#include "platform/net/curlsupport.h"

#include <cstdlib>
#include <mutex>

#include "platform/rtl/exceptions.h"
#include "platform/rtl/sysutils.h"

namespace vxcurl {

void GlobalInit() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

std::string HeaderValue(std::string_view v) {
  std::string r;
  r.reserve(v.size());
  for (char c : v)
    if (c != '\r' && c != '\n') r += c;
  return r;
}

bool HasLineBreak(std::string_view v) { return v.find_first_of(std::string_view("\r\n\0", 3)) != v.npos; }

std::string EscapeUrl(std::string_view url) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string r;
  r.reserve(url.size());
  for (unsigned char c : url) {
    if (c <= 0x20 || c >= 0x7F) {
      r += '%';
      r += kHex[c >> 4];
      r += kHex[c & 15];
    } else {
      r += static_cast<char>(c);
    }
  }
  return r;
}

bool IsStatusLine(std::string_view line) {
  return line.size() >= 5 && SameText(line.substr(0, 5), "HTTP/");
}

int StatusCodeOf(std::string_view statusLine) {
  const size_t sp = statusLine.find(' ');
  if (sp == std::string_view::npos) return 0;
  int code = 0;
  for (size_t i = sp + 1; i < statusLine.size() && i < sp + 4; ++i) {
    const char c = statusLine[i];
    if (c < '0' || c > '9') return code;
    code = code * 10 + (c - '0');
  }
  return code;
}

bool SplitHeaderLine(std::string_view line, std::string& name, std::string& value) {
  const size_t colon = line.find(':');
  if (colon == std::string_view::npos) return false;
  name = Trim(line.substr(0, colon));
  value = Trim(line.substr(colon + 1));
  return true;
}

bool FoldWatch::Check(std::string_view line) {
  if (!line.empty() && (line[0] == ' ' || line[0] == '\t'))
    return !SameText(field_, "Transfer-Encoding") && !SameText(field_, "Content-Length") &&
           !SameText(field_, "Content-Encoding");
  field_ = Trim(line.substr(0, line.find(':')));
  return true;
}

bool IsTlsFailure(CURLcode rc) {
  switch (rc) {
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_INVALIDCERTSTATUS:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_ENGINE_NOTFOUND:
    case CURLE_SSL_ENGINE_SETFAILED:
    case CURLE_SSL_ENGINE_INITFAILED:
    case CURLE_SSL_CRL_BADFILE:
    case CURLE_SSL_SHUTDOWN_FAILED:
    case CURLE_USE_SSL_FAILED:
      return true;
    default:
      return false;
  }
}

void UseTrustStore(CURL* curl) {
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
  if (const char* file = std::getenv("SSL_CERT_FILE"); file && *file)
    curl_easy_setopt(curl, CURLOPT_CAINFO, file);
  if (const char* dir = std::getenv("SSL_CERT_DIR"); dir && *dir)
    curl_easy_setopt(curl, CURLOPT_CAPATH, dir);
}

void HeaderList::Add(const std::string& line) {
  curl_slist* l = curl_slist_append(list_, line.c_str());
  if (!l) throw EOutOfMemory("Out of memory");
  list_ = l;
}

}  // namespace vxcurl
