#include "transport/StdIndyDownloader.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/downloads.h"
#include "tests/support/loopback.h"

namespace {

using vxtest::LoopbackNginx;

class StdIndyDownloaderTest : public ::testing::Test {
 protected:
  // One file, the way the updater fetches each.
  void Fetch(const std::string& url, const std::string& dest) {
    vxtest::FetchAsTheUpdater(d, url, dest, proxy_host, proxy_port);
  }
  std::string StatusText() { return vxtest::StatusTextOf(d); }

  TempFolder www, local;
  TStdIndyDownloader d;
  vxtest::DownloadEvents progress;
  std::string proxy_host;
  Integer proxy_port = 80;
};

TEST_F(StdIndyDownloaderTest, DownloadsFilesOverOneKeptConnection) {
  const std::string a = vxtest::WriteRandomFile(www / "a.bin", 1 << 20, 1);
  const std::string b = vxtest::WriteRandomFile(www / "b.bin", 70000, 2);
  LoopbackNginx nginx(www.Path());
  progress.Attach(d);
  Fetch(nginx.HttpUrl("/a.bin"), local / "a.bin");
  EXPECT_EQ(ReadFileBytes(local / "a.bin"), a);
  EXPECT_EQ(d.GetStatusCode(), 200);
  EXPECT_EQ(StatusText(), "HTTP/1.1 200 OK");
  EXPECT_EQ(d.ExpectedSize(), 1 << 20);
  ASSERT_GE(progress.events.size(), 3u);
  EXPECT_EQ(progress.events.front(), "B1048576");
  EXPECT_EQ(progress.events[progress.events.size() - 2], "W1048576");
  EXPECT_EQ(progress.events.back(), "E1048576");

  progress.events.clear();
  Fetch(nginx.HttpUrl("/b.bin"), local / "b.bin");
  EXPECT_EQ(ReadFileBytes(local / "b.bin"), b);
  EXPECT_EQ(progress.events.front(), "B70000");
  EXPECT_EQ(progress.events.back(), "E70000");

  const auto log = nginx.AccessLog(2);
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[1].connection, log[0].connection);
  EXPECT_EQ(log[0].accept, "*/*");
  EXPECT_EQ(log[0].accept_language, "ko");
  EXPECT_EQ(log[0].accept_encoding, "gzip, deflate");
  EXPECT_EQ(log[0].user_agent, "Mozilla/4.0 (compatible; Drovi Http Client)");
  EXPECT_EQ(log[0].connection_header, "Keep-Alive");
}

TEST_F(StdIndyDownloaderTest, HttpAfterHttpsRunsWithoutTheTlsHandler) {
  const std::string data = vxtest::WriteRandomFile(www / "s.bin", 100000);
  LoopbackNginx nginx(www.Path());
  vxtest::ScopedTrust trust;
  Fetch(nginx.HttpsUrl("/s.bin"), local / "s1.bin");
  Fetch(nginx.HttpsUrl("/s.bin"), local / "s1.bin");
  EXPECT_EQ(ReadFileBytes(local / "s1.bin"), data);
  EXPECT_NE(d.Http()->IOHandler(), nullptr);
  const auto log = nginx.AccessLog(2);
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[1].connection, log[0].connection);  // a new handler keeps the connection
  Fetch(nginx.HttpUrl("/s.bin"), local / "s2.bin");
  EXPECT_EQ(ReadFileBytes(local / "s2.bin"), data);
  EXPECT_EQ(d.Http()->IOHandler(), nullptr);
}

TEST_F(StdIndyDownloaderTest, CompressedRepliesAreStoredDecoded) {
  const std::string text(200000, 'u');
  WriteFileBytes(www / "update.ini", text);
  LoopbackNginx nginx(www.Path());
  progress.Attach(d);
  Fetch(nginx.HttpUrl("/gzip/update.ini"), local / "update.ini");
  EXPECT_EQ(ReadFileBytes(local / "update.ini"), text);
  EXPECT_EQ(progress.events.front(), "B-1");
  EXPECT_EQ(progress.events.back(), "E200000");
}

TEST_F(StdIndyDownloaderTest, FailuresRaiseWithStatusCodeAndText) {
  LoopbackNginx nginx(www.Path());
  vxtest::OddServer odd;
  // The destination is created (truncated) before the request.
  WriteFileBytes(local / "old.bin", "previous contents");
  EXPECT_THROW(Fetch(nginx.HttpUrl("/missing.bin"), local / "old.bin"), EIdHTTPProtocolException);
  EXPECT_EQ(d.GetStatusCode(), 404);
  EXPECT_EQ(StatusText(), "HTTP/1.1 404 Not Found");
  EXPECT_EQ(std::filesystem::file_size(local / "old.bin"), 0u);

  EXPECT_THROW(Fetch(odd.Url("/status/500"), local / "e.bin"), EIdHTTPProtocolException);
  EXPECT_EQ(d.GetStatusCode(), 500);
  EXPECT_EQ(StatusText(), "HTTP/1.1 500 Internal Server Error");

  EXPECT_THROW(Fetch(odd.Url("/cut/5000/100"), local / "c.bin"), EIdSocketError);
  EXPECT_EQ(d.GetStatusCode(), 200);
  EXPECT_EQ(std::filesystem::file_size(local / "c.bin"), 100u);  // left for the caller

  EXPECT_THROW(Fetch("http://127.0.0.1:" + std::to_string(vxtest::FreePort()) + "/f",
                     local / "r.bin"),
               EIdSocketError);
  EXPECT_EQ(d.GetStatusCode(), -1);
  EXPECT_EQ(StatusText(), "");

  WriteFileBytes(www / "t.bin", "tls");
  EXPECT_THROW(Fetch(nginx.HttpsUrl("/t.bin", LoopbackNginx::Cert::OtherCa), local / "t.bin"),
               EIdSSLError);
  EXPECT_EQ(d.GetStatusCode(), -1);
}

