#include "platform/net/winsock.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/win/messages.h"
#include "platform/win/reactor.h"

namespace winsock {

namespace {

thread_local int t_lastError = 0;

int Fail(int wsaError) {
  t_lastError = wsaError;
  return SOCKET_ERROR;
}
int FailErrno() { return Fail(WSAErrorFromErrno(errno)); }

// ---------------------------------------------------------------------------------
// Sockets and their select registrations.

struct Sock {
  int fd = -1;
  int type = SOCK_STREAM;
  // Select registration.
  HWND hwnd = nullptr;
  UINT msg = 0;
  long mask = 0;
  std::shared_ptr<TReactor> reactor;  // the registering thread's reactor
  uint32_t watched = 0;         // epoll events asked of the reactor
  bool watching = false;
  // Connection progress.
  bool connecting = false;
  bool connected = false;
  bool listening = false;
  bool failed = false;  // the connect failed: nothing more is reported
  // Winsock's re-enabling state.
  bool readPosted = false;
  bool acceptPosted = false;
  bool writeArmed = false;
  bool closeSeen = false;
};

struct SocketTable {
  std::recursive_mutex lock;
  std::map<SOCKET, std::shared_ptr<Sock>> sockets;
  SOCKET next = 1024;
  int startups = 0;
};

// Never destroyed: worker threads and late closes may still reach it at exit.
SocketTable& Table() {
  static SocketTable* t = new SocketTable;
  return *t;
}

std::shared_ptr<Sock> Find(SOCKET s) {
  auto& t = Table();
  std::lock_guard g(t.lock);
  auto it = t.sockets.find(s);
  return it == t.sockets.end() ? nullptr : it->second;
}

SOCKET Insert(int fd, int type) {
  auto sock = std::make_shared<Sock>();
  sock->fd = fd;
  sock->type = type;
  auto& t = Table();
  std::lock_guard g(t.lock);
  const SOCKET h = t.next++;
  if (t.next == INVALID_SOCKET) t.next = 1024;  // after four thousand million sockets
  t.sockets.emplace(h, std::move(sock));
  return h;
}

void Post(const Sock& s, SOCKET h, long event, int error) {
  if (!(s.mask & event) || !s.hwnd) return;
  PostMessage(s.hwnd, s.msg, WPARAM(h), MAKELPARAM(WORD(event), WORD(error)));
}

int SocketError(int fd) {
  int err = 0;
  socklen_t len = sizeof err;
  if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0) return errno;
  return err;
}

int Pending(int fd) {
  int n = 0;
  return ::ioctl(fd, FIONREAD, &n) == 0 ? n : 0;
}

void OnReady(SOCKET h, uint32_t events);

// Asks the reactor for exactly the events that can produce a message now. A reactor
// is changed only from its own thread; on another thread the flags alone change and
// take effect at the socket's next event.
void Rearm(SOCKET h, Sock& s) {
  if (!s.reactor || s.reactor->ThreadId() != GetCurrentThreadId()) return;
  uint32_t want = 0;
  if (s.hwnd && s.mask && !s.failed && !s.closeSeen) {
    if (s.listening) {
      if ((s.mask & FD_ACCEPT) && !s.acceptPosted) want |= EPOLLIN;
    } else if (s.connecting) {
      want |= EPOLLOUT;
    } else if (s.connected) {
      if ((s.mask & FD_READ) && !s.readPosted) want |= EPOLLIN;
      if (s.type == SOCK_STREAM) want |= EPOLLRDHUP;
      if (s.writeArmed && (s.mask & FD_WRITE)) want |= EPOLLOUT;
    }
  }
  if (want == 0) {
    if (s.watching) s.reactor->Unwatch(s.fd);
    s.watching = false;
  } else if (!s.watching) {
    s.reactor->Watch(s.fd, want, [h](uint32_t events) { OnReady(h, events); });
    s.watching = true;
  } else if (want != s.watched) {
    s.reactor->Modify(s.fd, want);
  }
  s.watched = want;
}

// Turns readiness into select messages (on the registering thread).
void OnReady(SOCKET h, uint32_t events) {
  auto& t = Table();
  std::lock_guard g(t.lock);
  auto it = t.sockets.find(h);
  if (it == t.sockets.end()) return;
  Sock& s = *it->second;
  if (s.connecting) {
    if (events & (EPOLLOUT | EPOLLERR | EPOLLHUP)) {
      const int err = SocketError(s.fd);
      s.connecting = false;
      if (err == 0) {
        s.connected = true;
        Post(s, h, FD_CONNECT, 0);
        Post(s, h, FD_WRITE, 0);
      } else {
        s.failed = true;
        Post(s, h, FD_CONNECT, WSAErrorFromErrno(err));
      }
    }
  } else if (s.listening) {
    if ((events & EPOLLIN) && !s.acceptPosted) {
      s.acceptPosted = true;
      Post(s, h, FD_ACCEPT, 0);
    }
  } else if (s.connected && !s.closeSeen) {
    bool closing = (events & (EPOLLRDHUP | EPOLLHUP | EPOLLERR)) != 0 && s.type == SOCK_STREAM;
    if ((events & EPOLLIN) && !s.readPosted) {
      if (Pending(s.fd) > 0 || s.type != SOCK_STREAM) {
        s.readPosted = true;
        Post(s, h, FD_READ, 0);
      } else {
        char probe;
        closing = closing || ::recv(s.fd, &probe, 1, MSG_PEEK | MSG_DONTWAIT) == 0;
      }
    }
    if (closing) {
      const int err = SocketError(s.fd);
      s.closeSeen = true;
      Post(s, h, FD_CLOSE, err == 0 ? 0 : WSAErrorFromErrno(err));
    }
    if ((events & EPOLLOUT) && s.writeArmed) {
      s.writeArmed = false;
      Post(s, h, FD_WRITE, 0);
    }
  }
  Rearm(h, s);
}

bool IsStarted() {
  auto& t = Table();
  std::lock_guard g(t.lock);
  return t.startups > 0;
}

// ---------------------------------------------------------------------------------
// Name look-up.

std::mutex g_hookLock;
TLookupHook& Hook() {
  static TLookupHook* h = new TLookupHook;
  return *h;
}

int ErrorFromGai(int rc) {
  switch (rc) {
    case EAI_AGAIN:
      return WSATRY_AGAIN;
    case EAI_FAIL:
      return WSANO_RECOVERY;
    case EAI_NODATA:
    case EAI_ADDRFAMILY:
      return WSANO_DATA;
    default:
      return WSAHOST_NOT_FOUND;
  }
}

int SystemByName(const std::string& name, std::vector<in_addr>& out) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* res = nullptr;
  const int rc = ::getaddrinfo(name.c_str(), nullptr, &hints, &res);
  if (rc != 0) return ErrorFromGai(rc);
  for (addrinfo* a = res; a; a = a->ai_next) {
    const in_addr addr = reinterpret_cast<sockaddr_in*>(a->ai_addr)->sin_addr;
    bool seen = false;
    for (const auto& o : out) seen = seen || o.s_addr == addr.s_addr;
    if (!seen) out.push_back(addr);
  }
  ::freeaddrinfo(res);
  return out.empty() ? WSANO_DATA : 0;
}

