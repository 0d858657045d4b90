// The fast/safe choice made in the updater's real window, on an X server, with the
// mouse: once the window shows the choice, xdotool clicks the safe update button and
// the confirm button where the window shows them.
#include <atomic>
#include <thread>
#include <utility>

#include "tests/e2e/update_fixture.h"
#include "tests/support/wait.h"
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
  // The title gets the last update's date in the step that shows the choice panel, so
  // from then on a click meets the panel's buttons.
  unsigned long window = 0;
  vxtest::WaitUntil([&] { return done || (window = xvfb.FindWindow("최종변경일")) != 0; });
  // The panel stands at DESIGN/UpdateTypeLeft, UpdateTypeTop (29, 209) of the client
  // area, the safe update button at 137, 102 inside it; the confirm button at 346, 349,
  // 79 x 24. The window takes the clicks in order: the choice, then the confirmation.
  if (window) {
    for (const auto& [x, y] : {std::pair{176, 318}, std::pair{385, 361}})
      EXPECT_EQ(xvfb.Run({"xdotool", "mousemove", "--window", std::to_string(window), "--sync", std::to_string(x),
                          std::to_string(y), "click", "1"}),
                0);
  }
  run.join();
  if (!window) {
    std::string log;
    for (const auto& m : inst.LogMessages()) log += m + "\n";
    ADD_FAILURE() << "the choice was never shown; the log:\n" << log;
  }
  ASSERT_TRUE(r.exited) << "signal " << r.signal << (r.timedOut ? " (timed out)" : "");
  EXPECT_EQ(r.exitCode, 0);
  // A safe update: the changed library by its MD5, no fast list.
  EXPECT_EQ(Gets(), (std::vector<std::string>{"/update.ini", "/bin/app.dll"}));
  EXPECT_TRUE(Installed("bin/app.dll") == appDll2);
  EXPECT_EQ(inst.InstalledString("CurVersion"), "1.3.0");
  EXPECT_EQ(inst.InstalledInteger("UpdateType"), 1);
}

}  // namespace
