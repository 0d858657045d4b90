#include "tests/support/loopback.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace vxtest {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

[[noreturn]] void Fail(const std::string& what) { throw std::runtime_error(what); }

std::string SupportDir() { return VX_SOURCE_DIR "/tests/support"; }

std::string Python() { return fs::exists("/usr/bin/python3") ? "/usr/bin/python3" : "python3"; }

// Starts a program: its output goes to stdoutFd when that is set, else to OutputFile
// when that is named, else where ours goes.
pid_t SpawnChild(const std::vector<std::string>& argv, int stdoutFd, const std::string& OutputFile) {
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  if (stdoutFd >= 0) {
    posix_spawn_file_actions_adddup2(&fa, stdoutFd, 1);
    posix_spawn_file_actions_addclose(&fa, stdoutFd);
  } else if (!OutputFile.empty()) {
    posix_spawn_file_actions_addopen(&fa, 1, OutputFile.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_adddup2(&fa, 1, 2);
  }
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = -1;
  const int rc = posix_spawnp(&pid, args[0], &fa, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&fa);
  if (rc != 0) Fail("cannot start " + argv[0] + ": " + std::strerror(rc));
  return pid;
}

}  // namespace

// ---------------------------------------------------------------------------

void Run(const std::vector<std::string>& argv, const std::string& OutputFile) {
  const pid_t pid = SpawnChild(argv, -1, OutputFile);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
    Fail(argv[0] + " failed; see " + OutputFile + ":\n" + ReadFileBytes(OutputFile));
}

std::string WriteRandomFile(const std::string& Path, size_t Size, uint64_t Seed) {
  std::string data = RandomBytes(Size, Seed);
  WriteFileBytes(Path, data);
  return data;
}

void WriteSparseFile(const std::string& Path, int64_t Size, const std::string& Tail) {
  const int fd = open(Path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  const auto n = static_cast<ssize_t>(Tail.size());
  const bool ok = fd >= 0 && ftruncate(fd, Size) == 0 &&
                  pwrite(fd, Tail.data(), Tail.size(), Size - n) == n;
  if (fd >= 0) close(fd);
  if (!ok) Fail("cannot write " + Path);
}

int FreePort() {
  const int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (s < 0) Fail("socket failed");
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  if (bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
      getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
    close(s);
    Fail("cannot find a free port");
  }
  close(s);
  return ntohs(a.sin_port);
}

bool WaitForPort(int port, int timeoutMs) {
  const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
  do {
    const int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<uint16_t>(port));
    const bool ok = connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    close(s);
    if (ok) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  } while (Clock::now() < end);
  return false;
}

namespace {

// The inode of the socket listening on 127.0.0.1:port, from /proc/net/tcp; 0 when none.
unsigned long ListeningInode(int port) {
  char local[32];
  std::snprintf(local, sizeof local, "0100007F:%04X", port);
  std::ifstream table("/proc/net/tcp");
  std::string line;
  std::getline(table, line);  // the heading
  while (std::getline(table, line)) {
    std::istringstream in(line);
    std::string slot, addr, remote, state, queues, timer, retransmits, uid, timeout;
    unsigned long inode = 0;
    in >> slot >> addr >> remote >> state >> queues >> timer >> retransmits >> uid >> timeout >> inode;
    if (addr == local && state == "0A") return inode;
  }
  return 0;
}

// True when one of the process's descriptors is that socket, or when its descriptors
// cannot be read (a server that changed its user) and nothing tells otherwise.
bool OwnsSocket(pid_t Pid, unsigned long Inode) {
  const std::string target = "socket:[" + std::to_string(Inode) + "]";
  std::error_code ec;
  fs::directory_iterator fds("/proc/" + std::to_string(Pid) + "/fd", ec);
  if (ec) return true;
  for (const auto& fd : fds) {
    std::error_code linkError;
    if (fs::read_symlink(fd.path(), linkError).string() == target) return true;
  }
  return false;
}

}  // namespace

