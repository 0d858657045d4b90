// The message-driven socket component. A socket owns one handle of the Winsock-style
// layer and one hidden window; network events arrive at that window as posted messages
// and become the socket's events on the thread that created it. Nothing blocks: name
// look-up, connecting, sending and closing complete later through events.
//
// Layers, each a class: TCustomWSocket (the core), TCustomSocksWSocket (SOCKS 4, 4A
// and 5 client), TCustomLineWSocket (line mode), TCustomSyncWSocket (waits that pump
// messages) and TWSocket, the class that applications create.
#pragma once

#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <sys/time.h>

#include "platform/net/winsock.h"
#include "platform/rtl/classes.h"
#include "platform/rtl/events.h"
#include "platform/win/messages.h"
#include "platform/win/wintypes.h"
#include "transport/SockLogger.h"
#include "transport/WSockBuf.h"

using TSocket = winsock::SOCKET;

VX_EXCEPTION(ESocketException, Exception)

enum class TSocketState {
  wsInvalidState,
  wsOpened,
  wsBound,
  wsConnecting,
  wsSocksConnected,
  wsConnected,
  wsAccepting,
  wsListening,
  wsClosed
};
using enum TSocketState;

enum class TSocketSendFlags { wsSendNormal, wsSendUrgent };
using enum TSocketSendFlags;
enum class TSocketLingerOnOff { wsLingerOff, wsLingerOn, wsLingerNoSet };
using enum TSocketLingerOnOff;
enum class TSocketKeepAliveOnOff { wsKeepAliveOff, wsKeepAliveOnCustom, wsKeepAliveOnSystem };
using enum TSocketKeepAliveOnOff;
enum class TWSocketOption { wsoNoReceiveLoop, wsoTcpNoDelay, wsoSIO_RCVALL };
using enum TWSocketOption;
using TWSocketOptions = TSet<TWSocketOption>;

using TDataAvailable = Event<TObject*, Word>;
using TDataSent = Event<TObject*, Word>;
using TSessionClosed = Event<TObject*, Word>;
using TSessionAvailable = Event<TObject*, Word>;
using TSessionConnected = Event<TObject*, Word>;
using TDnsLookupDone = Event<TObject*, Word>;
using TSendData = Event<TObject*, Integer>;
using TChangeState = Event<TObject*, TSocketState, TSocketState>;
using TBgExceptionEvent = Event<TObject*, Exception&, bool&>;

// Messages of the socket's hidden window.
constexpr UINT WM_ASYNCSELECT = 0x401;
constexpr UINT WM_ASYNCGETHOSTBYNAME = 0x402;
constexpr UINT WM_ASYNCGETHOSTBYADDR = 0x403;
constexpr UINT WM_CLOSE_DELAYED = 0x404;
constexpr UINT WM_WSOCKET_RELEASE = 0x405;
constexpr UINT WM_TRIGGER_EXCEPTION = 0x406;
constexpr UINT WM_TRIGGER_DATA_AVAILABLE = 0x414;

// Error codes of the SOCKS layer and of the synchronous waits.
constexpr int socksProtocolError = 20001;
constexpr int socksVersionError = 20002;
constexpr int socksAuthMethodError = 20003;
constexpr int socksGeneralFailure = 20004;
constexpr int socksConnectionNotAllowed = 20005;
constexpr int socksNetworkUnreachable = 20006;
constexpr int socksHostUnreachable = 20007;
constexpr int socksConnectionRefused = 20008;
constexpr int socksTtlExpired = 20009;
constexpr int socksUnknownCommand = 20010;
constexpr int socksUnknownAddressType = 20011;
constexpr int socksUnassignedError = 20012;
constexpr int socksInternalError = 20013;
constexpr int socksDataReceiveError = 20014;
constexpr int socksAuthenticationFailed = 20015;
constexpr int socksRejectedOrFailed = 20016;
constexpr int socksHostResolutionFailed = 20017;
constexpr int WSA_WSOCKET_TIMEOUT = 12001;

class TCustomWSocket : public TComponent {
  VX_CLASS(TCustomWSocket, TComponent)

 public:
  explicit TCustomWSocket(TComponent* AOwner);
  ~TCustomWSocket() override;

