// Feeds arbitrary bytes to the update-list parser as a downloaded update.ini.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/rtl/inifiles.h"
#include "platform/rtl/sysutils.h"
#include "updater/ClientConfiguration.h"
#include "updater/ServerConfiguration.h"

namespace {

struct Fixture {
  std::string folder;
  std::string list;
  std::unique_ptr<TClientConfiguration> config;

  Fixture() {
    char tmpl[] = "/tmp/vxfuzzXXXXXX";
    folder = mkdtemp(tmpl);
    setenv("VX_REGISTRY_DIR", (folder + "/registry").c_str(), 1);
    std::FILE* f = std::fopen((folder + "/loader.ini").c_str(), "wb");
    std::fputs("[INFO]\r\nServerURL=http://127.0.0.1:8000/app\r\n", f);
    std::fclose(f);
    config = std::make_unique<TClientConfiguration>(folder + "/loader");
    list = folder + "/update.ini";
  }
};

void Exercise(TServerConfiguration& s, const std::string& listFile) {
  (void)s.GetIcon();
  (void)s.GetVersionInfo();
  (void)s.GetLimitedDay();
  (void)s.GetForceSafetyUpdate();
  (void)s.GetEnableVersionCheck();
  (void)s.GetLaunchBin();
  (void)s.GetSelfUpdater();
  try {
    s.LoadFileList();
  } catch (const EConvertError&) {
    // a size that is not a number ends the list; the caller logs it
  }
  s.LoadFastUpdateList();
  for (int i = 0; i < s.GetFastUpdateCount(); ++i) (void)s.GetFastUpdateItem(i)->ListPath;
  for (int i = 0; i < s.GetFileCount(); ++i) (void)s.IndexOfFile(ExtractFileName(s.GetFileItem(i)->LocalPath));
  // The same lines again, as the merged lines of fast-update lists.
  TStringList lines;
  TMemIniFile(listFile).ReadSectionValues("FILES", &lines);
  try {
    s.AddFileList(&lines);
  } catch (const EConvertError&) {
  }
  if (TStringList* actions = s.ScriptActions())
    for (int i = 0; i < actions->Count(); ++i) (void)actions->Values(actions->Names(i));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Fixture fixture;
  std::FILE* f = std::fopen(fixture.list.c_str(), "wb");
  if (!f) return 0;
  std::fwrite(data, 1, size, f);
  std::fclose(f);

  // Without a program-wide configuration the list reads no installed version, so
  // no registry key is made per input; the configuration is put in place for the
  // parsing that follows (macros and download addresses).
  ClientConfig.reset();
  TServerConfiguration list(fixture.list);
  ClientConfig.swap(fixture.config);
  Exercise(list, fixture.list);
  ClientConfig.swap(fixture.config);
  return 0;
}
