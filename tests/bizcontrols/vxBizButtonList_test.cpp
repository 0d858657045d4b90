#include "bizcontrols/vxBizButtonList.h"

#include <gtest/gtest.h>

#include "platform/cx/cxtextedit.h"
#include "platform/vcl/forms.h"
#include "platform/win/resources.h"
#include "tests/support/headless_gui.h"
#include "tests/support/manual_clock.h"

namespace {

using B = TvxBizButtonList;

class VxBizButtonList : public ::testing::Test {
 protected:
  VxBizButtonList() : form(new TForm(Application)) {
    form->SetBorderStyle(bsNone);
    form->SetBounds(0, 0, 400, 200);
    edit = new TcxTextEdit(form);
    edit->SetBounds(10, 100, 100, 21);
    edit->SetParent(form);
    bar = new TvxBizButtonList(form);
    bar->SetBounds(10, 10, 290, 26);
    bar->SetParent(form);
  }
  ~VxBizButtonList() override { form->Free(); }

  TNotifyEvent Recorder(const std::string& Name) {
    return TNotifyEvent::FromFunction([this, Name](TObject* Sender) {
      calls.push_back(Name);
      senders.push_back(Sender);
    });
  }
  // A click at a point of a control, apart in time from the next one.
  void ClickAt(TControl* C, int X, int Y) {
    gui.ClickAt(C, X, Y);
    clock.AdvanceMs(GetDoubleClickTime() + 1);
  }

  TManualClock clock;
  THeadlessGui gui;
  TForm* form;
  TcxTextEdit* edit;
  TvxBizButtonList* bar;
  std::vector<std::string> calls;
  std::vector<TObject*> senders;
};

}  // namespace

TEST_F(VxBizButtonList, TenDisabledButtonsAndTwoSplittersInAStripWithTheirGlyphsAndHints) {
  struct {
    B::TBizButton which;
    int left, width;
    TcxButtonKind kind;
    const char* hint;
  } const layout[] = {
      {B::bbReverse, -50, 23, cxbkStandard, "ESC(입력 취소)\r\n입력 중인 자료를 취소 합니다."},
      {B::bbHelp, 0, 23, cxbkStandard, "F1(도움말)\r\n현재 메뉴의 도움말을 엽니다."},
      {B::bbAdd, 23, 23, cxbkStandard, "F2(추가)\r\n입력 모드로 전환 합니다."},
      {B::bbSave, 46, 23, cxbkStandard, "F5(저장)\r\n입력중인 데이터를 저장합니다."},
      {B::bbDel, 69, 23, cxbkStandard, "F6(삭제)\r\n체크한 데이터를 삭제 합니다."},
      {B::bbReportOut, 94, 38, cxbkDropDownButton, "F7(인쇄)\r\n전표 및 원장을 인쇄합니다."},
      {B::bbExcelOut, 132, 38, cxbkDropDownButton, "F8(엑셀변환)\r\n현재 화면을 엑셀로 변환 합니다."},
      {B::bbCodeHelp, 170, 23, cxbkStandard, "F9(코드도움)\r\n선택 팝업 창을 엽니다."},
      {B::bbSetting, 195, 38, cxbkDropDownButton, "F10(설정)\r\n설정 창을 엽니다."},
      {B::bbSearch, 233, 23, cxbkStandard, "F12(조회)\r\n데이터를 다시 조회 합니다."},
  };
  TvxBizButtonList fresh(nullptr);
  EXPECT_EQ(fresh.Width(), 290);
  EXPECT_EQ(fresh.Height(), 26);
  for (const auto& l : layout) {
    TcxButton* b = bar->Button(l.which);
    SCOPED_TRACE(l.hint);
    EXPECT_EQ(b->BoundsRect(), (TRect{l.left, 0, l.left + l.width, 22}));
    EXPECT_EQ(b->Kind(), l.kind);
    EXPECT_EQ(b->Hint(), l.hint);
    EXPECT_TRUE(b->ShowHint());
    EXPECT_EQ(b->Tag(), kBizBarChildTag);
    EXPECT_FALSE(b->Enabled());
    EXPECT_EQ(b->Visible(), l.which != B::bbReverse);
    EXPECT_FALSE(b->SpeedButtonOptions()->CanBeFocused());
    EXPECT_EQ(b->Glyph()->Width(), 23);
    EXPECT_EQ(b->Glyph()->Height(), 22);
  }
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(bar->Splitter(i)->BoundsRect(), (TRect{i ? 193 : 92, 0, i ? 195 : 94, 22}));
    EXPECT_EQ(bar->Splitter(i)->Picture()->Width(), 2);
    EXPECT_TRUE(bar->Splitter(i)->Transparent());
  }
  EXPECT_FALSE(bar->ButtonSaveEnabled());
  bar->SetButtonSaveEnabled(true);
  EXPECT_TRUE(bar->Button(B::bbSave)->Enabled());
  EXPECT_FALSE(TvxBizButtonList::LoadResourceBMP(HInstance(), "NOSUCHBMP", bar->Button(B::bbSave)->Glyph()));
}

