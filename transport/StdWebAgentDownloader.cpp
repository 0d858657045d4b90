#include "transport/StdWebAgentDownloader.h"

#include "platform/rtl/sysutils.h"

TStdWebAgentDownloader::TStdWebAgentDownloader() {
  TStdWebAgentDownloader::Reset();
  agent_ = std::make_unique<TWebAgent>();
  agent_->SetOnProgress(TWebProgressEvent(this, &TStdWebAgentDownloader::AgentProgress));
}

TStdWebAgentDownloader::~TStdWebAgentDownloader() = default;

void TStdWebAgentDownloader::Reset() {
  TStdDownloader::Reset();
  SetExpectedSize(0);
  started_ = false;
}

Integer TStdWebAgentDownloader::GetStatusCode() { return agent_ ? agent_->StatusCode() : 999; }

void TStdWebAgentDownloader::GetStatusText(std::string& Text) {
  Text = IntToStr(agent_ ? agent_->ErrorCode() : WEB_ERROR_NONE);
}

void TStdWebAgentDownloader::Download() {
  CheckReady(agent_ != nullptr, "not assigned WebAgent http client");
  agent_->SetAcceptText(Accept());
  agent_->SetAgent(UserAgent());
  agent_->SetLowSpeedLimit(LowSpeedLimit());
  agent_->SetLowSpeedTime(LowSpeedTime());
  agent_->SetMaxBodySize(MaxBodySize());
  SetFailureText("");
  if (agent_->Execute(URL(), "", DestFileName())) return;
  // No exception tells the caller: the failure is said in words here.
  std::string text = "Stage " + IntToStr(agent_->ErrorCode());
  if (agent_->StatusCode() != 999) text += ", status " + IntToStr(agent_->StatusCode());
  if (!agent_->ErrorText().empty()) text += ": " + agent_->ErrorText();
  SetFailureText(text);
}

void TStdWebAgentDownloader::AgentProgress(Int64, Int64 Total, Int64 ContentLength) {
  if (!started_) {
    SetExpectedSize(ContentLength);
    OnBeginWork()(this, ContentLength);
    started_ = true;
  } else if (Total == ContentLength) {
    OnEndWork()(this, ContentLength);
  } else {
    OnWork()(this, Total);
  }
}
