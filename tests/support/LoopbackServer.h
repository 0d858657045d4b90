// Test peers on loopback: a TCP server that runs a script for every accepted
// connection on its own thread, and a runner for external server programs.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// Blocking helpers on a plain connected descriptor.
bool SendAll(int fd, std::string_view data);
// Reads exactly n bytes (less when the peer closes first or after TimeoutMs).
std::string RecvExactly(int fd, size_t n, int TimeoutMs = 5000);
// Reads until the peer closes (or TimeoutMs passes).
std::string RecvUntilClosed(int fd, int TimeoutMs = 5000);
// Closes with a reset instead of an orderly close.
void CloseWithReset(int fd);

namespace vxtest {
class ChildProcess;
}

class LoopbackServer {
 public:
  using Script = std::function<void(int fd)>;
  // Listens on a free port of 127.0.0.1, or on every address a loopback name such as
  // "localhost" resolves to (whatever order the host's resolver gives them); each
  // accepted connection runs Script on a thread of its own and is closed when Script
  // returns.
  explicit LoopbackServer(Script script, const std::string& Host = "127.0.0.1");
  ~LoopbackServer();
  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;

  int Port() const { return port_; }
  std::string PortText() const { return std::to_string(port_); }
  int Accepted() const { return accepted_.load(); }

 private:
  void AcceptLoop();
  Script script_;
  std::vector<int> listenFds_;
  int port_ = 0;
  std::atomic<bool> stopping_{false};
  std::atomic<int> accepted_{0};
  std::thread acceptThread_;
  std::mutex lock_;
  std::vector<std::thread> workers_;
};

// A port on 127.0.0.1 that nothing listens on (bound and released).
int UnusedLoopbackPort();

// An external server program started for a test on a free port of 127.0.0.1 and
// stopped at the end. ArgvFor gives its command line for a port; when another program
// took that port meanwhile, it is started again on another.
class ExternalPeer {
 public:
  explicit ExternalPeer(const std::function<std::vector<std::string>(int Port)>& ArgvFor);
  ~ExternalPeer();
  ExternalPeer(const ExternalPeer&) = delete;
  ExternalPeer& operator=(const ExternalPeer&) = delete;
  // True once the program itself listens on Port().
  bool Running() const { return process_ != nullptr; }
  int Port() const { return port_; }

 private:
  std::unique_ptr<vxtest::ChildProcess> process_;
  int port_ = 0;
};