bool WaitForOwnPort(ChildProcess& Child, int port, int timeoutMs) {
  bool listens = false;
  WaitUntil(
      [&] {
        if (!Child.Running()) return true;
        const unsigned long inode = ListeningInode(port);
        listens = inode && OwnsSocket(Child.Pid(), inode);
        return listens;
      },
      timeoutMs);
  return listens;
}

// ---------------------------------------------------------------------------

ChildProcess::ChildProcess(const std::vector<std::string>& argv, bool CaptureStdout, const std::string& OutputFile) {
  int fds[2] = {-1, -1};
  if (CaptureStdout && pipe2(fds, O_CLOEXEC) != 0) Fail("pipe failed");
  try {
    pid_ = SpawnChild(argv, CaptureStdout ? fds[1] : -1, OutputFile);
  } catch (...) {
    if (CaptureStdout) {
      close(fds[0]);
      close(fds[1]);
    }
    throw;
  }
  if (CaptureStdout) {
    close(fds[1]);
    out_fd_ = fds[0];
  }
}

ChildProcess::~ChildProcess() { Stop(); }

bool ChildProcess::Running() {
  if (pid_ <= 0) return false;
  int status = 0;
  if (waitpid(pid_, &status, WNOHANG) == pid_) {
    pid_ = -1;
    return false;
  }
  return true;
}

