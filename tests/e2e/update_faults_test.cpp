// Whole update runs against hostile lists, broken registry stores, odd files on disk, a
// full disk and nobody at the screen: every run ends, loses nothing and says what failed.
#include <sys/stat.h>
#include <unistd.h>

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
  void Ini(const std::map<std::string, std::string>& info) {
    inst.WriteIni(info, "[NoUpdateFiles]\r\n1=Data/keep.cfg\r\n");
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
  EXPECT_TRUE(fs::is_regular_file(inst.App("Data/plain.dat")));
  EXPECT_TRUE(Installed("Data/plain.dat") == plain2);
  EXPECT_EQ(Installed("Data/a b.xml"), xml);
}

// ---------------------------------------------------------------- lists and lines refused

const std::string kAnyMd5(32, '0');

struct TRefused {
  const char* name;
  std::function<void(Faults&)> serve;
  std::vector<std::string> params;
  int exitCode;
  const char* logged;
};

void PrintTo(const TRefused& c, std::ostream* os) { *os << c.name; }

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
  const vxtest::RunResult r = RunToEnd();
  EXPECT_EQ(r.exitCode, c.exitCode);
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
       WriteFileBytes(t.Store(), ReadFileBytes(t.Store()) + "[HKEY_CURRENT_USER\\" + DeepPath() + "]\r\n\"x\"=\"1\"\r\n");
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

}  // namespace
