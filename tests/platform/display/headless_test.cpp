// The headless script: which lines are carried out, which wait for their form and for
// how long, and which are reported and skipped.
#include "platform/display/headless.h"

#include <gtest/gtest.h>

#include <fstream>

#include "platform/vcl/stdctrls.h"
#include "tests/support/TempFolder.h"
#include "tests/support/headless_gui.h"
#include "tests/support/manual_clock.h"

using vx::display::THeadlessScript;

// A shown form "Main" with a shown button "Go" and a hidden one "Later".
class HeadlessScript : public ::testing::Test {
 protected:
  void SetUp() override {
    form.SetName("Main");
    for (const char* name : {"Go", "Later"}) {
      auto* b = new TButton(&form);
      b->SetName(name);
      b->SetParent(&form);
      b->SetVisible(*name == 'G');
    }
    form.Show();
  }

  THeadlessGui gui;
  TForm form{Application};
};

TEST_F(HeadlessScript, LinesAreCarriedOutWaitedForOrReportedAndSkipped) {
  struct Case {
    std::vector<std::string> lines;
    size_t before;       // the line reached before the wait is over
    std::string report;  // on standard error once every line is done
  };
  const Case cases[] = {
      {{"# a comment", "", "click Main.Go", "type Kim 7", "save /tmp/a b.xls", "key Ctrl+S"}, 6, ""},
      {{"click Never.Go", "click Main.Go"}, 0, "line 1 \"click Never.Go\": form \"Never\" not shown after 2 s; skipped"},
      {{"click Main.Later"}, 0, "line 1 \"click Main.Later\": control \"Main.Later\" not shown and enabled after 2 s; skipped"},
      {{"answer IDYES"}, 0, "line 1 \"answer IDYES\": no message box or modal form after 2 s; skipped"},
      {{"click Main.Nope", "click Main.Go"}, 2, "line 1 \"click Main.Nope\": no control \"Nope\" on form \"Main\"; skipped"},
      {{"jump Main", "key Hyper"}, 2, "line 1 \"jump Main\": cannot understand the line; skipped\nheadless script: "
                                      "line 2 \"key Hyper\": unknown key \"Hyper\"; skipped"},
  };
  TManualClock clock;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.lines[0]);
    THeadlessScript script(c.lines);
    script.SetPatience(2'000'000'000);
    testing::internal::CaptureStderr();
    while (script.Step()) {
    }
    EXPECT_EQ(script.Position(), c.before);
    clock.AdvanceMs(1999);
    EXPECT_FALSE(script.Step());
    clock.AdvanceMs(1);
    while (script.Step()) {
    }
    THeadlessGui::Pump();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), c.report.empty() ? "" : "headless script: " + c.report + "\n");
    EXPECT_TRUE(script.Finished());
  }
}

// Each line of the README's scripts (the indented blocks after a paragraph that speaks of
// a headless script) works when copied: the reader carries it out or waits for what it
// acts on, and skips none.
TEST_F(HeadlessScript, EveryLineOfTheReadmesScriptsIsUnderstood) {
  std::ifstream readme(std::string(VX_SOURCE_DIR) + "/README.md");
  std::string paragraph;
  bool ended = true;
  int lines = 0;
  TManualClock clock;
  for (std::string line; std::getline(readme, line);) {
    if (line.rfind("    ", 0) != 0) {
      paragraph = line.empty() ? paragraph : (ended ? "" : paragraph + " ") + line;
      ended = line.empty();
      continue;
    }
    if (paragraph.find("VX_HEADLESS_SCRIPT") == std::string::npos && paragraph.find("headless script") == std::string::npos)
      continue;
    THeadlessScript script({line.substr(4)});
    testing::internal::CaptureStderr();
    script.Step();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << line;
    ++lines;
  }
  EXPECT_GE(lines, 10);
}

TEST_F(HeadlessScript, AWaitingLineEndsTheIdleWaitAtItsDeadline) {
  TempFolder dir;
  WriteFileBytes(dir / "script", "click Never.Go\n");
  auto presenter = std::make_unique<vx::display::THeadlessPresenter>(dir / "script");
  THeadlessScript* script = presenter->Script();
  script->SetPatience(50'000'000);
  Application->SetPresenter(std::move(presenter));
  // Nothing else happens: only the presenter's own wake-up ends the thread's wait.
  while (Application->ProcessMessages(), !script->Finished())
    ASSERT_NE(MsgWaitForMultipleObjects(0, nullptr, FALSE, vxtest::kPatienceMs, QS_ALLINPUT), DWORD(WAIT_TIMEOUT));
  Application->SetPresenter(std::make_unique<vx::display::THeadlessPresenter>());
}