TEST(PackageBitmaps, EveryBitmapIsA24BitPictureOfItsSizeAsImageMagickDecodesIt) {
  struct {
    const char* name;
    int width, height;
  } const bitmaps[] = {{"B010000", 55, 16}, {"B020000", 2, 22}, {"P010000", 23, 22}, {"P020000", 23, 22},
                       {"P030000", 23, 22}, {"P040000", 23, 22}, {"P050000", 23, 22}, {"P060000", 23, 22},
                       {"P070000", 23, 22}, {"P080000", 23, 22}, {"P090000", 23, 22}, {"P100000", 23, 22}};
  for (const auto& b : bitmaps) {
    SCOPED_TRACE(b.name);
    TBitmap bitmap;
    ASSERT_TRUE(TvxBizButtonList::LoadResourceBMP(HInstance(), b.name, &bitmap));
    EXPECT_EQ(bitmap.PixelFormat(), pf24bit);
    ASSERT_EQ(bitmap.Width(), b.width);
    ASSERT_EQ(bitmap.Height(), b.height);
    const std::string cmd = std::string("convert ") + VX_SOURCE_DIR + "/resources/BMP/" + b.name + ".bmp rgb:-";
    std::string rgb;
    FILE* p = popen(cmd.c_str(), "r");
    char buf[4096];
    for (size_t n; p && (n = fread(buf, 1, sizeof buf, p)) > 0;) rgb.append(buf, n);
    if (p) pclose(p);
    ASSERT_EQ(rgb.size(), size_t(b.width * b.height * 3));
    int differ = 0;
    for (int y = 0; y < b.height; ++y) {
      const auto* row = static_cast<const uint8_t*>(bitmap.ScanLine(y));
      for (int x = 0; x < b.width; ++x) {
        const size_t i = size_t(y * b.width + x) * 3;
        differ += row[x * 3 + 2] != uint8_t(rgb[i]) || row[x * 3 + 1] != uint8_t(rgb[i + 1]) ||
                  row[x * 3] != uint8_t(rgb[i + 2]);
      }
    }
    EXPECT_EQ(differ, 0);
    // The clear colour is the bottom-left pixel, and the mark is drawn on top of it.
    EXPECT_EQ(bitmap.Canvas()->Pixels(0, b.height - 1), TColor(0xFF00FF));
  }
}

TEST_F(VxBizButtonList, FunctionKeysClickEnabledButtonsWithAnEventAndNothingElse) {
  struct {
    WORD key;
    TShiftState shift;
    const char* button;  // null: no button answers the key
  } const keys[] = {
      {VK_F1, {}, "help"},         {VK_F2, {}, "add"},         {VK_F3, {}, nullptr},
      {VK_F4, {}, nullptr},        {VK_F5, {}, "save"},        {VK_F6, {}, "delete"},
      {VK_F7, {}, "report"},       {VK_F8, {}, "excel"},       {VK_F9, {}, nullptr},
      {VK_F10, {}, "setting"},     {VK_F11, {}, nullptr},      {VK_F12, {}, "search"},
      {'P', {ssCtrl}, "report"},   {'P', {}, nullptr},         {'P', {ssCtrl, ssShift}, nullptr},
      {'P', {ssCtrl, ssAlt}, nullptr}, {VK_ESCAPE, {}, nullptr}, {VK_F5, {ssShift}, "save"},
  };
  bar->SetOnHelpButtonClick(Recorder("help"));
  bar->SetOnAddButtonClick(Recorder("add"));
  bar->SetOnSaveButtonButtonClick(Recorder("save"));
  bar->SetOnDelButtonClick(Recorder("delete"));
  bar->SetOnReportOutButtonClick(Recorder("report"));
  bar->SetOnExcelOutButtonClick(Recorder("excel"));
  bar->SetOnSettingButtonClick(Recorder("setting"));
  bar->SetOnSearchButtonClick(Recorder("search"));
  bar->SetOnReverseButtonClick(Recorder("reverse"));
  auto check = [&](bool Enabled) {
    for (const auto& k : keys) {
      calls.clear();
      senders.clear();
      WORD key = k.key;
      const bool handled = bar->FunctionKeyCheck(form, key, k.shift);
      SCOPED_TRACE(std::to_string(k.key));
      EXPECT_EQ(key, k.key);
      EXPECT_EQ(handled, Enabled && k.button);
      if (Enabled && k.button) {
        EXPECT_EQ(calls, std::vector<std::string>{k.button});
        EXPECT_EQ(senders, std::vector<TObject*>{bar});
      } else {
        EXPECT_TRUE(calls.empty());
      }
    }
  };
  check(false);  // every button starts disabled
  for (int i = 0; i < 10; ++i) bar->Button(B::TBizButton(i))->SetEnabled(true);
  check(true);
  // An enabled button without an event does not answer.
  bar->SetOnSaveButtonButtonClick(nullptr);
  WORD f5 = VK_F5;
  EXPECT_FALSE(bar->FunctionKeyCheck(form, f5, {}));
}

