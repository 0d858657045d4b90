#include "platform/net/wininet.h"

#include <curl/curl.h>
#include <openssl/ssl.h>
#include <openssl/x509_vfy.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/net/curlsupport.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/sysutils.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr DWORD kDefaultTimeoutMs = 60000;
constexpr int kMaxRedirects = 10;
// libcurl's receive buffer, and how much of a body may wait for its reader: the
// transfer is paused while more than that is waiting.
constexpr long kReceiveBufferSize = 128 * 1024;
constexpr size_t kQueueLimit = 1024 * 1024;

enum class Kind { Session, Connection, Request };

struct Options {
  DWORD connect_timeout = kDefaultTimeoutMs;
  DWORD receive_timeout = kDefaultTimeoutMs;
  DWORD low_speed_limit = 0;
  DWORD low_speed_time = 0;
};

struct InternetObject {
  InternetObject(Kind k, HINTERNET p, Options o) : kind(k), parent(p), options(o) {}
  virtual ~InternetObject() = default;
  Kind kind;
  HINTERNET parent;
  Options options;
};

struct Session : InternetObject {
  Session(std::string a, DWORD access) : InternetObject(Kind::Session, nullptr, {}), agent(std::move(a)),
                                         direct(access == INTERNET_OPEN_TYPE_DIRECT) {
    vxcurl::GlobalInit();
    multi = curl_multi_init();
    share = curl_share_init();
    if (share) {
      curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
      curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION);
    }
  }
  ~Session() override {
    if (multi) curl_multi_cleanup(multi);
    if (share) curl_share_cleanup(share);
  }
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  std::string agent;
  bool direct;
  CURLM* multi = nullptr;
  CURLSH* share = nullptr;
  // A TLS connection was made without checking the certificate's dates; a request that
  // checks them does not reuse connections.
  bool relaxed_tls_made = false;
};

struct Connection : InternetObject {
  Connection(HINTERNET p, Options o, std::shared_ptr<Session> s)
      : InternetObject(Kind::Connection, p, o), session(std::move(s)) {}
  std::shared_ptr<Session> session;
  std::string host;
  INTERNET_PORT port = 0;
  std::string user, password;
};

// The body bytes that libcurl delivered and the reader has not taken yet.
class ByteQueue {
 public:
  size_t Size() const { return data_.size() - head_; }
  void Append(const char* p, size_t n) {
    if (head_ == data_.size()) {
      data_.clear();
      head_ = 0;
    } else if (head_ > 0 && data_.size() + n > data_.capacity()) {
      data_.erase(data_.begin(), data_.begin() + static_cast<std::ptrdiff_t>(head_));
      head_ = 0;
    }
    data_.insert(data_.end(), p, p + n);
  }
  size_t Take(char* out, size_t n) {
    const size_t m = std::min(n, Size());
    if (m == 0) return 0;
    std::memcpy(out, data_.data() + head_, m);
    head_ += m;
    return m;
  }
  void Clear() {
    data_.clear();
    head_ = 0;
  }

 private:
  std::vector<char> data_;
  size_t head_ = 0;
};

struct Request : InternetObject {
  Request(HINTERNET p, Options o, std::shared_ptr<Connection> c)
      : InternetObject(Kind::Request, p, o), connection(std::move(c)) {}
  ~Request() override {
    Detach();
    if (easy) curl_easy_cleanup(easy);
  }
  Request(const Request&) = delete;
  Request& operator=(const Request&) = delete;

  Session& session() { return *connection->session; }
  // Takes the transfer out of the session's engine; an unfinished one loses its
  // connection.
  void Detach() {
    if (easy && attached) curl_multi_remove_handle(session().multi, easy);
    attached = false;
  }

  std::shared_ptr<Connection> connection;
  CURL* easy = nullptr;
  bool attached = false;

  // What HttpOpenRequest fixed.
  std::string verb, path, referrer, accept;
  bool http10 = false;
  DWORD flags = 0;

  // What HttpSendRequest is sending.
  std::string url;  // of the current exchange (redirects change it)
  std::string method;
  std::vector<std::string> extra_headers;
  std::string body;
  // The header lines of the current exchange; libcurl reads them while it runs.
  std::unique_ptr<vxcurl::HeaderList> headers;
  bool with_auth = false;
  char errbuf[CURL_ERROR_SIZE] = {0};

