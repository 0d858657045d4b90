#include "platform/win/process.h"

#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <mutex>

#include "platform/rtl/sysutils.h"

namespace {

// ---------------------------------------------------------------- exit status collection

// Children whose handles were closed while they ran; their exit status is collected on
// later process calls so that they do not stay behind as zombies.
struct TOrphans {
  std::mutex lock;
  std::vector<pid_t> pids;
};
TOrphans& Orphans() {
  static auto* o = new TOrphans;
  return *o;
}

void ReapOrphans() {
  TOrphans& o = Orphans();
  std::lock_guard guard(o.lock);
  std::erase_if(o.pids, [](pid_t pid) {
    int status;
    const pid_t r = waitpid(pid, &status, WNOHANG);
    return r == pid || (r < 0 && errno == ECHILD);
  });
}

void AddOrphan(pid_t pid) {
  TOrphans& o = Orphans();
  std::lock_guard guard(o.lock);
  o.pids.push_back(pid);
}

class TProcessObject final : public TKernelObject {
 public:
  explicit TProcessObject(pid_t pid) : pid_(pid), pidfd_(int(syscall(SYS_pidfd_open, pid, 0))) {}
  ~TProcessObject() override {
    if (pidfd_ >= 0) close(pidfd_);
    if (!exited_) AddOrphan(pid_);
  }

  bool IsSignaled(int64_t) override {
    if (!exited_) Collect();
    return exited_;
  }
  // Without a process descriptor the wait looks again every 10 ms.
  int64_t NextChange() const override { return pidfd_ >= 0 || exited_ ? kNeverNs : Clock().Now() + 10'000'000; }
  int PollFd() const override { return pidfd_; }

  pid_t Pid() const { return pid_; }
  // With KernelObjectLock held.
  bool Exited() {
    if (!exited_) Collect();
    return exited_;
  }
  DWORD ExitCode() const { return code_; }
  bool Terminate(UINT code) {
    if (Exited()) return false;
    if (kill(pid_, SIGKILL) != 0) return false;
    terminated_ = true;
    terminateCode_ = code;
    return true;
  }

 private:
  void Collect() {
    int status = 0;
    const pid_t r = waitpid(pid_, &status, WNOHANG);
    if (r == pid_) {
      exited_ = true;
      if (WIFEXITED(status)) {
        code_ = DWORD(WEXITSTATUS(status));
      } else if (terminated_) {
        code_ = terminateCode_;
      } else {
        code_ = WIFSIGNALED(status) ? DWORD(128 + WTERMSIG(status)) : 1;
      }
    } else if (r < 0 && errno == ECHILD) {
      exited_ = true;  // collected by someone else; the status is lost
      code_ = terminated_ ? terminateCode_ : 0;
    }
  }

