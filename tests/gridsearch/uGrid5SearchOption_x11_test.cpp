// The search dialog in real windows on an X server (Xvfb), worked by xdotool: Ctrl+F on
// the grid's window, a text typed into the dialog, Enter; the record focused is the one
// the same search focuses in a headless run.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>

#include "gridsearch/Grid5Adapter.h"
#include "platform/display/x11.h"
#include "tests/gridsearch/search_driver.h"
#include "tests/support/xserver.h"

namespace {

constexpr char kText[] = "kim 7";

// A grid of 300 records sorted by its text column, descending, record 0 focused.
struct TSearchGrid {
  explicit TSearchGrid(THeadlessGui& Gui) : driver(Gui, g) {
    g.AddColumn("name", "String", 160);
    g.AddColumn("number", "Integer");
    const char* names[] = {"Kim", "lee", "Park", "홍길동", "kim"};
    for (int r = 0; r < 300; ++r)
      g.AddRow({Variant(std::string(names[r * 7 % 5]) + " " + std::to_string(r * 37 % 101)), Variant(r)});
    g.view->DataController()->SetSortOrder(0, soDescending);
    g.view->DataController()->SetFocusedRecordIndex(0);
    adapter = new TGrid5Adapter(g.form);
    adapter->SetBandedTableVeiw(g.view);
    driver.Attach(adapter);
  }
  int Focused() const { return g.view->DataController()->FocusedRecordIndex(); }

  TGridForm g{500, 400};
  TGrid5Adapter* adapter = nullptr;
  TSearchDriver driver;
};

// Generous: the machine may be loaded by parallel tests; success returns early.
bool PumpUntil(const std::function<bool()>& Done, int Ms = 30000) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(Ms);
  while (!Done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    Application->ProcessMessages();
    Application->Presenter()->Idle();
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
  return true;
}

}  // namespace

TEST(SearchDialogOnX11, CtrlFTypingAndEnterFocusTheRecordTheHeadlessSearchFinds) {
  THeadlessGui gui;
  int expected = -1;
  {
    TSearchGrid headless(gui);
    ASSERT_EQ(headless.driver.Search(-1, kText, "whole", false, true, true).rfind("found ", 0), 0u);
    expected = headless.Focused();
  }
  ASSERT_GT(expected, 0);

  TXvfb xvfb;
  ASSERT_FALSE(xvfb.Name().empty()) << "Xvfb did not start";
  auto presenter = vx::display::TryX11Presenter(xvfb.Name());
  ASSERT_NE(presenter, nullptr);
  IPresenter* x11 = presenter.get();
  Application->SetPresenter(std::move(presenter));
  {
    TSearchGrid t(gui);
    ASSERT_TRUE(PumpUntil([&] { return vx::display::X11WindowMapped(x11, t.g.form->Handle()); }));
    // Keys go to the window under the pointer.
    const TPoint inGrid = t.g.form->ClientToScreen(TPoint{250, 200});
    EXPECT_EQ(xvfb.Run({"xdotool", "mousemove", "--sync", std::to_string(inGrid.x), std::to_string(inGrid.y)}), 0);
    EXPECT_EQ(xvfb.Run({"xdotool", "key", "ctrl+f"}), 0);
    ASSERT_TRUE(PumpUntil([&] {
      return t.adapter->SearchDialog() && vx::display::X11WindowMapped(x11, t.adapter->SearchDialog()->Handle());
    }));
    TfGrid5SearchOption* d = t.adapter->SearchDialog();
    const TPoint edit = d->edt_Search_Text->ClientToScreen(TPoint{10, d->edt_Search_Text->Height() / 2});
    EXPECT_EQ(xvfb.Run({"xdotool", "mousemove", "--sync", std::to_string(edit.x), std::to_string(edit.y), "click", "1"}),
              0);
    ASSERT_TRUE(PumpUntil([&] { return d->edt_Search_Text->Focused(); }));
    EXPECT_EQ(xvfb.Run({"xdotool", "type", "--delay", "30", kText}), 0);
    ASSERT_TRUE(PumpUntil([&] { return d->edt_Search_Text->Text() == kText; })) << d->edt_Search_Text->Text();
    EXPECT_EQ(xvfb.Run({"xdotool", "key", "Return"}), 0);
    EXPECT_TRUE(PumpUntil([&] { return t.Focused() == expected; })) << t.Focused();
    EXPECT_TRUE(gui.Boxes().empty());
  }
  Application->SetPresenter(std::make_unique<vx::display::THeadlessPresenter>());
}
