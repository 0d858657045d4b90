#include "tests/support/downloads.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <stdexcept>
#include <vector>

#include "tests/support/TempFolder.h"
#include "tests/support/loopback.h"

namespace vxtest {
namespace {

using Clock = std::chrono::steady_clock;

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

void FetchAsTheUpdater(TStdDownloader& d, const std::string& Url, const std::string& Dest,
                       const std::string& ProxyHost, Integer ProxyPort) {
  d.Reset();
  d.SetProxyHost(ProxyHost);
  d.SetProxyPort(ProxyPort);
  d.SetURL(Url);
  d.SetDestFileName(Dest);
  d.Download();
}

std::string StatusTextOf(TStdDownloader& d) {
  std::string t;
  d.GetStatusText(t);
  return t;
}

void DownloadEvents::Attach(TStdDownloader& d) {
  d.SetOnBeginWork(TStdWorkEvent::FromFunction(
      [this](TObject*, Int64 n) { events.push_back("B" + std::to_string(n)); }));
  d.SetOnWork(TStdWorkEvent::FromFunction(
      [this](TObject*, Int64 n) { events.push_back("W" + std::to_string(n)); }));
  d.SetOnEndWork(TStdWorkEvent::FromFunction(
      [this](TObject*, Int64 n) { events.push_back("E" + std::to_string(n)); }));
}

void WriteBenchFile(const std::string& Path, int64_t Size) {
  std::string block = RandomBytes(16 << 20, 7);
  std::FILE* f = std::fopen(Path.c_str(), "wb");
  if (!f) throw std::runtime_error("cannot write " + Path);
  for (int64_t done = 0, i = 0; done < Size; ++i) {
    block[0] = static_cast<char>(i);
    const size_t n = static_cast<size_t>(std::min<int64_t>(Size - done, static_cast<int64_t>(block.size())));
    std::fwrite(block.data(), 1, n, f);
    done += static_cast<int64_t>(n);
  }
  if (std::fclose(f) != 0) throw std::runtime_error("cannot write " + Path);
}

void BenchProgress::Attach(TStdDownloader& d) {
  d.SetOnBeginWork(TStdWorkEvent(this, &BenchProgress::Begin));
  d.SetOnWork(TStdWorkEvent(this, &BenchProgress::Work));
  d.SetOnEndWork(TStdWorkEvent(this, &BenchProgress::End));
}

void BenchProgress::Begin(TObject*, Int64 n) {
  expected = n;
  position = 0;
}

void BenchProgress::Work(TObject*, Int64 n) {
  total += n - position;
  position = n;
  percent = expected > 0 ? static_cast<int>(position * 100 / expected) : 0;
  ++events;
}

void BenchProgress::End(TObject*, Int64) { percent = 100; }

DownloadTimes TimeAgainstCurl(const std::string& Url, const std::string& Out, int64_t Size, int Rounds,
                              const std::function<void()>& Ours) {
  std::vector<double> ours, curl;
  for (int round = -1; round < Rounds; ++round) {  // round -1 warms up
    for (int k = 0; k < 2; ++k) {
      const bool oursNow = (k == 0) == (round % 2 == 0);
      std::filesystem::remove(Out);
      const auto t = Clock::now();
      if (oursNow)
        Ours();
      else
        Run({"curl", "-s", "--noproxy", "*", "-o", Out, Url});  // straight to the loopback peer
      const double s = std::chrono::duration<double>(Clock::now() - t).count();
      if (std::filesystem::file_size(Out) != static_cast<uintmax_t>(Size))
        throw std::runtime_error("a download came out with the wrong size");
      if (round >= 0) (oursNow ? ours : curl).push_back(s);
    }
  }
  std::filesystem::remove(Out);
  return {Median(ours), Median(curl)};
}

void PrintDownloadTimes(const char* What, int64_t Size, int Rounds, const DownloadTimes& Times,
                        int EventsPerDownload, double Goal) {
  const double mib = static_cast<double>(Size) / (1 << 20);
  std::printf("%s, %d rounds, medians: ours %.3f s (%.0f MiB/s, %d progress events), curl -o %.3f s "
              "(%.0f MiB/s), ratio %.2fx (goal <= %.2f)\n",
              What, Rounds, Times.ours, mib / Times.ours, EventsPerDownload, Times.curl, mib / Times.curl,
              Times.ours / Times.curl, Goal);
}

int BenchDownloader(const char* Name, const char* What, TStdDownloader& d, double Goal,
                    const std::function<void()>& CheckEach) try {
  constexpr int64_t kSize = int64_t{1} << 30;
  constexpr int kRounds = 5;
  NoProxyEnvironment noProxy;
  TempFolder www, local;
  WriteBenchFile(www / "big.bin", kSize);
  LoopbackNginx nginx(www.Path());
  const std::string url = nginx.HttpUrl("/big.bin");

  BenchProgress progress;
  progress.Attach(d);
  const auto times = TimeAgainstCurl(url, local / "out.bin", kSize, kRounds, [&] {
    d.Reset();
    d.SetURL(url);
    d.SetDestFileName(local / "out.bin");
    d.Download();
    if (CheckEach) CheckEach();
  });
  PrintDownloadTimes(What, kSize, kRounds, times, progress.events / (kRounds + 1), Goal);
  return 0;
} catch (const std::exception& e) {
  std::printf("%s: %s\n", Name, e.what());
  return 1;
}

}  // namespace vxtest
