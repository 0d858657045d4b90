// The name/value combo box and the two icon editors.
#include "bizcontrols/vxIconEdit.h"

#include <gtest/gtest.h>

#include <functional>

#include "bizcontrols/vxComboBox.h"
#include "bizcontrols/vxIconCurrencyEdit.h"
#include "codecs/png/PngImage.h"
#include "platform/rtl/sysutils.h"
#include "platform/vcl/forms.h"
#include "tests/support/TempFolder.h"
#include "tests/support/headless_gui.h"

namespace {

using vx::display::InjectMouseMove;

TEST(VxComboBox, ValuesAreFoundByIndexByNameAndSelectedByValue) {
  TForm form(nullptr);
  auto* combo = new TvxComboBox(&form);
  combo->SetParent(&form);
  combo->AddItem("A", "1");
  combo->AddItem("B");
  combo->AddItem("a", "x");
  EXPECT_EQ(combo->GetItems()->Count(), 3);
  EXPECT_EQ(combo->GetName(1), "B");
  EXPECT_EQ(combo->GetName(3), "");
  EXPECT_EQ(combo->GetValue(0), "1");
  EXPECT_EQ(combo->GetValue(1), "");
  EXPECT_EQ(combo->GetValue(7), "");
  EXPECT_EQ(combo->GetValue("B"), "");
  EXPECT_EQ(combo->GetValue("a"), "1") << "names compare ignoring case: the first A";
  EXPECT_THROW(combo->GetValue("Z"), EStringListError);
  EXPECT_THROW(combo->GetName(-1), EStringListError);

  combo->SetItemIndex(1);
  combo->Select("X");
  EXPECT_EQ(combo->ItemIndex(), 1) << "values compare exactly";
  combo->Select("x");
  EXPECT_EQ(combo->ItemIndex(), 2);
  EXPECT_EQ(combo->Text(), "a");
  combo->Select("1");
  EXPECT_EQ(combo->ItemIndex(), 0);

  combo->Clear();
  EXPECT_EQ(combo->Text(), "");
  EXPECT_EQ(combo->GetItems()->Count(), 0);
  EXPECT_EQ(combo->GetName(0), "");
  combo->AddItem("C", "3");
  EXPECT_EQ(combo->GetValue(0), "3");
}

// The same checks for both icon editors.
struct TIconEditKind {
  const char* name;
  std::function<TvxCustomIconEdit*(TComponent*)> make;
  const char* editorClass;
  TColor outer, iconPanel, enabledOuter, enabledIconPanel;
  bool iconTransparent;
};

const TIconEditKind kKinds[] = {
    {"TvxIconEdit", [](TComponent* o) -> TvxCustomIconEdit* { return new TvxIconEdit(o); }, "TcxTextEdit",
     TColor(0xFFFFFF), TColor(0xFFFFFF), clCaptionText, TColor(0xFFFFFF), false},
    {"TvxIconCurrencyEdit", [](TComponent* o) -> TvxCustomIconEdit* { return new TvxIconCurrencyEdit(o); },
     "TcxCurrencyEdit", clCaptionText, clCaptionText, clCaptionText, clCaptionText, true},
};

class VxIconEdit : public ::testing::TestWithParam<TIconEditKind> {
 protected:
  VxIconEdit() : form(new TForm(Application)) {
    PngImageInitialize();
    form->SetBorderStyle(bsNone);
    form->SetBounds(0, 0, 400, 200);
    other = new TcxTextEdit(form);
    other->SetBounds(10, 100, 100, 21);
    other->SetParent(form);
    edit = GetParam().make(form);
    edit->SetName("edtIcon");
    edit->SetBounds(20, 20, 150, 21);
    edit->SetParent(form);
  }
  ~VxIconEdit() override {
    form->Free();
    PngImageFinalize();
  }
  // A 10 x 8 picture of the extension's class: white with a red dot at (5, 4).
  std::string WriteIcon(const std::string& Name) {
    TBitmap b;
    b.SetSize(10, 8);
    b.Canvas()->Brush()->SetColor(clWhite);
    b.Canvas()->FillRect(TRect{0, 0, 10, 8});
    b.Canvas()->SetPixels(5, 4, clRed);
    const std::string file = folder / Name;
    TPicture p;
    p.SetGraphic(&b);
    if (SameText(ExtractFileExt(Name), ".png")) {
      TPNGObject png;
      png.Assign(&b);
      png.SaveToFile(file);
    } else {
      b.SaveToFile(file);
    }
    return file;
  }
  COLORREF Pixel(int X, int Y) { return THeadlessGui::Pixel(form, edit->Left() + X, edit->Top() + Y); }

