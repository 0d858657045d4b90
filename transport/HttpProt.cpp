#include "transport/HttpProt.h"

#include <algorithm>
#include <cstring>
#include <ctime>

#include "platform/net/bodylimit.h"
#include "platform/rtl/sysutils.h"
#include "platform/vcl/extctrls.h"
#include "platform/vcl/forms.h"
#include "platform/win/sync.h"
#include "transport/MimeUtil.h"
#include "transport/SockUrl.h"

namespace {

constexpr UINT WM_HTTP_REQUEST_DONE = 0x401;
constexpr UINT WM_HTTP_SET_READY = 0x402;
constexpr UINT WM_HTTP_LOGIN = 0x403;
constexpr size_t kReceiveRoom = 8190;
constexpr size_t kBodyBlock = 256 * 1024;
// A chunk size of more than 15 hexadecimal digits does not fit the counters.
constexpr int kMaxChunkDigits = 15;
constexpr int64_t kNsPerMs = 1'000'000;
constexpr int64_t kNsPerSecond = 1000 * kNsPerMs;

bool StartsWithNoCase(std::string_view S, std::string_view Prefix) {
  return S.size() >= Prefix.size() && SameText(S.substr(0, Prefix.size()), Prefix);
}

bool HasControlChars(const std::string& S) {
  return std::any_of(S.begin(), S.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; });
}

// Spaces in a request target are sent percent-encoded.
std::string EncodeSpaces(const std::string& S) {
  std::string out;
  for (char c : S) {
    if (c == ' ')
      out += "%20";
    else
      out += c;
  }
  return out;
}

// The part of a path up to and including the last "/" or ":" before its query.
std::string PathDirectory(const std::string& Path) {
  const size_t q = Path.find('?');
  const std::string head = Path.substr(0, q);
  const size_t slash = head.find_last_of("/:");
  return slash == std::string::npos ? std::string() : head.substr(0, slash + 1);
}

}  // namespace

std::string HttpStateName(THttpClientState State) {
  static const char* const names[] = {"httpReady",          "httpNotConnected", "httpConnected",
                                      "httpDnsLookup",      "httpDnsLookupDone", "httpWaitingHeader",
                                      "httpWaitingBody",    "httpBodyReceived", "httpWaitingProxyConnect",
                                      "httpClosing",        "httpAborting"};
  const auto i = static_cast<size_t>(State);
  return i < std::size(names) ? names[i] : "INVALID STATE";
}

std::string RFC1123Date(double DateTime) {
  Word y, m, d, h, mi, s, ms;
  DecodeDate(DateTime, y, m, d);
  DecodeTime(DateTime, h, mi, s, ms);
  std::tm local{};
  local.tm_year = y - 1900;
  local.tm_mon = m - 1;
  local.tm_mday = d;
  local.tm_hour = h;
  local.tm_min = mi;
  local.tm_sec = s;
  local.tm_isdst = -1;
  const std::time_t t = std::mktime(&local);
  std::tm utc{};
  gmtime_r(&t, &utc);
  static const char days[] = "SunMonTueWedThuFriSat";
  static const char months[] = "JanFebMarAprMayJunJulAugSepOctNovDec";
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.3s, %02d %.3s %04d %02d:%02d:%02d", days + 3 * utc.tm_wday, utc.tm_mday,
                months + 3 * utc.tm_mon, utc.tm_year + 1900, utc.tm_hour, utc.tm_min, utc.tm_sec);
  return buf;
}

THttpCli::THttpCli(TComponent* AOwner) : TComponent(AOwner) {
  FWindowHandle = AllocateHWnd(TWndMethod(this, &THttpCli::WndProc));
  FDoAuthor = std::make_unique<TStringList>();
  FRcvdHeader = std::make_unique<TStringList>();
  FState = httpReady;
  FContentCodingHnd = std::make_unique<THttpContCodHandler>(
      &RcvdStream, [this](const void* Data, Integer Count) { return ContentWrite(Data, Count); });
  FOptions = Options();
  CreateSocket();
  FCtrlSocket->OnSessionClosed = TSessionClosed(this, &THttpCli::SocketSessionClosed);
  FCtrlSocket->OnDataAvailable = TDataAvailable(this, &THttpCli::SocketDataAvailable);
  FCtrlSocket->OnSessionConnected = TSessionConnected(this, &THttpCli::SocketSessionConnected);
  FCtrlSocket->OnDataSent = TDataSent(this, &THttpCli::SocketDataSent);
  FCtrlSocket->OnDnsLookupDone = TDnsLookupDone(this, &THttpCli::SocketDnsLookupDone);
  FCtrlSocket->OnSocksError = TSocksErrorEvent(this, &THttpCli::SocketSocksError);
  FCtrlSocket->OnSocksConnected = TSessionConnected(this, &THttpCli::SocketSocksConnected);
  FCtrlSocket->OnError = TNotifyEvent(this, &THttpCli::SocketError);
  Touch();
}

THttpCli::~THttpCli() {
  *FAlive = false;
  FBandwidthTimer.reset();
  FCtrlSocket.reset();
  FContentCodingHnd.reset();
  if (FWindowHandle) DeallocateHWnd(FWindowHandle);
}

void THttpCli::CreateSocket() { FCtrlSocket = std::make_unique<TWSocket>(nullptr); }

void THttpCli::SetMultiThreaded(bool Value) {
  FMultiThreaded = Value;
  FCtrlSocket->SetMultiThreaded(Value);
}

void THttpCli::SetRequestVer(const std::string& Value) {
  if (Value == FRequestVer) return;
  if (Value != "1.0" && Value != "1.1") throw EHttpException("Insupported HTTP version", httperrVersion);
  FRequestVer = Value;
}

THttpCliOptions THttpCli::Options() const {
  THttpCliOptions o = FOptions;
  o.Exclude(httpoEnableContentCoding).Exclude(httpoUseQuality);
  if (FContentCodingHnd && FContentCodingHnd->Enabled()) o.Include(httpoEnableContentCoding);
  if (FContentCodingHnd && FContentCodingHnd->UseQuality()) o.Include(httpoUseQuality);
  return o;
}

void THttpCli::SetOptions(THttpCliOptions Value) {
  FOptions = Value;
  FContentCodingHnd->SetEnabled(Value.Contains(httpoEnableContentCoding));
  FContentCodingHnd->SetUseQuality(Value.Contains(httpoUseQuality));
}

bool THttpCli::CheckLogOptions(TLogOption Option) const {
  TSockLogger* l = FCtrlSocket ? FCtrlSocket->SockLogger() : nullptr;
  return l && l->LogOptions().Contains(Option);
}

void THttpCli::DebugLog(TLogOption Option, const std::string& Msg) {
  if (CheckLogOptions(Option)) FCtrlSocket->SockLogger()->LogWrite(this, Option, Msg);
}

// ---- messages ----

void THttpCli::WndProc(TMessage& Msg) {
  switch (Msg.Msg) {
    case WM_HTTP_REQUEST_DONE: DoRequestDone(); break;
    case WM_HTTP_SET_READY: StateChange(httpReady); break;
    case WM_HTTP_LOGIN: Login(); break;
    default: Msg.Result = DefWindowProc(FWindowHandle, Msg.Msg, Msg.WParam, Msg.LParam);
  }
}

void THttpCli::DoRequestDone() {
  DebugLog(loProtSpecInfo, "RequestDone");
  if (OnRequestDone) OnRequestDone(this, FRequestType, FRequestDoneError);
}

void THttpCli::PostRequestDone() { PostMessage(FWindowHandle, WM_HTTP_REQUEST_DONE, 0, 0); }
void THttpCli::PostReady() { PostMessage(FWindowHandle, WM_HTTP_SET_READY, 0, 0); }

// ---- starting a request ----

void THttpCli::Get() {
  FLocationChangeCurCount = 0;
  DoRequestSync(httpGET);
}

void THttpCli::ResetForRequest(bool KeepDocName) {
  FRcvdHeader->Clear();
  FRequestDoneError = 0;
  FFailed = false;
  if (!KeepDocName) FDocName.clear();
  FStatusCode = 0;
  FStatusSeen = false;
  FRcvdCount = 0;
  FSentCount = 0;
  FHeaderLineCount = 0;
  FHeaderBytes = 0;
  FBodyLineCount = 0;
  ClearBodyFields();
  FAllowedToSend = false;
  FLocation = URL;
  FDoAuthor->Clear();
  FCloseReq = FRequestVer == "1.0";
}

