// The end of a run: scripted actions, the client start, exit codes, the process runner,
// the failure dialog and the splash.
#include "codecs/gif/GifImage.h"
#include "platform/vcl/extctrls.h"
#include "tests/updater/main_form_fixture.h"
#include "updater/FormSplash.h"
#include "updater/uFailedType.h"

namespace mainform {
namespace {

class Closing : public MainFormTest {
 protected:
  // The form with a loaded list and its start message taken away.
  TfrmMainFrame* CreateWithList(const std::string& More) {
    WriteConfig();
    WriteFileBytes(app_ + "/list.ini", "[INSTALL]\r\nVersionInfo=1.0.0\r\n" + More);
    TfrmMainFrame* f = Create();
    MSG m;
    while (PeekMessage(&m, f->Handle(), WM_START_UPDATE, WM_START_UPDATE, PM_REMOVE)) {
    }
    f->ServerConfig = std::make_unique<TServerConfiguration>(app_ + "/list.ini");
    return f;
  }
};

TEST_F(Closing, ScriptedActionsRunOnlyWhenEnabledAndWithEnoughArguments) {
  WriteFileBytes(app_ + "/settings.txt", "Mode=old\r\nUser=x\r\n");
  WriteScript(app_ + "/count.exe", "echo \"$*\" >> \"" + root_ / "count.txt" + "\"\nexit 3\n");
  TfrmMainFrame* f = CreateWithList(
      "[SCRCONDITIONALDEFINES]\r\n1=ALWAYS:WRITEKEYVALUEFILE\r\n2=UPDATESUCCESS:RUNTO\r\n"
      "[SCRACTION]\r\n1=WRITEKEYVALUEFILE:settings.txt,Mode,NULL\r\n2=RUNTO:%ROOT%\\count.exe,/q,true\r\n");
  f->UpdateState = usFailed;
  f->RunActionsOnClose = true;
  f->CloseProcess();
  EXPECT_EQ(ReadFileBytes(app_ + "/settings.txt"), "User=x\r\n") << "NULL removes the line";
  EXPECT_FALSE(fs::exists(root_ / "count.txt")) << "UPDATESUCCESS needs a successful run";

  // A key the file does not hold leaves it unchanged; a failing program is tried three times.
  EXPECT_FALSE(f->ActWriteKeyValueFile("settings.txt", "Missing", "1"));
  EXPECT_EQ(ReadFileBytes(app_ + "/settings.txt"), "User=x\r\n");
  EXPECT_FALSE(f->ActRunTo("%ROOT%/count.exe", "/a b", true));
  EXPECT_EQ(ReadFileBytes(root_ / "count.txt"), "/a b\n/a b\n/a b\n");
  EXPECT_NE(Log().find("[Code " + app_ + "/count.exe \"" + app_ + "/count.exe\" /a b 3 "), std::string::npos);
}

TEST_F(Closing, ClientStartsWithLowerCaseParametersAndTheTokenForItsFirstProgram) {
  TfrmMainFrame* f = CreateWithList("");
  fs::create_directories(app_ + "/client");
  WriteScript(app_ + "/client/VORANT.EXE", "echo \"vorant|$PWD|$*\" >> \"" + root_ / "launched.txt" + "\"\n");
  WriteScript(app_ + "/client/kassel.exe", "echo \"kassel|$*\" >> \"" + root_ / "launched.txt" + "\"\n");
  EXPECT_TRUE(f->ExecOtherProgram(app_ + "/client/vorant.exe", "/U:\"KIM\" -Mode:Run"));
  EXPECT_TRUE(f->ExecOtherProgram(app_ + "/client/kassel.exe", "/X"));
  EXPECT_FALSE(f->ExecOtherProgram(app_ + "/client/none.exe", ""));
  EXPECT_FALSE(f->ExecOtherProgram("", ""));
  const std::string launched = Launched(2);
  EXPECT_NE(launched.find("vorant|" + app_ + "/client|Qm4TzLw8RkPa2VfYx9HcNe== /u:kim -mode:run\n"), std::string::npos)
      << launched;
  EXPECT_NE(launched.find("kassel|/x\n"), std::string::npos) << launched;
  EXPECT_TRUE(Logged("Succeeded execute last application \"\"" + app_ + "/client/kassel.exe\" /x\""));
}

TEST_F(Closing, ExitCodesFollowTheState) {
  const struct {
    uint8_t state;
    int code;
    const char* line;
  } cases[] = {{usSuccess, 0, "정상 종료"},
               {usFailed, 1, "업데이트 실패에 의한 종료"},
               {usUpdaterChanged, 2, "로더 업데이트에 의한 종료"},
               {usNothingToDo, 0, nullptr},
               {usSafeRerun, 3, "업데이트 재실행에 의한 종료"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(int(c.state));
    fs::remove(app_ + "/LoaderLog.log");
    ExitCode = 7;
    CreateWithList("")->UpdateState = c.state;
    EXPECT_EQ(Finish(), c.state == usNothingToDo ? 7 : c.code);
    if (c.line) {
      EXPECT_TRUE(Logged(c.line));
    }
    NewRun();
  }
  EXPECT_EQ(Launched(), app_ + "|/fail\n") << "only a failed run starts the client when it ends";
}

TEST_F(Closing, SafeRerunAfterAFailedUpdateWithAnEditionCode) {
  WriteConfig("ProductRES=TAVO\r\n");
  WriteList("1.0.0", FilesLine("bin/gone.dll", std::string(32, 'a'), 1, 1), "", "ServiceTellNo=02-123-4567\r\n");
  // The dialog is answered while it is shown.
  vxtest::ScopedEnv script("VX_HEADLESS_SCRIPT", "/dev/null");
  TTimer answer(nullptr);
  answer.SetInterval(10);
  std::string shownText;
  answer.SetOnTimer(TNotifyEvent::FromFunction([&](TObject*) {
    if (auto* d = dynamic_cast<TfFailedMain*>(Screen->ModalForm())) {
      shownText = d->lblDeposit3->Visible() ? d->lblDeposit3->Caption() : "hidden";
      d->btnYes->Click();
    }
  }));
  EXPECT_EQ(RunLoader(), 3);
  EXPECT_EQ(shownText, "고객지원센터(☎02-123-4567)로 연락 주시길 바랍니다.") << "a failed safe update";
  EXPECT_EQ(InstalledType(), 1);
  EXPECT_TRUE(Logged("업데이트 재실행에 의한 종료"));
}

TEST_F(Closing, FailureDialogLayouts) {
  WriteConfig();
  ClientConfig = std::make_unique<TClientConfiguration>(app_ + "/loader");
  TfFailedMain fast(nullptr);
  ClientConfig->UpdateType = 0;
  fast.FormShow(&fast);
  EXPECT_FALSE(fast.lblDeposit3->Visible());
  EXPECT_TRUE(fast.lblDeposit4->Visible());
  EXPECT_EQ(fast.btnYes->Caption(), "예 ");
  EXPECT_EQ(fast.lblDeposit1->Caption(), "예기치 못한 오류로 빠른업데이트가 실패하였습니다.");

  TfFailedMain safe(nullptr);
  safe.SupportTelNo = "1588";
  ClientConfig->UpdateType = 1;
  safe.FormShow(&safe);
  EXPECT_EQ(safe.btnYes->Caption(), "업데이트 재실행");
  EXPECT_EQ(safe.btnYes->Left(), 200);
  EXPECT_EQ(safe.btnYes->Width(), 137);
  EXPECT_EQ(safe.btnNo->Caption(), "나가기");
  EXPECT_FALSE(safe.lblDeposit4->Visible());
  EXPECT_EQ(safe.lblDeposit3->Caption(), "고객지원센터(☎1588)로 연락 주시길 바랍니다.");
  safe.btnNo->Click();
  EXPECT_EQ(safe.ModalResult(), 2);
}

TEST_F(Closing, SplashShowsAGoodPictureAtItsSizeAndNothingOtherwise) {
  TBitmap frame;
  frame.SetPixelFormat(pf24bit);
  frame.SetSize(30, 20);
  frame.Canvas()->Brush()->SetColor(clRed);
  frame.Canvas()->FillRect(Rect(0, 0, 30, 20));
  TGIFImage gif;
  gif.Add(&frame);
  TMemoryStream good;
  gif.SaveToStream(&good);
  const std::string goodBytes(static_cast<const char*>(good.Memory()), size_t(good.Size()));
  const struct {
    const char* name;
    std::string bytes;  // none: no file
    int width, height;
  } cases[] = {{"missing", "", 0, 0}, {"not a GIF", "PNG or anything but a GIF", 0, 0}, {"good", goodBytes, 30, 20}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove(app_ + "/splash.gif");
    if (!c.bytes.empty()) WriteFileBytes(app_ + "/splash.gif", c.bytes);
    TSplash splash(nullptr);
    splash.ImageFolder = app_;
    splash.Show();
    EXPECT_EQ(splash.ClientWidth(), c.width);
    EXPECT_EQ(splash.ClientHeight(), c.height);
    if (c.width > 0) {
      EXPECT_TRUE(As<TGIFImage>(splash.imgSplash->Picture()->Graphic()));
      splash.PaintNow();
      EXPECT_EQ(splash.Canvas()->Pixels(15, 10), clRed);
    }
    splash.Hide();
  }
}

TEST(ExecuteAndWait, ExitCodeWorkingFolderAndMissingPrograms) {
  TempFolder dir;
  fs::create_directories(dir / "sub");
  WriteScript(dir / "sub/prog", "pwd > \"" + dir / "pwd.txt" + "\"\necho \"$*\" > \"" + dir / "args.txt" +
                                    "\"\nexit 42\n");
  EXPECT_EQ(ExecuteAndWait(dir / "sub/prog", "\"" + dir / "sub/prog" + "\" a \"b c\"", SW_SHOWNORMAL, true), 42);
  EXPECT_EQ(ReadFileBytes(dir / "pwd.txt"), dir / "sub\n");
  EXPECT_EQ(ReadFileBytes(dir / "args.txt"), "a b c\n");
  EXPECT_EQ(ExecuteAndWait("/bin/true", "", SW_HIDE, false), 0);
  EXPECT_EQ(ExecuteAndWait(dir / "missing", "", SW_HIDE, true), -1);
  EXPECT_EQ(ExecuteAndWait("", "", SW_HIDE, true), -1);
}

}  // namespace
}  // namespace mainform
