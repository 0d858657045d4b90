// The example's order form in the test's process, on the headless presenter: two forms
// live side by side, each with its own grid, search and animation; the title's blinking
// run shows in red; the busy mark plays.
#include "examples/client/uClientForm.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "gridsearch/uGrid5SearchOption.h"
#include "platform/cx/cxgridviewinfo.h"
#include "platform/display/headless.h"
#include "platform/display/input.h"
#include "platform/display/x11.h"
#include "platform/rtl/sysutils.h"
#include "platform/vcl/thread.h"
#include "tests/support/headless_gui.h"
#include "tests/support/xserver.h"

namespace {

const std::string kPictures = std::string(VX_SOURCE_DIR) + "/examples/client/pictures";

class ClientForm : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    controls_ = LoadPackage("libvxpackage.so");
    grids_ = LoadPackage("libgridsift.so");
  }
  static void TearDownTestSuite() {
    UnloadPackage(grids_);
    UnloadPackage(controls_);
  }
  // The forms' animations end with them.
  void TearDown() override {
    EXPECT_TRUE(ProcessUntil([&] { return ModuleThreadCount(controls_) == 0; })) << "a painter thread is left";
  }
  TfrmClient* Show() {
    auto* form = new TfrmClient(Application, kPictures);
    form->Show();
    THeadlessGui::Pump();
    return form;
  }
  // The pixels of a control as the form's back buffer holds them.
  static std::vector<COLORREF> Pixels(TControl* Control) {
    TRect r;
    Control->RectInForm(r);
    std::vector<COLORREF> out;
    for (int y = r.top; y < r.bottom; ++y)
      for (int x = r.left; x < r.right; ++x) out.push_back(THeadlessGui::Pixel(Control->TopForm(), x, y));
    return out;
  }
  static std::string FirstCustomer(TfrmClient* Form) {
    auto* dc = Form->bvOrders->DataController();
    return dc->DisplayText(dc->RecordIndexOfRow(0), Form->colCustomer->Index());
  }

  THeadlessGui gui;
  static HMODULE controls_, grids_;
};
HMODULE ClientForm::controls_ = nullptr;
HMODULE ClientForm::grids_ = nullptr;

TEST_F(ClientForm, TwoFormsLiveSideBySide) {
  TfrmClient* a = Show();
  TfrmClient* b = Show();
  ASSERT_EQ(a->adpOrders->GetRecordCount(), 300);
  // A header click sorts the form's own grid.
  THeadlessGui::ClickAt(a->grdOrders, 190, 32);
  EXPECT_EQ(FirstCustomer(a), "Blue Harbor");
  EXPECT_EQ(FirstCustomer(b), "한빛상사");
  // Ctrl+F opens a search dialog on the active form's grid alone.
  b->SetFocus();
  THeadlessGui::Pump();
  THeadlessGui::Key('F', {ssCtrl});
  ASSERT_NE(b->adpOrders->SearchDialog(), nullptr);
  EXPECT_EQ(b->adpOrders->SearchDialog()->GridView(), b->bvOrders);
  EXPECT_EQ(a->adpOrders->SearchDialog(), nullptr);
  // The tool bar's F2 adds to that form only.
  b->SetFocus();
  THeadlessGui::Pump();
  THeadlessGui::Key(VK_F2);
  EXPECT_EQ(b->adpOrders->GetRecordCount(), 301);
  EXPECT_EQ(a->adpOrders->GetRecordCount(), 300);
  // One form goes; the other keeps working and painting.
  a->Free();
  THeadlessGui::Pump();
  b->SetFocus();
  THeadlessGui::Pump();
  THeadlessGui::Key(VK_F9);
  EXPECT_TRUE(b->cbBranch->DroppedDown());
  b->PaintNow();
  b->Free();
  THeadlessGui::Pump();
}

TEST_F(ClientForm, TheTitlesBlinkingRunShowsInRedWhileItIsOn) {
  TfrmClient* form = Show();
  TvxXLabelHelper* blinking = nullptr;
  for (int i = 0; i < form->xlTitle->HelperCount(); ++i)
    if (form->xlTitle->Helpers(i)->BlinkTimer()->Enabled()) blinking = form->xlTitle->Helpers(i);
  ASSERT_NE(blinking, nullptr);
  // Half of the time the run is hidden: the picture is taken while it shows.
  ASSERT_TRUE(ProcessUntil([&] { return !blinking->BlinkOn(); }));
  form->PaintNow();
  const std::vector<COLORREF> title = Pixels(form->xlTitle);
  EXPECT_NE(std::find(title.begin(), title.end(), RGB(255, 0, 0)), title.end());
  form->Free();
  THeadlessGui::Pump();
}

