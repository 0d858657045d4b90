// The file work of a run: the list of the chosen update type, the updater's own files
// first, the selection by MD5 or size, the downloads with their checks and cabinets,
// and the progress shown on the way.
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <unordered_set>

#include "platform/rtl/inifiles.h"
#include "platform/rtl/sysutils.h"
#include "platform/vcl/dialogs.h"
#include "updater/AutoUpdaterUtils.h"
#include "updater/CabSTComps.h"
#include "updater/ClientConfiguration.h"
#include "updater/uAutoUpdater.h"
#include "updater/uFailedType.h"

namespace fs = std::filesystem;

namespace {

const char kUpdaterChanged[] = "Updater가 변경 되었습니다. Updater를 다시 시작합니다.";

std::string InTemp(const std::string& Name) {
  return IncludeTrailingPathDelimiter(ClientConfig->TempDir) + ExtractFileName(Name);
}

// A file name with more than one "." whose last extension is ".CAB".
bool IsPackedName(const std::string& Path) {
  const std::string name = ExtractFileName(Path);
  return std::count(name.begin(), name.end(), '.') > 1 && SameText(ExtractFileExt(name), ".CAB");
}

// The name without its last extension when the file name holds ".CAB".
std::string WithoutCabExt(const std::string& Path) {
  if (UpperCase(ExtractFileName(Path)).find(".CAB") == std::string::npos) return Path;
  return ChangeFileExt(Path, "");
}

std::string Thousands(int64_t Value) { return FormatFloat("#,###", static_cast<long double>(Value)); }

int Percent(int64_t Part, int64_t Whole) {
  const Int64 p = Round(static_cast<double>(Part) / static_cast<double>(Whole) * 100.0);
  return int(std::clamp<Int64>(p, 0, 100));
}

// Puts From in the place of To in one step. The new file keeps the permissions of
// the one it replaces; a new program is made runnable.
bool ReplaceFile(const std::string& From, const std::string& To) {
  const std::string from = NativePath(From);
  const std::string to = NativePath(To);
  struct stat old {};
  if (::stat(to.c_str(), &old) == 0)
    ::chmod(from.c_str(), old.st_mode & 07777);
  else if (SameText(ExtractFileExt(To), ".exe"))
    ::chmod(from.c_str(), 0755);
  return std::rename(from.c_str(), to.c_str()) == 0;
}

}  // namespace

// ---- the run ----

void TfrmMainFrame::DoUpdate() {
  TClientConfiguration& c = *ClientConfig;
  if (ServerConfigLoaded) {
    fastListFailed_ = false;
    bool listRead = true;
    try {
      SearchModifiedFiles();
    } catch (const std::exception& e) {
      WriteLog(std::string(e.what()) + "SearchModifiedFiles");
      listRead = false;
    }
    UpdateState = UpdateFiles();
    // A list that could not be fetched or read leaves files out: the run failed
    // and the new version must not be recorded.
    if ((fastListFailed_ || !listRead) && UpdateState == usSuccess) UpdateState = usFailed;
  }

  static const char* const kStateLines[] = {"업데이트 성공", "업데이트 실패", "새로운 업데이터 검색",
                                            "업데이트 사용자 취소"};
  if (UpdateState <= usNothingToDo) WriteLog(kStateLines[UpdateState], true);

  if (UpdateState == usUpdaterChanged) {
    lblFileName->SetCaption(Text("새로운 업데이트 검색", "Searching for new updates"));
    return;
  }
  if (!CompactLayout) SetUpdateStep(4);
  lblFileName->Show();
  lblFileName->SetCaption(Text("업데이트가 모두 정상적으로 완료되었습니다.", "Update has successfully been completed."));

  EnableConditionActions();
  RegistComponents();

  if (UpdateState == usSuccess) {
    if (ForcedSafe) c.UpdateType = 0;
    ExecuteConditionActions();
    if (!c.SMMode) {
      if (ExecOtherProgram(c.GetRunExeName(), c.BizParams))
        WriteLog("ExecOtherProgram FErrorStat 정상실행");
      else
        WriteLog("ExecOtherProgram FErrorStat 실행안함");
    }
    if (ServerConfigLoaded) {
      c.WriteVersionRegistry(ServerConfig->GetVersionInfo(), ServerConfig->GetDatabaseVersionInfo(),
                             ServerConfig->GetVersionRegistry(), ServerConfig->GetUpdateDate());
      WriteLog("사용자 레지스트리에 버전 정보 등록 완료");
    }
  }

  if (!c.GetProductRES().empty() && UpdateState == usFailed) {
    lblFileName->SetCaption("업데이트시 오류가 발생되었습니다.");
    if (RunFailedDialog() == 1) {
      c.UpdateType = 1;
      UpdateState = usSafeRerun;
      c.WriteUpdateType(ServerConfig ? ServerConfig->GetVersionRegistry() : std::string());
    }
  }
}

