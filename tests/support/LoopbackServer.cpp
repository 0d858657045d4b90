#include "tests/support/LoopbackServer.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "tests/support/loopback.h"
#include "tests/support/wait.h"

namespace {

int ListenOnLoopback(int& port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const int on = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(fd, 64) != 0) {
    ::close(fd);
    throw std::runtime_error("cannot listen on 127.0.0.1");
  }
  socklen_t len = sizeof a;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  port = ntohs(a.sin_port);
  return fd;
}

// Listens on one port on every address Host resolves to (the first address picks a
// free port, the others take the same); an address family the host lacks is left out.
std::vector<int> ListenOnEveryAddress(const std::string& Host, int& port) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (::getaddrinfo(Host.c_str(), nullptr, &hints, &found) != 0) throw std::runtime_error("cannot resolve " + Host);
  std::vector<sockaddr_storage> addrs;
  for (addrinfo* ai = found; ai; ai = ai->ai_next) {
    sockaddr_storage a{};
    std::memcpy(&a, ai->ai_addr, ai->ai_addrlen);
    bool seen = false;
    for (const auto& b : addrs) seen = seen || std::memcmp(&a, &b, sizeof a) == 0;
    if (!seen) addrs.push_back(a);
  }
  ::freeaddrinfo(found);
  for (int attempt = 0; attempt < 20; ++attempt) {
    std::vector<int> fds;
    bool taken = false;
    port = 0;
    for (auto& a : addrs) {
      const socklen_t len = a.ss_family == AF_INET6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
      auto* portField = a.ss_family == AF_INET6 ? &reinterpret_cast<sockaddr_in6*>(&a)->sin6_port
                                                : &reinterpret_cast<sockaddr_in*>(&a)->sin_port;
      *portField = htons(uint16_t(port));
      const int fd = ::socket(a.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
      if (fd < 0) continue;
      const int on = 1;
      ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
      if (a.ss_family == AF_INET6) ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on);
      if (::bind(fd, reinterpret_cast<sockaddr*>(&a), len) != 0 || ::listen(fd, 64) != 0) {
        taken = taken || errno == EADDRINUSE;
        ::close(fd);
        continue;
      }
      if (port == 0) {
        socklen_t got = len;
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &got);
        port = ntohs(*portField);
      }
      fds.push_back(fd);
    }
    if (!taken && !fds.empty()) return fds;
    for (int fd : fds) ::close(fd);
  }
  throw std::runtime_error("cannot listen on " + Host);
}

bool WaitReadable(int fd, int timeoutMs) {
  pollfd p{fd, POLLIN, 0};
  return ::poll(&p, 1, timeoutMs) > 0;
}

}  // namespace

bool SendAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t n = ::send(fd, data.data(), data.size(), MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data.remove_prefix(size_t(n));
  }
  return true;
}

std::string RecvExactly(int fd, size_t n, int TimeoutMs) {
  std::string out;
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(TimeoutMs);
  while (out.size() < n) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
    if (left.count() <= 0 || !WaitReadable(fd, int(left.count()))) break;
    char buf[4096];
    const ssize_t got = ::recv(fd, buf, std::min(sizeof buf, n - out.size()), 0);
    if (got <= 0) break;
    out.append(buf, size_t(got));
  }
  return out;
}

std::string RecvUntilClosed(int fd, int TimeoutMs) {
  std::string out;
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(TimeoutMs);
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
    if (left.count() <= 0 || !WaitReadable(fd, int(left.count()))) break;
    char buf[4096];
    const ssize_t got = ::recv(fd, buf, sizeof buf, 0);
    if (got <= 0) break;
    out.append(buf, size_t(got));
  }
  return out;
}

void CloseWithReset(int fd) {
  linger l{1, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
  ::close(fd);
}

LoopbackServer::LoopbackServer(Script script, const std::string& Host) : script_(std::move(script)) {
  listenFds_ = ListenOnEveryAddress(Host, port_);
  acceptThread_ = std::thread([this] { AcceptLoop(); });
}

LoopbackServer::~LoopbackServer() {
  stopping_ = true;
  for (int fd : listenFds_) ::shutdown(fd, SHUT_RDWR);
  acceptThread_.join();
  for (int fd : listenFds_) ::close(fd);
  std::lock_guard g(lock_);
  for (auto& w : workers_) w.join();
}

void LoopbackServer::AcceptLoop() {
  std::vector<pollfd> polled;
  for (int fd : listenFds_) polled.push_back({fd, POLLIN, 0});
  while (!stopping_) {
    if (::poll(polled.data(), polled.size(), 100) <= 0) continue;
    for (const pollfd& p : polled) {
      if (!(p.revents & POLLIN)) continue;
      const int fd = ::accept4(p.fd, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd < 0) continue;
      ++accepted_;
      std::lock_guard g(lock_);
      workers_.emplace_back([this, fd] {
        script_(fd);
        ::close(fd);
      });
    }
  }
}

int UnusedLoopbackPort() {
  int port = 0;
  const int fd = ListenOnLoopback(port);
  ::close(fd);
  return port;
}

ExternalPeer::ExternalPeer(const std::function<std::vector<std::string>(int Port)>& ArgvFor) {
  for (int attempt = 0; attempt < 5 && !Running(); ++attempt) {
    port_ = UnusedLoopbackPort();
    // The program's own output would only clutter the test log. Another program may
    // have taken the port since it was free: then ours ends, or never listens there
    // itself, and the next attempt takes another port.
    process_ = std::make_unique<vxtest::ChildProcess>(ArgvFor(port_), false, "/dev/null");
    if (!vxtest::WaitForOwnPort(*process_, port_, vxtest::kPatienceMs)) process_.reset();
  }
}

ExternalPeer::~ExternalPeer() = default;
