// The asynchronous HTTP/1.0 and 1.1 client. One request at a time runs over one owned
// socket; nothing blocks: look-up, connect, send and receive complete through the
// socket's events, and the client moves itself on by posting messages to its own hidden
// window (0x401 request done, 0x402 ready, 0x403 connect and send again). Get is the
// synchronous wrapper: it starts a GET and pumps the thread's messages until the client
// is ready again.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "platform/rtl/classes.h"
#include "platform/rtl/events.h"
#include "platform/rtl/exceptions.h"
#include "platform/win/clock.h"
#include "platform/win/messages.h"
#include "transport/HttpContCod.h"
#include "transport/SockLogger.h"
#include "transport/SockNtlmMsgs.h"
#include "transport/WSocket.h"

class TTimer;

class EHttpException : public Exception {
  VX_CLASS(EHttpException, Exception)

 public:
  EHttpException(const std::string& Msg, Word Code) : Exception(Msg), FErrorCode(Code) {}
  Word ErrorCode() const { return FErrorCode; }

 private:
  Word FErrorCode;
};

// Error codes of EHttpException and of OnRequestDone beside the status and socket codes.
constexpr Word httperrBusy = 1;
constexpr Word httperrNoData = 2;
constexpr Word httperrAborted = 3;
constexpr Word httperrVersion = 5;
constexpr Word httperrInvalidAuthState = 6;
// A reply that breaks the protocol: no or a malformed status line, a bad chunk size.
constexpr Word httperrBadReply = 7;
// The connection ended before the whole body (or before any reply) arrived.
constexpr Word httperrIncomplete = 8;
// A header larger than the client accepts.
constexpr Word httperrHeaderTooLarge = 9;
// No data for longer than the socket's Timeout.
constexpr Word httperrTimeout = 10;
// A request target holding control characters.
constexpr Word httperrBadUrl = 11;
// Data came slower than LowSpeedLimit for LowSpeedTime.
constexpr Word httperrTooSlow = 12;
// A body larger than MaxBodySize.
constexpr Word httperrBodyTooLarge = 13;

enum class THttpRequest { httpABORT, httpGET, httpPOST, httpPUT, httpHEAD, httpCLOSE };
using enum THttpRequest;
enum class THttpCliOption { httpoNoBasicAuth, httpoNoNTLMAuth, httpoBandwidthControl, httpoEnableContentCoding, httpoUseQuality };
using enum THttpCliOption;
using THttpCliOptions = TSet<THttpCliOption>;
enum class THttpClientState {
  httpReady,
  httpNotConnected,
  httpConnected,
  httpDnsLookup,
  httpDnsLookupDone,
  httpWaitingHeader,
  httpWaitingBody,
  httpBodyReceived,
  httpWaitingProxyConnect,
  httpClosing,
  httpAborting
};
using enum THttpClientState;
enum class THttpAuthType { authNone, authBasic, authNtlm };
using enum THttpAuthType;
enum class TNtlmAuthState { ntlmIdle = 0, ntlmSendType1 = 1, ntlmSendType3 = 3, ntlmDone = 4 };
using enum TNtlmAuthState;
enum class TBasicAuthState { basicIdle, basicSend, basicDone };
using enum TBasicAuthState;
enum class THttpChunkState { httpChunkReadSize, httpChunkSkipSizeLine, httpChunkReadData, httpChunkSkipDataEnd, httpChunkDone };
using enum THttpChunkState;

using TDocDataEvent = Event<TObject*, const void*, Integer>;
using THttpRequestDone = Event<TObject*, THttpRequest, Word>;
using TCookieRcvdEvent = Event<TObject*, const std::string&, bool&>;
using TOnCommand = Event<TObject*, std::string&>;
using TBeforeHeaderSendEvent = Event<TObject*, const std::string&, TStrings*>;
using TLocationChangeExceeded = Event<TObject*, Integer, bool&>;

// Limits on what a server may send before the body.
constexpr int kHttpMaxHeaderLines = 1000;
constexpr int64_t kHttpMaxHeaderBytes = 1 << 20;

class THttpCli : public TComponent {
  VX_CLASS(THttpCli, TComponent)

 public:
  explicit THttpCli(TComponent* AOwner);
  ~THttpCli() override;

  // Synchronous GET; raises EHttpException for a final status of 400 or more other than
  // 401 and 407, and for a reply that broke off or broke the protocol.
  void Get();
  void DoRequestAsync(THttpRequest Rq);
  void DoRequestSync(THttpRequest Rq);
  void Abort();

