// Downloading a 1 GiB file from a loopback nginx with the transport over the Internet
// functions, progress events on, against `curl -o` of the same URL in the same run.
// Several rounds in alternating order; prints the medians and their ratio (< 1: we are
// faster).
#include <stdexcept>
#include <string>

#include "tests/support/downloads.h"
#include "transport/StdWebAgentDownloader.h"

int main() {
  TStdWebAgentDownloader d;
  // This transport reports failures through its status text instead of raising.
  return vxtest::BenchDownloader("download_wininet",
                                 "download 1 GiB over loopback HTTP through the Internet functions", d, 1.15,
                                 [&] {
                                   std::string status;
                                   d.GetStatusText(status);
                                   if (status != "0") throw std::runtime_error("the download failed at stage " + status);
                                 });
}
