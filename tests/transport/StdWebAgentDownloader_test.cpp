#include "transport/StdWebAgentDownloader.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "tests/support/downloads.h"
#include "tests/support/loopback.h"

namespace {

using vxtest::LoopbackNginx;
using vxtest::OddServer;

// The process's resident memory in KiB.
long ResidentKiB() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  return -1;
}

class StdWebAgentDownloaderTest : public ::testing::Test {
 protected:
  void SetUp() override { progress.Attach(d); }
  // One file, the way the updater fetches each; Download never raises here.
  void Fetch(const std::string& url, const std::string& dest) {
    events.clear();
    vxtest::FetchAsTheUpdater(d, url, dest, "127.0.0.1", dead_port);
  }
  std::string StatusText() { return vxtest::StatusTextOf(d); }

  vxtest::NoProxyEnvironment no_proxy;
  TempFolder www, local;
  TStdWebAgentDownloader d;
  vxtest::DownloadEvents progress;
  std::vector<std::string>& events = progress.events;
  // The downloader's proxy fields are not used: this one would refuse.
  int dead_port = vxtest::FreePort();
};

TEST_F(StdWebAgentDownloaderTest, ProgressSkipsTheFirstBlockAndEndsAtTheAnnouncedLength) {
  const std::string data = vxtest::WriteRandomFile(www / "70000.bin", 70000);
  vxtest::WriteRandomFile(www / "500.bin", 500);
  vxtest::WriteRandomFile(www / "empty.bin", 0);
  LoopbackNginx nginx(www.Path());
  OddServer odd;

  Fetch(nginx.HttpUrl("/70000.bin"), local / "a.bin");
  EXPECT_TRUE(ReadFileBytes(local / "a.bin") == data);
  std::vector<std::string> expected = {"B70000"};
  for (int total = 8192; total < 70000; total += 4096) expected.push_back("W" + std::to_string(total));
  expected.push_back("E70000");
  EXPECT_EQ(events, expected);
  EXPECT_EQ(d.ExpectedSize(), 70000);
  EXPECT_EQ(d.GetStatusCode(), 200);
  EXPECT_EQ(StatusText(), "0");

  // One block: the beginning only.
  Fetch(nginx.HttpUrl("/500.bin"), local / "b.bin");
  EXPECT_EQ(events, std::vector<std::string>{"B500"});
  // Without Reset the next download does not begin anew.
  events.clear();
  d.Download();
  EXPECT_EQ(events, std::vector<std::string>{"E500"});
  // No length: the blocks of 1024 bytes, and no end.
  Fetch(odd.Url("/nolength/5000"), local / "c.bin");
  EXPECT_EQ(events, (std::vector<std::string>{"B0", "W2048", "W3072", "W4096", "W5000"}));
  EXPECT_TRUE(ReadFileBytes(local / "c.bin") == OddServer::Body(5000));
  // An empty body: no events, and a complete, empty file.
  Fetch(nginx.HttpUrl("/empty.bin"), local / "d.bin");
  EXPECT_TRUE(events.empty());
  EXPECT_EQ(StatusText(), "0");
  EXPECT_TRUE(std::filesystem::exists(local / "d.bin"));
}

