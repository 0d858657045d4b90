#include "platform/net/idhttp.h"

#include <curl/curl.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <exception>
#include <mutex>
#include <vector>

#include "platform/net/bodylimit.h"
#include "platform/net/curlsupport.h"
#include "platform/rtl/classes.h"
#include "platform/rtl/sysutils.h"

using vxcurl::EscapeUrl;
using vxcurl::HeaderValue;

namespace {

constexpr long kReceiveBufferSize = 512 * 1024;
constexpr size_t kWriteBlock = 1024 * 1024;
constexpr auto kFlushInterval = std::chrono::milliseconds(100);

// The Host header from an authority text: without user information.
std::string HostHeader(const std::string& authority) {
  const size_t at = authority.rfind('@');
  return HeaderValue(at == std::string::npos ? authority : authority.substr(at + 1));
}

std::string Stamp() {
  using namespace std::chrono;
  const auto now = system_clock::now();
  const std::time_t t = system_clock::to_time_t(now);
  const auto ms = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
  std::tm tm{};
  localtime_r(&t, &tm);
  char buf[40];
  const size_t n = std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &tm);
  std::snprintf(buf + n, sizeof buf - n, ".%03d", static_cast<int>(ms));
  return buf;
}

}  // namespace

// ---------------------------------------------------------------------------
// TIdLogFile

TIdLogFile::TIdLogFile(TComponent* AOwner) : TComponent(AOwner) {}

TIdLogFile::~TIdLogFile() { Close(); }

void TIdLogFile::SetFilename(const std::string& Value) {
  if (Value == filename_) return;
  const bool wasActive = Active();
  Close();
  filename_ = Value;
  if (wasActive) Open();
}

void TIdLogFile::SetActive(bool Value) {
  if (Value == Active()) return;
  if (Value)
    Open();
  else
    Close();
}

void TIdLogFile::Open() {
  std::FILE* f = std::fopen(filename_.c_str(), "ab");
  if (!f)
    throw EFOpenError("Cannot open file \"" + filename_ + "\". " + std::strerror(errno));
  file_ = f;
}

void TIdLogFile::Close() {
  if (file_) std::fclose(file_);
  file_ = nullptr;
}

void TIdLogFile::Log(const char* Kind, const char* Data, size_t Size) {
  if (!file_) return;
  const std::string head = Stamp() + " " + Kind + ": ";
  bool ok = std::fwrite(head.data(), 1, head.size(), file_) == head.size() &&
            std::fwrite(Data, 1, Size, file_) == Size;
  if (ok && (Size == 0 || Data[Size - 1] != '\n')) ok = std::fwrite("\r\n", 1, 2, file_) == 2;
  if (!ok || std::fflush(file_) != 0)
    throw EWriteError("Cannot write the log file \"" + filename_ + "\". " + std::strerror(errno));
}

// ---------------------------------------------------------------------------
// TIdHTTP

// The libcurl handle lives as long as the client: its connection cache is what keeps
// connections alive from one Get to the next.
struct TIdHTTP::Session {
  Session() {
    vxcurl::GlobalInit();
    curl = curl_easy_init();
    if (!curl) throw EOutOfMemory("Cannot create an HTTP session");
  }
  ~Session() { curl_easy_cleanup(curl); }
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  CURL* curl = nullptr;
};

// The state of one Get. libcurl calls back into it; no exception may pass through
// libcurl, so each callback catches, keeps the first exception, stops the transfer
// and Get raises it once libcurl has returned.
struct TIdHTTP::Transfer {
  TIdHTTP& http;
  TStream* dest;
  int code = 0;              // status of the header block being read
  std::string status_line;   // its status line
  Int64 content_length = -1; // its Content-Length, -1 when none
  bool coded = false;        // a Content-Encoding other than identity
  bool final_reply = false;  // the final reply's header block is complete
  bool body_started = false; // OnWorkBegin was raised
  vxcurl::FoldWatch folds;
  Int64 received = 0;          // body bytes written into the stream
  // Body bytes are gathered and written in large blocks, each raising one OnWork: when
  // a block is full, when the last write is kFlushInterval ago (so progress shows on
  // slow links) and at the end.
  std::vector<char> pending;
  std::chrono::steady_clock::time_point last_flush = std::chrono::steady_clock::now();
  // The body of a reply that is not the result, kept for the exception; reading stops
  // once it is full.
  std::string error_body;
  bool error_body_cut = false;
  std::exception_ptr error;
  // Idle watch: the time the byte counts last moved.
  curl_off_t last_down = -1, last_up = -1;
  std::chrono::steady_clock::time_point last_move = std::chrono::steady_clock::now();
  bool timed_out = false;