int SystemByAddr(in_addr addr, std::string& name, std::vector<std::string>&) {
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_addr = addr;
  char host[NI_MAXHOST];
  const int rc = ::getnameinfo(reinterpret_cast<sockaddr*>(&sa), sizeof sa, host, sizeof host, nullptr, 0, NI_NAMEREQD);
  if (rc != 0) return ErrorFromGai(rc);
  name = host;
  return 0;
}

int LookUpByName(const std::string& name, std::vector<in_addr>& out) {
  std::function<int(const std::string&, std::vector<in_addr>&)> fn;
  {
    std::lock_guard g(g_hookLock);
    fn = Hook().ByName;
  }
  return fn ? fn(name, out) : SystemByName(name, out);
}

int LookUpByAddr(in_addr addr, std::string& name, std::vector<std::string>& aliases) {
  std::function<int(in_addr, std::string&, std::vector<std::string>&)> fn;
  {
    std::lock_guard g(g_hookLock);
    fn = Hook().ByAddr;
  }
  return fn ? fn(addr, name, aliases) : SystemByAddr(addr, name, aliases);
}

// Lays a host entry out in buf: the record, the alias and address pointer lists, the
// addresses, then the texts. Entries that do not fit are left out; returns the bytes
// used, or -1 when not even the record and the name fit.
int FillHostent(char* buf, int buflen, const std::string& name, const std::vector<std::string>& aliases,
                const std::vector<in_addr>& addrs) {
  const size_t size = size_t(std::max(buflen, 0));
  size_t used = sizeof(hostent);
  const size_t naliases = aliases.size(), naddrs = addrs.size();
  size_t fixed = used + (naliases + 1 + naddrs + 1) * sizeof(char*);
  size_t nAddrsKept = naddrs, nAliasesKept = naliases;
  // Drop entries from the back until everything fits.
  auto need = [&] {
    size_t n = used + (nAliasesKept + 1 + nAddrsKept + 1) * sizeof(char*) + nAddrsKept * 4 + name.size() + 1;
    for (size_t i = 0; i < nAliasesKept; ++i) n += aliases[i].size() + 1;
    return n;
  };
  while (need() > size && nAliasesKept > 0) --nAliasesKept;
  while (need() > size && nAddrsKept > 0) --nAddrsKept;
  if (need() > size) return -1;
  (void)fixed;
  auto* h = reinterpret_cast<hostent*>(buf);
  auto** aliasList = reinterpret_cast<char**>(buf + used);
  auto** addrList = aliasList + nAliasesKept + 1;
  char* p = reinterpret_cast<char*>(addrList + nAddrsKept + 1);
  for (size_t i = 0; i < nAddrsKept; ++i) {
    std::memcpy(p, &addrs[i].s_addr, 4);
    addrList[i] = p;
    p += 4;
  }
  addrList[nAddrsKept] = nullptr;
  auto putText = [&](const std::string& s) {
    char* at = p;
    std::memcpy(p, s.c_str(), s.size() + 1);
    p += s.size() + 1;
    return at;
  };
  h->h_name = putText(name);
  for (size_t i = 0; i < nAliasesKept; ++i) aliasList[i] = putText(aliases[i]);
  aliasList[nAliasesKept] = nullptr;
  h->h_aliases = aliasList;
  h->h_addrtype = AF_INET;
  h->h_length = 4;
  h->h_addr_list = addrList;
  return int(p - buf);
}

