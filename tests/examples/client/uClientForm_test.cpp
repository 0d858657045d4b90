// The example's order form in the test's process, on the headless presenter: two forms
// live side by side, each with its own grid, search and animation; the busy mark
// plays.
#include "examples/client/uClientForm.h"

#include <gtest/gtest.h>

#include "gridsearch/uGrid5SearchOption.h"
#include "platform/display/headless.h"
#include "platform/rtl/sysutils.h"
#include "tests/support/headless_gui.h"

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
  void SetUp() override { threads_ = ProcessThreadCount(); }
  // The forms' animations end with them.
  void TearDown() override {
    EXPECT_TRUE(ProcessUntil([&] { return ProcessThreadCount() == threads_; })) << "a painter thread is left";
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
  int threads_ = 0;
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

TEST_F(ClientForm, TheBusyMarkPlays) {
  TfrmClient* form = Show();
  form->PaintNow();
  const std::vector<COLORREF> first = Pixels(form->imgBusy);
  EXPECT_TRUE(ProcessUntil([&] { return Pixels(form->imgBusy) != first; })) << "the animation stands still";
  form->Free();
  THeadlessGui::Pump();
}

}  // namespace
