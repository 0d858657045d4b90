// Whole update runs against hostile lists, broken registry stores, odd files on disk, a
// full disk, a server that trickles and nobody at the screen: every run ends, loses
// nothing and says what failed.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>

#include "platform/rtl/sysutils.h"
#include "tests/e2e/update_fixture.h"
#include "tests/support/script_file.h"

namespace fs = std::filesystem;

namespace {

class Faults : public UpdateRunBase {
 public:
  using UpdateRunBase::appDll2;
  using UpdateRunBase::inst;
  using UpdateRunBase::Release13;

  // Release 1.3.0 (or these files) offered as a forced safe update over an installed 1.2.0.
  void OfferForcedSafe(std::vector<std::string> files = {}) {
    InstallRelease12();
    offered_.version = "1.3.0";
    offered_.install = "ForceSafetyUpdate=1\r\n";
    offered_.files = files.empty() ? Release13() : std::move(files);
    WriteList(offered_);
  }
  // One more [FILES] line in the offered list.
  void AddLine(const std::string& line) {
    offered_.files.push_back(line);
    WriteList(offered_);
  }
  // The offered list as a fast update (the stored type), the newest fast list given.
  void OfferFast(const std::string& list) {
    offered_.install.clear();
    offered_.fast = "1.3.0=/fast/130.ini\r\n";
    WriteList(offered_);
    inst.Serve("fast/130.ini", list);
  }
  // The loader's files may grow to KiB only, as on a disk that is full beyond that.
  void LimitFileSize(int KiB) {
    inst.prefix = {"sh", "-c", "trap '' XFSZ; ulimit -f " + std::to_string(KiB * 2) + "; exec \"$0\" \"$@\""};
  }
  std::string Store() const { return inst.Root() + "/registry/HKEY_CURRENT_USER.reg"; }
  // The tree served over HTTPS with this test certificate, fetched through SocketType.
  void OverTls(int SocketType, std::string vxtest::TestPki::*Cert, std::string vxtest::TestPki::*Key) {
    inst.ServeTls(vxtest::TestPki::Get().*Cert, vxtest::TestPki::Get().*Key);
    Ini({{"SocketType", std::to_string(SocketType)}});
  }
  void Ini(const std::map<std::string, std::string>& info) {
    inst.WriteIni(info, kNoUpdateFiles);
    // An offered list names the configuration as it is now.
    const std::string key = "%ROOT%\\Loader.ini";
    for (auto& f : offered_.files)
      if (f.starts_with(key + "=")) f = vxtest::LoaderInstall::FileLine(key, inst.IniText());
    if (!offered_.files.empty()) WriteList(offered_);
  }
  // Runs to its end (within Seconds) with these parameters and script.
  vxtest::RunResult RunToEnd(const std::vector<std::string>& params = {}, const std::vector<std::string>& script = {},
                             double Seconds = 90) {
    const vxtest::RunResult r = inst.Run(params, script, "", Seconds);
    EXPECT_TRUE(r.exited) << (r.timedOut ? "timed out" : "signal " + std::to_string(r.signal));
    return r;
  }

