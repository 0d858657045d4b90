#include "platform/vcl/forms.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

// A hidden window whose handler a test supplies.
class TSink {
 public:
  explicit TSink(std::function<void(TMessage&)> handler)
      : handler_(std::move(handler)), hwnd(AllocateHWnd(TWndMethod(this, &TSink::WndProc))) {}
  ~TSink() { DeallocateHWnd(hwnd); }
  void WndProc(TMessage& m) {
    if (m.Msg >= WM_USER) {
      handler_(m);
    } else {
      m.Result = DefWindowProc(hwnd, m.Msg, m.WParam, m.LParam);
    }
  }

 private:
  std::function<void(TMessage&)> handler_;

 public:
  HWND hwnd;
};

class TRecorder : public TComponent {
  VX_CLASS(TRecorder, TComponent)

 public:
  using TComponent::TComponent;
  void OnException(TObject* Sender, Exception* E) {
    senders.push_back(Sender);
    messages.push_back(E->ClassName() + ":" + E->Message());
  }
  std::vector<TObject*> senders;
  std::vector<std::string> messages;
};

class TCountingPresenter : public IPresenter {
 public:
  explicit TCountingPresenter(std::atomic<int>& count) : count_(count) {}
  void Idle() override { ++count_; }

 private:
  std::atomic<int>& count_;
};

}  // namespace

TEST(Application, RunProcessesMessagesUntilTerminated) {
  TApplication app(nullptr);
  TComponent form(&app);
  std::vector<int> seen;
  TSink sink([&](TMessage& m) {
    seen.push_back(int(m.WParam));
    if (m.WParam == 3) {
      app.Terminate();
      EXPECT_FALSE(app.Terminated()) << "the quit message has not been taken yet";
    }
  });
  app.Run();
  EXPECT_TRUE(seen.empty()) << "no main form, no loop";
  app.SetMainForm(&form);
  for (int i = 1; i <= 3; ++i) PostMessage(sink.hwnd, WM_USER, WPARAM(i), 0);
  app.Run();
  EXPECT_TRUE(app.Terminated());
  EXPECT_EQ(seen, (std::vector<int>{1, 2, 3}));
}

TEST(Application, HandlerExceptionsGoToOnExceptionAndTheLoopGoesOn) {
  TApplication app(nullptr);
  TComponent form(&app);
  app.SetMainForm(&form);
  TRecorder recorder(nullptr);
  app.SetOnException(TExceptionEvent(&recorder, &TRecorder::OnException));
  TSink sink([&](TMessage& m) {
    switch (m.WParam) {
      case 1: throw EConvertError("bad number");
      case 2: throw EAbort();
      case 3: throw std::runtime_error("plain");
      case 4: throw 42;
      default: app.Terminate();
    }
  });
  for (int i = 1; i <= 5; ++i) PostMessage(sink.hwnd, WM_USER, WPARAM(i), 0);
  app.Run();
  EXPECT_EQ(recorder.messages,
            (std::vector<std::string>{"EConvertError:bad number", "Exception:plain", "Exception:Unknown exception"}));
  ASSERT_EQ(recorder.senders.size(), 3u);
  EXPECT_EQ(recorder.senders[0], &app);
}

TEST(Application, DefaultDisplayShowsTheMessageWithTheTitle) {
  TApplication app(nullptr);
  std::vector<std::string> shown;
  app.SetShowExceptionHook([&](const std::string& text, const std::string& caption) {
    shown.push_back(caption + "|" + text);
  });
  EXPECT_EQ(app.Title(), "test_platform_vcl");
  auto raise = [&](auto e) {
    try {
      throw e;
    } catch (...) {
      app.HandleException(&app);
    }
  };
  raise(Exception("Disk full"));
  app.SetTitle("Updater");
  raise(Exception("Already ends."));
  raise(Exception(""));
  raise(EAbort());
  // A failing OnException handler is itself shown, not thrown out of the loop.
  app.SetOnException(TExceptionEvent::FromFunction([](TObject*, Exception*) { throw Exception("log failed"); }));
  raise(Exception("original"));
  EXPECT_EQ(shown, (std::vector<std::string>{"test_platform_vcl|Disk full.", "Updater|Already ends.", "Updater|",
                                             "Updater|log failed."}));
  app.HandleException(&app);  // outside a handler: nothing to report
  EXPECT_EQ(shown.size(), 4u);
}

TEST(Application, ProcessMessagesDrainsNestedAndTakesTheQuit) {
  TApplication app(nullptr);
  std::vector<int> order;
  HWND self = nullptr;
  TSink sink([&](TMessage& m) {
    order.push_back(int(m.WParam));
    if (m.WParam == 1) {
      PostMessage(self, WM_USER, 10, 0);
      app.ProcessMessages();  // nested: runs 2 and 10 here
      order.push_back(-1);
    }
    if (m.WParam == 2) PostMessage(self, WM_USER, 20, 0);
  });
  self = sink.hwnd;
  PostMessage(self, WM_USER, 1, 0);
  PostMessage(self, WM_USER, 2, 0);
  app.ProcessMessages();
  EXPECT_EQ(order, (std::vector<int>{1, 2, 10, 20, -1}));
  MSG m;
  EXPECT_FALSE(PeekMessage(&m, nullptr, 0, 0, PM_NOREMOVE)) << "drained until empty";
  EXPECT_FALSE(app.Terminated());
  PostQuitMessage(0);
  app.ProcessMessages();
  EXPECT_TRUE(app.Terminated());
}

TEST(Application, HandleMessageWaitsAndTellsThePresenterFirst) {
  TApplication app(nullptr);
  std::atomic<int> idles{0};
  app.SetPresenter(std::make_unique<TCountingPresenter>(idles));
  int got = 0;
  TSink sink([&](TMessage&) { ++got; });
  PostMessage(sink.hwnd, WM_USER, 0, 0);
  app.HandleMessage();
  EXPECT_EQ(got, 1);
  EXPECT_EQ(idles, 0);
  const DWORD me = GetCurrentThreadId();
  std::thread poster([&] {
    while (idles == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    PostThreadMessage(me, WM_USER, 0, 0);
  });
  app.HandleMessage();  // nothing there: presenter, then wait
  poster.join();
  EXPECT_EQ(idles, 1);
  app.HandleMessage();
  EXPECT_EQ(idles, 1);
}

TEST(Application, ForgetsAFreedMainForm) {
  TApplication app(nullptr);
  auto* form = new TComponent(&app);
  app.SetMainForm(form);
  EXPECT_EQ(app.MainForm(), form);
  delete form;
  EXPECT_EQ(app.MainForm(), nullptr);
  app.Run();  // returns at once without a main form
  EXPECT_FALSE(app.Terminated());
  EXPECT_NE(Application, nullptr);
  EXPECT_EQ(Application->ClassName(), "TApplication");
}
