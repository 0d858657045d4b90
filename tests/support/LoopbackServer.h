// Test peers on 127.0.0.1: a TCP server that runs a script for every accepted
// connection on its own thread, and a runner for external server programs.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <functional>
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

class LoopbackServer {
 public:
  using Script = std::function<void(int fd)>;
  // Listens on 127.0.0.1 on a free port; each accepted connection runs Script on a
  // thread of its own and is closed when Script returns (unless Script closed it and
  // returned -1 through Detach).
  explicit LoopbackServer(Script script);
  ~LoopbackServer();
  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;

  int Port() const { return port_; }
  std::string PortText() const { return std::to_string(port_); }
  int Accepted() const { return accepted_.load(); }

 private:
  void AcceptLoop();
  Script script_;
  int listenFd_ = -1;
  int port_ = 0;
  std::atomic<bool> stopping_{false};
  std::atomic<int> accepted_{0};
  std::thread acceptThread_;
  std::mutex lock_;
  std::vector<std::thread> workers_;
};

// A port on 127.0.0.1 that nothing listens on (bound and released).
int UnusedLoopbackPort();

// An external program started for a test and stopped (by its process id) at the end.
class ExternalPeer {
 public:
  // Starts Argv[0] with Argv; waits until 127.0.0.1:WaitPort accepts connections.
  ExternalPeer(const std::vector<std::string>& Argv, int WaitPort);
  ~ExternalPeer();
  ExternalPeer(const ExternalPeer&) = delete;
  ExternalPeer& operator=(const ExternalPeer&) = delete;
  bool Running() const { return ready_; }

 private:
  pid_t pid_ = -1;
  bool ready_ = false;
};