void THttpCli::ExtractDocName() {
  std::string name = FDocName.substr(0, FDocName.find('?'));
  if (!name.empty() && name.back() != '/') {
    const size_t slash = name.rfind('/');
    name = name.substr(slash == std::string::npos ? 0 : slash + 1, 255);
    name = name.substr(0, name.find('?'));
    FDocName = name.empty() ? "document.htm" : name;
  } else {
    FDocName = "document.htm";
  }
}

bool THttpCli::SameConnection() const {
  return FCurrentHost == FHostName && FCurrentPort == FPort && FCurrentProtocol == FProtocol;
}

void THttpCli::DoRequestAsync(THttpRequest Rq) {
  if (Rq != httpCLOSE && FState != httpReady)
    throw EHttpException("HTTP component " + Name() + " is busy", httperrBusy);
  if ((Rq == httpPOST || Rq == httpPUT) && !SendStream)
    throw EHttpException("HTTP component has nothing to post or put", httperrNoData);
  Touch();
  if (Rq == httpCLOSE) {
    FStatusCode = 200;
    FReasonPhrase = "OK";
    StateChange(httpClosing);
    if (FCtrlSocket->State() == wsClosed)
      PostReady();
    else
      FCtrlSocket->PostClose();
    return;
  }
  FStarted = true;
  FRequestType = Rq;
  ResetForRequest();
  FCurrUsername = Username;
  FCurrPassword = Password;
  FUrlCredentials = false;
  FCurrConnection = Connection;
  FCurrProxyConnection = ProxyConnection;

  std::string proto, user, pass, host, port, path;
  SplitURL(URL, proto, user, pass, host, port, path);
  std::string connectHost, connectPort;
  if (!user.empty() || !pass.empty()) {
    FCurrUsername = user;
    FCurrPassword = pass;
    FUrlCredentials = true;
  }
  if (!Proxy.empty()) {
    FTargetHost = host;
    FTargetPort = port.empty() ? "80" : port;
    FDocName = path;
    FPath = (proto.empty() ? std::string("http://") : proto + "://") + host + (port.empty() ? "" : ":" + port) + path;
    FProtocol = proto;
    std::string pproto, puser, ppass, phost, pport, ppath;
    SplitURL(Proxy, pproto, puser, ppass, phost, pport, ppath);
    connectHost = phost;
    connectPort = pport.empty() ? ProxyPort : pport;
  } else {
    FPath = path;
    FTargetHost = host;
    FDocName = path;
    FProtocol = proto;
    FTargetPort = port.empty() ? "80" : port;
    connectHost = host;
    connectPort = FTargetPort;
  }
  if (FProtocol.empty()) FProtocol = "http";
  if (FPath.empty()) FPath = "/";
  FPath = EncodeSpaces(FPath);
  ExtractDocName();
  FHostName = connectHost;
  FPort = connectPort;

  FAuthNTLMState = ntlmIdle;
  FProxyAuthNTLMState = ntlmIdle;
  FAuthBasicState = basicIdle;
  FProxyAuthBasicState = basicIdle;
  const bool connected = FConnected && FCtrlSocket->State() == wsConnected && !FClosePending;
  const bool oldVersion = FRequestVer == "1.0" || FResponseVer == "1.0" || FResponseVer.empty();
  if (!Proxy.empty() && ProxyAuth != authNone && !ProxyUsername.empty() && !ProxyPassword.empty()) {
    const bool fresh = !connected || !SameConnection();
    if (ProxyAuth == authNtlm) {
      FProxyAuthNTLMState = fresh ? ntlmSendType1 : ntlmDone;
      if (oldVersion) FCurrProxyConnection = "Keep-alive";
    } else {
      FProxyAuthBasicState = fresh ? basicSend : basicDone;
    }
  }
  if (ServerAuth != authNone && !FCurrUsername.empty() && !FCurrPassword.empty()) {
    if (ServerAuth == authNtlm) {
      FAuthNTLMState = ntlmSendType1;
      if (oldVersion) FCurrConnection = "Keep-alive";
    } else {
      FAuthBasicState = basicSend;
    }
  }
  if (HasControlChars(FPath) || HasControlChars(FTargetHost)) {
    FStatusCode = 400;
    FReasonPhrase = "Invalid characters in the request target";
    FRequestDoneError = httperrBadUrl;
    FFailed = true;
    StateChange(httpNotConnected);
    PostReady();
    return;
  }
  if (connected) {
    // Bytes that arrived after the last reply mean the connection is out of step.
    if (SameConnection() && FReceiveLen == 0) {
      FOnKeptConnection = true;
      SocketSessionConnected(FCtrlSocket.get(), 0);
      return;
    }
    FReceiveLen = 0;
    FCtrlSocket->Abort();
    FConnected = false;
  }
  FTunnelEstablished = false;
  StateChange(httpNotConnected);
  Login();
}

void THttpCli::DoRequestSync(THttpRequest Rq) {
  FReceivedTotal = 0;
  FSpeedSamples.clear();
  FSpeedSamples.emplace_back(Clock().Now(), 0);
  DoRequestAsync(Rq);
  const std::weak_ptr<bool> alive = FAlive;
  while (FState != httpReady) {
    if (FMultiThreaded) {
      FCtrlSocket->ProcessPendingMessages();
      Sleep(0);
    } else {
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 1000, 0x1C5);
      Application->ProcessMessages();
      if (alive.expired()) return;
      if (Application->Terminated()) {
        Abort();
        break;
      }
    }
    const Integer timeout = FCtrlSocket->Timeout();
    if (FState != httpReady && timeout > 0 &&
        Clock().Now() - FLastActivity > int64_t(timeout) * kNsPerMs) {
      Abort();
      FRequestDoneError = httperrTimeout;
      FFailed = true;
      FReasonPhrase = "No data from the server for " + IntToStr(timeout) + " ms";
    } else if (FState != httpReady && TooSlow()) {
      Abort();
      FRequestDoneError = httperrTooSlow;
      FFailed = true;
      FReasonPhrase = "Operation too slow. Less than " + IntToStr(LowSpeedLimit) + " bytes/sec transferred the last " +
                      IntToStr(LowSpeedTime) + " seconds";
    }
  }
  if (FFailed) throw EHttpException(FReasonPhrase, FRequestDoneError);
  if (FStatusCode >= 400 && FStatusCode != 401 && FStatusCode != 407)
    throw EHttpException(FReasonPhrase, Word(FStatusCode));
}

void THttpCli::Abort() {
  if (FState != httpReady) {
    const bool dnsLookup = FState == httpDnsLookup;
    StateChange(httpAborting);
    if (dnsLookup) {
      try {
        FCtrlSocket->CancelDnsLookup();
      } catch (const Exception&) {
      }
    }
    FStatusCode = 404;
    FReasonPhrase = "Connection aborted on request";
    FRequestDoneError = httperrAborted;
    if (dnsLookup)
      SocketSessionClosed(FCtrlSocket.get(), 0);
    else
      FCtrlSocket->Close();
    StateChange(httpReady);
  } else {
    FState = httpAborting;
    if (FCtrlSocket->State() != wsClosed) FCtrlSocket->Abort();
    FConnected = false;
    FStatusCode = 200;
    FReasonPhrase = "OK";
    FRequestDoneError = 0;
    FState = httpReady;
    TriggerStateChange();
    DoRequestDone();
  }
}

// ---- connection set-up ----

void THttpCli::Login() {
  DebugLog(loProtSpecInfo, "Login " + FHostName);
  FCtrlSocket->OnSessionClosed = TSessionClosed(this, &THttpCli::SocketSessionClosed);
  if (FConnected && FCtrlSocket->State() == wsConnected) {
    FOnKeptConnection = true;
    SocketSessionConnected(FCtrlSocket.get(), 0);
    return;
  }
  FDnsResult.clear();
  StateChange(httpDnsLookup);
  try {
    FCtrlSocket->SetLocalAddr(LocalAddr);
    FCtrlSocket->DnsLookup(FHostName);
  } catch (const Exception& E) {
    FStatusCode = 404;
    FReasonPhrase = E.Message();
    FConnected = false;
    StateChange(httpReady);
  }
}

void THttpCli::SetupSocket() {
  FCtrlSocket->SetAddr(FDnsResult);
  FCtrlSocket->SetLocalAddr(LocalAddr);
  FCtrlSocket->SetPort(FPort);
  FCtrlSocket->SetProto("tcp");
  FCtrlSocket->SetSocksServer(SocksServer);
  FCtrlSocket->SetSocksLevel(SocksLevel);
  FCtrlSocket->SetSocksPort(SocksPort);
  FCtrlSocket->SetSocksUsercode(SocksUsercode);
  FCtrlSocket->SetSocksPassword(SocksPassword);
  FCtrlSocket->SetSocksAuthentication(SocksAuthentication);
}