struct AsyncTask {
  HWND hwnd;
  UINT msg;
  char* buf;
  int buflen;
  bool cancelled = false;
};

struct AsyncTasks {
  std::mutex lock;
  std::map<uintptr_t, AsyncTask> tasks;
  uintptr_t next = 1;
};
AsyncTasks& Tasks() {
  static AsyncTasks* t = new AsyncTasks;
  return *t;
}

// Runs Work on a worker; its result is written to the task's buffer unless the task was
// cancelled meanwhile, and the completion is posted.
HANDLE StartTask(HWND hWnd, UINT wMsg, char* buf, int buflen,
                 std::function<int(std::string&, std::vector<std::string>&, std::vector<in_addr>&)> Work) {
  auto& t = Tasks();
  uintptr_t id;
  {
    std::lock_guard g(t.lock);
    id = t.next++;
    t.tasks.emplace(id, AsyncTask{hWnd, wMsg, buf, buflen});
  }
  std::thread([id, Work = std::move(Work)] {
    std::string name;
    std::vector<std::string> aliases;
    std::vector<in_addr> addrs;
    int err = Work(name, aliases, addrs);
    auto& t = Tasks();
    HWND hwnd;
    UINT msg;
    int len = 0;
    {
      std::lock_guard g(t.lock);
      auto it = t.tasks.find(id);
      const AsyncTask task = it->second;
      t.tasks.erase(it);
      if (task.cancelled) return;
      if (err == 0) {
        len = FillHostent(task.buf, task.buflen, name, aliases, addrs);
        if (len < 0) err = WSAENOBUFS, len = 0;
      }
      hwnd = task.hwnd;
      msg = task.msg;
    }
    PostMessage(hwnd, msg, WPARAM(id), MAKELPARAM(WORD(len), WORD(err)));
  }).detach();
  return reinterpret_cast<HANDLE>(id);
}