TEST_F(StdWebAgentDownloaderTest, FailuresReturnWithTheirStageInTheStatusText) {
  LoopbackNginx nginx(www.Path());
  OddServer odd;
  struct Case {
    std::string url, text;
    Integer code;
    bool file;
    std::string said;  // how FailureText begins
  } cases[] = {
      {nginx.HttpUrl("/missing.bin"), "930", 404, false, "Stage 930, status 404"},
      {"http://127.0.0.1:" + std::to_string(vxtest::FreePort()) + "/x", "920", 999, false,
       "Stage 920: Failed to connect to 127.0.0.1"},
      {"http://bad host/x", "900", 999, false, "Stage 900: error 12005"},
      // What came stays.
      {odd.Url("/cut/70000/5000"), "950", 200, true, "Stage 950, status 200: transfer closed with 65000 bytes"},
      {odd.Url("/status/500"), "930", 500, false, "Stage 930, status 500"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.url);
    std::filesystem::remove(local / "f.bin");
    EXPECT_NO_THROW(Fetch(c.url, local / "f.bin"));
    EXPECT_EQ(StatusText(), c.text);
    EXPECT_EQ(d.FailureText().substr(0, c.said.size()), c.said) << d.FailureText();
    EXPECT_EQ(d.GetStatusCode(), c.code);
    EXPECT_EQ(std::filesystem::exists(local / "f.bin"), c.file);
    if (c.file) {
      EXPECT_EQ(std::filesystem::file_size(local / "f.bin"), 5000u);
    }
  }
  // The checks before the transfer still raise.
  d.Reset();
  d.SetDestFileName(local / "g.bin");
  EXPECT_THROW(d.Download(), EStdDownloader);
}

TEST_F(StdWebAgentDownloaderTest, HttpsVerifiesTheNameAndTheChain) {
  const std::string data = vxtest::WriteRandomFile(www / "s.bin", 300000);
  LoopbackNginx nginx(www.Path());
  vxtest::ScopedTrust trust;
  Fetch(nginx.HttpsUrl("/s.bin"), local / "1.bin");
  EXPECT_TRUE(ReadFileBytes(local / "1.bin") == data);
  for (const auto cert : {LoopbackNginx::Cert::WrongHost, LoopbackNginx::Cert::OtherCa}) {
    Fetch(nginx.HttpsUrl("/s.bin", cert), local / "2.bin");
    EXPECT_EQ(StatusText(), "920");
    EXPECT_FALSE(std::filesystem::exists(local / "2.bin"));
  }
}

TEST_F(StdWebAgentDownloaderTest, TheSystemProxySettingsApply) {
  const std::string data = vxtest::WriteRandomFile(www / "p.bin", 20000);
  LoopbackNginx nginx(www.Path());
  vxtest::LoopbackProxy proxy;
  const std::string proxyUrl = "http://127.0.0.1:" + std::to_string(proxy.Port());
  vxtest::ScopedEnv env("http_proxy", proxyUrl.c_str());
  TStdWebAgentDownloader viaProxy;  // a session opened with the variable set
  viaProxy.SetURL(nginx.HttpUrl("/p.bin"));
  viaProxy.SetDestFileName(local / "p.bin");
  viaProxy.Download();
  EXPECT_TRUE(ReadFileBytes(local / "p.bin") == data);
  EXPECT_NE(proxy.Log().find("/p.bin"), std::string::npos);
}

// The body streams into the file: memory does not grow with it.
TEST_F(StdWebAgentDownloaderTest, LargeBodiesStreamWithBoundedMemory) {
  const Int64 size = Int64{512} << 20;
  vxtest::WriteSparseFile(www / "large.bin", size, "the end");
  LoopbackNginx nginx(www.Path());
  long before = 0, peak = 0;
  Int64 works = 0;
  d.SetOnBeginWork(TStdWorkEvent::FromFunction([&](TObject*, Int64) { before = ResidentKiB(); }));
  d.SetOnWork(TStdWorkEvent::FromFunction([&](TObject*, Int64) {
    if (++works % 4096 == 0) peak = std::max(peak, ResidentKiB());
  }));
  Fetch(nginx.HttpUrl("/large.bin"), local / "large.bin");
  EXPECT_EQ(StatusText(), "0");
  EXPECT_EQ(static_cast<Int64>(std::filesystem::file_size(local / "large.bin")), size);
  EXPECT_EQ(works, size / 4096 - 2);
  // A quarter of the body; under the address sanitizer the blocks it holds back after
  // their release count too.
  EXPECT_LT(peak - before, 128 * 1024) << "KiB";
  std::ifstream f(local / "large.bin", std::ios::binary);
  f.seekg(size - 7);
  std::string tail(7, '\0');
  f.read(tail.data(), 7);
  EXPECT_EQ(tail, "the end");
}

}  // namespace
