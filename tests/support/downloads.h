// What the tests and benchmarks of every transport share: fetching a file the way the
// updater does, recording the progress events, a large file to serve, a progress
// handler doing what the updater's does, and the timing of a download against
// `curl -o` in the same run.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/rtl/system.h"
#include "transport/StdDownloader.h"

namespace vxtest {

// One file, the way the updater fetches each: Reset, the proxy again, the URL, the
// destination, Download.
void FetchAsTheUpdater(TStdDownloader& d, const std::string& Url, const std::string& Dest,
                       const std::string& ProxyHost, Integer ProxyPort);
std::string StatusTextOf(TStdDownloader& d);

// Records a downloader's events as "B<n>", "W<n>" and "E<n>".
struct DownloadEvents {
  std::vector<std::string> events;
  void Attach(TStdDownloader& d);
};

// Writes Size bytes: 16 MiB of random bytes, varied per copy.
void WriteBenchFile(const std::string& Path, int64_t Size);

// What the updater's progress handlers do per event, reduced to its arithmetic.
struct BenchProgress {
  int64_t expected = 0, position = 0, total = 0;
  int percent = 0, events = 0;
  // Becomes the downloader's three progress handlers.
  void Attach(TStdDownloader& d);
  void Begin(TObject*, Int64 n);
  void Work(TObject*, Int64 n);
  void End(TObject*, Int64 n);
};

struct DownloadTimes {
  double ours = 0, curl = 0;  // medians, in seconds
};

// Fetches Url into Out with Ours and with `curl -s -o`, in alternating order, Rounds
// times after one warm-up round; raises std::runtime_error when a download does not
// come out Size bytes long.
DownloadTimes TimeAgainstCurl(const std::string& Url, const std::string& Out, int64_t Size, int Rounds,
                              const std::function<void()>& Ours);

// Prints one line: the medians, their rates and their ratio against the goal.
void PrintDownloadTimes(const char* What, int64_t Size, int Rounds, const DownloadTimes& Times,
                        int EventsPerDownload, double Goal);

// A whole download benchmark: serves a 1 GiB file from a loopback nginx, fetches it
// with d (progress events on, CheckEach run after every download) and with `curl -o`
// in alternating rounds, and prints the line of PrintDownloadTimes. Returns the
// program's exit code; errors are printed under Name.
int BenchDownloader(const char* Name, const char* What, TStdDownloader& d, double Goal,
                    const std::function<void()>& CheckEach = {});

}  // namespace vxtest