alignas(hostent) thread_local char t_hostBuf[MAXGETHOSTSTRUCT * 4];
thread_local char t_ntoa[16];
thread_local servent t_servent;
thread_local char t_servBuf[1024];
thread_local protoent t_protoent;
thread_local char t_protoBuf[1024];

}  // namespace

// ---------------------------------------------------------------------------------

int WSAErrorFromErrno(int err) {
  switch (err) {
    case 0: return 0;
    case EINTR: return WSAEINTR;
    case EBADF: return WSAEBADF;
    case EACCES: case EPERM: return WSAEACCES;
    case EFAULT: return WSAEFAULT;
    case EINVAL: return WSAEINVAL;
    case EMFILE: case ENFILE: return WSAEMFILE;
    case EAGAIN: case EINPROGRESS: return WSAEWOULDBLOCK;
    case EALREADY: return WSAEALREADY;
    case ENOTSOCK: return WSAENOTSOCK;
    case EDESTADDRREQ: return WSAEDESTADDRREQ;
    case EMSGSIZE: return WSAEMSGSIZE;
    case EPROTOTYPE: return WSAEPROTOTYPE;
    case ENOPROTOOPT: return WSAENOPROTOOPT;
    case EPROTONOSUPPORT: return WSAEPROTONOSUPPORT;
    case ESOCKTNOSUPPORT: return WSAESOCKTNOSUPPORT;
    case EOPNOTSUPP: return WSAEOPNOTSUPP;
    case EPFNOSUPPORT: return WSAEPFNOSUPPORT;
    case EAFNOSUPPORT: return WSAEAFNOSUPPORT;
    case EADDRINUSE: return WSAEADDRINUSE;
    case EADDRNOTAVAIL: return WSAEADDRNOTAVAIL;
    case ENETDOWN: return WSAENETDOWN;
    case ENETUNREACH: return WSAENETUNREACH;
    case ENETRESET: return WSAENETRESET;
    case ECONNABORTED: return WSAECONNABORTED;
    case ECONNRESET: return WSAECONNRESET;
    case ENOBUFS: case ENOMEM: return WSAENOBUFS;
    case EISCONN: return WSAEISCONN;
    case ENOTCONN: return WSAENOTCONN;
    case ESHUTDOWN: case EPIPE: return WSAESHUTDOWN;
    case ETOOMANYREFS: return WSAETOOMANYREFS;
    case ETIMEDOUT: return WSAETIMEDOUT;
    case ECONNREFUSED: return WSAECONNREFUSED;
    case ELOOP: return WSAELOOP;
    case ENAMETOOLONG: return WSAENAMETOOLONG;
    case EHOSTDOWN: return WSAEHOSTDOWN;
    case EHOSTUNREACH: return WSAEHOSTUNREACH;
    case ENOTEMPTY: return WSAENOTEMPTY;
    case EUSERS: return WSAEUSERS;
    case EDQUOT: return WSAEDQUOT;
    case ESTALE: return WSAESTALE;
    case EREMOTE: return WSAEREMOTE;
    default: return WSAEINVAL;
  }
}

int WSAStartup(WORD wVersionRequested, WSADATA* lpWSAData) {
  const BYTE major = LOBYTE(wVersionRequested), minor = HIBYTE(wVersionRequested);
  if (major < 1) return WSAVERNOTSUPPORTED;
  if (lpWSAData) {
    *lpWSAData = WSADATA{};
    lpWSAData->wVersion = major > 2 || (major == 2 && minor > 2) ? WORD(0x0202) : wVersionRequested;
    lpWSAData->wHighVersion = WORD(0x0202);
    std::strcpy(lpWSAData->szDescription, "Sockets over the host's TCP/IP");
    std::strcpy(lpWSAData->szSystemStatus, "Running");
  }
  auto& t = Table();
  std::lock_guard g(t.lock);
  ++t.startups;
  return 0;
}

int WSACleanup() {
  auto& t = Table();
  std::lock_guard g(t.lock);
  if (t.startups == 0) return Fail(WSANOTINITIALISED);
  --t.startups;
  return 0;
}

int WSAGetLastError() { return t_lastError; }
void WSASetLastError(int iError) { t_lastError = iError; }

