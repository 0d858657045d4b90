#include "transport/WSocket.h"

#include <arpa/inet.h>
#include <netinet/tcp.h>

#include <algorithm>
#include <cstring>
#include <mutex>

#include "platform/rtl/sysutils.h"
#include "platform/vcl/forms.h"
#include "platform/win/messages.h"

using namespace winsock::constants;

namespace {

// Process-wide state of the socket library: whether it is started, the version asked
// for, the live-socket count and the three locks.
struct TWinsockLibrary {
  std::recursive_mutex classLock;   // hidden-window registration
  std::recursive_mutex libraryLock;  // start-up, clean-up and the live-socket count
  std::recursive_mutex bufferLock;   // every socket's send queue
  bool loaded = false;
  Byte reqVerLow = 1;
  Byte reqVerHigh = 1;
  int liveSockets = 0;
};

// Never destroyed: sockets owned by static objects may outlive the statics of this unit.
TWinsockLibrary& Library() {
  static TWinsockLibrary* lib = new TWinsockLibrary;
  return *lib;
}

// Starts the socket library on first use.
void LoadWinsock() {
  auto& lib = Library();
  std::lock_guard g(lib.libraryLock);
  if (lib.loaded) return;
  WSADATA data;
  const int rc = winsock::WSAStartup(WORD(lib.reqVerLow | lib.reqVerHigh << 8), &data);
  if (rc != 0) throw ESocketException("wsock32.dll: WSAStartup error #" + std::to_string(rc));
  lib.loaded = true;
}

std::string Hex8(const void* p) { return IntToHex(reinterpret_cast<uintptr_t>(p), 8); }

std::string DottedText(in_addr a) { return winsock::inet_ntoa(a); }

}  // namespace

// ---------------------------------------------------------------------------------
// Plain functions.

bool WinsockLoaded() {
  auto& lib = Library();
  std::lock_guard g(lib.libraryLock);
  return lib.loaded;
}

void UnloadWinsock() {
  auto& lib = Library();
  std::lock_guard g(lib.libraryLock);
  if (!lib.loaded || lib.liveSockets > 0) return;
  winsock::WSACleanup();
  lib.loaded = false;
}

std::string WinsockErrorText(Integer ErrCode) {
  switch (ErrCode) {
    case 0: return "No Error";
    case 10004: return "Interrupted system call";
    case 10009: return "Bad file number";
    case 10013: return "Permission denied";
    case 10014: return "Bad address";
    case 10022: return "Invalid argument";
    case 10024: return "Too many open files";
    case 10035: return "Operation would block";
    case 10036: return "Operation now in progress";
    case 10037: return "Operation already in progress";
    case 10038: return "Socket operation on non-socket";
    case 10039: return "Destination address required";
    case 10040: return "Message too long";
    case 10041: return "Protocol wrong type for socket";
    case 10042: return "Protocol not available";
    case 10043: return "Protocol not supported";
    case 10044: return "Socket type not supported";
    case 10045: return "Operation not supported on socket";
    case 10046: return "Protocol family not supported";
    case 10047: return "Address family not supported by protocol family";
    case 10048: return "Address already in use";
    case 10049: return "Address not available";
    case 10050: return "Network is down";
    case 10051: return "Network is unreachable";
    case 10052: return "Network dropped connection on reset";
    case 10053: return "Connection aborted";
    case 10054: return "Connection reset by peer";
    case 10055: return "No buffer space available";
    case 10056: return "Socket is already connected";
    case 10057: return "Socket is not connected";
    case 10058: return "Can't send after socket shutdown";
    case 10059: return "Too many references: can't splice";
    case 10060: return "Connection timed out";
    case 10061: return "Connection refused";
    case 10062: return "Too many levels of symbolic links";
    case 10063: return "File name too long";
    case 10064: return "Host is down";
    case 10065: return "No route to host";
    case 10066: return "Directory not empty";
    case 10067: return "Too many processes";
    case 10068: return "Too many users";
    case 10069: return "Disc quota exceeded";
    case 10070: return "Stale NFS file handle";
    case 10071: return "Too many levels of remote in path";
    case 10091: return "Network sub-system is unusable";
    case 10092: return "WinSock DLL cannot support this application";
    case 10093: return "WinSock not initialized";
    case 11001: return "Host not found";
    case 11002: return "Non-authoritative host not found";
    case 11003: return "Non-recoverable error";
    case 11004: return "No Data";
    default: return "Not a WinSock error";
  }
}

bool WSocketIsDottedIP(const std::string& S) {
  size_t i = 0;
  while (i < S.size() && S[i] == ' ') ++i;
  int dots = 0;
  int groupValue = -1;  // -1: no digit in the current group yet
  for (; i < S.size(); ++i) {
    const char c = S[i];
    if (c >= '0' && c <= '9') {
      groupValue = (groupValue < 0 ? 0 : groupValue) * 10 + (c - '0');
      if (groupValue > 255) return false;
    } else if (c == '.') {
      if (groupValue < 0 || ++dots > 3) return false;
      groupValue = -1;
    } else {
      break;
    }
  }
  if (dots != 3 || groupValue < 0) return false;
  while (i < S.size() && S[i] == ' ') ++i;
  return i == S.size();
}

unsigned long WSocketResolveHost(const std::string& InAddr) {
  if (InAddr.empty() || InAddr.size() > 256)
    throw ESocketException("WSocketResolveHost: '" + InAddr + "' Invalid Hostname.");
  LoadWinsock();
  if (WSocketIsDottedIP(InAddr)) {
    const std::string dotted = Trim(InAddr);
    const unsigned long addr = winsock::inet_addr(dotted.c_str());
    if (addr == INADDR_NONE && dotted != "255.255.255.255")
      throw ESocketException("WSocketResolveHost: '" + InAddr + "' Invalid IP address.");
    return addr;
  }
  hostent* h = winsock::gethostbyname(InAddr.c_str());
  if (!h || !h->h_addr_list[0])
    throw ESocketException("WSocketResolveHost: Cannot convert host address '" + InAddr + "', Error #" +
                           IntToStr(winsock::WSAGetLastError()));
  in_addr a;
  std::memcpy(&a, h->h_addr_list[0], 4);
  return a.s_addr;
}

Word WSocketResolvePort(const std::string& Port, const std::string& Proto) {
  if (Port.empty() || Port.size() >= 32) throw ESocketException("WSocketResolvePort: Invalid Port.");
  if (Proto.empty() || Proto.size() >= 32) throw ESocketException("WSocketResolvePort: Invalid Proto.");
  const std::string p = TrimLeft(Port);
  if (!p.empty() && p[0] >= '0' && p[0] <= '9') {
    long value = 0;
    for (size_t i = 0; i < p.size() && p[i] >= '0' && p[i] <= '9'; ++i) {
      value = value * 10 + (p[i] - '0');
      // A port beyond 16 bits would silently become another port.
      if (value > 65535) throw ESocketException("WSocketResolvePort: Invalid Port.");
    }
    return Word(value);
  }
  LoadWinsock();
  const std::string proto = Trim(Proto);
  servent* s = winsock::getservbyname(Port.c_str(), proto.empty() ? nullptr : proto.c_str());
  if (!s)
    throw ESocketException("WSocketResolvePort: Cannot convert port '" + Port + "', Error #" +
                           IntToStr(winsock::WSAGetLastError()));
  return ntohs(uint16_t(s->s_port));
}

