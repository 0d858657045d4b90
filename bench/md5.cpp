// MD5 throughput against OpenSSL in the same run, and whole-file hashing of many
// small files against md5sum over the same files. Prints ratios (> 1: we are faster).
#include <fcntl.h>
#include <openssl/evp.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "updater/AutoUpdaterUtils.h"
#include "updater/md5.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

template <class F>
double Best(int runs, F&& f) {
  double best = 1e30;
  for (int i = 0; i < runs; ++i) {
    const auto t = Clock::now();
    f();
    best = std::min(best, Seconds(t));
  }
  return best;
}

// Runs argv in folder with stdout into a string; returns the exit status.
int RunCapture(const std::vector<std::string>& argv, const std::string& folder, std::string& out) {
  int pipefd[2];
  if (pipe(pipefd) != 0) return -1;
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_adddup2(&fa, pipefd[1], 1);
  posix_spawn_file_actions_addclose(&fa, pipefd[0]);
  posix_spawn_file_actions_addchdir_np(&fa, folder.c_str());
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid;
  const int rc = posix_spawnp(&pid, args[0], &fa, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&fa);
  close(pipefd[1]);
  if (rc != 0) {
    close(pipefd[0]);
    return -1;
  }
  char buf[65536];
  ssize_t n;
  while ((n = read(pipefd[0], buf, sizeof buf)) > 0) out.append(buf, size_t(n));
  close(pipefd[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void Throughput() {
  const size_t size = 256u << 20;
  std::vector<uint8_t> buf(size);
  std::mt19937_64 gen(42);
  for (size_t i = 0; i < size; i += 8) {
    const uint64_t v = gen();
    std::memcpy(&buf[i], &v, 8);
  }
  MD5Digest ours{}, ref{};
  const double tOurs = Best(3, [&] {
    MD5Context c;
    MD5Init(c);
    MD5Update(c, buf.data(), buf.size());
    MD5Final(ours, c);
  });
  const double tRef = Best(3, [&] {
    unsigned int len = 0;
    EVP_Digest(buf.data(), buf.size(), ref.data(), &len, EVP_md5(), nullptr);
  });
  if (ours != ref) {
    std::printf("md5: DIGEST MISMATCH\n");
    std::exit(1);
  }
  const double mib = double(size) / (1 << 20);
  std::printf("md5 256 MiB buffer: ours %.0f MiB/s, OpenSSL %.0f MiB/s, ratio %.2fx\n", mib / tOurs,
              mib / tRef, tRef / tOurs);
}

void ManyFiles() {
  namespace fs = std::filesystem;
  const int count = 10000;
  const size_t fileSize = 16 * 1024;
  char tmpl[] = "/tmp/vxbenchXXXXXX";
  if (!mkdtemp(tmpl)) return;
  const std::string dir = tmpl;
  std::vector<std::string> names;
  std::mt19937_64 gen(7);
  std::string bytes(fileSize, '\0');
  for (int i = 0; i < count; ++i) {
    for (auto& c : bytes) c = char(gen());
    char name[16];
    std::snprintf(name, sizeof name, "f%05d", i);
    names.push_back(name);
    FILE* f = std::fopen((dir + "/" + name).c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  }

  std::vector<std::string> digests(count);
  auto hashAll = [&] {
    for (int i = 0; i < count; ++i) {
      digests[i] = GetFileMD5(dir + "/" + names[i]);
    }
  };
  std::vector<std::string> argv{"md5sum"};
  argv.insert(argv.end(), names.begin(), names.end());
  std::string reference;
  auto runMd5sum = [&] {
    reference.clear();
    RunCapture(argv, dir, reference);
  };
  hashAll();  // warm the page cache for both
  const double tOurs = Best(3, hashAll);
  const double tRef = Best(3, runMd5sum);

  // md5sum prints "<hex>  <name>" per file, in argument order.
  std::string expected;
  for (int i = 0; i < count; ++i) expected += digests[i] + "  " + names[i] + "\n";
  fs::remove_all(dir);
  if (expected != reference) {
    std::printf("md5 files: DIGESTS DIFFER FROM md5sum\n");
    std::exit(1);
  }
  std::printf("md5 %d files of 16 KiB: ours %.3f s, md5sum %.3f s, ratio %.2fx\n", count, tOurs,
              tRef, tRef / tOurs);
}

}  // namespace

int main() {
  Throughput();
  ManyFiles();
  return 0;
}
