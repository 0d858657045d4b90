// The main form: its layout, the start message and the connection loop, the update
// decision, the fast/safe choice panel, the step pictures and closing by the user.
#include "updater/uAutoUpdater.h"

#include "platform/rtl/registry.h"
#include "platform/rtl/sysutils.h"
#include "platform/vcl/dialogs.h"
#include "platform/win/process.h"
#include "platform/win/resources.h"
#include "platform/win/shell.h"
#include "platform/win/sync.h"
#include "transport/StdIndyDownloader.h"
#include "transport/StdSockDownloader.h"
#include "transport/StdWebAgentDownloader.h"
#include "updater/AutoUpdaterUtils.h"
#include "updater/ClientConfiguration.h"

namespace {

constexpr TColor kLabelColor = 5723991;

TLabel* MakeLabel(TComponent* Owner, TWinControl* Parent, const char* Name, int Left, int Top) {
  auto* label = new TLabel(Owner);
  label->SetName(Name);
  label->SetParent(Parent);
  label->SetLeft(Left);
  label->SetTop(Top);
  label->SetCaption("");
  return label;
}

TImage* MakeImage(TComponent* Owner, TWinControl* Parent, const char* Name, int Width, int Height) {
  auto* image = new TImage(Owner);
  image->SetName(Name);
  image->SetParent(Parent);
  image->SetBounds(0, 0, Width, Height);
  return image;
}

TRzProgressBar* MakeBar(TComponent* Owner, TWinControl* Parent, const char* Name) {
  auto* bar = new TRzProgressBar(Owner);
  bar->SetName(Name);
  bar->SetParent(Parent);
  bar->SetBarColor(12760967);
  bar->SetBorderColor(11316884);
  bar->SetBorderOuter(fsNone);
  bar->SetBorderWidth(1);
  bar->SetPercent(0);
  return bar;
}

TRzRadioButton* MakeRadio(TComponent* Owner, TWinControl* Parent, const char* Name, int Left, const char* Caption) {
  auto* radio = new TRzRadioButton(Owner);
  radio->SetName(Name);
  radio->SetParent(Parent);
  radio->SetBounds(Left, 102, 90, 17);
  radio->SetCaption(Caption);
  radio->SetHotTrack(true);
  return radio;
}

// A picture button with the "<Pictures>_Up" and "<Pictures>_Down" artwork.
TRzBmpButton* MakeBmpButton(TComponent* Owner, TWinControl* Parent, const char* Name, TRect Bounds,
                            const std::string& Pictures) {
  auto* button = new TRzBmpButton(Owner);
  button->SetName(Name);
  button->SetParent(Parent);
  button->SetBoundsRect(Bounds);
  button->SetCursor(crHandPoint);
  LoadPngResourceTo(HInstance(), Pictures + "_Up", button->Bitmaps()->Up());
  LoadPngResourceTo(HInstance(), Pictures + "_Down", button->Bitmaps()->Down());
  return button;
}

}  // namespace

