// The main form's road: the connection loop, the update decision, the choice panel,
// and whole runs against a loopback server.
#include "tests/updater/main_form_fixture.h"

#include "platform/vcl/dialogs.h"
#include "platform/win/resources.h"

namespace mainform {
namespace {

const std::string kActions =
    "[SELFREG]\r\n1=%ROOT%\\bin\\app.dll\r\n"
    "[SCREXTNAME]\r\n1=xml:WRITEKEYVALUEFILE\r\n"
    "[SCRCONDITIONALDEFINES]\r\n1=UPDATESUCCESS:RUNTO\r\n"
    "[SCRACTION]\r\n1=WRITEKEYVALUEFILE:settings.txt,Mode,new\r\n2=RUNTO:%ROOT%\\hook.exe,/q,true\r\n";

class Decision : public MainFormTest {
 protected:
  void SetUp() override {
    MainFormTest::SetUp();
    WriteScript(app_ + "/hook.exe", "echo \"$*\" >> \"" + root_ / "hook.txt" + "\"\n");
    WriteFileBytes(app_ + "/settings.txt", "Mode=old\r\nUser=x\r\n");
    files_ = Serve("bin/app.dll", RandomBytes(120000, 1)) + Serve("Data/a b.xml", "<a/>") +
             Serve("Data/plain.dat", RandomBytes(5000, 2));
  }
  std::string files_;
};

TEST_F(Decision, FirstInstallationRunsASafeUpdateAndRecordsTheFastTypeForNextTime) {
  WriteConfig();
  WriteList("1.2.0", files_, kActions);
  EXPECT_EQ(RunLoader({"-B:/u:kim"}), 0);

  // The list, then the selected files from the last record to the first.
  EXPECT_EQ(Requests(4), (std::vector<std::string>{"/update.ini", "/Data/plain.dat", "/Data/a%20b.xml", "/bin/app.dll"}));
  EXPECT_EQ(ReadFileBytes(app_ + "/bin/app.dll"), ReadFileBytes(srv_ + "/bin/app.dll"));
  EXPECT_EQ(ReadFileBytes(app_ + "/Data/a b.xml"), "<a/>");
  EXPECT_EQ(Installed("CurVersion"), "1.2.0");
  EXPECT_EQ(Installed("CurDBVersion"), "7");
  EXPECT_EQ(Installed("LastUpdateDate"), Today());
  EXPECT_EQ(InstalledType(), 0) << "a forced safe update leaves the fast type for the next run";

  EXPECT_EQ(ReadFileBytes(app_ + "/settings.txt"), "Mode=new\r\nUser=x\r\n") << "triggered by the .xml download";
  EXPECT_EQ(ReadFileBytes(root_ / "hook.txt"), "/q\n") << "UPDATESUCCESS runs once";
  EXPECT_EQ(Launched(), app_ + "|/u:kim -mode:run\n");
  EXPECT_FALSE(fs::exists(app_ + "/update.ini")) << "a versioned list is not kept";
  for (const char* line : {"정상 종료", "ExecOtherProgram FErrorStat 정상실행", "사용자 레지스트리에 버전 정보 등록 완료",
                           "전체 다운로드 파일 개수 : 3"})
    EXPECT_TRUE(Logged(line)) << line;
  EXPECT_EQ(AwaitRecord(root_ / "regsvr.txt"), "/s " + app_ + "/bin/app.dll\n") << "regsvr32 is not waited for";
}

TEST_F(Decision, SameVersionDownloadsNothingAndStartsTheClientWhenClosing) {
  WriteConfig();
  WriteList("1.2.0", files_,
            "[SCRCONDITIONALDEFINES]\r\n1=ALWAYS:WRITEKEYVALUEFILE\r\n"
            "[SCRACTION]\r\n1=WRITEKEYVALUEFILE:settings.txt,Mode,closing\r\n");
  SetInstalled("1.2.0", Today(), 0);
  EXPECT_EQ(RunLoader({"-B:/u:kim"}), 0);
  EXPECT_EQ(Requests(1), std::vector<std::string>{"/update.ini"});
  EXPECT_EQ(Launched(), app_ + "|/u:kim\n") << "without LAUNCH/Param: no update was prepared";
  EXPECT_EQ(ReadFileBytes(app_ + "/settings.txt"), "Mode=closing\r\nUser=x\r\n");
  EXPECT_FALSE(Logged("정상 종료"));
  EXPECT_EQ(Installed("CurDBVersion"), "6");
}

TEST_F(Decision, NewVersionShowsTheChoiceAndTheConfirmButtonRunsTheChosenType) {
  WriteConfig("FastUpdateQuestion=fast\\nplease\r\nSafetyUpdateQuestion=safe\r\n");
  WriteList("1.3.0", files_);
  SetInstalled("1.2.0", Today(), 0);
  TfrmMainFrame* f = Create();
  ASSERT_TRUE(RunUntil([&] { return f->AwaitingUpdateTypeChoice; }));
  EXPECT_TRUE(f->palUpdateType->Visible());
  EXPECT_TRUE(f->btnConfirm->Visible());
  EXPECT_TRUE(f->rbFastUpdate->GetChecked());
  EXPECT_EQ(f->lblInformation->Caption(), "fast\rplease");
  EXPECT_EQ(f->lblVersion->Caption(), "현재 Ver 1.2.0 -> 변경 Ver 1.3.0");
  EXPECT_EQ(Requests(1).size(), 1u) << "nothing is fetched before the choice";

  f->rbSafeUpdate->SetChecked(true);
  EXPECT_FALSE(f->rbFastUpdate->GetChecked());
  EXPECT_EQ(f->lblInformation->Caption(), "safe");
  f->btnConfirm->Click();
  f->btnConfirm->Click();  // a second click while the run goes on does nothing
  EXPECT_TRUE(RunToEnd());
  EXPECT_EQ(Finish(), 0);
  EXPECT_EQ(InstalledType(), 1) << "the chosen type is stored";
  EXPECT_EQ(Installed("CurVersion"), "1.3.0");
  EXPECT_EQ(Requests(4).size(), 4u);
}

TEST_F(Decision, DetailButtonOpensTheListsPageWithTheRegisteredBrowserOnAScreen) {
  WriteScript(bin_ + "/browser", "echo \"$*\" >> \"" + root_ / "browser.txt" + "\"\n");
  {
    TRegistry reg;
    reg.SetRootKey(HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(reg.OpenKey("Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\IEXPLORE.EXE", true));
    reg.WriteString("", bin_ + "/browser");
  }
  WriteConfig();
  const std::string kPage = "http://127.0.0.1/notes?v=1.3.0";
  WriteList("1.3.0", files_, "", "WebViewURL=" + kPage + "\r\n");
  SetInstalled("1.2.0", Today(), 0);
  TfrmMainFrame* f = Create();
  ASSERT_TRUE(RunUntil([&] { return f->AwaitingUpdateTypeChoice; }));
  testing::internal::CaptureStderr();
  f->btnDetailView->Click();  // headless, the page is not opened
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "headless run: " + bin_ + "/browser " + kPage + " not started\n");
  Application->SetPresenter(std::make_unique<TPretendDisplay>());
  f->btnDetailView->Click();
  EXPECT_EQ(AwaitRecord(root_ / "browser.txt"), kPage + "\n");
  EXPECT_TRUE(f->AwaitingUpdateTypeChoice) << "the page does not answer the choice";
  EXPECT_EQ(Requests(1).size(), 1u);
}

TEST_F(Decision, ExpiredDateOrForcedSafetyUpdate) {
  // Expired, but the version is the same and checked: nothing to do.
  WriteConfig();
  WriteList("1.2.0", files_, "", "LimitedDay=90\r\nEnableVersionCheck=1\r\n");
  SetInstalled("1.2.0", "20000101", 0);
  EXPECT_EQ(RunLoader(), 0);
  EXPECT_EQ(Requests(1).size(), 1u);
  EXPECT_EQ(Launched(), app_ + "|\n");

  // Forced by the list on a newer version: a safe update without asking.
  WriteList("1.3.0", files_, "", "ForceSafetyUpdate=1\r\n");
  SetInstalled("1.2.0", Today(), 0);
  NewRun();
  EXPECT_EQ(RunLoader(), 0);
  EXPECT_TRUE(Logged("강제 안전 업데이트 진행"));
  EXPECT_EQ(Installed("CurVersion"), "1.3.0");
  EXPECT_EQ(InstalledType(), 0);
}

TEST_F(Decision, FuSwitchUpdatesAnEqualVersionAndRunsTheActionsOnce) {
  WriteConfig();
  WriteList("1.2.0", files_, kActions);
  SetInstalled("1.2.0", Today(), 1);
  EXPECT_EQ(RunLoader({"-FU"}), 0);
  EXPECT_EQ(Requests(4).size(), 4u) << "the stored safe type checks every file";
  EXPECT_EQ(ReadFileBytes(root_ / "hook.txt"), "/q\n") << "not again when the updater closes";
  EXPECT_EQ(Launched(), app_ + "|-mode:run\n");
}

TEST_F(Decision, RetryQuestionComesAfterRestartCountFailuresAndDecliningStartsTheFallbackClient) {
  WriteConfig("ServerURL=http://127.0.0.1:" + std::to_string(vxtest::FreePort()) + "\r\nRestartCount=3\r\n");
  gui_->QueueAnswers({mrYes, mrNo});
  EXPECT_EQ(RunLoader(), 0);
  ASSERT_EQ(gui_->Boxes().size(), 2u);
  EXPECT_NE(gui_->Boxes()[0].Text.find("인터넷에 연결되어 있지 않거나 방화벽에 의해 서버에 접속할 수 없습니다."),
            std::string::npos);
  EXPECT_EQ(gui_->Boxes()[0].Default, mrNo) << "a run nobody watches ends";
  size_t attempts = 0;
  for (size_t p = Log().find("Server URL: "); p != std::string::npos; p = Log().find("Server URL: ", p + 1)) ++attempts;
  EXPECT_EQ(attempts, 6u);
  EXPECT_EQ(Launched(), app_ + "|/fail\n") << "LAUNCH/Bin was never read: the default program";
}

TEST_F(Decision, RestartCountsThatWouldNeverAskAreBounded) {
  const std::string dead = "ServerURL=http://127.0.0.1:" + std::to_string(vxtest::FreePort()) + "\r\n";
  const struct {
    const char* count;
    size_t attempts;
  } cases[] = {{"0", 10}, {"-5", 10}, {"2147483647", 100}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.count);
    NewRun();
    fs::remove(app_ + "/LoaderLog.log");
    WriteConfig(dead + "RestartCount=" + c.count + "\r\n");
    EXPECT_EQ(RunLoader(), 0);
    size_t attempts = 0;
    for (size_t p = Log().find("Server URL: "); p != std::string::npos; p = Log().find("Server URL: ", p + 1)) ++attempts;
    EXPECT_EQ(attempts, c.attempts);
  }
}

TEST_F(Decision, HtmlPageInPlaceOfTheListIsRetried) {
  WriteConfig("RestartCount=1\r\nProductLanguage= eng \r\n");
  WriteFileBytes(srv_ + "/update.ini", "<!DOCTYPE html><html>error</html>");
  EXPECT_EQ(RunLoader(), 0);
  ASSERT_EQ(gui_->Boxes().size(), 1u);
  EXPECT_NE(gui_->Boxes()[0].Text.find("ErrCode: W200\r\r\n서버의 파일 목록이 잘못되었습니다."), std::string::npos);
  EXPECT_TRUE(Logged("서버의 파일목록이 잘못되었습니다.: 문서의 시작이 <!"));
}

TEST_F(Decision, CaptionSuffixes) {
  WriteConfig();
  WriteList("1.3.0", files_);
  SetInstalled("1.2.0", "20241231235958", 0);
  TfrmMainFrame* f = Create();
  ASSERT_TRUE(RunToEnd());
  EXPECT_EQ(f->Caption(), " [최종변경일: 2024-12-31 23:59:58]");
  Finish();

  WriteConfig("ProductLanguage=ENG\r\n");
  SetInstalled("1.3.0", "20241231235958", 0);
  WriteList("1.4.0", files_);
  NewRun();
  f = Create();
  ASSERT_TRUE(RunToEnd());
  EXPECT_EQ(f->Caption(), " [Date last modified: 2024-12-58]") << "the day is taken from the last two characters";
}

TEST_F(Decision, NoServerUrlTellsTheUserAndEnds) {
  WriteFileBytes(app_ + "/loader.ini", "[INFO]\r\nTitle=x\r\n");
  EXPECT_EQ(RunLoader(), 0);
  ASSERT_EQ(gui_->Boxes().size(), 1u);
  EXPECT_EQ(gui_->Boxes()[0].Text, "업데이트 서버 정보를 얻어 오지 못하였습니다.");
  EXPECT_EQ(Launched(0), "");
}

TEST_F(Decision, ProxyPortThatIsNoNumberStillRuns) {
  WriteConfig();
  WriteList("1.2.0", files_);
  SetInstalled("1.2.0", Today(), 0);
  {
    TRegistry reg;
    reg.SetRootKey(HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(reg.OpenKey("\\SOFTWARE\\Pelmora\\Orvel", true));
    reg.WriteString("ProxyPort", "eighty");
  }
  EXPECT_EQ(RunLoader(), 0);
  EXPECT_EQ(Requests(1), std::vector<std::string>{"/update.ini"});
}

TEST_F(Decision, EveryRequestGoesThroughTheConfiguredProxy) {
  vxtest::LoopbackProxy proxy;
  WriteConfig();
  WriteList("1.2.0", files_);
  {
    TRegistry reg;
    reg.SetRootKey(HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(reg.OpenKey("\\SOFTWARE\\Pelmora\\Orvel", true));
    reg.WriteString("ProxyIP", " 127.0.0.1 ");
    reg.WriteString("ProxyPort", std::to_string(proxy.Port()));
  }
  EXPECT_EQ(RunLoader(), 0);
  const std::string log = proxy.Log();
  for (const char* path : {"/update.ini", "/bin/app.dll", "/Data/plain.dat"})
    EXPECT_NE(log.find(ServerUrl().substr(0, ServerUrl().size() - 1) + path), std::string::npos) << path << "\n" << log;
}

TEST_F(Decision, UnchangedUnversionedListIsNothingToDo) {
  WriteConfig();
  // No version: the list itself is compared with the one kept from the last run.
  WriteFileBytes(srv_ + "/update.ini",
                 "[INSTALL]\r\ninstallregistry=HKEY_LOCAL_MACHINE\\SOFTWARE\\Pelmora\\Test\\\r\n"
                 "VersionRegistry=Version\r\n[LAUNCH]\r\nBin=%ROOT%\\CLIENT.EXE\r\n[FILES]\r\n" +
                     files_);
  SetInstalled("1.0.0", Today(), 1);
  EXPECT_EQ(RunLoader(), 0);
  EXPECT_TRUE(fs::exists(app_ + "/update.OLD")) << "kept to compare with the next list";
  EXPECT_TRUE(fs::exists(app_ + "/bin/app.dll"));
  // The client is not waited for: its record is cleared once it is written.
  EXPECT_EQ(Launched(), app_ + "|\n");

  NewRun();
  fs::remove(root_ / "launched.txt");
  EXPECT_EQ(RunLoader(), 0) << "the same list again is no failure";
  EXPECT_EQ(Requests(5).size(), 5u) << "nothing more was fetched";
  EXPECT_EQ(Launched(), app_ + "|\n");
  EXPECT_FALSE(Logged("업데이트 실패에 의한 종료"));
}

TEST_F(Decision, ClosingAsksFirstAndCancelsTheRun) {
  WriteConfig();
  WriteList("1.3.0", files_);
  SetInstalled("1.2.0", Today(), 0);
  TfrmMainFrame* f = Create();
  ASSERT_TRUE(RunUntil([&] { return f->AwaitingUpdateTypeChoice; }));
  gui_->QueueAnswers({mrCancel, mrYes});
  f->Close();
  EXPECT_FALSE(f->CancelRequested);
  EXPECT_FALSE(Application->Terminated());
  f->Close();
  EXPECT_TRUE(f->CancelRequested);
  EXPECT_EQ(gui_->Boxes().back().Text, "업데이터를 종료하시겠습니까?");
  EXPECT_TRUE(RunToEnd());
  EXPECT_EQ(Finish(), 0);
  EXPECT_EQ(Installed("CurVersion"), "1.2.0");
}

}  // namespace
}  // namespace mainform

namespace mainform {
namespace {

TEST_F(Decision, StepPicturesAndButtonsComeFromTheProgramsPictures) {
  WriteConfig("ProductRES=tavo\r\n");
  TfrmMainFrame* f = Create();
  MSG m;
  while (PeekMessage(&m, f->Handle(), WM_START_UPDATE, WM_START_UPDATE, PM_REMOVE)) {
  }
  TPicture picture;
  EXPECT_TRUE(f->LoadPngResource(HInstance(), "version_a", &picture)) << "names ignore case";
  EXPECT_GT(picture.Width(), 0);
  EXPECT_FALSE(f->LoadPngResource(HInstance(), "NoSuchPicture", &picture));
  EXPECT_FALSE(f->LoadPngResource(HInstance(), "Version_A", nullptr));
  EXPECT_GT(f->btnConfirm->Bitmaps()->Up()->Width(), 0);

  f->SetUpdateStep(1);
  EXPECT_TRUE(f->btnConfirm->Visible());
  EXPECT_TRUE(f->imgVersion->Visible());
  EXPECT_GT(f->imgBackgroundres->Picture()->Width(), 0) << "TAVOBackVerCheckres";
  f->SetUpdateStep(3);
  EXPECT_FALSE(f->btnConfirm->Visible());
  EXPECT_FALSE(f->imgVersion->Visible());
  EXPECT_TRUE(f->imgDown->Visible());
  EXPECT_GT(f->imgDown->Picture()->Width(), 0);
}

}  // namespace
}  // namespace mainform