 private:
  List offered_;
};

std::string Utf16(const std::string& ascii) {
  std::string out("\xFF\xFE", 2);
  for (char c : ascii) out += std::string{c, '\0'};
  return out;
}

template <class T>
std::string CaseName(const ::testing::TestParamInfo<T>& info) {
  return info.param.name;
}


// ---------------------------------------------------------------- nobody at the screen

struct TUnattended {
  const char* name;
  std::vector<std::string> script;
  bool failureDialog;  // a failed update with an edition code; else the fast/safe choice
};

void PrintTo(const TUnattended& c, std::ostream* os) { *os << c.name; }

class Unattended : public Faults, public ::testing::WithParamInterface<TUnattended> {};

TEST_P(Unattended, TheAnswerShownIsTakenAndTheRunEnds) {
  const TUnattended& c = GetParam();
  if (c.failureDialog) {
    Ini({{"ProductRES", "TAVO"}});
    OfferForcedSafe();
    inst.Server().SetFaults("/bin/app.dll status 404\n");
  } else {
    InstallRelease12();
    inst.SetInstalledVersion("1.2.0", vxtest::TodayYmd(), 1);  // the safe update shows as chosen
    List l;
    l.version = "1.3.0";
    l.files = Release13();
    WriteList(l);
  }
  const vxtest::RunResult r = RunToEnd({}, c.script);
  if (c.failureDialog) {
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(inst.InstalledString("CurVersion"), "1.2.0");
    EXPECT_EQ(Recorded("launched.txt"), inst.App() + "|/fail\n");
  } else {
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(inst.Logged("Nobody answers the choice of the update type: the safe update shown is taken"));
    EXPECT_EQ(inst.InstalledString("CurVersion"), "1.3.0");
    EXPECT_TRUE(Installed("bin/app.dll") == appDll2);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Unattended,
    ::testing::Values(TUnattended{"ChoiceWithoutScript", {}, false},
                      TUnattended{"ChoiceWhileTheScriptWaitsForABoxThatNeverComes",
                                  {"answer IDYES", "click frmMainFrame.rbFastUpdate"}, false},
                      TUnattended{"FailureDialogWithoutScript", {}, true},
                      TUnattended{"FailureDialogAfterTheScriptsLastLine", {"shot frmMainFrame shot.png"}, true}),
    CaseName<TUnattended>);

TEST_F(Faults, RestartCountBelowOneTakesTheDefaultAndTheRunEnds) {
  InstallRelease12();
  Ini({{"ServerURL", "http://127.0.0.1:" + std::to_string(vxtest::FreePort()) + "/"}, {"RestartCount", "0"}});
  const vxtest::RunResult r = RunToEnd();
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(inst.LoggedContaining("Server URL: "), 10u) << "ten attempts, then the question, declined";
  ExpectRelease12Installed();
}

TEST_F(Faults, PipesInTheInstallFolderAreReplacedNotWaitedFor) {
  OfferForcedSafe();
  for (const char* rel : {"Data/plain.dat", "Data/a b.xml"}) {
    fs::remove(inst.App(rel));
    ASSERT_EQ(mkfifo(inst.App(rel).c_str(), 0644), 0);
  }
  EXPECT_EQ(RunToEnd().exitCode, 0);
  // (A pipe left in place would hold the reading below, too.)
  ASSERT_TRUE(fs::is_regular_file(inst.App("Data/plain.dat")) && fs::is_regular_file(inst.App("Data/a b.xml")));
  EXPECT_TRUE(Installed("Data/plain.dat") == plain2);
  EXPECT_EQ(Installed("Data/a b.xml"), xml);
}

class PipeAtStart : public Faults, public ::testing::WithParamInterface<std::pair<const char*, const char*>> {};

TEST_P(PipeAtStart, IsNotOpenedAndTheRunEnds) {
  const auto [file, version] = GetParam();
  OfferForcedSafe();
  fs::remove(inst.App(file));
  ASSERT_EQ(mkfifo(inst.App(file).c_str(), 0644), 0);
  EXPECT_EQ(RunToEnd().exitCode, 0);
  EXPECT_EQ(inst.InstalledString("CurVersion"), version);
}

INSTANTIATE_TEST_SUITE_P(LogAndConfiguration, PipeAtStart,
                         ::testing::Values(std::pair{"LoaderLog.log", "1.3.0"}, std::pair{"loader.ini", "1.2.0"}));

// ---------------------------------------------------------------- lists and lines refused

using vxtest::TestPki;

const std::string kAnyMd5(32, '0');
const std::string kBadGateway = "<html><body><h1>502 Bad Gateway</h1></body></html>\r\n";

// Data/escaped.txt, which the server fills with an error page, listed with the MD5 of
// other bytes and Sizes times the page's size; fetched through the transport SocketType.
std::string ErrorPageLine(Faults& t, int Sizes, int SocketType = 0) {
  t.Ini({{"SocketType", std::to_string(SocketType)}});
  t.inst.Serve("Data/escaped.txt", kBadGateway);
  std::string line = "%ROOT%\\Data\\escaped.txt=" + kAnyMd5;
  for (int i = 0; i < Sizes; ++i) line += "," + std::to_string(kBadGateway.size());
  return line;
}

struct TRefused {
  const char* name;
  std::function<void(Faults&)> serve;
  std::vector<std::string> params;
  int exitCode;
  const char* logged;
};

void PrintTo(const TRefused& c, std::ostream* os) { *os << c.name; }

// A server on the network path: its certificate names another host, has expired or is
// signed by itself; or it sends the list on to plain http.
std::function<void(Faults&)> OverTls(int SocketType, std::string TestPki::*Cert, std::string TestPki::*Key,
                                     bool ToPlainHttp = false) {
  return [=](Faults& t) {
    t.OverTls(SocketType, Cert, Key);
    if (ToPlainHttp) t.inst.Server().SetFaults("/update.ini redirect " + t.inst.Server().Url("/update.ini") + "\n");
  };
}
const char kWrongName[] = "SSL: no alternative certificate subject name matches target host name '127.0.0.1'";
const char kExpired[] = "SSL certificate problem: certificate has expired";
const char kSelfSigned[] = "SSL certificate problem: self-signed certificate";

class Refused : public Faults, public ::testing::WithParamInterface<TRefused> {};

TEST_P(Refused, NothingIsWrittenOutsideAndNoVersionRecorded) {
  const TRefused& c = GetParam();
  OfferForcedSafe();
  c.serve(*this);
  // One attempt (RestartCount 1), then the retry question, declined.
  const vxtest::RunResult r = RunToEnd(c.params, {"answer IDNO"});
  EXPECT_EQ(r.exitCode, c.exitCode);
  EXPECT_GE(inst.LoggedContaining(c.logged), 1u) << c.logged;
  EXPECT_EQ(inst.InstalledString("CurVersion"), "1.2.0") << "nothing to install is no success";
  EXPECT_TRUE(fs::exists(inst.App("bin/app.dll")));
  for (const auto& e : fs::recursive_directory_iterator(inst.Root())) {
    const bool served = e.path().string().rfind(inst.Srv(), 0) == 0;
    EXPECT_TRUE(served || e.path().filename() != "escaped.txt") << e.path();
  }
}

const TRefused kRefused[] = {
    {"ErrorPageNotStartingWithBang",
     [](Faults& t) { t.inst.WriteList("<html><head><title>502</title></head><body>Bad gateway</body></html>"); },
     {}, 0, "서버의 파일목록이 잘못되었습니다.: no [FILES] section"},
    {"RandomBytes", [](Faults& t) { t.inst.WriteList(RandomBytes(3000, 5)); }, {}, 0, "no [FILES] section"},
    {"ListInUtf16", [](Faults& t) { t.inst.WriteList(Utf16(ReadFileBytes(t.inst.Srv("update.ini")))); }, {}, 0,
     "no [FILES] section"},
    {"ErrorPageAsTheFastList", [](Faults& t) { t.OfferFast("<html><body>Not here</body></html>"); }, {"-FU"}, 1,
     "서버의 빠른 업데이트 파일 목록이 잘못되었습니다. (no [FILES] section)"},
    {"PathWithANul",
     [](Faults& t) { t.AddLine("%ROOT%\\bin\\app.dll" + std::string(1, '\0') + "x=" + kAnyMd5 + ",1,1"); }, {}, 1,
     "holds a control character"},
    {"PathWithAnEscape", [](Faults& t) { t.AddLine("%ROOT%\\bin\\x\x1b.dll=" + kAnyMd5 + ",1,1"); }, {}, 1,
     "holds a control character"},
    {"PathClimbingOutOfRoot", [](Faults& t) { t.AddLine("%ROOT%\\bin\\..\\..\\escaped.txt=" + kAnyMd5 + ",1,1"); }, {},
     1, "climbs out of %ROOT%"},
    {"PathClimbingOutOfSystem", [](Faults& t) { t.AddLine("%SYSTEM%\\..\\..\\escaped.txt=" + kAnyMd5 + ",1,1"); },
     {}, 1, "climbs out of %SYSTEM%"},
    {"AbsolutePath", [](Faults& t) { t.AddLine(t.inst.Root() + "/escaped.txt=" + kAnyMd5 + ",1,1"); }, {}, 1,
     "it is an absolute path"},
    {"ListNameClimbingOut", [](Faults&) {}, {"-LF:../escaped.txt"}, 0, "-LF:../escaped.txt is refused"},
    {"LineOfTwoFields", [](Faults& t) { t.AddLine(ErrorPageLine(t, 1)); }, {}, 1, "it has 2 value fields, not 3"},
    {"FastLineOfFourFields", [](Faults& t) { t.OfferFast("[FILES]\r\n" + ErrorPageLine(t, 3) + "\r\n"); }, {"-FU"},
     1, "it has 4 value fields, not 1 to 3"},
    {"PageOfTheListedSizeOverFrameworkHttp", [](Faults& t) { t.AddLine(ErrorPageLine(t, 2, 0)); }, {}, 1, "MD5 "},
    {"PageOfTheListedSizeOverSocketLibrary", [](Faults& t) { t.AddLine(ErrorPageLine(t, 2, 1)); }, {}, 1, "MD5 "},
    {"PageOfTheListedSizeOverWinInet", [](Faults& t) { t.AddLine(ErrorPageLine(t, 2, 2)); }, {}, 1, "MD5 "},
    {"PageOfTheListedSizeInACabinet",
     [](Faults& t) {
       std::string l = t.inst.ServeCabinet("%ROOT%\\Data\\escaped.txt.cab", "Data/escaped.txt.cab", "escaped.txt",
                                           kBadGateway);
       t.AddLine(l.replace(l.find('=') + 1, 32, kAnyMd5));
     },
     {}, 1, "MD5 "},
    {"WrongNameOverFrameworkHttp", OverTls(0, &TestPki::wrong_host_cert, &TestPki::wrong_host_key), {}, 0, kWrongName},
    {"WrongNameOverWinInet", OverTls(2, &TestPki::wrong_host_cert, &TestPki::wrong_host_key), {}, 0, kWrongName},
    {"ExpiredOverFrameworkHttp", OverTls(0, &TestPki::expired_cert, &TestPki::expired_key), {}, 0, kExpired},
    {"ExpiredOverWinInet", OverTls(2, &TestPki::expired_cert, &TestPki::expired_key), {}, 0, kExpired},
    {"SelfSignedOverFrameworkHttp", OverTls(0, &TestPki::self_signed_cert, &TestPki::self_signed_key), {}, 0,
     kSelfSigned},
    {"SelfSignedOverWinInet", OverTls(2, &TestPki::self_signed_cert, &TestPki::self_signed_key), {}, 0, kSelfSigned},
    // The framework's HTTP client follows no redirect at all; the socket library speaks no HTTPS.
    {"HttpsToHttpOverFrameworkHttp", OverTls(0, &TestPki::server_cert, &TestPki::server_key, true), {}, 0,
     "StatusCode:[302]"},
    {"HttpsToHttpOverWinInet", OverTls(2, &TestPki::server_cert, &TestPki::server_key, true), {}, 0,
     "Redirect refused: the server redirected from https to http://127.0.0.1:"},
    {"HttpsOverSocketLibrary", OverTls(1, &TestPki::server_cert, &TestPki::server_key), {}, 0,
     "Socket library does not support SSL"},
};

INSTANTIATE_TEST_SUITE_P(Cases, Refused, ::testing::ValuesIn(kRefused), CaseName<TRefused>);

// ---------------------------------------------------------------- the registry store

std::string DeepPath() {
  std::string deep;
  for (int i = 0; i < 50000; ++i) deep += "k\\";
  return deep;
}

struct TStore {
  const char* name;
  std::function<void(Faults&)> prepare;
  int exitCode;
  std::vector<std::string> logged;  // one of these
  std::function<void(Faults&, const std::string& before)> check;
};

void PrintTo(const TStore& c, std::ostream* os) { *os << c.name; }

class Stores : public Faults, public ::testing::WithParamInterface<TStore> {};

TEST_P(Stores, TheVersionIsRecordedOrTheRunFailsAndNoOtherKeyIsLost) {
  const TStore& c = GetParam();
  // Small files only, so that a limited disk still takes the download.
  inst.Serve("bin/app.dll", appDll2);
  OfferForcedSafe({vxtest::LoaderInstall::FileLine("%ROOT%\\bin\\app.dll", appDll2)});
  c.prepare(*this);
  const std::string before = ReadFileBytes(Store());
  inst.Install("DETAILLOG.FLAG", "");
  const vxtest::RunResult r = RunToEnd();
  EXPECT_EQ(r.exitCode, c.exitCode);
  EXPECT_EQ(inst.Logged("업데이트 성공"), c.exitCode == 0) << "a failed run said it succeeded";
  size_t logged = 0;
  for (const auto& text : c.logged) logged += inst.LoggedContaining(text);
  EXPECT_GE(logged, 1u) << c.logged[0];
  EXPECT_TRUE(Installed("bin/app.dll") == appDll2);
  c.check(*this, before);
}

void Unchanged(Faults& t, const std::string& before) { EXPECT_TRUE(ReadFileBytes(t.Store()) == before); }

const TStore kStores[] = {
    {"InstallRegistryOf50000Levels",
     [](Faults& t) {
       const std::string list = ReadFileBytes(t.inst.Srv("update.ini"));
       const std::string key = vxtest::LoaderInstall::kInstallRegistry;
       t.inst.WriteList(std::string(list).replace(list.find(key), key.size(), "HKEY_CURRENT_USER\\" + DeepPath()));
     },
     1, {"The version cannot be recorded in the registry: Cannot open the key"},
     [](Faults& t, const std::string&) { EXPECT_LT(fs::file_size(t.Store()), 64u * 1024); }},
    {"SectionOf50000LevelsInTheStore",
     [](Faults& t) {
       const std::string section = "[HKEY_CURRENT_USER\\" + DeepPath() + "]\r\n\"x\"=\"1\"\r\n";
       WriteFileBytes(t.Store(), ReadFileBytes(t.Store()) + section);
     },
     0, {"사용자 레지스트리에 버전 정보 등록 완료"},
     [](Faults& t, const std::string&) {
       EXPECT_EQ(t.inst.InstalledString("CurVersion"), "1.3.0");
       EXPECT_NE(ReadFileBytes(t.Store()).find(DeepPath() + "]\r\n\"x\"=\"1\""), std::string::npos);
     }},
    {"StoreInUtf16", [](Faults& t) { WriteFileBytes(t.Store(), Utf16(ReadFileBytes(t.Store()))); }, 1,
     {"cannot be read"}, Unchanged},
    {"StoreWithLinesEndedByCrAlone",
     [](Faults& t) {
       WriteFileBytes(t.Store(), StringReplace(ReadFileBytes(t.Store()), "\r\n", "\r", {rfReplaceAll}));
     },
     1, {"cannot be read"}, Unchanged},
    {"StoreThatIsALink",
     [](Faults& t) {
       fs::rename(t.Store(), t.inst.Root() + "/data/user.reg");
       fs::create_symlink("../data/user.reg", t.Store());
     },
     0, {"사용자 레지스트리에 버전 정보 등록 완료"},
     [](Faults& t, const std::string&) {
       EXPECT_TRUE(fs::is_symlink(t.Store()));
       EXPECT_NE(ReadFileBytes(t.inst.Root() + "/data/user.reg").find("\"CurVersion\"=\"1.3.0\""), std::string::npos);
     }},
    {"StoreOnAFullDisk",
     [](Faults& t) {
       std::string others;
       for (int i = 0; i < 4000; ++i)
         others += "[HKEY_CURRENT_USER\\Software\\Other\\K" + std::to_string(i) + "]\r\n\"V\"=\"" +
                   std::string(40, 'v') + "\"\r\n\r\n";
       WriteFileBytes(t.Store(), ReadFileBytes(t.Store()) + others);
       t.LimitFileSize(200);
     },
     1, {"No space left on device", "File too large"}, Unchanged},
};

INSTANTIATE_TEST_SUITE_P(Cases, Stores, ::testing::ValuesIn(kStores), CaseName<TStore>);

// ---------------------------------------------------------------- files on disk

TEST_F(Faults, AMissingFileIsFetchedAlsoWhenItsSizeIsUnknown) {
  const std::string fresh = "new in 1.3.0\r\n";
  inst.Serve("Data/new.txt", fresh);
  auto files = Release13();
  files.push_back("%ROOT%\\Data\\new.txt=" + vxtest::Md5Hex(fresh) + ",-1,-1");
  OfferForcedSafe(files);
  EXPECT_EQ(RunToEnd().exitCode, 0);
  EXPECT_EQ(Installed("Data/new.txt"), fresh);
}

struct TUnsized {
  const char* name;
  const char* fault;  // for the file the fast list names without a size
  int exitCode;
};

void PrintTo(const TUnsized& c, std::ostream* os) { *os << c.name; }

class Unsized : public Faults, public ::testing::WithParamInterface<TUnsized> {};

TEST_P(Unsized, AFileWithoutASizeMustHaveItsMd5) {
  const TUnsized& c = GetParam();
  OfferForcedSafe();
  OfferFast("[FILES]\r\n%ROOT%\\bin\\app.dll=" + vxtest::Md5Hex(appDll2) + "\r\n");
  inst.Server().SetFaults(c.fault);
  EXPECT_EQ(RunToEnd({"-FU"}).exitCode, c.exitCode);
  EXPECT_TRUE(Installed("bin/app.dll") == (c.exitCode == 0 ? appDll2 : appDll));
  EXPECT_EQ(inst.InstalledString("CurVersion"), c.exitCode == 0 ? "1.3.0" : "1.2.0");
  EXPECT_EQ(inst.LoggedContaining("differs from the list's " + vxtest::Md5Hex(appDll2)), c.exitCode == 0 ? 0u : 1u);
}

INSTANTIATE_TEST_SUITE_P(Cases, Unsized,
                         ::testing::Values(TUnsized{"TheFile", "", 0},
                                           TUnsized{"AnErrorPageInItsPlace", "/bin/app.dll html\n", 1},
                                           TUnsized{"ABodyCutByTheClose", "/bin/app.dll close 5000\n", 1}),
                         CaseName<TUnsized>);

class NoFastRecord : public Faults, public ::testing::WithParamInterface<const char*> {};

TEST_P(NoFastRecord, MakesTheFastUpdateShownASafeOne) {
  InstallRelease12();  // the fast update shows as chosen, and nobody answers
  WriteList({.version = "1.3.0", .install = {}, .files = Release13(), .fast = GetParam(), .more = {}});
  inst.Serve("fast/130.ini", "[FILES]\r\n");
  EXPECT_EQ(RunToEnd().exitCode, 0);
  EXPECT_TRUE(inst.Logged("The fast update lists name no file for version 1.3.0: a safe update is done instead"));
  EXPECT_TRUE(Installed("bin/app.dll") == appDll2);
  EXPECT_EQ(inst.InstalledString("CurVersion"), "1.3.0");
  EXPECT_EQ(inst.InstalledInteger("UpdateType"), 0) << "the choice stays the fast update";
}

INSTANTIATE_TEST_SUITE_P(FastUpdateSections, NoFastRecord,
                         ::testing::Values("", "1.2.0=/fast/120.ini\r\n", "1.3.0=/fast/130.ini\r\n"));

TEST_F(Faults, ScratchThatAKilledRunLeftIsRemovedByTheNextRun) {
  // Made by a process that has ended (no process number reaches 999999999).
  const std::string hex = "~999999999-0123456789abcdef";
  OfferForcedSafe();
  // Another title's updater at work on a listed file here: this process.
  const std::string live = CreateUniqueName(inst.App("bin/app.dll"), ".part", false);
  ASSERT_FALSE(live.empty());
  const std::pair<std::string, bool> entries[] = {  // below the root; removed
      {"app/bin/app.dll" + hex + ".part", true}, {"app/bin/big.dll.cab" + hex + ".unpack/res/big.dll", true},
      {"app/update.ini" + hex + ".part", true}, {"app/_Temp/130.ini" + hex + ".part", true},
      {"app/bin/app.dll" + hex + ".copy", true}, {"app/Data/keep.cfg" + hex + ".new", true},
      {"registry/HKEY_CURRENT_USER.reg.999999999.tmp", true},
      // A live process's, of a file the run does not work on, of another shape.
      {"registry/HKEY_CURRENT_USER.reg." + std::to_string(getpid()) + ".tmp", false},
      {live.substr(inst.Root().size() + 1), false},
      {"app/bin/app.dll~" + std::to_string(getpid()) + "-0123456789abcdef.new", false},
      {"app/Data/notes.txt" + hex + ".part", false}, {"app/bin/app.dll~0123456789abcdef.part", false},
      {"app/bin/app.dll~999999999-0123456789abcde.part", false}, {"data/outside/kept.txt", false}};
  for (const auto& [path, removed] : entries) cabtest::WriteFile(inst.Root() + "/" + path, "left");
  fs::create_symlink(inst.Root() + "/data/outside", inst.App("bin/big.dll.cab" + hex + ".unpack/res/link"));
  EXPECT_EQ(RunToEnd().exitCode, 0);
  for (const auto& [path, removed] : entries) EXPECT_NE(fs::exists(inst.Root() + "/" + path), removed) << path;
}

TEST_F(Faults, FilesNamedLikeScratchFilesAreLeftAlone) {
  // Names that scratch files once had, and that anybody may give a file or a folder.
  inst.Install("bin/app.dll.part", "notes of a person");
  inst.Install("Data/plain.dat.part", "more notes");
  inst.Install("bin/big.dll.cab.unpack/inside.txt", "a folder of a person");
  const std::string big2 = cabtest::TestBytes(1 << 20, 9, true);
  auto files = Release13();
  files[1] = inst.ServeCabinet("%ROOT%\\bin\\big.dll.cab", "bin/big.dll.cab", "big.dll", big2);
  OfferForcedSafe(files);
  EXPECT_EQ(RunToEnd().exitCode, 0);
  EXPECT_TRUE(Installed("bin/big.dll") == big2);
  EXPECT_EQ(Installed("bin/app.dll.part"), "notes of a person");
  EXPECT_EQ(Installed("Data/plain.dat.part"), "more notes");
  EXPECT_EQ(Installed("bin/big.dll.cab.unpack/inside.txt"), "a folder of a person");
  // Nothing of the run is left behind.
  std::vector<std::string> left;
  for (const char* dir : {"bin", "Data"})
    for (const auto& e : fs::directory_iterator(inst.App(dir))) left.push_back(e.path().filename().string());
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"a b.xml", "app.dll", "app.dll.part", "big.dll", "big.dll.cab.unpack",
                                            "keep.cfg", "plain.dat", "plain.dat.part"}));
}

