// Selecting, downloading and checking files: hashes and sizes, excluded files, failed
// and cut downloads, cabinets, fast-update lists, the updater's own files and the
// progress shown on the way.
#include "tests/support/cabinet_fixtures.h"
#include "tests/updater/main_form_fixture.h"
#include "transport/StdSockDownloader.h"

namespace mainform {
namespace {

class Files : public MainFormTest {
 protected:
  // The form with its start message taken away, for calling its parts directly.
  TfrmMainFrame* CreateIdle() {
    TfrmMainFrame* f = Create();
    MSG m;
    while (PeekMessage(&m, f->Handle(), WM_START_UPDATE, WM_START_UPDATE, PM_REMOVE)) {
    }
    return f;
  }
};

TEST_F(Files, SafeCheckSelectsByHashForListedExtensionsAndBySizeForTheRest) {
  const std::string same = RandomBytes(3000, 1);
  std::string files = Serve("bin/same.dll", same);
  Put(app_ + "/bin/same.dll", same);
  // Hash texts compare exactly: an upper-case hash never matches the local one.
  Serve("bin/upper.dll", same);
  Put(app_ + "/bin/upper.dll", same);
  files += FilesLine("bin/upper.dll", UpperCase(GetFileMD5(srv_ + "/bin/upper.dll")), 3000, 3000);
  // A matching hash is followed by the size rule.
  Serve("tool.exe", same);
  WriteFileBytes(app_ + "/tool.exe", same);
  files += FilesLine("tool.exe", GetFileMD5(srv_ + "/tool.exe"), 2999, 3000);
  // Other extensions compare by size only.
  files += Serve("Data/plain.dat", RandomBytes(500, 2));
  Put(app_ + "/Data/plain.dat", RandomBytes(500, 3));
  files += Serve("Data/new.txt", "new");
  files += Serve("Data/keep.cfg", "served");
  Put(app_ + "/Data/keep.cfg", "mine");
  WriteConfig("", "[NoUpdateFiles]\r\n1=Data/keep.cfg\r\n");
  WriteList("1.0.0", files);

  EXPECT_EQ(RunLoader(), 1) << "tool.exe cannot have its listed size";
  EXPECT_EQ(Requests(4), (std::vector<std::string>{"/update.ini", "/Data/new.txt", "/tool.exe", "/bin/upper.dll"}));
  EXPECT_EQ(ReadFileBytes(app_ + "/Data/keep.cfg"), "mine");
  EXPECT_EQ(ReadFileBytes(app_ + "/Data/new.txt"), "new");
  EXPECT_EQ(ReadFileBytes(app_ + "/tool.exe"), same) << "the failed download left the installed file";
  EXPECT_TRUE(Logged("[FileDownload] \"" + app_ + "\\tool.exe\" 파일이 없거나 용량이 다름."));
  EXPECT_FALSE(fs::exists(app_ + "/tool.exe.part"));
  EXPECT_EQ(Installed("CurVersion"), "") << "a failed run records no version";
  EXPECT_EQ(Launched(), app_ + "|/fail\n");
}

TEST_F(Files, FailedDownloadLeavesTheInstalledFileAndTheOtherFilesStillCome) {
  const std::string files = FilesLine("bin/app.dll", std::string(32, 'a'), 10, 10) + Serve("bin/b.dll", "bbb");
  Put(app_ + "/bin/app.dll", "installed");
  WriteConfig();
  WriteList("1.0.0", files);
  EXPECT_EQ(RunLoader(), 1);
  EXPECT_EQ(ReadFileBytes(app_ + "/bin/app.dll"), "installed");
  EXPECT_EQ(ReadFileBytes(app_ + "/bin/b.dll"), "bbb");
  EXPECT_NE(Log().find("Http Exception: FileName:[" + app_ + "\\bin\\app.dll] StatusCode:[404]"), std::string::npos);
  EXPECT_TRUE(Logged("업데이트 실패에 의한 종료"));
}

TEST_F(Files, DownloadChecks) {
  vxtest::OddServer odd;
  WriteConfig();
  TfrmMainFrame* f = CreateIdle();
  const std::string dest = app_ + "/x.bin";
  WriteFileBytes(dest, "installed");

  // A body cut short keeps the installed file and leaves nothing behind.
  EXPECT_FALSE(f->FileDownLoad(odd.Url("/cut/100000/5000"), dest, false, 100000, 100000));
  EXPECT_EQ(ReadFileBytes(dest), "installed");
  EXPECT_FALSE(fs::exists(dest + ".part"));

  // A size of -1 is unknown and passes; the file is replaced in one step.
  EXPECT_TRUE(f->FileDownLoad(odd.Url("/nolength/7000"), dest, false, -1, -1));
  EXPECT_EQ(ReadFileBytes(dest), vxtest::OddServer::Body(7000));

  // A wrong size fails; nothing is created where nothing was.
  EXPECT_FALSE(f->FileDownLoad(odd.Url("/nolength/10"), app_ + "/new.bin", false, 11, 11));
  EXPECT_FALSE(fs::exists(app_ + "/new.bin"));

  // An update list skips the size check.
  EXPECT_TRUE(f->FileDownLoad(odd.Url("/nolength/10"), app_ + "/list.ini", true, 0, 0));
  EXPECT_EQ(fs::file_size(app_ + "/list.ini"), 10u);
}

// A failed download's log line gives the reply's status only when the server sent one.
TEST_F(Files, FailedDownloadsSayWhatFailed) {
  vxtest::ScopedEnv lowSpeedTime("VX_LOW_SPEED_TIME", "2");
  vxtest::OddServer odd;
  const std::string refused = "http://127.0.0.1:" + std::to_string(vxtest::FreePort()) + "/x";
  const std::string dest = app_ + "/x.bin";
  const struct {
    int socketType;
    std::string url;
    std::string logged;
  } cases[] = {
      {1, odd.Url("/stall/100000/5000"), "Download failed: FileName:[" + dest + "] Reason:[No data from the server"},
      {1, refused, "Download failed: FileName:[" + dest + "] Reason:["},
      {1, odd.Url("/status/404"), "Http Exception: FileName:[" + dest + "] StatusCode:[404]"},
      {0, refused, "Download failed: FileName:[" + dest + "] Reason:["},
      {0, odd.Url("/status/404"), "Http Exception: FileName:[" + dest + "] StatusCode:[404]"},
      // The WinINet transport raises nothing: its stage, the status and the cause.
      {2, odd.Url("/stall/100000/5000"),
       "Download failed: FileName:[" + dest + "] Reason:[Stage 950, status 200: Operation too slow."},
      {2, refused, "Download failed: FileName:[" + dest + "] Reason:[Stage 920: Failed to connect"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.url + " with SocketType " + std::to_string(c.socketType));
    if (form_) form_->Free();
    form_ = nullptr;
    WriteConfig("SocketType=" + std::to_string(c.socketType) + "\r\n");
    TfrmMainFrame* f = CreateIdle();
    if (auto* sock = dynamic_cast<TStdSockDownloader*>(f->Downloader.get())) sock->Http()->CtrlSocket()->SetTimeout(300);
    fs::remove(app_ + "/LoaderLog.log");
    EXPECT_FALSE(f->FileDownLoad(c.url, dest, false, 100000, 100000));
    EXPECT_NE(Log().find(c.logged), std::string::npos) << Log();
    EXPECT_EQ(Log().find("Download failed") == std::string::npos, Log().find("StatusCode") != std::string::npos);
  }
}

class Cabinets : public Files {
 protected:
  void SetUp() override {
    Files::SetUp();
    big_ = cabtest::TestBytes(200000, 5, true);
    fs::create_directories(srv_ + "/bin");
    cabtest::WriteCabinetSet(srv_ + "/bin", {"big.dll.cab"},
                             {{"big.dll", big_}, {"res\\extra.txt", "extra"}}, cabtest::SetLayout{1});
    cab_ = ReadFileBytes(srv_ + "/bin/big.dll.cab");
    Put(app_ + "/bin/big.dll", big_);
    md5_ = GetFileMD5(app_ + "/bin/big.dll");
    Put(app_ + "/bin/big.dll", "installed");
    WriteConfig();
  }
  std::string Line(int64_t DownloadSize) {
    return "%ROOT%\\bin\\big.dll.cab=" + md5_ + "," + std::to_string(big_.size()) + "," +
           std::to_string(DownloadSize) + "\r\n";
  }
  std::string big_, cab_, md5_;
};

TEST_F(Cabinets, UnpackedIntoPlaceAndTheCabinetRemoved) {
  WriteList("1.0.0", Line(int64_t(cab_.size())));
  EXPECT_EQ(RunLoader(), 0);
  EXPECT_EQ(ReadFileBytes(app_ + "/bin/big.dll"), big_);
  EXPECT_EQ(ReadFileBytes(app_ + "/bin/res/extra.txt"), "extra");
  EXPECT_FALSE(fs::exists(app_ + "/bin/big.dll.cab"));
  EXPECT_FALSE(fs::exists(app_ + "/bin/big.dll.cab.unpack"));
}

TEST_F(Cabinets, WrongCabinetSizeOrCorruptDataKeepsTheInstalledFile) {
  WriteList("1.0.0", Line(int64_t(cab_.size()) + 1));
  EXPECT_EQ(RunLoader(), 1);
  EXPECT_TRUE(Logged("[" + app_ + "\\bin\\big.dll.cab] 다운로드 리스트의 파일과 다운받은 파일의 용량이 다름"));
  EXPECT_EQ(ReadFileBytes(app_ + "/bin/big.dll"), "installed");

  std::string corrupt = cab_;
  corrupt[corrupt.size() - 100] ^= 0x55;
  Put(srv_ + "/bin/big.dll.cab", corrupt);
  WriteList("1.0.0", Line(int64_t(cab_.size())));
  NewRun();
  EXPECT_EQ(RunLoader(), 1);
  EXPECT_EQ(ReadFileBytes(app_ + "/bin/big.dll"), "installed");
  EXPECT_FALSE(fs::exists(app_ + "/bin/big.dll.cab"));
  EXPECT_FALSE(fs::exists(app_ + "/bin/res"));
}

// The target's digest, made as it is unpacked, is held to the list's as a read one is.
TEST_F(Cabinets, ATargetOfTheListedSizeWithAnotherDigestIsRefused) {
  const std::string listed = md5_;
  md5_ = GetFileMD5(srv_ + "/bin/big.dll.cab");
  WriteList("1.0.0", Line(int64_t(cab_.size())));
  EXPECT_EQ(RunLoader(), 1);
  EXPECT_NE(Log().find("MD5 " + listed + " differs from the list's " + md5_), std::string::npos) << Log();
  EXPECT_EQ(ReadFileBytes(app_ + "/bin/big.dll"), "installed");
  EXPECT_FALSE(fs::exists(app_ + "/bin/res"));
}

class FastLists : public MainFormTest {
 protected:
  void SetUp() override {
    MainFormTest::SetUp();
    WriteConfig();
    SetInstalled("1.1.0", Today(), 0);
    Serve("bin/app.dll", "new app");
    Serve("Data/x.txt", "x");
    Put(srv_ + "/fast/120.ini", "[FILES]\r\n%ROOT%\\bin\\app.dll=" + std::string(32, '1') +
                                               ",3,3\r\n%ROOT%\\Data\\x.txt=" + GetFileMD5(srv_ + "/Data/x.txt") +
                                               "\r\n");
    Put(srv_ + "/fast/130.ini", "[FILES]\r\n%ROOT%\\bin\\app.dll=" + GetFileMD5(srv_ + "/bin/app.dll") +
                                               ",7,7\r\n");
  }
  void List(const std::string& Newest) {
    WriteList("1.3.0", "", "[FASTUPDATE]\r\n1.1.0=/fast/110.ini\r\n1.2.0=/fast/120.ini\r\n1.3.0=" + Newest + "\r\n");
  }
};

TEST_F(FastLists, NewerListsAreMergedWithTheNewestLineWinning) {
  List("/fast/130.ini");
  EXPECT_EQ(RunLoader({"-FU"}), 0);
  EXPECT_EQ(Requests(5), (std::vector<std::string>{"/update.ini", "/fast/130.ini", "/fast/120.ini", "/Data/x.txt",
                                                   "/bin/app.dll"}));
  EXPECT_EQ(ReadFileBytes(app_ + "/bin/app.dll"), "new app");
  EXPECT_EQ(ReadFileBytes(app_ + "/Data/x.txt"), "x") << "a line without sizes passes the size checks";
  EXPECT_FALSE(fs::exists(app_ + "/_Temp/130.ini"));
  EXPECT_EQ(Installed("CurVersion"), "1.3.0");
}

TEST_F(FastLists, AListThatCannotBeFetchedFailsTheRunAndKeepsTheVersion) {
  List("/fast/missing.ini");
  EXPECT_EQ(RunLoader({"-FU"}), 1);
  EXPECT_EQ(Installed("CurVersion"), "1.1.0");
  EXPECT_NE(Log().find("빠른 업데이트 목록을 다운로드 받지 못하였습니다.\rFile: "), std::string::npos);
}

TEST_F(Files, ChangedUpdaterFilesGoToTheTemporaryFolderAndTheSelfUpdaterTakesOver) {
  // The record appears whole: written beside, then renamed.
  WriteScript(srv_ + "/qx.exe", "for a in \"$@\"; do echo \"$a\"; done > \"" + root_ / "qx.tmp" + "\" && mv \"" +
                                    root_ / "qx.tmp" + "\" \"" + root_ / "qx.txt" + "\"\n");
  const std::string files = Serve("Loader.ini", "[INFO]\r\nTitle=new\r\n") + Serve("qx.exe", ReadFileBytes(srv_ + "/qx.exe")) +
                            Serve("bin/app.dll", "app");
  WriteConfig();
  WriteList("1.0.0", files);
  const std::string installedIni = ReadFileBytes(app_ + "/loader.ini");
  EXPECT_EQ(RunLoader(), 2);
  EXPECT_TRUE(Logged("로더 업데이트에 의한 종료"));
  EXPECT_FALSE(fs::exists(app_ + "/bin/app.dll")) << "nothing else is updated before the hand-over";
  EXPECT_EQ(ReadFileBytes(app_ + "/loader.ini"), "[INFO]\r\nTitle=new\r\n") << "the new configuration is in place";
  EXPECT_FALSE(fs::exists(app_ + "/_Temp/Loader.ini"));
  const std::string args = AwaitRecord(root_ / "qx.txt");
  EXPECT_EQ(args.substr(0, args.find('\n')), "TApplication," + app_ + "/loader");
  EXPECT_NE(args.find("\n-l:-fu:\n"), std::string::npos) << args;
  EXPECT_EQ(Launched(0), "") << "the client is not started";
}

TEST_F(Files, ProgressFollowsTheDownloadEvents) {
  WriteConfig();
  TfrmMainFrame* f = CreateIdle();
  f->ShowProgress(true);
  f->TotalDownloadSize = 1000000;
  f->DownloaderBeginWork(nullptr, 4000);
  EXPECT_EQ(f->lblFileDownSize->Caption(), "0/4,000");
  EXPECT_EQ(f->lblFileTotalSize->Caption(), "/1,000,000") << "nothing is printed for 0";
  f->DownloaderWork(nullptr, 1000);
  f->DownloaderWork(nullptr, 2500);
  EXPECT_EQ(f->DownloadedTotal, 2500);
  EXPECT_EQ(f->lblFileDownSize->Caption(), "2,500/4,000");
  EXPECT_EQ(f->prbFileDown->Percent(), 62) << "halves round to even";
  f->DownloaderEndWork(nullptr, 4000);
  EXPECT_EQ(f->lblFileDownSize->Caption(), "4,000/4,000");
  EXPECT_EQ(f->prbFileDown->Percent(), 100);

  // A reply of unknown length: no percentage, no error.
  f->DownloaderBeginWork(nullptr, 0);
  f->DownloaderWork(nullptr, 995000);
  EXPECT_EQ(f->prbFileTotal->Percent(), 100);
  EXPECT_EQ(f->lblFileTotalSize->Caption(), "997,500/1,000,000");
  EXPECT_EQ(Log().find("Call The Function"), std::string::npos);

  f->ShowProgress(false);
  f->DownloaderWork(nullptr, 999999);
  EXPECT_EQ(f->DownloadedTotal, 997500) << "hidden progress counts nothing";
}

}  // namespace
}  // namespace mainform