SOCKET socket(int af, int type, int protocol) {
  if (!IsStarted()) return Fail(WSANOTINITIALISED), INVALID_SOCKET;
  const int fd = ::socket(af, type | SOCK_CLOEXEC, protocol);
  if (fd < 0) return FailErrno(), INVALID_SOCKET;
  return Insert(fd, type);
}

int closesocket(SOCKET s) {
  std::shared_ptr<Sock> sock;
  {
    auto& t = Table();
    std::lock_guard g(t.lock);
    auto it = t.sockets.find(s);
    if (it == t.sockets.end()) return Fail(WSAENOTSOCK);
    sock = it->second;
    t.sockets.erase(it);
    if (sock->watching && sock->reactor->ThreadId() == GetCurrentThreadId()) sock->reactor->Unwatch(sock->fd);
    sock->watching = false;
  }
  // Closed exactly once: the descriptor is released even when close reports an error.
  ::close(sock->fd);
  return 0;
}

int bind(SOCKET s, const sockaddr* name, int namelen) {
  auto sock = Find(s);
  if (!sock) return Fail(WSAENOTSOCK);
  return ::bind(sock->fd, name, socklen_t(namelen)) == 0 ? 0 : FailErrno();
}

int connect(SOCKET s, const sockaddr* name, int namelen) {
  auto sock = Find(s);
  if (!sock) return Fail(WSAENOTSOCK);
  const int rc = ::connect(sock->fd, name, socklen_t(namelen));
  const int err = errno;
  auto& t = Table();
  std::lock_guard g(t.lock);
  Sock& k = *sock;
  if (rc == 0) {
    k.connected = true;
    if (k.hwnd && k.type == SOCK_STREAM) {
      Post(k, s, FD_CONNECT, 0);
      Post(k, s, FD_WRITE, 0);
    }
    if (k.hwnd) Rearm(s, k);
    return 0;
  }
  if (err == EINPROGRESS) {
    k.connecting = true;
    if (k.hwnd) Rearm(s, k);
    return Fail(WSAEWOULDBLOCK);
  }
  // A registered socket hears of a connect failure only through FD_CONNECT.
  if (k.hwnd && k.type == SOCK_STREAM &&
      (err == ECONNREFUSED || err == ENETUNREACH || err == EHOSTUNREACH || err == ETIMEDOUT)) {
    k.failed = true;
    Post(k, s, FD_CONNECT, WSAErrorFromErrno(err));
    Rearm(s, k);
    return Fail(WSAEWOULDBLOCK);
  }
  return Fail(WSAErrorFromErrno(err));
}

int listen(SOCKET s, int backlog) {
  auto sock = Find(s);
  if (!sock) return Fail(WSAENOTSOCK);
  if (::listen(sock->fd, backlog) != 0) return FailErrno();
  auto& t = Table();
  std::lock_guard g(t.lock);
  sock->listening = true;
  if (sock->hwnd) Rearm(s, *sock);
  return 0;
}

SOCKET accept(SOCKET s, sockaddr* addr, int* addrlen) {
  auto sock = Find(s);
  if (!sock) return Fail(WSAENOTSOCK), INVALID_SOCKET;
  socklen_t len = addrlen ? socklen_t(*addrlen) : 0;
  const int fd = ::accept4(sock->fd, addr, addrlen ? &len : nullptr, SOCK_CLOEXEC);
  const int err = errno;
  {
    auto& t = Table();
    std::lock_guard g(t.lock);
    sock->acceptPosted = false;
    if (sock->hwnd) Rearm(s, *sock);
  }
  if (fd < 0) return Fail(WSAErrorFromErrno(err)), INVALID_SOCKET;
  if (addrlen) *addrlen = int(len);
  const SOCKET h = Insert(fd, SOCK_STREAM);
  Find(h)->connected = true;
  return h;
}

namespace {
// The result of a send: a would-block one arms FD_WRITE for when space comes back.
int SendResult(SOCKET s, Sock& sock, ssize_t n) {
  if (n >= 0) return int(n);
  const int err = errno;
  if (err == EAGAIN) {
    auto& t = Table();
    std::lock_guard g(t.lock);
    sock.writeArmed = true;
    if (sock.hwnd) Rearm(s, sock);
  }
  return Fail(WSAErrorFromErrno(err));
}
}  // namespace

