// The file work of a run: the list of the chosen update type, the updater's own files
// first, the selection by MD5 or size, the downloads with their checks and cabinets,
// and the progress shown on the way.
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <unordered_set>

#include "platform/net/idhttp.h"
#include "platform/rtl/inifiles.h"
#include "platform/rtl/sysutils.h"
#include "platform/vcl/dialogs.h"
#include "transport/HttpProt.h"
#include "transport/StdSockDownloader.h"
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
bool InstallFile(const std::string& From, const std::string& To) {
  if (SameText(ExtractFileExt(To), ".exe")) ::chmod(NativePath(From).c_str(), 0755);
  return RenameReplacing(From, To, true);
}

// 32 hexadecimal digits, as a list gives an MD5.
bool IsMd5Text(const std::string& Text) {
  return Text.size() == 32 &&
         std::all_of(Text.begin(), Text.end(), [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; });
}

// Adds the plain files below the folder Dir + "/" + Sub to Files, as paths relative
// to Dir; false when a folder cannot be read.
bool PlainFilesBelow(const std::string& Dir, const std::string& Sub, std::vector<std::string>& Files) {
  const std::string here = Dir + "/" + Sub;
  std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(here.c_str()), closedir);
  if (!dir) return false;
  while (const dirent* e = readdir(dir.get())) {
    const std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    bool file = e->d_type == DT_REG, folder = e->d_type == DT_DIR;
    if (e->d_type == DT_UNKNOWN) {
      struct stat st;
      if (::lstat((here + name).c_str(), &st) != 0) return false;
      file = S_ISREG(st.st_mode);
      folder = S_ISDIR(st.st_mode);
    }
    if (file) Files.push_back(Sub + name);
    if (folder && !PlainFilesBelow(Dir, Sub + name + "/", Files)) return false;
  }
  return true;
}

// The scratch entries that the work on a file leaves beside it while it runs (all
// named by CreateUniqueName): a download fetches into "<name>~...part" and unpacks a
// cabinet into a folder "<name>~...unpack"; a copy goes through "<name>~...copy", a
// rewritten file through "<name>~...new".
struct TScratchKind {
  const char* suffix;
  bool folder;
};
constexpr TScratchKind kScratchKinds[] = {{".part", false}, {".unpack", true}, {".copy", false}, {".new", false}};

void LogUnpackFailure(const std::string& Why, const std::string& Dest) {
  WriteLog(Why.empty() ? "[FileDownload] 압축 푸는 중에 오류 :" + Dest
                       : Why + "FileDownLoad_\r[FileDownload] 압축 푸는 중에 오류 : " + Dest);
}

// The entries of a cabinet downloaded as Dest, each held to the rules of a listed file.
// A survey that writes nothing reads what the cabinet declares first: a name that a
// list line may not have, or a size of the listed file (Target) other than the list's,
// or more bytes than its disk has free, refuse the whole file. While it is unpacked, an
// entry that would land where no list line may write is skipped; the listed file goes
// by its own line.
class TCabinetEntries {
 public:
  // Why nothing may be installed at a path; "" when it may.
  using TGuard = std::function<std::string(const std::string&)>;

  TCabinetEntries(const std::string& Dest, const std::string& Target, TGuard Guard)
      : dest_(Dest), folder_(IncludeTrailingPathDelimiter(ExtractFileDir(Dest))),
        target_(Target == Dest ? std::string() : ExtractFileName(Target)), guard_(std::move(Guard)) {}

