// Whole update runs of the built loader against a loopback update server, headless,
// each in a fresh install folder with its own registry store; the choices a person
// makes in the windows come from the run's headless script.
#include <sys/stat.h>

#include <filesystem>

#include "platform/rtl/sysutils.h"
#include "tests/codecs/gif/GifReference.h"
#include "tests/e2e/update_fixture.h"
#include "tests/support/png_rows.h"
#include "tests/support/script_file.h"

namespace fs = std::filesystem;

namespace {

const char kNoUpdateFiles[] = "[NoUpdateFiles]\r\n1=Data/keep.cfg\r\n";

class UpdateRun : public UpdateRunBase {
 protected:
  void Ini(const std::map<std::string, std::string>& info) { inst.WriteIni(info, kNoUpdateFiles); }

  // Release 1.3.0 (or these files) offered as a forced safe update over an installed 1.2.0.
  void OfferForcedSafeUpdate(std::vector<std::string> files = {}, const std::string& install = "") {
    InstallRelease12();
    List l;
    l.version = "1.3.0";
    l.install = "ForceSafetyUpdate=1\r\n" + install;
    l.files = files.empty() ? Release13() : std::move(files);
    WriteList(l);
  }

  // The same with Faults for the server; the run must fail and keep what was installed.
  vxtest::RunResult FailingSafeUpdate(const std::string& Faults, std::vector<std::string> files = {}) {
    OfferForcedSafeUpdate(std::move(files));
    inst.Server().SetFaults(Faults);
    return inst.Run({"-B:/u:kim"});
  }

  // Release 1.2.0 with a client that the updater starts behind its splash. The client
  // outlives the run, without holding the test's output open, until the test's folder
  // is gone: an updater that waited for it would not end before its time-out.
  void OfferSplashClient() {
    WriteScript(inst.App("vorant.exe"), "exec </dev/null >/dev/null 2>&1\nprintf '%s\\n' \"$*\" >> '" +
                                            inst.Record("launched.txt") + "'\nwhile [ -d '" + inst.Record("") +
                                            "' ]; do sleep 0.2; done\n");
    List l;
    l.files = Release12();
    WriteList(l);
    const std::string list = ReadFileBytes(inst.Srv("update.ini"));
    inst.WriteList(std::string(list).replace(list.find("Bin=%ROOT%\\client.exe"), 22, "Bin=%ROOT%\\vorant.exe"));
  }

