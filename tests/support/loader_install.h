// A loader installation for whole-program runs: a fresh folder holding an update
// server's tree (served by UpdateServer), the install folder with a copy of the built
// loader and its loader.ini, the recording stand-ins for the programs the loader
// starts, and a registry store of its own.
//
//   <root>/srv/         what the server serves (update.ini and the files)
//   <root>/app/         the install folder: loader, loader.ini, client.exe, hook.exe
//   <root>/bin/         put first on PATH for the runs: regsvr32
//   <root>/records/     what the stand-ins recorded: launched.txt ("<folder>|<args>"),
//                       hook.txt, regsvr.txt (one run a line), qx.txt (one argument a line)
//   <root>/registry/    the registry store ($VX_REGISTRY_DIR)
//
// This library does not depend on GoogleTest: benchmarks link it too.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/rtl/system.h"
#include "tests/support/TempFolder.h"
#include "tests/support/loopback.h"
#include "tests/support/run_program.h"

namespace vxtest {

// 32 lower-case hexadecimal characters.
std::string Md5Hex(const std::string& Data);
// Today as YYYYMMDD (local time).
std::string TodayYmd();

class LoaderInstall {
 public:
  // The installed version's key, as the update lists of the tests name it.
  static constexpr const char* kInstallRegistry = "HKEY_CURRENT_USER\\SOFTWARE\\Pelmora\\E2E\\";
  static constexpr const char* kVersionRegistry = "Version";

  explicit LoaderInstall(const std::string& LoaderProgram);
  ~LoaderInstall();
  LoaderInstall(const LoaderInstall&) = delete;
  LoaderInstall& operator=(const LoaderInstall&) = delete;

  const std::string& Root() const { return root_.Path(); }
  std::string Srv(const std::string& rel = "") const { return Join(root_ / "srv", rel); }
  std::string App(const std::string& rel = "") const { return Join(root_ / "app", rel); }
  std::string Record(const std::string& name) const { return root_ / ("records/" + name); }
  UpdateServer& Server() const { return *server_; }
  // The address of the server's tree, over HTTPS after ServeTls.
  std::string ServerUrl() const { return tls_ ? server_->HttpsUrl("/") : server_->Url("/"); }
  // Serves the tree over HTTPS too, with this certificate and key (see TestPki), and
  // makes the runs trust the test CA. The next WriteIni names the HTTPS address.
  void ServeTls(const std::string& CertFile, const std::string& KeyFile);
  const std::string& Title() const { return title_; }

  // loader.ini: [INFO] with ServerURL (the server's), the run's own Title, RestartCount
  // 1 and the fallback client (client.exe, /Fail), each replaced by the value of the
  // same key in Info (an empty value drops the key) and followed by Info's other keys;
  // then the sections of Extra. Written by the constructor with the defaults.
  void WriteIni(const std::map<std::string, std::string>& Info = {}, const std::string& Extra = "");
  std::string IniText() const;

  // Writes a file below srv/ or app/, creating its folders.
  void Serve(const std::string& rel, const std::string& data) const;
  void Install(const std::string& rel, const std::string& data) const;
  // "<Key>=<md5>,<size>,<size>" for a file of these bytes.
  static std::string FileLine(const std::string& Key, const std::string& data);
  // Packs Data as Name into srv/<Cabinet> with gcab (MSZIP) and returns its [FILES]
  // line under Key: the MD5 and size of Data, the size of the cabinet.
  std::string ServeCabinet(const std::string& Key, const std::string& Cabinet, const std::string& Name,
                           const std::string& Data) const;
  // srv/update.ini.
  void WriteList(const std::string& Text) const;

  // The installed version values (UpdateType is left out when negative).
  void SetInstalledVersion(const std::string& Version, const std::string& Date, int UpdateType) const;
  std::string InstalledString(const std::string& Name) const;
  // The updater's proxy settings (HKEY_LOCAL_MACHINE\SOFTWARE\Pelmora\Orvel).
  void SetProxy(const std::string& Ip, const std::string& Port) const;
  // -1 when the value is missing.
  Integer InstalledInteger(const std::string& Name) const;

  // Runs the installed loader from a folder of its own with these parameters. With
  // Script lines the run is driven by them (VX_HEADLESS_SCRIPT); Display runs it
  // against that X server instead of headless.
  RunResult Run(const std::vector<std::string>& Params, const std::vector<std::string>& Script = {},
                const std::string& Display = "", double TimeoutSeconds = 120) const;
  // Put before the loader's command line of every run (a program that sets limits or
  // the user, then runs the rest); and a moment at which runs are killed (-1: never).
  std::vector<std::string> prefix;
  double killAfterSeconds = -1;
  // More environment for every run, over the run's own.
  std::map<std::string, std::string> env;

  // The messages of LoaderLog.log (the text between " [" and the final "]").
  std::vector<std::string> LogMessages() const;
  bool Logged(const std::string& Message) const;
  // How many messages contain Part.
  size_t LoggedContaining(const std::string& Part) const;

  // A recorded file once it holds a whole line (the stand-ins are started without
  // waiting, and each writes its record at once): empty when nothing was recorded
  // within TimeoutMs.
  std::string WaitForRecord(const std::string& name, int TimeoutMs = kPatienceMs) const;

 private:
  static std::string Join(const std::string& base, const std::string& rel) {
    return rel.empty() ? base : base + "/" + rel;
  }

  TempFolder root_;
  std::string title_;
  std::unique_ptr<UpdateServer> server_;
  bool tls_ = false;
  std::unique_ptr<NoProxyEnvironment> noProxy_;
};

}  // namespace vxtest