  vxnet::TBodyLimit limit;

  Transfer(TIdHTTP& h, TStream* d) : http(h), dest(d), limit(h.max_body_size_) {}

  template <class F>
  bool Guard(F&& f) {
    try {
      f();
      return true;
    } catch (...) {
      if (!error) error = std::current_exception();
      return false;
    }
  }

  void Header(std::string_view line) {
    if (final_reply) return;  // trailers of a chunked body
    if (vxcurl::IsStatusLine(line)) {
      folds.Reset();
      status_line = TrimRight(line);
      code = vxcurl::StatusCodeOf(status_line);
      content_length = -1;
      coded = false;
      return;
    }
    if (vxcurl::IsEndOfHeader(line)) {
      if (code >= 100 && code < 200 && code != 101) return;  // an interim reply; the real one follows
      final_reply = true;
      http.response_code_ = code;
      http.response_text_ = status_line;
      // A switch to another protocol was never asked for: what follows is not HTTP.
      if (code == 101) throw EIdHTTPProtocolException(code, status_line, "");
      if (code >= 200 && code < 300) {
        // A 204 has no body, whatever length it announces.
        const Int64 announced = code == 204 ? 0 : coded ? -1 : content_length;
        if (limit.Refuses(announced)) throw EIdException(limit.AnnouncedText(announced));
        body_started = true;
        http.on_work_begin_(&http, wmRead, announced);
      } else if (coded) {
        // The bound of such a body counts its bytes as sent, but libcurl hands them over
        // decoded only, which may be nothing however many come: none is read.
        error_body_cut = true;
      }
      return;
    }
    if (!folds.Check(line)) throw EIdException("The reply's " + folds.Field() + " header is folded over lines");
    std::string name, value;
    if (!vxcurl::SplitHeaderLine(line, name, value)) return;
    if (SameText(name, "Content-Length")) {
      content_length = DecimalLength(value);
    } else if (SameText(name, "Content-Encoding")) {
      coded = !value.empty() && !SameText(value, "identity");
    }
  }

  // False when the transfer is to end here, without a failure of its own.
  bool Body(const char* data, size_t size) {
    if (!body_started) {
      const size_t room = static_cast<size_t>(vxnet::kSideBodyLimit) - error_body.size();
      error_body.append(data, size < room ? size : room);
      if (size <= room) return true;
      error_body_cut = true;
      if (http.intercept_ && http.intercept_->Active()) http.intercept_->LogStatus(vxnet::SideBodyCutText(code));
      return false;
    }
    if (pending.capacity() < kWriteBlock) pending.reserve(kWriteBlock);
    const auto room = static_cast<size_t>(limit.Room(received + static_cast<Int64>(pending.size()),
                                                     static_cast<Int64>(size)));
    pending.insert(pending.end(), data, data + room);
    const auto now = std::chrono::steady_clock::now();
    if (room < size) {
      Flush(now);
      throw EIdException(limit.OverrunText());
    }
    if (pending.size() >= kWriteBlock || now - last_flush >= kFlushInterval) Flush(now);
    return true;
  }

  void Flush(std::chrono::steady_clock::time_point now) {
    last_flush = now;
    if (pending.empty()) return;
    WriteBody(pending.data(), pending.size());
    received += static_cast<Int64>(pending.size());
    pending.clear();
    http.on_work_(&http, wmRead, received);
  }

  void WriteBody(const char* data, size_t size);

  static size_t OnHeader(char* data, size_t size, size_t count, void* self) {
    auto* t = static_cast<Transfer*>(self);
    const size_t n = size * count;
    return t->Guard([&] { t->Header(std::string_view(data, n)); }) && !t->error_body_cut ? n : 0;
  }

  static size_t OnWrite(char* data, size_t size, size_t count, void* self) {
    auto* t = static_cast<Transfer*>(self);
    const size_t n = size * count;
    bool more = false;
    return t->Guard([&] { more = t->Body(data, n); }) && more ? n : CURL_WRITEFUNC_ERROR;
  }

  // Called at least once a second while the transfer runs: writes out gathered bytes
  // that wait too long, and watches for a peer that sends nothing.
  static int OnProgress(void* self, curl_off_t, curl_off_t down, curl_off_t, curl_off_t up) {
    auto* t = static_cast<Transfer*>(self);
    const auto now = std::chrono::steady_clock::now();
    if (!t->pending.empty() && now - t->last_flush >= kFlushInterval &&
        !t->Guard([&] { t->Flush(now); }))
      return 1;
    if (t->http.read_timeout_ <= 0) return 0;
    if (down != t->last_down || up != t->last_up) {
      t->last_down = down;
      t->last_up = up;
      t->last_move = now;
      return 0;
    }
    t->timed_out = now - t->last_move > std::chrono::milliseconds(t->http.read_timeout_);
    return t->timed_out ? 1 : 0;
  }

