#include "platform/vcl/dialogs.h"

#include <gtest/gtest.h>

#include "platform/gdi/dib.h"
#include "platform/vcl/extctrls.h"
#include "platform/vcl/menus.h"
#include "platform/vcl/stdctrls.h"
#include "tests/support/TempFolder.h"
#include "tests/support/headless_gui.h"

namespace {

class Dialogs : public ::testing::Test {
 protected:
  THeadlessGui gui;
};

COLORREF Rgb(TColor c) { return COLORREF(ColorToRGB(c)) & 0xFFFFFF; }

}  // namespace

TEST_F(Dialogs, BoxesCarryTheirButtonsDefaultsAndCaptions) {
  EXPECT_EQ(Application->MessageBox("Exit?", "Loader", MB_YESNO | MB_ICONQUESTION), IDYES);
  EXPECT_EQ(ShowMessageBox("Again?", "Loader", MB_YESNOCANCEL | MB_DEFBUTTON2), IDNO);
  EXPECT_EQ(MessageDlg("Retry?", mtConfirmation, {mbYes, mbCancel}, 0), mrYes);
  ShowMessage("Done");
  gui.QueueAnswers({mrCancel});
  EXPECT_EQ(MessageDlg("Go?", mtWarning, mbOKCancel, 0), mrCancel);
  auto& boxes = gui.Boxes();
  ASSERT_EQ(boxes.size(), 5u);
  EXPECT_EQ(boxes[0].Buttons, (std::vector<TModalResult>{mrYes, mrNo}));
  EXPECT_EQ(boxes[0].Type, mtConfirmation);
  EXPECT_EQ(boxes[0].Cancel, mrNone) << "a yes/no box has no escape";
  EXPECT_EQ(boxes[1].Default, mrNo);
  EXPECT_EQ(boxes[1].Cancel, mrCancel);
  EXPECT_EQ(boxes[2].Caption, "Confirm");
  EXPECT_EQ(boxes[2].Buttons, (std::vector<TModalResult>{mrYes, mrCancel}));
  EXPECT_EQ(boxes[2].Cancel, mrCancel);
  EXPECT_EQ(boxes[3].Caption, Application->Title());
  EXPECT_EQ(boxes[3].Buttons, (std::vector<TModalResult>{mrOk}));
  EXPECT_EQ(boxes[4].Caption, "Warning");
  EXPECT_EQ(ModalResultFromName("IDYES"), mrYes);
  EXPECT_EQ(ModalResultFromName("mrCancel"), mrCancel);
  EXPECT_EQ(ModalResultFromName("no"), mrNo);
  EXPECT_EQ(ModalResultFromName("maybe"), -1);
}

TEST_F(Dialogs, OnADisplayABoxIsAModalWindowWithKeyboardDefaults) {
  Application->SetPresenter(std::make_unique<TPretendDisplay>());
  auto previous = SetDialogService(nullptr);
  TTimer timer(nullptr);
  timer.SetInterval(10);
  std::vector<std::string> seen;
  WORD key = VK_RETURN;
  timer.SetOnTimer(TNotifyEvent::FromFunction([&](TObject*) {
    TCustomForm* box = Screen->ModalForm();
    if (!box) return;
    seen.push_back(box->Caption());
    vx::display::InjectKey(box, key);
  }));
  EXPECT_EQ(ShowMessageBox("Save the changes?", "Editor", MB_YESNOCANCEL | MB_DEFBUTTON2), IDNO);
  key = VK_ESCAPE;
  EXPECT_EQ(ShowMessageBox("Save the changes?", "Editor", MB_YESNOCANCEL), IDCANCEL);
  EXPECT_EQ(ShowMessageBox("Stop?", "Editor", MB_OK), IDOK) << "Escape on a lone OK";
  timer.SetEnabled(false);
  SetDialogService(std::move(previous));
  EXPECT_EQ(seen, (std::vector<std::string>{"Editor", "Editor", "Editor"}));
}

