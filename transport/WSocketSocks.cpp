// The SOCKS 4, 4A and 5 client layer of the socket.
#include <arpa/inet.h>

#include <algorithm>
#include <cstring>

#include "platform/rtl/sysutils.h"
#include "transport/WSocket.h"

using namespace winsock::constants;

namespace {

// Text and code of a SOCKS 5 reply byte.
std::pair<Integer, std::string> Socks5ReplyError(Byte reply) {
  switch (reply) {
    case 1: return {socksGeneralFailure, "general SOCKS server failure"};
    case 2: return {socksConnectionNotAllowed, "connection not allowed by ruleset"};
    case 3: return {socksNetworkUnreachable, "network unreachable"};
    case 4: return {socksHostUnreachable, "host unreachable"};
    case 5: return {socksConnectionRefused, "connection refused"};
    case 6: return {socksTtlExpired, "time to live expired"};
    case 7: return {socksUnknownCommand, "command not supported"};
    case 8: return {socksUnknownAddressType, "address type not supported"};
    default: return {socksUnassignedError, "unassigned error #" + std::to_string(reply)};
  }
}

constexpr size_t kMaxSocksField = 255;  // one length byte

TSocksReply Failed(Integer error, std::string text) {
  TSocksReply r;
  r.Status = TSocksReply::srFailed;
  r.Error = error;
  r.Text = std::move(text);
  return r;
}

}  // namespace

TSocksReply ParseSocks5MethodReply(const uint8_t* Buf, size_t Count) {
  if (Count < 2) return {};
  if (Buf[0] != 5) return Failed(socksVersionError, "socks version error");
  if (Buf[1] != 0 && Buf[1] != 2) return Failed(socksAuthMethodError, "authentification method not acceptable");
  TSocksReply r;
  r.Status = TSocksReply::srGranted;
  r.Error = Buf[1];
  r.Length = 2;
  return r;
}

TSocksReply ParseSocks5AuthReply(const uint8_t* Buf, size_t Count) {
  if (Count >= 1 && Buf[0] != 1) return Failed(socksVersionError, "socks version error");
  // The status byte decides: wait for it.
  if (Count < 2) return {};
  if (Count > 2) return Failed(socksProtocolError, "too much data availaible");
  if (Buf[1] != 0) return Failed(socksAuthenticationFailed, "socks authentication failed");
  TSocksReply r;
  r.Status = TSocksReply::srGranted;
  r.Length = 2;
  return r;
}

TSocksReply ParseSocks4Reply(const uint8_t* Buf, size_t Count) {
  if (Count < 8) return {};
  if (Buf[0] != 0) return Failed(socksVersionError, "socks version error");
  switch (Buf[1]) {
    case 90: {
      TSocksReply r;
      r.Status = TSocksReply::srGranted;
      r.Length = 8;
      return r;
    }
    case 91: return Failed(socksRejectedOrFailed, "request rejected or failed");
    case 92: return Failed(socksConnectionRefused, "connection refused");
    case 93: return Failed(socksAuthenticationFailed, "authentification failed");
    default: return Failed(socksUnassignedError, "unassigned error #" + std::to_string(Buf[1]));
  }
}

TSocksReply ParseSocks5Reply(const uint8_t* Buf, size_t Count) {
  if (Count >= 1 && Buf[0] != 5) return Failed(socksVersionError, "socks version error");
  if (Count >= 2 && Buf[1] != 0) {
    const auto [code, text] = Socks5ReplyError(Buf[1]);
    return Failed(code, text);
  }
  if (Count < 5) return {};
  size_t expected;
  switch (Buf[3]) {
    case 1: expected = 10; break;
    case 3: expected = 7 + size_t(Buf[4]); break;
    default: expected = 5; break;
  }
  if (Count < expected) return {};
  TSocksReply r;
  size_t portAt;
  if (Buf[3] == 1) {
    in_addr a;
    std::memcpy(&a, Buf + 4, 4);
    r.BoundAddr = inet_ntoa(a);
    portAt = 8;
  } else if (Buf[3] == 3) {
    r.BoundAddr.assign(reinterpret_cast<const char*>(Buf + 5), Buf[4]);
    portAt = 5 + size_t(Buf[4]);
  } else {
    return Failed(socksUnknownAddressType, "address type not supported");
  }
  r.BoundPort = std::to_string(Word(Buf[portAt] << 8 | Buf[portAt + 1]));
  r.Status = TSocksReply::srGranted;
  r.Length = portAt + 2;
  return r;
}