  // A self-updater left in _Temp by an earlier hand-over; it records its arguments,
  // one a line. Returns its bytes.
  std::string PlaceSelfUpdater() {
    fs::create_directories(inst.App("_Temp"));
    // The record appears whole: written beside, then renamed.
    WriteScript(inst.App("_Temp/qx.exe"), "printf '%s\\n' \"$@\" > '" + inst.Record("qx.tmp") + "' && mv '" +
                                              inst.Record("qx.tmp") + "' '" + inst.Record("qx.txt") + "'\n");
    return ReadFileBytes(inst.App("_Temp/qx.exe"));
  }
};

// ---------------------------------------------------------------- the main road

class FirstInstall : public UpdateRun, public ::testing::WithParamInterface<int> {};

TEST_P(FirstInstall, InstallsEveryFileRunsTheActionsRecordsTheVersionAndStartsTheClient) {
  Ini({{"SocketType", std::to_string(GetParam())}});
  List l;
  l.files = Release12();
  WriteList(l);
  WriteFileBytes(inst.App("DETAILLOG.FLAG"), "");

  const vxtest::RunResult r = inst.Run({"-B:/u:kim"});
  ASSERT_TRUE(r.exited) << "signal " << r.signal << (r.timedOut ? " (timed out)" : "");
  EXPECT_EQ(r.exitCode, 0);

  // The list first, then the files from the last listed to the first: not the excluded
  // one, not the updater's own unchanged files.
  EXPECT_EQ(Gets(), (std::vector<std::string>{"/update.ini", "/Data/plain.dat", "/Data/a%20b.xml",
                                               "/bin/big.dll.cab", "/bin/app.dll"}));
  EXPECT_TRUE(Installed("bin/app.dll") == appDll);
  EXPECT_TRUE(Installed("Data/plain.dat") == plain);
  EXPECT_EQ(Installed("Data/a b.xml"), xml);
  EXPECT_EQ(Installed("Data/keep.cfg"), keepLocal);
  // The cabinet is unpacked in its folder, as cabextract unpacks it, and removed.
  TempFolder ref;
  vxtest::Run({"cabextract", "-q", "-d", ref.Path(), inst.Srv("bin/big.dll.cab")});
  EXPECT_TRUE(ReadFileBytes(ref / "big.dll") == bigDll);
  EXPECT_TRUE(Installed("bin/big.dll") == bigDll);
  EXPECT_EQ(fs::last_write_time(inst.App("bin/big.dll")), fs::last_write_time(ref / "big.dll"));
  EXPECT_FALSE(fs::exists(inst.App("bin/big.dll.cab")));

  // The .xml download enabled the key file edit; success enabled the program run.
  EXPECT_EQ(Installed("settings.txt"), "Mode=new\r\nUser=x\r\n");
  EXPECT_EQ(Recorded("hook.txt"), "/q\n");
  EXPECT_EQ(Recorded("regsvr.txt"), "/s " + inst.App("bin/app.dll") + "\n");
  // The client gets the -B: pieces and LAUNCH/Param in lower case, in its own folder.
  EXPECT_EQ(Recorded("launched.txt"), inst.App() + "|/u:kim -mode:run\n");

  EXPECT_EQ(inst.InstalledString("CurVersion"), "1.2.0");
  EXPECT_EQ(inst.InstalledString("CurDBVersion"), "7");
  EXPECT_EQ(inst.InstalledString("LastUpdateDate"), vxtest::TodayYmd());
  EXPECT_EQ(inst.InstalledInteger("UpdateType"), 0) << "a forced safe update makes the next one fast";
  EXPECT_FALSE(fs::exists(inst.App("update.ini")));
  EXPECT_FALSE(fs::exists(inst.App("update.OLD")));

  EXPECT_TRUE(inst.Logged("Server URL: " + inst.ServerUrl() + "update.ini"));
  EXPECT_TRUE(inst.Logged("로더 실행"));
  EXPECT_TRUE(inst.Logged("전체 다운로드 파일 개수 : 4"));
  const size_t downloadSize = plain.size() + xml.size() + ReadFileBytes(inst.Srv("bin/big.dll.cab")).size() +
                              appDll.size();
  EXPECT_TRUE(inst.Logged("업데이트 대상 전체 파일 용량: " + std::to_string(downloadSize)));
  EXPECT_TRUE(inst.Logged("ExecOtherProgram FErrorStat 정상실행"));
  EXPECT_TRUE(inst.Logged("사용자 레지스트리에 버전 정보 등록 완료"));
  EXPECT_TRUE(inst.Logged("정상 종료"));
  EXPECT_EQ(inst.LoggedContaining("Http Exception"), 0u);
}

// 0 the framework's HTTP client, 1 the socket library, 2 the WinINet stand-in.
INSTANTIATE_TEST_SUITE_P(Transports, FirstInstall, ::testing::Values(0, 1, 2), [](const auto& info) {
  return std::string(info.param == 0 ? "FrameworkHttp" : info.param == 1 ? "SocketLibrary" : "WinInet");
});

TEST_P(FirstInstall, GoesThroughTheProxyOfTheRegistryForEveryFile) {
  vxtest::LoopbackProxy proxy;
  inst.SetProxy(proxy.Host(), std::to_string(proxy.Port()));
  Ini({{"SocketType", std::to_string(GetParam())}});
  List l;
  l.files = Release12();
  WriteList(l);

  const vxtest::RunResult r = inst.Run({});
  ASSERT_TRUE(r.exited);
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_TRUE(Installed("bin/app.dll") == appDll);
  // Every request, not only the first after the downloader was made, takes the proxy;
  // the WinINet transport follows the system's Internet settings instead.
  const std::string log = proxy.Log();
  for (const char* path : {"/update.ini", "/Data/plain.dat", "/Data/a%20b.xml", "/bin/big.dll.cab", "/bin/app.dll"}) {
    if (GetParam() == 2)
      EXPECT_EQ(log.find(inst.Server().Url(path)), std::string::npos) << path << " went through the proxy";
    else
      EXPECT_NE(log.find(inst.Server().Url(path)), std::string::npos) << path << " did not go through the proxy";
  }
}

TEST_F(UpdateRun, SameVersionDownloadsNothingAndDoesTheCloseTimeWork) {
  InstallRelease12();
  List l;
  l.files = Release12();
  l.conditions += "2=ALWAYS:WRITEKEYVALUEFILE\r\n";
  WriteList(l);

  const vxtest::RunResult r = inst.Run({"-B:/u:kim"});
  ASSERT_TRUE(r.exited);
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(Gets(), std::vector<std::string>{"/update.ini"});
  ExpectRelease12Installed();
  // ALWAYS actions run when the updater closes; UPDATESUCCESS ones need an update.
  EXPECT_EQ(Installed("settings.txt"), "Mode=new\r\nUser=x\r\n");
  EXPECT_EQ(Recorded("launched.txt"), inst.App() + "|/u:kim\n");
  EXPECT_EQ(Recorded("hook.txt", 500), "");
  EXPECT_EQ(Recorded("regsvr.txt", 500), "");
  EXPECT_FALSE(inst.Logged("정상 종료"));
  EXPECT_EQ(inst.InstalledInteger("UpdateType"), 0);
  EXPECT_FALSE(fs::exists(inst.App("update.ini")));
}

TEST_F(UpdateRun, FastUpdateTakesTheFilesOfTheNewerFastListsOnly) {
  InstallRelease12();
  const std::string fresh = "a file new in 1.3.0\r\n";
  inst.Serve("bin/app.dll", appDll2);
  inst.Serve("Data/new.txt", fresh);
  inst.Serve("fast/130.ini", "[FILES]\r\n" + vxtest::LoaderInstall::FileLine("%ROOT%\\bin\\app.dll", appDll2) +
                                 "\r\n" + vxtest::LoaderInstall::FileLine("%ROOT%\\Data\\new.txt", fresh) + "\r\n");
  // Lists of releases already installed, which must not be fetched.
  inst.Serve("fast/110.ini", "[FILES]\r\n%ROOT%\\Data\\old.txt=00000000000000000000000000000000,1,1\r\n");
  inst.Serve("fast/120.ini", "[FILES]\r\n%ROOT%\\Data\\old.txt=00000000000000000000000000000000,1,1\r\n");
  List l;
  l.version = "1.3.0";
  l.files = Release13();
  l.fast = "1.1.0=/fast/110.ini\r\n1.2.0=/fast/120.ini\r\n1.3.0=/fast/130.ini\r\n";
  WriteList(l);

  const vxtest::RunResult r = inst.Run({"-FU"});
  ASSERT_TRUE(r.exited);
  EXPECT_EQ(r.exitCode, 0);
  auto gets = Gets();
  ASSERT_GE(gets.size(), 2u);
  EXPECT_EQ(gets[0], "/update.ini");
  EXPECT_EQ(gets[1], "/fast/130.ini");
  std::sort(gets.begin() + 2, gets.end());
  EXPECT_EQ(std::vector<std::string>(gets.begin() + 2, gets.end()),
            (std::vector<std::string>{"/Data/new.txt", "/bin/app.dll"}));
  EXPECT_TRUE(Installed("bin/app.dll") == appDll2);
  EXPECT_EQ(Installed("Data/new.txt"), fresh);
  // plain.dat changed on the server too, but no fast list names it.
  EXPECT_TRUE(Installed("Data/plain.dat") == plain);
  EXPECT_FALSE(fs::exists(inst.App("_Temp/130.ini")));
  EXPECT_EQ(inst.InstalledString("CurVersion"), "1.3.0");
  EXPECT_NE(Recorded("hook.txt"), "");
  EXPECT_EQ(Recorded("launched.txt"), inst.App() + "|-mode:run\n");
}

TEST_F(UpdateRun, SafeUpdateChosenOnThePanelChecksByMd5AndBySize) {
  InstallRelease12();
  inst.SetInstalledVersion("1.2.0", vxtest::TodayYmd(), 0);
  // A new client program: a listed .exe is checked by its MD5.
  const std::string client2 = "#!/bin/sh\nprintf 'v2 %s\\n' \"$*\" >> '" + inst.Record("launched.txt") + "'\n";
  inst.Serve("client.exe", client2);
  // Same size, other bytes: a .dat is compared by size only and stays.
  const std::string plainSameSize = RandomBytes(plain.size(), 21);
  inst.Serve("Data/plain.dat", plainSameSize);
  inst.Serve("bin/app.dll", appDll2);
  List l;
  l.version = "1.3.0";
  l.files = Release12();
  l.files[0] = vxtest::LoaderInstall::FileLine("%ROOT%\\bin\\app.dll", appDll2);
  l.files[3] = vxtest::LoaderInstall::FileLine("%ROOT%\\Data\\plain.dat", plainSameSize);
  l.files.push_back(vxtest::LoaderInstall::FileLine("%ROOT%\\client.exe", client2));
  l.fast = "1.3.0=/fast/130.ini\r\n";
  WriteList(l);

  const vxtest::RunResult r = inst.Run(
      {"-B:/u:kim"}, {"click frmMainFrame.rbSafeUpdate", "click frmMainFrame.btnConfirm"});
  ASSERT_TRUE(r.exited);
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(Gets(), (std::vector<std::string>{"/update.ini", "/client.exe", "/bin/app.dll"}));
  EXPECT_TRUE(Installed("bin/app.dll") == appDll2);
  EXPECT_TRUE(Installed("Data/plain.dat") == plain);
  EXPECT_EQ(Installed("client.exe"), client2);
  // The new client replaced the old one and is started as a program.
  EXPECT_EQ(Recorded("launched.txt"), "v2 /u:kim -mode:run\n");
  EXPECT_EQ(inst.InstalledString("CurVersion"), "1.3.0");
  EXPECT_EQ(inst.InstalledInteger("UpdateType"), 1) << "the chosen type is kept for the next run";
}

TEST_F(UpdateRun, RunningClientProgramIsNotUpdated) {
  OfferForcedSafeUpdate();
  WriteFileBytes(inst.App("DETAILLOG.FLAG"), "");
  // The client keeps its program file open while it runs.
  vxtest::ChildProcess client({"sh", "-c", "exec 3<\"$0\" && echo open && exec sleep 120", inst.App("client.exe")},
                              true);
  ASSERT_EQ(client.ReadLine(vxtest::kPatienceMs), "open");

  const vxtest::RunResult r = inst.Run({});
  ASSERT_TRUE(r.exited);
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(Gets(), std::vector<std::string>{"/update.ini"});
  ExpectRelease12Installed();
  EXPECT_TRUE(inst.Logged("업데이트 후 실행해야 할 어플리케이션이 이미 실행중."));
}

TEST_F(UpdateRun, UnreadableProxyPortDoesNotStopTheRun) {
  inst.SetProxy("", "8o8o");
  List l;
  l.files = Release12();
  WriteList(l);
  const vxtest::RunResult r = inst.Run({}, {}, "", 60);
  ASSERT_TRUE(r.exited) << (r.timedOut ? "timed out" : "killed");
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_TRUE(Installed("bin/app.dll") == appDll);
  EXPECT_EQ(inst.InstalledString("CurVersion"), "1.2.0");
}

TEST_F(UpdateRun, UnversionedListIsKeptAndAnUnchangedOneMeansNothingToDo) {
  inst.SetInstalledVersion("", "", 1);
  List l;
  l.version = "";
  l.files = Release12();
  WriteList(l);

  vxtest::RunResult r = inst.Run({});
  ASSERT_TRUE(r.exited);
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_TRUE(Installed("bin/app.dll") == appDll);
  // The list stays beside the program to be compared with the next one.
  EXPECT_EQ(ReadFileBytes(inst.App("update.OLD")), ReadFileBytes(inst.Srv("update.ini")));
  EXPECT_FALSE(fs::exists(inst.App("update.ini")));

  // The same list again: nothing to fetch, and that is no failure.
  inst.Server().ClearRequests();
  std::remove(inst.Record("launched.txt").c_str());
  r = inst.Run({});
  ASSERT_TRUE(r.exited);
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(Gets(), std::vector<std::string>{"/update.ini"});
  EXPECT_TRUE(Installed("bin/app.dll") == appDll);
  EXPECT_FALSE(inst.Logged("업데이트 실패에 의한 종료"));
  EXPECT_EQ(ReadFileBytes(inst.App("update.OLD")), ReadFileBytes(inst.Srv("update.ini")));
}

TEST_F(UpdateRun, MissingFastListFailsTheRunAndKeepsTheVersion) {
  InstallRelease12();
  List l;
  l.version = "1.3.0";
  l.files = Release13();
  l.fast = "1.3.0=/fast/130.ini\r\n";
  WriteList(l);
  const vxtest::RunResult r = inst.Run({"-FU"});
  ASSERT_TRUE(r.exited);
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(Gets(), (std::vector<std::string>{"/update.ini", "/fast/130.ini"}));
  // Recording 1.3.0 would make the files of its list never come.
  ExpectRelease12Installed();
}

TEST_F(UpdateRun, CancelledDuringTheDownloadsKeepsWhatCameAndRecordsNoVersion) {
  List l;
  l.files = Release12();
  WriteList(l);
  // The first file comes slowly; the person closes the window once the downloads show.
  inst.Server().SetFaults("/Data/plain.dat slow 2000\n");
  const vxtest::RunResult r =
      inst.Run({}, {"click frmMainFrame.prbFileDown", "close frmMainFrame", "answer IDYES"});
  ASSERT_TRUE(r.exited);
  EXPECT_EQ(r.exitCode, 0);
  // The file on its way is finished; the next one is not begun.
  EXPECT_EQ(Gets(), (std::vector<std::string>{"/update.ini", "/Data/plain.dat"}));
  EXPECT_TRUE(Installed("Data/plain.dat") == plain);
  EXPECT_FALSE(fs::exists(inst.App("Data/a b.xml")));
  EXPECT_EQ(inst.InstalledString("CurVersion"), "");
  EXPECT_FALSE(inst.Logged("정상 종료"));
}

TEST_F(UpdateRun, SilentModeUpdatesUnderARunningClientAndStartsNothing) {
  OfferForcedSafeUpdate();
  vxtest::ChildProcess client({"sh", "-c", "exec 3<\"$0\" && echo open && exec sleep 120", inst.App("client.exe")},
                              true);
  ASSERT_EQ(client.ReadLine(vxtest::kPatienceMs), "open");
  const vxtest::RunResult r = inst.Run({"-SM:true"});
  ASSERT_TRUE(r.exited);
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_TRUE(Installed("bin/app.dll") == appDll2);
  EXPECT_EQ(inst.InstalledString("CurVersion"), "1.3.0");
  EXPECT_EQ(Recorded("launched.txt", 500), "");
  EXPECT_FALSE(inst.Logged("ExecOtherProgram FErrorStat 정상실행"));
}

// Release 1.2.0 with a client that the updater starts behind its splash. It outlives
// the run, without holding the test's output open.
TEST_F(UpdateRun, ClientWithASplashGetsItsTokenWithoutAWait) {
  // The splash client is started with the token before its parameters; the updater
  // waits only until it is up, not for the splash picture that is not there.
  OfferSplashClient();
  const vxtest::RunResult r = inst.Run({"-B:/u:kim"});
  ASSERT_TRUE(r.exited) << (r.timedOut ? "the updater waited for its client" : "");
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(Recorded("launched.txt"), "Qm4TzLw8RkPa2VfYx9HcNe== /u:kim -mode:run\n");
}

class SplashRun : public UpdateRun, public ::testing::WithParamInterface<bool> {};

TEST_P(SplashRun, ShowsTheFirstFrameOfAGoodSplashAndGoesOnWithoutABadOne) {
  // An animation whose first frame is red on the left and green on the right; the bad
  // one is cut short.
  const bool good = GetParam();
  gifref::File f;
  f.width = 40, f.height = 24;
  f.colors = {{0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}};
  for (int i = 0; i < 2; ++i) {
    gifref::Frame fr;
    fr.width = 40, fr.height = 24;
    for (int y = 0; y < 24; ++y)
      for (int x = 0; x < 40; ++x) fr.pixels.push_back(uint8_t(i == 0 ? 1 + x / 20 : 3));
    fr.extensions.push_back({0xF9, {{0, 0xF4, 0x01, 0}}});
    f.frames.push_back(std::move(fr));
  }
  const gifref::Bytes bytes = gifref::Encode(f);
  WriteFileBytes(inst.App("splash.gif"), std::string(bytes.begin(), good ? bytes.end() : bytes.begin() + 20));
  OfferSplashClient();
  const std::string shot = inst.Record("splash.png");
  const vxtest::RunResult r = inst.Run({"-B:/u:kim"}, good ? std::vector<std::string>{"shot Splash " + shot}
                                                           : std::vector<std::string>{});
  ASSERT_TRUE(r.exited);
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(Recorded("launched.txt"), "Qm4TzLw8RkPa2VfYx9HcNe== /u:kim -mode:run\n");
  if (!good) return;
  const auto rows = vxtest::ReadPng(shot);
  ASSERT_EQ(rows.size(), 24u);
  ASSERT_EQ(rows[0].size(), 40u);
  EXPECT_EQ(rows[12][5], 0xFF0000u);
  EXPECT_EQ(rows[12][35], 0x00FF00u);
}

INSTANTIATE_TEST_SUITE_P(GoodAndBad, SplashRun, ::testing::Bool());

// ---------------------------------------------------------------- hand-over and re-run

TEST_F(UpdateRun, ChangedUpdaterFilesAreHandedToTheSelfUpdater) {
  const std::string qx = PlaceSelfUpdater();
  const std::string newIni = inst.IniText() + "; the configuration of the next release\r\n";
  inst.Serve("Loader.ini", newIni);
  inst.Serve("qx.exe", qx);
  List l;
  l.files = Release12();
  l.files.back() = vxtest::LoaderInstall::FileLine("%ROOT%\\Loader.ini", newIni);
  l.files.push_back(vxtest::LoaderInstall::FileLine("%ROOT%\\qx.exe", qx));
  WriteList(l);
  const std::string loaderBytes = ReadFileBytes(inst.App("loader"));

  const vxtest::RunResult r = inst.Run({"-B:/u:kim"});
  ASSERT_TRUE(r.exited);
  EXPECT_EQ(r.exitCode, 2);
  // Only the changed updater file is fetched; nothing else is installed.
  EXPECT_EQ(Gets(), (std::vector<std::string>{"/update.ini", "/Loader.ini"}));
  EXPECT_FALSE(fs::exists(inst.App("bin/app.dll")));
  EXPECT_EQ(inst.InstalledString("CurVersion"), "");
  EXPECT_TRUE(inst.Logged("로더 업데이트에 의한 종료"));
  // The new configuration is in place, the running program copied beside the
  // self-updater, which is started with the updater's own parameters and -fu:.
  EXPECT_EQ(inst.IniText(), newIni);
  for (const auto& e : fs::directory_iterator(inst.App("_Temp")))
    EXPECT_NE(LowerCase(e.path().filename().string()), "loader.ini") << "left in _Temp";
  EXPECT_TRUE(ReadFileBytes(inst.App("_Temp/loader")) == loaderBytes);
  EXPECT_EQ(Recorded("qx.txt"), "TApplication," + inst.App("loader") + "\n-l:-B:/u:kim\n-l:-fu:\n");
  EXPECT_EQ(Recorded("launched.txt", 500), "");
}

TEST_F(UpdateRun, AChangedSelfUpdaterAloneEndsWithoutAHandOver) {
  const std::string qx = "#!/bin/sh\nprintf 'started\\n' > '" + inst.Record("qx.txt") + "'\n";
  inst.Serve("qx.exe", qx);
  List l;
  l.files = Release12();
  l.files.push_back(vxtest::LoaderInstall::FileLine("%ROOT%\\qx.exe", qx));
  WriteList(l);

  const vxtest::RunResult r = inst.Run({});
  ASSERT_TRUE(r.exited);
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(Gets(), (std::vector<std::string>{"/update.ini", "/qx.exe"}));
  EXPECT_EQ(ReadFileBytes(inst.App("_Temp/qx.exe")), qx);
  EXPECT_EQ(Recorded("qx.txt", 1000), "");
  EXPECT_TRUE(inst.Logged("로더 업데이트에 의한 종료"));
}

TEST_F(UpdateRun, FailedUpdateReRunsAsSafeUpdateWhenTheFailureDialogSaysSo) {
  Ini({{"ProductRES", "TAVO"}});
  PlaceSelfUpdater();
  OfferForcedSafeUpdate({}, "ServiceTellNo=02-000-0000\r\n");
  inst.Server().SetFaults("/bin/app.dll status 404\n");

  const vxtest::RunResult r = inst.Run({"-B:/u:kim"}, {"click fFailedMain.btnYes"});
  ASSERT_TRUE(r.exited);
  EXPECT_EQ(r.exitCode, 3);
  EXPECT_TRUE(inst.Logged("업데이트 재실행에 의한 종료"));
  EXPECT_EQ(inst.InstalledInteger("UpdateType"), 1);
  EXPECT_EQ(inst.InstalledString("CurVersion"), "1.2.0");
  EXPECT_TRUE(Installed("bin/app.dll") == appDll);
  EXPECT_EQ(Recorded("qx.txt"), "TApplication," + inst.App("loader") + "\n-l:-B:/u:kim\n-l:-fu:\n");
}

// ---------------------------------------------------------------- faults lose nothing

TEST_F(UpdateRun, MissingFileOnTheServerFailsTheRunAndKeepsTheInstalledFile) {
  const vxtest::RunResult r = FailingSafeUpdate("/bin/app.dll status 404\n");
  ASSERT_TRUE(r.exited);
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_TRUE(Installed("bin/app.dll") == appDll);
  // The other changed file still comes.
  EXPECT_TRUE(Installed("Data/plain.dat") == plain2);
  EXPECT_EQ(inst.InstalledString("CurVersion"), "1.2.0");
  EXPECT_EQ(inst.LoggedContaining("StatusCode:[404]"), 1u);
  EXPECT_TRUE(inst.Logged("업데이트 실패에 의한 종료"));
  // After a failure the client starts with the fallback parameters.
  EXPECT_EQ(Recorded("launched.txt"), inst.App() + "|/fail\n");
}

TEST_F(UpdateRun, FileOfTheWrongSizeIsNotInstalled) {
  auto files = Release13();
  inst.Serve("Data/plain.dat", plain2.substr(0, plain2.size() - 100));
  const vxtest::RunResult r = FailingSafeUpdate("", files);
  ASSERT_TRUE(r.exited);
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_TRUE(Installed("Data/plain.dat") == plain);
  EXPECT_TRUE(Installed("bin/app.dll") == appDll2);
  EXPECT_EQ(inst.InstalledString("CurVersion"), "1.2.0");
  EXPECT_EQ(inst.LoggedContaining("파일이 없거나 용량이 다름."), 1u);
  EXPECT_GE(inst.LoggedContaining("plain.dat"), 1u);
}

TEST_F(UpdateRun, ConnectionCutMidFileKeepsTheInstalledFile) {
  const vxtest::RunResult r = FailingSafeUpdate("/bin/app.dll cut 5000\n");
  ASSERT_TRUE(r.exited);
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_TRUE(Installed("bin/app.dll") == appDll);
  EXPECT_EQ(inst.InstalledString("CurVersion"), "1.2.0");
  EXPECT_GE(inst.LoggedContaining("app.dll"), 1u);
  for (const auto& e : fs::directory_iterator(inst.App("bin")))
    EXPECT_TRUE(e.path().filename() == "app.dll" || e.path().filename() == "big.dll") << e.path();
}

TEST_F(UpdateRun, CorruptCabinetKeepsTheInstalledFile) {
  auto files = Release13();
  std::string cab = ReadFileBytes(inst.Srv("bin/big.dll.cab"));
  for (size_t i = cab.size() / 2; i < cab.size() / 2 + 64; ++i) cab[i] = char(cab[i] ^ 0x5a);
  inst.Serve("bin/big.dll.cab", cab);
  // A new release of big.dll, delivered damaged.
  const std::string big2 = cabtest::TestBytes(1 << 20, 8, true);
  files[1] = "%ROOT%\\bin\\big.dll.cab=" + vxtest::Md5Hex(big2) + "," + std::to_string(big2.size()) + "," +
             std::to_string(cab.size());
  const vxtest::RunResult r = FailingSafeUpdate("", files);
  ASSERT_TRUE(r.exited);
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_TRUE(Installed("bin/big.dll") == bigDll);
  EXPECT_FALSE(fs::exists(inst.App("bin/big.dll.cab")));
  EXPECT_EQ(inst.InstalledString("CurVersion"), "1.2.0");
  EXPECT_GE(inst.LoggedContaining("big.dll"), 1u);
}

TEST_F(UpdateRun, CabinetNamesLeavingTheFolderAreNotWritten) {
  const std::string evil = "written where it must not be\r\n";
  const std::string inner = "the packed library\r\n";
  TempFolder pack;
  cabtest::SetLayout layout;
  layout.typeCompress = 1;
  cabtest::WriteCabinetSet(pack.Path(), {"x.cab"},
                           {{"..\\..\\escaped.txt", evil}, {"../up.txt", evil}, {"evil.dll", inner}}, layout);
  const std::string cab = ReadFileBytes(pack / "x.cab");
  inst.Serve("bin/evil.dll.cab", cab);
  auto files = Release13();
  files.push_back("%ROOT%\\bin\\evil.dll.cab=" + vxtest::Md5Hex(inner) + "," + std::to_string(inner.size()) + "," +
                  std::to_string(cab.size()));
  const vxtest::RunResult r = FailingSafeUpdate("", files);
  ASSERT_TRUE(r.exited);
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_FALSE(fs::exists(inst.Root() + "/escaped.txt"));
  EXPECT_FALSE(fs::exists(inst.App("escaped.txt")));
  EXPECT_FALSE(fs::exists(inst.App("up.txt")));
  EXPECT_FALSE(fs::exists(inst.App("bin/evil.dll.cab")));
  EXPECT_EQ(inst.InstalledString("CurVersion"), "1.2.0");
}

TEST_F(UpdateRun, PathThatCannotBeWrittenFailsTheRun) {
  // A file stands where the list wants a folder.
  inst.Install("blocked", "not a folder");
  const std::string data = "cannot be placed\r\n";
  inst.Serve("blocked/x.dll", data);
  auto files = Release13();
  files.push_back(vxtest::LoaderInstall::FileLine("%ROOT%\\blocked\\x.dll", data));
  const vxtest::RunResult r = FailingSafeUpdate("", files);
  ASSERT_TRUE(r.exited);
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(Installed("blocked"), "not a folder");
  EXPECT_EQ(inst.InstalledString("CurVersion"), "1.2.0");
  EXPECT_GE(inst.LoggedContaining("x.dll"), 1u);
}

TEST_F(UpdateRun, HtmlPageInPlaceOfTheListIsRefused) {
  OfferForcedSafeUpdate();
  inst.Server().SetFaults("/update.ini html\n");

  // One attempt (RestartCount 1), then the retry question, declined.
  const vxtest::RunResult r = inst.Run({"-B:/u:kim"}, {"answer IDNO"});
  ASSERT_TRUE(r.exited);
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(Gets(), std::vector<std::string>{"/update.ini"});
  EXPECT_TRUE(inst.Logged("서버의 파일목록이 잘못되었습니다.: 문서의 시작이 <!"));
  ExpectRelease12Installed();
  EXPECT_EQ(Recorded("launched.txt"), inst.App() + "|/fail\n");
}

class ServerDown : public UpdateRun, public ::testing::WithParamInterface<const char*> {};

TEST_P(ServerDown, IsRetriedWhileThePersonSaysYes) {
  InstallRelease12();
  const int port = vxtest::FreePort();
  const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/";
  const bool english = std::string(GetParam()) == "ENG";
  Ini({{"ServerURL", url}, {"ProductLanguage", GetParam()}});

  // The Korean question offers Yes and No, the English one Yes and Cancel.
  const vxtest::RunResult r = inst.Run({}, {"answer IDYES", english ? "answer IDCANCEL" : "answer IDNO"}, "", 60);
  ASSERT_TRUE(r.exited);
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(inst.LoggedContaining("업데이트 목록을 다운로드 받지 못하였습니다.: URL[" + url + "update.ini]"), 2u);
  EXPECT_EQ(inst.LoggedContaining("업데이터 초기화에 실패하였습니다."), 2u);
  ExpectRelease12Installed();
}

INSTANTIATE_TEST_SUITE_P(Languages, ServerDown, ::testing::Values("KOR", "ENG"),
                         [](const auto& info) { return std::string(info.param); });

}  // namespace
