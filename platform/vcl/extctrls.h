// TTimer: OnTimer every Interval milliseconds on the thread that created the timer.
#pragma once

#include "platform/rtl/classes.h"
#include "platform/rtl/events.h"
#include "platform/win/messages.h"

class TTimer : public TComponent {
  VX_CLASS(TTimer, TComponent)

 public:
  explicit TTimer(TComponent* AOwner);
  ~TTimer() override;

  // The timer runs while it is enabled, has a non-zero interval and an OnTimer
  // handler; changing any of them starts the period anew.
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool Value);
  Cardinal Interval() const { return interval_; }
  void SetInterval(Cardinal Value);
  TNotifyEvent OnTimer() const { return onTimer_; }
  void SetOnTimer(TNotifyEvent Value);

 protected:
  // Raises OnTimer; an exception goes to Application->HandleException.
  virtual void Timer();

 private:
  void UpdateTimer();
  void WndProc(TMessage& Msg);

  HWND window_;
  bool enabled_ = true;
  Cardinal interval_ = 1000;
  TNotifyEvent onTimer_;
};
