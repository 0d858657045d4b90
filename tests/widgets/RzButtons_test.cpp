// Behaviour of the radio and bitmap buttons on a headless form: checking and its
// clicks, hot tracking, keyboard use, groups and modal results.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/vcl/forms.h"
#include "tests/support/headless_gui.h"
#include "widgets/RzBmpBtn.h"
#include "widgets/RzRadChk.h"

namespace {

using vx::display::InjectMouseDown;
using vx::display::InjectMouseMove;
using vx::display::InjectMouseUp;

class Buttons : public ::testing::Test {
 protected:
  THeadlessGui gui;
  TForm form{Application};

  void SetUp() override { form.SetBounds(0, 0, 300, 200); }

  TRzRadioButton* AddRadio(TWinControl* Parent, const std::string& Name, int Y) {
    auto* rb = new TRzRadioButton(&form);
    rb->SetName(Name);
    rb->SetCaption(Name);
    rb->SetBounds(10, Y, 120, 17);
    rb->SetParent(Parent);
    return rb;
  }
};

}  // namespace

TEST_F(Buttons, CheckingARadioButtonUnchecksItsSiblingsBeforeItsClick) {
  auto* fast = AddRadio(&form, "fast", 10);
  auto* safe = AddRadio(&form, "safe", 30);
  std::vector<std::string> log;
  auto record = [&](TObject* s) {
    auto* rb = static_cast<TRzRadioButton*>(s);
    log.push_back(rb->Name() + (fast->Checked() ? " fast+" : " fast-") + (safe->Checked() ? " safe+" : " safe-"));
  };
  fast->OnClick = TNotifyEvent::FromFunction(record);
  safe->OnClick = TNotifyEvent::FromFunction(record);
  fast->SetChecked(true);
  safe->SetChecked(true);
  EXPECT_EQ(log, (std::vector<std::string>{"fast fast+ safe-", "safe fast- safe+"}));
  EXPECT_FALSE(fast->Checked());
  EXPECT_FALSE(fast->TabStop());
  EXPECT_TRUE(safe->TabStop()) << "only the checked button is a tab stop";
  safe->SetChecked(true);
  fast->SetChecked(false);
  EXPECT_EQ(log.size(), 2u) << "unchanged values and unchecking fire nothing";
}

TEST_F(Buttons, ABitmapButtonHandsItsModalResultToTheFormBeforeItsClick) {
  auto* b = new TRzBmpButton(&form);
  b->SetBounds(10, 100, 60, 20);
  b->SetParent(&form);
  b->SetModalResult(mrYes);
  TModalResult seen = -1;
  b->OnClick = TNotifyEvent::FromFunction([&](TObject*) { seen = form.ModalResult(); });
  form.Show();
  THeadlessGui::Click(b);
  EXPECT_EQ(seen, mrYes);
  // A result of none is handed over too.
  form.SetModalResult(mrAbort);
  b->SetModalResult(mrNone);
  THeadlessGui::Click(b);
  EXPECT_EQ(form.ModalResult(), mrNone);
  EXPECT_EQ(seen, mrNone);
}
