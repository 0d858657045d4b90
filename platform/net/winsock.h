// A Winsock-style socket interface over Linux sockets. Sockets are named by virtual
// handles that are never reused, so a notification still queued for a closed socket can
// never be taken for a new one. Readiness reaches a window as posted select messages
// (WSAAsyncSelect) following Winsock's rules:
//   FD_CONNECT once when a connect completes, with its error; on success FD_WRITE follows;
//   after a failed connect nothing else.
//   FD_READ when data is there and no FD_READ is outstanding; the next recv re-enables it.
//   FD_WRITE after connect, and again only after a send failed with WSAEWOULDBLOCK.
//   FD_CLOSE once, when the peer closed (0) or reset (WSAECONNRESET); never FD_READ after it.
//   FD_ACCEPT when a connection waits and no FD_ACCEPT is outstanding; accept re-enables it.
// Registering again posts for conditions that already hold. Notifications are produced
// by the reactor of the thread that registered, so they arrive when that thread pumps
// its messages. Errors are Winsock numbers, read with WSAGetLastError.
//
// The functions carry their Winsock names inside namespace winsock, since the C library
// already owns socket, connect, send and the rest at global scope.
#pragma once

#include <netdb.h>
#include <netinet/in.h>
#include <sys/ioctl.h>  // FIONREAD, FIONBIO for ioctlsocket
#include <sys/socket.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/win/wintypes.h"

