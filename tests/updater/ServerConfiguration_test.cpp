#include "updater/ServerConfiguration.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include "platform/rtl/registry.h"
#include "tests/support/TempFolder.h"
#include "updater/ClientConfiguration.h"

namespace {

const std::string kMD5 = "0123456789abcdef0123456789abcdef";

// The program-wide configuration of a program in a fresh folder whose server URL
// is http://127.0.0.1:8000/app/.
class ServerConfigTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("VX_REGISTRY_DIR", (dir_ / "registry").c_str(), 1);
    WriteFileBytes(dir_ / "loader.ini", "[INFO]\r\nServerURL=http://127.0.0.1:8000/app\r\n");
    ClientConfig = std::make_unique<TClientConfiguration>(dir_ / "loader");
    ClientConfig->SystemDir = "/sys32";
    root_ = ClientConfig->RootDir;
  }
  void TearDown() override {
    ClientConfig.reset();
    unsetenv("VX_REGISTRY_DIR");
  }
  std::unique_ptr<TServerConfiguration> Load(const std::string& text) {
    WriteFileBytes(dir_ / "update.ini", text);
    return std::make_unique<TServerConfiguration>(dir_ / "update.ini");
  }

  TempFolder dir_;
  std::string root_;
};

TEST_F(ServerConfigTest, EmptyListGivesTheDefaults) {
  auto s = std::make_unique<TServerConfiguration>(dir_ / "missing.ini");
  EXPECT_EQ(s->MD5Extensions()->CommaText(), "js,xml,exe,dll,ocx");
  EXPECT_EQ(s->GetLimitedDay(), 90);
  EXPECT_FALSE(s->GetForceSafetyUpdate());
  EXPECT_TRUE(s->GetEnableVersionCheck());
  EXPECT_FALSE(s->GetWebViewURL().empty());
  EXPECT_EQ(s->GetVersionInfo(), "");
  EXPECT_EQ(s->GetVersionRegistry(), "\\");
  EXPECT_EQ(s->SelfRegFiles(), nullptr);
  EXPECT_EQ(s->ScriptExtNames(), nullptr);
  EXPECT_EQ(s->ScriptConditions(), nullptr);
  EXPECT_EQ(s->ScriptActions(), nullptr);
  EXPECT_EQ(s->GetFileCount(), 0);
  EXPECT_EQ(s->GetSelfUpdateCount(), 0);
  EXPECT_EQ(s->GetFastUpdateCount(), 0);
  EXPECT_EQ(s->GetFileItem(0), nullptr);
  EXPECT_EQ(s->IndexOfFile("x"), -1);
  EXPECT_EQ(s->LoadFileList(), -1);
}

TEST_F(ServerConfigTest, InstallAndLaunchValues) {
  auto s = Load(
      "; comment line\r\n"
      "[install]\r\n"
      "ExtNameToMD5= xml, ,dll,,exe\r\n"
      "Icon=%ROOT%\\app.ico\r\n"
      "installregistry=HKEY_CURRENT_USER\\Software\\Pelmora\\E2E\\\r\n"
      "VersionRegistry=Version\r\n"
      "VersionInfo=1.2.0\r\n"
      "DatabaseVersionInfo=7\r\n"
      "UpdateDate=20240105\r\n"
      "LimitedDay=30\r\n"
      "ForceSafetyUpdate=1\r\n"
      "EnableVersionCheck=0\r\n"
      "ServiceTellNo=02-123-4567\r\n"
      "[LAUNCH]\r\n"
      "Bin=%ROOT%\\CLIENT.EXE\r\n"
      "Param=-Mode:Run\r\n"
      "SelfUpdater=%ROOT%\\qx.exe\r\n");
  EXPECT_EQ(s->MD5Extensions()->CommaText(), "xml,dll,exe");
  EXPECT_EQ(s->GetIcon(), root_ + "\\app.ico");
  EXPECT_EQ(s->GetInstallRegistry(), "HKEY_CURRENT_USER\\Software\\Pelmora\\E2E");
  EXPECT_EQ(s->GetVersionRegistry(), "\\Version");
  EXPECT_EQ(s->GetVersionInfo(), "1.2.0");
  EXPECT_EQ(s->GetDatabaseVersionInfo(), "7");
  EXPECT_EQ(s->GetUpdateDate(), "20240105");
  EXPECT_EQ(s->GetLimitedDay(), 30);
  EXPECT_TRUE(s->GetForceSafetyUpdate());
  EXPECT_FALSE(s->GetEnableVersionCheck());
  EXPECT_EQ(s->GetServiceTellNo(), "02-123-4567");
  EXPECT_EQ(s->GetLaunchBin(), root_ + "\\CLIENT.EXE");
  EXPECT_EQ(s->GetLaunchParam(), "-Mode:Run");
  EXPECT_EQ(s->GetSelfUpdater(), root_ + "\\qx.exe");
  // Loading the list read the installed version from the key it names.
  EXPECT_EQ(ClientConfig->VersionRootKey, HKEY_CURRENT_USER);
  EXPECT_EQ(ClientConfig->VersionKeyPath, "\\SOFTWARE\\PELMORA\\E2E");
}

