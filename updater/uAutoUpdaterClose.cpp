// The end of a run: COM server registration, the scripted condition actions, the
// client start, the self-update hand-off and the exit code.
#include "platform/rtl/sysutils.h"
#include "platform/win/process.h"
#include "platform/win/shell.h"
#include "updater/AutoUpdaterUtils.h"
#include "updater/ClientConfiguration.h"
#include "updater/FormSplash.h"
#include "updater/uAutoUpdater.h"

namespace {

// Handed to the first client program on its command line.
const char kClientToken[] = "Qm4TzLw8RkPa2VfYx9HcNe==";

int ShellResult(HINSTANCE Result) { return int(reinterpret_cast<intptr_t>(Result)); }

}  // namespace

TfrmMainFrame::~TfrmMainFrame() {
  DownloadList.clear();
  switch (UpdateState) {
    case usSuccess:
      WriteLog("정상 종료");
      ExitCode = 0;
      break;
    case usFailed:
      WriteLog("업데이트 실패에 의한 종료");
      ExitCode = 1;
      break;
    case usUpdaterChanged:
      WriteLog("로더 업데이트에 의한 종료");
      ExitCode = 2;
      break;
    case usSafeRerun:
      WriteLog("업데이트 재실행에 의한 종료");
      ExitCode = 3;
      break;
    default:
      break;
  }
  try {
    if (UpdateState == usUpdaterChanged && HasNewLoader()) {
      WriteLog("LaunchSelfUpdater", true);
      LaunchSelfUpdater();
    } else if (UpdateState == usSafeRerun) {
      WriteLog("재실행 LaunchSelfUpdater", true);
      LaunchSelfUpdater();
    } else {
      WriteLog("CloseProcess", true);
      CloseProcess();
    }
  } catch (const std::exception& e) {
    WriteLog(e.what());
  }
  ServerConfig.reset();
  Downloader.reset();
  if (Application->OnException() == TExceptionEvent(this, &TfrmMainFrame::AppException))
    Application->SetOnException(nullptr);
}

std::string TfrmMainFrame::NewFileInTemp(const std::string& Name) const {
  const std::string path = IncludeTrailingPathDelimiter(ClientConfig->TempDir) + ExtractFileName(Name);
  if (FileExists(path)) return path;
  // The program runs here without the ".exe" under which the list sends it.
  if (ExtractFileExt(path).empty() && FileExists(path + ".exe")) return path + ".exe";
  return "";
}

bool TfrmMainFrame::HasNewLoader() {
  const bool found = DirectoryExists(ClientConfig->TempDir) &&
                     (!NewFileInTemp(ClientConfig->ExeName).empty() || !NewFileInTemp(ClientConfig->ExeIniName).empty());
  if (found) CanCloseSilently = true;
  return found;
}

void TfrmMainFrame::CloseProcess() {
  TClientConfiguration& c = *ClientConfig;
  // Actions that the update already ran are not run a second time.
  if (RunActionsOnClose && !conditionActionsDone_) {
    EnableConditionActions();
    ExecuteConditionActions();
  }

  const std::string list = ExpandFileName(ExtractFilePath(c.ExeName) + c.UpdateListName);
  const std::string old = ChangeFileExt(list, ".OLD");
  if (FileExists(old)) DeleteFile(old);
  if (FileExists(list) && ServerConfig) {
    if (!ServerConfig->GetVersionInfo().empty() || DownloadFailed) {
      if (!DeleteFile(list)) WriteLogFmt(false, "Failed delete server configuration file [%s]", c.UpdateListName);
    } else {
      RenameFile(list, old);
    }
  }

  // A client that the update started already is not started a second time.
  if (!c.SMMode && !clientStarted_) {
    if (UpdateState == usFailed && c.GetIsRunWhenUpdateFail())
      ExecOtherProgram(c.GetRunExeName(), c.GetDefaultParamWhenUpdateFail());
    else if (UpdateState == usNothingToDo && RunActionsOnClose)
      ExecOtherProgram(c.GetRunExeName(), c.BizParams);
  }
  if (c.DebugMode) ForceDirectoriesSafe(ExtractFilePath(c.ExeName) + "_temp");
}

