#include "platform/vcl/controls.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/vcl/forms.h"
#include "tests/support/headless_gui.h"
#include "platform/gdi/dib.h"
#include "tests/support/manual_clock.h"

namespace {

using vx::display::InjectMouseDown;
using vx::display::InjectMouseMove;
using vx::display::InjectMouseUp;

std::vector<std::string>* g_log = nullptr;
void Log(const std::string& s) {
  if (g_log) g_log->push_back(s);
}

// A windowless control that fills itself and records its paints and mouse input.
class TProbe : public TGraphicControl {
  VX_CLASS(TProbe, TGraphicControl)

 public:
  TProbe(TComponent* AOwner, TWinControl* AParent, const std::string& AName, TRect R, TColor C)
      : TGraphicControl(AOwner) {
    SetName(AName);
    SetBoundsRect(R);
    SetColor(C);
    SetParent(AParent);
  }
  bool overdraw = false;  // paints far outside its bounds

 protected:
  void Paint() override {
    Log("paint " + Name());
    Canvas()->Brush()->SetColor(Color());
    Canvas()->FillRect(overdraw ? TRect{-500, -500, 500, 500} : ClientRect());
  }
  void MouseDown(TMouseButton B, TShiftState S, int X, int Y) override {
    Log("down " + Name() + " " + std::to_string(X) + "," + std::to_string(Y));
    TGraphicControl::MouseDown(B, S, X, Y);
  }
  void MouseMove(TShiftState S, int X, int Y) override {
    Log("move " + Name() + " " + std::to_string(X) + "," + std::to_string(Y));
  }
  void MouseUp(TMouseButton B, TShiftState S, int X, int Y) override {
    Log("up " + Name() + " " + std::to_string(X) + "," + std::to_string(Y));
  }
  void Click() override {
    Log("click " + Name());
    TGraphicControl::Click();
  }
  void DblClick() override { Log("dblclick " + Name()); }

  VX_MESSAGE_MAP(TProbe, TGraphicControl)
  VX_MESSAGE_HANDLER(CM_MOUSEENTER, CMMouseEnter)
  VX_MESSAGE_HANDLER(CM_MOUSELEAVE, CMMouseLeave)
  VX_END_MESSAGE_MAP

  void CMMouseEnter(TMessage& M) {
    Log("enter " + Name());
    MessageMapBase::Dispatch(M);
  }
  void CMMouseLeave(TMessage& M) {
    Log("leave " + Name());
    MessageMapBase::Dispatch(M);
  }
};

// A windowed control that fills itself and records paints, focus and mouse.
class TBox : public TCustomControl {
  VX_CLASS(TBox, TCustomControl)

 public:
  TBox(TComponent* AOwner, TWinControl* AParent, const std::string& AName, TRect R, TColor C)
      : TCustomControl(AOwner) {
    SetName(AName);
    SetBoundsRect(R);
    SetColor(C);
    SetTabStop(true);
    SetParent(AParent);
  }

 protected:
  void Paint() override { Log("paint " + Name()); }
  void DoEnter() override { Log("enter-focus " + Name()); }
  void DoExit() override { Log("exit-focus " + Name()); }
  void MouseDown(TMouseButton B, TShiftState S, int X, int Y) override {
    Log("down " + Name() + " " + std::to_string(X) + "," + std::to_string(Y));
  }
  void Click() override { Log("click " + Name()); }

  VX_MESSAGE_MAP(TBox, TCustomControl)
  VX_MESSAGE_HANDLER(CM_MOUSEENTER, CMMouseEnter)
  VX_MESSAGE_HANDLER(CM_MOUSELEAVE, CMMouseLeave)
  VX_MESSAGE_HANDLER(WM_SETFOCUS, WMSetFocus)
  VX_MESSAGE_HANDLER(WM_KILLFOCUS, WMKillFocus)
  VX_END_MESSAGE_MAP

