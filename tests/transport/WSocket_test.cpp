// The socket component against loopback servers: event order, sending, closing,
// pausing, aborting, destruction from handlers, name look-up and the error paths.
#include "transport/WSocket.h"

#include <arpa/inet.h>
#include <netinet/tcp.h>
#include <gtest/gtest.h>
#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

#include "tests/support/LoopbackServer.h"
#include "tests/support/MessagePump.h"

namespace {

std::string StateName(TSocketState s) {
  static const char* names[] = {"invalid", "opened",    "bound",     "connecting", "socksconnected",
                                "connected", "accepting", "listening", "closed"};
  return names[int(s)];
}

// A socket whose events are written down in order as text.
struct Probe {
  std::vector<std::string> log;
  std::string received;
  int readChunk = 1 << 16;
  TWSocket sock{nullptr};  // last, so that it goes first

  Probe() {
    sock.OnSessionConnected = TSessionConnected::FromFunction(
        [this](TObject*, Word e) { log.push_back("connected " + std::to_string(e)); });
    sock.OnSessionClosed =
        TSessionClosed::FromFunction([this](TObject*, Word e) { log.push_back("closed " + std::to_string(e)); });
    sock.OnDataSent = TDataSent::FromFunction([this](TObject*, Word e) { log.push_back("sent " + std::to_string(e)); });
    sock.OnDataAvailable = TDataAvailable::FromFunction([this](TObject*, Word) {
      std::string buf(size_t(readChunk), '\0');
      const Integer n = sock.Receive(buf.data(), Integer(buf.size()));
      if (n > 0) received.append(buf.data(), size_t(n));
      if (log.empty() || log.back() != "data") log.push_back("data");
    });
    sock.OnChangeState = TChangeState::FromFunction(
        [this](TObject*, TSocketState, TSocketState s) { log.push_back("state " + StateName(s)); });
    sock.OnDnsLookupDone =
        TDnsLookupDone::FromFunction([this](TObject*, Word e) { log.push_back("dns " + std::to_string(e)); });
  }
  void ConnectTo(int port) {
    sock.SetAddr("127.0.0.1");
    sock.SetPort(std::to_string(port));
    sock.SetProto("tcp");
    sock.Connect();
  }
  bool Has(const std::string& entry) const { return std::find(log.begin(), log.end(), entry) != log.end(); }
  int CountOf(const std::string& entry) const { return int(std::count(log.begin(), log.end(), entry)); }
};

LoopbackServer EchoServer() {
  return LoopbackServer([](int fd) {
    char buf[4096];
    ssize_t n;
    while ((n = ::recv(fd, buf, sizeof buf, 0)) > 0) SendAll(fd, std::string_view(buf, size_t(n)));
  });
}

TEST(WSocket, EchoRoundTripInEventOrder) {
  LocalOnlyResolver resolver;
  auto server = EchoServer();
  Probe p;
  p.sock.OnDnsLookupDone = TDnsLookupDone::FromFunction([&](TObject*, Word e) {
    p.log.push_back("dns " + std::to_string(e));
    p.sock.SetAddr(p.sock.DnsResult());
    p.sock.SetPort(server.PortText());
    p.sock.Connect();
  });
  p.sock.OnSessionConnected = TSessionConnected::FromFunction([&](TObject*, Word e) {
    p.log.push_back("connected " + std::to_string(e));
    p.sock.SendStr("hello, echo");
  });
  p.sock.DnsLookup("localhost");
  EXPECT_TRUE(p.log.empty()) << "a name is looked up in the background";
  ASSERT_TRUE(PumpUntil([&] { return p.received == "hello, echo"; }));
  EXPECT_EQ(p.sock.DnsResultList(), std::vector<std::string>{"127.0.0.1"});
  p.sock.Close();
  // The system's write event after connecting and the one of the send: two.
  EXPECT_EQ(p.log, (std::vector<std::string>{"dns 0", "state opened", "state connecting", "state connected",
                                             "connected 0", "sent 0", "sent 0", "data", "state closed", "closed 0"}));
  EXPECT_EQ(p.sock.State(), wsClosed);
  // Closing resets the settings: address and port must be given again.
  try {
    p.sock.Connect();
    FAIL();
  } catch (const ESocketException& e) {
    EXPECT_EQ(e.Message(), "Connect: No Port Specified");
  }
  EXPECT_EQ(p.sock.Proto(), "tcp");
}

TEST(WSocket, SendingQueuesInChunksAndDeliversEverything) {
  auto server = EchoServer();
  Probe p;
  p.sock.SetBufSize(100);
  std::string payload;
  for (int i = 0; i < 300000; ++i) payload += char('a' + i % 26);
  p.sock.OnSessionConnected = TSessionConnected::FromFunction([&](TObject*, Word) {
    EXPECT_EQ(p.sock.Send(payload.data(), Integer(payload.size())), Integer(payload.size()));
  });
  std::atomic<int> bytesReported{0};
  p.sock.OnSendData = TSendData::FromFunction([&](TObject*, Integer n) { bytesReported += n; });
  p.ConnectTo(server.Port());
  ASSERT_TRUE(PumpUntil([&] { return p.received.size() >= payload.size(); }, 20000));
  EXPECT_EQ(p.received, payload);
  EXPECT_EQ(bytesReported.load(), Integer(payload.size()));
  EXPECT_TRUE(p.sock.AllSent());
  EXPECT_EQ(p.sock.BufferedByteCount(), 0);
}

TEST(WSocket, EmptySendStillReportsDataSentOnce) {
  auto server = EchoServer();
  Probe p;
  p.ConnectTo(server.Port());
  ASSERT_TRUE(PumpUntil([&] { return p.Has("sent 0"); }));  // the system's write event
  PumpFor(50);
  p.log.clear();
  EXPECT_EQ(p.sock.Send(nullptr, 0), 0);
  ASSERT_TRUE(PumpUntil([&] { return p.Has("sent 0"); }));
  PumpFor(50);
  EXPECT_EQ(p.log, std::vector<std::string>{"sent 0"});
}

TEST(WSocket, RefusedConnectReportsTheErrorThenCloses) {
  Probe p;
  p.ConnectTo(UnusedLoopbackPort());
  ASSERT_TRUE(PumpUntil([&] { return p.Has("closed 0"); }));
  EXPECT_EQ(p.log, (std::vector<std::string>{"state opened", "state connecting", "state connected",
                                             "connected 10061", "state closed", "closed 0"}));
  EXPECT_EQ(WinsockErrorText(10061), "Connection refused");
}

TEST(WSocket, CloseWithUnreadDataDeliversAllOfItFirst) {
  const std::string payload(200000, 'z');
  LoopbackServer server([&](int fd) { SendAll(fd, payload); });
  Probe p;
  p.readChunk = 1000;  // one small read per event
  p.sock.SetComponentOptions({wsoNoReceiveLoop});
  p.ConnectTo(server.Port());
  ASSERT_TRUE(PumpUntil([&] { return p.Has("closed 0"); }, 10000));
  EXPECT_EQ(p.received.size(), payload.size());
  // The close is reported after the data, then the socket closes.
  const std::vector<std::string> tail(p.log.end() - 3, p.log.end());
  EXPECT_EQ(tail, (std::vector<std::string>{"data", "closed 0", "state closed"}));
  EXPECT_EQ(p.CountOf("closed 0"), 1);
}

TEST(WSocket, PeerResetIsReportedAsClosedWithReset) {
  LoopbackServer server([&](int fd) {
    RecvExactly(fd, 2);
    CloseWithReset(fd);
  });
  Probe p;
  p.sock.OnSessionConnected = TSessionConnected::FromFunction([&](TObject*, Word) { p.sock.SendStr("go"); });
  p.ConnectTo(server.Port());
  ASSERT_TRUE(PumpUntil([&] { return p.sock.State() == wsClosed && p.CountOf("closed 10054") == 1; }));
}

TEST(WSocket, PauseHoldsEventsAndResumeDeliversWhatWaited) {
  std::mutex m;
  std::condition_variable cv;
  bool go = false;
  LoopbackServer server([&](int fd) {
    std::unique_lock g(m);
    cv.wait_for(g, std::chrono::milliseconds(vxtest::kPatienceMs), [&] { return go; });
    g.unlock();
    SendAll(fd, "while paused");
    RecvUntilClosed(fd);
  });
  Probe p;
  p.ConnectTo(server.Port());
  ASSERT_TRUE(PumpUntil([&] { return p.Has("connected 0"); }));
  p.sock.Pause();
  {
    std::lock_guard g(m);
    go = true;
  }
  cv.notify_all();
  PumpFor(200);
  EXPECT_EQ(p.received, "");
  p.sock.Resume();
  ASSERT_TRUE(PumpUntil([&] { return p.received == "while paused"; }));
}

TEST(WSocket, AbortResetsTheConnectionAndReportsOnce) {
  std::atomic<int> peerSaw{0};
  LoopbackServer server([&](int fd) {
    char c;
    const ssize_t n = ::recv(fd, &c, 1, 0);
    peerSaw = n < 0 ? errno : 1000 + int(n);
  });
  Probe p;
  p.ConnectTo(server.Port());
  ASSERT_TRUE(PumpUntil([&] { return p.Has("connected 0"); }));
  p.sock.Abort();
  EXPECT_EQ(p.sock.State(), wsClosed);
  EXPECT_EQ(p.CountOf("closed 0"), 1);
  ASSERT_TRUE(PumpUntil([&] { return peerSaw.load() != 0; }));
  EXPECT_EQ(peerSaw.load(), ECONNRESET);
}

TEST(WSocket, OrderlyCloseDeliversWhatWasSent) {
  std::atomic<size_t> peerGot{0};
  LoopbackServer server([&](int fd) { peerGot = RecvUntilClosed(fd).size(); });
  Probe p;
  const std::string big(3 << 20, 'q');
  p.sock.OnSessionConnected = TSessionConnected::FromFunction([&](TObject*, Word) {
    p.sock.Send(big.data(), Integer(big.size()));
  });
  p.sock.OnDataSent = TDataSent::FromFunction([&](TObject*, Word) {
    if (p.sock.AllSent()) p.sock.Close();  // everything left our queue; the system still holds some
  });
  p.ConnectTo(server.Port());
  ASSERT_TRUE(PumpUntil([&] { return peerGot.load() != 0; }, 20000));
  EXPECT_EQ(peerGot.load(), big.size());
}

TEST(WSocket, DestroyedFromInsideItsOwnHandlers) {
  auto server = EchoServer();
  {
    // Deleted outright inside OnDataAvailable.
    auto* sock = new TWSocket(nullptr);
    bool gone = false;
    int eventsAfter = 0;
    sock->OnSessionConnected = TSessionConnected::FromFunction([&](TObject*, Word) { sock->SendStr("x"); });
    sock->OnDataAvailable = TDataAvailable::FromFunction([&](TObject*, Word) {
      if (gone) {
        ++eventsAfter;
        return;
      }
      gone = true;
      delete sock;
    });
    sock->SetAddr("127.0.0.1");
    sock->SetPort(server.PortText());
    sock->Connect();
    ASSERT_TRUE(PumpUntil([&] { return gone; }));
    PumpFor(100);
    EXPECT_EQ(eventsAfter, 0);
  }
  {
    // Freed through its own queue from OnSessionClosed.
    auto* sock = new TWSocket(nullptr);
    bool closed = false;
    sock->OnSessionConnected = TSessionConnected::FromFunction([&](TObject*, Word) { sock->Close(); });
    sock->OnSessionClosed = TSessionClosed::FromFunction([&](TObject*, Word) {
      closed = true;
      sock->PostFree();
    });
    sock->SetAddr("127.0.0.1");
    sock->SetPort(server.PortText());
    sock->Connect();
    ASSERT_TRUE(PumpUntil([&] { return closed; }));
    PumpFor(100);
  }
}

TEST(WSocket, HandlerExceptionGoesToBackgroundHandlerThenAborts) {
  auto server = EchoServer();
  Probe p;
  std::string caught;
  p.sock.OnBgException = TBgExceptionEvent::FromFunction([&](TObject*, Exception& E, bool&) { caught = E.Message(); });
  p.sock.OnSessionConnected = TSessionConnected::FromFunction([&](TObject*, Word) { throw EAbort("from handler"); });
  p.ConnectTo(server.Port());
  ASSERT_TRUE(PumpUntil([&] { return !caught.empty(); }));
  EXPECT_EQ(caught, "from handler");
  EXPECT_EQ(p.sock.State(), wsClosed);

  // The test message raises inside the window procedure; CanClose cleared keeps it open.
  Probe q;
  caught.clear();
  q.sock.OnBgException = TBgExceptionEvent::FromFunction([&](TObject*, Exception& E, bool& CanClose) {
    caught = E.ClassName() + ": " + E.Message();
    CanClose = false;
  });
  q.ConnectTo(server.Port());
  ASSERT_TRUE(PumpUntil([&] { return q.Has("connected 0"); }));
  PostMessage(q.sock.Handle(), WM_TRIGGER_EXCEPTION, 0, 0);
  ASSERT_TRUE(PumpUntil([&] { return !caught.empty(); }));
  EXPECT_EQ(caught, "ESocketException: Test exception in WSocket");
  EXPECT_EQ(q.sock.State(), wsConnected);
}

TEST(WSocket, ErrorPathRaisesOrReportsThroughOnError) {
  Probe p;
  try {
    p.sock.SendStr("nobody listens");
    FAIL();
  } catch (const ESocketException& e) {
    EXPECT_EQ(e.Message(), "Error 10057 in function Send\r\nSocket is not connected");
  }
  int errors = 0;
  p.sock.OnError = TNotifyEvent::FromFunction([&](TObject*) { ++errors; });
  EXPECT_EQ(p.sock.SendStr("again"), -1);
  EXPECT_EQ(errors, 1);
  EXPECT_EQ(p.sock.LastError(), 10057);

  // An empty name: the error, then the look-up reports 10022.
  p.sock.DnsLookup("");
  EXPECT_EQ(errors, 2);
  EXPECT_EQ(p.log.back(), "dns 10022");
  p.sock.OnError = nullptr;
  EXPECT_THROW(p.sock.DnsLookup(""), ESocketException);
  EXPECT_THROW(p.sock.Connect(), ESocketException);  // no port
}

TEST(WSocket, PropertiesChangeOnlyWhileClosed) {
  auto server = EchoServer();
  Probe p;
  p.ConnectTo(server.Port());
  ASSERT_TRUE(PumpUntil([&] { return p.Has("connected 0"); }));
  EXPECT_NO_THROW(p.sock.SetAddr("127.0.0.1"));  // the same text
  try {
    p.sock.SetAddr("127.0.0.2");
    FAIL();
  } catch (const ESocketException& e) {
    EXPECT_EQ(e.Message(), "Cannot change Addr if not closed");
  }
  EXPECT_THROW(p.sock.SetPort("1"), ESocketException);
  EXPECT_THROW(p.sock.SetLocalAddr("127.0.0.1"), ESocketException);
  try {
    p.sock.Connect();
    FAIL();
  } catch (const ESocketException& e) {
    EXPECT_EQ(e.Message(), "Connect: Socket already in use");
  }
  EXPECT_EQ(p.sock.PeerAddr(), "127.0.0.1");
  EXPECT_EQ(p.sock.PeerPort(), server.PortText());
  EXPECT_EQ(p.sock.GetLocalAddrText(), "127.0.0.1");
  p.sock.Close();
  EXPECT_EQ(p.sock.PeerAddr(), "error");
  p.sock.SetAddr("  10.9.8.7 ");
  EXPECT_EQ(p.sock.Addr(), "10.9.8.7");
  EXPECT_THROW(p.sock.SetSendFlags(TSocketSendFlags(7)), ESocketException);
  p.sock.SetSendFlags(wsSendUrgent);
  EXPECT_EQ(p.sock.SendFlags(), wsSendUrgent);
}

TEST(WSocket, LookUpsAnswerDottedAddressesAtOnceAndCanBeCancelled) {
  auto resolver = std::make_unique<TableResolver>(
      std::map<std::string, std::vector<std::string>>{{"two.test", {"127.0.0.2", "127.0.0.3"}}, {"slow", {"127.0.0.4"}}});
  Probe p;
  p.sock.DnsLookup(" 10.1.2.3 ");
  EXPECT_EQ(p.log, std::vector<std::string>{"dns 0"}) << "answered inside the call";
  EXPECT_EQ(p.sock.DnsResult(), "10.1.2.3");

  p.log.clear();
  p.sock.DnsLookup("two.test");
  ASSERT_TRUE(PumpUntil([&] { return !p.log.empty(); }));
  EXPECT_EQ(p.log, std::vector<std::string>{"dns 0"});
  EXPECT_EQ(p.sock.DnsResultList(), (std::vector<std::string>{"127.0.0.2", "127.0.0.3"}));
  EXPECT_EQ(p.sock.DnsResult(), "127.0.0.2");

  p.log.clear();
  p.sock.DnsLookup("unknown.test");
  ASSERT_TRUE(PumpUntil([&] { return !p.log.empty(); }));
  EXPECT_EQ(p.log, std::vector<std::string>{"dns 11001"});

  p.log.clear();
  p.sock.DnsLookup("slow");
  p.sock.CancelDnsLookup();
  EXPECT_EQ(p.log, std::vector<std::string>{"dns 10004"});
  resolver->Release();
  PumpFor(200);
  EXPECT_EQ(p.log, std::vector<std::string>{"dns 10004"}) << "no late completion";

  // Reverse look-up, in the background and at once.
  resolver.reset();
  LocalOnlyResolver local;
  p.log.clear();
  p.sock.ReverseDnsLookup("127.0.0.1");
  ASSERT_TRUE(PumpUntil([&] { return !p.log.empty(); }));
  EXPECT_EQ(p.sock.DnsResultList(), (std::vector<std::string>{"localhost", "loopback"}));
  p.sock.ReverseDnsLookupSync("127.0.0.1");
  EXPECT_EQ(p.sock.DnsResult(), "localhost");
}

TEST(WSocket, ResolutionHelpersAndErrorTexts) {
  EXPECT_TRUE(WSocketIsDottedIP("1.2.3.4"));
  EXPECT_TRUE(WSocketIsDottedIP("  255.0.0.255  "));
  for (const char* bad : {"1.2.3", "1.2.3.4.5", ".1.2.3", "1.2.3.256", "1..2.3", "1.2.3.", "a.b.c.d", "1.2.3.4x", ""})
    EXPECT_FALSE(WSocketIsDottedIP(bad)) << bad;
  EXPECT_EQ(WSocketResolvePort("80", "tcp"), 80);
  EXPECT_EQ(WSocketResolvePort(" 8080abc", "tcp"), 8080);
  EXPECT_EQ(WSocketResolvePort("http", "tcp"), 80);
  EXPECT_THROW(WSocketResolvePort("70000", "tcp"), ESocketException);
  EXPECT_THROW(WSocketResolvePort("", "tcp"), ESocketException);
  EXPECT_THROW(WSocketResolvePort("no-such-service", "tcp"), ESocketException);
  EXPECT_EQ(WSocketResolveProto("UDP"), 17);
  EXPECT_EQ(WSocketResolveProto("tcp"), 6);
  EXPECT_EQ(WSocketResolveProto("17"), 17);
  EXPECT_EQ(WSocketResolveProto("icmp"), 1);
  try {
    WSocketResolveHost("1.2.3.4 5");
    FAIL();
  } catch (const ESocketException& e) {
    EXPECT_NE(e.Message().find("WSocketResolveHost"), std::string::npos);
  }
  EXPECT_EQ(WinsockErrorText(0), "No Error");
  EXPECT_EQ(WinsockErrorText(11004), "No Data");
  EXPECT_EQ(WinsockErrorText(12345), "Not a WinSock error");
  EXPECT_FALSE(LocalHostName().empty());
}

TEST(WSocket, LibraryIsReleasedWithTheLastSocket) {
  {
    TWSocket a(nullptr);
    a.DnsLookup("1.2.3.4");  // starts the library
    EXPECT_TRUE(WinsockLoaded());
    EXPECT_THROW(a.SetReqVerLow(2), ESocketException);
  }
  EXPECT_FALSE(WinsockLoaded());
  TWSocket b(nullptr);
  b.SetReqVerLow(2);
  EXPECT_EQ(TWSocket::ReqVerLow(), 2);
  b.SetReqVerLow(1);
}

TEST(WSocket, ListeningSocketHandsConnectionsToAcceptedSockets) {
  TWSocket listener(nullptr);
  std::vector<std::unique_ptr<TWSocket>> served;
  listener.OnSessionAvailable = TSessionAvailable::FromFunction([&](TObject*, Word) {
    auto s = std::make_unique<TWSocket>(nullptr);
    TWSocket* raw = s.get();
    raw->OnDataAvailable = TDataAvailable::FromFunction([raw](TObject*, Word) {
      const std::string text = raw->ReceiveStr();
      if (!text.empty()) raw->SendStr("re:" + text);
    });
    raw->Dup(listener.Accept());
    served.push_back(std::move(s));
  });
  listener.SetAddr("127.0.0.1");
  listener.SetPort("0");
  listener.SetProto("tcp");
  listener.Listen();
  ASSERT_EQ(listener.State(), wsListening);
  const std::string port = listener.GetLocalPortText();
  ASSERT_NE(port, "0");

  Probe p;
  p.sock.SetKeepAliveOnOff(wsKeepAliveOnCustom);
  p.sock.SetKeepAliveTime(7000);
  p.sock.SetComponentOptions({wsoTcpNoDelay});
  p.sock.OnSessionConnected = TSessionConnected::FromFunction([&](TObject*, Word) { p.sock.SendStr("hi"); });
  p.ConnectTo(std::stoi(port));
  ASSERT_TRUE(PumpUntil([&] { return p.received == "re:hi"; }));
  ASSERT_EQ(served.size(), 1u);
  EXPECT_EQ(served[0]->State(), wsConnected);
  EXPECT_EQ(served[0]->PeerAddr(), "127.0.0.1");
  // The options reached the system socket.
  int idle = 0, nodelay = 0, len = sizeof idle;
  winsock::getsockopt(p.sock.HSocket(), IPPROTO_TCP, TCP_KEEPIDLE, reinterpret_cast<char*>(&idle), &len);
  len = sizeof nodelay;
  winsock::getsockopt(p.sock.HSocket(), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<char*>(&nodelay), &len);
  EXPECT_EQ(idle, 7);
  EXPECT_NE(nodelay, 0);
  p.sock.Close();
  ASSERT_TRUE(PumpUntil([&] { return served[0]->State() == wsClosed; }));
}

TEST(WSocket, DatagramsBetweenTwoSockets) {
  TWSocket receiver(nullptr);
  std::string got, from;
  receiver.OnDataAvailable = TDataAvailable::FromFunction([&](TObject*, Word) {
    char buf[64];
    sockaddr_in src{};
    Integer len = sizeof src;
    const Integer n = receiver.ReceiveFrom(buf, sizeof buf, src, len);
    if (n > 0) got.assign(buf, size_t(n));
    from = inet_ntoa(src.sin_addr);
  });
  receiver.SetProto("udp");
  receiver.SetAddr("127.0.0.1");
  receiver.SetPort("0");
  receiver.Listen();
  ASSERT_EQ(receiver.State(), wsListening);

  Probe sender;
  sender.sock.SetProto("udp");
  sender.sock.SetAddr("127.0.0.1");
  sender.sock.SetPort(receiver.GetLocalPortText());
  sender.sock.Connect();
  EXPECT_EQ(sender.log, (std::vector<std::string>{"state opened", "state connected", "connected 0"}))
      << "a datagram socket is ready at once";
  EXPECT_EQ(sender.sock.SendStr("one datagram"), 12);
  ASSERT_TRUE(PumpUntil([&] { return !got.empty(); }));
  EXPECT_EQ(got, "one datagram");
  EXPECT_EQ(from, "127.0.0.1");
}

TEST(WSockBuf, ChunkKeepsItsInvariants) {
  TBuffer b(0);
  EXPECT_EQ(b.BufSize(), 1514);
  TBuffer small(8);
  EXPECT_EQ(small.Write("0123456789", 10), 8);
  EXPECT_EQ(small.Write("x", 1), 0);
  Integer len = 0;
  const char* p = static_cast<const char*>(small.Peek(len));
  EXPECT_EQ(std::string(p, size_t(len)), "01234567");
  EXPECT_EQ(small.Remove(3), 3);
  p = static_cast<const char*>(small.Peek(len));
  EXPECT_EQ(std::string(p, size_t(len)), "34567");
  // Growing keeps the stored bytes; shrinking below them keeps room for them.
  small.SetBufSize(4);
  p = static_cast<const char*>(small.Peek(len));
  EXPECT_EQ(std::string(p, size_t(len)), "34567");
  EXPECT_EQ(small.Remove(100), 5);
  EXPECT_EQ(small.Peek(len), nullptr);
  EXPECT_EQ(len, 0);
  EXPECT_EQ(small.WriteCount(), 0);
}

}  // namespace