TEST_F(Faults, ACabinetAppliedInPartIsAppliedAgainByTheNextRun) {
  // x.dll comes packed with two more files; one of them cannot be put in place at first.
  const std::string x = RandomBytes(20000, 31), dat = RandomBytes(3000, 32), txt = "notes\r\n";
  TempFolder pack;
  cabtest::SetLayout layout;
  layout.typeCompress = 1;
  cabtest::WriteCabinetSet(pack.Path(), {"x.cab"}, {{"x.dll", x}, {"x.dat", dat}, {"sub\\y.txt", txt}}, layout);
  const std::string cab = ReadFileBytes(pack / "x.cab");
  inst.Serve("lib/x.dll.cab", cab);
  auto files = Release13();
  files.push_back("%ROOT%\\lib\\x.dll.cab=" + vxtest::Md5Hex(x) + "," + std::to_string(x.size()) + "," +
                  std::to_string(cab.size()));
  OfferForcedSafe(files);
  inst.Install("lib/x.dat/in the way", "");

  EXPECT_EQ(RunToEnd().exitCode, 1);
  EXPECT_FALSE(fs::exists(inst.App("lib/x.dll"))) << "the file the list names comes last";
  EXPECT_EQ(inst.LoggedContaining("x.dat [Is a directory]"), 1u);
  EXPECT_EQ(inst.InstalledString("CurVersion"), "1.2.0");

  fs::remove_all(inst.App("lib/x.dat"));
  EXPECT_EQ(RunToEnd().exitCode, 0);
  EXPECT_TRUE(Installed("lib/x.dll") == x);
  EXPECT_TRUE(Installed("lib/x.dat") == dat);
  EXPECT_EQ(Installed("lib/sub/y.txt"), txt);
  EXPECT_EQ(inst.InstalledString("CurVersion"), "1.3.0");
}

