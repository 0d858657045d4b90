// An update killed at random moments: whatever the moment, every installed file is
// whole in its old or its new version, and a later run completes the update.
#include <filesystem>
#include <random>

#include "tests/e2e/update_fixture.h"

namespace fs = std::filesystem;

namespace {

constexpr int kPlainFiles = 6;
constexpr int kPackedFiles = 1000;
constexpr int kKills = 3;

class KilledUpdate : public ::testing::Test {
 protected:
  struct TRelease {
    std::vector<std::string> plain;   // bin/p<i>.dll
    std::vector<std::string> packed;  // lib/<name> from lib/pack.dll.cab; the first is pack.dll
  };

  static std::string PackedName(int i) { return i == 0 ? "pack.dll" : "part" + std::to_string(i) + ".dat"; }

  static TRelease Make(uint64_t seed) {
    TRelease r;
    for (int i = 0; i < kPlainFiles; ++i) r.plain.push_back(RandomBytes(96 * 1024, seed * 100 + uint64_t(i)));
    for (int i = 0; i < kPackedFiles; ++i)
      r.packed.push_back(RandomBytes(700 + size_t(i % 5), seed * 10000 + uint64_t(i)));
    return r;
  }

  void SetUp() override {
    // Release 2.0.0 on the server: every file changed.
    std::vector<cabtest::Entry> entries;
    for (int i = 0; i < kPackedFiles; ++i) entries.push_back({PackedName(i), new_.packed[size_t(i)]});
    TempFolder pack;
    cabtest::SetLayout layout;
    layout.typeCompress = 1;
    cabtest::WriteCabinetSet(pack.Path(), {"pack.cab"}, entries, layout);
    const std::string cab = ReadFileBytes(pack / "pack.cab");
    inst.Serve("lib/pack.dll.cab", cab);
    std::string list = "[INSTALL]\r\ninstallregistry=" + std::string(vxtest::LoaderInstall::kInstallRegistry) +
                       "\r\nVersionRegistry=" + vxtest::LoaderInstall::kVersionRegistry +
                       "\r\nVersionInfo=2.0.0\r\nUpdateDate=" + vxtest::TodayYmd() +
                       "\r\nForceSafetyUpdate=1\r\nExtNameToMD5=dll\r\n"
                       "[LAUNCH]\r\nBin=%ROOT%\\client.exe\r\n[FILES]\r\n";
    for (int i = 0; i < kPlainFiles; ++i) {
      inst.Serve(Plain(i), new_.plain[size_t(i)]);
      list += vxtest::LoaderInstall::FileLine("%ROOT%\\" + Plain(i), new_.plain[size_t(i)]) + "\r\n";
    }
    list += "%ROOT%\\lib\\pack.dll.cab=" + vxtest::Md5Hex(new_.packed[0]) + "," +
            std::to_string(new_.packed[0].size()) + "," + std::to_string(cab.size()) + "\r\n";
    inst.WriteList(list);
    InstallOld();
  }

  static std::string Plain(int i) { return "bin/p" + std::to_string(i) + ".dll"; }

  // Release 1.0.0 as an earlier run left it.
  void InstallOld() {
    for (int i = 0; i < kPlainFiles; ++i) inst.Install(Plain(i), old_.plain[size_t(i)]);
    for (int i = 0; i < kPackedFiles; ++i) inst.Install("lib/" + PackedName(i), old_.packed[size_t(i)]);
    inst.SetInstalledVersion("1.0.0", vxtest::TodayYmd(), 0);
  }

  // Every installed file whole in one of its versions; the count of new ones.
  int ExpectOldOrNew() {
    int fresh = 0;
    auto check = [&](const std::string& rel, const std::string& before, const std::string& after) {
      const std::string now = ReadFileBytes(inst.App(rel));
      EXPECT_TRUE(now == before || now == after) << rel << " is neither version (" << now.size() << " bytes)";
      fresh += now == after;
    };
    for (int i = 0; i < kPlainFiles; ++i) check(Plain(i), old_.plain[size_t(i)], new_.plain[size_t(i)]);
    for (int i = 0; i < kPackedFiles; ++i)
      check("lib/" + PackedName(i), old_.packed[size_t(i)], new_.packed[size_t(i)]);
    return fresh;
  }

  vxtest::LoaderInstall inst{std::string(VX_BINARY_DIR) + "/loader"};
  const TRelease old_ = Make(1), new_ = Make(2);
};

TEST_F(KilledUpdate, EveryFileIsOldOrNewAndTheNextRunCompletes) {
  const unsigned seed = std::random_device{}();
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 rng(seed);
  // An uninterrupted run shows how long the update takes; the kills fall inside it.
  const vxtest::RunResult whole = inst.Run({});
  ASSERT_TRUE(whole.exited && whole.exitCode == 0);
  ASSERT_EQ(ExpectOldOrNew(), kPlainFiles + kPackedFiles);
  std::uniform_real_distribution<double> moment(0.0, whole.seconds);

  for (int kill = 0; kill < kKills; ++kill) {
    InstallOld();
    inst.killAfterSeconds = moment(rng);
    SCOPED_TRACE("killed after " + std::to_string(inst.killAfterSeconds) + " s");
    inst.Run({});
    ExpectOldOrNew();
    // The next run, killed or not, and then one left to finish.
    inst.killAfterSeconds = moment(rng);
    inst.Run({});
    ExpectOldOrNew();
    inst.killAfterSeconds = -1;
    const vxtest::RunResult r = inst.Run({});
    ASSERT_TRUE(r.exited);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(ExpectOldOrNew(), kPlainFiles + kPackedFiles) << "the update is complete";
    EXPECT_EQ(inst.InstalledString("CurVersion"), "2.0.0");
  }
}

}  // namespace