std::string ChildProcess::ReadLine(int timeoutMs) {
  const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
  while (out_fd_ >= 0) {
    const size_t nl = pending_.find('\n');
    if (nl != std::string::npos) {
      std::string line = pending_.substr(0, nl);
      pending_.erase(0, nl + 1);
      return line;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
    if (left.count() <= 0) break;
    pollfd p{out_fd_, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
    char buf[4096];
    const ssize_t n = read(out_fd_, buf, sizeof buf);
    if (n <= 0) break;
    pending_.append(buf, static_cast<size_t>(n));
  }
  return {};
}

void ChildProcess::Stop() {
  if (out_fd_ >= 0) close(out_fd_);
  out_fd_ = -1;
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  int status = 0;
  const auto end = Clock::now() + std::chrono::seconds(5);
  while (waitpid(pid_, &status, WNOHANG) == 0) {
    if (Clock::now() > end) {
      kill(pid_, SIGKILL);
      waitpid(pid_, &status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  pid_ = -1;
}

// ---------------------------------------------------------------------------

const TestPki& TestPki::Get() {
  static TempFolder dir;
  static const TestPki pki = [] {
    const std::string d = dir.Path() + "/";
    const std::string cnf = d + "openssl.cnf";
    WriteFileBytes(cnf,
              "[req]\ndistinguished_name = dn\nprompt = no\n[dn]\nCN = unused\n"
              "[ca]\nbasicConstraints = critical, CA:TRUE\n"
              "keyUsage = critical, keyCertSign, cRLSign\nsubjectKeyIdentifier = hash\n"
              "[good]\nbasicConstraints = CA:FALSE\nkeyUsage = critical, digitalSignature\n"
              "extendedKeyUsage = serverAuth\nsubjectAltName = IP:127.0.0.1, DNS:localhost\n"
              "[wrong]\nbasicConstraints = CA:FALSE\nkeyUsage = critical, digitalSignature\n"
              "extendedKeyUsage = serverAuth\nsubjectAltName = DNS:wrong.invalid\n");
    const std::string out = d + "openssl.out";
    const std::vector<std::string> newKey = {"-newkey", "ec", "-pkeyopt",
                                             "ec_paramgen_curve:prime256v1", "-nodes"};
    auto selfSign = [&](const std::string& name, const std::string& cn, const std::string& ext) {
      std::vector<std::string> a = {"openssl", "req", "-x509", "-config", cnf, "-extensions", ext,
                                    "-days", "3650", "-subj", "/CN=" + cn, "-keyout",
                                    d + name + ".key", "-out", d + name + ".pem"};
      a.insert(a.end(), newKey.begin(), newKey.end());
      Run(a, out);
    };
    int serial = 1;
    // Valid for Days from now; -1 makes one that expired yesterday.
    auto issue = [&](const std::string& name, const std::string& ca, const std::string& ext,
                     const std::string& days = "3650") {
      std::vector<std::string> a = {"openssl", "req", "-new", "-config", cnf, "-subj",
                                    "/CN=" + name, "-keyout", d + name + ".key",
                                    "-out", d + name + ".csr"};
      a.insert(a.end(), newKey.begin(), newKey.end());
      Run(a, out);
      Run({"openssl", "x509", "-req", "-in", d + name + ".csr", "-CA", d + ca + ".pem", "-CAkey",
           d + ca + ".key", "-set_serial", std::to_string(serial++), "-days", days, "-extfile",
           cnf, "-extensions", ext, "-out", d + name + ".pem"},
          out);
    };
    selfSign("ca", "Loopback Test CA", "ca");
    selfSign("otherca", "Loopback Other CA", "ca");
    issue("server", "ca", "good");
    issue("wronghost", "ca", "wrong");
    issue("other", "otherca", "good");
    issue("expired", "ca", "good", "-1");
    selfSign("selfsigned", "localhost", "good");
    TestPki p;
    p.ca_file = d + "ca.pem";
    p.server_cert = d + "server.pem";
    p.server_key = d + "server.key";
    p.wrong_host_cert = d + "wronghost.pem";
    p.wrong_host_key = d + "wronghost.key";
    p.other_cert = d + "other.pem";
    p.other_key = d + "other.key";
    p.expired_cert = d + "expired.pem";
    p.expired_key = d + "expired.key";
    p.self_signed_cert = d + "selfsigned.pem";
    p.self_signed_key = d + "selfsigned.key";
    return p;
  }();
  return pki;
}

ScopedEnv::ScopedEnv(const std::string& Name, const char* Value) : name_(Name) {
  if (const char* v = std::getenv(Name.c_str())) {
    had_ = true;
    old_ = v;
  }
  if (Value)
    setenv(Name.c_str(), Value, 1);
  else
    unsetenv(Name.c_str());
}

ScopedEnv::~ScopedEnv() {
  if (had_)
    setenv(name_.c_str(), old_.c_str(), 1);
  else
    unsetenv(name_.c_str());
}

NoProxyEnvironment::NoProxyEnvironment() {
  for (const char* name : {"http_proxy", "https_proxy", "all_proxy", "no_proxy", "HTTP_PROXY",
                           "HTTPS_PROXY", "ALL_PROXY", "NO_PROXY"})
    vars_.push_back(std::make_unique<ScopedEnv>(name, nullptr));
}

// ---------------------------------------------------------------------------

LoopbackNginx::LoopbackNginx(std::string Docroot, Options Opts) : docroot_(std::move(Docroot)) {
  const TestPki& pki = TestPki::Get();
  const std::string d = dir_.Path();
  fs::create_directories(d + "/tmp");
  for (int attempt = 0; attempt < 5; ++attempt) {
    for (int& p : ports_) p = FreePort();
    std::ostringstream c;
    c << "daemon off;\nmaster_process off;\nworker_processes 1;\n"
      << "pid " << d << "/nginx.pid;\nerror_log " << d << "/error.log info;\n"
      << "events { worker_connections 512; }\n"
      << "http {\n  types { }\n  default_type application/octet-stream;\n"
      << "  log_format vx '$connection $connection_requests \"$request\" $status $body_bytes_sent "
         "\"$http_accept\" \"$http_accept_encoding\" \"$http_accept_language\" "
         "\"$http_user_agent\" \"$http_connection\" \"$http_host\"';\n"
      << "  access_log " << d << "/access.log vx;\n"
      << "  client_body_temp_path " << d << "/tmp;\n  proxy_temp_path " << d << "/tmp;\n"
      << "  fastcgi_temp_path " << d << "/tmp;\n  uwsgi_temp_path " << d << "/tmp;\n"
      << "  scgi_temp_path " << d << "/tmp;\n"
      << "  sendfile on;\n  tcp_nopush on;\n  keepalive_timeout 60s;\n"
      << "  keepalive_requests 100000;\n  ssl_protocols " << Opts.tls_protocols << ";\n";
    const std::string certs[3][2] = {{pki.server_cert, pki.server_key},
                                     {pki.wrong_host_cert, pki.wrong_host_key},
                                     {pki.other_cert, pki.other_key}};
    for (int i = 0; i < 4; ++i) {
      c << "  server {\n    listen 127.0.0.1:" << ports_[i] << (i ? " ssl" : "") << ";\n"
        << "    root " << docroot_ << ";\n";
      if (i)
        c << "    ssl_certificate " << certs[i - 1][0] << ";\n    ssl_certificate_key "
          << certs[i - 1][1] << ";\n";
      c << "    location /gzip/ { alias " << docroot_
        << "/; gzip on; gzip_types *; gzip_min_length 0; }\n  }\n";
    }
    c << "}\n";
    WriteFileBytes(d + "/nginx.conf", c.str());
    process_ = std::make_unique<ChildProcess>(std::vector<std::string>{
        "nginx", "-p", d, "-e", d + "/error.log", "-c", d + "/nginx.conf"});
    bool up = true;
    for (int p : ports_) up = up && WaitForOwnPort(*process_, p, kPatienceMs);
    if (up) return;
    process_.reset();
  }
  Fail("nginx did not start; see " + d + "/error.log:\n" + ReadFileBytes(d + "/error.log"));
}

LoopbackNginx::~LoopbackNginx() { process_.reset(); }

std::string LoopbackNginx::HttpUrl(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(ports_[0]) + path;
}

std::string LoopbackNginx::HttpsUrl(const std::string& path, Cert cert) const {
  return "https://127.0.0.1:" + std::to_string(ports_[1 + static_cast<int>(cert)]) + path;
}

namespace {

// Reads one "..."-quoted field of an access log line; "-" stands for a missing value.
std::string QuotedField(std::istream& in) {
  in >> std::ws;
  std::string v;
  if (in.get() != '"') return v;
  for (int ch; (ch = in.get()) != EOF && ch != '"';) v += static_cast<char>(ch);
  return v == "-" ? "" : v;
}

}  // namespace

std::vector<LoopbackNginx::Access> LoopbackNginx::AccessLog(size_t MinCount) const {
  const auto end = Clock::now() + std::chrono::milliseconds(kPatienceMs);
  for (;;) {
    std::vector<Access> entries;
    std::istringstream lines(ReadFileBytes(dir_.Path() + "/access.log"));
    for (std::string line; std::getline(lines, line);) {
      std::istringstream in(line);
      Access a;
      in >> a.connection >> a.connection_requests;
      a.request = QuotedField(in);
      in >> a.status >> a.bytes;
      a.accept = QuotedField(in);
      a.accept_encoding = QuotedField(in);
      a.accept_language = QuotedField(in);
      a.user_agent = QuotedField(in);
      a.connection_header = QuotedField(in);
      a.host = QuotedField(in);
      entries.push_back(std::move(a));
    }
    if (entries.size() >= MinCount || Clock::now() > end) return entries;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

// ---------------------------------------------------------------------------

LoopbackProxy::LoopbackProxy(const std::string& User, const std::string& Password) {
  const std::string d = dir_.Path();
  for (int attempt = 0; attempt < 5; ++attempt) {
    port_ = FreePort();
    std::ostringstream c;
    c << "Port " << port_ << "\nListen 127.0.0.1\nTimeout 30\nMaxClients 50\n"
      << "LogFile \"" << d << "/proxy.log\"\nLogLevel Info\nAllow 127.0.0.1\n"
      << "DisableViaHeader Yes\n";
    if (!User.empty()) c << "BasicAuth " << User << " " << Password << "\n";
    WriteFileBytes(d + "/proxy.conf", c.str());
    process_ = std::make_unique<ChildProcess>(
        std::vector<std::string>{"tinyproxy", "-d", "-c", d + "/proxy.conf"});
    if (WaitForOwnPort(*process_, port_, kPatienceMs)) return;
    process_.reset();
  }
  Fail("tinyproxy did not start:\n" + Log());
}

LoopbackProxy::~LoopbackProxy() { process_.reset(); }

std::string LoopbackProxy::Log() const { return ReadFileBytes(dir_.Path() + "/proxy.log"); }

// ---------------------------------------------------------------------------

LoopbackSquid::LoopbackSquid() {
  const std::string d = dir_.Path();
  // squid started by root drops to its own user, which must be able to write here.
  fs::permissions(d, fs::perms::all);
  for (int attempt = 0; attempt < 5; ++attempt) {
    port_ = FreePort();
    std::ostringstream c;
    c << "http_port 127.0.0.1:" << port_ << "\npid_filename " << d << "/squid.pid\ncache_log " << d
      << "/cache.log\naccess_log stdio:" << d << "/access.log\ncoredump_dir " << d
      << "\ndns_nameservers 127.0.0.1\ncache deny all\ncache_mem 8 MB\nnetdb_filename none\n"
      << "shutdown_lifetime 0 seconds\n"
      << "auth_param ntlm program /usr/lib/squid/ntlm_fake_auth\nauth_param ntlm children 2\n"
      << "auth_param basic program /usr/lib/squid/basic_fake_auth\nauth_param basic children 2\n"
      << "acl authed proxy_auth REQUIRED\nhttp_access allow authed\nhttp_access deny all\n";
    WriteFileBytes(d + "/squid.conf", c.str());
    process_ = std::make_unique<ChildProcess>(std::vector<std::string>{"squid", "-N", "-f", d + "/squid.conf"});
    if (WaitForOwnPort(*process_, port_, kPatienceMs)) return;
    process_.reset();
  }
  Fail("squid did not start:\n" + ReadFileBytes(d + "/cache.log"));
}

LoopbackSquid::~LoopbackSquid() { process_.reset(); }

std::string LoopbackSquid::AccessLog() const { return ReadFileBytes(dir_.Path() + "/access.log"); }

// ---------------------------------------------------------------------------

OddServer::OddServer() {
  process_ = std::make_unique<ChildProcess>(
      std::vector<std::string>{Python(), SupportDir() + "/odd_server.py"}, true);
  const std::string line = process_->ReadLine(kPatienceMs);
  port_ = std::atoi(line.c_str());
  if (port_ <= 0) Fail("odd_server.py did not start");
}

OddServer::~OddServer() { process_.reset(); }

std::string OddServer::Url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + path;
}

std::string OddServer::Body(size_t Size) {
  std::string block(65536, '\0');
  for (size_t i = 0; i < block.size(); ++i)
    block[i] = static_cast<char>(((i ^ (i >> 8)) * 31 + 7) & 0xFF);
  std::string out;
  out.reserve(Size + block.size());
  for (size_t k = 0; out.size() < Size; ++k) {
    const char x = static_cast<char>((k * 13) & 0xFF);
    for (char b : block) out += static_cast<char>(b ^ x);
  }
  out.resize(Size);
  return out;
}

UpdateServer::UpdateServer(std::string Docroot, const std::string& CertFile, const std::string& KeyFile) {
  std::vector<std::string> argv{Python(), SupportDir() + "/update_server.py", Docroot, state_.Path()};
  if (!CertFile.empty()) argv.insert(argv.end(), {CertFile, KeyFile});
  process_ = std::make_unique<ChildProcess>(argv, true);
  port_ = std::atoi(process_->ReadLine(kPatienceMs).c_str());
  if (!CertFile.empty()) https_port_ = std::atoi(process_->ReadLine(kPatienceMs).c_str());
  if (port_ <= 0 || (!CertFile.empty() && https_port_ <= 0)) Fail("update_server.py did not start");
}

UpdateServer::~UpdateServer() { process_.reset(); }

std::string UpdateServer::Url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + path;
}

std::string UpdateServer::HttpsUrl(const std::string& path) const {
  return "https://127.0.0.1:" + std::to_string(https_port_) + path;
}

void UpdateServer::SetFaults(const std::string& Lines) { WriteFileBytes(state_ / "faults", Lines); }

std::vector<std::string> UpdateServer::Requests() const {
  std::vector<std::string> out;
  std::istringstream in(ReadFileBytes(state_ / "requests"));
  for (std::string line; std::getline(in, line);)
    if (!line.empty()) out.push_back(line);
  return out;
}

void UpdateServer::ClearRequests() { fs::remove(state_ / "requests"); }

}  // namespace vxtest
