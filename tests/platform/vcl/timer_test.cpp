#include "platform/vcl/extctrls.h"

#include <gtest/gtest.h>

#include "platform/vcl/forms.h"
#include "tests/support/manual_clock.h"

namespace {

class TTicks : public TComponent {
  VX_CLASS(TTicks, TComponent)

 public:
  using TComponent::TComponent;
  void Tick(TObject* Sender) {
    ++ticks;
    lastSender = Sender;
    if (failNext) {
      failNext = false;
      throw Exception("tick failed");
    }
  }
  void Failure(TObject* Sender, Exception* E) { failures.push_back(E->Message()); }
  int ticks = 0;
  bool failNext = false;
  TObject* lastSender = nullptr;
  std::vector<std::string> failures;
};

int Pump() {
  int n = 0;
  MSG m;
  while (PeekMessage(&m, nullptr, 0, 0, PM_REMOVE)) {
    DispatchMessage(&m);
    ++n;
  }
  return n;
}

}  // namespace

TEST(Timer, TicksOnlyWhileEnabledWithIntervalAndHandler) {
  TManualClock clock;
  TTicks ticks(nullptr);
  TTimer timer(nullptr);
  EXPECT_TRUE(timer.Enabled());
  EXPECT_EQ(timer.Interval(), 1000u);
  timer.SetInterval(100);
  clock.AdvanceMs(500);
  Pump();
  EXPECT_EQ(ticks.ticks, 0) << "no handler, no timer";

  timer.SetOnTimer(TNotifyEvent(&ticks, &TTicks::Tick));
  clock.AdvanceMs(99);
  Pump();
  EXPECT_EQ(ticks.ticks, 0);
  clock.AdvanceMs(1);
  Pump();
  EXPECT_EQ(ticks.ticks, 1);
  EXPECT_EQ(ticks.lastSender, &timer);
  clock.AdvanceMs(1000);
  Pump();
  EXPECT_EQ(ticks.ticks, 2) << "missed periods make one tick";

  timer.SetEnabled(false);
  clock.AdvanceMs(1000);
  Pump();
  EXPECT_EQ(ticks.ticks, 2);
  timer.SetEnabled(true);
  timer.SetInterval(0);
  clock.AdvanceMs(1000);
  Pump();
  EXPECT_EQ(ticks.ticks, 2);
  timer.SetInterval(300);  // a new period starts
  clock.AdvanceMs(299);
  Pump();
  EXPECT_EQ(ticks.ticks, 2);
  clock.AdvanceMs(1);
  Pump();
  EXPECT_EQ(ticks.ticks, 3);
}

TEST(Timer, HandlerFailuresGoToTheApplicationAndOwnedTimersStopWithTheirOwner) {
  TManualClock clock;
  TTicks ticks(nullptr);
  Application->SetOnException(TExceptionEvent(&ticks, &TTicks::Failure));
  auto* owner = new TComponent(nullptr);
  auto* timer = new TTimer(owner);
  timer->SetInterval(50);
  timer->SetOnTimer(TNotifyEvent(&ticks, &TTicks::Tick));
  ticks.failNext = true;
  clock.AdvanceMs(50);
  EXPECT_NO_THROW(Pump());
  EXPECT_EQ(ticks.failures, (std::vector<std::string>{"tick failed"}));
  clock.AdvanceMs(50);
  Pump();
  EXPECT_EQ(ticks.ticks, 2) << "the timer goes on after a failure";
  delete owner;  // frees the timer
  clock.AdvanceMs(500);
  EXPECT_EQ(Pump(), 0);
  Application->SetOnException(nullptr);
}
