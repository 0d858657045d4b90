// The progress bar on a headless form: percent and parts, synchronous repaints,
// orientation, styles, its faces in each frame style, and the frame controller.
#include "widgets/RzPrgres.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/gdi/text.h"
#include "platform/rtl/typinfo.h"
#include "platform/vcl/themes.h"
#include "tests/support/headless_gui.h"
#include "tests/widgets/widget_pictures.h"
#include "widgets/RzBmpBtn.h"
#include "widgets/RzRadChk.h"

namespace {

using widgettest::ControlPicture;
using widgettest::Rows;
using widgettest::TLegend;

// Counts its paints.
class TCountingBar : public TRzProgressBar {
  VX_CLASS(TCountingBar, TRzProgressBar)

 public:
  explicit TCountingBar(TComponent* AOwner) : TRzProgressBar(AOwner) {}
  int paints = 0;

 protected:
  void Paint() override {
    ++paints;
    TRzProgressBar::Paint();
  }
};

constexpr TColor kBar = 0xC2B787, kBorder = 0xACAE94;

class ProgressBar : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    vx::gdi::SetFontFile("WidgetSans", "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf");
  }
  static void TearDownTestSuite() { vx::gdi::SetFontFile("WidgetSans", ""); }

  void SetUp() override {
    form.SetBounds(0, 0, 400, 200);
    form.SetColor(clBtnFace);
    form.Show();
  }

  TCountingBar* AddBar(int X, int Y, int W, int H) {
    auto* b = new TCountingBar(&form);
    b->SetBounds(X, Y, W, H);
    b->SetParent(&form);
    b->Font()->SetName("WidgetSans");
    b->Font()->SetHeight(-11);
    return b;
  }

  // The updater's look: no outer frame, one ring of border colour, no text.
  TCountingBar* UpdaterBar(int W, int H) {
    auto* b = AddBar(10, 10, W, H);
    b->SetBarColor(kBar);
    b->SetBorderColor(kBorder);
    b->SetBorderOuter(fsNone);
    b->SetBorderWidth(1);
    b->SetShowPercent(false);
    return b;
  }

  THeadlessGui gui;
  TForm form{Application};
};

// Rows of a bar: a ring of B around F columns (or rows) of bar colour in back colour.
std::string RingedBar(int W, int H, int FilledFromLeft, int FilledFromBottom) {
  std::string out;
  for (int y = 0; y < H; ++y) {
    for (int x = 0; x < W; ++x) {
      if (x == 0 || y == 0 || x == W - 1 || y == H - 1)
        out += 'R';
      else if (x - 1 < FilledFromLeft && H - 1 - y <= FilledFromBottom)
        out += 'B';
      else
        out += 'K';
    }
    out += '\n';
  }
  return out;
}

TEST_F(ProgressBar, DefaultsAreThoseOfAFramedTraditionalBar) {
  TRzProgressBar bar(nullptr);
  EXPECT_EQ(bar.Width(), 200);
  EXPECT_EQ(bar.Height(), 24);
  EXPECT_EQ(bar.BackColor(), clWhite);
  EXPECT_EQ(bar.BarColor(), clHighlight);
  EXPECT_EQ(bar.Font()->Color(), clHighlight);
  EXPECT_EQ(bar.BarStyle(), bsTraditional);
  EXPECT_EQ(bar.BorderOuter(), fsLowered);
  EXPECT_EQ(bar.BorderInner(), fsNone);
  EXPECT_EQ(bar.BorderColor(), clBtnFace);
  EXPECT_EQ(bar.FlatColorAdjustment(), 30);
  EXPECT_EQ(bar.NumSegments(), 20);
  EXPECT_EQ(bar.Orientation(), orHorizontal);
  EXPECT_TRUE(bar.ShowPercent());
  EXPECT_TRUE(bar.ThemeAware());
  EXPECT_TRUE(bar.ControlStyle().Contains(csOpaque));
  bar.SetBarColor(kBar);
  EXPECT_EQ(bar.Font()->Color(), kBar) << "the text follows the bar colour";
}

TEST_F(ProgressBar, SetPercentFiresOnceAndPaintsBeforeItReturns) {
  auto* bar = UpdaterBar(102, 6);
  THeadlessGui::Pump();
  std::vector<int> changes;
  bar->OnChange = TProgressChangeEvent::FromFunction([&](TObject*, int32_t p) { changes.push_back(p); });
  const int before = bar->paints;
  bar->SetPercent(37);
  EXPECT_EQ(bar->paints, before + 1) << "painted inside the call";
  // The form's buffer already shows it, without any message processing.
  EXPECT_EQ(widgettest::FormPixel(&form, 10 + 1 + 36, 13), kBar);
  EXPECT_EQ(widgettest::FormPixel(&form, 10 + 1 + 37, 13), clWhite);
  bar->SetPercent(37);
  EXPECT_EQ(bar->paints, before + 1);
  EXPECT_EQ(changes, std::vector<int>{37});
  // Values are kept as given.
  bar->SetPercent(150);
  EXPECT_EQ(bar->Percent(), 150);
  EXPECT_EQ(changes.back(), 150);
}