  // Properties.
  TSockLogger* SockLogger() const { return FSockLogger; }
  virtual void SetSockLogger(TSockLogger* Value);
  const std::string& Addr() const { return FAddrStr; }
  void SetAddr(const std::string& Value);
  const std::string& Port() const { return FPortStr; }
  virtual void SetPort(const std::string& Value);
  const std::string& Proto() const { return FProtoStr; }
  virtual void SetProto(const std::string& Value);
  const std::string& LocalAddr() const { return FLocalAddr; }
  void SetLocalAddr(const std::string& Value);
  const std::string& LocalPort() const { return FLocalPortStr; }
  void SetLocalPort(const std::string& Value);
  std::string PeerAddr() { return GetPeerAddr(); }
  std::string PeerPort() { return GetPeerPort(); }
  const std::string& DnsResult() const { return FDnsResult; }
  const std::vector<std::string>& DnsResultList() const { return FDnsResultList; }
  TSocketState State() const { return FState; }
  Integer ReadCount() const { return FReadCount; }
  Integer RcvdCount() { return GetRcvdCount(); }
  Integer LastError() const { return FLastError; }
  void SetLastError(Integer Value) { FLastError = Value; }
  TSocket HSocket() const { return FHSocket; }
  HWND Handle() const { return FWindowHandle; }
  bool MultiThreaded() const { return FMultiThreaded; }
  void SetMultiThreaded(bool Value) { FMultiThreaded = Value; }
  bool MultiCast() const { return FMultiCast; }
  void SetMultiCast(bool Value) { FMultiCast = Value; }
  const std::string& MultiCastAddrStr() const { return FMultiCastAddrStr; }
  void SetMultiCastAddrStr(const std::string& Value) { FMultiCastAddrStr = Value; }
  Integer MultiCastIpTTL() const { return FMultiCastIpTTL; }
  void SetMultiCastIpTTL(Integer Value) { FMultiCastIpTTL = Value; }
  bool ReuseAddr() const { return FReuseAddr; }
  void SetReuseAddr(bool Value) { FReuseAddr = Value; }
  TWSocketOptions ComponentOptions() const { return FComponentOptions; }
  void SetComponentOptions(TWSocketOptions Value) { FComponentOptions = Value; }
  Integer ListenBacklog() const { return FListenBacklog; }
  void SetListenBacklog(Integer Value) { FListenBacklog = Value; }
  static Byte ReqVerLow();
  void SetReqVerLow(Byte Value);
  static Byte ReqVerHigh();
  void SetReqVerHigh(Byte Value);
  Integer BufSize() const { return FBufSize; }
  void SetBufSize(Integer Value) { FBufSize = Value > 0 ? Value : 1460; }
  Integer FlushTimeout() const { return FFlushTimeout; }
  void SetFlushTimeout(Integer Value) { FFlushTimeout = Value; }
  TSocketSendFlags SendFlags() const;
  void SetSendFlags(TSocketSendFlags Value);
  TSocketLingerOnOff LingerOnOff() const { return FLingerOnOff; }
  void SetLingerOnOff(TSocketLingerOnOff Value) { FLingerOnOff = Value; }
  Integer LingerTimeout() const { return FLingerTimeout; }
  void SetLingerTimeout(Integer Value) { FLingerTimeout = Value; }
  TSocketKeepAliveOnOff KeepAliveOnOff() const { return FKeepAliveOnOff; }
  void SetKeepAliveOnOff(TSocketKeepAliveOnOff Value) { FKeepAliveOnOff = Value; }
  Integer KeepAliveTime() const { return FKeepAliveTime; }
  void SetKeepAliveTime(Integer Value) { FKeepAliveTime = Value; }
  Integer KeepAliveInterval() const { return FKeepAliveInterval; }
  void SetKeepAliveInterval(Integer Value) { FKeepAliveInterval = Value; }
  bool AllSent() const { return FAllSent; }
  bool Terminated() const { return FTerminated; }

  // Events.
  TDataAvailable OnDataAvailable;
  TDataSent OnDataSent;
  TSendData OnSendData;
  TSessionClosed OnSessionClosed;
  TSessionAvailable OnSessionAvailable;
  TSessionConnected OnSessionConnected;
  TChangeState OnChangeState;
  TDnsLookupDone OnDnsLookupDone;
  TNotifyEvent OnError;
  TBgExceptionEvent OnBgException;