  // Published properties.
  std::string URL;
  std::string LocalAddr = "0.0.0.0";
  std::string Proxy;
  std::string ProxyPort = "80";
  std::string Sender;
  std::string Agent = "Mozilla/4.0 (compatible; Socket library)";
  std::string Accept = "image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*";
  std::string AcceptLanguage;
  std::string Reference;
  std::string Connection;
  std::string ProxyConnection;
  std::string Username, Password;
  std::string ProxyUsername, ProxyPassword;
  bool NoCache = false;
  double ModifiedSince = 0;
  std::string Cookie;
  std::string ContentTypePost = "application/x-www-form-urlencoded";
  std::string ContentRangeBegin, ContentRangeEnd;
  const std::string& AcceptRanges() const { return FAcceptRanges; }
  bool MultiThreaded() const { return FMultiThreaded; }
  void SetMultiThreaded(bool Value);
  const std::string& RequestVer() const { return FRequestVer; }
  void SetRequestVer(const std::string& Value);
  bool FollowRelocation = true;
  Integer LocationChangeMaxCount = 5;
  Integer LocationChangeCurCount() const { return FLocationChangeCurCount; }
  Integer BandwidthLimit = 10000;
  Integer BandwidthSampling = 1000;
  // Get gives up a request whose data comes at fewer than LowSpeedLimit bytes a second
  // over LowSpeedTime seconds (EHttpException with httperrTooSlow); 0 in either, the
  // default, sets no such limit.
  Integer LowSpeedLimit = 0;
  Integer LowSpeedTime = 0;
  // The most bytes the body that Get hands over may have, -1 (the default) for no
  // bound: a reply that announces more fails at the end of its header, and a body that
  // runs past it is taken up to the bound and fails there (EHttpException with
  // httperrBodyTooLarge). The body of a relocation, or of any reply outside 2xx (an
  // error page, a 401 or 407 challenge), is bounded by vxnet::kSideBodyLimit instead:
  // what came up to it is kept, and the reply ends there as if its body had ended (the
  // connection is closed; an authentication step goes on over a new one).
  int64_t MaxBodySize = -1;
  THttpCliOptions Options() const;
  void SetOptions(THttpCliOptions Value);
  TSockLogger* SockLogger() const { return FCtrlSocket->SockLogger(); }
  void SetSockLogger(TSockLogger* Value) { FCtrlSocket->SetSockLogger(Value); }
  std::string SocksServer, SocksLevel = "5", SocksPort, SocksUsercode, SocksPassword;
  TSocksAuthentication SocksAuthentication = socksNoAuthentication;

  TLocationChangeExceeded OnLocationChangeExceeded;
  TNotifyEvent OnTrace, OnHeaderData, OnHeaderBegin, OnHeaderEnd, OnRequestHeaderBegin, OnRequestHeaderEnd,
      OnDocBegin, OnDocEnd, OnSendBegin, OnSendEnd, OnStateChange, OnLocationChange, OnDataPush2;
  TSessionConnected OnSessionConnected;
  TSessionClosed OnSessionClosed;
  TOnCommand OnCommand;
  TDocDataEvent OnDocData, OnSendData;
  THttpRequestDone OnRequestDone;
  TCookieRcvdEvent OnCookie;
  TDataAvailable OnDataPush;
  TSessionConnected OnSocksConnected;
  TSocksAuthStateEvent OnSocksAuthState;
  TSocksErrorEvent OnSocksError;
  TNotifyEvent OnSocketError;
  TBeforeHeaderSendEvent OnBeforeHeaderSend;

  // Public state.
  Integer StatusCode() const { return FStatusCode; }
  const std::string& ReasonPhrase() const { return FReasonPhrase; }
  Int64 ContentLength() const { return FContentLength; }
  TStream* RcvdStream = nullptr;
  TStream* SendStream = nullptr;
  THttpClientState State() const { return FState; }
  THttpRequest RequestType() const { return FRequestType; }
  const std::string& DocName() const { return FDocName; }
  const std::string& Location() const { return FLocation; }
  const std::string& ContentType() const { return FContentType; }
  const std::string& TransferEncoding() const { return FTransferEncoding; }
  const std::string& ContentEncoding() const { return FContentEncoding; }
  TStringList* RcvdHeader() const { return FRcvdHeader.get(); }
  Int64 RcvdCount() const { return FRcvdCount; }
  Int64 SentCount() const { return FSentCount; }
  THttpAuthType ServerAuth = authNone;
  THttpAuthType ProxyAuth = authNone;
  TNtlmAuthState AuthNTLMState() const { return FAuthNTLMState; }
  TNtlmAuthState ProxyAuthNTLMState() const { return FProxyAuthNTLMState; }
  TBasicAuthState AuthBasicState() const { return FAuthBasicState; }
  TBasicAuthState ProxyAuthBasicState() const { return FProxyAuthBasicState; }
  HWND Handle() const { return FWindowHandle; }
  // The error OnRequestDone reported for the last request (0 for none).
  Word RequestDoneError() const { return FRequestDoneError; }
  // The owned socket; its Timeout (milliseconds, 0 = none) bounds how long Get waits
  // without any data from the server.
  TWSocket* CtrlSocket() const { return FCtrlSocket.get(); }