  static int OnDebug(CURL*, curl_infotype type, char* data, size_t size, void* self) {
    auto* t = static_cast<Transfer*>(self);
    TIdLogFile* log = t->http.intercept_;
    if (!log || !log->Active() || t->error) return 0;
    t->Guard([&] {
      switch (type) {
        case CURLINFO_TEXT:
          log->LogStatus(TrimRight(std::string_view(data, size)));
          break;
        case CURLINFO_HEADER_OUT:
        case CURLINFO_DATA_OUT:
          log->LogSent(data, size);
          break;
        case CURLINFO_HEADER_IN:
        case CURLINFO_DATA_IN:
          log->LogReceived(data, size);
          break;
        default:
          break;
      }
    });
    return 0;
  }
};

void TIdHTTP::Transfer::WriteBody(const char* data, size_t size) {
  dest->WriteBuffer(data, static_cast<Int64>(size));
}

TIdSSLIOHandlerSocket::~TIdSSLIOHandlerSocket() = default;

TIdHTTP::TIdHTTP(TComponent* AOwner) : TComponent(AOwner), session_(std::make_unique<Session>()) {}

TIdHTTP::~TIdHTTP() {
  SetIOHandler(nullptr);
  SetIntercept(nullptr);
}

void TIdHTTP::SetIOHandler(TIdSSLIOHandlerSocket* Value) {
  if (Value == io_handler_) return;
  if (io_handler_) io_handler_->RemoveFreeNotification(this);
  io_handler_ = Value;
  if (io_handler_) io_handler_->FreeNotification(this);
}

void TIdHTTP::SetIntercept(TIdLogFile* Value) {
  if (Value == intercept_) return;
  if (intercept_) intercept_->RemoveFreeNotification(this);
  intercept_ = Value;
  if (intercept_) intercept_->FreeNotification(this);
}

void TIdHTTP::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation != TOperation::opRemove) return;
  if (AComponent == io_handler_) io_handler_ = nullptr;
  if (AComponent == intercept_) intercept_ = nullptr;
}