void THttpCli::SocketDnsLookupDone(TObject*, Word Error) {
  Touch();
  if (Error != 0) {
    if (FState == httpAborting) return;
    FRequestDoneError = Error;
    FStatusCode = 404;
    FReasonPhrase = "can't resolve hostname to IP address";
    SocketSessionClosed(FCtrlSocket.get(), Error);
    return;
  }
  FDnsResult = FCtrlSocket->DnsResult();
  StateChange(httpDnsLookupDone);
  SetupSocket();
  FCurrentHost = FHostName;
  FCurrentPort = FPort;
  FCurrentProtocol = FProtocol;
  if (FProtocol != "http") {
    FRequestDoneError = Word(FCtrlSocket->LastError());
    FStatusCode = 501;
    FReasonPhrase = "Protocol \"" + FProtocol + "\" not implemented";
    FCtrlSocket->Close();
    SocketSessionClosed(FCtrlSocket.get(), Word(FCtrlSocket->LastError()));
    return;
  }
  DebugLog(loProtSpecInfo, "connect to " + FDnsResult + "/" + FPort);
  FOnKeptConnection = false;
  try {
    FCtrlSocket->Connect();
  } catch (const Exception&) {
    const Integer code = FCtrlSocket->LastError();
    FRequestDoneError = Word(code);
    FStatusCode = 404;
    FReasonPhrase = "can't connect: " + WinsockErrorText(code) + " (Error #" + IntToStr(code) + ")";
    FCtrlSocket->Close();
    SocketSessionClosed(FCtrlSocket.get(), Word(code));
  }
}

void THttpCli::SocketSessionConnected(TObject*, Word Error) {
  DebugLog(loProtSpecInfo, "SessionConnected");
  Touch();
  if (Error != 0) {
    FRequestDoneError = Error;
    FStatusCode = 404;
    FReasonPhrase = WinsockErrorText(Error) + " (Error #" + IntToStr(Error) + ")";
    TriggerSessionConnected(Error);
    return;
  }
  try {
    FLocationFlag = false;
    FClosePending = false;
    FConnected = true;
    StateChange(httpConnected);
    TriggerSessionConnected(0);
    FNext = TLineHandler::Header;
    StateChange(httpWaitingHeader);
    switch (FRequestType) {
      case httpPOST:
      case httpPUT:
        SendRequest(FRequestType == httpPOST ? "POST" : "PUT", FRequestVer);
        if (FAuthNTLMState != ntlmSendType1 && FProxyAuthNTLMState != ntlmSendType1) {
          TriggerSendBegin();
          FAllowedToSend = true;
          SocketDataSent(FCtrlSocket.get(), 0);
        }
        break;
      case httpHEAD: SendRequest("HEAD", FRequestVer); break;
      default: SendRequest("GET", FRequestVer); break;
    }
  } catch (const Exception&) {
    CloseOnError();
  }
}

void THttpCli::CloseOnError() {
  FCtrlSocket->Close();
  FConnected = false;
}

// ---- the request ----

void THttpCli::SendCommand(const std::string& Cmd) {
  std::string s = Cmd;
  if (OnCommand) OnCommand(this, s);
  if (!s.empty()) FReqStream.WriteBuffer(s.data(), int64_t(s.size()));
  FReqStream.WriteBuffer("\r\n", 2);
}

void THttpCli::SendRequest(const std::string& Method, const std::string& Version) {
  FBandwidthCount = 0;
  if (FOptions.Contains(httpoBandwidthControl)) {
    if (!FBandwidthTimer) {
      FBandwidthTimer = std::make_unique<TTimer>(nullptr);
      FBandwidthTimer->SetOnTimer(TNotifyEvent(this, &THttpCli::BandwidthTimerTick));
    }
    FBandwidthTimer->SetEnabled(false);
    FBandwidthTimer->SetInterval(Cardinal(BandwidthSampling));
    FBandwidthTimer->SetEnabled(true);
    FBandwidthMaxCount = int64_t(BandwidthLimit) * BandwidthSampling / 1000;
    FBandwidthPaused = false;
    FCtrlSocket->SetComponentOptions(FCtrlSocket->ComponentOptions() + TWSocketOptions{wsoNoReceiveLoop});
  }
  TStringList headers;
  FReqStream.SetSize(0);
  TriggerRequestHeaderBegin();
  const bool connect = Method == "CONNECT";
  const bool body = FRequestType == httpPOST || FRequestType == httpPUT;
  auto add = [&headers](const std::string& name, const std::string& value) {
    if (!value.empty()) headers.Add(name + value);
  };
  if (connect)
    headers.Add("CONNECT " + FTargetHost + ":" + FTargetPort + " HTTP/" + Version);
  else
    headers.Add(Method + " " + FPath + " HTTP/" + Version);
  if (!connect) {
    add("From: ", Sender);
    add("Accept: ", Accept);
    add("Referer: ", Reference);
    add("Connection: ", FCurrConnection);
    add("Accept-Language: ", AcceptLanguage);
    if (FRequestType != httpHEAD) add("Accept-Encoding: ", FContentCodingHnd->HeaderText());
    if (body) add("Content-Type: ", ContentTypePost);
  }
  add("User-Agent: ", Agent);
  headers.Add("Host: " + FTargetHost + (FTargetPort == "80" || FTargetPort.empty() ? "" : ":" + FTargetPort));
  if (NoCache) headers.Add("Pragma: no-cache");
  add("Proxy-Connection: ", FCurrProxyConnection);
  if (connect || (body && (FAuthNTLMState == ntlmSendType1 || FProxyAuthNTLMState == ntlmSendType1)))
    headers.Add("Content-Length: 0");
  else if (body)
    headers.Add("Content-Length: " + IntToStr(SendStream->Size() - SendStream->Position()));
  if (ModifiedSince != 0) headers.Add("If-Modified-Since: " + RFC1123Date(ModifiedSince) + " GMT");
  if (FProxyAuthNTLMState != ntlmSendType1) {
    if (FAuthNTLMState == ntlmSendType1) {
      headers.Add("Authorization: NTLM " + BuildNtlmNegotiate("", ""));
    } else if (FAuthNTLMState == ntlmSendType3) {
      std::string host;
      try {
        host = LocalHostName();
      } catch (const Exception&) {
      }
      headers.Add("Authorization: NTLM " +
                  BuildNtlmAuthenticate("", host, FCurrUsername, FNTLMMsg2Info.Challenge, FCurrPassword));
    } else if (FAuthBasicState == basicSend) {
      headers.Add("Authorization: Basic " + Base64Encode(FCurrUsername + ":" + FCurrPassword));
    }
  }
  if (FProxyAuthNTLMState == ntlmSendType1) {
    headers.Add("Proxy-Authorization: NTLM " + BuildNtlmNegotiate("", ""));
  } else if (FProxyAuthNTLMState == ntlmSendType3) {
    std::string host;
    try {
      host = LocalHostName();
    } catch (const Exception&) {
    }
    headers.Add("Proxy-Authorization: NTLM " +
                BuildNtlmAuthenticate("", host, ProxyUsername, FProxyNTLMMsg2Info.Challenge, ProxyPassword));
  } else if (FProxyAuthBasicState == basicSend) {
    headers.Add("Proxy-Authorization: Basic " + Base64Encode(ProxyUsername + ":" + ProxyPassword));
  }
  add("Cookie: ", Cookie);
  if (!ContentRangeBegin.empty() || !ContentRangeEnd.empty()) {
    headers.Add("Range: bytes=" + ContentRangeBegin + "-" + ContentRangeEnd);
    ContentRangeBegin.clear();
    ContentRangeEnd.clear();
  }
  FAcceptRanges.clear();
  if (CheckLogOptions(loProtSpecInfo))
    DebugLog(loProtSpecInfo, IntToStr(headers.Count()) + " header lines to send\r\n" + headers.Text());
  TriggerBeforeHeaderSend(Method, &headers);
  for (int i = 0; i < headers.Count(); ++i) SendCommand(headers[i]);
  TriggerRequestHeaderEnd();
  SendCommand("");
  FCtrlSocket->QueueSendData(FReqStream.Memory(), Integer(FReqStream.Size()));
  FReqStream.SetSize(0);
  FCtrlSocket->Send(nullptr, 0);
  DebugLog(loProtSpecInfo, "SendRequest Done");
}

void THttpCli::SocketDataSent(TObject*, Word) {
  Touch();
  if (!FAllowedToSend || !SendStream) return;
  const int64_t count = SendStream->Read(FSndBuf, int64_t(sizeof FSndBuf));
  if (count > 0) {
    FSentCount += count;
    TriggerSendData(FSndBuf, Integer(count));
    FCtrlSocket->Send(FSndBuf, Integer(count));
  } else {
    FAllowedToSend = false;
    TriggerSendEnd();
  }
}