TEST_F(Faults, TheClientsSettingsSurviveAFullDisk) {
  std::string settings = "Mode=old\r\nUser=x\r\n";
  for (int i = 0; i < 6000; ++i) settings += "Setting" + std::to_string(i) + "=" + std::string(40, 's') + "\r\n";
  inst.Install("settings.txt", settings);
  const std::string xml2 = "<?xml version=\"1.0\"?>\r\n<config mode=\"newer\"/>\r\n";
  inst.Serve("Data/a b.xml", xml2);
  OfferForcedSafe({vxtest::LoaderInstall::FileLine("%ROOT%\\Data\\a b.xml", xml2)});
  LimitFileSize(200);
  EXPECT_EQ(RunToEnd().exitCode, 0);
  EXPECT_EQ(Installed("Data/a b.xml"), xml2);
  EXPECT_TRUE(Installed("settings.txt") == settings) << "cut by the full disk";
  EXPECT_TRUE(inst.Logged("ActWriteKeyValueFile False WRITEKEYVALUEFILE"));
}

// x.dll packed into Folder with More (or Many entries of a byte, each declaring Declared
// bytes) and listed with Listed bytes: the file fails or an entry is skipped, said once
// (Logged); Kept stays as it was, else the other entries come as x.dll does.
// A Line is listed below %ROOT%, where "Via" links to the install folder; Fast offers all lines as a fast list.
struct TPacked {
  const char *name, *folder;
  std::vector<cabtest::Entry> more;
  int exitCode;
  const char *logged, *kept = "";
  int64_t listed = 20000, many = 0, declared = -1;
  const char* line = "";
  bool fast = false;
};
void PrintTo(const TPacked& c, std::ostream* os) { *os << c.name; }
class Packed : public Faults, public ::testing::WithParamInterface<TPacked> {};

