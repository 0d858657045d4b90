#include "platform/vcl/extctrls.h"

#include "platform/vcl/forms.h"

TTimer::TTimer(TComponent* AOwner) : TComponent(AOwner), window_(AllocateHWnd(TWndMethod(this, &TTimer::WndProc))) {}

TTimer::~TTimer() {
  enabled_ = false;
  UpdateTimer();
  DeallocateHWnd(window_);
}

void TTimer::SetEnabled(bool Value) {
  if (Value == enabled_) return;
  enabled_ = Value;
  UpdateTimer();
}

void TTimer::SetInterval(Cardinal Value) {
  if (Value == interval_) return;
  interval_ = Value;
  UpdateTimer();
}

void TTimer::SetOnTimer(TNotifyEvent Value) {
  onTimer_ = Value;
  UpdateTimer();
}

void TTimer::UpdateTimer() {
  KillTimer(window_, 1);
  if (interval_ != 0 && enabled_ && onTimer_) {
    if (SetTimer(window_, 1, interval_) == 0) throw EOutOfResources("Not enough timers available");
  }
}

void TTimer::WndProc(TMessage& Msg) {
  if (Msg.Msg != WM_TIMER) {
    Msg.Result = DefWindowProc(window_, Msg.Msg, Msg.WParam, Msg.LParam);
    return;
  }
  try {
    Timer();
  } catch (...) {
    Application->HandleException(this);
  }
}

void TTimer::Timer() {
  if (onTimer_) onTimer_(this);
}