TfrmMainFrame::TfrmMainFrame(TComponent* AOwner) : TForm(AOwner) {
  BeginLoading();
  SetName("frmMainFrame");
  SetCaption("");
  SetBorderStyle(bsDialog);
  SetPosition(poScreenCenter);
  SetColor(clWhite);
  Font()->SetCharset(HANGEUL_CHARSET);
  SetClientSize(450, 398);

  imgBackgroundres = MakeImage(this, this, "imgBackgroundres", 450, 398);
  imgBackgroundres->SetAlign(alClient);

  lblFileName = MakeLabel(this, this, "lblFileName", 76, 221);
  lblFileName->SetAutoSize(false);
  lblFileName->SetBounds(76, 221, 270, 27);
  lblFileName->SetAlignment(taCenter);
  lblFileName->SetWordWrap(true);
  lblFileName->SetTransparent(true);
  lblFileName->Font()->SetColor(clNavy);
  lblFileName->SetCaption("업데이트를 초기화 하고 있습니다. ");

  lblTotal = MakeLabel(this, this, "lblTotal", 30, 294);
  lblTotalProgress = MakeLabel(this, this, "lblTotalProgress", 53, 247);
  lblFileDownName = MakeLabel(this, this, "lblFileDownName", 53, 295);
  for (TLabel* label : {lblTotalProgress, lblFileDownName}) {
    label->SetTransparent(true);
    label->Font()->SetColor(kLabelColor);
  }
  lblFileTotalSize = MakeLabel(this, this, "lblFileTotalSize", 201, 247);
  lblFileDownSize = MakeLabel(this, this, "lblFileDownSize", 193, 295);
  for (TLabel* label : {lblFileTotalSize, lblFileDownSize}) {
    label->SetAutoSize(false);
    label->SetAlignment(taRightJustify);
    label->SetTransparent(true);
    label->Font()->SetColor(kLabelColor);
    label->SetHeight(13);
    label->SetCaption("0/0");
  }
  lblFileTotalSize->SetWidth(192);
  lblFileDownSize->SetWidth(200);

  prbFileTotal = MakeBar(this, this, "prbFileTotal");
  prbFileDown = MakeBar(this, this, "prbFileDown");

  imgVersion = MakeImage(this, this, "imgVersion", 98, 89);
  imgFileChack = MakeImage(this, this, "imgFileChack", 98, 89);
  imgDown = MakeImage(this, this, "imgDown", 98, 89);
  imgComplete = MakeImage(this, this, "imgComplete", 85, 89);

  palUpdateType = new TPanel(this);
  palUpdateType->SetName("palUpdateType");
  palUpdateType->SetParent(this);
  palUpdateType->SetBounds(29, 209, 393, 122);
  palUpdateType->SetBevelOuter(bvNone);
  palUpdateType->SetColor(clWindow);
  palUpdateType->SetCaption("");
  lblInformation = MakeLabel(this, palUpdateType, "lblInformation", 40, 24);
  lblInformation->SetAutoSize(false);
  lblInformation->SetBounds(40, 24, 263, 45);
  lblInformation->SetWordWrap(true);
  lblVersion = MakeLabel(this, palUpdateType, "lblVersion", 40, 74);
  rbFastUpdate = MakeRadio(this, palUpdateType, "rbFastUpdate", 32, "빠른 업데이트");
  rbSafeUpdate = MakeRadio(this, palUpdateType, "rbSafeUpdate", 137, "안전 업데이트");
  rbFastUpdate->OnClick = TNotifyEvent(this, &TfrmMainFrame::UpdateTypeChanged);
  rbSafeUpdate->OnClick = TNotifyEvent(this, &TfrmMainFrame::UpdateTypeChanged);
  btnDetailView = MakeBmpButton(this, palUpdateType, "btnDetailView", Bounds(312, 96, 68, 18), "BtnDetailView");
  btnDetailView->OnClick = TNotifyEvent(this, &TfrmMainFrame::btnDetailViewClick);
  btnConfirm = MakeBmpButton(this, this, "btnConfirm", Bounds(346, 349, 79, 24), "BtnConfirm");
  btnConfirm->OnClick = TNotifyEvent(this, &TfrmMainFrame::btnConfirmClick);

  WriteLog("로더 실행", true);
  Application->SetOnException(TExceptionEvent(this, &TfrmMainFrame::AppException));
  Application->SetTitle(ClientConfig->GetTitle());
  const std::string icon = ClientConfig->GetIconPath();
  if (!icon.empty() && IsPlainFile(icon)) {
    try {
      Application->Icon()->LoadFromFile(icon);
    } catch (const std::exception& e) {
      WriteLog(e.what());
    }
  }

  OnCreate = TNotifyEvent(this, &TfrmMainFrame::FormCreate);
  OnCloseQuery = TCloseQueryEvent(this, &TfrmMainFrame::FormCloseQuery);
  EndLoading();
}

const char* TfrmMainFrame::Text(const char* Korean, const char* English) const {
  return Language == "ENG" ? English : Korean;
}

void TfrmMainFrame::AppException(TObject*, Exception* E) { WriteLog(E->Message()); }

