#include "platform/net/wininet.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "platform/rtl/system.h"
#include "tests/support/loopback.h"

using vxtest::LoopbackNginx;

namespace {

// A handle closed at the end of the scope.
class Inet {
 public:
  explicit Inet(HINTERNET h = nullptr) : h_(h) {}
  ~Inet() {
    if (h_) InternetCloseHandle(h_);
  }
  Inet(const Inet&) = delete;
  Inet& operator=(const Inet&) = delete;
  operator HINTERNET() const { return h_; }

 private:
  HINTERNET h_;
};

struct Reply {
  BOOL sent = FALSE;
  DWORD error = 0;  // of the call that failed
  DWORD status = 0;
  Int64 length = -1;
  std::string body;
  std::vector<DWORD> reads;  // the count of each successful read, the final 0 included
  bool read_failed = false;
};

// Reads the rest of a sent request's body in blocks of Block bytes.
void ReadBody(HINTERNET request, DWORD Block, Reply& r) {
  std::string block(Block, '\0');
  for (;;) {
    DWORD got = 0;
    if (!InternetReadFile(request, block.data(), Block, &got)) {
      r.read_failed = true;
      r.error = GetLastError();
      return;
    }
    r.reads.push_back(got);
    if (got == 0) return;
    r.body.append(block.data(), got);
  }
}

// One request: open, send, query status and length, read the body.
Reply Fetch(HINTERNET connection, const std::string& path, DWORD flags = 0, DWORD block = 4096,
            const char* version = "HTTP/1.0", const char* referrer = nullptr,
            LPCSTR* accept = nullptr) {
  Reply r;
  Inet request(HttpOpenRequest(connection, "GET", path.c_str(), version, referrer, accept, flags, 0));
  if (!static_cast<HINTERNET>(request)) {
    r.error = GetLastError();
    return r;
  }
  r.sent = HttpSendRequest(request, nullptr, 0, nullptr, 0);
  if (!r.sent) {
    r.error = GetLastError();
    return r;
  }
  DWORD size = sizeof r.status;
  EXPECT_TRUE(HttpQueryInfo(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &r.status, &size, nullptr));
  ULONGLONG length = 0;
  size = sizeof length;
  if (HttpQueryInfo(request, HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER64, &length, &size, nullptr))
    r.length = static_cast<Int64>(length);
  else
    EXPECT_EQ(GetLastError(), ERROR_HTTP_HEADER_NOT_FOUND);
  ReadBody(request, block, r);
  return r;
}

class WinInetTest : public ::testing::Test {
 protected:
  HINTERNET Connect(int port, const char* user = nullptr, const char* password = nullptr) {
    HINTERNET c = InternetConnect(session, "127.0.0.1", static_cast<INTERNET_PORT>(port), user, password,
                                  INTERNET_SERVICE_HTTP, 0, 0);
    EXPECT_NE(c, nullptr);
    return c;
  }