// ---- receiving ----

void THttpCli::DiscardReceived(size_t Count) {
  Count = std::min(Count, FReceiveLen);
  std::memmove(FReceiveBuffer, FReceiveBuffer + Count, FReceiveLen - Count);
  FReceiveLen -= Count;
  FReceiveBuffer[FReceiveLen] = 0;
}

void THttpCli::SocketDataAvailable(TObject*, Word) {
  // Nothing more is read from a connection whose close is pending (a side body cut at
  // its bound, say): what still comes waits in the system's buffer for the close.
  if (FClosePending) return;
  if (FReceiveLen >= kReceiveRoom) {
    // One header line fills the whole buffer: the server sends more than any header needs.
    FailRequest(httperrHeaderTooLarge, "Header line too long");
    return;
  }
  // Inside a body with nothing held back, large blocks go straight to the body reader.
  const bool direct = FState == httpWaitingBody && FReceiveLen == 0 && FNext == TLineHandler::Body;
  if (direct && FBodyBuffer.empty()) FBodyBuffer.resize(kBodyBlock);
  const Integer len = direct ? FCtrlSocket->Receive(FBodyBuffer.data(), Integer(FBodyBuffer.size()))
                             : FCtrlSocket->Receive(FReceiveBuffer + FReceiveLen, Integer(kReceiveRoom - FReceiveLen));
  if (CheckLogOptions(loProtSpecInfo)) DebugLog(loProtSpecInfo, "Data available. Len=" + IntToStr(len));
  if (!FStarted) return;
  if (len <= 0) {
    DebugLog(loProtSpecInfo, "**data available. Len=" + IntToStr(len));
    return;
  }
  FOnKeptConnection = false;
  if (!direct) {
    ProcessReceived(size_t(len));
    return;
  }
  CountReceived(size_t(len));
  const size_t taken = TakeBodyBlock(FBodyBuffer.data(), size_t(len));
  if (FState == httpReady) return;
  if (FNext == TLineHandler::None) {
    // Bytes behind the end of the document wait in the receive buffer for the next reply.
    const size_t rest = std::min(size_t(len) - taken, kReceiveRoom);
    if (!FClosePending) {
      std::memcpy(FReceiveBuffer, FBodyBuffer.data() + taken, rest);
      FReceiveLen = rest;
      FReceiveBuffer[FReceiveLen] = 0;
    }
    BodyEnded();
  }
}

void THttpCli::CountReceived(size_t Len) {
  Touch();
  FReceivedTotal += int64_t(Len);
  CountBandwidth(Len);
}

// Judged about once a second: what came over the last LowSpeedTime seconds (at most one
// second more) against the limit.
bool THttpCli::TooSlow() {
  if (LowSpeedLimit <= 0 || LowSpeedTime <= 0) return false;
  const int64_t now = Clock().Now();
  if (FSpeedSamples.empty() || now - FSpeedSamples.back().first >= kNsPerSecond)
    FSpeedSamples.emplace_back(now, FReceivedTotal);
  const int64_t window = int64_t(LowSpeedTime) * kNsPerSecond;
  while (FSpeedSamples.size() > 1 && now - FSpeedSamples[1].first >= window) FSpeedSamples.pop_front();
  const auto& [since, count] = FSpeedSamples.front();
  return now - since >= window && FReceivedTotal - count < int64_t(LowSpeedLimit) * LowSpeedTime;
}

void THttpCli::CountBandwidth(size_t Len) {
  if (!FOptions.Contains(httpoBandwidthControl)) return;
  FBandwidthCount += int64_t(Len);
  if (FBandwidthCount > FBandwidthMaxCount && !FBandwidthPaused) {
    FBandwidthPaused = true;
    FCtrlSocket->Pause();
  }
}

size_t THttpCli::TakeBodyBlock(const char* Data, size_t Len) {
  int64_t block = int64_t(Len);
  if (FContentLength >= 0 && !FChunked) block = std::min<int64_t>(block, FContentLength - FRcvdCount);
  GetBodyLineNext(Data, block);
  return size_t(block);
}

void THttpCli::PrepareForReply(THttpRequest Rq) {
  FRequestType = Rq;
  ResetForRequest();
  FStarted = true;
  FReceiveLen = 0;
  FNext = TLineHandler::Header;
  StateChange(httpWaitingHeader);
}

void THttpCli::FeedReply(const char* Data, size_t Len) {
  while (Len > 0 && FState != httpReady) {
    if (FReceiveLen >= kReceiveRoom) {
      FailRequest(httperrHeaderTooLarge, "Header line too long");
      return;
    }
    const size_t n = std::min(Len, kReceiveRoom - FReceiveLen);
    std::memcpy(FReceiveBuffer + FReceiveLen, Data, n);
    Data += n;
    Len -= n;
    ProcessReceived(n);
  }
}

void THttpCli::ProcessReceived(size_t Len) {
  CountReceived(Len);
  if (FClosePending) {
    // The reply is complete and the connection closing: what else arrives is not read.
    FReceiveLen = 0;
    return;
  }
  FReceiveLen += Len;
  FReceiveBuffer[FReceiveLen] = 0;

  while (FState != httpWaitingBody && FReceiveLen > 0) {
    char* lf = static_cast<char*>(std::memchr(FReceiveBuffer, '\n', FReceiveLen));
    if (!lf) break;
    size_t n = size_t(lf - FReceiveBuffer);
    const size_t consumed = n + 1;
    if (n > 0 && FReceiveBuffer[n - 1] == '\r') --n;
    FLastResponse.assign(FReceiveBuffer, n);
    if (CheckLogOptions(loProtSpecDump)) DebugLog(loProtSpecDump, ">|" + FLastResponse + "|");
    DiscardReceived(consumed);
    if (FState == httpWaitingHeader) {
      FHeaderBytes += int64_t(consumed);
      if (FNext == TLineHandler::Header)
        GetHeaderLineNext(FLastResponse);
      else if (FNext == TLineHandler::Body)
        GetBodyLineNext(FLastResponse.data(), int64_t(FLastResponse.size()));
      else
        PostReady();
    } else {
      if (OnDataPush) OnDataPush(this, 0);
    }
  }

  if (FState == httpWaitingBody && FReceiveLen > 0) {
    const size_t block = TakeBodyBlock(FReceiveBuffer, FReceiveLen);
    if (FState == httpReady) return;  // failed or aborted in a handler
    DiscardReceived(block);
    if (FNext == TLineHandler::None) BodyEnded();
  }
}

// The document ended inside the receive step: relocate or finish.
void THttpCli::BodyEnded() {
  if (FLocationFlag)
    StartRelocation();
  else
    PostReady();
}

void THttpCli::FailRequest(Word Error, const std::string& Reason) {
  DebugLog(loProtSpecErr, Reason);
  FFailed = true;
  FRequestDoneError = Error;
  FReasonPhrase = Reason;
  FLocationFlag = false;
  FNext = TLineHandler::None;
  FReceiveLen = 0;
  StopBandwidthTimer();
  FCtrlSocket->OnSessionClosed = nullptr;
  FCtrlSocket->Abort();
  FCtrlSocket->OnSessionClosed = TSessionClosed(this, &THttpCli::SocketSessionClosed);
  FConnected = false;
  StateChange(httpReady);
}

// Every line of a reply header comes here; each kind of line has a step of its own.
void THttpCli::GetHeaderLineNext(const std::string& Line) {
  if (FHeaderLineCount <= 0) FFieldPending = false;
  if (FHeaderLineCount == 0)
    TriggerHeaderBegin();
  else if (FHeaderLineCount == -1)
    FHeaderLineCount = 0;
  ++FHeaderLineCount;
  if (FHeaderLineCount > kHttpMaxHeaderLines || FHeaderBytes > kHttpMaxHeaderBytes) {
    FailRequest(httperrHeaderTooLarge, "Reply header too large");
    return;
  }
  if (FHeaderLineCount == 1 && StartsWithNoCase(Line, "<HTML>"))
    StartBodyWithoutHeader(Line);
  else if (Line.empty())
    EndOfHeader();
  else if (FHeaderLineCount == 1)
    ParseStatusLine(Line);
  else
    AddHeaderLine(Line);
}

// A first line of "<html>": the server sent no header, the line is the first body block.
void THttpCli::StartBodyWithoutHeader(const std::string& Line) {
  if (FContentType.empty()) FContentType = "text/html";
  FStatusSeen = true;
  FCloseReq = true;  // only the close ends such a reply
  StateChange(httpWaitingBody);
  FNext = TLineHandler::Body;
  TriggerHeaderEnd();
  GetBodyLineNext(Line.data(), int64_t(Line.size()));
}