  // Operations.
  virtual void Connect();
  virtual void Close();
  virtual void PostClose();
  virtual void PostFree();
  virtual void Abort();
  virtual void Flush();
  virtual void DrainUntilClosed();
  virtual void Listen();
  virtual TSocket Accept();
  virtual Integer Receive(void* Buffer, Integer BufferSize);
  virtual std::string ReceiveStr();
  virtual Integer ReceiveFrom(void* Buffer, Integer BufferSize, sockaddr_in& From, Integer& FromLen);
  virtual Integer Send(const void* Data, Integer Len);
  virtual Integer SendTo(const sockaddr_in& Dest, Integer DestLen, const void* Data, Integer Len);
  virtual Integer SendStr(const std::string& Str);
  virtual void DnsLookup(const std::string& HostName);
  virtual void ReverseDnsLookup(const std::string& HostAddr);
  virtual void ReverseDnsLookupSync(const std::string& HostAddr);
  virtual void CancelDnsLookup();
  virtual std::string GetPeerAddr();
  virtual std::string GetPeerPort();
  virtual Integer GetPeerName(sockaddr_in& Name, Integer NameLen);
  virtual std::string GetLocalPortText();
  virtual std::string GetLocalAddrText();
  virtual Integer GetSockName(sockaddr_in& SockAddr, Integer& SockAddrLen);
  virtual void Dup(TSocket NewHSocket);
  virtual void Shutdown(Integer How);
  virtual void Pause();
  virtual void Resume();
  virtual void QueueSendData(const void* Data, Integer Len);
  virtual void PumpMessages();
  // Dispatches every message queued for this thread and returns when none is left.
  void ProcessPendingMessages() { PumpMessages(); }
  virtual void AttachThread();
  virtual void DetachThread();

  static bool TimeValIsSet(const timeval& Tv) { return Tv.tv_sec != 0 || Tv.tv_usec != 0; }
  static void TimeValClear(timeval& Tv) { Tv.tv_sec = Tv.tv_usec = 0; }
  static bool TimeValEqual(const timeval& A, const timeval& B, bool Wanted) {
    return (A.tv_sec == B.tv_sec && A.tv_usec == B.tv_usec) == Wanted;
  }

  // The bytes queued but not yet sent.
  Integer BufferedByteCount() const { return FBufferedByteCount; }

 protected:
  void Notification(TComponent* AComponent, TOperation Operation) override;

  bool LogEnabled(TLogOption Option) const;
  void LogText(TLogOption Option, const std::string& Text);
  // Handles one message of the hidden window.
  virtual void WindowProc(UINT Msg, WPARAM wParam, LPARAM lParam);
  virtual void CreateHiddenWindow();
  virtual void DestroyHiddenWindow();
  virtual void TryToSend();
  virtual void ResetDefaults();
  virtual void CloseSocketNow(bool DoShutdown, Word Error);
  virtual void AbortWith(Word Error);
  virtual Integer GetRcvdCount();
  virtual void BindLocal();
  virtual Integer RawSend(const void* Data, Integer Len);
  [[noreturn]] void RaiseException(const std::string& Msg) const;
  virtual void RaiseSocketError(const std::string& Msg);
  // The socket error path: composes "Error <n> in function <Sender>" and the text.
  virtual void SocketError(const std::string& Sender);
  virtual void HandleBackgroundException(Exception& E);
  // Returns whether a handler was assigned.
  virtual bool TriggerDataAvailable(Word Error);
  virtual void TriggerSessionAvailable(Word Error);
  virtual void TriggerSessionConnected(Word Error);
  virtual void TriggerSessionClosed(Word Error);
  virtual void TriggerDataSent(Word Error);
  virtual void TriggerChangeState(TSocketState OldState, TSocketState NewState);
  virtual void TriggerDnsLookupDone(Word Error);
  virtual void TriggerError();
  virtual Integer DoRecv(void* Buffer, Integer BufferSize, Integer Flags);
  virtual Integer DoRecvFrom(void* Buffer, Integer BufferSize, Integer Flags, sockaddr_in& From, Integer& FromLen);
  virtual void HandleConnectEvent(Word Error);
  virtual void HandleReadEvent(Word Error);
  virtual void HandleWriteEvent(Word Error);
  virtual void HandleAcceptEvent(Word Error);
  virtual void HandleCloseEvent(Word Error);
  void ChangeState(TSocketState NewState);
  void DeleteBufferedData();
  // Delivers pending data through OnDataAvailable until none is left.
  void ReceiveLoop(Word Error, TWSocketOptions Options);
  void ApplyLinger();
  void ApplyKeepAlive();
  bool IsDestroying() const { return ComponentState().Contains(csDestroying); }

