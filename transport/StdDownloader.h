// The abstract file downloader: one HTTP or HTTPS GET of one URL into one local file,
// performed inside Download on the calling thread, with three progress events. The
// transports derive from it and are interchangeable.
//
// Use for one file: Reset; SetURL; SetDestFileName; Download (raises on failure, after
// which GetStatusCode and GetStatusText describe the last reply). Reset restores every
// default below, the proxy settings included; the events are kept.
//
// Every transport gives up a transfer that brings fewer than LowSpeedLimit bytes a
// second over LowSpeedTime seconds, so that a server that trickles cannot hold the
// caller for hours.
#pragma once

#include <string>

#include "platform/rtl/classes.h"
#include "platform/rtl/events.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/system.h"

// A progress event: the downloader and a byte count.
using TStdWorkEvent = Event<TObject*, Int64>;

VX_EXCEPTION(EStdDownloader, Exception)

class TStdDownloader : public TPersistent {
  VX_CLASS(TStdDownloader, TPersistent)

 public:
  // Clears the events and sets every default (Reset).
  TStdDownloader();
  ~TStdDownloader() override = default;
  TStdDownloader(const TStdDownloader&) = delete;
  TStdDownloader& operator=(const TStdDownloader&) = delete;

  // The status of the last request, as the transport reports it.
  virtual Integer GetStatusCode() = 0;
  virtual void GetStatusText(std::string& Text) = 0;
  // Fetches URL into DestFileName, raising OnBeginWork, OnWork and OnEndWork on the way.
  virtual void Download() = 0;
  // Restores every default of the properties below; transports then clear their own
  // per-download state.
  virtual void Reset();

  // Parses Text (ParseURL) and stores it, unless it equals URL exactly. A text that does
  // not parse raises and leaves URL, Host and Secure as they were.
  void SetURL(const std::string& Text);
  const std::string& URL() const { return url_; }
  // The authority of the URL (between "://" and the next "/", user information and port
  // included); empty when no "/" follows it.
  const std::string& Host() const { return host_; }
  // True for an https URL.
  bool Secure() const { return secure_; }

  const std::string& Accept() const { return accept_; }
  void SetAccept(const std::string& v) { accept_ = v; }
  const std::string& AcceptLanguage() const { return accept_language_; }
  void SetAcceptLanguage(const std::string& v) { accept_language_ = v; }
  const std::string& AcceptEncoding() const { return accept_encoding_; }
  void SetAcceptEncoding(const std::string& v) { accept_encoding_ = v; }
  const std::string& UserAgent() const { return user_agent_; }
  void SetUserAgent(const std::string& v) { user_agent_ = v; }
  const std::string& Connection() const { return connection_; }
  void SetConnection(const std::string& v) { connection_ = v; }

  // The HTTP proxy; an empty host means none.
  const std::string& ProxyHost() const { return proxy_host_; }
  void SetProxyHost(const std::string& v) { proxy_host_ = v; }
  Integer ProxyPort() const { return proxy_port_; }
  void SetProxyPort(Integer v) { proxy_port_ = v; }
  const std::string& ProxyUserName() const { return proxy_user_name_; }
  void SetProxyUserName(const std::string& v) { proxy_user_name_ = v; }
  const std::string& ProxyPassword() const { return proxy_password_; }
  void SetProxyPassword(const std::string& v) { proxy_password_ = v; }

  const std::string& DestFileName() const { return dest_file_name_; }
  void SetDestFileName(const std::string& v) { dest_file_name_ = v; }
  // The size announced at the start of the body.
  Int64 ExpectedSize() const { return expected_size_; }

  // The slowest transfer that is kept up: fewer bytes a second than LowSpeedLimit
  // for LowSpeedTime seconds ends it as a failure; 0 in either turns the watch off.
  // By default 100 bytes a second for 60 seconds (the environment variable
  // VX_LOW_SPEED_TIME, in seconds, gives another time).
  static constexpr Integer kLowSpeedLimit = 100;
  static constexpr Integer kLowSpeedTime = 60;
  Integer LowSpeedLimit() const { return low_speed_limit_; }
  void SetLowSpeedLimit(Integer v) { low_speed_limit_ = v; }
  Integer LowSpeedTime() const { return low_speed_time_; }
  void SetLowSpeedTime(Integer v) { low_speed_time_ = v; }

  // The most bytes the file may have, -1 (the default) for no bound: a reply that
  // announces more fails before its body, and a body that runs past it fails there,
  // on every transport.
  Int64 MaxBodySize() const { return max_body_size_; }
  void SetMaxBodySize(Int64 v) { max_body_size_ = v; }

  // Why the last Download failed, for a transport that reports failures by returning
  // instead of raising; empty after a success, after a failure that raised and after
  // Reset.
  const std::string& FailureText() const { return failure_text_; }

  // OnBeginWork: the expected size, once the body begins. OnWork: the bytes of this file
  // so far. OnEndWork: once the body is complete.
  const TStdWorkEvent& OnBeginWork() const { return on_begin_work_; }
  void SetOnBeginWork(const TStdWorkEvent& v) { on_begin_work_ = v; }
  const TStdWorkEvent& OnWork() const { return on_work_; }
  void SetOnWork(const TStdWorkEvent& v) { on_work_ = v; }
  const TStdWorkEvent& OnEndWork() const { return on_end_work_; }
  void SetOnEndWork(const TStdWorkEvent& v) { on_end_work_ = v; }

 protected:
  // Sets Secure and Host from Text; raises EStdDownloader for a scheme other than http
  // and https (a text without "://" is taken as http).
  void ParseURL(const std::string& Text);
  // The checks every Download makes first: the client exists (ClientText names it), then
  // DestFileName and URL are set.
  void CheckReady(bool HasClient, const std::string& ClientText) const;
  void SetExpectedSize(Int64 v) { expected_size_ = v; }
  void SetFailureText(const std::string& v) { failure_text_ = v; }

 private:
  std::string url_;
  std::string host_;
  bool secure_ = false;
  std::string accept_;
  std::string accept_language_;
  std::string accept_encoding_;
  std::string user_agent_;
  std::string connection_;
  std::string proxy_host_;
  Integer proxy_port_ = 80;
  std::string proxy_password_;
  std::string proxy_user_name_;
  std::string dest_file_name_;
  Int64 expected_size_ = 0;
  Integer low_speed_limit_ = kLowSpeedLimit;
  Integer low_speed_time_ = kLowSpeedTime;
  Int64 max_body_size_ = -1;
  std::string failure_text_;
  TStdWorkEvent on_begin_work_;
  TStdWorkEvent on_work_;
  TStdWorkEvent on_end_work_;
};