  // The reply of the current exchange.
  int code = 0;
  Int64 content_length = -1;
  std::string location;
  bool basic_offered = false;
  bool final_head = false;  // the header of the reply the caller gets is complete
  bool discard = false;     // the current reply is followed or answered, its body dropped
  bool done = false;        // libcurl has finished the exchange
  CURLcode result = CURLE_OK;
  bool timed_out = false;
  DWORD waited_ms = 0;  // how long it waited for data when it timed out
  bool bad_reply = false;  // the header was refused (see FoldWatch)
  vxcurl::FoldWatch folds;

  ByteQueue queue;
  size_t queue_limit = kQueueLimit;
  bool paused = false;
  Clock::time_point last_data = Clock::now();

  // A status line starts the header of a reply (after an interim one, another).
  void ResetHead() {
    code = 0;
    content_length = -1;
    location.clear();
    basic_offered = false;
  }
  void ResetReply() {
    ResetHead();
    final_head = discard = done = paused = timed_out = bad_reply = false;
    result = CURLE_OK;
    queue.Clear();
  }
  bool Secure() const { return url.compare(0, 8, "https://") == 0; }
  bool IsRedirect() const {
    return (code == 301 || code == 302 || code == 303 || code == 307 || code == 308) &&
           !location.empty() && !(flags & INTERNET_FLAG_NO_AUTO_REDIRECT);
  }
  bool IsChallenge() const {
    return code == 401 && basic_offered && !with_auth && !connection->user.empty();
  }
  bool HeaderLineTooLong() const { return vxcurl::IsHeaderLineTooLong(result, final_head || discard); }
};

// ---- handle table ----

std::mutex& TableLock() {
  static std::mutex m;
  return m;
}
std::unordered_map<uintptr_t, std::shared_ptr<InternetObject>>& Table() {
  static auto* t = new std::unordered_map<uintptr_t, std::shared_ptr<InternetObject>>;
  return *t;
}
uintptr_t g_nextHandle = 0x1000;

HINTERNET AddHandle(std::shared_ptr<InternetObject> o) {
  std::lock_guard<std::mutex> lock(TableLock());
  g_nextHandle += 4;
  Table()[g_nextHandle] = std::move(o);
  return reinterpret_cast<HINTERNET>(g_nextHandle);
}

std::shared_ptr<InternetObject> FindHandle(HINTERNET h) {
  std::lock_guard<std::mutex> lock(TableLock());
  const auto it = Table().find(reinterpret_cast<uintptr_t>(h));
  return it == Table().end() ? nullptr : it->second;
}