int send(SOCKET s, const char* buf, int len, int flags) {
  auto sock = Find(s);
  if (!sock) return Fail(WSAENOTSOCK);
  return SendResult(s, *sock, ::send(sock->fd, buf, size_t(std::max(len, 0)), flags | MSG_NOSIGNAL));
}

int sendto(SOCKET s, const char* buf, int len, int flags, const sockaddr* to, int tolen) {
  auto sock = Find(s);
  if (!sock) return Fail(WSAENOTSOCK);
  return SendResult(s, *sock,
                    ::sendto(sock->fd, buf, size_t(std::max(len, 0)), flags | MSG_NOSIGNAL, to, socklen_t(tolen)));
}

namespace {
// Every receive, even a would-block one, re-enables FD_READ.
void ReenableRead(SOCKET s, Sock& sock) {
  auto& t = Table();
  std::lock_guard g(t.lock);
  sock.readPosted = false;
  if (sock.hwnd) Rearm(s, sock);
}
}  // namespace

int recv(SOCKET s, char* buf, int len, int flags) {
  auto sock = Find(s);
  if (!sock) return Fail(WSAENOTSOCK);
  const ssize_t n = ::recv(sock->fd, buf, size_t(std::max(len, 0)), flags);
  const int err = errno;
  ReenableRead(s, *sock);
  return n >= 0 ? int(n) : Fail(WSAErrorFromErrno(err));
}

int recvfrom(SOCKET s, char* buf, int len, int flags, sockaddr* from, int* fromlen) {
  auto sock = Find(s);
  if (!sock) return Fail(WSAENOTSOCK);
  socklen_t flen = fromlen ? socklen_t(*fromlen) : 0;
  const ssize_t n = ::recvfrom(sock->fd, buf, size_t(std::max(len, 0)), flags, from, fromlen ? &flen : nullptr);
  const int err = errno;
  ReenableRead(s, *sock);
  if (n < 0) return Fail(WSAErrorFromErrno(err));
  if (fromlen) *fromlen = int(flen);
  return int(n);
}

int shutdown(SOCKET s, int how) {
  auto sock = Find(s);
  if (!sock) return Fail(WSAENOTSOCK);
  return ::shutdown(sock->fd, how) == 0 ? 0 : FailErrno();
}

int ioctlsocket(SOCKET s, long cmd, u_long* argp) {
  auto sock = Find(s);
  if (!sock) return Fail(WSAENOTSOCK);
  if (!argp) return Fail(WSAEFAULT);
  if (cmd == long(FIONREAD)) {
    int n = 0;
    if (::ioctl(sock->fd, FIONREAD, &n) != 0) return FailErrno();
    *argp = u_long(std::max(n, 0));
    return 0;
  }
  if (cmd == long(FIONBIO)) {
    // A socket registered for select messages stays non-blocking.
    if (*argp == 0 && sock->hwnd) return Fail(WSAEINVAL);
    const int flags = ::fcntl(sock->fd, F_GETFL);
    return ::fcntl(sock->fd, F_SETFL, *argp ? flags | O_NONBLOCK : flags & ~O_NONBLOCK) == 0 ? 0 : FailErrno();
  }
  return Fail(WSAEINVAL);
}

int setsockopt(SOCKET s, int level, int optname, const char* optval, int optlen) {
  auto sock = Find(s);
  if (!sock) return Fail(WSAENOTSOCK);
  return ::setsockopt(sock->fd, level, optname, optval, socklen_t(optlen)) == 0 ? 0 : FailErrno();
}

int getsockopt(SOCKET s, int level, int optname, char* optval, int* optlen) {
  auto sock = Find(s);
  if (!sock) return Fail(WSAENOTSOCK);
  if (!optlen) return Fail(WSAEFAULT);
  socklen_t len = socklen_t(*optlen);
  if (::getsockopt(sock->fd, level, optname, optval, &len) != 0) return FailErrno();
  *optlen = int(len);
  return 0;
}

