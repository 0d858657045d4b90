// The default transport: the framework's HTTP client component, with its TLS handler for
// https URLs and its wire log. Failures raise the client's exceptions (see idhttp.h);
// GetStatusCode and GetStatusText are the client's response code and status line.
#pragma once

#include <memory>
#include <string>

#include "platform/net/idhttp.h"
#include "transport/StdDownloader.h"

class TStdIndyDownloader : public TStdDownloader {
  VX_CLASS(TStdIndyDownloader, TStdDownloader)

 public:
  TStdIndyDownloader();
  ~TStdIndyDownloader() override;

  Integer GetStatusCode() override;
  void GetStatusText(std::string& Text) override;
  void Download() override;
  void Reset() override;

  // When not empty, the traffic of each download is appended to this file.
  const std::string& LogFileName() const { return log_file_name_; }
  void SetLogFileName(const std::string& v) { log_file_name_ = v; }

  // The client, for callers that tune it (time-outs).
  TIdHTTP* Http() const { return http_.get(); }

 private:
  void HttpWorkBegin(TObject* Sender, TWorkMode AWorkMode, Int64 AWorkCountMax);
  void HttpWork(TObject* Sender, TWorkMode AWorkMode, Int64 AWorkCount);
  void HttpWorkEnd(TObject* Sender, TWorkMode AWorkMode);

  std::string log_file_name_;
  Int64 received_ = 0;
  std::unique_ptr<TIdHTTP> http_;
  std::unique_ptr<TIdSSLIOHandlerSocket> ssl_;
  std::unique_ptr<TIdLogFile> log_;
};