TCustomSocksWSocket::TCustomSocksWSocket(TComponent* AOwner) : TCustomWSocket(AOwner) {
  TCustomSocksWSocket::ResetDefaults();
}

void TCustomSocksWSocket::ResetDefaults() {
  TCustomWSocket::ResetDefaults();
  FSocksServer.clear();
  FSocksPort.clear();
  FSocksServerAssigned = FSocksPortAssigned = false;
  FSocksLevel = "5";
  FSocksState = TSocksHandshake::HandshakeIdle;
  FSocksRcvdCnt = 0;
  FSocksRcvdPtr = 0;
}

void TCustomSocksWSocket::SetSocksServer(const std::string& Value) {
  if (FState != wsClosed) RaiseException("Can't change socks server if not closed");
  FSocksServer = Trim(Value);
  FSocksServerAssigned = !FSocksServer.empty();
}

void TCustomSocksWSocket::SetSocksPort(const std::string& Value) {
  if (FState != wsClosed) RaiseException("Can't change socks port if not closed");
  FSocksPort = Trim(Value);
  FSocksPortAssigned = !FSocksPort.empty();
}

void TCustomSocksWSocket::SetSocksLevel(const std::string& Value) {
  if (FState != wsClosed) RaiseException("Can't change socks level if not closed");
  if (Value != "4" && Value != "5" && Value != "4A" && Value != "4a")
    RaiseException("Invalid socks level. Must be 4, 4A or 5.");
  FSocksLevel = UpperCase(Value);
}

void TCustomSocksWSocket::TriggerSocksConnected(Word Error) { OnSocksConnected(this, Error); }

void TCustomSocksWSocket::TriggerSocksError(Integer Error, const std::string& Msg) { OnSocksError(this, Error, Msg); }

void TCustomSocksWSocket::TriggerSocksAuthState(TSocksAuthState AuthState) { OnSocksAuthState(this, AuthState); }

void TCustomSocksWSocket::Listen() {
  if (FSocksServerAssigned) return RaiseSocketError("Listening is not supported thru socks server");
  TCustomWSocket::Listen();
}

void TCustomSocksWSocket::Connect() {
  if (!FSocksServerAssigned) {
    FSocksState = TSocksHandshake::HandshakeIdle;
    return TCustomWSocket::Connect();
  }
  const std::string proto = Trim(FProtoStr);
  if (!SameText(proto, "tcp") && proto != "6")
    return RaiseSocketError("tcp is the only protocol supported thru socks server");
  // Fields that one length byte cannot describe would reach the wrong host or user.
  if (FSocksLevel == "5" && FAddrStr.size() > kMaxSocksField)
    return RaiseSocketError("connect: host name too long for socks");
  if (FSocksLevel == "5" && FSocksAuthentication == socksAuthenticateUsercode &&
      (FSocksUsercode.size() > kMaxSocksField || FSocksPassword.size() > kMaxSocksField))
    return RaiseSocketError("connect: socks user code or password too long");
  try {
    if (!FPortResolved) {
      FPortNum = WSocketResolvePort(FSocksPort, FProtoStr);
      FSin.sin_port = htons(FPortNum);
      FPortResolved = true;
    }
    if (!FAddrResolved) {
      FSin.sin_addr.s_addr = in_addr_t(WSocketResolveHost(FSocksServer));
      FAddrResolved = true;
    }
    FSocksTargetPort = WSocketResolvePort(FPortStr, FProtoStr);
  } catch (const ESocketException& E) {
    return RaiseSocketError("connect: " + E.Message());
  }
  FSocksState = TSocksHandshake::HandshakeMethods;
  FRcvCnt = 0;
  TCustomWSocket::Connect();
}