int WSocketResolveProto(const std::string& Proto) {
  if (Proto.empty() || Proto.size() >= 32) throw ESocketException("WSocketResolveProto: Invalid Protocol.");
  if (Proto[0] >= '0' && Proto[0] <= '9') return std::atoi(Proto.c_str());
  const std::string p = LowerCase(Trim(Proto));
  if (p == "tcp") return IPPROTO_TCP;
  if (p == "udp") return IPPROTO_UDP;
  if (p == "raw") return IPPROTO_RAW;
  LoadWinsock();
  protoent* pe = winsock::getprotobyname(p.c_str());
  if (!pe)
    throw ESocketException("WSocketResolveProto: Cannot convert protocol '" + Proto + "', Error #" +
                           IntToStr(winsock::WSAGetLastError()));
  return pe->p_proto;
}

int WSocket_WSAIoctl(TSocket s, DWORD IoControlCode, const void* InBuf, DWORD InBufSize, void* OutBuf,
                     DWORD OutBufSize, DWORD* BytesReturned) {
  auto& lib = Library();
  {
    std::lock_guard g(lib.libraryLock);
    ++lib.liveSockets;  // keeps the library loaded while the call runs
  }
  LoadWinsock();
  const int rc = winsock::WSAIoctl(s, IoControlCode, InBuf, InBufSize, OutBuf, OutBufSize, BytesReturned, nullptr, nullptr);
  std::lock_guard g(lib.libraryLock);
  --lib.liveSockets;
  return rc;
}

std::string LocalHostName() {
  auto& lib = Library();
  {
    std::lock_guard g(lib.libraryLock);
    ++lib.liveSockets;
  }
  char name[64] = {};
  int rc;
  try {
    LoadWinsock();
    rc = winsock::gethostname(name, sizeof name);
  } catch (...) {
    std::lock_guard g(lib.libraryLock);
    --lib.liveSockets;
    throw;
  }
  {
    std::lock_guard g(lib.libraryLock);
    --lib.liveSockets;
  }
  if (rc != 0) throw ESocketException("Winsock.GetHostName failed");
  return name;
}

// ---------------------------------------------------------------------------------
// Construction and the hidden window.

TCustomWSocket::TCustomWSocket(TComponent* AOwner) : TComponent(AOwner) {
  CreateHiddenWindow();
  ResetDefaults();
  auto& lib = Library();
  std::lock_guard g(lib.libraryLock);
  ++lib.liveSockets;
}

TCustomWSocket::~TCustomWSocket() {
  Destroying();
  try {
    CancelDnsLookup();
  } catch (...) {
  }
  if (FState != wsClosed) {
    try {
      Close();
    } catch (...) {
    }
  }
  if (FHSocket != INVALID_SOCKET) winsock::closesocket(FHSocket);  // a handle left behind by a failed close
  FHSocket = INVALID_SOCKET;
  {
    auto& lib = Library();
    std::lock_guard g(lib.libraryLock);
    if (--lib.liveSockets < 1) UnloadWinsock();
  }
  DeleteBufferedData();
  DestroyHiddenWindow();
  *FAlive = false;
}

void TCustomWSocket::CreateHiddenWindow() {
  {
    std::lock_guard g(Library().classLock);
    FWindowHandle = AllocateHWnd(TWndMethod(this, &TCustomWSocket::MainWndProc));
  }
  if (!FWindowHandle) throw ESocketException("Cannot create a hidden window for TWSocket");
  FThreadId = std::this_thread::get_id();
}

void TCustomWSocket::DestroyHiddenWindow() {
  if (!FWindowHandle) return;
  std::lock_guard g(Library().classLock);
  DeallocateHWnd(FWindowHandle);
  FWindowHandle = nullptr;
}

void TCustomWSocket::AttachThread() {
  if (FWindowHandle) RaiseException("Cannot attach when not detached");
  CreateHiddenWindow();
  if (FHSocket != INVALID_SOCKET && FSelectMask && !FPaused) {
    if (winsock::WSAAsyncSelect(FHSocket, FWindowHandle, WM_ASYNCSELECT, FSelectMask) != 0) SocketError("WSAAsyncSelect");
  }
}

void TCustomWSocket::DetachThread() {
  if (FThreadId != std::this_thread::get_id()) RaiseException("Cannot detach from other thread");
  if (FHSocket != INVALID_SOCKET) winsock::WSAAsyncSelect(FHSocket, FWindowHandle, 0, 0);
  DestroyHiddenWindow();
}

void TCustomWSocket::PumpMessages() {
  if (!FMultiThreaded && Application) {
    Application->ProcessMessages();
    return;
  }
  // The socket's own loop: a quit message is not dispatched but ends waits on this socket.
  MSG msg;
  while (PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      FTerminated = true;
      break;
    }
    TranslateMessage(&msg);
    DispatchMessage(&msg);
  }
}

void TCustomWSocket::MainWndProc(TMessage& Message) { WindowProc(Message.Msg, Message.WParam, Message.LParam); }

void TCustomWSocket::WindowProc(UINT Msg, WPARAM wParam, LPARAM lParam) {
  auto alive = FAlive;
  try {
    switch (Msg) {
      case WM_ASYNCSELECT:
        HandleSelectMessage(wParam, lParam);
        break;
      case WM_ASYNCGETHOSTBYNAME:
      case WM_ASYNCGETHOSTBYADDR:
        HandleLookupDone(Msg, wParam, lParam);
        break;
      case WM_CLOSE_DELAYED:
        Close();
        break;
      case WM_WSOCKET_RELEASE:
        delete this;
        break;
      case WM_TRIGGER_EXCEPTION:
        RaiseException("Test exception in WSocket");
      default:
        DefWindowProc(FWindowHandle, Msg, wParam, lParam);
        break;
    }
  } catch (Exception& E) {
    if (*alive) HandleBackgroundException(E);
  }
}

void TCustomWSocket::HandleBackgroundException(Exception& E) {
  auto alive = FAlive;
  bool canClose = true;
  try {
    OnBgException(this, E, canClose);
  } catch (...) {
  }
  if (canClose && *alive) {
    try {
      Abort();
    } catch (...) {
    }
  }
}

// ---------------------------------------------------------------------------------
// Properties.

void TCustomWSocket::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation == TOperation::opRemove && AComponent == FSockLogger) FSockLogger = nullptr;
}

void TCustomWSocket::SetSockLogger(TSockLogger* Value) {
  FSockLogger = Value;
  if (Value) Value->FreeNotification(this);
}

namespace {
// The rule of Addr, Port and Proto: the same assigned text changes nothing; another one
// only while closed; blanks are trimmed; an empty text is "not assigned".
void AssignEndpointText(TSocketState State, const std::string& What, const std::string& Value, std::string& Text,
                        bool& Assigned, bool& Resolved) {
  if (Value == Text && Assigned) return;
  if (State != wsClosed) throw ESocketException("Cannot change " + What + " if not closed");
  Text = Trim(Value);
  Assigned = !Text.empty();
  Resolved = false;
}
}  // namespace

