// The icon editors and the tool bar in a real window of an X server (Xvfb), typed into
// and clicked by xdotool, against the same form worked without a display.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>

#include "bizcontrols/vxBizButtonList.h"
#include "bizcontrols/vxIconCurrencyEdit.h"
#include "platform/display/headless.h"
#include "platform/display/input.h"
#include "platform/display/x11.h"
#include "platform/vcl/forms.h"
#include "tests/support/headless_gui.h"
#include "tests/support/xserver.h"

namespace {

struct TBizForm {
  TBizForm() : form(new TForm(Application)) {
    form->SetBorderStyle(bsNone);
    form->SetBounds(40, 30, 320, 140);
    form->SetColor(clBtnFace);
    bar = new TvxBizButtonList(form);
    bar->SetBounds(8, 8, 290, 26);
    bar->SetParent(form);
    bar->SetButtonSaveEnabled(true);
    bar->SetOnSaveButtonButtonClick(TNotifyEvent::FromFunction([this](TObject*) { ++saves; }));
    name = new TvxIconEdit(form);
    name->SetBounds(8, 50, 200, 21);
    name->SetParent(form);
    amount = new TvxIconCurrencyEdit(form);
    amount->SetBounds(8, 80, 200, 21);
    amount->SetParent(form);
  }
  ~TBizForm() { form->Free(); }
  TPoint ScreenCentre(TControl* c) const { return c->ClientToScreen(TPoint{c->Width() / 2, c->Height() / 2}); }

  TForm* form;
  TvxBizButtonList* bar;
  TvxIconEdit* name;
  TvxIconCurrencyEdit* amount;
  int saves = 0;
};

}  // namespace

TEST(BizControlsOnX11, XdotoolTypesIntoTheIconEditorsAndClicksTheToolBarAsTheHeadlessRunDoes) {
  TXvfb xvfb;
  ASSERT_FALSE(xvfb.Name().empty()) << "Xvfb did not start";
  auto presenter = vx::display::TryX11Presenter(xvfb.Name());
  ASSERT_NE(presenter, nullptr);
  IPresenter* x11 = presenter.get();
  Application->SetPresenter(std::move(presenter));

  std::string shownName, shownAmount;
  double value = 0;
  {
    TBizForm t;
    t.form->Show();
    ASSERT_TRUE(ProcessUntil([&] { return vx::display::X11WindowMapped(x11, t.form->Handle()); }));
    auto click = [&](TControl* c) {
      const TPoint p = t.ScreenCentre(c);
      EXPECT_EQ(xvfb.Run({"xdotool", "mousemove", "--sync", std::to_string(p.x), std::to_string(p.y), "click", "1"}),
                0);
    };
    click(t.name->EditorControl());
    ASSERT_TRUE(ProcessUntil([&] { return t.name->EditorControl()->Focused(); }));
    EXPECT_EQ(xvfb.Run({"xdotool", "type", "--delay", "30", "Kim 42"}), 0);
    ASSERT_TRUE(ProcessUntil([&] { return t.name->Text() == "Kim 42"; })) << t.name->Text();
    click(t.amount->EditorControl());
    ASSERT_TRUE(ProcessUntil([&] { return t.amount->EditorControl()->Focused(); }));
    EXPECT_EQ(xvfb.Run({"xdotool", "key", "ctrl+a"}), 0);
    EXPECT_EQ(xvfb.Run({"xdotool", "type", "--delay", "30", "--", "-1234.5x6"}), 0);
    ASSERT_TRUE(ProcessUntil([&] { return t.amount->Text() == "-1234.56"; })) << t.amount->Text();
    click(t.bar->Button(TvxBizButtonList::bbSave));
    ASSERT_TRUE(ProcessUntil([&] { return t.saves == 1; }));
    EXPECT_TRUE(t.amount->EditorControl()->Focused()) << "the tool bar takes no focus";
    EXPECT_EQ(xvfb.Run({"xdotool", "key", "Tab"}), 0);
    ASSERT_TRUE(ProcessUntil([&] { return t.amount->Text() == "-1,234.56"; })) << t.amount->Text();
    shownName = t.name->Text();
    shownAmount = t.amount->Text();
    value = t.amount->Value();
  }

  Application->SetPresenter(std::make_unique<vx::display::THeadlessPresenter>());
  TBizForm twin;
  twin.form->Show();
  vx::display::InjectClickControl(twin.name->EditorControl());
  vx::display::InjectText(twin.form, "Kim 42");
  vx::display::InjectClickControl(twin.amount->EditorControl());
  vx::display::InjectKey(twin.form, 'A', {ssCtrl});
  vx::display::InjectText(twin.form, "-1234.5x6");
  vx::display::InjectClickControl(twin.bar->Button(TvxBizButtonList::bbSave));
  vx::display::InjectKey(twin.form, VK_TAB);
  Application->ProcessMessages();
  EXPECT_EQ(twin.saves, 1);
  EXPECT_EQ(twin.name->Text(), shownName);
  EXPECT_EQ(twin.amount->Text(), shownAmount);
  EXPECT_DOUBLE_EQ(twin.amount->Value(), value);
  EXPECT_DOUBLE_EQ(value, -1234.56);
}
