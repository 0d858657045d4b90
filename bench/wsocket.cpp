// The message-driven socket against plain blocking sockets on loopback: bulk receive
// throughput and request/answer round trips. Prints the times and their ratios.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "tests/support/LoopbackServer.h"
#include "tests/support/MessagePump.h"
#include "transport/WSocket.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr size_t kBulkBytes = size_t(512) << 20;
constexpr int kRoundTrips = 20000;

double Seconds(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

int ConnectPlain(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(uint16_t(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  const int on = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  return fd;
}

void BulkServer(int fd) {
  const std::string chunk(1 << 16, 'b');
  for (size_t sent = 0; sent < kBulkBytes; sent += chunk.size())
    if (!SendAll(fd, chunk)) return;
}

void EchoServer(int fd) {
  const int on = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  char c;
  while (::recv(fd, &c, 1, 0) == 1)
    if (::send(fd, &c, 1, MSG_NOSIGNAL) != 1) return;
}

double PlainBulk(int port) {
  const auto start = Clock::now();
  const int fd = ConnectPlain(port);
  std::string buf(1 << 16, '\0');
  size_t got = 0;
  ssize_t n;
  while ((n = ::recv(fd, buf.data(), buf.size(), 0)) > 0) got += size_t(n);
  ::close(fd);
  return got == kBulkBytes ? Seconds(start) : -1;
}

double SocketBulk(int port) {
  const auto start = Clock::now();
  TWSocket s(nullptr);
  std::string buf(1 << 16, '\0');
  size_t got = 0;
  bool closed = false;
  s.OnDataAvailable = TDataAvailable::FromFunction([&](TObject*, Word) {
    const Integer n = s.Receive(buf.data(), Integer(buf.size()));
    if (n > 0) got += size_t(n);
  });
  s.OnSessionClosed = TSessionClosed::FromFunction([&](TObject*, Word) { closed = true; });
  s.SetAddr("127.0.0.1");
  s.SetPort(std::to_string(port));
  s.Connect();
  PumpUntil([&] { return closed; }, 120000);
  return got == kBulkBytes ? Seconds(start) : -1;
}

double PlainPingPong(int port) {
  const int fd = ConnectPlain(port);
  const auto start = Clock::now();
  char c = 'p';
  for (int i = 0; i < kRoundTrips; ++i) {
    ::send(fd, &c, 1, 0);
    if (::recv(fd, &c, 1, 0) != 1) return -1;
  }
  const double t = Seconds(start);
  ::close(fd);
  return t;
}

double SocketPingPong(int port) {
  TWSocket s(nullptr);
  int answers = 0;
  Clock::time_point start;
  s.SetComponentOptions({wsoTcpNoDelay});
  s.OnSessionConnected = TSessionConnected::FromFunction([&](TObject*, Word) {
    start = Clock::now();
    s.SendStr("p");
  });
  s.OnDataAvailable = TDataAvailable::FromFunction([&](TObject*, Word) {
    char c;
    while (s.Receive(&c, 1) == 1)
      if (++answers < kRoundTrips) s.SendStr("p");
  });
  s.SetAddr("127.0.0.1");
  s.SetPort(std::to_string(port));
  s.Connect();
  PumpUntil([&] { return answers >= kRoundTrips; }, 120000);
  return answers >= kRoundTrips ? Seconds(start) : -1;
}

}  // namespace

int main() {
  LoopbackServer bulk(BulkServer);
  LoopbackServer echo(EchoServer);
  const double plainBulk = PlainBulk(bulk.Port());
  const double socketBulk = SocketBulk(bulk.Port());
  const double mib = double(kBulkBytes) / (1 << 20);
  std::printf("bulk receive %.0f MiB: blocking recv %.3f s (%.0f MiB/s), socket component %.3f s (%.0f MiB/s), "
              "ratio %.2f\n",
              mib, plainBulk, mib / plainBulk, socketBulk, mib / socketBulk, socketBulk / plainBulk);
  const double plainPing = PlainPingPong(echo.Port());
  const double socketPing = SocketPingPong(echo.Port());
  std::printf("%d one-byte round trips: blocking %.3f s (%.1f us each), socket component %.3f s (%.1f us each), "
              "ratio %.2f\n",
              kRoundTrips, plainPing, plainPing * 1e6 / kRoundTrips, socketPing, socketPing * 1e6 / kRoundTrips,
              socketPing / plainPing);
  return plainBulk < 0 || socketBulk < 0 || plainPing < 0 || socketPing < 0;
}