// The object of a handle of the given kind, or null with the error set.
template <class T>
std::shared_ptr<T> Find(HINTERNET h, Kind kind) {
  auto o = FindHandle(h);
  if (!o) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  if (o->kind != kind) {
    SetLastError(ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
    return nullptr;
  }
  return std::static_pointer_cast<T>(o);
}

// What InternetGetLastResponseInfo tells: the thread's last failure.
struct LastResponse {
  DWORD error = 0;
  std::string text;
};
thread_local LastResponse t_lastResponse;

BOOL Fail(DWORD error) {
  t_lastResponse.error = error;
  t_lastResponse.text.clear();
  SetLastError(error);
  return FALSE;
}

// The same with the cause in words.
BOOL Fail(DWORD error, std::string cause) {
  Fail(error);
  t_lastResponse.text = std::move(cause);
  return FALSE;
}

HINTERNET FailHandle(DWORD error) {
  Fail(error);
  return nullptr;
}

// ---- libcurl callbacks (they never raise) ----

size_t OnHeader(char* data, size_t size, size_t count, void* self) {
  auto& r = *static_cast<Request*>(self);
  const size_t n = size * count;
  const std::string_view line(data, n);
  r.last_data = Clock::now();
  if (r.final_head) return n;  // trailers of a chunked body
  if (vxcurl::IsStatusLine(line)) {
    r.ResetHead();
    r.folds.Reset();
    r.code = vxcurl::StatusCodeOf(line);
    return n;
  }
  if (vxcurl::IsEndOfHeader(line)) {
    if (r.code >= 100 && r.code < 200 && r.code != 101) return n;  // an interim reply; the real one follows
    if (r.code == 101) {
      // A switch to another protocol was never asked for: what follows is not HTTP.
      r.bad_reply = true;
      return 0;
    }
    if (r.IsRedirect() || r.IsChallenge())
      r.discard = true;
    else
      r.final_head = true;
    return n;
  }
  std::string name, value;
  try {
    if (!r.folds.Check(line)) {
      r.bad_reply = true;
      return 0;
    }
    if (!vxcurl::SplitHeaderLine(line, name, value)) return n;
    if (SameText(name, "Content-Length")) {
      r.content_length = DecimalLength(value);
    } else if (SameText(name, "Location")) {
      r.location = value;
    } else if (SameText(name, "WWW-Authenticate")) {
      r.basic_offered = r.basic_offered || SameText(value.substr(0, 5), "Basic");
    }
  } catch (...) {
    return 0;  // out of memory: the exchange fails
  }
  return n;
}

size_t OnWrite(char* data, size_t size, size_t count, void* self) {
  auto& r = *static_cast<Request*>(self);
  const size_t n = size * count;
  if (!r.final_head) return n;  // the body of a reply that is followed or answered
  if (r.queue.Size() >= r.queue_limit) {
    r.paused = true;
    return CURL_WRITEFUNC_PAUSE;
  }
  try {
    r.queue.Append(data, n);
  } catch (...) {
    return CURL_WRITEFUNC_ERROR;
  }
  r.last_data = Clock::now();
  return n;
}

CURLcode NoCertificateDates(CURL*, void* sslctx, void*) {
  X509_VERIFY_PARAM_set_flags(SSL_CTX_get0_param(static_cast<SSL_CTX*>(sslctx)),
                              X509_V_FLAG_NO_CHECK_TIME);
  return CURLE_OK;
}

// ---- the engine ----

// Marks every transfer of the session that libcurl has finished.
void CollectDone(Session& s) {
  int left = 0;
  while (CURLMsg* m = curl_multi_info_read(s.multi, &left)) {
    if (m->msg != CURLMSG_DONE) continue;
    char* p = nullptr;
    curl_easy_getinfo(m->easy_handle, CURLINFO_PRIVATE, &p);
    if (!p) continue;
    auto* r = reinterpret_cast<Request*>(p);
    r->done = true;
    r->result = m->data.result;
  }
}

// Runs the session's transfers until Ready() holds or the request is done. Fails (false,
// with timed_out set) when no data came from the server for limitMs.
template <class Pred>
bool Pump(Request& r, Pred Ready, DWORD limitMs) {
  Session& s = r.session();
  const Clock::time_point start = Clock::now();
  while (!Ready() && !r.done) {
    if (r.paused) {
      r.paused = false;
      curl_easy_pause(r.easy, CURLPAUSE_CONT);  // hands over the held bytes at once
      if (Ready()) break;
    }
    int running = 0;
    if (curl_multi_perform(s.multi, &running) != CURLM_OK) {
      r.done = true;
      r.result = CURLE_OUT_OF_MEMORY;
      break;
    }
    CollectDone(s);
    if (Ready() || r.done) break;
    const Clock::time_point now = Clock::now();
    const auto idle = now - std::max(start, r.last_data);
    const auto limit = std::chrono::milliseconds(limitMs);
    if (limitMs > 0 && idle >= limit) {
      r.timed_out = true;
      r.waited_ms = limitMs;
      return false;
    }
    int waitMs = 1000;
    if (limitMs > 0)
      waitMs = static_cast<int>(std::min<int64_t>(
          waitMs, std::chrono::duration_cast<std::chrono::milliseconds>(limit - idle).count() + 1));
    curl_multi_poll(s.multi, nullptr, 0, waitMs, nullptr);
  }
  return true;
}

// Why the request's transfer failed, in words.
std::string CauseOf(const Request& r) {
  if (r.timed_out) return "No data from the server for " + std::to_string(r.waited_ms) + " ms";
  if (r.bad_reply) return "The server's reply is not valid HTTP";
  if (r.HeaderLineTooLong()) return vxcurl::kHeaderLineTooLong;
  if (r.errbuf[0]) return r.errbuf;
  return curl_easy_strerror(r.result);
}

// Fails a call of the request with this error, keeping its cause for
// InternetGetLastResponseInfo.
BOOL FailRequest(const Request& r, DWORD error) {
  Fail(error);
  try {
    t_lastResponse.text = CauseOf(r);
  } catch (const std::bad_alloc&) {
  }
  return FALSE;
}

DWORD ErrorOf(Request& r, CURLcode rc) {
  if (r.timed_out) return ERROR_INTERNET_TIMEOUT;
  if (r.bad_reply || r.HeaderLineTooLong()) return ERROR_HTTP_INVALID_SERVER_RESPONSE;
  switch (rc) {
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
      return ERROR_INTERNET_NAME_NOT_RESOLVED;
    case CURLE_COULDNT_CONNECT:
      return ERROR_INTERNET_CANNOT_CONNECT;
    case CURLE_OPERATION_TIMEDOUT:
      return ERROR_INTERNET_TIMEOUT;
    case CURLE_URL_MALFORMAT:
      return ERROR_INTERNET_INVALID_URL;
    case CURLE_OUT_OF_MEMORY:
      return ERROR_NOT_ENOUGH_MEMORY;
    case CURLE_GOT_NOTHING:
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_UNSUPPORTED_PROTOCOL:
    case CURLE_BAD_CONTENT_ENCODING:
      return ERROR_HTTP_INVALID_SERVER_RESPONSE;
    case CURLE_PEER_FAILED_VERIFICATION: {
      long verify = X509_V_OK;
      curl_easy_getinfo(r.easy, CURLINFO_SSL_VERIFYRESULT, &verify);
      // libcurl checks the name itself once the chain is good, and reports that as
      // "unspecified".
      if (verify == X509_V_OK || verify == X509_V_ERR_UNSPECIFIED ||
          verify == X509_V_ERR_HOSTNAME_MISMATCH || verify == X509_V_ERR_IP_ADDRESS_MISMATCH)
        return ERROR_INTERNET_SEC_CERT_CN_INVALID;
      if (verify == X509_V_ERR_CERT_HAS_EXPIRED || verify == X509_V_ERR_CERT_NOT_YET_VALID)
        return ERROR_INTERNET_SEC_CERT_DATE_INVALID;
      return ERROR_INTERNET_INVALID_CA;
    }
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR: {
      long os = 0;
      curl_easy_getinfo(r.easy, CURLINFO_OS_ERRNO, &os);
      return os == ECONNRESET ? ERROR_INTERNET_CONNECTION_RESET : ERROR_INTERNET_CONNECTION_ABORTED;
    }
    default:
      if (vxcurl::IsTlsFailure(rc)) return ERROR_INTERNET_SECURITY_CHANNEL_ERROR;
      return ERROR_INTERNET_CONNECTION_ABORTED;
  }
}

// Sets libcurl up for one exchange of the request and hands it to the session's engine.
bool StartExchange(Request& r) {
  Session& s = r.session();
  r.Detach();
  r.ResetReply();
  CURL* c = r.easy;
  curl_easy_reset(c);
  r.errbuf[0] = 0;
  r.headers = std::make_unique<vxcurl::HeaderList>();
  vxcurl::HeaderList& headers = *r.headers;
  curl_easy_setopt(c, CURLOPT_URL, r.url.c_str());
  curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(c, CURLOPT_PRIVATE, reinterpret_cast<char*>(&r));
  curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 0L);
  curl_easy_setopt(c, CURLOPT_BUFFERSIZE, kReceiveBufferSize);
  curl_easy_setopt(c, CURLOPT_ERRORBUFFER, r.errbuf);
  curl_easy_setopt(c, CURLOPT_HEADERFUNCTION, &OnHeader);
  curl_easy_setopt(c, CURLOPT_HEADERDATA, &r);
  curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, &OnWrite);
  curl_easy_setopt(c, CURLOPT_WRITEDATA, &r);
  curl_easy_setopt(c, CURLOPT_HTTP_VERSION,
                   static_cast<long>(r.http10 ? CURL_HTTP_VERSION_1_0 : CURL_HTTP_VERSION_1_1));
  if (r.options.connect_timeout > 0)
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(r.options.connect_timeout));
  if (r.options.low_speed_limit > 0 && r.options.low_speed_time > 0) {
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, static_cast<long>(r.options.low_speed_limit));
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, static_cast<long>(r.options.low_speed_time));
  }
  if (s.share) curl_easy_setopt(c, CURLOPT_SHARE, s.share);
  if (s.direct) curl_easy_setopt(c, CURLOPT_PROXY, "");
  if (!s.agent.empty()) curl_easy_setopt(c, CURLOPT_USERAGENT, s.agent.c_str());
  if (!r.referrer.empty()) curl_easy_setopt(c, CURLOPT_REFERER, r.referrer.c_str());

  headers.Add(r.accept.empty() ? "Accept:" : "Accept: " + r.accept);
  if (r.http10) headers.Add("Connection: Keep-Alive");
  for (const std::string& h : r.extra_headers) headers.Add(h);
  curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers.get());

  if (r.method == "GET") {
    curl_easy_setopt(c, CURLOPT_HTTPGET, 1L);
  } else if (r.method == "HEAD") {
    curl_easy_setopt(c, CURLOPT_NOBODY, 1L);
  } else {
    if (r.method == "POST" || !r.body.empty()) {
      curl_easy_setopt(c, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(r.body.size()));
      curl_easy_setopt(c, CURLOPT_POSTFIELDS, r.body.data());
    }
    if (r.method != "POST") curl_easy_setopt(c, CURLOPT_CUSTOMREQUEST, r.method.c_str());
  }

  if (r.Secure()) {
    curl_easy_setopt(c, CURLOPT_SSLVERSION, static_cast<long>(CURL_SSLVERSION_TLSv1_2));
    vxcurl::UseTrustStore(c);
    curl_easy_setopt(c, CURLOPT_SSL_VERIFYHOST,
                     (r.flags & INTERNET_FLAG_IGNORE_CERT_CN_INVALID) ? 0L : 2L);
    if (r.flags & INTERNET_FLAG_IGNORE_CERT_DATE_INVALID) {
      // Neither the connection nor its TLS session may serve a request that checks the
      // dates: a resumed session is not verified again.
      curl_easy_setopt(c, CURLOPT_SSL_CTX_FUNCTION, &NoCertificateDates);
      curl_easy_setopt(c, CURLOPT_SSL_SESSIONID_CACHE, 0L);
      s.relaxed_tls_made = true;
    } else if (s.relaxed_tls_made) {
      curl_easy_setopt(c, CURLOPT_FRESH_CONNECT, 1L);
    }
  }
  if (r.with_auth) {
    curl_easy_setopt(c, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BASIC));
    curl_easy_setopt(c, CURLOPT_USERNAME, r.connection->user.c_str());
    curl_easy_setopt(c, CURLOPT_PASSWORD, r.connection->password.c_str());
  }
  if (curl_multi_add_handle(s.multi, c) != CURLM_OK) return false;
  r.attached = true;
  return true;
}