  void CMMouseEnter(TMessage& M) {
    Log("enter " + Name());
    MessageMapBase::Dispatch(M);
  }
  void CMMouseLeave(TMessage& M) {
    Log("leave " + Name());
    MessageMapBase::Dispatch(M);
  }
  void WMSetFocus(TMessage& M) {
    Log("setfocus " + Name());
    MessageMapBase::Dispatch(M);
  }
  void WMKillFocus(TMessage& M) {
    Log("killfocus " + Name());
    MessageMapBase::Dispatch(M);
  }
};

class TLoggingForm : public TForm {
  VX_CLASS(TLoggingForm, TForm)

 public:
  using TForm::TForm;

 protected:
  void Paint() override { Log("paint form"); }
};

class Controls : public ::testing::Test {
 protected:
  void SetUp() override { g_log = &log; }
  void TearDown() override { g_log = nullptr; }
  // The client size is fixed whatever the border style.
  TLoggingForm* NewForm(int W = 200, int H = 150) {
    auto* f = new TLoggingForm(Application);
    f->SetBorderStyle(bsNone);
    f->SetBounds(10, 20, W, H);
    return f;
  }
  THeadlessGui gui;
  std::vector<std::string> log;
};

COLORREF Rgb(TColor c) { return COLORREF(ColorToRGB(c)) & 0xFFFFFF; }

}  // namespace

TEST_F(Controls, PaintingFollowsParentThenGraphicThenWindowedChildrenClippedToEachControl) {
  std::unique_ptr<TLoggingForm> form(NewForm());
  auto* panel = new TBox(form.get(), form.get(), "panel", Bounds(10, 10, 100, 80), clBlue);
  auto* label = new TProbe(form.get(), form.get(), "label", Bounds(0, 0, 50, 50), clRed);
  auto* inner = new TProbe(form.get(), panel, "inner", Bounds(5, 5, 20, 20), clLime);
  auto* child = new TBox(form.get(), panel, "child", Bounds(50, 40, 30, 30), clYellow);
  auto* top = new TProbe(form.get(), form.get(), "top", Bounds(150, 0, 20, 20), clAqua);
  top->overdraw = true;
  form->Show();
  std::vector<std::string> paints;
  for (const auto& l : log)
    if (l.rfind("paint ", 0) == 0) paints.push_back(l);
  EXPECT_EQ(paints, (std::vector<std::string>{"paint form", "paint label", "paint top", "paint panel", "paint inner",
                                              "paint child"}));
  // The windowed panel covers the graphic label where they overlap, its own graphic
  // child lies on it, and the overdrawing control stays inside its bounds.
  EXPECT_EQ(THeadlessGui::Pixel(form.get(), 5, 5), Rgb(clRed));
  EXPECT_EQ(THeadlessGui::Pixel(form.get(), 12, 12), Rgb(clBlue));
  EXPECT_EQ(THeadlessGui::Pixel(form.get(), 16, 16), Rgb(clLime));
  EXPECT_EQ(THeadlessGui::Pixel(form.get(), 62, 52), Rgb(clYellow));
  EXPECT_EQ(THeadlessGui::Pixel(form.get(), 160, 10), Rgb(clAqua));
  EXPECT_EQ(THeadlessGui::Pixel(form.get(), 140, 10), Rgb(clBtnFace));
  EXPECT_EQ(THeadlessGui::Pixel(form.get(), 160, 30), Rgb(clBtnFace));

  // Bringing the label to the front changes only its order among graphic controls:
  // windowed controls stay above it.
  label->BringToFront();
  THeadlessGui::Pump();
  EXPECT_EQ(THeadlessGui::Pixel(form.get(), 12, 12), Rgb(clBlue));
  // A hidden child leaves its parent's colour behind.
  child->Hide();
  THeadlessGui::Pump();
  EXPECT_EQ(THeadlessGui::Pixel(form.get(), 62, 52), Rgb(clBlue));
  (void)inner;
}