TEST_F(ProgressBar, PartsSetThePercentRoundedAndAreClampedToTheTotal) {
  auto* bar = AddBar(10, 10, 100, 20);
  bar->SetTotalParts(3);
  bar->SetPartsComplete(2);
  EXPECT_EQ(bar->Percent(), 67);
  bar->SetPartsComplete(5);
  EXPECT_EQ(bar->PartsComplete(), 3u);
  EXPECT_EQ(bar->Percent(), 100);
  bar->SetTotalParts(8);
  EXPECT_EQ(bar->PartsComplete(), 0u);
  EXPECT_EQ(bar->Percent(), 0);
  // Without a total the percent is left alone.
  bar->SetTotalParts(0);
  bar->SetPercent(12);
  bar->SetPartsComplete(4);
  EXPECT_EQ(bar->Percent(), 12);

  // While loading, parts are stored without touching the percent.
  TRzProgressBar loading(nullptr);
  loading.BeginLoading();
  loading.SetPercent(40);
  loading.SetTotalParts(10);
  loading.SetPartsComplete(5);
  EXPECT_EQ(loading.Percent(), 40);
  EXPECT_EQ(loading.TotalParts(), 10u);
  EXPECT_EQ(loading.PartsComplete(), 5u);
  loading.EndLoading();
}

TEST_F(ProgressBar, StyleAndShapeCarryTheirSideEffects) {
  auto* bar = AddBar(10, 10, 100, 20);
  bar->SetBarStyle(bsLED);
  EXPECT_FALSE(bar->ShowPercent());
  EXPECT_EQ(bar->InteriorOffset(), 1);
  bar->SetBarStyle(bsTraditional);
  EXPECT_TRUE(bar->ShowPercent());
  EXPECT_EQ(bar->InteriorOffset(), 0);
  bar->SetOrientation(orVertical);
  bar->SetBounds(10, 10, 120, 20);
  EXPECT_EQ(bar->Orientation(), orHorizontal) << "the shape decides";
  bar->SetBounds(10, 10, 20, 100);
  EXPECT_EQ(bar->Orientation(), orVertical);
}

TEST_F(ProgressBar, TheUpdatersBarsShowARingOfBorderColourAroundTheFill) {
  auto* bar = UpdaterBar(12, 5);
  const TLegend legend{{'R', kBorder}, {'B', kBar}, {'K', clWhite}};
  bar->SetPercent(50);
  EXPECT_EQ(ControlPicture(bar, legend), RingedBar(12, 5, 5, 3));
  bar->SetPercent(100);
  EXPECT_EQ(ControlPicture(bar, legend), RingedBar(12, 5, 10, 3));

  // A bar taller than wide fills from the bottom.
  bar->SetBounds(10, 10, 5, 12);
  bar->SetPercent(50);
  EXPECT_EQ(ControlPicture(bar, legend), RingedBar(5, 12, 3, 5));
}

TEST_F(ProgressBar, FramesFollowTheBorderStyles) {
  auto* bar = AddBar(10, 10, 8, 6);
  bar->SetShowPercent(false);
  bar->SetBarColor(kBar);
  bar->SetBackColor(0xFAFAFA);
  bar->SetPercent(100);
  const TLegend legend{{'S', clBtnShadow}, {'H', clBtnHighlight}, {'D', cl3DDkShadow},
                       {'L', cl3DLight},  {'B', kBar},          {'F', ShiftColor(clBtnShadow, 30)},
                       {'K', 0xFAFAFA},   {'G', kBorder}};
  // The default lowered bevel: two rings.
  EXPECT_EQ(ControlPicture(bar, legend), Rows({"SSSSSSSH", "SDDDDDLH", "SDBBBBLH", "SDBBBBLH", "SLLLLLLH",
                                               "HHHHHHHH"}));
  // Flat: one ring of the flat colour made lighter by the adjustment.
  bar->SetBorderOuter(fsFlat);
  EXPECT_EQ(ControlPicture(bar, legend), Rows({"FFFFFFFF", "FBBBBBBF", "FBBBBBBF", "FBBBBBBF", "FBBBBBBF",
                                               "FFFFFFFF"}));
  // A border ring in the border colour, and an interior offset ring in back colour.
  bar->SetBorderColor(kBorder);
  bar->SetBorderWidth(1);
  bar->SetInteriorOffset(1);
  bar->SetBounds(10, 10, 10, 7);
  EXPECT_EQ(ControlPicture(bar, legend), Rows({"FFFFFFFFFF", "FGGGGGGGGF", "FGKKKKKKGF", "FGKBBBBKGF",
                                               "FGKKKKKKGF", "FGGGGGGGGF", "FFFFFFFFFF"}));
}

