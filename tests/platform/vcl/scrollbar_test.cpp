// The scroll bar control worked by the mouse: arrows, track, a dragged thumb, the
// handler's say over the position, and the requests its parent hears.
#include <gtest/gtest.h>

#include "platform/display/input.h"
#include "platform/vcl/stdctrls.h"
#include "tests/support/headless_gui.h"

namespace {

// A panel that notes the scroll requests of its bars.
class TListener : public TCustomControl {
  VX_CLASS(TListener, TCustomControl)

 public:
  explicit TListener(TComponent* AOwner) : TCustomControl(AOwner) {}
  std::vector<std::pair<int, int>> heard;  // request, position

 protected:
  VX_MESSAGE_MAP(TListener, TCustomControl)
  VX_MESSAGE_HANDLER(WM_VSCROLL, WMVScroll)
  VX_END_MESSAGE_MAP
  void WMVScroll(TMessage& M) { heard.emplace_back(LOWORD(M.WParam), HIWORD(M.WParam)); }
};

}  // namespace

TEST(ScrollBar, ArrowsTrackAndThumbScrollAndTheParentHearsEachRequest) {
  THeadlessGui gui;
  TForm form(Application);
  form.SetBorderStyle(bsNone);
  form.SetBounds(0, 0, 200, 300);
  auto* panel = new TListener(&form);
  panel->SetBounds(0, 0, 200, 300);
  panel->SetParent(&form);
  auto* bar = new TScrollBar(&form);
  bar->SetKind(sbVertical);
  bar->SetBounds(10, 10, 16, 216);  // arrows of 16, a track of 184
  bar->SetParent(panel);
  bar->SetParams(0, 0, 99);
  bar->SetPageSize(10);
  bar->SetLargeChange(10);
  form.Show();
  THeadlessGui::Pump();
  EXPECT_EQ(bar->MaxPosition(), 90);
  int changes = 0;
  bar->OnChange = TNotifyEvent::FromFunction([&](TObject*) { ++changes; });
  auto click = [&](int Y) {
    vx::display::InjectClick(&form, 18, 10 + Y);
    THeadlessGui::Pump();
  };
  click(210);  // the lower arrow
  EXPECT_EQ(bar->Position(), 1);
  click(190);  // the track below the thumb
  EXPECT_EQ(bar->Position(), 11);
  click(5);  // the upper arrow
  EXPECT_EQ(bar->Position(), 10);
  // The thumb (18 pixels long, from 16 + 166 * 10 / 90 = 34) dragged down by half the
  // track's free length goes half way.
  vx::display::InjectMouseMove(&form, 18, 10 + 40);
  vx::display::InjectMouseDown(&form, mbLeft, 18, 10 + 40);
  vx::display::InjectMouseMove(&form, 18, 10 + 40 + 83);
  vx::display::InjectMouseUp(&form, mbLeft, 18, 10 + 40 + 83);
  THeadlessGui::Pump();
  EXPECT_EQ(bar->Position(), 55);
  EXPECT_EQ(changes, 4);
  // The handler may hold the position.
  bar->OnScroll = TScrollEvent::FromFunction([](TObject*, TScrollCode Code, int& Pos) {
    if (Code == scLineDown) Pos = 0;
  });
  click(210);
  EXPECT_EQ(bar->Position(), 0);
  bar->SetPosition(500);
  EXPECT_EQ(bar->Position(), 90);
  ASSERT_GE(panel->heard.size(), 6u);
  EXPECT_EQ(panel->heard.front(), std::make_pair(int(SB_LINEDOWN), 1));
  EXPECT_NE(std::find(panel->heard.begin(), panel->heard.end(), std::make_pair(int(SB_THUMBTRACK), 55)),
            panel->heard.end());
  EXPECT_NE(std::find(panel->heard.begin(), panel->heard.end(), std::make_pair(int(SB_THUMBPOSITION), 55)),
            panel->heard.end());
}