namespace {
// getsockname and getpeername: the system call on the socket's descriptor.
int NameOf(SOCKET s, sockaddr* name, int* namelen, int (*call)(int, sockaddr*, socklen_t*)) {
  auto sock = Find(s);
  if (!sock) return Fail(WSAENOTSOCK);
  socklen_t len = namelen ? socklen_t(*namelen) : 0;
  if (call(sock->fd, name, &len) != 0) return FailErrno();
  if (namelen) *namelen = int(len);
  return 0;
}
}  // namespace

int getsockname(SOCKET s, sockaddr* name, int* namelen) { return NameOf(s, name, namelen, ::getsockname); }

int getpeername(SOCKET s, sockaddr* name, int* namelen) { return NameOf(s, name, namelen, ::getpeername); }

int WSAIoctl(SOCKET s, DWORD dwIoControlCode, const void* lpvInBuffer, DWORD cbInBuffer, void*, DWORD,
             DWORD* lpcbBytesReturned, void*, void*) {
  auto sock = Find(s);
  if (!sock) return Fail(WSAENOTSOCK);
  if (lpcbBytesReturned) *lpcbBytesReturned = 0;
  if (dwIoControlCode == SIO_KEEPALIVE_VALS) {
    if (!lpvInBuffer || cbInBuffer < sizeof(tcp_keepalive)) return Fail(WSAEFAULT);
    tcp_keepalive ka;
    std::memcpy(&ka, lpvInBuffer, sizeof ka);
    const int on = ka.onoff ? 1 : 0;
    const int idle = std::max<int>(1, int(ka.keepalivetime / 1000));
    const int interval = std::max<int>(1, int(ka.keepaliveinterval / 1000));
    if (::setsockopt(sock->fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on) != 0) return FailErrno();
    if (on && (::setsockopt(sock->fd, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle) != 0 ||
               ::setsockopt(sock->fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval) != 0))
      return FailErrno();
    return 0;
  }
  return Fail(WSAEOPNOTSUPP);  // no capture of all traffic here
}

int WSAAsyncSelect(SOCKET s, HWND hWnd, UINT wMsg, long lEvent) {
  auto sock = Find(s);
  if (!sock) return Fail(WSAENOTSOCK);
  const int flags = ::fcntl(sock->fd, F_GETFL);
  if (::fcntl(sock->fd, F_SETFL, flags | O_NONBLOCK) != 0) return FailErrno();
  auto& t = Table();
  std::lock_guard g(t.lock);
  Sock& k = *sock;
  if (k.watching) {
    if (k.reactor->ThreadId() != GetCurrentThreadId()) return Fail(WSAEINVAL);
    k.reactor->Unwatch(k.fd);
  }
  k.watching = false;
  k.hwnd = lEvent ? hWnd : nullptr;
  k.msg = wMsg;
  k.mask = lEvent;
  k.reactor = TReactor::CurrentShared();
  if (!lEvent) return 0;
  // Registering again reports what already holds.
  if (k.type == SOCK_STREAM && !k.connected && !k.connecting && !k.listening && !k.failed) {
    sockaddr_in peer{};
    socklen_t len = sizeof peer;
    k.connected = ::getpeername(k.fd, reinterpret_cast<sockaddr*>(&peer), &len) == 0;
  }
  if (k.type != SOCK_STREAM) k.connected = true;
  k.readPosted = false;
  k.acceptPosted = false;
  k.closeSeen = false;
  k.writeArmed = k.connected;
  Rearm(s, k);
  return 0;
}

HANDLE WSAAsyncGetHostByName(HWND hWnd, UINT wMsg, const char* name, char* buf, int buflen) {
  if (!IsStarted()) return Fail(WSANOTINITIALISED), nullptr;
  if (!name || !buf) return Fail(WSAEFAULT), nullptr;
  return StartTask(hWnd, wMsg, buf, buflen,
                   [host = std::string(name)](std::string& n, std::vector<std::string>&, std::vector<in_addr>& a) {
                     n = host;
                     return LookUpByName(host, a);
                   });
}

