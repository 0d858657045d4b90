#include "platform/win/winuser.h"

#include <gtest/gtest.h>

#include "platform/gdi/dib.h"
#include "platform/vcl/extctrls.h"
#include "platform/vcl/stdctrls.h"
#include "tests/support/headless_gui.h"

namespace {

COLORREF Rgb(TColor c) { return COLORREF(ColorToRGB(c)) & 0xFFFFFF; }

// A windowed control filled with its colour.
class TFill : public TCustomControl {
  VX_CLASS(TFill, TCustomControl)

 public:
  TFill(TComponent* AOwner, TWinControl* AParent, TRect R, TColor C) : TCustomControl(AOwner) {
    SetBoundsRect(R);
    SetColor(C);
    SetParent(AParent);
  }
  int paints = 0;

 protected:
  void Paint() override {
    ++paints;
    Canvas()->Brush()->SetColor(Color());
    Canvas()->FillRect(ClientRect());
  }
};

class WindowFunctions : public ::testing::Test {
 protected:
  TForm* NewForm() {
    auto* f = new TForm(Application);
    f->SetBorderStyle(bsNone);
    f->SetBounds(100, 50, 200, 150);
    f->SetCaption("Window functions");
    return f;
  }
  THeadlessGui gui;
};

}  // namespace

TEST(Rectangles, IntersectUnionAndMulDivFollowTheirRules) {
  RECT r;
  const RECT a{0, 0, 10, 10}, b{5, 5, 20, 20}, far{30, 30, 40, 40}, empty{3, 3, 3, 8};
  EXPECT_TRUE(IntersectRect(&r, &a, &b));
  EXPECT_EQ(r, (RECT{5, 5, 10, 10}));
  EXPECT_FALSE(IntersectRect(&r, &a, &far));
  EXPECT_TRUE(IsRectEmpty(&r));
  EXPECT_TRUE(UnionRect(&r, &a, &empty));
  EXPECT_EQ(r, a) << "an empty rectangle adds nothing";
  EXPECT_TRUE(PtInRect(&a, POINT{0, 9}));
  EXPECT_FALSE(PtInRect(&a, POINT{10, 0})) << "right and bottom are outside";
  EXPECT_EQ(MulDiv(10, 3, 4), 8) << "7.5 rounds away from zero";
  EXPECT_EQ(MulDiv(-10, 3, 4), -8);
  EXPECT_EQ(MulDiv(1, 1, 0), -1);
  EXPECT_EQ(MulDiv(0x7FFFFFFF, 4, 2), -1) << "overflow";
  EXPECT_EQ(MulDiv(0x40000000, 4, 4), 0x40000000) << "no overflow on the way";
}

TEST_F(WindowFunctions, HandlesReachTheirControlsAndTheirForms) {
  std::unique_ptr<TForm> form(NewForm());
  auto* fill = new TFill(form.get(), form.get(), Bounds(10, 20, 50, 40), clRed);
  EXPECT_EQ(FindWindow(nullptr, "Window functions"), form->Handle()) << "hidden windows are found too";
  EXPECT_EQ(FindWindow("TForm", nullptr), form->Handle());
  EXPECT_EQ(GetParent(fill->Handle()), form->Handle());
  POINT p{1, 2};
  ClientToScreen(fill->Handle(), &p);
  EXPECT_EQ(p, (POINT{111, 72}));
  ScreenToClient(form->Handle(), &p);
  EXPECT_EQ(p, (POINT{11, 22}));
  EXPECT_FALSE(IsWindowVisible(fill->Handle())) << "its form is hidden";
  fill->SetTabStop(true);
  form->Show();
  EXPECT_TRUE(IsWindowVisible(fill->Handle()));
  EXPECT_EQ(GetWindowText(form->Handle()), "Window functions");
  SetWindowText(form->Handle(), "Renamed");
  EXPECT_EQ(form->Caption(), "Renamed");
  EXPECT_EQ(GetFocus(), fill->Handle());

  // InvalidateRect marks; UpdateWindow paints at once.
  THeadlessGui::Pump();
  const int before = fill->paints;
  InvalidateRect(fill->Handle(), nullptr, FALSE);
  EXPECT_EQ(fill->paints, before);
  UpdateWindow(fill->Handle());
  EXPECT_EQ(fill->paints, before + 1);

  // A disabled window takes no input; the control itself stays enabled.
  int clicks = 0;
  fill->OnClick = TNotifyEvent::FromFunction([&](TObject*) { ++clicks; });
  EnableWindow(form->Handle(), FALSE);
  THeadlessGui::Click(fill);
  EXPECT_EQ(clicks, 0);
  EXPECT_TRUE(fill->Enabled());
  EnableWindow(form->Handle(), TRUE);
  THeadlessGui::Click(fill);
  EXPECT_EQ(clicks, 1);
}