int TfrmMainFrame::RunFailedDialog() {
  auto dialog = std::make_unique<TfFailedMain>(nullptr);
  dialog->SupportTelNo = ServerConfig ? ServerConfig->GetServiceTellNo() : std::string();
  // Nobody can answer a dialog of a run without a screen and without a script: it
  // takes the answer that changes nothing.
  if (Application->Presenter()->Headless() && !std::getenv("VX_HEADLESS_SCRIPT")) return 2;
  return dialog->ShowModal();
}

bool TfrmMainFrame::SearchModifiedFiles() {
  lblFileName->SetCaption(Text("변경된 파일 목록을 점검중입니다.", "Searching for a modified file list."));
  if (ClientConfig->UpdateType == 1) return ServerConfig->LoadFileList() >= 0;
  if (ServerConfig->LoadFastUpdateList() > 0) return DownloadFastUpdateLists();
  return false;
}

bool TfrmMainFrame::DownloadFastUpdateLists() {
  TClientConfiguration& c = *ClientConfig;
  TStringList merged;
  std::unordered_set<std::string> keys;
  for (int i = ServerConfig->GetFastUpdateCount() - 1; i >= 0; --i) {
    Application->ProcessMessages();
    const TFastUpdateItem* item = ServerConfig->GetFastUpdateItem(i);
    // The records stand in ascending version order: the first that is not newer ends the scan.
    if (CompareVersion(c.CurVersion, item->Version) != -1) break;
    const std::string url = c.GetServerURL() + item->ListPath;
    const std::string local = InTemp(StringReplace(item->ListPath, "/", "\\", {rfReplaceAll}));
    if (!FileDownLoad(url, local, true, 0, 0)) {
      WriteLog("빠른 업데이트 목록을 다운로드 받지 못하였습니다.\rFile: " + url);
      fastListFailed_ = true;
      return false;
    }
    if (!FileExists(local)) {
      WriteLog("서버에 연결할 수 없습니다.");
      fastListFailed_ = true;
      return false;
    }
    if (!IsValidDownloadFile(local)) {
      WriteLog("서버의 빠른 업데이트 파일 목록이 잘못되었습니다. (HTML)\rFile: " + url);
      fastListFailed_ = true;
      return false;
    }
    {
      TMemIniFile list(local);
      TStringList lines;
      list.ReadSectionValues("FILES", &lines);
      // The newest list's line for a file wins over the older lists' lines.
      for (int j = 0; j < lines.Count(); ++j)
        if (keys.insert(UpperCase(lines.Names(j))).second) merged.Add(lines[j]);
    }
    DeleteFile(local);
  }
  return ServerConfig->AddFileList(&merged) >= 0;
}

// ---- selection ----

std::string TfrmMainFrame::EffectivePath(const std::string& LocalPath) {
  return IsPackedName(LocalPath) ? ChangeFileExt(LocalPath, "") : LocalPath;
}

std::vector<std::string> TfrmMainFrame::ExcludedList() const {
  std::vector<std::string> excluded;
  TStringList* entries = ClientConfig->NoUpdateFiles();
  for (int i = 0; entries && i < entries->Count(); ++i)
    excluded.push_back(ExpandFileName(ClientConfig->RootDir + "/" + StringReplace((*entries)[i], "\\", "/", {rfReplaceAll})));
  return excluded;
}