// Every line of the example's help file is one the help bar can show: a click on the
// control it names (for a grid column, a click on a cell of it and one more to edit
// it) gives the bar the line's code.
TEST_F(ClientForm, EveryLineOfTheHelpFileIsOneTheHelpBarShows) {
  TfrmClient* form = Show();
  std::unique_ptr<TStringList> lines(new TStringList);
  lines->LoadFromFile(std::string(VX_SOURCE_DIR) + "/examples/client/Help/frmClient.wxt",
                      TvxBizStatusBar::HelpFileEncoding());
  ASSERT_GT(lines->Count(), 0);
  for (int i = 0; i < lines->Count(); ++i) {
    const std::string code = lines->Strings(i).substr(0, lines->Strings(i).find('|'));
    SCOPED_TRACE(code);
    if (const size_t dot = code.find('.'); dot != std::string::npos) {
      ASSERT_TRUE(SameText(code.substr(0, dot), form->bvOrders->Name()));
      TcxGridBandedColumn* column = nullptr;
      for (int c = 0; c < form->bvOrders->ColumnCount(); ++c)
        if (SameText(form->bvOrders->Columns(c)->Name(), code.substr(dot + 1))) column = form->bvOrders->Columns(c);
      ASSERT_NE(column, nullptr);
      const auto& info = form->bvOrders->ViewInfo();
      const TRect cell = info.CellBounds(*info.FindColumn(column), 0);
      const TRect site = form->bvOrders->Site()->BoundsRect();
      for (int click = 0; click < 2; ++click)
        THeadlessGui::ClickAt(form->grdOrders, site.left + (cell.left + cell.right) / 2,
                              site.top + (cell.top + cell.bottom) / 2);
    } else {
      auto* control = As<TControl>(form->FindComponent(code));
      ASSERT_NE(control, nullptr);
      THeadlessGui::ClickAt(control, control->Width() / 3, control->Height() / 2);
    }
    EXPECT_EQ(form->sbHelp->HelpCode(), code);
  }
  form->Free();
  THeadlessGui::Pump();
}

TEST_F(ClientForm, TheBusyMarkPlays) {
  TfrmClient* form = Show();
  form->PaintNow();
  const std::vector<COLORREF> first = Pixels(form->imgBusy);
  EXPECT_TRUE(ProcessUntil([&] { return Pixels(form->imgBusy) != first; })) << "the animation stands still";
  form->Free();
  THeadlessGui::Pump();
}

}  // namespace

namespace {

// The order form in a real window on an X server (Xvfb), worked by xdotool: a click on
// the customer header, Ctrl+F, the text typed, Enter, and the tool bar's code-help
// button (F9); the outcome is the headless run's.
TEST_F(ClientForm, OnX11TheMouseAndKeysGiveTheHeadlessOutcome) {
  int expected = -1;
  {
    TfrmClient* form = Show();
    THeadlessGui::ClickAt(form->grdOrders, 190, 32);
    THeadlessGui::Key('F', {ssCtrl});
    TfGrid5SearchOption* d = form->adpOrders->SearchDialog();
    ASSERT_NE(d, nullptr);
    THeadlessGui::Click(d->edt_Search_Text);
    vx::display::InjectText(d, "Orion");
    THeadlessGui::Key(VK_RETURN);
    expected = form->bvOrders->DataController()->FocusedRecordIndex();
    form->Free();
    THeadlessGui::Pump();
  }
  ASSERT_EQ(expected, 7) << "order 10008, the first Orion order by customer";

  TXvfb xvfb(1024, 768);
  ASSERT_FALSE(xvfb.Name().empty()) << "Xvfb did not start";
  auto presenter = vx::display::TryX11Presenter(xvfb.Name());
  ASSERT_NE(presenter, nullptr);
  IPresenter* x11 = presenter.get();
  Application->SetPresenter(std::move(presenter));
  {
    auto* form = new TfrmClient(Application, kPictures);
    form->Show();
    auto at = [&](TControl* c, int x, int y) {
      const TPoint p = c->ClientToScreen(TPoint{x, y});
      return std::vector<std::string>{"xdotool", "mousemove", "--sync", std::to_string(p.x), std::to_string(p.y)};
    };
    auto click = [&](TControl* c, int x, int y) {
      auto argv = at(c, x, y);
      argv.push_back("click");
      argv.push_back("1");
      return xvfb.Run(argv);
    };
    ASSERT_TRUE(ProcessUntil([&] { return vx::display::X11WindowMapped(x11, form->Handle()); }));
    EXPECT_EQ(click(form->grdOrders, 190, 32), 0);
    ASSERT_TRUE(ProcessUntil([&] { return FirstCustomer(form) == "Blue Harbor"; })) << FirstCustomer(form);
    EXPECT_EQ(xvfb.Run({"xdotool", "key", "ctrl+f"}), 0);
    ASSERT_TRUE(ProcessUntil([&] {
      return form->adpOrders->SearchDialog() &&
             vx::display::X11WindowMapped(x11, form->adpOrders->SearchDialog()->Handle());
    }));
    TfGrid5SearchOption* d = form->adpOrders->SearchDialog();
    EXPECT_EQ(click(d->edt_Search_Text, 10, d->edt_Search_Text->Height() / 2), 0);
    ASSERT_TRUE(ProcessUntil([&] { return d->edt_Search_Text->Focused(); }));
    EXPECT_EQ(xvfb.Run({"xdotool", "type", "--delay", "30", "Orion"}), 0);
    ASSERT_TRUE(ProcessUntil([&] { return d->edt_Search_Text->Text() == "Orion"; }));
    EXPECT_EQ(xvfb.Run({"xdotool", "key", "Return"}), 0);
    EXPECT_TRUE(ProcessUntil([&] { return form->bvOrders->DataController()->FocusedRecordIndex() == expected; }));
    // F9 from the tool bar: its code-help button.
    TcxButton* codeHelp = form->bizButtons->Button(TvxBizButtonList::bbCodeHelp);
    EXPECT_EQ(click(codeHelp, codeHelp->Width() / 2, codeHelp->Height() / 2), 0);
    EXPECT_TRUE(ProcessUntil([&] { return form->cbBranch->DroppedDown(); }));
    form->Free();
    THeadlessGui::Pump();
  }
  Application->SetPresenter(std::make_unique<vx::display::THeadlessPresenter>());
}

}  // namespace
