#include "tests/support/LoopbackServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

extern char** environ;

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

LoopbackServer::LoopbackServer(Script script) : script_(std::move(script)) {
  listenFd_ = ListenOnLoopback(port_);
  acceptThread_ = std::thread([this] { AcceptLoop(); });
}

LoopbackServer::~LoopbackServer() {
  stopping_ = true;
  ::shutdown(listenFd_, SHUT_RDWR);
  acceptThread_.join();
  ::close(listenFd_);
  std::lock_guard g(lock_);
  for (auto& w : workers_) w.join();
}

void LoopbackServer::AcceptLoop() {
  while (!stopping_) {
    if (!WaitReadable(listenFd_, 100)) continue;
    const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    ++accepted_;
    std::lock_guard g(lock_);
    workers_.emplace_back([this, fd] {
      script_(fd);
      ::close(fd);
    });
  }
}

int UnusedLoopbackPort() {
  int port = 0;
  const int fd = ListenOnLoopback(port);
  ::close(fd);
  return port;
}

ExternalPeer::ExternalPeer(const std::vector<std::string>& Argv, int WaitPort) {
  std::vector<char*> argv;
  for (const auto& a : Argv) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  // The program's own output would only clutter the test log.
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  const int rc = ::posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) {
    pid_ = -1;
    return;
  }
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (std::chrono::steady_clock::now() < end) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(uint16_t(WaitPort));
    const bool up = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(fd);
    if (up) {
      ready_ = true;
      return;
    }
    int status;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

ExternalPeer::~ExternalPeer() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGTERM);
  int status;
  for (int i = 0; i < 100; ++i) {
    if (::waitpid(pid_, &status, WNOHANG) == pid_) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ::kill(pid_, SIGKILL);
  ::waitpid(pid_, &status, 0);
}