namespace winsock {

// Types and constants, which callers may bring in whole (using namespace
// winsock::constants) without hiding the C library's functions.
inline namespace constants {

using SOCKET = uint32_t;
constexpr SOCKET INVALID_SOCKET = 0xFFFFFFFFu;
constexpr int SOCKET_ERROR = -1;
using u_long = uint32_t;
using u_short = uint16_t;

struct WSADATA {
  WORD wVersion = 0;
  WORD wHighVersion = 0;
  char szDescription[257] = {};
  char szSystemStatus[129] = {};
};

// Select events.
constexpr long FD_READ = 0x01;
constexpr long FD_WRITE = 0x02;
constexpr long FD_OOB = 0x04;
constexpr long FD_ACCEPT = 0x08;
constexpr long FD_CONNECT = 0x10;
constexpr long FD_CLOSE = 0x20;

constexpr WORD WSAGETSELECTEVENT(LPARAM l) { return LOWORD(uintptr_t(l)); }
constexpr WORD WSAGETSELECTERROR(LPARAM l) { return HIWORD(uintptr_t(l)); }
constexpr WORD WSAGETASYNCERROR(LPARAM l) { return HIWORD(uintptr_t(l)); }
constexpr WORD WSAGETASYNCBUFLEN(LPARAM l) { return LOWORD(uintptr_t(l)); }

constexpr int MAXGETHOSTSTRUCT = 1024;

// WSAIoctl control codes.
constexpr DWORD SIO_RCVALL = 0x98000001;
constexpr DWORD SIO_KEEPALIVE_VALS = 0x98000004;
struct tcp_keepalive {
  u_long onoff;
  u_long keepalivetime;      // milliseconds
  u_long keepaliveinterval;  // milliseconds
};

// Error numbers.
constexpr int WSABASEERR = 10000;
constexpr int WSAEINTR = 10004;
constexpr int WSAEBADF = 10009;
constexpr int WSAEACCES = 10013;
constexpr int WSAEFAULT = 10014;
constexpr int WSAEINVAL = 10022;
constexpr int WSAEMFILE = 10024;
constexpr int WSAEWOULDBLOCK = 10035;
constexpr int WSAEINPROGRESS = 10036;
constexpr int WSAEALREADY = 10037;
constexpr int WSAENOTSOCK = 10038;
constexpr int WSAEDESTADDRREQ = 10039;
constexpr int WSAEMSGSIZE = 10040;
constexpr int WSAEPROTOTYPE = 10041;
constexpr int WSAENOPROTOOPT = 10042;
constexpr int WSAEPROTONOSUPPORT = 10043;
constexpr int WSAESOCKTNOSUPPORT = 10044;
constexpr int WSAEOPNOTSUPP = 10045;
constexpr int WSAEPFNOSUPPORT = 10046;
constexpr int WSAEAFNOSUPPORT = 10047;
constexpr int WSAEADDRINUSE = 10048;
constexpr int WSAEADDRNOTAVAIL = 10049;
constexpr int WSAENETDOWN = 10050;
constexpr int WSAENETUNREACH = 10051;
constexpr int WSAENETRESET = 10052;
constexpr int WSAECONNABORTED = 10053;
constexpr int WSAECONNRESET = 10054;
constexpr int WSAENOBUFS = 10055;
constexpr int WSAEISCONN = 10056;
constexpr int WSAENOTCONN = 10057;
constexpr int WSAESHUTDOWN = 10058;
constexpr int WSAETOOMANYREFS = 10059;
constexpr int WSAETIMEDOUT = 10060;
constexpr int WSAECONNREFUSED = 10061;
constexpr int WSAELOOP = 10062;
constexpr int WSAENAMETOOLONG = 10063;
constexpr int WSAEHOSTDOWN = 10064;
constexpr int WSAEHOSTUNREACH = 10065;
constexpr int WSAENOTEMPTY = 10066;
constexpr int WSAEPROCLIM = 10067;
constexpr int WSAEUSERS = 10068;
constexpr int WSAEDQUOT = 10069;
constexpr int WSAESTALE = 10070;
constexpr int WSAEREMOTE = 10071;
constexpr int WSASYSNOTREADY = 10091;
constexpr int WSAVERNOTSUPPORTED = 10092;
constexpr int WSANOTINITIALISED = 10093;
constexpr int WSAHOST_NOT_FOUND = 11001;
constexpr int WSATRY_AGAIN = 11002;
constexpr int WSANO_RECOVERY = 11003;
constexpr int WSANO_DATA = 11004;

}  // namespace constants

// The Winsock number for a C library errno value.
int WSAErrorFromErrno(int err);

int WSAStartup(WORD wVersionRequested, WSADATA* lpWSAData);
int WSACleanup();
int WSAGetLastError();
void WSASetLastError(int iError);

SOCKET socket(int af, int type, int protocol);
int closesocket(SOCKET s);
int bind(SOCKET s, const sockaddr* name, int namelen);
int connect(SOCKET s, const sockaddr* name, int namelen);
int listen(SOCKET s, int backlog);
SOCKET accept(SOCKET s, sockaddr* addr, int* addrlen);
int send(SOCKET s, const char* buf, int len, int flags);
int sendto(SOCKET s, const char* buf, int len, int flags, const sockaddr* to, int tolen);
int recv(SOCKET s, char* buf, int len, int flags);
int recvfrom(SOCKET s, char* buf, int len, int flags, sockaddr* from, int* fromlen);
int shutdown(SOCKET s, int how);
int ioctlsocket(SOCKET s, long cmd, u_long* argp);
int setsockopt(SOCKET s, int level, int optname, const char* optval, int optlen);
int getsockopt(SOCKET s, int level, int optname, char* optval, int* optlen);
int getsockname(SOCKET s, sockaddr* name, int* namelen);
int getpeername(SOCKET s, sockaddr* name, int* namelen);
int WSAIoctl(SOCKET s, DWORD dwIoControlCode, const void* lpvInBuffer, DWORD cbInBuffer, void* lpvOutBuffer,
             DWORD cbOutBuffer, DWORD* lpcbBytesReturned, void* lpOverlapped, void* lpCompletionRoutine);

// Asks for select messages wMsg to hWnd for the events in lEvent (0 cancels); makes the
// socket non-blocking.
int WSAAsyncSelect(SOCKET s, HWND hWnd, UINT wMsg, long lEvent);

// Name look-up on a worker: returns a non-zero task handle at once; later message wMsg
// reaches hWnd with the handle as wParam and MAKELONG(buffer length, error) as lParam,
// the host entry having been written to buf. After WSACancelAsyncRequest the buffer is
// not touched any more (a completion already queued still carries the old handle).
HANDLE WSAAsyncGetHostByName(HWND hWnd, UINT wMsg, const char* name, char* buf, int buflen);
HANDLE WSAAsyncGetHostByAddr(HWND hWnd, UINT wMsg, const char* addr, int len, int type, char* buf, int buflen);
int WSACancelAsyncRequest(HANDLE hAsyncTaskHandle);

// Blocking look-ups. The returned records live until the calling thread's next call.
hostent* gethostbyname(const char* name);
hostent* gethostbyaddr(const char* addr, int len, int type);
int gethostname(char* name, int namelen);
servent* getservbyname(const char* name, const char* proto);
protoent* getprotobyname(const char* name);
unsigned long inet_addr(const char* cp);
char* inet_ntoa(in_addr in);

// The name resolver behind every look-up above. Tests replace it so that nothing
// depends on a name service. ByName returns 0 and the IPv4 addresses (network order)
// or a WSAHOST_NOT_FOUND-style error; ByAddr returns 0 with the name and aliases.
struct TLookupHook {
  std::function<int(const std::string& Name, std::vector<in_addr>& Addresses)> ByName;
  std::function<int(in_addr Address, std::string& Name, std::vector<std::string>& Aliases)> ByAddr;
};
// Installs a resolver (an empty hook restores the system's); returns the previous one.
TLookupHook SetLookupHook(TLookupHook Hook);

// Live virtual handles (for tests: nothing leaks).
int OpenSocketCount();

}  // namespace winsock
