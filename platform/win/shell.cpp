#include "platform/win/shell.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "platform/rtl/registry.h"
#include "platform/rtl/sysutils.h"
#include "platform/vcl/forms.h"

namespace {

constexpr int kSuccess = 42;

HINSTANCE Result(int code) { return reinterpret_cast<HINSTANCE>(intptr_t{code}); }

bool IsUrl(const std::string& s) {
  if (s.size() > 7 && SameText(s.substr(0, 7), "mailto:")) return true;
  const size_t colon = s.find("://");
  if (colon == std::string::npos || colon < 2) return false;
  for (size_t i = 0; i < colon; ++i) {
    const char c = s[i];
    const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    if (!letter && !(i > 0 && ((c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.'))) return false;
  }
  return true;
}

int CodeOf(int err) {
  switch (err) {
    case 0: return kSuccess;
    case ENOENT: return SE_ERR_FNF;
    case ENOTDIR: return SE_ERR_PNF;
    case EACCES:
    case EPERM:
    case ETXTBSY: return SE_ERR_ACCESSDENIED;
    case ENOEXEC:
    case ELIBBAD: return int(ERROR_BAD_FORMAT);
    case ENOMEM:
    case E2BIG: return SE_ERR_OOM;
    default: return 0;
  }
}

int OpenWithDesktop(const std::string& target, const std::string& folder) {
  const std::string opener = FindProgram("xdg-open");
  if (opener.empty()) return SE_ERR_NOASSOC;
  if (HeadlessSkipsOpening(opener, target)) return kSuccess;
  return CodeOf(SpawnDetached(opener, {opener, target}, folder));
}

bool StatOf(const std::string& path, struct stat& st) { return stat(path.c_str(), &st) == 0; }

// The program registered for a bare program name under the machine's App Paths, or "".
std::string AppPath(const std::string& program) {
  TRegistry reg;
  reg.SetRootKey(HKEY_LOCAL_MACHINE);
  if (!reg.OpenKeyReadOnly("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\" + program)) return "";
  return reg.ReadString("");
}

bool IsWebBrowser(const std::string& file) { return SameText(file, "iexplore.exe") || SameText(file, "iexplore"); }

}  // namespace

bool HeadlessSkipsOpening(const std::string& Program, const std::string& Parameters) {
  if (!Application->Presenter()->Headless()) return false;
  std::fprintf(stderr, "headless run: %s %s not started\n", Program.c_str(), Parameters.c_str());
  std::fflush(stderr);
  return true;
}

HINSTANCE ShellExecute(HWND, const char* lpOperation, const char* lpFile, const char* lpParameters,
                       const char* lpDirectory, int) {
  if (lpOperation && *lpOperation && !SameText(lpOperation, "open")) return Result(SE_ERR_NOASSOC);
  const std::string file = lpFile ? lpFile : "";
  if (file.empty()) return Result(SE_ERR_FNF);

  std::string folder;
  if (lpDirectory && *lpDirectory) {
    folder = NativePath(lpDirectory);
    struct stat st;
    if (!StatOf(folder, st) || !S_ISDIR(st.st_mode)) return Result(SE_ERR_PNF);
  }
  if (IsUrl(file)) return Result(OpenWithDesktop(file, folder));
  if (IsWebBrowser(file)) {
    const std::string address = lpParameters ? lpParameters : "";
    return Result(address.empty() ? SE_ERR_FNF : OpenWithDesktop(address, folder));
  }

  std::string path;
  struct stat st;
  const bool bare = file.find_first_of("/\\") == std::string::npos;
  bool registered = false;  // found under App Paths
  if (bare) {
    const std::string local = NativePath((folder.empty() ? std::string(".") : folder) + "/" + file);
    if (StatOf(local, st)) {
      path = local;
    } else {
      path = FindProgram(file);
      if (path.empty()) {
        path = AppPath(file);
        registered = !path.empty();
      }
      if (path.empty()) return Result(SE_ERR_FNF);
    }
  } else {
    path = NativePath(file);
    if (path[0] != '/' && !folder.empty() && !StatOf(path, st)) path = NativePath(folder + "/" + file);
    if (!StatOf(path, st)) {
      const size_t slash = path.rfind('/');
      struct stat dir;
      if (slash != std::string::npos && slash > 0 && !StatOf(path.substr(0, slash), dir)) return Result(SE_ERR_PNF);
      return Result(SE_ERR_FNF);
    }
  }
  if (!StatOf(path, st)) return Result(SE_ERR_FNF);
  if (S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0) {
    const std::string params = lpParameters ? lpParameters : "";
    // The desktop's opener, and a program registered under App Paths (the browser, the
    // spreadsheet program), open what they are given.
    const bool opens = registered || ExtractFileName(path) == "xdg-open";
    if (opens && HeadlessSkipsOpening(path, params)) return Result(kSuccess);
    std::vector<std::string> args{path};
    for (auto& a : SplitCommandLineArguments(params)) args.push_back(std::move(a));
    return Result(CodeOf(SpawnDetached(path, args, folder)));
  }
  if (access(path.c_str(), R_OK) != 0) return Result(SE_ERR_ACCESSDENIED);
  return Result(OpenWithDesktop(path, folder));
}