void TCustomWSocket::SetAddr(const std::string& Value) {
  AssignEndpointText(FState, "Addr", Value, FAddrStr, FAddrAssigned, FAddrResolved);
}

void TCustomWSocket::SetPort(const std::string& Value) {
  AssignEndpointText(FState, "Port", Value, FPortStr, FPortAssigned, FPortResolved);
}

void TCustomWSocket::SetProto(const std::string& Value) {
  AssignEndpointText(FState, "Proto", Value, FProtoStr, FProtoAssigned, FProtoResolved);
}

void TCustomWSocket::SetLocalAddr(const std::string& Value) {
  if (FState != wsClosed) RaiseException("Cannot change LocalAddr if not closed");
  FLocalAddr = Value.empty() ? "0.0.0.0" : Value;
}

void TCustomWSocket::SetLocalPort(const std::string& Value) {
  if (FState != wsClosed) RaiseException("Cannot change LocalPort if not closed");
  FLocalPortStr = Value;
  FLocalPortResolved = false;
}

Byte TCustomWSocket::ReqVerLow() {
  std::lock_guard g(Library().libraryLock);
  return Library().reqVerLow;
}

Byte TCustomWSocket::ReqVerHigh() {
  std::lock_guard g(Library().libraryLock);
  return Library().reqVerHigh;
}

void TCustomWSocket::SetReqVerLow(Byte Value) {
  auto& lib = Library();
  std::lock_guard g(lib.libraryLock);
  if (lib.reqVerLow == Value) return;
  if (lib.loaded) {
    RaiseSocketError("SetReqVerLow: WinSock version can't be changed now");
    return;
  }
  lib.reqVerLow = Value;
}

void TCustomWSocket::SetReqVerHigh(Byte Value) {
  auto& lib = Library();
  std::lock_guard g(lib.libraryLock);
  if (lib.reqVerHigh == Value) return;
  if (lib.loaded) {
    RaiseSocketError("SetReqVerHigh: WinSock version can't be changed now");
    return;
  }
  lib.reqVerHigh = Value;
}

TSocketSendFlags TCustomWSocket::SendFlags() const {
  switch (FSendFlags) {
    case 0: return wsSendNormal;
    case MSG_OOB: return wsSendUrgent;
    default: RaiseException("Invalid internal SendFlags");
  }
}

void TCustomWSocket::SetSendFlags(TSocketSendFlags Value) {
  switch (Value) {
    case wsSendNormal: FSendFlags = 0; break;
    case wsSendUrgent: FSendFlags = MSG_OOB; break;
    default: RaiseException("Invalid SendFlags");
  }
}

// ---------------------------------------------------------------------------------
// Logging, errors and events.

bool TCustomWSocket::LogEnabled(TLogOption Option) const {
  return FSockLogger && int(Option) <= 15 && FSockLogger->LogOptions().Contains(Option);
}

void TCustomWSocket::LogText(TLogOption Option, const std::string& Text) {
  if (FSockLogger) FSockLogger->LogWrite(this, Option, Text);
}

void TCustomWSocket::RaiseException(const std::string& Msg) const { throw ESocketException(Msg); }

void TCustomWSocket::RaiseSocketError(const std::string& Msg) {
  if (!OnError) throw ESocketException(Msg);
  TriggerError();
}

void TCustomWSocket::SocketError(const std::string& Sender) {
  const int code = winsock::WSAGetLastError();
  const std::string line =
      "Error " + IntToStr(code) + " in function " + Sender + "\r\n" + WinsockErrorText(code);
  if (code == WSAECONNRESET || code == WSAENOTCONN) {
    auto alive = FAlive;
    if (FHSocket != INVALID_SOCKET) winsock::closesocket(FHSocket);
    FHSocket = INVALID_SOCKET;
    if (FState != wsClosed) TriggerSessionClosed(Word(code));
    if (!*alive) return;
    ChangeState(wsClosed);
    if (!*alive) return;
  }
  FLastError = code;
  RaiseSocketError(line);
}

void TCustomWSocket::TriggerError() { OnError(this); }

bool TCustomWSocket::TriggerDataAvailable(Word Error) {
  if (!OnDataAvailable) return false;
  OnDataAvailable(this, Error);
  return true;
}

void TCustomWSocket::TriggerSessionAvailable(Word Error) { OnSessionAvailable(this, Error); }
void TCustomWSocket::TriggerSessionConnected(Word Error) { OnSessionConnected(this, Error); }
void TCustomWSocket::TriggerSessionClosed(Word Error) { OnSessionClosed(this, Error); }
void TCustomWSocket::TriggerDnsLookupDone(Word Error) { OnDnsLookupDone(this, Error); }

void TCustomWSocket::TriggerDataSent(Word Error) {
  if (LogEnabled(loWsockDump)) LogText(loWsockDump, Hex8(this) + " TriggerDataSent " + IntToStr(FHSocket));
  OnDataSent(this, Error);
}

void TCustomWSocket::TriggerChangeState(TSocketState OldState, TSocketState NewState) {
  OnChangeState(this, OldState, NewState);
}

void TCustomWSocket::ChangeState(TSocketState NewState) {
  const TSocketState old = FState;
  FState = NewState;
  if (old != NewState) TriggerChangeState(old, NewState);
}

// ---------------------------------------------------------------------------------
// Select events.

void TCustomWSocket::HandleSelectMessage(WPARAM wParam, LPARAM lParam) {
  const Word events = WSAGETSELECTEVENT(lParam);
  const Word error = WSAGETSELECTERROR(lParam);
  if (LogEnabled(loWsockDump)) {
    std::string text = "AsyncSelect CtrlSocket" + IntToStr(long(wParam)) + ", " + IntToStr(events);
    if (events & FD_CONNECT) text += " FD_CONNECT";
    if (events & FD_READ) text += " FD_READ";
    if (events & FD_WRITE) text += " FD_WRITE";
    if (events & FD_CLOSE) text += " FD_CLOSE";
    if (events & FD_ACCEPT) text += " FD_ACCEPT";
    LogText(loProtSpecDump, text);
  }
  if (TSocket(wParam) != FHSocket || FPaused) return;
  auto alive = FAlive;
  struct {
    long bit;
    void (TCustomWSocket::*handler)(Word);
  } const order[] = {{FD_CONNECT, &TCustomWSocket::HandleConnectEvent},
                     {FD_READ, &TCustomWSocket::HandleReadEvent},
                     {FD_WRITE, &TCustomWSocket::HandleWriteEvent},
                     {FD_ACCEPT, &TCustomWSocket::HandleAcceptEvent},
                     {FD_CLOSE, &TCustomWSocket::HandleCloseEvent}};
  for (const auto& step : order) {
    if (!(events & step.bit)) continue;
    FSelectEvent = step.bit;
    (this->*step.handler)(error);
    if (!*alive) return;
  }
  FSelectEvent = 0;
}

void TCustomWSocket::HandleConnectEvent(Word Error) {
  if (FState == wsConnected) return;
  auto alive = FAlive;
  ChangeState(wsConnected);
  if (!*alive) return;
  TriggerSessionConnected(Error);
  if (*alive && Error != 0 && FState != wsClosed) Close();
}