TEST_F(VxBizButtonList, AnAttachedMenuOpensUnderTheButtonAndADestroyedOneGivesTheClickBack) {
  auto* menu = new TPopupMenu(form);
  menu->Items()->Add(new TMenuItem(menu));
  menu->Items()->Items(0)->SetCaption("Sheet");
  const TNotifyEvent excel = Recorder("excel");
  bar->SetOnExcelOutButtonClick(excel);
  bar->SetButtonExcelOutEnabled(true);
  bar->SetButtonReportOutEnabled(true);
  bar->SetOnReportOutButtonClick(Recorder("report"));
  bar->SetPopupMenuExcelOut(menu);
  EXPECT_EQ(bar->PopupMenuExcelOut(), menu);
  EXPECT_TRUE(bar->OnExcelOutButtonClick() == excel) << "the event assigned, not the menu opener";
  form->Show();
  gui.Pump();
  TcxButton* button = bar->Button(B::bbExcelOut);

  ClickAt(button, 10, 11);
  EXPECT_TRUE(calls.empty());
  ASSERT_TRUE(menu->IsShowing());
  EXPECT_EQ(menu->PopupPoint(), button->ClientToScreen(TPoint{0, 22}));
  menu->CloseUp();
  WORD f8 = VK_F8;
  EXPECT_TRUE(bar->FunctionKeyCheck(form, f8, {}));
  EXPECT_TRUE(menu->IsShowing());
  menu->CloseUp();
  ClickAt(button, 32, 11);  // the arrow part shows the attached menu
  EXPECT_TRUE(menu->IsShowing());
  menu->CloseUp();
  EXPECT_TRUE(calls.empty());

  // Without a menu the arrow part and the button both click.
  ClickAt(bar->Button(B::bbReportOut), 32, 11);
  EXPECT_EQ(calls, std::vector<std::string>{"report"});
  bar->SetPopupMenuExcelOut(nullptr);
  ClickAt(button, 10, 11);
  EXPECT_EQ(calls, (std::vector<std::string>{"report", "excel"}));

  bar->SetPopupMenuExcelOut(menu);
  bar->SetPopupMenuSetting(menu);
  delete menu;
  EXPECT_EQ(bar->PopupMenuExcelOut(), nullptr);
  EXPECT_EQ(bar->PopupMenuSetting(), nullptr);
  calls.clear();
  ClickAt(button, 10, 11);
  ClickAt(button, 32, 11);
  EXPECT_EQ(calls, (std::vector<std::string>{"excel", "excel"}));
  EXPECT_TRUE(bar->OnExcelOutButtonClick() == excel);
}

TEST_F(VxBizButtonList, TheCodeHelpButtonSendsF9ToTheFormAndLeavesTheFocus) {
  std::vector<WORD> keys;
  form->SetKeyPreview(true);
  form->OnKeyDown = TKeyEvent::FromFunction([&](TObject*, WORD& Key, TShiftState) { keys.push_back(Key); });
  bar->SetButtonCodeHelpEnabled(true);
  form->Show();
  gui.Pump();
  ASSERT_EQ(Screen->ActiveControl(), edit->InnerControl());
  ClickAt(bar->Button(B::bbCodeHelp), 11, 11);
  EXPECT_EQ(keys, std::vector<WORD>{VK_F9});
  EXPECT_EQ(Screen->ActiveControl(), edit->InnerControl());
  // A disabled one sends nothing.
  bar->SetButtonCodeHelpEnabled(false);
  ClickAt(bar->Button(B::bbCodeHelp), 11, 11);
  EXPECT_EQ(keys.size(), 1u);
}