  vxtest::NoProxyEnvironment no_proxy;
  TempFolder www;
  Inet session{InternetOpen("Probe/2.0", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0)};
};

TEST_F(WinInetTest, BodiesStreamInWholeBlocksOverOneKeptConnection) {
  LoopbackNginx nginx(www.Path());
  Inet connection(Connect(nginx.HttpPort()));
  LPCSTR accept[] = {"text/plain", "*/*", nullptr};
  const size_t sizes[] = {0, 1, 4096, 70000, (size_t{3} << 20) + 5};
  for (size_t size : sizes) {
    SCOPED_TRACE(size);
    const std::string data = vxtest::WriteRandomFile(www / "f.bin", size, size + 3);
    const Reply r = Fetch(connection, "/f.bin", 0, 4096, "HTTP/1.0", nullptr, accept);
    ASSERT_TRUE(r.sent) << r.error;
    EXPECT_EQ(r.status, 200u);
    EXPECT_EQ(r.length, static_cast<Int64>(size));
    EXPECT_FALSE(r.read_failed);
    EXPECT_TRUE(r.body == data);
    // Every read fills its block but the last one with data, then the end.
    ASSERT_FALSE(r.reads.empty());
    EXPECT_EQ(r.reads.back(), 0u);
    for (size_t i = 0; i + 2 < r.reads.size(); ++i) EXPECT_EQ(r.reads[i], 4096u) << i;
  }
  const auto log = nginx.AccessLog(std::size(sizes));
  ASSERT_EQ(log.size(), std::size(sizes));
  for (const auto& a : log) {
    EXPECT_EQ(a.request, "GET /f.bin HTTP/1.0");
    EXPECT_EQ(a.connection, log[0].connection);
    EXPECT_EQ(a.connection_header, "Keep-Alive");
    EXPECT_EQ(a.accept, "text/plain, */*");
    EXPECT_EQ(a.user_agent, "Probe/2.0");
    EXPECT_EQ(a.accept_encoding, "");
  }
  // HTTP/1.1 on request; a path with bytes not valid in a URL goes percent-encoded.
  WriteFileBytes(www / "a b\xed\x95\x9c.txt", "hangul");
  const Reply r = Fetch(connection, "/a b\xed\x95\x9c.txt", 0, 4096, nullptr);
  EXPECT_EQ(r.body, "hangul");
  EXPECT_EQ(nginx.AccessLog(std::size(sizes) + 1).back().request, "GET /a%20b%ED%95%9C.txt HTTP/1.1");
}

TEST_F(WinInetTest, RequestsCarryReferrerAndAcceptTypesOnly) {
  vxtest::OddServer odd;
  Inet connection(Connect(odd.Port()));
  LPCSTR accept[] = {"*/*", nullptr};
  const Reply r = Fetch(connection, "/headers", 0, 1024, "HTTP/1.0", "HTTP://127.0.0.1/prev\r\nX: y", accept);
  ASSERT_EQ(r.status, 200u);
  EXPECT_EQ(r.body.rfind("GET /headers HTTP/1.0\r\n", 0), 0u) << r.body;
  for (const char* line : {"\r\nReferer: HTTP://127.0.0.1/prevX: y\r\n", "\r\nAccept: */*\r\n",
                           "\r\nUser-Agent: Probe/2.0\r\n", "\r\nConnection: Keep-Alive\r\n"})
    EXPECT_NE(r.body.find(line), std::string::npos) << line << " in\n" << r.body;
  for (const char* name : {"Accept-Encoding", "Authorization", "\r\nX: y"})
    EXPECT_EQ(r.body.find(name), std::string::npos) << name;
  // No accept types: no Accept header at all.
  const Reply bare = Fetch(connection, "/headers");
  EXPECT_EQ(bare.body.find("Accept"), std::string::npos) << bare.body;
}

TEST_F(WinInetTest, QueryInfoGivesNumbersAndText) {
  vxtest::WriteRandomFile(www / "f.bin", 70000);
  const Int64 huge = (Int64{5} << 30) + 7;
  vxtest::WriteSparseFile(www / "huge.bin", huge, "end");
  LoopbackNginx nginx(www.Path());
  vxtest::OddServer odd;
  Inet connection(Connect(nginx.HttpPort()));
  Inet request(HttpOpenRequest(connection, nullptr, "/f.bin", nullptr, nullptr, nullptr, 0, 0));
  char text[16] = {};
  DWORD size = sizeof text;
  EXPECT_FALSE(HttpQueryInfo(request, HTTP_QUERY_STATUS_CODE, text, &size, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INTERNET_INCORRECT_HANDLE_STATE);
  ASSERT_TRUE(HttpSendRequest(request, nullptr, 0, nullptr, 0));

  size = sizeof text;
  ASSERT_TRUE(HttpQueryInfo(request, HTTP_QUERY_CONTENT_LENGTH, text, &size, nullptr));
  EXPECT_STREQ(text, "70000");
  EXPECT_EQ(size, 5u);
  size = 3;
  EXPECT_FALSE(HttpQueryInfo(request, HTTP_QUERY_STATUS_CODE, text, &size, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(size, 4u);
  WORD tooSmall = 0;
  size = sizeof tooSmall;
  EXPECT_FALSE(HttpQueryInfo(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &tooSmall, &size, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_FALSE(HttpQueryInfo(request, 1 /* content type */, text, &size, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);

  // Beyond 32 bits only the 64-bit form can give the length.
  Inet large(HttpOpenRequest(connection, "GET", "/huge.bin", "HTTP/1.0", nullptr, nullptr, 0, 0));
  ASSERT_TRUE(HttpSendRequest(large, nullptr, 0, nullptr, 0));
  DWORD length32 = 0;
  size = sizeof length32;
  EXPECT_FALSE(HttpQueryInfo(large, HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER, &length32, &size, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_ARITHMETIC_OVERFLOW);
  ULONGLONG length64 = 0;
  size = sizeof length64;
  ASSERT_TRUE(HttpQueryInfo(large, HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER64, &length64, &size, nullptr));
  EXPECT_EQ(length64, static_cast<ULONGLONG>(huge));

  // A chunked reply has no length; its body is decoded.
  Inet oddConnection(Connect(odd.Port()));
  const Reply chunked = Fetch(oddConnection, "/chunked/54321");
  EXPECT_EQ(chunked.length, -1);
  EXPECT_TRUE(chunked.body == vxtest::OddServer::Body(54321));
}

TEST_F(WinInetTest, FailuresLeaveTheirErrors) {
  vxtest::OddServer odd;
  Inet refused(Connect(vxtest::FreePort()));
  Reply r = Fetch(refused, "/x");
  EXPECT_FALSE(r.sent);
  EXPECT_EQ(r.error, ERROR_INTERNET_CANNOT_CONNECT);

  Inet connection(Connect(odd.Port()));
  // A body cut short hands over what came, then fails.
  r = Fetch(connection, "/cut/5000/100");
  EXPECT_EQ(r.status, 200u);
  EXPECT_TRUE(r.body == vxtest::OddServer::Body(100));
  EXPECT_TRUE(r.read_failed);
  EXPECT_EQ(r.error, ERROR_INTERNET_CONNECTION_ABORTED);
  r = Fetch(connection, "/reset/50000/30000");
  EXPECT_TRUE(r.read_failed);
  EXPECT_TRUE(r.error == ERROR_INTERNET_CONNECTION_RESET || r.error == ERROR_INTERNET_CONNECTION_ABORTED) << r.error;
  EXPECT_LE(r.body.size(), 30000u);

  // A stalled peer: the receive time-out, inherited from the connection.
  DWORD timeout = 300;
  ASSERT_TRUE(InternetSetOption(connection, INTERNET_OPTION_RECEIVE_TIMEOUT, &timeout, sizeof timeout));
  const auto start = std::chrono::steady_clock::now();
  r = Fetch(connection, "/stall/5000/100");
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30)) << "the default is a minute";
  EXPECT_EQ(r.body.size(), 100u);
  EXPECT_TRUE(r.read_failed);
  EXPECT_EQ(r.error, ERROR_INTERNET_TIMEOUT);
}

TEST_F(WinInetTest, BadArgumentsAndHandlesAreRefused) {
  EXPECT_EQ(InternetOpen("a\r\nX-Injected: 1", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(InternetConnect(session, "bad host", 80, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INTERNET_INVALID_URL);
  EXPECT_EQ(InternetConnect(session, "", 80, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);

  HINTERNET connection = Connect(80);
  EXPECT_EQ(InternetConnect(connection, "h", 80, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
  EXPECT_EQ(HttpOpenRequest(connection, "GET", "/", "HTTP/2.0", nullptr, nullptr, 0, 0), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(HttpOpenRequest(connection, "G T", "/", nullptr, nullptr, nullptr, 0, 0), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  DWORD value = 5;
  EXPECT_FALSE(InternetSetOption(connection, 99, &value, sizeof value));
  EXPECT_EQ(GetLastError(), ERROR_INTERNET_INVALID_OPTION);
  EXPECT_FALSE(InternetSetOption(connection, INTERNET_OPTION_CONNECT_TIMEOUT, &value, 2));
  EXPECT_EQ(GetLastError(), ERROR_INTERNET_BAD_OPTION_LENGTH);

  HINTERNET request = HttpOpenRequest(connection, "GET", "/", nullptr, nullptr, nullptr, 0, 0);
  ASSERT_NE(request, nullptr);
  char buf[16];
  DWORD got = 7;
  EXPECT_FALSE(InternetReadFile(request, buf, sizeof buf, &got));
  EXPECT_EQ(GetLastError(), ERROR_INTERNET_INCORRECT_HANDLE_STATE);
  EXPECT_EQ(got, 0u);
  // Closing the connection closes its request; a closed handle stays closed.
  EXPECT_TRUE(InternetCloseHandle(connection));
  EXPECT_FALSE(InternetReadFile(request, buf, sizeof buf, &got));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_FALSE(InternetCloseHandle(request));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_FALSE(InternetCloseHandle(nullptr));
}

// An HTTPS peer whose certificate, by its own CA, has expired: openssl s_server serving
// a folder.
class ExpiredTlsPeer {
 public:
  explicit ExpiredTlsPeer(const std::string& docroot) {
    const std::string d = dir_.Path() + "/";
    const std::string out = d + "openssl.out";
    const std::vector<std::string> key = {"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"};
    std::vector<std::string> ca = {"openssl", "req", "-x509", "-subj", "/CN=Expired Test CA", "-days", "30",
                                   "-keyout", d + "ca.key", "-out", d + "ca.pem"};
    ca.insert(ca.end(), key.begin(), key.end());
    vxtest::Run(ca, out);
    std::vector<std::string> csr = {"openssl", "req", "-new", "-subj", "/CN=127.0.0.1", "-addext",
                                    "subjectAltName=IP:127.0.0.1", "-keyout", d + "s.key", "-out", d + "s.csr"};
    csr.insert(csr.end(), key.begin(), key.end());
    vxtest::Run(csr, out);
    vxtest::Run({"openssl", "x509", "-req", "-in", d + "s.csr", "-CA", d + "ca.pem", "-CAkey", d + "ca.key",
                 "-copy_extensions", "copy", "-days", "-1", "-out", d + "s.pem"},
                out);
    ca_file_ = d + "ca.pem";
    port_ = vxtest::FreePort();
    process_ = std::make_unique<vxtest::ChildProcess>(std::vector<std::string>{
        "sh", "-c",
        "cd '" + docroot + "' && exec openssl s_server -quiet -WWW -accept 127.0.0.1:" + std::to_string(port_) +
            " -cert " + d + "s.pem -key " + d + "s.key"});
    if (!vxtest::WaitForPort(port_, 10000)) throw std::runtime_error("openssl s_server did not start");
  }
  int Port() const { return port_; }
  const std::string& CaFile() const { return ca_file_; }

 private:
  TempFolder dir_;
  std::string ca_file_;
  int port_ = 0;
  std::unique_ptr<vxtest::ChildProcess> process_;
};

TEST_F(WinInetTest, HttpsChecksWhatTheFlagsDoNotWaive) {
  const std::string data = vxtest::WriteRandomFile(www / "s.bin", 100000);
  LoopbackNginx nginx(www.Path());
  auto port = [&](LoopbackNginx::Cert cert) {
    const std::string url = nginx.HttpsUrl("/", cert);
    return std::stoi(url.substr(url.rfind(':') + 1));
  };
  constexpr DWORD kIgnoreName = INTERNET_FLAG_SECURE | INTERNET_FLAG_IGNORE_CERT_CN_INVALID;
  constexpr DWORD kIgnoreBoth = kIgnoreName | INTERNET_FLAG_IGNORE_CERT_DATE_INVALID;
  {
    vxtest::ScopedTrust trust;
    Inet good(Connect(port(LoopbackNginx::Cert::Good)));
    Reply r = Fetch(good, "/s.bin", INTERNET_FLAG_SECURE);
    EXPECT_EQ(r.status, 200u);
    EXPECT_TRUE(r.body == data);

    Inet wrongHost(Connect(port(LoopbackNginx::Cert::WrongHost)));
    EXPECT_EQ(Fetch(wrongHost, "/s.bin", INTERNET_FLAG_SECURE).error, ERROR_INTERNET_SEC_CERT_CN_INVALID);
    r = Fetch(wrongHost, "/s.bin", kIgnoreName);
    EXPECT_TRUE(r.body == data);
    // The connection that skipped the name check is not reused by a request that makes it.
    EXPECT_EQ(Fetch(wrongHost, "/s.bin", INTERNET_FLAG_SECURE).error, ERROR_INTERNET_SEC_CERT_CN_INVALID);

    Inet otherCa(Connect(port(LoopbackNginx::Cert::OtherCa)));
    EXPECT_EQ(Fetch(otherCa, "/s.bin", kIgnoreBoth).error, ERROR_INTERNET_INVALID_CA);
  }
  // The test CA is not in the system's store.
  Inet good(Connect(port(LoopbackNginx::Cert::Good)));
  EXPECT_EQ(Fetch(good, "/s.bin", kIgnoreBoth).error, ERROR_INTERNET_INVALID_CA);

  ExpiredTlsPeer expired(www.Path());
  vxtest::ScopedTrust trust(expired.CaFile());
  Inet connection(Connect(expired.Port()));
  Reply r = Fetch(connection, "/s.bin", kIgnoreName);
  EXPECT_EQ(r.error, ERROR_INTERNET_SEC_CERT_DATE_INVALID);
  r = Fetch(connection, "/s.bin", kIgnoreBoth);
  EXPECT_EQ(r.status, 200u);
  EXPECT_TRUE(r.body == data);
  // Nor is one that skipped the date check.
  EXPECT_EQ(Fetch(connection, "/s.bin", kIgnoreName).error, ERROR_INTERNET_SEC_CERT_DATE_INVALID);
}

TEST_F(WinInetTest, RedirectsAreFollowedAndBasicChallengesAnswered) {
  vxtest::OddServer odd;
  Inet connection(Connect(odd.Port()));
  Reply r = Fetch(connection, "/redirect");
  EXPECT_EQ(r.status, 200u);
  EXPECT_TRUE(r.body == vxtest::OddServer::Body(10));
  r = Fetch(connection, "/redirect", INTERNET_FLAG_NO_AUTO_REDIRECT);
  EXPECT_EQ(r.status, 302u);
  EXPECT_EQ(r.body, "moved");

  r = Fetch(connection, "/auth/agent/s3cret");
  EXPECT_EQ(r.status, 401u);
  EXPECT_EQ(r.body, "who are you");
  Inet withUser(Connect(odd.Port(), "agent", "s3cret"));
  r = Fetch(withUser, "/auth/agent/s3cret");
  EXPECT_EQ(r.status, 200u);
  EXPECT_EQ(r.body, "welcome agent");
  Inet wrongUser(Connect(odd.Port(), "agent", "guess"));
  EXPECT_EQ(Fetch(wrongUser, "/auth/agent/s3cret").status, 401u);
  // Credentials go only where they are asked for.
  r = Fetch(withUser, "/headers");
  EXPECT_EQ(r.body.find("Authorization"), std::string::npos);
}

TEST_F(WinInetTest, ProxiesComeFromTheEnvironment) {
  const std::string data = vxtest::WriteRandomFile(www / "p.bin", 20000);
  LoopbackNginx nginx(www.Path());
  vxtest::LoopbackProxy proxy;
  const std::string proxyUrl = "http://" + proxy.Host() + ":" + std::to_string(proxy.Port());
  vxtest::ScopedEnv http("http_proxy", proxyUrl.c_str());
  vxtest::ScopedEnv https("https_proxy", proxyUrl.c_str());
  auto countInProxyLog = [&](const std::string& what) {
    const std::string log = proxy.Log();
    size_t n = 0;
    for (size_t at = log.find(what); at != std::string::npos; at = log.find(what, at + 1)) ++n;
    return n;
  };

  Inet preconfigured(InternetOpen("Probe", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
  Inet viaProxy(InternetConnect(preconfigured, "127.0.0.1", static_cast<INTERNET_PORT>(nginx.HttpPort()),
                                nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0));
  Reply r = Fetch(viaProxy, "/p.bin");
  EXPECT_TRUE(r.body == data);
  const size_t seen = countInProxyLog("/p.bin");
  EXPECT_GE(seen, 1u);

  Inet direct(InternetOpen("Probe", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
  Inet straight(InternetConnect(direct, "127.0.0.1", static_cast<INTERNET_PORT>(nginx.HttpPort()), nullptr,
                                nullptr, INTERNET_SERVICE_HTTP, 0, 0));
  r = Fetch(straight, "/p.bin");
  EXPECT_TRUE(r.body == data);
  EXPECT_EQ(countInProxyLog("/p.bin"), seen);

  // HTTPS goes through the proxy's tunnel.
  vxtest::ScopedTrust trust;
  const std::string url = nginx.HttpsUrl("/");
  Inet tunnel(InternetConnect(preconfigured, "127.0.0.1", static_cast<INTERNET_PORT>(std::stoi(url.substr(url.rfind(':') + 1))),
                              nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0));
  r = Fetch(tunnel, "/p.bin", INTERNET_FLAG_SECURE);
  EXPECT_TRUE(r.body == data);
  EXPECT_NE(proxy.Log().find("CONNECT"), std::string::npos);
}

}  // namespace