void TCustomWSocket::HandleReadEvent(Word Error) {
  auto alive = FAlive;
  if (FState != wsConnected) {
    ChangeState(wsConnected);
    if (!*alive) return;
    TriggerSessionConnected(Error);
    if (!*alive) return;
  }
  ReceiveLoop(Error, FComponentOptions);
}

void TCustomWSocket::HandleWriteEvent(Word Error) {
  auto alive = FAlive;
  TryToSend();
  if (*alive && FAllSent && FHSocket != INVALID_SOCKET) TriggerDataSent(Error);
}

void TCustomWSocket::HandleAcceptEvent(Word Error) { TriggerSessionAvailable(Error); }

void TCustomWSocket::HandleCloseEvent(Word Error) {
  if (FState == wsConnecting || FHSocket == INVALID_SOCKET) return;
  auto alive = FAlive;
  // Everything that arrived before the close is delivered first.
  ReceiveLoop(0, FComponentOptions - TWSocketOptions{wsoNoReceiveLoop});
  if (!*alive) return;
  if (!FCloseInvoked) {
    FCloseInvoked = true;
    TriggerSessionClosed(Error);
    if (!*alive) return;
  }
  if (FState != wsClosed) Close();
}

void TCustomWSocket::ReceiveLoop(Word Error, TWSocketOptions Options) {
  auto alive = FAlive;
  winsock::u_long lastPending = 0;
  for (bool first = true;; first = false) {
    FLastError = 0;
    const Integer readBefore = FReadCount;
    if (!TriggerDataAvailable(Error)) {
      if (!*alive) return;
      char discard[1024];
      if (FHSocket != INVALID_SOCKET && DoRecv(discard, sizeof discard, 0) < 0) {
        FLastError = winsock::WSAGetLastError();
        if (FLastError == WSAEWOULDBLOCK) FLastError = 0;
        break;
      }
    }
    if (!*alive) return;
    if (Options.Contains(wsoNoReceiveLoop)) break;
    if (FLastError != 0) {
      if (FLastError == -1) FLastError = 0;
      break;
    }
    if (FHSocket == INVALID_SOCKET) break;
    winsock::u_long pending = 0;
    if (winsock::ioctlsocket(FHSocket, FIONREAD, &pending) != 0) {
      FLastError = winsock::WSAGetLastError();
      break;
    }
    if (pending == 0) break;
    // A handler that takes nothing would be offered the same bytes for ever; they wait
    // for the next read event instead.
    if (!first && pending == lastPending && FReadCount == readBefore) break;
    lastPending = pending;
  }
}

// ---------------------------------------------------------------------------------
// Receiving.

Integer TCustomWSocket::DoRecv(void* Buffer, Integer BufferSize, Integer Flags) {
  const int n = winsock::recv(FHSocket, static_cast<char*>(Buffer), BufferSize, Flags);
  FRcvdFlag = n >= BufferSize;
  return n;
}

Integer TCustomWSocket::DoRecvFrom(void* Buffer, Integer BufferSize, Integer Flags, sockaddr_in& From,
                                   Integer& FromLen) {
  const int n = winsock::recvfrom(FHSocket, static_cast<char*>(Buffer), BufferSize, Flags, reinterpret_cast<sockaddr*>(&From),
                         &FromLen);
  FRcvdFlag = n >= BufferSize;
  return n;
}

Integer TCustomWSocket::Receive(void* Buffer, Integer BufferSize) {
  const Integer n = DoRecv(Buffer, BufferSize, 0);
  if (n < 0)
    FLastError = winsock::WSAGetLastError();
  else
    FReadCount += n;
  return n;
}

Integer TCustomWSocket::ReceiveFrom(void* Buffer, Integer BufferSize, sockaddr_in& From, Integer& FromLen) {
  const Integer n = DoRecvFrom(Buffer, BufferSize, 0, From, FromLen);
  if (n < 0)
    FLastError = winsock::WSAGetLastError();
  else
    FReadCount += n;
  return n;
}

std::string TCustomWSocket::ReceiveStr() {
  Integer count = GetRcvdCount();
  if (count < 0) return {};
  if (count == 0) count = 255;
  std::string s(size_t(count), '\0');
  const Integer n = Receive(s.data(), count);
  s.resize(size_t(std::max(n, Integer{0})));
  return s;
}

Integer TCustomWSocket::GetRcvdCount() {
  if (ComponentState().Contains(csDesigning)) return -1;
  winsock::u_long n = 0;
  if (winsock::ioctlsocket(FHSocket, FIONREAD, &n) != 0) {
    SocketError("ioctlSocket");
    return -1;
  }
  return Integer(n);
}

// ---------------------------------------------------------------------------------
// Sending.

void TCustomWSocket::QueueSendData(const void* Data, Integer Len) {
  if (Len <= 0 || !Data) return;
  std::lock_guard g(Library().bufferLock);
  if (FBufList.empty()) FBufList.push_back(std::make_unique<TBuffer>(FBufSize));
  FBufferedByteCount += Len;
  auto p = static_cast<const char*>(Data);
  Integer done = FBufList.back()->Write(p, Len);
  while (done < Len) {
    FBufList.push_back(std::make_unique<TBuffer>(FBufSize));
    done += FBufList.back()->Write(p + done, Len - done);
  }
  FAllSent = false;
}

void TCustomWSocket::DeleteBufferedData() {
  std::lock_guard g(Library().bufferLock);
  FBufList.clear();
  FBufferedByteCount = 0;
}

Integer TCustomWSocket::RawSend(const void* Data, Integer Len) {
  int n;
  if (FType == SOCK_DGRAM)
    n = winsock::sendto(FHSocket, static_cast<const char*>(Data), Len, FSendFlags, reinterpret_cast<const sockaddr*>(&FSin),
               sizeof FSin);
  else
    n = winsock::send(FHSocket, static_cast<const char*>(Data), Len, FSendFlags);
  if (n > 0) OnSendData(this, n);
  return n;
}

void TCustomWSocket::TryToSend() {
  std::unique_lock g(Library().bufferLock);
  if (FHSocket == INVALID_SOCKET || FBufList.empty()) {
    FAllSent = true;
    return;
  }
  auto alive = FAlive;
  for (;;) {
    TBuffer& first = *FBufList.front();
    Integer len = 0;
    const void* data = first.Peek(len);
    if (len <= 0) {
      if (FBufList.size() > 1) {
        FBufList.pop_front();
        continue;
      }
      FAllSent = true;  // the last chunk stays for reuse
      break;
    }
    const int sent = RawSend(data, len);
    if (!*alive) return;
    if (sent > 0) FBufferedByteCount = std::max(0, FBufferedByteCount - sent);
    if (sent == 0) break;
    if (sent < 0) {
      const int err = winsock::WSAGetLastError();
      if (err == WSAECONNRESET || err == WSAENOTSOCK || err == WSAENOTCONN || err == WSAEINVAL ||
          err == WSAECONNABORTED) {
        if (LogEnabled(loWsockErr)) LogText(loWsockErr, Name() + " Winsock.Send failed " + IntToStr(err));
        FCloseInvoked = true;
        g.unlock();
        Close();
        if (*alive) TriggerSessionClosed(Word(err));
        return;
      }
      if (err == WSAEWOULDBLOCK) break;  // the next write event goes on
      g.unlock();
      SocketError("TryToSend failed");
      return;
    }
    first.Remove(sent);
    if (sent < len) break;
  }
}