TEST_F(Dialogs, ASaveDialogAddsTheExtensionAndAsksBeforeReplacing) {
  struct TFiles : IDialogService {
    std::string answer;
    TModalResult MessageDialog(const TDialogRequest& r) override {
      asked.push_back(r.Text);
      return replace ? mrYes : mrNo;
    }
    bool SaveFile(TFileDialogRequest& r) override {
      if (answer.empty()) return false;
      r.FileName = answer;
      return true;
    }
    std::vector<std::string> asked;
    bool replace = false;
  };
  auto service = std::make_unique<TFiles>();
  TFiles* files = service.get();
  auto previous = SetDialogService(std::move(service));
  TempFolder dir;
  TSaveDialog dialog(nullptr);
  dialog.SetDefaultExt("xls");
  dialog.SetOptions({ofOverwritePrompt});
  EXPECT_FALSE(dialog.Execute()) << "cancelled";
  files->answer = dir.Path() + "/report";
  ASSERT_TRUE(dialog.Execute());
  EXPECT_EQ(dialog.FileName(), dir.Path() + "/report.xls");
  EXPECT_TRUE(files->asked.empty());
  WriteFileBytes(dir.Path() + "/report.xls", "old");
  EXPECT_FALSE(dialog.Execute()) << "not replaced";
  files->replace = true;
  EXPECT_TRUE(dialog.Execute());
  EXPECT_EQ(files->asked.size(), 2u);
  SetDialogService(std::move(previous));
  std::string user = "HelpManager", password;
  EXPECT_FALSE(LoginDialogEx("Help", user, password, true)) << "nobody to log in headless";
}

TEST_F(Dialogs, PopupMenusShowAsWindowsAndClickTheirItems) {
  TForm form(Application);
  form.SetBorderStyle(bsNone);
  form.SetBounds(100, 100, 300, 200);
  auto* panel = new TPanel(&form);
  panel->SetBounds(10, 10, 100, 100);
  panel->SetParent(&form);
  TPopupMenu menu(&form);
  std::vector<std::string> clicks;
  auto add = [&](const std::string& caption, TShortCut sc = 0) {
    auto* item = new TMenuItem(&form);
    item->SetCaption(caption);
    item->SetShortCut(sc);
    item->OnClick = TNotifyEvent::FromFunction([&clicks, item](TObject*) { clicks.push_back(item->Caption()); });
    menu.Items()->Add(item);
    return item;
  };
  add("&Copy", ShortCut('C', {ssCtrl}));
  add("-");
  auto* hidden = add("Hidden");
  hidden->SetVisible(false);
  add("&Paste");
  int popups = 0;
  menu.OnPopup = TNotifyEvent::FromFunction([&](TObject*) { ++popups; });
  panel->SetPopupMenu(&menu);
  form.Show();

  // A right click pops the menu up at the pointer, on the screen.
  vx::display::InjectClick(&form, 50, 60, mbRight);
  THeadlessGui::Pump();
  EXPECT_EQ(popups, 1);
  EXPECT_EQ(menu.PopupPoint(), (TPoint{150, 160}));
  EXPECT_EQ(menu.PopupComponent(), panel);
  ASSERT_TRUE(menu.IsShowing());
  TCustomForm* window = nullptr;
  for (int i = 0; i < Screen->FormCount(); ++i)
    if (Screen->Forms(i)->IsPopupWindow() && Screen->Forms(i)->Visible()) window = Screen->Forms(i);
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(window->Left(), 150);
  EXPECT_EQ(window->Height(), 3 + 19 + 9 + 19 + 3) << "two items and a line; the hidden item takes no room";
  EXPECT_EQ(Screen->ActiveForm(), &form) << "the menu does not take the activation";
  // The second item ("Paste", after the line) is clicked.
  vx::display::InjectClick(window, 20, 3 + 19 + 9 + 5);
  THeadlessGui::Pump();
  EXPECT_EQ(clicks, (std::vector<std::string>{"&Paste"}));
  EXPECT_FALSE(menu.IsShowing());

  // A click elsewhere or Escape closes it without a click.
  menu.Popup(10, 10);
  THeadlessGui::Click(panel);
  EXPECT_FALSE(menu.IsShowing());
  menu.Popup(10, 10);
  THeadlessGui::Key(VK_ESCAPE);
  EXPECT_FALSE(menu.IsShowing());
  // Down and Enter choose by keyboard; shortcuts work without the menu.
  menu.Popup(10, 10);
  THeadlessGui::Key(VK_DOWN);
  THeadlessGui::Key(VK_RETURN);
  THeadlessGui::Key('C', {ssCtrl});  // the focus (the form) has no menu
  form.SetPopupMenu(&menu);
  THeadlessGui::Key('C', {ssCtrl});
  EXPECT_EQ(clicks, (std::vector<std::string>{"&Paste", "&Copy", "&Copy"}));
  EXPECT_EQ(ShortCutToText(ShortCut(VK_F5, {ssShift})), "Shift+F5");
  EXPECT_EQ(TextToShortCut("Ctrl+Del"), ShortCut(VK_DELETE, {ssCtrl}));
}

