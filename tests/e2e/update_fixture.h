// The update server and install folder that the whole-program update runs share: one
// release (1.2.0) of a small client program, its files, a cabinet, scripted actions,
// and a second release (1.3.0) that changes some of them.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/TempFolder.h"
#include "tests/support/cabinet_fixtures.h"
#include "tests/support/loader_install.h"


class UpdateRunBase : public ::testing::Test {
 protected:
  // The parts of an update list that the runs vary.
  struct List {
    std::string version = "1.2.0";
    std::string install;                          // more [INSTALL] lines
    std::vector<std::string> files;               // [FILES] lines
    std::string fast;                             // [FASTUPDATE] lines
    std::string extNames = "1=xml:WRITEKEYVALUEFILE\r\n";
    std::string conditions = "1=UPDATESUCCESS:RUNTO\r\n";
    std::string more;                             // further sections
  };

  // Release 1.2.0 as the server offers it.
  const std::string appDll = RandomBytes(120 * 1024, 1);
  const std::string bigDll = cabtest::TestBytes(1 << 20, 7, true);
  const std::string xml = "<?xml version=\"1.0\"?>\r\n<config mode=\"new\"/>\r\n";
  const std::string plain = RandomBytes(5000, 2);
  const std::string keepSrv = "server copy of the local settings\r\n";
  // Release 1.3.0: app.dll changes its bytes but not its size, plain.dat its size.
  const std::string appDll2 = RandomBytes(120 * 1024, 11);
  const std::string plain2 = RandomBytes(6000, 12);
  const std::string keepLocal = "local settings, never replaced\r\n";
  const std::string settings = "Mode=old\r\nUser=x\r\n";
  // Data/keep.cfg is installed; Data/mine.cfg, named through a path macro, is not.
  static constexpr const char* kNoUpdateFiles = "[NoUpdateFiles]\r\n1=Data/keep.cfg\r\n2=%ROOT%\\Data\\mine.cfg\r\n";

  vxtest::LoaderInstall inst{std::string(VX_BINARY_DIR) + "/loader"};
  std::string cabLine;

  void SetUp() override {
    inst.Serve("bin/app.dll", appDll);
    cabLine = inst.ServeCabinet("%ROOT%\\bin\\big.dll.cab", "bin/big.dll.cab", "big.dll", bigDll);
    inst.Serve("Data/a b.xml", xml);
    inst.Serve("Data/plain.dat", plain);
    inst.Serve("Data/keep.cfg", keepSrv);
    inst.Install("Data/keep.cfg", keepLocal);
    inst.Install("settings.txt", settings);
    inst.WriteIni({}, kNoUpdateFiles);
  }

  // The [FILES] lines of release 1.2.0; the updater's own files as installed.
  std::vector<std::string> Release12() const {
    return {vxtest::LoaderInstall::FileLine("%ROOT%\\bin\\app.dll", appDll),
            cabLine,
            vxtest::LoaderInstall::FileLine("%ROOT%\\Data\\a b.xml", xml),
            vxtest::LoaderInstall::FileLine("%ROOT%\\Data\\plain.dat", plain),
            vxtest::LoaderInstall::FileLine("%ROOT%\\Data\\keep.cfg", keepSrv),
            vxtest::LoaderInstall::FileLine("%ROOT%\\Loader.exe", ReadFileBytes(inst.App("loader"))),
            vxtest::LoaderInstall::FileLine("%ROOT%\\Loader.ini", inst.IniText())};
  }

  // Serves release 1.3.0 and returns its [FILES] lines.
  std::vector<std::string> Release13() {
    inst.Serve("bin/app.dll", appDll2);
    inst.Serve("Data/plain.dat", plain2);
    auto files = Release12();
    files[0] = vxtest::LoaderInstall::FileLine("%ROOT%\\bin\\app.dll", appDll2);
    files[3] = vxtest::LoaderInstall::FileLine("%ROOT%\\Data\\plain.dat", plain2);
    return files;
  }

  // Release 1.2.0 installed by an earlier run.
  void InstallRelease12() {
    inst.Install("bin/app.dll", appDll);
    inst.Install("bin/big.dll", bigDll);
    inst.Install("Data/a b.xml", xml);
    inst.Install("Data/plain.dat", plain);
    inst.SetInstalledVersion("1.2.0", vxtest::TodayYmd(), 0);
  }

  void WriteList(const List& l) const {
    std::string t = "[INSTALL]\r\ninstallregistry=" + std::string(vxtest::LoaderInstall::kInstallRegistry) +
                    "\r\nVersionRegistry=" + vxtest::LoaderInstall::kVersionRegistry + "\r\nVersionInfo=" + l.version +
                    "\r\nDatabaseVersionInfo=7\r\nUpdateDate=" + vxtest::TodayYmd() + "\r\nExtNameToMD5=xml,dll,exe\r\n" +
                    l.install;
    t += "[LAUNCH]\r\nBin=%ROOT%\\client.exe\r\nParam=-Mode:Run\r\nSelfUpdater=%ROOT%\\qx.exe\r\n";
    t += "[FILES]\r\n";
    for (const auto& f : l.files) t += f + "\r\n";
    if (!l.fast.empty()) t += "[FASTUPDATE]\r\n" + l.fast;
    t += "[SELFREG]\r\n1=%ROOT%\\bin\\app.dll\r\n";
    t += "[SCREXTNAME]\r\n" + l.extNames;
    t += "[SCRCONDITIONALDEFINES]\r\n" + l.conditions;
    t += "[SCRACTION]\r\n1=WRITEKEYVALUEFILE:settings.txt,Mode,new\r\n2=RUNTO:%ROOT%\\hook.exe,/q,true\r\n";
    inst.WriteList(t + l.more);
  }

  // The GET requests that reached the server, in order.
  std::vector<std::string> Gets() const {
    std::vector<std::string> out;
    for (const auto& r : inst.Server().Requests())
      if (r.rfind("GET ", 0) == 0) out.push_back(r.substr(4));
    return out;
  }

  std::string Installed(const std::string& rel) const { return ReadFileBytes(inst.App(rel)); }

  // The files of release 1.2.0 as they were installed; for runs that must lose nothing.
  void ExpectRelease12Installed() const {
    EXPECT_TRUE(Installed("bin/app.dll") == appDll) << "bin/app.dll changed";
    EXPECT_TRUE(Installed("bin/big.dll") == bigDll) << "bin/big.dll changed";
    EXPECT_EQ(Installed("Data/a b.xml"), xml);
    EXPECT_TRUE(Installed("Data/plain.dat") == plain) << "Data/plain.dat changed";
    EXPECT_EQ(Installed("Data/keep.cfg"), keepLocal);
    EXPECT_EQ(inst.InstalledString("CurVersion"), "1.2.0");
  }

  // What a stand-in recorded, with the path separators the loader may hand over as "\"
  // shown as "/".
  std::string Recorded(const std::string& name, int TimeoutMs = vxtest::kPatienceMs) const {
    std::string s = inst.WaitForRecord(name, TimeoutMs);
    std::replace(s.begin(), s.end(), '\\', '/');
    return s;
  }
};
