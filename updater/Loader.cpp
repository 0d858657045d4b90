#include "updater/Loader.h"

#include "platform/rtl/sysutils.h"
#include "platform/vcl/forms.h"
#include "platform/win/sync.h"
#include "updater/AutoUpdaterUtils.h"
#include "updater/ClientConfiguration.h"
#include "updater/uAutoUpdater.h"

namespace {

// Holds the single-instance mutex for the whole run and lets it go on every way out.
class TInstanceMutex {
 public:
  explicit TInstanceMutex(const std::string& Name) {
    SetLastError(ERROR_SUCCESS);
    FHandle = CreateMutex(nullptr, TRUE, Name.c_str());
    FOwned = FHandle != nullptr && GetLastError() == ERROR_SUCCESS;
  }
  ~TInstanceMutex() {
    if (!FHandle) return;
    if (FOwned) ReleaseMutex(FHandle);
    CloseHandle(FHandle);
  }
  TInstanceMutex(const TInstanceMutex&) = delete;
  TInstanceMutex& operator=(const TInstanceMutex&) = delete;
  // False when the mutex could not be made or another updater of the title holds it.
  bool Owned() const { return FOwned; }

 private:
  HANDLE FHandle = nullptr;
  bool FOwned = false;
};

// The configuration outlives the main form, whose destructor still reads it.
struct TConfigLifetime {
  TConfigLifetime() { ClientConfig = std::make_unique<TClientConfiguration>(); }
  ~TConfigLifetime() { ClientConfig.reset(); }
};

// Creates the main updater form, runs the message loop until the application
// terminates and returns the exit code that the main form left.
int RunApplication() {
  Application->Initialize();
  TfrmMainFrame* form = nullptr;
  Application->CreateForm(form);
  Application->Run();
  // The form's destructor does the close-time work and sets the exit code; it runs
  // while the configuration is still there.
  if (TCustomForm* main = Application->MainForm()) main->Free();
  return ExitCode;
}

}  // namespace

int RunLoader(int argc, char** argv) {
  InitParams(argc, argv);
  TConfigLifetime config;

  std::string title = ClientConfig->GetTitle();
  if (title.empty()) title = "noDuplicate_AutoUpdater";
  TInstanceMutex mutex(title + "_Loader");
  if (!mutex.Owned()) return 0;  // another updater of this title runs: end silently

  if (!ClientConfig->ParseCommandLine()) {
    WriteLog("Parameter 체크 중 오류 발생");
    if (!ClientConfig->CommandLineError.empty()) WriteLog(ClientConfig->CommandLineError);
    return 0;
  }

  const std::string& runCheck = ClientConfig->IsRunCheckFile;
  if (IsFileLocked(runCheck)) {
    WriteLogFmt(false, "[%s] 파일이 사용중입니다. Updater를 종료합니다.", runCheck);
    return 0;
  }

  if (GetCurrentDir() != ClientConfig->RootDir) {
    WriteLog("현재 디렉토리가 어플리케이션 루트와 같지 않음.", true);
    SetCurrentDir(ClientConfig->RootDir);
  }

  return RunApplication();
}