void TfrmMainFrame::CreateDownloader() {
  switch (ClientConfig->GetSocketType()) {
    case 1: {
      auto sock = std::make_unique<TStdSockDownloader>();
      sock->Http()->CtrlSocket()->OnBgException = TBgExceptionEvent(this, &TfrmMainFrame::SocketBackgroundException);
      Downloader = std::move(sock);
      break;
    }
    case 2:
      Downloader = std::make_unique<TStdWebAgentDownloader>();
      break;
    default:
      Downloader = std::make_unique<TStdIndyDownloader>();
      break;
  }
}

void TfrmMainFrame::ApplyProxy() {
  Downloader->SetProxyHost(ClientConfig->ProxyIP);
  Integer port = 80;
  if (!TryStrToInt(ClientConfig->ProxyPort, port)) {
    // A port that is not a number would stop the run before it starts; the
    // usual port serves instead.
    WriteLogFmt(false, "Proxy Port [%s] is not a number: port 80 is used", ClientConfig->ProxyPort);
    port = 80;
  }
  Downloader->SetProxyPort(port);
}

void TfrmMainFrame::FormCreate(TObject*) {
  CreateDownloader();
  SetDoubleBuffered(true);
  UpdateState = usFailed;
  Language = UpperCase(Trim(ClientConfig->GetProductLanguage()));
  lblFileName->SetCaption(Text("업데이트를 초기화 하고 있습니다.", "Initializing Update Process."));
  ShowProgress(false);
  CompactLayout = !ClientConfig->GetProductAdminRES().empty() || ClientConfig->SMMode;

  if (Initialize()) {
    Downloader->SetOnBeginWork(TStdWorkEvent(this, &TfrmMainFrame::DownloaderBeginWork));
    Downloader->SetOnWork(TStdWorkEvent(this, &TfrmMainFrame::DownloaderWork));
    Downloader->SetOnEndWork(TStdWorkEvent(this, &TfrmMainFrame::DownloaderEndWork));
    ApplyProxy();
    WriteLogFmt(true, "Proxy IP: %s, Proxy Port: %d", Downloader->ProxyHost(), Downloader->ProxyPort());
    PostMessage(Handle(), WM_START_UPDATE, 0, 0);
  } else {
    if (Language == "ENG")
      ShowMessage("Update server information could not be retrieved.");
    else
      Application->MessageBox("업데이트 서버 정보를 얻어 오지 못하였습니다.", ExtractFileName(ClientConfig->ExeName), MB_OK);
    PostMessage(Handle(), WM_CLOSE_UPDATER, 0, 0);
  }
}

bool TfrmMainFrame::Initialize() {
  try {
    if (ClientConfig->GetServerURL().empty()) return false;
    int fileTop = 0;
    if (CompactLayout) {
      std::string prefix = ClientConfig->GetProductAdminRES();
      if (prefix.empty()) prefix = ClientConfig->GetProductRES();
      LoadPngResource(HInstance(), prefix + "AdBackgroundres", imgBackgroundres->Picture());
      SetClientSize(450, 268);
      lblFileName->SetTop(93);
      lblFileName->SetLeft(76);
      prbFileTotal->SetTop(134);
      fileTop = 182;
    } else {
      SetUpdateStep(0);
      SetClientSize(450, 398);
      const int lefts[] = {30, 132, 234, 336};
      TImage* steps[] = {imgVersion, imgFileChack, imgDown, imgComplete};
      for (int i = 0; i < 4; ++i) steps[i]->SetBounds(lefts[i], 94, steps[i]->Width(), steps[i]->Height());
      lblFileName->SetTop(221);
      lblFileName->SetLeft(76);
      prbFileTotal->SetTop(262);
      fileTop = 310;
    }
    prbFileDown->SetTop(fileTop);

    palUpdateType->Hide();
    palUpdateType->SetBounds(ClientConfig->GetUpdateTypeLeft(), ClientConfig->GetUpdateTypeTop(),
                             palUpdateType->Width(), palUpdateType->Height());
    btnConfirm->Hide();
    prbFileTotal->SetBounds(53, prbFileTotal->Top(), 340, 20);
    prbFileDown->SetBounds(53, prbFileDown->Top(), 340, 20);
    prbFileTotal->SetBarColor(ClientConfig->GetTotalProgressBarBarColor());
    prbFileTotal->SetBorderColor(ClientConfig->GetTotalProgressBarBorderColor());
    prbFileDown->SetBarColor(ClientConfig->GetDiscreteProgressBarBarColor());
    prbFileDown->SetBorderColor(ClientConfig->GetDiscreteProgressBarBorderColor());
    const struct {
      TRzProgressBar* bar;
      TLabel* name;
      TLabel* size;
    } rows[] = {{prbFileTotal, lblTotalProgress, lblFileTotalSize}, {prbFileDown, lblFileDownName, lblFileDownSize}};
    for (const auto& row : rows) {
      const int top = row.bar->Top() - 15;
      row.name->SetLeft(row.bar->Left());
      row.name->SetTop(top);
      row.size->SetBounds(row.bar->Left() + row.bar->Width() - row.size->Width(), top, row.size->Width(),
                          row.size->Height());
    }

    if (UpperCase(Trim(ClientConfig->GetWindowBorderStyle())) == "TRUE") {
      SetBorderStyle(bsNone);
      SetBorderIcons(TBorderIcons{biSystemMenu});
    }
    return true;
  } catch (const std::exception& e) {
    WriteLog(std::string(e.what()) + ":Initialize");
    return false;
  }
}