Integer TCustomWSocket::Send(const void* Data, Integer Len) {
  if (FState != wsConnected && FState != wsSocksConnected) {
    winsock::WSASetLastError(WSAENOTCONN);
    SocketError("Send");
    return -1;
  }
  FAllSent = false;
  if (Len <= 0)
    Len = 0;
  else
    QueueSendData(Data, Len);
  auto alive = FAlive;
  TryToSend();
  if (*alive && FAllSent && FWindowHandle)
    PostMessage(FWindowHandle, WM_ASYNCSELECT, WPARAM(FHSocket), MAKELPARAM(WORD(FD_WRITE), 0));
  return Len;
}

Integer TCustomWSocket::SendStr(const std::string& Str) {
  if (Str.empty()) return 0;
  return Send(Str.data(), Integer(Str.size()));
}

Integer TCustomWSocket::SendTo(const sockaddr_in& Dest, Integer DestLen, const void* Data, Integer Len) {
  const int n = winsock::sendto(FHSocket, static_cast<const char*>(Data), Len, FSendFlags,
                       reinterpret_cast<const sockaddr*>(&Dest), DestLen);
  if (n > 0) OnSendData(this, n);
  if (FAllSent && FType == SOCK_DGRAM && FWindowHandle)
    PostMessage(FWindowHandle, WM_ASYNCSELECT, WPARAM(FHSocket), MAKELPARAM(WORD(FD_WRITE), 0));
  return n;
}

void TCustomWSocket::Flush() {
  auto alive = FAlive;
  while (FHSocket != INVALID_SOCKET && !FAllSent) {
    TryToSend();
    if (!*alive) return;
    PumpMessages();
    if (!*alive) return;
  }
}

// ---------------------------------------------------------------------------------
// Connecting, binding, listening.

void TCustomWSocket::ApplyLinger() {
  if (FLingerOnOff == wsLingerNoSet) return;
  if (FHSocket == INVALID_SOCKET) {
    RaiseException("Cannot set linger option at this time");
  }
  linger l{FLingerOnOff == wsLingerOn ? 1 : 0, FLingerTimeout};
  if (winsock::setsockopt(FHSocket, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&l), sizeof l) != 0)
    SocketError("winsock::setsockopt(SO_LINGER)");
}

void TCustomWSocket::ApplyKeepAlive() {
  if (FKeepAliveOnOff == wsKeepAliveOff) return;
  const int on = 1;
  if (winsock::setsockopt(FHSocket, SOL_SOCKET, SO_KEEPALIVE, reinterpret_cast<const char*>(&on), sizeof on) != 0) {
    SocketError("winsock::setsockopt(SO_KEEPALIVE)");
    return;
  }
  if (FKeepAliveOnOff == wsKeepAliveOnCustom) {
    tcp_keepalive ka{1, winsock::u_long(FKeepAliveTime), winsock::u_long(FKeepAliveInterval)};
    DWORD returned = 0;
    if (WSocket_WSAIoctl(FHSocket, SIO_KEEPALIVE_VALS, &ka, sizeof ka, nullptr, 0, &returned) != 0)
      SocketError("WSocket_WSAIoctl(SIO_KEEPALIVE_VALS)");
  }
}

void TCustomWSocket::BindLocal() {
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_port = htons(FLocalPortNum);
  local.sin_addr.s_addr = WSocketResolveHost(FLocalAddr);
  if (winsock::bind(FHSocket, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0)
    RaiseException("winsock.bind failed, error #" + IntToStr(winsock::WSAGetLastError()));
  int len = sizeof local;
  if (winsock::getsockname(FHSocket, reinterpret_cast<sockaddr*>(&local), &len) != 0)
    RaiseException("winsock.getsockname failed, error #" + IntToStr(winsock::WSAGetLastError()));
  FLocalPortNum = ntohs(local.sin_port);
  FLocalPortStr = IntToStr(FLocalPortNum);
}

void TCustomWSocket::Connect() {
  if (FHSocket != INVALID_SOCKET && FState != wsClosed) return RaiseSocketError("Connect: Socket already in use");
  if (!FPortAssigned) return RaiseSocketError("Connect: No Port Specified");
  if (!FAddrAssigned) return RaiseSocketError("Connect: No IP Address Specified");
  if (!FProtoAssigned) return RaiseSocketError("Connect: No Protocol Specified");
  try {
    LoadWinsock();
    if (!FProtoResolved) {
      FProto = WSocketResolveProto(FProtoStr);
      FType = FProto == IPPROTO_TCP ? SOCK_STREAM : FProto == IPPROTO_UDP ? SOCK_DGRAM : SOCK_RAW;
      FProtoResolved = true;
    }
    if (!FPortResolved) {
      FPortNum = WSocketResolvePort(FPortStr, FProtoStr);
      FSin.sin_port = htons(FPortNum);
      FPortResolved = true;
    }
    if (!FLocalPortResolved) {
      FLocalPortNum = WSocketResolvePort(FLocalPortStr, FProtoStr);
      FLocalPortResolved = true;
    }
    if (!FAddrResolved) {
      FSin.sin_addr.s_addr = in_addr_t(WSocketResolveHost(FAddrStr));
      FAddrResolved = true;
    }
  } catch (const ESocketException& E) {
    return RaiseSocketError("connect: " + E.Message());
  }

  DeleteBufferedData();
  FSin.sin_family = AF_INET;
  FHSocket = winsock::socket(AF_INET, FType, FProto);
  if (FHSocket == INVALID_SOCKET) return SocketError("Connect (socket)");
  int size = 0, len = sizeof size;
  if (winsock::getsockopt(FHSocket, SOL_SOCKET, SO_SNDBUF, reinterpret_cast<char*>(&size), &len) != 0)
    return SocketError("winsock::getsockopt(SO_SNDBUF)");
  FSocketSndBufSize = size;
  len = sizeof size;
  if (winsock::getsockopt(FHSocket, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<char*>(&size), &len) != 0)
    return SocketError("winsock::getsockopt(SO_RCVBUF)");
  FSocketRcvBufSize = size;

  auto alive = FAlive;
  ChangeState(wsOpened);
  if (!*alive) return;
  if (FState != wsOpened) {
    winsock::WSASetLastError(WSAEINVAL);
    return SocketError("Connect (Invalid operation in OnChangeState)");
  }

  try {
    if (FType == SOCK_DGRAM) {
      BindLocal();
      if (FMultiCast) {
        if (FMultiCastIpTTL != 1) {
          const unsigned char ttl = (unsigned char)FMultiCastIpTTL;
          if (winsock::setsockopt(FHSocket, IPPROTO_IP, IP_MULTICAST_TTL, reinterpret_cast<const char*>(&ttl), sizeof ttl))
            return SocketError("winsock::setsockopt(IP_MULTICAST_TTL)");
        }
        if (FLocalAddr != "0.0.0.0") {
          in_addr iface{in_addr_t(WSocketResolveHost(FLocalAddr))};
          if (winsock::setsockopt(FHSocket, IPPROTO_IP, IP_MULTICAST_IF, reinterpret_cast<const char*>(&iface), sizeof iface))
            return SocketError("winsock::setsockopt(IP_MULTICAST_IF)");
        }
      }
      if (FSin.sin_addr.s_addr == INADDR_BROADCAST) {
        const int on = 1;
        if (winsock::setsockopt(FHSocket, SOL_SOCKET, SO_BROADCAST, reinterpret_cast<const char*>(&on), sizeof on))
          return SocketError("winsock::setsockopt(SO_BROADCAST)");
      }
    } else {
      const int on = 1;
      if (winsock::setsockopt(FHSocket, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&on), sizeof on))
        return SocketError("winsock::setsockopt(SO_REUSEADDR)");
      if (FComponentOptions.Contains(wsoTcpNoDelay) &&
          winsock::setsockopt(FHSocket, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on))
        return SocketError("winsock::setsockopt(IPPROTO_TCP, TCP_NODELAY)");
      ApplyLinger();
      ApplyKeepAlive();
      if (FLocalPortNum != 0 || FLocalAddr != "0.0.0.0") BindLocal();
    }
  } catch (const ESocketException& E) {
    return RaiseSocketError(E.Message());
  }

  const long mask = FD_READ | FD_WRITE | FD_ACCEPT | FD_CONNECT | FD_CLOSE;
  if (winsock::WSAAsyncSelect(FHSocket, FWindowHandle, WM_ASYNCSELECT, mask) != 0) return SocketError("WSAAsyncSelect");
  FSelectMask = mask;

  if (FType == SOCK_DGRAM) {
    ChangeState(wsConnected);
    if (*alive) TriggerSessionConnected(0);
    return;
  }
  if (LogEnabled(loWsockInfo))
    LogText(loWsockInfo, "TWSocket will connect to " + DottedText(FSin.sin_addr) + ":" + IntToStr(FPortNum));
  if (winsock::connect(FHSocket, reinterpret_cast<const sockaddr*>(&FSin), sizeof FSin) == 0 ||
      winsock::WSAGetLastError() == WSAEWOULDBLOCK) {
    ChangeState(wsConnecting);
    return;
  }
  FLastError = winsock::WSAGetLastError();
  SocketError("Connect");
}