TEST_F(Controls, InvalidatePaintsLaterAndRepaintPaintsAndShowsAtOnce) {
  std::unique_ptr<TLoggingForm> form(NewForm());
  auto* left = new TProbe(form.get(), form.get(), "left", Bounds(0, 0, 40, 40), clRed);
  auto* right = new TProbe(form.get(), form.get(), "right", Bounds(100, 0, 40, 40), clBlue);
  form->Show();
  THeadlessGui::Pump();
  log.clear();
  const int presents = gui.Presenter().PresentCount();

  left->SetColor(clGreen);
  EXPECT_TRUE(log.empty()) << "marked, not painted";
  THeadlessGui::Pump();
  // Only what intersects the marked area is painted again.
  EXPECT_EQ(log, (std::vector<std::string>{"paint form", "paint left"}));
  EXPECT_EQ(THeadlessGui::Pixel(form.get(), 5, 5), Rgb(clGreen));
  EXPECT_GT(gui.Presenter().PresentCount(), presents);

  log.clear();
  const int before = gui.Presenter().PresentCount();
  right->SetColor(clYellow);
  right->Repaint();  // no message processing
  EXPECT_EQ(log, (std::vector<std::string>{"paint form", "paint right"}));
  EXPECT_EQ(gui.Presenter().PresentCount(), before + 1);
  auto buffer = form->BackBuffer();
  EXPECT_EQ(buffer->ColorFromRaw(buffer->GetRaw(110, 10)) & 0xFFFFFF, Rgb(clYellow));

  // Setting a property to its value marks nothing.
  log.clear();
  right->SetColor(clYellow);
  right->SetBounds(100, 0, 40, 40);
  THeadlessGui::Pump();
  EXPECT_TRUE(log.empty());

  // Moving a control repaints where it was and where it is.
  right->SetLeft(150);
  THeadlessGui::Pump();
  EXPECT_EQ(THeadlessGui::Pixel(form.get(), 110, 10), Rgb(clBtnFace));
  EXPECT_EQ(THeadlessGui::Pixel(form.get(), 160, 10), Rgb(clYellow));
}

TEST_F(Controls, ClickComesBeforeMouseUpAndCaptureKeepsTheMouseWithThePressedControl) {
  std::unique_ptr<TLoggingForm> form(NewForm());
  auto* a = new TProbe(form.get(), form.get(), "a", Bounds(10, 10, 40, 40), clRed);
  auto* panel = new TBox(form.get(), form.get(), "panel", Bounds(100, 10, 80, 80), clBlue);
  new TProbe(form.get(), panel, "b", Bounds(10, 10, 20, 20), clLime);
  form->Show();
  THeadlessGui::Pump();
  log.clear();

  THeadlessGui::Click(a);
  EXPECT_EQ(log, (std::vector<std::string>{"enter a", "move a 20,20", "down a 20,20", "click a", "up a 20,20"}));

  // Pressed in b (through its windowed parent), dragged out, released outside: the
  // moves and the release stay with b in its own coordinates, and there is no click.
  log.clear();
  InjectMouseMove(form.get(), 115, 25);
  InjectMouseDown(form.get(), mbLeft, 115, 25);
  InjectMouseMove(form.get(), 20, 5, MK_LBUTTON);
  InjectMouseUp(form.get(), mbLeft, 20, 5);
  InjectMouseMove(form.get(), 20, 15);
  THeadlessGui::Pump();
  EXPECT_EQ(log, (std::vector<std::string>{"leave a", "enter panel", "enter b", "move b 5,5", "down b 5,5",
                                           "leave b", "leave panel", "move b -90,-15", "up b -90,-15", "enter a",
                                           "move a 10,5"}));
  EXPECT_EQ(GetCaptureControl(), nullptr);

  // A disabled control's input goes to its parent.
  a->SetEnabled(false);
  THeadlessGui::Pump();
  log.clear();
  THeadlessGui::Click(a);
  EXPECT_EQ(log, (std::vector<std::string>{}));
  panel->SetEnabled(false);
  InjectMouseDown(form.get(), mbLeft, 115, 25);
  InjectMouseUp(form.get(), mbLeft, 115, 25);
  THeadlessGui::Pump();
  EXPECT_TRUE(std::find(log.begin(), log.end(), "down b 5,5") == log.end());
}