TEST_P(Packed, EntriesAreHeldToTheRulesOfAListedFile) {
  const TPacked& c = GetParam();
  const std::string x = RandomBytes(20000, 31), kept = *c.kept ? Installed(c.kept) : "", at = c.folder;
  std::vector<cabtest::Entry> entries{{"x.dll", x}};
  entries.insert(entries.end(), c.more.begin(), c.more.end());
  for (int i = 0; i < c.many; ++i) entries.push_back({.name = "m\\" + std::to_string(i), .data = "m", .declaredSize = c.declared});
  TempFolder pack;
  const std::string cab = ReadFileBytes(cabtest::WriteCabinetSet(pack.Path(), {"x.cab"}, entries, {})[0]);
  inst.Serve(at + "x.dll.cab", cab);
  fs::create_directory_symlink(".", inst.App("Via"));
  OfferForcedSafe();
  if (*c.line) AddLine(vxtest::LoaderInstall::FileLine("%ROOT%\\" + std::string(c.line), "packed"));
  AddLine("%ROOT%\\" + at + "x.dll.cab=" + vxtest::Md5Hex(x) + "," + std::to_string(c.listed) + "," +
          std::to_string(cab.size()));
  if (c.fast) { inst.Serve("Loader.ini", inst.IniText()); OfferFast(ReadFileBytes(inst.Srv("update.ini"))); }
  EXPECT_EQ(RunToEnd(c.fast ? std::vector<std::string>{"-FU"} : std::vector<std::string>{}, {}, 300).exitCode, c.exitCode);
  EXPECT_EQ(inst.LoggedContaining(c.logged), 1u) << c.logged;
  EXPECT_TRUE(!*c.kept || Installed(c.kept) == kept) << c.kept;
  for (size_t i = 0; i < (*c.kept ? 1 : entries.size()); ++i)  // x.dll first
    ASSERT_EQ(fs::exists(inst.App(at + StringReplace(entries[i].name, "\\", "/", {rfReplaceAll}))), !c.exitCode);
}