// The absolute URL that a Location value names, relative to the request's URL; empty
// when it names none.
std::string ResolveLocation(const std::string& base, const std::string& location) {
  CURLU* u = curl_url();
  if (!u) return {};
  std::string result;
  const std::string escaped = vxcurl::EscapeUrl(location);
  char* out = nullptr;
  if (curl_url_set(u, CURLUPART_URL, base.c_str(), 0) == CURLUE_OK &&
      curl_url_set(u, CURLUPART_URL, escaped.c_str(), 0) == CURLUE_OK &&
      curl_url_get(u, CURLUPART_URL, &out, 0) == CURLUE_OK) {
    result = out;
  }
  curl_free(out);
  curl_url_cleanup(u);
  return result;
}

bool ValidHostName(std::string_view name) {
  for (unsigned char c : name)
    if (c <= 0x20 || c >= 0x7F || std::strchr("/\\@?#%", c)) return false;
  return true;
}

bool ValidToken(std::string_view verb) {
  if (verb.empty()) return false;
  for (unsigned char c : verb)
    if (c <= 0x20 || c >= 0x7F || std::strchr("()<>@,;:\\\"/[]?={}", c)) return false;
  return true;
}

}  // namespace

// ---------------------------------------------------------------------------

HINTERNET InternetOpen(LPCSTR lpszAgent, DWORD dwAccessType, LPCSTR, LPCSTR, DWORD) {
  const std::string agent = lpszAgent ? lpszAgent : "";
  if (vxcurl::HasLineBreak(agent)) return FailHandle(ERROR_INVALID_PARAMETER);
  if (dwAccessType != INTERNET_OPEN_TYPE_PRECONFIG && dwAccessType != INTERNET_OPEN_TYPE_DIRECT)
    return FailHandle(ERROR_INVALID_PARAMETER);
  try {
    auto s = std::make_shared<Session>(agent, dwAccessType);
    if (!s->multi) return FailHandle(ERROR_NOT_ENOUGH_MEMORY);
    return AddHandle(std::move(s));
  } catch (const std::bad_alloc&) {
    return FailHandle(ERROR_NOT_ENOUGH_MEMORY);
  }
}

