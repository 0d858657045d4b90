// The transport over the system's own HTTP client: a synchronous GET per file, plain
// HTTP only, with the socket library's log file.
#pragma once

#include <memory>
#include <string>

#include "transport/HttpProt.h"
#include "transport/SockLogger.h"
#include "transport/StdDownloader.h"

class TStdSockDownloader : public TStdDownloader {
  VX_CLASS(TStdSockDownloader, TStdDownloader)

 public:
  // How long a download waits without any data from the server before it fails.
  static constexpr Integer kIdleTimeoutMs = 60000;

  TStdSockDownloader();
  ~TStdSockDownloader() override;

  Integer GetStatusCode() override;
  void GetStatusText(std::string& Text) override;
  void Download() override;
  void Reset() override;

  // When not empty, the client's log is appended to this file.
  const std::string& LogFileName() const { return FLogFileName; }
  void SetLogFileName(const std::string& v) { FLogFileName = v; }
  // Body bytes of the current file received so far.
  Int64 ReceivedCount() const { return FReceivedCount; }

  THttpCli* Http() const { return FHttp.get(); }

 private:
  void HttpDocBegin(TObject* Sender);
  void HttpDocData(TObject* Sender, const void* Buffer, Integer Len);
  void HttpDocEnd(TObject* Sender);

  std::string FLogFileName;
  Int64 FReceivedCount = 0;
  std::unique_ptr<THttpCli> FHttp;
  std::unique_ptr<TSockLogger> FLogger;
};
