#include "platform/vcl/forms.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <thread>

#include "platform/gdi/dib.h"
#include "platform/vcl/extctrls.h"
#include "platform/vcl/thread.h"
#include "tests/support/TempFolder.h"
#include "tests/support/headless_gui.h"
#include "tests/support/manual_clock.h"
#include "tests/support/png_rows.h"

namespace {

constexpr UINT WM_TEST = WM_USER + 1000;

// A form whose message handler for WM_TEST runs a test's function.
class TMessageForm : public TForm {
  VX_CLASS(TMessageForm, TForm)

 public:
  explicit TMessageForm(TComponent* AOwner) : TForm(AOwner) {
    SetBorderStyle(bsDialog);
    SetClientSize(200, 100);
  }
  std::function<void(TMessage&)> onTest;

  VX_MESSAGE_MAP(TMessageForm, TForm)
  VX_MESSAGE_HANDLER(WM_TEST, WMTest)
  VX_END_MESSAGE_MAP

  void WMTest(TMessage& M) {
    if (onTest) onTest(M);
  }
};

// A clickable windowed control.
class TPushArea : public TCustomControl {
  VX_CLASS(TPushArea, TCustomControl)

 public:
  TPushArea(TComponent* AOwner, TWinControl* AParent, const std::string& AName, TRect R) : TCustomControl(AOwner) {
    SetName(AName);
    SetBoundsRect(R);
    SetParent(AParent);
  }

 protected:
  void Paint() override {
    Canvas()->Brush()->SetColor(clRed);
    Canvas()->FillRect(ClientRect());
  }
};

// Watches a component's end.
class TDeathWatch : public TComponent {
  VX_CLASS(TDeathWatch, TComponent)

 public:
  explicit TDeathWatch(TComponent* Watched) : TComponent(nullptr) { Watched->FreeNotification(this); }
  bool gone = false;

 protected:
  void Notification(TComponent* AComponent, TOperation Operation) override {
    TComponent::Notification(AComponent, Operation);
    if (Operation == TOperation::opRemove) gone = true;
  }
};

class Forms : public ::testing::Test {
 protected:
  THeadlessGui gui;
};

}  // namespace

TEST_F(Forms, ShowModalLoopsUntilAResultThatOnCloseQueryAccepts) {
  std::vector<std::string> log;
  bool allowClose = false;
  std::unique_ptr<TMessageForm> form(new TMessageForm(Application));
  form->OnCloseQuery = TCloseQueryEvent::FromFunction([&](TObject*, bool& can) {
    log.push_back("query");
    can = allowClose;
  });
  form->OnClose = TCloseEvent::FromFunction([&](TObject*, TCloseAction& a) {
    log.push_back("close " + std::to_string(int(a)));
  });
  form->OnShow = TNotifyEvent::FromFunction([&](TObject*) { log.push_back("show"); });
  form->OnHide = TNotifyEvent::FromFunction([&](TObject*) { log.push_back("hide"); });
  Application->OnModalBegin = TNotifyEvent::FromFunction([&](TObject*) { log.push_back("modal begin"); });
  Application->OnModalEnd = TNotifyEvent::FromFunction([&](TObject*) { log.push_back("modal end"); });
  form->onTest = [&](TMessage& m) {
    log.push_back("test " + std::to_string(m.WParam));
    if (m.WParam == 1) {
      form->SetModalResult(mrOk);  // refused by the close query
      PostMessage(form->Handle(), WM_TEST, 2, 0);
    } else {
      allowClose = true;
      form->SetModalResult(mrYes);
    }
  };
  PostMessage(form->Handle(), WM_TEST, 1, 0);
  EXPECT_EQ(form->ShowModal(), mrYes);
  EXPECT_FALSE(form->Visible());
  EXPECT_EQ(Application->ModalLevel(), 0);
  EXPECT_EQ(log, (std::vector<std::string>{"modal begin", "show", "test 1", "query", "test 2", "query", "close 1",
                                           "hide", "modal end"}));
  Application->OnModalBegin = nullptr;
  Application->OnModalEnd = nullptr;

  // Close during the loop answers mrCancel; a shown form cannot be shown modally.
  form->onTest = [&](TMessage&) { form->Close(); };
  PostMessage(form->Handle(), WM_TEST, 0, 0);
  EXPECT_EQ(form->ShowModal(), mrCancel);
  form->Show();
  EXPECT_THROW(form->ShowModal(), EInvalidOperation);
  form->OnHide = nullptr;
}