TEST_F(StdIndyDownloaderTest, ChecksComeBeforeAnyFileIsTouched) {
  d.SetDestFileName(local / "never.bin");
  try {
    d.Download();
    ADD_FAILURE();
  } catch (const EStdDownloader& e) {
    EXPECT_EQ(e.Message(), "not assigned URL");
  }
  EXPECT_FALSE(std::filesystem::exists(local / "never.bin"));
}

TEST_F(StdIndyDownloaderTest, ProxySettingsAndLogNameLastOneDownload) {
  const std::string data = vxtest::WriteRandomFile(www / "p.bin", 5000);
  LoopbackNginx nginx(www.Path());
  vxtest::LoopbackProxy proxy("agent", "s3cret");
  d.SetURL(nginx.HttpUrl("/p.bin"));
  d.SetDestFileName(local / "p.bin");
  d.SetProxyHost(proxy.Host());
  d.SetProxyPort(proxy.Port());
  d.SetProxyUserName("agent");
  d.SetProxyPassword("s3cret");
  d.SetLogFileName(local / "wire.log");
  d.Download();
  EXPECT_EQ(ReadFileBytes(local / "p.bin"), data);
  EXPECT_NE(ReadFileBytes(local / "wire.log").find("Sent: GET http://"), std::string::npos);
  EXPECT_NE(proxy.Log().find("/p.bin"), std::string::npos);

  d.Reset();
  EXPECT_EQ(d.LogFileName(), "");
  EXPECT_EQ(d.ProxyHost(), "");
  EXPECT_EQ(d.ProxyPort(), 80);
  // Without the proxy's credentials the proxy refuses.
  proxy_host = proxy.Host();
  proxy_port = proxy.Port();
  EXPECT_THROW(Fetch(nginx.HttpUrl("/p.bin"), local / "q.bin"), EIdHTTPProtocolException);
  EXPECT_EQ(d.GetStatusCode(), 407);
  // HTTPS through the proxy's tunnel, with credentials.
  vxtest::ScopedTrust trust;
  d.Reset();
  d.SetProxyHost(proxy.Host());
  d.SetProxyPort(proxy.Port());
  d.SetProxyUserName("agent");
  d.SetProxyPassword("s3cret");
  d.SetURL(nginx.HttpsUrl("/p.bin"));
  d.SetDestFileName(local / "s.bin");
  d.Download();
  EXPECT_EQ(ReadFileBytes(local / "s.bin"), data);
}

TEST_F(StdIndyDownloaderTest, ProgressHandlerErrorsLeaveDownload) {
  vxtest::WriteRandomFile(www / "big.bin", 2 << 20);
  LoopbackNginx nginx(www.Path());
  d.SetOnBeginWork(TStdWorkEvent::FromFunction(
      [](TObject*, Int64) { throw EStdDownloader("handler failed"); }));
  try {
    Fetch(nginx.HttpUrl("/big.bin"), local / "big.bin");
    ADD_FAILURE();
  } catch (const EStdDownloader& e) {
    EXPECT_EQ(e.Message(), "handler failed");
  }
  EXPECT_EQ(std::filesystem::file_size(local / "big.bin"), 0u);
}

// A file beyond 4 GiB into a real file: size, last bytes and 64-bit counts.
TEST_F(StdIndyDownloaderTest, FilesBeyondFourGigabytes) {
  const Int64 size = (Int64{4} << 30) + 123;
  const std::string tail = "end of the large file";
  vxtest::WriteSparseFile(www / "huge.bin", size, tail);
  LoopbackNginx nginx(www.Path());
  Int64 last = 0;
  progress.Attach(d);
  d.SetOnWork(TStdWorkEvent::FromFunction([&](TObject*, Int64 n) { last = n; }));
  Fetch(nginx.HttpUrl("/huge.bin"), local / "huge.bin");
  EXPECT_EQ(static_cast<Int64>(std::filesystem::file_size(local / "huge.bin")), size);
  std::FILE* f = std::fopen((local / "huge.bin").c_str(), "rb");
  ASSERT_NE(f, nullptr);
  fseeko(f, size - static_cast<Int64>(tail.size()), SEEK_SET);
  std::string got(tail.size(), '\0');
  EXPECT_EQ(std::fread(got.data(), 1, got.size(), f), got.size());
  std::fclose(f);
  EXPECT_EQ(got, tail);
  EXPECT_EQ(last, size);
  EXPECT_EQ(progress.events.front(), "B" + std::to_string(size));
  EXPECT_EQ(progress.events.back(), "E" + std::to_string(size));
}

}  // namespace