void TfrmMainFrame::WMStartUpdate(TMessage&) {
  // The list and the updater's own files come through the program and temporary folders.
  const std::string list = ExtractFilePath(ClientConfig->ExeName) + ClientConfig->UpdateListName;
  RemoveScratch(ExtractFileDir(list), {UpperCase(ExtractFileName(list))});
  RemoveScratch(ClientConfig->TempDir, {});
  int counter = 0;
  bool declined = false;
  for (;;) {
    const bool ok = UpdaterInit();
    if (!ok && localFailure_) {
      // The list cannot be written here: no retry can help, and the run failed.
      UpdateState = usFailed;
      CanCloseSilently = true;
      Application->Terminate();
      return;
    }
    if (!ok) {
      ++counter;
      if (Language == "ENG")
        SetCaption(Format("Connecting to the server. Please wait. (retry:%d)", counter));
      else
        SetCaption(Format("서버에 접속중입니다. 잠시만 기다려주십시요.(재실행:%d)", counter));
      WaitWithMessages(DWORD(RetryWaitMs));
      if (counter == ClientConfig->GetRestartCount()) {
        const Integer code = Downloader->GetStatusCode();
        // Declining is the default answer, so that a run nobody watches comes to an end.
        bool retry;
        if (Language == "ENG") {
          TDialogRequest r;
          r.Text = Format("ErrCode: W%d\r\r\n%s\rThis problem could be temporary and may be resolved after a couple "
                          "of retries.\r\r\nAre you sure you want to retry?",
                          code, InitErrorText);
          r.Caption = "Confirm";
          r.Type = mtConfirmation;
          r.Buttons = {mrYes, mrCancel};
          r.Default = mrCancel;
          r.Cancel = mrCancel;
          retry = DialogService().MessageDialog(r) == mrYes;
        } else {
          retry = Application->MessageBox(Format("오류코드: W%d\r\r\n%s\r일시적인 문제일 수 있으므로 1, 2회 재실행하면 "
                                                 "해결될 수 있습니다.\r\r\n재실행하시겠습니까?",
                                                 code, InitErrorText),
                                          Application->Title(), MB_YESNO | MB_DEFBUTTON2) == IDYES;
        }
        if (!retry) {
          declined = true;
          break;
        }
        counter = 0;
      }
    }
    if (ok || UpdateState == usNothingToDo) break;
  }
  if (declined) {
    CloseProcess();
    PostMessage(Handle(), WM_CLOSE_UPDATER, 0, 0);
    return;
  }
  if (UpdateState == usNothingToDo) {
    PostMessage(Handle(), WM_CLOSE_UPDATER, 0, 0);
    return;
  }

  const std::string& cur = ClientConfig->CurVersion;
  const std::string d = ClientConfig->LastUpdateDate;
  const auto part = [&](int From, int Count) { return Copy(d, From, Count); };
  const std::string lastTwo = part(int(d.size()) - 1, 2);
  if (cur.empty())
    SetCaption(Caption() + Text("[최초 설치입니다.]", "[This is the first-time installation.]"));
  else if (Language == "ENG")
    SetCaption(Caption() + Format(" [Date last modified: %s-%s-%s]", part(1, 4), part(5, 2), lastTwo));
  else if (d.size() == 14)
    SetCaption(Caption() + Format(" [최종변경일: %s-%s-%s %s:%s:%s]", part(1, 4), part(5, 2), part(7, 2), part(9, 2),
                                  part(11, 2), part(13, 2)));
  else
    SetCaption(Caption() + Format(" [최종변경일: %s-%s-%s]", part(1, 4), part(5, 2), lastTwo));

  if (AwaitingUpdateTypeChoice) return;  // the run goes on from the confirm button

  if (!ClientBusy()) {
    RunUpdateAndTerminate();
  } else {
    WriteLog("업데이트 할 프로그램이 이미 실행중입니다.");
    CanCloseSilently = true;
    Application->Terminate();
  }
}