TEST_F(Forms, AModalFormTakesAllInputAndGivesTheFocusBack) {
  std::unique_ptr<TMessageForm> main(new TMessageForm(Application));
  auto* mainArea = new TPushArea(main.get(), main.get(), "area", Bounds(10, 10, 50, 50));
  mainArea->SetTabStop(true);
  int mainClicks = 0, dialogClicks = 0;
  mainArea->OnClick = TNotifyEvent::FromFunction([&](TObject*) { ++mainClicks; });
  main->Show();
  EXPECT_EQ(Screen->ActiveForm(), main.get());
  EXPECT_EQ(FocusedControl(), mainArea);

  std::unique_ptr<TMessageForm> dialog(new TMessageForm(Application));
  auto* button = new TPushArea(dialog.get(), dialog.get(), "button", Bounds(10, 10, 50, 30));
  button->OnClick = TNotifyEvent::FromFunction([&](TObject*) {
    ++dialogClicks;
    dialog->SetModalResult(mrOk);
  });
  dialog->onTest = [&](TMessage&) {
    EXPECT_EQ(Screen->ActiveForm(), dialog.get());
    EXPECT_EQ(Screen->ModalForm(), dialog.get());
    vx::display::InjectClickControl(mainArea);  // ignored while the dialog is modal
    vx::display::InjectClickControl(button);
  };
  PostMessage(dialog->Handle(), WM_TEST, 0, 0);
  EXPECT_EQ(dialog->ShowModal(), mrOk);
  EXPECT_EQ(mainClicks, 0);
  EXPECT_EQ(dialogClicks, 1);
  EXPECT_EQ(Screen->ActiveForm(), main.get()) << "the previous form is active again";
  EXPECT_EQ(FocusedControl(), mainArea);
  THeadlessGui::Click(mainArea);
  EXPECT_EQ(mainClicks, 1);
}

TEST_F(Forms, CloseActionsHideFreeOrKeepAndTheMainFormEndsTheRun) {
  auto* form = new TMessageForm(Application);
  TDeathWatch watch(form);
  form->Show();
  TCloseAction action = caNone;
  form->OnClose = TCloseEvent::FromFunction([&](TObject*, TCloseAction& a) { a = action; });
  form->Close();
  EXPECT_TRUE(form->Visible()) << "caNone keeps the form";
  action = caHide;
  form->Close();
  EXPECT_FALSE(form->Visible());
  form->Show();
  action = caFree;
  vx::display::InjectClose(form);  // the window's close button
  THeadlessGui::Pump();
  EXPECT_TRUE(watch.gone) << "released once the queued messages are processed";

  // Closing the main form ends the application's run: the quit message is posted.
  auto* mainForm = new TMessageForm(Application);
  TCustomForm* previous = Application->MainForm();
  Application->SetMainForm(mainForm);
  mainForm->Show();
  mainForm->Close();
  MSG m;
  bool quit = false;
  while (PeekMessage(&m, nullptr, 0, 0, PM_REMOVE))
    if (m.message == WM_QUIT)
      quit = true;
    else
      DispatchMessage(&m);
  EXPECT_TRUE(quit);
  Application->SetMainForm(previous);
  mainForm->Free();
}

TEST_F(Forms, MessagesPostedToAFormAndItsControlsReachTheirHandlersInOrder) {
  std::unique_ptr<TMessageForm> form(new TMessageForm(Application));
  std::vector<int> got;
  form->onTest = [&](TMessage& m) {
    got.push_back(int(m.WParam));
    m.Result = 7;
  };
  auto* child = new TPushArea(form.get(), form.get(), "child", Bounds(0, 0, 10, 10));
  child->OnClick = TNotifyEvent::FromFunction([&](TObject*) { got.push_back(100); });
  PostMessage(form->Handle(), WM_TEST, 1, 0);
  PostMessage(child->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, PointToLParam({2, 2}));
  PostMessage(form->Handle(), WM_TEST, 2, 0);
  PostMessage(child->Handle(), WM_LBUTTONUP, 0, PointToLParam({2, 2}));
  form->Show();
  THeadlessGui::Pump();
  EXPECT_EQ(got, (std::vector<int>{1, 2, 100}));
  EXPECT_EQ(SendMessage(form->Handle(), WM_TEST, 3, 0), 7);
  // A form deleted with messages queued for it drops them.
  PostMessage(form->Handle(), WM_TEST, 4, 0);
  form.reset();
  THeadlessGui::Pump();
  EXPECT_EQ(got, (std::vector<int>{1, 2, 100, 3}));
}

