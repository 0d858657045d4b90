// Line mode and the synchronous wait, against a loopback line server driven step by step.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <condition_variable>
#include <mutex>
#include <queue>
#include <vector>

#include "tests/support/LoopbackServer.h"
#include "tests/support/MessagePump.h"
#include "transport/WSocket.h"

namespace {

// A server connection that writes what the test hands it, one write at a time, and
// records what it receives.
struct LineServer {
  std::mutex m;
  std::condition_variable cv;
  std::queue<std::string> toSend;  // "" closes the connection
  std::string got;
  bool stop = false;
  LoopbackServer server{[this](int fd) {
    for (;;) {
      std::unique_lock g(m);
      cv.wait_for(g, std::chrono::milliseconds(20), [&] { return !toSend.empty(); });
      if (stop) return;
      if (toSend.empty()) {
        g.unlock();
        char buf[256];
        const ssize_t n = ::recv(fd, buf, sizeof buf, MSG_DONTWAIT);
        if (n == 0) return;  // the client closed
        if (n > 0) {
          std::lock_guard g2(m);
          got.append(buf, size_t(n));
        }
        continue;
      }
      const std::string next = toSend.front();
      toSend.pop();
      g.unlock();
      if (next.empty()) return;
      SendAll(fd, next);
      usleep(30000);  // separate reads on the other side
    }
  }};
  ~LineServer() {
    std::lock_guard g(m);
    stop = true;
  }
  void Write(std::string s) {
    std::lock_guard g(m);
    toSend.push(std::move(s));
    cv.notify_all();
  }
  std::string Got() {
    std::lock_guard g(m);
    return got;
  }
};

struct LineClient {
  std::vector<std::string> lines;
  std::vector<std::string> log;
  TWSocket sock{nullptr};
  explicit LineClient(int port) {
    sock.SetLineMode(true);
    sock.OnDataAvailable = TDataAvailable::FromFunction([this](TObject*, Word) {
      char buf[256];
      const Integer n = sock.Receive(buf, sizeof buf);
      if (n > 0) lines.emplace_back(buf, size_t(n));
    });
    sock.OnSessionClosed = TSessionClosed::FromFunction([this](TObject*, Word) { log.push_back("closed"); });
    sock.OnSessionConnected = TSessionConnected::FromFunction([this](TObject*, Word) { log.push_back("connected"); });
    sock.SetAddr("127.0.0.1");
    sock.SetPort(std::to_string(port));
    sock.Connect();
  }
};

TEST(LineMode, LinesAreOfferedOneAtATimeAcrossReads) {
  LineServer srv;
  LineClient c(srv.server.Port());
  ASSERT_TRUE(PumpUntil([&] { return !c.log.empty(); }));
  srv.Write("first\r\nsecond\r\n");  // two lines in one read
  srv.Write("split\r");             // the line end split over two reads
  srv.Write("\nthird\r\npart");
  srv.Write("ial\r\n");
  ASSERT_TRUE(PumpUntil([&] { return c.lines.size() == 5; }));
  EXPECT_EQ(c.lines, (std::vector<std::string>{"first\r\n", "second\r\n", "split\r\n", "third\r\n", "partial\r\n"}));
  // What is left without a line end when the peer closes is the last line.
  srv.Write("dangling");
  srv.Write("");
  ASSERT_TRUE(PumpUntil([&] { return !c.log.empty() && c.log.back() == "closed"; }));
  EXPECT_EQ(c.lines.back(), "dangling");
}

TEST(LineMode, OtherLineEndsAndSmallReadsOfALongLine) {
  LineServer srv;
  LineClient c(srv.server.Port());
  c.sock.SetLineEnd("|");
  std::string assembled;
  c.sock.OnDataAvailable = TDataAvailable::FromFunction([&](TObject*, Word) {
    char buf[3];  // a line read in pieces: each call gets the rest of the same line
    const Integer n = c.sock.Receive(buf, sizeof buf);
    if (n > 0) assembled.append(buf, size_t(n));
    if (!assembled.empty() && assembled.back() == '|') {
      c.lines.push_back(assembled);
      assembled.clear();
    }
  });
  ASSERT_TRUE(PumpUntil([&] { return !c.log.empty(); }));
  srv.Write("abcdefgh|ij|");
  ASSERT_TRUE(PumpUntil([&] { return c.lines.size() == 2; }));
  EXPECT_EQ(c.lines, (std::vector<std::string>{"abcdefgh|", "ij|"}));
  EXPECT_EQ(c.sock.SendLine("reply"), 6) << "the text and the line end that went out";
  ASSERT_TRUE(PumpUntil([&] { return srv.Got() == "reply|"; }));
  EXPECT_EQ(c.sock.SendLine(""), 0);
}

TEST(LineMode, LimitWithoutLineEnd) {
  LineServer srv;
  LineClient c(srv.server.Port());
  c.sock.SetLineLimit(10);
  std::vector<Integer> exceeded;
  bool keep = true;
  c.sock.OnLineLimitExceeded = TLineLimitEvent::FromFunction([&](TObject*, Integer n, bool& clear) {
    exceeded.push_back(n);
    clear = !keep;
  });
  ASSERT_TRUE(PumpUntil([&] { return !c.log.empty(); }));
  srv.Write("0123456789A");  // 11 bytes, no line end
  ASSERT_TRUE(PumpUntil([&] { return exceeded.size() == 1; }));
  EXPECT_EQ(exceeded[0], 11);
  EXPECT_EQ(c.sock.LineBufferCount(), 11) << "the handler kept the data";
  keep = false;
  srv.Write("BC");
  ASSERT_TRUE(PumpUntil([&] { return exceeded.size() == 2; }));
  EXPECT_EQ(exceeded[1], 13);
  EXPECT_EQ(c.sock.LineBufferCount(), 0) << "cleared";
  // Unless the handler keeps it, the data is dropped, so a peer that never ends a line
  // cannot make the buffer grow without bound.
  c.sock.OnLineLimitExceeded =
      TLineLimitEvent::FromFunction([&](TObject*, Integer n, bool&) { exceeded.push_back(n); });
  srv.Write(std::string(100, 'x'));
  ASSERT_TRUE(PumpUntil([&] { return exceeded.size() == 3; }));
  EXPECT_EQ(c.sock.LineBufferCount(), 0);
  srv.Write("ok\r\n");
  ASSERT_TRUE(PumpUntil([&] { return !c.lines.empty(); }));
  EXPECT_EQ(c.lines, std::vector<std::string>{"ok\r\n"});
}

TEST(LineMode, SwitchingOffInsideTheHandlerDeliversTheRestRaw) {
  LineServer srv;
  LineClient c(srv.server.Port());
  std::vector<std::string> raw;
  bool headerSeen = false;
  c.sock.OnDataAvailable = TDataAvailable::FromFunction([&](TObject*, Word) {
    char buf[256];
    const Integer n = c.sock.Receive(buf, sizeof buf);
    if (n <= 0) return;
    if (c.sock.LineMode()) {
      c.lines.emplace_back(buf, size_t(n));
      if (!headerSeen) c.sock.SetLineMode(false);  // a header line, then a body
      headerSeen = true;
    } else {
      raw.emplace_back(buf, size_t(n));
    }
  });
  ASSERT_TRUE(PumpUntil([&] { return !c.log.empty(); }));
  srv.Write("HEAD\r\nbody\r\nmore");
  ASSERT_TRUE(PumpUntil([&] { return !raw.empty(); }));
  PumpFor(100);
  EXPECT_EQ(c.lines, std::vector<std::string>{"HEAD\r\n"});
  std::string joined;
  for (const auto& r : raw) joined += r;
  EXPECT_EQ(joined, "body\r\nmore");
  // Back to line mode: what arrives is split into lines again.
  c.sock.SetLineMode(true);
  srv.Write("x\r\ny\r\n");
  ASSERT_TRUE(PumpUntil([&] { return c.lines.size() == 3; }));
  EXPECT_EQ(c.lines[1], "x\r\n");
  EXPECT_EQ(c.lines[2], "y\r\n");
}

TEST(LineMode, EditingAndEchoForPeersThatTypeByHand) {
  LineServer srv;
  LineClient c(srv.server.Port());
  c.sock.SetLineEdit(true);
  c.sock.SetLineEcho(true);
  ASSERT_TRUE(PumpUntil([&] { return !c.log.empty(); }));
  srv.Write("abx\b");
  srv.Write("c\td\r\n");
  ASSERT_TRUE(PumpUntil([&] { return !c.lines.empty(); }));
  EXPECT_EQ(c.lines[0], "abc     d\r\n");
  ASSERT_TRUE(PumpUntil([&] { return srv.Got() == "abx\b \bc     d\r\n"; })) << srv.Got();
}

TEST(SyncWait, WaitsForTheFlagOrTheTimeOut) {
  TWSocket s(nullptr);
  Integer flag = 0;
  s.SetTimeout(100);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(s.WaitUntilReady(flag), WSA_WSOCKET_TIMEOUT);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(100));

  // A message handled during the wait sets the flag.
  s.SetTimeout(0);
  HWND h = AllocateHWnd(TWndMethod::FromFunction([&](TMessage&) { flag = 1; }));
  PostMessage(h, WM_USER, 0, 0);
  EXPECT_EQ(s.WaitUntilReady(flag), 0);
  DeallocateHWnd(h);

  static Integer* shared;
  shared = &flag;
  EXPECT_EQ(s.SyncCall(flag, [](TCustomSyncWSocket*, intptr_t v) { *shared = Integer(v); }, 7), 0);
  EXPECT_EQ(flag, 7);

  // A quit message seen by the socket's own loop ends the wait.
  s.SetMultiThreaded(true);
  flag = 0;
  PostQuitMessage(0);
  EXPECT_EQ(s.WaitUntilReady(flag), WSA_WSOCKET_TIMEOUT);
  EXPECT_TRUE(s.Terminated());
}

}  // namespace