  THeadlessGui gui;
  TempFolder folder;
  TForm* form;
  TcxTextEdit* other;
  TvxCustomIconEdit* edit;
};

}  // namespace

TEST_P(VxIconEdit, PartsAreLaidOutInsideAOnePixelBorderAtTheFixedHeight) {
  const TIconEditKind& k = GetParam();
  EXPECT_EQ(edit->ClassName(), k.name);
  EXPECT_EQ(edit->EditorControl()->ClassName(), k.editorClass);
  EXPECT_TRUE(edit->EditorControl()->Name().empty());
  edit->SetHeight(40);
  EXPECT_EQ(edit->Height(), 21);
  EXPECT_EQ(edit->InnerPanel()->BoundsRect(), (TRect{1, 1, 149, 20}));
  EXPECT_EQ(edit->IconPanel()->Width(), 0);
  EXPECT_EQ(edit->IconPanel()->Height(), 19);
  EXPECT_EQ(edit->Color(), k.outer);
  EXPECT_EQ(edit->IconPanel()->Color(), k.iconPanel);
  EXPECT_EQ(edit->IconImage()->Transparent(), k.iconTransparent);
  EXPECT_EQ(edit->IconImage()->Cursor(), crHandPoint);
  EXPECT_EQ(edit->ImageTag(), -1);
  EXPECT_TRUE(edit->ShowBorder());
  EXPECT_EQ(edit->EditorControl()->Properties()->Alignment()->Vert(), taVCenter);
  EXPECT_EQ(edit->Style()->BorderStyle(), ebsNone);
  edit->SetTag(7);
  EXPECT_EQ(edit->EditorControl()->Tag(), 7);
  edit->SetMaxLength(4);
  edit->SetText("123456");
  EXPECT_EQ(edit->Caption(), k.editorClass == std::string("TcxTextEdit") ? "123456" : "123,456.00");
}

TEST_P(VxIconEdit, IconsLoadFromPictureFilesAndFromThePackagesBitmaps) {
  const std::string png = WriteIcon("icon.png"), bmp = WriteIcon("off.BMP");
  edit->SetImgResName(png);
  EXPECT_EQ(edit->IconImage()->Width(), 10);
  EXPECT_EQ(edit->IconImage()->Height(), 8);
  EXPECT_EQ(edit->IconPanel()->Width(), 14);
  EXPECT_EQ(edit->IconImage()->Left(), 0) << "panel width - icon width - 4";
  EXPECT_EQ(edit->IconImage()->Top(), (19 - 8) / 2);
  EXPECT_TRUE(edit->IconImage()->Picture()->Graphic()->InheritsFrom(TPNGObject::StaticClass()));
  edit->SetImgAlign(ialLeft);
  edit->SetBounds(20, 20, 160, 21);
  EXPECT_EQ(edit->IconPanel()->Align(), alLeft);
  EXPECT_EQ(edit->IconPanel()->Left(), 0);
  EXPECT_EQ(edit->IconImage()->Left(), 4);

  // The same name again, or none, loads nothing.
  DeleteFile(png);
  EXPECT_NO_THROW(edit->SetImgResName(png));
  EXPECT_NO_THROW(edit->SetImgResName(""));
  // A missing file raises; the name is kept.
  EXPECT_ANY_THROW(edit->SetImgResName(folder / "missing.png"));
  EXPECT_EQ(edit->ImgResName(), folder / "missing.png");

  edit->SetDisabledImgResName(bmp);
  edit->SetEnabled(false);
  EXPECT_TRUE(edit->IconImage()->Picture()->Graphic()->InheritsFrom(TBitmap::StaticClass()));
  edit->SetEnabled(true);
  EXPECT_TRUE(edit->IconImage()->Picture()->Graphic()->InheritsFrom(TPNGObject::StaticClass()));

  // From the bitmaps of the module: the disabled name is kept but nothing loads.
  TvxCustomIconEdit* res = GetParam().make(form);
  res->SetImgFromRes(true);
  res->SetImgResName("TESTICON");
  EXPECT_EQ(res->IconImage()->Width(), 12);
  EXPECT_EQ(res->IconImage()->Height(), 10);
  res->SetDisabledImgResName("OTHER");
  EXPECT_EQ(res->DisabledImgResName(), "OTHER");
  res->SetEnabled(false);
  EXPECT_EQ(res->IconImage()->Picture()->Graphic(), nullptr);
  EXPECT_ANY_THROW(res->SetImgResName("NOSUCHBITMAP"));
}