void THttpCli::ParseStatusLine(const std::string& Line) {
  FRcvdHeader->Add(Line);
  if (!StartsWithNoCase(Line, "HTTP/1.0") && !StartsWithNoCase(Line, "HTTP/1.1")) {
    if (OnDataPush2) OnDataPush2(this);
    FailRequest(httperrBadReply, "No HTTP status line in the reply");
    return;
  }
  FResponseVer = Line.substr(5, 3);
  FCloseReq = FRequestVer == "1.0" || FResponseVer == "1.0";
  DebugLog(loProtSpecDump, std::string("FCloseReq=") + (FCloseReq ? "1" : "0"));
  size_t i = 9;
  while (i < Line.size() && !(Line[i] >= '0' && Line[i] <= '9')) ++i;
  if (i + 3 > Line.size() ||
      !std::all_of(Line.begin() + long(i), Line.begin() + long(i) + 3, [](char c) { return c >= '0' && c <= '9'; })) {
    FailRequest(httperrBadReply, "Malformed status line");
    return;
  }
  FStatusCode = std::stoi(Line.substr(i, 3));
  FReasonPhrase = i + 4 < Line.size() ? Line.substr(i + 4) : std::string();
  FStatusSeen = true;
  if (OnHeaderData) OnHeaderData(this);
}

// A header field takes effect once the line after it shows that no folded line
// continues it.
void THttpCli::AddHeaderLine(const std::string& Line) {
  if ((Line[0] == ' ' || Line[0] == '\t') && FFieldPending) {
    const int last = FRcvdHeader->Count() - 1;
    FRcvdHeader->SetStrings(last, FRcvdHeader->Strings(last) + " " + Trim(Line));
    return;
  }
  if (!ApplyPendingField()) return;
  FRcvdHeader->Add(Line);
  FFieldPending = true;
}

// Applies the header field received last (RcvdHeader's last line); false when it made
// the request fail.
bool THttpCli::ApplyPendingField() {
  if (!FFieldPending) return true;
  FFieldPending = false;
  const std::string line = FRcvdHeader->Strings(FRcvdHeader->Count() - 1);
  const size_t colon = line.find(':');
  if (colon != std::string::npos) {
    using THandler = void (*)(THttpCli&, const std::string&);
    // What the client takes from each field, by lower-case name; the others are only
    // kept in RcvdHeader.
    static const std::pair<std::string_view, THandler> kFieldHandlers[] = {
        {"location", [](THttpCli& c, const std::string& v) { c.ApplyLocation(v); }},
        {"content-length", [](THttpCli& c, const std::string& v) { c.ApplyContentLength(v); }},
        // Several fields make one list of codings.
        {"transfer-encoding",
         [](THttpCli& c, const std::string& v) {
           c.FTransferEncoding = c.FTransferEncoding.empty() ? LowerCase(v) : c.FTransferEncoding + ", " + LowerCase(v);
         }},
        {"content-range", [](THttpCli& c, const std::string& v) { c.ApplyContentRange(v); }},
        {"accept-ranges", [](THttpCli& c, const std::string& v) { c.FAcceptRanges = v; }},
        {"content-type", [](THttpCli& c, const std::string& v) { c.FContentType = LowerCase(v); }},
        {"www-authenticate", [](THttpCli& c, const std::string& v) { c.FDoAuthor->Add(v); }},
        {"proxy-authenticate", [](THttpCli& c, const std::string& v) { c.FDoAuthor->Add(v); }},
        {"set-cookie",
         [](THttpCli& c, const std::string& v) {
           bool accept = true;
           c.TriggerCookie(v, accept);
         }},
        {"connection", [](THttpCli& c, const std::string& v) { c.ApplyConnectionField(v); }},
        {"proxy-connection", [](THttpCli& c, const std::string& v) { c.ApplyConnectionField(v); }},
        {"content-encoding", [](THttpCli& c, const std::string& v) { c.FContentEncoding = v; }},
    };
    const std::string name = LowerCase(line.substr(0, colon));
    const std::string value = TrimLeft(line.substr(colon + 1));
    for (const auto& [field, handler] : kFieldHandlers) {
      if (field != name) continue;
      handler(*this, value);
      if (FState == httpReady) return false;
      break;
    }
  }
  if (OnHeaderData) OnHeaderData(this);
  return true;
}

void THttpCli::ApplyContentLength(const std::string& Value) {
  const Int64 v = DecimalLength(Value);
  if (FContentLength >= 0 && v != FContentLength)
    FailRequest(httperrBadReply, "Conflicting Content-Length values");
  else
    FContentLength = v;
}

void THttpCli::ApplyContentRange(const std::string& Value) {
  const size_t dash = Value.find('-');
  const size_t slash = Value.find('/');
  if (dash != std::string::npos && dash >= 6) ContentRangeBegin = Value.substr(6, dash - 6);
  if (dash != std::string::npos && slash != std::string::npos && slash > dash)
    ContentRangeEnd = Value.substr(dash + 1, slash - dash - 1);
}

void THttpCli::ApplyConnectionField(const std::string& Value) {
  const std::string v = LowerCase(Trim(Value));
  if (v == "close")
    FCloseReq = true;
  else if (v == "keep-alive")
    FCloseReq = false;
}

// The fields that describe a reply's body, cleared for the next reply.
void THttpCli::ClearBodyFields() {
  FContentLength = -1;
  FContentType.clear();
  FTransferEncoding.clear();
  FContentEncoding.clear();
  FChunked = false;
}

// The blank line that ends the header.
void THttpCli::EndOfHeader() {
  if (!ApplyPendingField()) return;
  DebugLog(loProtSpecInfo, "End of header");
  if (FHeaderLineCount == 1) {
    // A blank line before any status: tolerated, as between replies.
    FHeaderLineCount = 0;
    return;
  }
  if (FStatusCode >= 100 && FStatusCode < 200 && FStatusCode != 101) {
    // An interim reply, of either version: the final one follows.
    FRcvdHeader->Clear();
    FHeaderLineCount = -1;
    FLocationFlag = false;
    ClearBodyFields();
    return;
  }
  TriggerHeaderEnd();
  if (FState == httpReady) {
    FReceiveLen = 0;
    return;
  }
  if (!FrameBody()) {
    EndReplyWithoutBody();
    return;
  }
  if (const vxnet::TBodyLimit limit(MaxBodySize); !SideBody() && limit.Refuses(FContentLength)) {
    FailRequest(httperrBodyTooLarge, limit.AnnouncedText(FContentLength));
    return;
  }
  const size_t dot = FDocName.rfind('.');
  const std::string ext = dot == std::string::npos ? std::string() : LowerCase(FDocName.substr(dot));
  if ((ext == ".exe" || ext.empty()) && FContentType == "text/html") {
    if (dot == std::string::npos)
      FDocName += ".htm";
    else
      FDocName = FDocName.substr(0, dot + 1) + "htm";
  }
  StateChange(httpWaitingBody);
  FNext = TLineHandler::Body;
  // What follows the header in the receive buffer is taken by the receive step.
}

namespace {
// The last coding of a Transfer-Encoding list: the one that frames the body.
std::string LastCoding(const std::string& Codings) {
  const size_t comma = Codings.rfind(',');
  return Trim(comma == std::string::npos ? Codings : Codings.substr(comma + 1));
}
}  // namespace

// Decides how the body of the reply whose header just ended is framed; false when the
// reply has none.
bool THttpCli::FrameBody() {
  FChunked = LastCoding(FTransferEncoding) == "chunked";
  // A transfer coding frames the body, whatever length is announced beside it.
  if (!FTransferEncoding.empty()) FContentLength = -1;
  // After a switch of protocols the connection carries no more HTTP.
  if (FStatusCode == 101) FCloseReq = true;
  // 1xx, 204 and 304 replies end with their header, whatever it announces.
  if (FRequestType == httpHEAD || FStatusCode < 200 || FStatusCode == 204 || FStatusCode == 304) return false;
  if (FChunked) return true;
  if (FContentLength == 0) return false;
  // Without a length the body ends with the connection, which then carries nothing more.
  if (FContentLength < 0) FCloseReq = true;
  return true;
}

void THttpCli::EndReplyWithoutBody() {
  if (FLocationFlag) {
    StartRelocation();
  } else if (!FCloseReq) {
    FNext = TLineHandler::None;
    PostReady();
  } else {
    CloseAfterReply();  // the close ends the request
  }
}