TEST_F(Forms, TimersOnTheReplaceableClockFireInsideAModalLoop) {
  TManualClock clock;
  std::unique_ptr<TMessageForm> form(new TMessageForm(Application));
  TTimer timer(form.get());
  timer.SetInterval(100);
  int ticks = 0;
  timer.SetOnTimer(TNotifyEvent::FromFunction([&](TObject*) {
    if (++ticks == 3) form->SetModalResult(mrOk);
  }));
  std::atomic<bool> done{false};
  std::thread mover([&] {
    while (!done) {
      clock.AdvanceMs(50);
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  });
  EXPECT_EQ(form->ShowModal(), mrOk);
  done = true;
  mover.join();
  EXPECT_EQ(ticks, 3);
}

namespace {

class TSyncWorker : public TThread {
 public:
  TSyncWorker(TCustomForm* Form, std::vector<DWORD>& Threads)
      : TThread(true), form_(Form), threads_(Threads) {}

 protected:
  void Execute() override {
    for (int i = 0; i < 3; ++i) Synchronize(TThreadMethod::FromFunction([this] { Step(); }));
  }

 private:
  void Step() {
    threads_.push_back(GetCurrentThreadId());
    if (threads_.size() == 3) form_->SetModalResult(mrYes);
  }
  TCustomForm* form_;
  std::vector<DWORD>& threads_;
};

}  // namespace

TEST_F(Forms, SynchronizeFromAWorkerRunsWhileAModalLoopWaits) {
  std::unique_ptr<TMessageForm> form(new TMessageForm(Application));
  std::vector<DWORD> threads;
  TSyncWorker worker(form.get(), threads);
  form->OnShow = TNotifyEvent::FromFunction([&](TObject*) { worker.Start(); });
  EXPECT_EQ(form->ShowModal(), mrYes);
  worker.WaitFor();
  EXPECT_EQ(threads, (std::vector<DWORD>(3, GetCurrentThreadId())));
}

namespace {

int g_creates = 0;

// A form built the framework's way: children made while loading, then Loaded.
class TBuiltForm : public TForm {
  VX_CLASS(TBuiltForm, TForm)

 public:
  explicit TBuiltForm(TComponent* AOwner) : TForm(AOwner) {
    BeginLoading();
    area = new TPushArea(this, this, "area", Bounds(0, 0, 10, 10));
    EXPECT_TRUE(area->ComponentState().Contains(csLoading));
    OnCreate = TNotifyEvent(this, &TBuiltForm::FormCreate);
    EndLoading();
  }
  void FormCreate(TObject*) {
    ++g_creates;
    if (failCreate) throw Exception("create failed");
  }
  TPushArea* area;
  static inline bool failCreate = false;
};

}  // namespace

TEST_F(Forms, CreateFormMakesTheFirstFormTheMainOneAndRunsOnCreateOnce) {
  TApplication app(nullptr);
  std::vector<std::string> errors;
  Application->SetOnException(
      TExceptionEvent::FromFunction([&](TObject*, Exception* e) { errors.push_back(e->Message()); }));
  g_creates = 0;
  TBuiltForm* first = nullptr;
  TBuiltForm* second = nullptr;
  app.CreateForm(first);
  TBuiltForm::failCreate = true;
  app.CreateForm(second);
  TBuiltForm::failCreate = false;
  EXPECT_EQ(app.MainForm(), first);
  EXPECT_EQ(g_creates, 2) << "once per form, though both Loaded and CreateForm ask for it";
  EXPECT_EQ(errors, (std::vector<std::string>{"create failed"})) << "the form is made all the same";
  EXPECT_FALSE(first->area->ComponentState().Contains(csLoading));
  EXPECT_EQ(second->Owner(), &app);

  RegisterClass(TBuiltForm::StaticClass());
  TCustomForm* third = app.CreateForm(GetClass("TBuiltForm"));
  EXPECT_EQ(third->ClassName(), "TBuiltForm");
  EXPECT_THROW(app.CreateForm(TPushArea::StaticClass()), EInvalidOperation);
  Application->SetOnException(nullptr);
}

TEST_F(Forms, TheScreenKnowsFormsActiveOnesAndPlacesThem) {
  std::unique_ptr<TMessageForm> a(new TMessageForm(Application));
  a->SetName("Alpha");
  std::unique_ptr<TMessageForm> b(new TMessageForm(Application));
  b->SetName("Beta");
  EXPECT_EQ(a->Width(), 206) << "a dialog frame of 3 on each side";
  EXPECT_EQ(a->Height(), 125) << "and a title bar of 19";
  int changes = 0;
  Screen->OnActiveFormChange = TNotifyEvent::FromFunction([&](TObject*) { ++changes; });
  b->SetPosition(poScreenCenter);
  a->Show();
  b->Show();
  EXPECT_EQ(Screen->ActiveForm(), b.get());
  EXPECT_EQ(b->Left(), (1024 - 206) / 2);
  EXPECT_EQ(b->Top(), (768 - 125) / 2);
  EXPECT_EQ(b->ClientOrigin(), (TPoint{b->Left() + 3, b->Top() + 22}));
  EXPECT_EQ(Screen->FindForm("beta"), b.get());
  EXPECT_EQ(Screen->FindForm("TMessageForm"), a.get());
  THeadlessGui::Click(a.get());
  EXPECT_EQ(Screen->ActiveForm(), a.get()) << "a click activates";
  b->Hide();
  a->Hide();
  EXPECT_EQ(Screen->ActiveForm(), nullptr);
  EXPECT_EQ(changes, 4);
  Screen->OnActiveFormChange = nullptr;
  const int count = Screen->FormCount();
  b.reset();
  EXPECT_EQ(Screen->FormCount(), count - 1);
}


TEST_F(Forms, AHeadlessScriptClicksAnswersWritesAShotAndCloses) {
  TempFolder dir;
  const std::string shot = dir.Path() + "/main.png";
  {
    std::ofstream script(dir.Path() + "/script.txt");
    script << "# the run\n"
           << "click Main.Go\n"
           << "answer IDNO\n"
           << "shot Main " << shot << "\n"
           << "close main\n";
  }
  auto presenter = std::make_unique<vx::display::THeadlessPresenter>(dir.Path() + "/script.txt");
  auto* script = presenter->Script();
  Application->SetPresenter(std::move(presenter));
  auto previousDialogs = SetDialogService(nullptr);  // the run's own dialogs

  std::unique_ptr<TMessageForm> form(new TMessageForm(Application));
  form->SetName("Main");
  auto* go = new TPushArea(form.get(), form.get(), "Go", Bounds(20, 20, 40, 20));
  std::vector<int> answers;
  go->OnClick = TNotifyEvent::FromFunction([&](TObject*) {
    answers.push_back(Application->MessageBox("Go on?", "Question", MB_YESNO));
    answers.push_back(Application->MessageBox("Sure?", "Question", MB_YESNO | MB_DEFBUTTON2));
  });
  bool closed = false;
  form->OnClose = TCloseEvent::FromFunction([&](TObject*, TCloseAction&) { closed = true; });
  form->Show();
  while (!script->Finished()) Application->HandleMessage();
  THeadlessGui::Pump();
  SetDialogService(std::move(previousDialogs));

  EXPECT_EQ(answers, (std::vector<int>{IDNO, IDNO})) << "the script's answer, then the default button";
  EXPECT_TRUE(closed);
  // The window: a dialog frame of 3 and a title bar of 19 around the client area.
  auto rgb = [](TColor c) {
    const uint32_t v = uint32_t(ColorToRGB(c));
    return (v & 0xFF) << 16 | (v & 0xFF00) | ((v >> 16) & 0xFF);
  };
  const auto rows = vxtest::ReadPng(shot);
  ASSERT_EQ(rows.size(), 125u);
  ASSERT_EQ(rows[0].size(), 206u);
  EXPECT_EQ(rows[22 + 25][3 + 30], 0xFF0000u) << "the red control";
  EXPECT_EQ(rows[22 + 5][3 + 5], rgb(clBtnFace));
  EXPECT_EQ(rows[10][20], rgb(clActiveCaption)) << "the title bar of the active window";
}