const TPacked kPacked[] = {
    {"AnExcludedFile", "Data/", {{"keep.cfg", "packed"}}, 0, "is not installed: [NoUpdateFiles]", "Data/keep.cfg"},
    {"TheProgram", "", {{"loader", "packed"}}, 0, "is not installed: it is the updater's own", "loader"},
    {"TheProgramByItsListedName", "", {{"LOADER.EXE", "packed"}}, 0, "updater's own", "loader"},
    {"TheConfiguration", "", {{"Loader.INI", "packed"}}, 0, "updater's own", "loader.ini"},
    {"AnExcludedFileByExe", "", {{"Data\\keep.cfg.exe", "packed"}}, 0, "is not installed: [NoUpdateFiles]", "Data/keep.cfg"},
    {"AnExcludedFileByALink", "", {{"Via\\Data\\keep.cfg", "packed"}}, 0, "is not installed: [NoUpdateFiles]", "Data/keep.cfg"},
    {"TheConfigurationByExe", "", {{"Loader.ini.exe", "packed"}}, 0, "updater's own", "loader.ini"},
    {"TheProgramByALinkAndExe", "", {{"Via\\Loader.exe", "packed"}}, 0, "updater's own", "loader"},
    {"AnExcludedFileThatAMacroNames", "", {{"Data\\mine.cfg", "packed"}}, 0, "is not installed: [NoUpdateFiles]", "Data/mine.cfg"},
    {"ANameThatOnlyLooksExcluded", "Data/", {{"keep.cfg2", "packed"}}, 0, "정상 종료"},
    {"AListedExcludedFileByExe", "", {}, 0, "keep.cfg.exe\" is skipped: [NoUpdateFiles]", "Data/keep.cfg", 20000, 0, -1, "Data\\keep.cfg.exe"},
    {"AListedExcludedFileByCaseAndClimb", "", {}, 0, "Keep.cfg\" is skipped: [NoUpdateFiles]", "Data/keep.cfg", 20000, 0, -1, "bin/../DATA\\Keep.cfg"},
    {"AListedExcludedFileByALink", "", {}, 0, ".\\keep.cfg\" is skipped: [NoUpdateFiles]", "Data/keep.cfg", 20000, 0, -1, "Via\\Data\\.\\keep.cfg"},
    {"AListedConfigurationByExe", "", {}, 0, "Loader.ini.exe\" is skipped: it is the updater's own", "loader.ini", 20000, 0, -1, "Loader.ini.exe"},
    {"AFastListedConfigurationByExe", "", {}, 0, "Loader.ini.exe\" is skipped: it is the updater's own", "loader.ini", 20000, 0, -1, "Loader.ini.exe", true},
    {"ANameWithAnEscapeFirst", "", {{"\x1b[2Jy.txt", "packed"}}, 1, "\"?[2Jy.txt\" is refused: it holds a control character"},
    {"ANameWithANewlineLast", "", {{"y.txt\n", "packed"}}, 1, "\"y.txt?\" is refused: it holds a control character"},
    {"ANameOfAControlCharacterAlone", "", {{"\x01", "packed"}}, 1, "\"?\" is refused: it holds a control character"},
    {"ANameWithALeadingBlank", "", {{" y.txt", "packed"}}, 1, "\" y.txt\" is refused: it begins or ends with a blank"},
    {"ANameWithATrailingBlank", "", {{"y.txt ", "packed"}}, 1, "\"y.txt \" is refused: it begins or ends with a blank"},
    {"ANameWithANewline", "", {{"x\ny.txt", "packed"}}, 1, "\"x?y.txt\" is refused: it holds a control character"},
    {"ANameWithAnEscape", "", {{"x\x1b[2J.txt", "packed"}}, 1, "is refused: it holds a control character"},
    {"TheListedFileOfAnotherSize", "", {}, 1, "the cabinet declares 20000 bytes for x.dll, the list 15", "", 15},
    {"MoreThanItsDiskHolds", "", {}, 1, " free on its disk", "", 20000, 65000, 0xFFFFFFFF},
    {"OfSixtyFiveThousandEntries", "", {}, 0, "정상 종료", "", 20000, 65000}};