void TCustomWSocket::Listen() {
  if (!FPortAssigned) {
    winsock::WSASetLastError(WSAEINVAL);
    return SocketError("listen: port not assigned");
  }
  if (!FProtoAssigned) {
    winsock::WSASetLastError(WSAEINVAL);
    return SocketError("listen: protocol not assigned");
  }
  if (!FAddrAssigned) {
    winsock::WSASetLastError(WSAEINVAL);
    return SocketError("listen: address not assigned");
  }
  try {
    LoadWinsock();
    if (!FProtoResolved) {
      if (FProtoStr.size() > 4 && SameText(FProtoStr.substr(0, 4), "raw_")) {
        FType = SOCK_RAW;
        FProto = WSocketResolveProto(FProtoStr.substr(4, 10));
      } else {
        FProto = WSocketResolveProto(FProtoStr);
        FType = FProto == IPPROTO_UDP ? SOCK_DGRAM : SOCK_STREAM;
      }
      FProtoResolved = true;
    }
    if (!FPortResolved) {
      FPortNum = WSocketResolvePort(FPortStr, FType == SOCK_RAW ? "raw" : FProtoStr);
      FSin.sin_port = htons(FPortNum);
      FPortResolved = true;
    }
    if (!FAddrResolved) {
      FSin.sin_addr.s_addr = in_addr_t(WSocketResolveHost(FAddrStr));
      FAddrResolved = true;
    }
  } catch (const ESocketException& E) {
    return RaiseSocketError("listen: " + E.Message());
  }
  FSin.sin_family = AF_INET;
  FHSocket = winsock::socket(AF_INET, FType, FProto);
  if (FHSocket == INVALID_SOCKET) return SocketError("socket");
  const int on = 1;
  if (FType == SOCK_DGRAM && FReuseAddr &&
      winsock::setsockopt(FHSocket, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&on), sizeof on))
    return SocketError("winsock::setsockopt(SO_REUSEADDR)");
  if (winsock::bind(FHSocket, reinterpret_cast<const sockaddr*>(&FSin), sizeof FSin) != 0) return SocketError("Bind");
  auto alive = FAlive;
  ChangeState(wsBound);
  if (!*alive) return;
  if (FType == SOCK_STREAM) {
    if (winsock::listen(FHSocket, FListenBacklog) != 0) return SocketError("Listen");
    ChangeState(wsListening);
  } else if (FType == SOCK_DGRAM) {
    if (FMultiCast) {
      ip_mreq mreq{};
      mreq.imr_multiaddr.s_addr = winsock::inet_addr(FMultiCastAddrStr.c_str());
      mreq.imr_interface.s_addr = FSin.sin_addr.s_addr;
      if (winsock::setsockopt(FHSocket, IPPROTO_IP, IP_ADD_MEMBERSHIP, reinterpret_cast<const char*>(&mreq), sizeof mreq))
        return SocketError("winsock::setsockopt(IP_ADD_MEMBERSHIP)");
    }
    ChangeState(wsListening);
  } else if (FType == SOCK_RAW) {
    if (FComponentOptions.Contains(wsoSIO_RCVALL)) {
      winsock::u_long on4 = 1;
      DWORD returned = 0;
      if (WSocket_WSAIoctl(FHSocket, SIO_RCVALL, &on4, sizeof on4, nullptr, 0, &returned) != 0)
        return SocketError("winsock::WSAIoctl(SIO_RCVALL)");
    }
    ChangeState(wsListening);
  } else {
    return SocketError("Listen: unexpected protocol.");
  }
  if (!*alive) return;
  const long mask = FD_READ | FD_WRITE | FD_ACCEPT | FD_CLOSE;
  if (winsock::WSAAsyncSelect(FHSocket, FWindowHandle, WM_ASYNCSELECT, mask) != 0) return SocketError("WSAASyncSelect");
  FSelectMask = mask;
}

TSocket TCustomWSocket::Accept() {
  if (FState != wsListening) {
    winsock::WSASetLastError(WSAEINVAL);
    SocketError("not a listening socket");
    return INVALID_SOCKET;
  }
  sockaddr_in peer{};
  int len = sizeof peer;
  const TSocket s = winsock::accept(FHSocket, reinterpret_cast<sockaddr*>(&peer), &len);
  if (s == INVALID_SOCKET) {
    SocketError("Accept");
    return INVALID_SOCKET;
  }
  return s;
}