  bool Survey(const std::string& Cabinet, int64_t FileSize) {
    std::string why;
    if (!ExtractCabinet(Cabinet, folder_, &why, TSTCabReaderCopyFileEvent(this, &TCabinetEntries::Note))) {
      LogUnpackFailure(why, dest_);
      return false;
    }
    for (const std::string& entry : refused_)
      WriteLogFmt(false, "[FileDownload] \"%s\": the cabinet entry %s", dest_, entry);
    if (!refused_.empty()) return false;
    const auto other =
        std::find_if(targetSizes_.begin(), targetSizes_.end(), [&](int64_t n) { return n != FileSize; });
    if (FileSize != -1 && other != targetSizes_.end()) {
      WriteLogFmt(false, "[FileDownload] \"%s\": the cabinet declares %d bytes for %s, the list %d", dest_, *other,
                  target_, FileSize);
      return false;
    }
    const int64_t room = DiskFree(folder_);
    if (room >= 0 && total_ > room) {
      WriteLogFmt(false, "[FileDownload] \"%s\": the cabinet unpacks to %d bytes, more than the %d free on its disk",
                  dest_, total_, room);
      return false;
    }
    return true;
  }

  TSTCabReaderCopyFileEvent Installer() { return TSTCabReaderCopyFileEvent(this, &TCabinetEntries::Install); }

 private:
  bool IsTarget(const std::string& Name) const { return !target_.empty() && SameText(Name, target_); }

  // The survey's copy step: notes the entry and writes nothing.
  void Note(TObject*, const std::string& Name, Cardinal Size, Word, Word, Word, Word, std::string& Dst, bool&) {
    Dst.clear();
    std::string why;
    if (!ClientConfig->IsListedPathSafe(Name, why))
      refused_.push_back("\"" + PrintablePath(Name) + "\" is refused: " + why);
    if (IsTarget(Name)) targetSizes_.push_back(Size);
    total_ += Size;
  }

  void Install(TObject*, const std::string& Name, Cardinal, Word, Word, Word, Word, std::string& Dst, bool&) {
    if (IsTarget(Name)) return;
    const std::string path = folder_ + StringReplace(Name, "\\", "/", {rfReplaceAll});
    const std::string why = guard_(path);
    if (why.empty()) return;
    WriteLogFmt(false, "[FileDownload] The cabinet entry \"%s\" is not installed: %s", path, why);
    Dst.clear();
  }

  std::string dest_, folder_, target_;
  TGuard guard_;
  std::vector<std::string> refused_;
  std::vector<int64_t> targetSizes_;
  int64_t total_ = 0;
};

}  // namespace

// ---- what a run ended by force left ----

void TfrmMainFrame::RemoveScratch(const std::string& Folder, const std::set<std::string>& Names) {
  // The one-instance lock is per title, and the updaters of two titles may share a
  // folder (a listed %SYSTEM%, say): scratch is removed only once the process that
  // made it has ended.
  std::error_code ec;
  std::vector<fs::path> found;
  for (auto it = fs::directory_iterator(NativePath(Folder), ec); !ec && it != fs::directory_iterator();
       it.increment(ec)) {
    const std::string entry = it->path().filename().string();
    std::string owner;
    int maker = 0;
    const auto kind = std::find_if(std::begin(kScratchKinds), std::end(kScratchKinds),
                                   [&](const TScratchKind& k) { return SplitUniqueName(entry, k.suffix, owner, maker); });
    if (kind == std::end(kScratchKinds) || (!Names.empty() && !Names.count(UpperCase(owner))) || !ProcessEnded(maker))
      continue;
    // A link of that name is not of our making, and what it leads to is never touched.
    std::error_code type;
    const fs::file_status st = it->symlink_status(type);
    if (!type && (kind->folder ? fs::is_directory(st) : fs::is_regular_file(st))) found.push_back(it->path());
  }
  for (const fs::path& path : found) {
    // remove_all takes the links inside a folder away, not what they lead to.
    std::error_code gone;
    fs::remove_all(path, gone);
    if (gone)
      WriteLogFmt(false, "Cannot remove \"%s\", left by an earlier run: %s", path.string(), gone.message());
    else
      WriteLogFmt(false, "Removed \"%s\", left by an earlier run", path.string());
  }
}

void TfrmMainFrame::RemoveListedScratch() {
  std::map<std::string, std::set<std::string>> byFolder;
  for (int i = 0; i < ServerConfig->GetFileCount(); ++i) {
    const std::string& path = ServerConfig->GetFileItem(i)->LocalPath;
    byFolder[ExtractFileDir(path)].insert(UpperCase(ExtractFileName(path)));
  }
  for (const auto& [folder, names] : byFolder) RemoveScratch(folder, names);
}