void TIdHTTP::Get(const std::string& AURL, TStream* AResponseContent) {
  response_code_ = -1;
  response_text_.clear();
  if (!AResponseContent) throw EIdException("No stream to receive the reply");

  const size_t schemeEnd = AURL.find("://");
  const std::string scheme = schemeEnd == std::string::npos ? "" : AURL.substr(0, schemeEnd);
  const bool secure = SameText(scheme, "https");
  if (!secure && !SameText(scheme, "http"))
    throw EIdException("Unknown protocol in \"" + AURL + "\"");
  if (secure && !io_handler_) throw EIdException("An SSL I/O handler is needed for " + AURL);

  CURL* c = session_->curl;
  // A reset keeps the connection cache; every option is set anew below.
  curl_easy_reset(c);
  char errbuf[CURL_ERROR_SIZE] = {0};
  Transfer t(*this, AResponseContent);

  const std::string url = EscapeUrl(AURL);
  curl_easy_setopt(c, CURLOPT_URL, url.c_str());
  curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(c, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
  curl_easy_setopt(c, CURLOPT_HTTPGET, 1L);
  curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 0L);
  curl_easy_setopt(c, CURLOPT_BUFFERSIZE, kReceiveBufferSize);
  curl_easy_setopt(c, CURLOPT_ERRORBUFFER, errbuf);
  curl_easy_setopt(c, CURLOPT_HEADERFUNCTION, &Transfer::OnHeader);
  curl_easy_setopt(c, CURLOPT_HEADERDATA, &t);
  curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, &Transfer::OnWrite);
  curl_easy_setopt(c, CURLOPT_WRITEDATA, &t);
  curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, &Transfer::OnProgress);
  curl_easy_setopt(c, CURLOPT_XFERINFODATA, &t);
  if (read_timeout_ > 0)
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(read_timeout_));
  if (low_speed_limit_ > 0 && low_speed_time_ > 0) {
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, static_cast<long>(low_speed_limit_));
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, static_cast<long>(low_speed_time_));
  }

  vxcurl::HeaderList headers;
  std::string accept = "Accept:";  // without a value: no Accept header at all
  if (!request_.Accept().empty()) accept.append(" ").append(HeaderValue(request_.Accept()));
  headers.Add(accept);
  if (!request_.AcceptLanguage().empty())
    headers.Add("Accept-Language: " + HeaderValue(request_.AcceptLanguage()));
  if (!request_.Connection().empty())
    headers.Add("Connection: " + HeaderValue(request_.Connection()));
  const std::string host = HostHeader(request_.Host());
  if (!host.empty()) headers.Add("Host: " + host);
  curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers.get());
  const std::string userAgent = HeaderValue(request_.UserAgent());
  if (!userAgent.empty()) curl_easy_setopt(c, CURLOPT_USERAGENT, userAgent.c_str());
  // libcurl sends this text as it is and decodes every coding it names.
  const std::string encoding = HeaderValue(request_.AcceptEncoding());
  if (!encoding.empty()) curl_easy_setopt(c, CURLOPT_ACCEPT_ENCODING, encoding.c_str());

  const std::string proxy = proxy_.ProxyServer();
  curl_easy_setopt(c, CURLOPT_PROXY, proxy.c_str());  // empty: no proxy at all
  if (!proxy.empty()) {
    curl_easy_setopt(c, CURLOPT_PROXYTYPE, static_cast<long>(CURLPROXY_HTTP));
    curl_easy_setopt(c, CURLOPT_PROXYPORT, static_cast<long>(proxy_.ProxyPort()));
    curl_easy_setopt(c, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
    if (!proxy_.ProxyUsername().empty()) {
      curl_easy_setopt(c, CURLOPT_PROXYAUTH, static_cast<long>(CURLAUTH_BASIC));
      curl_easy_setopt(c, CURLOPT_PROXYUSERNAME, proxy_.ProxyUsername().c_str());
      curl_easy_setopt(c, CURLOPT_PROXYPASSWORD, proxy_.ProxyPassword().c_str());
    }
  }

  if (secure) {
    curl_easy_setopt(c, CURLOPT_SSLVERSION, static_cast<long>(CURL_SSLVERSION_TLSv1_2));
    curl_easy_setopt(c, CURLOPT_SSL_VERIFYHOST, 2L);
    vxcurl::UseTrustStore(c);
  }

  if (intercept_ && intercept_->Active()) {
    curl_easy_setopt(c, CURLOPT_VERBOSE, 1L);
    curl_easy_setopt(c, CURLOPT_DEBUGFUNCTION, &Transfer::OnDebug);
    curl_easy_setopt(c, CURLOPT_DEBUGDATA, &t);
  }

  const CURLcode rc = curl_easy_perform(c);
  curl_easy_setopt(c, CURLOPT_ERRORBUFFER, nullptr);

  if (t.error) std::rethrow_exception(t.error);
  // What arrived is written, also when the transfer failed.
  t.Flush(std::chrono::steady_clock::now());
  // A cut error body ends the reply as its end would have.
  if (rc == CURLE_OK || t.error_body_cut) {
    if (!t.final_reply) throw EIdSocketError("The server sent no reply", 0);
    if (response_code_ < 200 || response_code_ >= 300)
      throw EIdHTTPProtocolException(response_code_, response_text_, std::move(t.error_body));
    on_work_end_(this, wmRead);
    return;
  }

  if (response_code_ < 0) {
    long connectCode = 0;
    curl_easy_getinfo(c, CURLINFO_HTTP_CONNECTCODE, &connectCode);
    if (connectCode > 0) response_code_ = static_cast<Integer>(connectCode);
  }
  if (rc == CURLE_ABORTED_BY_CALLBACK && t.timed_out)
    throw EIdSocketError("Read timed out (nothing received for " + std::to_string(read_timeout_) +
                             " ms)",
                         ETIMEDOUT);
  if (vxcurl::IsHeaderLineTooLong(rc, t.final_reply)) throw EIdException(vxcurl::kHeaderLineTooLong);
  std::string message = errbuf[0] ? errbuf : curl_easy_strerror(rc);
  if (vxcurl::IsTlsFailure(rc)) throw EIdSSLError(message);
  if (rc == CURLE_BAD_CONTENT_ENCODING) throw EIdException(message);
  if (rc == CURLE_PARTIAL_FILE && t.content_length >= 0 && !t.coded)
    message = "Connection closed after " + std::to_string(t.received) + " of " +
              std::to_string(t.content_length) + " bytes";
  long osError = 0;
  curl_easy_getinfo(c, CURLINFO_OS_ERRNO, &osError);
  throw EIdSocketError(message, static_cast<Integer>(osError));
}
