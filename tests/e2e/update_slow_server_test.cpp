// Whole update runs against a server that sends a file a byte at a time: the transfer
// is given up once it stays too slow, whatever the transport, and the run says why.
#include <algorithm>

#include "tests/e2e/update_fixture.h"

namespace {

class SlowServer : public UpdateRunBase, public ::testing::WithParamInterface<int> {};

TEST_P(SlowServer, ATrickleFailsItsFileWithTheCauseAndTheRestComes) {
  inst.WriteIni({{"SocketType", std::to_string(GetParam())}}, "[NoUpdateFiles]\r\n1=Data/keep.cfg\r\n");
  InstallRelease12();
  List l;
  l.version = "1.3.0";
  l.install = "ForceSafetyUpdate=1\r\n";
  l.files = Release13();
  WriteList(l);
  // 4 bytes a second: the 6000 bytes of the file would take 25 minutes.
  inst.Server().SetFaults("/Data/plain.dat trickle 250\n");
  inst.env["VX_LOW_SPEED_TIME"] = "4";

  const vxtest::RunResult r = inst.Run({});
  ASSERT_TRUE(r.exited) << (r.timedOut ? "timed out" : "signal " + std::to_string(r.signal));
  EXPECT_EQ(r.exitCode, 1);
  const std::vector<std::string> log = inst.LogMessages();
  const auto said = std::count_if(log.begin(), log.end(), [](const std::string& m) {
    return m.find("Download failed: FileName:[") == 0 && m.find("plain.dat] Reason:[") != std::string::npos &&
           m.find("Operation too slow") != std::string::npos;
  });
  EXPECT_EQ(said, 1) << ::testing::PrintToString(log);
  EXPECT_TRUE(Installed("Data/plain.dat") == plain) << "the installed file stays";
  EXPECT_TRUE(Installed("bin/app.dll") == appDll2) << "the other files still come";
  EXPECT_EQ(inst.InstalledString("CurVersion"), "1.2.0");
}

// 0 the framework's HTTP client, 1 the socket library, 2 the WinINet stand-in.
INSTANTIATE_TEST_SUITE_P(Transports, SlowServer, ::testing::Values(0, 1, 2), [](const auto& info) {
  return std::string(info.param == 0 ? "FrameworkHttp" : info.param == 1 ? "SocketLibrary" : "WinInet");
});

}  // namespace
