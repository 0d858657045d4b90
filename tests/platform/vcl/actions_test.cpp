#include "platform/vcl/actnlist.h"

#include <gtest/gtest.h>

#include "platform/vcl/buttons.h"
#include "platform/vcl/imglist.h"
#include "platform/vcl/stdctrls.h"
#include "platform/vcl/themes.h"
#include "tests/support/headless_gui.h"

namespace {

// A check box whose link follows the action's Checked, as owner-drawn widgets do.
class TLinkedBox;
class TCheckedLink : public TWinControlActionLink {
  VX_CLASS(TCheckedLink, TWinControlActionLink)

 public:
  bool IsCheckedLinked() override;
  void SetChecked(bool Value) override;

 protected:
  void AssignClient(TObject* AClient) override;
  TLinkedBox* box_ = nullptr;
};

class TLinkedBox : public TCheckBox {
  VX_CLASS(TLinkedBox, TCheckBox)

 public:
  using TCheckBox::TCheckBox;

 protected:
  TClass GetActionLinkClass() const override { return TCheckedLink::StaticClass(); }
};

void TCheckedLink::AssignClient(TObject* AClient) {
  TWinControlActionLink::AssignClient(AClient);
  box_ = As<TLinkedBox>(AClient);
  if (!box_) throw EInvalidCast("Invalid class typecast");
}

bool TCheckedLink::IsCheckedLinked() {
  return TWinControlActionLink::IsCheckedLinked() && box_->Checked() == static_cast<TCustomAction*>(Action())->Checked();
}

void TCheckedLink::SetChecked(bool Value) {
  if (IsCheckedLinked()) box_->SetChecked(Value);
}

}  // namespace

TEST(Actions, ControlsFollowTheirActionUntilTheyDepartFromIt) {
  THeadlessGui gui;
  TForm form(Application);
  auto* button = new TButton(&form);
  button->SetParent(&form);
  TAction action(&form);
  action.SetCaption("&Save");
  action.SetHint("Saves");
  int executed = 0;
  action.OnExecute = TNotifyEvent::FromFunction([&](TObject*) { ++executed; });
  button->SetAction(&action);
  EXPECT_EQ(button->Caption(), "&Save");
  EXPECT_EQ(button->Hint(), "Saves");
  EXPECT_EQ(action.ClientCount(), 1);
  button->Click();
  EXPECT_EQ(executed, 1);
  action.SetEnabled(false);
  EXPECT_FALSE(button->Enabled());
  action.SetEnabled(true);
  // Every change of the action is copied to the control again.
  button->SetCaption("Keep");
  action.SetCaption("&Store");
  EXPECT_EQ(button->Caption(), "&Store");
  // A click handler of the control's own runs instead of the action.
  int own = 0;
  button->OnClick = TNotifyEvent::FromFunction([&](TObject*) { ++own; });
  button->Click();
  EXPECT_EQ(own, 1);
  EXPECT_EQ(executed, 1);

  // A control's own link class, checked against its client.
  auto* box = new TLinkedBox(&form);
  box->SetParent(&form);
  TAction check(&form);
  box->SetAction(&check);
  ASSERT_TRUE(Is<TCheckedLink>(box->ActionLink()));
  check.SetChecked(true);
  EXPECT_TRUE(box->Checked());
  TCheckedLink stray;
  EXPECT_THROW(stray.Attach(button), EInvalidCast);

  // An action that goes away leaves its controls without it.
  button->SetAction(nullptr);
  EXPECT_EQ(action.ClientCount(), 0);
  {
    TAction temporary(nullptr);
    button->SetAction(&temporary);
  }
  EXPECT_EQ(button->Action(), nullptr);
}

TEST(Actions, ImageListsCutStripsAndDrawThroughTheirMasks) {
  TImageList list(nullptr);
  list.SetSize(4, 4);
  TBitmap strip;
  strip.SetSize(8, 4);
  strip.Canvas()->Brush()->SetColor(clRed);
  strip.Canvas()->FillRect(TRect{0, 0, 4, 4});
  strip.Canvas()->Brush()->SetColor(clBlue);
  strip.Canvas()->FillRect(TRect{4, 0, 8, 4});
  strip.Canvas()->SetPixels(5, 0, clLime);
  EXPECT_EQ(list.AddMasked(&strip, clLime), 0);
  EXPECT_EQ(list.Count(), 2);
  TBitmap target;
  target.SetSize(4, 4);
  target.Canvas()->Brush()->SetColor(clWhite);
  target.Canvas()->FillRect(TRect{0, 0, 4, 4});
  list.Draw(target.Canvas(), 0, 0, 1);
  EXPECT_EQ(target.Canvas()->Pixels(0, 0), clBlue);
  EXPECT_EQ(target.Canvas()->Pixels(1, 0), clWhite) << "the masked pixel keeps the target";
  TBitmap first;
  ASSERT_TRUE(list.GetBitmap(0, &first));
  EXPECT_EQ(first.Canvas()->Pixels(3, 3), clRed);
  EXPECT_FALSE(list.GetBitmap(2, &first));
}

TEST(Actions, ButtonFacesAndThemeServices) {
  TBitmap b;
  b.SetSize(40, 20);
  const TRect inner = DrawButtonFace(b.Canvas(), TRect{0, 0, 40, 20}, 2, bsNew, false, false, false);
  EXPECT_EQ(inner, (TRect{2, 2, 38, 18}));
  EXPECT_EQ(b.Canvas()->Pixels(0, 0), ColorToRGB(cl3DLight));
  EXPECT_EQ(b.Canvas()->Pixels(1, 1), ColorToRGB(clBtnHighlight));
  const TRect old = DrawButtonFace(b.Canvas(), TRect{0, 0, 40, 20}, 2, bsWin31, true, false, true);
  EXPECT_EQ(old, (TRect{4, 4, 36, 16}));

  EXPECT_FALSE(ThemeServices()->ThemesEnabled());
  struct TRecording : TThemeServices {
    bool ThemesEnabled() const override { return true; }
    void DrawElement(HDC, const TThemedElementDetails& d, const TRect& r) override { drawn.push_back(d); }
    std::vector<TThemedElementDetails> drawn;
  };
  auto recording = std::make_unique<TRecording>();
  TRecording* rec = recording.get();
  auto previous = SetThemeServices(std::move(recording));
  ThemeServices()->DrawElement(nullptr, ThemeServices()->GetElementDetails(tbRadioButtonCheckedHot), TRect{});
  ThemeServices()->DrawElement(nullptr, ThemeServices()->GetElementDetails(tpChunkVert), TRect{});
  ASSERT_EQ(rec->drawn.size(), 2u);
  EXPECT_EQ(rec->drawn[0], (TThemedElementDetails{teButton, BP_RADIOBUTTON, 6}));
  EXPECT_EQ(rec->drawn[1], (TThemedElementDetails{teProgress, PP_CHUNKVERT, 0}));
  SetThemeServices(std::move(previous));
  EXPECT_FALSE(ThemeServices()->ThemesEnabled());
}
