// Loopback peers for tests and benchmarks: nginx (HTTP and HTTPS), tinyproxy (with and
// without Basic authentication) and a small Python server for odd replies. Each peer
// binds 127.0.0.1 on free ports, is started by its constructor (which raises
// std::runtime_error when it cannot) and stopped by its destructor.
//
//   TempFolder www;
//   WriteFileBytes(www / "a.bin", RandomBytes(100000, 1));
//   vxtest::LoopbackNginx nginx(www.Path());
//   Get(nginx.HttpUrl("/a.bin")) ... nginx.HttpsUrl("/a.bin") ... nginx.AccessLog()
//
// HTTPS certificates come from a test CA that is made once per process with the openssl
// command; ScopedTrust makes it trusted the way a user installs a CA (SSL_CERT_FILE).
// This library does not depend on GoogleTest: benchmarks link it too.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/TempFolder.h"
#include "tests/support/wait.h"

namespace vxtest {

// Writes Size pseudo-random bytes (the same for the same Seed) and returns them.
std::string WriteRandomFile(const std::string& Path, size_t Size, uint64_t Seed = 1);
// Writes a sparse file of Size bytes: zeros, then Tail at its end.
void WriteSparseFile(const std::string& Path, int64_t Size, const std::string& Tail);
// Runs a program to its end; raises std::runtime_error when it fails. Its output
// (standard output and error) goes to OutputFile.
void Run(const std::vector<std::string>& argv, const std::string& OutputFile = "/dev/null");
// A free TCP port on 127.0.0.1 at the time of the call.
int FreePort();
// Waits until something accepts connections on 127.0.0.1:port.
bool WaitForPort(int port, int timeoutMs);

class ChildProcess;
// Waits until the child itself listens on 127.0.0.1:port (so that a port another
// program took since FreePort cannot pass for the child's); false when the child
// ended or the time ran out.
bool WaitForOwnPort(ChildProcess& Child, int port, int timeoutMs);

// A program started with its arguments, stopped (SIGTERM, then SIGKILL) by the destructor.
class ChildProcess {
 public:
  // With CaptureStdout, the child's standard output is a pipe that ReadLine reads;
  // else its output goes to OutputFile when that is named, else where ours goes.
  ChildProcess(const std::vector<std::string>& argv, bool CaptureStdout = false, const std::string& OutputFile = "");
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  pid_t Pid() const { return pid_; }
  bool Running();
  // One line of the child's output without its line end; empty at the end or after
  // timeoutMs.
  std::string ReadLine(int timeoutMs);
  void Stop();

 private:
  pid_t pid_ = -1;
  int out_fd_ = -1;
  std::string pending_;
};

// The test certificates, made once per process.
struct TestPki {
  static const TestPki& Get();
  std::string ca_file;           // the test CA
  std::string server_cert, server_key;          // 127.0.0.1 and localhost, by the test CA
  std::string wrong_host_cert, wrong_host_key;  // wrong.invalid only, by the test CA
  std::string other_cert, other_key;            // 127.0.0.1 and localhost, by another CA
  std::string expired_cert, expired_key;        // 127.0.0.1 and localhost, by the test CA, expired
  std::string self_signed_cert, self_signed_key;  // 127.0.0.1 and localhost, signed by itself
};

// Sets (or, with a null Value, removes) an environment variable while it lives and
// restores the previous state afterwards.
class ScopedEnv {
 public:
  ScopedEnv(const std::string& Name, const char* Value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  bool had_ = false;
  std::string old_;
};

// Trusts the test CA (in addition to nothing else) while it lives: sets SSL_CERT_FILE.
class ScopedTrust : public ScopedEnv {
 public:
  ScopedTrust() : ScopedTrust(TestPki::Get().ca_file) {}
  explicit ScopedTrust(const std::string& caFile) : ScopedEnv("SSL_CERT_FILE", caFile.c_str()) {}
};

// Removes the proxy variables of the environment while it lives, so that clients which
// follow them talk straight to the loopback peers.
class NoProxyEnvironment {
 public:
  NoProxyEnvironment();

