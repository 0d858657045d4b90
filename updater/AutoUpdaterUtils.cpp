#include "updater/AutoUpdaterUtils.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

#include "platform/rtl/classes.h"
#include "platform/rtl/sysutils.h"
#include "platform/vcl/forms.h"
#include "platform/win/messages.h"
#include "platform/win/process.h"
#include "platform/win/shell.h"
#include "platform/win/sync.h"
#include "platform/win/winuser.h"
#include "platform/win/filelock.h"
#include "codecs/png/PngImage.h"
#include "platform/win/resources.h"
#include "updater/NVLogFile.h"
#include "updater/md5.h"

namespace {

constexpr int64_t kLoaderLogLimit = 1048576;

std::unique_ptr<TLogFile>& LoaderLog() {
  static std::unique_ptr<TLogFile> log;
  return log;
}

}  // namespace

TLogFile& LoaderLogFile() {
  std::lock_guard guard(LogFileLock());
  auto& log = LoaderLog();
  if (!log) {
    log = std::make_unique<TLogFile>(nullptr);
    log->BeginLoading();
    log->SetIncDateTime(true);
    log->SetIncSeparator(true);
    log->SetIncSuffix(true);
    log->SetIncPrefix(false);
    log->SetSeparator(" [");
    log->SetSuffix("]");
    log->SetClearonCreate(false);
    log->SetDateTimeFormatStr("yyyy-mm-dd hh:nn:ss:zzz");
    log->SetSizeLimit(kLoaderLogLimit);
    log->SetLogFileName(ExtractFilePath(ParamStr(0)) + "LoaderLog.log");
    log->EndLoading();
  }
  return *log;
}

void WriteLog(const std::string& Msg, bool Detail) {
  if (Detail && !FileExists("DETAILLOG.FLAG")) return;
  LoaderLogFile().WriteEntry(Msg, 0, 0);
}

std::string ShellExecuteErrorText(int Code) {
  switch (Code) {
    case 0: return "Value: 0\tDescription: The operating system is out of memory or resources.";
    case 2: return "Value: SE_ERR_FNF\tDescription: The specified file was not found.";
    case 3: return "Value: SE_ERR_PNF\tDescription: The specified path was not found.";
    case 5:
      return "Value: SE_ERR_ACCESSDENIED\tDescription: The operating system denied access to the "
             "specified file.";
    case 8:
      return "Value: SE_ERR_OOM\tDescription: There was not enough memory to complete the operation.";
    case 11:
      return "Value: ERROR_BAD_FORMAT\tDescription: The .EXE file is invalid (non-Win32 .EXE or "
             "error in .EXE image).";
    case 26: return "Value: SE_ERR_SHARE\tDescription: A sharing violation occurred.";
    case 27:
      return "Value: SE_ERR_ASSOCINCOMPLETE\tDescription: The filename association is incomplete "
             "or invalid.";
    case 28:
      return "Value: SE_ERR_DDETIMEOUT\tDescription: The DDE transaction could not be completed "
             "because the request timed out.";
    case 29: return "Value: SE_ERR_DDEFAIL\tDescription: The DDE transaction failed.";
    case 30:
      return "Value: SE_ERR_DDEBUSY\tDescription: The DDE transaction could not be completed "
             "because other DDE transactions were being processed.";
    case 31:
      return "Value: SE_ERR_NOASSOC\tDescription: There is no application associated with the "
             "given filename extension.";
    case 32:
      return "Value: SE_ERR_DLLNOTFOUND\tDescription: The specified dynamic-link library was not "
             "found.";
    default: return Format("Value:%d\tDescription: Undefined...", Code);
  }
}

bool IsFileLocked(const std::string& FileName) {
  try {
    if (FileName.empty() || !FileExists(FileName)) return false;
    return ::IsFileInUse(FileName);
  } catch (const std::exception&) {
    return false;
  }
}

bool IsValidDownloadFile(const std::string& FileName) {
  const int fd = OpenRegularFile(FileName);
  if (fd < 0) return false;
  char head[2] = {0, 0};
  ssize_t got;
  do got = ::read(fd, head, 2); while (got < 0 && errno == EINTR);
  ::close(fd);
  if (got <= 0) return false;
  return !(got == 2 && head[0] == '<' && head[1] == '!');
}

bool IsPlainFile(const std::string& FileName) { return GetLocalFileSize(FileName) >= 0; }

int CompareVersion(const std::string& A, const std::string& B) {
  try {
    auto fields = [](const std::string& v, TStringList& list) {
      ExtractStrings(".", " ", v.substr(0, v.find('|')), &list);
    };
    TStringList a, b;
    fields(A, a);
    fields(B, b);
    for (int i = 0; i < a.Count(); ++i) {
      if (i >= b.Count()) return -1;
      const int64_t x = StrToInt64(a[i]), y = StrToInt64(b[i]);
      if (y < x) return 1;
      if (x < y) return -1;
    }
    return 0;
  } catch (const std::exception&) {
    return -1;
  }
}

