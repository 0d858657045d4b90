// A form on a real X server (Xvfb, started here on a free display number), worked by
// xdotool like a person would, and its window compared pixel for pixel with the same
// form worked the same way without a display.
#include "platform/display/x11.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "platform/display/headless.h"
#include "platform/display/input.h"
#include "platform/gdi/dib.h"
#include "platform/vcl/extctrls.h"
#include "platform/vcl/forms.h"
#include "platform/vcl/stdctrls.h"
#include "tests/support/headless_gui.h"
#include "tests/support/xserver.h"

namespace {

// The form under test: a few standard controls on a panel.
struct TTestForm {
  explicit TTestForm() : form(new TForm(Application)) {
    form->SetBorderStyle(bsNone);
    form->SetBounds(40, 30, 320, 200);
    form->SetCaption("Controls");
    auto* panel = new TPanel(form);
    panel->SetBounds(10, 10, 300, 180);
    panel->SetCaption("");
    panel->SetParent(form);
    label = new TLabel(form);
    label->SetBounds(12, 12, 0, 0);
    label->SetCaption("Not pressed");
    label->SetParent(panel);
    edit = new TEdit(form);
    edit->SetBounds(12, 40, 150, 21);
    edit->SetParent(panel);
    button = new TButton(form);
    button->SetCaption("&Press");
    button->SetBounds(12, 80, 75, 25);
    button->SetParent(panel);
    check = new TCheckBox(form);
    check->SetCaption("Check me");
    check->SetBounds(12, 120, 120, 17);
    check->SetParent(panel);
    button->OnClick = TNotifyEvent::FromFunction([this](TObject*) {
      ++clicks;
      label->SetCaption("Pressed");
    });
    form->OnClose = TCloseEvent::FromFunction([this](TObject*, TCloseAction&) { closed = true; });
  }
  ~TTestForm() { form->Free(); }
  TPoint ScreenCentre(TControl* c) const { return c->ClientToScreen(TPoint{c->Width() / 2, c->Height() / 2}); }

  TForm* form;
  TLabel* label;
  TEdit* edit;
  TButton* button;
  TCheckBox* check;
  int clicks = 0;
  bool closed = false;
};

std::vector<uint32_t> BackBuffer(TCustomForm* form) {
  form->PaintNow();
  std::vector<uint32_t> out;
  auto b = form->BackBuffer();
  for (int y = 0; y < b->Height(); ++y)
    for (int x = 0; x < b->Width(); ++x) {
      const COLORREF c = b->ColorFromRaw(b->GetRaw(x, y));
      out.push_back(uint32_t(GetRValue(c)) << 16 | uint32_t(GetGValue(c)) << 8 | GetBValue(c));
    }
  return out;
}

int Differences(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b) {
  if (a.size() != b.size()) return -1;
  int n = 0;
  for (size_t i = 0; i < a.size(); ++i) n += a[i] != b[i];
  return n;
}

}  // namespace

TEST(X11Presenter, AFormWorkedByXdotoolLooksLikeTheSameFormWorkedWithoutADisplay) {
  TXvfb xvfb;
  ASSERT_FALSE(xvfb.Name().empty()) << "Xvfb did not start";
  auto presenter = vx::display::TryX11Presenter(xvfb.Name());
  ASSERT_NE(presenter, nullptr);
  IPresenter* x11 = presenter.get();
  EXPECT_FALSE(x11->Headless());
  EXPECT_EQ(x11->ScreenSize().cx, 800);
  Application->SetPresenter(std::move(presenter));

  std::vector<uint32_t> onScreen;
  {
    TTestForm t;
    t.form->Show();
    ASSERT_TRUE(ProcessUntil([&] { return vx::display::X11WindowMapped(x11, t.form->Handle()); }));
    const unsigned long w = vx::display::X11WindowOf(x11, t.form->Handle());
    auto click = [&](TControl* c) {
      const TPoint p = t.ScreenCentre(c);
      EXPECT_EQ(xvfb.Run({"xdotool", "mousemove", "--sync", std::to_string(p.x), std::to_string(p.y), "click", "1"}), 0);
    };
    click(t.button);
    ASSERT_TRUE(ProcessUntil([&] { return t.clicks == 1; }));
    EXPECT_EQ(t.label->Caption(), "Pressed");
    click(t.edit);
    ASSERT_TRUE(ProcessUntil([&] { return t.edit->Focused(); }));
    EXPECT_EQ(xvfb.Run({"xdotool", "type", "--delay", "30", "hi"}), 0);
    ASSERT_TRUE(ProcessUntil([&] { return t.edit->Text() == "hi"; })) << t.edit->Text();
    click(t.check);
    ASSERT_TRUE(ProcessUntil([&] { return t.check->Checked(); }));

    // What the server shows is what the form painted.
    const TRect client = t.form->ClientRect();
    const auto painted = BackBuffer(t.form);
    int diff = -1;
    ProcessUntil([&] {
      onScreen = xvfb.Capture(w, client.right, client.bottom);
      diff = Differences(onScreen, painted);
      return diff == 0;
    });
    EXPECT_EQ(diff, 0);

    // The close button of the window closes the form.
    EXPECT_TRUE(xvfb.SendClose(w));
    EXPECT_TRUE(ProcessUntil([&] { return t.closed; }));
    EXPECT_FALSE(t.form->Visible());
  }

  // The same form and the same input without a display.
  Application->SetPresenter(std::make_unique<vx::display::THeadlessPresenter>());
  TTestForm twin;
  twin.form->Show();
  vx::display::InjectClickControl(twin.button);
  vx::display::InjectClickControl(twin.edit);
  vx::display::InjectText(twin.form, "hi");
  vx::display::InjectClickControl(twin.check);
  Application->ProcessMessages();
  EXPECT_EQ(twin.edit->Text(), "hi");
  EXPECT_EQ(Differences(BackBuffer(twin.form), onScreen), 0);
}

// A window shows the form's picture from the moment it maps, before the program has
// heard of the mapping (and whatever keeps it busy then).
TEST(X11Presenter, AMappedWindowShowsItsPictureBeforeTheProgramServesAnEvent) {
  TXvfb xvfb;
  ASSERT_FALSE(xvfb.Name().empty()) << "Xvfb did not start";
  auto presenter = vx::display::TryX11Presenter(xvfb.Name());
  ASSERT_NE(presenter, nullptr);
  Application->SetPresenter(std::move(presenter));
  {
    // Nothing on it takes the focus, so that the picture stays as it was first painted.
    std::unique_ptr<TForm> form(new TForm(Application));
    form->SetBorderStyle(bsNone);
    form->SetBounds(60, 40, 240, 160);
    form->SetCaption("Busy from the start");
    form->SetColor(clNavy);
    auto* panel = new TPanel(form.get());
    panel->SetBounds(20, 20, 200, 60);
    panel->SetCaption("its own picture");
    panel->SetParent(form.get());
    form->Show();  // and no message or event is served until the picture is taken
    unsigned long w = 0;
    ASSERT_TRUE(vxtest::WaitUntil([&] { return (w = xvfb.FindWindow("Busy from the start")) != 0; }));
    const TRect client = form->ClientRect();
    const auto shown = xvfb.Capture(w, client.right, client.bottom);
    EXPECT_EQ(Differences(shown, BackBuffer(form.get())), 0);
  }
  Application->SetPresenter(std::make_unique<vx::display::THeadlessPresenter>());
}
