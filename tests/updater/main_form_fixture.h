// A whole update run inside the test process: an installation folder with its
// configuration, a registry store, recording stand-ins for the client, regsvr32 and
// the self-updater, an update server on 127.0.0.1 (nginx over a folder), a fresh
// application object with a headless presenter and answering dialogs, and the main
// form driven through its message loop.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/rtl/registry.h"
#include "platform/rtl/sysutils.h"
#include "platform/vcl/forms.h"
#include "tests/support/TempFolder.h"
#include "tests/support/headless_gui.h"
#include "tests/support/loopback.h"
#include "tests/support/script_file.h"
#include "tests/support/wait.h"
#include "updater/AutoUpdaterUtils.h"
#include "updater/ClientConfiguration.h"
#include "updater/NVLogFile.h"
#include "updater/uAutoUpdater.h"

namespace mainform {

namespace fs = std::filesystem;

inline std::string Today() { return FormatDateTime("yyyymmdd", Now()); }

class MainFormTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(app_);
    fs::create_directories(srv_);
    fs::create_directories(bin_);
    savedApplication_ = Application;
    Application = application_.get();
    gui_ = std::make_unique<THeadlessGui>();
    savedCwd_ = fs::current_path();
    fs::current_path(app_);
    ExitCode = 0;
    LoaderLogFile().SetLogFileName(app_ + "/LoaderLog.log");
    WriteFileBytes(app_ + "/DETAILLOG.FLAG", "");
    // The client and regsvr32 record how they were started.
    WriteScript(app_ + "/CLIENT.EXE", "echo \"$PWD|$*\" >> \"" + root_ / "launched.txt" + "\"\n");
    WriteScript(bin_ + "/regsvr32", "echo \"$*\" >> \"" + root_ / "regsvr.txt" + "\"\n");
  }

  void TearDown() override {
    if (form_) form_->Free();
    form_ = nullptr;
    ClientConfig.reset();
    gui_.reset();
    Application = savedApplication_;
    fs::current_path(savedCwd_);
    LoaderLogFile().SetLogFileName(ExtractFilePath(ParamStr(0)) + "LoaderLog.log");
    ExitCode = 0;
  }

  // The server's update list is srv/update.ini; every other file below srv is served as is.
  vxtest::LoopbackNginx& Server() {
    if (!nginx_) nginx_ = std::make_unique<vxtest::LoopbackNginx>(srv_);
    return *nginx_;
  }
  std::string ServerUrl() { return Server().HttpUrl("/"); }

  // The installation's configuration; [INFO] ServerURL points at the server unless Info names one.
  void WriteConfig(const std::string& Info = "", const std::string& More = "") {
    std::string text = "[INFO]\r\nTitle=MainFormTest\r\nDefaultExeNameWhenUpdateFail=CLIENT.EXE\r\n"
                       "DefaultParamWhenUpdateFail=/Fail\r\n";
    if (Info.find("ServerURL=") == std::string::npos) text += "ServerURL=" + ServerUrl() + "\r\n";
    WriteFileBytes(app_ + "/loader.ini", text + Info + More);
  }

  // A served file and its [FILES] line (the installed name below %ROOT%).
  std::string Serve(const std::string& Path, const std::string& Bytes) {
    const std::string file = srv_ + "/" + Path;
    fs::create_directories(fs::path(file).parent_path());
    WriteFileBytes(file, Bytes);
    return FilesLine(Path, GetFileMD5(file), int64_t(Bytes.size()), int64_t(Bytes.size()));
  }
  static std::string FilesLine(const std::string& Path, const std::string& Md5, int64_t Size, int64_t DownloadSize) {
    return "%ROOT%\\" + StringReplace(Path, "/", "\\", {rfReplaceAll}) + "=" + Md5 + "," + std::to_string(Size) +
           "," + std::to_string(DownloadSize) + "\r\n";
  }

  // A versioned list: [INSTALL] with the version, then the other sections as given.
  void WriteList(const std::string& Version, const std::string& Files, const std::string& More = "",
                 const std::string& Install = "") {
    WriteFileBytes(srv_ + "/update.ini",
                   "[INSTALL]\r\ninstallregistry=HKEY_LOCAL_MACHINE\\SOFTWARE\\Pelmora\\Test\\\r\n"
                   "VersionRegistry=Version\r\nVersionInfo=" +
                       Version + "\r\nDatabaseVersionInfo=7\r\nUpdateDate=" + Today() +
                       "\r\nExtNameToMD5=xml,dll,exe\r\n" + Install +
                       "[LAUNCH]\r\nBin=%ROOT%\\CLIENT.EXE\r\nParam=-Mode:Run\r\nSelfUpdater=%ROOT%\\qx.exe\r\n"
                       "[FILES]\r\n" +
                       Files + More);
  }

  // The installed version as a previous run left it.
  void SetInstalled(const std::string& Version, const std::string& Date, int Type) {
    TRegistry reg;
    reg.SetRootKey(HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(reg.OpenKey("\\SOFTWARE\\PELMORA\\TEST\\Version", true));
    reg.WriteString("CurVersion", Version);
    reg.WriteString("CurDBVersion", "6");
    reg.WriteString("LastUpdateDate", Date);
    reg.WriteInteger("UpdateType", Type);
  }
  std::string Installed(const std::string& Name) {
    TRegistry reg;
    reg.SetRootKey(HKEY_LOCAL_MACHINE);
    if (!reg.OpenKeyReadOnly("\\SOFTWARE\\PELMORA\\TEST\\Version")) return "";
    return reg.ReadString(Name);
  }
  int InstalledType() {
    TRegistry reg;
    reg.SetRootKey(HKEY_LOCAL_MACHINE);
    if (!reg.OpenKeyReadOnly("\\SOFTWARE\\PELMORA\\TEST\\Version") || !reg.ValueExists("UpdateType")) return -1;
    return reg.ReadInteger("UpdateType");
  }
  // A second run in the same test: a fresh application object.
  void NewRun() {
    gui_.reset();
    application_ = std::make_unique<TApplication>(nullptr);
    Application = application_.get();
    gui_ = std::make_unique<THeadlessGui>();
  }

  // Reads the configuration and the command line, then makes the main form (its
  // create handler posts the start message).
  TfrmMainFrame* Create(const std::vector<std::string>& Params = {}) {
    ClientConfig = std::make_unique<TClientConfiguration>(app_ + "/loader");
    EXPECT_TRUE(ClientConfig->ParseCommandLine(Params));
    Application->CreateForm(form_);
    form_->RetryWaitMs = 5;
    form_->AnswerUnattended = false;  // the test answers, as the person would
    return form_;
  }
  // Processes messages until Done answers true (or the time runs out).
  bool RunUntil(const std::function<bool()>& Done) {
    return vxtest::WaitUntil([&] {
      Application->ProcessMessages();
      return Done();
    });
  }
  // Processes messages until the application ends.
  bool RunToEnd() { return RunUntil([] { return Application->Terminated(); }); }
  // Destroys the form as the program's end does; the exit code it left.
  int Finish() {
    form_->Free();
    form_ = nullptr;
    return ExitCode;
  }
  // Create, run, finish.
  int RunLoader(const std::vector<std::string>& Params = {}) {
    Create(Params);
    EXPECT_TRUE(RunToEnd());
    return Finish();
  }

  std::string Log() { return ReadFileBytes(app_ + "/LoaderLog.log"); }
  bool Logged(const std::string& Text) { return Log().find("[" + Text + "]") != std::string::npos; }
  // What the client recorded; the client is not waited for, so this waits for Lines lines.
  std::string Launched(size_t Lines = 1) { return AwaitRecord(root_ / "launched.txt", Lines); }
  // A record that a program not waited for writes: waits until it holds Lines lines.
  static std::string AwaitRecord(const std::string& Path, size_t Lines = 1) {
    std::string text;
    vxtest::WaitUntil([&] {
      text = ReadFileBytes(Path);
      return size_t(std::count(text.begin(), text.end(), '\n')) >= Lines;
    });
    return text;
  }
  // Writes a file, making its folders first.
  static void Put(const std::string& Path, const std::string& Bytes) {
    fs::create_directories(fs::path(Path).parent_path());
    WriteFileBytes(Path, Bytes);
  }
  // The paths the server was asked for, in order.
  std::vector<std::string> Requests(size_t MinCount = 0) {
    std::vector<std::string> paths;
    for (const auto& a : Server().AccessLog(MinCount)) {
      const size_t from = a.request.find(' ') + 1;
      paths.push_back(a.request.substr(from, a.request.rfind(' ') - from));
    }
    return paths;
  }

  TempFolder root_;
  const std::string app_ = root_ / "app";
  const std::string srv_ = root_ / "srv";
  const std::string bin_ = root_ / "bin";
  vxtest::ScopedEnv registry_{"VX_REGISTRY_DIR", (root_ / "registry").c_str()};
  vxtest::ScopedEnv path_{"PATH", (root_ / "bin:" + std::string(getenv("PATH") ? getenv("PATH") : "")).c_str()};
  std::unique_ptr<TApplication> application_ = std::make_unique<TApplication>(nullptr);
  TApplication* savedApplication_ = nullptr;
  std::unique_ptr<THeadlessGui> gui_;
  std::unique_ptr<vxtest::LoopbackNginx> nginx_;
  fs::path savedCwd_;
  TfrmMainFrame* form_ = nullptr;
};

}  // namespace mainform
