// The rich label on a headless form: runs laid out in lines with their styles, links
// clicked through injected input reaching a recording xdg-open on a screen, blinking and scrolling
// runs on the test clock, and new texts replacing old ones.
#include "bizcontrols/vxXLabel.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/TempFolder.h"
#include "tests/support/headless_gui.h"
#include "tests/support/manual_clock.h"
#include "tests/support/script_file.h"
#include "tests/support/wait.h"

namespace {

class RichLabel : public ::testing::Test {
 protected:
  TManualClock clock;  // before the form: every timer runs on it
  THeadlessGui gui;
  TForm form{Application};
  TvxXLabel* label = nullptr;

  void SetUp() override {
    form.SetBounds(0, 0, 400, 240);
    label = new TvxXLabel(&form);
    label->SetBounds(10, 10, 380, 200);
    label->SetParent(&form);
    form.Show();
  }

  TvxXLabelHelper* Run(int I) { return label->Helpers(I); }
  int TextWidth(TvxXLabelHelper* Run, const std::string& Text) {
    TScratchCanvas c;
    c.SetFont(Run->Font());
    return c.TextWidth(Text);
  }
  void Tick(int Ms) {
    clock.AdvanceMs(Ms);
    THeadlessGui::Pump();
  }
};

TEST_F(RichLabel, RunsStandSideBySideInLinesWithTheirStyles) {
  label->SetText("a<B>b</B>");
  ASSERT_EQ(label->HelperCount(), 2);
  EXPECT_EQ(Run(1)->Left(), Run(0)->Width());
  EXPECT_EQ(Run(1)->Top(), 0);
  EXPECT_TRUE(Run(1)->Font()->Style().Contains(fsBold));
  EXPECT_EQ(Run(1)->Width(), TextWidth(Run(1), "b")) << "measured in its own font";
  EXPECT_EQ(Run(0)->Font()->Charset(), 129);

  label->SetText("x<BR>y");
  ASSERT_EQ(label->HelperCount(), 3);
  EXPECT_EQ(Run(0)->BoundsRect(), Bounds(0, 0, Run(0)->Width(), Run(0)->Height()));
  EXPECT_TRUE(Run(1)->LineBreak());
  EXPECT_EQ(Run(1)->Caption(), " ");
  EXPECT_EQ(Run(1)->Left(), 0);
  EXPECT_EQ(Run(1)->Top(), 0) << "the break stands at the end of its own line";
  EXPECT_EQ(Run(2)->Left(), TextWidth(Run(1), " "));
  EXPECT_EQ(Run(2)->Top(), Run(0)->Height());

  label->SetText("<I>i<U>u</U></I>");
  EXPECT_EQ(Run(0)->Font()->Style(), TFontStyles{fsItalic});
  EXPECT_EQ(Run(1)->Font()->Style(), (TFontStyles{fsItalic, fsUnderline}));
}

TEST_F(RichLabel, FontAttributesAreReadByTheirOwnKeyAndBadOnesChangeNothing) {
  const int size = label->Font()->Size();
  const TColor colour = label->Font()->Color();
  const struct {
    const char* text;
    int size;
    TColor colour;
  } cases[] = {
      {"<FONT SIZE='12' COLOR='255'>r</FONT>", 12, clRed},
      {"<FONT COLOR='255'>r</FONT>", size, clRed},
      {"<FONT SIZE='12'>r</FONT>", 12, colour},
      {"<FONT color='$FF0000' size='14'>r</FONT>", 14, clBlue},
      {"<FONT SIZE='big' COLOR=''>r</FONT>", size, colour},
      {"<FONT SIZE='99999' COLOR='255>r</FONT>", size, colour},
      {"<FONT TITLE='SIZE=9' SIZE=\"11\">r</FONT>", 11, colour},
      {"<FONT SIZE='9'><FONT SIZE='16'>r</FONT></FONT>", 16, colour},
  };
  for (const auto& c : cases) {
    EXPECT_NO_THROW(label->SetText(c.text)) << c.text;
    ASSERT_EQ(label->HelperCount(), 1) << c.text;
    EXPECT_EQ(Run(0)->Font()->Size(), c.size) << c.text;
    EXPECT_EQ(Run(0)->Font()->Color(), c.colour) << c.text;
  }
}

TEST_F(RichLabel, AttributeReaders) {
  using H = TvxXLabelHelper;
  EXPECT_EQ(H::GetIntegerFromProp("DIRECTION='U' SPEED='50' ", "SPEED"), 50);
  EXPECT_EQ(H::GetIntegerFromProp("DIRECTION='U' ", "SPEED"), 0);
  EXPECT_EQ(H::GetIntegerFromProp("", "SPEED"), 0);
  EXPECT_EQ(H::GetIntegerFromProp("XSPEED='5' SPEED='7'", "SPEED"), 7) << "a whole key";
  EXPECT_EQ(H::GetColorFromProp("COLOR='$00FF00'"), clLime);
  EXPECT_EQ(H::GetDirection("direction='l' "), "L");
  EXPECT_EQ(H::GetDirection("SPEED='5'"), "");
  label->SetText("<A TARGET='w' HREF='page.htm'>go</A>");
  EXPECT_EQ(Run(0)->GetParsedItemLinkedUrl(), "page.htm") << "wherever it stands";
  label->SetText("<A href=\"Q.htm\">go</A>");
  EXPECT_EQ(Run(0)->URL(), "Q.htm");
}

// ---- Links ----

class Links : public RichLabel {
 protected:
  TempFolder dir;
  std::string oldPath;