bool TfrmMainFrame::IsExcluded(const std::vector<std::string>& Excluded, const std::string& Path) const {
  if (Excluded.empty()) return false;
  const std::string path = ExpandFileName(StringReplace(Path, "\\", "/", {rfReplaceAll}));
  return std::any_of(Excluded.begin(), Excluded.end(), [&](const std::string& e) { return SameText(e, path); });
}

bool TfrmMainFrame::IsHashCheckedExt(const std::string& FileName) const {
  std::string ext = ExtractFileExt(FileName);
  if (!ext.empty()) ext.erase(0, 1);
  TStringList* exts = ServerConfig->MD5Extensions();
  for (int i = 0; exts && i < exts->Count(); ++i)
    if (SameText(Trim((*exts)[i]), ext)) return true;
  return false;
}

bool TfrmMainFrame::IsScriptExt(const std::string& FileName) const {
  const std::string inner = ExtractInnerExt(FileName);
  TStringList* names = ServerConfig->ScriptExtNames();
  return !inner.empty() && names && names->IndexOfName(inner) >= 0;
}

bool TfrmMainFrame::IsUpdaterFile(const std::string& Path) {
  const std::string name = UpperCase(ExtractFileName(Path));
  return name == "LOADER.EXE" || name == "LOADER.INI" || name == "QX.EXE";
}

void TfrmMainFrame::SelectFile(TUpdateFileItem* Item) {
  DownloadList.push_back(Item);
  if (Item->DownloadSize > 0) TotalDownloadSize += Item->DownloadSize;
}

bool TfrmMainFrame::DownloadIntoTemp(TUpdateFileItem* Item) {
  ForceDirectoriesSafe(ClientConfig->TempDir);
  return FileDownLoad(Item->FileURL, InTemp(Item->LocalPath), false, Item->DownloadSize, Item->FileSize);
}

int TfrmMainFrame::IndexOfProgramFile(const std::string& Name) const {
  const int index = ServerConfig->IndexOfFile(Name);
  // The program runs here without the ".exe" that the list gives it.
  if (index < 0 && ExtractFileExt(Name).empty()) return ServerConfig->IndexOfFile(Name + ".exe");
  return index;
}