  // A token that outlives the object: false once it is destroyed. Code that calls out to
  // handlers checks it before touching the object again.
  std::shared_ptr<bool> AliveToken() const { return FAlive; }

  TSocket FHSocket = winsock::INVALID_SOCKET;
  HWND FWindowHandle = nullptr;
  std::thread::id FThreadId;
  std::string FAddrStr, FPortStr, FProtoStr;
  std::string FLocalAddr = "0.0.0.0";
  std::string FLocalPortStr = "0";
  bool FAddrAssigned = false, FAddrResolved = false;
  bool FPortAssigned = false, FPortResolved = false;
  bool FProtoAssigned = false, FProtoResolved = false;
  bool FLocalPortResolved = false;
  int FProto = IPPROTO_TCP;
  int FType = SOCK_STREAM;
  Word FPortNum = 0;
  Word FLocalPortNum = 0;
  sockaddr_in FSin{};
  TSocketState FState = wsClosed;
  Integer FLastError = 0;
  Integer FReadCount = 0;
  bool FRcvdFlag = false;
  long FSelectEvent = 0;
  long FSelectMask = 0;
  bool FPaused = false;
  bool FCloseInvoked = false;
  bool FAllSent = true;
  bool FTerminated = false;
  std::list<std::unique_ptr<TBuffer>> FBufList;
  Integer FBufSize = 1460;
  Integer FBufferedByteCount = 0;
  int FSendFlags = 0;
  Integer FSocketSndBufSize = 0;
  Integer FSocketRcvBufSize = 0;
  bool FMultiThreaded = false;
  bool FMultiCast = false;
  std::string FMultiCastAddrStr;
  Integer FMultiCastIpTTL = 1;
  bool FReuseAddr = false;
  TWSocketOptions FComponentOptions;
  Integer FListenBacklog = 5;
  TSocketLingerOnOff FLingerOnOff = wsLingerOn;
  Integer FLingerTimeout = 0;
  TSocketKeepAliveOnOff FKeepAliveOnOff = wsKeepAliveOnSystem;
  Integer FKeepAliveTime = 30000;
  Integer FKeepAliveInterval = 1000;
  Integer FFlushTimeout = 60;
  HANDLE FDnsLookupHandle = nullptr;
  std::unique_ptr<char[]> FDnsLookupBuffer;
  bool FDnsLookupCheckMsg = false;
  WPARAM FDnsLookupTempMsgW = 0;
  LPARAM FDnsLookupTempMsgL = 0;
  UINT FDnsLookupTempMsg = 0;
  std::string FDnsResult;
  std::vector<std::string> FDnsResultList;
  TSockLogger* FSockLogger = nullptr;

 private:
  void MainWndProc(TMessage& Message);
  void HandleSelectMessage(WPARAM wParam, LPARAM lParam);
  void HandleLookupDone(UINT Msg, WPARAM wParam, LPARAM lParam);
  std::shared_ptr<bool> FAlive = std::make_shared<bool>(true);
};

// Plain functions of the socket unit.
unsigned long WSocketResolveHost(const std::string& InAddr);   // network order
Word WSocketResolvePort(const std::string& Port, const std::string& Proto);
int WSocketResolveProto(const std::string& Proto);
bool WSocketIsDottedIP(const std::string& S);
int WSocket_WSAIoctl(TSocket s, DWORD IoControlCode, const void* InBuf, DWORD InBufSize, void* OutBuf,
                     DWORD OutBufSize, DWORD* BytesReturned);
std::string LocalHostName();
std::string WinsockErrorText(Integer ErrCode);
// Releases the socket library when no socket is alive.
void UnloadWinsock();
// Whether the socket library is loaded (tests).
bool WinsockLoaded();

