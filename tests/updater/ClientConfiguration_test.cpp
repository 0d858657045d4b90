#include "updater/ClientConfiguration.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include "platform/rtl/registry.h"
#include "tests/support/TempFolder.h"

namespace {

// A program "loader" in a fresh folder, with its ini file and its own registry store.
class ClientConfigTest : public ::testing::Test {
 protected:
  void SetUp() override { setenv("VX_REGISTRY_DIR", (dir_ / "registry").c_str(), 1); }
  void TearDown() override { unsetenv("VX_REGISTRY_DIR"); }

  std::unique_ptr<TClientConfiguration> Make(const std::string& ini) {
    WriteFileBytes(dir_ / "loader.ini", ini);
    return std::make_unique<TClientConfiguration>(dir_ / "loader");
  }
  static void SetRegistryText(HKEY root, const std::string& key, const std::string& name,
                              const std::string& value) {
    TRegistry reg;
    reg.SetRootKey(root);
    ASSERT_TRUE(reg.OpenKey(key, true));
    reg.WriteString(name, value);
  }

  TempFolder dir_;
};

TEST_F(ClientConfigTest, MissingFileGivesTheDefaults) {
  auto c = std::make_unique<TClientConfiguration>(dir_ / "loader");
  EXPECT_EQ(c->GetServerURL(), "");
  EXPECT_EQ(c->GetTitle(), "");
  EXPECT_EQ(c->GetSocketType(), 0);
  EXPECT_EQ(c->GetRestartCount(), 10);
  EXPECT_TRUE(c->GetIsRunWhenUpdateFail());
  EXPECT_EQ(c->GetTotalProgressBarBarColor(), 12760967);
  EXPECT_EQ(c->GetTotalProgressBarBorderColor(), 11316884);
  EXPECT_EQ(c->GetDiscreteProgressBarBarColor(), 12760967);
  EXPECT_EQ(c->GetDiscreteProgressBarBorderColor(), 11316884);
  EXPECT_EQ(c->GetUpdateTypeTop(), 209);
  EXPECT_EQ(c->GetUpdateTypeLeft(), 29);
  EXPECT_EQ(c->UpdateListName, "update.ini");
  EXPECT_EQ(c->RootDir, dir_.Path());
  EXPECT_EQ(c->TempDir, dir_.Path() + "/_Temp");
  EXPECT_EQ(c->BitmapFile, dir_.Path() + "/updater.bmp");
  EXPECT_EQ(c->ExeName, dir_.Path() + "/loader");
  EXPECT_EQ(c->ExeIniName, dir_.Path() + "/loader.INI");
  EXPECT_EQ(c->UpdateType, 2);
  EXPECT_EQ(c->ProxyIP, "");
  EXPECT_EQ(c->ProxyPort, "80");
  EXPECT_FALSE(c->DebugMode);
  EXPECT_EQ(c->NoUpdateFiles()->Count(), 0);
  EXPECT_EQ(c->GetRunExeName(), dir_.Path() + "/");
}

TEST_F(ClientConfigTest, InfoValues) {
  auto c = Make(
      "[info]\r\n"
      "serverurl=http://127.0.0.1:8080/app\r\n"
      "Title=Orvel\r\n"
      "ProductRES=  tavo \r\n"
      "SocketType=2\r\n"
      "RestartCount=x\r\n"
      "DefaultExeNameWhenUpdateFail=client.exe\r\n"
      "IsRunWhenUpdateFail=0\r\n"
      "FastUpdateQuestion=one\\ntwo\\Nthree\\tfour\\T\r\n");
  EXPECT_EQ(c->GetServerURL(), "http://127.0.0.1:8080/app/");
  EXPECT_EQ(c->GetTitle(), "Orvel");
  EXPECT_EQ(c->GetProductRES(), "tavo");
  EXPECT_EQ(c->GetSocketType(), 2);
  EXPECT_EQ(c->GetRestartCount(), 10);  // not a number: the default
  EXPECT_EQ(c->GetDefaultExeNameWhenUpdateFail(), "CLIENT.EXE");
  EXPECT_EQ(c->GetRunExeName(), dir_.Path() + "/CLIENT.EXE");
  EXPECT_FALSE(c->GetIsRunWhenUpdateFail());
  EXPECT_EQ(c->GetFastUpdateQuestion(), "one\rtwo\rthree\tfour\t");

  c = Make("[INFO]\nServerURL=http://h/x/\nProductRES=gold\n");
  EXPECT_EQ(c->GetServerURL(), "http://h/x/");
  EXPECT_EQ(c->GetProductRES(), "");
  c->RunExeName = "/opt/app/run";
  EXPECT_EQ(c->GetRunExeName(), "/opt/app/run");
}

TEST_F(ClientConfigTest, DesignColoursFallBackToTheOlderKeys) {
  auto c = Make("[DESIGN]\nProgressBar1_BarColor=255\nProgressBar2_BorderColor=7\n"
                "DiscreteProgressBarBorderColor=9\nUpdateTypeTop=10\n");
  EXPECT_EQ(c->GetTotalProgressBarBarColor(), 255);
  EXPECT_EQ(c->GetTotalProgressBarBorderColor(), 11316884);
  EXPECT_EQ(c->GetDiscreteProgressBarBarColor(), 12760967);
  EXPECT_EQ(c->GetDiscreteProgressBarBorderColor(), 9);  // the newer key wins
  EXPECT_EQ(c->GetUpdateTypeTop(), 10);
}

TEST_F(ClientConfigTest, PathMacrosExpandOnlyTheFirstOneFound) {
  auto c = Make("");
  c->WindowsDir = "/win";
  c->SystemDir = "/sys32";
  c->ProgramFilesDir = "/pf";
  c->CommonFilesDir = "/cf";
  EXPECT_EQ(c->ExpandPathMacros("  %root%\\a\\%SYSTEM%\\b  "), dir_.Path() + "\\a\\%SYSTEM%\\b");
  EXPECT_EQ(c->ExpandPathMacros("%System%\\x.ocx|%SYSTEM%"), "/sys32\\x.ocx|/sys32");
  EXPECT_EQ(c->ExpandPathMacros("%COMMONFILES%\\%PROGRAMFILES%"), "%COMMONFILES%\\/pf");
  EXPECT_EQ(c->ExpandPathMacros("%WINDOWS%"), "/win");
  EXPECT_EQ(c->ExpandPathMacros("plain\\path"), "plain\\path");
  EXPECT_EQ(c->ExpandPathMacros("   "), "");
}

TEST_F(ClientConfigTest, NoUpdateFilesKeepsEveryLineExpanded) {
  auto c = Make("[NoUpdateFiles]\n1=%ROOT%\\Data\\keep.cfg\n1=Data/other.cfg\nx=%root%/b\n");
  ASSERT_EQ(c->NoUpdateFiles()->Count(), 3);
  EXPECT_EQ((*c->NoUpdateFiles())[0], dir_.Path() + "\\Data\\keep.cfg");
  EXPECT_EQ((*c->NoUpdateFiles())[1], "Data/other.cfg");
  EXPECT_EQ((*c->NoUpdateFiles())[2], dir_.Path() + "/b");
}

TEST_F(ClientConfigTest, CommandLineSwitches) {
  auto c = Make("");
  ASSERT_TRUE(c->ParseCommandLine({"-I:C:\\pic.bmp", "-lf: list.ini ", "-RUN:C:\\app\\x.exe",
                                   "-ISRUN:/opt/app/client", "-sync:Abc", "-SM:true", "ignored"}));
  EXPECT_EQ(c->BitmapFile, "C:\\pic.bmp");
  EXPECT_EQ(c->UpdateListName, "list.ini");
  EXPECT_EQ(c->RunExeName, "C:\\app\\x.exe");
  EXPECT_EQ(c->IsRunCheckFile, "/opt/app/client");
  EXPECT_EQ(c->SyncValue, "Abc");
  EXPECT_TRUE(c->SMMode);
  EXPECT_FALSE(c->FUMode);
  EXPECT_EQ(c->BizParams, "");
}

TEST_F(ClientConfigTest, CommandLineSubstringAndFixedOffsetRules) {
  auto c = Make("");
  // The switch may stand anywhere; the value is cut at the switch's length from
  // the parameter's start.
  ASSERT_TRUE(c->ParseCommandLine({"x-RUN:y"}));
  EXPECT_EQ(c->RunExeName, ":y");
  // The first switch of the table that occurs decides: "-RUN:-FU" is a -RUN:.
  ASSERT_TRUE(c->ParseCommandLine({"-RUN:-FU"}));
  EXPECT_EQ(c->RunExeName, "-FU");
  EXPECT_FALSE(c->FUMode);
  // "-ISRUN:" contains no earlier switch, but "-I:" is tested first and does not match.
  ASSERT_TRUE(c->ParseCommandLine({"-isrun:a", "-fu", "-SM:yes"}));
  EXPECT_EQ(c->IsRunCheckFile, "a");
  EXPECT_TRUE(c->FUMode);
  EXPECT_FALSE(c->SMMode);
  // Later switches overwrite earlier ones.
  ASSERT_TRUE(c->ParseCommandLine({"-RUN:a", "-RUN:b", "-LF:"}));
  EXPECT_EQ(c->RunExeName, "b");
  EXPECT_EQ(c->UpdateListName, "");
}

TEST_F(ClientConfigTest, BizParamsAccumulate) {
  auto c = Make("");
  ASSERT_TRUE(c->ParseCommandLine({"-B:/u:kim", "-b:/p:Secret", "-B:ab", "-B:"}));
  EXPECT_EQ(c->BizParams, " /u:\"KIM\" /p:\"SECRET\" ab\"\" \"\"");
}

TEST_F(ClientConfigTest, SettingsAndFoldersComeFromTheRegistry) {
  SetRegistryText(HKEY_LOCAL_MACHINE, "\\SOFTWARE\\Pelmora\\Orvel", "Debug", "DeBug");
  SetRegistryText(HKEY_LOCAL_MACHINE, "\\SOFTWARE\\Pelmora\\Orvel", "ProxyIP", " 127.0.0.1 ");
  SetRegistryText(HKEY_LOCAL_MACHINE, "\\SOFTWARE\\Pelmora\\Orvel", "ProxyPort", " 3128 ");
  SetRegistryText(HKEY_LOCAL_MACHINE, "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion",
                  "ProgramFilesDir", "/opt/programs");
  auto c = Make("");
  EXPECT_TRUE(c->DebugMode);
  EXPECT_EQ(c->ProxyIP, "127.0.0.1");
  EXPECT_EQ(c->ProxyPort, "3128");
  EXPECT_EQ(c->ProgramFilesDir, "/opt/programs");
  EXPECT_EQ(c->ExpandPathMacros("%PROGRAMFILES%/x"), "/opt/programs/x");
  EXPECT_FALSE(c->WindowsDir.empty());
  EXPECT_FALSE(c->SystemDir.empty());
}

TEST_F(ClientConfigTest, VersionRegistryRoundTrip) {
  auto c = Make("");
  ASSERT_TRUE(c->ReadVersionRegistry("HKEY_CURRENT_USER\\Software\\Pelmora\\Orvel", "\\Version"));
  EXPECT_EQ(c->VersionRootKey, HKEY_CURRENT_USER);
  EXPECT_EQ(c->VersionKeyPath, "\\SOFTWARE\\PELMORA\\ORVEL");
  EXPECT_EQ(c->CurVersion, "");
  EXPECT_EQ(c->UpdateType, 2);  // missing

  c->UpdateType = 1;
  ASSERT_TRUE(c->WriteVersionRegistry("1.2.0", "7", "\\Version", "20240105"));
  {
    TRegistry reg;
    reg.SetRootKey(HKEY_CURRENT_USER);
    ASSERT_TRUE(reg.OpenKeyReadOnly("\\software\\pelmora\\orvel\\version"));
    EXPECT_EQ(reg.ReadString("CurVersion"), "1.2.0");
    EXPECT_EQ(reg.ReadString("CurDBVersion"), "7");
    EXPECT_EQ(reg.ReadString("LastUpdateDate"), "20240105");
    EXPECT_EQ(reg.ReadInteger("UpdateType"), 1);
  }

  auto d = Make("");
  ASSERT_TRUE(d->ReadVersionRegistry("HKEY_CURRENT_USER\\SOFTWARE\\PELMORA\\ORVEL", "\\VERSION"));
  EXPECT_EQ(d->CurVersion, "1.2.0");
  EXPECT_EQ(d->CurDBVersion, "7");
  EXPECT_EQ(d->LastUpdateDate, "20240105");
  EXPECT_EQ(d->UpdateType, 1);

  d->UpdateType = 0;
  ASSERT_TRUE(d->WriteUpdateType("\\Version"));
  auto e = Make("");
  e->ReadVersionRegistry("HKEY_CURRENT_USER\\Software\\Pelmora\\Orvel", "\\Version");
  EXPECT_EQ(e->UpdateType, 0);
  EXPECT_EQ(e->CurVersion, "1.2.0");
}

TEST_F(ClientConfigTest, UnknownRootWordsAndOddUpdateTypes) {
  {
    TRegistry reg;
    reg.SetRootKey(HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(reg.OpenKey("\\APP\\V", true));
    reg.WriteInteger("UpdateType", 5);
  }
  auto c = Make("");
  ASSERT_TRUE(c->ReadVersionRegistry("HKLM_TYPO\\App", "\\V"));
  EXPECT_EQ(c->VersionRootKey, HKEY_LOCAL_MACHINE);  // unchanged
  EXPECT_EQ(c->VersionKeyPath, "\\APP");
  EXPECT_EQ(c->UpdateType, 2);
  // A list without installregistry names the key below the root.
  ASSERT_TRUE(c->ReadVersionRegistry("", "\\V"));
  EXPECT_EQ(c->VersionKeyPath, "\\");
}

}  // namespace