void TfrmMainFrame::WMCloseUpdater(TMessage&) {
  CanCloseSilently = true;
  Close();
}

void TfrmMainFrame::WMUnattendedTurn(TMessage&) {
  if (!AwaitingUpdateTypeChoice) return;
  switch (UnattendedTurn()) {
    case TUnattended::ScriptActed:
      PostMessage(Handle(), WM_UNATTENDED_TURN, 0, 0);
      break;
    case TUnattended::Nobody:
      WriteLog(std::string("Nobody answers the choice of the update type: the ") +
               (rbFastUpdate->GetChecked() ? "fast" : "safe") + " update shown is taken");
      btnConfirmClick(this);
      break;
    case TUnattended::Person:
      break;
  }
}

bool TfrmMainFrame::ClientBusy() const {
  if (ClientConfig->SMMode) return false;
  return IsFileLocked(ClientConfig->GetRunExeName()) || IsFileLocked(ClientConfig->IsRunCheckFile);
}

void TfrmMainFrame::RunUpdateAndTerminate() {
  Screen->SetCursor(crHourGlass);
  try {
    DoUpdate();
  } catch (...) {
    Screen->SetCursor(crDefault);
    CanCloseSilently = true;
    Application->Terminate();
    throw;
  }
  CanCloseSilently = true;
  Application->Terminate();
  Screen->SetCursor(crDefault);
}

bool TfrmMainFrame::UpdaterInit() {
  TClientConfiguration& c = *ClientConfig;
  const std::string url = c.GetServerURL() + c.UpdateListName;
  const std::string local = ExtractFilePath(c.ExeName) + c.UpdateListName;
  InitErrorText.clear();
  WriteLogFmt(false, "Server URL: %s", url);

  bool ok = false;
  std::unique_ptr<TServerConfiguration> list;
  if (!FileDownLoad(url, local, true, 0, 0)) {
    InitErrorText = localFailure_ ? localFailureText_
                                  : "인터넷에 연결되어 있지 않거나 방화벽에 의해 서버에 접속할 수 없습니다.";
    WriteLogFmt(false, "업데이트 목록을 다운로드 받지 못하였습니다.: URL[%s]", url);
  } else if (!FileExists(local)) {
    InitErrorText = "서버에 연결할 수 없습니다.";
    WriteLog(InitErrorText);
  } else if (!IsValidDownloadFile(local)) {
    InitErrorText = "서버의 파일 목록이 잘못되었습니다.";
    WriteLog("서버의 파일목록이 잘못되었습니다.: 문서의 시작이 <!");
  } else if (list = std::make_unique<TServerConfiguration>(local); !list->HasFileSection()) {
    // An error page of another shape, random bytes, another encoding: no list at all.
    InitErrorText = "서버의 파일 목록이 잘못되었습니다.";
    WriteLog("서버의 파일목록이 잘못되었습니다.: no [FILES] section");
  } else {
    DownloadList.clear();
    ServerConfig = std::move(list);
    ServerConfigLoaded = true;
    if (!c.RegistryError.empty()) WriteLog("The installed version cannot be read: " + c.RegistryError);
    try {
      c.RunExeName = ServerConfig->GetLaunchBin();
      if (!ServerConfig->GetVersionInfo().empty()) {
        DecideUpdate();
      } else if (GetFileMD5(local) == GetFileMD5(ChangeFileExt(local, ".OLD"))) {
        // The same unversioned list as last time: nothing to do, and the client
        // starts as after any run without an update.
        ServerConfigLoaded = false;
        UpdateState = usNothingToDo;
        RunActionsOnClose = true;
      }
      if (!c.SMMode && ServerConfigLoaded) {
        ForceDirectoriesSafe(c.RootDir);
        c.BizParams += " " + ServerConfig->GetLaunchParam();
        prbFileDown->SetPercent(0);
        ForceDirectoriesSafe(c.TempDir);
      }
      ok = true;
    } catch (const std::exception& e) {
      const auto* ex = dynamic_cast<const Exception*>(&e);
      WriteLog("Except: function UpdaterInit: Boolean;[" + (ex ? ex->ClassName() : std::string("Exception")) + "][" +
               e.what() + "]");
      if (Language == "ENG")
        ShowMessage("An error occurred at UpdateInit. Update will be terminated.");
      else
        Application->MessageBox("UpdateInit에서 오류가 발생하였습니다. 업데이트를 중지합니다.", Caption(),
                                MB_OK | MB_ICONERROR);
    }
  }
  if (!ok) WriteLog("업데이터 초기화에 실패하였습니다.\r" + InitErrorText);
  return ok;
}

