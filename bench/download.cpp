// Downloading a 1 GiB file from a loopback nginx with the default transport.
#include "tests/support/download_bench.h"
#include "transport/StdIndyDownloader.h"

int main() {
  TStdIndyDownloader d;
  return vxtest::RunDownloadBench("download", d, 1.15);
}