// The connection ends with this reply: nothing that still arrives on it is read.
void THttpCli::CloseAfterReply() {
  FNext = TLineHandler::None;
  FReceiveLen = 0;
  FClosePending = true;
  FCtrlSocket->PostClose();
}

bool THttpCli::SideBody() const {
  // A relocation's body is dropped again once the new request starts; the body of any
  // other reply outside 2xx (an error page, a challenge) is not the document either.
  return FLocationFlag || FStatusCode >= 300;
}

bool THttpCli::WriteBody(const char* Data, int64_t Len) {
  const bool side = SideBody();
  const vxnet::TBodyLimit limit(side ? vxnet::kSideBodyLimit : MaxBodySize);
  const int64_t room = limit.Room(FRcvdCount, Len);
  FRcvdCount += room;
  if (room > 0) FContentCodingHnd->WriteBuffer(Data, Integer(room));
  if (room == Len) return true;
  if (FState == httpReady) return false;
  if (!side) {
    FailRequest(httperrBodyTooLarge, limit.OverrunText());
    return false;
  }
  // The rest of a side body is not read: the reply ends here, and its connection with it.
  DebugLog(loProtSpecInfo, vxnet::SideBodyCutText(FStatusCode));
  FCloseReq = true;
  EndDocument();
  FinishDocument();
  return false;
}

void THttpCli::FinishDocument() {
  FContentCodingHnd->Complete();
  TriggerDocEnd();
  if (FCloseReq) CloseAfterReply();
}

Integer THttpCli::ContentWrite(const void* Data, Integer Len) {
  // The coding handler has written the bytes to RcvdStream already.
  TriggerDocData(Data, Len);
  return Len;
}

void THttpCli::GetBodyLineNext(const char* Data, int64_t Len) {
  DebugLog(loProtSpecInfo, "GetBodyLineNext begin");
  if (FBodyLineCount == 0) {
    BeginDocument();
    if (FState == httpReady) return;
  }
  ++FBodyLineCount;
  if (CheckLogOptions(loProtSpecInfo)) DebugLog(loProtSpecInfo, "GetBodyLineNext FBodyDataLen=" + IntToStr(Len));

  if (!FChunked) {
    if (Len > 0 && !WriteBody(Data, Len)) return;
    if (FRcvdCount == FContentLength) {
      DebugLog(loProtSpecInfo, "End of document");
      EndDocument();
      FinishDocument();
    }
  } else {
    int64_t i = 0;
    while (i < Len && FChunkState != httpChunkDone) {
      switch (FChunkState) {
        case httpChunkReadSize:
          if (IsHexDigitChar(Data[i])) {
            if (++FChunkDigits > kMaxChunkDigits) {
              FailRequest(httperrBadReply, "Chunk size too large");
              return;
            }
            FChunkLength = FChunkLength * 16 + HexDigitValue(Data[i]);
            ++i;
          } else {
            if (FChunkDigits == 0) {
              FailRequest(httperrBadReply, "Malformed chunk size");
              return;
            }
            FChunkState = httpChunkSkipSizeLine;
            DebugLog(loProtSpecInfo, "ChunkLength = " + IntToStr(FChunkLength));
          }
          break;
        case httpChunkSkipSizeLine:
          while (i < Len && Data[i] != '\n') ++i;
          if (i < Len) {
            ++i;
            FChunkState = FChunkLength == 0 ? httpChunkSkipDataEnd : httpChunkReadData;
          }
          break;
        case httpChunkReadData: {
          const int64_t n = std::min(FChunkLength - FChunkRcvd, Len - i);
          if (!WriteBody(Data + i, n)) return;
          FChunkRcvd += n;
          i += n;
          if (FChunkRcvd >= FChunkLength) FChunkState = httpChunkSkipDataEnd;
          break;
        }
        case httpChunkSkipDataEnd:
          while (i < Len && Data[i] != '\n') ++i;
          if (i < Len) {
            ++i;
            FChunkState = FChunkLength != 0 ? httpChunkReadSize : httpChunkDone;
            FChunkLength = 0;
            FChunkRcvd = 0;
            FChunkDigits = 0;
          }
          break;
        case httpChunkDone: break;
      }
    }
    if (FChunkState == httpChunkDone) {
      DebugLog(loProtSpecInfo, "httpChunkDone, end of document");
      EndDocument();
      FinishDocument();
    }
  }
  DebugLog(loProtSpecInfo, "GetBodyLineNext end");
}

void THttpCli::BeginDocument() {
  FChunkState = httpChunkReadSize;
  FChunkLength = 0;
  FChunkRcvd = 0;
  FChunkDigits = 0;
  TriggerDocBegin();
  if (FState == httpReady) return;
  FContentCodingHnd->Prepare(FContentEncoding);
  FRcvdStreamStartSize = RcvdStream ? RcvdStream->Size() : 0;
}

void THttpCli::EndDocument() {
  FBodyLineCount = 0;
  FNext = TLineHandler::None;
  StateChange(httpBodyReceived);
  StopBandwidthTimer();
}

void THttpCli::SocketSessionClosed(TObject*, Word Error) {
  DebugLog(loProtSpecInfo, "SessionClosed Error: " + IntToStr(Error));
  if (Error != 0) FRequestDoneError = Error;
  FConnected = false;
  FTunnelEstablished = false;
  if (FState == httpReady || !FStarted) return;  // a kept connection closed between requests
  if (ResendOnNewConnection()) return;
  const bool aborting = FState == httpAborting || FState == httpClosing;
  if (FHeaderEndFlag) {
    TriggerHeaderEnd();
    if (!aborting) {
      FFailed = true;
      if (!FRequestDoneError) FRequestDoneError = httperrIncomplete;
      FReasonPhrase = "Connection closed inside the reply header";
    }
  }
  if (FBodyLineCount > 0 || FNext == TLineHandler::Body) {
    if (FBodyLineCount == 0) BeginDocument();  // an empty body ended by the close
    StopBandwidthTimer();
    if (!aborting && ((FChunked && FChunkState != httpChunkDone) ||
                      (FContentLength >= 0 && FRcvdCount < FContentLength))) {
      FFailed = true;
      if (!FRequestDoneError) FRequestDoneError = httperrIncomplete;
      FReasonPhrase = "Connection closed after " + IntToStr(FRcvdCount) + " body bytes" +
                      (FContentLength >= 0 ? " of " + IntToStr(FContentLength) : std::string());
    }
    FBodyLineCount = 0;
    FNext = TLineHandler::None;
    FContentCodingHnd->Complete();
    TriggerDocEnd();
  } else if (!aborting && !FStatusSeen && FState != httpBodyReceived && FStatusCode == 0) {
    FFailed = true;
    if (!FRequestDoneError) FRequestDoneError = httperrIncomplete;
    FReasonPhrase = "Connection closed before a reply arrived";
  }
  if (FLocationFlag && !FFailed) {
    RelocateAfterClose(FCtrlSocket.get(), Error);
    return;
  }
  TriggerSessionClosed(Error);
  if (FState != httpReady) PostReady();
}

// A server may close a kept connection while it is idle, just as the next request goes
// out on it. When the connection ends before any byte of the reply, the request never
// reached the server and goes again on a new connection (once; never a POST).
bool THttpCli::ResendOnNewConnection() {
  if (!FOnKeptConnection || FState != httpWaitingHeader || FHeaderLineCount != 0 || FReceiveLen != 0 ||
      FRequestType == httpPOST)
    return false;
  DebugLog(loProtSpecInfo, "Kept connection closed before the reply, sending again");
  FOnKeptConnection = false;
  FRequestDoneError = 0;
  if (SendStream) SendStream->Seek(-FSentCount, soCurrent);
  FSentCount = 0;
  StateChange(httpNotConnected);
  PostMessage(FWindowHandle, WM_HTTP_LOGIN, 0, 0);
  return true;
}

// ---- relocation ----

