// Whole loader runs against a loopback server, each next to the reference tool doing
// the same work:
//   safe check  a safe update over 20,000 installed files that all match the list
//               (MD5-checked extensions): the loader's whole run against md5sum over
//               the same files;
//   cabinet     a first installation of one 200 MB file delivered as an MSZIP cabinet:
//               the loader's whole run (download and unpacking) against curl fetching
//               the cabinet and cabextract unpacking it;
//   store       a run that changes nothing over a registry store of 100,000 keys: the
//               store's share of the run (the run over it less the run over a store of
//               a few keys) against reading the same store file line by line (getline);
//   files       a first installation of one cabinet of 10,000 files in one folder: the
//               loader's whole run against cabextract unpacking the same cabinet.
//   bench_loader [check|cabinet|store|files]
#include <sys/resource.h>
#include <unistd.h>

#include <ctime>
#include <functional>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
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

constexpr int kStoreKeys = 100000;
constexpr int kCabinetFiles = 10000;

// The processor time (user and system) that the children ended during F took.
template <class F>
double ChildCpuSeconds(F&& f) {
  auto cpu = [] {
    rusage u{};
    getrusage(RUSAGE_CHILDREN, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
  };
  const double before = cpu();
  f();
  return cpu() - before;
}

double OwnCpuSeconds(const std::function<void()>& f) {
  auto cpu = [] {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
  };
  const double before = cpu();
  f();
  return cpu() - before;
}

bool Store() {
  vxtest::LoaderInstall inst(LoaderProgram());
  inst.WriteList(ListHead());
  inst.SetInstalledVersion("1.0.0", vxtest::TodayYmd(), 0);
  const std::string store = inst.Root() + "/registry/HKEY_CURRENT_USER.reg";
  const std::string small = ReadFileBytes(store);
  std::string big = small;
  for (int i = 0; i < kStoreKeys; ++i)
    big += "[HKEY_CURRENT_USER\\SOFTWARE\\Bulk\\Key" + std::to_string(i) + "]\r\n\"Value\"=\"" + std::to_string(i) +
           "\"\r\n\r\n";
  bool ok = true;
  // A run over this store, which must stay as it is; its processor time and wall time.
  auto runOver = [&](const std::string& text, double& cpu, double& wall) {
    WriteFileBytes(store, text);
    vxtest::RunResult r;
    wall = std::min(wall, Seconds([&] { cpu = std::min(cpu, ChildCpuSeconds([&] { r = inst.Run({}); })); }));
    const bool good = r.exited && r.exitCode == 0 && ReadFileBytes(store) == text;
    if (!good) ShowFailure(inst, r);
    ok = ok && good;
  };
  double smallCpu = 1e30, smallWall = 1e30, bigCpu = 1e30, bigWall = 1e30, lines = 1e30;
  size_t count = 0;
  // Interleaved, so that both see the same load of the machine; the best of each.
  for (int round = 0; round < 5 * kRounds; ++round) {
    runOver(small, smallCpu, smallWall);
    runOver(big, bigCpu, bigWall);
    lines = std::min(lines, OwnCpuSeconds([&] {
                       std::ifstream in(store);
                       std::string line;
                       for (count = 0; std::getline(in, line);) ++count;
                     }));
  }
  const double share = bigCpu - smallCpu;
  std::printf("loader run over a store of %d keys (%zu lines, %.1f MB): run %.3f s (%.3f s processor), over a small "
              "store %.3f s (%.3f s); the store's share %.4f s of processor time, getline %.4f s, ratio %.2fx%s\n",
              kStoreKeys, count, double(big.size()) / 1e6, bigWall, bigCpu, smallWall, smallCpu, share, lines,
              share / lines, ok ? "" : " (RUN FAILED)");
  return ok;
}

bool CabinetFiles() {
  vxtest::LoaderInstall inst(LoaderProgram());
  vxtest::LoopbackNginx nginx(inst.Srv());
  inst.WriteIni({{"ServerURL", nginx.HttpUrl("/")}});
  std::vector<cabtest::Entry> entries;
  for (int i = 0; i < kCabinetFiles; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, i == 0 ? "many.dll" : "f%05d.dat", i);
    entries.push_back({name, cabtest::TestBytes(2048, uint32_t(i) + 1, true)});
  }
  fs::create_directories(inst.Srv("bin"));
  cabtest::SetLayout layout;
  layout.typeCompress = 1;
  cabtest::WriteCabinetSet(inst.Srv("bin"), {"many.dll.cab"}, entries, layout);
  const std::string cab = inst.Srv("bin/many.dll.cab");
  inst.WriteList(ListHead() + "%ROOT%\\bin\\many.dll.cab=" + vxtest::Md5Hex(entries[0].data) + "," +
                 std::to_string(entries[0].data.size()) + "," + std::to_string(fs::file_size(cab)) + "\r\n");

  TempFolder work;
  const std::string ref = work / "ref";
  double ours = 1e30, theirs = 1e30;
  bool ok = true;
  for (int round = 0; round < kRounds + 2; ++round) {
    fs::remove_all(inst.App("bin"));
    inst.SetInstalledVersion("", "", -1);
    vxtest::RunResult r;
    ours = std::min(ours, Seconds([&] { r = inst.Run({}, {}, "", 600); }));
    size_t installed = 0;
    for (const auto& e : fs::directory_iterator(inst.App("bin"))) installed += e.is_regular_file();
    const bool good = r.exited && r.exitCode == 0 && installed == size_t(kCabinetFiles);
    if (!good) ShowFailure(inst, r);
    ok = ok && good;
    fs::remove_all(ref);
    theirs = std::min(theirs, Seconds([&] { vxtest::Run({"cabextract", "-q", "-d", ref, cab}); }));
  }
  std::printf("loader cabinet of %d files in one folder: loader %.3f s, cabextract %.3f s, ratio %.2fx%s\n",
              kCabinetFiles, ours, theirs, ours / theirs, ok ? "" : " (RUN FAILED)");
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string only = argc > 1 ? argv[1] : "";
  bool ok = true;
  if (only.empty() || only == "check") ok = SafeCheck() && ok;
  if (only.empty() || only == "cabinet") ok = Cabinet() && ok;
  if (only.empty() || only == "store") ok = Store() && ok;
  if (only.empty() || only == "files") ok = CabinetFiles() && ok;
  return ok ? 0 : 1;
}