// ---- the run ----

void TfrmMainFrame::DoUpdate() {
  TClientConfiguration& c = *ClientConfig;
  if (ServerConfigLoaded) {
    fastListFailed_ = false;
    bool listRead = ReadFileList();
    if (listRead && c.UpdateType == 0 && !fastListFailed_ && ServerConfig->RefusedLines().empty() &&
        ServerConfig->GetFileCount() == 0 && CompareVersion(c.CurVersion, ServerConfig->GetVersionInfo()) != 0) {
      // Recording the new version over files that nothing brought up to it would leave
      // them old for good: every later run would find nothing to do.
      WriteLogFmt(false, "The fast update lists name no file for version %s: a safe update is done instead",
                  ServerConfig->GetVersionInfo());
      DecideForcedSafe();  // the stored type stays fast
      listRead = ReadFileList();
    }
    for (const std::string& line : ServerConfig->RefusedLines()) WriteLog("[FILES] line refused: " + line);
    RemoveListedScratch();
    UpdateState = UpdateFiles();
    // A list that could not be fetched or read, or a line refused, leaves files out:
    // the run failed and the new version must not be recorded.
    const bool incomplete = fastListFailed_ || !listRead || !ServerConfig->RefusedLines().empty();
    if (incomplete && UpdateState == usSuccess) UpdateState = usFailed;
  }

  // The state line goes once the outcome is settled: a version that cannot be
  // recorded still fails the run.
  const auto logState = [this] {
    static const char* const kStateLines[] = {"업데이트 성공", "업데이트 실패", "새로운 업데이터 검색",
                                              "업데이트 사용자 취소"};
    if (UpdateState <= usNothingToDo) WriteLog(kStateLines[UpdateState], true);
  };
  if (UpdateState == usUpdaterChanged) {
    logState();
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
      clientStarted_ = ExecOtherProgram(c.GetRunExeName(), c.BizParams);
      if (clientStarted_)
        WriteLog("ExecOtherProgram FErrorStat 정상실행");
      else
        WriteLog("ExecOtherProgram FErrorStat 실행안함");
    }
    if (ServerConfigLoaded) {
      if (c.WriteVersionRegistry(ServerConfig->GetVersionInfo(), ServerConfig->GetDatabaseVersionInfo(),
                                 ServerConfig->GetVersionRegistry(), ServerConfig->GetUpdateDate())) {
        WriteLog("사용자 레지스트리에 버전 정보 등록 완료");
      } else {
        // Without the version recorded the next run does this update again: a failure.
        WriteLog("The version cannot be recorded in the registry: " + c.RegistryError);
        UpdateState = usFailed;
      }
    }
  }
  logState();

  if (!c.GetProductRES().empty() && UpdateState == usFailed) {
    lblFileName->SetCaption("업데이트시 오류가 발생되었습니다.");
    if (RunFailedDialog() == 1) {
      c.UpdateType = 1;
      UpdateState = usSafeRerun;
      if (!c.WriteUpdateType(ServerConfig ? ServerConfig->GetVersionRegistry() : std::string()))
        WriteLog("The update type cannot be recorded: " + c.RegistryError);
    }
  }
}

bool TfrmMainFrame::ReadFileList() {
  try {
    SearchModifiedFiles();
    return true;
  } catch (const std::exception& e) {
    WriteLog(std::string(e.what()) + "SearchModifiedFiles");
    return false;
  }
}