 protected:
  virtual void DebugLog(TLogOption Option, const std::string& Msg);
  virtual bool CheckLogOptions(TLogOption Option) const;
  virtual void CreateSocket();
  virtual void SetupSocket();
  virtual void SendRequest(const std::string& Method, const std::string& Version);
  virtual void GetHeaderLineNext(const std::string& Line);
  virtual void GetBodyLineNext(const char* Data, int64_t Len);
  virtual void SendCommand(const std::string& Cmd);
  virtual void Login();
  virtual void CloseOnError();
  virtual void ResetForRequest(bool KeepDocName = false);
  virtual void StartRelocation();
  virtual void StartAuthNTLM();
  virtual void StartProxyAuthNTLM();
  virtual void StartAuthBasic();
  virtual void StartProxyAuthBasic();
  virtual void SocketDnsLookupDone(TObject* Sender, Word Error);
  virtual void SocketSessionClosed(TObject* Sender, Word Error);
  virtual void SocketSessionConnected(TObject* Sender, Word Error);
  virtual void SocketDataSent(TObject* Sender, Word Error);
  virtual void SocketDataAvailable(TObject* Sender, Word Error);
  virtual void RelocateAfterClose(TObject* Sender, Word Error);
  virtual void StateChange(THttpClientState NewState);
  virtual void TriggerStateChange();
  virtual void TriggerCookie(const std::string& Data, bool& Accept);
  virtual void TriggerSessionConnected(Word Error);
  virtual void TriggerSessionClosed(Word Error);
  virtual void TriggerBeforeHeaderSend(const std::string& Method, TStrings* Headers);
  virtual void TriggerRequestHeaderBegin();
  virtual void TriggerRequestHeaderEnd();
  virtual void TriggerHeaderBegin();
  virtual void TriggerHeaderEnd();
  virtual void TriggerDocBegin();
  virtual void TriggerDocData(const void* Data, Integer Len);
  virtual void TriggerDocEnd();
  virtual void TriggerSendBegin();
  virtual void TriggerSendData(const void* Data, Integer Len);
  virtual void TriggerSendEnd();
  virtual void PostRequestDone();
  virtual void WndProc(TMessage& Msg);
  virtual void PostReady();
  virtual void ExtractDocName();

  // Reply parsing without a connection (tests): PrepareForReply sets the client up as
  // if request Rq had been sent; FeedReply hands it bytes as the socket would.
  void PrepareForReply(THttpRequest Rq);
  void FeedReply(const char* Data, size_t Len);

 private:
  // Parses the Len bytes just added behind the receive buffer's fill.
  void ProcessReceived(size_t Len);
  void CountBandwidth(size_t Len);
  // Hands at most Len body bytes to the body reader; returns how many belonged to the body.
  size_t TakeBodyBlock(const char* Data, size_t Len);
  enum class TLineHandler { None, Header, Body };

  // The reply header, one step per kind of line.
  void StartBodyWithoutHeader(const std::string& Line);
  void ParseStatusLine(const std::string& Line);
  void AddHeaderLine(const std::string& Line);
  bool ApplyPendingField();
  void ApplyContentLength(const std::string& Value);
  void ApplyContentRange(const std::string& Value);
  void ApplyConnectionField(const std::string& Value);
  void ClearBodyFields();
  void EndOfHeader();
  bool FrameBody();
  void EndReplyWithoutBody();
  void CloseAfterReply();
  bool ResendOnNewConnection();

