// The updater's main window and the owner of a whole update run: the connection
// loop that fetches and evaluates the update list, the update decision and the
// fast/safe choice, the file selection and downloads, and the close-time work
// (scripted actions, client start, self-update hand-off, exit code).
#pragma once

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/vcl/extctrls.h"
#include "platform/vcl/forms.h"
#include "platform/vcl/stdctrls.h"
#include "transport/StdDownloader.h"
#include "updater/AutoUpdaterUtils.h"
#include "updater/ServerConfiguration.h"
#include "widgets/RzBmpBtn.h"
#include "widgets/RzPrgres.h"
#include "widgets/RzRadChk.h"

// Posted by the form to itself: start the run, or close without asking.
constexpr UINT WM_START_UPDATE = WM_USER + 1000;
constexpr UINT WM_CLOSE_UPDATER = WM_USER + 1001;

// The run's states; the destructor turns them into the exit code.
enum : uint8_t {
  usSuccess = 0,
  usFailed = 1,
  usUpdaterChanged = 2,
  usNothingToDo = 3,
  usSafeRerun = 4,
};

class TfrmMainFrame : public TForm {
  VX_CLASS(TfrmMainFrame, TForm)

 public:
  explicit TfrmMainFrame(TComponent* AOwner);
  ~TfrmMainFrame() override;

  // --- controls ---
  TImage* imgBackgroundres;
  TLabel* lblFileName;
  TLabel* lblTotal;
  TLabel* lblTotalProgress;
  TLabel* lblFileDownName;
  TLabel* lblFileTotalSize;
  TLabel* lblFileDownSize;
  TRzProgressBar* prbFileTotal;
  TRzProgressBar* prbFileDown;
  TImage* imgVersion;
  TImage* imgFileChack;
  TImage* imgDown;
  TImage* imgComplete;
  TPanel* palUpdateType;
  TLabel* lblInformation;
  TLabel* lblVersion;
  TRzRadioButton* rbFastUpdate;
  TRzRadioButton* rbSafeUpdate;
  TRzBmpButton* btnDetailView;
  TRzBmpButton* btnConfirm;

  // --- state of the run ---
  std::unique_ptr<TStdDownloader> Downloader;
  bool CanCloseSilently = false;
  uint8_t UpdateState = usFailed;
  std::unique_ptr<TServerConfiguration> ServerConfig;
  std::vector<TUpdateFileItem*> DownloadList;  // records of ServerConfig
  bool ServerConfigLoaded = true;
  bool CancelRequested = false;
  bool DownloadFailed = false;
  int64_t TotalDownloadSize = 0;
  int64_t DownloadedTotal = 0;
  int64_t FilePosition = 0;
  int64_t CurrentFileSize = 0;
  bool ProgressShown = false;
  bool ForcedSafe = false;
  bool RunActionsOnClose = false;
  bool AwaitingUpdateTypeChoice = false;
  std::string InitErrorText;
  std::string Language;
  bool CompactLayout = false;
  // The pause between two connection attempts.
  int RetryWaitMs = 3000;
  // When nobody can answer the fast/safe choice or the failure dialog (a headless run
  // whose script has nothing it can do), the answer shown is taken. Tests that play
  // the person themselves turn it off.
  bool AnswerUnattended = true;

  // --- main form, connection loop, decision ---
  void AppException(TObject* Sender, Exception* E);
  void FormCreate(TObject* Sender);
  bool Initialize();
  bool UpdaterInit();
  void WMStartUpdate(TMessage& Message);
  void WMCloseUpdater(TMessage& Message);
  void WMUnattendedTurn(TMessage& Message);
  void FormCloseQuery(TObject* Sender, bool& CanClose);
  void UpdateTypeChanged(TObject* Sender);
  void btnConfirmClick(TObject* Sender);
  void btnDetailViewClick(TObject* Sender);
  void SetUpdateStep(int Step);
  bool LoadPngResource(HINSTANCE Instance, const std::string& Name, TPicture* Picture);
  void ShowProgress(bool Visible);
  void WaitWithMessages(DWORD Milliseconds);

  // --- file selection and download ---
  void DoUpdate();
  bool SearchModifiedFiles();
  bool DownloadFastUpdateLists();
  uint8_t UpdateFiles();
  // With MD5 given (32 hexadecimal digits), the file (a cabinet's unpacked file) must
  // have that digest before it replaces anything.
  bool FileDownLoad(const std::string& URL, const std::string& Dest, bool IsConfig, int64_t DownloadSize,
                    int64_t FileSize, const std::string& MD5 = "");
  bool IsHashCheckedExt(const std::string& FileName) const;
  bool IsScriptExt(const std::string& FileName) const;
  static bool IsUpdaterFile(const std::string& Path);
  void DownloaderBeginWork(TObject* Sender, Int64 Size);
  void DownloaderWork(TObject* Sender, Int64 Position);
  void DownloaderEndWork(TObject* Sender, Int64 Count);

  // --- close-time work ---
  bool HasNewLoader();
  void CloseProcess();
  void LaunchSelfUpdater();
  void RegistComponents();
  void ExecuteConditionActions();
  bool ActRunTo(const std::string& Program, const std::string& Params, bool Third);
  bool ActWriteKeyValueFile(const std::string& File, const std::string& Key, const std::string& Value);
  bool ExecOtherProgram(const std::string& Program, const std::string& Params);

