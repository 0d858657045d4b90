// A small HTTP client over the Internet functions (platform/net/wininet.h). It keeps one
// session and connection per server across requests and streams each reply's body into
// a file, or into Response when no file is named.
//
// Execute never raises for network or HTTP failures: it returns false and leaves the
// stage that failed in ErrorCode (the codes below) and the reply's status, when one
// came, in StatusCode. Exceptions raised by the callbacks pass through.
#pragma once

#include <memory>
#include <string>

#include "platform/net/wininet.h"
#include "platform/rtl/events.h"
#include "platform/rtl/system.h"
#include "transport/ParseURI.h"

// After each block of the body: its size, the bytes so far and the content length
// (0 when the reply announced none).
using TWebProgressEvent = Event<Int64, Int64, Int64>;
using TWebProgressProc = void (*)(Int64 Block, Int64 Total, Int64 ContentLength);
// After a successful request, with Response.
using TWebDoneEvent = Event<const std::string&>;
using TWebDoneProc = void (*)(const std::string& Response);

// The stage that failed, in ErrorCode.
constexpr Integer WEB_ERROR_OPEN = 890;     // the session could not be opened
constexpr Integer WEB_ERROR_CONNECT = 900;  // the connection to the host could not be made
constexpr Integer WEB_ERROR_REQUEST = 910;  // the request could not be opened
constexpr Integer WEB_ERROR_SEND = 920;     // the request could not be sent (no reply)
constexpr Integer WEB_ERROR_STATUS = 930;   // no status, or one outside 200 to 299
constexpr Integer WEB_ERROR_FILE = 940;     // the destination could not be created or written
constexpr Integer WEB_ERROR_READ = 950;     // the body broke off, came short of its length or was too large
constexpr Integer WEB_ERROR_EOF = 951;      // the end of the body (0 once the request is done)
constexpr Integer WEB_ERROR_NONE = 999;     // no request made (the address has no host)

class TWebAgent : public TObject {
  VX_CLASS(TWebAgent, TObject)

 public:
  TWebAgent();
  ~TWebAgent() override;
  TWebAgent(const TWebAgent&) = delete;
  TWebAgent& operator=(const TWebAgent&) = delete;

  // One request: a POST of PostData when it is not empty, else a GET. The body of a 2xx
  // reply goes into DestFile (created only then, replacing any file of that name) or,
  // when DestFile is empty, into Response. True when the whole body arrived.
  bool Execute(const std::string& Address, const std::string& PostData,
               const std::string& DestFile);

  TURI& URI() { return *uri_; }

  // When false, replies are not kept in a cache.
  bool KeepCache() const { return keep_cache_; }
  void SetKeepCache(bool v) { keep_cache_ = v; }
  // The accept type of each request.
  const std::string& AcceptText() const { return accept_text_; }
  void SetAcceptText(const std::string& v) { accept_text_ = v; }
  // The User-Agent of the session.
  const std::string& Agent() const { return agent_; }
  void SetAgent(const std::string& v) { agent_ = v; }
  const std::string& HttpVersion() const { return http_version_; }
  void SetHttpVersion(const std::string& v) { http_version_ = v; }
  // Header lines sent with a POST.
  const std::string& PostHeaders() const { return post_headers_; }
  void SetPostHeaders(const std::string& v) { post_headers_ = v; }
  // An address to take as the previous one before the next request; cleared when used.
  const std::string& RefererURL() const { return referer_url_; }
  void SetRefererURL(const std::string& v) { referer_url_ = v; }
  // The body of the last request, when it was not written into a file.
  const std::string& Response() const { return response_; }
  // Seconds.
  Integer ConnectTimeout() const { return connect_timeout_; }
  void SetConnectTimeout(Integer v) { connect_timeout_ = v; }
  // A transfer that moves fewer than LowSpeedLimit bytes a second over LowSpeedTime
  // seconds fails (920 before the reply's header, 950 in the body); 0 in either, the
  // default, sets no such limit.
  Integer LowSpeedLimit() const { return low_speed_limit_; }
  void SetLowSpeedLimit(Integer v) { low_speed_limit_ = v; }
  Integer LowSpeedTime() const { return low_speed_time_; }
  void SetLowSpeedTime(Integer v) { low_speed_time_ = v; }
  // The most bytes a body may have, -1 (the default) for no bound: a reply that
  // announces more fails (950) before the file is made, and a body that runs past it
  // is kept up to the bound and fails (950).
  Int64 MaxBodySize() const { return max_body_size_; }
  void SetMaxBodySize(Int64 v) { max_body_size_ = v; }

  // The reply's Content-Length, -1 when it had none.
  Int64 ContentLength() const { return content_length_; }
  // The reply's status; 999 until a reply is read.
  Integer StatusCode() const { return status_code_; }
  // The stage that failed (WEB_ERROR_*), 0 after a complete transfer.
  Integer ErrorCode() const { return error_code_; }
  // Why that stage failed, as the Internet functions or the file system said it, with
  // the system's error number where there is one; empty when there is nothing more to
  // say than ErrorCode and StatusCode (a status outside 2xx, no host) and after a
  // complete transfer.
  const std::string& ErrorText() const { return error_text_; }

  const TWebProgressEvent& OnProgress() const { return on_progress_; }
  void SetOnProgress(const TWebProgressEvent& v) { on_progress_ = v; }
  TWebProgressProc OnProgressProc() const { return on_progress_proc_; }
  void SetOnProgressProc(TWebProgressProc v) { on_progress_proc_ = v; }
  const TWebDoneEvent& OnDone() const { return on_done_; }
  void SetOnDone(const TWebDoneEvent& v) { on_done_ = v; }
  TWebDoneProc OnDoneProc() const { return on_done_proc_; }
  void SetOnDoneProc(TWebDoneProc v) { on_done_proc_ = v; }

 private:
  // True when the session and connection are alive and lead to the server of URI.
  bool Connected() const;
  bool Connect();
  void CloseHandles();
  bool Transfer(HINTERNET Request, const std::string& DestFile);
  // Ends the request at Stage with the cause the Internet functions give for their last
  // failure; false.
  bool Failed(Integer Stage);
  void Progress(Int64 Block, Int64 Total, Int64 Length);

  std::unique_ptr<TURI> uri_;
  HINTERNET session_ = nullptr;
  HINTERNET connection_ = nullptr;
  // The server the connection leads to.
  std::string server_host_, server_user_, server_password_;
  Integer server_port_ = 0;

  bool keep_cache_ = false;
  std::string accept_text_ = "Accept: */*";
  std::string agent_ = "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1; SV1)";
  std::string http_version_ = "HTTP/1.0";
  std::string post_headers_ = "Content-Type: application/x-www-form-urlencoded";
  std::string referer_url_;
  std::string response_;
  Integer connect_timeout_ = 60;
  Integer low_speed_limit_ = 0;
  Integer low_speed_time_ = 0;
  Int64 max_body_size_ = -1;
  Int64 content_length_ = -1;
  Integer status_code_ = 999;
  Integer error_code_ = 999;
  std::string error_text_;
  TWebProgressEvent on_progress_;
  TWebProgressProc on_progress_proc_ = nullptr;
  TWebDoneEvent on_done_;
  TWebDoneProc on_done_proc_ = nullptr;
};
