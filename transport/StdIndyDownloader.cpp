#include "transport/StdIndyDownloader.h"

#include "platform/rtl/classes.h"

TStdIndyDownloader::TStdIndyDownloader() {
  TStdIndyDownloader::Reset();
  http_ = std::make_unique<TIdHTTP>(nullptr);
  http_->SetOnWorkBegin(TWorkBeginEvent(this, &TStdIndyDownloader::HttpWorkBegin));
  http_->SetOnWork(TWorkEvent(this, &TStdIndyDownloader::HttpWork));
  http_->SetOnWorkEnd(TWorkEndEvent(this, &TStdIndyDownloader::HttpWorkEnd));
  log_ = std::make_unique<TIdLogFile>(nullptr);
  http_->SetIntercept(log_.get());
}

TStdIndyDownloader::~TStdIndyDownloader() {
  if (http_) {
    http_->SetIntercept(nullptr);
    http_->SetIOHandler(nullptr);
  }
  log_.reset();
  ssl_.reset();
  http_.reset();
}

void TStdIndyDownloader::Reset() {
  TStdDownloader::Reset();
  log_file_name_.clear();
}

Integer TStdIndyDownloader::GetStatusCode() { return http_ ? http_->ResponseCode() : -1; }

void TStdIndyDownloader::GetStatusText(std::string& Text) {
  Text = http_ ? http_->ResponseText() : std::string();
}

void TStdIndyDownloader::Download() {
  CheckReady(http_ != nullptr, "not assigned indy http client");

  // A new TLS handler for every https download; plain http runs without one.
  http_->SetIOHandler(nullptr);
  ssl_.reset();
  if (Secure()) {
    ssl_ = std::make_unique<TIdSSLIOHandlerSocket>(nullptr);
    http_->SetIOHandler(ssl_.get());
  }

  TIdProxyConnectionInfo& proxy = http_->ProxyParams();
  proxy.SetProxyServer(ProxyHost());
  proxy.SetProxyPort(ProxyPort());
  proxy.SetProxyPassword(ProxyPassword());
  proxy.SetProxyUsername(ProxyUserName());

  TIdHTTPRequest& request = http_->Request();
  request.SetAccept(Accept());
  request.SetAcceptEncoding(AcceptEncoding());
  request.SetAcceptLanguage(AcceptLanguage());
  request.SetConnection(Connection());
  request.SetUserAgent(UserAgent());
  request.SetHost(Host());
  http_->SetLowSpeedLimit(LowSpeedLimit());
  http_->SetLowSpeedTime(LowSpeedTime());
  http_->SetMaxBodySize(MaxBodySize());

  if (!log_file_name_.empty()) {
    log_->SetFilename(log_file_name_);
    log_->SetActive(true);
  } else {
    log_->SetActive(false);
    log_->SetFilename("");
  }

  received_ = 0;
  TFileStream stream(DestFileName(), fmCreate);
  http_->Get(URL(), &stream);
}

void TStdIndyDownloader::HttpWorkBegin(TObject*, TWorkMode, Int64 AWorkCountMax) {
  SetExpectedSize(AWorkCountMax);
  if (OnBeginWork()) OnBeginWork()(this, AWorkCountMax);
}

void TStdIndyDownloader::HttpWork(TObject*, TWorkMode, Int64 AWorkCount) {
  received_ = AWorkCount;
  if (OnWork()) OnWork()(this, AWorkCount);
}

// The final count is the announced size; where none was announced (or the body was
// content-coded) it is the number of bytes received.
void TStdIndyDownloader::HttpWorkEnd(TObject*, TWorkMode) {
  if (OnEndWork()) OnEndWork()(this, ExpectedSize() >= 0 ? ExpectedSize() : received_);
}