TEST_F(Dialogs, PanelsAlignInsideTheirBevelsAndImagesFollowTheirPictures) {
  TForm form(Application);
  form.SetBorderStyle(bsNone);
  form.SetBounds(0, 0, 200, 200);
  auto* panel = new TPanel(&form);
  panel->SetBounds(0, 0, 100, 100);
  panel->SetBevelInner(bvLowered);
  panel->SetBevelWidth(2);
  panel->SetColor(clSilver);
  panel->SetParent(&form);
  auto* inside = new TPanel(&form);
  inside->SetAlign(alClient);
  inside->SetBevelOuter(bvNone);
  inside->SetColor(clBlue);
  inside->SetParent(panel);
  EXPECT_EQ(inside->BoundsRect(), (TRect{4, 4, 96, 96}));

  TBitmap picture;
  picture.SetSize(20, 10);
  picture.Canvas()->Brush()->SetColor(clRed);
  picture.Canvas()->FillRect(TRect{0, 0, 20, 10});
  picture.Canvas()->Pixels(0, 9);
  picture.Canvas()->SetPixels(0, 9, clLime);  // the transparent colour: bottom left
  auto* image = new TImage(&form);
  image->SetBounds(120, 0, 60, 60);
  image->SetParent(&form);
  image->Picture()->SetGraphic(&picture);
  form.Show();
  EXPECT_EQ(THeadlessGui::Pixel(&form, 121, 1), Rgb(clRed));
  EXPECT_EQ(THeadlessGui::Pixel(&form, 141, 1), Rgb(clBtnFace));
  image->SetStretch(true);
  THeadlessGui::Pump();
  EXPECT_EQ(THeadlessGui::Pixel(&form, 175, 20), Rgb(clRed));
  image->SetStretch(false);
  image->SetCenter(true);
  THeadlessGui::Pump();
  EXPECT_EQ(THeadlessGui::Pixel(&form, 121, 1), Rgb(clBtnFace));
  EXPECT_EQ(THeadlessGui::Pixel(&form, 150, 26), Rgb(clRed));
  image->SetCenter(false);
  image->SetTransparent(true);
  THeadlessGui::Pump();
  EXPECT_EQ(THeadlessGui::Pixel(&form, 120, 9), Rgb(clBtnFace)) << "the transparent colour shows the form";
  image->SetAutoSize(true);
  EXPECT_EQ(image->Width(), 20);
  EXPECT_EQ(image->Height(), 10);

  auto* shape = new TShape(&form);
  shape->SetBounds(0, 150, 30, 20);
  shape->Pen()->SetColor(clBlack);
  shape->Brush()->SetColor(clYellow);
  shape->SetParent(&form);
  THeadlessGui::Pump();
  EXPECT_EQ(THeadlessGui::Pixel(&form, 0, 150), RGB(0, 0, 0));
  EXPECT_EQ(THeadlessGui::Pixel(&form, 29, 169), RGB(0, 0, 0));
  EXPECT_EQ(THeadlessGui::Pixel(&form, 15, 160), Rgb(clYellow));
  EXPECT_EQ(THeadlessGui::Pixel(&form, 2, 2), Rgb(clBtnShadow)) << "the lowered inner bevel";
  EXPECT_EQ(THeadlessGui::Pixel(&form, 0, 0), Rgb(clBtnHighlight)) << "the raised outer bevel";
  EXPECT_EQ(THeadlessGui::Pixel(&form, 50, 50), Rgb(clBlue));
}

TEST(HeadlessScript, LoginLinesConfirmOrCancelTheNextLoginPrompt) {
  TempFolder dir;
  WriteFileBytes(dir / "script", "# the password prompt\nlogin two words\nanswer IDCANCEL\n");
  auto previous = SetDialogService(nullptr);
  Application->SetPresenter(std::make_unique<vx::display::THeadlessPresenter>(dir / "script"));
  std::string user = "someone", password;
  EXPECT_TRUE(LoginDialogEx("HelpManager", user, password, true));
  EXPECT_EQ(password, "two words");
  EXPECT_EQ(user, "someone");
  EXPECT_FALSE(LoginDialogEx("HelpManager", user, password, true));
  EXPECT_FALSE(LoginDialogEx("HelpManager", user, password, true)) << "no line left: cancelled";
  Application->SetPresenter(std::make_unique<vx::display::THeadlessPresenter>());
  SetDialogService(std::move(previous));
}