TEST_F(Controls, DoubleClicksNeedTheStyleAndComeWithinTheClockTime) {
  TManualClock clock;
  std::unique_ptr<TLoggingForm> form(NewForm());
  auto* a = new TProbe(form.get(), form.get(), "a", Bounds(10, 10, 40, 40), clRed);
  form->Show();
  THeadlessGui::Pump();
  log.clear();
  auto press = [&] {
    InjectMouseDown(form.get(), mbLeft, 20, 20);
    InjectMouseUp(form.get(), mbLeft, 20, 20);
    THeadlessGui::Pump();
  };
  press();
  clock.AdvanceMs(200);
  press();
  EXPECT_EQ(log, (std::vector<std::string>{"enter a", "down a 10,10", "click a", "up a 10,10", "dblclick a",
                                           "down a 10,10", "up a 10,10"}));
  log.clear();
  clock.AdvanceMs(1000);
  press();
  clock.AdvanceMs(600);
  press();
  EXPECT_EQ(std::count(log.begin(), log.end(), "click a"), 2) << "too slow for a double click";

  // Without csDoubleClicks the second press is a press again.
  log.clear();
  a->SetControlStyle(a->ControlStyle() - TControlStyle{csDoubleClicks});
  clock.AdvanceMs(1000);
  press();
  clock.AdvanceMs(100);
  press();
  EXPECT_EQ(std::count(log.begin(), log.end(), "click a"), 2);
  EXPECT_EQ(std::count(log.begin(), log.end(), "dblclick a"), 0);
}

TEST_F(Controls, EnterAndLeaveReachContainersOnlyWhenThePointerCrossesTheirEdge) {
  std::unique_ptr<TLoggingForm> form(NewForm());
  auto* outer = new TBox(form.get(), form.get(), "outer", Bounds(10, 10, 120, 100), clBlue);
  new TBox(form.get(), outer, "inner", Bounds(10, 10, 40, 40), clLime);
  new TProbe(form.get(), outer, "label", Bounds(60, 10, 40, 40), clRed);
  form->Show();
  THeadlessGui::Pump();
  log.clear();
  auto moveTo = [&](int x, int y) {
    InjectMouseMove(form.get(), x, y);
    THeadlessGui::Pump();
  };
  moveTo(15, 15);  // outer
  moveTo(25, 25);  // inner, inside outer
  moveTo(75, 25);  // the label, inside outer
  moveTo(5, 5);    // the form only
  EXPECT_EQ(log, (std::vector<std::string>{"enter outer", "enter inner", "leave inner", "enter label",
                                           "move label 5,5", "leave label", "leave outer"}));
  log.clear();
  moveTo(25, 25);
  vx::display::InjectMouseLeave(form.get());
  THeadlessGui::Pump();
  EXPECT_EQ(log, (std::vector<std::string>{"enter outer", "enter inner", "leave inner", "leave outer"}));
}