uint8_t TfrmMainFrame::UpdateFiles() {
  TClientConfiguration& c = *ClientConfig;
  uint8_t result = usSuccess;
  bool changed = false;
  lblFileName->SetCaption(Text("업데이트 준비중입니다.", "Preparing updates."));
  DownloadList.clear();
  TotalDownloadSize = 0;
  if (ServerConfig->GetFileCount() == 0) {
    WriteLog("업데이트 파일 목록에 대상 파일이 하나도 없음.", true);
    return usSuccess;
  }
  const std::vector<std::string> excluded = ExcludedList();
  const std::string selfUpdater = ServerConfig->GetSelfUpdater();
  const std::string selfUpdaterName = ExtractFileName(selfUpdater);

  try {
    if (c.UpdateType != 0) {
      lblFileName->SetCaption(Text("설치되어 있는 파일을 점검하는 중입니다.", "Checking for installed files."));
      lblFileName->Hide();
      if (!CompactLayout) SetUpdateStep(2);

      // The updater's own files first: a change hands the run over to the self-updater.
      for (int i = ServerConfig->GetSelfUpdateCount() - 1; i >= 0; --i) {
        Application->ProcessMessages();
        if (CancelRequested) return usNothingToDo;
        TUpdateFileItem* item = ServerConfig->GetSelfUpdateItem(i);
        std::string path = EffectivePath(item->LocalPath);
        if (!selfUpdater.empty() && path == selfUpdater) path = InTemp(selfUpdaterName);
        if (IsExcluded(excluded, path) || GetFileMD5(path) == item->MD5) continue;
        ForceDirectoriesSafe(c.TempDir);
        WriteLogFmt(false, "로더관련 업데이트 목록 변경1 : [%s]", path);
        if (DownloadIntoTemp(item))
          changed = true;
        else
          result = usFailed;
      }
      if (changed) {
        WriteLog(kUpdaterChanged);
        lblFileName->SetCaption(kUpdaterChanged);
        return usUpdaterChanged;
      }

      lblTotalProgress->SetCaption(Text("파일 점검 진행률", "File Checking"));
      lblTotalProgress->Show();
      prbFileTotal->Show();
      prbFileTotal->SetPercent(0);
      const int count = ServerConfig->GetFileCount();
      for (int i = count - 1; i >= 0; --i) {
        Application->ProcessMessages();
        if (CancelRequested) return usNothingToDo;
        prbFileTotal->SetPercent(int(int64_t(count - i) * 100 / count));
        TUpdateFileItem* item = ServerConfig->GetFileItem(i);
        const std::string path = EffectivePath(item->LocalPath);
        if (IsExcluded(excluded, path)) continue;
        const bool updater = IsUpdaterFile(path);
        if (!updater && IsHashCheckedExt(ExtractFileName(path))) {
          // Digest and size from one open: both must match the list.
          int64_t size;
          if (GetFileMD5(path, &size) != item->MD5 || size != item->FileSize) SelectFile(item);
          continue;
        }
        const int64_t size = GetLocalFileSize(path);  // -1: not there
        if (size >= 0 || !updater || FileExists(path)) {
          if (size == item->FileSize || updater) continue;
        }
        SelectFile(item);
      }
      WriteLogFmt(true, "업데이트 대상 전체 파일 용량: %d", TotalDownloadSize);
    } else {
      const struct {
        std::string name;
        const char* line;
        bool setsChanged;
      } own[] = {{ExtractFileName(c.ExeName), "Loader.exe 변경 확인", true},
                 {ExtractFileName(c.ExeIniName), "Loader.ini 변경 확인", true},
                 {selfUpdaterName, "qx.exe 변경 확인", false}};
      for (const auto& f : own) {
        if (f.name.empty()) continue;
        const int index = IndexOfProgramFile(f.name);
        if (index < 0) continue;
        const bool self = !f.setsChanged;
        if (IsExcluded(excluded, self ? InTemp(f.name) : IncludeTrailingPathDelimiter(c.RootDir) + f.name)) continue;
        TUpdateFileItem* item = ServerConfig->GetFileItem(index);
        std::string path = EffectivePath(item->LocalPath);
        if (self && path == selfUpdater) path = InTemp(selfUpdaterName);
        if (GetFileMD5(path) == item->MD5) continue;
        WriteLog(f.line, true);
        if (DownloadIntoTemp(item)) {
          if (f.setsChanged) changed = true;
        } else {
          result = usFailed;
          if (f.setsChanged) changed = false;
        }
      }
      if (changed) {
        lblFileName->SetCaption(Text(kUpdaterChanged, "Updater has been modified. Restarting updater."));
        return usUpdaterChanged;
      }
      WriteLogFmt(true, "빠른 업데이트 대상 파일 개수: %d", ServerConfig->GetFileCount());
      const std::string exeName = UpperCase(ExtractFileName(c.ExeName));
      const std::string selfName = UpperCase(selfUpdaterName);
      for (int i = ServerConfig->GetFileCount() - 1; i >= 0; --i) {
        Application->ProcessMessages();
        TUpdateFileItem* item = ServerConfig->GetFileItem(i);
        if (IsExcluded(excluded, EffectivePath(item->LocalPath))) continue;
        const std::string name = UpperCase(ExtractFileName(item->LocalPath));
        if (name == exeName || name == exeName + ".EXE" || (!selfName.empty() && name == selfName)) continue;
        SelectFile(item);
      }
    }
  } catch (const std::exception& e) {
    WriteLog(std::string(e.what()) + "UpdateFiles");
    return usFailed;
  }

  lblTotalProgress->SetCaption(Text("전체 진행률", "Whole in progress"));
  lblFileTotalSize->SetCaption("0/" + IntToStr(TotalDownloadSize));
  if (!DownloadList.empty()) {
    WriteLogFmt(true, "전체 다운로드 파일 개수 : %d", int(DownloadList.size()));
    lblFileName->SetCaption(Text("새 버전을 업데이트 하는 중입니다. 잠시만 기다려주세요.", "Updating to a new version. Please wait."));
    lblFileName->Hide();
    ShowProgress(true);
  }
  if (!CompactLayout) SetUpdateStep(3);

  try {
    for (size_t i = 0; i < DownloadList.size(); ++i) {
      TUpdateFileItem* item = DownloadList[i];
      Application->ProcessMessages();
      lblFileTotalSize->SetCaption(Thousands(DownloadedTotal) + "/" + Thousands(TotalDownloadSize));
      if (CancelRequested) return usNothingToDo;
      lblFileDownName->SetCaption(ExtractFileName(item->LocalPath));
      FilePosition = 0;
      if (!FileDownLoad(item->FileURL, item->LocalPath, false, item->DownloadSize, item->FileSize)) {
        result = usFailed;
        continue;
      }
      if (IsScriptExt(item->LocalPath))
        EnableAction(ServerConfig->ScriptExtNames()->Values(ExtractInnerExt(item->LocalPath)));
    }
  } catch (const std::exception& e) {
    WriteLog(std::string(e.what()) + "UpdateFiles");
    return usFailed;
  }
  return result;
}