bool ForceDirectoriesSafe(const std::string& Dir) {
  try {
    return ForceDirectories(Dir);
  } catch (const std::exception&) {
    return false;
  }
}

bool IsDateExpired(const std::string& DateText, int Days) {
  if (DateText.size() != 8) return true;
  try {
    const TDateTime date = EncodeDate(Word(StrToInt(Copy(DateText, 1, 4))), Word(StrToInt(Copy(DateText, 5, 2))),
                                      Word(StrToInt(Copy(DateText, 7, 2))));
    return DaysBetween(Now(), date) > Days;
  } catch (const std::exception&) {
    return true;  // a date that cannot be read counts as long ago
  }
}

int CountOccurrences(const std::string& Sub, const std::string& Text) {
  try {
    if (Sub.empty()) return 0;
    std::string rest = Text;
    int count = 0;
    for (size_t at; (at = rest.find(Sub)) != std::string::npos; ++count) rest.erase(at, Sub.size());
    return count;
  } catch (const std::exception&) {
    return -1;
  }
}

int64_t GetLocalFileSize(const std::string& FileName) {
  if (FileName.empty()) return -1;
  // One open for reading answers both whether the file is there and its size; what
  // is no plain file (a pipe, a device) is not there.
  const int fd = OpenRegularFile(FileName);
  if (fd < 0) return -1;
  struct stat st {};
  const bool ok = ::fstat(fd, &st) == 0;
  ::close(fd);
  return ok ? int64_t(st.st_size) : -1;
}

std::string ExtractInnerExt(const std::string& FileName) {
  const std::string name = ExtractFileName(FileName);
  const size_t first = name.find('.');
  if (first == std::string::npos) return "";
  const size_t second = name.find('.', first + 1);
  return name.substr(first + 1, second == std::string::npos ? std::string::npos : second - first - 1);
}

HINSTANCE RegisterServer(const std::string& FileName) {
  return ShellExecute(nullptr, "open", "regsvr32", Format(" /s \"%s\"", FileName).c_str(), nullptr, SW_HIDE);
}

std::string GetFileMD5(const std::string& FileName, int64_t* Size) {
  if (Size) *Size = -1;
  try {
    // A missing file, a folder or a read error leaves no digest.
    MD5Digest digest;
    if (!MD5DigestFile(FileName, digest, Size)) return "";
    return LowerCase(MD5DigestToHex(digest));
  } catch (const std::exception&) {
    return "";
  }
}

int ExecuteAndWait(const std::string& Program, const std::string& CommandLine, int ShowCmd, bool Wait) {
  const HWND foreground = GetForegroundWindow();
  if (Program.empty() || !FileExists(Program)) return -1;

  STARTUPINFO si;
  si.dwFlags = STARTF_USESHOWWINDOW;
  si.wShowWindow = WORD(ShowCmd);
  PROCESS_INFORMATION pi;
  const std::string folder = ExcludeTrailingPathDelimiter(ExtractFilePath(Program));
  if (!CreateProcess(Program.c_str(), CommandLine.empty() ? nullptr : CommandLine.c_str(), nullptr, nullptr, FALSE,
                     CREATE_NEW_CONSOLE | NORMAL_PRIORITY_CLASS | HIGH_PRIORITY_CLASS, nullptr,
                     folder.empty() ? nullptr : folder.c_str(), &si, &pi))
    return -1;
  if (!Wait) {
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return 0;
  }

  Application->ModalStarted();
  const std::vector<TCustomForm*> disabled = DisableTaskWindows(nullptr);
  DWORD code = STILL_ACTIVE;
  for (;;) {
    MSG msg;
    if (PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE)) {
      // The program is being ended: go at once, as the quit message asks.
      if (msg.message == WM_QUIT) std::_Exit(int(msg.wParam));
      TranslateMessage(&msg);
      DispatchMessage(&msg);
      continue;
    }
    Screen->PaintPendingForms();
    Sleep(10);
    if (!GetExitCodeProcess(pi.hProcess, &code) || code != STILL_ACTIVE) break;
  }
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  EnableTaskWindows(disabled);
  Application->ModalFinished();
  if (foreground) {
    SetForegroundWindow(foreground);
    SetWindowPos(foreground, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    SetWindowPos(foreground, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    SetActiveWindow(foreground);
  }
  return int(code);
}

TUnattended UnattendedTurn() {
  IPresenter* presenter = Application->Presenter();
  if (!presenter->Headless()) return TUnattended::Person;
  if (presenter->ScriptStep()) return TUnattended::ScriptActed;
  return TUnattended::Nobody;
}

bool LoadPngResourceTo(HINSTANCE Instance, const std::string& Name, TPersistent* Dest) {
  if (!Dest) return false;
  try {
    if (!FindResource(Instance, Name.c_str(), "PNG")) return false;
    TResourceStream stream(Instance, Name, "PNG");
    TPNGObject png;
    png.LoadFromStream(&stream);
    Dest->Assign(&png);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}