TEST_F(ProgressBar, LedBarsSitInsideTheirInteriorRing) {
  auto* bar = AddBar(10, 10, 64, 10);
  bar->SetBorderOuter(fsNone);
  bar->SetBarColor(kBar);
  bar->SetBarStyle(bsLED);
  bar->SetNumSegments(20);
  bar->SetPercent(50);
  // 64 - 2 (interior ring) = 62 pixels: 10 segments of 6, one pixel of margin.
  const std::string pic = ControlPicture(bar, {{'B', kBar}, {'K', clWhite}});
  const auto at = [&](int x, int y) { return pic[y * 65 + x]; };
  for (int x = 0; x < 64; ++x) {
    EXPECT_EQ(at(x, 0), 'K');
    EXPECT_EQ(at(x, 9), 'K');
  }
  // Segment i covers 2 + 6(i-1) .. 7 + 6(i-1); its inside is lit for i <= 5.
  for (int i = 1; i <= 10; ++i) {
    const int x = 2 + 6 * (i - 1);
    EXPECT_EQ(at(x, 4), 'K') << i;
    EXPECT_EQ(at(x + 2, 4), i <= 5 ? 'B' : 'K') << i;
  }
}

TEST_F(ProgressBar, ThePercentTextUsesTheControlsFont) {
  auto* bar = AddBar(10, 10, 60, 16);
  bar->SetBorderOuter(fsNone);
  bar->SetBarColor(kBar);
  bar->SetPercent(0);
  bar->Repaint();
  // Nothing filled: the text shows in the bar colour on white, centred.
  const std::string pic = ControlPicture(bar, {{'B', kBar}, {'K', clWhite}});
  int left = 60, right = -1;
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 60; ++x)
      if (pic[y * 61 + x] == 'B') left = std::min(left, x), right = std::max(right, x);
  ASSERT_GE(right, 0) << "text drawn";
  EXPECT_LE(std::abs((left + right + 1) / 2 - 30), 1) << left << ".." << right;
}

TEST_F(ProgressBar, ThemedBarsDrawTheBarPartAndInsetTheirContent) {
  widgettest::TThemesOn themes;
  auto& drawn = themes.Drawn();
  auto* bar = AddBar(10, 10, 100, 20);
  bar->SetBarStyle(bsLED);
  bar->SetPercent(50);
  ASSERT_GE(drawn.size(), 2u);
  const auto n = drawn.size();
  EXPECT_EQ(drawn[n - 2].first, ThemeServices()->GetElementDetails(tpBar));
  EXPECT_EQ(drawn[n - 2].second, (TRect{0, 0, 100, 20}));
  // LED content is inset by the interior offset + 1, and the chunk once more.
  EXPECT_EQ(drawn[n - 1].first, ThemeServices()->GetElementDetails(tpChunk));
  EXPECT_EQ(drawn[n - 1].second, (TRect{3, 3, 3 + 47, 17}));
  bar->SetThemeAware(false);
  bar->Repaint();
  EXPECT_EQ(drawn.size(), n) << "a bar that ignores themes draws its own frame";
}

// A control without the notification interface that publishes two of the
// controller's properties.
class TPlainControl : public TGraphicControl {
  VX_CLASS(TPlainControl, TGraphicControl)

 public:
  explicit TPlainControl(TComponent* AOwner) : TGraphicControl(AOwner) {}
  TColor FrameColor() const { return frameColor_; }
  void SetFrameColor(TColor Value) { frameColor_ = Value, ++sets; }
  TSides FrameSides() const { return sides_; }
  void SetFrameSides(TSides Value) { sides_ = Value, ++sets; }
  TColor frameColor_ = clNone;
  TSides sides_;
  int sets = 0;
};