TEST_F(Controls, FocusFollowsTabOrderAndEntersAndExitsContainers) {
  std::unique_ptr<TLoggingForm> form(NewForm(300, 200));
  auto* a = new TBox(form.get(), form.get(), "a", Bounds(0, 0, 20, 20), clRed);
  auto* panel = new TBox(form.get(), form.get(), "panel", Bounds(50, 0, 200, 100), clBlue);
  panel->SetTabStop(false);
  auto* b = new TBox(form.get(), panel, "b", Bounds(0, 0, 20, 20), clRed);
  auto* c = new TBox(form.get(), panel, "c", Bounds(30, 0, 20, 20), clRed);
  auto* d = new TBox(form.get(), form.get(), "d", Bounds(0, 150, 20, 20), clRed);
  c->SetTabOrder(0);  // c before b inside the panel
  int changes = 0;
  Screen->OnActiveControlChange = TNotifyEvent::FromFunction([&](TObject*) { ++changes; });

  form->Show();
  EXPECT_EQ(FocusedControl(), a) << "the first control in tab order takes the focus";
  EXPECT_EQ(form->ActiveControl(), a);
  EXPECT_EQ(Screen->ActiveControl(), a);
  log.clear();

  THeadlessGui::Key(VK_TAB);
  EXPECT_EQ(FocusedControl(), c);
  EXPECT_EQ(log, (std::vector<std::string>{"killfocus a", "setfocus c", "exit-focus a", "enter-focus panel",
                                           "enter-focus c"}));
  log.clear();
  THeadlessGui::Key(VK_TAB);
  EXPECT_EQ(FocusedControl(), b);
  EXPECT_EQ(log, (std::vector<std::string>{"killfocus c", "setfocus b", "exit-focus c", "enter-focus b"}))
      << "moving inside the panel neither exits nor enters it";
  log.clear();
  THeadlessGui::Key(VK_TAB);
  EXPECT_EQ(FocusedControl(), d);
  EXPECT_EQ(log, (std::vector<std::string>{"killfocus b", "setfocus d", "exit-focus b", "exit-focus panel",
                                           "enter-focus d"}));
  THeadlessGui::Key(VK_TAB);
  EXPECT_EQ(FocusedControl(), a) << "wraps around";
  THeadlessGui::Key(VK_TAB, {ssShift});
  EXPECT_EQ(FocusedControl(), d);

  // Disabled, hidden and non-tab-stop controls are skipped.
  b->SetEnabled(false);
  c->SetTabStop(false);
  THeadlessGui::Key(VK_TAB);
  EXPECT_EQ(FocusedControl(), a);
  THeadlessGui::Key(VK_TAB);
  EXPECT_EQ(FocusedControl(), d);

  // A control that cannot take the focus refuses SetFocus; hiding the focused
  // control takes the focus away from it.
  EXPECT_THROW(b->SetFocus(), EInvalidOperation);
  c->SetFocus();
  EXPECT_EQ(FocusedControl(), c);
  panel->Hide();
  EXPECT_FALSE(c->Focused());
  EXPECT_EQ(form->ActiveControl(), nullptr);
  EXPECT_EQ(FocusedControl(), form.get());
  EXPECT_GE(changes, 6);
  Screen->OnActiveControlChange = nullptr;

  // Deleting the focused control leaves no dangling focus.
  d->SetFocus();
  delete d;
  EXPECT_NE(FocusedControl(), nullptr);
  EXPECT_EQ(form->ActiveControl(), nullptr);
}

// A composite control: its inner window, a nameless box that is no tab stop, takes
// the focus for it.
class TComposite : public TBox {
  VX_CLASS(TComposite, TBox)

 public:
  TComposite(TComponent* AOwner, TWinControl* AParent, const std::string& AName, TRect R)
      : TBox(AOwner, AParent, AName, R, clBlue),
        inner(new TBox(this, this, "", Bounds(2, 2, R.right - R.left - 4, R.bottom - R.top - 4), clWhite)) {
    inner->SetTabStop(false);
  }
  TWinControl* InnerFocusControl() const override { return inner; }
  TBox* inner;
};

