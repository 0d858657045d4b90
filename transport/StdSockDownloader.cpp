#include "transport/StdSockDownloader.h"

#include "platform/rtl/sysutils.h"

TStdSockDownloader::TStdSockDownloader() {
  TStdSockDownloader::Reset();
  FHttp = std::make_unique<THttpCli>(nullptr);
  FHttp->SetSockLogger(nullptr);
  FHttp->OnDocBegin = TNotifyEvent(this, &TStdSockDownloader::HttpDocBegin);
  FHttp->OnDocData = TDocDataEvent(this, &TStdSockDownloader::HttpDocData);
  FHttp->OnDocEnd = TNotifyEvent(this, &TStdSockDownloader::HttpDocEnd);
  // A stalled server ends the download instead of holding the updater for ever.
  FHttp->CtrlSocket()->SetTimeout(kIdleTimeoutMs);
  FLogger = std::make_unique<TSockLogger>(nullptr);
  FLogger->SetLogFileOption(lfoAppend);
  FLogger->SetLogOptions(TLogOptions{loDestEvent, loDestFile, loDestOutDebug, loAddStamp, loWsockErr, loWsockInfo,
                                     loProtSpecErr, loProtSpecInfo});
}

TStdSockDownloader::~TStdSockDownloader() {
  if (FHttp) FHttp->SetSockLogger(nullptr);
  FLogger.reset();
  FHttp.reset();
}

void TStdSockDownloader::Reset() {
  TStdDownloader::Reset();
  FLogFileName.clear();
  FReceivedCount = 0;
}

Integer TStdSockDownloader::GetStatusCode() { return FHttp ? FHttp->StatusCode() : -1; }

void TStdSockDownloader::GetStatusText(std::string& Text) { Text = FHttp ? FHttp->ReasonPhrase() : std::string(); }

void TStdSockDownloader::Download() {
  CheckReady(FHttp != nullptr, "not assigned Socket library http client");
  if (Secure()) throw EStdDownloader("Socket library does not support SSL: " + URL());
  FHttp->Proxy = ProxyHost();
  FHttp->ProxyPort = IntToStr(ProxyPort());
  FHttp->ProxyUsername = ProxyUserName();
  FHttp->ProxyPassword = ProxyPassword();
  FHttp->Accept = Accept();
  FHttp->AcceptLanguage = AcceptLanguage();
  FHttp->Connection = Connection();
  FHttp->Agent = UserAgent();
  FHttp->LowSpeedLimit = LowSpeedLimit();
  FHttp->LowSpeedTime = LowSpeedTime();
  FHttp->MaxBodySize = MaxBodySize();
  FLogger->SetLogFileName(FLogFileName);
  FHttp->SetSockLogger(FLogFileName.empty() ? nullptr : FLogger.get());
  TFileStream stream(DestFileName(), fmCreate);
  FHttp->RcvdStream = &stream;
  FHttp->URL = URL();
  try {
    FHttp->Get();
  } catch (...) {
    FHttp->RcvdStream = nullptr;
    throw;
  }
  FHttp->RcvdStream = nullptr;
}

void TStdSockDownloader::HttpDocBegin(TObject*) {
  SetExpectedSize(FHttp->ContentLength());
  FReceivedCount = 0;
  if (OnBeginWork()) OnBeginWork()(this, ExpectedSize());
}

void TStdSockDownloader::HttpDocData(TObject*, const void*, Integer Len) {
  FReceivedCount += Len;
  if (OnWork()) OnWork()(this, FReceivedCount);
}

// The final count is what arrived: the announced size for a whole body, and the bytes
// up to the close for a body without a length.
void TStdSockDownloader::HttpDocEnd(TObject*) {
  if (OnEndWork()) OnEndWork()(this, FReceivedCount);
}