int TfrmMainFrame::RunFailedDialog() {
  auto dialog = std::make_unique<TfFailedMain>(nullptr);
  dialog->SupportTelNo = ServerConfig ? ServerConfig->GetServiceTellNo() : std::string();
  dialog->AnswerUnattended = AnswerUnattended;
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
      if (!list.SectionExists("FILES")) {
        // An error page of another shape, random bytes, another encoding.
        WriteLog("서버의 빠른 업데이트 파일 목록이 잘못되었습니다. (no [FILES] section)\rFile: " + url);
        DeleteFile(local);
        fastListFailed_ = true;
        return false;
      }
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
  for (int i = 0; entries && i < entries->Count(); ++i) {
    // An entry that a path macro began is a full path already; any other is relative to
    // the program folder.
    const std::string& entry = (*entries)[i];
    excluded.push_back(entry.starts_with('/') ? entry : IncludeTrailingPathDelimiter(ClientConfig->RootDir) + entry);
  }
  return excluded;
}

bool TfrmMainFrame::IsExcluded(const std::vector<std::string>& Excluded, const std::string& Path) const {
  return std::any_of(Excluded.begin(), Excluded.end(), [&](const std::string& e) { return ReachSameFile(e, Path); });
}

std::string TfrmMainFrame::WhyNotInstalled(const std::vector<std::string>& Excluded, const std::string& Path) const {
  if (IsExcluded(Excluded, Path)) return "[NoUpdateFiles] names it";
  if (ReachSameFile(Path, ClientConfig->ExeName) || ReachSameFile(Path, ClientConfig->ExeIniName))
    return "it is the updater's own program or configuration";
  return "";
}