  void DoRequestDone();
  // Ends the request because the reply cannot be used: records the error, closes the
  // connection and makes the client ready.
  void FailRequest(Word Error, const std::string& Reason);
  void BeginDocument();
  void EndDocument();
  void BodyEnded();
  void ApplyLocation(const std::string& Value);
  bool CountRelocation();
  void RewindForResend();
  bool PrepareNTLMAuth(bool& Resend);
  bool PrepareBasicAuth(bool& Resend);
  void SettleAuthStates();
  void BandwidthTimerTick(TObject* Sender);
  void StopBandwidthTimer();
  void SocketSocksConnected(TObject* Sender, Word Error);
  void SocketSocksError(TObject* Sender, Integer Error, const std::string& Msg);
  void SocketError(TObject* Sender);
  void DiscardReceived(size_t Count);
  bool SameConnection() const;
  Integer ContentWrite(const void* Data, Integer Len);
  // True when the body of the reply now read is not the document asked for: a
  // relocation's, an error page's or a challenge's.
  bool SideBody() const;
  // Hands body bytes to the content-coding handler within the body's bound; false when
  // they run past it, which has failed the request (MaxBodySize) or ended the document
  // (a side body).
  bool WriteBody(const char* Data, int64_t Len);
  // The document is complete: its end is told, and a connection to be closed closes.
  void FinishDocument();
  void Touch() { FLastActivity = Clock().Now(); }
  void CountReceived(size_t Len);
  bool TooSlow();

  std::unique_ptr<TWSocket> FCtrlSocket;
  HWND FWindowHandle = nullptr;
  bool FMultiThreaded = false;
  THttpClientState FState = httpReady;
  THttpRequest FRequestType = httpABORT;
  std::string FRequestVer = "1.0";
  Integer FLocationChangeCurCount = 0;
  bool FRelocationCounted = false;

  std::string FHostName, FPort, FProtocol, FTargetHost, FTargetPort, FPath, FDocName, FLocation;
  std::string FDnsResult;
  std::string FCurrentHost, FCurrentPort, FCurrentProtocol;
  bool FConnected = false;
  std::string FCurrUsername, FCurrPassword, FCurrConnection, FCurrProxyConnection;
  bool FUrlCredentials = false;

  char FSndBuf[8193] = {};
  TMemoryStream FReqStream;
  char FReceiveBuffer[8191] = {};
  std::vector<char> FBodyBuffer;
  size_t FReceiveLen = 0;
  std::string FLastResponse;
  int FHeaderLineCount = 0;
  int64_t FHeaderBytes = 0;
  int FBodyLineCount = 0;
  std::unique_ptr<TStringList> FRcvdHeader;
  std::unique_ptr<TStringList> FDoAuthor;
  Integer FStatusCode = 0;
  std::string FReasonPhrase;
  std::string FResponseVer;
  Int64 FContentLength = -1;
  std::string FContentType, FTransferEncoding, FContentEncoding, FAcceptRanges;
  Int64 FRcvdCount = 0;
  Int64 FSentCount = 0;
  int64_t FRcvdStreamStartSize = 0;
  bool FStatusSeen = false;
  bool FFieldPending = false;  // RcvdHeader's last line is a field not yet applied
  bool FChunked = false;       // the body is framed by chunks

  THttpChunkState FChunkState = httpChunkReadSize;
  int64_t FChunkLength = 0;
  int64_t FChunkRcvd = 0;
  int FChunkDigits = 0;

  bool FCloseReq = false;
  bool FClosePending = false;      // the reply is complete; the connection is being closed
  bool FOnKeptConnection = false;  // the request went out on a kept connection, no reply byte yet
  bool FLocationFlag = false;
  bool FHeaderEndFlag = false;
  bool FAllowedToSend = false;
  bool FTunnelEstablished = false;
  bool FStarted = false;
  Word FRequestDoneError = 0;
  bool FFailed = false;

  TNtlmAuthState FAuthNTLMState = ntlmIdle, FProxyAuthNTLMState = ntlmIdle;
  TBasicAuthState FAuthBasicState = basicIdle, FProxyAuthBasicState = basicIdle;
  TNTLM_Msg2_Info FNTLMMsg2Info, FProxyNTLMMsg2Info;

  THttpCliOptions FOptions;
  int64_t FBandwidthCount = 0;
  int64_t FBandwidthMaxCount = 0;
  bool FBandwidthPaused = false;
  std::unique_ptr<TTimer> FBandwidthTimer;

  TLineHandler FNext = TLineHandler::None;
  std::unique_ptr<THttpContCodHandler> FContentCodingHnd;
  int64_t FLastActivity = 0;  // a Clock() time
  // Bytes from the server during the current Get, and that count about once a second
  // back to LowSpeedTime ago (the oldest first).
  int64_t FReceivedTotal = 0;
  std::deque<std::pair<int64_t, int64_t>> FSpeedSamples;
  std::shared_ptr<bool> FAlive = std::make_shared<bool>(true);
};

// The "If-Modified-Since" text of a date-time value (universal time).
std::string RFC1123Date(double DateTime);
// The name of a client state, as the state log shows it.
std::string HttpStateName(THttpClientState State);