void TCustomWSocket::Dup(TSocket NewHSocket) {
  if (NewHSocket == 0 || NewHSocket == INVALID_SOCKET) {
    winsock::WSASetLastError(WSAEINVAL);
    return SocketError("Dup");
  }
  auto alive = FAlive;
  if (FState != wsClosed) {
    if (FHSocket != INVALID_SOCKET && winsock::closesocket(FHSocket) != 0) {
      FHSocket = INVALID_SOCKET;
      return SocketError("Dup (closesocket)");
    }
    FHSocket = INVALID_SOCKET;
    ChangeState(wsClosed);
    if (!*alive) return;
  }
  FHSocket = NewHSocket;
  int size = 0, len = sizeof size;
  if (winsock::getsockopt(FHSocket, SOL_SOCKET, SO_SNDBUF, reinterpret_cast<char*>(&size), &len) == 0) FSocketSndBufSize = size;
  len = sizeof size;
  if (winsock::getsockopt(FHSocket, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<char*>(&size), &len) == 0) FSocketRcvBufSize = size;
  try {
    ApplyLinger();
  } catch (const ESocketException& E) {
    return RaiseSocketError(E.Message());
  }
  const long mask = FD_READ | FD_WRITE | FD_CONNECT | FD_CLOSE;
  if (winsock::WSAAsyncSelect(FHSocket, FWindowHandle, WM_ASYNCSELECT, mask) != 0) return SocketError("WSAAsyncSelect");
  FSelectMask = mask;
  ChangeState(wsConnected);
}

void TCustomWSocket::Pause() {
  FPaused = true;
  if (FHSocket != INVALID_SOCKET) winsock::WSAAsyncSelect(FHSocket, FWindowHandle, 0, 0);
}

void TCustomWSocket::Resume() {
  FPaused = false;
  if (FHSocket != INVALID_SOCKET && FSelectMask) {
    if (winsock::WSAAsyncSelect(FHSocket, FWindowHandle, WM_ASYNCSELECT, FSelectMask) != 0) SocketError("WSAAsyncSelect");
  }
}

// ---------------------------------------------------------------------------------
// Closing.

void TCustomWSocket::Shutdown(Integer How) {
  if (LogEnabled(loWsockInfo))
    LogText(loWsockInfo, Hex8(this) + " TCustomWSocket.Shutdown " + IntToStr(How) + " " + IntToStr(FHSocket));
  if (FHSocket != INVALID_SOCKET) winsock::shutdown(FHSocket, How);
}

void TCustomWSocket::Close() { CloseSocketNow(true, 0); }

void TCustomWSocket::Abort() { AbortWith(0); }

void TCustomWSocket::AbortWith(Word Error) {
  try {
    CancelDnsLookup();
  } catch (...) {
  }
  DeleteBufferedData();
  if (FHSocket != INVALID_SOCKET && FState == wsConnected && FType == SOCK_STREAM) {
    // A zero-second linger makes the close reset the connection.
    linger l{1, 0};
    winsock::setsockopt(FHSocket, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&l), sizeof l);
  }
  CloseSocketNow(false, Error);
}

void TCustomWSocket::CloseSocketNow(bool DoShutdown, Word Error) {
  auto alive = FAlive;
  if (FHSocket != INVALID_SOCKET && FState != wsClosed) {
    if (DoShutdown) {
      Shutdown(1);
      // An orderly close delivers what is still in the system's buffer: a zero-second
      // linger would throw it away and reset the connection.
      if (FLingerOnOff == wsLingerOn && FLingerTimeout == 0 && FType == SOCK_STREAM) {
        linger l{0, 0};
        winsock::setsockopt(FHSocket, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&l), sizeof l);
      }
    }
    while (winsock::closesocket(FHSocket) != 0) {
      const int err = winsock::WSAGetLastError();
      if (err == WSAEWOULDBLOCK) {
        PumpMessages();
        if (!*alive) return;
        continue;
      }
      if (err == WSANOTINITIALISED) break;
      FHSocket = INVALID_SOCKET;
      return SocketError("Disconnect (closesocket)");
    }
    FHSocket = INVALID_SOCKET;
    ChangeState(wsClosed);
    if (!*alive) return;
    if (!IsDestroying() && !FCloseInvoked) {
      FCloseInvoked = true;
      TriggerSessionClosed(Error);
      if (!*alive) return;
    }
    try {
      ResetDefaults();
    } catch (...) {
    }
  } else if (FState != wsClosed) {
    ChangeState(wsClosed);
    if (!*alive) return;
    try {
      ResetDefaults();
    } catch (...) {
    }
  }
}

void TCustomWSocket::PostClose() {
  if (FWindowHandle) PostMessage(FWindowHandle, WM_CLOSE_DELAYED, 0, 0);
}

void TCustomWSocket::PostFree() {
  if (FWindowHandle) PostMessage(FWindowHandle, WM_WSOCKET_RELEASE, 0, 0);
}

void TCustomWSocket::DrainUntilClosed() {
  auto alive = FAlive;
  while (FHSocket != INVALID_SOCKET && FState != wsClosed) {
    PumpMessages();
    if (!*alive || FHSocket == INVALID_SOCKET) return;
    winsock::u_long pending = 0;
    if (winsock::ioctlsocket(FHSocket, FIONREAD, &pending) != 0) return;
    if (pending > 0) {
      TriggerDataAvailable(0);
      if (!*alive) return;
    }
    if (FHSocket == INVALID_SOCKET) return;
    char probe;
    if (DoRecv(&probe, 0, 0) < 1 && winsock::WSAGetLastError() != WSAEWOULDBLOCK) return;
    PumpMessages();
    if (!*alive) return;
  }
}

void TCustomWSocket::ResetDefaults() {
  FSin = sockaddr_in{};
  FSin.sin_family = AF_INET;
  FAddrAssigned = FAddrResolved = false;
  FPortAssigned = FPortResolved = false;
  FLocalPortResolved = false;
  FProtoStr = "tcp";
  FProto = IPPROTO_TCP;
  FType = SOCK_STREAM;
  FProtoAssigned = true;
  FProtoResolved = false;
  FLocalPortStr = "0";
  FLocalPortNum = 0;
  FLocalAddr = "0.0.0.0";
  FLingerOnOff = wsLingerOn;
  FLingerTimeout = 0;
  FHSocket = INVALID_SOCKET;
  FSelectEvent = 0;
  FSelectMask = 0;
  FState = wsClosed;
  FAllSent = true;
  FPaused = false;
  FReadCount = 0;
  FCloseInvoked = false;
  FFlushTimeout = 60;
}

// ---------------------------------------------------------------------------------
// Name look-up.

void TCustomWSocket::DnsLookup(const std::string& HostName) {
  if (HostName.empty()) {
    RaiseSocketError("DNS lookup: invalid host name.");
    TriggerDnsLookupDone(WSAEINVAL);
    return;
  }
  auto alive = FAlive;
  if (FDnsLookupHandle) {
    CancelDnsLookup();
    if (!*alive) return;
  }
  FDnsResult.clear();
  FDnsResultList.clear();
  LoadWinsock();
  if (WSocketIsDottedIP(HostName)) {
    in_addr a;
    a.s_addr = in_addr_t(winsock::inet_addr(Trim(HostName).c_str()));
    FDnsResult = DottedText(a);
    FDnsResultList.push_back(FDnsResult);
    TriggerDnsLookupDone(0);
    return;
  }
  if (!FWindowHandle) return RaiseSocketError("DnsLookup: Window not assigned");
  FDnsLookupCheckMsg = false;
  if (!FDnsLookupBuffer) FDnsLookupBuffer = std::make_unique<char[]>(MAXGETHOSTSTRUCT);
  FDnsLookupHandle = winsock::WSAAsyncGetHostByName(FWindowHandle, WM_ASYNCGETHOSTBYNAME, HostName.c_str(),
                                           FDnsLookupBuffer.get(), MAXGETHOSTSTRUCT);
  if (!FDnsLookupHandle)
    return RaiseSocketError(HostName + ": can't start DNS lookup, error #" + IntToStr(winsock::WSAGetLastError()));
  if (FDnsLookupCheckMsg) {
    FDnsLookupCheckMsg = false;
    WindowProc(FDnsLookupTempMsg, FDnsLookupTempMsgW, FDnsLookupTempMsgL);
  }
}