enum class TSocksHandshake { HandshakeIdle, HandshakeMethods, HandshakeAuth, HandshakeConnect };
enum class TSocksAuthentication { socksNoAuthentication, socksAuthenticateUsercode };
using enum TSocksAuthentication;
enum class TSocksAuthState { socksAuthStart, socksAuthSuccess, socksAuthFailure, socksAuthNotRequired };
using enum TSocksAuthState;
using TSocksErrorEvent = Event<TObject*, Integer, const std::string&>;
using TSocksAuthStateEvent = Event<TObject*, TSocksAuthState>;

// What a SOCKS server's reply held in a buffer says: not complete yet, a failure (code
// and text), or success (with the bound address and port of a SOCKS 5 reply). Length
// is the size of the reply; bytes behind it belong to the data stream.
struct TSocksReply {
  enum TStatus { srIncomplete, srFailed, srGranted } Status = srIncomplete;
  Integer Error = 0;
  std::string Text;
  std::string BoundAddr, BoundPort;
  size_t Length = 0;
};
TSocksReply ParseSocks4Reply(const uint8_t* Buf, size_t Count);
TSocksReply ParseSocks5Reply(const uint8_t* Buf, size_t Count);
// The answer to the SOCKS 5 greeting; success carries the chosen method in Error.
TSocksReply ParseSocks5MethodReply(const uint8_t* Buf, size_t Count);
// The answer to the user-code/password request.
TSocksReply ParseSocks5AuthReply(const uint8_t* Buf, size_t Count);

// The SOCKS client: with SocksServer set, Connect reaches the target through it and
// OnSessionConnected fires once the target is reached (or with the SOCKS error code).
class TCustomSocksWSocket : public TCustomWSocket {
  VX_CLASS(TCustomSocksWSocket, TCustomWSocket)

 public:
  explicit TCustomSocksWSocket(TComponent* AOwner);

  const std::string& SocksServer() const { return FSocksServer; }
  virtual void SetSocksServer(const std::string& Value);
  const std::string& SocksPort() const { return FSocksPort; }
  virtual void SetSocksPort(const std::string& Value);
  const std::string& SocksLevel() const { return FSocksLevel; }
  void SetSocksLevel(const std::string& Value);
  const std::string& SocksUsercode() const { return FSocksUsercode; }
  void SetSocksUsercode(const std::string& Value) { FSocksUsercode = Value; }
  const std::string& SocksPassword() const { return FSocksPassword; }
  void SetSocksPassword(const std::string& Value) { FSocksPassword = Value; }
  TSocksAuthentication SocksAuthentication() const { return FSocksAuthentication; }
  void SetSocksAuthentication(TSocksAuthentication Value) { FSocksAuthentication = Value; }
  // Where the SOCKS 5 server bound the outgoing connection.
  const std::string& BoundAddr() const { return FBoundAddr; }
  const std::string& BoundPort() const { return FBoundPort; }

  TSessionConnected OnSocksConnected;
  TSocksErrorEvent OnSocksError;
  TSocksAuthStateEvent OnSocksAuthState;

  void Connect() override;
  void Listen() override;

 protected:
  virtual void TriggerSocksConnected(Word Error);
  virtual void TriggerSocksError(Integer Error, const std::string& Msg);
  virtual void TriggerSocksAuthState(TSocksAuthState AuthState);
  void ResetDefaults() override;
  void TriggerSessionConnected(Word Error) override;
  void TriggerSessionClosed(Word Error) override;
  bool TriggerDataAvailable(Word Error) override;
  Integer GetRcvdCount() override;
  Integer DoRecv(void* Buffer, Integer BufferSize, Integer Flags) override;
  bool SocksHandshakeRunning() const { return FSocksState != TSocksHandshake::HandshakeIdle; }

 private:
  void SocksDoConnect();
  void SocksDoAuthenticate();
  void SocksDone(Integer Error, const std::string& Msg);
  bool SendRequest(const std::string& Request);
  void HandleSocks4Reply();
  void HandleSocks5Reply();
  void FinishConnectReply(const TSocksReply& Reply);
  // Appends what is pending (at most Room bytes) to the reply buffer; false on a read error.
  bool ReadReply(size_t Room);

