// Downloading a 1 GiB file from a loopback nginx with the socket-library transport,
// progress events on, against `curl -o` of the same URL in the same run. Several rounds
// in alternating order; prints the medians and their ratio (< 1: we are faster).
#include "tests/support/downloads.h"
#include "transport/StdSockDownloader.h"

int main() {
  TStdSockDownloader d;
  return vxtest::BenchDownloader("download_sock", "download_sock 1 GiB over loopback HTTP", d, 1.2);
}