HINTERNET InternetConnect(HINTERNET hInternet, LPCSTR lpszServerName, INTERNET_PORT nServerPort,
                          LPCSTR lpszUserName, LPCSTR lpszPassword, DWORD dwService, DWORD,
                          DWORD_PTR) {
  auto s = Find<Session>(hInternet, Kind::Session);
  if (!s) return nullptr;
  if (dwService != INTERNET_SERVICE_HTTP) return FailHandle(ERROR_INVALID_PARAMETER);
  if (!lpszServerName || !*lpszServerName) return FailHandle(ERROR_INVALID_PARAMETER);
  if (!ValidHostName(lpszServerName)) return FailHandle(ERROR_INTERNET_INVALID_URL);
  try {
    auto c = std::make_shared<Connection>(hInternet, s->options, s);
    c->host = lpszServerName;
    c->port = nServerPort;
    c->user = lpszUserName ? lpszUserName : "";
    c->password = lpszPassword ? lpszPassword : "";
    return AddHandle(std::move(c));
  } catch (const std::bad_alloc&) {
    return FailHandle(ERROR_NOT_ENOUGH_MEMORY);
  }
}

HINTERNET HttpOpenRequest(HINTERNET hConnect, LPCSTR lpszVerb, LPCSTR lpszObjectName,
                          LPCSTR lpszVersion, LPCSTR lpszReferrer, LPCSTR* lplpszAcceptTypes,
                          DWORD dwFlags, DWORD_PTR) {
  auto c = Find<Connection>(hConnect, Kind::Connection);
  if (!c) return nullptr;
  const std::string verb = lpszVerb && *lpszVerb ? lpszVerb : "GET";
  if (!ValidToken(verb)) return FailHandle(ERROR_INVALID_PARAMETER);
  const std::string version = lpszVersion ? lpszVersion : "";
  bool http10 = false;
  if (SameText(version, "HTTP/1.0"))
    http10 = true;
  else if (!version.empty() && !SameText(version, "HTTP/1.1"))
    return FailHandle(ERROR_INVALID_PARAMETER);
  try {
    auto r = std::make_shared<Request>(hConnect, c->options, c);
    r->verb = verb;
    r->path = lpszObjectName && *lpszObjectName ? lpszObjectName : "/";
    if (r->path[0] != '/') r->path.insert(0, 1, '/');
    r->http10 = http10;
    r->referrer = vxcurl::HeaderValue(lpszReferrer ? lpszReferrer : "");
    for (LPCSTR* a = lplpszAcceptTypes; a && *a; ++a) {
      if (!r->accept.empty()) r->accept += ", ";
      r->accept += vxcurl::HeaderValue(*a);
    }
    r->flags = dwFlags;
    r->easy = curl_easy_init();
    if (!r->easy) return FailHandle(ERROR_NOT_ENOUGH_MEMORY);
    return AddHandle(std::move(r));
  } catch (const std::bad_alloc&) {
    return FailHandle(ERROR_NOT_ENOUGH_MEMORY);
  }
}