bool TCustomSocksWSocket::SendRequest(const std::string& Request) {
  return Send(Request.data(), Integer(Request.size())) >= 0;
}

void TCustomSocksWSocket::TriggerSessionConnected(Word Error) {
  if (FSocksState != TSocksHandshake::HandshakeMethods) return TCustomWSocket::TriggerSessionConnected(Error);
  auto alive = AliveToken();
  TriggerSocksConnected(Error);
  if (!*alive) return;
  if (Error != 0) {
    FSocksState = TSocksHandshake::HandshakeIdle;
    return TCustomWSocket::TriggerSessionConnected(Error);
  }
  if (FSocksLevel[0] == '4') return SocksDoConnect();
  FSocksMethod = FSocksAuthentication == socksAuthenticateUsercode ? 2 : 0;
  FRcvCnt = 0;
  SendRequest(std::string{5, 1, char(FSocksMethod)});
}

void TCustomSocksWSocket::SocksDoConnect() {
  std::string request;
  const char portHi = char(FSocksTargetPort >> 8), portLo = char(FSocksTargetPort & 0xFF);
  if (FSocksLevel[0] == '4') {
    in_addr_t target;
    if (FSocksLevel == "4A") {
      target = htonl(1);  // 0.0.0.1: the server resolves the name that follows
    } else {
      try {
        target = in_addr_t(WSocketResolveHost(FAddrStr));
      } catch (const Exception& E) {
        auto alive = AliveToken();
        FSocksState = TSocksHandshake::HandshakeIdle;
        TriggerSocksError(socksHostResolutionFailed, E.ClassName() + " " + E.Message());
        if (*alive) CloseSocketNow(true, socksHostResolutionFailed);
        return;
      }
    }
    request = {4, 1, portHi, portLo};
    request.append(reinterpret_cast<const char*>(&target), 4);
    request += FSocksUsercode;
    request += '\0';
    if (FSocksLevel == "4A") {
      request += FAddrStr;
      request += '\0';
    }
  } else {
    request = {5, 1, 0, 3, char(FAddrStr.size())};
    request += FAddrStr;
    request += portHi;
    request += portLo;
  }
  FSocksState = TSocksHandshake::HandshakeConnect;
  FRcvCnt = 0;
  SendRequest(request);
}

void TCustomSocksWSocket::SocksDoAuthenticate() {
  auto alive = AliveToken();
  TriggerSocksAuthState(socksAuthStart);
  if (!*alive) return;
  FSocksState = TSocksHandshake::HandshakeAuth;
  FRcvCnt = 0;
  std::string request{1, char(FSocksUsercode.size())};
  request += FSocksUsercode;
  request += char(FSocksPassword.size());
  request += FSocksPassword;
  SendRequest(request);
}

void TCustomSocksWSocket::SocksDone(Integer Error, const std::string& Msg) {
  auto alive = AliveToken();
  TriggerSocksError(Error, Msg);
  if (!*alive) return;
  FSocksState = TSocksHandshake::HandshakeIdle;
  TCustomWSocket::TriggerSessionConnected(Word(Error));
  if (!*alive) return;
  CloseSocketNow(true, Word(Error));
}

bool TCustomSocksWSocket::ReadReply(size_t Room) {
  Room = std::min(Room, sizeof FRcvBuf - FRcvCnt);
  if (Room == 0) {
    SocksDone(socksProtocolError, "too much data availaible");
    return false;
  }
  const Integer n = TCustomWSocket::DoRecv(FRcvBuf + FRcvCnt, Integer(Room), 0);
  if (n < 0) {
    const int err = winsock::WSAGetLastError();
    if (err != WSAEWOULDBLOCK) SocksDone(err, "data receive error");
    return false;
  }
  FRcvCnt += size_t(n);
  return n > 0;
}

