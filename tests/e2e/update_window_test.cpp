// The fast/safe choice made in the updater's real window, on an X server, with the
// mouse: xdotool clicks the safe update button and the confirm button where the
// window shows them.
#include <atomic>
#include <chrono>
#include <thread>

#include "tests/e2e/update_fixture.h"
#include "tests/support/xserver.h"

namespace {

class UpdateWindow : public UpdateRunBase {};

TEST_F(UpdateWindow, SafeUpdateChosenWithTheMouse) {
  TXvfb xvfb;
  ASSERT_FALSE(xvfb.Name().empty()) << "Xvfb did not start";
  InstallRelease12();
  inst.Serve("bin/app.dll", appDll2);
  List l;
  l.version = "1.3.0";
  l.files = Release12();
  l.files[0] = vxtest::LoaderInstall::FileLine("%ROOT%\\bin\\app.dll", appDll2);
  l.fast = "1.3.0=/fast/130.ini\r\n";
  WriteList(l);

  std::atomic<bool> done{false};
  vxtest::RunResult r;
  std::thread run([&] {
    r = inst.Run({}, {}, xvfb.Name());
    done = true;
  });
  // The choice panel stands at DESIGN/UpdateTypeLeft, UpdateTypeTop (29, 209) of the
  // client area, the safe update button at 137, 102 inside it; the confirm button at
  // 346, 349, 79 x 24. Until the panel shows, clicks there meet the background.
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(90);
  int clicks = 0;
  while (!done && std::chrono::steady_clock::now() < end) {
    for (const char* at : {"176 318", "385 361"}) {
      std::string x = at, y = x.substr(x.find(' ') + 1);
      x.resize(x.find(' '));
      xvfb.Run({"xdotool", "search", "--onlyvisible", "--class", "vxsystem", "mousemove", "--window", "%1", x, y,
                "click", "1"});
    }
    ++clicks;
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
  }
  run.join();
  ASSERT_TRUE(r.exited) << "signal " << r.signal << (r.timedOut ? " (timed out)" : "") << " after " << clicks
                        << " rounds of clicks";
  EXPECT_EQ(r.exitCode, 0);
  // A safe update: the changed library by its MD5, no fast list.
  EXPECT_EQ(Gets(), (std::vector<std::string>{"/update.ini", "/bin/app.dll"}));
  EXPECT_TRUE(Installed("bin/app.dll") == appDll2);
  EXPECT_EQ(inst.InstalledString("CurVersion"), "1.3.0");
  EXPECT_EQ(inst.InstalledInteger("UpdateType"), 1);
}

}  // namespace