// ---- one download ----

bool TfrmMainFrame::FileDownLoad(const std::string& URL, const std::string& Dest, bool IsConfig,
                                 int64_t DownloadSize, int64_t FileSize) {
  enum { kOk, kFailed, kUnpacked };
  DownloadFailed = false;
  int status = kOk;
  // The download goes beside its place and replaces the installed file only after
  // its checks; a cabinet is unpacked into a folder beside it first.
  const std::string part = Dest + ".part";
  const std::string stage = Dest + ".unpack";
  try {
    ForceDirectoriesSafe(ExtractFileDir(Dest));
    DeleteFile(part);
    Downloader->Reset();
    ApplyProxy();
    Downloader->SetURL(StringReplace(URL, " ", "%20", {rfReplaceAll}));
    Downloader->SetDestFileName(part);
    try {
      Downloader->Download();
    } catch (const std::exception&) {
      std::string reason;
      Downloader->GetStatusText(reason);
      WriteLogFmt(false, "Http Exception: FileName:[%s] StatusCode:[%d] ReasonPhrase:[%s]", Dest,
                  Downloader->GetStatusCode(), reason);
      status = kFailed;
      DownloadFailed = true;
    }

    const std::string name = ExtractFileName(Dest);
    const bool packed = std::count(name.begin(), name.end(), '.') > 1;
    const std::string target = WithoutCabExt(Dest);
    if (status == kOk && packed && FileExists(part) && IsCabinetFile(part)) {
      if (DownloadSize != -1 && GetLocalFileSize(part) != DownloadSize) {
        WriteLogFmt(false, "[%s] 다운로드 리스트의 파일과 다운받은 파일의 용량이 다름", Dest);
        status = kFailed;
      } else {
        std::error_code ec;
        fs::remove_all(NativePath(stage), ec);
        try {
          if (!ForceDirectories(stage) || !ExtractCabinet(part, stage)) throw Exception("");
          status = kUnpacked;
        } catch (const std::exception& e) {
          const std::string msg = e.what();
          if (msg.empty())
            WriteLog("[FileDownload] 압축 푸는 중에 오류 :" + Dest);
          else
            WriteLog(msg + "FileDownLoad_\r[FileDownload] 압축 푸는 중에 오류 : " + Dest);
          status = kFailed;
        }
      }
    } else if (status == kOk && IsPackedName(Dest)) {
      // A packed file that is no cabinet brings nothing to install.
      WriteLog("[FileDownload] 압축 푸는 중에 오류 : " + Dest);
      status = kFailed;
    }

    if (status != kFailed && !IsConfig) {
      // The file the final check looks at, and the name it is reported under.
      std::string produced;
      std::string shown = Dest;
      if (status == kUnpacked) {
        shown = target;
        produced = target == Dest ? part : IncludeTrailingPathDelimiter(stage) + ExtractFileName(target);
      } else if (target != Dest) {
        shown = target;
        produced = target;
      } else {
        produced = part;
      }
      const int64_t size = GetLocalFileSize(produced);
      if (size < 0 || (FileSize != -1 && size != FileSize)) {
        WriteLogFmt(false, "[FileDownload] \"%s\" 파일이 없거나 용량이 다름.", shown);
        status = kFailed;
      }
    }

    if (status == kOk && !FileExists(part)) {
      // Nothing came: an older copy must not pass for this download.
      if (IsConfig)
        DeleteFile(Dest);
      else
        status = kFailed;
    } else if (status == kOk && !ReplaceFile(part, Dest)) {
      WriteLog("[FileDownload] 기존 파일 삭제 실패 : " + Dest);
      status = kFailed;
    }
    if (status == kUnpacked && !MoveUnpackedFiles(stage, ExtractFileDir(Dest))) {
      WriteLog("[FileDownload] 기존 파일 삭제 실패 : " + target);
      status = kFailed;
    }
  } catch (const std::exception& e) {
    WriteLog(Dest + ": " + e.what() + "FileDownLoad");
    status = kFailed;
  }

  std::error_code ec;
  fs::remove_all(NativePath(stage), ec);
  if (FileExists(part) && !DeleteFile(part)) {
    WriteLogFmt(false, "%s 파일을 삭제하는데 실패하였습니다.", part);
    ShowDeleteFailure(part);
  }
  return status != kFailed;
}