  void SetUp() override {
    RichLabel::SetUp();
    // A recording opener first on the path: its arguments, each ended by a NUL.
    std::filesystem::create_directories(dir / "bin");
    WriteScript(dir / "bin/xdg-open",
                "printf '%s\\0' \"$@\" > '" + dir / "args.tmp" + "' && mv '" + dir / "args.tmp" + "' '" +
                    dir / "args" + "'\n");
    oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
    setenv("PATH", (dir / "bin" + ":" + oldPath).c_str(), 1);
  }
  void TearDown() override { setenv("PATH", oldPath.c_str(), 1); }

  // The arguments of the next opener run, once it has written them.
  std::vector<std::string> Opened() {
    std::string bytes;
    vxtest::WaitUntil([&] { return !(bytes = ReadFileBytes(dir / "args")).empty(); });
    std::filesystem::remove(dir / "args");
    std::vector<std::string> args;
    for (size_t start = 0, nul; (nul = bytes.find('\0', start)) != std::string::npos; start = nul + 1)
      args.push_back(bytes.substr(start, nul - start));
    return args;
  }
};

TEST_F(Links, AnAddressReachesTheOpenerAsOneUnchangedArgumentOnlyOnAScreen) {
  const std::string addresses[] = {
      "page.htm", "http://127.0.0.1/a b.htm", "x';rm -rf ~'", "$(touch pwned)`id`", "\\\"; echo hi",
      std::string(4096, 'w'),
  };
  for (const std::string& address : addresses) {
    const char quote = address.find('\'') == std::string::npos ? '\'' : '"';
    label->SetText("see <A HREF=" + std::string(1, quote) + address + std::string(1, quote) + ">go</A>");
    ASSERT_EQ(label->HelperCount(), 2);
    ASSERT_EQ(Run(1)->URL(), address);
    for (const bool headless : {true, false}) {
      Application->SetPresenter(std::unique_ptr<IPresenter>(headless ? new vx::display::THeadlessPresenter
                                                                       : new TPretendDisplay));
      testing::internal::CaptureStderr();
      THeadlessGui::Click(Run(1));
      Tick(1000);  // the next click is no double click
      EXPECT_EQ(testing::internal::GetCapturedStderr(),
                headless ? "headless run: " + dir / "bin/xdg-open " + address + " not started\n" : "");
    }
    EXPECT_EQ(Opened(), std::vector<std::string>{address}) << address.substr(0, 40);
  }
  EXPECT_FALSE(std::filesystem::exists(dir / "bin/pwned"));
  EXPECT_FALSE(std::filesystem::exists("pwned"));
}

TEST_F(Links, ALinkWithoutAddressRaisesTheEventAndPlainTextDoesNothing) {
  std::vector<TObject*> senders;
  label->OnClickEvent = TNotifyEvent::FromFunction([&](TObject* s) { senders.push_back(s); });
  label->SetText("plain <A>go</A>");
  THeadlessGui::Click(Run(0));
  EXPECT_TRUE(senders.empty());
  vx::display::InjectMouseMove(&form, vx::display::ControlCentre(Run(1)).x, vx::display::ControlCentre(Run(1)).y);
  THeadlessGui::Pump();
  EXPECT_EQ(Run(1)->Cursor(), crHandPoint);
  EXPECT_EQ(Run(0)->Cursor(), crDefault);
  THeadlessGui::Click(Run(1));
  EXPECT_EQ(senders, std::vector<TObject*>{Run(1)});

  // The handler may give the label a new text: the clicked run goes once it is done.
  label->OnClickEvent = TNotifyEvent::FromFunction([&](TObject*) { label->SetText("<B>new</B> text"); });
  const int owned = label->ComponentCount();
  Tick(1000);  // not a double click
  THeadlessGui::Click(Run(1));
  THeadlessGui::Pump();
  ASSERT_EQ(label->HelperCount(), 2);
  EXPECT_EQ(Run(0)->Caption(), "new");
  EXPECT_EQ(label->ComponentCount(), owned) << "the parser and two runs";
}

// ---- Blinking and scrolling ----

TEST_F(RichLabel, ABlinkingRunSwapsColoursEveryHalfSecond) {
  label->SetText("<BLINK>b</BLINK>");
  TvxXLabelHelper* run = Run(0);
  const TColor own = run->Font()->Color();
  ASSERT_NE(own, run->Color());
  Tick(499);
  EXPECT_EQ(run->Font()->Color(), own);
  Tick(1);
  EXPECT_EQ(run->Font()->Color(), run->Color()) << "the background's colour";
  Tick(500);
  EXPECT_EQ(run->Font()->Color(), own);
  label->SetText("still");
  EXPECT_FALSE(Run(0)->BlinkTimer()->Enabled());
}

TEST_F(RichLabel, AMarqueeMovesOnePixelPerTickAndWrapsOnceOutOfSight) {
  label->SetText("ab<MARQUEE DIRECTION='L' SPEED='30'>news</MARQUEE>");
  ASSERT_EQ(label->PanelCount(), 1);
  TvxXLabelHelperPanel* panel = label->Panels(0);
  TvxXLabelHelper* news = Run(1);
  EXPECT_EQ(news->Parent(), panel);
  EXPECT_EQ(panel->Left(), Run(0)->Width()) << "the panel stands in the run's place";
  EXPECT_EQ(panel->Width(), news->Width());
  EXPECT_EQ(panel->Height(), news->Height());
  EXPECT_EQ(panel->Timer()->Interval(), 30u);
  const int w = news->Width();
  for (int i = 1; i <= w + 1; ++i) Tick(30);
  EXPECT_EQ(news->Left(), -(w + 1));
  Tick(29);
  EXPECT_EQ(news->Left(), -(w + 1));
  Tick(1);
  EXPECT_EQ(news->Left(), -(w + 1) + 2 * w - 1) << "wholly past the left edge: a jump of twice the width";
}

TEST_F(RichLabel, MarqueeDirectionsSpeedsAndBlocks) {
  const struct {
    const char* text;
    int dx, dy;
    Cardinal interval;
  } cases[] = {
      {"<MARQUEE DIRECTION='R' SPEED='20'>m</MARQUEE>", 1, 0, 20},
      {"<MARQUEE DIRECTION='U' SPEED='20'>m</MARQUEE>", 0, -1, 20},
      {"<MARQUEE DIRECTION='D' SPEED='20'>m</MARQUEE>", 0, 1, 20},
      {"<MARQUEE DIRECTION='l' SPEED='20'>m</MARQUEE>", -1, 0, 20},
      {"<MARQUEE DIRECTION='X' SPEED='20'>m</MARQUEE>", 0, 0, 20},
      {"<MARQUEE DIRECTION='L'>m</MARQUEE>", -1, 0, 100},
      {"<MARQUEE SPEED='20'>m</MARQUEE>", 0, 0, 20},
  };
  for (const auto& c : cases) {
    label->SetText(c.text);
    ASSERT_EQ(label->PanelCount(), 1);
    EXPECT_EQ(label->Panels(0)->Timer()->Interval(), c.interval) << c.text;
    const TPoint before{Run(0)->Left(), Run(0)->Top()};
    Tick(int(c.interval));
    EXPECT_EQ(Run(0)->Left() - before.x, c.dx) << c.text;
    EXPECT_EQ(Run(0)->Top() - before.y, c.dy) << c.text;
  }

  // Two runs of a block side by side in its panel; a later block has a panel of its own,
  // and a line break after a block joins the block's panel.
  label->SetText("<MARQUEE>a<B>b</B></MARQUEE>c<MARQUEE>d</MARQUEE><BR>e");
  ASSERT_EQ(label->PanelCount(), 2);
  EXPECT_EQ(label->Panels(0)->HelperCount(), 2);
  EXPECT_EQ(Run(1)->Left(), Run(0)->Width());
  EXPECT_EQ(Run(1)->Parent(), label->Panels(0));
  EXPECT_EQ(Run(2)->Parent(), label) << "plain text between the blocks";
  EXPECT_EQ(Run(4)->Parent(), label->Panels(1)) << "the break";
  EXPECT_EQ(label->Panels(1)->Height(), Run(3)->Height()) << "one line in view";
  EXPECT_EQ(Run(5)->Parent(), label);
}

TEST_F(RichLabel, ANewTextReplacesTheRunsPanelsAndTimersOfTheOld) {
  label->SetText("<BLINK>a</BLINK><BR><MARQUEE>b</MARQUEE>");
  const int children = label->ControlCount(), owned = label->ComponentCount();
  for (int i = 0; i < 3; ++i) label->SetText("<BLINK>a</BLINK><BR><MARQUEE>b</MARQUEE>");
  EXPECT_EQ(label->ControlCount(), children);
  EXPECT_EQ(label->ComponentCount(), owned);
  EXPECT_EQ(Run(0)->Top(), 0) << "the lines start at the top again";
  label->SetText("");
  EXPECT_EQ(label->HelperCount(), 0);
  EXPECT_EQ(label->PanelCount(), 0);
  EXPECT_EQ(label->ComponentCount(), 1) << "the parser alone";
  Tick(1000);

  label->SetText("a<B>b</B>");
  label->SetTransparent(true);
  label->SetTransparent(false);
  EXPECT_FALSE(Run(1)->Transparent());
}

}  // namespace