void THttpCli::ApplyLocation(const std::string& Value) {
  if (FRequestType == httpPUT) {
    FLocation = Value;
    return;
  }
  if (!FollowRelocation) return;
  if (HasControlChars(Value)) return;
  FLocationFlag = true;
  std::string proto, user, pass, host, port, path;
  if (!Value.empty() && Value[0] == '/') {
    if (Proxy.empty()) {
      FPath = EncodeSpaces(Value);
      FLocation = "http://" + FHostName + FPath;
    } else {
      SplitURL(FPath, proto, user, pass, host, port, path);
      FPath = (proto.empty() ? std::string("http") : proto) + "://" + host + (port.empty() ? "" : ":" + port) +
              EncodeSpaces(Value);
      FLocation = FPath;
      if (!user.empty() && !pass.empty()) {
        FCurrUsername = user;
        FCurrPassword = pass;
      }
    }
  } else if (!StartsWithNoCase(Value, "http://") && !StartsWithNoCase(Value, "https://")) {
    FPath = PathDirectory(FPath) + EncodeSpaces(Value);
    FLocation = Proxy.empty() ? "http://" + FHostName + FPath : FPath;
  } else {
    SplitURL(Value, proto, user, pass, host, port, path);
    if (host.empty()) {
      FLocationFlag = false;
      return;
    }
    const std::string newPort = port.empty() ? "80" : port;
    const bool otherOrigin = host != FTargetHost || newPort != FTargetPort || LowerCase(proto) != LowerCase(FProtocol);
    if (otherOrigin) {
      // Credentials belong to the site they were given for.
      FCurrUsername.clear();
      FCurrPassword.clear();
      FAuthBasicState = basicIdle;
      FAuthNTLMState = ntlmIdle;
    }
    if (!user.empty() && !pass.empty()) {
      FCurrUsername = user;
      FCurrPassword = pass;
    }
    if (path.empty()) path = "/";
    FTargetHost = host;
    FTargetPort = newPort;
    FProtocol = proto;
    if (Proxy.empty()) {
      FHostName = host;
      FPort = newPort;
      FPath = EncodeSpaces(path);
      FLocation = proto + "://" + host + FPath;
    } else {
      FPort = newPort;
      FPath = proto + "://" + host + (port.empty() ? "" : ":" + port) + EncodeSpaces(path);
      FLocation = FPath;
    }
  }
}

bool THttpCli::CountRelocation() {
  ++FLocationChangeCurCount;
  if (FLocationChangeCurCount > LocationChangeMaxCount) {
    bool allow = false;
    if (OnLocationChangeExceeded) OnLocationChangeExceeded(this, FLocationChangeCurCount, allow);
    if (!allow) return false;
  }
  return true;
}

void THttpCli::RewindForResend() {
  if (RcvdStream) {
    RcvdStream->SetSize(FRcvdStreamStartSize);
    RcvdStream->Seek(FRcvdStreamStartSize, soBeginning);
  }
  if (SendStream) SendStream->Seek(-FSentCount, soCurrent);
}

void THttpCli::StartRelocation() {
  DebugLog(loProtSpecInfo, "Starting relocation process");
  FRcvdCount = 0;
  FReceiveLen = 0;
  FHeaderLineCount = 0;
  FBodyLineCount = 0;
  if (!CountRelocation()) {
    FLocationFlag = false;
    PostReady();
    return;
  }
  FRelocationCounted = true;
  if (!Proxy.empty()) {
    // Through a proxy the connection always goes to the proxy.
    std::string pproto, puser, ppass, phost, pport, ppath;
    SplitURL(Proxy, pproto, puser, ppass, phost, pport, ppath);
    FHostName = phost;
    FPort = pport.empty() ? ProxyPort : pport;
  }
  if (!SameConnection() || FCloseReq) {
    FCtrlSocket->OnSessionClosed = TSessionClosed(this, &THttpCli::RelocateAfterClose);
    CloseAfterReply();
    return;
  }
  FRelocationCounted = false;
  if (OnLocationChange) OnLocationChange(this);
  const std::string location = FLocation;
  ResetForRequest(true);
  FLocation = location;
  FDocName = FPath;
  ExtractDocName();
  if (FRequestType == httpPOST) FRequestType = httpGET;
  RewindForResend();
  PostMessage(FWindowHandle, WM_HTTP_LOGIN, 0, 0);
}

void THttpCli::RelocateAfterClose(TObject*, Word) {
  const std::string location = FLocation;
  std::string proto, user, pass, host, port, path;
  SplitURL(location.substr(0, location.find('#')), proto, user, pass, host, port, path);
  FDocName = path;
  ExtractDocName();
  FConnected = false;
  FTunnelEstablished = false;
  FLocationFlag = false;
  if (FRequestType == httpPOST) FRequestType = httpGET;
  FCtrlSocket->OnSessionClosed = TSessionClosed(this, &THttpCli::SocketSessionClosed);
  if (!FRelocationCounted && !CountRelocation()) {
    PostReady();
    return;
  }
  FRelocationCounted = false;
  if (OnLocationChange) OnLocationChange(this);
  FRcvdHeader->Clear();
  FHeaderLineCount = 0;
  FBodyLineCount = 0;
  FRcvdCount = 0;
  ClearBodyFields();
  FStatusCode = 0;
  FStatusSeen = false;
  FReceiveLen = 0;
  if (!Proxy.empty()) {
    std::string pproto, puser, ppass, phost, pport, ppath;
    SplitURL(Proxy, pproto, puser, ppass, phost, pport, ppath);
    FHostName = phost;
    FPort = pport.empty() ? ProxyPort : pport;
  }
  RewindForResend();
  FSentCount = 0;
  PostMessage(FWindowHandle, WM_HTTP_LOGIN, 0, 0);
}

// ---- state and authentication ----

void THttpCli::StateChange(THttpClientState NewState) {
  if (FState == NewState) return;
  FState = NewState;
  TriggerStateChange();
  if (NewState != httpReady) return;
  StopBandwidthTimer();
  if (FFailed) {
    PostRequestDone();
    return;
  }
  SettleAuthStates();
  bool resend = false;
  const bool proxyWasDone = FProxyAuthNTLMState == ntlmDone || FProxyAuthBasicState == basicDone;
  bool started = PrepareNTLMAuth(resend);
  if (!started) started = PrepareBasicAuth(resend);
  if (!started) {
    PostRequestDone();
    return;
  }
  if (FStatusCode == 401 && proxyWasDone) {
    if (FCloseReq) {
      if (FProxyAuthNTLMState == ntlmDone)
        FProxyAuthNTLMState = ntlmSendType1;
      else if (FProxyAuthBasicState == basicDone)
        FProxyAuthBasicState = basicSend;
    } else {
      if (FProxyAuthNTLMState < ntlmDone)
        FProxyAuthNTLMState = ntlmIdle;
      else if (FProxyAuthBasicState < basicDone)
        FProxyAuthBasicState = basicIdle;
    }
  }
  if (resend) {
    RewindForResend();
    FReceiveLen = 0;
    ResetForRequest(true);
  }
}

void THttpCli::SettleAuthStates() {
  const bool s401 = FStatusCode == 401, s407 = FStatusCode == 407;
  if (FAuthNTLMState == ntlmSendType3 && !s401 && !s407)
    FAuthNTLMState = ntlmDone;
  else if (FAuthNTLMState == ntlmDone && s401)
    FAuthNTLMState = ntlmIdle;
  if (FProxyAuthNTLMState == ntlmSendType3 && !s407)
    FProxyAuthNTLMState = ntlmDone;
  else if (FProxyAuthNTLMState == ntlmDone && s407)
    FProxyAuthNTLMState = ntlmIdle;
  if (FAuthBasicState == basicSend && !s401 && !s407)
    FAuthBasicState = basicDone;
  else if (FAuthBasicState == basicDone && s401)
    FAuthBasicState = basicIdle;
  if (FProxyAuthBasicState == basicSend && !s407)
    FProxyAuthBasicState = basicDone;
  else if (FProxyAuthBasicState == basicDone && s407)
    FProxyAuthBasicState = basicIdle;
}

namespace {
// The last entry of List that starts with Scheme (any case), or -1.
int FindAuthEntry(TStringList* List, std::string_view Scheme) {
  for (int i = List->Count() - 1; i >= 0; --i)
    if (StartsWithNoCase(List->Strings(i), Scheme)) return i;
  return -1;
}
}  // namespace

bool THttpCli::PrepareNTLMAuth(bool& Resend) {
  if (CheckLogOptions(loProtSpecDump))
    DebugLog(loProtSpecDump, "PrepareNTLMAuth end, FStatusCode = " + IntToStr(FStatusCode) +
                                 " FProxyAuthNTLMState=" + IntToStr(int(FProxyAuthNTLMState)) +
                                 " FAuthNTLMState=" + IntToStr(int(FAuthNTLMState)));
  const bool allowed = !FOptions.Contains(httpoNoNTLMAuth) || (FStatusCode == 401 && ServerAuth == authNtlm) ||
                       (FStatusCode == 407 && ProxyAuth == authNtlm);
  if (!allowed || FDoAuthor->Count() == 0) return false;
  if (FStatusCode == 401 && FAuthBasicState == basicIdle && !FCurrUsername.empty() && !FCurrPassword.empty() &&
      FindAuthEntry(FDoAuthor.get(), "NTLM") >= 0) {
    StartAuthNTLM();
    Resend = FAuthNTLMState == ntlmSendType1 || FAuthNTLMState == ntlmSendType3;
    return true;
  }
  if (FStatusCode == 407 && FProxyAuthBasicState == basicIdle && !ProxyUsername.empty() && !ProxyPassword.empty() &&
      FindAuthEntry(FDoAuthor.get(), "NTLM") >= 0) {
    StartProxyAuthNTLM();
    Resend = FProxyAuthNTLMState == ntlmSendType1 || FProxyAuthNTLMState == ntlmSendType3;
    return true;
  }
  return false;
}