void TfrmMainFrame::DecideForcedSafe() {
  ClientConfig->UpdateType = 1;
  CanCloseSilently = false;
  ForcedSafe = true;
}

void TfrmMainFrame::DecideNoUpdate() {
  if (ClientConfig->FUMode) return;  // the update runs all the same, with the stored type
  ServerConfigLoaded = false;
  UpdateState = usNothingToDo;
}

void TfrmMainFrame::DecideUpdate() {
  TClientConfiguration& c = *ClientConfig;
  if (ClientBusy()) {
    WriteLog("업데이트 후 실행해야 할 어플리케이션이 이미 실행중.", true);
    DecideNoUpdate();
    return;
  }
  if (c.CurVersion.empty() || c.LastUpdateDate.empty() || c.UpdateType == 2) {
    DecideForcedSafe();
    return;
  }
  const std::string server = ServerConfig->GetVersionInfo();
  const bool sameVersion = CompareVersion(c.CurVersion, server) == 0;
  if (IsDateExpired(c.LastUpdateDate, ServerConfig->GetLimitedDay()) || ServerConfig->GetForceSafetyUpdate()) {
    if (ServerConfig->GetEnableVersionCheck() && sameVersion) {
      RunActionsOnClose = true;
      DecideNoUpdate();
    } else {
      DecideForcedSafe();
      WriteLog("강제 안전 업데이트 진행", true);
    }
    return;
  }
  if (sameVersion || c.FUMode) {
    RunActionsOnClose = true;
    DecideNoUpdate();
    return;
  }

  if (!CompactLayout) SetUpdateStep(1);
  palUpdateType->Show();
  if (c.UpdateType == 0) rbFastUpdate->SetChecked(true);
  if (c.UpdateType == 1) rbSafeUpdate->SetChecked(true);
  UpdateTypeChanged(this);
  if (Language == "ENG")
    lblVersion->SetCaption(Format("Now Ver %s -> Modified Ver %s", c.CurVersion, server));
  else
    lblVersion->SetCaption(Format("현재 Ver %s -> 변경 Ver %s", c.CurVersion, server));
  AwaitingUpdateTypeChoice = true;
  if (AnswerUnattended) PostMessage(Handle(), WM_UNATTENDED_TURN, 0, 0);
}

void TfrmMainFrame::UpdateTypeChanged(TObject*) {
  lblInformation->SetCaption(rbFastUpdate->GetChecked() ? ClientConfig->GetFastUpdateQuestion()
                                                        : ClientConfig->GetSafetyUpdateQuestion());
}

