// Downloading a 1 GiB file from a loopback nginx with the socket-library transport.
#include "tests/support/download_bench.h"
#include "transport/StdSockDownloader.h"

int main() {
  TStdSockDownloader d;
  return vxtest::RunDownloadBench("download_sock", d, 1.2);
}
