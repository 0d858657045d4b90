// Extraction speed of the cabinet reader against cabextract on a 200 MB MSZIP
// cabinet made by gcab from deterministic, moderately compressible data.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "updater/CabSTComps.h"

extern char** environ;

namespace fs = std::filesystem;

namespace {

constexpr size_t kFiles = 20;
constexpr size_t kFileSize = 10 * 1000 * 1000;
constexpr int kRounds = 5;

// Text-like runs mixed with noise: roughly 2:1 under deflate.
std::string Data(size_t n, uint32_t seed) {
  static const char* const kWords[] = {"update ", "cabinet ", "folder ", "version ", "loader ", "client ",
                                       "file ",   "record ",  "value ",  "section ", "\r\n",    "0x1F2E "};
  std::string s;
  s.reserve(n + 64);
  uint32_t x = seed * 2654435761u + 7;
  auto next = [&] { return x ^= x << 13, x ^= x >> 17, x ^= x << 5; };
  while (s.size() < n) {
    const size_t end = s.size() + 64 + next() % 192;
    if (next() % 3 == 0)
      while (s.size() < end) s.push_back(char(next()));
    else
      while (s.size() < end) s += kWords[next() % 12];
  }
  s.resize(n);
  return s;
}

int Run(const std::vector<std::string>& argv, const std::string& cwd = "") {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  if (!cwd.empty()) posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid;
  if (posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ) != 0) return -1;
  posix_spawn_file_actions_destroy(&actions);
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Seconds of one run, from a clean output folder and a synced disk.
template <class F>
double Seconds(F&& f, const std::string& out) {
  fs::remove_all(out);
  sync();
  auto t0 = std::chrono::steady_clock::now();
  f();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

bool SameTree(const std::string& a, const std::string& b) {
  for (size_t i = 0; i < kFiles; ++i) {
    const std::string name = "/part" + std::to_string(i) + ".dat";
    std::ifstream fa(a + name, std::ios::binary), fb(b + name, std::ios::binary);
    std::string da((std::istreambuf_iterator<char>(fa)), {}), db((std::istreambuf_iterator<char>(fb)), {});
    if (da.size() != kFileSize || da != db) return false;
  }
  return true;
}

}  // namespace

int main() {
  char tmpl[] = "/tmp/cabbenchXXXXXX";
  if (!mkdtemp(tmpl)) return 1;
  const std::string root = tmpl;
  const std::string src = root + "/src", cab = root + "/big.cab";
  fs::create_directories(src);
  std::vector<std::string> argv = {"gcab", "-c", "-z", cab};
  for (size_t i = 0; i < kFiles; ++i) {
    const std::string name = "part" + std::to_string(i) + ".dat";
    std::ofstream(src + "/" + name, std::ios::binary) << Data(kFileSize, uint32_t(i + 1));
    argv.push_back(name);
  }
  if (Run(argv, src) != 0) {
    std::fprintf(stderr, "gcab failed\n");
    return 1;
  }
  fs::remove_all(src);
  const double cabMB = double(fs::file_size(cab)) / 1e6;

  const std::string ref = root + "/ref", out = root + "/out";
  // Alternate the two and keep each one's best, so that load from elsewhere on the
  // machine hits both alike.
  double theirs = 1e30, ours = 1e30;
  bool ok = true;
  for (int i = 0; i < kRounds; ++i) {
    theirs = std::min(theirs, Seconds([&] { Run({"cabextract", "-q", "-d", ref, cab}); }, ref));
    ours = std::min(ours, Seconds([&] { ok = ok && ExtractCabinet(cab, out); }, out));
  }
  const bool same = ok && SameTree(ref, out);

  std::printf("cabinet: %zu MB in %.1f MB MSZIP cabinet: ExtractCabinet %.3f s, cabextract %.3f s, ratio %.2fx%s\n",
              kFiles * kFileSize / 1000000, cabMB, ours, theirs, ours / theirs, same ? "" : " (OUTPUT DIFFERS)");
  fs::remove_all(root);
  return same ? 0 : 1;
}