BOOL HttpSendRequest(HINTERNET hRequest, LPCSTR lpszHeaders, DWORD dwHeadersLength,
                     LPVOID lpOptional, DWORD dwOptionalLength) {
  auto r = Find<Request>(hRequest, Kind::Request);
  if (!r) return FALSE;
  try {
    const Connection& c = *r->connection;
    const bool secure = r->flags & INTERNET_FLAG_SECURE;
    const INTERNET_PORT port = c.port ? c.port
                                      : (secure ? INTERNET_DEFAULT_HTTPS_PORT : INTERNET_DEFAULT_HTTP_PORT);
    r->url = std::string(secure ? "https://" : "http://") + c.host + ":" + std::to_string(port) +
             vxcurl::EscapeUrl(r->path);
    r->method = r->verb;
    r->with_auth = false;
    r->extra_headers.clear();
    if (lpszHeaders) {
      const std::string text = dwHeadersLength == static_cast<DWORD>(-1)
                                   ? std::string(lpszHeaders)
                                   : std::string(lpszHeaders, strnlen(lpszHeaders, dwHeadersLength));
      size_t from = 0;
      while (from < text.size()) {
        size_t to = text.find_first_of("\r\n", from);
        if (to == std::string::npos) to = text.size();
        if (to > from) r->extra_headers.push_back(text.substr(from, to - from));
        from = to + 1;
      }
    }
    r->body.assign(static_cast<const char*>(lpOptional), lpOptional ? dwOptionalLength : 0);

    for (int redirects = 0;; ) {
      if (!StartExchange(*r)) return Fail(ERROR_INTERNET_INTERNAL_ERROR);
      const DWORD limit = r->options.connect_timeout + r->options.receive_timeout;
      if (!Pump(*r, [&] { return r->final_head; }, r->options.receive_timeout ? limit : 0)) {
        r->Detach();
        return FailRequest(*r, ERROR_INTERNET_TIMEOUT);
      }
      if (r->final_head) return TRUE;
      if (r->result != CURLE_OK || !r->discard) {
        const DWORD error = r->result == CURLE_OK ? ERROR_HTTP_INVALID_SERVER_RESPONSE
                                                  : ErrorOf(*r, r->result);
        r->Detach();
        return FailRequest(*r, error);
      }
      // A redirect or a challenge: its body is dropped, then the request goes again.
      if (r->IsChallenge()) {
        r->with_auth = true;
        continue;
      }
      if (++redirects > kMaxRedirects) {
        r->Detach();
        return Fail(ERROR_HTTP_REDIRECT_FAILED, "More than " + std::to_string(kMaxRedirects) + " redirects");
      }
      const std::string next = ResolveLocation(r->url, r->location);
      const bool toSecure = next.compare(0, 8, "https://") == 0;
      if (!toSecure && next.compare(0, 7, "http://") != 0) {
        r->Detach();
        return Fail(ERROR_HTTP_REDIRECT_FAILED,
                    "The server redirected to \"" + vxcurl::EscapeUrl(r->location) + "\", which is no http address");
      }
      if (r->Secure() && !toSecure) {
        r->Detach();
        return Fail(ERROR_INTERNET_HTTPS_TO_HTTP_ON_REDIR,
                    "Redirect refused: the server redirected from https to " + next);
      }
      if (r->code == 303 || ((r->code == 301 || r->code == 302) && r->method == "POST")) {
        r->method = "GET";
        r->body.clear();
      }
      r->url = next;
    }
  } catch (const std::bad_alloc&) {
    r->Detach();
    return Fail(ERROR_NOT_ENOUGH_MEMORY);
  } catch (const Exception&) {
    r->Detach();
    return Fail(ERROR_NOT_ENOUGH_MEMORY);
  }
}