bool TfrmMainFrame::MoveUnpackedFiles(const std::string& Stage, const std::string& Folder) {
  std::error_code ec;
  const fs::path stage = NativePath(Stage);
  bool ok = true;
  for (auto it = fs::recursive_directory_iterator(stage, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    if (!it->is_regular_file()) continue;
    const std::string relative = fs::relative(it->path(), stage).string();
    const std::string to = IncludeTrailingPathDelimiter(Folder) + relative;
    ForceDirectoriesSafe(ExtractFileDir(to));
    ok = ReplaceFile(it->path().string(), to) && ok;
  }
  return ok && !ec;
}

void TfrmMainFrame::ShowDeleteFailure(const std::string& FileName) {
  if (Language == "ENG")
    ShowMessage(Format("%s File could not be deleted.", FileName));
  else
    Application->MessageBox(Format("%s 파일을 삭제하는데 실패하였습니다.", FileName),
                            ExtractFileName(ClientConfig->ExeName), MB_OK);
}

// ---- progress ----

void TfrmMainFrame::ShowTotalProgress() {
  lblFileTotalSize->SetCaption(Thousands(DownloadedTotal) + "/" + Thousands(TotalDownloadSize));
  if (TotalDownloadSize > 0) prbFileTotal->SetPercent(Percent(DownloadedTotal, TotalDownloadSize));
}

void TfrmMainFrame::DownloaderBeginWork(TObject*, Int64 Size) {
  if (!ProgressShown) return;
  try {
    CurrentFileSize = Size;
    FilePosition = 0;
    ShowTotalProgress();
    lblFileDownSize->SetCaption("0/" + Thousands(CurrentFileSize));
    prbFileDown->SetPercent(0);
  } catch (const std::exception& e) {
    WriteLog(std::string(e.what()) + " Call The Function: DownloaderBeginWork");
  }
}

void TfrmMainFrame::DownloaderWork(TObject*, Int64 Position) {
  if (!ProgressShown) return;
  try {
    DownloadedTotal += Position - FilePosition;
    FilePosition = Position;
    ShowTotalProgress();
    lblFileDownSize->SetCaption(Thousands(Position) + "/" + Thousands(CurrentFileSize));
    // A reply of unknown length has no per-file percentage.
    if (CurrentFileSize > 0) prbFileDown->SetPercent(Percent(Position, CurrentFileSize));
  } catch (const std::exception& e) {
    WriteLog(std::string(e.what()) + " Call The Function: DownloaderBeginWork");
  }
}

void TfrmMainFrame::DownloaderEndWork(TObject*, Int64 Count) {
  if (!ProgressShown) return;
  try {
    ShowTotalProgress();
    lblFileDownSize->SetCaption(Thousands(Count) + "/" + Thousands(Count));
    prbFileDown->SetPercent(100);
  } catch (const std::exception& e) {
    WriteLog(std::string(e.what()) + " Call The Function: DownloaderBeginWork");
  }
}
