// The Winsock-style layer: select messages in Winsock's order and re-enabling rules,
// virtual handles, error numbers and the asynchronous name look-up.
#include "platform/net/winsock.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <cstring>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/win/messages.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/MessagePump.h"

namespace ws = winsock;
using namespace winsock::constants;

namespace {

constexpr UINT kSelectMsg = WM_USER + 1;
constexpr UINT kLookupMsg = WM_USER + 2;

struct Note {
  UINT msg;
  WPARAM handle;
  WORD event;
  WORD error;
  bool operator==(const Note&) const = default;
};

// A hidden window that records what it receives.
class Recorder {
 public:
  Recorder() {
    hwnd = AllocateHWnd(TWndMethod::FromFunction([this](TMessage& m) {
      notes.push_back({m.Msg, m.WParam, LOWORD(uintptr_t(m.LParam)), HIWORD(uintptr_t(m.LParam))});
    }));
  }
  ~Recorder() { DeallocateHWnd(hwnd); }
  std::vector<WORD> Events(SOCKET s) const {
    std::vector<WORD> out;
    for (const auto& n : notes)
      if (n.msg == kSelectMsg && n.handle == s) out.push_back(n.event);
    return out;
  }
  int Count(SOCKET s, WORD event) const {
    int c = 0;
    for (const auto& n : notes) c += n.msg == kSelectMsg && n.handle == s && n.event == event;
    return c;
  }
  WORD ErrorOf(SOCKET s, WORD event) const {
    for (const auto& n : notes)
      if (n.msg == kSelectMsg && n.handle == s && n.event == event) return n.error;
    return 0xFFFF;
  }
  HWND hwnd;
  std::vector<Note> notes;
};

class WinsockTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(ws::WSAStartup(0x0101, &data), 0); }
  void TearDown() override {
    ws::WSACleanup();
    EXPECT_EQ(ws::OpenSocketCount(), 0);
  }
  // A registered socket that starts connecting to 127.0.0.1:port.
  SOCKET StartConnect(Recorder& r, int port, long mask = FD_READ | FD_WRITE | FD_CONNECT | FD_CLOSE) {
    const SOCKET s = ws::socket(AF_INET, SOCK_STREAM, 0);
    EXPECT_NE(s, INVALID_SOCKET);
    EXPECT_EQ(ws::WSAAsyncSelect(s, r.hwnd, kSelectMsg, mask), 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(uint16_t(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(ws::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a), SOCKET_ERROR);
    EXPECT_EQ(ws::WSAGetLastError(), WSAEWOULDBLOCK);
    return s;
  }
  ws::WSADATA data;
};

// A server whose connection waits for the test to say what to do next.
struct Steps {
  std::mutex m;
  std::condition_variable cv;
  int step = 0;
  void Go(int s) {
    std::lock_guard g(m);
    step = s;
    cv.notify_all();
  }
  void WaitFor(int s) {
    std::unique_lock g(m);
    cv.wait_for(g, std::chrono::milliseconds(vxtest::kPatienceMs), [&] { return step >= s; });
  }
};

TEST_F(WinsockTest, ConnectThenWriteThenOneReadAtATime) {
  Steps steps;
  LoopbackServer server([&](int fd) {
    steps.WaitFor(1);
    SendAll(fd, "hello world");
    steps.WaitFor(2);
  });
  Recorder r;
  const SOCKET s = StartConnect(r, server.Port());
  ASSERT_TRUE(PumpUntil([&] { return r.Events(s).size() >= 2; }));
  PumpFor(50);
  EXPECT_EQ(r.Events(s), (std::vector<WORD>{FD_CONNECT, FD_WRITE}));
  EXPECT_EQ(r.ErrorOf(s, FD_CONNECT), 0);

  steps.Go(1);
  ASSERT_TRUE(PumpUntil([&] { return r.Count(s, FD_READ) == 1; }));
  PumpFor(100);
  EXPECT_EQ(r.Count(s, FD_READ), 1) << "an unanswered FD_READ is not repeated";

  char buf[5];
  ASSERT_EQ(ws::recv(s, buf, 5, 0), 5);
  ASSERT_TRUE(PumpUntil([&] { return r.Count(s, FD_READ) == 2; })) << "data remains: FD_READ again";
  char rest[64];
  ASSERT_EQ(ws::recv(s, rest, sizeof rest, 0), 6);
  EXPECT_EQ(std::string(buf, 5) + std::string(rest, 6), "hello world");
  PumpFor(100);
  EXPECT_EQ(r.Count(s, FD_READ), 2);
  // A would-block receive also re-enables, without a message while nothing is there.
  EXPECT_EQ(ws::recv(s, rest, sizeof rest, 0), SOCKET_ERROR);
  EXPECT_EQ(ws::WSAGetLastError(), WSAEWOULDBLOCK);
  PumpFor(50);
  EXPECT_EQ(r.Count(s, FD_READ), 2);
  EXPECT_EQ(r.Count(s, FD_WRITE), 1) << "FD_WRITE only after connect while sends succeed";
  steps.Go(2);
  ws::closesocket(s);
}

TEST_F(WinsockTest, CloseWithUnreadDataReportsReadThenCloseOnce) {
  LoopbackServer server([&](int fd) { SendAll(fd, std::string(3000, 'x')); });
  Recorder r;
  const SOCKET s = StartConnect(r, server.Port());
  ASSERT_TRUE(PumpUntil([&] { return r.Count(s, FD_CLOSE) == 1; }));
  PumpFor(100);
  const auto events = r.Events(s);
  ASSERT_GE(events.size(), 4u);
  EXPECT_EQ(events, (std::vector<WORD>{FD_CONNECT, FD_WRITE, FD_READ, FD_CLOSE}));
  EXPECT_EQ(r.ErrorOf(s, FD_CLOSE), 0);
  // The data is all still there after the close was reported, and no FD_READ follows.
  std::string got;
  char buf[512];
  int n;
  while ((n = ws::recv(s, buf, sizeof buf, 0)) > 0) got.append(buf, size_t(n));
  EXPECT_EQ(got, std::string(3000, 'x'));
  EXPECT_EQ(n, 0);
  PumpFor(100);
  EXPECT_EQ(r.Count(s, FD_READ), 1);
  EXPECT_EQ(r.Count(s, FD_CLOSE), 1);
  ws::closesocket(s);
}

TEST_F(WinsockTest, ResetPeerGivesCloseWithConnectionReset) {
  Steps steps;
  LoopbackServer server([&](int fd) {
    steps.WaitFor(1);
    CloseWithReset(fd);
  });
  Recorder r;
  const SOCKET s = StartConnect(r, server.Port());
  ASSERT_TRUE(PumpUntil([&] { return r.Count(s, FD_WRITE) == 1; }));
  steps.Go(1);
  ASSERT_TRUE(PumpUntil([&] { return r.Count(s, FD_CLOSE) == 1; }));
  EXPECT_EQ(r.ErrorOf(s, FD_CLOSE), WSAECONNRESET);
  // Writing to the reset connection fails with a Winsock error instead of a signal.
  int sent = 0;
  for (int i = 0; i < 5 && sent >= 0; ++i) sent = ws::send(s, "x", 1, 0);
  EXPECT_EQ(sent, SOCKET_ERROR);
  EXPECT_TRUE(ws::WSAGetLastError() == WSAECONNRESET || ws::WSAGetLastError() == WSAESHUTDOWN)
      << ws::WSAGetLastError();
  ws::closesocket(s);
}

TEST_F(WinsockTest, RefusedConnectIsReportedOnlyAsConnectEvent) {
  Recorder r;
  const SOCKET s = StartConnect(r, UnusedLoopbackPort());
  ASSERT_TRUE(PumpUntil([&] { return r.Count(s, FD_CONNECT) == 1; }));
  PumpFor(150);
  EXPECT_EQ(r.Events(s), (std::vector<WORD>{FD_CONNECT}));
  EXPECT_EQ(r.ErrorOf(s, FD_CONNECT), WSAECONNREFUSED);
  ws::closesocket(s);
}

// In a network namespace of its own, which has no route at all, a connect fails at once
// as "network unreachable"; the layer still reports it as a connect event.
TEST_F(WinsockTest, UnreachableConnectInsideAnEmptyNetworkNamespace) {
  int pipeFds[2];
  ASSERT_EQ(pipe(pipeFds), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    close(pipeFds[0]);
    int result[3] = {-1, -1, -1};
    // A fresh thread gets message queue and reactor of its own, not copies of the parent's.
    std::thread([&] {
      if (unshare(CLONE_NEWNET) != 0) return;
      Recorder r;
      const SOCKET s = ws::socket(AF_INET, SOCK_STREAM, 0);
      ws::WSAAsyncSelect(s, r.hwnd, kSelectMsg, FD_READ | FD_WRITE | FD_CONNECT | FD_CLOSE);
      sockaddr_in a{};
      a.sin_family = AF_INET;
      a.sin_port = htons(80);
      inet_pton(AF_INET, "192.0.2.1", &a.sin_addr);  // documentation range, never routed
      result[0] = ws::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == SOCKET_ERROR ? ws::WSAGetLastError() : 0;
      PumpUntil([&] { return r.Count(s, FD_CONNECT) == 1; });
      PumpFor(50);
      result[1] = r.ErrorOf(s, FD_CONNECT);
      result[2] = int(r.Events(s).size());
      ws::closesocket(s);
    }).join();
    (void)!write(pipeFds[1], result, sizeof result);
    _exit(0);
  }
  close(pipeFds[1]);
  int result[3] = {};
  ASSERT_EQ(read(pipeFds[0], result, sizeof result), ssize_t(sizeof result));
  close(pipeFds[0]);
  int status;
  waitpid(child, &status, 0);
  ASSERT_NE(result[0], -1) << "cannot make a network namespace here";
  EXPECT_EQ(result[0], WSAEWOULDBLOCK);
  EXPECT_EQ(result[1], WSAENETUNREACH);
  EXPECT_EQ(result[2], 1) << "nothing but the connect event";
}

TEST_F(WinsockTest, WriteEventOnlyAfterAWouldBlockSend) {
  Steps steps;
  std::atomic<size_t> drained{0};
  LoopbackServer server([&](int fd) {
    steps.WaitFor(1);
    drained = RecvUntilClosed(fd, 10000).size();
  });
  Recorder r;
  const SOCKET s = StartConnect(r, server.Port());
  ASSERT_TRUE(PumpUntil([&] { return r.Count(s, FD_WRITE) == 1; }));
  const std::string chunk(65536, 'w');
  size_t total = 0;
  for (;;) {
    const int n = ws::send(s, chunk.data(), int(chunk.size()), 0);
    if (n == SOCKET_ERROR) break;
    total += size_t(n);
    ASSERT_LT(total, size_t(512) << 20);
  }
  EXPECT_EQ(ws::WSAGetLastError(), WSAEWOULDBLOCK);
  PumpFor(100);
  EXPECT_EQ(r.Count(s, FD_WRITE), 1) << "still full: no write event";
  steps.Go(1);
  ASSERT_TRUE(PumpUntil([&] { return r.Count(s, FD_WRITE) == 2; }, 10000));
  PumpFor(100);
  EXPECT_EQ(r.Count(s, FD_WRITE), 2) << "one write event per would-block";
  ws::shutdown(s, 1);
  ASSERT_TRUE(PumpUntil([&] { return r.Count(s, FD_CLOSE) == 1; }, 10000));
  EXPECT_EQ(drained.load(), total);
  ws::closesocket(s);
}

TEST_F(WinsockTest, RegisteringAgainReportsWhatAlreadyHolds) {
  LoopbackServer server([&](int fd) {
    SendAll(fd, "pending");
    RecvUntilClosed(fd);
  });
  Recorder r;
  const SOCKET s = StartConnect(r, server.Port());
  ASSERT_TRUE(PumpUntil([&] { return r.Count(s, FD_READ) == 1; }));
  // Paused: no registration, nothing is reported.
  ASSERT_EQ(ws::WSAAsyncSelect(s, r.hwnd, 0, 0), 0);
  char one;
  ASSERT_EQ(ws::recv(s, &one, 1, 0), 1);
  PumpFor(100);
  EXPECT_EQ(r.Count(s, FD_READ), 1);
  // Resumed: the data still waiting and the free send space are reported again.
  ASSERT_EQ(ws::WSAAsyncSelect(s, r.hwnd, kSelectMsg, FD_READ | FD_WRITE | FD_CLOSE), 0);
  ASSERT_TRUE(PumpUntil([&] { return r.Count(s, FD_READ) == 2 && r.Count(s, FD_WRITE) == 2; }));
  ws::closesocket(s);
}

TEST_F(WinsockTest, AcceptEventOncePerWaitingConnection) {
  Recorder r;
  const SOCKET l = ws::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(ws::bind(l, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  int len = sizeof a;
  ASSERT_EQ(ws::getsockname(l, reinterpret_cast<sockaddr*>(&a), &len), 0);
  ASSERT_EQ(ws::listen(l, 5), 0);
  ASSERT_EQ(ws::WSAAsyncSelect(l, r.hwnd, kSelectMsg, FD_ACCEPT), 0);
  const SOCKET c1 = StartConnect(r, ntohs(a.sin_port), 0);
  const SOCKET c2 = StartConnect(r, ntohs(a.sin_port), 0);
  ASSERT_TRUE(PumpUntil([&] { return r.Count(l, FD_ACCEPT) == 1; }));
  PumpFor(100);
  EXPECT_EQ(r.Count(l, FD_ACCEPT), 1);
  const SOCKET a1 = ws::accept(l, nullptr, nullptr);
  ASSERT_NE(a1, INVALID_SOCKET);
  ASSERT_TRUE(PumpUntil([&] { return r.Count(l, FD_ACCEPT) == 2; })) << "the second one is waiting";
  const SOCKET a2 = ws::accept(l, nullptr, nullptr);
  ASSERT_NE(a2, INVALID_SOCKET);
  PumpFor(100);
  EXPECT_EQ(r.Count(l, FD_ACCEPT), 2);
  for (SOCKET s : {a1, a2, c1, c2, l}) ws::closesocket(s);
}

TEST_F(WinsockTest, HandlesAreNeverReusedSoStaleEventsMissNewSockets) {
  LoopbackServer server([&](int fd) { SendAll(fd, "bye"); });
  Recorder r;
  const SOCKET old = StartConnect(r, server.Port());
  // Let the close be queued for the old socket, then close it before looking.
  ASSERT_TRUE(PumpUntil([&] { return r.Count(old, FD_CLOSE) == 1; }));
  ws::closesocket(old);
  std::vector<SOCKET> seen{old};
  for (int i = 0; i < 20; ++i) {
    const SOCKET s = ws::socket(AF_INET, SOCK_STREAM, 0);
    for (SOCKET o : seen) ASSERT_NE(s, o);
    seen.push_back(s);
    ws::closesocket(s);
  }
  EXPECT_EQ(ws::send(old, "x", 1, 0), SOCKET_ERROR);
  EXPECT_EQ(ws::WSAGetLastError(), WSAENOTSOCK);
  EXPECT_EQ(ws::closesocket(old), SOCKET_ERROR);
  EXPECT_EQ(ws::WSAGetLastError(), WSAENOTSOCK);
}

TEST_F(WinsockTest, StartupIsRequiredAndErrorsMapFromTheSystem) {
  ws::WSACleanup();
  EXPECT_EQ(ws::socket(AF_INET, SOCK_STREAM, 0), INVALID_SOCKET);
  EXPECT_EQ(ws::WSAGetLastError(), WSANOTINITIALISED);
  EXPECT_EQ(ws::WSACleanup(), SOCKET_ERROR);
  ASSERT_EQ(ws::WSAStartup(0x0101, &data), 0);
  EXPECT_EQ(ws::WSAStartup(0x0000, &data), WSAVERNOTSUPPORTED);

  EXPECT_EQ(ws::WSAErrorFromErrno(ECONNREFUSED), WSAECONNREFUSED);
  EXPECT_EQ(ws::WSAErrorFromErrno(EAGAIN), WSAEWOULDBLOCK);
  EXPECT_EQ(ws::WSAErrorFromErrno(EINPROGRESS), WSAEWOULDBLOCK);
  EXPECT_EQ(ws::WSAErrorFromErrno(EPIPE), WSAESHUTDOWN);
  EXPECT_EQ(ws::WSAErrorFromErrno(ENETUNREACH), WSAENETUNREACH);
  EXPECT_EQ(ws::WSAErrorFromErrno(EHOSTUNREACH), WSAEHOSTUNREACH);
  EXPECT_EQ(ws::WSAErrorFromErrno(ETIMEDOUT), WSAETIMEDOUT);

  // A blocking socket without registration reports a refusal directly.
  const SOCKET s = ws::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(uint16_t(UnusedLoopbackPort()));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  EXPECT_EQ(ws::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a), SOCKET_ERROR);
  EXPECT_EQ(ws::WSAGetLastError(), WSAECONNREFUSED);
  ws::closesocket(s);
}

TEST_F(WinsockTest, BlockingLookupsUseTheHook) {
  LocalOnlyResolver resolver;
  hostent* h = ws::gethostbyname("localhost");
  ASSERT_NE(h, nullptr);
  in_addr a;
  std::memcpy(&a, h->h_addr_list[0], 4);
  EXPECT_EQ(std::string(inet_ntoa(a)), "127.0.0.1");
  EXPECT_EQ(h->h_addr_list[1], nullptr);
  EXPECT_EQ(ws::gethostbyname("no.such.host.invalid"), nullptr);
  EXPECT_EQ(ws::WSAGetLastError(), WSAHOST_NOT_FOUND);
  const in_addr_t loop = htonl(INADDR_LOOPBACK);
  h = ws::gethostbyaddr(reinterpret_cast<const char*>(&loop), 4, AF_INET);
  ASSERT_NE(h, nullptr);
  EXPECT_STREQ(h->h_name, "localhost");
  EXPECT_STREQ(h->h_aliases[0], "loopback");
  EXPECT_EQ(ws::inet_addr("10.1.2.3"), inet_addr("10.1.2.3"));
  EXPECT_EQ(ws::inet_addr("1.2.3.999"), 0xFFFFFFFFul);
  ASSERT_NE(ws::getservbyname("http", "tcp"), nullptr);
  EXPECT_EQ(ntohs(uint16_t(ws::getservbyname("http", "tcp")->s_port)), 80);
  ASSERT_NE(ws::getprotobyname("udp"), nullptr);
  EXPECT_EQ(ws::getprotobyname("udp")->p_proto, IPPROTO_UDP);
}

TEST_F(WinsockTest, AsyncLookupPostsItsResultAndCancelLeavesTheBufferAlone) {
  TableResolver resolver({{"some.host", {"127.0.0.7", "127.0.0.8"}}, {"slow", {"127.0.0.9"}}});
  Recorder r;
  std::vector<char> buf(MAXGETHOSTSTRUCT, '\x5A');

  HANDLE h = ws::WSAAsyncGetHostByName(r.hwnd, kLookupMsg, "some.host", buf.data(), int(buf.size()));
  ASSERT_NE(h, nullptr);
  ASSERT_TRUE(PumpUntil([&] { return !r.notes.empty(); }));
  EXPECT_EQ(r.notes[0].msg, kLookupMsg);
  EXPECT_EQ(r.notes[0].handle, WPARAM(h));
  EXPECT_EQ(r.notes[0].error, 0);
  auto* he = reinterpret_cast<hostent*>(buf.data());
  EXPECT_STREQ(he->h_name, "some.host");
  ASSERT_NE(he->h_addr_list[1], nullptr);
  in_addr a;
  std::memcpy(&a, he->h_addr_list[1], 4);
  EXPECT_EQ(std::string(inet_ntoa(a)), "127.0.0.8");

  r.notes.clear();
  HANDLE miss = ws::WSAAsyncGetHostByName(r.hwnd, kLookupMsg, "missing", buf.data(), int(buf.size()));
  ASSERT_TRUE(PumpUntil([&] { return !r.notes.empty(); }));
  EXPECT_EQ(r.notes[0].handle, WPARAM(miss));
  EXPECT_EQ(r.notes[0].error, WSAHOST_NOT_FOUND);
  EXPECT_NE(miss, h);

  r.notes.clear();
  std::vector<char> cancelled(MAXGETHOSTSTRUCT, '\x5A');
  HANDLE slow = ws::WSAAsyncGetHostByName(r.hwnd, kLookupMsg, "slow", cancelled.data(), int(cancelled.size()));
  ASSERT_NE(slow, nullptr);
  EXPECT_EQ(ws::WSACancelAsyncRequest(slow), 0);
  resolver.Release();
  PumpFor(200);
  EXPECT_TRUE(r.notes.empty());
  EXPECT_EQ(std::string(cancelled.begin(), cancelled.end()), std::string(MAXGETHOSTSTRUCT, '\x5A'));
  EXPECT_EQ(ws::WSACancelAsyncRequest(reinterpret_cast<HANDLE>(uintptr_t(1) << 40)), SOCKET_ERROR);

  // A buffer too small for the entry.
  r.notes.clear();
  char tiny[8];
  ws::WSAAsyncGetHostByName(r.hwnd, kLookupMsg, "some.host", tiny, sizeof tiny);
  ASSERT_TRUE(PumpUntil([&] { return !r.notes.empty(); }));
  EXPECT_EQ(r.notes[0].error, WSAENOBUFS);
}

}  // namespace