TEST_F(ProgressBar, TheFrameControllerReachesEveryRegisteredControl) {
  PublishOrdinal<TPlainControl>("FrameColor", &TPlainControl::FrameColor, &TPlainControl::SetFrameColor);
  PublishText<TPlainControl, TSides>(
      "FrameSides", [](TPlainControl* c) { return c->FrameSides(); },
      [](TPlainControl* c, TSides s) { c->SetFrameSides(s); }, SidesToString, StringToSides);
  TRzFrameController controller(nullptr);
  auto* a = AddBar(10, 10, 100, 20);
  auto* b = AddBar(10, 40, 100, 20);
  auto* plain = new TPlainControl(&form);
  plain->SetParent(&form);
  a->SetFrameController(&controller);
  b->SetFrameController(&controller);
  controller.AddControl(plain);
  auto* radio = new TRzRadioButton(&form);
  radio->SetParent(&form);
  radio->SetFrameController(&controller);
  EXPECT_EQ(controller.ControlCount(), 4);
  EXPECT_EQ(plain->FrameColor(), clBtnShadow) << "registration applies everything";
  EXPECT_EQ(plain->FrameSides(), sdAllSides);

  // Frames shown: the bars take style, flat colour and back colour themselves.
  controller.SetFrameStyle(fsGroove);
  EXPECT_EQ(a->BorderOuter(), fsLowered) << "nothing taken while frames are hidden";
  controller.BeginUpdate();
  controller.SetFrameVisible(true);
  controller.SetFrameColor(0x123456);
  controller.SetColor(0xEEEEEE);
  EXPECT_EQ(a->BorderOuter(), fsLowered) << "held until EndUpdate";
  EXPECT_EQ(plain->FrameColor(), clBtnShadow);
  controller.EndUpdate();
  for (auto* bar : {a, b}) {
    EXPECT_EQ(bar->BorderOuter(), fsGroove);
    EXPECT_EQ(bar->FlatColor(), 0x123456);
    EXPECT_EQ(bar->FlatColorAdjustment(), 0);
    EXPECT_EQ(bar->BackColor(), 0xEEEEEE);
  }
  EXPECT_EQ(plain->FrameColor(), 0x123456);
  EXPECT_EQ(radio->FrameColor(), 0x123456);
  controller.SetDisabledColor(0x654321);
  EXPECT_EQ(radio->DisabledColor(), 0x654321);
  delete radio;
  // A picture button takes the colour through its published property.
  TRzBmpButton button(nullptr);
  controller.AddControl(&button);
  EXPECT_EQ(button.Color(), 0xEEEEEE);
  controller.RemoveControl(&button);
  const int sets = plain->sets;
  controller.SetFlatButtons(false);
  EXPECT_EQ(plain->sets, sets) << "a property the control lacks is left alone";
  controller.SetFrameSides(TSides{sdTop});
  EXPECT_EQ(plain->FrameSides(), TSides{sdTop}) << "sets travel as their text";

  // Setting Color moves FocusColor along when they were equal.
  EXPECT_EQ(controller.FocusColor(), 0xEEEEEE);
  controller.SetFocusColor(0x111111);
  controller.SetColor(0x222222);
  EXPECT_EQ(controller.FocusColor(), 0x111111);

  // Controls leave the controller when they go, and forget a controller that goes.
  delete plain;
  EXPECT_EQ(controller.ControlCount(), 2);
  b->SetFrameController(nullptr);
  EXPECT_EQ(controller.ControlCount(), 1);
  {
    TRzFrameController temporary(nullptr);
    b->SetFrameController(&temporary);
  }
  EXPECT_EQ(b->FrameController(), nullptr);
}

TEST_F(ProgressBar, ControllerSettingsCopyAndOldValuesMapOntoTheNewOnes) {
  TRzFrameController source(nullptr), copy(nullptr);
  source.SetFrameHotTrack(true);
  EXPECT_TRUE(source.FrameVisible()) << "hot tracking shows frames";
  source.SetFrameStyle(fsBump);
  source.SetParentColor(true);
  copy.Assign(&source);
  EXPECT_TRUE(copy.FrameHotTrack());
  EXPECT_EQ(copy.FrameStyle(), fsBump);
  EXPECT_TRUE(copy.ParentColor());

  TRzFrameController old(nullptr);
  old.ReadOldFrameFlat(true);
  EXPECT_TRUE(old.FrameHotTrack());
  EXPECT_EQ(old.FrameStyle(), fsStatus);
  EXPECT_EQ(old.FrameHotStyle(), fsLowered);
  old.ReadOldFrameFocusStyle("fsButtonUp");
  EXPECT_EQ(old.FrameHotStyle(), fsButtonUp);
  EXPECT_THROW(old.ReadOldFrameFocusStyle("fsNothing"), EConvertError);
  old.ReadOldFrameFlatStyle("fsGroove");
  EXPECT_EQ(old.FrameStyle(), fsStatus);

  auto* store = new TRzRegIniFile(&old);
  old.SetRegIniFile(store);
  EXPECT_EQ(store->PathType(), ptIniFile);
  EXPECT_EQ(store->RegKey(), hkeyCurrentUser);
  EXPECT_EQ(store->RegAccess(), TRzRegAccess{keyAllAccess});
  EXPECT_TRUE(store->NeedsRefresh());
  store->Free();
  EXPECT_EQ(old.RegIniFile(), nullptr) << "a removed store is forgotten";
}

}  // namespace