bool THttpCli::PrepareBasicAuth(bool& Resend) {
  const bool allowed = !FOptions.Contains(httpoNoBasicAuth) || (FStatusCode == 401 && ServerAuth == authBasic) ||
                       (FStatusCode == 407 && ProxyAuth == authBasic);
  if (!allowed || FDoAuthor->Count() == 0) return false;
  if (FStatusCode == 401 && FAuthNTLMState == ntlmIdle && !FCurrUsername.empty() && !FCurrPassword.empty() &&
      FindAuthEntry(FDoAuthor.get(), "Basic") >= 0) {
    StartAuthBasic();
    Resend = FAuthBasicState == basicSend;
    return true;
  }
  if (FStatusCode == 407 && FProxyAuthNTLMState == ntlmIdle && !ProxyUsername.empty() && !ProxyPassword.empty() &&
      FindAuthEntry(FDoAuthor.get(), "Basic") >= 0) {
    StartProxyAuthBasic();
    Resend = FProxyAuthBasicState == basicSend;
    return true;
  }
  return false;
}

void THttpCli::StartAuthNTLM() {
  const bool oldVersion = FRequestVer == "1.0" || FResponseVer == "1.0" || FResponseVer.empty();
  switch (FAuthNTLMState) {
    case ntlmIdle:
      DebugLog(loProtSpecInfo, "Starting NTLM authentication");
      FAuthNTLMState = ntlmSendType1;
      FAuthBasicState = basicIdle;
      if (oldVersion) FCurrConnection = "Keep-alive";
      PostMessage(FWindowHandle, WM_HTTP_LOGIN, 0, 0);
      break;
    case ntlmSendType1: {
      const int i = FindAuthEntry(FDoAuthor.get(), "NTLM");
      const std::string entry = FDoAuthor->Strings(i);
      FNTLMMsg2Info = ParseNtlmChallenge(entry.size() > 5 ? std::string_view(entry).substr(5, 1000) : "");
      FAuthNTLMState = ntlmSendType3;
      PostMessage(FWindowHandle, WM_HTTP_LOGIN, 0, 0);
      break;
    }
    case ntlmSendType3:
      FDoAuthor->Clear();
      FAuthNTLMState = ntlmIdle;
      PostRequestDone();
      break;
    default: throw EHttpException("Unexpected AuthNTLMState", httperrInvalidAuthState);
  }
}

void THttpCli::StartProxyAuthNTLM() {
  switch (FProxyAuthNTLMState) {
    case ntlmIdle:
      DebugLog(loProtSpecInfo, "Starting Proxy NTLM authentication");
      FProxyAuthNTLMState = ntlmSendType1;
      FProxyAuthBasicState = basicIdle;
      FCurrProxyConnection = "Keep-alive";
      PostMessage(FWindowHandle, WM_HTTP_LOGIN, 0, 0);
      break;
    case ntlmSendType1: {
      const int i = FindAuthEntry(FDoAuthor.get(), "NTLM");
      const std::string entry = FDoAuthor->Strings(i);
      FProxyNTLMMsg2Info = ParseNtlmChallenge(entry.size() > 5 ? std::string_view(entry).substr(5, 1000) : "");
      FProxyAuthNTLMState = ntlmSendType3;
      PostMessage(FWindowHandle, WM_HTTP_LOGIN, 0, 0);
      break;
    }
    case ntlmSendType3:
      FDoAuthor->Clear();
      FProxyAuthNTLMState = ntlmIdle;
      PostRequestDone();
      break;
    default: throw EHttpException("Unexpected ProxyAuthNTLMState", httperrInvalidAuthState);
  }
}

void THttpCli::StartAuthBasic() {
  switch (FAuthBasicState) {
    case basicIdle:
      DebugLog(loProtSpecInfo, "Starting Basic authentication");
      FAuthBasicState = basicSend;
      FAuthNTLMState = ntlmIdle;
      PostMessage(FWindowHandle, WM_HTTP_LOGIN, 0, 0);
      break;
    case basicSend:
      FDoAuthor->Clear();
      FAuthBasicState = basicIdle;
      PostRequestDone();
      break;
    default: throw EHttpException("Unexpected AuthBasicState", httperrInvalidAuthState);
  }
}

void THttpCli::StartProxyAuthBasic() {
  switch (FProxyAuthBasicState) {
    case basicIdle:
      DebugLog(loProtSpecInfo, "Starting Proxy Basic authentication");
      FProxyAuthBasicState = basicSend;
      FProxyAuthNTLMState = ntlmIdle;
      PostMessage(FWindowHandle, WM_HTTP_LOGIN, 0, 0);
      break;
    case basicSend:
      FDoAuthor->Clear();
      FProxyAuthBasicState = basicIdle;
      PostRequestDone();
      break;
    default: throw EHttpException("Unexpected ProxyAuthBasicState", httperrInvalidAuthState);
  }
}

// ---- bandwidth ----

void THttpCli::BandwidthTimerTick(TObject*) {
  if (!FBandwidthPaused) return;
  FBandwidthPaused = false;
  FBandwidthCount -= FBandwidthMaxCount;
  FCtrlSocket->Resume();
}

void THttpCli::StopBandwidthTimer() {
  if (FBandwidthTimer) FBandwidthTimer->SetEnabled(false);
  if (FBandwidthPaused) {
    FBandwidthPaused = false;
    FCtrlSocket->Resume();
  }
}

// ---- socket forwarders and triggers ----

void THttpCli::SocketSocksConnected(TObject*, Word Error) {
  if (OnSocksConnected) OnSocksConnected(this, Error);
}
void THttpCli::SocketSocksError(TObject*, Integer Error, const std::string& Msg) {
  if (OnSocksError) OnSocksError(this, Error, Msg);
}
void THttpCli::SocketError(TObject*) {
  if (OnSocketError) OnSocketError(this);
}

void THttpCli::TriggerStateChange() {
  DebugLog(loProtSpecInfo, "State = " + HttpStateName(FState));
  if (OnStateChange) OnStateChange(this);
}
void THttpCli::TriggerCookie(const std::string& Data, bool& Accept) {
  if (OnCookie) OnCookie(this, Data, Accept);
}
void THttpCli::TriggerSessionConnected(Word Error) {
  if (OnSessionConnected) OnSessionConnected(this, Error);
}
void THttpCli::TriggerSessionClosed(Word Error) {
  if (OnSessionClosed) OnSessionClosed(this, Error);
}
void THttpCli::TriggerBeforeHeaderSend(const std::string& Method, TStrings* Headers) {
  if (OnBeforeHeaderSend) OnBeforeHeaderSend(this, Method, Headers);
}
void THttpCli::TriggerRequestHeaderBegin() {
  if (OnRequestHeaderBegin) OnRequestHeaderBegin(this);
}
void THttpCli::TriggerRequestHeaderEnd() {
  if (OnRequestHeaderEnd) OnRequestHeaderEnd(this);
}
void THttpCli::TriggerHeaderBegin() {
  FHeaderEndFlag = true;
  if (OnHeaderBegin) OnHeaderBegin(this);
}
void THttpCli::TriggerHeaderEnd() {
  FHeaderEndFlag = false;
  if (OnHeaderEnd) OnHeaderEnd(this);
}
void THttpCli::TriggerDocBegin() {
  DebugLog(loProtSpecInfo, "DocBegin");
  if (OnDocBegin) OnDocBegin(this);
}
void THttpCli::TriggerDocData(const void* Data, Integer Len) {
  if (OnDocData) OnDocData(this, Data, Len);
}
void THttpCli::TriggerDocEnd() {
  DebugLog(loProtSpecInfo, "DocEnd");
  if (OnDocEnd) OnDocEnd(this);
}
void THttpCli::TriggerSendBegin() {
  if (OnSendBegin) OnSendBegin(this);
}
void THttpCli::TriggerSendData(const void* Data, Integer Len) {
  if (OnSendData) OnSendData(this, Data, Len);
}
void THttpCli::TriggerSendEnd() {
  if (OnSendEnd) OnSendEnd(this);
}
