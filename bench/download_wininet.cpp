// Downloading a 1 GiB file from a loopback nginx with the transport over the Internet
// functions, progress events on, against `curl -o` of the same URL in the same run.
// Several rounds in alternating order; prints the medians and their ratio (< 1: we are
// faster).
#include <cstdio>
#include <exception>
#include <stdexcept>

#include "tests/support/downloads.h"
#include "tests/support/loopback.h"
#include "transport/StdWebAgentDownloader.h"

int main() try {
  constexpr int64_t kSize = int64_t{1} << 30;
  constexpr int kRounds = 5;
  vxtest::NoProxyEnvironment noProxy;
  TempFolder www, local;
  vxtest::WriteBenchFile(www / "big.bin", kSize);
  vxtest::LoopbackNginx nginx(www.Path());
  const std::string url = nginx.HttpUrl("/big.bin");

  vxtest::BenchProgress progress;
  TStdWebAgentDownloader d;
  progress.Attach(d);
  std::string status;
  const auto times = vxtest::TimeAgainstCurl(url, local / "out.bin", kSize, kRounds, [&] {
    d.Reset();
    d.SetURL(url);
    d.SetDestFileName(local / "out.bin");
    d.Download();
    d.GetStatusText(status);
    if (status != "0") throw std::runtime_error("the download failed at stage " + status);
  });
  vxtest::PrintDownloadTimes("download 1 GiB over loopback HTTP through the Internet functions", kSize,
                             kRounds, times, progress.events / (kRounds + 1), 1.15);
  return 0;
} catch (const std::exception& e) {
  std::printf("%s: %s\n", "download_wininet", e.what());
  return 1;
}
