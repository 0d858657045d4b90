#include "tests/support/download_bench.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/loopback.h"

namespace vxtest {

namespace {

using Clock = std::chrono::steady_clock;
constexpr int64_t kSize = int64_t{1} << 30;
constexpr int kRounds = 5;

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// What the updater's progress handlers do per event, reduced to its arithmetic.
struct Progress {
  int64_t expected = 0, position = 0, total = 0;
  int percent = 0, events = 0;
  void Begin(TObject*, Int64 n) { expected = n; position = 0; }
  void Work(TObject*, Int64 n) {
    total += n - position;
    position = n;
    percent = expected > 0 ? static_cast<int>(position * 100 / expected) : 0;
    ++events;
  }
  void End(TObject*, Int64 n) { percent = 100; }
};

}  // namespace

int RunDownloadBench(const char* Name, TStdDownloader& d, double Goal) {
  TempFolder www, local;
  {
    // 16 MiB of random bytes, varied per copy, 64 times.
    std::string block = RandomBytes(16 << 20, 7);
    std::FILE* f = std::fopen((www / "big.bin").c_str(), "wb");
    for (int i = 0; i < kSize / static_cast<int64_t>(block.size()); ++i) {
      block[0] = static_cast<char>(i);
      std::fwrite(block.data(), 1, block.size(), f);
    }
    std::fclose(f);
  }
  vxtest::LoopbackNginx nginx(www.Path());
  const std::string url = nginx.HttpUrl("/big.bin");
  const std::string out = local / "out.bin";

  Progress progress;
  d.SetOnBeginWork(TStdWorkEvent(&progress, &Progress::Begin));
  d.SetOnWork(TStdWorkEvent(&progress, &Progress::Work));
  d.SetOnEndWork(TStdWorkEvent(&progress, &Progress::End));
  auto ours = [&] {
    d.Reset();
    d.SetURL(url);
    d.SetDestFileName(out);
    d.Download();
  };

  std::vector<double> tOurs, tCurl;
  for (int round = -1; round < kRounds; ++round) {  // round -1 warms up
    for (int k = 0; k < 2; ++k) {
      const bool oursNow = (k == 0) == (round % 2 == 0);
      std::filesystem::remove(out);
      const auto t = Clock::now();
      if (oursNow) {
        ours();
      } else {
        vxtest::Run({"curl", "-s", "-o", out, url});
      }
      const double s = Seconds(t);
      if (std::filesystem::file_size(out) != static_cast<uintmax_t>(kSize)) {
        std::printf("%s: WRONG SIZE\n", Name);
        return 1;
      }
      if (round >= 0) (oursNow ? tOurs : tCurl).push_back(s);
    }
  }
  std::filesystem::remove(out);
  const double mib = static_cast<double>(kSize) / (1 << 20);
  const double a = Median(tOurs), b = Median(tCurl);
  std::printf("%s 1 GiB over loopback HTTP, %d rounds, medians: ours %.3f s (%.0f MiB/s, "
              "%d progress events), curl -o %.3f s (%.0f MiB/s), ratio %.2fx (goal <= %.2f)\n",
              Name, kRounds, a, mib / a, progress.events / (kRounds + 1), b, mib / b, a / b, Goal);
  return 0;
}

}  // namespace vxtest