void TCustomWSocket::ReverseDnsLookup(const std::string& HostAddr) {
  if (HostAddr.empty() || HostAddr.size() > 256) {
    RaiseSocketError("ReverseDnsLookup: Invalid host name.");
    TriggerDnsLookupDone(WSAEINVAL);
    return;
  }
  auto alive = FAlive;
  if (FDnsLookupHandle) {
    CancelDnsLookup();
    if (!*alive) return;
  }
  FDnsResult.clear();
  FDnsResultList.clear();
  if (!FWindowHandle) return RaiseSocketError("ReverseDnsLookup: Window not assigned");
  in_addr_t addr;
  try {
    addr = in_addr_t(WSocketResolveHost(HostAddr));
  } catch (const ESocketException& E) {
    return RaiseSocketError(E.Message());
  }
  FDnsLookupCheckMsg = false;
  if (!FDnsLookupBuffer) FDnsLookupBuffer = std::make_unique<char[]>(MAXGETHOSTSTRUCT);
  FDnsLookupHandle = winsock::WSAAsyncGetHostByAddr(FWindowHandle, WM_ASYNCGETHOSTBYADDR, reinterpret_cast<const char*>(&addr),
                                           4, AF_INET, FDnsLookupBuffer.get(), MAXGETHOSTSTRUCT);
  if (!FDnsLookupHandle)
    return RaiseSocketError(HostAddr + ": can't start DNS lookup, error #" + IntToStr(winsock::WSAGetLastError()));
  if (FDnsLookupCheckMsg) {
    FDnsLookupCheckMsg = false;
    WindowProc(FDnsLookupTempMsg, FDnsLookupTempMsgW, FDnsLookupTempMsgL);
  }
}

namespace {
// The addresses, or the name and its aliases, of a host entry.
void CollectHostEntry(const hostent* h, bool names, std::vector<std::string>& out) {
  if (names) {
    out.push_back(h->h_name);
    for (char** a = h->h_aliases; a && *a; ++a) out.push_back(*a);
    return;
  }
  for (char** a = h->h_addr_list; a && *a; ++a) {
    in_addr addr;
    std::memcpy(&addr, *a, 4);
    out.push_back(DottedText(addr));
  }
}
}  // namespace

void TCustomWSocket::ReverseDnsLookupSync(const std::string& HostAddr) {
  if (HostAddr.empty() || HostAddr.size() > 256) {
    RaiseSocketError("ReverseDnsLookup: Invalid host name.");
    TriggerDnsLookupDone(WSAEINVAL);
    return;
  }
  FDnsResult.clear();
  FDnsResultList.clear();
  in_addr_t addr;
  try {
    addr = in_addr_t(WSocketResolveHost(HostAddr));
  } catch (const ESocketException& E) {
    return RaiseSocketError(E.Message());
  }
  hostent* h = winsock::gethostbyaddr(reinterpret_cast<const char*>(&addr), 4, AF_INET);
  if (!h) {
    TriggerDnsLookupDone(Word(winsock::WSAGetLastError()));
    return;
  }
  CollectHostEntry(h, true, FDnsResultList);
  FDnsResult = FDnsResultList.front();
  TriggerDnsLookupDone(0);
}

void TCustomWSocket::HandleLookupDone(UINT Msg, WPARAM wParam, LPARAM lParam) {
  if (!FDnsLookupHandle) {
    // The completion came before the request handle was known: keep it for DnsLookup.
    FDnsLookupCheckMsg = true;
    FDnsLookupTempMsg = Msg;
    FDnsLookupTempMsgW = wParam;
    FDnsLookupTempMsgL = lParam;
    return;
  }
  if (reinterpret_cast<HANDLE>(wParam) != FDnsLookupHandle) return;
  FDnsLookupHandle = nullptr;
  const Word error = WSAGETASYNCERROR(lParam);
  if (error == 0) {
    const auto* h = reinterpret_cast<const hostent*>(FDnsLookupBuffer.get());
    CollectHostEntry(h, Msg == WM_ASYNCGETHOSTBYADDR, FDnsResultList);
    if (!FDnsResultList.empty()) FDnsResult = FDnsResultList.front();
  }
  TriggerDnsLookupDone(error);
}

void TCustomWSocket::CancelDnsLookup() {
  if (!FDnsLookupHandle) return;
  if (winsock::WSACancelAsyncRequest(FDnsLookupHandle) != 0) {
    FDnsLookupHandle = nullptr;
    return SocketError("WSACancelAsyncRequest");
  }
  FDnsLookupHandle = nullptr;
  if (!IsDestroying()) TriggerDnsLookupDone(WSAEINTR);
}

// ---------------------------------------------------------------------------------
// Names of the ends.

Integer TCustomWSocket::GetPeerName(sockaddr_in& Name, Integer NameLen) {
  if (FState != wsConnected) return -1;
  int len = NameLen;
  return winsock::getpeername(FHSocket, reinterpret_cast<sockaddr*>(&Name), &len);
}

Integer TCustomWSocket::GetSockName(sockaddr_in& SockAddr, Integer& SockAddrLen) {
  return winsock::getsockname(FHSocket, reinterpret_cast<sockaddr*>(&SockAddr), &SockAddrLen);
}

std::string TCustomWSocket::GetPeerAddr() {
  if (FState != wsConnected) return "error";
  sockaddr_in peer{};
  int len = sizeof peer;
  if (winsock::getpeername(FHSocket, reinterpret_cast<sockaddr*>(&peer), &len) != 0) {
    SocketError("GetPeerAddr");
    return "error";
  }
  return DottedText(peer.sin_addr);
}

std::string TCustomWSocket::GetPeerPort() {
  if (FState != wsConnected) return "error";
  sockaddr_in peer{};
  int len = sizeof peer;
  if (winsock::getpeername(FHSocket, reinterpret_cast<sockaddr*>(&peer), &len) != 0) {
    SocketError("GetPeerPort");
    return "error";
  }
  return IntToStr(ntohs(peer.sin_port));
}

std::string TCustomWSocket::GetLocalPortText() {
  if (FState != wsBound && FState != wsConnected && FState != wsListening) return "error";
  sockaddr_in local{};
  int len = sizeof local;
  if (winsock::getsockname(FHSocket, reinterpret_cast<sockaddr*>(&local), &len) != 0) return "error";
  return IntToStr(ntohs(local.sin_port));
}

std::string TCustomWSocket::GetLocalAddrText() {
  if (FState != wsBound && FState != wsConnected && FState != wsListening) return "error";
  sockaddr_in local{};
  int len = sizeof local;
  if (winsock::getsockname(FHSocket, reinterpret_cast<sockaddr*>(&local), &len) != 0) return "error";
  return DottedText(local.sin_addr);
}
