#include "tests/support/run_program.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace vxtest {

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
