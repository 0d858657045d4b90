// The framework's HTTP client component set, as far as the downloaders use it: a
// synchronous GET into a stream on the calling thread, request header fields, proxy
// parameters (Basic proxy authentication), work events, the reply's code and text,
// a TLS I/O handler and a wire-log intercept. It runs over libcurl with OpenSSL.
//
// What the client guarantees:
// - One connection cache per TIdHTTP: consecutive Gets on one object reuse a kept-alive
//   connection (also through a proxy).
// - Work events are raised on the calling thread for the body of a successful (2xx)
//   reply only: OnWorkBegin(wmRead, announced length) once the reply's header is in,
//   OnWork(wmRead, bytes so far) per block written into the stream (blocks of 1 MiB, or
//   what came within 100 ms on a slow link), OnWorkEnd(wmRead) once the whole body is
//   in. What arrived before a failure is written into the stream. The announced length is -1 when the reply gives no
//   Content-Length, and also when the body is content-coded (the length then counts
//   coded bytes while the counts of OnWork are decoded bytes).
// - Every coding named in Request().AcceptEncoding() is decoded before the stream
//   sees the body (gzip, deflate, br, zstd).
// - HTTPS needs an attached TIdSSLIOHandlerSocket: TLS 1.2 or later, the server's
//   certificate chain and host name verified against the system's trust store. As
//   with OpenSSL's tools, the environment variables SSL_CERT_FILE and SSL_CERT_DIR
//   name another CA bundle or folder in place of the system's.
// - Failures raise: EIdHTTPProtocolException for a reply of 300 or above (redirects are
//   not followed), EIdSSLError for a failed TLS handshake or certificate check,
//   EIdSocketError for connection failures, a body cut short, a stalled peer (nothing
//   received for ReadTimeout) or a slow one (see LowSpeedLimit); EIdException for a
//   reply that is not valid HTTP, has a header line too long (over 100 KiB) or a body
//   too large (see MaxBodySize). An exception raised by a work-event handler or by the
//   stream aborts the transfer and leaves Get as it is.
// - ResponseCode and ResponseText describe the last reply: its status code and its
//   status line ("HTTP/1.1 404 Not Found"); -1 and empty when no reply arrived.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "platform/rtl/classes.h"
#include "platform/rtl/events.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/system.h"

class TStream;

enum TWorkMode { wmRead, wmWrite };
using TWorkBeginEvent = Event<TObject*, TWorkMode, Int64>;
using TWorkEvent = Event<TObject*, TWorkMode, Int64>;
using TWorkEndEvent = Event<TObject*, TWorkMode>;

VX_EXCEPTION(EIdException, Exception)

// A connection that could not be made, broke, stalled or ended before the body did.
class EIdSocketError : public EIdException {
  VX_CLASS(EIdSocketError, EIdException)

 public:
  EIdSocketError(std::string message, Integer lastError)
      : EIdException(std::move(message)), last_error_(lastError) {}
  // The operating system's error number behind the failure, 0 when there is none.
  Integer LastError() const { return last_error_; }

 private:
  Integer last_error_ = 0;
};

// The TLS handshake failed or the server's certificate was not accepted.
VX_EXCEPTION(EIdSSLError, EIdException)

// The server answered with a status of 300 or above. The message is the status line.
class EIdHTTPProtocolException : public EIdException {
  VX_CLASS(EIdHTTPProtocolException, EIdException)

 public:
  EIdHTTPProtocolException(Integer code, std::string statusLine, std::string body)
      : EIdException(std::move(statusLine)), code_(code), body_(std::move(body)) {}
  Integer ErrorCode() const { return code_; }
  // The start of the reply's body (at most 64 KiB), as the server sent it.
  const std::string& ErrorMessage() const { return body_; }

 private:
  Integer code_ = 0;
  std::string body_;
};

// Writes the traffic of the connection it is attached to into a named file while it is
// active: one entry per block, "yyyy-mm-dd hh:nn:ss.zzz Sent: ", "Recv: " or "Stat: "
// followed by the bytes as they went over the connection (after TLS). Activating opens
// the file for appending (creating it when missing), deactivating closes it.
class TIdLogFile : public TComponent {
  VX_CLASS(TIdLogFile, TComponent)

 public:
  explicit TIdLogFile(TComponent* AOwner);
  ~TIdLogFile() override;

  const std::string& Filename() const { return filename_; }
  // Changing the name of an active log closes the old file and opens the new one.
  void SetFilename(const std::string& Value);
  bool Active() const { return file_ != nullptr; }
  // Raises EFOpenError when the file cannot be opened.
  void SetActive(bool Value);

  void LogSent(const char* Data, size_t Size) { Log("Sent", Data, Size); }
  void LogReceived(const char* Data, size_t Size) { Log("Recv", Data, Size); }
  void LogStatus(const std::string& Text) { Log("Stat", Text.data(), Text.size()); }

 private:
  void Open();
  void Close();
  void Log(const char* Kind, const char* Data, size_t Size);

  std::string filename_;
  std::FILE* file_ = nullptr;
};

// Lets a TIdHTTP speak HTTPS. See the file comment for the TLS rules.
class TIdSSLIOHandlerSocket : public TComponent {
  VX_CLASS(TIdSSLIOHandlerSocket, TComponent)

 public:
  explicit TIdSSLIOHandlerSocket(TComponent* AOwner) : TComponent(AOwner) {}
  ~TIdSSLIOHandlerSocket() override;
};