TEST_F(ServerConfigTest, LoadingReadsTheInstalledVersion) {
  {
    TRegistry reg;
    reg.SetRootKey(HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(reg.OpenKey("\\SOFTWARE\\ACME\\VERSION", true));
    reg.WriteString("CurVersion", "1.1.0");
    reg.WriteInteger("UpdateType", 0);
  }
  auto s = Load("[INSTALL]\ninstallregistry=HKEY_LOCAL_MACHINE\\Software\\Acme\nVersionRegistry=\\Version\n");
  EXPECT_EQ(ClientConfig->CurVersion, "1.1.0");
  EXPECT_EQ(ClientConfig->UpdateType, 0);
}

TEST_F(ServerConfigTest, FileListRules) {
  auto s = Load("[FILES]\r\n"
                "%ROOT%\\bin\\app.dll.cab=" + kMD5 + ",300,120\r\n"
                "%ROOT%\\Data\\a b.xml= " + kMD5 + " , 10 , 10 \r\n"
                "%ROOT%\\two.dll=" + kMD5 + ",100\r\n"
                "%ROOT%\\four.dll=" + kMD5 + ",100,50,7\r\n"
                "%ROOT%\\gap.dll=" + kMD5 + ",,100,50\r\n"
                "no equals sign\r\n"
                "=" + kMD5 + ",1,1\r\n"
                "\r\n"
                "%SYSTEM%\\x.ocx=" + kMD5 + ",5,5\r\n"
                "%ROOT%\\loader.exe.cab=" + kMD5 + ",9,4\r\n"
                "%ROOT%\\loader.cab=" + kMD5 + ",9,4\r\n"
                "%ROOT%\\Loader.ini=" + kMD5 + ",3,3\r\n"
                "%ROOT%\\sub\\QX.exe=" + kMD5 + ",8,8\r\n"
                "%ROOT%\\big.dat=" + kMD5 + ",5368709123,5368709123\r\n");
  EXPECT_EQ(s->LoadFileList(), 8);
  ASSERT_EQ(s->GetFileCount(), 9);
  EXPECT_EQ(s->RefusedLines(), (std::vector<std::string>{"%ROOT%\\two.dll: it has 2 value fields, not 3",
                                                         "%ROOT%\\four.dll: it has 4 value fields, not 3"}));

  const TUpdateFileItem* cab = s->GetFileItem(0);
  EXPECT_EQ(cab->LocalPath, root_ + "\\bin\\app.dll.cab");
  EXPECT_EQ(cab->FileURL, "http://127.0.0.1:8000/app/bin/app.dll.cab");
  EXPECT_EQ(cab->MD5, kMD5);
  EXPECT_EQ(cab->FileSize, 300);
  EXPECT_EQ(cab->DownloadSize, 120);

  const TUpdateFileItem* blank = s->GetFileItem(1);
  EXPECT_EQ(blank->FileURL, "http://127.0.0.1:8000/app/Data/a b.xml");  // blanks encoded later
  EXPECT_EQ(blank->MD5, kMD5);
  EXPECT_EQ(blank->FileSize, 10);

  EXPECT_EQ(s->GetFileItem(2)->LocalPath, root_ + "\\gap.dll");  // the empty field is dropped
  EXPECT_EQ(s->GetFileItem(2)->FileSize, 100);
  EXPECT_EQ(s->GetFileItem(3)->LocalPath, "/sys32\\x.ocx");
  EXPECT_EQ(s->GetFileItem(3)->FileURL, "http://127.0.0.1:8000/app/x.ocx");
  EXPECT_EQ(s->GetFileItem(8)->FileSize, int64_t{5368709123});

  // The updater's own files stand in both lists; "loader.cab" has one dot only.
  ASSERT_EQ(s->GetSelfUpdateCount(), 3);
  EXPECT_EQ(s->GetSelfUpdateItem(0)->LocalPath, root_ + "\\loader.exe.cab");
  EXPECT_EQ(s->GetSelfUpdateItem(1)->LocalPath, root_ + "\\Loader.ini");
  EXPECT_EQ(s->GetSelfUpdateItem(2)->LocalPath, root_ + "\\sub\\QX.exe");
  EXPECT_EQ(s->GetSelfUpdateItem(3), nullptr);

  EXPECT_EQ(s->IndexOfFile("APP.DLL"), 0);
  EXPECT_EQ(s->IndexOfFile("a b.xml"), 1);
  EXPECT_EQ(s->IndexOfFile("loader"), 5);  // "loader.cab" without its extension
  EXPECT_EQ(s->IndexOfFile("nothing.dll"), -1);
}

TEST_F(ServerConfigTest, BadSizeStopsTheListButKeepsEarlierRecords) {
  auto s = Load("[FILES]\n%ROOT%\\a.dll=" + kMD5 + ",1,1\n%ROOT%\\b.dll=" + kMD5 +
                ",12kb,1\n%ROOT%\\c.dll=" + kMD5 + ",1,1\n");
  EXPECT_THROW(s->LoadFileList(), EConvertError);
  ASSERT_EQ(s->GetFileCount(), 1);
  EXPECT_EQ(s->GetFileItem(0)->LocalPath, root_ + "\\a.dll");
}

TEST_F(ServerConfigTest, FastUpdateLists) {
  auto s = Load("[FASTUPDATE]\n1.1.0=/fast/110.ini\nno version\n=/y.ini\n 1.2.0 = fast/120.ini \n1.3.0=//x.ini\n");
  EXPECT_EQ(s->LoadFastUpdateList(), 3);
  EXPECT_EQ(s->GetFastUpdateItem(0)->Version, "1.1.0");
  EXPECT_EQ(s->GetFastUpdateItem(0)->ListPath, "fast/110.ini");
  EXPECT_EQ(s->GetFastUpdateItem(1)->Version, "1.2.0");
  EXPECT_EQ(s->GetFastUpdateItem(1)->ListPath, "fast/120.ini");
  EXPECT_EQ(s->GetFastUpdateItem(2)->ListPath, "/x.ini");  // one leading "/" only
  EXPECT_EQ(s->GetFastUpdateItem(3), nullptr);
}

TEST_F(ServerConfigTest, FastListLinesTakeOneToThreeFields) {
  auto s = Load("");
  TStringList lines;
  lines.Add("%ROOT%\\one.dll=" + kMD5);
  lines.Add("%ROOT%\\two.dll=" + kMD5 + ",100");
  lines.Add("%ROOT%\\three.dll.cab=" + kMD5 + ",100,40");
  lines.Add("%ROOT%\\four.dll=" + kMD5 + ",1,2,3");
  lines.Add("%ROOT%\\none.dll=");
  lines.Add("garbage");
  lines.Add("%ROOT%\\qx.exe=" + kMD5 + ",1,1");
  EXPECT_EQ(s->AddFileList(&lines), 3);
  ASSERT_EQ(s->GetFileCount(), 4);
  EXPECT_EQ(s->RefusedLines(), (std::vector<std::string>{"%ROOT%\\four.dll: it has 4 value fields, not 1 to 3",
                                                         "%ROOT%\\none.dll: it has 0 value fields, not 1 to 3"}));
  EXPECT_EQ(s->GetSelfUpdateCount(), 0);  // fast lists never name the updater's own files

  // Sizes a line does not give are unknown, so the size checks skip them.
  EXPECT_EQ(s->GetFileItem(0)->MD5, kMD5);
  EXPECT_EQ(s->GetFileItem(0)->FileSize, -1);
  EXPECT_EQ(s->GetFileItem(0)->DownloadSize, -1);
  EXPECT_EQ(s->GetFileItem(1)->FileSize, 100);
  EXPECT_EQ(s->GetFileItem(1)->DownloadSize, -1);
  EXPECT_EQ(s->GetFileItem(2)->DownloadSize, 40);

  TStringList empty;
  EXPECT_EQ(s->AddFileList(&empty), -1);
  EXPECT_EQ(s->GetFileCount(), 4);
}

TEST_F(ServerConfigTest, ScriptSections) {
  auto s = Load("[SELFREG]\n1=%ROOT%\\bin\\app.dll\n1=%SYSTEM%\\x.ocx\n"
                "[SCREXTNAME]\n1=xml:WRITEKEYVALUEFILE\n2=dll:RUNTO\n"
                "[SCRCONDITIONALDEFINES]\n1=UPDATESUCCESS:RUNTO\n"
                "[SCRACTION]\n1=WRITEKEYVALUEFILE:settings.txt,Mode,new\n"
                "2=RUNTO:%ROOT%\\x.exe,-s,true\n");
  ASSERT_NE(s->SelfRegFiles(), nullptr);
  ASSERT_EQ(s->SelfRegFiles()->Count(), 2);
  EXPECT_EQ((*s->SelfRegFiles())[0], root_ + "\\bin\\app.dll");
  EXPECT_EQ((*s->SelfRegFiles())[1], "/sys32\\x.ocx");

  ASSERT_NE(s->ScriptExtNames(), nullptr);
  EXPECT_EQ(s->ScriptExtNames()->Values("XML"), "WRITEKEYVALUEFILE");
  EXPECT_EQ(s->ScriptExtNames()->Values("dll"), "RUNTO");
  EXPECT_EQ(s->ScriptConditions()->Values("UPDATESUCCESS"), "RUNTO");

  TStringList* actions = s->ScriptActions();
  ASSERT_NE(actions, nullptr);
  EXPECT_EQ((*actions)[0], "WRITEKEYVALUEFILE=XXXXsettings.txt,Mode,new");
  EXPECT_EQ((*actions)[1], "RUNTO=XXXX%ROOT%\\x.exe,-s,true");
  // A trigger rewrites the flag through the action's name.
  actions->SetValues("RUNTO", "0000" + actions->Values("RUNTO").substr(4));
  EXPECT_EQ((*actions)[1], "RUNTO=0000%ROOT%\\x.exe,-s,true");
  EXPECT_EQ(actions->Count(), 2);
}

}  // namespace

namespace {

// Whatever the server sends, reading the list either works or stops at a size that
// is not a number.
TEST_F(ServerConfigTest, GarbageListsNeverFailOtherwise) {
  for (uint64_t seed = 1; seed <= 40; ++seed) {
    std::string text = RandomBytes(2000, seed);
    for (size_t i = 0; i < text.size(); i += 37) text[i] = "[]=,:\r\n%"[i % 8];
    auto s = Load((seed % 2 ? "[FILES]\r\n" : "[FASTUPDATE]\r\n") + text);
    try {
      s->LoadFileList();
    } catch (const EConvertError&) {
    }
    s->LoadFastUpdateList();
    for (int i = 0; i < s->GetFileCount(); ++i) ASSERT_NE(s->GetFileItem(i), nullptr);
  }
}

}  // namespace