TEST_F(Controls, ACompositeControlHandsTheFocusToItsInnerWindow) {
  std::unique_ptr<TLoggingForm> form(NewForm(300, 200));
  auto* a = new TBox(form.get(), form.get(), "a", Bounds(0, 0, 20, 20), clRed);
  auto* editor = new TComposite(form.get(), form.get(), "editor", Bounds(30, 0, 100, 24));
  auto* d = new TBox(form.get(), form.get(), "d", Bounds(0, 150, 20, 20), clRed);
  TBox* inner = editor->inner;
  form->SetActiveControl(editor);
  int changes = 0;
  Screen->OnActiveControlChange = TNotifyEvent::FromFunction([&](TObject*) { ++changes; });
  auto expectFocusOn = [&](TWinControl* c, const char* why) {
    EXPECT_EQ(FocusedControl(), c) << why;
    EXPECT_EQ(form->ActiveControl(), c) << why;
    EXPECT_EQ(Screen->ActiveControl(), c) << why;
    EXPECT_EQ(editor->Focused(), c == inner || c == editor) << why;
  };
  auto focusLog = [&] {
    std::vector<std::string> v;
    for (const std::string& s : log)
      if (s.rfind("paint", 0) != 0) v.push_back(s);
    log.clear();
    return v;
  };

  form->Show();
  expectFocusOn(inner, "the form's active control was the composite when it was shown");
  EXPECT_EQ(focusLog(), (std::vector<std::string>{"setfocus ", "enter-focus editor", "enter-focus "}));
  THeadlessGui::Key(VK_TAB);
  expectFocusOn(d, "Tab from the inner window leaves the composite");
  EXPECT_EQ(focusLog(), (std::vector<std::string>{"killfocus ", "setfocus d", "exit-focus ", "exit-focus editor",
                                                "enter-focus d"}));
  THeadlessGui::Key(VK_TAB, {ssShift});
  expectFocusOn(inner, "Shift+Tab onto the composite");
  THeadlessGui::Key(VK_TAB, {ssShift});
  expectFocusOn(a, "Shift+Tab from the inner window passes over the composite");
  focusLog();
  editor->SetFocus();
  expectFocusOn(inner, "SetFocus");
  EXPECT_EQ(focusLog(), (std::vector<std::string>{"killfocus a", "setfocus ", "exit-focus a", "enter-focus editor",
                                                "enter-focus "}));
  EXPECT_EQ(changes, 5) << "one change of the screen's active control per move";
  editor->SetFocus();
  form->SetActiveControl(editor);
  EXPECT_EQ(SetFocus(editor->Handle()), inner->Handle());
  expectFocusOn(inner, "focusing the composite again");
  EXPECT_EQ(focusLog(), (std::vector<std::string>{})) << "nothing moves";

  // Without a focusable inner window the composite takes the focus itself.
  a->SetFocus();
  inner->Hide();
  editor->SetFocus();
  expectFocusOn(editor, "the inner window is hidden");
  Screen->OnActiveControlChange = nullptr;
}

TEST_F(Controls, KeysGoToTheFocusedControlAfterTheFormsPreview) {
  std::unique_ptr<TLoggingForm> form(NewForm());
  auto* a = new TBox(form.get(), form.get(), "a", Bounds(0, 0, 20, 20), clRed);
  std::vector<std::string> keys;
  auto modifier = [](WORD k) { return k == VK_SHIFT || k == VK_CONTROL || k == VK_MENU; };
  a->OnKeyDown = TKeyEvent::FromFunction([&](TObject*, WORD& k, TShiftState s) {
    if (!modifier(k)) keys.push_back("control " + std::to_string(k) + (s.Contains(ssCtrl) ? " ctrl" : ""));
  });
  a->OnKeyPress = TKeyPressEvent::FromFunction([&](TObject*, char& ch) {
    if (ch >= ' ') keys.push_back(std::string("char ") + ch);
  });
  form->OnKeyDown = TKeyEvent::FromFunction([&](TObject*, WORD& k, TShiftState) {
    if (modifier(k)) return;
    keys.push_back("form " + std::to_string(k));
    if (k == VK_F9) k = 0;  // eaten by the form
  });
  form->Show();
  THeadlessGui::Key('Q');
  EXPECT_EQ(keys, (std::vector<std::string>{"control 81", "char q"})) << "no preview by default";
  keys.clear();
  form->SetKeyPreview(true);
  THeadlessGui::Key('Q', {ssCtrl});
  THeadlessGui::Key(VK_F9);
  EXPECT_EQ(keys, (std::vector<std::string>{"form 81", "control 81 ctrl", "form 120"}));
  EXPECT_GE(GetKeyState(VK_CONTROL), 0) << "Ctrl was released";
}