void TfrmMainFrame::LaunchSelfUpdater() {
  TClientConfiguration& c = *ClientConfig;
  const std::string temp = IncludeTrailingPathDelimiter(c.TempDir);

  const std::string program = temp + ExtractFileName(c.ExeName);
  WriteLogFmt(false, "로더재실행 Loader.exe : [%s]", program);
  if (NewFileInTemp(c.ExeName).empty()) {
    ForceDirectoriesSafe(c.TempDir);
    CopyFile(c.ExeName, program, false);
  }

  const std::string ini = temp + ExtractFileName(c.ExeIniName);
  WriteLogFmt(false, "로더재실행 Loader.ini : [%s]", ini);
  if (FileExists(ini) && CopyFile(ini, c.ExeIniName, false)) DeleteFile(ini);

  const std::string selfUpdater = ServerConfig ? ServerConfig->GetSelfUpdater() : std::string();
  if (selfUpdater.empty()) return;
  const std::string s = temp + ExtractFileName(selfUpdater);
  if (!FileExists(s)) return;

  std::string params = "\"" + Application->ClassName() + "," + c.ExeName + "\" ";
  for (int i = 1; i <= ParamCount(); ++i) params += "-l:\"" + ParamStr(i) + "\" ";
  params += " -l:\"-fu:\" ";
  const HINSTANCE result = ShellExecute(nullptr, "open", s.c_str(), params.c_str(), nullptr, SW_HIDE);
  WriteLogFmt(false, "LaunchSelfUpdater: %s %s\r\nDir: %s", s, params, ShellExecuteErrorText(ShellResult(result)));
}

void TfrmMainFrame::RegistComponents() {
  TStringList* files = ServerConfig ? ServerConfig->SelfRegFiles() : nullptr;
  for (int i = 0; files && i < files->Count(); ++i) {
    try {
      const std::string file = (*files)[i];
      if (!FileExists(file)) continue;
      RegisterServer(NativePath(file));
      WriteLogFmt(true, "Register service components: %s", file);
    } catch (const std::exception& e) {
      WriteLog(std::string(e.what()) + "RegistComponents");
    }
  }
}

bool TfrmMainFrame::EnableAction(const std::string& Name) {
  TStringList* actions = ServerConfig ? ServerConfig->ScriptActions() : nullptr;
  if (!actions || Name.empty()) return false;
  const int index = actions->IndexOfName(Name);
  if (index < 0) return false;
  const std::string value = actions->ValueFromIndex(index);
  actions->SetValueFromIndex(index, "0000" + (value.size() > 4 ? value.substr(4) : std::string()));
  return true;
}

void TfrmMainFrame::EnableConditionActions() {
  TStringList* conditions = ServerConfig ? ServerConfig->ScriptConditions() : nullptr;
  if (!conditions || !ServerConfig->ScriptActions()) return;
  for (int i = 0; i < conditions->Count(); ++i) {
    const std::string when = UpperCase(conditions->Names(i));
    if (when == "ALWAYS" || (when == "UPDATESUCCESS" && UpdateState == usSuccess && ServerConfigLoaded))
      EnableAction(conditions->ValueFromIndex(i));
  }
}