TEST_P(VxIconEdit, EnablingSetsColoursPartsAndIcon) {
  const TIconEditKind& k = GetParam();
  edit->SetEnabled(false);
  EXPECT_FALSE(edit->Enabled());
  EXPECT_FALSE(edit->EditorControl()->Enabled());
  EXPECT_FALSE(edit->IconImage()->Enabled());
  EXPECT_EQ(edit->Color(), clBtnFace);
  EXPECT_EQ(edit->IconPanel()->Color(), clBtnFace);
  edit->SetEnabled(true);
  EXPECT_EQ(edit->Color(), k.enabledOuter);
  EXPECT_EQ(edit->IconPanel()->Color(), k.enabledIconPanel);
  edit->SetImgHide(false);
  EXPECT_FALSE(edit->IconImage()->Visible());
  edit->SetImgHide(true);
  EXPECT_TRUE(edit->ImgHide());
}

TEST_P(VxIconEdit, TheBorderLightsUpWithTheMouseAndStaysLitWhileTheEditorHasTheFocus) {
  int imgClicks = 0, changes = 0;
  edit->SetOnImgClick(TNotifyEvent::FromFunction([&](TObject*) { ++imgClicks; }));
  edit->SetOnChange(TNotifyEvent::FromFunction([&](TObject*) { ++changes; }));
  edit->SetImgResName(WriteIcon("icon.png"));
  form->Show();
  gui.Pump();
  const COLORREF grey = 0x999999, lit = ColorToRGB(clHighlight);
  EXPECT_EQ(Pixel(0, 0), grey);
  EXPECT_EQ(Pixel(149, 20), grey);
  InjectMouseMove(form, edit->Left() + 30, edit->Top() + 10);
  gui.Pump();
  EXPECT_EQ(Pixel(0, 0), lit);
  EXPECT_EQ(Pixel(149, 10), lit);
  InjectMouseMove(form, 5, 5);
  gui.Pump();
  EXPECT_EQ(Pixel(0, 0), grey) << "no focus: leaving puts it out";

  // Entering from the keyboard does not light it.
  gui.Key(VK_TAB);
  ASSERT_EQ(Screen->ActiveControl()->Parent(), edit->EditorControl());
  EXPECT_EQ(Pixel(0, 0), grey);
  gui.Click(edit->EditorControl());
  InjectMouseMove(form, 5, 5);
  gui.Pump();
  EXPECT_EQ(Pixel(0, 0), lit) << "the editor has the focus";
  vx::display::InjectText(form, "12");
  gui.Pump();
  EXPECT_EQ(changes, 2);
  gui.Click(edit->IconImage());
  EXPECT_EQ(imgClicks, 1);
  gui.Click(other);
  EXPECT_EQ(Pixel(0, 0), grey) << "the editor's exit puts it out";
  edit->SetShowBorder(false);
  EXPECT_NE(Pixel(0, 0), grey);
}

INSTANTIATE_TEST_SUITE_P(Both, VxIconEdit, ::testing::ValuesIn(kKinds),
                         [](const auto& info) { return std::string(info.param.name); });
