#include "platform/net/idhttp.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>

#include "platform/rtl/classes.h"
#include "tests/support/loopback.h"

using vxtest::LoopbackNginx;

namespace {

// Records the client's work events as "B<max>", "W<count>" and "E".
struct WorkLog {
  std::vector<std::string> events;
  std::vector<Int64> counts;
  bool non_read_mode = false;

  void Attach(TIdHTTP& http) {
    http.SetOnWorkBegin(TWorkBeginEvent::FromFunction([this](TObject*, TWorkMode m, Int64 max) {
      non_read_mode |= m != wmRead;
      events.push_back("B" + std::to_string(max));
    }));
    http.SetOnWork(TWorkEvent::FromFunction([this](TObject*, TWorkMode m, Int64 n) {
      non_read_mode |= m != wmRead;
      if (events.empty() || events.back() != "W") events.push_back("W");
      counts.push_back(n);
    }));
    http.SetOnWorkEnd(TWorkEndEvent::FromFunction([this](TObject*, TWorkMode m) {
      non_read_mode |= m != wmRead;
      events.push_back("E");
    }));
  }
  // Work counts must grow strictly and end at Total.
  void ExpectCountsUpTo(Int64 total) const {
    Int64 last = 0;
    for (Int64 c : counts) {
      EXPECT_GT(c, last);
      last = c;
    }
    EXPECT_EQ(last, total);
  }
};

std::string Contents(TMemoryStream& s) {
  return std::string(static_cast<const char*>(s.Memory()), static_cast<size_t>(s.Size()));
}

// A stream that keeps only its size and its last bytes: for bodies larger than memory.
class TTailStream : public TStream {
 public:
  Int64 Read(void*, Int64) override { return 0; }
  Int64 Write(const void* Buffer, Int64 Count) override {
    tail_.append(static_cast<const char*>(Buffer), static_cast<size_t>(Count));
    if (tail_.size() > 64) tail_.erase(0, tail_.size() - 64);
    size_ += Count;
    return Count;
  }
  Int64 Seek(Int64 Offset, TSeekOrigin Origin) override { return Origin == soBeginning ? Offset : size_; }
  const std::string& Tail() const { return tail_; }
  Int64 Written() const { return size_; }