void TfrmMainFrame::btnConfirmClick(TObject*) {
  // One run per choice: a second click while the update runs does nothing.
  if (!AwaitingUpdateTypeChoice) return;
  AwaitingUpdateTypeChoice = false;
  palUpdateType->Hide();
  ClientConfig->UpdateType = rbFastUpdate->GetChecked() ? 0 : 1;
  if (!ClientConfig->WriteUpdateType(ServerConfig->GetVersionRegistry()))
    WriteLog("The update type cannot be recorded: " + ClientConfig->RegistryError);
  if (ClientBusy()) {
    WriteLog("업데이트 할 프로그램이 이미 실행중입니다.");
    CanCloseSilently = true;
    Application->Terminate();
    return;
  }
  RunUpdateAndTerminate();
}

void TfrmMainFrame::btnDetailViewClick(TObject*) {
  TRegistry reg;
  reg.SetRootKey(HKEY_LOCAL_MACHINE);
  if (!reg.OpenKeyReadOnly("Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\IEXPLORE.EXE")) return;
  const std::string browser = reg.ReadString("");
  const std::string address = ServerConfig ? ServerConfig->GetWebViewURL() : std::string();
  if (!HeadlessSkipsOpening(browser, address)) ExecuteAndWait(browser, " " + address, SW_SHOWNORMAL, false);
}

void TfrmMainFrame::SetUpdateStep(int Step) {
  static const char* const kKorean[] = {"Version_A", "FileChack_A", "Down_A", "Complet_A"};
  static const char* const kEnglish[] = {"EngVersion_A", "EngFileChack_A", "EngDown_A", "EngComplet_A"};
  TImage* steps[] = {imgVersion, imgFileChack, imgDown, imgComplete};
  const char* const* names = Language == "ENG" ? kEnglish : kKorean;
  for (int i = 0; i < 4; ++i) LoadPngResource(HInstance(), names[i], steps[i]->Picture());
  LoadPngResource(HInstance(), ClientConfig->GetProductRES() + (Step == 1 ? "BackVerCheckres" : "Backgroundres"),
                  imgBackgroundres->Picture());
  if (Step == 1)
    btnConfirm->Show();
  else if (Step >= 2)
    btnConfirm->Hide();
  const int shown = Step <= 1 ? 0 : std::min(Step, 4) - 1;
  for (int i = 0; i < 4; ++i) steps[i]->SetVisible(i == shown);
}

bool TfrmMainFrame::LoadPngResource(HINSTANCE Instance, const std::string& Name, TPicture* Picture) {
  return LoadPngResourceTo(Instance, Name, Picture);
}

void TfrmMainFrame::ShowProgress(bool Visible) {
  for (TControl* c : std::initializer_list<TControl*>{lblTotalProgress, lblFileTotalSize, prbFileTotal,
                                                      lblFileDownName, lblFileDownSize, prbFileDown})
    c->SetVisible(Visible);
  ProgressShown = Visible;
}

void TfrmMainFrame::WaitWithMessages(DWORD Milliseconds) {
  HANDLE timer = CreateWaitableTimer(nullptr, TRUE, "WaitableTimer");
  if (!timer) return;
  LARGE_INTEGER due;
  due.QuadPart = -int64_t(Milliseconds) * 10000;
  SetWaitableTimer(timer, &due, 0, nullptr, nullptr, FALSE);
  DWORD r;
  do {
    r = MsgWaitForMultipleObjects(1, &timer, FALSE, INFINITE, QS_ALLINPUT);
    try {
      Application->ProcessMessages();
    } catch (...) {
      Application->HandleException(this);
    }
  } while (r != WAIT_OBJECT_0 && r != WAIT_FAILED);
  CloseHandle(timer);
}

void TfrmMainFrame::FormCloseQuery(TObject*, bool& CanClose) {
  if (CanCloseSilently ||
      MessageDlg(Text("업데이터를 종료하시겠습니까?", "Exit Application?"), mtConfirmation,
                 TMsgDlgButtons{mbYes, mbCancel}, 0) == mrYes) {
    UpdateState = usNothingToDo;
    CancelRequested = true;
    CanCloseSilently = true;
  } else {
    CancelRequested = false;
  }
  CanClose = CanCloseSilently;
}