BOOL HttpQueryInfo(HINTERNET hRequest, DWORD dwInfoLevel, LPVOID lpBuffer, LPDWORD lpdwBufferLength,
                   LPDWORD) {
  auto r = Find<Request>(hRequest, Kind::Request);
  if (!r) return FALSE;
  if (!lpdwBufferLength) return Fail(ERROR_INVALID_PARAMETER);
  if (!r->final_head) return Fail(ERROR_INTERNET_INCORRECT_HANDLE_STATE);
  const DWORD level = dwInfoLevel & 0xFFFF;
  const DWORD modifiers = dwInfoLevel & ~0xFFFFu;
  uint64_t value = 0;
  if (level == HTTP_QUERY_STATUS_CODE) {
    value = static_cast<uint64_t>(r->code);
  } else if (level == HTTP_QUERY_CONTENT_LENGTH) {
    if (r->content_length < 0) return Fail(ERROR_HTTP_HEADER_NOT_FOUND);
    value = static_cast<uint64_t>(r->content_length);
  } else {
    return Fail(ERROR_INVALID_PARAMETER);
  }
  if (modifiers == HTTP_QUERY_FLAG_NUMBER64) {
    if (*lpdwBufferLength < sizeof(ULONGLONG) || !lpBuffer) {
      *lpdwBufferLength = sizeof(ULONGLONG);
      return Fail(ERROR_INSUFFICIENT_BUFFER);
    }
    const ULONGLONG v = value;
    std::memcpy(lpBuffer, &v, sizeof v);
    *lpdwBufferLength = sizeof v;
    return TRUE;
  }
  if (modifiers == HTTP_QUERY_FLAG_NUMBER) {
    if (*lpdwBufferLength < sizeof(DWORD) || !lpBuffer) {
      *lpdwBufferLength = sizeof(DWORD);
      return Fail(ERROR_INSUFFICIENT_BUFFER);
    }
    if (value > 0xFFFFFFFFu) return Fail(ERROR_ARITHMETIC_OVERFLOW);
    const DWORD v = static_cast<DWORD>(value);
    std::memcpy(lpBuffer, &v, sizeof v);
    *lpdwBufferLength = sizeof v;
    return TRUE;
  }
  if (modifiers != 0) return Fail(ERROR_INVALID_PARAMETER);
  const std::string text = std::to_string(value);
  if (*lpdwBufferLength <= text.size() || !lpBuffer) {
    *lpdwBufferLength = static_cast<DWORD>(text.size() + 1);
    return Fail(ERROR_INSUFFICIENT_BUFFER);
  }
  std::memcpy(lpBuffer, text.c_str(), text.size() + 1);
  *lpdwBufferLength = static_cast<DWORD>(text.size());
  return TRUE;
}

