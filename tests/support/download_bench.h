// The download benchmark shared by the transports: a 1 GiB file from a loopback nginx,
// progress events on, against `curl -o` of the same URL in the same run; several rounds
// in alternating order. Prints the medians and their ratio (< 1: we are faster).
#pragma once

#include "transport/StdDownloader.h"

namespace vxtest {

// Returns the program's exit code (1 when a download came out the wrong size).
int RunDownloadBench(const char* Name, TStdDownloader& Downloader, double Goal);

}  // namespace vxtest