INSTANTIATE_TEST_SUITE_P(Cases, Packed, ::testing::ValuesIn(kPacked), CaseName<TPacked>);

// The program by the name it has here goes to the self-updater, as by its listed name.
class ProgramByItsName : public Faults, public ::testing::WithParamInterface<bool> {};

TEST_P(ProgramByItsName, IsHandedOverInTheSafeAndTheFastUpdate) {
  const std::string loader = Installed("loader"), next = loader + "; the next release";
  inst.Serve("Loader", next);
  auto files = Release13();
  files[5] = vxtest::LoaderInstall::FileLine("%ROOT%\\Loader", next);  // in place of Loader.exe
  OfferForcedSafe(files);
  if (GetParam()) OfferFast("[FILES]\r\n" + files[5] + "\r\n");
  EXPECT_EQ(RunToEnd(GetParam() ? std::vector<std::string>{"-FU"} : std::vector<std::string>{}).exitCode, 2);
  EXPECT_TRUE(Installed("loader") == loader && ReadFileBytes(inst.App("_Temp/Loader")) == next);
}
INSTANTIATE_TEST_SUITE_P(SafeThenFast, ProgramByItsName, ::testing::Bool());

// What the link leads to is small (the lines would go on at its end) or over the log's
// limit (it would be emptied).
class LogThatIsALink : public Faults, public ::testing::WithParamInterface<size_t> {};

TEST_P(LogThatIsALink, IsStartedAnewAndWhatItLedToIsLeftAlone) {
  const std::string other = std::string(GetParam(), 'o');
  WriteFileBytes(inst.Root() + "/data/kept.txt", other);
  fs::create_symlink(inst.Root() + "/data/kept.txt", inst.App("LoaderLog.log"));
  InstallRelease12();
  List l;
  l.files = Release12();
  WriteList(l);
  EXPECT_EQ(RunToEnd().exitCode, 0);
  EXPECT_TRUE(ReadFileBytes(inst.Root() + "/data/kept.txt") == other);
  EXPECT_FALSE(fs::is_symlink(inst.App("LoaderLog.log")));
  EXPECT_TRUE(inst.Logged("Server URL: " + inst.ServerUrl() + "update.ini"));
}

INSTANTIATE_TEST_SUITE_P(TargetSizes, LogThatIsALink, ::testing::Values(100, 1100 * 1024));

// ---------------------------------------------------------------- what failed, said so

class FullDisk : public Faults, public ::testing::WithParamInterface<int> {};

TEST_P(FullDisk, DuringADownloadIsSaidAndFailsTheRun) {
  Ini({{"SocketType", std::to_string(GetParam())}});
  const std::string huge = RandomBytes(600 * 1024, 41);
  inst.Serve("Data/huge.dat", huge);
  auto files = Release13();
  files.push_back(vxtest::LoaderInstall::FileLine("%ROOT%\\Data\\huge.dat", huge));
  const std::string big2 = cabtest::TestBytes(1 << 20, 9, true);
  files[1] = inst.ServeCabinet("%ROOT%\\bin\\big.dll.cab", "bin/big.dll.cab", "big.dll", big2);
  OfferForcedSafe(files);
  LimitFileSize(400);
  EXPECT_EQ(RunToEnd().exitCode, 1);
  const auto log = ::testing::PrintToString(inst.LogMessages());
  EXPECT_EQ(inst.LoggedContaining("Failure writing to target file [0x0008].\r\nFile too large"), 1u) << log;
  EXPECT_EQ(inst.LoggedContaining("Cannot write"), 1u) << log;
  EXPECT_EQ(inst.LoggedContaining("huge.dat\": Stream write error: File too large"), 1u) << log;
  EXPECT_EQ(inst.LoggedContaining("StatusCode:[200]"), 0u);
  EXPECT_FALSE(fs::exists(inst.App("Data/huge.dat")));
  EXPECT_TRUE(Installed("bin/app.dll") == appDll2) << "the other files still come";
  EXPECT_EQ(inst.InstalledString("CurVersion"), "1.2.0");
}