bool TfrmMainFrame::MayInstallInPlace(const std::vector<std::string>& Excluded, const std::string& Path) const {
  const std::string why = WhyNotInstalled(Excluded, Path);
  // The updater's own files by their listed names go to the hand-off, which says so itself.
  if (!why.empty() && !IsUpdaterFile(Path)) WriteLogFmt(false, "[FILES] \"%s\" is skipped: %s", Path, why);
  return why.empty();
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

bool TfrmMainFrame::IsUpdaterFile(const std::string& Path) { return IsUpdaterFileName(ExtractFileName(Path)); }

void TfrmMainFrame::SelectFile(TUpdateFileItem* Item) {
  DownloadList.push_back(Item);
  if (Item->DownloadSize > 0) TotalDownloadSize += Item->DownloadSize;
}

bool TfrmMainFrame::IsInstalledDifferent(const TUpdateFileItem& Item, const std::string& Path) const {
  const bool updater = IsUpdaterFile(Path);
  if (!updater && IsHashCheckedExt(ExtractFileName(Path))) {
    // Digest and size from one open: both must match the list.
    int64_t size;
    return GetFileMD5(Path, &size) != Item.MD5 || size != Item.FileSize;
  }
  // A missing file is always fetched, also one whose size the list does not know;
  // an updater file that is there is left to the updater's own check.
  const int64_t size = GetLocalFileSize(Path);
  return size < 0 || (size != Item.FileSize && !updater);
}

bool TfrmMainFrame::DownloadIntoTemp(TUpdateFileItem* Item) {
  ForceDirectoriesSafe(ClientConfig->TempDir);
  return FileDownLoad(Item->FileURL, InTemp(Item->LocalPath), false, Item->DownloadSize, Item->FileSize, Item->MD5);
}

int TfrmMainFrame::IndexOfProgramFile(const std::string& Name) const {
  const int index = ServerConfig->IndexOfFile(Name);
  // The program runs here without the ".exe" that the list gives it.
  if (index < 0 && ExtractFileExt(Name).empty()) return ServerConfig->IndexOfFile(Name + ".exe");
  return index;
}

uint8_t TfrmMainFrame::UpdateFiles() {
  lblFileName->SetCaption(Text("업데이트 준비중입니다.", "Preparing updates."));
  DownloadList.clear();
  TotalDownloadSize = 0;
  if (ServerConfig->GetFileCount() == 0) {
    WriteLog("업데이트 파일 목록에 대상 파일이 하나도 없음.", true);
    return usSuccess;
  }
  uint8_t result;
  try {
    const std::vector<std::string> excluded = ExcludedList();
    result = ClientConfig->UpdateType != 0 ? SelectForSafeUpdate(excluded) : SelectForFastUpdate(excluded);
  } catch (const std::exception& e) {
    WriteLog(std::string(e.what()) + "UpdateFiles");
    return usFailed;
  }
  if (result == usUpdaterChanged || result == usNothingToDo) return result;

  ShowDownloadStart();
  try {
    const uint8_t downloaded = DownloadSelectedFiles();
    return downloaded == usSuccess ? result : downloaded;
  } catch (const std::exception& e) {
    WriteLog(std::string(e.what()) + "UpdateFiles");
    return usFailed;
  }
}

uint8_t TfrmMainFrame::SelectForSafeUpdate(const std::vector<std::string>& Excluded) {
  lblFileName->SetCaption(Text("설치되어 있는 파일을 점검하는 중입니다.", "Checking for installed files."));
  lblFileName->Hide();
  if (!CompactLayout) SetUpdateStep(2);
  const uint8_t own = FetchChangedUpdaterFiles(Excluded);
  if (own == usUpdaterChanged || own == usNothingToDo) return own;
  if (!SelectChangedFiles(Excluded)) return usNothingToDo;
  WriteLogFmt(true, "업데이트 대상 전체 파일 용량: %d", TotalDownloadSize);
  return own;
}

// The updater's own files first: a change hands the run over to the self-updater.
uint8_t TfrmMainFrame::FetchChangedUpdaterFiles(const std::vector<std::string>& Excluded) {
  const std::string selfUpdater = ServerConfig->GetSelfUpdater();
  uint8_t result = usSuccess;
  bool changed = false;
  for (int i = ServerConfig->GetSelfUpdateCount() - 1; i >= 0; --i) {
    Application->ProcessMessages();
    if (CancelRequested) return usNothingToDo;
    TUpdateFileItem* item = ServerConfig->GetSelfUpdateItem(i);
    std::string path = EffectivePath(item->LocalPath);
    if (ReachSameFile(path, selfUpdater)) path = InTemp(selfUpdater);
    if (IsExcluded(Excluded, path) || GetFileMD5(path) == item->MD5) continue;
    ForceDirectoriesSafe(ClientConfig->TempDir);
    WriteLogFmt(false, "로더관련 업데이트 목록 변경1 : [%s]", path);
    if (DownloadIntoTemp(item))
      changed = true;
    else
      result = usFailed;
  }
  if (!changed) return result;
  WriteLog(kUpdaterChanged);
  lblFileName->SetCaption(kUpdaterChanged);
  return usUpdaterChanged;
}

bool TfrmMainFrame::SelectChangedFiles(const std::vector<std::string>& Excluded) {
  lblTotalProgress->SetCaption(Text("파일 점검 진행률", "File Checking"));
  lblTotalProgress->Show();
  prbFileTotal->Show();
  prbFileTotal->SetPercent(0);
  const int count = ServerConfig->GetFileCount();
  for (int i = count - 1; i >= 0; --i) {
    Application->ProcessMessages();
    if (CancelRequested) return false;
    prbFileTotal->SetPercent(int(int64_t(count - i) * 100 / count));
    TUpdateFileItem* item = ServerConfig->GetFileItem(i);
    const std::string path = EffectivePath(item->LocalPath);
    if (MayInstallInPlace(Excluded, path) && IsInstalledDifferent(*item, path)) SelectFile(item);
  }
  return true;
}

uint8_t TfrmMainFrame::SelectForFastUpdate(const std::vector<std::string>& Excluded) {
  const uint8_t own = FetchChangedOwnFiles(Excluded);
  if (own == usUpdaterChanged) return own;
  WriteLogFmt(true, "빠른 업데이트 대상 파일 개수: %d", ServerConfig->GetFileCount());
  SelectFastFiles(Excluded);
  return own;
}

uint8_t TfrmMainFrame::FetchChangedOwnFiles(const std::vector<std::string>& Excluded) {
  const TClientConfiguration& c = *ClientConfig;
  const std::string selfUpdater = ServerConfig->GetSelfUpdater();
  const struct {
    std::string name;
    const char* line;
    bool setsChanged;  // the self-updater's own change alone hands nothing over
  } own[] = {{ExtractFileName(c.ExeName), "Loader.exe 변경 확인", true},
             {ExtractFileName(c.ExeIniName), "Loader.ini 변경 확인", true},
             {ExtractFileName(selfUpdater), "qx.exe 변경 확인", false}};
  uint8_t result = usSuccess;
  bool changed = false;
  for (const auto& f : own) {
    if (f.name.empty()) continue;
    const int index = IndexOfProgramFile(f.name);
    if (index < 0) continue;
    const bool self = !f.setsChanged;
    if (IsExcluded(Excluded, self ? InTemp(f.name) : IncludeTrailingPathDelimiter(c.RootDir) + f.name)) continue;
    TUpdateFileItem* item = ServerConfig->GetFileItem(index);
    std::string path = EffectivePath(item->LocalPath);
    if (self && ReachSameFile(path, selfUpdater)) path = InTemp(selfUpdater);
    if (GetFileMD5(path) == item->MD5) continue;
    WriteLog(f.line, true);
    if (DownloadIntoTemp(item)) {
      if (f.setsChanged) changed = true;
    } else {
      result = usFailed;
      if (f.setsChanged) changed = false;
    }
  }
  if (!changed) return result;
  lblFileName->SetCaption(Text(kUpdaterChanged, "Updater has been modified. Restarting updater."));
  return usUpdaterChanged;
}

void TfrmMainFrame::SelectFastFiles(const std::vector<std::string>& Excluded) {
  const std::string selfUpdater = ServerConfig->GetSelfUpdater();
  // The configuration's own record, found unchanged before, comes with the other files.
  const int ini = IndexOfProgramFile(ExtractFileName(ClientConfig->ExeIniName));
  for (int i = ServerConfig->GetFileCount() - 1; i >= 0; --i) {
    Application->ProcessMessages();
    TUpdateFileItem* item = ServerConfig->GetFileItem(i);
    const std::string path = EffectivePath(item->LocalPath);
    if (ReachSameFile(path, selfUpdater)) continue;
    if (i == ini ? IsExcluded(Excluded, path) : !MayInstallInPlace(Excluded, path)) continue;
    SelectFile(item);
  }
}

void TfrmMainFrame::ShowDownloadStart() {
  lblTotalProgress->SetCaption(Text("전체 진행률", "Whole in progress"));
  lblFileTotalSize->SetCaption("0/" + IntToStr(TotalDownloadSize));
  if (!DownloadList.empty()) {
    WriteLogFmt(true, "전체 다운로드 파일 개수 : %d", int(DownloadList.size()));
    lblFileName->SetCaption(Text("새 버전을 업데이트 하는 중입니다. 잠시만 기다려주세요.", "Updating to a new version. Please wait."));
    lblFileName->Hide();
    ShowProgress(true);
  }
  if (!CompactLayout) SetUpdateStep(3);
}

uint8_t TfrmMainFrame::DownloadSelectedFiles() {
  uint8_t result = usSuccess;
  for (TUpdateFileItem* item : DownloadList) {
    Application->ProcessMessages();
    lblFileTotalSize->SetCaption(Thousands(DownloadedTotal) + "/" + Thousands(TotalDownloadSize));
    if (CancelRequested) return usNothingToDo;
    lblFileDownName->SetCaption(ExtractFileName(item->LocalPath));
    FilePosition = 0;
    if (!FileDownLoad(item->FileURL, item->LocalPath, false, item->DownloadSize, item->FileSize, item->MD5)) {
      result = usFailed;
      continue;
    }
    if (IsScriptExt(item->LocalPath))
      EnableAction(ServerConfig->ScriptExtNames()->Values(ExtractInnerExt(item->LocalPath)));
  }
  return result;
}

// ---- one download ----

void TfrmMainFrame::FailLocally(const std::string& File, const std::string& Reason) {
  localFailure_ = true;
  localFailureText_ = "Cannot write \"" + File + "\": " + Reason;
  WriteLog("[FileDownload] " + localFailureText_);
}

bool TfrmMainFrame::Fetch(const std::string& URL, const std::string& Dest, const std::string& Part, int64_t MaxSize) {
  Downloader->Reset();
  ApplyProxy();
  Downloader->SetURL(StringReplace(URL, " ", "%20", {rfReplaceAll}));
  Downloader->SetDestFileName(Part);
  Downloader->SetMaxBodySize(MaxSize);
  backgroundFailure_.reset();
  try {
    Downloader->Download();
    if (!backgroundFailure_ && Downloader->FailureText().empty()) return true;
    if (backgroundFailure_)
      LogFetchFailure(Dest, *backgroundFailure_);
    else  // the transport returned from a failed transfer and says why
      WriteLogFmt(false, "Download failed: FileName:[%s] Reason:[%s]", Dest, Downloader->FailureText());
  } catch (const std::exception& e) {
    // A write that failed in the background ends the transfer too; it is the cause.
    if (backgroundFailure_)
      LogFetchFailure(Dest, *backgroundFailure_);
    else
      LogFetchFailure(Dest, e);
  }
  DownloadFailed = true;
  return false;
}

void TfrmMainFrame::SocketBackgroundException(TObject*, Exception& E, bool& CanClose) {
  // Keeps the most telling class: the local write error is what failed.
  if (dynamic_cast<const EStreamError*>(&E))
    backgroundFailure_ = std::make_unique<EStreamError>(E.Message());
  else if (!backgroundFailure_)
    backgroundFailure_ = std::make_unique<Exception>(E.Message());
  CanClose = true;
}

void TfrmMainFrame::LogFetchFailure(const std::string& Dest, const std::exception& E) {
  // The file that could not be written is this machine's failure, not the server's.
  if (dynamic_cast<const EStreamError*>(&E) || dynamic_cast<const EInOutError*>(&E)) {
    FailLocally(Dest, E.what());
    return;
  }
  // A status is worth logging only when the server sent one: the socket library
  // reports a connection it could not make, or one that went silent, as 404.
  bool answered = dynamic_cast<const EIdHTTPProtocolException*>(&E) != nullptr;
  if (dynamic_cast<const EHttpException*>(&E))
    if (auto* sock = dynamic_cast<TStdSockDownloader*>(Downloader.get())) answered = sock->Http()->RequestDoneError() == 0;
  if (!answered) {
    WriteLogFmt(false, "Download failed: FileName:[%s] Reason:[%s]", Dest, std::string(E.what()));
    return;
  }
  std::string reason;
  Downloader->GetStatusText(reason);
  WriteLogFmt(false, "Http Exception: FileName:[%s] StatusCode:[%d] ReasonPhrase:[%s]", Dest, Downloader->GetStatusCode(),
              reason);
}

bool TfrmMainFrame::FileDownLoad(const std::string& URL, const std::string& Dest, bool IsConfig,
                                 int64_t DownloadSize, int64_t FileSize, const std::string& MD5) {
  enum { kOk, kFailed, kUnpacked };
  DownloadFailed = false;
  localFailure_ = false;
  int status = kOk;
  // The download goes beside its place under a name of its own and replaces the
  // installed file only after its checks; a cabinet is unpacked into a new folder
  // beside it first. Only these two are removed afterwards.
  std::string part, stage;
  try {
    ForceDirectoriesSafe(ExtractFileDir(Dest));
    part = CreateUniqueName(Dest, ".part", false);
    if (part.empty()) {
      FailLocally(Dest, std::strerror(errno));
      return false;
    }
    // The name is ours now; the transport makes the file anew, or nothing.
    DeleteFile(part);
    // The list's download size bounds the download; lists themselves come unsized.
    if (!Fetch(URL, Dest, part, IsConfig || DownloadSize < 0 ? -1 : DownloadSize)) status = kFailed;

    const std::string name = ExtractFileName(Dest);
    const bool packed = std::count(name.begin(), name.end(), '.') > 1;
    const std::string target = WithoutCabExt(Dest);
    // The unpacked target is digested as it is written, not read again for its check.
    TCabDigest unpacked{ExtractFileName(target)};
    if (status == kOk && packed && FileExists(part) && IsCabinetFile(part)) {
      TCabinetEntries entries(Dest, target, [this, excluded = ExcludedList()](const std::string& Path) {
        return WhyNotInstalled(excluded, Path);
      });
      if (DownloadSize != -1 && GetLocalFileSize(part) != DownloadSize) {
        WriteLogFmt(false, "[%s] 다운로드 리스트의 파일과 다운받은 파일의 용량이 다름", Dest);
        status = kFailed;
      } else if (!entries.Survey(part, FileSize)) {
        status = kFailed;
      } else if ((stage = CreateUniqueName(Dest, ".unpack", true)).empty()) {
        FailLocally(Dest, std::strerror(errno));
        status = kFailed;
      } else if (std::string why;
                 ExtractCabinet(part, stage, &why, entries.Installer(), target == Dest ? nullptr : &unpacked)) {
        status = kUnpacked;
      } else {
        LogUnpackFailure(why, Dest);
        status = kFailed;
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
      } else if (IsMd5Text(MD5)) {
        // The size alone does not tell the file from an error page of the same length.
        const std::string got = status == kUnpacked && unpacked.Made ? LowerCase(MD5DigestToHex(unpacked.Digest))
                                                                     : GetFileMD5(produced);
        if (!SameText(got, MD5)) {
          WriteLogFmt(false, "[FileDownload] \"%s\" MD5 %s differs from the list's %s", shown, got, MD5);
          status = kFailed;
        }
      }
    }

    if (status == kOk && !FileExists(part)) {
      // Nothing came: an older copy must not pass for this download.
      if (IsConfig)
        DeleteFile(Dest);
      else
        status = kFailed;
    } else if (status == kOk && !InstallFile(part, Dest)) {
      WriteLogFmt(false, "[FileDownload] 기존 파일 삭제 실패 : %s [%s]", Dest, std::string(std::strerror(errno)));
      status = kFailed;
    }
    std::string failed;
    if (status == kUnpacked && !MoveUnpackedFiles(stage, ExtractFileDir(Dest), target, failed)) {
      WriteLogFmt(false, "[FileDownload] 기존 파일 삭제 실패 : %s [%s]", failed, std::string(std::strerror(errno)));
      status = kFailed;
    }
  } catch (const std::exception& e) {
    WriteLog(Dest + ": " + e.what() + "FileDownLoad");
    status = kFailed;
  }

  if (!stage.empty()) {
    std::error_code ec;
    fs::remove_all(NativePath(stage), ec);
  }
  if (!part.empty() && FileExists(part) && !DeleteFile(part)) {
    WriteLogFmt(false, "%s 파일을 삭제하는데 실패하였습니다.", part);
    ShowDeleteFailure(part);
  }
  return status != kFailed;
}

bool TfrmMainFrame::MoveUnpackedFiles(const std::string& Stage, const std::string& Folder, const std::string& Target,
                                      std::string& Failed) {
  const std::string stage = NativePath(Stage);
  std::vector<std::string> files;
  if (!PlainFilesBelow(stage, "", files)) {
    Failed = Stage;
    return false;
  }
  // The target goes last: until it is in place, the next run selects the cabinet again.
  const auto last = std::find_if(files.begin(), files.end(),
                                 [&](const std::string& f) { return SameText(f, ExtractFileName(Target)); });
  if (last != files.end()) std::rotate(last, last + 1, files.end());
  std::string madeFolder;
  for (const std::string& relative : files) {
    const std::string to = IncludeTrailingPathDelimiter(Folder) + relative;
    if (const std::string folder = ExtractFileDir(to); folder != madeFolder) {
      ForceDirectoriesSafe(folder);
      madeFolder = folder;
    }
    if (!InstallFile(stage + "/" + relative, to)) {
      Failed = to;
      return false;
    }
  }
  return true;
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