void TfrmMainFrame::ExecuteConditionActions() {
  TStringList* actions = ServerConfig ? ServerConfig->ScriptActions() : nullptr;
  if (!actions) return;
  conditionActionsDone_ = true;
  WriteLogFmt(true, "Execute condition actions count: %d", actions->Count());
  for (int i = 0; i < actions->Count(); ++i) {
    const std::string name = actions->Names(i);
    WriteLogFmt(true, "Condition actions name: %s", name);
    const std::string value = actions->ValueFromIndex(i);
    if (value.size() <= 3 || value.compare(0, 4, "0000") != 0) continue;
    TStringList args;
    ExtractStrings(",", " ", value.substr(4), &args);
    if (args.Count() < 3) continue;
    if (SameText(name, "WRITEKEYVALUEFILE")) {
      if (!ActWriteKeyValueFile(args[0], args[1], args[2])) WriteLogFmt(false, "ActWriteKeyValueFile False %s", name);
    } else if (SameText(name, "RUNTO")) {
      Integer number = 0;
      const bool third = SameText(Trim(args[2]), "TRUE") || (TryStrToInt(Trim(args[2]), number) && number != 0);
      if (!ActRunTo(args[0], args[1], third)) WriteLogFmt(false, "ActRunTo False %s", name);
    }
  }
}

bool TfrmMainFrame::ActWriteKeyValueFile(const std::string& File, const std::string& Key, const std::string& Value) {
  const auto orEmpty = [](const std::string& s) { return UpperCase(Trim(s)) == "NULL" ? std::string() : s; };
  const std::string file = orEmpty(File), key = orEmpty(Key), value = orEmpty(Value);
  try {
    std::string text;
    if (file.empty() || key.empty() || !ReadRegularFile(file, text)) return false;
    TStringList lines;
    lines.SetText(text);
    if (lines.IndexOfName(key) < 0) return false;
    lines.SetValues(key, value);
    // Through a new file and a rename: a full disk must not cut the client's settings.
    return ReplaceFileContents(file, lines.Text());
  } catch (const std::exception&) {
    return false;
  }
}

bool TfrmMainFrame::ActRunTo(const std::string& Program, const std::string& Params, bool Third) {
  const std::string exe = ClientConfig->ExpandPathMacros(Program);
  const std::string commandLine = UpperCase(Params) == "NULL" ? std::string() : Format("\"%s\" %s", exe, Params);
  Hide();
  for (int attempt = 0; attempt < 3; ++attempt) {
    const int code = ExecuteAndWait(exe, commandLine, SW_SHOWNORMAL, true);
    WriteLogFmt(false, "Code %s %s %d %d", exe, commandLine, code, int(GetLastError()));
    if (code == 0 || code == 27701) {
      Show();
      return true;
    }
  }
  Show();
  return false;
}

bool TfrmMainFrame::ExecOtherProgram(const std::string& Program, const std::string& Params) {
  if (Program.empty() || !FileExists(Program)) return false;
  std::string commandLine;
  bool splash;
  if (UpperCase(Program).find("VORANT.EXE") != std::string::npos) {
    commandLine = Format("\"%s\" %s %s", Program, kClientToken, LowerCase(Params));
    splash = true;
  } else {
    commandLine = Format("\"%s\" %s", Program, LowerCase(Params));
    splash = Program.find("KASSEL.EXE") != std::string::npos;
  }
  const std::string folder = ExtractFileDir(Program);
  STARTUPINFO si;
  PROCESS_INFORMATION pi;

  std::unique_ptr<TSplash> splashForm;
  if (splash) {
    splashForm = std::make_unique<TSplash>(nullptr);
    if (Showing()) Hide();
    splashForm->ImageFolder = ExtractFileDir(ClientConfig->ExeName);
    splashForm->Show();
    splashForm->Repaint();
  }
  if (!CreateProcess(nullptr, commandLine.c_str(), nullptr, nullptr, FALSE, 0, nullptr,
                     folder.empty() ? nullptr : folder.c_str(), &si, &pi)) {
    WriteLogFmt(true, "Failed execute last application \"%s\": [%d]", commandLine, int(GetLastError()));
    if (splashForm) splashForm->Hide();
    return false;
  }
  WriteLogFmt(true, "Succeeded execute last application \"%s\"", commandLine);
  if (splashForm) {
    // Until the client is ready for input, at most about two minutes.
    for (int i = 0; i < 12000; ++i) {
      const DWORD r = WaitForInputIdle(pi.hProcess, 10);
      Application->ProcessMessages();
      if (r == 0) break;
    }
    splashForm->Hide();
  }
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return true;
}
