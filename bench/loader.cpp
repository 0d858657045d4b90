// Whole loader runs against a loopback server, each next to the reference tool doing
// the same work:
//   safe check  a safe update over 20,000 installed files that all match the list
//               (MD5-checked extensions): the loader's whole run against md5sum over
//               the same files;
//   cabinet     a first installation of one 200 MB file delivered as an MSZIP cabinet:
//               the loader's whole run (download and unpacking) against curl fetching
//               the cabinet and cabextract unpacking it.
//   bench_loader [check|cabinet]
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/TempFolder.h"
#include "tests/support/cabinet_fixtures.h"
#include "tests/support/loader_install.h"

namespace fs = std::filesystem;

namespace {

// What went wrong in a failed run, for the reader of the benchmark's output.
void ShowFailure(const vxtest::LoaderInstall& inst, const vxtest::RunResult& r) {
  std::fprintf(stderr, "loader run failed: exited %d, code %d, signal %d; its log:\n", r.exited, r.exitCode, r.signal);
  for (const auto& m : inst.LogMessages()) std::fprintf(stderr, "  %s\n", m.c_str());
}

constexpr int kRounds = 3;
constexpr int kFiles = 20000;
constexpr size_t kFileSize = 8192;
constexpr size_t kCabinetData = 200 * 1000 * 1000;

std::string LoaderProgram() {
  return (fs::read_symlink("/proc/self/exe").parent_path().parent_path() / "loader").string();
}

template <class F>
double Seconds(F&& f) {
  sync();
  const auto t0 = std::chrono::steady_clock::now();
  f();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

std::string ListHead(const std::string& extra = "") {
  return "[INSTALL]\r\ninstallregistry=" + std::string(vxtest::LoaderInstall::kInstallRegistry) +
         "\r\nVersionRegistry=" + vxtest::LoaderInstall::kVersionRegistry +
         "\r\nVersionInfo=1.0.0\r\nUpdateDate=" + vxtest::TodayYmd() + "\r\nExtNameToMD5=dll,exe\r\n" + extra +
         "[LAUNCH]\r\nBin=%ROOT%\\client.exe\r\n[FILES]\r\n";
}

bool SafeCheck() {
  vxtest::LoaderInstall inst(LoaderProgram());
  std::string list = ListHead();
  for (int i = 0; i < kFiles; ++i) {
    char rel[64];
    std::snprintf(rel, sizeof rel, "data/d%02d/f%05d.dll", i % 100, i);
    const std::string data = RandomBytes(kFileSize, uint64_t(i) + 1);
    inst.Install(rel, data);
    std::string key = std::string("%ROOT%\\") + rel;
    std::replace(key.begin(), key.end(), '/', '\\');
    list += vxtest::LoaderInstall::FileLine(key, data) + "\r\n";
  }
  inst.WriteList(list);
  const std::string reference = "cd '" + inst.App() + "' && find data -name '*.dll' -print0 | xargs -0 md5sum";

  double ours = 1e30, theirs = 1e30;
  bool ok = true;
  for (int round = 0; round < kRounds; ++round) {
    // No installed version: every run is a forced safe update.
    inst.SetInstalledVersion("", "", -1);
    inst.Server().ClearRequests();
    vxtest::RunResult r;
    ours = std::min(ours, Seconds([&] { r = inst.Run({}); }));
    const bool good = r.exited && r.exitCode == 0 && inst.Server().Requests().size() == 1 &&
                      inst.InstalledString("CurVersion") == "1.0.0";
    if (!good) ShowFailure(inst, r);
    ok = ok && good;
    theirs = std::min(theirs, Seconds([&] { vxtest::Run({"sh", "-c", reference}); }));
  }
  std::printf("loader safe check of %d files of %zu KiB: loader %.3f s, md5sum %.3f s, ratio %.2fx%s\n", kFiles,
              kFileSize / 1024, ours, theirs, ours / theirs, ok ? "" : " (RUN FAILED)");
  return ok;
}

bool Cabinet() {
  vxtest::LoaderInstall inst(LoaderProgram());
  vxtest::LoopbackNginx nginx(inst.Srv());
  inst.WriteIni({{"ServerURL", nginx.HttpUrl("/")}});
  // Packing 200 MB takes a while; the data is text-like runs mixed with noise.
  TempFolder pack;
  {
    std::string data;
    data.reserve(kCabinetData);
    for (uint32_t seed = 1; data.size() < kCabinetData; ++seed)
      data += cabtest::TestBytes(std::min<size_t>(1 << 20, kCabinetData - data.size()), seed, seed % 3 != 0);
    WriteFileBytes(pack / "big.dll", data);
  }
  fs::create_directories(inst.Srv("bin"));
  const std::string cab = inst.Srv("bin/big.dll.cab");
  vxtest::Run({"sh", "-c", "cd \"$0\" && exec gcab -c -z \"$1\" big.dll", pack.Path(), cab});
  const int64_t cabSize = int64_t(fs::file_size(cab));
  const std::string data = ReadFileBytes(pack / "big.dll");
  inst.WriteList(ListHead() + "%ROOT%\\bin\\big.dll.cab=" + vxtest::Md5Hex(data) + "," + std::to_string(data.size()) +
                 "," + std::to_string(cabSize) + "\r\n");
  fs::remove_all(pack.Path() + "/big.dll");

  const std::string ref = pack / "ref";
  const std::string reference = "mkdir -p '" + ref + "' && curl -s -o '" + ref + "/big.dll.cab' '" +
                                nginx.HttpUrl("/bin/big.dll.cab") + "' && cabextract -q -d '" + ref + "' '" + ref +
                                "/big.dll.cab' && rm '" + ref + "/big.dll.cab'";
  double ours = 1e30, theirs = 1e30;
  bool ok = true;
  for (int round = 0; round < kRounds; ++round) {
    fs::remove_all(inst.App("bin"));
    inst.SetInstalledVersion("", "", -1);
    vxtest::RunResult r;
    ours = std::min(ours, Seconds([&] { r = inst.Run({}, {}, "", 600); }));
    const bool good = r.exited && r.exitCode == 0 && fs::exists(inst.App("bin/big.dll")) &&
                      int64_t(fs::file_size(inst.App("bin/big.dll"))) == int64_t(data.size());
    if (!good) ShowFailure(inst, r);
    ok = ok && good;
    fs::remove_all(ref);
    theirs = std::min(theirs, Seconds([&] { vxtest::Run({"sh", "-c", reference}); }));
  }
  ok = ok && ReadFileBytes(inst.App("bin/big.dll")) == data;
  std::printf("loader cabinet of %zu MB (%.1f MB MSZIP): loader %.3f s, curl + cabextract %.3f s, ratio %.2fx%s\n",
              kCabinetData / 1000000, double(cabSize) / 1e6, ours, theirs, ours / theirs,
              ok ? "" : " (RUN FAILED)");
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string only = argc > 1 ? argv[1] : "";
  bool ok = true;
  if (only.empty() || only == "check") ok = SafeCheck() && ok;
  if (only.empty() || only == "cabinet") ok = Cabinet() && ok;
  return ok ? 0 : 1;
}
