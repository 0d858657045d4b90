// The SOCKS client through real servers (microsocks, dante) and through scripted peers
// for the replies that real servers do not give on demand.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/win/process.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/MessagePump.h"
#include "tests/support/TempFolder.h"
#include "transport/WSocket.h"

namespace {

// Echoes what it receives; on every address Host resolves to.
LoopbackServer EchoServer(const std::string& Host = "127.0.0.1") {
  return LoopbackServer(
      [](int fd) {
        char buf[4096];
        ssize_t n;
        while ((n = ::recv(fd, buf, sizeof buf, 0)) > 0) SendAll(fd, std::string_view(buf, size_t(n)));
      },
      Host);
}

// A client socket that records the SOCKS and session events.
struct SocksClient {
  std::vector<std::string> log;
  std::string received;
  std::string sendOnConnect = "ping";
  TWSocket sock{nullptr};

  SocksClient() {
    sock.OnSocksConnected = TSessionConnected::FromFunction(
        [this](TObject*, Word e) { log.push_back("socks connected " + std::to_string(e)); });
    sock.OnSocksError = TSocksErrorEvent::FromFunction(
        [this](TObject*, Integer e, const std::string& m) { log.push_back("socks error " + std::to_string(e) + " " + m); });
    sock.OnSocksAuthState = TSocksAuthStateEvent::FromFunction([this](TObject*, TSocksAuthState s) {
      static const char* names[] = {"start", "success", "failure", "not required"};
      log.push_back(std::string("auth ") + names[int(s)]);
    });
    sock.OnSessionConnected = TSessionConnected::FromFunction([this](TObject*, Word e) {
      log.push_back("connected " + std::to_string(e));
      if (e == 0 && !sendOnConnect.empty()) sock.SendStr(sendOnConnect);
    });
    sock.OnSessionClosed =
        TSessionClosed::FromFunction([this](TObject*, Word e) { log.push_back("closed " + std::to_string(e)); });
    sock.OnDataAvailable = TDataAvailable::FromFunction([this](TObject*, Word) {
      char buf[4096];
      const Integer n = sock.Receive(buf, sizeof buf);
      if (n > 0) received.append(buf, size_t(n));
    });
  }
  void Start(const std::string& level, int socksPort, const std::string& addr, int targetPort) {
    sock.SetSocksServer("127.0.0.1");
    sock.SetSocksPort(std::to_string(socksPort));
    sock.SetSocksLevel(level);
    sock.SetAddr(addr);
    sock.SetPort(std::to_string(targetPort));
    sock.Connect();
  }
  bool Has(const std::string& e) const { return std::find(log.begin(), log.end(), e) != log.end(); }
};

class SocksServers : public ::testing::Test {
 protected:
  // Server programs live in the system folders, which a user's PATH may lack.
  static std::string ServerPath(const std::string& name) {
    for (const char* dir : {"/usr/bin/", "/usr/sbin/"})
      if (std::string p = FindProgram(dir + name); !p.empty()) return p;
    return FindProgram(name);
  }
  static std::string MicrosocksPath() { return ServerPath("microsocks"); }
  static std::string DantedPath() { return ServerPath("danted"); }
  std::unique_ptr<ExternalPeer> StartMicrosocks(const std::string& user = {}, const std::string& pass = {}) {
    return std::make_unique<ExternalPeer>([&](int port) {
      std::vector<std::string> argv{MicrosocksPath(), "-i", "127.0.0.1", "-p", std::to_string(port)};
      if (!user.empty()) argv.insert(argv.end(), {"-u", user, "-P", pass});
      return argv;
    });
  }
  // dante reaches loopback targets only.
  std::unique_ptr<ExternalPeer> StartDanted() {
    return std::make_unique<ExternalPeer>([&](int port) {
      std::ofstream(folder / "danted.conf") << "logoutput: " << (folder / "danted.log") << "\n"
                                            << "internal: 127.0.0.1 port = " << port << "\n"
                                            << "external: 127.0.0.1\n"
                                               "clientmethod: none\n"
                                               "socksmethod: none\n"
                                               "client pass { from: 127.0.0.0/8 to: 0.0.0.0/0 }\n"
                                               "socks pass { from: 127.0.0.0/8 to: 127.0.0.0/8 command: connect }\n"
                                               "socks block { from: 0.0.0.0/0 to: 0.0.0.0/0 }\n";
      return std::vector<std::string>{DantedPath(), "-f", folder / "danted.conf", "-p", folder / "danted.pid", "-N", "1"};
    });
  }
  TempFolder folder;
  LocalOnlyResolver resolver;
};

TEST_F(SocksServers, Socks5WithoutAuthenticationThroughMicrosocks) {
  ASSERT_FALSE(MicrosocksPath().empty()) << "microsocks is not installed (scripts/deps)";
  auto echo = EchoServer();
  auto peer = StartMicrosocks();
  ASSERT_TRUE(peer->Running());
  const int port = peer->Port();
  SocksClient c;
  c.Start("5", port, "127.0.0.1", echo.Port());
  ASSERT_TRUE(PumpUntil([&] { return c.received == "ping"; }));
  EXPECT_EQ(c.log, (std::vector<std::string>{"socks connected 0", "connected 0"}));
  EXPECT_EQ(c.sock.State(), wsConnected);
  c.sock.Close();
  EXPECT_EQ(c.sock.SocksServer(), "") << "the SOCKS settings are given again for every connection";
  EXPECT_EQ(c.sock.SocksLevel(), "5");
}

TEST_F(SocksServers, Socks5UserPasswordThroughMicrosocks) {
  ASSERT_FALSE(MicrosocksPath().empty());
  // microsocks resolves the name itself, in the host's order.
  auto echo = EchoServer("localhost");
  auto peer = StartMicrosocks("kim", "s3cret");
  ASSERT_TRUE(peer->Running());
  const int port = peer->Port();

  SocksClient good;
  good.sock.SetSocksAuthentication(socksAuthenticateUsercode);
  good.sock.SetSocksUsercode("kim");
  good.sock.SetSocksPassword("s3cret");
  good.Start("5", port, "localhost", echo.Port());
  ASSERT_TRUE(PumpUntil([&] { return good.received == "ping"; }));
  EXPECT_EQ(good.log, (std::vector<std::string>{"socks connected 0", "auth start", "auth success", "connected 0"}));

  SocksClient bad;
  bad.sock.SetSocksAuthentication(socksAuthenticateUsercode);
  bad.sock.SetSocksUsercode("kim");
  bad.sock.SetSocksPassword("wrong");
  bad.Start("5", port, "localhost", echo.Port());
  ASSERT_TRUE(PumpUntil([&] { return bad.sock.State() == wsClosed; }));
  PumpFor(50);
  ASSERT_GE(bad.log.size(), 3u);
  EXPECT_EQ(bad.log[1], "auth start");
  EXPECT_TRUE(bad.Has("socks error 20015 socks authentication failed") || bad.Has("auth failure"))
      << testing::PrintToString(bad.log);
  EXPECT_FALSE(bad.Has("connected 0"));

  // A server that wants a password refuses a client that offers none.
  SocksClient none;
  none.Start("5", port, "localhost", echo.Port());
  ASSERT_TRUE(PumpUntil([&] { return none.sock.State() == wsClosed; }));
  EXPECT_TRUE(none.Has("socks error 20003 authentification method not acceptable")) << testing::PrintToString(none.log);
  EXPECT_TRUE(none.Has("connected 20003"));
}

// dante answers SOCKS 4 and 5; it refuses 4A, which the scripted peer below serves.
TEST_F(SocksServers, Socks4And5ThroughDante) {
  ASSERT_FALSE(DantedPath().empty()) << "dante-server is not installed (scripts/deps)";
  auto echo = EchoServer();
  auto peer = StartDanted();
  ASSERT_TRUE(peer->Running());
  const int port = peer->Port();
  for (const std::string level : {"4", "5"}) {
    SocksClient c;
    c.sendOnConnect = "level " + level;
    c.Start(level, port, "127.0.0.1", echo.Port());
    ASSERT_TRUE(PumpUntil([&] { return c.received == c.sendOnConnect; })) << level << testing::PrintToString(c.log);
    EXPECT_EQ(c.log, (std::vector<std::string>{"socks connected 0", "connected 0"})) << level;
  }
  // A refused target: dante's reply code arrives as the SOCKS error.
  SocksClient refused;
  refused.Start("5", port, "127.0.0.1", UnusedLoopbackPort());
  ASSERT_TRUE(PumpUntil([&] { return refused.sock.State() == wsClosed; }));
  EXPECT_EQ(refused.log, (std::vector<std::string>{"socks connected 0", "socks error 20008 connection refused",
                                                   "connected 20008", "closed 20008"}));
}

// A peer that records the request and answers with the given bytes, in pieces.
struct ScriptedPeer {
  std::mutex m;
  std::vector<std::string> requests;
  std::function<void(int fd, ScriptedPeer&)> script;
  LoopbackServer server{[this](int fd) { script(fd, *this); }};
  void Record(std::string s) {
    std::lock_guard g(m);
    requests.push_back(std::move(s));
  }
  std::vector<std::string> Requests() {
    std::lock_guard g(m);
    return requests;
  }
};

std::string Bytes(std::initializer_list<int> b) {
  std::string s;
  for (int v : b) s += char(v);
  return s;
}

TEST(SocksReplies, Socks4RequestBytesAndReplyCodes) {
  const std::pair<int, std::string> cases[] = {{91, "socks error 20016 request rejected or failed"},
                                               {92, "socks error 20008 connection refused"},
                                               {93, "socks error 20015 authentification failed"},
                                               {77, "socks error 20012 unassigned error #77"}};
  for (const auto& [code, expected] : cases) {
    ScriptedPeer peer;
    peer.script = [code = code](int fd, ScriptedPeer& p) {
      p.Record(RecvExactly(fd, 8 + 4 + 1 + 10));
      SendAll(fd, Bytes({0, code, 0, 0, 0, 0, 0, 0}));
      RecvUntilClosed(fd, 1000);
    };
    SocksClient c;
    c.sock.SetSocksUsercode("user");
    c.Start("4a", peer.server.Port(), "host.test", 8080);
    EXPECT_EQ(c.sock.SocksLevel(), "4A");
    ASSERT_TRUE(PumpUntil([&] { return c.sock.State() == wsClosed; }));
    EXPECT_EQ(c.log[1], expected);
    EXPECT_EQ(c.log[2], "connected " + expected.substr(12, 5));
    ASSERT_EQ(peer.Requests().size(), 1u);
    EXPECT_EQ(peer.Requests()[0], Bytes({4, 1, 0x1F, 0x90, 0, 0, 0, 1}) + "user" + Bytes({0}) + "host.test" + Bytes({0}));
  }
}

TEST(SocksReplies, Socks4And4AGrantedThenDataFlows) {
  for (const std::string level : {"4", "4A"}) {
    const size_t requestSize = level == "4" ? 9 : 9 + 10;
    ScriptedPeer peer;
    peer.script = [&](int fd, ScriptedPeer& p) {
      p.Record(RecvExactly(fd, requestSize));
      SendAll(fd, Bytes({0, 90, 0, 0, 0, 0, 0, 0}) + "welcome");
      p.Record(RecvExactly(fd, 4));
    };
    SocksClient c;
    c.Start(level, peer.server.Port(), "127.0.0.9", 80);
    ASSERT_TRUE(PumpUntil([&] { return c.received == "welcome" && peer.Requests().size() == 2; })) << level;
    ASSERT_GE(c.log.size(), 2u);
    EXPECT_EQ(std::vector<std::string>(c.log.begin(), c.log.begin() + 2),
              (std::vector<std::string>{"socks connected 0", "connected 0"}));
    if (level == "4")
      EXPECT_EQ(peer.Requests()[0], Bytes({4, 1, 0, 80, 127, 0, 0, 9, 0}));
    else
      EXPECT_EQ(peer.Requests()[0], Bytes({4, 1, 0, 80, 0, 0, 0, 1, 0}) + "127.0.0.9" + Bytes({0}));
    EXPECT_EQ(peer.Requests()[1], "ping");
  }
  // Level 4 resolves the name itself; a name that does not resolve ends the attempt.
  LocalOnlyResolver resolver;
  ScriptedPeer peer;
  peer.script = [](int fd, ScriptedPeer& p) { p.Record(RecvUntilClosed(fd, 1000)); };
  SocksClient c;
  c.Start("4", peer.server.Port(), "unknown.test", 80);
  ASSERT_TRUE(PumpUntil([&] { return c.sock.State() == wsClosed; }));
  ASSERT_GE(c.log.size(), 2u);
  EXPECT_EQ(c.log[1].substr(0, 35), "socks error 20017 ESocketException ");
  EXPECT_EQ(c.log.back(), "closed 20017");
}

// A SOCKS 5 peer: answers the greeting with Method, the connect request with Reply,
// sending Reply in pieces of Piece bytes.
void Socks5Script(int fd, ScriptedPeer& p, int Method, const std::string& Reply, size_t Piece) {
  p.Record(RecvExactly(fd, 3));
  SendAll(fd, Bytes({5, Method}));
  std::string request = RecvExactly(fd, 5);
  if (request.size() == 5) request += RecvExactly(fd, size_t(uint8_t(request[4])) + 2);
  p.Record(request);
  for (size_t at = 0; at < Reply.size(); at += Piece) {
    SendAll(fd, Reply.substr(at, Piece));
    usleep(2000);
  }
  RecvUntilClosed(fd, 1000);
}

TEST(SocksReplies, Socks5ReplyCodesAndMalformedReplies) {
  const std::pair<std::string, std::string> cases[] = {
      {Bytes({5, 1, 0, 1, 0, 0, 0, 0, 0, 0}), "socks error 20004 general SOCKS server failure"},
      {Bytes({5, 2}), "socks error 20005 connection not allowed by ruleset"},
      {Bytes({5, 3}), "socks error 20006 network unreachable"},
      {Bytes({5, 4}), "socks error 20007 host unreachable"},
      {Bytes({5, 6}), "socks error 20009 time to live expired"},
      {Bytes({5, 7}), "socks error 20010 command not supported"},
      {Bytes({5, 8}), "socks error 20011 address type not supported"},
      {Bytes({5, 9}), "socks error 20012 unassigned error #9"},
      {Bytes({4, 0}), "socks error 20002 socks version error"},
      {Bytes({5, 0, 0, 4, 1}), "socks error 20011 address type not supported"}};
  for (const auto& [reply, expected] : cases) {
    ScriptedPeer peer;
    peer.script = [reply = reply](int fd, ScriptedPeer& p) { Socks5Script(fd, p, 0, reply, 64); };
    SocksClient c;
    c.Start("5", peer.server.Port(), "10.0.0.1", 443);
    ASSERT_TRUE(PumpUntil([&] { return c.sock.State() == wsClosed; })) << expected;
    ASSERT_GE(c.log.size(), 2u);
    EXPECT_EQ(c.log[1], expected);
    // The host goes as a name, also a dotted one.
    EXPECT_EQ(peer.Requests()[1], Bytes({5, 1, 0, 3, 8}) + "10.0.0.1" + Bytes({1, 0xBB}));
  }
  // An unknown method choice.
  ScriptedPeer peer;
  peer.script = [](int fd, ScriptedPeer& p) { Socks5Script(fd, p, 0xFF, "", 1); };
  SocksClient c;
  c.Start("5", peer.server.Port(), "h", 1);
  ASSERT_TRUE(PumpUntil([&] { return c.sock.State() == wsClosed; }));
  EXPECT_EQ(c.log[1], "socks error 20003 authentification method not acceptable");
}

TEST(SocksReplies, Socks5ReplyInPiecesWithDataBehindItAndALongBoundName) {
  // A bound name of 255 bytes makes the longest legal reply; the target's first bytes
  // come in the same segment and must reach OnDataAvailable right after connecting.
  const std::string name(255, 'n');
  const std::string reply = Bytes({5, 0, 0, 3, 255}) + name + Bytes({0x12, 0x34}) + "early data";
  for (size_t piece : {size_t(1), size_t(7), reply.size()}) {
    ScriptedPeer peer;
    peer.script = [&](int fd, ScriptedPeer& p) { Socks5Script(fd, p, 0, reply, piece); };
    SocksClient c;
    c.sendOnConnect.clear();
    std::vector<std::string> order;
    c.sock.OnSessionConnected = TSessionConnected::FromFunction([&](TObject*, Word e) { order.push_back("connected"); });
    c.sock.OnDataAvailable = TDataAvailable::FromFunction([&](TObject*, Word) {
      char buf[64];
      const Integer n = c.sock.Receive(buf, sizeof buf);
      if (n > 0) c.received.append(buf, size_t(n));
      order.push_back("data");
    });
    c.Start("5", peer.server.Port(), "target.test", 80);
    ASSERT_TRUE(PumpUntil([&] { return c.received == "early data"; })) << piece;
    EXPECT_EQ(order.front(), "connected");
    EXPECT_EQ(c.sock.BoundAddr(), name);
    EXPECT_EQ(c.sock.BoundPort(), std::to_string(0x1234));
    EXPECT_EQ(c.sock.State(), wsConnected);
    EXPECT_EQ(c.sock.ReadCount(), 10);
  }
}

TEST(SocksReplies, Socks5AuthenticationWaitsForTheStatusByte) {
  // The status byte comes late and says "refused": the client must not go on.
  ScriptedPeer peer;
  peer.script = [](int fd, ScriptedPeer& p) {
    p.Record(RecvExactly(fd, 3));
    SendAll(fd, Bytes({5, 2}));
    p.Record(RecvExactly(fd, 2 + 3 + 1 + 2));
    SendAll(fd, Bytes({1}));
    usleep(100000);
    SendAll(fd, Bytes({1}));
    p.Record(RecvUntilClosed(fd, 1000));
  };
  SocksClient c;
  c.sock.SetSocksAuthentication(socksAuthenticateUsercode);
  c.sock.SetSocksUsercode("abc");
  c.sock.SetSocksPassword("pw");
  c.Start("5", peer.server.Port(), "h", 1);
  ASSERT_TRUE(PumpUntil([&] { return c.sock.State() == wsClosed && peer.Requests().size() == 3; }));
  EXPECT_EQ(peer.Requests()[0], Bytes({5, 1, 2}));
  EXPECT_EQ(peer.Requests()[1], Bytes({1, 3}) + "abc" + Bytes({2}) + "pw");
  EXPECT_EQ(peer.Requests()[2], "") << "no connect request after a refusal";
  EXPECT_TRUE(c.Has("socks error 20015 socks authentication failed")) << testing::PrintToString(c.log);

  // A server that needs no authentication although it was offered.
  ScriptedPeer open;
  open.script = [](int fd, ScriptedPeer& p) { Socks5Script(fd, p, 0, Bytes({5, 0, 0, 1, 1, 2, 3, 4, 0, 80}), 64); };
  SocksClient d;
  d.sendOnConnect.clear();
  d.sock.SetSocksAuthentication(socksAuthenticateUsercode);
  d.Start("5", open.server.Port(), "h", 1);
  ASSERT_TRUE(PumpUntil([&] { return d.Has("connected 0"); }));
  EXPECT_EQ(d.log, (std::vector<std::string>{"socks connected 0", "auth not required", "connected 0"}));
  EXPECT_EQ(d.sock.BoundAddr(), "1.2.3.4");
  EXPECT_EQ(d.sock.BoundPort(), "80");
}

TEST(SocksReplies, SettingsAndLimits) {
  TWSocket s(nullptr);
  s.SetSocksLevel("4a");
  EXPECT_EQ(s.SocksLevel(), "4A");
  try {
    s.SetSocksLevel("6");
    FAIL();
  } catch (const ESocketException& e) {
    EXPECT_EQ(e.Message(), "Invalid socks level. Must be 4, 4A or 5.");
  }
  s.SetSocksServer("  127.0.0.1 ");
  EXPECT_EQ(s.SocksServer(), "127.0.0.1");
  s.SetSocksPort("1080");
  s.SetSocksLevel("5");
  s.SetProto("udp");
  s.SetAddr("h");
  s.SetPort("1");
  try {
    s.Connect();
    FAIL();
  } catch (const ESocketException& e) {
    EXPECT_EQ(e.Message(), "tcp is the only protocol supported thru socks server");
  }
  s.SetProto("tcp");
  // A name longer than one length byte can say would reach another host.
  s.SetAddr(std::string(256, 'h'));
  EXPECT_THROW(s.Connect(), ESocketException);
  EXPECT_EQ(s.State(), wsClosed);
  EXPECT_THROW(s.Listen(), ESocketException);
}

}  // namespace
