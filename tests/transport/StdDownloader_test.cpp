#include "transport/StdDownloader.h"

#include <gtest/gtest.h>

#include "tests/support/loopback.h"

namespace {

// The smallest transport: it only makes the common checks.
class TProbeDownloader : public TStdDownloader {
  VX_CLASS(TProbeDownloader, TStdDownloader)

 public:
  bool has_client = true;
  int downloads = 0;
  Integer GetStatusCode() override { return 0; }
  void GetStatusText(std::string& Text) override { Text.clear(); }
  void Download() override {
    CheckReady(has_client, "not assigned probe client");
    ++downloads;
  }
};

std::string RaisedBy(TStdDownloader& d, const std::string& url) {
  try {
    d.SetURL(url);
  } catch (const EStdDownloader& e) {
    return e.Message();
  }
  return "";
}

TEST(StdDownloaderTest, ResetRestoresEveryDefaultButKeepsTheEvents) {
  vxtest::ScopedEnv noSetting("VX_LOW_SPEED_TIME", nullptr);
  TProbeDownloader d;
  EXPECT_FALSE(d.OnBeginWork() || d.OnWork() || d.OnEndWork());
  d.SetOnWork(TStdWorkEvent::FromFunction([](TObject*, Int64) {}));
  d.SetURL("https://h/x");
  d.SetAccept("text/plain");
  d.SetAcceptLanguage("en");
  d.SetAcceptEncoding("");
  d.SetUserAgent("ua");
  d.SetConnection("close");
  d.SetProxyHost("proxy");
  d.SetProxyPort(3128);
  d.SetProxyUserName("u");
  d.SetProxyPassword("p");
  d.SetDestFileName("/tmp/x");
  d.SetLowSpeedLimit(0);
  d.SetLowSpeedTime(0);
  d.Reset();
  EXPECT_EQ(d.URL(), "");
  EXPECT_EQ(d.Host(), "");
  EXPECT_FALSE(d.Secure());
  EXPECT_EQ(d.Accept(), "*/*");
  EXPECT_EQ(d.AcceptLanguage(), "ko");
  EXPECT_EQ(d.AcceptEncoding(), "gzip, deflate");
  EXPECT_EQ(d.UserAgent(), "Mozilla/4.0 (compatible; Drovi Http Client)");
  EXPECT_EQ(d.Connection(), "Keep-Alive");
  EXPECT_EQ(d.ProxyHost(), "");
  EXPECT_EQ(d.ProxyPort(), 80);
  EXPECT_EQ(d.ProxyUserName(), "");
  EXPECT_EQ(d.ProxyPassword(), "");
  EXPECT_EQ(d.DestFileName(), "");
  EXPECT_EQ(d.ExpectedSize(), 0);
  EXPECT_EQ(d.LowSpeedLimit(), 100);
  EXPECT_EQ(d.LowSpeedTime(), 60);
  EXPECT_TRUE(d.OnWork());
}

TEST(StdDownloaderTest, UrlsSetSchemeAndHost) {
  TProbeDownloader d;
  struct Case {
    std::string url, host;
    bool secure;
  } cases[] = {
      {"example/update.ini", "example", false},
      {"HTTPS://h:8443/x", "h:8443", true},
      {"hTtP://user:pw@h:81/a/b", "user:pw@h:81", false},
      {"http://h", "", false},
      {"https://h/", "h", true},
  };
  for (const Case& c : cases) {
    d.SetURL(c.url);
    EXPECT_EQ(d.URL(), c.url);
    EXPECT_EQ(d.Host(), c.host) << c.url;
    EXPECT_EQ(d.Secure(), c.secure) << c.url;
  }
}

TEST(StdDownloaderTest, UnknownSchemesRaiseAndChangeNothing) {
  TProbeDownloader d;
  d.SetURL("https://good:444/f");
  EXPECT_EQ(RaisedBy(d, "ftp://h/f"), "Not hypertext transfer protocol or unknown protocol: FTP");
  EXPECT_EQ(RaisedBy(d, "file:///etc/passwd"),
            "Not hypertext transfer protocol or unknown protocol: FILE");
  EXPECT_EQ(d.URL(), "https://good:444/f");
  EXPECT_EQ(d.Host(), "good:444");
  EXPECT_TRUE(d.Secure());
}

TEST(StdDownloaderTest, TheSameUrlIsParsedAgainOnlyAfterReset) {
  TProbeDownloader d;
  d.SetURL("https://h/x");
  d.SetURL("https://h/x");
  EXPECT_EQ(d.Host(), "h");
  d.Reset();
  EXPECT_EQ(d.Host(), "");
  d.SetURL("https://h/x");
  EXPECT_EQ(d.Host(), "h");
  EXPECT_TRUE(d.Secure());
}

TEST(StdDownloaderTest, DownloadChecksClientThenDestinationThenUrl) {
  TProbeDownloader d;
  auto raised = [&] {
    try {
      d.Download();
    } catch (const EStdDownloader& e) {
      return e.Message();
    }
    return std::string();
  };
  d.has_client = false;
  EXPECT_EQ(raised(), "not assigned probe client");
  d.has_client = true;
  EXPECT_EQ(raised(), "not assigned destination file name.");
  d.SetDestFileName("out.bin");
  EXPECT_EQ(raised(), "not assigned URL");
  d.SetURL("h/f");
  EXPECT_EQ(raised(), "");
  EXPECT_EQ(d.downloads, 1);
}

}  // namespace