TEST_F(WindowFunctions, DrawingThroughAWindowDCOutsidePaintingIsShown) {
  std::unique_ptr<TForm> form(NewForm());
  auto* fill = new TFill(form.get(), form.get(), Bounds(10, 20, 50, 40), clRed);
  form->Show();
  THeadlessGui::Pump();
  const int presents = gui.Presenter().PresentCount();
  HDC dc = GetDC(fill->Handle());
  ASSERT_NE(dc, nullptr);
  HBRUSH blue = CreateSolidBrush(RGB(0, 0, 255));
  const RECT r{0, 0, 100, 100};  // beyond the control: clipped to it
  FillRect(dc, &r, blue);
  DeleteObject(blue);
  ReleaseDC(fill->Handle(), dc);
  THeadlessGui::Pump();
  EXPECT_GT(gui.Presenter().PresentCount(), presents);
  auto buffer = form->BackBuffer();
  EXPECT_EQ(buffer->ColorFromRaw(buffer->GetRaw(15, 25)) & 0xFFFFFF, RGB(0, 0, 255));
  EXPECT_EQ(buffer->ColorFromRaw(buffer->GetRaw(65, 25)) & 0xFFFFFF, Rgb(clBtnFace));

  // The same through a graphic control's canvas, between paints.
  auto* image = new TImage(form.get());
  image->SetBounds(100, 20, 20, 20);
  image->SetParent(form.get());
  THeadlessGui::Pump();
  image->Canvas()->Brush()->SetColor(clLime);
  image->Canvas()->FillRect(TRect{-50, -50, 50, 50});
  THeadlessGui::Pump();
  EXPECT_EQ(buffer->ColorFromRaw(buffer->GetRaw(110, 30)) & 0xFFFFFF, Rgb(clLime));
  EXPECT_EQ(buffer->ColorFromRaw(buffer->GetRaw(95, 30)) & 0xFFFFFF, Rgb(clBtnFace));
}

TEST_F(WindowFunctions, AParentPaintsItselfAndItsGraphicChildrenIntoAForeignDC) {
  // As a see-through control asks its parent for the background under it.
  std::unique_ptr<TForm> form(NewForm());
  form->SetColor(clNavy);
  auto* label = new TLabel(form.get());
  label->SetAutoSize(false);
  label->SetBounds(40, 40, 30, 10);
  label->SetColor(clYellow);
  label->SetParent(form.get());
  auto* child = new TFill(form.get(), form.get(), Bounds(30, 30, 60, 40), clRed);
  TBitmap under;
  under.SetSize(60, 40);
  HDC dc = under.Canvas()->Handle();
  const int saved = SaveDC(dc);
  SetViewportOrgEx(dc, -child->Left(), -child->Top(), nullptr);
  form->Perform(WM_ERASEBKGND, WPARAM(dc), 0);
  form->Perform(WM_PAINT, WPARAM(dc), 0);
  RestoreDC(dc, saved);
  EXPECT_EQ(under.Canvas()->Pixels(0, 0), ColorToRGB(clNavy));
  EXPECT_EQ(under.Canvas()->Pixels(15, 15), ColorToRGB(clYellow)) << "the label under the child";
  EXPECT_EQ(child->paints, 0) << "windowed children are not part of it";
}

TEST_F(WindowFunctions, AWindowRegionClipsThePainting) {
  std::unique_ptr<TForm> form(NewForm());
  auto* fill = new TFill(form.get(), form.get(), Bounds(0, 0, 100, 100), clRed);
  HRGN region = CreateRectRgn(0, 0, 50, 50);
  HRGN more = CreateRectRgn(60, 60, 80, 80);
  CombineRgn(region, region, more, RGN_OR);
  DeleteObject(more);
  SetWindowRgn(fill->Handle(), region, TRUE);
  form->Show();
  EXPECT_EQ(THeadlessGui::Pixel(form.get(), 10, 10), Rgb(clRed));
  EXPECT_EQ(THeadlessGui::Pixel(form.get(), 70, 70), Rgb(clRed));
  EXPECT_EQ(THeadlessGui::Pixel(form.get(), 55, 10), Rgb(clBtnFace));
}

TEST_F(WindowFunctions, AControlDeletedWhileHeldOrPointedAtLeavesNothingBehind) {
  std::unique_ptr<TForm> form(NewForm());
  auto* fill = new TFill(form.get(), form.get(), Bounds(10, 10, 50, 50), clRed);
  int formDowns = 0;
  form->OnMouseDown = TMouseEvent::FromFunction([&](TObject*, TMouseButton, TShiftState, int, int) { ++formDowns; });
  form->Show();
  vx::display::InjectMouseMove(form.get(), 20, 20);
  vx::display::InjectMouseDown(form.get(), mbLeft, 20, 20);
  THeadlessGui::Pump();
  EXPECT_EQ(GetCaptureControl(), fill);
  delete fill;
  EXPECT_EQ(GetCaptureControl(), nullptr);
  EXPECT_EQ(FocusedControl(), form.get());
  vx::display::InjectMouseMove(form.get(), 25, 25, MK_LBUTTON);
  vx::display::InjectMouseUp(form.get(), mbLeft, 25, 25);
  vx::display::InjectMouseDown(form.get(), mbLeft, 25, 25);
  THeadlessGui::Pump();
  EXPECT_EQ(formDowns, 1) << "the form gets what the control would have";
}

TEST_F(WindowFunctions, InjectedKeysReachTheFocusedControlOfTheActiveForm) {
  std::unique_ptr<TForm> form(NewForm());
  auto* edit = new TEdit(form.get());
  edit->SetParent(form.get());
  form->SetKeyPreview(true);
  std::vector<WORD> seen;
  form->OnKeyDown = TKeyEvent::FromFunction([&](TObject*, WORD& k, TShiftState) { seen.push_back(k); });
  form->Show();
  keybd_event(BYTE(VK_F9), BYTE(MapVirtualKey(VK_F9, 0)), 0, 0);
  keybd_event(BYTE(VK_F9), BYTE(MapVirtualKey(VK_F9, 0)), KEYEVENTF_KEYUP, 0);
  THeadlessGui::Pump();
  EXPECT_EQ(seen, (std::vector<WORD>{VK_F9}));
  EXPECT_GE(GetKeyState(VK_F9), 0);

  // The screen's cursor goes to every shown window.
  Screen->SetCursor(crHourGlass);
  EXPECT_EQ(gui.Presenter().LastCursor(), crHourGlass);
  Screen->SetCursor(crDefault);
}
