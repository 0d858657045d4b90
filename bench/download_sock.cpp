// Downloading a 1 GiB file from a loopback nginx with the socket-library transport,
// progress events on, against `curl -o` of the same URL in the same run. Several rounds
// in alternating order; prints the medians and their ratio (< 1: we are faster).
#include <cstdio>
#include <exception>
#include <stdexcept>

#include "tests/support/downloads.h"
#include "tests/support/loopback.h"
#include "transport/StdSockDownloader.h"

int main() try {
  constexpr int64_t kSize = int64_t{1} << 30;
  constexpr int kRounds = 5;
  TempFolder www, local;
  vxtest::WriteBenchFile(www / "big.bin", kSize);
  vxtest::LoopbackNginx nginx(www.Path());
  const std::string url = nginx.HttpUrl("/big.bin");

  vxtest::BenchProgress progress;
  TStdSockDownloader d;
  progress.Attach(d);
  const auto times = vxtest::TimeAgainstCurl(url, local / "out.bin", kSize, kRounds, [&] {
    d.Reset();
    d.SetURL(url);
    d.SetDestFileName(local / "out.bin");
    d.Download();
  });
  vxtest::PrintDownloadTimes("download_sock 1 GiB over loopback HTTP", kSize, kRounds, times,
                             progress.events / (kRounds + 1), 1.2);
  return 0;
} catch (const std::exception& e) {
  std::printf("%s: %s\n", "download_sock", e.what());
  return 1;
}
