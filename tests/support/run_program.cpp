#include "tests/support/run_program.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace fs = std::filesystem;

namespace vxtest {

namespace {

bool InTree(const std::string& path) {
  for (const std::string tree : {VX_BINARY_DIR "/", VX_SOURCE_DIR "/"})
    if (path.compare(0, tree.size(), tree) == 0) return true;
  return false;
}

// A copy of File in Folder under Name, readable by all.
std::string OpenCopy(const std::string& File, const std::string& Folder, const std::string& Name) {
  const std::string copy = Folder + "/" + Name;
  fs::copy_file(File, copy, fs::copy_options::overwrite_existing);
  fs::permissions(copy, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                            fs::perms::others_read | fs::perms::others_exec);
  return copy;
}

}  // namespace

std::vector<std::string> AsNobody(const std::string& Program, const std::string& Folder) {
  if (InTree(Program)) throw std::runtime_error(Program + " lies in the tree, which may be closed to others");
  fs::create_directories(Folder);
  fs::permissions(Folder, fs::perms::others_read | fs::perms::others_exec | fs::perms::group_read |
                              fs::perms::group_exec, fs::perm_options::add);
  std::vector<std::string> out = {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups",
                                  "env",     "LD_LIBRARY_PATH=" + Folder};

  // "name => /path (address)" for every library the dynamic linker finds.
  FILE* ldd = popen(("ldd '" + Program + "' 2>/dev/null").c_str(), "r");
  if (!ldd) throw std::runtime_error("cannot run ldd");
  char line[4096];
  while (fgets(line, sizeof line, ldd)) {
    const char* arrow = std::strstr(line, " => ");
    if (!arrow) continue;
    std::string path(arrow + 4);
    path = path.substr(0, path.find(" ("));
    if (!path.empty() && path.back() == '\n') path.pop_back();
    if (InTree(path)) OpenCopy(path, Folder, fs::path(path).filename());
  }
  pclose(ldd);

  for (const char* var : {"ASAN_OPTIONS", "LSAN_OPTIONS", "UBSAN_OPTIONS", "TSAN_OPTIONS"}) {
    const char* value = std::getenv(var);
    if (!value) continue;
    std::string options, item;
    for (const char* c = value;; ++c) {
      if (*c && *c != ':') {
        item += *c;
        continue;
      }
      static const std::string kKey = "suppressions=";
      if (item.compare(0, kKey.size(), kKey) == 0)
        item = kKey + OpenCopy(item.substr(kKey.size()), Folder, std::string(var) + ".supp");
      options += (options.empty() ? "" : ":") + item;
      item.clear();
      if (!*c) break;
    }
    out.push_back(std::string(var) + "=" + options);
  }
  return out;
}

RunResult RunProgram(const std::vector<std::string>& argv, const RunOptions& options) {
  std::map<std::string, std::string> env;
  for (char** e = environ; *e; ++e)
    if (const char* eq = std::strchr(*e, '=')) env[std::string(*e, size_t(eq - *e))] = eq + 1;
  for (const auto& [k, v] : options.env) env[k] = v;
  std::vector<std::string> envText, args = argv;
  for (const auto& [k, v] : env) envText.push_back(k + "=" + v);
  std::vector<char*> envp, argp;
  for (auto& s : envText) envp.push_back(s.data());
  envp.push_back(nullptr);
  for (auto& s : args) argp.push_back(s.data());
  argp.push_back(nullptr);

  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  if (!options.folder.empty()) posix_spawn_file_actions_addchdir_np(&fa, options.folder.c_str());
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);  // its own group, to end it whole
  posix_spawnattr_setpgroup(&attr, 0);
  const auto start = std::chrono::steady_clock::now();
  pid_t pid = -1;
  const int rc = posix_spawnp(&pid, argp[0], &fa, &attr, argp.data(), envp.data());
  posix_spawn_file_actions_destroy(&fa);
  posix_spawnattr_destroy(&attr);
  if (rc != 0) throw std::runtime_error("cannot start " + argv[0] + ": " + std::strerror(rc));

  auto elapsed = [&] { return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(); };
  RunResult r;
  int status = 0;
  while (waitpid(pid, &status, WNOHANG) != pid) {
    if (options.killAfterSeconds >= 0 && elapsed() > options.killAfterSeconds) {
      kill(-pid, SIGKILL);
      waitpid(pid, &status, 0);
      break;
    }
    if (elapsed() > options.timeoutSeconds) {
      kill(-pid, SIGKILL);
      waitpid(pid, &status, 0);
      r.timedOut = true;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  r.seconds = elapsed();
  if (!r.timedOut && WIFEXITED(status)) {
    r.exited = true;
    r.exitCode = WEXITSTATUS(status);
  } else if (WIFSIGNALED(status)) {
    r.signal = WTERMSIG(status);
  }
  return r;
}

}  // namespace vxtest