 private:
  std::string tail_;
  Int64 size_ = 0;
};

class IdHttpTest : public ::testing::Test {
 protected:
  void SetUp() override { http.SetReadTimeout(10000); }
  TempFolder www;
  TIdHTTP http{nullptr};
  TIdSSLIOHandlerSocket ssl{nullptr};
  TMemoryStream body;
  WorkLog work;
};

TEST_F(IdHttpTest, PlainDownloadsAreExactWithWorkEventsInOrder) {
  LoopbackNginx nginx(www.Path());
  work.Attach(http);
  for (size_t size : {size_t{0}, size_t{1}, size_t{65535}, size_t{3} << 20}) {
    SCOPED_TRACE(size);
    const std::string data = vxtest::WriteRandomFile(www / "f.bin", size, size + 1);
    TMemoryStream out;
    work = {};
    http.Get(nginx.HttpUrl("/f.bin"), &out);
    EXPECT_EQ(Contents(out), data);
    EXPECT_EQ(http.ResponseCode(), 200);
    EXPECT_EQ(http.ResponseText(), "HTTP/1.1 200 OK");
    const std::vector<std::string> expected =
        size ? std::vector<std::string>{"B" + std::to_string(size), "W", "E"}
             : std::vector<std::string>{"B0", "E"};
    EXPECT_EQ(work.events, expected);
    work.ExpectCountsUpTo(static_cast<Int64>(size));
    EXPECT_FALSE(work.non_read_mode);
  }
}

TEST_F(IdHttpTest, RequestHeadersAreSentAndConnectionKeptAlive) {
  WriteFileBytes(www / "a.txt", "alpha");
  LoopbackNginx nginx(www.Path());
  http.Request().SetAccept("text/plain, */*");
  http.Request().SetAcceptLanguage("ko");
  http.Request().SetAcceptEncoding("gzip, deflate");
  http.Request().SetConnection("Keep-Alive");
  http.Request().SetUserAgent("Probe/1.0\r\nX-Injected: yes");
  http.Request().SetHost("user:secret@127.0.0.1:" + std::to_string(nginx.HttpPort()));
  for (int i = 0; i < 3; ++i) {
    TMemoryStream out;
    http.Get(nginx.HttpUrl("/a.txt"), &out);
    EXPECT_EQ(Contents(out), "alpha");
  }
  const auto log = nginx.AccessLog(3);
  ASSERT_EQ(log.size(), 3u);
  for (size_t i = 0; i < log.size(); ++i) {
    EXPECT_EQ(log[i].request, "GET /a.txt HTTP/1.1");
    EXPECT_EQ(log[i].accept, "text/plain, */*");
    EXPECT_EQ(log[i].accept_language, "ko");
    EXPECT_EQ(log[i].accept_encoding, "gzip, deflate");
    EXPECT_EQ(log[i].connection_header, "Keep-Alive");
    EXPECT_EQ(log[i].user_agent, "Probe/1.0X-Injected: yes");  // no header line of its own
    EXPECT_EQ(log[i].host, "127.0.0.1:" + std::to_string(nginx.HttpPort()));
    EXPECT_EQ(log[i].connection, log[0].connection);
    EXPECT_EQ(log[i].connection_requests, static_cast<long>(i + 1));
  }
}

TEST_F(IdHttpTest, UrlBytesOutsideAsciiAreEscaped) {
  WriteFileBytes(www / "a b\xed\x95\x9c.txt", "hangul");
  LoopbackNginx nginx(www.Path());
  http.Get(nginx.HttpUrl("/a b\xed\x95\x9c.txt"), &body);
  EXPECT_EQ(Contents(body), "hangul");
  EXPECT_EQ(nginx.AccessLog(1).at(0).request, "GET /a%20b%ED%95%9C.txt HTTP/1.1");
}

TEST_F(IdHttpTest, HttpsVerifiesTheServerAgainstTrustedCas) {
  const std::string data = vxtest::WriteRandomFile(www / "s.bin", 200000);
  LoopbackNginx nginx(www.Path());
  // Without the SSL handler there is no TLS at all.
  EXPECT_THROW(http.Get(nginx.HttpsUrl("/s.bin"), &body), EIdException);
  http.SetIOHandler(&ssl);
  {
    vxtest::ScopedTrust trust;
    http.Get(nginx.HttpsUrl("/s.bin"), &body);
    EXPECT_EQ(Contents(body), data);
    EXPECT_EQ(http.ResponseCode(), 200);
    for (auto cert : {LoopbackNginx::Cert::WrongHost, LoopbackNginx::Cert::OtherCa}) {
      TMemoryStream out;
      EXPECT_THROW(http.Get(nginx.HttpsUrl("/s.bin", cert), &out), EIdSSLError);
      EXPECT_EQ(http.ResponseCode(), -1);
      EXPECT_EQ(http.ResponseText(), "");
      EXPECT_EQ(out.Size(), 0);
    }
  }
  // The test CA is not in the system's store.
  EXPECT_THROW(http.Get(nginx.HttpsUrl("/s.bin"), &body), EIdSSLError);
}

TEST_F(IdHttpTest, HttpsNegotiatesTls12AndTls13) {
  WriteFileBytes(www / "v.txt", "version");
  vxtest::ScopedTrust trust;
  http.SetIOHandler(&ssl);
  for (const char* protocol : {"TLSv1.2", "TLSv1.3"}) {
    LoopbackNginx nginx(www.Path(), {protocol});
    TMemoryStream out;
    http.Get(nginx.HttpsUrl("/v.txt"), &out);
    EXPECT_EQ(Contents(out), "version") << protocol;
  }
}

TEST_F(IdHttpTest, CodedBodiesAreDecoded) {
  const std::string data = vxtest::WriteRandomFile(www / "z.bin", 300000);
  WriteFileBytes(www / "t.txt", std::string(100000, 'x'));
  LoopbackNginx nginx(www.Path());
  vxtest::OddServer odd;
  http.Request().SetAcceptEncoding("gzip, deflate");
  work.Attach(http);
  http.Get(nginx.HttpUrl("/gzip/t.txt"), &body);
  EXPECT_EQ(Contents(body), std::string(100000, 'x'));
  EXPECT_EQ(work.events.front(), "B-1");  // the announced length counts coded bytes
  for (const char* coding : {"/gzip/", "/deflate/"}) {
    TMemoryStream out;
    work = {};
    http.Get(odd.Url(std::string(coding) + "250000"), &out);
    EXPECT_EQ(Contents(out), vxtest::OddServer::Body(250000)) << coding;
    EXPECT_EQ(work.events, (std::vector<std::string>{"B-1", "W", "E"}));
    work.ExpectCountsUpTo(250000);
  }
  // Not advertised: the body arrives as stored.
  http.Request().SetAcceptEncoding("");
  TMemoryStream raw;
  http.Get(nginx.HttpUrl("/gzip/z.bin"), &raw);
  EXPECT_EQ(Contents(raw), data);
}

TEST_F(IdHttpTest, BodiesWithoutLengthOrInChunksComplete) {
  vxtest::OddServer odd;
  work.Attach(http);
  http.Get(odd.Url("/nolength/70000"), &body);
  EXPECT_EQ(Contents(body), vxtest::OddServer::Body(70000));
  EXPECT_EQ(work.events, (std::vector<std::string>{"B-1", "W", "E"}));
  TMemoryStream chunked;
  work = {};
  http.Get(odd.Url("/chunked/54321"), &chunked);
  EXPECT_EQ(Contents(chunked), vxtest::OddServer::Body(54321));
  EXPECT_EQ(work.events, (std::vector<std::string>{"B-1", "W", "E"}));  // trailer ignored
}

TEST_F(IdHttpTest, ErrorRepliesRaiseWithCodeAndStatusLine) {
  LoopbackNginx nginx(www.Path());
  vxtest::OddServer odd;
  work.Attach(http);
  struct Case {
    std::string url;
    int code;
    std::string text, body;
  } cases[] = {
      {nginx.HttpUrl("/missing.bin"), 404, "HTTP/1.1 404 Not Found", ""},
      {odd.Url("/status/500"), 500, "HTTP/1.1 500 Internal Server Error", "status 500 body"},
      {odd.Url("/redirect"), 302, "HTTP/1.1 302 Found", "moved"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.url);
    TMemoryStream out;
    try {
      http.Get(c.url, &out);
      ADD_FAILURE() << "no exception";
    } catch (const EIdHTTPProtocolException& e) {
      EXPECT_EQ(e.ErrorCode(), c.code);
      EXPECT_EQ(e.Message(), c.text);
      if (!c.body.empty()) {
        EXPECT_EQ(e.ErrorMessage(), c.body);
      }
    }
    EXPECT_EQ(http.ResponseCode(), c.code);
    EXPECT_EQ(http.ResponseText(), c.text);
    EXPECT_EQ(out.Size(), 0);
  }
  EXPECT_TRUE(work.events.empty());
}

TEST_F(IdHttpTest, BrokenConnectionsRaiseSocketErrors) {
  vxtest::OddServer odd;
  try {
    http.Get("http://127.0.0.1:" + std::to_string(vxtest::FreePort()) + "/x", &body);
    ADD_FAILURE() << "no exception";
  } catch (const EIdSocketError& e) {
    EXPECT_EQ(e.LastError(), ECONNREFUSED);
  }
  EXPECT_EQ(http.ResponseCode(), -1);

  work.Attach(http);
  try {
    http.Get(odd.Url("/cut/100000/40000"), &body);
    ADD_FAILURE() << "no exception";
  } catch (const EIdSocketError& e) {
    EXPECT_EQ(e.Message(), "Connection closed after 40000 of 100000 bytes");
  }
  EXPECT_EQ(http.ResponseCode(), 200);  // the reply had arrived
  EXPECT_EQ(Contents(body), vxtest::OddServer::Body(40000));
  EXPECT_EQ(work.events, (std::vector<std::string>{"B100000", "W"}));  // no end

  TMemoryStream reset;
  EXPECT_THROW(http.Get(odd.Url("/reset/100000/30000"), &reset), EIdSocketError);

  // A stalled peer: what came is written and reported at once, well before the wait
  // ends; and the wait ends, long before the default minute.
  http.SetReadTimeout(3000);
  const auto start = std::chrono::steady_clock::now();
  auto firstWork = start - std::chrono::hours(1);
  http.SetOnWork(TWorkEvent::FromFunction([&](TObject*, TWorkMode, Int64 n) {
    if (n == 1000) firstWork = std::chrono::steady_clock::now();
  }));
  TMemoryStream stalled;
  EXPECT_THROW(http.Get(odd.Url("/stall/100000/1000"), &stalled), EIdSocketError);
  const auto end = std::chrono::steady_clock::now();
  EXPECT_LT(end - start, std::chrono::seconds(30));
  EXPECT_GT(firstWork, start);
  EXPECT_GE(end - firstWork, std::chrono::milliseconds(1000)) << "reported only when the wait ended";
  EXPECT_EQ(stalled.Size(), 1000);

  EXPECT_THROW(http.Get("ftp://127.0.0.1/x", &body), EIdException);
  EXPECT_THROW(http.Get("file:///etc/passwd", &body), EIdException);
}

TEST_F(IdHttpTest, HandlerExceptionsAbortAndLeaveGet) {
  vxtest::WriteRandomFile(www / "big.bin", 4 << 20);
  WriteFileBytes(www / "small.txt", "small");
  LoopbackNginx nginx(www.Path());
  http.SetOnWork(TWorkEvent::FromFunction([](TObject*, TWorkMode, Int64 n) {
    if (n > 0) throw EAbort("stop here");
  }));
  EXPECT_THROW(http.Get(nginx.HttpUrl("/big.bin"), &body), EAbort);
  EXPECT_LT(body.Size(), 4 << 20);
  // The client is usable afterwards.
  http.SetOnWork(nullptr);
  TMemoryStream out;
  http.Get(nginx.HttpUrl("/small.txt"), &out);
  EXPECT_EQ(Contents(out), "small");
}

TEST_F(IdHttpTest, ProxyWithAndWithoutBasicAuthentication) {
  const std::string data = vxtest::WriteRandomFile(www / "p.bin", 123456);
  LoopbackNginx nginx(www.Path());
  {
    vxtest::LoopbackProxy proxy;
    http.ProxyParams().SetProxyServer(proxy.Host());
    http.ProxyParams().SetProxyPort(proxy.Port());
    http.Get(nginx.HttpUrl("/p.bin"), &body);
    EXPECT_EQ(Contents(body), data);
    EXPECT_NE(proxy.Log().find("GET http://127.0.0.1:" + std::to_string(nginx.HttpPort()) + "/p.bin"),
              std::string::npos);
  }
  vxtest::LoopbackProxy proxy("agent", "s3cret");
  http.ProxyParams().SetProxyServer(proxy.Host());
  http.ProxyParams().SetProxyPort(proxy.Port());
  TMemoryStream refused;
  EXPECT_THROW(http.Get(nginx.HttpUrl("/p.bin"), &refused), EIdHTTPProtocolException);
  EXPECT_EQ(http.ResponseCode(), 407);
  http.ProxyParams().SetProxyUsername("agent");
  http.ProxyParams().SetProxyPassword("s3cret");
  TMemoryStream plain;
  http.Get(nginx.HttpUrl("/p.bin"), &plain);
  EXPECT_EQ(Contents(plain), data);
  // HTTPS goes through a tunnel.
  vxtest::ScopedTrust trust;
  http.SetIOHandler(&ssl);
  TMemoryStream secure;
  http.Get(nginx.HttpsUrl("/p.bin"), &secure);
  EXPECT_EQ(Contents(secure), data);
}

TEST_F(IdHttpTest, WireLogRecordsTrafficWhileActive) {
  WriteFileBytes(www / "l.txt", "logged body");
  LoopbackNginx nginx(www.Path());
  TIdLogFile log(nullptr);
  http.SetIntercept(&log);
  log.SetFilename(www / "wire.log");
  log.SetActive(true);
  http.Get(nginx.HttpUrl("/l.txt"), &body);
  log.SetActive(false);
  TMemoryStream again;
  http.Get(nginx.HttpUrl("/l.txt?second"), &again);
  const std::string text = ReadFileBytes(www / "wire.log");
  EXPECT_NE(text.find(" Sent: GET /l.txt HTTP/1.1\r\n"), std::string::npos) << text;
  EXPECT_NE(text.find(" Recv: HTTP/1.1 200 OK\r\n"), std::string::npos);
  EXPECT_NE(text.find(" Recv: logged body"), std::string::npos);
  EXPECT_EQ(text.find("second"), std::string::npos);

  log.SetFilename(www.Path() + "/no/such/dir/wire.log");
  EXPECT_THROW(log.SetActive(true), EFOpenError);
}

// Sizes and positions beyond 32 bits: a sparse file of 4 GiB and a bit.
TEST_F(IdHttpTest, BodiesBeyondFourGigabytes) {
  const Int64 size = (Int64{4} << 30) + 4097;
  const std::string tail = "the last bytes of a large file";
  vxtest::WriteSparseFile(www / "huge.bin", size, tail);
  LoopbackNginx nginx(www.Path());
  work.Attach(http);
  TTailStream out;
  http.Get(nginx.HttpUrl("/huge.bin"), &out);
  EXPECT_EQ(out.Written(), size);
  EXPECT_EQ(out.Tail().substr(out.Tail().size() - tail.size()), tail);
  EXPECT_EQ(work.events.front(), "B" + std::to_string(size));
  EXPECT_EQ(work.counts.back(), size);
}

}  // namespace