  const pid_t pid_;
  const int pidfd_;
  bool exited_ = false;
  DWORD code_ = 0;
  bool terminated_ = false;
  DWORD terminateCode_ = 0;
};

// ---------------------------------------------------------------- starting

DWORD Win32ErrorOf(int err) {
  switch (err) {
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case ETXTBSY:
    case EISDIR: return ERROR_ACCESS_DENIED;
    case ENOEXEC:
    case ELIBBAD: return ERROR_BAD_EXE_FORMAT;
    case ENOMEM:
    case E2BIG: return ERROR_NOT_ENOUGH_MEMORY;
    case EMFILE:
    case ENFILE: return ERROR_TOO_MANY_OPEN_FILES;
    default: return ERROR_INVALID_PARAMETER;
  }
}

bool IsFolder(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// ERROR_PATH_NOT_FOUND when the folder part of a missing file does not exist either.
DWORD MissingFileError(const std::string& osPath) {
  const size_t slash = osPath.rfind('/');
  if (slash != std::string::npos && slash > 0 && !IsFolder(osPath.substr(0, slash))) return ERROR_PATH_NOT_FOUND;
  return ERROR_FILE_NOT_FOUND;
}

// Starts `program` with argv; 0 or an errno.
int Spawn(const std::string& program, const std::vector<std::string>& argv, const std::string& folder,
          bool closeDescriptors, pid_t& pid) {
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attr;
  posix_spawn_file_actions_init(&actions);
  posix_spawnattr_init(&attr);
  if (!folder.empty()) posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
  if (closeDescriptors) posix_spawn_file_actions_addclosefrom_np(&actions, 3);
  // The child starts with default signal handling and nothing blocked, whatever the
  // parent changed (an ignored SIGPIPE would otherwise be inherited).
  sigset_t none, all;
  sigemptyset(&none);
  sigfillset(&all);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setsigdefault(&attr, &all);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  const int err = posix_spawn(&pid, program.c_str(), &actions, &attr, args.data(), environ);
  posix_spawnattr_destroy(&attr);
  posix_spawn_file_actions_destroy(&actions);
  return err;
}

bool IsRegularExecutable(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

// ---------------------------------------------------------------- command lines

void SplitArguments(std::string_view s, size_t pos, std::vector<std::string>& out) {
  const size_t n = s.size();
  for (;;) {
    while (pos < n && (s[pos] == ' ' || s[pos] == '\t')) ++pos;
    if (pos >= n) return;
    std::string token;
    bool quoted = false;
    while (pos < n) {
      char c = s[pos];
      if (!quoted && (c == ' ' || c == '\t')) break;
      if (c == '\\') {
        size_t count = 0;
        while (pos < n && s[pos] == '\\') {
          ++count;
          ++pos;
        }
        if (pos < n && s[pos] == '"') {
          token.append(count / 2, '\\');
          if (count % 2 == 1) {
            token += '"';
            ++pos;
          }
        } else {
          token.append(count, '\\');
        }
        continue;
      }
      if (c == '"') {
        if (quoted && pos + 1 < n && s[pos + 1] == '"') {
          token += '"';
          pos += 2;
        } else {
          quoted = !quoted;
          ++pos;
        }
        continue;
      }
      token += c;
      ++pos;
    }
    out.push_back(std::move(token));
  }
}

}  // namespace

std::vector<std::string> CommandLineToArgv(std::string_view CommandLine) {
  std::vector<std::string> out;
  if (CommandLine.empty()) return out;
  size_t pos = 0;
  std::string program;
  if (CommandLine[0] == '"') {
    const size_t close = CommandLine.find('"', 1);
    program = std::string(CommandLine.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1));
    pos = close == std::string_view::npos ? CommandLine.size() : close + 1;
  } else {
    while (pos < CommandLine.size() && CommandLine[pos] != ' ' && CommandLine[pos] != '\t') ++pos;
    program = std::string(CommandLine.substr(0, pos));
  }
  out.push_back(std::move(program));
  SplitArguments(CommandLine, pos, out);
  return out;
}

std::vector<std::string> SplitCommandLineArguments(std::string_view Parameters) {
  std::vector<std::string> out;
  SplitArguments(Parameters, 0, out);
  return out;
}

std::string FindProgram(const std::string& Name) {
  if (Name.empty()) return "";
  if (Name.find_first_of("/\\") != std::string::npos) {
    const std::string path = NativePath(Name);
    return IsRegularExecutable(path) ? path : "";
  }
  const char* env = std::getenv("PATH");
  const std::string dirs = env ? env : "/usr/local/bin:/usr/bin:/bin";
  size_t start = 0;
  while (start <= dirs.size()) {
    size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    if (end > start) {
      const std::string path = NativePath(dirs.substr(start, end - start) + "/" + Name);
      if (IsRegularExecutable(path)) return path;
    }
    start = end + 1;
  }
  return "";
}

BOOL CreateProcess(const char* lpApplicationName, const char* lpCommandLine, const SECURITY_ATTRIBUTES*,
                   const SECURITY_ATTRIBUTES*, BOOL bInheritHandles, DWORD, void*, const char* lpCurrentDirectory,
                   const STARTUPINFO*, PROCESS_INFORMATION* lpProcessInformation) {
  ReapOrphans();
  std::vector<std::string> args = lpCommandLine ? CommandLineToArgv(lpCommandLine) : std::vector<std::string>{};
  std::string program;
  if (lpApplicationName && *lpApplicationName) {
    program = NativePath(lpApplicationName);
  } else {
    if (args.empty() || args[0].empty()) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
    }
    program = FindProgram(args[0]);
    if (program.empty()) {
      SetLastError(args[0].find_first_of("/\\") != std::string::npos ? MissingFileError(NativePath(args[0]))
                                                                      : ERROR_FILE_NOT_FOUND);
      return FALSE;
    }
  }
  struct stat st;
  if (stat(program.c_str(), &st) != 0) {
    SetLastError(MissingFileError(program));
    return FALSE;
  }
  std::string folder;
  if (lpCurrentDirectory && *lpCurrentDirectory) {
    folder = NativePath(lpCurrentDirectory);
    if (!IsFolder(folder)) {
      SetLastError(ERROR_DIRECTORY);
      return FALSE;
    }
  }
  // The child's first argument is the program as the kernel finds it.
  if (args.empty()) args.emplace_back();
  args[0] = program;
  pid_t pid = 0;
  if (const int err = Spawn(program, args, folder, bInheritHandles == FALSE, pid)) {
    SetLastError(Win32ErrorOf(err));
    return FALSE;
  }
  auto object = std::make_shared<TProcessObject>(pid);
  if (lpProcessInformation) {
    lpProcessInformation->hProcess = NewHandle(object);
    lpProcessInformation->hThread = NewHandle(object);
    lpProcessInformation->dwProcessId = DWORD(pid);
    lpProcessInformation->dwThreadId = DWORD(pid);
  }
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

BOOL GetExitCodeProcess(HANDLE hProcess, DWORD* lpExitCode) {
  auto p = HandleObjectAs<TProcessObject>(hProcess);
  if (!p || !lpExitCode) return FALSE;
  std::lock_guard guard(KernelObjectLock());
  *lpExitCode = p->Exited() ? p->ExitCode() : STILL_ACTIVE;
  return TRUE;
}

BOOL TerminateProcess(HANDLE hProcess, UINT uExitCode) {
  auto p = HandleObjectAs<TProcessObject>(hProcess);
  if (!p) return FALSE;
  std::lock_guard guard(KernelObjectLock());
  if (!p->Terminate(uExitCode)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  return TRUE;
}

DWORD WaitForInputIdle(HANDLE hProcess, DWORD) {
  return HandleObjectAs<TProcessObject>(hProcess) ? 0 : WAIT_FAILED;
}

int SpawnDetached(const std::string& Program, const std::vector<std::string>& Args, const std::string& Folder) {
  ReapOrphans();
  pid_t pid = 0;
  if (const int err = Spawn(Program, Args, Folder, true, pid)) return err;
  AddOrphan(pid);
  return 0;
}