// The request header fields of a TIdHTTP. An empty field sends no such header line.
class TIdHTTPRequest {
 public:
  const std::string& Accept() const { return accept_; }
  void SetAccept(const std::string& v) { accept_ = v; }
  const std::string& AcceptEncoding() const { return accept_encoding_; }
  void SetAcceptEncoding(const std::string& v) { accept_encoding_ = v; }
  const std::string& AcceptLanguage() const { return accept_language_; }
  void SetAcceptLanguage(const std::string& v) { accept_language_ = v; }
  const std::string& Connection() const { return connection_; }
  void SetConnection(const std::string& v) { connection_ = v; }
  const std::string& UserAgent() const { return user_agent_; }
  void SetUserAgent(const std::string& v) { user_agent_ = v; }
  // The Host header. User information in front of an "@" is never sent; when empty the
  // host and port come from the URL.
  const std::string& Host() const { return host_; }
  void SetHost(const std::string& v) { host_ = v; }

 private:
  std::string accept_ = "*/*";
  std::string accept_encoding_;
  std::string accept_language_;
  std::string connection_;
  std::string user_agent_;
  std::string host_;
};

// The HTTP proxy of a TIdHTTP. An empty ProxyServer means a direct connection (proxy
// variables of the environment are not used). A ProxyUsername sends Basic
// credentials to the proxy.
class TIdProxyConnectionInfo {
 public:
  const std::string& ProxyServer() const { return server_; }
  void SetProxyServer(const std::string& v) { server_ = v; }
  Integer ProxyPort() const { return port_; }
  void SetProxyPort(Integer v) { port_ = v; }
  const std::string& ProxyUsername() const { return username_; }
  void SetProxyUsername(const std::string& v) { username_ = v; }
  const std::string& ProxyPassword() const { return password_; }
  void SetProxyPassword(const std::string& v) { password_ = v; }

 private:
  std::string server_;
  Integer port_ = 0;
  std::string username_;
  std::string password_;
};

class TIdHTTP : public TComponent {
  VX_CLASS(TIdHTTP, TComponent)

 public:
  explicit TIdHTTP(TComponent* AOwner);
  ~TIdHTTP() override;

  TIdHTTPRequest& Request() { return request_; }
  TIdProxyConnectionInfo& ProxyParams() { return proxy_; }

  // Neither is owned: the client only refers to them and forgets them when they are freed.
  TIdSSLIOHandlerSocket* IOHandler() const { return io_handler_; }
  void SetIOHandler(TIdSSLIOHandlerSocket* Value);
  TIdLogFile* Intercept() const { return intercept_; }
  void SetIntercept(TIdLogFile* Value);

  // Milliseconds without any data (while connecting or receiving) after which a
  // request fails; 60000 by default, 0 for no limit.
  Integer ReadTimeout() const { return read_timeout_; }
  void SetReadTimeout(Integer Value) { read_timeout_ = Value; }
  // A request that moves fewer than LowSpeedLimit bytes a second over LowSpeedTime
  // seconds fails with EIdSocketError ("Operation too slow..."); 0 in either, the
  // default, sets no such limit.
  Integer LowSpeedLimit() const { return low_speed_limit_; }
  void SetLowSpeedLimit(Integer Value) { low_speed_limit_ = Value; }
  Integer LowSpeedTime() const { return low_speed_time_; }
  void SetLowSpeedTime(Integer Value) { low_speed_time_ = Value; }
  // The most bytes the body may have (decoded), -1 (the default) for no bound. A reply
  // that announces more raises EIdException before its body; a body that runs past it
  // is written up to the bound, then EIdException ends the request.
  Int64 MaxBodySize() const { return max_body_size_; }
  void SetMaxBodySize(Int64 Value) { max_body_size_ = Value; }

  const TWorkBeginEvent& OnWorkBegin() const { return on_work_begin_; }
  void SetOnWorkBegin(const TWorkBeginEvent& v) { on_work_begin_ = v; }
  const TWorkEvent& OnWork() const { return on_work_; }
  void SetOnWork(const TWorkEvent& v) { on_work_ = v; }
  const TWorkEndEvent& OnWorkEnd() const { return on_work_end_; }
  void SetOnWorkEnd(const TWorkEndEvent& v) { on_work_end_ = v; }

  // Fetches AURL (http or https) and writes the body of a 2xx reply into
  // AResponseContent at its position.
  void Get(const std::string& AURL, TStream* AResponseContent);

  Integer ResponseCode() const { return response_code_; }
  const std::string& ResponseText() const { return response_text_; }

 protected:
  void Notification(TComponent* AComponent, TOperation Operation) override;

 private:
  struct Session;
  struct Transfer;
  friend struct Transfer;

  TIdHTTPRequest request_;
  TIdProxyConnectionInfo proxy_;
  TIdSSLIOHandlerSocket* io_handler_ = nullptr;
  TIdLogFile* intercept_ = nullptr;
  Integer read_timeout_ = 60000;
  Integer low_speed_limit_ = 0;
  Integer low_speed_time_ = 0;
  Int64 max_body_size_ = -1;
  TWorkBeginEvent on_work_begin_;
  TWorkEvent on_work_;
  TWorkEndEvent on_work_end_;
  Integer response_code_ = -1;
  std::string response_text_;
  std::unique_ptr<Session> session_;
};