TEST_F(Controls, AlignmentDocksInOrderAndFollowsResizes) {
  std::unique_ptr<TLoggingForm> form(NewForm(200, 100));
  auto* top = new TBox(form.get(), form.get(), "top", Bounds(0, 0, 10, 20), clRed);
  auto* bottom = new TBox(form.get(), form.get(), "bottom", Bounds(0, 0, 10, 15), clRed);
  auto* left1 = new TBox(form.get(), form.get(), "left1", Bounds(0, 0, 30, 10), clRed);
  auto* left2 = new TBox(form.get(), form.get(), "left2", Bounds(0, 0, 25, 10), clRed);
  auto* right = new TBox(form.get(), form.get(), "right", Bounds(0, 0, 40, 10), clRed);
  auto* client = new TBox(form.get(), form.get(), "client", Bounds(0, 0, 10, 10), clRed);
  auto* anchored = new TBox(form.get(), form.get(), "anchored", Bounds(150, 80, 10, 10), clRed);
  anchored->SetAnchors({akRight, akBottom});
  form->DisableAlign();
  top->SetAlign(alTop);
  bottom->SetAlign(alBottom);
  left1->SetAlign(alLeft);
  left2->SetLeft(100);
  left2->SetAlign(alLeft);
  right->SetAlign(alRight);
  client->SetAlign(alClient);
  form->EnableAlign();
  EXPECT_EQ(top->BoundsRect(), Bounds(0, 0, 200, 20));
  EXPECT_EQ(bottom->BoundsRect(), Bounds(0, 85, 200, 15));
  EXPECT_EQ(left1->BoundsRect(), Bounds(0, 20, 30, 65));
  EXPECT_EQ(left2->BoundsRect(), Bounds(30, 20, 25, 65));
  EXPECT_EQ(right->BoundsRect(), Bounds(160, 20, 40, 65));
  EXPECT_EQ(client->BoundsRect(), Bounds(55, 20, 105, 65));

  form->SetClientSize(300, 150);
  EXPECT_EQ(bottom->BoundsRect(), Bounds(0, 135, 300, 15));
  EXPECT_EQ(right->BoundsRect(), Bounds(260, 20, 40, 115));
  EXPECT_EQ(client->BoundsRect(), Bounds(55, 20, 205, 115));
  EXPECT_EQ(anchored->BoundsRect(), Bounds(250, 130, 10, 10)) << "keeps its distance to the right and bottom";

  // A hidden control leaves its room to the others; a border keeps them off the edge.
  top->Hide();
  EXPECT_EQ(client->BoundsRect(), Bounds(55, 0, 205, 135));
  form->SetBorderWidth(5);
  EXPECT_EQ(left1->BoundsRect(), Bounds(5, 5, 30, 125));
}