BOOL InternetReadFile(HINTERNET hFile, LPVOID lpBuffer, DWORD dwNumberOfBytesToRead,
                      LPDWORD lpdwNumberOfBytesRead) {
  auto r = Find<Request>(hFile, Kind::Request);
  if (!r) return FALSE;
  if (!lpdwNumberOfBytesRead || (!lpBuffer && dwNumberOfBytesToRead)) return Fail(ERROR_INVALID_PARAMETER);
  *lpdwNumberOfBytesRead = 0;
  if (!r->final_head) return Fail(ERROR_INTERNET_INCORRECT_HANDLE_STATE);
  const size_t want = dwNumberOfBytesToRead;
  r->queue_limit = std::max(kQueueLimit, want);
  if (r->queue.Size() < want && !r->done &&
      !Pump(*r, [&] { return r->queue.Size() >= want; }, r->options.receive_timeout)) {
    // The server stalled: the transfer is given up.
    r->Detach();
    r->done = true;
    r->result = CURLE_OPERATION_TIMEDOUT;
  }
  const size_t got = r->queue.Take(static_cast<char*>(lpBuffer), want);
  *lpdwNumberOfBytesRead = static_cast<DWORD>(got);
  // Bytes that arrived are handed over first; a failure shows on the next call.
  if (got == 0 && r->done && r->result != CURLE_OK) return FailRequest(*r, ErrorOf(*r, r->result));
  return TRUE;
}

BOOL InternetSetOption(HINTERNET hInternet, DWORD dwOption, LPVOID lpBuffer, DWORD dwBufferLength) {
  auto o = FindHandle(hInternet);
  if (!o) return Fail(ERROR_INVALID_HANDLE);
  static const std::pair<DWORD, DWORD Options::*> kOptions[] = {
      {INTERNET_OPTION_CONNECT_TIMEOUT, &Options::connect_timeout},
      {INTERNET_OPTION_RECEIVE_TIMEOUT, &Options::receive_timeout},
      {INTERNET_OPTION_LOW_SPEED_LIMIT, &Options::low_speed_limit},
      {INTERNET_OPTION_LOW_SPEED_TIME, &Options::low_speed_time}};
  const auto option = std::find_if(std::begin(kOptions), std::end(kOptions),
                                   [&](const auto& known) { return known.first == dwOption; });
  if (option == std::end(kOptions)) return Fail(ERROR_INTERNET_INVALID_OPTION);
  if (!lpBuffer || dwBufferLength != sizeof(DWORD)) return Fail(ERROR_INTERNET_BAD_OPTION_LENGTH);
  std::memcpy(&(o->options.*option->second), lpBuffer, sizeof(DWORD));
  return TRUE;
}

BOOL InternetGetLastResponseInfo(LPDWORD lpdwError, LPSTR lpszBuffer, LPDWORD lpdwBufferLength) {
  // Asking does not change the answer: no Fail here.
  if (!lpdwError || !lpdwBufferLength) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const LastResponse& last = t_lastResponse;
  *lpdwError = last.error;
  if (!lpszBuffer || *lpdwBufferLength <= last.text.size()) {
    *lpdwBufferLength = static_cast<DWORD>(last.text.size() + 1);
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  std::memcpy(lpszBuffer, last.text.c_str(), last.text.size() + 1);
  *lpdwBufferLength = static_cast<DWORD>(last.text.size());
  return TRUE;
}

BOOL InternetCloseHandle(HINTERNET hInternet) {
  std::vector<std::shared_ptr<InternetObject>> closed;  // freed after the lock is left
  {
    std::lock_guard<std::mutex> lock(TableLock());
    auto& table = Table();
    const auto it = table.find(reinterpret_cast<uintptr_t>(hInternet));
    if (it == table.end()) return Fail(ERROR_INVALID_HANDLE);
    std::vector<uintptr_t> doomed{it->first};
    for (size_t i = 0; i < doomed.size(); ++i)
      for (const auto& [h, o] : table)
        if (reinterpret_cast<uintptr_t>(o->parent) == doomed[i]) doomed.push_back(h);
    // Requests first, then connections, then the session.
    for (auto d = doomed.rbegin(); d != doomed.rend(); ++d) {
      const auto found = table.find(*d);
      closed.push_back(std::move(found->second));
      table.erase(found);
    }
  }
  closed.clear();
  return TRUE;
}