  std::string FSocksServer, FSocksPort;
  bool FSocksServerAssigned = false, FSocksPortAssigned = false;
  std::string FSocksLevel = "5";
  std::string FSocksUsercode, FSocksPassword;
  TSocksAuthentication FSocksAuthentication = socksNoAuthentication;
  TSocksHandshake FSocksState = TSocksHandshake::HandshakeIdle;
  // The largest legal reply: a SOCKS 5 reply with a 255-byte bound name is 262 bytes.
  uint8_t FRcvBuf[262 + 6] = {};
  size_t FRcvCnt = 0;
  Byte FSocksMethod = 0;
  Word FSocksTargetPort = 0;
  size_t FSocksRcvdCnt = 0;  // leftover bytes of the data stream after a SOCKS 5 reply
  size_t FSocksRcvdPtr = 0;
  std::string FBoundAddr, FBoundPort;
};

using TLineLimitEvent = Event<TObject*, Integer, bool&>;

// Line mode: received bytes are offered to OnDataAvailable one line at a time.
class TCustomLineWSocket : public TCustomSocksWSocket {
  VX_CLASS(TCustomLineWSocket, TCustomSocksWSocket)

 public:
  explicit TCustomLineWSocket(TComponent* AOwner);

  bool LineMode() const { return FLineMode; }
  virtual void SetLineMode(bool Value);
  Integer LineLimit() const { return FLineLimit; }
  void SetLineLimit(Integer Value) { FLineLimit = Value; }
  const std::string& LineEnd() const { return FLineEnd; }
  void SetLineEnd(const std::string& Value) { FLineEnd = Value; }
  bool LineEcho() const { return FLineEcho; }
  void SetLineEcho(bool Value) { FLineEcho = Value; }
  bool LineEdit() const { return FLineEdit; }
  void SetLineEdit(bool Value) { FLineEdit = Value; }
  // Bytes held in the line buffer.
  Integer LineBufferCount() const { return Integer(FRcvdCnt); }

  TLineLimitEvent OnLineLimitExceeded;

  // Queues Str and sends it followed by LineEnd; returns the bytes taken, line end included.
  virtual Integer SendLine(const std::string& Str);

 protected:
  virtual void TriggerLineLimitExceeded(Integer Cnt, bool& ClearData);
  virtual void EditLine(size_t& Len);
  void WindowProc(UINT Msg, WPARAM wParam, LPARAM lParam) override;
  bool TriggerDataAvailable(Word Error) override;
  void TriggerSessionClosed(Word Error) override;
  Integer GetRcvdCount() override;
  Integer DoRecv(void* Buffer, Integer BufferSize, Integer Flags) override;

 private:
  void OfferHeldData();

  bool FLineMode = false;
  Integer FLineLimit = 65536;
  std::string FLineEnd = "\r\n";
  bool FLineEcho = false;
  bool FLineEdit = false;
  std::vector<char> FRcvdPtr;  // the line buffer; always room for a zero byte after the held bytes
  size_t FRcvdCnt = 0;
  size_t FLineLength = 0;
  bool FLineFound = false;
  bool FLineReceived = false;
  bool FLineClearData = false;
};

// Waits that pump messages until a flag is set or a time-out passes.
class TCustomSyncWSocket : public TCustomLineWSocket {
  VX_CLASS(TCustomSyncWSocket, TCustomLineWSocket)

 public:
  explicit TCustomSyncWSocket(TComponent* AOwner) : TCustomLineWSocket(AOwner) {}

  // Milliseconds; 0 waits without limit.
  Integer Timeout() const { return FTimeout; }
  void SetTimeout(Integer Value) { FTimeout = Value; }

  using TSyncProc = void (*)(TCustomSyncWSocket* Socket, intptr_t Arg);
  // Clears DoneFlag, calls Proc with Arg when given, then waits for DoneFlag.
  virtual Integer SyncCall(Integer& DoneFlag, TSyncProc Proc, intptr_t Arg);
  // 0 once DoneFlag is set; 12001 on time-out, when the application terminates or when
  // this socket's own message loop saw a quit message.
  virtual Integer WaitUntilReady(Integer& DoneFlag);

 private:
  Integer FTimeout = 0;
};

class TWSocket : public TCustomSyncWSocket {
  VX_CLASS(TWSocket, TCustomSyncWSocket)

 public:
  explicit TWSocket(TComponent* AOwner) : TCustomSyncWSocket(AOwner) {}
};