// A control that builds its own parts, placed on a form while the form loads and sized
// there: its anchored parts keep their distances once the loading ends, as the form's
// own controls placed against its final size keep their places.
TEST_F(Controls, AnchoredPartsOfAControlSizedWhileItsFormLoadsFollowWhenTheLoadingEnds) {
  std::unique_ptr<TLoggingForm> form(NewForm(400, 200));
  form->BeginLoading();
  auto* own = new TBox(form.get(), form.get(), "own", Bounds(300, 150, 20, 10), clRed);
  own->SetAnchors({akRight, akBottom});
  auto* bar = new TBox(form.get(), form.get(), "bar", Bounds(0, 0, 100, 30), clBlue);
  const struct {
    TAnchors anchors;
    TRect before, after;
  } parts[] = {
      {{akLeft, akRight}, Bounds(0, 0, 100, 1), Bounds(0, 0, 300, 1)},  // a line across the bar
      {{akTop, akRight}, Bounds(80, 0, 10, 10), Bounds(280, 0, 10, 10)},  // an icon at its right edge
      {{akLeft, akTop}, Bounds(0, 0, 10, 10), Bounds(0, 0, 10, 10)},   // stays
      {{}, Bounds(40, 10, 10, 10), Bounds(130, 20, 10, 10)},           // keeps its share
  };
  std::vector<TBox*> boxes;
  for (const auto& p : parts) {
    boxes.push_back(new TBox(bar, bar, "part" + std::to_string(boxes.size()), p.before, clRed));
    boxes.back()->SetAnchors(p.anchors);
  }
  bar->SetBounds(0, 0, 300, 50);
  form->EndLoading();
  for (size_t i = 0; i < std::size(parts); ++i) EXPECT_EQ(boxes[i]->BoundsRect(), parts[i].after) << i;
  EXPECT_EQ(own->BoundsRect(), Bounds(300, 150, 20, 10));
}

// Whatever sizes a parent goes through, sized back it puts every control back.
TEST_F(Controls, AParentSizedBackToItsFirstSizePutsEveryAnchoredControlBack) {
  std::unique_ptr<TLoggingForm> form(NewForm(400, 400));
  auto* panel = new TBox(form.get(), form.get(), "panel", Bounds(0, 0, 100, 100), clBlue);
  for (uint64_t set = 0; set < 16; ++set)  // every subset of left, top, right and bottom
    (new TBox(panel, panel, "", Bounds(10, 10, 20, 20), clRed))->SetAnchors(TAnchors::FromBits(set));
  for (const auto& walk : {std::vector{0, 100}, {37, 250, 100}, {1, 100}, {101, 102, 100}, {0, 3, 0, 100}}) {
    for (int size : walk) panel->SetBounds(0, 0, size, size / 2 + 50);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(panel->Controls(i)->BoundsRect(), Bounds(10, 10, 20, 20)) << i << walk[0];
  }
}

TEST_F(Controls, FontAndColourComeFromTheParentUntilSetOnTheControl) {
  std::unique_ptr<TLoggingForm> form(NewForm());
  auto* panel = new TBox(form.get(), form.get(), "panel", Bounds(0, 0, 100, 100), clBlue);
  panel->SetParentColor(true);
  auto* label = new TProbe(form.get(), panel, "label", Bounds(0, 0, 10, 10), clRed);
  label->SetParentColor(true);
  EXPECT_EQ(panel->Color(), clBtnFace);
  EXPECT_EQ(label->Color(), clBtnFace);
  form->SetColor(clWhite);
  EXPECT_EQ(label->Color(), clWhite);
  label->SetColor(clRed);
  EXPECT_FALSE(label->ParentColor());
  form->SetColor(clNavy);
  EXPECT_EQ(panel->Color(), clNavy);
  EXPECT_EQ(label->Color(), clRed);

  form->Font()->SetName("Tahoma");
  form->Font()->SetSize(12);
  EXPECT_EQ(label->Font()->Name(), "Tahoma");
  EXPECT_EQ(label->Font()->Size(), 12);
  EXPECT_TRUE(label->ParentFont());
  label->Font()->SetStyle({fsBold});
  EXPECT_FALSE(label->ParentFont());
  form->Font()->SetSize(14);
  EXPECT_EQ(panel->Font()->Size(), 14);
  EXPECT_EQ(label->Font()->Size(), 12);
}