bool TCustomSocksWSocket::TriggerDataAvailable(Word Error) {
  if (FSocksState == TSocksHandshake::HandshakeIdle) return TCustomWSocket::TriggerDataAvailable(Error);
  if (Error != 0) {
    SocksDone(Error, "data receive error");
    return true;
  }
  auto alive = AliveToken();
  switch (FSocksState) {
    case TSocksHandshake::HandshakeMethods: {
      if (!ReadReply(sizeof FRcvBuf)) return true;
      if (FSocksLevel[0] == '4') {
        SocksDone(socksProtocolError, "TWSocket logic error");
        return true;
      }
      const TSocksReply reply = ParseSocks5MethodReply(FRcvBuf, FRcvCnt);
      if (reply.Status == TSocksReply::srIncomplete) return true;
      if (reply.Status == TSocksReply::srFailed) {
        SocksDone(reply.Error, reply.Text);
      } else if (reply.Error == 0) {
        if (FSocksMethod == 2) TriggerSocksAuthState(socksAuthNotRequired);
        if (*alive) SocksDoConnect();
      } else {
        SocksDoAuthenticate();
      }
      return true;
    }
    case TSocksHandshake::HandshakeAuth: {
      if (!ReadReply(sizeof FRcvBuf)) return true;
      const TSocksReply reply = ParseSocks5AuthReply(FRcvBuf, FRcvCnt);
      if (reply.Status == TSocksReply::srIncomplete) return true;
      if (reply.Status == TSocksReply::srFailed) {
        SocksDone(reply.Error, reply.Text);
        return true;
      }
      FRcvCnt = 0;
      TriggerSocksAuthState(socksAuthSuccess);
      if (*alive) SocksDoConnect();
      return true;
    }
    case TSocksHandshake::HandshakeConnect:
      if (FSocksLevel[0] == '4')
        HandleSocks4Reply();
      else
        HandleSocks5Reply();
      return true;
    default:
      SocksDone(socksInternalError, "internal error");
      return true;
  }
}

void TCustomSocksWSocket::HandleSocks4Reply() {
  if (!ReadReply(8 - FRcvCnt)) return;
  FinishConnectReply(ParseSocks4Reply(FRcvBuf, FRcvCnt));
}

void TCustomSocksWSocket::HandleSocks5Reply() {
  if (!ReadReply(sizeof FRcvBuf)) return;
  FinishConnectReply(ParseSocks5Reply(FRcvBuf, FRcvCnt));
}

void TCustomSocksWSocket::FinishConnectReply(const TSocksReply& Reply) {
  if (Reply.Status == TSocksReply::srIncomplete) return;
  if (Reply.Status == TSocksReply::srFailed) return SocksDone(Reply.Error, Reply.Text);
  FBoundAddr = Reply.BoundAddr;
  FBoundPort = Reply.BoundPort;
  auto alive = AliveToken();
  FSocksState = TSocksHandshake::HandshakeIdle;
  // Bytes behind the reply already belong to the target's data.
  FSocksRcvdPtr = Reply.Length;
  FSocksRcvdCnt = FRcvCnt > Reply.Length ? FRcvCnt - Reply.Length : 0;
  TCustomWSocket::TriggerSessionConnected(0);
  if (*alive && FHSocket != INVALID_SOCKET && GetRcvdCount() > 0) TriggerDataAvailable(0);
}

void TCustomSocksWSocket::TriggerSessionClosed(Word Error) {
  if (FSocksState == TSocksHandshake::HandshakeAuth) {
    auto alive = AliveToken();
    TriggerSocksAuthState(socksAuthFailure);
    if (!*alive) return;
  }
  TCustomWSocket::TriggerSessionClosed(Error);
}

Integer TCustomSocksWSocket::GetRcvdCount() {
  if (FSocksRcvdCnt > 0) return Integer(FSocksRcvdCnt);
  return TCustomWSocket::GetRcvdCount();
}

Integer TCustomSocksWSocket::DoRecv(void* Buffer, Integer BufferSize, Integer Flags) {
  if (FSocksRcvdCnt == 0) return TCustomWSocket::DoRecv(Buffer, BufferSize, Flags);
  const size_t n = std::min(size_t(std::max(BufferSize, Integer{0})), FSocksRcvdCnt);
  std::memcpy(Buffer, FRcvBuf + FSocksRcvdPtr, n);
  FSocksRcvdPtr += n;
  FSocksRcvdCnt -= n;
  return Integer(n);
}