// 0 the framework's HTTP client, 1 the socket library, 2 the WinINet stand-in.
std::string TransportName(const ::testing::TestParamInfo<int>& info) {
  return info.param == 0 ? "FrameworkHttp" : info.param == 1 ? "SocketLibrary" : "WinInet";
}

INSTANTIATE_TEST_SUITE_P(Transports, FullDisk, ::testing::Values(0, 1), TransportName);

// The server's fault for Data/plain.dat (listed with its 6000 bytes) and the cause said
// in the one log line about it; a redirect that the transport follows (all but the
// framework's client do) brings the file instead.
struct TServerFault {
  const char* name;
  const char* fault;
  const char* cause;
  bool redirect = false;
};

void PrintTo(const TServerFault& c, std::ostream* os) { *os << c.name; }

class HostileServer : public Faults, public ::testing::WithParamInterface<std::tuple<TServerFault, int>> {};

TEST_P(HostileServer, FailsItsFileWithTheCauseOrFollowsTheRedirectAndTheRestComes) {
  const auto [c, socketType] = GetParam();
  const bool follows = c.redirect && socketType != 0;
  Ini({{"SocketType", std::to_string(socketType)}});
  OfferForcedSafe();
  inst.Server().SetFaults(std::string("/Data/plain.dat ") + c.fault + "\n");
  inst.env["VX_LOW_SPEED_TIME"] = "4";
  EXPECT_EQ(RunToEnd({}, {}, 120).exitCode, follows ? 0 : 1);
  const std::vector<std::string> log = inst.LogMessages();
  EXPECT_EQ(std::count_if(log.begin(), log.end(), [&](const std::string& m) {
              return m.find("plain.dat]") != std::string::npos && m.find(c.cause) != std::string::npos;
            }), follows ? 0 : 1) << ::testing::PrintToString(log);
  EXPECT_TRUE(Installed("Data/plain.dat") == (follows ? plain2 : plain)) << "the installed file stays";
  for (const auto& e : fs::directory_iterator(inst.App("Data"))) EXPECT_NE(e.path().extension(), ".part");
  EXPECT_TRUE(Installed("bin/app.dll") == appDll2) << "the other files still come";
  EXPECT_EQ(inst.InstalledString("CurVersion"), follows ? "1.3.0" : "1.2.0");
}

// Each but the trickle (4 bytes a second: 25 minutes for the file) would never end.
const TServerFault kServerFaults[] = {
    {"Trickle", "trickle 250", "Operation too slow"},
    {"EndlessChunkedBody", "endless", "The body runs past the 6000 bytes expected"},
    {"ATebibyteAnnounced", "trickle 1 1099511627776",
     "The reply announces 1099511627776 bytes, more than the 6000 expected"},
    {"HeaderLineOf50MB", "header 50000000", "Header line too long"},
    // The status as each transport says it: "StatusCode:[503]", "status 503]".
    {"ErrorPageWhoseBodyNeverEnds", "status 503 endless", "503]"},
    {"RedirectWhoseBodyNeverEnds", "redirect /Data/plain.dat?moved endless", "302]", true},
};

INSTANTIATE_TEST_SUITE_P(Transports, HostileServer,
                         ::testing::Combine(::testing::ValuesIn(kServerFaults), ::testing::Values(0, 1, 2)),
                         [](const ::testing::TestParamInfo<std::tuple<TServerFault, int>>& info) {
                           return std::get<0>(info.param).name +
                                  TransportName({std::get<1>(info.param), info.index});
                         });

class OverTlsTransports : public Faults, public ::testing::WithParamInterface<int> {};

TEST_P(OverTlsTransports, TheServerOfTheRightNameAndDatesServesTheUpdate) {
  OfferForcedSafe();
  OverTls(GetParam(), &TestPki::server_cert, &TestPki::server_key);
  EXPECT_EQ(RunToEnd().exitCode, 0);
  EXPECT_TRUE(Installed("bin/app.dll") == appDll2);
  EXPECT_EQ(inst.InstalledString("CurVersion"), "1.3.0");
}

INSTANTIATE_TEST_SUITE_P(HttpsTransports, OverTlsTransports, ::testing::Values(0, 2), TransportName);

TEST_F(Faults, AnInstallFolderThatCannotBeWrittenIsSaidAndFailsTheRun) {
  OfferForcedSafe();
  WriteFileBytes(inst.App("LoaderLog.log"), "");
  chmod(inst.App("LoaderLog.log").c_str(), 0666);
  if (geteuid() == 0) {
    // The superuser writes anywhere: the run goes as nobody, who may use the rest.
    chmod(inst.Root().c_str(), 0755);
    for (const char* dir : {"records", "work", "data", "registry"}) chmod((inst.Root() + "/" + dir).c_str(), 0777);
    inst.prefix = vxtest::AsNobody(inst.App("loader"), inst.Root() + "/bin");
  }
  chmod(inst.App().c_str(), 0555);
  const vxtest::RunResult r = RunToEnd();
  chmod(inst.App().c_str(), 0755);
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_GE(inst.LoggedContaining("Cannot write \"" + inst.App() + "/update.ini\""), 1u);
  EXPECT_EQ(inst.LoggedContaining("인터넷에 연결되어 있지 않거나"), 0u);
  EXPECT_TRUE(inst.Logged("업데이트 실패에 의한 종료"));
  ExpectRelease12Installed();
  EXPECT_EQ(Recorded("launched.txt"), inst.App() + "|/fail\n");
}

}  // namespace