 private:
  std::vector<std::unique_ptr<ScopedEnv>> vars_;
};

class LoopbackNginx {
 public:
  enum class Cert { Good, WrongHost, OtherCa };
  struct Options {
    std::string tls_protocols = "TLSv1.2 TLSv1.3";
  };
  struct Access {
    long connection = 0;           // nginx's connection serial number
    long connection_requests = 0;  // the request's number on that connection
    std::string request;           // "GET /a.bin HTTP/1.1"
    int status = 0;
    int64_t bytes = 0;             // body bytes sent
    std::string accept, accept_encoding, accept_language, user_agent, connection_header, host;
  };

  // Serves Docroot over HTTP, and over HTTPS on one port per certificate. Below /gzip/
  // the same files are served gzip-coded to clients that accept it.
  explicit LoopbackNginx(std::string Docroot) : LoopbackNginx(std::move(Docroot), Options{}) {}
  LoopbackNginx(std::string Docroot, Options Opts);
  ~LoopbackNginx();
  LoopbackNginx(const LoopbackNginx&) = delete;
  LoopbackNginx& operator=(const LoopbackNginx&) = delete;

  std::string HttpUrl(const std::string& path) const;
  std::string HttpsUrl(const std::string& path, Cert cert = Cert::Good) const;
  int HttpPort() const { return ports_[0]; }
  // The requests served so far, in order; waits for at least MinCount entries (nginx
  // logs a request once it is finished).
  std::vector<Access> AccessLog(size_t MinCount = 0) const;

 private:
  TempFolder dir_;
  std::string docroot_;
  int ports_[4] = {0, 0, 0, 0};  // http, https good, https wrong host, https other CA
  std::unique_ptr<ChildProcess> process_;
};

// tinyproxy on 127.0.0.1; with a user name it requires Basic proxy authentication.
class LoopbackProxy {
 public:
  LoopbackProxy() : LoopbackProxy("", "") {}
  LoopbackProxy(const std::string& User, const std::string& Password);
  ~LoopbackProxy();
  LoopbackProxy(const LoopbackProxy&) = delete;
  LoopbackProxy& operator=(const LoopbackProxy&) = delete;
  std::string Host() const { return "127.0.0.1"; }
  int Port() const { return port_; }
  // The proxy's log so far.
  std::string Log() const;

 private:
  TempFolder dir_;
  int port_ = 0;
  std::unique_ptr<ChildProcess> process_;
};

// squid on 127.0.0.1 that requires proxy authentication (Basic and NTLM offered, both
// accepting any credentials through the fake helpers) and caches nothing.
class LoopbackSquid {
 public:
  LoopbackSquid();
  ~LoopbackSquid();
  LoopbackSquid(const LoopbackSquid&) = delete;
  LoopbackSquid& operator=(const LoopbackSquid&) = delete;
  std::string Host() const { return "127.0.0.1"; }
  int Port() const { return port_; }
  // The access log so far: one line per request, with the user name squid accepted.
  std::string AccessLog() const;

 private:
  TempFolder dir_;
  int port_ = 0;
  std::unique_ptr<ChildProcess> process_;
};

// tests/support/odd_server.py; see there for its paths.
class OddServer {
 public:
  OddServer();
  ~OddServer();
  OddServer(const OddServer&) = delete;
  OddServer& operator=(const OddServer&) = delete;
  int Port() const { return port_; }
  std::string Url(const std::string& path) const;
  // The first Size bytes of the pattern its bodies are made of.
  static std::string Body(size_t Size);

 private:
  int port_ = 0;
  std::unique_ptr<ChildProcess> process_;
};

// tests/support/update_server.py: serves Docroot over HTTP/1.1, records every request
// and misbehaves for the paths named in its faults (see there). With a certificate and
// its key it serves the same over HTTPS too.
class UpdateServer {
 public:
  explicit UpdateServer(std::string Docroot, const std::string& CertFile = "", const std::string& KeyFile = "");
  ~UpdateServer();
  UpdateServer(const UpdateServer&) = delete;
  UpdateServer& operator=(const UpdateServer&) = delete;
  int Port() const { return port_; }
  std::string Url(const std::string& path) const;
  std::string HttpsUrl(const std::string& path) const;
  // Replaces the faults: lines of "PATH KIND [ARG]"; empty for none.
  void SetFaults(const std::string& Lines);
  // The requests so far, "GET /a%20b.xml", in order.
  std::vector<std::string> Requests() const;
  void ClearRequests();

 private:
  TempFolder state_;
  int port_ = 0;
  int https_port_ = 0;
  std::unique_ptr<ChildProcess> process_;
};

}  // namespace vxtest
