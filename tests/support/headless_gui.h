// Forms and controls under test: a headless presenter and a dialog service that
// records every message box and save dialog and answers from queues (or with the
// default button, or by cancelling).
// Construct one per test; it restores the previous presenter and dialog service.
#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/display/headless.h"
#include "platform/display/input.h"
#include "platform/vcl/dialogs.h"
#include "platform/vcl/forms.h"
#include "tests/support/wait.h"

// A presenter that claims a display: dialogs open real modal windows (a test's timer
// works them) and documents and addresses are opened, as on a screen.
class TPretendDisplay : public vx::display::THeadlessPresenter {
 public:
  bool Headless() const override { return false; }
};

class THeadlessGui {
 public:
  THeadlessGui();
  ~THeadlessGui();
  THeadlessGui(const THeadlessGui&) = delete;
  THeadlessGui& operator=(const THeadlessGui&) = delete;

  vx::display::THeadlessPresenter& Presenter() { return *presenter_; }

  // The message boxes shown so far.
  std::vector<TDialogRequest>& Boxes();
  // Answers the next boxes in order; boxes beyond get their default button.
  void QueueAnswers(std::vector<TModalResult> Answers);
  // Confirms the next login prompt with a password (none: cancels it); prompts beyond
  // are cancelled.
  void QueueLogin(std::optional<std::string> Password);
  // The login prompts shown so far.
  int LoginPrompts() const;
  // The save dialogs asked so far; the next ones are answered with these file names
  // in order, those beyond are cancelled.
  std::vector<TFileDialogRequest>& FileRequests();
  void QueueFileAnswers(std::vector<std::string> FileNames);

  // Processes the messages waiting (and paints).
  static void Pump();
  // Clicks the middle of a control and processes the messages.
  static void Click(TControl* Control);
  // Clicks a point of a control (its client coordinates) and processes the messages.
  static void ClickAt(TControl* Control, int X, int Y);
  // Presses a key at the active form and processes the messages.
  static void Key(WORD Key, TShiftState Shift = {});
  // The colour of a client pixel of the form's back buffer.
  static COLORREF Pixel(TCustomForm* Form, int X, int Y);

 private:
  vx::display::THeadlessPresenter* presenter_;
  struct Recorder;
  Recorder* recorder_;
  std::unique_ptr<IDialogService> previousDialogs_;
};

// Processes the application's messages and the presenter's idle work (painting, a
// display's events) until Done answers true or TimeoutMs passes; Done's last answer.
// Generous by default: the machine may be loaded by parallel tests, and success
// returns early.
bool ProcessUntil(const std::function<bool()>& Done, int TimeoutMs = vxtest::kPatienceMs);