HANDLE WSAAsyncGetHostByAddr(HWND hWnd, UINT wMsg, const char* addr, int len, int type, char* buf, int buflen) {
  if (!IsStarted()) return Fail(WSANOTINITIALISED), nullptr;
  if (!addr || !buf) return Fail(WSAEFAULT), nullptr;
  if (len != 4 || type != AF_INET) return Fail(WSAEAFNOSUPPORT), nullptr;
  in_addr a;
  std::memcpy(&a, addr, 4);
  return StartTask(hWnd, wMsg, buf, buflen,
                   [a](std::string& n, std::vector<std::string>& aliases, std::vector<in_addr>& addrs) {
                     addrs.push_back(a);
                     return LookUpByAddr(a, n, aliases);
                   });
}

int WSACancelAsyncRequest(HANDLE hAsyncTaskHandle) {
  const auto id = reinterpret_cast<uintptr_t>(hAsyncTaskHandle);
  auto& t = Tasks();
  std::lock_guard g(t.lock);
  auto it = t.tasks.find(id);
  if (it != t.tasks.end()) {
    it->second.cancelled = true;
    return 0;
  }
  // A finished task: its completion may still be queued, and carries a handle that is
  // never given out again.
  if (id != 0 && id < t.next) return 0;
  return Fail(WSAEINVAL);
}

hostent* gethostbyname(const char* name) {
  if (!IsStarted()) return Fail(WSANOTINITIALISED), nullptr;
  if (!name) return Fail(WSAEFAULT), nullptr;
  std::vector<in_addr> addrs;
  const int err = LookUpByName(name, addrs);
  if (err != 0) return Fail(err), nullptr;
  if (FillHostent(t_hostBuf, sizeof t_hostBuf, name, {}, addrs) < 0) return Fail(WSAENOBUFS), nullptr;
  return reinterpret_cast<hostent*>(t_hostBuf);
}

hostent* gethostbyaddr(const char* addr, int len, int type) {
  if (!IsStarted()) return Fail(WSANOTINITIALISED), nullptr;
  if (!addr) return Fail(WSAEFAULT), nullptr;
  if (len != 4 || type != AF_INET) return Fail(WSAEAFNOSUPPORT), nullptr;
  in_addr a;
  std::memcpy(&a, addr, 4);
  std::string name;
  std::vector<std::string> aliases;
  const int err = LookUpByAddr(a, name, aliases);
  if (err != 0) return Fail(err), nullptr;
  if (FillHostent(t_hostBuf, sizeof t_hostBuf, name, aliases, {a}) < 0) return Fail(WSAENOBUFS), nullptr;
  return reinterpret_cast<hostent*>(t_hostBuf);
}

int gethostname(char* name, int namelen) {
  if (!name || namelen <= 0) return Fail(WSAEFAULT);
  char host[256] = {};
  if (::gethostname(host, sizeof host - 1) != 0) return FailErrno();
  if (std::strlen(host) + 1 > size_t(namelen)) return Fail(WSAEFAULT);
  std::strcpy(name, host);
  return 0;
}

servent* getservbyname(const char* name, const char* proto) {
  servent* result = nullptr;
  if (!name || ::getservbyname_r(name, proto, &t_servent, t_servBuf, sizeof t_servBuf, &result) != 0 || !result)
    return Fail(WSANO_DATA), nullptr;
  return result;
}

protoent* getprotobyname(const char* name) {
  protoent* result = nullptr;
  if (!name || ::getprotobyname_r(name, &t_protoent, t_protoBuf, sizeof t_protoBuf, &result) != 0 || !result)
    return Fail(WSANO_DATA), nullptr;
  return result;
}

unsigned long inet_addr(const char* cp) {
  in_addr a{};
  if (!cp || ::inet_aton(cp, &a) == 0) return 0xFFFFFFFFul;
  return a.s_addr;
}

char* inet_ntoa(in_addr in) {
  ::inet_ntop(AF_INET, &in, t_ntoa, sizeof t_ntoa);
  return t_ntoa;
}

TLookupHook SetLookupHook(TLookupHook NewHook) {
  std::lock_guard g(g_hookLock);
  TLookupHook old = Hook();
  Hook() = std::move(NewHook);
  return old;
}

int OpenSocketCount() {
  auto& t = Table();
  std::lock_guard g(t.lock);
  return int(t.sockets.size());
}

}  // namespace winsock
