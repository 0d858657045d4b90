// The transport over the Internet functions, through a web agent (WebAgent.h). Unlike
// the other transports it raises nothing for network or HTTP failures: Download returns
// and the outcome is in GetStatusCode (the reply's status, 999 when none came) and
// GetStatusText (the decimal code of the stage that failed, "0" after a complete
// transfer), with FailureText telling why in words; the caller checks the file it got.
// The system's proxy settings apply; the downloader's proxy, language, encoding and
// connection fields are not used.
//
// Progress differs from the other transports: the first block raises OnBeginWork with
// the announced length (0 when none) and no OnWork; later blocks raise OnWork with the
// bytes so far, or OnEndWork once they reach the announced length. So a body of one
// block raises OnBeginWork alone, and one without a length never raises OnEndWork.
#pragma once

#include <memory>
#include <string>

#include "transport/StdDownloader.h"
#include "transport/WebAgent.h"

class TStdWebAgentDownloader : public TStdDownloader {
  VX_CLASS(TStdWebAgentDownloader, TStdDownloader)

 public:
  TStdWebAgentDownloader();
  ~TStdWebAgentDownloader() override;

  Integer GetStatusCode() override;
  void GetStatusText(std::string& Text) override;
  void Download() override;
  void Reset() override;

  // The agent, for callers that tune it (connect time-out).
  TWebAgent* WebAgent() const { return agent_.get(); }

 private:
  void AgentProgress(Int64 Block, Int64 Total, Int64 ContentLength);

  bool started_ = false;
  std::unique_ptr<TWebAgent> agent_;
};
