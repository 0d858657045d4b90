// Replies that are legal or common but easy to frame wrongly, each from a loopback
// server that keeps its connection open after the reply and from one that closes it:
// the client must end with the right status and body, never hang, and carry a further
// request on the same connection only where the reply left it usable.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <stdexcept>

#include "platform/rtl/sysutils.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/MessagePump.h"
#include "tests/support/downloads.h"
#include "tests/support/loopback.h"
#include "transport/HttpProt.h"
#include "transport/StdIndyDownloader.h"
#include "transport/StdSockDownloader.h"
#include "transport/StdWebAgentDownloader.h"

namespace {

const std::string kOk = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok";
// A reply with the reason Endless goes on with this until the client stops reading (32
// MiB at most), then its connection ends; this much of such a body is what a client keeps.
const std::string kCut(65536, 'x');
// Or, for a gzip body, with deflate blocks of no bytes behind its head: it decodes to nothing.
const std::string kGzipHead("\x1f\x8b\x08\0\0\0\0\0\0\x03", 10);
const std::string kNothing = [] { std::string s; while (s.size() < 65536) s.append("\0\0\0\xff\xff", 5); return s; }();
std::atomic<size_t> endlessSent{0};  // bytes of such bodies that went out

struct Shape {
  const char* name;
  std::string reply;  // the answer to the first request
  int status;         // the final status of that Get
  std::string body;   // and its body
  int requests;       // requests that Get makes (relocation and authentication add one)
  // Connections the Get takes from a server that keeps them open; 0 for a reply that
  // only the close can end, which such a server cannot send.
  int keepConnections;
  bool reusable;  // the connection left by it carries the next request
  bool viaProxy = false;
  bool follow = true;
};

const Shape kShapes[] = {
    {"304 with a length", "HTTP/1.1 304 Not Modified\r\nContent-Length: 100\r\n\r\n", 304, "", 1, 1, true},
    {"204 with a length", "HTTP/1.1 204 No Content\r\nContent-Length: 5\r\n\r\n", 204, "", 1, 1, true},
    {"1.0 interim reply", "HTTP/1.0 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello", 200,
     "hello", 1, 1, true},
    {"101 then other bytes",
     "HTTP/1.1 101 Switching Protocols\r\nUpgrade: other\r\nConnection: Upgrade\r\n\r\n"
     "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nwrong",
     101, "", 1, 1, false},
    {"chunked after gzip", "HTTP/1.1 200 OK\r\nTransfer-Encoding: gzip, chunked\r\n\r\n5\r\nhello\r\n0\r\n\r\n", 200,
     "hello", 1, 1, true},
    {"chunked on a folded line",
     "HTTP/1.1 200 OK\r\nTransfer-Encoding: gzip,\r\n\tchunked\r\nX-A: b\r\n\r\n5\r\nhello\r\n0\r\n\r\n", 200,
     "hello", 1, 1, true},
    {"chunked not last", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked, gzip\r\nContent-Length: 1\r\n\r\n3\r\nraw",
     200, "3\r\nraw", 1, 0, false},
    {"200 up to the close", "HTTP/1.1 200 OK\r\n\r\nuntil close", 200, "until close", 1, 0, false},
    {"empty body up to the close", "HTTP/1.0 200 OK\r\n\r\n", 200, "", 1, 0, false},
    {"302 with a length", "HTTP/1.1 302 Found\r\nLocation: /next\r\nContent-Length: 5\r\n\r\nmoved", 200, "ok", 2, 1,
     true},
    {"302 with a length, then closed",
     "HTTP/1.1 302 Found\r\nLocation: /next\r\nContent-Length: 5\r\nConnection: close\r\n\r\nmoved", 200, "ok", 2, 2,
     true},
    {"302 up to the close", "HTTP/1.1 302 Found\r\nLocation: /next\r\n\r\nmoved", 200, "ok", 2, 0, false},
    {"302 up to the close, kept alive", "HTTP/1.1 302 Found\r\nLocation: /next\r\nConnection: keep-alive\r\n\r\nmoved",
     200, "ok", 2, 0, false},
    {"301 of 1.0 up to the close", "HTTP/1.0 301 Moved\r\nLocation: /next\r\n\r\nmoved", 200, "ok", 2, 0, false},
    {"302 up to the close, not followed", "HTTP/1.1 302 Found\r\nLocation: /next\r\n\r\nmoved", 302, "moved", 1, 0,
     false, false, false},
    {"401 up to the close", "HTTP/1.1 401 Unauthorized\r\nWWW-Authenticate: Basic realm=\"r\"\r\n\r\ndenied", 200,
     "ok", 2, 0, false},
    {"407 up to the close",
     "HTTP/1.1 407 Proxy Authentication Required\r\nProxy-Authenticate: Basic realm=\"r\"\r\n\r\ndenied", 200, "ok",
     2, 0, false, true},
    {"401 of a length, endless", "HTTP/1.1 401 Endless\r\nContent-Length: 99999999999\r\n\r\n", 401, kCut, 1, 1, false},
    {"401 chunked, endless", "HTTP/1.1 401 Endless\r\nTransfer-Encoding: chunked\r\n\r\nFFFFFFF\r\n", 401, kCut, 1, 1,
     false},
    {"401 up to the close, endless", "HTTP/1.1 401 Endless\r\n\r\n", 401, kCut, 1, 1, false},
    {"407 of a length, endless", "HTTP/1.1 407 Endless\r\nContent-Length: 99999999999\r\n\r\n", 407, kCut, 1, 1, false},
    {"407 chunked, endless", "HTTP/1.1 407 Endless\r\nTransfer-Encoding: chunked\r\n\r\nFFFFFFF\r\n", 407, kCut, 1, 1,
     false},
    {"407 up to the close, endless", "HTTP/1.1 407 Endless\r\n\r\n", 407, kCut, 1, 1, false},
    {"300 with no place to go, endless", "HTTP/1.1 300 Endless\r\n\r\n", 300, kCut, 1, 1, false},
    {"401 gzip of nothing, endless",
     "HTTP/1.1 401 Endless\r\nContent-Encoding: gzip\r\nContent-Length: 99999999999\r\n\r\n" + kGzipHead, 401,
     (kGzipHead + kNothing).substr(0, 65536), 1, 1, false},
};

// Reads one request header block from fd; empty when the peer closed.
std::string ReadRequest(int fd) {
  std::string req;
  char c;
  while (req.find("\r\n\r\n") == std::string::npos && ::read(fd, &c, 1) == 1) req += c;
  return req;
}

// Answers every request of a connection: with credentials or for /next with kOk, the
// first other one with Reply. With Close, each connection ends after its first answer.
LoopbackServer::Script Serve(const std::string& Reply, bool Close) {
  return [Reply, Close](int fd) {
    for (std::string req; !(req = ReadRequest(fd)).empty();) {
      const bool plain = req.find("Authorization:") == std::string::npos && req.find("/next ") == std::string::npos;
      SendAll(fd, plain ? Reply : kOk);
      const bool endless = plain && Reply.find(" Endless\r\n") != std::string::npos;
      const std::string& fill = Reply.find("gzip") == std::string::npos ? kCut : kNothing;
      for (int n = 0; endless && n < 512 && SendAll(fd, fill); ++n) endlessSent += fill.size();
      if (Close || endless) return;
    }
  };
}

class HttpReplyShapes : public ::testing::TestWithParam<bool> {
 protected:
  LocalOnlyResolver resolver;
};

TEST_P(HttpReplyShapes, StatusBodyAndConnectionReuse) {
  const bool close = GetParam();
  for (const Shape& s : kShapes) {
    if (!close && s.keepConnections == 0) continue;
    SCOPED_TRACE(s.name);
    LoopbackServer server(Serve(s.reply, close));
    THttpCli http(nullptr);
    TMemoryStream body;
    http.RcvdStream = &body;
    http.SetRequestVer("1.1");
    http.FollowRelocation = s.follow;
    // A client that waits for bytes that never come fails instead of holding the test.
    http.CtrlSocket()->SetTimeout(20000);
    const std::string origin = "127.0.0.1:" + server.PortText();
    if (s.viaProxy) {
      http.Proxy = "127.0.0.1";
      http.ProxyPort = server.PortText();
      http.ProxyUsername = "pu";
      http.ProxyPassword = "pp";
    }
    auto get = [&](const std::string& path) {
      body.SetSize(0);
      http.URL = "http://u:p@" + origin + path;
      try {
        http.Get();
      } catch (const EHttpException& e) {
        ADD_FAILURE() << path << ": " << e.Message() << " (" << e.ErrorCode() << ")";
      }
      return std::string(static_cast<const char*>(body.Memory()), size_t(body.Size()));
    };
    int begun = 0, ended = 0;
    http.OnDocBegin = TNotifyEvent::FromFunction([&](TObject*) { ++begun; });
    http.OnDocEnd = TNotifyEvent::FromFunction([&](TObject*) { EXPECT_EQ(++ended, begun); });
    EXPECT_EQ(get("/"), s.body);
    EXPECT_EQ(http.StatusCode(), s.status);
    const int connections = server.Accepted();
    EXPECT_EQ(connections, close ? s.requests : s.keepConnections);
    // The next request goes on the same connection only where the reply allows it.
    EXPECT_EQ(get("/next"), "ok");
    EXPECT_EQ(http.StatusCode(), 200);
    EXPECT_EQ(server.Accepted(), connections + (!close && s.reusable ? 0 : 1));
  }
}

const Shape& ShapeNamed(std::string_view name) {
  for (const Shape& s : kShapes)
    if (s.name == name) return s;
  throw std::invalid_argument(std::string(name));
}

// The same replies through the updater's three transports, each file fetched as the
// updater fetches it. An outcome is the final status, then either "!" for a download
// that reports a failure (an exception, or a stage code in the status text) or the
// file's content; the last count of the progress events is always the file's size.
struct TransportCase {
  const char* shape;
  std::string outcome[3];  // framework HTTP client, socket library, WinINet
};

const TransportCase kTransportCases[] = {
    {"304 with a length", {"304!", "304 ", "304!"}},
    {"204 with a length", {"204 ", "204 ", "204 "}},
    {"1.0 interim reply", {"200 hello", "200 hello", "200 hello"}},
    {"101 then other bytes", {"101!", "101 ", "999!"}},
    // libcurl cannot join folded lines: the two transports over it refuse the reply.
    {"chunked on a folded line", {"-1!", "200 hello", "999!"}},
    {"200 up to the close", {"200 until close", "200 until close", "200 until close"}},
    {"empty body up to the close", {"200 ", "200 ", "200 "}},
    {"302 up to the close", {"302!", "200 ok", "200 ok"}},
    {"401 up to the close", {"200 ok", "200 ok", "200 ok"}},
    {"401 of a length, endless", {"401!", "401 " + kCut, "401!"}},
    {"401 chunked, endless", {"401!", "401 " + kCut, "401!"}},
    {"401 up to the close, endless", {"401!", "401 " + kCut, "401!"}},
    {"407 of a length, endless", {"407!", "407 " + kCut, "407!"}},
    {"407 chunked, endless", {"407!", "407 " + kCut, "407!"}},
    {"407 up to the close, endless", {"407!", "407 " + kCut, "407!"}},
    {"300 with no place to go, endless", {"300!", "300 " + kCut, "300!"}},
    {"401 gzip of nothing, endless", {"401!", "401 " + (kGzipHead + kNothing).substr(0, 65536), "401!"}},
};

TEST_P(HttpReplyShapes, ThroughEveryTransport) {
  const bool close = GetParam();
  vxtest::NoProxyEnvironment noProxy;
  TempFolder local;
  const std::string file = local / "file";
  for (const TransportCase& c : kTransportCases) {
    const Shape& s = ShapeNamed(c.shape);
    if (!close && s.keepConnections == 0) continue;
    for (int transport = 0; transport < 3; ++transport) {
      SCOPED_TRACE(std::string(c.shape) + " through transport " + std::to_string(transport));
      LoopbackServer server(Serve(s.reply, close));
      std::unique_ptr<TStdDownloader> d;
      if (transport == 0)
        d = std::make_unique<TStdIndyDownloader>();
      else if (transport == 1)
        d = std::make_unique<TStdSockDownloader>();
      else
        d = std::make_unique<TStdWebAgentDownloader>();
      vxtest::DownloadEvents progress;
      progress.Attach(*d);
      bool failed = false;
      // Credentials only where the server asks for them: two of the clients send them at once.
      const bool challenged = s.reply.find("WWW-Authenticate") != std::string::npos;
      const std::string url = std::string("http://") + (challenged ? "u:p@" : "") + "127.0.0.1:" + server.PortText() + "/";
      endlessSent = 0;
      try {
        vxtest::FetchAsTheUpdater(*d, url, file, "", 80);
      } catch (const std::exception&) {
        failed = true;
      }
      EXPECT_LT(endlessSent, size_t{16} << 20) << "the client reads on after the bound";
      failed = failed || (transport == 2 && vxtest::StatusTextOf(*d) != "0");
      const std::string content = FileExists(file) ? ReadFileBytes(file) : "";
      DeleteFile(file);
      EXPECT_EQ(std::to_string(d->GetStatusCode()) + (failed ? "!" : " " + content), c.outcome[transport]);
      const auto end = std::find_if(progress.events.rbegin(), progress.events.rend(),
                                    [](const std::string& e) { return e[0] == 'E'; });
      if (!failed && end != progress.events.rend()) {
        EXPECT_EQ(*end, "E" + std::to_string(content.size()));
      }
    }
  }
}

// A server may close a kept connection just as the next request arrives: the request
// goes again on a new connection, once; when that one closes too, it ends with an error.
TEST_F(HttpReplyShapes, RequestOnAConnectionClosedUnderItGoesAgainOnce) {
  for (const bool freshOneClosesToo : {false, true}) {
    std::atomic<int> connection{0};
    LoopbackServer server([&](int fd) {
      const int n = ++connection;
      if (n == 1 && !ReadRequest(fd).empty()) SendAll(fd, kOk);
      if (!ReadRequest(fd).empty() && n == 2 && !freshOneClosesToo) SendAll(fd, kOk);
    });
    THttpCli http(nullptr);
    http.SetRequestVer("1.1");
    http.URL = "http://127.0.0.1:" + server.PortText() + "/";
    http.Get();
    if (freshOneClosesToo) {
      try {
        http.Get();
        ADD_FAILURE() << "no exception";
      } catch (const EHttpException& e) {
        EXPECT_EQ(e.ErrorCode(), httperrIncomplete) << e.Message();
      }
    } else {
      http.Get();
      EXPECT_EQ(http.StatusCode(), 200);
    }
    EXPECT_EQ(server.Accepted(), 2);
  }
}

INSTANTIATE_TEST_SUITE_P(Server, HttpReplyShapes, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "ClosesTheConnection" : "KeepsItOpen"; });

}  // namespace