  VX_MESSAGE_MAP(TfrmMainFrame, TForm)
  VX_MESSAGE_HANDLER(WM_START_UPDATE, WMStartUpdate)
  VX_MESSAGE_HANDLER(WM_CLOSE_UPDATER, WMCloseUpdater)
  VX_MESSAGE_HANDLER(WM_UNATTENDED_TURN, WMUnattendedTurn)
  VX_END_MESSAGE_MAP

 private:
  // "Korean" or "English" by the configured language.
  const char* Text(const char* Korean, const char* English) const;
  // The client program or the -ISRUN: file is in use (never in SM mode).
  bool ClientBusy() const;
  // Makes the download requests of the configured transport.
  void CreateDownloader();
  // Puts the proxy of the configuration on the downloader.
  void ApplyProxy();
  // Runs the whole update and ends the application.
  void RunUpdateAndTerminate();
  // The decision on a versioned list; the run goes on, stops or waits for the choice.
  void DecideUpdate();
  void DecideForcedSafe();
  void DecideNoUpdate();
  // Sets the enable flag of the scripted actions that the condition lines name.
  void EnableConditionActions();
  // Sets the enable flag ("0000") of the action Name; false when there is none.
  bool EnableAction(const std::string& Name);
  // The list record's path as installed (a cabinet's unpacked name).
  static std::string EffectivePath(const std::string& LocalPath);
  bool IsExcluded(const std::vector<std::string>& Excluded, const std::string& Path) const;
  std::vector<std::string> ExcludedList() const;
  // Why nothing may be put at Path: it reaches an excluded file, or the updater's own
  // program or configuration; "" when it may.
  std::string WhyNotInstalled(const std::vector<std::string>& Excluded, const std::string& Path) const;
  // Whether a list record may be put at Path by WhyNotInstalled's rules; a record refused
  // is logged unless the hand-off of the updater's own files takes it by its name.
  bool MayInstallInPlace(const std::vector<std::string>& Excluded, const std::string& Path) const;
  void SelectFile(TUpdateFileItem* Item);
  // Whether the installed file at Path differs from the record (a missing one does).
  bool IsInstalledDifferent(const TUpdateFileItem& Item, const std::string& Path) const;

  // The jobs of UpdateFiles. Each answers the run's state so far: usSuccess, usFailed
  // (an updater file could not be fetched), usUpdaterChanged or usNothingToDo
  // (cancelled).
  uint8_t SelectForSafeUpdate(const std::vector<std::string>& Excluded);
  uint8_t SelectForFastUpdate(const std::vector<std::string>& Excluded);
  // The updater's own files of a safe update, fetched into the temporary folder.
  uint8_t FetchChangedUpdaterFiles(const std::vector<std::string>& Excluded);
  // The program, its configuration and the self-updater before a fast update.
  uint8_t FetchChangedOwnFiles(const std::vector<std::string>& Excluded);
  // Every listed file whose installed copy differs; false when cancelled.
  bool SelectChangedFiles(const std::vector<std::string>& Excluded);
  // Every record of the fast lists but the updater's own.
  void SelectFastFiles(const std::vector<std::string>& Excluded);
  void ShowDownloadStart();
  uint8_t DownloadSelectedFiles();

  // Downloads an updater file into the temporary folder.
  bool DownloadIntoTemp(TUpdateFileItem* Item);
  // Fetches URL into Part, of at most MaxSize bytes (-1: any size); false, logged, when
  // the transport failed.
  bool Fetch(const std::string& URL, const std::string& Dest, const std::string& Part, int64_t MaxSize);
  void LogFetchFailure(const std::string& Dest, const std::exception& E);
  // The socket library ends a transfer whose handler raised (a full disk) as if the
  // server had closed it; the reason is kept here for Fetch.
  void SocketBackgroundException(TObject* Sender, Exception& E, bool& CanClose);
  std::unique_ptr<Exception> backgroundFailure_;
  // Notes a failure of this machine (a file that cannot be written) and logs it.
  void FailLocally(const std::string& File, const std::string& Reason);
  void ShowTotalProgress();
  void ShowDeleteFailure(const std::string& FileName);
  // Moves every file unpacked into Stage to the same place under Folder, the file named
  // like Target last, so that a cabinet applied in part is selected again. Failed names
  // the file that could not be put in place.
  bool MoveUnpackedFiles(const std::string& Stage, const std::string& Folder, const std::string& Target,
                         std::string& Failed);
  // The index of the program's own record, which the list names with ".exe".
  int IndexOfProgramFile(const std::string& Name) const;
  // SearchModifiedFiles; false (logged) when the list could not be read.
  bool ReadFileList();
  // Removes from Folder the scratch that downloads of the files named in Names (upper
  // case; empty: any name) leave while they run, as a run ended by force left it.
  void RemoveScratch(const std::string& Folder, const std::set<std::string>& Names);
  // The same beside every file of the list.
  void RemoveListedScratch();
  // Shows the failure dialog; its modal result.
  int RunFailedDialog();
  // The first file named by a program name in the temporary folder, or "".
  std::string NewFileInTemp(const std::string& Name) const;

  bool fastListFailed_ = false;
  bool conditionActionsDone_ = false;
  // The client program was started by the update already.
  bool clientStarted_ = false;
  // The last download failed on this machine (a file that cannot be written), and why.
  bool localFailure_ = false;
  std::string localFailureText_;
};
